#include "window.h"

#include "xmpdevice.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>

Window::Window(XmpDevice *device)
    : QRasterWindow(), device(device)
{
}

void Window::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        QCoreApplication::quit();
}

// The backing store's own image, when the frame can be written straight into
// it: 32 bits a pixel, one image pixel to one window pixel.
QImage *Window::surfaceToDrawOn()
{
    QPoint offset;
    QPaintDevice *target = redirected(&offset);
    if (!target || target->devType() != QInternal::Image || !offset.isNull())
        return nullptr;
    QImage *surface = static_cast<QImage *>(target);
    const bool rgb32 = surface->format() == QImage::Format_RGB32
                       || surface->format() == QImage::Format_ARGB32_Premultiplied;
    if (!rgb32 || surface->size() != size() || surface->devicePixelRatio() != 1.0)
        return nullptr;
    return surface;
}

void Window::paintEvent(QPaintEvent *)
{
    const xmp_frame_info snapshot = device->snapshot();
    if (QImage *surface = surfaceToDrawOn()) {
        scene.renderFrame(*surface, snapshot);
    } else {
        if (frame.size() != size())
            frame = QImage(size(), QImage::Format_RGB32);
        scene.renderFrame(frame, snapshot);
        QPainter(this).drawImage(QPoint(0, 0), frame);
    }
    update();
}

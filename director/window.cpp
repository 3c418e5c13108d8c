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

void Window::paintEvent(QPaintEvent *)
{
    QImage image(size(), QImage::Format_RGB888);
    const xmp_frame_info snapshot = device->snapshot();
    scene.renderFrame(image, snapshot);
    QPainter(this).drawImage(QPoint(0, 0), image);
    update();
}

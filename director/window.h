// The show's one window: repaints continuously, one whole frame per paint,
// driven by the music's most recent frame record. Escape quits.
#pragma once

#include "scene.h"

#include <QImage>
#include <QRasterWindow>

class XmpDevice;

class Window : public QRasterWindow {
public:
    explicit Window(XmpDevice *device);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QImage *surfaceToDrawOn();

    Scene scene;
    XmpDevice *device;
    QImage frame;  // only where the backing store cannot be drawn on directly
};

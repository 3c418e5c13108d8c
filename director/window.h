// The show's one window: repaints continuously, one whole frame per paint,
// driven by the music's most recent frame record. Escape quits.
#pragma once

#include "scene.h"

#include <QRasterWindow>

class XmpDevice;

class Window : public QRasterWindow {
public:
    explicit Window(XmpDevice *device);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    Scene scene;
    XmpDevice *device;
};

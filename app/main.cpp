// KARNVELDT: plays the compiled-in module and draws the fight to it, full
// screen, until the song ends or Escape is pressed.
#include "pulseplayer.h"
#include "showfonts.h"
#include "silentclock.h"
#include "window.h"
#include "xmpdevice.h"

#include <QCursor>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    registerShowFonts();

    XmpDevice device;
    // Unbuffered: what the output reads is what it gets, so the frame record
    // the window sees is never ahead of the sound by more than the output holds.
    if (!device.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "karnveldt: cannot load the music: %s\n",
                     qPrintable(device.errorString()));
        return 1;
    }

    PulsePlayer player(device);
    // Without a working output the show still runs, in silence, at the music's pace.
    SilentClock silentClock(device);
    if (!player.start(0)) {
        std::fprintf(stderr, "karnveldt: no usable audio output, sound is off\n");
        silentClock.start(0);
    }

    Window window(&device);
    window.resize(1920, 1080);
    window.showFullScreen();
    return application.exec();
}

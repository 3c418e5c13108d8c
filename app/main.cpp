// KARNVELDT: plays the compiled-in module and draws the fight to it, full
// screen, until the song ends or Escape is pressed.
#include "audioplayer.h"
#include "bandworkers.h"
#include "displayopening.h"
#include "drawsworddrawcommand.h"
#include "painttrace.h"
#include "pulseplayer.h"
#include "showfonts.h"
#include "showoptions.h"
#include "silentclock.h"
#include "songlength.h"
#include "songseconds.h"
#include "steadyclock.h"
#include "stepschedule.h"
#include "steptiming.h"
#include "window.h"
#include "xmpdevice.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

namespace {

int usageError(const QString &message)
{
    std::fprintf(stderr, "karnveldt: %s\nTry 'karnveldt --help' for the options.\n", qPrintable(message));
    return 2;
}

// By number from 0 or by name; the primary screen when none is asked for.
QScreen *pickScreen(const QString &wanted)
{
    if (wanted.isEmpty())
        return QGuiApplication::primaryScreen();
    const QList<QScreen *> screens = QGuiApplication::screens();
    bool isNumber = false;
    const int index = wanted.toInt(&isNumber);
    if (isNumber)
        return index >= 0 && index < screens.size() ? screens[index] : nullptr;
    for (QScreen *screen : screens)
        if (screen->name() == wanted)
            return screen;
    return nullptr;
}

QString pastTheEnd(const ShowOptions &options, qint64 songSamples)
{
    return QStringLiteral("--start %1 is past the end of the song (%2 s)")
        .arg(options.startText, songEndText(songSamples, options.startText.toDouble()));
}

QString screenNames()
{
    QStringList names;
    for (QScreen *screen : QGuiApplication::screens())
        names << QStringLiteral("%1 (%2)").arg(names.size()).arg(screen->name());
    return names.join(QStringLiteral(", "));
}

// The show on the display opened: the window, the sound and the clock, until
// the song ends or Escape is pressed. Returns the exit status.
int play(const ShowOptions &options, int frameThreadCount)
{
    QString message;
    QScreen *screen = pickScreen(options.screen);
    if (!screen)
        return usageError(QStringLiteral("there is no screen %1; the screens are %2").arg(options.screen, screenNames()));
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    registerShowFonts();

    PaintTrace trace;
    const QString tracePath = qEnvironmentVariable("KARNVELDT_TRACE");
    if (!tracePath.isEmpty() && !trace.open(tracePath, &message)) {
        std::fprintf(stderr, "karnveldt: cannot write the trace %s: %s\n", qPrintable(tracePath), qPrintable(message));
        return 1;
    }

    XmpDevice device;
    // Unbuffered: what the output reads is what it gets, so the device knows
    // exactly which of its bytes have been handed over.
    if (!device.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "karnveldt: cannot load the music: %s\n", qPrintable(device.errorString()));
        return 1;
    }

    // As first built, each sword stroke in one piece too.
    DrawSwordDrawCommand::inOnePiece = options.literal;
    Window window(&device, nullptr, options.rate);
    window.setScreen(screen);
    window.setTrace(&trace);
    window.setGentle(options.gentle);
    window.setStepPacing(options.stepPacing);
    window.setFrameThreads(frameThreadCount);
    const QSize frameSize = (options.windowed ? options.windowSize : screen->geometry().size())
                            * screen->devicePixelRatio();
    const bool started = options.literal ? device.skipTo(options.startSample)
                                         : window.startAt(options.startSample, frameSize);
    if (!started)
        return usageError(pastTheEnd(options, device.endSample()));

    // The sound, and the clock the pictures follow: the sound server's, or
    // without one a clock of our own at the music's pace. The literal timing
    // hands the music to Qt's audio output and paints what was handed over.
    // In silence the device plays its records on as far as the window aims
    // past the sound, composing ahead or for a refresh of the display to come
    // (of 24 Hz at the slowest), and with the server's clock evened out, and a
    // little more for the clock's own timer.
    const qint64 lookahead = stepAimAhead(options.rate) + qMax(stepComposeAhead(), qint64(songSampleRate / 24))
                             + SteadyClock::leapMs * songSampleRate / 1000 + songSampleRate / 50;
    SilentClock silentClock(device, lookahead);
    PulsePlayer pulsePlayer(device, lookahead);
    AudioPlayer qtPlayer(device);
    const bool sound = !options.mute && (options.literal ? qtPlayer.start() : pulsePlayer.start(options.startSample));
    if (!sound) {
        if (!options.mute)
            std::fprintf(stderr, "karnveldt: no usable audio output, sound is off\n");
        device.setQuitsAtEnd(false);
        silentClock.start(options.startSample);
    }
    trace.note(!sound           ? QStringLiteral("clock: the music's pace, in silence")
               : options.literal ? QStringLiteral("clock: the music handed to Qt's audio output")
               : pulsePlayer.startedOnPipeWire()
                   ? QStringLiteral("clock: PipeWire's timing, held to its graph's cycles")
                   : QStringLiteral("clock: the sound server's timing"));
    // The server's clock, evened out for the pictures' pace.
    SteadyClock steadyPulseClock(pulsePlayer);
    if (!options.literal)
        window.setClock(sound ? static_cast<ShowClock *>(&steadyPulseClock) : &silentClock);

    if (options.windowed) {
        window.resize(options.windowSize);
        window.show();
    } else {
        window.resize(1920, 1080);
        // Without a window manager nobody else makes the window cover the screen.
        window.setGeometry(screen->geometry());
        window.showFullScreen();
    }
    const int status = QGuiApplication::exec();
    // A trace with lines missing would pass for a whole one: the status says so.
    return status == 0 && trace.failed() ? 1 : status;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    ShowOptions options;
    QString message;
    switch (parseShowOptions(arguments, &options, &message)) {
    case OptionsOutcome::Done:
        std::fputs(qPrintable(message), stdout);
        return 0;
    case OptionsOutcome::UsageError:
        return usageError(message);
    case OptionsOutcome::Run:
        break;
    }

    // Found before the display is opened, so that a display is not needed to hear of it.
    if (options.startSample > 0) {
        const qint64 songSamples = songLength(QStringLiteral(":/music.xm"), &message);
        if (songSamples < 0) {
            std::fprintf(stderr, "karnveldt: cannot load the music: %s\n", qPrintable(message));
            return 1;
        }
        if (options.startSample >= songSamples)
            return usageError(pastTheEnd(options, songSamples));
    }
    const int frameThreadCount = frameThreads(&message);
    if (frameThreadCount == 0)
        return usageError(message);

    // A paint is asked for when a step falls due: it should come then, not
    // after Qt's default wait of 5 ms (which the literal timing keeps).
    if (!options.literal && !qEnvironmentVariableIsSet("QT_QPA_UPDATE_IDLE_TIME"))
        qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");
    DisplayOpening displayOpening(arguments);
    QGuiApplication application(argc, argv);
    displayOpening.opened();
    const int status = play(options, frameThreadCount);
    // Qt 5.15's Wayland client now and then deadlocks tearing its display
    // down (its event thread waits in wl_display_read_events for a read that
    // never comes, and the display waits for the thread), and the show would
    // never end. Everything of the show's own is closed by now (the sound
    // stopped, the trace written), so the process ends without that teardown.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

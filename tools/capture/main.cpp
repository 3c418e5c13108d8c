// karnveldt-capture: renders the show without sound device or window, frame
// by frame at a fixed rate of song time, into PNGs and a WAV, or a video.
#include "capturerun.h"
#include "captureoptions.h"
#include "showfonts.h"

#include <QGuiApplication>
#include <csignal>
#include <cstdio>

namespace {

QtMessageHandler qtHandler = nullptr;

// Qt's complaint about a missing XDG_RUNTIME_DIR is about its own scratch
// space, which the capture never uses; on a CI box it only hides our summary.
void quietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    qtHandler = qInstallMessageHandler(quietMessages);
    // No window is ever shown, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    const ParsedCaptureOptions parsed = parseCaptureOptions(application.arguments().mid(1));
    if (parsed.helpRequested) {
        std::fputs(qPrintable(captureUsage()), stdout);
        return captureDone;
    }
    if (parsed.versionRequested) {
        std::printf("karnveldt-capture %s\n", KARNVELDT_VERSION);
        return captureDone;
    }
    // As the show ends its usage errors.
    if (!parsed.ok) {
        std::fprintf(stderr, "karnveldt-capture: %s\nTry 'karnveldt-capture --help' for the options.\n",
                     qPrintable(parsed.error));
        return captureRefused;
    }
    registerShowFonts();

    // Interrupted captures remove what they had begun instead of leaving it half done.
    struct sigaction stop = {};
    stop.sa_handler = requestCaptureStop;
    sigemptyset(&stop.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signalNumber, &stop, nullptr);
    // A dead ffmpeg shows up as a failed write, not as a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    return runCapture(parsed.options);
}

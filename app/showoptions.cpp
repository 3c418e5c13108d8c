#include "showoptions.h"

#include "steptiming.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <cmath>

namespace {

// Qt's own options, which QGuiApplication takes from the same command line.
const char *const qtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                      "qwindowgeometry", "qwindowtitle", "qwindowicon", "display",
                                      "session", "name", "title", "visual", "geometry"};
const char *const qtFlagOptions[] = {"reverse", "nograb", "dograb", "sync"};

// Written out rather than made by the parser, which needs an application
// object, and --help must work where no display is.
const char usage[] =
    "usage: karnveldt [options]\n"
    "KARNVELDT: a sword fight drawn to its music, full screen. Escape ends it.\n"
    "\n"
    "WARNING: the show flashes. Snares tint the whole screen red, up to 4 times\n"
    "in one second, and in the finale the kick makes the colours flicker: 5 or 6\n"
    "red flashes in one second. This may trigger seizures in people with\n"
    "photosensitive epilepsy. --gentle plays the same show without flashing.\n"
    "\n"
    "  --window [WxH]     play in a window of that size (1920x1080 if none is given)\n"
    "  --screen N|NAME    play on this screen: its number from 0, or its name\n"
    "                     (the primary screen by default)\n"
    "  --start SECONDS    begin at this song time\n"
    "  --mute             play without sound\n"
    "  --rate R           steps of the show per second of song time (default %1)\n"
    "  --gentle           the same show without flashing: a pale glow on a snare\n"
    "                     instead of red, the kick's shake without colour flicker\n"
    "  --literal          as first built, for comparison: one step per paint,\n"
    "                     showing the music handed to the audio output, not the\n"
    "                     music heard, and each sword stroke filled in one piece\n"
    "  --step-pacing      paint by the show's steps alone, up to R frames a second,\n"
    "                     as before the display was asked when it lights frames:\n"
    "                     for a display whose word cannot be trusted\n"
    "  -h, --help         print this and exit\n"
    "  -v, --version      print the version and exit\n"
    "\n"
    "KARNVELDT_TRACE=FILE in the environment writes a line per painted frame:\n"
    "monotonic seconds, song time of the music painted, song time heard, step,\n"
    "and monotonic seconds of the refresh aimed at and of the one that lit it\n"
    "(-1 where the display said none) and its count (-1: none); lines\n"
    "starting with # say what the clock follows and how frames are paced.\n"
    "KARNVELDT_THREADS=N composes each frame on N threads (1 to 64; by default\n"
    "one per core).\n";

// As the capture allows: beyond it Qt clamps the window and paints nothing.
constexpr int maxWindowSide = 16384;

bool parseSize(const QString &text, QSize *size)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    *size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    return size->width() >= 1 && size->height() >= 1 && size->width() <= maxWindowSide
        && size->height() <= maxWindowSide;
}

// --window takes its size as the next argument, so that a bare --window still
// works; "--window=WxH", which the help's "--window [WxH]" invites, is split
// into the two.
QStringList splitWindowValue(const QStringList &arguments)
{
    static const QRegularExpression joined(QStringLiteral("^(--?window)=(.*)$"));
    QStringList split;
    bool optionsEnded = false;
    for (const QString &argument : arguments) {
        optionsEnded = optionsEnded || argument == QLatin1String("--");
        const QRegularExpressionMatch match = joined.match(argument);
        if (match.hasMatch() && !optionsEnded)
            split << match.captured(1) << match.captured(2);
        else
            split << argument;
    }
    return split;
}

} // namespace

OptionsOutcome parseShowOptions(const QStringList &arguments, ShowOptions *options, QString *message)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption window(QStringLiteral("window"));
    const QCommandLineOption screen(QStringLiteral("screen"), QString(), QStringLiteral("N|NAME"));
    const QCommandLineOption start(QStringLiteral("start"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption mute(QStringLiteral("mute"));
    const QCommandLineOption rate(QStringLiteral("rate"), QString(), QStringLiteral("R"));
    const QCommandLineOption literal(QStringLiteral("literal"));
    const QCommandLineOption gentle(QStringLiteral("gentle"));
    const QCommandLineOption stepPacing(QStringLiteral("step-pacing"));
    parser.addOptions({help, version, window, screen, start, mute, rate, literal, gentle, stepPacing});
    for (const char *name : qtValueOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : qtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    const auto usageError = [message](const QString &what) {
        *message = what;
        return OptionsOutcome::UsageError;
    };
    if (!parser.parse(splitWindowValue(arguments)))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        *message = QString::fromLatin1(usage).arg(defaultStepRate);
        return OptionsOutcome::Done;
    }
    if (parser.isSet(version)) {
        *message = QStringLiteral("karnveldt %1\n").arg(QStringLiteral(KARNVELDT_VERSION));
        return OptionsOutcome::Done;
    }

    ShowOptions parsed;
    parsed.windowed = parser.isSet(window);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError(QStringLiteral("one window size at most, not %1").arg(positional.join(' ')));
    if (!positional.isEmpty()) {
        if (!parsed.windowed)
            return usageError(QStringLiteral("a window size (%1) goes with --window").arg(positional.first()));
        if (!parseSize(positional.first(), &parsed.windowSize))
            return usageError(QStringLiteral("the window size must be WxH, each from 1 to %1, like 1280x720, not %2")
                                  .arg(maxWindowSide).arg(positional.first()));
    }
    parsed.screen = parser.value(screen);
    if (parser.isSet(screen) && parsed.screen.isEmpty())
        return usageError(QStringLiteral("--screen needs a number or a name"));
    if (parser.isSet(start)) {
        bool ok = false;
        const double seconds = parser.value(start).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 24 * 3600)
            return usageError(QStringLiteral("--start must be a song time in seconds, not %1").arg(parser.value(start)));
        parsed.startSample = qint64(std::floor(seconds * songSampleRate));
        parsed.startText = parser.value(start);
    }
    parsed.mute = parser.isSet(mute);
    if (parser.isSet(rate)) {
        bool ok = false;
        parsed.rate = parser.value(rate).toInt(&ok);
        if (!ok || parsed.rate < 1 || parsed.rate > 1000)
            return usageError(QStringLiteral("--rate must be a whole number from 1 to 1000, not %1").arg(parser.value(rate)));
    }
    parsed.literal = parser.isSet(literal);
    parsed.gentle = parser.isSet(gentle);
    parsed.stepPacing = parser.isSet(stepPacing);
    *options = parsed;
    return OptionsOutcome::Run;
}

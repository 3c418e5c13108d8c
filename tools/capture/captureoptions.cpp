#include "captureoptions.h"

#include "videoformats.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <cmath>

namespace {

constexpr int maxRate = 1000;
constexpr int maxSide = 16384;
constexpr double maxSeconds = 1e6;
constexpr int maxGifRate = 50;

bool parseRate(const QString &text, int &rate)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > maxRate)
        return false;
    rate = value;
    return true;
}

bool parseSize(const QString &text, QSize &size)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    const int width = match.captured(1).toInt();
    const int height = match.captured(2).toInt();
    if (width < 1 || height < 1 || width > maxSide || height > maxSide)
        return false;
    size = QSize(width, height);
    return true;
}

bool parseSeconds(const QString &text, qint64 &microseconds)
{
    // Plain decimals only: toDouble would also take "inf", "nan" and exponents.
    static const QRegularExpression pattern(QStringLiteral("^\\d+(\\.\\d*)?$|^\\.\\d+$"));
    if (!pattern.match(text).hasMatch())
        return false;
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds > maxSeconds)
        return false;
    microseconds = qRound64(seconds * 1e6);
    return true;
}

ParsedCaptureOptions failure(const QString &error)
{
    ParsedCaptureOptions parsed;
    parsed.error = error;
    return parsed;
}

} // namespace

QString captureUsage()
{
    return QStringLiteral(
        "usage: karnveldt-capture [--rate R] [--fps N] [--size WxH] [--from SECONDS]\n"
        "                         [--to SECONDS] [--gentle] --out DIR [--video FILE]\n"
        "       karnveldt-capture [same options] --flash-check\n"
        "Plays the show without sound or window and writes DIR/audio.wav and\n"
        "DIR/frame-NNNNNN.png, or with --video a video made by ffmpeg.\n"
        "Without --gentle the pictures flash red, fast enough to trigger seizures\n"
        "in people with photosensitive epilepsy: make clips to share with --gentle.\n"
        "  --rate R       painted frames per second of song time (default %1)\n"
        "  --fps N        video frames per second (default %2)\n"
        "  --size WxH     picture size (default 1920x1080)\n"
        "  --from SECONDS first song time written (default 0)\n"
        "  --to SECONDS   song time where writing stops (default: the song's end)\n"
        "  --out DIR      where audio.wav and the frames go; a capture replaces\n"
        "                 the audio.wav and frame-*.png an earlier one left there\n"
        "  --video FILE   pipe the frames to ffmpeg instead of PNGs, in the format\n"
        "                 of FILE's extension: .mp4 (H.264, AAC sound), .webm (VP9,\n"
        "                 Opus sound), .webp or .gif (animated, no sound; a GIF\n"
        "                 keeps every frame in memory until its palette is made)\n"
        "  --gentle       the show's gentle look, without its flashing\n"
        "  --flash-check  write nothing; print every one-second window with more\n"
        "                 than 3 general or red flashes over a quarter of a field\n"
        "                 (a third of the frame's width and height); status 1 if any\n"
        "  -h, --help     print this and exit\n"
        "  -v, --version  print the version and exit\n")
        .arg(defaultStepRate)
        .arg(defaultVideoRate);
}

ParsedCaptureOptions parseCaptureOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption rate(QStringLiteral("rate"), QString(), QStringLiteral("R"));
    const QCommandLineOption fps(QStringLiteral("fps"), QString(), QStringLiteral("N"));
    const QCommandLineOption size(QStringLiteral("size"), QString(), QStringLiteral("WxH"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption video(QStringLiteral("video"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption gentle(QStringLiteral("gentle"));
    const QCommandLineOption flashCheck(QStringLiteral("flash-check"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    parser.addOptions({rate, fps, size, from, to, out, video, gentle, flashCheck, help, version});

    // QCommandLineParser wants the program name first.
    if (!parser.parse(QStringList{QStringLiteral("karnveldt-capture")} + arguments))
        return failure(parser.errorText());
    if (parser.isSet(help) || parser.isSet(version)) {
        ParsedCaptureOptions parsed;
        parsed.helpRequested = parser.isSet(help);
        parsed.versionRequested = !parsed.helpRequested;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    for (const QCommandLineOption *option : {&rate, &fps, &size, &from, &to, &out, &video})
        if (parser.values(*option).size() > 1)
            return failure(QStringLiteral("--%1 given more than once").arg(option->names().first()));

    CaptureOptions options;
    if (parser.isSet(rate) && !parseRate(parser.value(rate), options.rate))
        return failure(QStringLiteral("--rate wants a whole number of frames per second from 1 to %1, not '%2'")
                           .arg(maxRate).arg(parser.value(rate)));
    if (parser.isSet(fps) && !parseRate(parser.value(fps), options.fps))
        return failure(QStringLiteral("--fps wants a whole number of frames per second from 1 to %1, not '%2'")
                           .arg(maxRate).arg(parser.value(fps)));
    if (parser.isSet(size) && !parseSize(parser.value(size), options.size))
        return failure(QStringLiteral("--size wants WIDTHxHEIGHT, each from 1 to %1, not '%2'")
                           .arg(maxSide).arg(parser.value(size)));
    if (parser.isSet(from) && !parseSeconds(parser.value(from), options.fromMicroseconds))
        return failure(QStringLiteral("--from wants a song time in seconds, like 18.16, not '%1'")
                           .arg(parser.value(from)));
    if (parser.isSet(to) && !parseSeconds(parser.value(to), options.toMicroseconds))
        return failure(QStringLiteral("--to wants a song time in seconds, like 18.16, not '%1'")
                           .arg(parser.value(to)));
    if (options.toMicroseconds >= 0 && options.toMicroseconds <= options.fromMicroseconds)
        return failure(QStringLiteral("--to must come after --from"));
    options.gentle = parser.isSet(gentle);
    options.flashCheck = parser.isSet(flashCheck);
    // The check writes nothing, so a place to write would only mislead.
    if (options.flashCheck && (parser.isSet(out) || parser.isSet(video)))
        return failure(QStringLiteral("--flash-check writes nothing: leave out --out and --video"));
    options.outDir = parser.value(out);
    if (options.outDir.isEmpty() && !options.flashCheck)
        return failure(QStringLiteral("--out DIR is required"));
    options.videoFile = parser.value(video);
    if (parser.isSet(video) && options.videoFile.isEmpty())
        return failure(QStringLiteral("--video wants a file name"));
    if (!options.videoFile.isEmpty() && !videoFormatFor(options.videoFile))
        return failure(QStringLiteral("--video makes %1 files, not '%2'").arg(videoExtensions(), options.videoFile));
    // A GIF's frames last whole hundredths of a second, and viewers slow those under two down to ten.
    if (options.videoFile.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive) && options.fps > maxGifRate)
        return failure(QStringLiteral("--video makes a GIF at --fps %1 at most (50, 25, 20 or 10 keep an even pace), not %2")
                           .arg(maxGifRate).arg(options.fps));
    // yuv420p halves the colour planes in both directions.
    if (!options.videoFile.isEmpty() && (options.size.width() % 2 || options.size.height() % 2))
        return failure(QStringLiteral("--video needs an even width and height, not %1x%2")
                           .arg(options.size.width()).arg(options.size.height()));

    ParsedCaptureOptions parsed;
    parsed.ok = true;
    parsed.options = options;
    return parsed;
}

#include "rangereason.h"

#include "songseconds.h"

namespace {

// "10.002" for 10,002,000 µs: a time as the user would have given it.
QString secondsText(qint64 microseconds)
{
    QString text = QString::number(microseconds / 1e6, 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

QString emptyRangeReason(const CaptureOptions &options, qint64 songSamples)
{
    const QString from = secondsText(options.fromMicroseconds);
    if (options.fromMicroseconds * songSampleRate >= songSamples * 1000000)
        return QStringLiteral("--from %1 is past the end of the song (%2 s)")
            .arg(from, songEndText(songSamples, options.fromMicroseconds / 1e6));
    const bool toTheEnd = options.toMicroseconds < 0 || options.toMicroseconds * songSampleRate > songSamples * 1000000;
    // --from lies before the end here: the end needs no more than the millisecond.
    const QString end = toTheEnd ? QStringLiteral("the song's end at %1 s").arg(songEndText(songSamples, 1e9))
                                 : QStringLiteral("--to %1").arg(secondsText(options.toMicroseconds));
    const qint64 next = firstVideoFrameAt(options.fromMicroseconds, options.fps);
    return QStringLiteral("no video frame falls between --from %1 and %2: at --fps %3 the nearest are at %4 and %5 s")
        .arg(from, end)
        .arg(options.fps)
        .arg(double(next - 1) / options.fps, 0, 'f', 3)
        .arg(double(next) / options.fps, 0, 'f', 3);
}

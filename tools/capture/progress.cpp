#include "progress.h"

#include <cmath>

namespace {

constexpr qint64 refreshMilliseconds = 250;

} // namespace

QString minutesAndSeconds(double seconds)
{
    const qint64 whole = qint64(std::ceil(std::max(seconds, 0.0)));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

CaptureProgress::CaptureProgress(std::FILE *stream, bool terminal, qint64 totalPaints, int rate)
    : stream(stream), terminal(terminal), totalPaints(totalPaints), rate(rate)
{
    clock.start();
}

double CaptureProgress::seconds() const
{
    return clock.nsecsElapsed() / 1e9;
}

void CaptureProgress::painted(qint64 paint)
{
    if (!terminal)
        return;
    const qint64 now = clock.elapsed();
    if (now - lastShownAt < refreshMilliseconds && paint + 1 < totalPaints)
        return;
    lastShownAt = now;
    show(paint + 1);
}

void CaptureProgress::show(qint64 done)
{
    const double elapsed = seconds();
    // Paints before --from are far cheaper than written ones, so the time left
    // follows the recent pace rather than the average since the start.
    if (elapsed > lastElapsed && done > lastDone) {
        const double recent = (done - lastDone) / (elapsed - lastElapsed);
        recentPace = recentPace > 0 ? 0.7 * recentPace + 0.3 * recent : recent;
    }
    lastElapsed = elapsed;
    lastDone = done;
    const double left = recentPace > 0 ? (totalPaints - done) / recentPace : 0;
    const QString line = QStringLiteral("frame %1/%2  song %3 s  %4 fps  %5 left")
                             .arg(done)
                             .arg(totalPaints)
                             .arg(double(done) / rate, 0, 'f', 2)
                             .arg(recentPace, 0, 'f', 1)
                             .arg(minutesAndSeconds(left));
    // \033[K clears what a longer earlier line left behind.
    std::fprintf(stream, "\r%s\033[K", qPrintable(line));
    std::fflush(stream);
    lineShown = true;
}

void CaptureProgress::finish(const QString &summary)
{
    if (lineShown)
        std::fputc('\n', stream);
    std::fprintf(stream, "%s\n", qPrintable(summary));
    std::fflush(stream);
}

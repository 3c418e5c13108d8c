#include "progress.h"

#include <cmath>

namespace {

constexpr qint64 refreshMilliseconds = 250;
// Where nobody watches the line rewritten: often enough to show it is alive,
// and nothing at all for a capture of a few seconds.
constexpr qint64 logMilliseconds = 10000;

} // namespace

QString minutesAndSeconds(double seconds)
{
    const qint64 whole = qint64(std::ceil(std::max(seconds, 0.0)));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

CaptureProgress::CaptureProgress(std::FILE *stream, bool terminal, qint64 totalPaints, int rate)
    : stream(stream), terminal(terminal), totalPaints(totalPaints), rate(rate),
      lastShownAt(terminal ? -refreshMilliseconds : 0)
{
    clock.start();
}

double CaptureProgress::seconds() const
{
    return clock.nsecsElapsed() / 1e9;
}

void CaptureProgress::painted(qint64 paint)
{
    const qint64 now = clock.elapsed();
    // The status line shows the last paint too; a log's last line is the summary.
    const bool last = paint + 1 == totalPaints;
    if (last ? !terminal : now - lastShownAt < (terminal ? refreshMilliseconds : logMilliseconds))
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
    const QString line = QStringLiteral("song %1 of %2 s painted, %3 steps a second, %4 left")
                             .arg(double(done) / rate, 0, 'f', 2)
                             .arg(double(totalPaints) / rate, 0, 'f', 2)
                             .arg(recentPace, 0, 'f', 1)
                             .arg(minutesAndSeconds(left));
    if (terminal) {
        // \033[K clears what a longer earlier line left behind.
        std::fprintf(stream, "\r%s\033[K", qPrintable(line));
        lineShown = true;
    } else {
        std::fprintf(stream, "karnveldt-capture: %s\n", qPrintable(line));
    }
    std::fflush(stream);
}

void CaptureProgress::finish(const QString &summary)
{
    if (lineShown)
        std::fputc('\n', stream);
    std::fprintf(stream, "%s\n", qPrintable(summary));
    std::fflush(stream);
}

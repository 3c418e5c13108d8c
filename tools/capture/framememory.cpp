#include "framememory.h"

#include "framesinks.h"

#include <QFile>
#include <cmath>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QString megabytes(qint64 bytes)
{
    return QString::number(bytes / (1 << 20));
}

} // namespace

qint64 usableMemory()
{
    const qint64 pageBytes = sysconf(_SC_PAGESIZE);
    qint64 usable = qint64(sysconf(_SC_PHYS_PAGES)) * pageBytes;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        QFile status(QStringLiteral("/proc/self/statm"));
        const qint64 usedBytes = status.open(QIODevice::ReadOnly)
            ? status.readAll().split(' ').value(0).toLongLong() * pageBytes : 0;
        usable = std::min(usable, std::max<qint64>(0, qint64(limit.rlim_cur) - usedBytes));
    }
    return usable;
}

QString frameMemoryProblem(QSize size, qint64 bytesPerPixel, qint64 fixedBytes, qint64 usable)
{
    const qint64 pixels = qint64(size.width()) * size.height();
    const qint64 needed = pixels * bytesPerPixel + fixedBytes;
    if (needed <= usable)
        return QString();
    const qint64 fittingPixels = std::max<qint64>(0, usable - fixedBytes) / bytesPerPixel;
    const double scale = std::sqrt(double(fittingPixels) / double(pixels));
    const QSize largest(int(size.width() * scale), int(size.height() * scale));
    const QString fits = largest.isEmpty()
        ? QStringLiteral("no frame size fits")
        : QStringLiteral("%1x%2 fits").arg(largest.width()).arg(largest.height());
    return QStringLiteral("--size %1x%2 needs about %3 MB for the frames a capture holds at once, "
                          "more than the %4 MB it may use; %5")
        .arg(size.width()).arg(size.height()).arg(megabytes(needed), megabytes(usable), fits);
}

QString captureMemoryProblem(QSize size, FrameOutput output, int pngWorkers, int frameThreads, qint64 videoFrames)
{
    // The canvas (4 bytes a pixel) and the frame being painted (3); as
    // PNGs, those queued and being encoded (3 each, and 4 for the encoder's
    // own copy); into ffmpeg, the copy in the pipe, and for a GIF every
    // frame, held by ffmpeg (4 each) until the palette is made; the flash
    // check, none beyond the frame. Beside them the song, the fonts and, for
    // each thread (the frame's among them), a stack and an allocation arena.
    const qint64 bytesPerPixel = output == FrameOutput::FlashCheck ? 4 + 3
                                 : output == FrameOutput::Pngs
                                     ? 4 + 3 + 3 * PngFrameSink::framesHeld(pngWorkers) + 4 * pngWorkers
                                 : output == FrameOutput::Gif ? 4 + 3 + 3 + 4 * videoFrames
                                                              : 4 + 3 + 3;
    const qint64 fixedBytes = qint64(64 + 72 * (pngWorkers + frameThreads - 1)) << 20;
    return frameMemoryProblem(size, bytesPerPixel, fixedBytes, usableMemory());
}

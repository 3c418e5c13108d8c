#include "framesinks.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <cstring>

namespace {

// Fixed, so that the same frame always gives the same bytes. Qt maps quality q
// to zlib level (100 - q) * 9 / 91: 80 is level 1, the fastest that compresses
// at all (from 90 up the files are stored raw, 6 MB a frame at 1080p); higher
// levels cost far more time than they save space on these flat pictures.
constexpr int pngQuality = 80;
// Frames waiting for a PNG worker; bounds memory at a few frames.
constexpr size_t maxWaitingFrames = 4;

} // namespace

QString frameFileName(qint64 videoFrame)
{
    return QStringLiteral("frame-%1.png").arg(videoFrame, 6, 10, QLatin1Char('0'));
}

PngFrameSink::PngFrameSink(const QString &directory, int workerCount)
    : directory(directory)
{
    for (int i = 0; i < workerCount; ++i)
        workers.emplace_back([this] { work(); });
}

PngFrameSink::~PngFrameSink()
{
    stopWorkers();
}

int PngFrameSink::framesHeld(int workerCount)
{
    return int(maxWaitingFrames) + workerCount;
}

void PngFrameSink::stopWorkers()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        closing = true;
    }
    changed.notify_all();
    for (std::thread &worker : workers)
        if (worker.joinable())
            worker.join();
}

void PngFrameSink::work()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return closing || !jobs.empty(); });
        if (jobs.empty())
            return;
        Job job = std::move(jobs.front());
        jobs.pop_front();
        ++busy;
        lock.unlock();
        changed.notify_all();

        QImageWriter writer(job.path, "png");
        writer.setQuality(pngQuality);
        const bool written = writer.write(job.image);
        const QString failure = written ? QString()
            : QStringLiteral("cannot write %1: %2").arg(job.path, writer.errorString());

        lock.lock();
        --busy;
        if (!written && firstError.isEmpty())
            firstError = failure;
        changed.notify_all();
    }
}

bool PngFrameSink::write(qint64 videoFrame, const QImage &image)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return jobs.size() < maxWaitingFrames || !firstError.isEmpty(); });
    if (!firstError.isEmpty())
        return false;
    jobs.push_back({QDir(directory).filePath(frameFileName(videoFrame)), image});
    lock.unlock();
    changed.notify_all();
    return true;
}

bool PngFrameSink::finish()
{
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return jobs.empty() && busy == 0; });
    }
    stopWorkers();
    std::lock_guard<std::mutex> lock(mutex);
    return firstError.isEmpty();
}

QString PngFrameSink::error() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firstError;
}

FfmpegFrameSink::FfmpegFrameSink(const Setup &setup)
    : setup(setup)
{
}

FfmpegFrameSink::~FfmpegFrameSink()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
    }
}

bool FfmpegFrameSink::start()
{
    const QString size = QStringLiteral("%1x%2").arg(setup.size.width()).arg(setup.size.height());
    QStringList arguments{
        "-hide_banner", "-nostats", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size", size,
        "-framerate", QString::number(setup.fps)};
    if (setup.videoDelaySeconds > 0)
        arguments << "-itsoffset" << QString::number(setup.videoDelaySeconds, 'f', 6);
    arguments << "-i" << "pipe:0" << "-i" << setup.wavPath
              << "-map" << "0:v" << "-map" << "1:a"
              << "-c:v" << "libx264" << "-preset" << "medium" << "-crf" << "18" << "-pix_fmt" << "yuv420p"
              << "-c:a" << "aac" << "-b:a" << "192k"
              // No dates, encoder-version tags or copied metadata: the same frames give the same file.
              << "-map_metadata" << "-1" << "-fflags" << "+bitexact"
              << "-flags:v" << "+bitexact" << "-flags:a" << "+bitexact"
              << "-movflags" << "+faststart" << "-f" << "mp4" << setup.outputPath;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(setup.logPath);
    process.start(setup.ffmpeg, arguments, QIODevice::WriteOnly);
    if (!process.waitForStarted(-1)) {
        firstError = QStringLiteral("cannot start %1: %2").arg(setup.ffmpeg, process.errorString());
        return false;
    }
    return true;
}

QString FfmpegFrameSink::ffmpegFailure(const QString &what) const
{
    QFile log(setup.logPath);
    QString message = what;
    if (log.open(QIODevice::ReadOnly)) {
        const QByteArray text = log.readAll().trimmed();
        if (!text.isEmpty())
            message += QStringLiteral("; it said:\n") + QString::fromLocal8Bit(text.right(2000));
    }
    return message;
}

bool FfmpegFrameSink::write(qint64, const QImage &image)
{
    if (!firstError.isEmpty())
        return false;
    // rgb24 rows are packed; a QImage row may be padded to four bytes.
    const int rowBytes = image.width() * 3;
    frameBytes.resize(rowBytes * image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(frameBytes.data() + qsizetype(y) * rowBytes, image.constScanLine(y), size_t(rowBytes));
    process.write(frameBytes);
    while (process.bytesToWrite() > 0) {
        if (!process.waitForBytesWritten(-1)) {
            firstError = ffmpegFailure(QStringLiteral("ffmpeg stopped taking frames"));
            return false;
        }
    }
    return true;
}

bool FfmpegFrameSink::finish()
{
    if (!firstError.isEmpty())
        return false;
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        firstError = ffmpegFailure(QStringLiteral("ffmpeg failed (exit status %1)").arg(process.exitCode()));
        return false;
    }
    return true;
}

QString FfmpegFrameSink::error() const
{
    return firstError;
}

#include "framesinks.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QRegularExpression>
#include <cmath>
#include <cstring>

namespace {

// Fixed, so that the same frame always gives the same bytes. Qt maps quality q
// to zlib level (100 - q) * 9 / 91: 80 is level 1, the fastest that compresses
// at all (from 90 up the files are stored raw, 6 MB a frame at 1080p); higher
// levels cost far more time than they save space on these flat pictures.
constexpr int pngQuality = 80;
// Frames waiting for a PNG worker; bounds memory at a few frames.
constexpr size_t maxWaitingFrames = 4;
// Of ffmpeg's messages, enough to hold its last few errors.
constexpr int logBytesKept = 4000;

// Encoded in memory and written with QFile, so that a failed write says why
// ("No space left on device") instead of libpng's "Write Error".
// ffmpeg's and ffprobe's messages on one line, without the "[mov,mp4 @ 0x55b0]" of each.
QString oneLine(const QByteArray &messages)
{
    static const QRegularExpression source(QStringLiteral("^\\[[^\\]]*\\] "));
    QStringList lines;
    for (const QString &line : QString::fromLocal8Bit(messages).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << line.trimmed().remove(source);
    return lines.join(QStringLiteral(" / "));
}

QString writePng(const QString &path, const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(pngQuality);
    if (!writer.write(image))
        return QStringLiteral("cannot encode %1: %2").arg(path, writer.errorString());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.flush())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return QString();
}

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

        const QString failure = writePng(job.path, job.image);

        lock.lock();
        --busy;
        if (!failure.isEmpty() && firstError.isEmpty())
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
    // Its messages stay in memory: a log file could not be written on the full
    // disk whose error it would have to tell.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(setup.ffmpeg, arguments);
    if (!process.waitForStarted(-1)) {
        firstError = QStringLiteral("cannot start %1: %2").arg(setup.ffmpeg, process.errorString());
        return false;
    }
    return true;
}

QString FfmpegFrameSink::ffmpegFailure(const QString &what)
{
    log.append(process.readAllStandardError());
    const QString said = oneLine(log.right(logBytesKept));
    return said.isEmpty() ? what : what + QStringLiteral("; ffmpeg said: ") + said;
}

// Empty when ffprobe finds every frame written and the length asked for.
QString FfmpegFrameSink::readBackProblem() const
{
    QProcess probe;
    probe.start(setup.ffprobe, {"-v", "error", "-count_packets", "-select_streams", "v:0",
                                "-show_entries", "stream=nb_read_packets:format=duration",
                                "-of", "default=noprint_wrappers=1", setup.outputPath});
    if (!probe.waitForFinished(-1) || probe.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("ffprobe could not read it back (%1)").arg(probe.errorString());
    const QString said = oneLine(probe.readAllStandardError());
    if (probe.exitCode() != 0)
        return QStringLiteral("ffprobe cannot read it back: %1").arg(said);
    qint64 packets = -1;
    double seconds = -1;
    for (const QString &line : QString::fromLatin1(probe.readAllStandardOutput()).split('\n')) {
        if (line.startsWith(QLatin1String("nb_read_packets=")))
            packets = line.mid(16).toLongLong();
        else if (line.startsWith(QLatin1String("duration=")))
            seconds = line.mid(9).toDouble();
    }
    if (packets != framesWritten)
        return QStringLiteral("ffprobe reads back %1 of its %2 frames%3")
            .arg(std::max<qint64>(packets, 0)).arg(framesWritten).arg(said.isEmpty() ? QString() : ": " + said);
    // Allowing for where AAC's blocks and the last frame end.
    if (std::abs(seconds - setup.seconds) > 0.05 + 2.0 / setup.fps)
        return QStringLiteral("ffprobe reads back %1 s of its %2 s").arg(seconds, 0, 'f', 3).arg(setup.seconds, 0, 'f', 3);
    return QString();
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
    ++framesWritten;
    log = (log + process.readAllStandardError()).right(logBytesKept);
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
    const QString problem = readBackProblem();
    if (!problem.isEmpty()) {
        firstError = ffmpegFailure(problem);
        return false;
    }
    return true;
}

QString FfmpegFrameSink::error() const
{
    return firstError;
}

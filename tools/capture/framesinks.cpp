#include "framesinks.h"

#include "animatedwebp.h"
#include "filewrite.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// ffmpeg's and ffprobe's messages on one line, without the "[mov,mp4 @ 0x55b0]" of each.
QString oneLine(const QByteArray &messages)
{
    static const QRegularExpression source(QStringLiteral("^\\[[^\\]]*\\] "));
    QStringList lines;
    for (const QString &line : QString::fromLocal8Bit(messages).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << line.trimmed().remove(source);
    return lines.join(QStringLiteral(" / "));
}

// How far a video's length may be from the one asked for: where the sound's
// blocks and the last frame end.
double lengthSlack(int fps)
{
    return 0.05 + 2.0 / fps;
}

// Encoded in memory and written whole, so that a failed write says why
// ("No space left on device") instead of libpng's "Write Error".
QString writePng(const QString &path, const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(pngQuality);
    if (!writer.write(image))
        return QStringLiteral("cannot encode %1: %2").arg(path, writer.errorString());
    const QString why = writeWholeFile(path, png);
    return why.isEmpty() ? QString() : QStringLiteral("cannot write %1: %2").arg(path, why);
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
    const bool withSound = !setup.format->audioCodec.isEmpty();
    const QString size = QStringLiteral("%1x%2").arg(setup.size.width()).arg(setup.size.height());
    QStringList arguments{
        "-hide_banner", "-nostats", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size", size,
        "-framerate", QString::number(setup.fps)};
    if (withSound && setup.videoDelaySeconds > 0)
        arguments << "-itsoffset" << QString::number(setup.videoDelaySeconds, 'f', 6);
    arguments << "-i" << "pipe:0";
    if (withSound)
        arguments << "-i" << setup.wavPath << "-map" << "0:v" << "-map" << "1:a";
    arguments << setup.format->encoding << setup.outputPath;
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

// Empty when the file holds every frame written, the length asked for and
// the codecs of its format.
QString FfmpegFrameSink::readBackProblem() const
{
    const double slack = lengthSlack(setup.fps);
    if (setup.format->videoCodec == QLatin1String("webp")) {
        // The encoder stores a run of like frames as one longer frame, so the
        // frames shown are counted by their durations.
        const AnimatedWebp webp = readAnimatedWebp(setup.outputPath);
        if (!webp.problem.isEmpty())
            return QStringLiteral("it does not read back: %1").arg(webp.problem);
        if (webp.codec != QLatin1String("VP8"))
            return QStringLiteral("it reads back as %1, not lossy VP8").arg(webp.codec);
        if (webp.frames > framesWritten || std::abs(webp.milliseconds / 1000.0 - setup.seconds) > slack)
            return QStringLiteral("it reads back as %1 frames in %2 s, not %3 in %4 s")
                .arg(webp.frames).arg(webp.milliseconds / 1000.0, 0, 'f', 3)
                .arg(framesWritten).arg(setup.seconds, 0, 'f', 3);
        return QString();
    }
    QProcess probe;
    probe.start(setup.ffprobe, {"-v", "error", "-count_packets",
                                "-show_entries", "stream=codec_type,codec_name,nb_read_packets:format=duration",
                                "-of", "json", setup.outputPath});
    if (!probe.waitForFinished(-1) || probe.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("ffprobe could not read it back (%1)").arg(probe.errorString());
    const QString said = oneLine(probe.readAllStandardError());
    if (probe.exitCode() != 0)
        return QStringLiteral("ffprobe cannot read it back: %1").arg(said);
    const QString problem = probedProblem(probe.readAllStandardOutput());
    return problem.isEmpty() || said.isEmpty() ? problem : problem + ": " + said;
}

QString FfmpegFrameSink::probedProblem(const QByteArray &json) const
{
    const QJsonObject probed = QJsonDocument::fromJson(json).object();
    qint64 packets = -1;
    QString videoCodec, audioCodec;
    for (const QJsonValue &value : probed.value(QLatin1String("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString codec = stream.value(QLatin1String("codec_name")).toString();
        if (stream.value(QLatin1String("codec_type")).toString() == QLatin1String("audio")) {
            audioCodec = codec;
        } else if (videoCodec.isEmpty()) {
            videoCodec = codec;
            packets = stream.value(QLatin1String("nb_read_packets")).toString().toLongLong();
        }
    }
    if (videoCodec != setup.format->videoCodec || audioCodec != setup.format->audioCodec)
        return QStringLiteral("ffprobe reads back %1 and %2, not %3 and %4")
            .arg(videoCodec.isEmpty() ? QStringLiteral("no video") : videoCodec,
                 audioCodec.isEmpty() ? QStringLiteral("no sound") : audioCodec, setup.format->videoCodec,
                 setup.format->audioCodec.isEmpty() ? QStringLiteral("no sound") : setup.format->audioCodec);
    if (packets != framesWritten)
        return QStringLiteral("ffprobe reads back %1 of its %2 frames").arg(std::max<qint64>(packets, 0)).arg(framesWritten);
    const double seconds = probed.value(QLatin1String("format")).toObject().value(QLatin1String("duration")).toString().toDouble();
    if (std::abs(seconds - setup.seconds) > lengthSlack(setup.fps))
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

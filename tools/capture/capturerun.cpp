#include "capturerun.h"

#include "bandworkers.h"
#include "capturetiming.h"
#include "flashchecksink.h"
#include "framememory.h"
#include "framesinks.h"
#include "progress.h"
#include "rangereason.h"
#include "scene.h"
#include "songrecords.h"
#include "staging.h"
#include "wavfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

constexpr int channels = 2;
constexpr int bytesPerSampleFrame = 2 * channels;

void say(const QString &message)
{
    std::fprintf(stderr, "karnveldt-capture: %s\n", qPrintable(message));
}

QString describeStop()
{
    return QStringLiteral("stopped by signal %1; nothing was kept").arg(int(stopSignal));
}

// One capture, in the order it runs: check what was asked, listen to the
// song, plan the range, stage the output, paint, and commit. Each step
// returns false once the capture is over, with `status` its exit status.
class CaptureRun {
public:
    explicit CaptureRun(const CaptureOptions &options)
        : options(options)
    {
        clock.start();
    }

    int run()
    {
        if (!check() || !listen() || !plan() || !stage() || !paint())
            return status;
        if (options.flashCheck)
            report();
        else
            commit();
        return status;
    }

private:
    bool refuse(const QString &message, int exitStatus = captureRefused)
    {
        say(message);
        status = exitStatus;
        return false;
    }

    // Ends a capture whose status line has started. A Ctrl-C reaches ffmpeg
    // too, whose death then shows up as a failed write: the signal is the
    // cause worth reporting.
    bool abandon(const QString &failure)
    {
        sink.reset();
        if (stopSignal) {
            progress->finish(QStringLiteral("karnveldt-capture: ") + describeStop());
            status = 128 + stopSignal;
        } else {
            progress->finish(QStringLiteral("karnveldt-capture: ") + failure);
            status = captureRefused;
        }
        return false;
    }

    bool toVideo() const { return !ffmpeg.isEmpty(); }

    // Everything that can be found wrong before the song is played.
    bool check()
    {
        QString error;
        frameThreadCount = frameThreads(&error);
        if (frameThreadCount == 0)
            return refuse(error);
        if (!options.videoFile.isEmpty()) {
            ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
            ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
            if (ffmpeg.isEmpty() || ffprobe.isEmpty())
                return refuse(QStringLiteral("--video needs ffmpeg and ffprobe on the PATH (Debian package ffmpeg)"));
            videoDraft = makeVideoDraft(options.videoFile, &error);
            if (!videoDraft)
                return refuse(error);
            videoFormat = videoFormatFor(options.videoFile);
        }
        return true;
    }

    bool listen()
    {
        QString error;
        // The flash check judges pictures only: it keeps no sound.
        return decodeSong(song, !options.flashCheck, &error) || refuse(error, captureBroken);
    }

    bool plan()
    {
        range = planCapture(qint64(song.records.size()), song.samplesPerPlayerFrame, options.rate, options.fps,
                            options.fromMicroseconds, options.toMicroseconds);
        const FrameOutput output = options.flashCheck                             ? FrameOutput::FlashCheck
                                   : !toVideo()                                   ? FrameOutput::Pngs
                                   : videoFormat->extension == QLatin1String(".gif") ? FrameOutput::Gif
                                                                                  : FrameOutput::Video;
        const QString problem = captureMemoryProblem(options.size, output, workers, frameThreadCount, frames());
        if (!problem.isEmpty())
            return refuse(problem);
        return !range.isEmpty()
            || refuse(emptyRangeReason(options, qint64(song.records.size()) * song.samplesPerPlayerFrame));
    }

    // The sound is written first, so that a disk too small for it is found before any painting.
    bool stage()
    {
        if (options.flashCheck)
            return true;
        QString error;
        if (!staging.prepare(options.outDir, &error))
            return refuse(error);
        const QByteArray rangePcm = song.pcm.mid(int(range.firstSample * bytesPerSampleFrame),
                                                 int((range.endSample - range.firstSample) * bytesPerSampleFrame));
        if (!writeWavFile(staging.path(wavName), rangePcm, songSampleRate, channels, &error))
            return refuse(staging.shown(error) + QStringLiteral("; nothing was kept"));
        written << wavName;
        return true;
    }

    bool openSink()
    {
        if (options.flashCheck) {
            flashCheck = new FlashCheckSink(options.size, options.fps);
            sink.reset(flashCheck);
        } else if (!toVideo()) {
            // Compressing a PNG costs far more than painting two frames, so every
            // core compresses while the painter mostly waits for a free worker.
            sink = std::make_unique<PngFrameSink>(staging.path(QString()), workers);
            for (qint64 video = range.firstVideoFrame; video < range.endVideoFrame; ++video)
                written << frameFileName(video);
        } else {
            const int fps = options.fps;
            FfmpegFrameSink::Setup setup;
            setup.ffmpeg = ffmpeg;
            setup.ffprobe = ffprobe;
            setup.size = options.size;
            setup.fps = fps;
            setup.wavPath = staging.path(wavName);
            setup.format = videoFormat;
            setup.seconds = double(frames()) / fps;
            if (!videoFormat->audioCodec.isEmpty()) {
                setup.videoDelaySeconds = double(range.firstVideoFrame) / fps - double(range.firstSample) / songSampleRate;
                setup.seconds = std::max(double(range.endSample - range.firstSample) / songSampleRate,
                                         std::max(setup.videoDelaySeconds, 0.0) + setup.seconds);
            }
            setup.outputPath = videoDraft->fileName();
            auto video = std::make_unique<FfmpegFrameSink>(setup);
            if (!video->start())
                return refuse(video->error());
            sink = std::move(video);
        }
        return true;
    }

    // Sink failures name files where the user will look for them: in DIR, or the video's own name.
    QString sinkFailure() const
    {
        if (!toVideo())
            return staging.shown(sink->error()) + QStringLiteral("; nothing was kept");
        return QStringLiteral("cannot make the video %1: %2; nothing was kept")
            .arg(options.videoFile, QString(sink->error()).replace(videoDraft->fileName(), options.videoFile));
    }

    // The show from its start, each written frame into the sink.
    bool paint()
    {
        if (!openSink())
            return false;
        const int rate = options.rate;
        progress.emplace(stderr, isatty(STDERR_FILENO), range.paintCount, rate);
        Scene scene;
        scene.gentle = options.gentle;
        scene.setThreads(frameThreadCount);
        qint64 nextVideo = range.firstVideoFrame;
        for (qint64 paint = 0; paint < range.paintCount; ++paint) {
            if (stopSignal)
                return abandon(QString());
            const xmp_frame_info &record = recordForStep(song, paint, rate);
            if (nextVideo < range.endVideoFrame && range.paintFor(nextVideo, rate, options.fps) == paint) {
                // A new image every frame, as the window makes one.
                QImage image(options.size, QImage::Format_RGB888);
                if (!scene.renderFrame(image, record))
                    return abandon(QStringLiteral("no memory for a %1x%2 frame; nothing was kept")
                                       .arg(options.size.width()).arg(options.size.height()));
                for (; nextVideo < range.endVideoFrame && range.paintFor(nextVideo, rate, options.fps) == paint;
                     ++nextVideo)
                    if (!sink->write(nextVideo, image))
                        return abandon(sinkFailure());
            } else {
                // No video frame takes this one (the lead-in before --from among
                // them): it only moves the show on, as the window's unshown steps do.
                scene.advance(record, options.size);
            }
            progress->painted(paint);
        }
        if (!sink->finish())
            return abandon(sinkFailure());
        return !stopSignal || abandon(QString());
    }

    void report()
    {
        progress->finish(QStringLiteral("karnveldt-capture: %1 frames checked in %2 s")
                             .arg(frames()).arg(clock.nsecsElapsed() / 1e9, 0, 'f', 1));
        status = flashCheck->report(stdout) ? captureDone : flashesFound;
    }

    // DIR first, since its set can still be taken back; the video goes in last, in one step.
    bool commit()
    {
        QString error;
        if (!staging.commit(written, &error))
            return abandon(error);
        if (videoDraft && !placeVideoDraft(*videoDraft, options.videoFile, &error)) {
            staging.undo(&error);
            return abandon(error);
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        const QString where = toVideo() ? options.videoFile : QDir(options.outDir).path();
        progress->finish(QStringLiteral("karnveldt-capture: %1 frame%2 (%3 to %4 s) and %5 samples to %6 "
                                        "in %7 s, %8 frames a second")
                             .arg(frames())
                             .arg(frames() == 1 ? "" : "s")
                             .arg(double(range.firstSample) / songSampleRate, 0, 'f', 3)
                             .arg(double(range.endSample) / songSampleRate, 0, 'f', 3)
                             .arg(range.endSample - range.firstSample)
                             .arg(where)
                             .arg(seconds, 0, 'f', 1)
                             .arg(frames() / seconds, 0, 'f', 1));
        return true;
    }

    qint64 frames() const { return range.endVideoFrame - range.firstVideoFrame; }

    const CaptureOptions options;
    const QString wavName = QStringLiteral("audio.wav");
    const int workers = std::max(1, QThread::idealThreadCount());
    QElapsedTimer clock;
    int status = captureDone;
    int frameThreadCount = 0;
    QString ffmpeg;
    QString ffprobe;
    std::unique_ptr<QTemporaryFile> videoDraft;
    const VideoFormat *videoFormat = nullptr;
    SongRecords song;
    CapturePlan range;
    Staging staging;
    QStringList written;
    std::unique_ptr<FrameSink> sink;
    FlashCheckSink *flashCheck = nullptr;  // the sink, under --flash-check
    std::optional<CaptureProgress> progress;
};

} // namespace

void requestCaptureStop(int signalNumber)
{
    stopSignal = signalNumber;
}

int runCapture(const CaptureOptions &options)
{
    try {
        return CaptureRun(options).run();
    } catch (const std::bad_alloc &) {
        // Unwinding has removed the staging directory and the video's draft.
        say(QStringLiteral("ran out of memory; nothing was kept"));
        return captureRefused;
    }
}

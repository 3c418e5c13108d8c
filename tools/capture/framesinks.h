// Where the written frames go: numbered PNG files, or raw RGB into ffmpeg with
// the sound beside it. Both take frames in order and report the first failure;
// neither decides which frames to write.
#pragma once

#include <QImage>
#include <QProcess>
#include <QSize>
#include <QString>

#include "videoformats.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // False once something has failed; error() then says what.
    virtual bool write(qint64 videoFrame, const QImage &image) = 0;
    // Waits until every frame is out; false if any was lost.
    virtual bool finish() = 0;
    virtual QString error() const = 0;
};

// "frame-000042.png" for video frame 42.
QString frameFileName(qint64 videoFrame);

// Encodes on worker threads, so that painting and PNG compression overlap.
class PngFrameSink : public FrameSink {
public:
    PngFrameSink(const QString &directory, int workerCount);
    ~PngFrameSink() override;
    // Frames it may hold at once: those waiting and those being encoded.
    static int framesHeld(int workerCount);
    bool write(qint64 videoFrame, const QImage &image) override;
    bool finish() override;
    QString error() const override;

private:
    struct Job {
        QString path;
        QImage image;
    };
    void work();
    void stopWorkers();

    QString directory;
    std::vector<std::thread> workers;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> jobs;
    int busy = 0;
    bool closing = false;
    QString firstError;
};

// Feeds ffmpeg raw rgb24 frames on its standard input; for a format with
// sound it reads the sound from a WAV file. ffmpeg may exit 0 though it could
// not finish the file (on a full disk, say), so the video counts as made only
// once it reads back whole: every frame, the length, and the codecs asked for.
class FfmpegFrameSink : public FrameSink {
public:
    struct Setup {
        QString ffmpeg;            // the executables
        QString ffprobe;
        QSize size;
        int fps = 60;
        QString wavPath;
        double videoDelaySeconds = 0;  // how much later than the sound the first frame starts
        double seconds = 0;        // how long the video lasts
        QString outputPath;        // written in `format` whatever its name
        const VideoFormat *format = nullptr;
    };
    explicit FfmpegFrameSink(const Setup &setup);
    ~FfmpegFrameSink() override;
    bool start();
    bool write(qint64 videoFrame, const QImage &image) override;
    bool finish() override;
    QString error() const override;

private:
    QString ffmpegFailure(const QString &what);
    QString readBackProblem() const;
    QString probedProblem(const QByteArray &json) const;

    Setup setup;
    QProcess process;
    QByteArray frameBytes;
    QByteArray log;  // ffmpeg's messages, the latest of them
    qint64 framesWritten = 0;
    QString firstError;
};

#include "capturerun.h"

#include "bandworkers.h"
#include "capturetiming.h"
#include "flashchecksink.h"
#include "framememory.h"
#include "framesinks.h"
#include "progress.h"
#include "scene.h"
#include "songseconds.h"
#include "wavfile.h"
#include "xmpdevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

constexpr int channels = 2;
constexpr int bytesPerSampleFrame = 2 * channels;
// Far beyond any module this show will carry; guards against one that never ends.
constexpr qint64 maxPlayerFrames = qint64(songSampleRate) * 3600 / 64;

void say(const QString &message)
{
    std::fprintf(stderr, "karnveldt-capture: %s\n", qPrintable(message));
}

// The whole song as the show's device plays it: every player frame's record
// and all of its sound.
struct Song {
    xmp_frame_info beforeFirstFrame;  // what the device shows before its first read
    std::vector<xmp_frame_info> records;
    QByteArray pcm;
    int samplesPerPlayerFrame = 0;
};

struct Source : XmpDevice {
    using XmpDevice::readData;
};

bool listen(Song &song, QString *error)
{
    Source device;
    if (!device.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot play the music: %1").arg(device.errorString());
        return false;
    }
    song.beforeFirstFrame = device.frameInfo;
    QByteArray frame;
    for (;;) {
        // A one-byte request plays exactly one new player frame, whatever the
        // device does with larger ones; the rest of that frame then follows.
        char first = 0;
        if (device.readData(&first, 1) == 0)
            break;
        const int frameBytes = device.frameInfo.buffer_size;
        if (song.records.empty())
            song.samplesPerPlayerFrame = frameBytes / bytesPerSampleFrame;
        // Frame times are worked out as multiples of one length; a tempo change would break them.
        if (frameBytes != song.samplesPerPlayerFrame * bytesPerSampleFrame) {
            *error = QStringLiteral("player frame %1 has %2 bytes, not %3: the module changes tempo")
                         .arg(song.records.size()).arg(frameBytes).arg(song.samplesPerPlayerFrame * bytesPerSampleFrame);
            return false;
        }
        if (qint64(song.records.size()) >= maxPlayerFrames) {
            *error = QStringLiteral("the music does not end");
            return false;
        }
        frame.resize(frameBytes);
        frame[0] = first;
        qint64 got = 1;
        while (got < frameBytes) {
            const qint64 more = device.readData(frame.data() + got, frameBytes - got);
            if (more <= 0)
                break;
            got += more;
        }
        if (got != frameBytes) {
            *error = QStringLiteral("player frame %1 gave %2 of its %3 bytes").arg(song.records.size()).arg(got).arg(frameBytes);
            return false;
        }
        song.records.push_back(device.frameInfo);
        song.pcm.append(frame);
    }
    if (song.records.empty()) {
        *error = QStringLiteral("the music has no sound");
        return false;
    }
    return true;
}

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

// Why a range holds no video frame: it starts past the song's end, or falls
// between two frames.
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

// mkdir -p that says why it failed, and notes the directories it made, outermost first.
bool makeDirectories(const QString &path, QStringList *made, QString *why)
{
    if (QFileInfo::exists(path) && !QFileInfo(path).isDir()) {
        *why = QStringLiteral("a file of that name is in the way");
        return false;
    }
    QStringList missing;
    for (QString dir = QDir::cleanPath(path); !QFileInfo::exists(dir); dir = QFileInfo(dir).path())
        missing.prepend(dir);
    for (const QString &dir : missing) {
        if (::mkdir(QFile::encodeName(dir).constData(), 0777) != 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            *why = dir == missing.last() ? reason : QStringLiteral("%1: %2").arg(dir, reason);
            return false;
        }
        made->append(dir);
    }
    return true;
}

bool onOneFileSystem(const QString &first, const QString &second)
{
    struct stat a = {}, b = {};
    return ::stat(QFile::encodeName(first).constData(), &a) == 0 && ::stat(QFile::encodeName(second).constData(), &b) == 0
        && a.st_dev == b.st_dev;
}

// rename(2) replaces an existing file in one step; QFile::rename refuses to.
bool replaceFile(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Output is made in a hidden directory beside DIR (inside it when DIR's
// parent cannot be written) and put in place only when all of it has been
// written. The earlier capture's files are moved aside, not deleted, until the
// new set is wholly in place, so that a failure at any point leaves DIR as it was.
class Staging {
public:
    ~Staging()
    {
        // A directory made for a capture that failed goes with it.
        if (staging)
            staging->setAutoRemove(!earlierStranded);
        staging.reset();
        if (!committed)
            for (auto dir = madeDirectories.crbegin(); dir != madeDirectories.crend(); ++dir)
                QDir().rmdir(*dir);
    }

    bool prepare(const QString &outDir, QString *error)
    {
        target = QDir(outDir);
        QString why;
        if (!makeDirectories(target.absolutePath(), &madeDirectories, &why)) {
            *error = QStringLiteral("cannot create the output directory %1: %2").arg(outDir, why);
            return false;
        }
        // Beside DIR only on DIR's own file system (not when DIR is a mount
        // point), since the set is put in place by renaming.
        const QFileInfo dir(target.absolutePath());
        if (onOneFileSystem(dir.path(), dir.filePath()))
            staging = std::make_unique<QTemporaryDir>(
                dir.dir().filePath(QStringLiteral(".%1.capture-XXXXXX").arg(dir.fileName())));
        if (!staging || !staging->isValid())
            staging = std::make_unique<QTemporaryDir>(target.filePath(QStringLiteral(".capture-XXXXXX")));
        if (!staging->isValid()) {
            *error = QStringLiteral("cannot write in %1: %2").arg(outDir, staging->errorString());
            return false;
        }
        if (!QDir(staging->path()).mkdir(asideName)) {
            *error = QStringLiteral("cannot write in %1: %2").arg(outDir, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        return true;
    }
    QString path(const QString &name) const { return staging->filePath(name); }
    // A message about a staged file names it where it was to go in DIR.
    QString shown(QString message) const
    {
        QString shownDir = QDir::cleanPath(target.path());
        if (!shownDir.endsWith(QLatin1Char('/')))
            shownDir += QLatin1Char('/');
        return message.replace(staging->path() + QLatin1Char('/'), shownDir);
    }

    // Replaces what an earlier capture left in DIR with this one's files, all
    // of them or, on a failure, none.
    bool commit(const QStringList &names, QString *error)
    {
        static const QRegularExpression earlierOutput(QStringLiteral("^frame-\\d{6,}\\.png$"));
        const QSet<QString> ours(names.begin(), names.end());
        QStringList earlier;
        for (const QString &name : target.entryList(QDir::Files | QDir::Hidden))
            if (earlierOutput.match(name).hasMatch() || ours.contains(name))
                earlier << name;
        const QString aside = path(asideName);
        if (!moveAll(earlier, target.path(), aside, error)) {
            *error = QStringLiteral("cannot move the earlier capture aside (%1); %2 holds what it held before")
                         .arg(*error, target.path());
            return false;
        }
        QString failure;
        if (!moveAll(names, staging->path(), target.path(), &failure)) {
            *error = QStringLiteral("cannot put the capture in %1 (%2); it holds what it held before")
                         .arg(target.path(), failure);
            QString undoFailure;
            if (!moveAll(earlier, aside, target.path(), &undoFailure))
                strandEarlier(error, undoFailure);
            return false;
        }
        committed = true;
        movedIn = names;
        movedAside = earlier;
        return true;
    }

    // After a commit: takes this capture's files out of DIR and puts the earlier ones back.
    void undo(QString *error)
    {
        QString failure;
        if (!moveAll(movedIn, target.path(), staging->path(), &failure)
            || !moveAll(movedAside, path(asideName), target.path(), &failure))
            strandEarlier(error, failure);
        committed = false;
    }

private:
    // Moves every named file from one directory to the other; on a failure,
    // moves those already moved back and says which one failed and why.
    static bool moveAll(const QStringList &names, const QString &from, const QString &to, QString *error)
    {
        for (int i = 0; i < names.size(); ++i) {
            if (replaceFile(QDir(from).filePath(names[i]), QDir(to).filePath(names[i])))
                continue;
            *error = QStringLiteral("%1: %2").arg(names[i], QString::fromLocal8Bit(std::strerror(errno)));
            for (int j = i - 1; j >= 0; --j)
                replaceFile(QDir(to).filePath(names[j]), QDir(from).filePath(names[j]));
            return false;
        }
        return true;
    }

    // The earlier files could not all go back: keep them where they are, and say where.
    void strandEarlier(QString *error, const QString &why)
    {
        earlierStranded = true;
        *error += QStringLiteral("; the earlier capture could not be put back (%1) and is kept in %2")
                      .arg(why, path(asideName));
    }

    const QString asideName = QStringLiteral("earlier");
    QDir target;
    QStringList madeDirectories;
    bool committed = false;
    bool earlierStranded = false;
    QStringList movedIn;
    QStringList movedAside;
    std::unique_ptr<QTemporaryDir> staging;
};

QString describeStop()
{
    return QStringLiteral("stopped by signal %1; nothing was kept").arg(int(stopSignal));
}

} // namespace

void requestCaptureStop(int signalNumber)
{
    stopSignal = signalNumber;
}

namespace {

// The video is made under a hidden name beside where it goes, created now so
// that an unwritable place is found before the song is painted, and moved into
// place only once it reads back whole. Created 0600, as temporary files are:
// it gets what a new file would.
std::unique_ptr<QTemporaryFile> makeVideoDraft(const QString &videoFile, QString *error)
{
    const QFileInfo video(videoFile);
    if (video.isDir()) {
        *error = QStringLiteral("--video %1 is a directory; it wants the video's file name").arg(videoFile);
        return nullptr;
    }
    auto draft = std::make_unique<QTemporaryFile>(
        video.dir().filePath(QStringLiteral(".%1.capture-XXXXXX").arg(video.fileName())));
    if (!draft->open()) {
        *error = QStringLiteral("cannot write the video %1: %2").arg(videoFile, draft->errorString());
        return nullptr;
    }
    draft->close();
    const mode_t mask = umask(0);
    umask(mask);
    ::chmod(QFile::encodeName(draft->fileName()).constData(), 0666 & ~mask);
    return draft;
}

int captureSong(const CaptureOptions &options)
{
    QElapsedTimer clock;
    clock.start();
    QString error;
    const int frameThreadCount = frameThreads(&error);
    if (frameThreadCount == 0) {
        say(error);
        return captureRefused;
    }
    QString ffmpeg;
    QString ffprobe;
    std::unique_ptr<QTemporaryFile> videoDraft;
    if (!options.videoFile.isEmpty()) {
        ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
        if (ffmpeg.isEmpty() || ffprobe.isEmpty()) {
            say(QStringLiteral("--video needs ffmpeg and ffprobe on the PATH (Debian package ffmpeg)"));
            return captureRefused;
        }
        videoDraft = makeVideoDraft(options.videoFile, &error);
        if (!videoDraft) {
            say(error);
            return captureRefused;
        }
    }
    const int workers = std::max(1, QThread::idealThreadCount());
    {
        // The canvas (4 bytes a pixel) and the frame being painted (3); as
        // PNGs, those queued and being encoded (3 each, and 4 for the encoder's
        // own copy); into ffmpeg, the copy in the pipe; the flash check, none
        // beyond the frame. Beside them the song, the fonts and, for each
        // thread (the frame's among them), a stack and an allocation arena.
        const qint64 bytesPerPixel = options.flashCheck ? 4 + 3
                                     : ffmpeg.isEmpty() ? 4 + 3 + 3 * PngFrameSink::framesHeld(workers) + 4 * workers
                                                        : 4 + 3 + 3;
        const qint64 fixedBytes = qint64(64 + 72 * (workers + frameThreadCount - 1)) << 20;
        const QString problem = frameMemoryProblem(options.size, bytesPerPixel, fixedBytes, usableMemory());
        if (!problem.isEmpty()) {
            say(problem);
            return captureRefused;
        }
    }
    Song song;
    if (!listen(song, &error)) {
        say(error);
        return captureBroken;
    }
    const qint64 playerFrames = qint64(song.records.size());
    const int rate = options.rate;
    const int fps = options.fps;
    const CapturePlan plan = planCapture(playerFrames, song.samplesPerPlayerFrame, rate, fps,
                                         options.fromMicroseconds, options.toMicroseconds);
    if (plan.isEmpty()) {
        say(emptyRangeReason(options, playerFrames * song.samplesPerPlayerFrame));
        return captureRefused;
    }

    Staging staging;
    if (!options.flashCheck && !staging.prepare(options.outDir, &error)) {
        say(error);
        return captureRefused;
    }

    const QString wavName = QStringLiteral("audio.wav");
    const QByteArray rangePcm = song.pcm.mid(int(plan.firstSample * bytesPerSampleFrame),
                                             int((plan.endSample - plan.firstSample) * bytesPerSampleFrame));
    if (!options.flashCheck && !writeWavFile(staging.path(wavName), rangePcm, songSampleRate, channels, &error)) {
        say(staging.shown(error) + QStringLiteral("; nothing was kept"));
        return captureRefused;
    }

    const qint64 frames = plan.endVideoFrame - plan.firstVideoFrame;
    QStringList written{wavName};
    std::unique_ptr<FrameSink> sink;
    FlashCheckSink *flashCheck = options.flashCheck ? new FlashCheckSink(options.size, fps) : nullptr;
    if (flashCheck) {
        sink.reset(flashCheck);
    } else if (ffmpeg.isEmpty()) {
        // Compressing a PNG costs far more than painting two frames, so every
        // core compresses while the painter mostly waits for a free worker.
        sink = std::make_unique<PngFrameSink>(staging.path(QString()), workers);
        for (qint64 video = plan.firstVideoFrame; video < plan.endVideoFrame; ++video)
            written << frameFileName(video);
    } else {
        FfmpegFrameSink::Setup setup;
        setup.ffmpeg = ffmpeg;
        setup.ffprobe = ffprobe;
        setup.size = options.size;
        setup.fps = fps;
        setup.wavPath = staging.path(wavName);
        setup.videoDelaySeconds = double(plan.firstVideoFrame) / fps - double(plan.firstSample) / songSampleRate;
        setup.seconds = std::max(double(plan.endSample - plan.firstSample) / songSampleRate,
                                 std::max(setup.videoDelaySeconds, 0.0) + double(frames) / fps);
        setup.outputPath = videoDraft->fileName();
        auto video = std::make_unique<FfmpegFrameSink>(setup);
        if (!video->start()) {
            say(video->error());
            return captureRefused;
        }
        sink = std::move(video);
    }
    // Sink failures name files where the user will look for them: in DIR, or the video's own name.
    auto sinkFailure = [&] {
        if (ffmpeg.isEmpty())
            return staging.shown(sink->error()) + QStringLiteral("; nothing was kept");
        return QStringLiteral("cannot make the video %1: %2; nothing was kept")
            .arg(options.videoFile, QString(sink->error()).replace(videoDraft->fileName(), options.videoFile));
    };

    CaptureProgress progress(stderr, isatty(STDERR_FILENO), plan.paintCount, rate);
    // A Ctrl-C reaches ffmpeg too, whose death then shows up as a failed write:
    // the signal is the cause worth reporting.
    auto abandon = [&](const QString &failure) {
        sink.reset();
        if (stopSignal) {
            progress.finish(QStringLiteral("karnveldt-capture: ") + describeStop());
            return 128 + stopSignal;
        }
        progress.finish(QStringLiteral("karnveldt-capture: ") + failure);
        return captureRefused;
    };
    Scene scene;
    scene.gentle = options.gentle;
    scene.setThreads(frameThreadCount);
    qint64 nextVideo = plan.firstVideoFrame;
    for (qint64 paint = 0; paint < plan.paintCount; ++paint) {
        if (stopSignal)
            return abandon(QString());
        const qint64 player = std::min(playerFrameForStep(paint, rate, song.samplesPerPlayerFrame), playerFrames - 1);
        const xmp_frame_info &record = player < 0 ? song.beforeFirstFrame : song.records[size_t(player)];
        if (nextVideo < plan.endVideoFrame && plan.paintFor(nextVideo, rate, fps) == paint) {
            // A new image every frame, as the window makes one.
            QImage image(options.size, QImage::Format_RGB888);
            if (!scene.renderFrame(image, record))
                return abandon(QStringLiteral("no memory for a %1x%2 frame; nothing was kept")
                                   .arg(options.size.width()).arg(options.size.height()));
            for (; nextVideo < plan.endVideoFrame && plan.paintFor(nextVideo, rate, fps) == paint; ++nextVideo)
                if (!sink->write(nextVideo, image))
                    return abandon(sinkFailure());
        } else {
            // No video frame takes this one (the lead-in before --from among
            // them): it only moves the show on, as the window's unshown steps do.
            scene.advance(record, options.size);
        }
        progress.painted(paint);
    }
    if (!sink->finish())
        return abandon(sinkFailure());
    if (stopSignal)
        return abandon(QString());
    if (flashCheck) {
        progress.finish(QStringLiteral("karnveldt-capture: %1 frames checked in %2 s")
                            .arg(frames).arg(clock.nsecsElapsed() / 1e9, 0, 'f', 1));
        return flashCheck->report(stdout) ? captureDone : flashesFound;
    }
    // DIR first, since its set can still be taken back; the video goes in last, in one step.
    if (!staging.commit(written, &error))
        return abandon(error);
    if (videoDraft) {
        if (!replaceFile(videoDraft->fileName(), options.videoFile)) {
            error = QStringLiteral("cannot move the video to %1: %2")
                        .arg(options.videoFile, QString::fromLocal8Bit(std::strerror(errno)));
            staging.undo(&error);
            return abandon(error);
        }
        videoDraft->setAutoRemove(false);
    }

    const double seconds = clock.nsecsElapsed() / 1e9;
    const QString where = ffmpeg.isEmpty() ? QDir(options.outDir).path() : options.videoFile;
    progress.finish(QStringLiteral("karnveldt-capture: %1 frame%2 (%3 to %4 s) and %5 samples to %6 "
                                   "in %7 s, %8 frames a second")
                        .arg(frames)
                        .arg(frames == 1 ? "" : "s")
                        .arg(double(plan.firstSample) / songSampleRate, 0, 'f', 3)
                        .arg(double(plan.endSample) / songSampleRate, 0, 'f', 3)
                        .arg(plan.endSample - plan.firstSample)
                        .arg(where)
                        .arg(seconds, 0, 'f', 1)
                        .arg(frames / seconds, 0, 'f', 1));
    return captureDone;
}

} // namespace

int runCapture(const CaptureOptions &options)
{
    try {
        return captureSong(options);
    } catch (const std::bad_alloc &) {
        // Unwinding has removed the staging directory and the video's draft.
        say(QStringLiteral("ran out of memory; nothing was kept"));
        return captureRefused;
    }
}

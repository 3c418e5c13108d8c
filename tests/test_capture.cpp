// karnveldt-capture run for real on short ranges, headless: what the written
// frames show at known moments of the song, the sound's exact range, byte-for-
// byte repeatability, and the refusals that must leave nothing behind.
#include "animatedwebp.h"
#include "framesinks.h"
#include "showfonts.h"
#include "songrecords.h"

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <vector>

namespace {

const QString tool = QStringLiteral(KARNVELDT_BINARY_DIR "/tools/capture/karnveldt-capture");
const QColor background(50, 45, 40);
constexpr int sampleRate = 44100;
constexpr int bytesPerSample = 4;  // 16-bit stereo

// Song times of the module's closing cues, to 10 ms: the finale (blood) and the blackout.
constexpr double bloodCueSeconds = 62.07;
constexpr double blackoutSeconds = 85.61;
constexpr int defaultRate = 120;

// The song as the tool plays it: its sound and records, to compare the written ranges with.
struct Reference : SongRecords {
    Reference() { QString error; decodeSong(*this, true, &error); }
    double secondsOf(int frame) const { return double(frame) * samplesPerPlayerFrame / sampleRate; }
};

struct Run {
    int status = -1;
    QString errors;
};

QProcessEnvironment headless()
{
    // The tool must need neither a display nor a platform chosen for it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    return environment;
}

Run capture(const QStringList &arguments, const QProcessEnvironment &environment = headless())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.errors = "did not finish in two minutes";
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QString seconds(double value)
{
    return QString::number(value, 'f', 6);
}

QStringList everythingIn(const QString &path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) >= 230 && qGreen(pixel) >= 230 && qBlue(pixel) >= 230;
}

bool isRedTinted(QRgb pixel)
{
    return qRed(pixel) >= background.red() + 30 && qGreen(pixel) < background.green()
        && qBlue(pixel) < background.blue();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// A line of closing text as the finale draws it: its font and the rectangle it is aligned in.
struct TextLine {
    const char *text;
    int pixelSize;
    bool bold;
    QRect rect;
    int flags;

    QRect box() const
    {
        QFont font;
        font.setFamily("Liberation Sans");
        font.setPixelSize(pixelSize);
        if (bold)
            font.setWeight(QFont::Bold);
        return QFontMetrics(font).boundingRect(rect, flags, text);
    }
};

std::vector<TextLine> titleLines(QSize size)
{
    const QRect viewport(QPoint(0, 0), size);
    return {{"YOU HAVE BEEN WATCHING", 30, false, viewport.translated(0, -30), Qt::AlignCenter},
            {"KARNVELDT", 70, true, viewport.translated(0, 30), Qt::AlignCenter}};
}

std::vector<TextLine> creditLines(QSize size)
{
    const QRect viewport(QPoint(0, 0), size);
    const int half = size.width() / 2;
    const int leftEnd = viewport.right() - half - 10;
    const int rightStart = viewport.left() + half + 10;
    const QRect left(QPoint(viewport.left(), viewport.top()), QPoint(leftEnd, viewport.bottom()));
    const QRect right(QPoint(rightStart, viewport.top()), QPoint(viewport.right(), viewport.bottom()));
    const int alignRight = Qt::AlignRight | Qt::AlignVCenter;
    const int alignLeft = Qt::AlignLeft | Qt::AlignVCenter;
    return {{"CODE BY", 40, true, left.translated(0, -20), alignRight},
            {"MUSIC BY", 40, true, left.translated(0, 20), alignRight},
            {"QUILMO", 40, false, right.translated(0, -20), alignLeft},
            {"TAVRIK", 40, false, right.translated(0, 20), alignLeft}};
}

// Each line's box is well covered with white, and no white lies outside the boxes.
void verifyTextLines(const QImage &image, const std::vector<TextLine> &lines, const QString &frame)
{
    std::vector<QRect> grown;
    for (const TextLine &line : lines) {
        const QRect box = line.box() & image.rect();
        int white = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                white += isWhite(image.pixel(x, y));
        QVERIFY2(box.width() > 0 && white * 20 >= box.width() * box.height(),
                 qPrintable(QString("%1: \"%2\" has %3 white pixels in its box %4,%5 %6x%7")
                                .arg(frame, line.text).arg(white).arg(box.x()).arg(box.y())
                                .arg(box.width()).arg(box.height())));
        grown.push_back(line.box().adjusted(-3, -3, 3, 3));
    }
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (!isWhite(image.pixel(x, y)))
                continue;
            bool inside = false;
            for (const QRect &box : grown)
                inside = inside || box.contains(x, y);
            QVERIFY2(inside, qPrintable(QString("%1: white pixel at (%2, %3) outside the text").arg(frame).arg(x).arg(y)));
        }
}

} // namespace

class TestCapture : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch;
    Reference song;

    QString path(const QString &name) const { return scratch.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(tool).isExecutable(), qPrintable(tool + " is not built"));
        QVERIFY(scratch.isValid());
        QVERIFY2(song.records.size() > 1000, "the reference rendering of the module is empty");
        registerShowFonts();
    }

    void firstFrameIsTheBackground()
    {
        const QString out = path("start");
        const Run run = capture({"--size", "480x270", "--to", "0.05", "--out", out});
        QVERIFY2(run.status == 0, qPrintable(run.errors));
        const QImage image(QDir(out).filePath(frameFileName(0)));
        QCOMPARE(image.size(), QSize(480, 270));
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != background)
                    QFAIL(qPrintable(QString("pixel (%1, %2) of the first frame is not the background").arg(x).arg(y)));
    }

    // The first snare, at the start of order position 2, flashes the frame red
    // from the first video frame at or after it; the frame before is untouched.
    // Two runs give the same bytes.
    void firstSnareTintsRedAndRunsRepeat()
    {
        int snare = -1;
        for (int i = 1; i < int(song.records.size()) && snare < 0; ++i)
            if (song.records[i].pos == 2 && song.records[i].channel_info[1].instrument == 1)
                snare = i;
        QVERIFY2(snare > 0, "no snare on channel 1 in order position 2");
        const double at = song.secondsOf(snare);
        const QStringList options{"--size", "320x180", "--from", seconds(at - 0.05), "--to", seconds(at + 0.05)};

        const QString first = path("snare-1");
        const QString second = path("snare-2");
        Run run = capture(options + QStringList{"--out", first});
        QVERIFY2(run.status == 0, qPrintable(run.errors));
        run = capture(options + QStringList{"--out", second});
        QVERIFY2(run.status == 0, qPrintable(run.errors));

        const int firstAfter = int(std::ceil(at * 60));
        int tinted = 0;
        for (int video = firstAfter - 2; video <= firstAfter + 2; ++video) {
            const QImage image(QDir(first).filePath(frameFileName(video)));
            QVERIFY2(!image.isNull(), qPrintable(frameFileName(video) + " is missing"));
            const QRgb corners[] = {image.pixel(1, 1), image.pixel(318, 1), image.pixel(1, 178), image.pixel(318, 178)};
            for (QRgb corner : corners) {
                const QString where = QString("%1 (%2 s, snare at %3 s)").arg(frameFileName(video)).arg(video / 60.0).arg(at);
                if (video < firstAfter)
                    QVERIFY2(!isRedTinted(corner), qPrintable(where + " is red before the snare"));
                else
                    QVERIFY2(isRedTinted(corner), qPrintable(where + " is not tinted red"));
            }
            tinted += video >= firstAfter;
        }
        QCOMPARE(tinted, 3);

        const QStringList files = everythingIn(first);
        QCOMPARE(everythingIn(second), files);
        QVERIFY(files.contains("audio.wav"));
        for (const QString &file : files)
            QVERIFY2(contents(QDir(first).filePath(file)) == contents(QDir(second).filePath(file)),
                     qPrintable(file + " differs between two runs"));
    }

    // Painted from the song's start at the default rate, the finale's title is
    // centred about 9 s after the blood cue, the credits stand in their columns
    // from about 12 s after it, and the blackout leaves only black.
    void finaleTextsAndBlackoutAtTheDefaultRate()
    {
        const QString out = path("finale");
        const QSize size(640, 360);
        const Run run = capture({"--size", "640x360", "--fps", "4", "--from", "70", "--to", "95", "--out", out});
        QVERIFY2(run.status == 0, qPrintable(run.errors));
        auto frameAt = [&](double time) {
            const int video = int(std::lround(time * 4));
            return qMakePair(QImage(QDir(out).filePath(frameFileName(video))), frameFileName(video));
        };

        // Title at full opacity between calls 1000 and 1200 of the finale.
        for (double time : {bloodCueSeconds + 1010.0 / defaultRate, bloodCueSeconds + 1190.0 / defaultRate}) {
            const auto frame = frameAt(std::ceil(time * 4) / 4);
            QVERIFY2(!frame.first.isNull(), qPrintable(frame.second + " is missing"));
            verifyTextLines(frame.first, titleLines(size), frame.second);
            if (QTest::currentTestFailed())
                return;
        }
        // Credits at full opacity from call 1400 until the blackout.
        for (double time : {bloodCueSeconds + 1410.0 / defaultRate, 80.0, blackoutSeconds - 0.3}) {
            const auto frame = frameAt(std::ceil(time * 4) / 4);
            QVERIFY2(!frame.first.isNull(), qPrintable(frame.second + " is missing"));
            verifyTextLines(frame.first, creditLines(size), frame.second);
            if (QTest::currentTestFailed())
                return;
        }
        // Every frame after the blackout, up to the song's end, is black.
        const int songEndVideo = int(std::ceil(song.pcm.size() / bytesPerSample * 4.0 / sampleRate));
        QVERIFY(QFile::exists(QDir(out).filePath(frameFileName(songEndVideo - 1))));
        QVERIFY(!QFile::exists(QDir(out).filePath(frameFileName(songEndVideo))));
        for (int video = int(std::ceil((blackoutSeconds + 0.1) * 4)); video < songEndVideo; ++video) {
            const QImage image(QDir(out).filePath(frameFileName(video)));
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != qRgb(0, 0, 0))
                        QFAIL(qPrintable(QString("%1: pixel (%2, %3) is not black").arg(frameFileName(video)).arg(x).arg(y)));
        }
        // The sound runs from 70 s to the song's end, to the sample.
        const QByteArray wav = contents(QDir(out).filePath("audio.wav"));
        QCOMPARE(wav.mid(44), song.pcm.mid(70 * sampleRate * bytesPerSample));
    }

    // The WAV holds exactly the range's samples, the frames are numbered by
    // video frame, and a non-terminal stderr gets one summary line.
    void rangeOfSoundAndFrames()
    {
        const QString out = path("range");
        const Run run = capture({"--size", "160x90", "--from", "1.5", "--to", "2.25", "--out", out});
        QVERIFY2(run.status == 0, qPrintable(run.errors));
        // One summary and no self-rewriting status line (a sanitizer may add its own report).
        const QStringList said = run.errors.split('\n').filter("karnveldt-capture");
        QVERIFY2(said.size() == 1 && said.first().contains("45 frames"), qPrintable(run.errors));
        QVERIFY2(!run.errors.contains('\r'), qPrintable(run.errors));

        const int firstSample = 1.5 * sampleRate;   // 66,150
        const int endSample = 2.25 * sampleRate;    // 99,225
        const QByteArray wav = contents(QDir(out).filePath("audio.wav"));
        QCOMPARE(wav.size(), 44 + (endSample - firstSample) * bytesPerSample);
        QCOMPARE(wav.mid(44), song.pcm.mid(firstSample * bytesPerSample, (endSample - firstSample) * bytesPerSample));

        QStringList expected{"audio.wav"};
        for (int video = 90; video < 135; ++video)  // 1.5 s * 60 up to, not including, 2.25 s * 60
            expected << frameFileName(video);
        expected.sort();
        QCOMPARE(everythingIn(out), expected);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");
        QTest::newRow("bad option") << QStringList{"--rate", "0", "--out", "refused/bad"} << "--rate";
        QTest::newRow("unknown option, as the show says it") << QStringList{"--speed", "2", "--out", "refused/bad"}
                                                             << "karnveldt-capture: Unknown option 'speed'.\nTry 'karnveldt-capture --help' for the options.\n";
        QTest::newRow("range past the song") << QStringList{"--from", "95", "--out", "refused/late"} << "95";
        QTest::newRow("from a rounding short of the end") << QStringList{"--from", "90.0147", "--out", "refused/end"}
                                                          << "--from 90.0147 is past the end of the song (90.01469 s)";
        QTest::newRow("from between the last frame and the end") << QStringList{"--from", "90.01", "--out", "refused/gap"}
                                                                 << "and the song's end at 90.015 s: at --fps 60 the nearest are at 90.000 and 90.017 s";
        QTest::newRow("range between two frames") << QStringList{"--from", "10.002", "--to", "10.012", "--out", "refused/gap"}
                                                  << "no video frame falls between --from 10.002 and --to 10.012";
        // A leading NAME=VALUE is put into the tool's environment.
        QTest::newRow("bad thread count") << QStringList{"KARNVELDT_THREADS=0", "--to", "1", "--out", "refused/threads"}
                                          << "KARNVELDT_THREADS";
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        const QString out = path(arguments.last());
        arguments.last() = out;
        QProcessEnvironment environment = headless();
        if (arguments.first().contains('=')) {
            const QString setting = arguments.takeFirst();
            environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
        const Run run = capture(arguments, environment);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.errors.contains(named), qPrintable(run.errors));
        QVERIFY2(!QFileInfo::exists(out), qPrintable(out + " was left behind"));
    }

    // Frames too large for the memory the tool may use: refused before any is
    // made, saying what fits, and DIR keeps what it held.
    void sizeBeyondMemoryIsRefused()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer's shadow memory does not fit under an address-space limit");
#endif
        const QString out = path("huge");
        QDir().mkpath(out);
        QFile earlier(QDir(out).filePath("audio.wav"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier");
        earlier.close();
        QProcess process;
        process.setProcessEnvironment(headless());
        // 1.5 GB of address space: the show itself needs a few hundred MB, a 16384x16384 frame 805 MB.
        process.start("sh", {"-c", "ulimit -v 1500000 && exec \"$0\" \"$@\"", tool, "--size", "16384x16384",
                             "--from", "0", "--to", "0.01", "--out", out});
        QVERIFY(process.waitForFinished(60000));
        const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 2, qPrintable(errors));
        QVERIFY2(errors.contains("16384x16384") && errors.contains("fit"), qPrintable(errors));
        QCOMPARE(everythingIn(out), QStringList{"audio.wav"});
        QCOMPARE(contents(QDir(out).filePath("audio.wav")), QByteArray("earlier"));
    }

    void missingFfmpegIsRefused()
    {
        QDir().mkpath(path("no-ffmpeg/bin"));
        QProcessEnvironment environment = headless();
        environment.insert("PATH", path("no-ffmpeg/bin"));
        const QString video = path("no-ffmpeg/show.mp4");
        const Run run = capture({"--to", "1", "--out", path("no-ffmpeg/out"), "--video", video}, environment);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.errors.contains("ffmpeg"), qPrintable(run.errors));
        QCOMPARE(everythingIn(path("no-ffmpeg")), QStringList{"bin"});
    }

    // Stopped half-way, a capture removes what it had begun.
    void interruptedCaptureLeavesNothing()
    {
        const QString out = path("interrupted");
        QProcess process;
        process.setProcessEnvironment(headless());
        process.start(tool, {"--size", "640x360", "--out", out});
        QVERIFY(process.waitForStarted());
        bool begun = false;
        for (int i = 0; i < 400 && !begun; ++i) {
            QTest::qWait(50);
            for (const QString &staging : QDir(path(".")).entryList({".interrupted.capture-*"}, QDir::Dirs | QDir::Hidden))
                begun = begun || !QDir(path(staging)).entryList({"frame-*.png"}).isEmpty();
        }
        QVERIFY2(begun, "no frame was written within 20 s");
        process.terminate();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 128 + 15);
        QVERIFY2(!QFileInfo::exists(out), qPrintable(everythingIn(out).join(", ") + " left behind"));
        QVERIFY2(everythingIn(path(".")).filter(".interrupted.capture").isEmpty(), "the staging folder was left behind");
    }

    // Each format of --video, picked by the file's extension, as ffprobe (or,
    // for an animated WebP, which it cannot read, its chunks) reads it back.
    void videoThroughFfmpegRepeats_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QByteArray>("magic");  // in the first 16 bytes
        QTest::addColumn<QString>("streams");   // codec, width, height, pixel format and frames; then the sound's codec
        QTest::newRow("mp4: H.264 and AAC") << "mp4" << QByteArray("ftyp") << "h264,320,180,yuv420p,25 aac";
        QTest::newRow("webm: VP9 and Opus") << "webm" << QByteArray("\x1a\x45\xdf\xa3") << "vp9,320,180,yuv420p,25 opus";
        QTest::newRow("gif, no sound") << "gif" << QByteArray("GIF89a") << "gif,320,180,bgra,25";
        QTest::newRow("webp, no sound") << "webp" << QByteArray("WEBPVP8X") << "VP8,500 ms";
    }
    void videoThroughFfmpegRepeats()
    {
        QFETCH(QString, extension);
        QFETCH(QByteArray, magic);
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
            QSKIP("ffmpeg is not installed (Debian package ffmpeg)");
        // 50 frames a second: a GIF's frames last whole hundredths.
        const QStringList options{"--size", "320x180", "--fps", "50", "--from", "0.5", "--to", "1"};
        const QString dir = path("video-" + extension);
        const QString first = dir + "/one." + extension;
        QDir().mkpath(dir);
        for (const QString &name : {first, dir + "/two." + extension}) {
            const Run run = capture(options + QStringList{"--out", dir + "/out", "--video", name});
            QVERIFY2(run.status == 0, qPrintable(run.errors));
        }
        QCOMPARE(everythingIn(dir + "/out"), QStringList{"audio.wav"});
        QCOMPARE(everythingIn(dir), (QStringList{"one." + extension, "out", "two." + extension}));
        const QByteArray video = contents(first);
        QVERIFY2(video.left(16).contains(magic), video.left(16).toHex().constData());
        QVERIFY2(video == contents(dir + "/two." + extension), "two runs gave different videos");

        const AnimatedWebp webp = readAnimatedWebp(first);
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-count_frames", "-show_entries",
                                "stream=codec_name,pix_fmt,nb_read_frames,width,height", "-of", "csv=p=0", first});
        QVERIFY(probe.waitForFinished(30000));
        QStringList streams = QString::fromLatin1(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        for (QString &stream : streams.replaceInStrings(QRegularExpression("^(aac|opus),.*"), "\\1"))
            stream = extension == "webp" ? QString("%1,%2 ms").arg(webp.codec).arg(webp.milliseconds) : stream;
        QTEST(streams.join(' '), "streams");
    }
};

QTEST_MAIN(TestCapture)
#include "test_capture.moc"

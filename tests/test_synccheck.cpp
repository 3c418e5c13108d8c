// The sync check judged on made-up runs whose leads are known: a recording
// that is the module behind some silence, a sink that plays at exactly 44,100
// frames a second, and red flashes and painted frames at chosen offsets from
// each snare's sound. And the sound check on the same recording with a
// period's silence laid into it, one way or the other.
#include <xmp.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <array>

namespace {

constexpr double rate = 44100;
constexpr long silence = 10000;  // frames of recording before the module
constexpr double recordingStarts = 100;  // monotonic s at its first frame

double heard(long songFrame)
{
    return recordingStarts + double(songFrame + silence) / rate;
}

} // namespace

class TestSyncCheck : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::vector<long> snares;      // song frames, found here independently of the check
    std::vector<long> frameStarts;  // song frame of every player frame

    QString path(const char *name) const { return dir.filePath(name); }

    static void write(const QString &name, const QByteArray &bytes)
    {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

private slots:
    void initTestCase()
    {
        QFile module(":/music.xm");
        QVERIFY(module.open(QIODevice::ReadOnly));
        const QByteArray moduleBytes = module.readAll();
        write(path("music.xm"), moduleBytes);

        QByteArray recording(int(silence * 4), '\0');
        xmp_context context = xmp_create_context();
        QCOMPARE(xmp_load_module_from_memory(context, moduleBytes.data(), moduleBytes.size()), 0);
        QCOMPARE(xmp_start_player(context, 44100, 0), 0);
        xmp_frame_info info;
        long frame = 0;
        unsigned lastPosition = ~0u;
        int lastInstrument = -1;
        while (xmp_play_frame(context) == 0) {
            xmp_get_frame_info(context, &info);
            if (info.loop_count > 0)
                break;
            const xmp_channel_info &snareChannel = info.channel_info[1];
            if (snareChannel.instrument == 1
                && (snareChannel.position < lastPosition || snareChannel.instrument != lastInstrument))
                snares.push_back(frame);
            lastPosition = snareChannel.position;
            lastInstrument = snareChannel.instrument;
            frameStarts.push_back(frame);
            recording.append(static_cast<const char *>(info.buffer), info.buffer_size);
            frame += info.buffer_size / 4;
        }
        xmp_free_context(context);
        QCOMPARE(int(snares.size()), 80);
        write(path("recording.raw"), recording);

        QByteArray timing;
        for (long f = 0; f < recording.size() / 4; f += 441)
            timing += QByteArray::number(recordingStarts + f / rate, 'f', 6) + ' ' + QByteArray::number(qlonglong(f)) + ' '
                      + QByteArray::number(qlonglong(f)) + '\n';
        write(path("timing.txt"), timing);
    }

    void judgesTheLead_data()
    {
        QTest::addColumn<double>("flashLead");   // ms after the sound, for most snares
        QTest::addColumn<int>("strays");         // snares whose flash comes 60 ms later than that
        QTest::addColumn<bool>("flickers");      // every flash vanishes for a moment
        QTest::addColumn<double>("paintLead");   // ms after the sound that the snare's frame is painted
        QTest::addColumn<QString>("median");     // of the screen's figures, as printed
        QTest::addColumn<int>("status");
        QTest::newRow("in time") << 5.0 << 0 << false << 2.0 << "+5.0" << 0;
        QTest::newRow("a little early") << -9.0 << 0 << false << -9.0 << "-9.0" << 0;
        QTest::newRow("early") << -50.0 << 0 << false << 2.0 << "-50.0" << 1;
        QTest::newRow("too late") << 16.0 << 0 << false << 2.0 << "+16.0" << 1;
        QTest::newRow("nine in ten in time") << 0.0 << 8 << false << 0.0 << "+0.0" << 0;
        QTest::newRow("more than one in ten astray") << 0.0 << 9 << false << 0.0 << "+0.0" << 1;
        QTest::newRow("flickering flashes") << -5.0 << 0 << true << -5.0 << "-5.0" << 0;
        QTest::newRow("painted early, shown in time") << 0.0 << 0 << false << -40.0 << "+0.0" << 1;
    }
    void judgesTheLead()
    {
        QFETCH(double, flashLead);
        QFETCH(int, strays);
        QFETCH(bool, flickers);
        QFETCH(double, paintLead);
        QFETCH(QString, median);
        QFETCH(int, status);

        // A flash lights all 24 points and fades 100 ms later, unless the next
        // one comes first; a flickering one vanishes 25 ms in and is back 17 ms
        // later. Strays are spread over the song.
        std::vector<double> onsets;
        for (size_t i = 0; i < snares.size(); ++i) {
            const bool stray = int(i % 8) == 3 && int(i / 8) < strays;
            onsets.push_back(heard(snares[i]) + (flashLead + (stray ? 60 : 0)) / 1000);
        }
        std::vector<std::array<double, 3>> changes;  // time, red points, points turned redder
        for (size_t i = 0; i < onsets.size(); ++i) {
            const double onset = onsets[i];
            changes.push_back({onset, 24, 24});
            changes.push_back({onset + 0.002, 24, 0});
            if (flickers) {
                changes.push_back({onset + 0.025, 0, 0});
                changes.push_back({onset + 0.042, 24, 24});
                changes.push_back({onset + 0.044, 24, 0});
            }
            if (i + 1 == onsets.size() || onsets[i + 1] > onset + 0.15)
                changes.push_back({onset + 0.1, 0, 0});
        }
        std::sort(changes.begin(), changes.end());
        QByteArray probe;
        for (const auto &change : changes)
            probe += QByteArray::number(change[0] - 0.0005, 'f', 6) + ' '
                     + QByteArray::number(change[0] + 0.0005, 'f', 6) + ' ' + QByteArray::number(change[1])
                     + ' ' + QByteArray::number(change[2]) + '\n';
        write(path("probe.txt"), probe);
        QByteArray trace;
        for (size_t k = 0; k < frameStarts.size(); ++k) {
            const double record = double(frameStarts[k]) / rate;
            trace += QByteArray::number(heard(frameStarts[k]) + paintLead / 1000, 'f', 6) + ' '
                     + QByteArray::number(record, 'f', 6) + ' ' + QByteArray::number(record, 'f', 6) + ' '
                     + QByteArray::number(qulonglong(k)) + " -1 -1\n";
        }
        write(path("trace.txt"), trace);

        QProcess check;
        check.start(KARNVELDT_BINARY_DIR "/tests/synccheck",
                    {path("music.xm"), path("recording.raw"), path("timing.txt"), path("probe.txt"),
                     path("trace.txt")});
        QVERIFY(check.waitForFinished(60000));
        const QString output = check.readAllStandardOutput();
        const QRegularExpressionMatch screen
            = QRegularExpression("screen red minus sound: median (\\S+) ms.*matched (\\d+) of 80").match(output);
        QVERIFY2(screen.hasMatch(), qPrintable(output));
        QCOMPARE(screen.captured(1), median);
        QCOMPARE(screen.captured(2), QString("80"));
        QVERIFY2(output.contains(QString("red flashes seen: 80, besides %1 coming back").arg(flickers ? 80 : 0)),
                 qPrintable(output));
        QVERIFY2(output.contains(QString("trace painted minus sound: median %1%2 ms")
                                     .arg(paintLead < 0 ? "" : "+").arg(paintLead, 0, 'f', 1)),
                 qPrintable(output));
        QCOMPARE(check.exitCode(), status);
    }

    void tellsTheGapsApart_data()
    {
        QTest::addColumn<bool>("shifted");      // the silence pushes the rest later
        QTest::addColumn<bool>("leftOnly");     // only the left channel falls silent
        QTest::addColumn<bool>("serverSkips");  // the show said its stream never ran dry
        QTest::addColumn<bool>("resampled");    // half a frame later, as a server's resampler leaves it
        QTest::addColumn<QString>("kind");      // as audiocheck says it
        QTest::addColumn<int>("status");
        const QString lost = "lost on the recording side, nothing shifted";
        QTest::newRow("lost by the recorder") << false << false << false << false << lost << 0;
        QTest::newRow("one channel lost by the recorder") << false << true << false << false << lost << 0;
        QTest::newRow("the show's stream ran dry") << true << false << false << false << "silence inserted" << 1;
        QTest::newRow("skipped by the server") << true << false << true << false << "silence inserted" << 0;
        QTest::newRow("resampled, lost by the recorder") << false << false << false << true << lost << 0;
        QTest::newRow("resampled, ran dry") << true << false << false << true << "silence inserted" << 1;
        QTest::newRow("resampled, skipped by the server") << true << false << true << true << "silence inserted" << 0;
    }
    void tellsTheGapsApart()
    {
        QFETCH(bool, shifted);
        QFETCH(bool, leftOnly);
        QFETCH(bool, serverSkips);
        QFETCH(bool, resampled);
        QFETCH(QString, kind);
        QFETCH(int, status);
        // 128 frames, a sound server's shortest period, 30 s into the song.
        QFile file(path("recording.raw"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray recording = file.readAll();
        const int at = int((silence + 30 * long(rate)) * 4), period = 128 * 4;
        if (shifted)
            recording.insert(at, QByteArray(period, '\0'));
        else if (leftOnly)
            for (int frame = at; frame < at + period; frame += 4)
                recording[frame] = recording[frame + 1] = '\0';
        else
            recording.replace(at, period, QByteArray(period, '\0'));
        if (resampled) {
            auto *samples = reinterpret_cast<qint16 *>(recording.data());
            for (int i = 0; i + 2 < recording.size() / 2; ++i)
                samples[i] = qint16((samples[i] + samples[i + 2]) / 2);
        }
        write(path("gap.raw"), recording);

        QProcess check;
        QStringList arguments{path("music.xm"), path("gap.raw")};
        if (serverSkips)
            arguments.prepend("--server-skips");
        if (resampled)
            arguments.prepend("--resampled");
        check.start(KARNVELDT_BINARY_DIR "/tests/audiocheck", arguments);
        QVERIFY(check.waitForFinished(60000));
        const QString output = check.readAllStandardOutput();
        QVERIFY2(output.contains(QRegularExpression(QString("gap of 2\\.[7-9] ms at 30\\.0\\d s of the song: %1").arg(kind))),
                 qPrintable(output));
        QCOMPARE(check.exitCode(), status);
    }
};

QTEST_MAIN(TestSyncCheck)
#include "test_synccheck.moc"

// The capture's command line: defaults, every option in both spellings, and
// the mistakes that must be refused with a message naming the option.
#include "../tools/capture/captureoptions.h"

#include <QtTest>

class TestCaptureOptions : public QObject {
    Q_OBJECT

private slots:
    void defaults()
    {
        const ParsedCaptureOptions parsed = parseCaptureOptions({"--out", "shots"});
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QCOMPARE(parsed.options.rate, 120);
        QCOMPARE(parsed.options.fps, 60);
        QCOMPARE(parsed.options.size, QSize(1920, 1080));
        QCOMPARE(parsed.options.fromMicroseconds, qint64(0));
        QCOMPARE(parsed.options.toMicroseconds, qint64(-1));
        QCOMPARE(parsed.options.outDir, QString("shots"));
        QVERIFY(parsed.options.videoFile.isEmpty());
        QVERIFY(!parsed.options.gentle);
        QVERIFY(!parsed.options.flashCheck);
    }

    void flashCheckNeedsNoOut()
    {
        const ParsedCaptureOptions parsed = parseCaptureOptions({"--flash-check", "--gentle", "--from", "60"});
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QVERIFY(parsed.options.flashCheck);
        QVERIFY(parsed.options.outDir.isEmpty());
        QVERIFY(captureUsage().contains("--flash-check"));
    }

    void everyOption_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("separate values") << QStringList{"--rate", "144", "--fps", "30", "--size", "640x360",
                                                        "--from", "18.16", "--to", "62.5", "--out", "o",
                                                        "--video", "show.mp4", "--gentle"};
        QTest::newRow("values after =") << QStringList{"--rate=144", "--fps=30", "--size=640x360", "--from=18.16",
                                                       "--to=62.5", "--out=o", "--video=show.mp4", "--gentle"};
    }
    void everyOption()
    {
        QFETCH(QStringList, arguments);
        const ParsedCaptureOptions parsed = parseCaptureOptions(arguments);
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QCOMPARE(parsed.options.rate, 144);
        QCOMPARE(parsed.options.fps, 30);
        QCOMPARE(parsed.options.size, QSize(640, 360));
        QCOMPARE(parsed.options.fromMicroseconds, qint64(18160000));
        QCOMPARE(parsed.options.toMicroseconds, qint64(62500000));
        QCOMPARE(parsed.options.outDir, QString("o"));
        QCOMPARE(parsed.options.videoFile, QString("show.mp4"));
        QVERIFY(parsed.options.gentle);
    }

    void secondsAreExact_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("microseconds");
        QTest::newRow("whole") << "85" << qint64(85000000);
        QTest::newRow("trailing point") << "85." << qint64(85000000);
        QTest::newRow("leading point") << ".5" << qint64(500000);
        QTest::newRow("decimal fraction with no exact double") << "62.07" << qint64(62070000);
        QTest::newRow("microsecond") << "0.000001" << qint64(1);
    }
    void secondsAreExact()
    {
        QFETCH(QString, text);
        const ParsedCaptureOptions parsed = parseCaptureOptions({"--from", text, "--out", "o"});
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QTEST(parsed.options.fromMicroseconds, "microseconds");
    }

    void helpAndVersion()
    {
        const ParsedCaptureOptions parsed = parseCaptureOptions({"--help"});
        QVERIFY(parsed.helpRequested);
        QVERIFY(!parsed.versionRequested);
        QVERIFY(captureUsage().contains("--out DIR"));
        QVERIFY(captureUsage().contains("--version"));
        for (const char *version : {"--version", "-v"}) {
            const ParsedCaptureOptions asked = parseCaptureOptions({version});
            QVERIFY2(asked.versionRequested && !asked.helpRequested, version);
        }
    }

    void mistakes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("named");  // what the message must mention
        QTest::newRow("no --out") << QStringList{"--rate", "60"} << "--out";
        QTest::newRow("--out without value") << QStringList{"--out"} << "out";
        QTest::newRow("unknown option") << QStringList{"--out", "o", "--speed", "2"} << "speed";
        QTest::newRow("stray argument") << QStringList{"--out", "o", "extra"} << "extra";
        QTest::newRow("rate 0") << QStringList{"--out", "o", "--rate", "0"} << "--rate";
        QTest::newRow("rate not a number") << QStringList{"--out", "o", "--rate", "fast"} << "--rate";
        QTest::newRow("rate fractional") << QStringList{"--out", "o", "--rate", "59.94"} << "--rate";
        QTest::newRow("rate too high") << QStringList{"--out", "o", "--rate", "1001"} << "--rate";
        QTest::newRow("negative fps") << QStringList{"--out", "o", "--fps", "-1"} << "--fps";
        QTest::newRow("size without height") << QStringList{"--out", "o", "--size", "640"} << "--size";
        QTest::newRow("size zero wide") << QStringList{"--out", "o", "--size", "0x10"} << "--size";
        QTest::newRow("size with junk") << QStringList{"--out", "o", "--size", "640x360x2"} << "--size";
        QTest::newRow("size too big") << QStringList{"--out", "o", "--size", "20000x100"} << "--size";
        QTest::newRow("negative from") << QStringList{"--out", "o", "--from", "-1"} << "--from";
        QTest::newRow("from nan") << QStringList{"--out", "o", "--from", "nan"} << "--from";
        QTest::newRow("from in exponent form") << QStringList{"--out", "o", "--from", "1e3"} << "--from";
        QTest::newRow("to not a number") << QStringList{"--out", "o", "--to", "end"} << "--to";
        QTest::newRow("to before from") << QStringList{"--out", "o", "--from", "6", "--to", "5"} << "--to";
        QTest::newRow("empty range") << QStringList{"--out", "o", "--from", "5", "--to", "5"} << "--to";
        QTest::newRow("rate twice") << QStringList{"--out", "o", "--rate", "60", "--rate", "120"} << "--rate";
        QTest::newRow("video with odd width") << QStringList{"--out", "o", "--video", "v.mp4", "--size", "641x360"} << "--video";
        QTest::newRow("video with empty name") << QStringList{"--out", "o", "--video="} << "--video";
        QTest::newRow("video of no format taken") << QStringList{"--out", "o", "--video", "v.avi"} << ".mp4, .webm, .webp or .gif";
        QTest::newRow("video named only by an extension") << QStringList{"--out", "o", "--video", ".gif"} << "--video";
        QTest::newRow("GIF faster than its frames can last") << QStringList{"--out", "o", "--video", "v.GIF"} << "--fps 50";
        QTest::newRow("flash check with --out") << QStringList{"--flash-check", "--out", "o"} << "--flash-check";
        QTest::newRow("flash check with --video") << QStringList{"--flash-check", "--video", "v.mp4"} << "--flash-check";
    }
    void mistakes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, named);
        const ParsedCaptureOptions parsed = parseCaptureOptions(arguments);
        QVERIFY2(!parsed.ok, "accepted");
        QVERIFY2(parsed.error.contains(named), qPrintable("message does not name " + named + ": " + parsed.error));
    }
};

QTEST_APPLESS_MAIN(TestCaptureOptions)
#include "test_capture_options.moc"

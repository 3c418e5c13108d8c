// The show's command line: what each option sets, and what is refused.
#include "showoptions.h"

#include <QtTest>

Q_DECLARE_METATYPE(OptionsOutcome)

class TestShowOptions : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<OptionsOutcome>("outcome");
        QTest::addColumn<QString>("settings");  // what the parsed options read as, or a refusal's message holds
        const auto run = OptionsOutcome::Run;
        const auto refused = OptionsOutcome::UsageError;
        QTest::newRow("none") << QStringList{} << run << "full 1920x1080 screen= start=0 mute=0 rate=120 literal=0";
        QTest::newRow("window") << QStringList{"--window"} << run << "window 1920x1080 screen= start=0 mute=0 rate=120 literal=0";
        QTest::newRow("window size") << QStringList{"--window", "1280x720"} << run << "window 1280x720 screen= start=0 mute=0 rate=120 literal=0";
        QTest::newRow("window size after =") << QStringList{"--window=1280x720"} << run << "window 1280x720 screen= start=0 mute=0 rate=120 literal=0";
        QTest::newRow("largest window") << QStringList{"--window", "16384x16384"} << run << "window 16384x16384 screen= start=0 mute=0 rate=120 literal=0";
        QTest::newRow("everything") << QStringList{"--screen", "HDMI-1", "--start", "60", "--mute", "--rate", "60", "--literal"}
                                    << run << "full 1920x1080 screen=HDMI-1 start=2646000 mute=1 rate=60 literal=1";
        QTest::newRow("gentle") << QStringList{"--gentle", "--window"} << run
                                << "window 1920x1080 screen= start=0 mute=0 rate=120 literal=0 gentle";
        QTest::newRow("step pacing") << QStringList{"--step-pacing"} << run
                                     << "full 1920x1080 screen= start=0 mute=0 rate=120 literal=0 step-pacing";
        QTest::newRow("Qt's own") << QStringList{"-platform", "offscreen", "-reverse"} << run
                                  << "full 1920x1080 screen= start=0 mute=0 rate=120 literal=0";
        QTest::newRow("help") << QStringList{"--help"} << OptionsOutcome::Done << "";
        QTest::newRow("version") << QStringList{"--version"} << OptionsOutcome::Done << "";
        QTest::newRow("unknown") << QStringList{"--fast"} << refused << "";
        QTest::newRow("size without --window") << QStringList{"1280x720"} << refused << "";
        QTest::newRow("bad size") << QStringList{"--window", "10"} << refused << "";
        QTest::newRow("zero size") << QStringList{"--window", "0x720"} << refused << "";
        QTest::newRow("zero by zero") << QStringList{"--window", "0x0"} << refused << "each from 1 to 16384";
        QTest::newRow("wider than any screen") << QStringList{"--window", "99999x99999"} << refused << "each from 1 to 16384";
        QTest::newRow("one past the largest") << QStringList{"--window=16385x100"} << refused << "not 16385x100";
        QTest::newRow("rate 0") << QStringList{"--rate", "0"} << refused << "";
        QTest::newRow("rate text") << QStringList{"--rate", "x"} << refused << "";
        QTest::newRow("rate too high") << QStringList{"--rate", "1001"} << refused << "";
        QTest::newRow("start below 0") << QStringList{"--start", "-1"} << refused << "";
        QTest::newRow("start text") << QStringList{"--start", "soon"} << refused << "";
        QTest::newRow("start no value") << QStringList{"--start"} << refused << "";
        QTest::newRow("empty screen") << QStringList{"--screen", ""} << refused << "";
        QTest::newRow("gentle with a value") << QStringList{"--gentle=yes"} << refused << "";
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(OptionsOutcome, outcome);
        QFETCH(QString, settings);
        ShowOptions options;
        QString message;
        QCOMPARE(parseShowOptions(QStringList{"karnveldt"} + arguments, &options, &message), outcome);
        if (outcome == OptionsOutcome::UsageError) {
            QVERIFY2(!message.isEmpty(), "a refusal says why");
            QVERIFY2(message.contains(settings), qPrintable(QStringLiteral("\"%1\" does not say \"%2\"").arg(message, settings)));
        }
        if (outcome != OptionsOutcome::Run)
            return;
        const QString read = QStringLiteral("%1 %2x%3 screen=%4 start=%5 mute=%6 rate=%7 literal=%8%9%10")
                                 .arg(options.windowed ? "window" : "full")
                                 .arg(options.windowSize.width()).arg(options.windowSize.height())
                                 .arg(options.screen).arg(options.startSample).arg(options.mute)
                                 .arg(options.rate).arg(options.literal).arg(options.gentle ? " gentle" : "")
                                 .arg(options.stepPacing ? " step-pacing" : "");
        QCOMPARE(read, settings);
    }

    void versionAndHelpSayWhatTheyAre()
    {
        ShowOptions options;
        QString message;
        parseShowOptions({"karnveldt", "--version"}, &options, &message);
        QCOMPARE(message, QStringLiteral("karnveldt 1.0.0\n"));
        parseShowOptions({"karnveldt", "--help"}, &options, &message);
        for (const char *option : {"--window", "--screen", "--start", "--mute", "--rate", "--literal", "--gentle", "--step-pacing", "--version"})
            QVERIFY2(message.contains(option), option);
        // The warning comes before the options, where it is read first.
        QVERIFY2(message.indexOf("WARNING: the show flashes") >= 0
                     && message.indexOf("WARNING: the show flashes") < message.indexOf("--window"),
                 "the photosensitivity warning leads the help");
        QVERIFY2(!message.contains("-platform"), "Qt's own options stay out of the help");
    }
};

QTEST_APPLESS_MAIN(TestShowOptions)
#include "test_showoptions.moc"

// DiscordDrawCommand: paints nothing, hands the frame the row-shift amounts
// of a kick, and only from song row 1000 on.
#include "discorddrawcommand.h"
#include "effecttest.h"

#include <QtTest>

using namespace effecttest;

class TestEffectDiscord : public QObject {
    Q_OBJECT

private slots:
    void sequence_data();
    void sequence();
    void beforeRowThousandEndsAtOnce_data();
    void beforeRowThousandEndsAtOnce();
    void amountAtBoundaries_data();
    void amountAtBoundaries();
    void neverPaints();
    void gentleShakesByWholePixels_data();
    void gentleShakesByWholePixels();
};

void TestEffectDiscord::sequence_data()
{
    QTest::addColumn<int>("firstCall");
    QTest::addColumn<int>("lastCall");
    QTest::addColumn<int>("distortion");
    QTest::addColumn<bool>("keep");
    QTest::newRow("calls 1-2, c 32..31") << 1 << 2 << 0 << true;
    QTest::newRow("calls 3-9, c 30..24") << 3 << 9 << 3 << true;
    QTest::newRow("calls 10-17, c 23..16") << 10 << 17 << 2 << true;
    QTest::newRow("calls 18-24, c 15..9") << 18 << 24 << 1 << true;
    QTest::newRow("calls 25-32, c 8..1") << 25 << 32 << 0 << true;
    QTest::newRow("call 33, c 0") << 33 << 33 << 0 << false;
}

void TestEffectDiscord::sequence()
{
    QFETCH(int, firstCall);
    QFETCH(int, lastCall);
    QFETCH(int, distortion);
    QFETCH(bool, keep);
    DiscordDrawCommand discord(1000, 32);
    Frame frame(8, 8);
    for (int call = 1; call <= lastCall; ++call) {
        const DrawResult result = discord.draw(frame.painter);
        QCOMPARE(discord.life, 32 - call);
        QVERIFY(!result.stopPass);
        if (call < firstCall)
            continue;
        QVERIFY2(result.distortion == distortion && result.keep == keep,
                 qPrintable(QStringLiteral("call %1: distortion %2 keep %3")
                                .arg(call).arg(result.distortion).arg(result.keep)));
    }
}

void TestEffectDiscord::beforeRowThousandEndsAtOnce_data()
{
    QTest::addColumn<int>("songRow");
    QTest::addColumn<int>("calls");
    QTest::newRow("row 0") << 0 << 1;
    QTest::newRow("row 999") << 999 << 1;
    QTest::newRow("row 1000") << 1000 << 33;
    QTest::newRow("row 1100") << 1100 << 33;
}

void TestEffectDiscord::beforeRowThousandEndsAtOnce()
{
    QFETCH(int, songRow);
    QFETCH(int, calls);
    DiscordDrawCommand discord(songRow, 32);
    Frame frame(8, 8);
    int made = 0;
    int total = 0;
    bool keep = true;
    while (keep && made < 100) {
        const DrawResult result = discord.draw(frame.painter);
        keep = result.keep;
        total += result.distortion;
        ++made;
    }
    QCOMPARE(made, calls);
    if (calls == 1) {
        QCOMPARE(total, 0);
        QCOMPARE(discord.life, 32);
    } else {
        QCOMPARE(total, 7 * 3 + 8 * 2 + 7 * 1);
        QCOMPARE(discord.life, -1);
    }
}

void TestEffectDiscord::amountAtBoundaries_data()
{
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("distortion");
    QTest::addColumn<bool>("keep");
    QTest::newRow("c 31: still quiet") << 31 << 0 << true;
    QTest::newRow("c 30: 3.87") << 30 << 3 << true;
    QTest::newRow("c 24: 3.07") << 24 << 3 << true;
    QTest::newRow("c 23: 2.93") << 23 << 2 << true;
    QTest::newRow("c 16: exactly 2") << 16 << 2 << true;
    QTest::newRow("c 1: 0") << 1 << 0 << true;
    QTest::newRow("c 0: -2/15 truncates to 0") << 0 << 0 << false;
    QTest::newRow("c -8: -1.2 truncates to -1") << -8 << -1 << false;
}

void TestEffectDiscord::amountAtBoundaries()
{
    QFETCH(int, c);
    QFETCH(int, distortion);
    QFETCH(bool, keep);
    DiscordDrawCommand discord(1000, c);
    Frame frame(8, 8);
    const DrawResult result = discord.draw(frame.painter);
    QCOMPARE(result.distortion, distortion);
    QCOMPARE(result.keep, keep);
    QCOMPARE(discord.life, c - 1);
}

void TestEffectDiscord::neverPaints()
{
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    const QPen pen(Qt::green, 3.0);
    painter.setPen(pen);
    for (int songRow : {10, 1000}) {
        DiscordDrawCommand discord(songRow, 32);
        while (discord.draw(painter).keep) {
        }
    }
    QCOMPARE(device.calls().size(), 0);
    QCOMPARE(painter.opacity(), 1.0);
    QVERIFY(painter.transform().isIdentity());
    QCOMPARE(painter.pen(), pen);
}

void TestEffectDiscord::gentleShakesByWholePixels_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("distortion");
    QTest::newRow("c 31: still quiet") << 1920 << 31 << 0;
    QTest::newRow("c 30: 3 as ever") << 1920 << 30 << 3;
    QTest::newRow("c 23: 3, not 2") << 1920 << 23 << 3;
    QTest::newRow("c 9: 3, not 1") << 1920 << 9 << 3;
    QTest::newRow("c 8: 0 as ever") << 1920 << 8 << 0;
    QTest::newRow("64 wide: shakes") << 64 << 30 << 3;
    QTest::newRow("63 wide: still") << 63 << 30 << 0;
}

void TestEffectDiscord::gentleShakesByWholePixels()
{
    QFETCH(int, width);
    QFETCH(int, c);
    QFETCH(int, distortion);
    DiscordDrawCommand discord(1000, c, 1);
    Frame frame(width, 8);
    const DrawResult result = discord.draw(frame.painter);
    QCOMPARE(result.distortion, distortion);
    QCOMPARE(result.keep, c > 0);
    QCOMPARE(discord.life, c - 1);
}

QTEST_MAIN(TestEffectDiscord)
#include "test_effect_discord.moc"

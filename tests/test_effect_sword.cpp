// DrawSwordDrawCommand: the white slanted band, placed by the pan, growing
// on its right edges and fading in and out on a half sine.
#include "drawsworddrawcommand.h"
#include "effecttest.h"

#include <QtTest>
#include <cmath>

using namespace effecttest;

class TestEffectSword : public QObject {
    Q_OBJECT

private slots:
    void bandCorners_data();
    void bandCorners();
    void opacityFollowsHalfSine_data();
    void opacityFollowsHalfSine();
    void bandPixels_data();
    void bandPixels();
    void livesHundredAndOneCalls();
    void delayWaitsInvisibly();
    void leavesWhiteBrushAndNoPen();
};

void TestEffectSword::bandCorners_data()
{
    QTest::addColumn<int>("pan");
    QTest::addColumn<int>("life");
    QTest::addColumn<qreal>("topLeft");
    QTest::addColumn<qreal>("bottomLeft");
    QTest::addColumn<qreal>("width");
    QTest::newRow("pan 0, spawn") << 0 << 100 << 800.0 << -320.0 << 50.0;
    QTest::newRow("pan 128, spawn") << 128 << 100 << 1281.88 << 643.76 << 50.0;
    QTest::newRow("pan 255, spawn") << 255 << 100 << 1760.0 << 1600.0 << 50.0;
    QTest::newRow("pan 0, life 50") << 0 << 50 << 800.0 << -320.0 << 60.0;
    QTest::newRow("pan 128, life 50") << 128 << 50 << 1281.88 << 643.76 << 60.0;
    QTest::newRow("pan 255, last call") << 255 << 0 << 1760.0 << 1600.0 << 70.0;
    QTest::newRow("pan 128, last call") << 128 << 0 << 1281.88 << 643.76 << 70.0;
}

void TestEffectSword::bandCorners()
{
    QFETCH(int, pan);
    QFETCH(int, life);
    QFETCH(qreal, topLeft);
    QFETCH(qreal, bottomLeft);
    QFETCH(qreal, width);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    DrawSwordDrawCommand sword(pan, 0, life);
    sword.draw(painter);
    QCOMPARE(device.calls().size(), 1);
    const PaintCall &call = device.calls().first();
    QCOMPARE(call.kind, PaintCall::Path);
    QVERIFY(call.transform.isIdentity());
    const QPainterPath &path = call.path;
    QVERIFY2(path.elementCount() >= 4, qPrintable(QString::number(path.elementCount())));
    // Along the path: top left, bottom left, bottom right, top right.
    const QPointF expected[4] = {{topLeft, 0}, {bottomLeft, 1080}, {bottomLeft + width, 1080},
                                 {topLeft + width, 0}};
    for (int i = 0; i < 4; ++i) {
        const QPointF seen(path.elementAt(i).x, path.elementAt(i).y);
        QVERIFY2(qAbs(seen.x() - expected[i].x()) < 0.01 && seen.y() == expected[i].y(),
                 qPrintable(QStringLiteral("corner %1 at (%2, %3), expected (%4, %5)")
                                .arg(i).arg(seen.x()).arg(seen.y())
                                .arg(expected[i].x()).arg(expected[i].y())));
    }
    QCOMPARE(path.elementAt(0).type, QPainterPath::MoveToElement);
    QCOMPARE(call.pen.style(), Qt::NoPen);
    QCOMPARE(call.brush.style(), Qt::SolidPattern);
    QCOMPARE(call.brush.color(), QColor(Qt::white));
}

void TestEffectSword::opacityFollowsHalfSine_data()
{
    QTest::addColumn<int>("life");
    QTest::addColumn<qreal>("opacity");
    QTest::newRow("spawn, sin(pi)") << 100 << std::sin(M_PI);
    QTest::newRow("life 75") << 75 << std::sin(0.75 * M_PI);
    QTest::newRow("life 50, full") << 50 << 1.0;
    QTest::newRow("life 10") << 10 << std::sin(0.1 * M_PI);
    QTest::newRow("last call") << 0 << 0.0;
}

void TestEffectSword::opacityFollowsHalfSine()
{
    QFETCH(int, life);
    QFETCH(qreal, opacity);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    DrawSwordDrawCommand sword(128, 0, life);
    sword.draw(painter);
    QCOMPARE(device.calls().size(), 1);
    const qreal seen = device.calls().first().opacity;
    QVERIFY2(qAbs(seen - opacity) < 1e-7,
             qPrintable(QStringLiteral("opacity %1, expected %2").arg(seen).arg(opacity)));
    QCOMPARE(painter.opacity(), 1.0);
}

void TestEffectSword::bandPixels_data()
{
    QTest::addColumn<int>("pan");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("white");
    // life 50: full opacity, band 60 pixels wide.
    QTest::newRow("pan 255, top row inside") << 255 << QPoint(1790, 0) << true;
    QTest::newRow("pan 255, left of top edge") << 255 << QPoint(1755, 0) << false;
    QTest::newRow("pan 255, right of top edge") << 255 << QPoint(1825, 0) << false;
    QTest::newRow("pan 255, bottom row inside") << 255 << QPoint(1630, 1079) << true;
    QTest::newRow("pan 255, left of bottom edge") << 255 << QPoint(1595, 1079) << false;
    QTest::newRow("pan 255, mid height") << 255 << QPoint(1710, 540) << true;
    QTest::newRow("pan 0, top row inside") << 0 << QPoint(830, 0) << true;
    QTest::newRow("pan 0, bottom row off frame") << 0 << QPoint(5, 1079) << false;
    QTest::newRow("pan 0, bottom-left corner of frame") << 0 << QPoint(0, 1079) << false;
    QTest::newRow("pan 0, mid height") << 0 << QPoint(270, 540) << true;
}

void TestEffectSword::bandPixels()
{
    QFETCH(int, pan);
    QFETCH(QPoint, at);
    QFETCH(bool, white);
    Frame frame;
    DrawSwordDrawCommand sword(pan, 0, 50);
    sword.draw(frame.painter);
    const QColor seen = pixel(frame.done(), at.x(), at.y());
    const QColor expected = white ? QColor(Qt::white) : background();
    QVERIFY2(seen == expected, qPrintable(QStringLiteral("(%1, %2, %3)")
                                              .arg(seen.red()).arg(seen.green()).arg(seen.blue())));
}

void TestEffectSword::livesHundredAndOneCalls()
{
    DrawSwordDrawCommand sword(64, 0, 100);
    Frame frame(192, 108);
    for (int call = 1; call <= 101; ++call) {
        const DrawResult result = sword.draw(frame.painter);
        QVERIFY2(result.keep == (call < 101) && result.distortion == 0 && !result.stopPass,
                 qPrintable(QStringLiteral("call %1: keep %2").arg(call).arg(result.keep)));
        QCOMPARE(sword.life, 100 - call);
        QCOMPARE(sword.delay, -call);
    }
}

void TestEffectSword::delayWaitsInvisibly()
{
    DrawSwordDrawCommand sword(128, 3, 100);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    for (int call = 1; call <= 3; ++call) {
        const DrawResult result = sword.draw(painter);
        QVERIFY2(result.keep, qPrintable(QStringLiteral("waiting call %1").arg(call)));
        QVERIFY2(device.calls().isEmpty(), qPrintable(QStringLiteral("waiting call %1 drew").arg(call)));
        QCOMPARE(sword.life, 100);
        QCOMPARE(sword.delay, 3 - call);
    }
    int drawn = 0;
    while (sword.draw(painter).keep)
        ++drawn;
    QCOMPARE(drawn + 1, 101);
    QCOMPARE(device.calls().size(), 101);
    QCOMPARE(sword.delay, 3 - 104);
}

void TestEffectSword::leavesWhiteBrushAndNoPen()
{
    Frame frame(192, 108);
    frame.painter.setPen(QPen(Qt::red, 5.0));
    frame.painter.setBrush(Qt::blue);
    DrawSwordDrawCommand sword(128, 0, 50);
    sword.draw(frame.painter);
    QCOMPARE(frame.painter.pen().style(), Qt::NoPen);
    QCOMPARE(frame.painter.brush(), QBrush(Qt::white, Qt::SolidPattern));
    QCOMPARE(frame.painter.opacity(), 1.0);
    QVERIFY(frame.painter.transform().isIdentity());
    // No red outline along the band: only white and background.
    const QImage &image = frame.done();
    QCOMPARE(countPixels(image, image.rect(), [](const QColor &c) { return c.red() > c.green() + 20; }), 0);
}

QTEST_MAIN(TestEffectSword)
#include "test_effect_sword.moc"

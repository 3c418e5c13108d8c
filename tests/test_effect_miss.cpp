// MissDrawCommand: the grey ring outline, its bounding square's top-left
// corner fixed on the diagonal, growing right and down while it fades.
#include "effecttest.h"
#include "missdrawcommand.h"

#include <QtTest>

using namespace effecttest;

class TestEffectMiss : public QObject {
    Q_OBJECT

private slots:
    void ringBySizeAndLife_data();
    void ringBySizeAndLife();
    void cornerByPan_data();
    void cornerByPan();
    void diameterStepsInWholePixels();
    void ringPixels_data();
    void ringPixels();
    void livesHundredAndOneCalls();
    void leavesNoBrushAndItsPen();
};

void TestEffectMiss::ringBySizeAndLife_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("life");
    QTest::addColumn<int>("grey");
    QTest::addColumn<int>("diameter");
    QTest::addColumn<qreal>("penWidth");
    QTest::addColumn<qreal>("opacity");
    QTest::newRow("size 30, spawn") << 30 << 100 << 90 << 30 << 10.0 << 1.0;
    QTest::newRow("size 30, last call") << 30 << 0 << 90 << 40 << 40.0 / 3 << 0.0;
    QTest::newRow("size 60, spawn") << 60 << 100 << 180 << 60 << 20.0 << 1.0;
    QTest::newRow("size 60, last call") << 60 << 0 << 180 << 70 << 70.0 / 3 << 0.0;
    QTest::newRow("size 70, spawn") << 70 << 100 << 210 << 70 << 70.0 / 3 << 1.0;
    QTest::newRow("size 70, life 50") << 70 << 50 << 210 << 75 << 25.0 << 0.5;
    QTest::newRow("size 70, last call") << 70 << 0 << 210 << 80 << 80.0 / 3 << 0.0;
}

void TestEffectMiss::ringBySizeAndLife()
{
    QFETCH(int, size);
    QFETCH(int, life);
    QFETCH(int, grey);
    QFETCH(int, diameter);
    QFETCH(qreal, penWidth);
    QFETCH(qreal, opacity);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    MissDrawCommand miss(0, size, life);
    miss.draw(painter);
    QCOMPARE(device.calls().size(), 1);
    const PaintCall &ring = device.calls().first();
    QCOMPARE(ring.kind, PaintCall::Ellipse);
    QCOMPARE(ring.rect, QRectF(480, 270, diameter, diameter));
    QCOMPARE(ring.pen.color().rgba(), qRgba(grey, grey, grey, 255));
    QVERIFY2(qAbs(ring.pen.widthF() - penWidth) < 1e-4,
             qPrintable(QStringLiteral("pen width %1, expected %2").arg(ring.pen.widthF()).arg(penWidth)));
    QCOMPARE(ring.pen.capStyle(), Qt::SquareCap);
    QCOMPARE(ring.pen.joinStyle(), Qt::BevelJoin);
    QCOMPARE(ring.brush.style(), Qt::NoBrush);
    QVERIFY2(qAbs(ring.opacity - opacity) < 1e-6,
             qPrintable(QStringLiteral("opacity %1").arg(ring.opacity)));
    QVERIFY(ring.transform.isIdentity());
}

void TestEffectMiss::cornerByPan_data()
{
    QTest::addColumn<int>("pan");
    QTest::addColumn<QPoint>("corner");
    QTest::newRow("pan 0") << 0 << QPoint(480, 270);
    QTest::newRow("pan 128") << 128 << QPoint(961, 541);
    QTest::newRow("pan 255") << 255 << QPoint(1440, 810);
}

void TestEffectMiss::cornerByPan()
{
    QFETCH(int, pan);
    QFETCH(QPoint, corner);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    MissDrawCommand miss(pan, 60, 100);
    // The corner stays put for the whole life.
    for (int call = 1; call <= 101; ++call) {
        device.clear();
        miss.draw(painter);
        QVERIFY2(device.calls().size() == 1 && device.calls().first().rect.topLeft() == corner,
                 qPrintable(QStringLiteral("call %1: corner moved").arg(call)));
    }
}

void TestEffectMiss::diameterStepsInWholePixels()
{
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    MissDrawCommand miss(0, 30, 100);
    qreal previousWidth = 0;
    int previousDiameter = 30;
    for (int call = 1; call <= 101; ++call) {
        device.clear();
        miss.draw(painter);
        const PaintCall &ring = device.calls().first();
        const int diameter = static_cast<int>(ring.rect.width());
        const QString name = QStringLiteral("call %1").arg(call);
        QVERIFY2(ring.rect.width() == diameter && ring.rect.height() == diameter,
                 qPrintable(name + ": diameter not whole"));
        QVERIFY2(diameter == previousDiameter || diameter == previousDiameter + 1,
                 qPrintable(name + QStringLiteral(": diameter %1 after %2").arg(diameter).arg(previousDiameter)));
        QVERIFY2(ring.pen.widthF() > previousWidth, qPrintable(name + ": pen width did not grow"));
        previousWidth = ring.pen.widthF();
        previousDiameter = diameter;
    }
    QCOMPARE(previousDiameter, 40);
}

void TestEffectMiss::ringPixels_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("inked");
    // pan 0, size 60, spawn: ring in the square (480, 270)-(539, 329),
    // pen 20 wide centred on it.
    QTest::newRow("top of ring") << QPoint(510, 270) << true;
    QTest::newRow("bottom of ring") << QPoint(510, 329) << true;
    QTest::newRow("left of ring") << QPoint(480, 300) << true;
    QTest::newRow("right of ring") << QPoint(539, 300) << true;
    QTest::newRow("centre is hollow") << QPoint(510, 300) << false;
    QTest::newRow("outside above") << QPoint(510, 255) << false;
    QTest::newRow("outside left") << QPoint(465, 300) << false;
    QTest::newRow("outside right") << QPoint(555, 300) << false;
}

void TestEffectMiss::ringPixels()
{
    QFETCH(QPoint, at);
    QFETCH(bool, inked);
    Frame frame;
    // A solid brush left by an earlier effect must not fill the ring.
    frame.painter.setBrush(Qt::yellow);
    MissDrawCommand miss(0, 60, 100);
    miss.draw(frame.painter);
    const QColor seen = pixel(frame.done(), at.x(), at.y());
    const QColor expected = inked ? QColor(180, 180, 180) : background();
    QVERIFY2(seen == expected, qPrintable(QStringLiteral("(%1, %2, %3)")
                                              .arg(seen.red()).arg(seen.green()).arg(seen.blue())));
}

void TestEffectMiss::livesHundredAndOneCalls()
{
    MissDrawCommand miss(30, 70, 100);
    Frame frame(192, 108);
    for (int call = 1; call <= 101; ++call) {
        const DrawResult result = miss.draw(frame.painter);
        QVERIFY2(result.keep == (call < 101) && result.distortion == 0 && !result.stopPass,
                 qPrintable(QStringLiteral("call %1: keep %2").arg(call).arg(result.keep)));
        QCOMPARE(miss.life, 100 - call);
    }
}

void TestEffectMiss::leavesNoBrushAndItsPen()
{
    Frame frame(192, 108);
    frame.painter.setBrush(Qt::yellow);
    MissDrawCommand miss(128, 30, 100);
    miss.draw(frame.painter);
    QCOMPARE(frame.painter.brush().style(), Qt::NoBrush);
    QCOMPARE(frame.painter.pen().color().rgba(), qRgba(90, 90, 90, 255));
    QCOMPARE(frame.painter.opacity(), 1.0);
    QVERIFY(frame.painter.transform().isIdentity());
}

QTEST_MAIN(TestEffectMiss)
#include "test_effect_miss.moc"

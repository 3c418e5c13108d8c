// SnareDrawCommand: the red flash over the whole frame, fading out.
#include "effecttest.h"
#include "snaredrawcommand.h"

#include <QtTest>

using namespace effecttest;

namespace {

// The background seen through red at the given opacity, per channel.
QColor tinted(qreal opacity)
{
    const QColor bg = background();
    return QColor(qRound(bg.red() + (255 - bg.red()) * opacity),
                  qRound(bg.green() * (1 - opacity)), qRound(bg.blue() * (1 - opacity)));
}

bool near(const QColor &a, const QColor &b, int tolerance = 1)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

QString text(const QColor &c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

}  // namespace

class TestEffectSnare : public QObject {
    Q_OBJECT

private slots:
    void livesTwentyOneCalls();
    void opacityFallsBySixtieths();
    void coversTheWholeFrame_data();
    void coversTheWholeFrame();
    void lastCallIsInvisible();
    void leavesPainterAsFound();
    void twoSnaresCompound();
    void coversEarlierEffects();
    void gentleGlowIsPaleAndFaint();
};

void TestEffectSnare::livesTwentyOneCalls()
{
    SnareDrawCommand snare(20);
    Frame frame(64, 36);
    for (int call = 1; call <= 21; ++call) {
        const DrawResult result = snare.draw(frame.painter);
        QVERIFY2(result.keep == (call < 21),
                 qPrintable(QStringLiteral("call %1: keep %2").arg(call).arg(result.keep)));
        QVERIFY2(result.distortion == 0 && !result.stopPass,
                 qPrintable(QStringLiteral("call %1: distortion %2, stopPass %3")
                                .arg(call).arg(result.distortion).arg(result.stopPass)));
        QCOMPARE(snare.life, 20 - call);
    }
    QCOMPARE(snare.life, -1);
}

void TestEffectSnare::opacityFallsBySixtieths()
{
    SnareDrawCommand snare(20);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    for (int call = 1; call <= 21; ++call) {
        device.clear();
        snare.draw(painter);
        const QString name = QStringLiteral("call %1").arg(call);
        QVERIFY2(device.calls().size() == 1, qPrintable(name + ": not one fill"));
        const PaintCall &fill = device.calls().first();
        const qreal expected = (21 - call) / 60.0;
        QVERIFY2(qAbs(fill.opacity - expected) < 1e-6,
                 qPrintable(name + QStringLiteral(": opacity %1, expected %2")
                                       .arg(fill.opacity).arg(expected)));
        QVERIFY2(fill.kind == PaintCall::Rect && fill.rect == QRectF(0, 0, 1920, 1080),
                 qPrintable(name + ": the fill is not the whole viewport"));
        QVERIFY2(fill.brush.color() == QColor(255, 0, 0), qPrintable(name + ": not pure red"));
    }
}

void TestEffectSnare::coversTheWholeFrame_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::newRow("top left") << QPoint(0, 0);
    QTest::newRow("top right") << QPoint(1919, 0);
    QTest::newRow("bottom left") << QPoint(0, 1079);
    QTest::newRow("bottom right") << QPoint(1919, 1079);
    QTest::newRow("centre") << QPoint(960, 540);
}

void TestEffectSnare::coversTheWholeFrame()
{
    QFETCH(QPoint, at);
    Frame frame;
    SnareDrawCommand snare(20);
    snare.draw(frame.painter);
    const QColor seen = pixel(frame.done(), at.x(), at.y());
    QVERIFY2(near(seen, tinted(1.0 / 3.0)),
             qPrintable(QStringLiteral("%1 instead of %2").arg(text(seen), text(tinted(1.0 / 3.0)))));
}

void TestEffectSnare::lastCallIsInvisible()
{
    Frame frame(64, 36);
    SnareDrawCommand snare(0);
    const DrawResult result = snare.draw(frame.painter);
    QVERIFY(!result.keep);
    QCOMPARE(countInk(frame.done(), frame.image.rect()), 0);
}

void TestEffectSnare::leavesPainterAsFound()
{
    Frame frame(64, 36);
    const QPen pen(Qt::green, 7.0);
    const QBrush brush(Qt::blue, Qt::Dense3Pattern);
    frame.painter.setPen(pen);
    frame.painter.setBrush(brush);
    SnareDrawCommand snare(20);
    snare.draw(frame.painter);
    QCOMPARE(frame.painter.opacity(), 1.0);
    QVERIFY(frame.painter.transform().isIdentity());
    QCOMPARE(frame.painter.pen(), pen);
    QCOMPARE(frame.painter.brush(), brush);
}

void TestEffectSnare::twoSnaresCompound()
{
    Frame one(64, 36);
    SnareDrawCommand(20).draw(one.painter);
    Frame two(64, 36);
    SnareDrawCommand(20).draw(two.painter);
    SnareDrawCommand(20).draw(two.painter);
    // Two fills of 1/3 leave 4/9 of the background: the same as one fill of 5/9.
    const QColor once = pixel(one.done(), 10, 10);
    const QColor twice = pixel(two.done(), 10, 10);
    QVERIFY2(near(once, tinted(1.0 / 3.0)), qPrintable(text(once)));
    QVERIFY2(near(twice, tinted(5.0 / 9.0), 2), qPrintable(text(twice)));
}

void TestEffectSnare::coversEarlierEffects()
{
    Frame frame(64, 36);
    frame.painter.fillRect(QRect(0, 0, 32, 36), Qt::white);
    SnareDrawCommand(20).draw(frame.painter);
    const QColor over = pixel(frame.done(), 10, 10);
    // White under a third of red: red stays full, the others lose a third.
    QVERIFY2(near(over, QColor(255, 170, 170)), qPrintable(text(over)));
}

void TestEffectSnare::gentleGlowIsPaleAndFaint()
{
    SnareDrawCommand snare(20, 1);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    for (int call = 1; call <= 21; ++call) {
        device.clear();
        const DrawResult result = snare.draw(painter);
        const QString name = QStringLiteral("call %1").arg(call);
        QVERIFY2(result.keep == (call < 21), qPrintable(name));
        QVERIFY2(device.calls().size() == 1, qPrintable(name + ": not one fill"));
        const PaintCall &fill = device.calls().first();
        QVERIFY2(qAbs(fill.opacity - (21 - call) / 160.0) < 1e-6, qPrintable(name + QStringLiteral(": opacity %1").arg(fill.opacity)));
        QVERIFY2(fill.rect == QRectF(0, 0, 1920, 1080) && fill.brush.color() == QColor(255, 215, 200),
                 qPrintable(name + ": not the pale rose over the whole viewport"));
    }
    QCOMPARE(painter.opacity(), 1.0);
}

QTEST_MAIN(TestEffectSnare)
#include "test_effect_snare.moc"

// SnareDrawCommand: the red flash over the whole frame, fading out.
#include "effecttest.h"
#include "snaredrawcommand.h"
#include "tintramp.h"

#include <QtTest>

using namespace effecttest;

namespace {

// The probe under the snare in the state it is in, drawn as many times as given.
QImage drawnOnProbe(const SnareDrawCommand &snare, QImage probe, int times)
{
    {
        QPainter painter(&probe);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < times; ++i)
            SnareDrawCommand(snare).draw(painter);
    }
    return probe;
}

}  // namespace

class TestEffectSnare : public QObject {
    Q_OBJECT

private slots:
    void fillsWhatItSays_data();
    void fillsWhatItSays();
    void leavesPainterAsFound();
};

void TestEffectSnare::fillsWhatItSays_data()
{
    QTest::addColumn<int>("gentle");
    QTest::addColumn<double>("fading");  // the opacity is life over this
    QTest::addColumn<QColor>("colour");
    QTest::newRow("the red flash") << 0 << 60.0 << QColor(255, 0, 0);
    QTest::newRow("the gentle glow") << 1 << 160.0 << QColor(255, 215, 200);
}

// 21 calls, the last one without keep, each one fill over the whole viewport
// as the snare says it is, painted exactly as the tint of that fill, which
// leaves nothing to see in the last call: over every value in every channel
// (white and what earlier effects painted among them), and over itself, as
// two snares alive at once are.
void TestEffectSnare::fillsWhatItSays()
{
    QFETCH(int, gentle);
    QFETCH(double, fading);
    QFETCH(QColor, colour);
    SnareDrawCommand snare(20, gentle);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    for (int call = 1; call <= 21; ++call) {
        const QString name = QStringLiteral("call %1").arg(call);
        const SnareFill fill = snare.fill();
        const FrameTint tint = fillTint(fill.colour, fill.opacity);
        const QImage once = drawnOnProbe(snare, tintRamp(), 1);
        QVERIFY2(once == underTint(tintRamp(), tint), qPrintable(name + ": not the tint it says"));
        QVERIFY2(drawnOnProbe(snare, tintRamp(), 2) == underTint(once, tint), qPrintable(name + ": twice is not two tints"));
        QVERIFY2(tint.isClear() == (call == 21), qPrintable(name + ": seen or not as it should be"));
        device.clear();
        const DrawResult result = snare.draw(painter);
        QVERIFY2(result.keep == (call < 21) && result.distortion == 0 && !result.stopPass && snare.life == 20 - call,
                 qPrintable(name + QStringLiteral(": keep %1, distortion %2, stopPass %3, life %4")
                                       .arg(result.keep).arg(result.distortion).arg(result.stopPass).arg(snare.life)));
        QVERIFY2(device.calls().size() == 1, qPrintable(name + ": not one fill"));
        const PaintCall &drawn = device.calls().first();
        QVERIFY2(qAbs(drawn.opacity - (21 - call) / fading) < 1e-6 && drawn.opacity == fill.opacity,
                 qPrintable(name + QStringLiteral(": opacity %1, said %2").arg(drawn.opacity).arg(fill.opacity)));
        QVERIFY2(drawn.kind == PaintCall::Rect && drawn.rect == QRectF(0, 0, 1920, 1080),
                 qPrintable(name + ": the fill is not the whole viewport"));
        QVERIFY2(drawn.brush.color() == colour && fill.colour == colour, qPrintable(name + ": not its colour"));
    }
    QCOMPARE(painter.opacity(), 1.0);
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

QTEST_MAIN(TestEffectSnare)
#include "test_effect_snare.moc"

// ParryDrawCommand: the grey X, placed on the diagonal by the pan, scattered
// by the song row, turned by the pan, growing and fading out.
#include "effecttest.h"
#include "parrydrawcommand.h"

#include <QtTest>

using namespace effecttest;

namespace {

bool sameTransform(const QTransform &a, const QTransform &b)
{
    return qAbs(a.m11() - b.m11()) < 1e-9 && qAbs(a.m12() - b.m12()) < 1e-9
           && qAbs(a.m21() - b.m21()) < 1e-9 && qAbs(a.m22() - b.m22()) < 1e-9
           && a.dx() == b.dx() && a.dy() == b.dy();
}

}  // namespace

class TestEffectParry : public QObject {
    Q_OBJECT

private slots:
    void placementAndTurn_data();
    void placementAndTurn();
    void crossShape_data();
    void crossShape();
    void greyBySize_data();
    void greyBySize();
    void saturationTintsRed();
    void crossPixels_data();
    void crossPixels();
    void scatterStaysWithinHundred();
    void livesHundredAndOneCalls();
    void leavesPenAndIdentity();
};

void TestEffectParry::placementAndTurn_data()
{
    QTest::addColumn<int>("pan");
    QTest::addColumn<int>("songRow");
    QTest::addColumn<QPoint>("centre");
    QTest::newRow("pan 0, row 0") << 0 << 0 << QPoint(480, 270);
    QTest::newRow("pan 128, row 0") << 128 << 0 << QPoint(961, 541);
    QTest::newRow("pan 128, row 1000: sin 0.8269") << 128 << 1000 << QPoint(961, 623);
    QTest::newRow("pan 128, row 11: sin -0.99999") << 128 << 11 << QPoint(961, 441);
    QTest::newRow("pan 255, row 0") << 255 << 0 << QPoint(1440, 810);
}

void TestEffectParry::placementAndTurn()
{
    QFETCH(int, pan);
    QFETCH(int, songRow);
    QFETCH(QPoint, centre);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    ParryDrawCommand parry(pan, 40, 0, songRow, 100);
    // The scatter belongs to the mark: the same in every frame.
    for (int call = 1; call <= 3; ++call) {
        device.clear();
        parry.draw(painter);
        QCOMPARE(device.calls().size(), 1);
        const PaintCall &stroke = device.calls().first();
        const QTransform expected = QTransform().translate(centre.x(), centre.y()).rotate(pan);
        QVERIFY2(sameTransform(stroke.transform, expected),
                 qPrintable(QStringLiteral("call %1: origin (%2, %3), expected (%4, %5)")
                                .arg(call).arg(stroke.transform.dx()).arg(stroke.transform.dy())
                                .arg(centre.x()).arg(centre.y())));
    }
}

void TestEffectParry::crossShape_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("life");
    QTest::addColumn<qreal>("reach");
    QTest::addColumn<qreal>("opacity");
    QTest::newRow("size 20, spawn") << 20 << 100 << 20.0 << 1.0;
    QTest::newRow("size 40, life 50") << 40 << 50 << 45.0 << 0.5;
    QTest::newRow("size 85, last call") << 85 << 0 << 95.0 << 0.0;
}

void TestEffectParry::crossShape()
{
    QFETCH(int, size);
    QFETCH(int, life);
    QFETCH(qreal, reach);
    QFETCH(qreal, opacity);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    ParryDrawCommand parry(0, size, 0, 0, life);
    parry.draw(painter);
    QCOMPARE(device.calls().size(), 1);
    const PaintCall &stroke = device.calls().first();
    QCOMPARE(stroke.kind, PaintCall::Path);
    // Out to each corner and back to the centre: upper left, lower left,
    // lower right, upper right.
    const QPointF expected[] = {{0, 0},          {-reach, -reach}, {0, 0}, {-reach, reach}, {0, 0},
                                {reach, reach}, {0, 0},           {reach, -reach}, {0, 0}};
    QCOMPARE(stroke.path.elementCount(), 9);
    for (int i = 0; i < 9; ++i) {
        const QPainterPath::Element e = stroke.path.elementAt(i);
        QVERIFY2(qAbs(e.x - expected[i].x()) < 1e-4 && qAbs(e.y - expected[i].y()) < 1e-4
                     && e.type == (i == 0 ? QPainterPath::MoveToElement : QPainterPath::LineToElement),
                 qPrintable(QStringLiteral("element %1 at (%2, %3), expected (%4, %5)")
                                .arg(i).arg(e.x).arg(e.y).arg(expected[i].x()).arg(expected[i].y())));
    }
    QVERIFY2(qAbs(stroke.pen.widthF() - reach) < 1e-4,
             qPrintable(QStringLiteral("pen width %1").arg(stroke.pen.widthF())));
    QCOMPARE(stroke.pen.capStyle(), Qt::SquareCap);
    QCOMPARE(stroke.pen.joinStyle(), Qt::BevelJoin);
    QCOMPARE(stroke.pen.style(), Qt::SolidLine);
    QVERIFY2(qAbs(stroke.opacity - opacity) < 1e-6,
             qPrintable(QStringLiteral("opacity %1").arg(stroke.opacity)));
}

void TestEffectParry::greyBySize_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("grey");
    QTest::newRow("size 20") << 20 << 60;
    QTest::newRow("size 30") << 30 << 90;
    QTest::newRow("size 40") << 40 << 120;
    QTest::newRow("size 50") << 50 << 150;
    QTest::newRow("size 60") << 60 << 180;
    QTest::newRow("size 85") << 85 << 255;
}

void TestEffectParry::greyBySize()
{
    QFETCH(int, size);
    QFETCH(int, grey);
    Frame frame;
    ParryDrawCommand parry(0, size, 0, 0, 100);
    parry.draw(frame.painter);
    QCOMPARE(frame.painter.pen().color().rgba(), qRgba(grey, grey, grey, 255));
    // Where the strokes meet, the mark is opaque at spawn.
    QCOMPARE(pixel(frame.done(), 480, 270), QColor(grey, grey, grey));
}

void TestEffectParry::saturationTintsRed()
{
    Frame frame;
    ParryDrawCommand parry(0, 40, 255, 0, 100);
    parry.draw(frame.painter);
    QCOMPARE(frame.painter.pen().color().rgba(), qRgba(120, 0, 0, 255));
    QCOMPARE(pixel(frame.done(), 480, 270), QColor(120, 0, 0));
}

void TestEffectParry::crossPixels_data()
{
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<bool>("inked");
    // pan 0 (no turn), size 40, spawn: strokes 40 wide out to (±40, ±40).
    // Each stroke turns back at its corner, so it ends there flat (a bevel
    // join, not a square cap).
    QTest::newRow("centre") << QPoint(0, 0) << true;
    QTest::newRow("upper left stroke") << QPoint(-30, -30) << true;
    QTest::newRow("lower left stroke") << QPoint(-30, 30) << true;
    QTest::newRow("lower right stroke") << QPoint(30, 30) << true;
    QTest::newRow("upper right stroke") << QPoint(30, -30) << true;
    QTest::newRow("just inside the corner") << QPoint(-37, -37) << true;
    QTest::newRow("just beyond the corner") << QPoint(-44, -44) << false;
    QTest::newRow("between upper strokes") << QPoint(0, -45) << false;
    QTest::newRow("between left strokes") << QPoint(-45, 0) << false;
    QTest::newRow("between lower strokes") << QPoint(0, 45) << false;
    QTest::newRow("between right strokes") << QPoint(45, 0) << false;
    QTest::newRow("far beyond the corner") << QPoint(-75, -75) << false;
}

void TestEffectParry::crossPixels()
{
    QFETCH(QPoint, offset);
    QFETCH(bool, inked);
    Frame frame;
    // A solid brush left by an earlier effect must not fill anything.
    frame.painter.setBrush(Qt::yellow);
    ParryDrawCommand parry(0, 40, 0, 0, 100);
    parry.draw(frame.painter);
    const QColor seen = pixel(frame.done(), 480 + offset.x(), 270 + offset.y());
    const QColor expected = inked ? QColor(120, 120, 120) : background();
    QVERIFY2(seen == expected, qPrintable(QStringLiteral("(%1, %2, %3)")
                                              .arg(seen.red()).arg(seen.green()).arg(seen.blue())));
}

void TestEffectParry::scatterStaysWithinHundred()
{
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    int lowest = 1000;
    int highest = -1000;
    for (int songRow = 0; songRow < 1200; ++songRow) {
        device.clear();
        ParryDrawCommand(128, 40, 0, songRow, 100).draw(painter);
        const int scatter = static_cast<int>(device.calls().first().transform.dy()) - 541;
        lowest = qMin(lowest, scatter);
        highest = qMax(highest, scatter);
    }
    QVERIFY2(lowest >= -100 && highest <= 100,
             qPrintable(QStringLiteral("scatter from %1 to %2").arg(lowest).arg(highest)));
    QVERIFY2(lowest < -95 && highest > 95,
             qPrintable(QStringLiteral("scatter only from %1 to %2").arg(lowest).arg(highest)));
}

void TestEffectParry::livesHundredAndOneCalls()
{
    ParryDrawCommand parry(200, 30, 0, 77, 100);
    Frame frame(192, 108);
    for (int call = 1; call <= 101; ++call) {
        const DrawResult result = parry.draw(frame.painter);
        QVERIFY2(result.keep == (call < 101) && result.distortion == 0 && !result.stopPass,
                 qPrintable(QStringLiteral("call %1: keep %2").arg(call).arg(result.keep)));
        QCOMPARE(parry.life, 100 - call);
    }
}

void TestEffectParry::leavesPenAndIdentity()
{
    Frame frame(192, 108);
    ParryDrawCommand parry(255, 50, 0, 3, 60);
    parry.draw(frame.painter);
    QVERIFY(frame.painter.transform().isIdentity());
    QVERIFY(frame.painter.worldTransform().isIdentity());
    QCOMPARE(frame.painter.opacity(), 1.0);
    QCOMPARE(frame.painter.pen().color().rgba(), qRgba(150, 150, 150, 255));
    QVERIFY2(qAbs(frame.painter.pen().widthF() - 54.0) < 1e-4,
             qPrintable(QString::number(frame.painter.pen().widthF())));
}

QTEST_MAIN(TestEffectParry)
#include "test_effect_parry.moc"

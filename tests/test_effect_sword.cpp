// DrawSwordDrawCommand: the white slanted band, placed by the pan, growing
// on its right edges and fading in and out on a half sine.
#include "drawsworddrawcommand.h"
#include "effecttest.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <cstring>

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
    void stripsPaintTheOnePieceBand_data();
    void stripsPaintTheOnePieceBand();
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

// In one piece, and in strips: the first strip starts at the band's top
// corners, each strip starts where the one before ended, and the last ends
// at the bottom corners.
void TestEffectSword::bandCorners()
{
    QFETCH(int, pan);
    QFETCH(int, life);
    QFETCH(qreal, topLeft);
    QFETCH(qreal, bottomLeft);
    QFETCH(qreal, width);
    for (const bool onePiece : {true, false}) {
        RecordingDevice device(1920, 1080);
        QPainter painter(&device);
        DrawSwordDrawCommand::inOnePiece = onePiece;
        DrawSwordDrawCommand sword(pan, 0, life);
        sword.draw(painter);
        DrawSwordDrawCommand::inOnePiece = false;
        const int pieces = onePiece ? 1 : (1080 + DrawSwordDrawCommand::stripRows - 1) / DrawSwordDrawCommand::stripRows;
        QCOMPARE(device.calls().size(), pieces);
        // Along each path: top left, bottom left, bottom right, top right.
        QPointF top[2] = {{topLeft, 0}, {topLeft + width, 0}};
        for (int piece = 0; piece < pieces; ++piece) {
            const PaintCall &call = device.calls().at(piece);
            QCOMPARE(call.kind, PaintCall::Path);
            QVERIFY(call.transform.isIdentity());
            QCOMPARE(call.pen.style(), Qt::NoPen);
            QCOMPARE(call.brush.style(), Qt::SolidPattern);
            QCOMPARE(call.brush.color(), QColor(Qt::white));
            const QPainterPath &path = call.path;
            QVERIFY2(path.elementCount() >= 4, qPrintable(QString::number(path.elementCount())));
            QCOMPARE(path.elementAt(0).type, QPainterPath::MoveToElement);
            const QPointF bottom[2] = {{path.elementAt(1).x, path.elementAt(1).y},
                                       {path.elementAt(2).x, path.elementAt(2).y}};
            const QPointF expected[4] = {top[0], piece == pieces - 1 ? QPointF(bottomLeft, 1080) : bottom[0],
                                         piece == pieces - 1 ? QPointF(bottomLeft + width, 1080) : bottom[1], top[1]};
            for (int i = 0; i < 4; ++i) {
                const QPointF seen(path.elementAt(i).x, path.elementAt(i).y);
                QVERIFY2(qAbs(seen.x() - expected[i].x()) < 0.01 && seen.y() == expected[i].y(),
                         qPrintable(QStringLiteral("%1 piece %2, corner %3 at (%4, %5), expected (%6, %7)")
                                        .arg(onePiece ? "one" : "strip").arg(piece).arg(i).arg(seen.x())
                                        .arg(seen.y()).arg(expected[i].x()).arg(expected[i].y())));
            }
            QCOMPARE(bottom[0].y(), onePiece ? 1080.0 : std::min(1080.0, (piece + 1.0) * DrawSwordDrawCommand::stripRows));
            top[0] = bottom[0];
            top[1] = bottom[1];
        }
    }
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
    QVERIFY(!device.calls().isEmpty());
    for (const PaintCall &call : device.calls())
        QVERIFY2(qAbs(call.opacity - opacity) < 1e-7,
                 qPrintable(QStringLiteral("opacity %1, expected %2").arg(call.opacity).arg(opacity)));
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

void TestEffectSword::stripsPaintTheOnePieceBand_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("pan");
    QTest::addColumn<int>("life");
    for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160), QSize(200, 150)})
        for (const int pan : {0, 77, 255})
            for (const int life : {50, 3})
                QTest::addRow("%dx%d, pan %d, life %d", size.width(), size.height(), pan, life)
                    << size << pan << life;
}

// The strips join without a gap or an overlap: only pixels on the band's
// slanted edges may differ from the band filled in one piece, and by a few
// levels at most.
void TestEffectSword::stripsPaintTheOnePieceBand()
{
    QFETCH(QSize, size);
    QFETCH(int, pan);
    QFETCH(int, life);
    QImage drawn[2];
    for (const bool onePiece : {true, false}) {
        Frame frame(size.width(), size.height());
        DrawSwordDrawCommand::inOnePiece = onePiece;
        DrawSwordDrawCommand(pan, 0, life).draw(frame.painter);
        DrawSwordDrawCommand::inOnePiece = false;
        drawn[onePiece ? 0 : 1] = frame.done();
    }
    QCOMPARE(drawn[0].format(), QImage::Format_RGB888);
    int worst = 0;
    for (int y = 0; y < size.height(); ++y) {
        const uchar *one = drawn[0].constScanLine(y);
        const uchar *strips = drawn[1].constScanLine(y);
        const auto sameAs = [one](int x, int other) { return std::memcmp(one + 3 * x, one + 3 * other, 3) == 0; };
        for (int x = 0; x < size.width(); ++x) {
            int difference = 0;
            for (int channel = 0; channel < 3; ++channel)
                difference = std::max(difference, std::abs(one[3 * x + channel] - strips[3 * x + channel]));
            worst = std::max(worst, difference);
            // Inside the band and outside it, a pixel is as its neighbours in the row.
            const bool onEdge = (x > 0 && !sameAs(x, x - 1)) || (x + 1 < size.width() && !sameAs(x, x + 1));
            if (difference != 0 && !onEdge)
                QFAIL(qPrintable(QStringLiteral("(%1, %2), off the edges, differs by %3").arg(x).arg(y).arg(difference)));
        }
    }
    QVERIFY2(worst <= 4, qPrintable(QStringLiteral("an edge pixel differs by %1").arg(worst)));
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
    QCOMPARE(device.calls().size(), 101 * ((1080 + DrawSwordDrawCommand::stripRows - 1) / DrawSwordDrawCommand::stripRows));
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

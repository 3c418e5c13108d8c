// KillDrawCommand: the red skull sinking onto the diagonal, and the closing
// blackout that ends the pass from the song's last order position on.
#include "effecttest.h"
#include "killdrawcommand.h"

#include <QFontDatabase>
#include <QtTest>

using namespace effecttest;

namespace {

const QString skull = QString::fromUtf8("🕱");

bool sameTransform(const QTransform &a, const QTransform &b)
{
    return qAbs(a.m11() - b.m11()) < 1e-9 && qAbs(a.m12() - b.m12()) < 1e-9
           && qAbs(a.m21() - b.m21()) < 1e-9 && qAbs(a.m22() - b.m22()) < 1e-9
           && a.dx() == b.dx() && a.dy() == b.dy();
}

bool reddish(const QColor &c) { return c.red() > 150 && c.green() < 40 && c.blue() < 40; }

// The kill mark's ink on its own frame, cut out.
QImage inkOf(const std::function<void(QPainter &)> &paint)
{
    Frame frame;
    paint(frame.painter);
    frame.done();
    return frame.image.copy(inkBounds(frame.image));
}

}  // namespace

class TestEffectKill : public QObject {
    Q_OBJECT

public:
    static void initMain() { hideInstalledFonts(); }

private slots:
    void initTestCase();
    void glyphMark_data();
    void glyphMark();
    void pixelSizeGrowsEveryTenFrames();
    void skullIsDrawn();
    void skullComesFromTheSymbolSubset();
    void livesHundredAndOneCalls();
    void blackout_data();
    void blackout();
    void leavesPenFontAndIdentity();
};

void TestEffectKill::initTestCase()
{
    registerShowFonts();
    const QStringList families = QFontDatabase().families();
    QVERIFY(families.contains(QStringLiteral("Font Awesome 5 Free")));
    QVERIFY(families.contains(QStringLiteral("Noto Sans Symbols2")));
}

void TestEffectKill::glyphMark_data()
{
    QTest::addColumn<int>("pan");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("life");
    QTest::addColumn<QPoint>("origin");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<int>("red");
    QTest::addColumn<qreal>("penWidth");
    QTest::addColumn<qreal>("opacity");
    QTest::addColumn<bool>("keep");
    QTest::newRow("pan 128, size 40, spawn") << 128 << 40 << 100 << QPoint(961, 441) << 200 << 120 << 40.0 << 1.0 << true;
    QTest::newRow("pan 0, size 20, spawn") << 0 << 20 << 100 << QPoint(480, 170) << 200 << 60 << 20.0 << 1.0 << true;
    QTest::newRow("pan 255, size 30, last call") << 255 << 30 << 0 << QPoint(1440, 810) << 210 << 90 << 40.0 << 0.0 << false;
    QTest::newRow("pan 128, size 85, spawn") << 128 << 85 << 100 << QPoint(961, 441) << 200 << 255 << 85.0 << 1.0 << true;
    QTest::newRow("pan 128, size 85, last call") << 128 << 85 << 0 << QPoint(961, 541) << 210 << 255 << 95.0 << 0.0 << false;
    QTest::newRow("pan 0, size 40, life 50") << 0 << 40 << 50 << QPoint(480, 220) << 205 << 120 << 45.0 << 0.5 << true;
}

void TestEffectKill::glyphMark()
{
    QFETCH(int, pan);
    QFETCH(int, size);
    QFETCH(int, life);
    QFETCH(QPoint, origin);
    QFETCH(int, pixelSize);
    QFETCH(int, red);
    QFETCH(qreal, penWidth);
    QFETCH(qreal, opacity);
    QFETCH(bool, keep);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    KillDrawCommand kill(pan, size, 0, life);
    const DrawResult result = kill.draw(painter);
    QCOMPARE(result.keep, keep);
    QVERIFY(!result.stopPass);
    QCOMPARE(result.distortion, 0);
    QCOMPARE(device.calls().size(), 1);
    const PaintCall &text = device.calls().first();
    QCOMPARE(text.kind, PaintCall::Text);
    QCOMPARE(text.text, skull);
    QCOMPARE(text.point, QPointF(0, 0));
    const QTransform expected = QTransform().translate(origin.x(), origin.y()).rotate(pan);
    QVERIFY2(sameTransform(text.transform, expected),
             qPrintable(QStringLiteral("origin (%1, %2)").arg(text.transform.dx()).arg(text.transform.dy())));
    QCOMPARE(text.font.family(), QStringLiteral("Font Awesome 5 Free"));
    QCOMPARE(text.font.pixelSize(), pixelSize);
    QCOMPARE(text.pen.color().rgba(), qRgba(red, 0, 0, 255));
    QVERIFY2(qAbs(text.pen.widthF() - penWidth) < 1e-4, qPrintable(QString::number(text.pen.widthF())));
    QCOMPARE(text.pen.capStyle(), Qt::SquareCap);
    QCOMPARE(text.pen.joinStyle(), Qt::BevelJoin);
    QVERIFY2(qAbs(text.opacity - opacity) < 1e-6, qPrintable(QString::number(text.opacity)));
    QCOMPARE(kill.life, life - 1);
}

void TestEffectKill::pixelSizeGrowsEveryTenFrames()
{
    Frame frame(192, 108);
    KillDrawCommand kill(128, 40, 0, 100);
    for (int life = 100; life >= 0; --life) {
        kill.draw(frame.painter);
        const int expected = 200 + (100 - life) / 10;
        QVERIFY2(frame.painter.font().pixelSize() == expected,
                 qPrintable(QStringLiteral("life %1: pixel size %2, expected %3")
                                .arg(life).arg(frame.painter.font().pixelSize()).arg(expected)));
    }
}

void TestEffectKill::skullIsDrawn()
{
    // Full red, opaque, unturned: a glyph some 200 pixels tall and wide
    // whose ink covers a good part of its box but not all of it.
    Frame frame;
    KillDrawCommand(0, 85, 0, 100).draw(frame.painter);
    const QImage &image = frame.done();
    const int red = countPixels(image, image.rect(), reddish);
    const QRect ink = inkBounds(image);
    QVERIFY2(ink.width() > 120 && ink.width() < 260 && ink.height() > 120 && ink.height() < 260,
             qPrintable(QStringLiteral("ink %1 x %2").arg(ink.width()).arg(ink.height())));
    const int area = ink.width() * ink.height();
    QVERIFY2(red > area / 5 && red < area * 4 / 5,
             qPrintable(QStringLiteral("%1 red pixels in %2").arg(red).arg(area)));
    // The glyph sits above its baseline, starting at the origin (480, 170).
    QVERIFY2(ink.bottom() <= 170 + 40 && ink.left() >= 480 - 10,
             qPrintable(QStringLiteral("ink from (%1, %2) to (%3, %4)")
                            .arg(ink.left()).arg(ink.top()).arg(ink.right()).arg(ink.bottom())));
}

void TestEffectKill::skullComesFromTheSymbolSubset()
{
    // The icon face has no skull; the kill mark must show the symbol
    // subset's skull, pixel for pixel, and name that face as its fallback
    // rather than leave the choice to whatever a machine has installed.
    const auto withFamily = [](const QString &family, const QString &text) {
        return inkOf([&](QPainter &painter) {
            QFont font;
            font.setFamily(family);
            font.setPixelSize(200);
            painter.setFont(font);
            painter.setPen(QColor(255, 0, 0));
            painter.drawText(QPointF(480, 170), text);
        });
    };
    const QImage mark = inkOf([](QPainter &painter) { KillDrawCommand(0, 85, 0, 100).draw(painter); });
    const QImage symbols = withFamily(QStringLiteral("Noto Sans Symbols2"), skull);
    QVERIFY2(!mark.isNull(), "the kill mark left no ink");
    QVERIFY2(mark == symbols, "the kill mark is not the symbol subset's skull");

    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    KillDrawCommand(0, 85, 0, 100).draw(painter);
    const QStringList families = device.calls().first().font.families();
    QVERIFY2(families.value(0) == QStringLiteral("Font Awesome 5 Free")
                 && families.contains(QStringLiteral("Noto Sans Symbols2")),
             qPrintable(families.join(QStringLiteral(", "))));
}

void TestEffectKill::livesHundredAndOneCalls()
{
    KillDrawCommand kill(200, 30, 8, 100);
    Frame frame(192, 108);
    for (int call = 1; call <= 101; ++call) {
        const DrawResult result = kill.draw(frame.painter);
        QVERIFY2(result.keep == (call < 101) && result.distortion == 0 && !result.stopPass,
                 qPrintable(QStringLiteral("call %1: keep %2").arg(call).arg(result.keep)));
        QCOMPARE(kill.life, 100 - call);
    }
}

void TestEffectKill::blackout_data()
{
    QTest::addColumn<int>("songPosition");
    QTest::newRow("position 9") << 9;
    QTest::newRow("position 14") << 14;
}

void TestEffectKill::blackout()
{
    QFETCH(int, songPosition);
    KillDrawCommand kill(128, 40, songPosition, 100);
    for (int call = 1; call <= 300; ++call) {
        Frame frame(320, 180);
        frame.painter.fillRect(QRect(10, 10, 50, 50), Qt::white);  // an earlier effect
        const DrawResult result = kill.draw(frame.painter);
        const QString name = QStringLiteral("call %1").arg(call);
        QVERIFY2(result.keep && result.stopPass && result.distortion == 0, qPrintable(name));
        QVERIFY2(kill.life == 100, qPrintable(name));
        QCOMPARE(frame.painter.opacity(), 1.0);
        QVERIFY(frame.painter.transform().isIdentity());
        const QImage &image = frame.done();
        QVERIFY2(countInk(image, image.rect(), QColor(Qt::black)) == 0, qPrintable(name + ": not all black"));
    }
}

void TestEffectKill::leavesPenFontAndIdentity()
{
    Frame frame;
    KillDrawCommand kill(77, 30, 3, 40);
    kill.draw(frame.painter);
    QVERIFY(frame.painter.transform().isIdentity());
    QVERIFY(frame.painter.worldTransform().isIdentity());
    QCOMPARE(frame.painter.opacity(), 1.0);
    QCOMPARE(frame.painter.font().family(), QStringLiteral("Font Awesome 5 Free"));
    QCOMPARE(frame.painter.pen().color().rgba(), qRgba(90, 0, 0, 255));
}

QTEST_MAIN(TestEffectKill)
#include "test_effect_kill.moc"

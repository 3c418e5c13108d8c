// NoteDrawCommand: the rising note glyph, placed by pitch and song row,
// drawn in the application's default font; dropped unseen late in the song.
#include "effecttest.h"
#include "notedrawcommand.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QtTest>

using namespace effecttest;

namespace {

const QString eighth = QString::fromUtf8("♪");
const QString quarter = QString::fromUtf8("♩");
const QString beamedEighths = QString::fromUtf8("♫");
const QString beamedSixteenths = QString::fromUtf8("♬");

bool whiteish(const QColor &c) { return c.green() > 150 && c.red() > 150 && c.blue() > 150; }

}  // namespace

class TestEffectNote : public QObject {
    Q_OBJECT

public:
    static void initMain() { hideInstalledFonts(); }

private slots:
    void initTestCase();
    void baselineStart_data();
    void baselineStart();
    void glyphBySongRow_data();
    void glyphBySongRow();
    void fontAndPen();
    void everyGlyphHasInk_data();
    void everyGlyphHasInk();
    void glyphsDifferFromEachOtherAndFromABox();
    void lowNoteLeavesTheFrame();
    void livesHundredAndOneCalls();
    void lateNoteIsDroppedUnseen_data();
    void lateNoteIsDroppedUnseen();
    void leavesPenFontAndIdentity();
};

void TestEffectNote::initTestCase()
{
    registerShowFonts();
    QVERIFY(QFontDatabase().families().contains(QStringLiteral("Liberation Sans")));
    QCOMPARE(QFontInfo(QFont()).family(), QStringLiteral("Liberation Sans"));
}

void TestEffectNote::baselineStart_data()
{
    QTest::addColumn<int>("life");
    QTest::addColumn<int>("songRow");
    QTest::addColumn<int>("note");
    QTest::addColumn<QPointF>("baseline");
    QTest::addColumn<QString>("glyph");
    QTest::addColumn<qreal>("opacity");
    QTest::newRow("row 0, note 66, spawn") << 100 << 0 << 66 << QPointF(1164, 640) << eighth << 1.0;
    QTest::newRow("row 0, note 66, last call") << 0 << 0 << 66 << QPointF(1140, 540) << eighth << 0.0;
    QTest::newRow("row 5, note 71, spawn") << 100 << 5 << 71 << QPointF(976, 687) << quarter << 1.0;
}

void TestEffectNote::baselineStart()
{
    QFETCH(int, life);
    QFETCH(int, songRow);
    QFETCH(int, note);
    QFETCH(QPointF, baseline);
    QFETCH(QString, glyph);
    QFETCH(qreal, opacity);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    NoteDrawCommand noteMark(life, songRow, 0, note);
    noteMark.draw(painter);
    QCOMPARE(device.calls().size(), 1);
    const PaintCall &text = device.calls().first();
    QCOMPARE(text.kind, PaintCall::Text);
    QCOMPARE(text.text, glyph);
    QCOMPARE(text.point, baseline);
    QVERIFY2(qAbs(text.opacity - opacity) < 1e-6, qPrintable(QString::number(text.opacity)));
}

void TestEffectNote::glyphBySongRow_data()
{
    QTest::addColumn<int>("songRow");
    QTest::addColumn<QString>("glyph");
    QTest::newRow("row 0") << 0 << eighth;
    QTest::newRow("row 1") << 1 << quarter;
    QTest::newRow("row 2") << 2 << beamedEighths;
    QTest::newRow("row 3") << 3 << beamedSixteenths;
    QTest::newRow("row 4") << 4 << eighth;
    QTest::newRow("row 1001") << 1001 << quarter;
    QTest::newRow("row 1002") << 1002 << beamedEighths;
    QTest::newRow("row 1003") << 1003 << beamedSixteenths;
}

void TestEffectNote::glyphBySongRow()
{
    QFETCH(int, songRow);
    QFETCH(QString, glyph);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    NoteDrawCommand(100, songRow, 3, 60).draw(painter);
    QCOMPARE(device.calls().size(), 1);
    QCOMPARE(device.calls().first().text, glyph);
}

void TestEffectNote::fontAndPen()
{
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    NoteDrawCommand(100, 2, 3, 60).draw(painter);
    const PaintCall &text = device.calls().first();
    QCOMPARE(text.font.pixelSize(), 100);
    QCOMPARE(text.font.weight(), static_cast<int>(QFont::Bold));
    QCOMPARE(QFontInfo(text.font).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(text.pen.color(), QColor(Qt::white));
    QCOMPARE(text.pen.widthF(), 20.0);
    QCOMPARE(text.pen.capStyle(), Qt::SquareCap);
    QCOMPARE(text.pen.joinStyle(), Qt::BevelJoin);
}

void TestEffectNote::everyGlyphHasInk_data()
{
    QTest::addColumn<int>("songRow");
    QTest::addColumn<uint>("codePoint");
    QTest::newRow("row 0: eighth note") << 0 << 0x266Au;
    QTest::newRow("row 1: quarter note") << 1 << 0x2669u;
    QTest::newRow("row 2: beamed eighth notes") << 2 << 0x266Bu;
    QTest::newRow("row 3: beamed sixteenth notes") << 3 << 0x266Cu;
}

void TestEffectNote::everyGlyphHasInk()
{
    QFETCH(int, songRow);
    QFETCH(uint, codePoint);
    QFont bold;
    bold.setPixelSize(100);
    bold.setWeight(QFont::Bold);
    QVERIFY(QFontMetrics(bold).inFont(QChar(codePoint)));

    Frame frame;
    NoteDrawCommand(100, songRow, 0, 66).draw(frame.painter);
    const QImage &image = frame.done();
    const int white = countPixels(image, image.rect(), whiteish);
    QVERIFY2(white > 200, qPrintable(QStringLiteral("only %1 white pixels").arg(white)));

    // The ink lies above the baseline and starts near the baseline start.
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    NoteDrawCommand(100, songRow, 0, 66).draw(painter);
    const QPointF baseline = device.calls().first().point;
    const QRect ink = inkBounds(image);
    QVERIFY2(ink.left() >= baseline.x() - 5 && ink.left() < baseline.x() + 40
                 && ink.bottom() <= baseline.y() + 5 && ink.top() >= baseline.y() - 110,
             qPrintable(QStringLiteral("ink (%1, %2)-(%3, %4), baseline start (%5, %6)")
                            .arg(ink.left()).arg(ink.top()).arg(ink.right()).arg(ink.bottom())
                            .arg(baseline.x()).arg(baseline.y())));
}

void TestEffectNote::glyphsDifferFromEachOtherAndFromABox()
{
    // Each note's ink cut out of the frame, and what the same font draws for
    // a character that no compiled-in font has: the missing-glyph box.
    QVector<QImage> pictures;
    for (int row = 0; row < 4; ++row) {
        Frame frame;
        NoteDrawCommand(100, row, 0, 66).draw(frame.painter);
        pictures.append(frame.done().copy(inkBounds(frame.image)));
        QVERIFY2(!pictures.last().isNull(), qPrintable(QStringLiteral("row %1: no ink").arg(row)));
    }
    Frame boxFrame;
    NoteDrawCommand(100, 0, 0, 66).draw(boxFrame.painter);  // leaves the note's pen and font set
    boxFrame.painter.fillRect(boxFrame.image.rect(), background());
    boxFrame.painter.drawText(QPointF(900, 600), QString::fromUcs4(U"\U0001F572"));
    const QImage box = boxFrame.done().copy(inkBounds(boxFrame.image));
    QVERIFY(!box.isNull());

    for (int a = 0; a < 4; ++a) {
        QVERIFY2(pictures[a] != box, qPrintable(QStringLiteral("row %1 draws a box").arg(a)));
        for (int b = a + 1; b < 4; ++b)
            QVERIFY2(pictures[a] != pictures[b],
                     qPrintable(QStringLiteral("rows %1 and %2 draw the same").arg(a).arg(b)));
    }
}

void TestEffectNote::lowNoteLeavesTheFrame()
{
    Frame frame;
    NoteDrawCommand low(100, 0, 0, 40);
    low.draw(frame.painter);
    QCOMPARE(countInk(frame.done(), frame.image.rect()), 0);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    NoteDrawCommand(100, 0, 0, 40).draw(painter);
    QVERIFY(device.calls().first().point.x() >= 1920);
}

void TestEffectNote::livesHundredAndOneCalls()
{
    NoteDrawCommand noteMark(100, 9, 8, 64);
    Frame frame(192, 108);
    for (int call = 1; call <= 101; ++call) {
        const DrawResult result = noteMark.draw(frame.painter);
        QVERIFY2(result.keep == (call < 101) && result.distortion == 0 && !result.stopPass,
                 qPrintable(QStringLiteral("call %1: keep %2").arg(call).arg(result.keep)));
        QCOMPARE(noteMark.life, 100 - call);
    }
}

void TestEffectNote::lateNoteIsDroppedUnseen_data()
{
    QTest::addColumn<int>("songPosition");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("position 8") << 8 << true;
    QTest::newRow("position 9") << 9 << false;
    QTest::newRow("position 12") << 12 << false;
}

void TestEffectNote::lateNoteIsDroppedUnseen()
{
    QFETCH(int, songPosition);
    QFETCH(bool, drawn);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    NoteDrawCommand noteMark(100, 0, songPosition, 66);
    const DrawResult result = noteMark.draw(painter);
    QCOMPARE(result.keep, drawn);
    QCOMPARE(device.calls().size(), drawn ? 1 : 0);
    QCOMPARE(noteMark.life, drawn ? 99 : 100);
}

void TestEffectNote::leavesPenFontAndIdentity()
{
    Frame frame(192, 108);
    NoteDrawCommand noteMark(50, 1, 0, 66);
    noteMark.draw(frame.painter);
    QCOMPARE(frame.painter.opacity(), 1.0);
    QVERIFY(frame.painter.transform().isIdentity());
    QCOMPARE(frame.painter.pen().color(), QColor(Qt::white));
    QCOMPARE(frame.painter.pen().widthF(), 20.0);
    QCOMPARE(frame.painter.font().pixelSize(), 100);
}

QTEST_MAIN(TestEffectNote)
#include "test_effect_note.moc"

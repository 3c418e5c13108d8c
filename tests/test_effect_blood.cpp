// BloodDrawCommand: the stripes running down from the top edge, the title
// fading in and out, the credits fading in for good, and the duplicates that
// remove themselves.
#include "blooddrawcommand.h"
#include "effecttest.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QtTest>
#include <cstdlib>

using namespace effecttest;

namespace {

const QString titleUpper = QStringLiteral("YOU HAVE BEEN WATCHING");
const QString titleLower = QStringLiteral("KARNVELDT");
const QStringList creditTexts = {QStringLiteral("CODE BY"), QStringLiteral("MUSIC BY"),
                                 QStringLiteral("QUILMO"), QStringLiteral("TAVRIK")};

// A working blood effect whose next call is call number c: age after the
// increase is then c, so n = c - delay, k = c - titleStart, k2 = k - 400.
BloodDrawCommand atCall(int c, int delay = 400, int titleStart = 900)
{
    return BloodDrawCommand(delay, titleStart, c - 1, 0);
}

QVector<PaintCall> callsOf(const QVector<PaintCall> &calls, PaintCall::Kind kind)
{
    QVector<PaintCall> picked;
    for (const PaintCall &call : calls)
        if (call.kind == kind)
            picked.append(call);
    return picked;
}

// One stripe as its recipe gives it: three rand() values per column after srand(0).
struct Stripe {
    int length;
    QColor colour;
    int speed;
    int headStart;
};

QVector<Stripe> recipe(int count, int n)
{
    srand(0);
    QVector<Stripe> stripes;
    for (int i = 0; i < count; ++i) {
        const int h = rand();
        const int l = rand();
        const int o = rand();
        const int speed = l % 5 + 1;
        stripes.append({-(h % 200) + speed * n / 5, QColor(Qt::red).darker(100 + o % 50), speed,
                        -(h % 200)});
    }
    return stripes;
}

bool textInk(const QColor &c) { return c.green() > background().green() + 10; }

}  // namespace

class TestEffectBlood : public QObject {
    Q_OBJECT

public:
    static void initMain() { hideInstalledFonts(); }

private slots:
    void initTestCase();
    void duplicateRemovesItself();
    void waitsFourHundredCalls();
    void stripeColumns_data();
    void stripeColumns();
    void stripesFollowTheirRecipe();
    void firstPaintingCallShowsAtMostOneRow();
    void lastColumnsStayBare();
    void equalNGivesEqualStripes();
    void titleOpacity_data();
    void titleOpacity();
    void creditsOpacity_data();
    void creditsOpacity();
    void titleAndCreditsFonts();
    void titleRectangles();
    void creditRectangles();
    void narrowViewportStillShowsTitle();
    void leavesOpacityAndTransform();
};

void TestEffectBlood::initTestCase()
{
    registerShowFonts();
    QVERIFY(QFontDatabase().families().contains(QStringLiteral("Liberation Sans")));
}

void TestEffectBlood::duplicateRemovesItself()
{
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    BloodDrawCommand first = atCall(1000);
    QVERIFY(first.draw(painter).keep);
    const int paintedByFirst = device.calls().size();
    QVERIFY(paintedByFirst > 0);

    BloodDrawCommand later(400, 900, 0, 1);
    const DrawResult result = later.draw(painter);
    QVERIFY(!result.keep);
    QVERIFY(!result.stopPass);
    QCOMPARE(result.distortion, 0);
    QCOMPARE(later.age, 0);
    QCOMPARE(device.calls().size(), paintedByFirst);

    QVERIFY(first.draw(painter).keep);
    QCOMPARE(first.age, 1001);
}

void TestEffectBlood::waitsFourHundredCalls()
{
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    BloodDrawCommand blood(400, 900, 0, 0);
    for (int call = 1; call <= 400; ++call) {
        const DrawResult result = blood.draw(painter);
        QVERIFY2(result.keep && !result.stopPass && result.distortion == 0,
                 qPrintable(QStringLiteral("call %1").arg(call)));
        QVERIFY2(device.calls().isEmpty(), qPrintable(QStringLiteral("call %1 painted").arg(call)));
        QCOMPARE(blood.age, call);
    }
    QVERIFY(blood.draw(painter).keep);
    QCOMPARE(blood.age, 401);
    QCOMPARE(callsOf(device.calls(), PaintCall::Rect).size(), 64);
    QVERIFY(callsOf(device.calls(), PaintCall::Text).isEmpty());
}

void TestEffectBlood::stripeColumns_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("stripes");
    QTest::newRow("1920 wide") << 1920 << 64;
    QTest::newRow("1000 wide") << 1000 << 33;
    QTest::newRow("30 wide") << 30 << 1;
    QTest::newRow("29 wide") << 29 << 0;
}

void TestEffectBlood::stripeColumns()
{
    QFETCH(int, width);
    QFETCH(int, stripes);
    RecordingDevice device(width, 1080);
    QPainter painter(&device);
    BloodDrawCommand blood = atCall(700);
    blood.draw(painter);
    const QVector<PaintCall> rects = callsOf(device.calls(), PaintCall::Rect);
    QCOMPARE(rects.size(), stripes);
    for (int i = 0; i < rects.size(); ++i) {
        const QRectF r = rects[i].rect;
        QVERIFY2(r.left() == 30 * i && r.width() == 30 && r.top() == 0,
                 qPrintable(QStringLiteral("stripe %1 at (%2, %3), %4 wide")
                                .arg(i).arg(r.left()).arg(r.top()).arg(r.width())));
        QVERIFY2(rects[i].opacity == 1.0, qPrintable(QStringLiteral("stripe %1 translucent").arg(i)));
    }
}

void TestEffectBlood::stripesFollowTheirRecipe()
{
    const int n = 600;
    Frame frame;
    BloodDrawCommand blood = atCall(400 + n, 400, 5000);
    blood.draw(frame.painter);
    const QImage &image = frame.done();
    const QVector<Stripe> stripes = recipe(64, n);
    QSet<QRgb> colours;
    for (int i = 0; i < 64; ++i) {
        const Stripe &stripe = stripes[i];
        const int shown = qBound(0, stripe.length, 1080);
        const QString name = QStringLiteral("stripe %1").arg(i);
        for (int x : {30 * i, 30 * i + 15, 30 * i + 29}) {
            if (shown > 0) {
                QVERIFY2(pixel(image, x, 0).rgb() == stripe.colour.rgb()
                             && pixel(image, x, shown - 1).rgb() == stripe.colour.rgb(),
                         qPrintable(name + QStringLiteral(": column %1 not in its colour down to row %2")
                                              .arg(x).arg(shown - 1)));
            }
            if (shown < 1080) {
                QVERIFY2(pixel(image, x, shown) == background(),
                         qPrintable(name + QStringLiteral(": column %1 painted at row %2").arg(x).arg(shown)));
            }
        }
        const QColor c = stripe.colour;
        QVERIFY2(c.green() == 0 && c.blue() == 0 && c.red() >= 255 * 100 / 149 && c.red() <= 255,
                 qPrintable(name + ": not a darkened red"));
        colours.insert(c.rgb());
    }
    QVERIFY2(colours.size() > 10, "the stripes are not shaded apart");
}

void TestEffectBlood::firstPaintingCallShowsAtMostOneRow()
{
    Frame frame;
    BloodDrawCommand blood = atCall(401);
    blood.draw(frame.painter);
    const QImage &image = frame.done();
    QCOMPARE(countInk(image, QRect(0, 1, 1920, 1079)), 0);
    // Only a stripe with speed 5 and no head start reaches one row at n = 1.
    const QVector<Stripe> stripes = recipe(64, 1);
    for (int i = 0; i < 64; ++i) {
        const bool visible = stripes[i].speed == 5 && stripes[i].headStart == 0;
        QVERIFY2((pixel(image, 30 * i + 15, 0) != background()) == visible,
                 qPrintable(QStringLiteral("stripe %1").arg(i)));
    }
}

void TestEffectBlood::lastColumnsStayBare()
{
    // Long after the start every stripe reaches row 500.
    Frame frame(1000, 1080);
    BloodDrawCommand blood = atCall(5400, 400, 100000);
    blood.draw(frame.painter);
    const QImage &image = frame.done();
    for (int x = 0; x < 1000; ++x) {
        const bool bare = x >= 990;
        QVERIFY2((pixel(image, x, 500) == background()) == bare,
                 qPrintable(QStringLiteral("column %1").arg(x)));
    }
}

void TestEffectBlood::equalNGivesEqualStripes()
{
    Frame once;
    BloodDrawCommand blood = atCall(700, 400, 5000);
    blood.draw(once.painter);

    // Whatever happens to the generator in between...
    srand(12345);
    for (int i = 0; i < 77; ++i)
        rand();
    Frame again;
    BloodDrawCommand other = atCall(700, 400, 5000);
    other.draw(again.painter);
    QVERIFY2(once.done() == again.done(), "same n, different stripes");

    Frame later;
    blood.draw(later.painter);
    QVERIFY2(once.image != later.done(), "the stripes did not grow from n to n + 1");
}

void TestEffectBlood::titleOpacity_data()
{
    QTest::addColumn<int>("k");
    QTest::addColumn<qreal>("opacity");
    QTest::newRow("k 1, first title frame") << 1 << 0.01;
    QTest::newRow("k 50") << 50 << 0.5;
    QTest::newRow("k 99") << 99 << 0.99;
    QTest::newRow("k 100, full") << 100 << 1.0;
    QTest::newRow("k 200") << 200 << 1.0;
    QTest::newRow("k 300, last full") << 300 << 1.0;
    QTest::newRow("k 301") << 301 << 0.99;
    QTest::newRow("k 399") << 399 << 0.01;
    QTest::newRow("k 400, gone") << 400 << 0.0;
    QTest::newRow("k 401, clamped") << 401 << 0.0;
    QTest::newRow("k 2000, clamped") << 2000 << 0.0;
}

void TestEffectBlood::titleOpacity()
{
    QFETCH(int, k);
    QFETCH(qreal, opacity);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    BloodDrawCommand blood = atCall(900 + k);
    blood.draw(painter);
    const QVector<PaintCall> texts = callsOf(device.calls(), PaintCall::Text);
    QVector<PaintCall> title;
    for (const PaintCall &text : texts)
        if (text.text == titleUpper || text.text == titleLower)
            title.append(text);
    QCOMPARE(title.size(), 2);
    QCOMPARE(title[0].text, titleUpper);
    QCOMPARE(title[1].text, titleLower);
    for (const PaintCall &text : title) {
        const bool exact = opacity == 1.0 || opacity == 0.0;
        QVERIFY2(exact ? text.opacity == opacity : qAbs(text.opacity - opacity) < 1e-6,
                 qPrintable(QStringLiteral("%1: opacity %2, expected %3")
                                .arg(text.text).arg(text.opacity, 0, 'g', 10).arg(opacity)));
    }
}

void TestEffectBlood::creditsOpacity_data()
{
    QTest::addColumn<int>("k2");
    QTest::addColumn<qreal>("opacity");
    QTest::newRow("k2 0, not yet") << 0 << -1.0;
    QTest::newRow("k2 1, call 1301") << 1 << 0.01;
    QTest::newRow("k2 99") << 99 << 0.99;
    QTest::newRow("k2 100, call 1400, full") << 100 << 1.0;
    QTest::newRow("k2 101") << 101 << 1.0;
    QTest::newRow("k2 5000, still full") << 5000 << 1.0;
}

void TestEffectBlood::creditsOpacity()
{
    QFETCH(int, k2);
    QFETCH(qreal, opacity);
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    BloodDrawCommand blood = atCall(1300 + k2);
    blood.draw(painter);
    QVector<PaintCall> credits;
    for (const PaintCall &text : callsOf(device.calls(), PaintCall::Text))
        if (creditTexts.contains(text.text))
            credits.append(text);
    if (opacity < 0) {
        QCOMPARE(credits.size(), 0);
        return;
    }
    QCOMPARE(credits.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(credits[i].text, creditTexts[i]);
        const bool exact = opacity == 1.0;
        QVERIFY2(exact ? credits[i].opacity == opacity : qAbs(credits[i].opacity - opacity) < 1e-6,
                 qPrintable(QStringLiteral("%1: opacity %2, expected %3")
                                .arg(credits[i].text).arg(credits[i].opacity, 0, 'g', 10).arg(opacity)));
    }
}

void TestEffectBlood::titleAndCreditsFonts()
{
    struct Expected {
        QString text;
        int pixelSize;
        bool bold;
    };
    const Expected expected[] = {{titleUpper, 30, false},     {titleLower, 70, true},
                                 {creditTexts[0], 40, true},  {creditTexts[1], 40, true},
                                 {creditTexts[2], 40, false}, {creditTexts[3], 40, false}};
    RecordingDevice device(1920, 1080);
    QPainter painter(&device);
    BloodDrawCommand blood = atCall(1350);
    blood.draw(painter);
    const QVector<PaintCall> texts = callsOf(device.calls(), PaintCall::Text);
    QCOMPARE(texts.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const PaintCall &text = texts[i];
        const QString name = expected[i].text;
        QVERIFY2(text.text == name, qPrintable(QStringLiteral("text %1 is %2").arg(i).arg(text.text)));
        QVERIFY2(text.font.pixelSize() == expected[i].pixelSize,
                 qPrintable(name + QStringLiteral(": pixel size %1").arg(text.font.pixelSize())));
        QVERIFY2(text.font.bold() == expected[i].bold, qPrintable(name + ": weight"));
        QVERIFY2(QFontInfo(text.font).family() == QStringLiteral("Liberation Sans"),
                 qPrintable(name + ": " + QFontInfo(text.font).family()));
        QVERIFY2(text.pen.color() == QColor(Qt::white), qPrintable(name + ": not white"));
    }
}

void TestEffectBlood::titleRectangles()
{
    // Title at full opacity over short stripes (n = k = 200).
    Frame frame;
    BloodDrawCommand blood = atCall(1100, 900, 900);
    blood.draw(frame.painter);
    const QImage &image = frame.done();

    // The same texts drawn into the rectangles of a 1920 x 1080 viewport:
    // (0, -30, 1919, 1049) and (0, 30, 1919, 1109), centred.
    Frame reference;
    QFont upper(QStringLiteral("Liberation Sans"));
    upper.setPixelSize(30);
    QFont lower(QStringLiteral("Liberation Sans"));
    lower.setPixelSize(70);
    lower.setWeight(QFont::Bold);
    reference.painter.setPen(Qt::white);
    reference.painter.setFont(upper);
    reference.painter.drawText(QRect(QPoint(0, -30), QPoint(1919, 1049)), Qt::AlignCenter, titleUpper);
    reference.painter.setFont(lower);
    reference.painter.drawText(QRect(QPoint(0, 30), QPoint(1919, 1109)), Qt::AlignCenter, titleLower);
    reference.done();

    const QRect belowStripes(0, 250, 1920, 830);
    QVERIFY2(image.copy(belowStripes) == reference.image.copy(belowStripes),
             "the title is not where its rectangles put it");

    const QRect ink = inkBounds(reference.image.copy(belowStripes)).translated(0, 250);
    QVERIFY(ink.isValid());
    // Centred by advance width: the glyphs' side bearings may differ a little.
    QVERIFY2(qAbs(ink.left() - (1919 - ink.right())) <= 6,
             qPrintable(QStringLiteral("title ink from column %1 to %2").arg(ink.left()).arg(ink.right())));
    QVERIFY2(ink.top() > 450 && ink.bottom() < 640, "the title is not about the frame's middle");
    QCOMPARE(countPixels(image, belowStripes, textInk), countPixels(reference.image, belowStripes, textInk));
}

void TestEffectBlood::creditRectangles()
{
    // Credits at full opacity (k2 = 150), title long gone, stripes short (n = 50).
    Frame frame;
    BloodDrawCommand blood = atCall(1450, 1400, 900);
    blood.draw(frame.painter);
    const QImage &image = frame.done();

    // Captions into (0, -20, 949, 1059) and (0, 20, 949, 1099), right-aligned;
    // names into (970, -20, 1919, 1059) and (970, 20, 1919, 1099), left-aligned.
    Frame reference;
    QFont caption(QStringLiteral("Liberation Sans"));
    caption.setPixelSize(40);
    caption.setWeight(QFont::Bold);
    QFont name(QStringLiteral("Liberation Sans"));
    name.setPixelSize(40);
    reference.painter.setPen(Qt::white);
    reference.painter.setFont(caption);
    reference.painter.drawText(QRect(QPoint(0, -20), QPoint(949, 1059)), Qt::AlignRight | Qt::AlignVCenter, creditTexts[0]);
    reference.painter.drawText(QRect(QPoint(0, 20), QPoint(949, 1099)), Qt::AlignRight | Qt::AlignVCenter, creditTexts[1]);
    reference.painter.setFont(name);
    reference.painter.drawText(QRect(QPoint(970, -20), QPoint(1919, 1059)), Qt::AlignLeft | Qt::AlignVCenter, creditTexts[2]);
    reference.painter.drawText(QRect(QPoint(970, 20), QPoint(1919, 1099)), Qt::AlignLeft | Qt::AlignVCenter, creditTexts[3]);
    reference.done();

    const QRect belowStripes(0, 100, 1920, 980);
    QVERIFY2(image.copy(belowStripes) == reference.image.copy(belowStripes),
             "the credits are not where their rectangles put them");

    // Captions end at column 949, names begin at 970, nothing in the gap.
    const QRect left(0, 100, 950, 980);
    const QRect gap(950, 100, 20, 980);
    const QRect right(970, 100, 950, 980);
    QCOMPARE(countPixels(image, gap, textInk), 0);
    const QRect captions = inkBounds(image.copy(left)).translated(left.topLeft());
    const QRect names = inkBounds(image.copy(right)).translated(right.topLeft());
    QVERIFY2(captions.right() >= 940, qPrintable(QStringLiteral("captions end at %1").arg(captions.right())));
    QVERIFY2(names.left() <= 980, qPrintable(QStringLiteral("names begin at %1").arg(names.left())));
}

void TestEffectBlood::narrowViewportStillShowsTitle()
{
    RecordingDevice device(29, 1080);
    QPainter painter(&device);
    BloodDrawCommand blood = atCall(1350);
    blood.draw(painter);
    QCOMPARE(callsOf(device.calls(), PaintCall::Rect).size(), 0);
    QCOMPARE(callsOf(device.calls(), PaintCall::Text).size(), 6);
}

void TestEffectBlood::leavesOpacityAndTransform()
{
    for (int call : {401, 1000, 1250, 1350, 2000}) {
        Frame frame(640, 360);
        BloodDrawCommand blood = atCall(call);
        blood.draw(frame.painter);
        const QString name = QStringLiteral("call %1").arg(call);
        QVERIFY2(frame.painter.opacity() == 1.0, qPrintable(name));
        QVERIFY2(frame.painter.transform().isIdentity(), qPrintable(name));
    }
}

QTEST_MAIN(TestEffectBlood)
#include "test_effect_blood.moc"

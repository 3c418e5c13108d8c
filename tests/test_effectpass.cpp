// The effect pass (who is drawn, kept, deleted, what distortion counts) and the
// row-band distortion on real RGB888 images.
#include "effectpass.h"
#include "framereference.h"

#include <QImage>
#include <QPainter>
#include <QtTest>
#include <vector>

namespace {

// Records every draw into a shared log and answers with scripted results.
struct ScriptedEffect : DrawCommand {
    ScriptedEffect(int id, std::vector<int> &drawn, std::vector<int> &deleted, DrawResult result)
        : id(id), drawn(drawn), deleted(deleted), result(result) {}
    ~ScriptedEffect() override { deleted.push_back(id); }
    DrawResult draw(QPainter &) override
    {
        drawn.push_back(id);
        return result;
    }
    DrawCommand *clone() const override { return new ScriptedEffect(*this); }
    int id;
    std::vector<int> &drawn;
    std::vector<int> &deleted;
    DrawResult result;
};

DrawResult result(int distortion, bool keep, bool stopPass = false)
{
    DrawResult r;
    r.distortion = distortion;
    r.keep = keep;
    r.stopPass = stopPass;
    return r;
}

// An image whose every byte differs from its neighbours, so any shift shows.
QImage patternImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < image.bytesPerLine(); ++x)
            row[x] = uchar((x * 7 + y * 13) & 0xff);
    }
    return image;
}

} // namespace

class TestEffectPass : public QObject {
    Q_OBJECT

    std::vector<int> drawn;
    std::vector<int> deleted;
    QImage canvas{64, 64, QImage::Format_RGB888};

    ScriptedEffect *effect(int id, DrawResult r) { return new ScriptedEffect(id, drawn, deleted, r); }

private slots:
    void init()
    {
        drawn.clear();
        deleted.clear();
    }

    void visitsEachLiveEffectOnceInCreationOrder()
    {
        EffectSet effects;
        for (int id = 1; id <= 5; ++id)
            effects.insert(effect(id, result(0, true)));
        QPainter painter(&canvas);
        runEffectPass(painter, effects);
        QCOMPARE(drawn, (std::vector<int>{1, 2, 3, 4, 5}));
        QCOMPARE(effects.size(), 5);
        QVERIFY(deleted.empty());
    }

    void setHoldsEachEffectOnce()
    {
        EffectSet effects;
        ScriptedEffect *once = effect(1, result(0, true));
        effects.insert(once);
        effects.insert(once);
        QCOMPARE(effects.size(), 1);
        QPainter painter(&canvas);
        runEffectPass(painter, effects);
        QCOMPARE(drawn, (std::vector<int>{1}));
    }

    void finishedEffectIsDeletedInItsFrameAndItsDistortionCounts()
    {
        EffectSet effects;
        effects.insert(effect(1, result(2, false)));
        effects.insert(effect(2, result(3, true)));
        QPainter painter(&canvas);
        QCOMPARE(runEffectPass(painter, effects), 5);
        QCOMPARE(deleted, (std::vector<int>{1}));
        QCOMPARE(effects.size(), 1);
        runEffectPass(painter, effects);
        QCOMPARE(drawn, (std::vector<int>{1, 2, 2}));
    }

    void stopPassEndsThePassAndKeepsTheEffect()
    {
        EffectSet effects;
        effects.insert(effect(1, result(1, true)));
        effects.insert(effect(2, result(7, false, true)));
        effects.insert(effect(3, result(4, true)));
        QPainter painter(&canvas);
        QCOMPARE(runEffectPass(painter, effects), 1);
        QCOMPARE(drawn, (std::vector<int>{1, 2}));
        QVERIFY(deleted.empty());
        QCOMPARE(effects.size(), 3);
    }

    void effectsCreatedBeforeThePassAreDrawnInIt()
    {
        EffectSet effects;
        effects.insert(effect(1, result(0, false)));
        QPainter painter(&canvas);
        runEffectPass(painter, effects);
        effects.insert(effect(2, result(0, true)));
        runEffectPass(painter, effects);
        QCOMPARE(drawn, (std::vector<int>{1, 2}));
    }

    void remainingEffectsAreDeletedWithTheSet()
    {
        {
            EffectSet effects;
            effects.insert(effect(1, result(0, true)));
            effects.insert(effect(2, result(0, true)));
        }
        QCOMPARE(deleted, (std::vector<int>{1, 2}));
    }

    void zeroDistortionChangesNothing()
    {
        QImage image = patternImage(40, 12);
        const QImage before = image.copy();
        distortRows(image, 0);
        QCOMPARE(image, before);
        distortRows(image, -3);
        QCOMPARE(image, before);
    }

    void distortionMovesAlternateBands_data()
    {
        QTest::addColumn<int>("amount");
        QTest::newRow("D=1: bands of two rows, 4 bytes") << 1;
        QTest::newRow("D=2: bands of three rows, 8 bytes") << 2;
        QTest::newRow("D=3: bands of four rows, 12 bytes") << 3;
    }

    void distortionMovesAlternateBands()
    {
        QFETCH(int, amount);
        const QImage before = patternImage(40, 17);
        QImage image = before.copy();
        distortRows(image, amount);
        const int shift = 4 * amount;
        const int bytes = before.bytesPerLine();
        for (int y = 0; y < image.height(); ++y) {
            const uchar *row = image.constScanLine(y);
            const uchar *old = before.constScanLine(y);
            const bool moved = (y / (amount + 1)) % 2 == 0;
            for (int x = 0; x < bytes; ++x) {
                const uchar expected = (moved && x < bytes - shift) ? old[x + shift] : old[x];
                QVERIFY2(row[x] == expected,
                         qPrintable(QString("row %1 byte %2: expected %3, got %4")
                                        .arg(y).arg(x).arg(expected).arg(row[x])));
            }
        }
    }

    void distortionOfOneRotatesColoursAndOfThreeKeepsThem()
    {
        QImage one(8, 4, QImage::Format_RGB888);
        one.fill(Qt::black);
        one.setPixelColor(2, 0, QColor(10, 20, 30));
        one.setPixelColor(3, 0, QColor(40, 50, 60));
        distortRows(one, 1);
        // 4 bytes left: pixel 1 now holds green and blue of pixel 2 and red of pixel 3.
        QCOMPARE(one.pixelColor(1, 0), QColor(20, 30, 40));

        QImage three(8, 4, QImage::Format_RGB888);
        three.fill(Qt::black);
        three.setPixelColor(6, 1, QColor(1, 2, 3));
        distortRows(three, 3);
        // 12 bytes are exactly 4 pixels: the colour arrives intact.
        QCOMPARE(three.pixelColor(2, 1), QColor(1, 2, 3));
    }

    void hugeDistortionStaysInsideEachRow()
    {
        QImage image = patternImage(30, 9);
        const QImage before = image.copy();
        distortRows(image, 1 << 28);
        const int bytes = before.bytesPerLine();
        for (int y = 0; y < image.height(); ++y) {
            // The whole image is one band; each row keeps all but its first byte.
            QCOMPARE(image.constScanLine(y)[0], before.constScanLine(y)[bytes - 1]);
            QVERIFY(std::equal(before.constScanLine(y) + 1, before.constScanLine(y) + bytes,
                               image.constScanLine(y) + 1));
        }
    }
};

QTEST_MAIN(TestEffectPass)
#include "test_effectpass.moc"

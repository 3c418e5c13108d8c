// The effect pass: who is drawn, kept, deleted, and what distortion counts.
// The row-band distortion itself is tested with the row kernels.
#include "effectpass.h"

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
};

QTEST_MAIN(TestEffectPass)
#include "test_effectpass.moc"

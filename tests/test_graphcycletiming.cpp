// PipeWire's timing held to its graph's cycles: a server whose answers run
// ahead of the sound by the time left in the cycle, asked at moments spread
// over the cycle, read as the sound.
#include "graphcycletiming.h"

#include <QtTest>

class TestGraphCycleTiming : public QObject {
    Q_OBJECT

private slots:
    void followsTheSound_data()
    {
        QTest::addColumn<qint64>("periodUs");
        QTest::addColumn<qint64>("stepUs");   // the sound moves by this at 2 s: a stall is negative
        QTest::addColumn<qint64>("takenUs");  // within this after the step the position takes it...
        QTest::addColumn<qint64>("offUs");    // ...to within this (a fifth of a period), and keeps within it from 1 s on
        QTest::addColumn<qint64>("lateUs");   // the first answer from 2 s on is behind by this more
        QTest::newRow("1024 frames at 44.1 kHz") << qint64(23220) << qint64(0) << qint64(0) << qint64(4644) << qint64(0);
        QTest::newRow("256 frames at 48 kHz") << qint64(5333) << qint64(0) << qint64(0) << qint64(1067) << qint64(0);
        QTest::newRow("a stall of 93 ms") << qint64(23220) << qint64(-92880) << qint64(80000) << qint64(23220)
                                          << qint64(0);
        QTest::newRow("a shorter period") << qint64(23220) << qint64(17000) << qint64(1040000) << qint64(4644)
                                          << qint64(0);
        QTest::newRow("a busy server's late answer") << qint64(23220) << qint64(0) << qint64(0) << qint64(4644)
                                                     << qint64(70000);
    }
    void followsTheSound()
    {
        QFETCH(qint64, periodUs);
        QFETCH(qint64, stepUs);
        QFETCH(qint64, takenUs);
        QFETCH(qint64, offUs);
        QFETCH(qint64, lateUs);
        GraphCycleTiming timing;
        qint64 worstUs = 0;
        // Asked every 37 ms, from 0 to 4 s, read every millisecond.
        for (qint64 nowUs = 0; nowUs < 4000000; nowUs += 1000) {
            const qint64 soundUs = nowUs + (nowUs >= 2000000 ? stepUs : 0);
            const bool firstFrom2s = nowUs >= 2000000 && nowUs < 2037000;
            if (nowUs % 37000 == 0)
                timing.add(soundUs + periodUs - nowUs % periodUs - (firstFrom2s ? lateUs : 0), nowUs);
            const bool settled = nowUs >= 1000000 && (nowUs < 2000000 || nowUs >= 2000000 + takenUs);
            if (settled)
                worstUs = qMax(worstUs, qAbs(timing.positionAt(nowUs) - soundUs));
        }
        QVERIFY2(worstUs <= offUs, qPrintable(QString("off by %1 us").arg(worstUs)));
    }
};

QTEST_MAIN(TestGraphCycleTiming)
#include "test_graphcycletiming.moc"

// Which steps a paint runs: due steps follow the heard sample exactly, and a
// stall is caught up a second at a time, skipping what the records no longer hold.
#include "stepschedule.h"

#include <QtTest>

class TestStepSchedule : public QObject {
    Q_OBJECT

private slots:
    void aStepIsDueFromItsOwnSampleOn()
    {
        for (const int rate : {1, 60, 120, 144, 1000})
            for (qint64 step = 1; step < 3000; ++step) {
                const qint64 sample = stepSample(step, rate);
                QVERIFY2(stepDueAt(sample, rate) == step, qPrintable(QString("rate %1, step %2").arg(rate).arg(step)));
                QVERIFY2(stepDueAt(sample - 1, rate) == step - 1,
                         qPrintable(QString("rate %1, a sample before step %2").arg(rate).arg(step)));
            }
        QCOMPARE(stepDueAt(0, 120), qint64(0));
        QCOMPARE(stepDueAt(-1, 120), qint64(-1));
    }

    void stepsToRun_data()
    {
        QTest::addColumn<qint64>("lastRun");
        QTest::addColumn<qint64>("heard");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        const qint64 second = 44100;
        QTest::newRow("the first paint") << qint64(-1) << qint64(0) << qint64(0) << qint64(0);
        QTest::newRow("nothing new") << qint64(5) << stepSample(6, 120) - 1 << qint64(6) << qint64(5);
        QTest::newRow("one due") << qint64(5) << stepSample(6, 120) << qint64(6) << qint64(6);
        QTest::newRow("three due") << qint64(5) << stepSample(8, 120) + 3 << qint64(6) << qint64(8);
        QTest::newRow("a 3 s stall: a second's worth") << qint64(0) << 3 * second << qint64(1) << qint64(120);
        QTest::newRow("a 60 s stall: the last second") << qint64(0) << 60 * second << qint64(7081) << qint64(7200);
    }

    void stepsToRun()
    {
        QFETCH(qint64, lastRun);
        QFETCH(qint64, heard);
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        const StepRange range = ::stepsToRun(lastRun, heard, 120);
        QCOMPARE(range.first, first);
        QCOMPARE(range.last, last);
    }
};

QTEST_APPLESS_MAIN(TestStepSchedule)
#include "test_stepschedule.moc"

// The frame clock learns a display's refresh from hand-made feedback: its
// period and phase through jitter, skipped refreshes and late words, with a
// counter or without, and predicts the next refresh to within a little.
#include "frameclock.h"
#include "stepschedule.h"

#include <QtTest>

namespace {
constexpr qint64 ms = 1000000;
}

class TestFrameClock : public QObject {
    Q_OBJECT

private slots:
    void learnsTheDisplay_data()
    {
        QTest::addColumn<qint64>("period");       // the display's real one
        QTest::addColumn<bool>("counts");         // it keeps a refresh counter
        QTest::addColumn<QList<int>>("skipped");  // refreshes, of 60, that get no frame
        QTest::addColumn<QList<int>>("late");     // refreshes whose word is 6 ms late
        QTest::addColumn<int>("missedAims");      // aimed at a refresh before the one that lit them
        QTest::addColumn<int>("held");            // refreshes more than the next a frame sent takes
        QTest::addColumn<bool>("onBeat");         // false: each refresh timed from the last, one 10 ms late
        QTest::newRow("60 Hz, counted") << 16666667LL << true << QList<int>{} << QList<int>{} << 0 << 0 << true;
        QTest::newRow("144 Hz, counted, some skipped") << 6944444LL << true << QList<int>{7, 8, 30} << QList<int>{} << 0 << 0 << true;
        QTest::newRow("reported 60 Hz, really 39.7, uncounted") << 25200000LL << false << QList<int>{} << QList<int>{} << 0 << 0 << true;
        QTest::newRow("uncounted, some skipped") << 17200000LL << false << QList<int>{10, 11, 40} << QList<int>{} << 0 << 0 << true;
        QTest::newRow("late words") << 16666667LL << true << QList<int>{} << QList<int>{20, 45, 46} << 0 << 0 << true;
        QTest::newRow("frames lit a refresh late") << 16666667LL << true << QList<int>{33} << QList<int>{} << 1 << 0 << true;
        QTest::newRow("a compositor holding each frame a repaint") << 25200000LL << false << QList<int>{} << QList<int>{}
                                                                 << 2 << 1 << true;
        QTest::newRow("a compositor on its own timers") << 25200000LL << false << QList<int>{} << QList<int>{} << 2 << 1
                                                      << false;
    }

    void learnsTheDisplay()
    {
        QFETCH(qint64, period);
        QFETCH(bool, counts);
        QFETCH(QList<int>, skipped);
        QFETCH(QList<int>, late);
        QFETCH(int, missedAims);
        QFETCH(int, held);
        QFETCH(bool, onBeat);
        FrameClock clock;
        const qint64 start = 1000 * ms;
        int learnt = 0;
        // The display's word on a frame held comes after the next is aimed.
        QList<QPair<PresentFeedback, FrameClock::Refresh>> unheard;
        // Sent mid-period; to a compositor that holds frames, anywhere from
        // 0.7 to 1.5 periods before the refresh that lights them.
        const auto sentBefore = [&](int refresh) {
            return held == 0 ? period / 2 : period * 11 / 10 + ((refresh * 7) % 5 - 2) * period / 5;
        };
        qint64 beat = start;
        const auto hear = [&] {
            clock.learn(unheard.first().first, unheard.first().second);
            unheard.removeFirst();
            QCOMPARE(clock.knowsDisplay(), ++learnt >= 4);
        };
        for (int refresh = 0; refresh < 60; ++refresh) {
            if (skipped.contains(refresh))
                continue;
            // Up to ±0.4 ms of jitter, as a timer-driven display has.
            const qint64 jitter = ((refresh * 7919) % 9 - 4) * ms / 10;
            PresentFeedback feedback;
            feedback.litNs = start + refresh * period + jitter + (late.contains(refresh) ? 6 * ms : 0);
            if (!onBeat) {
                beat += (refresh == 0 ? 0 : period) + jitter / 2 + (refresh == 30 ? 10 * ms : 0);
                feedback.litNs = beat;
            }
            feedback.onBeat = onBeat;
            feedback.counter = counts ? 500 + refresh : -1;
            feedback.reportedPeriodNs = 16666666;
            const bool aimedBefore = skipped.contains(refresh - 1) && missedAims > 0;
            FrameClock::Refresh aimed;
            if (clock.knowsDisplay()) {
                aimed = clock.nextRefresh(feedback.litNs - sentBefore(refresh) - (aimedBefore ? period : 0));
                // Once the first frames held have been heard of.
                const bool settled = held == 0 || learnt >= 9;
                // Nothing foretells a repaint on timers being late, nor
                // those timed from it until it is heard of.
                const bool disturbed = !onBeat && refresh >= 30 && refresh <= 30 + held;
                if (!late.contains(refresh) && !aimedBefore && settled && !disturbed)
                    QVERIFY2(qAbs(aimed.litNs - feedback.litNs) < ms,
                             qPrintable(QString("refresh %1 predicted %2 ns off").arg(refresh).arg(aimed.litNs - feedback.litNs)));
                if (counts && settled)
                    QCOMPARE(aimed.counter, feedback.counter - (aimedBefore ? 1 : 0));
            }
            unheard.append({feedback, aimed});
            if (unheard.size() > held)
                hear();
        }
        while (!unheard.isEmpty())
            hear();
        QVERIFY2(qAbs(clock.periodNs() - period) < period / 200, qPrintable(QString::number(clock.periodNs())));
        QCOMPARE(clock.framesMissed(), missedAims);
        const qint64 nextLit = onBeat ? start + 61 * period : beat + period;
        const FrameClock::Refresh next = clock.nextRefresh(nextLit - sentBefore(61));
        QVERIFY2(qAbs(next.litNs - nextLit) < ms, qPrintable(QString::number(next.litNs)));
        QCOMPARE(next.counter, counts ? 561LL : -1LL);
    }

    // Asked for a refresh by its count, a display shows a frame in time then:
    // frames that came late say nothing of the next.
    void lateFramesDoNotDelayACountingDisplay()
    {
        FrameClock clock;
        const qint64 period = 16666667;
        PresentFeedback feedback;
        feedback.litNs = 0;
        feedback.counter = 0;
        clock.learn(feedback, {});
        for (int frame = 1; frame < 30; ++frame) {
            FrameClock::Refresh aimed{feedback.litNs + period, feedback.counter + 1, -1};
            if (clock.knowsDisplay())
                aimed = clock.nextRefresh(feedback.litNs + period / 2);
            const bool late = frame >= 8 && frame < 24;
            feedback.counter = aimed.counter + (late ? 1 : 0);
            feedback.litNs = feedback.counter * period;
            clock.learn(feedback, aimed);
        }
        QCOMPARE(clock.framesMissed(), 16);
        QCOMPARE(clock.nextRefresh(feedback.litNs + period / 2).counter, feedback.counter + 1);
    }

    void discardedFramesAreCountedNotLearnt()
    {
        FrameClock clock;
        PresentFeedback discarded;
        discarded.discarded = true;
        clock.learn(discarded, {});
        PresentFeedback same;
        same.litNs = 5 * ms;
        clock.learn(same, {});
        clock.learn(same, {});  // the same refresh said twice
        QCOMPARE(clock.framesDiscarded(), 1);
        QVERIFY(!clock.knowsDisplay());
    }

    void theStepHeardWhenLit_data()
    {
        QTest::addColumn<qint64>("heard");
        QTest::addColumn<qint64>("litAfterNs");
        QTest::addColumn<qint64>("step");
        // Step n falls at n * 367.5 samples at 120 a second; the nearest is drawn.
        QTest::newRow("lit now, on a step") << stepSample(100, 120) << 0LL << 100LL;
        QTest::newRow("lit now, just short of half a step on") << stepSample(100, 120) + 183 << 0LL << 100LL;
        QTest::newRow("lit now, past half a step") << stepSample(100, 120) + 185 << 0LL << 101LL;
        QTest::newRow("lit 16.7 ms on: two steps on") << stepSample(100, 120) << 16666667LL << 102LL;
        QTest::newRow("lit 12 ms on: nearer 101") << stepSample(100, 120) << 12 * ms << 101LL;
    }

    void theStepHeardWhenLit()
    {
        QFETCH(qint64, heard);
        QFETCH(qint64, litAfterNs);
        QFETCH(qint64, step);
        QCOMPARE(stepHeardAt(7 * ms + litAfterNs, 7 * ms, heard, 120), step);
    }
};

QTEST_GUILESS_MAIN(TestFrameClock)
#include "test_frameclock.moc"

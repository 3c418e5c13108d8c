// The steady clock against a simulated sound server whose clock leaps a few
// milliseconds at each timing update: the pictures' steps come due evenly and
// stay in time with the sound; large leaps are taken or waited out at once.
#include "steadyclock.h"

#include <QtTest>
#include <algorithm>
#include <vector>

namespace {

constexpr qint64 msNs = 1000000;
constexpr double samplesPerMs = 44.1;

// The source as the show reads it: the true sample plus an error that the
// server sets anew every 50 ms (between -4 and +4 ms) and holds, never going
// back, as the player's clock never does.
struct LeapingSource : ShowClock {
    qint64 nowNs = 0;
    qint64 lastReturned = 0;
    qint64 heardSample() override
    {
        const quint32 update = quint32(nowNs / (50 * msNs));
        const double errorMs = double((update * 2654435761u) >> 28) / 15 * 8 - 4;
        return lastReturned = std::max(lastReturned, qint64((nowNs / 1e6 + errorMs) * samplesPerMs));
    }
};

// The intervals between the moments steps of 120 a second come due, read
// every millisecond from 1 s to 11 s.
std::vector<double> stepIntervals(ShowClock &clock, LeapingSource &source, double *worstOffsetMs)
{
    std::vector<double> due;
    qint64 nextStep = -1;
    *worstOffsetMs = 0;
    for (source.nowNs = 0; source.nowNs < 11000 * msNs; source.nowNs += msNs) {
        const qint64 heard = clock.heardSample();
        if (source.nowNs < 1000 * msNs)
            continue;
        *worstOffsetMs = std::max(*worstOffsetMs, std::abs(heard / samplesPerMs - source.nowNs / 1e6));
        const qint64 step = heard * 120 / 44100;
        if (nextStep >= 0 && step >= nextStep)
            due.push_back(source.nowNs / 1e6);
        nextStep = step + 1;
    }
    std::vector<double> intervals;
    for (size_t i = 1; i < due.size(); ++i)
        intervals.push_back(due[i] - due[i - 1]);
    std::sort(intervals.begin(), intervals.end());
    return intervals;
}

struct SteadyOverSource : ShowClock {
    LeapingSource &source;
    SteadyClock steady{source};
    explicit SteadyOverSource(LeapingSource &source) : source(source) {}
    qint64 heardSample() override { return steady.heardSampleAt(source.heardSample(), source.nowNs); }
};

} // namespace

class TestSteadyClock : public QObject {
    Q_OBJECT

private slots:
    void stepsComeDueEvenlyAndInTime()
    {
        LeapingSource leaping;
        double leapingOffset = 0;
        const std::vector<double> raw = stepIntervals(leaping, leaping, &leapingOffset);
        LeapingSource source;
        SteadyOverSource steady(source);
        double steadyOffset = 0;
        const std::vector<double> even = stepIntervals(steady, source, &steadyOffset);

        const auto p99 = [](const std::vector<double> &v) { return v[v.size() * 99 / 100]; };
        const auto median = [](const std::vector<double> &v) { return v[v.size() / 2]; };
        // Read every millisecond, a step of 8.33 ms comes due 8 or 9 ms after the last.
        QCOMPARE(median(even), 8.0);
        QVERIFY2(p99(even) <= 9, qPrintable(QString::number(p99(even))));
        QVERIFY2(p99(raw) >= 11, "the simulated server does not leap: the test shows nothing");
        QVERIFY2(steadyOffset <= 4 + 1, qPrintable(QString("%1 ms from the true time").arg(steadyOffset)));
    }

    void leapsAreTakenOrWaitedOut()
    {
        LeapingSource unread;
        SteadyClock clock(unread);
        const auto at = [&](qint64 source, qint64 ms) { return clock.heardSampleAt(source, ms * msNs); };
        // A server that has not begun to play: the clock stands a leap ahead
        // of it at most, and goes on with it once it plays.
        QCOMPARE(at(1000, 0), qint64(1000));
        QCOMPARE(at(1000, 100), qint64(1000 + 441));
        QCOMPARE(at(1000, 200), qint64(1000 + 441));
        QCOMPARE(at(1000 + 441 + 1, 201), qint64(1000 + 441 + 1));
        QCOMPARE(at(1000 + 441 + 45, 202), qint64(1000 + 441 + 45));
        // A leap forward (a stall caught up, a start further on) is taken at once.
        QCOMPARE(at(44100, 203), qint64(44100));
        // A server that stops: the clock stands a leap past its last word, and
        // follows it again when it moves.
        QCOMPARE(at(44100 + 441, 213), qint64(44100 + 441));
        const qint64 standing = at(44100 + 441, 300);
        QCOMPARE(standing, qint64(44100 + 2 * 441));
        QCOMPARE(at(44100 + 441, 400), standing);
        QCOMPARE(at(88200, 500), qint64(88200));
    }
};

QTEST_APPLESS_MAIN(TestSteadyClock)
#include "test_steadyclock.moc"

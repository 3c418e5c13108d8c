// The sound server's clock comes in small leaps: interpolated between its
// timing updates, then set a few milliseconds forward or back (back reads as
// standing still, since the show's clock never goes back). Pictures timed by
// it come at uneven intervals, though the sound runs evenly. This clock runs
// at the music's pace on the machine's monotonic clock and is steered toward
// the server's, at most a twentieth faster or slower, so the pictures keep
// both an even pace and the sound's time. A leap of more than `leapMs`
// (a start, a stall, a server lost or back) is not steered: forward it is
// taken at once, back it is waited out, standing still until the sound is
// there again.
#pragma once

#include "showclock.h"

#include <QMutex>

class SteadyClock : public ShowClock {
public:
    static constexpr int leapMs = 10;

    explicit SteadyClock(ShowClock &source) : source(source) {}

    qint64 heardSample() override;
    // The same, given the source's sample and the monotonic time of reading it.
    qint64 heardSampleAt(qint64 sourceSample, qint64 nanoseconds);

private:
    ShowClock &source;
    QMutex lock;
    bool started = false;
    bool standing = false;  // ahead of the source by a leap: waits for it
    double position = 0;    // in samples
    double steer = 0;       // the pace's departure from the music's, as a fraction
    qint64 lastNanoseconds = 0;
    qint64 lastReturned = 0;
};

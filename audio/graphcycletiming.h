// PipeWire's PulseAudio server answers a timing query with the samples its
// graph has taken from the stream by the start of the current cycle, stamped
// with the moment it answers, and no latency: the block taken last only
// begins to play as the cycle begins. So each answer puts the sound ahead by
// the time left in the cycle when it was given: from nothing to a whole
// period, anew each time (measured: exactly that, at 44.1 kHz in periods of
// 1024 frames). libpulse's smoothing of the answers settles on their
// average, half a period ahead, and takes seconds to follow a stall of the
// graph. Asked at moments spread over the cycle, the answers least ahead
// were given at a cycle's end: this holds the position to the second least
// ahead of the last second's answers. The least may be an answer behind
// the sound, from a server too busy to have noted its last cycle yet. A
// stall, which puts every answer after it behind, shows at the second one;
// a step ahead (a shorter period) within a second.
#pragma once

#include <QtGlobal>
#include <deque>

class GraphCycleTiming {
public:
    static constexpr qint64 windowUs = 1000000;

    // The server's answer: the stream had played positionUs at atUs of the
    // monotonic clock.
    void add(qint64 positionUs, qint64 atUs);
    // The stream's position at nowUs; 0 before any answer.
    qint64 positionAt(qint64 nowUs);

private:
    struct Answer {
        qint64 atUs;
        qint64 aheadUs;  // the position less the monotonic time
    };
    std::deque<Answer> answers;  // of the last second, and the last two however old
};

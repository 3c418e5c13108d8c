// Frames paced by the display's refreshes. Each is aimed at the refresh the
// frame clock expects to light it, with the step heard at that moment; its
// line of the trace waits until the display says when it was lit.
#pragma once

#include "frameclock.h"

#include <QtGlobal>
#include <deque>
#include <map>

class PaintTrace;
class ShowClock;

class RefreshPacer {
public:
    explicit RefreshPacer(int rate) : rate(rate) {}

    struct Aim {
        FrameClock::Refresh refresh;  // litNs -1: the display's next, whenever that is
        qint64 step = -1;
        qint64 heard = 0;  // when aimed
        qint64 nowNs = 0;
    };
    // The next frame: aimed at the first refresh it can be drawn for in time,
    // and lit at `notBeforeNs` or later.
    Aim aim(ShowClock &clock, qint64 notBeforeNs = -1);
    // The refresh after the newest one heard of, for asking about it.
    qint64 nextCounter() const { return lastCounter < 0 ? -1 : lastCounter + 1; }

    // A frame drawn for `aim` from `startNs` on, in `workNs` of work, its
    // record that of `recordSample`: the serial to present it with.
    qint64 drawn(const Aim &aim, qint64 recordSample, qint64 startNs, qint64 workNs);
    // The serial to ask about a refresh that brings nothing new with.
    qint64 asked(const Aim &aim);
    // What the display said: learnt, and the frame's line traced.
    void feedback(const PresentFeedback &said, PaintTrace *trace);
    // The lines of frames the display never spoke of, with no lit time.
    void finish(PaintTrace *trace);

    const FrameClock &frameClock() const { return clock; }

private:
    struct Line {
        qint64 paintNs;
        qint64 recordSample;
        qint64 heard;
        qint64 step;
        FrameClock::Refresh aimed;
    };
    qint64 drawingMarginNs() const;

    int rate;
    FrameClock clock;
    qint64 nextSerial = 1;
    qint64 lastCounter = -1;
    std::map<qint64, Line> waiting;  // by serial
    std::map<qint64, FrameClock::Refresh> askedAbout;
    std::deque<qint64> drawingNs;  // the work of the last frames
};

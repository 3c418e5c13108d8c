// When the display lights frames. From what it says of the frames it was given
// (presentfeedback.h) it learns its refresh period (the median of time over
// refreshes, counted by the display or else by time, so that a skipped
// refresh or a late word does not sway it) and its phase, and predicts when
// the next frame will be lit. Where the display is not asked for a refresh by
// its count, it also learns how long before a refresh a frame must be sent
// to be lit then (a compositor may hold it a repaint or more). The step to
// draw is the one heard at that moment. Until it has heard enough it knows
// nothing, and the window paces itself by the steps alone.
#pragma once

#include "presentfeedback.h"

#include <QtGlobal>
#include <deque>

class FrameClock {
public:
    // A refresh to draw for: when it is expected to be lit, and its counter
    // (-1 where the display keeps none).
    struct Refresh {
        qint64 litNs = -1;
        qint64 counter = -1;
        qint64 sentNs = -1;  // when the frame was to be handed over
    };

    // What the display said of a frame (or a refresh asked about), which was
    // aimed at `aimed` (litNs -1: aimed at no refresh in particular).
    void learn(const PresentFeedback &feedback, Refresh aimed);
    bool knowsDisplay() const;
    qint64 periodNs() const { return period; }
    // The refresh that lights a frame sent at `sentNs`: the first after it
    // that a frame sent then makes; only when knowsDisplay().
    Refresh nextRefresh(qint64 sentNs) const;

    // Lit minus aimed, of the last frame lit that was aimed at a refresh.
    qint64 lastErrorNs() const { return lastError; }
    int framesMissed() const { return missed; }        // lit a refresh or more after the one aimed at
    int framesDiscarded() const { return discarded; }  // never lit

private:
    struct Lit {
        qint64 ns;
        qint64 refresh;  // counted from the first heard, by the counter or by time
    };
    void estimatePeriod();
    void learnHold(qint64 litNs, qint64 sentNs);
    qint64 refreshesBetween(qint64 fromNs, qint64 toNs) const;
    Refresh firstRefresh(qint64 earliestNs) const;

    std::deque<Lit> recent;
    qint64 lastCounter = -1;
    qint64 period = 0;
    bool onBeat = true;
    std::deque<qint64> sentToLit;  // of the last frames
    qint64 hold = 0;  // a frame sent later than this before a refresh misses it
    qint64 lastError = 0;
    int missed = 0;
    int discarded = 0;
};

// The step to draw for a frame lit at `litNs`, with song sample `heard`
// leaving the output at `nowNs`: the step of the song time heard then, to
// the nearest step.
qint64 stepHeardAt(qint64 litNs, qint64 nowNs, qint64 heard, int rate);

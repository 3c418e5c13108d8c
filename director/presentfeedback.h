// What the display says of one frame given to it, or of one refresh asked
// about with no frame: when it was lit, on CLOCK_MONOTONIC, and which refresh
// that was. The frame clock learns the display's refresh period and phase
// from these.
#pragma once

#include <QtGlobal>

struct PresentFeedback {
    qint64 serial = 0;    // the number the frame (or the question) was given
    bool discarded = false;  // never lit: replaced or dropped before its refresh
    bool frame = true;    // false: a refresh asked about, nothing presented
    qint64 litNs = -1;    // CLOCK_MONOTONIC nanoseconds; -1 when discarded
    qint64 counter = -1;  // the display's refresh counter; -1 where it keeps none
    qint64 reportedPeriodNs = 0;  // the period the display claims; 0 where it says none
    // Lit at the display's vertical blank. A compositor without one (weston's
    // headless output) repaints on timers, each from its last presentation.
    bool onBeat = true;
};

// Frames paced by the show's steps alone, for a display that says nothing of
// when it lights them (or is not trusted to): the steps due are shown at
// once; otherwise the next frame is composed a little before its step falls
// due (none sooner: it would have nothing new to show) and held until then,
// so that frames reach the display at the steps' even pace however long each
// took to compose.
#pragma once

#include "stepschedule.h"

class ShowClock;
class XmpDevice;

class StepPacer {
public:
    StepPacer(const XmpDevice *device, int rate) : device(device), rate(rate) {}

    struct Choice {
        StepRange steps;  // none: nothing to show yet
        qint64 heard = 0;    // when chosen
        bool ahead = false;  // composed before its step is due
    };
    // The steps a frame runs after `lastStep`: those due, or else the next
    // one, composed ahead. A frame that comes late shows what is due at once
    // rather than hold a step further on.
    Choice choose(ShowClock &clock, qint64 lastStep) const;
    // Milliseconds until the frame after `lastStep` is to be composed; 0: now.
    int msToNextComposing(ShowClock &clock, qint64 lastStep) const;
    // Holds a frame composed ahead until its step is due. Returns the clock's
    // sample its step was chosen for: the moment the step falls due (or the
    // clock's when it was let go, if the clock stood still), or when chosen.
    qint64 release(ShowClock &clock, const Choice &choice) const;

private:
    qint64 composeAhead(qint64 lastStep) const;

    const XmpDevice *device;
    int rate;
};

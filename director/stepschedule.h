// Which steps of the show a paint runs. The show advances in steps of 1/rate
// of song time, whatever the display's paint rate: a paint runs every step
// that has come due since the last one, in order, and shows the last.
// Pure arithmetic on song samples.
#pragma once

#include <QtGlobal>

// The song sample at which step `step` falls (step / rate seconds, rounded down).
qint64 stepSample(qint64 step, int rate);

// How far ahead of the sound heard the live show aims its steps, in samples:
// the newest step due is on average half a step old, so aiming half a step
// ahead centres the pictures on the sound.
qint64 stepAimAhead(int rate);

// How long before its step is due a paint may start, in samples (8 ms, all
// but a step at 120 a second): a frame takes from one to several
// milliseconds to compose, or longer while the processors are busy, and one
// composed early waits to be shown when its step is due.
qint64 stepComposeAhead();

// The newest step due when song sample `heard` is being heard.
qint64 stepDueAt(qint64 heard, int rate);

// The steps one paint runs, first to last inclusive; none when first > last.
struct StepRange {
    qint64 first = 0;
    qint64 last = -1;
    bool isEmpty() const { return first > last; }
};

// After a stall (a suspended machine, a frozen display) a paint runs at most
// a second's worth of steps, so the show catches up over a few paints without
// freezing on one. Steps due so long ago that the records of their music are
// gone (more than `keptSeconds`) are skipped.
StepRange stepsToRun(qint64 lastRun, qint64 heard, int rate, int keptSeconds = 5);

#include "steppacer.h"

#include "samplerate.h"
#include "showclock.h"
#include "xmpdevice.h"

#include <QtGlobal>
#include <cmath>
#include <ctime>

StepPacer::Choice StepPacer::choose(ShowClock &clock, qint64 lastStep) const
{
    Choice choice;
    choice.heard = clock.heardSample();
    const qint64 aimAhead = stepAimAhead(rate);
    choice.steps = stepsToRun(lastStep, choice.heard + aimAhead, rate);
    choice.ahead = choice.steps.isEmpty();
    if (choice.ahead)
        choice.steps.last =
            qMin(stepsToRun(lastStep, choice.heard + aimAhead + composeAhead(lastStep), rate).last, lastStep + 1);
    return choice;
}

int StepPacer::msToNextComposing(ShowClock &clock, qint64 lastStep) const
{
    const qint64 samplesToGo =
        stepSample(lastStep + 1, rate) - clock.heardSample() - stepAimAhead(rate) - composeAhead(lastStep);
    return samplesToGo <= 0 ? 0 : qMax(1, int(std::ceil(samplesToGo * 1000.0 / songSampleRate)));
}

// A clock that stands still (a stalled server) holds a frame twice the
// composing time at most.
qint64 StepPacer::release(ShowClock &clock, const Choice &choice) const
{
    if (!choice.ahead)
        return choice.heard;
    const qint64 due = stepSample(choice.steps.last, rate) - stepAimAhead(rate);
    qint64 heldSamples = 0;
    for (;;) {
        const qint64 heard = clock.heardSample();
        const qint64 samplesToGo = qMin(due - heard, 2 * stepComposeAhead() - heldSamples);
        if (samplesToGo <= 0)
            return qMin(heard, due);
        const timespec wait{0, long(samplesToGo * 1000000000 / songSampleRate)};
        nanosleep(&wait, nullptr);
        heldSamples += samplesToGo;
    }
}

// Past the song's end the clock stands still: nothing is composed for a
// time it will not reach.
qint64 StepPacer::composeAhead(qint64 lastStep) const
{
    const qint64 end = device->endSample();
    if (end >= 0 && stepSample(lastStep + 1, rate) > end)
        return 0;
    return stepComposeAhead();
}

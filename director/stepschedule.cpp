#include "stepschedule.h"

#include "steptiming.h"

#include <algorithm>

qint64 stepSample(qint64 step, int rate)
{
    return step * qint64(songSampleRate) / rate;
}

qint64 stepAimAhead(int rate)
{
    return stepSample(1, rate) / 2;
}

qint64 stepComposeAhead()
{
    return songSampleRate * 8 / 1000;
}

qint64 stepDueAt(qint64 heard, int rate)
{
    // The newest n with floor(n * sampleRate / rate) <= heard, that is
    // n * sampleRate < (heard + 1) * rate.
    return heard < 0 ? -1 : ((heard + 1) * rate - 1) / qint64(songSampleRate);
}

StepRange stepsToRun(qint64 lastRun, qint64 heard, int rate, int keptSeconds)
{
    StepRange range;
    range.last = stepDueAt(heard, rate);
    range.first = lastRun + 1;
    if (range.last - range.first >= qint64(keptSeconds) * rate)
        range.first = range.last - rate + 1;
    range.last = std::min(range.last, range.first + rate - 1);
    return range;
}

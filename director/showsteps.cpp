#include "showsteps.h"

#include "xmpdevice.h"

#include <cstring>

bool ShowSteps::startAt(qint64 start, QSize frameSize)
{
    for (qint64 step = 0; stepSample(step, rate) < start; ++step) {
        if (!device->skipTo(stepSample(step, rate)))
            return false;
        scene.advance(recordForStep(step), frameSize);
        lastStep = step;
    }
    return device->skipTo(start);
}

qint64 ShowSteps::compose(StepRange steps, QSize frameSize)
{
    for (qint64 step = steps.first; step < steps.last; ++step)
        scene.advance(recordForStep(step), frameSize);
    qint64 recordSample = -1;
    scene.composeFrame(recordForStep(steps.last, &recordSample), frameSize);
    lastStep = steps.last;
    return recordSample;
}

qint64 ShowSteps::composeLiteral(QSize frameSize)
{
    qint64 recordSample = -1;
    scene.composeFrame(device->recordAt(device->handedSample() - 1, &recordSample), frameSize);
    ++lastStep;
    return recordSample;
}

// Step 0 comes before any sound, with the device's zeroed record, as in the capture.
xmp_frame_info ShowSteps::recordForStep(qint64 step, qint64 *startSample) const
{
    if (step > 0)
        return device->recordAt(stepSample(step, rate), startSample);
    xmp_frame_info nothingYet;
    std::memset(&nothingYet, 0, sizeof nothingYet);
    if (startSample)
        *startSample = -1;
    return nothingYet;
}

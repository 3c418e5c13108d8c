#include "steptiming.h"

qint64 playerFrameForStep(qint64 step, int rate, int samplesPerPlayerFrame)
{
    if (step == 0)
        return -1;
    // start(i) / sampleRate <= step / rate  <=>  i * spf * rate <= step * sampleRate
    return step * songSampleRate / (qint64(rate) * samplesPerPlayerFrame);
}

qint64 stepsInSong(qint64 playerFrames, int rate, int samplesPerPlayerFrame)
{
    // Step j lies in the song while j / rate < playerFrames * spf / sampleRate.
    const qint64 b = songSampleRate;
    return (playerFrames * samplesPerPlayerFrame * rate + b - 1) / b;
}

#include "capturetiming.h"

#include <algorithm>

namespace {

constexpr qint64 microsecondsPerSecond = 1000000;

// Ceiling of a / b for a >= 0, b > 0.
qint64 ceilDiv(qint64 a, qint64 b)
{
    return (a + b - 1) / b;
}

} // namespace

qint64 paintForVideoFrame(qint64 video, int rate, int fps)
{
    // Nearest integer to video * rate / fps, halves rounded down.
    return (2 * video * rate + fps - 1) / (2 * qint64(fps));
}

qint64 firstVideoFrameAt(qint64 microseconds, int fps)
{
    return ceilDiv(microseconds * fps, microsecondsPerSecond);
}

qint64 firstSampleAt(qint64 microseconds)
{
    return ceilDiv(microseconds * songSampleRate, microsecondsPerSecond);
}

qint64 CapturePlan::paintFor(qint64 video, int rate, int fps) const
{
    return std::min(paintForVideoFrame(video, rate, fps), paintCount - 1);
}

CapturePlan planCapture(qint64 playerFrames, int samplesPerPlayerFrame, int rate, int fps,
                        qint64 fromMicroseconds, qint64 toMicroseconds)
{
    const qint64 songSamples = playerFrames * samplesPerPlayerFrame;
    const qint64 videoFramesInSong = ceilDiv(songSamples * fps, songSampleRate);
    const qint64 paints = stepsInSong(playerFrames, rate, samplesPerPlayerFrame);

    CapturePlan plan;
    plan.firstVideoFrame = std::min(firstVideoFrameAt(fromMicroseconds, fps), videoFramesInSong);
    plan.endVideoFrame = toMicroseconds < 0
        ? videoFramesInSong
        : std::min(firstVideoFrameAt(toMicroseconds, fps), videoFramesInSong);
    plan.endVideoFrame = std::max(plan.endVideoFrame, plan.firstVideoFrame);
    plan.firstSample = std::min(firstSampleAt(fromMicroseconds), songSamples);
    plan.endSample = toMicroseconds < 0 ? songSamples
                                        : std::min(firstSampleAt(toMicroseconds), songSamples);
    plan.endSample = std::max(plan.endSample, plan.firstSample);
    if (!plan.isEmpty())
        plan.paintCount = std::min(paintForVideoFrame(plan.endVideoFrame - 1, rate, fps) + 1, paints);
    return plan;
}

// Which moment of the song each painted and each written frame shows, counted
// in whole samples so that frame numbers never drift from the music.
// Pure arithmetic: nothing here plays, paints or writes.
#pragma once

// Painted frame j is the live show's step j (steptiming.h), at the same rate.
#include "steptiming.h"

#include <QtGlobal>

// Frames per second of the written video.
constexpr int defaultVideoRate = 60;

// The painted frame whose time is nearest video frame `video`'s time video / fps;
// on a tie the earlier one, which is the one already on screen.
qint64 paintForVideoFrame(qint64 video, int rate, int fps);

// The first video frame, or the first sample, at or after a song time in microseconds.
qint64 firstVideoFrameAt(qint64 microseconds, int fps);
qint64 firstSampleAt(qint64 microseconds);

// What one capture paints and writes. Video frames and samples are both those whose
// time t satisfies from <= t < to, cut at the song's end.
struct CapturePlan {
    qint64 firstVideoFrame = 0;  // written video frames: [firstVideoFrame, endVideoFrame)
    qint64 endVideoFrame = 0;
    qint64 paintCount = 0;       // painted frames needed, always from the song's start
    qint64 firstSample = 0;      // samples of the written sound: [firstSample, endSample)
    qint64 endSample = 0;

    bool isEmpty() const { return endVideoFrame <= firstVideoFrame; }
    // The painted frame that video frame `video` takes, never past the last one painted.
    qint64 paintFor(qint64 video, int rate, int fps) const;
};

// toMicroseconds < 0 means "to the song's end".
CapturePlan planCapture(qint64 playerFrames, int samplesPerPlayerFrame, int rate, int fps,
                        qint64 fromMicroseconds, qint64 toMicroseconds);

// The show advances in steps at a fixed rate of song time; each step sees the
// frame record audible at its moment. The live window, the capture and the
// benchmark all count steps this way, so that step j is the same everywhere.
#pragma once

#include "samplerate.h"

#include <QtGlobal>

// Steps per second of song time.
constexpr int defaultStepRate = 120;

// The player frame that step `step` sees: the newest one whose sound starts
// at or before step / rate (player frame i starts at sample i * samplesPerPlayerFrame).
// Step 0 sees none (-1): it comes before the audio output first reads, with
// the device's still zeroed record.
qint64 playerFrameForStep(qint64 step, int rate, int samplesPerPlayerFrame);

// How many steps fall inside a song of `playerFrames` player frames.
qint64 stepsInSong(qint64 playerFrames, int rate, int samplesPerPlayerFrame);

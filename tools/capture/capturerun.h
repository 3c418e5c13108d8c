// One whole capture: listen to the song, paint it with the show's Scene from
// its start, and write the frames and the sound of the asked range.
// Needs a QGuiApplication with the show's fonts registered.
#pragma once

#include "captureoptions.h"

// Exit statuses.
constexpr int captureDone = 0;
constexpr int captureBroken = 1;     // the program itself cannot work (no module)
constexpr int captureRefused = 2;    // options, output or ffmpeg not usable; nothing left behind
constexpr int flashesFound = 1;      // --flash-check: some second flashes too often

// Asks a running capture to stop and clean up; safe to call from a signal handler.
void requestCaptureStop(int signalNumber);

// Returns the exit status: one of the above, or 128 + signal when stopped.
int runCapture(const CaptureOptions &options);

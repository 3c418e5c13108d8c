// Why a capture's range holds no video frame, said in the user's own terms.
#pragma once

#include "captureoptions.h"

#include <QString>

// For a range that starts past the song's end (`songSamples` long), or falls
// between two video frames: names the times given and the nearest frames.
QString emptyRangeReason(const CaptureOptions &options, qint64 songSamples);

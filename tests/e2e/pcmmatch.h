// What the end-to-end checks share about sound: libxmp's own rendering of the
// module, recordings of the sink, and where one lies in the other.
// PCM is s16le stereo at 44,100 Hz, samples interleaved; "frame" is one stereo pair.
#pragma once

#include <xmp.h>

#include <functional>
#include <vector>

namespace pcm {

// Renders the module once through, as the show plays it; onFrame sees every
// player frame's record before its samples are appended. Exits with status 2
// when the module cannot be loaded.
std::vector<short> renderModule(const char *path,
                                const std::function<void(const xmp_frame_info &)> &onFrame = {});

// Reads raw s16le stereo; exits with status 2 when the file cannot be read.
std::vector<short> readRaw(const char *path);

long frameCount(const std::vector<short> &samples);
bool silent(const std::vector<short> &samples, long frame);
long firstSound(const std::vector<short> &samples);  // -1 when all silent
long lastSound(const std::vector<short> &samples);

// Whether `window` frames of a from aStart agree with b from bStart, sample by
// sample within the rounding of a sound server's copy (±2).
bool agree(const std::vector<short> &a, long aStart, const std::vector<short> &b, long bStart, long window);

// The first frame of the reference from which the recording's next frames
// agree with those from recStart, searched in [from, to); -1 when none.
long matchInReference(const std::vector<short> &reference, const std::vector<short> &recording,
                      long recStart, long from = 0, long to = -1);

} // namespace pcm

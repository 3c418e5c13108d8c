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

// Where song frames lie in a recording, by likeness (normalised correlation
// of mono sums), so that a recording resampled by the server (a graph at
// another rate than the module's) is read too.
class Alignment {
public:
    static constexpr long window = 1024;
    static constexpr double alike = 0.9;  // a resampled copy stays above 0.99

    Alignment(const std::vector<short> &reference, const std::vector<short> &recording);

    // The recording frame of songFrame, with `offset` (recording frame minus
    // song frame) as the guess and the answer, searched from `back` s before
    // it to `forward` s after, coarsely first and then to the frame; -1 when
    // nothing there is alike.
    long find(long songFrame, long &offset, double back = 0.1, double forward = 1.0) const;
    // The song frame whose sound the recording has from recFrame, searched
    // over the whole song; -1 when none is alike.
    long songFrameOf(long recFrame) const;
    // How alike `window` frames from recFrame are to the song from songFrame.
    double likeness(long recFrame, long songFrame) const;
    // Whether the song sounds at all there: a quiet stretch is like anything.
    bool audible(long songFrame) const;

private:
    static constexpr long coarse = 4;
    std::vector<float> reference, recording, coarseReference, coarseRecording;
};

} // namespace pcm

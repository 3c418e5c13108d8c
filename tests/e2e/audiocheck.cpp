// Compares a recording of the show's sound with libxmp's own rendering of the
// module: aligns the two at the first sound, then reports length, gaps of
// silence inside the sound, and likeness. Exit status 0 when they match.
// With --part the recording may be any stretch of the module (a run ended
// early, beside other runs): its length is not checked, and a short gap (after
// which the samples no longer line up) is let pass; it must begin with the
// module's samples and sound for nine tenths of its length.
//
// usage: audiocheck [--part | --late] MODULE.xm RECORDING.raw   (s16le, stereo, 44,100 Hz)
// --late: the recording joined the song part-way (a sound server that came
// back): its first sound may lie anywhere in the song.
#include "pcmmatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr long bufferFrames = 16384 / 4;  // the show's output buffer, in stereo frames
constexpr long endFrames = 44100 * 10 / 1000;
constexpr long gapFrames = 44100 * 5 / 1000;

} // namespace

using namespace pcm;

int main(int argc, char **argv)
{
    const std::string mode = argc == 4 ? argv[1] : "";
    const bool part = mode == "--part";
    const bool late = mode == "--late";
    if (argc != 3 && !part && !late) {
        std::fprintf(stderr, "usage: audiocheck [--part | --late] MODULE.xm RECORDING.raw\n");
        return 2;
    }
    const std::vector<short> reference = renderModule(argv[argc - 2]);
    const std::vector<short> recording = readRaw(argv[argc - 1]);
    const long refStart = firstSound(reference), refEnd = lastSound(reference);
    const long recStart = firstSound(recording), recEnd = lastSound(recording);
    if (recStart < 0) {
        std::printf("recording is silent\n");
        return 1;
    }
    // The recording may begin late (a sound server starts streams when it likes):
    // find where its first sound lies in the reference.
    const long start = matchInReference(reference, recording, recStart);
    if (start < 0) {
        std::printf("the recording's first sound is nowhere in the module\n");
        return 1;
    }
    const long offset = recStart - start;  // recording frame = reference frame + offset
    // Where the last sound lies in the song, found on its own: a recording cut
    // short by a lost server ends wherever the server stopped.
    const long lastWindow = matchInReference(reference, recording, std::max(recStart, recEnd - 255));
    const long lastInSong = lastWindow < 0 ? -1 : lastWindow + (recEnd - std::max(recStart, recEnd - 255));
    const long refLength = refEnd - refStart + 1, recLength = recEnd - recStart + 1;
    const long missingStart = start - refStart;

    // Gaps: silence in the recording where the reference sounds.
    long gaps = 0, gapTotal = 0, run = 0;
    long same = 0, compared = 0;
    double energy = 0, error = 0;
    for (long f = recStart; f <= recEnd; ++f) {
        const long r = f - offset;
        const bool inReference = r >= 0 && r < long(reference.size() / 2);
        if (silent(recording, f) && inReference && !silent(reference, r)) {
            ++run;
        } else {
            if (run > gapFrames) {
                ++gaps;
                gapTotal += run;
                if (gaps <= 10)
                    std::printf("gap of %.1f ms at %.2f s of the song\n", run * 1000.0 / 44100,
                                double(r - run) / 44100);
            }
            run = 0;
        }
        if (inReference) {
            ++compared;
            const short *a = &recording[size_t(2 * f)], *b = &reference[size_t(2 * r)];
            same += (std::abs(a[0] - b[0]) <= 2 && std::abs(a[1] - b[1]) <= 2);
            for (int c = 0; c < 2; ++c) {
                energy += double(b[c]) * b[c];
                error += double(a[c] - b[c]) * (a[c] - b[c]);
            }
        }
    }
    if (run > gapFrames) {
        ++gaps;
        gapTotal += run;
    }
    const double match = compared ? double(same) / compared : 0;
    const double errorDb = 10 * std::log10((error + 1) / (energy + 1));
    // The show quits once the server says the end has been heard, which its
    // interpolated timing may say a little early. A sound server may also drop
    // the first milliseconds of a new stream (it does so for any client).
    const long missingEnd = refEnd - (recEnd - offset);
    std::printf("reference_s=%.3f recorded_s=%.3f missing_start_ms=%.1f missing_end_ms=%.1f "
                "gaps=%ld gap_ms=%.1f identical=%.4f error_db=%.1f "
                "first_sound_song_s=%.4f first_sound_recording_s=%.4f "
                "last_sound_song_s=%.4f\n",
                refLength / 44100.0, recLength / 44100.0, missingStart * 1000.0 / 44100,
                missingEnd * 1000.0 / 44100, gaps, gapTotal * 1000.0 / 44100, match, errorDb,
                start / 44100.0, recStart / 44100.0, lastInSong / 44100.0);
    const bool whole = std::labs(missingEnd) <= endFrames && (late || missingStart <= bufferFrames);
    const bool ok = part ? gapTotal < recLength / 10 : whole && gaps == 0 && match > 0.99;
    return ok ? 0 : 1;
}

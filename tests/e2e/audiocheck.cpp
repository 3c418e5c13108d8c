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
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr long bufferFrames = 16384 / 4;  // the show's output buffer, in stereo frames
constexpr long endFrames = 44100 * 10 / 1000;
constexpr long gapFrames = 44100 * 5 / 1000;

std::vector<short> renderModule(const char *path)
{
    std::vector<short> pcm;
    xmp_context context = xmp_create_context();
    if (xmp_load_module(context, path) != 0) {
        std::fprintf(stderr, "audiocheck: cannot load %s\n", path);
        std::exit(2);
    }
    xmp_start_player(context, 44100, 0);
    xmp_frame_info info;
    while (xmp_play_frame(context) == 0) {
        xmp_get_frame_info(context, &info);
        if (info.loop_count > 0)
            break;
        const short *samples = static_cast<const short *>(info.buffer);
        pcm.insert(pcm.end(), samples, samples + info.buffer_size / 2);
    }
    xmp_free_context(context);
    return pcm;
}

std::vector<short> readRaw(const char *path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "audiocheck: cannot read %s\n", path);
        std::exit(2);
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<short> pcm(bytes.size() / 2);
    std::copy(bytes.begin(), bytes.begin() + long(pcm.size() * 2), reinterpret_cast<char *>(pcm.data()));
    return pcm;
}

bool silent(const std::vector<short> &pcm, long frame)
{
    return pcm[size_t(2 * frame)] == 0 && pcm[size_t(2 * frame + 1)] == 0;
}

long firstSound(const std::vector<short> &pcm)
{
    const long frames = long(pcm.size() / 2);
    for (long f = 0; f < frames; ++f)
        if (!silent(pcm, f))
            return f;
    return -1;
}

long lastSound(const std::vector<short> &pcm)
{
    for (long f = long(pcm.size() / 2) - 1; f >= 0; --f)
        if (!silent(pcm, f))
            return f;
    return -1;
}

// The first reference frame from which the recording's next frames agree.
long matchInReference(const std::vector<short> &reference, const std::vector<short> &recording,
                      long recStart)
{
    constexpr long window = 256;
    const long refFrames = long(reference.size() / 2), recFrames = long(recording.size() / 2);
    if (recStart + window > recFrames)
        return -1;
    for (long r = 0; r + window <= refFrames; ++r) {
        long k = 0;
        for (; k < window; ++k) {
            const short *a = &recording[size_t(2 * (recStart + k))], *b = &reference[size_t(2 * (r + k))];
            if (std::abs(a[0] - b[0]) > 2 || std::abs(a[1] - b[1]) > 2)
                break;
        }
        if (k == window)
            return r;
    }
    return -1;
}

} // namespace

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

// Compares a recording of the show's sound with libxmp's own rendering of the
// module: aligns the two at the first sound, then reports length, gaps of
// silence inside the sound, and likeness. Exit status 0 when they match.
// A gap (silence in one channel or both where the module sounds) is one of
// two kinds, told apart by where the sound after it lies:
//   inserted: silence with everything after it later by as much; a listener
//     hears it. Either the show's stream ran dry, or the server skipped a
//     period of it while it held sound (the show says which: it reports
//     running dry). A failure, unless --server-skips: the show said its
//     stream never ran dry, so the server's skips are only reported.
//   lost: samples replaced by silence with nothing shifted, or missing (the
//     sound after the gap earlier): fragments the recording side missed.
//     Reported, not a failure.
// A gap after which the sound lines up nowhere near fails too, and so does a
// recording that is not the module between its gaps. Sound that no longer
// lines up where it did, without a gap before it, is a jump, judged alike.
// With --part the recording may be any stretch of the module (a run ended
// early, beside other runs): its length is not checked, and a short gap (after
// which the samples no longer line up) is let pass; it must begin with the
// module's samples and sound for nine tenths of its length.
//
// usage: audiocheck [--part | --late] [--cut] [--server-skips] [--resampled] MODULE.xm RECORDING.raw
//   (s16le, stereo, 44,100 Hz)
// --late: the recording joined the song part-way (a sound server that came
// back, a run started part-way): its first sound may lie anywhere in the song.
// --cut: the run was ended before the song's end; where the recording ends is
// not checked.
// --resampled: the sound passed the server's resamplers (a graph at another
// rate than the module's), so it no longer equals the module sample by
// sample. It is judged in windows of 1024 frames (23 ms) instead: each where
// the module sounds must be like it (normalised correlation of at least 0.9;
// a resampled copy stays above 0.99) where the window before was, and 99 %
// of them are. A gap of silence is found as without resampling (a server
// inserts exact zeros), and told apart by where the sound after it lies;
// sound that lies elsewhere without a gap before it is a jump. So a
// recording with a stretch missing, repeated, out of place or not the
// module's fails; one with a gap shorter than 32 frames (0.7 ms) may pass.
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
// A sound server works in periods of 128 frames or more: a gap is a run of
// silence shorter than that, as long as the music in it is plainly audible.
constexpr long gapFrames = 32;
constexpr int audible = 64;
constexpr long quickFrames = 64, alignFrames = 256;
constexpr long searchFrames = 2 * 44100;
constexpr long fragmentsFrames = 44100 / 4;
constexpr long quietRun = 8;

enum class GapKind { Lost, Inserted, Dropped, Unaligned };

const char *describe(GapKind kind)
{
    switch (kind) {
    case GapKind::Lost:
        return "lost on the recording side, nothing shifted";
    case GapKind::Inserted:
        return "silence inserted, the sound after it later by as much";
    case GapKind::Dropped:
        return "samples missing from the recording side, the sound after it earlier";
    default:
        return "the sound after it lines up nowhere near";
    }
}

// Where the sound lines up with the reference from recording frame `from` on,
// searched around `offset` (recording frame minus song frame), which it
// updates: later (silence inserted), earlier (samples missing) or nowhere.
// The sound may come back in fragments (a server waits to fill its buffer
// again): the new offset is found where it sounds steadily again.
GapKind realign(const std::vector<short> &reference, const std::vector<short> &recording, long from,
                long length, long &offset)
{
    // Where it sounds for a while, and if the sound there is still broken
    // (the next period lost too), a little later, for a tenth of a second.
    long steady = from;
    for (int attempt = 0; attempt < 16; ++attempt, steady += alignFrames) {
        for (long run = 0; steady < pcm::frameCount(recording) && run < alignFrames; ++steady)
            run = pcm::silent(recording, steady) ? 0 : run + 1;
        steady -= alignFrames;
        for (long shift = -searchFrames / 4; shift <= length + searchFrames; ++shift)
            if (shift != 0 && pcm::agree(recording, steady, reference, steady - offset - shift, alignFrames)) {
                offset += shift;
                return shift > 0 ? GapKind::Inserted : GapKind::Dropped;
            }
        if (pcm::agree(recording, steady, reference, steady - offset, alignFrames))
            return GapKind::Lost;
    }
    return GapKind::Unaligned;
}

// What a gap of `length` frames that ends at recording frame `after` was.
GapKind classify(const std::vector<short> &reference, const std::vector<short> &recording, long after,
                 long length, long &offset)
{
    if (pcm::agree(recording, after, reference, after - offset, quickFrames))
        return GapKind::Lost;
    return realign(reference, recording, after, length, offset);
}

} // namespace

using namespace pcm;

// The gaps a judgement finds, in frames: each told on a line (the first
// ten), and those a listener hears counted as failing.
struct GapTally {
    bool serverSkips;
    long gaps = 0, failing = 0, gapFrames = 0, lostFrames = 0, skippedFrames = 0;
    void note(GapKind kind, long length, long songAt, const char *what)
    {
        ++gaps;
        if (kind == GapKind::Lost || kind == GapKind::Dropped)
            lostFrames += length;
        else if (kind == GapKind::Inserted && serverSkips)
            skippedFrames += length;
        else
            ++failing, gapFrames += length;
        if (gaps <= 10)
            std::printf("%s of %.1f ms at %.2f s of the song: %s\n", what, length * 1000.0 / 44100,
                        double(songAt) / 44100, describe(kind));
    }
};

// The --resampled judgement, from recording frame recStart, which lies at
// song frame `start`; prints what the exact one does. True when whole.
bool judgeResampled(const std::vector<short> &reference, const std::vector<short> &recording,
                    const Alignment &alignment, long recStart, long start, bool late, bool cut, bool serverSkips)
{
    const long window = Alignment::window, recEnd = lastSound(recording);
    long offset = recStart - start, alike = 0, compared = 0;
    GapTally tally{serverSkips};
    long &failing = tally.failing;
    const auto note = [&](GapKind kind, long frames, long songAt, const char *what) {
        tally.note(kind, frames, songAt, what);
    };
    long run = 0;               // silent frames in a row
    long unaligned = 0;         // windows in a row like nothing near
    long silentSinceAlike = 0;  // frames of the gap so far
    long lastAlike = recStart;  // where the sound last lined up
    for (long f = recStart; f + window <= recEnd; f += window) {
        if (!alignment.audible(f - offset))
            continue;
        // Frames of silence where the module sounds, in runs of more than a
        // moment (the music's own waves cross zero in both channels now and then).
        long silentHere = 0;
        for (long k = f; k < f + window; ++k) {
            const long r = k - offset;
            const bool sounds = r >= 0 && r < frameCount(reference)
                                && (std::abs(reference[size_t(2 * r)]) > audible
                                    || std::abs(reference[size_t(2 * r + 1)]) > audible);
            run = silent(recording, k) && sounds ? run + 1 : 0;
            silentHere += run == quietRun ? quietRun : run > quietRun;
        }
        silentSinceAlike += silentHere;
        // A window with a gap in it is judged as a gap, not as unlike.
        const bool steady = silentHere == 0;
        compared += steady;
        const long before = offset;
        if (alignment.likeness(f, f - offset) < Alignment::alike) {
            // Found again where it sounds steadily: where it lies says what
            // this was. Inserted silence moves the sound later by no more
            // than there was silence (the music repeats itself: farther on,
            // a later bar may sound the same). The sound may come back in
            // fragments (a server waits to fill its buffer again), so for a
            // while nothing alike is let pass. A resampler's silence is not
            // all zeros: the time since the sound last lined up bounds it too.
            const long bound = std::max(silentSinceAlike, f - lastAlike);
            if (!steady || alignment.find(f - offset, offset, 0.1, double(bound) / 44100 + 0.05) < 0) {
                if (++unaligned * window <= fragmentsFrames)
                    continue;
                ++failing;
                std::printf("at %.2f s of the song: %s\n", double(f - offset) / 44100, describe(GapKind::Unaligned));
                break;
            }
            // A resampled copy is found again within a few frames of where it was.
            if (std::labs(offset - before) <= gapFrames)
                offset = before;
        }
        alike += steady;
        unaligned = 0;
        lastAlike = f + window;
        const long gap = silentSinceAlike;
        silentSinceAlike = 0;
        const char *what = gap > gapFrames ? "gap" : "jump";
        if (offset > before)
            note(GapKind::Inserted, offset - before, f - before - gap, what);
        else if (offset < before)
            note(GapKind::Dropped, before - offset, f - before - gap, what);
        else if (gap > gapFrames && steady)
            note(GapKind::Lost, gap, f - before - gap, what);
        else if (gap > gapFrames)
            silentSinceAlike = gap;  // the gap goes on into the next window
    }
    const long lastInSong = recEnd - offset, refEnd = lastSound(reference);
    const double share = compared ? double(alike) / double(compared) : 0;
    std::printf("reference_s=%.3f recorded_s=%.3f missing_start_ms=%.1f missing_end_ms=%.1f "
                "gaps=%ld gap_ms=%.1f lost_ms=%.1f skipped_ms=%.1f alike=%.4f "
                "first_sound_song_s=%.4f first_sound_recording_s=%.4f last_sound_song_s=%.4f\n",
                (refEnd - firstSound(reference) + 1) / 44100.0, (recEnd - recStart + 1) / 44100.0,
                (start - firstSound(reference)) * 1000.0 / 44100, (refEnd - lastInSong) * 1000.0 / 44100, failing,
                tally.gapFrames * 1000.0 / 44100, tally.lostFrames * 1000.0 / 44100,
                tally.skippedFrames * 1000.0 / 44100, share, start / 44100.0, recStart / 44100.0, lastInSong / 44100.0);
    const bool whole = (cut || std::labs(refEnd - lastInSong) <= endFrames)
                       && (late || start - firstSound(reference) <= bufferFrames);
    return whole && failing == 0 && share > 0.99;
}

int main(int argc, char **argv)
{
    bool part = false, late = false, cut = false, serverSkips = false, resampled = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        const std::string option = argv[first];
        part = part || option == "--part";
        late = late || option == "--late";
        serverSkips = serverSkips || option == "--server-skips";
        cut = cut || option == "--cut";
        resampled = resampled || option == "--resampled";
        if (option != "--part" && option != "--late" && option != "--cut" && option != "--server-skips"
            && option != "--resampled")
            break;
    }
    if (argc - first != 2 || (part && late) || (part && resampled)) {
        std::fprintf(stderr,
                     "usage: audiocheck [--part | --late] [--cut] [--server-skips] [--resampled] MODULE.xm "
                     "RECORDING.raw\n");
        return 2;
    }
    const std::vector<short> reference = renderModule(argv[first]);
    const std::vector<short> recording = readRaw(argv[first + 1]);
    const long refStart = firstSound(reference), refEnd = lastSound(reference);
    const long recStart = firstSound(recording), recEnd = lastSound(recording);
    if (recStart < 0) {
        std::printf("recording is silent\n");
        return 1;
    }
    // The recording may begin late (a sound server starts streams when it likes):
    // find where its first sound lies in the reference.
    if (resampled) {
        const Alignment alignment(reference, recording);
        const long start = alignment.songFrameOf(recStart);
        if (start < 0) {
            std::printf("the recording's first sound is nowhere in the module\n");
            return 1;
        }
        return judgeResampled(reference, recording, alignment, recStart, start, late, cut, serverSkips) ? 0 : 1;
    }
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

    // Gaps: silence in the recording where the reference sounds; and jumps:
    // sound that no longer lines up where it did, without a gap before it.
    long run = 0;
    GapTally tally{serverSkips};
    const long &gapTotal = tally.gapFrames, &lostTotal = tally.lostFrames, &skippedTotal = tally.skippedFrames,
               &failingGaps = tally.failing;
    long same = 0, compared = 0, differing = 0;
    double energy = 0, error = 0;
    long alignedOffset = offset;
    bool runAudible = false;
    const auto note = [&](GapKind kind, long length, long songAt, const char *what) {
        tally.note(kind, length, songAt, what);
    };
    // The last frame sounds, so every gap has ended by it.
    for (long f = recStart; f <= recEnd; ++f) {
        long r = f - alignedOffset;
        bool inReference = r >= 0 && r < long(reference.size() / 2);
        // Silence in either channel where the reference sounds: a server may
        // lose one channel's share of a period, or both.
        const short *a = &recording[size_t(2 * f)];
        const short *b = inReference ? &reference[size_t(2 * r)] : nullptr;
        if (b && ((a[0] == 0 && b[0] != 0) || (a[1] == 0 && b[1] != 0))) {
            runAudible = runAudible || std::abs(reference[size_t(2 * r)]) > audible
                         || std::abs(reference[size_t(2 * r + 1)]) > audible;
            ++run;
            continue;
        }
        if (run > gapFrames && runAudible) {
            const long before = alignedOffset;
            const GapKind kind = classify(reference, recording, f, run, alignedOffset);
            note(kind, kind == GapKind::Lost ? run : std::labs(alignedOffset - before), r - run, "gap");
            differing = 0;
        }
        run = 0;
        runAudible = false;
        r = f - alignedOffset;
        inReference = r >= 0 && r < long(reference.size() / 2);
        if (!inReference)
            continue;
        ++compared;
        b = &reference[size_t(2 * r)];
        const bool alike = std::abs(a[0] - b[0]) <= 2 && std::abs(a[1] - b[1]) <= 2;
        same += alike;
        for (int c = 0; c < 2; ++c) {
            energy += double(b[c]) * b[c];
            error += double(a[c] - b[c]) * (a[c] - b[c]);
        }
        differing = alike || silent(recording, f) ? 0 : differing + 1;
        // Samples a little off (a server's fade, a clipped peak) and then in
        // place again are no jump: only sound that lines up elsewhere is.
        if (differing == quickFrames && !agree(recording, f + 1, reference, r + 1, alignFrames)) {
            const long before = alignedOffset;
            const GapKind kind = realign(reference, recording, f - quickFrames + 1, 0, alignedOffset);
            note(kind, std::labs(alignedOffset - before), r, "jump");
            differing = 0;
        }
    }
    const double match = compared ? double(same) / compared : 0;
    const double errorDb = 10 * std::log10((error + 1) / (energy + 1));
    // The show quits once the server says the end has been heard, which its
    // interpolated timing may say a little early. A sound server may also drop
    // the first milliseconds of a new stream (it does so for any client).
    const long missingEnd = refEnd - (recEnd - alignedOffset);
    std::printf("reference_s=%.3f recorded_s=%.3f missing_start_ms=%.1f missing_end_ms=%.1f "
                "gaps=%ld gap_ms=%.1f lost_ms=%.1f skipped_ms=%.1f identical=%.4f error_db=%.1f "
                "first_sound_song_s=%.4f first_sound_recording_s=%.4f "
                "last_sound_song_s=%.4f\n",
                refLength / 44100.0, recLength / 44100.0, missingStart * 1000.0 / 44100,
                missingEnd * 1000.0 / 44100, failingGaps, gapTotal * 1000.0 / 44100, lostTotal * 1000.0 / 44100,
                skippedTotal * 1000.0 / 44100, match,
                errorDb,
                start / 44100.0, recStart / 44100.0, lastInSong / 44100.0);
    const bool whole = (cut || std::labs(missingEnd) <= endFrames) && (late || missingStart <= bufferFrames);
    const bool ok = part ? gapTotal + lostTotal + skippedTotal < recLength / 10
                         : whole && failingGaps == 0 && match > 0.99;
    return ok ? 0 : 1;
}

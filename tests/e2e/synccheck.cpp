// Says how well the pictures keep time with the sound, as a viewer would judge
// it: for every snare of the module, when the screen turned red and when the
// show says it painted the snare's frame, each against the moment the snare's
// sound passed the sink. The sound side comes only from the recording and its
// time stamps, aligned to libxmp's own rendering of the module by likeness, so
// that a recording resampled by the server (a graph at 48 kHz) is read too.
//
// usage: synccheck [--from SECONDS] MODULE.xm RECORDING.raw TIMING.txt PROBE.txt [TRACE.txt]
//   RECORDING.raw, TIMING.txt  from recorder; PROBE.txt from screenwatch;
//   TRACE.txt  the show's KARNVELDT_TRACE file
//   --from  the show started at this song time: only the snares from there on count
// A row per snare: its song time, when its sound passed, and the screen, the
// trace and the show's clock against that (ms); last, how much later than
// arrival the server's own clock had it pass: where a snare is out of time,
// this tells whether the sink's timeline strayed or the show did.
// Exit status 0 when the median is within [-10, +15] ms and 90 % of the snares
// are within ±25 ms, for the probe and for the trace when given.
#include "pcmmatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace pcm;

namespace {

constexpr double rate = 44100;
constexpr int snareChannel = 1, snareInstrument = 1;
constexpr int pointsForFlash = 16;  // of the probe's 24 turned redder: a whole-frame tint, not a local mark
constexpr double matchWindow = 0.25;   // s either side of the sound

struct Snare {
    long songFrame;  // first sample of the player frame that strikes it
    // CLOCK_MONOTONIC s; clock: when the show's clock reached it
    double sound = NAN, probe = NAN, trace = NAN, clock = NAN;
};

// Channel 1 strikes the snare when its sample position goes back or it takes
// up the snare instrument, as the show's cue step sees every player frame.
std::vector<Snare> findSnares(const char *module, std::vector<short> &reference)
{
    std::vector<Snare> snares;
    long songFrame = 0;
    unsigned lastPosition = ~0u;
    int lastInstrument = -1;
    reference = renderModule(module, [&](const xmp_frame_info &info) {
        const xmp_channel_info &channel = info.channel_info[snareChannel];
        const unsigned position = channel.position;
        const int instrument = channel.instrument;
        if (instrument == snareInstrument && (position < lastPosition || instrument != lastInstrument))
            snares.push_back({songFrame});
        lastPosition = position;
        lastInstrument = instrument;
        songFrame += info.buffer_size / 4;
    });
    return snares;
}

std::vector<std::vector<double>> readColumns(const char *path, size_t columns)
{
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "synccheck: cannot read %s\n", path);
        std::exit(2);
    }
    std::vector<std::vector<double>> lines;
    std::string text;
    while (std::getline(file, text)) {
        if (text.empty() || text[0] == '#')
            continue;
        std::istringstream line(text);
        std::vector<double> values(columns);
        for (double &value : values)
            line >> value;
        if (!line) {
            std::fprintf(stderr, "synccheck: %s: cannot read the line \"%s\"\n", path, text.c_str());
            std::exit(2);
        }
        lines.push_back(values);
    }
    return lines;
}

// When each recorded frame passed the sink, from the recorder's notes near it:
// the median of their offsets between the monotonic clock and the frames
// received by then. Local, because a loaded sink may fall behind and catch up.
// Arrival, not the server's clock: a server may misreport its latency, and the
// show may trust the same report.
class SinkClock {
public:
    explicit SinkClock(const std::vector<std::vector<double>> &notes)
    {
        for (const auto &note : notes)
            if (note[2] > 0)
                notes_.push_back({note[2], note[0] - note[2] / rate, (note[2] - note[1]) / rate});
        std::sort(notes_.begin(), notes_.end(), [](const Note &a, const Note &b) { return a.frame < b.frame; });
    }

    // NAN when no note lies near the frame.
    double at(double frame) const
    {
        std::vector<double> offsets = near(frame, &Note::offset);
        return offsets.empty() ? NAN : median(offsets) + frame / rate;
    }

    // How much later than arrival the server's clock has the frame pass; NAN
    // when no note lies near it. Where this strays, the two timelines part.
    double serverLaterAt(double frame) const
    {
        std::vector<double> later = near(frame, &Note::serverLater);
        return later.empty() ? NAN : median(later);
    }

    // How far single notes stray from their neighbours' median, and how the
    // server's clock compares with arrival.
    void describe() const
    {
        if (notes_.empty()) {
            std::printf("sink clock: no notes\n");
            return;
        }
        std::vector<double> scatter, server;
        for (const Note &note : notes_) {
            scatter.push_back(std::fabs(note.offset - median(near(note.frame, &Note::offset))) * 1000);
            server.push_back(note.serverLater * 1000);
        }
        std::sort(scatter.begin(), scatter.end());
        std::sort(server.begin(), server.end());
        std::printf("sink clock: %zu reads, each off its neighbours' median by %.2f ms (median), %.2f ms (p95); "
                    "the server's clock has frames pass %+.1f ms after they arrive (median; p5 %+.1f, p95 %+.1f)\n",
                    notes_.size(), median(scatter), scatter[scatter.size() * 95 / 100], median(server),
                    server[server.size() * 5 / 100], server[server.size() * 95 / 100]);
    }

private:
    struct Note {
        double frame;        // frames received by then
        double offset;       // monotonic s minus frame / rate
        double serverLater;  // s by which the server's clock puts the passing later
    };
    static constexpr double reach = rate / 2;  // frames either side

    std::vector<double> near(double frame, double Note::*value) const
    {
        auto it = std::lower_bound(notes_.begin(), notes_.end(), frame - reach,
                                   [](const Note &n, double f) { return n.frame < f; });
        std::vector<double> values;
        for (; it != notes_.end() && it->frame <= frame + reach; ++it)
            values.push_back((*it).*value);
        return values;
    }

    static double median(std::vector<double> values)
    {
        std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
        return values[values.size() / 2];
    }

    std::vector<Note> notes_;
};

// Times the whole screen turned redder: somewhere between the poll that saw
// it and the one before. A flash that vanishes for a paint or two (an effect
// before it in the pass may stop the pass, and with it the flash's drawing) and
// comes back is not a new flash.
std::vector<double> flashOnsets(const char *path)
{
    constexpr double flicker = 0.04;  // s without red that still counts as the same flash
    std::vector<double> onsets;
    long comebacks = 0;
    bool red = false;
    double redEnded = -1;
    for (const auto &change : readColumns(path, 4)) {
        const double at = (change[0] + change[1]) / 2;
        if (change[3] >= pointsForFlash) {
            if (!red && redEnded >= 0 && at - redEnded < flicker)
                ++comebacks;
            else
                onsets.push_back(at);
        }
        const bool nowRed = change[2] >= pointsForFlash;
        if (red && !nowRed)
            redEnded = at;
        red = nowRed;
    }
    std::printf("red flashes seen: %zu, besides %ld coming back after a moment without red\n",
                onsets.size(), comebacks);
    return onsets;
}

double percentile(const std::vector<double> &sorted, double p)
{
    return sorted[std::min(sorted.size() - 1, size_t(p / 100 * double(sorted.size())))];
}

// Prints the figures of one way of seeing the pictures; true when they meet the targets.
bool judge(const char *name, const std::vector<Snare> &snares, double Snare::*seen)
{
    std::vector<double> lead;
    long within = 0;
    for (const Snare &s : snares)
        if (!std::isnan(s.*seen) && !std::isnan(s.sound)) {
            const double ms = (s.*seen - s.sound) * 1000;
            lead.push_back(ms);
            within += std::fabs(ms) <= 25;
        }
    if (lead.empty()) {
        std::printf("%s: no snare matched\n", name);
        return false;
    }
    std::sort(lead.begin(), lead.end());
    const double median = percentile(lead, 50), share = double(within) / double(snares.size());
    std::printf("%s minus sound: median %+.1f ms, p5 %+.1f ms, p95 %+.1f ms, within ±25 ms %.0f %%, "
                "matched %zu of %zu\n",
                name, median, percentile(lead, 5), percentile(lead, 95), share * 100, lead.size(), snares.size());
    return median >= -10 && median <= 15 && share >= 0.9;
}

// When the show's clock, by the trace, reached a song time: between the two
// paints that read it on either side; NAN when no paint did.
double clockReached(const std::vector<std::vector<double>> &trace, double songTime)
{
    for (size_t i = 1; i < trace.size(); ++i)
        if (trace[i][2] >= songTime && trace[i - 1][2] < songTime)
            return trace[i - 1][0] + (songTime - trace[i - 1][2]) / (trace[i][2] - trace[i - 1][2])
                                         * (trace[i][0] - trace[i - 1][0]);
    return NAN;
}

} // namespace

int main(int argc, char **argv)
{
    double from = 0;
    if (argc > 2 && std::string(argv[1]) == "--from") {
        from = std::atof(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: synccheck [--from SECONDS] MODULE.xm RECORDING.raw TIMING.txt PROBE.txt "
                             "[TRACE.txt]\n");
        return 2;
    }
    std::vector<short> reference;
    std::vector<Snare> snares = findSnares(argv[1], reference);
    bool ok = true;
    if (snares.size() != 80) {
        std::printf("expected the module's 80 snares, found %zu\n", snares.size());
        ok = false;
    }
    snares.erase(std::remove_if(snares.begin(), snares.end(),
                                [&](const Snare &s) { return double(s.songFrame) < from * rate; }),
                 snares.end());
    const std::vector<short> recording = readRaw(argv[2]);
    const SinkClock sink(readColumns(argv[3], 3));
    sink.describe();
    const std::vector<double> onsets = flashOnsets(argv[4]);
    const std::vector<std::vector<double>> trace = argc == 6 ? readColumns(argv[5], 6) : decltype(trace){};

    // The recording's first sound is about the show's first sample, at
    // `from`: a server may drop a new stream's first milliseconds.
    const Alignment alignment(reference, recording);
    const long recStart = firstSound(recording), probe = long(from * rate) + long(rate) / 10;
    long offset = recStart - long(from * rate);  // recording frame = song frame + offset
    if (recStart < 0 || alignment.find(probe, offset, 0.5, 0.5) < 0) {
        std::printf("the recording holds none of the module\n");
        return 1;
    }
    std::printf("%zu snares from %.1f s, %zu trace lines\n", snares.size(), from, trace.size());
    std::printf("song_s sound_s probe_ms trace_ms clock_ms server_ms\n");
    size_t nextOnset = 0;
    for (Snare &s : snares) {
        const long frame = alignment.find(s.songFrame, offset);
        double serverLater = NAN;
        if (frame >= 0) {
            s.sound = sink.at(double(frame));
            serverLater = sink.serverLaterAt(double(frame));
        }
        // Flashes come in the snares' order: each takes the first flash near
        // it that no earlier snare took.
        while (nextOnset < onsets.size() && onsets[nextOnset] < s.sound - matchWindow)
            ++nextOnset;
        if (nextOnset < onsets.size() && onsets[nextOnset] <= s.sound + matchWindow)
            s.probe = onsets[nextOnset++];
        const double songTime = double(s.songFrame) / rate;
        for (const auto &line : trace)
            if (line[1] >= songTime - 0.5 / rate) {
                // Lit, or aimed at, or else painted.
                s.trace = line[5] >= 0 ? line[5] : line[4] >= 0 ? line[4] : line[0];
                break;
            }
        s.clock = clockReached(trace, songTime);
        std::printf("%.3f %.3f %+.1f %+.1f %+.1f %+.1f\n", songTime, s.sound, (s.probe - s.sound) * 1000,
                    (s.trace - s.sound) * 1000, (s.clock - s.sound) * 1000, serverLater * 1000);
    }
    ok = judge("screen red", snares, &Snare::probe) && ok;
    if (!trace.empty()) {
        ok = judge("trace painted", snares, &Snare::trace) && ok;
        // Not judged: it tells a clock off from paints late.
        judge("show clock", snares, &Snare::clock);
    }
    std::printf(ok ? "in time\n" : "out of time\n");
    return ok ? 0 : 1;
}

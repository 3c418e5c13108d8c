#include "pcmmatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace pcm {

std::vector<short> renderModule(const char *path, const std::function<void(const xmp_frame_info &)> &onFrame)
{
    std::vector<short> samples;
    xmp_context context = xmp_create_context();
    if (xmp_load_module(context, path) != 0) {
        std::fprintf(stderr, "cannot load the module %s\n", path);
        std::exit(2);
    }
    xmp_start_player(context, 44100, 0);
    xmp_frame_info info;
    while (xmp_play_frame(context) == 0) {
        xmp_get_frame_info(context, &info);
        if (info.loop_count > 0)
            break;
        if (onFrame)
            onFrame(info);
        const short *frame = static_cast<const short *>(info.buffer);
        samples.insert(samples.end(), frame, frame + info.buffer_size / 2);
    }
    xmp_free_context(context);
    return samples;
}

std::vector<short> readRaw(const char *path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path);
        std::exit(2);
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<short> samples(bytes.size() / 4 * 2);
    std::copy(bytes.begin(), bytes.begin() + long(samples.size() * 2), reinterpret_cast<char *>(samples.data()));
    return samples;
}

long frameCount(const std::vector<short> &samples)
{
    return long(samples.size() / 2);
}

bool silent(const std::vector<short> &samples, long frame)
{
    return samples[size_t(2 * frame)] == 0 && samples[size_t(2 * frame + 1)] == 0;
}

long firstSound(const std::vector<short> &samples)
{
    for (long f = 0; f < frameCount(samples); ++f)
        if (!silent(samples, f))
            return f;
    return -1;
}

long lastSound(const std::vector<short> &samples)
{
    for (long f = frameCount(samples) - 1; f >= 0; --f)
        if (!silent(samples, f))
            return f;
    return -1;
}

bool agree(const std::vector<short> &a, long aStart, const std::vector<short> &b, long bStart, long window)
{
    if (aStart < 0 || bStart < 0 || aStart + window > frameCount(a) || bStart + window > frameCount(b))
        return false;
    const short *x = &a[size_t(2 * aStart)], *y = &b[size_t(2 * bStart)];
    for (long k = 0; k < 2 * window; ++k)
        if (std::abs(x[k] - y[k]) > 2)
            return false;
    return true;
}

long matchInReference(const std::vector<short> &reference, const std::vector<short> &recording,
                      long recStart, long from, long to)
{
    constexpr long window = 256;
    if (to < 0)
        to = frameCount(reference);
    for (long r = std::max(0L, from); r < to; ++r)
        if (agree(recording, recStart, reference, r, window))
            return r;
    return -1;
}

namespace {

// Mono, as floats, each `step` frames averaged into one.
std::vector<float> mono(const std::vector<short> &samples, long step)
{
    std::vector<float> out(size_t(frameCount(samples) / step));
    for (size_t i = 0; i < out.size(); ++i)
        for (long k = 0; k < 2 * step; ++k)
            out[i] += float(samples[i * size_t(2 * step) + size_t(k)]);
    return out;
}

// Normalised correlation of n values of a from aStart and b from bStart; 0 outside either.
double correlation(const std::vector<float> &a, long aStart, const std::vector<float> &b, long bStart, long n)
{
    if (aStart < 0 || bStart < 0 || aStart + n > long(a.size()) || bStart + n > long(b.size()))
        return 0;
    double ab = 0, aa = 0, bb = 0;
    for (long k = 0; k < n; ++k) {
        const double x = a[size_t(aStart + k)], y = b[size_t(bStart + k)];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

} // namespace

Alignment::Alignment(const std::vector<short> &reference, const std::vector<short> &recording)
    : reference(mono(reference, 1)), recording(mono(recording, 1)), coarseReference(mono(reference, coarse)),
      coarseRecording(mono(recording, coarse))
{}

long Alignment::find(long songFrame, long &offset, double back, double forward) const
{
    // Nearest first: the music repeats itself, a bar later sounds the same.
    const long guess = offset / coarse, before = long(back * 44100) / coarse, after = long(forward * 44100) / coarse;
    for (long distance = 0; distance <= std::max(before, after); ++distance)
        for (int side = 0; side < 2; ++side) {
            const long d = side == 0 ? guess + distance : guess - distance;
            if ((side == 0 && distance > after) || (side == 1 && (distance == 0 || distance > before)))
                continue;
            // Coarsely alike, then to the frame.
            if (correlation(coarseReference, songFrame / coarse, coarseRecording, songFrame / coarse + d,
                            window / coarse) < alike - 0.1)
                continue;
            double best = -1;
            long bestOffset = 0;
            for (long o = d * coarse - 2 * coarse; o <= d * coarse + 2 * coarse; ++o) {
                const double l = likeness(songFrame + o, songFrame);
                if (l > best)
                    best = l, bestOffset = o;
            }
            if (best >= alike) {
                offset = bestOffset;
                return songFrame + offset;
            }
        }
    return -1;
}

long Alignment::songFrameOf(long recFrame) const
{
    double best = -1;
    long bestCoarse = 0;
    for (long c = 0; c + window / coarse <= long(coarseReference.size()); ++c) {
        const double l = correlation(coarseReference, c, coarseRecording, recFrame / coarse, window / coarse);
        if (l > best)
            best = l, bestCoarse = c;
    }
    best = -1;
    long bestFrame = -1;
    for (long f = bestCoarse * coarse - 2 * coarse; f <= bestCoarse * coarse + 2 * coarse; ++f) {
        const double l = likeness(recFrame, f);
        if (l > best)
            best = l, bestFrame = f;
    }
    return best < alike ? -1 : bestFrame;
}

double Alignment::likeness(long recFrame, long songFrame) const
{
    return correlation(reference, songFrame, recording, recFrame, window);
}

bool Alignment::audible(long songFrame) const
{
    constexpr double quiet = 64 * 2;  // per frame, both channels summed
    double energy = 0;
    for (long k = songFrame; k >= 0 && k < songFrame + window && k < long(reference.size()); ++k)
        energy += double(reference[size_t(k)]) * reference[size_t(k)];
    return energy > quiet * quiet * window;
}

} // namespace pcm

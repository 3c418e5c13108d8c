#include "pcmmatch.h"

#include <algorithm>
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

} // namespace pcm

// karnveldt-render-module MODULE.xm [OUT.wav [CHANNELS]]: plays a module
// through libxmp with default settings, as the show does, and prints what the
// show would see: per order position the struck notes on the watched
// channels, by instrument. Writes the audio as 44.1 kHz 16-bit stereo WAV if
// asked, with only the listed channels (digits, e.g. "04") audible if given.
// A listening and debugging aid for whoever edits the score.
#include <xmp.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

void putU32(std::FILE* f, uint32_t v) { std::fwrite(&v, 4, 1, f); }
void putU16(std::FILE* f, uint16_t v) { std::fwrite(&v, 2, 1, f); }

void writeWav(const char* path, const std::vector<char>& pcm) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) { std::perror(path); return; }
    std::fwrite("RIFF", 1, 4, f); putU32(f, 36 + uint32_t(pcm.size()));
    std::fwrite("WAVEfmt ", 1, 8, f); putU32(f, 16); putU16(f, 1); putU16(f, 2);
    putU32(f, 44100); putU32(f, 44100 * 4); putU16(f, 4); putU16(f, 16);
    std::fwrite("data", 1, 4, f); putU32(f, uint32_t(pcm.size()));
    std::fwrite(pcm.data(), 1, pcm.size(), f);
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE.xm [OUT.wav [CHANNELS]]\n", argv[0]);
        return 2;
    }
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module(ctx, argv[1]) != 0) {
        std::fprintf(stderr, "libxmp cannot load %s\n", argv[1]);
        return 1;
    }
    xmp_start_player(ctx, 44100, 0);
    if (argc > 3)
        for (int c = 0; c < 8; ++c)
            xmp_channel_mute(ctx, c, std::strchr(argv[3], '0' + c) ? 0 : 1);
    const int watched[] = {0, 1, 2, 3, 6};
    unsigned lastPosition[8];
    int lastInstrument[8];
    for (int c = 0; c < 8; ++c) { lastPosition[c] = ~0u; lastInstrument[c] = -1; }
    std::map<int, std::map<int, int>> struck;  // position -> XM instrument -> count
    std::vector<char> pcm;
    int frames = 0;
    xmp_frame_info fi;
    while (xmp_play_frame(ctx) == 0) {
        xmp_get_frame_info(ctx, &fi);
        if (fi.loop_count > 0) break;
        ++frames;
        pcm.insert(pcm.end(), static_cast<char*>(fi.buffer), static_cast<char*>(fi.buffer) + fi.buffer_size);
        for (int c : watched) {
            const xmp_channel_info& ci = fi.channel_info[c];
            const bool hit = (frames > 1 && ci.position < lastPosition[c]) || ci.instrument != lastInstrument[c];
            if (hit && ci.instrument != 255) {
                ++struck[fi.pos][ci.instrument + 1];
                if (ci.instrument + 1 >= 3)
                    std::printf("pos %d row %3d ch %d instrument %2d note %3d pan %3u\n", fi.pos, fi.row, c,
                                ci.instrument + 1, ci.note, ci.pan);
            }
            lastPosition[c] = ci.position;
            lastInstrument[c] = ci.instrument;
        }
    }
    std::printf("%d frames\n", frames);
    for (const auto& [pos, counts] : struck) {
        std::printf("position %d:", pos);
        for (const auto& [instrument, n] : counts) std::printf(" %d x%d", instrument, n);
        std::printf("\n");
    }
    if (argc > 2) writeWav(argv[2], pcm);
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return 0;
}

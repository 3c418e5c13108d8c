#include "rowkernels.h"

#include <QRgba64>
#include <algorithm>
#include <cstring>

// As the raster engine works out a solid fill: the opacity in 256ths, cut
// off, times the colour's alpha, premultiplied, and rounded to bytes.
FrameTint fillTint(const QColor &colour, qreal opacity)
{
    const QRgba64 wide = colour.rgba64();
    const uint opacity256 = uint(int(qBound(0.0, opacity, 1.0) * 256));
    const QRgba64 faded = QRgba64::fromRgba64(wide.red(), wide.green(), wide.blue(),
                                              quint16((wide.alpha() * opacity256) >> 8));
    const QRgb fill = faded.premultiplied().toArgb32();
    return FrameTint{rgbxWord(fill) & ~opaqueWord, 255 - uint32_t(qAlpha(fill))};
}

namespace {

// Eight pixels' bytes, and the same widened to one 16-bit lane each.
typedef uint8_t EightPixels __attribute__((vector_size(32)));
typedef uint16_t EightPixelLanes __attribute__((vector_size(64)));

struct TintLanes {
    EightPixelLanes through;
    EightPixelLanes add;
};

// v * through, plus a 256th of it, plus a half, over 256 is byteMul's
// rounding; no lane passes 65407, and no sum passes 255, since a fill's
// premultiplied channels are no more than its alpha.
// ToRgb32 also swaps red and blue, giving the window's pixel order.
template <size_t Count, bool ToRgb32>
__attribute__((always_inline)) inline void tintBlocks(const uint32_t *source, uint32_t *out, int blocks,
                                                      const TintLanes *tints)
{
    EightPixels opaqueBytes = {};
    EightPixels redBlueSwapped;
    for (int pixel = 0; pixel < 8; ++pixel) {
        opaqueBytes[4 * pixel + 3] = 0xff;
        for (int channel = 0; channel < 4; ++channel)
            redBlueSwapped[4 * pixel + channel] = uint8_t(4 * pixel + (channel == 3 ? 3 : 2 - channel));
    }
    for (int block = 0; block < blocks; ++block) {
        EightPixels bytes;
        std::memcpy(&bytes, source + 8 * block, sizeof bytes);
        if (Count > 0) {
            EightPixelLanes lanes = __builtin_convertvector(bytes, EightPixelLanes);
            for (size_t t = 0; t < Count; ++t) {
                const EightPixelLanes product = lanes * tints[t].through;
                lanes = ((product + (product >> 8) + 0x80) >> 8) + tints[t].add;
            }
            bytes = __builtin_convertvector(lanes, EightPixels);
        }
        if (ToRgb32)
            bytes = __builtin_shuffle(bytes, redBlueSwapped);
        bytes |= opaqueBytes;
        std::memcpy(out + 8 * block, &bytes, sizeof bytes);
    }
}

} // namespace

// Compiled for AVX2 and AVX-512 as well (a block of eight pixels' lanes fills
// one AVX-512 register), picked at load time where the processor has them.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
void tintRow(const uint32_t *source, uint32_t *out, int count, const FrameTint *tints, size_t tintCount,
             bool rgb32Out)
{
    constexpr size_t most = 3;
    if (tintCount > most) {
        tintRow(source, out, count, tints, most, false);
        tintRow(out, out, count, tints + most, tintCount - most, rgb32Out);
        return;
    }
    TintLanes lanes[most];
    for (size_t t = 0; t < tintCount; ++t) {
        for (int lane = 0; lane < 32; ++lane) {
            lanes[t].through[lane] = uint16_t(tints[t].through);
            lanes[t].add[lane] = uint16_t((tints[t].add >> (8 * (lane % 4))) & 0xffu);
        }
    }
    const int blocks = count / 8;
    switch (tintCount * 2 + (rgb32Out ? 1 : 0)) {
    case 0: tintBlocks<0, false>(source, out, blocks, lanes); break;
    case 1: tintBlocks<0, true>(source, out, blocks, lanes); break;
    case 2: tintBlocks<1, false>(source, out, blocks, lanes); break;
    case 3: tintBlocks<1, true>(source, out, blocks, lanes); break;
    case 4: tintBlocks<2, false>(source, out, blocks, lanes); break;
    case 5: tintBlocks<2, true>(source, out, blocks, lanes); break;
    case 6: tintBlocks<3, false>(source, out, blocks, lanes); break;
    default: tintBlocks<3, true>(source, out, blocks, lanes); break;
    }
    for (int x = 8 * blocks; x < count; ++x) {
        uint32_t pixel = source[x];
        for (size_t t = 0; t < tintCount; ++t)
            pixel = tinted(pixel, tints[t]);
        out[x] = rgb32Out ? toRgb32(pixel) : pixel | opaqueWord;
    }
}

__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
void composeRow(const uint32_t *source, int width, int rgb888Bytes, int shift, uint32_t *out)
{
    if (shift == 0) {
        for (int x = 0; x < width; ++x)
            out[x] = toRgb32(source[x]);
        return;
    }
    const int pixelShift = shift / 3;
    const int byteShift = shift % 3;
    const int movedBytes = rgb888Bytes - shift;  // bytes 0..movedBytes-1 come from further right
    int interior = std::min(movedBytes >= 3 ? movedBytes / 3 : 0, width - pixelShift - (byteShift ? 1 : 0));
    interior = std::max(0, std::min(interior, width));
    const uint32_t *from = source + pixelShift;
    switch (byteShift) {
    case 0:
        for (int x = 0; x < interior; ++x)
            out[x] = toRgb32(from[x]);
        break;
    case 1:  // new R, G, B = G, B of the pixel, R of the next
        for (int x = 0; x < interior; ++x)
            out[x] = toRgb32(((from[x] >> 8) & 0xffffu) | (from[x + 1] & 0xffu) << 16);
        break;
    default:  // new R, G, B = B of the pixel, R, G of the next
        for (int x = 0; x < interior; ++x)
            out[x] = toRgb32(((from[x] >> 16) & 0xffu) | (from[x + 1] & 0xffffu) << 8);
        break;
    }
    // The last pixels byte by byte: where the moved bytes run out and the kept ones begin.
    const int visibleBytes = 3 * width;
    const auto byteAt = [&](int i) -> uint32_t {
        return i < visibleBytes ? (source[i / 3] >> (8 * (i % 3))) & 0xffu : 0;
    };
    for (int x = interior; x < width; ++x) {
        uint32_t word = 0;
        for (int channel = 0; channel < 3; ++channel) {
            const int i = 3 * x + channel;
            word |= byteAt(i < movedBytes ? i + shift : i) << (8 * channel);
        }
        out[x] = toRgb32(word);
    }
}

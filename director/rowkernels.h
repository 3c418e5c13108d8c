// The frame's row kernels: pure functions on rows of RGBX8888 words (red in
// the lowest byte), each giving the bytes Qt's raster engine would. They know
// nothing of layers, bands or where a row goes.
#pragma once

#include <QColor>
#include <QRgb>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "frame words are read as little-endian RGBX");

// A full-frame translucent fill as it acts on one opaque pixel, channel by
// channel: v -> add + v * through / 255, rounded as Qt's raster engine rounds.
struct FrameTint {
    uint32_t add;      // the fill's premultiplied colour, one byte per channel, as the pixel lies in memory
    uint32_t through;  // how much of the pixel under the fill shows through: 255 - the fill's alpha
    bool operator==(const FrameTint &other) const { return add == other.add && through == other.through; }
    // A fill that changes nothing.
    bool isClear() const { return add == 0 && through == 255; }
};

constexpr uint32_t opaqueWord = 0xff000000u;

// Qt's BYTE_MUL: each byte of x times a / 255, rounded the way the raster engine rounds.
inline uint32_t byteMul(uint32_t x, uint32_t a)
{
    uint32_t low = (x & 0xff00ffu) * a;
    low = ((low + ((low >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
    uint32_t high = ((x >> 8) & 0xff00ffu) * a;
    high = (high + ((high >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
    return high | low;
}

// One opaque RGBX8888 pixel under a tint.
inline uint32_t tinted(uint32_t pixel, const FrameTint &tint)
{
    return (tint.add + byteMul(pixel, tint.through)) | opaqueWord;
}

// An opaque colour as an RGBX8888 word.
inline uint32_t rgbxWord(QRgb colour)
{
    return uint32_t(qRed(colour)) | uint32_t(qGreen(colour)) << 8 | uint32_t(qBlue(colour)) << 16 | opaqueWord;
}

// RGBX8888 word to an opaque RGB32 word (blue lowest).
inline uint32_t toRgb32(uint32_t pixel)
{
    return opaqueWord | ((pixel & 0xffu) << 16) | (pixel & 0xff00u) | ((pixel >> 16) & 0xffu);
}

// The tint of a solid fill of colour over a whole frame at the painter's
// opacity, in source-over mode.
FrameTint fillTint(const QColor &colour, qreal opacity);

// count pixels through tints in order, from source to out (which may be the
// same), left in RGBX8888 or turned into RGB32.
void tintRow(const uint32_t *source, uint32_t *out, int count, const FrameTint *tints, size_t tintCount,
             bool rgb32Out);

// QImage's bytesPerLine of an RGB888 row of width pixels.
inline int rgb888RowBytes(int width)
{
    return ((width * 24 + 31) >> 5) << 2;
}

// One output row in RGB32 from one tinted RGBX8888 row of width pixels:
// unmoved when shift is 0, otherwise the RGB888 row's bytes (rgb888Bytes of
// them, padding included) moved left by `shift` bytes, its last `shift`
// bytes kept, bytes past the pixels (row padding) read as 0.
void composeRow(const uint32_t *source, int width, int rgb888Bytes, int shift, uint32_t *out);

#include "framecanvas.h"

#include "snaredrawcommand.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "frame words are read as little-endian RGBX");

constexpr uint32_t opaque = 0xff000000u;

// Qt's BYTE_MUL: each byte of x times a / 255, rounded the way the raster engine rounds.
inline uint32_t byteMul(uint32_t x, uint32_t a)
{
    uint32_t low = (x & 0xff00ffu) * a;
    low = ((low + ((low >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
    uint32_t high = ((x >> 8) & 0xff00ffu) * a;
    high = (high + ((high >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
    return high | low;
}

inline uint32_t tinted(uint32_t pixel, const FrameTint &tint)
{
    return (tint.add + byteMul(pixel, tint.keep)) | opaque;
}

// Eight pixels' bytes, and the same widened to one 16-bit lane each.
typedef uint8_t EightPixels __attribute__((vector_size(32)));
typedef uint16_t EightPixelLanes __attribute__((vector_size(64)));

struct TintLanes {
    EightPixelLanes keep;
    EightPixelLanes add;
};

// RGBX8888 word (R lowest) to an opaque RGB32 word (B lowest).
inline uint32_t toRgb32(uint32_t pixel)
{
    return opaque | ((pixel & 0xffu) << 16) | (pixel & 0xff00u) | ((pixel >> 16) & 0xffu);
}

// v * keep, plus a 256th of it, plus a half, over 256 is byteMul's rounding;
// no lane passes 65407, and no sum passes 255 (readTint saw to it).
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
                const EightPixelLanes product = lanes * tints[t].keep;
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

// A row through tints in order, from source to out (which may be the same),
// left in RGBX8888 or turned into RGB32. Compiled for AVX2 as well, picked at
// load time where the processor has it.
__attribute__((target_clones("avx2", "default")))
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
            lanes[t].keep[lane] = uint16_t(tints[t].keep);
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
        out[x] = rgb32Out ? toRgb32(pixel) : pixel | opaque;
    }
}

inline uint32_t rgbxWord(QRgb colour)
{
    return uint32_t(qRed(colour)) | uint32_t(qGreen(colour)) << 8 | uint32_t(qBlue(colour)) << 16 | opaque;
}

// The probe: row 0 runs every value through all three channels at once, row 1
// through each channel in a different order, so that a fill that mixes
// channels or depends on the place does not pass for a tint.
constexpr int probeWidth = 256;

uint32_t probeInput(int x, int y)
{
    const uint32_t v = uint32_t(x);
    if (y == 0)
        return v | v << 8 | v << 16 | opaque;
    return v | (255 - v) << 8 | ((7 * v) & 0xffu) << 16 | opaque;
}

void resetProbe(QImage &probe)
{
    for (int y = 0; y < 2; ++y) {
        uint32_t *row = reinterpret_cast<uint32_t *>(probe.scanLine(y));
        for (int x = 0; x < probeWidth; ++x)
            row[x] = probeInput(x, y);
    }
}

// Reads the tint off a painted probe; false if what was painted is no tint.
bool readTint(const QImage &probe, FrameTint *tint)
{
    const uint32_t *ramp = reinterpret_cast<const uint32_t *>(probe.constScanLine(0));
    tint->add = ramp[0] & ~opaque;
    // v * keep / 255 is keep itself for v = 255.
    const uint32_t keep = (ramp[255] - ramp[0]) & 0xffu;
    tint->keep = keep;
    for (int y = 0; y < 2; ++y) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(probe.constScanLine(y));
        for (int x = 0; x < probeWidth; ++x)
            if (row[x] != tinted(probeInput(x, y), *tint))
                return false;
    }
    return true;
}

// One output row in RGB32 from one tinted RGBX8888 row: unmoved when shift is
// 0, otherwise the RGB888 row's bytes moved left by `shift` bytes, its last
// `shift` bytes kept, bytes past the pixels (row padding) read as 0.
__attribute__((target_clones("avx2", "default")))
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

bool writesRgb32(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
           || format == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

FrameCanvas::FrameCanvas()
    : probe(probeWidth, 2, QImage::Format_RGBX8888)
{
}

FrameCanvas::~FrameCanvas() = default;

void FrameCanvas::begin(QSize size, QRgb background)
{
    framePainter.reset();
    if (pixels.size() != size)
        pixels = QImage(size, QImage::Format_RGBX8888);
    // Without pixels the effects still take their step, on nothing; present then fails.
    missing.setSize(size);
    framePainter.reset(pixels.isNull() ? new QPainter(&missing) : new QPainter(&pixels));
    framePainter->setRenderHint(QPainter::Antialiasing);
    flat = true;
    flatColour = rgbxWord(background);
    pending.clear();
}

QPainter &FrameCanvas::painter()
{
    materialise();
    applyTints();
    return *framePainter;
}

void FrameCanvas::materialise()
{
    if (!flat)
        return;
    const int width = pixels.width();
    for (int y = 0; y < pixels.height(); ++y)
        std::fill_n(reinterpret_cast<uint32_t *>(pixels.scanLine(y)), width, flatColour);
    flat = false;
}

void FrameCanvas::applyTints()
{
    if (pending.empty())
        return;
    const int width = pixels.width();
    for (int y = 0; y < pixels.height(); ++y) {
        uint32_t *row = reinterpret_cast<uint32_t *>(pixels.scanLine(y));
        tintRow(row, row, width, pending.data(), pending.size(), false);
    }
    pending.clear();
}

DrawResult FrameCanvas::drawSnare(SnareDrawCommand &snare)
{
    const SnareDrawCommand before = snare;
    resetProbe(probe);
    DrawResult result;
    {
        QPainter probePainter(&probe);
        probePainter.setRenderHint(QPainter::Antialiasing);
        result = snare.draw(probePainter);
    }
    FrameTint tint;
    if (!readTint(probe, &tint)) {
        // Not one uniform translucent fill after all: paint it for real.
        snare = before;
        return snare.draw(painter());
    }
    if (tint.add == 0 && tint.keep == 255)
        return result;  // fully transparent: nothing to apply
    if (flat)
        flatColour = tinted(flatColour, tint);
    else
        pending.push_back(tint);
    return result;
}

bool FrameCanvas::present(QImage &target, int distortion)
{
    framePainter.reset();
    if (target.isNull() || pixels.isNull() || target.size() != pixels.size()) {
        pending.clear();
        return false;
    }
    if (!writesRgb32(target.format()) && target.format() != QImage::Format_RGB888) {
        QImage rgb32(target.size(), QImage::Format_RGB32);
        if (!present(rgb32, distortion))
            return false;
        QPainter converter(&target);
        converter.setCompositionMode(QPainter::CompositionMode_Source);
        converter.drawImage(QPoint(0, 0), rgb32);
        return true;
    }

    const int width = pixels.width();
    const int height = pixels.height();
    const int rgb888Bytes = ((width * 24 + 31) >> 5) << 2;  // QImage's RGB888 bytesPerLine
    const int shift = distortion > 0 ? int(std::min<qint64>(4 * qint64(distortion), rgb888Bytes - 1)) : 0;
    const qint64 band = qint64(std::max(distortion, 0)) + 1;

    std::vector<uint32_t> flatRow;
    if (flat)
        flatRow.assign(size_t(width), flatColour);
    std::vector<uint32_t> tintedRow(pending.empty() ? 0 : size_t(width));
    rowScratch.resize(size_t(width));
    // A flat frame has only two kinds of row: work each out once.
    std::vector<uint32_t> flatOut[2];

    for (int y = 0; y < height; ++y) {
        const bool moved = shift > 0 && (y / band) % 2 == 0;
        const int rowShift = moved ? shift : 0;
        const bool rgb32 = writesRgb32(target.format());
        uint32_t *out = rgb32 ? reinterpret_cast<uint32_t *>(target.scanLine(y)) : rowScratch.data();
        if (flat) {
            std::vector<uint32_t> &made = flatOut[moved ? 1 : 0];
            if (made.empty()) {
                made.resize(size_t(width));
                composeRow(flatRow.data(), width, rgb888Bytes, rowShift, made.data());
            }
            std::copy(made.begin(), made.end(), out);
        } else {
            const uint32_t *source = reinterpret_cast<const uint32_t *>(pixels.constScanLine(y));
            if (!moved) {
                // The common row: read, tinted and turned into RGB32 in one go.
                tintRow(source, out, width, pending.data(), pending.size(), true);
            } else {
                if (!pending.empty()) {
                    tintRow(source, tintedRow.data(), width, pending.data(), pending.size(), false);
                    source = tintedRow.data();
                }
                composeRow(source, width, rgb888Bytes, rowShift, out);
            }
        }
        if (!rgb32) {
            uchar *bytes = target.scanLine(y);
            for (int x = 0; x < width; ++x) {
                bytes[3 * x] = uchar(qRed(out[x]));
                bytes[3 * x + 1] = uchar(qGreen(out[x]));
                bytes[3 * x + 2] = uchar(qBlue(out[x]));
            }
        }
    }
    pending.clear();
    return true;
}

#include "frameoutput.h"

#include <algorithm>
#include <cstring>

bool FrameOutput::writesRgb32(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
           || format == QImage::Format_ARGB32_Premultiplied;
}

// A row no effect reaches is one colour: only two kinds of such row, each
// made once.
FrameOutput::FrameOutput(QImage &target, int distortion, uint32_t plainColour, RowSpan *changed)
    : bits(target.bits()), bytesPerLine(target.bytesPerLine()), rgb32(writesRgb32(target.format())),
      width(target.width()), rgb888Bytes(rgb888RowBytes(target.width())),
      shift(distortion > 0 ? int(std::min<qint64>(4 * qint64(distortion), rgb888Bytes - 1)) : 0),
      band(qint64(std::max(distortion, 0)) + 1), changed(changed)
{
    const std::vector<uint32_t> plainRow(size_t(width), plainColour);
    for (int moved = 0; moved < 2; ++moved) {
        plain[moved].resize(size_t(width));
        composeRow(plainRow.data(), width, rgb888Bytes, moved ? shift : 0, plain[moved].data());
    }
}

// Where row y is made in RGB32: the target's row itself, or scratch.
uint32_t *FrameOutput::rowFor(int y, std::vector<uint32_t> &scratch) const
{
    return madeInScratch() ? scratch.data() : reinterpret_cast<uint32_t *>(bits + y * bytesPerLine);
}

// The span of row y as the target holds it, from what rowFor gave.
// Comparing first costs little: writing would read it into the cache anyway.
void FrameOutput::finish(int y, const uint32_t *made, RowSpan span) const
{
    uchar *to = bits + y * bytesPerLine;
    if (rgb32) {
        uint32_t *const row = reinterpret_cast<uint32_t *>(to);
        const size_t bytes = size_t(span.right - span.left) * 4;
        if (changed) {
            const bool differs = std::memcmp(row + span.left, made + span.left, bytes) != 0;
            changed[y] = differs ? span : RowSpan{};
            if (differs)
                std::memcpy(row + span.left, made + span.left, bytes);
        } else if (made != row) {
            std::memcpy(row + span.left, made + span.left, bytes);
        }
        return;
    }
    if (changed)
        changed[y] = span;
    for (int x = span.left; x < span.right; ++x) {
        to[3 * x] = uchar(qRed(made[x]));
        to[3 * x + 1] = uchar(qGreen(made[x]));
        to[3 * x + 2] = uchar(qBlue(made[x]));
    }
}

void FrameOutput::writeRows(const QImage &pixels, BandRows rows, const std::vector<FrameTint> &pending,
                            const std::vector<RowSpan> &spans, const std::vector<RowSpan> &reached) const
{
    const uchar *const from = pixels.constBits();
    const qsizetype stride = pixels.bytesPerLine();
    std::vector<uint32_t> scratch(madeInScratch() ? size_t(width) : 0);
    std::vector<uint32_t> tintedRow(pending.empty() ? 0 : size_t(width));
    for (int y = rows.first; y < rows.end; ++y) {
        const RowSpan span = spans[size_t(y)];
        const RowSpan effects = reached[size_t(y)];
        const uint32_t *const plainRow = plain[moved(y) ? 1 : 0].data();
        if (span.isEmpty())
            continue;
        if (effects.isEmpty()) {
            finish(y, plainRow, span);
            continue;
        }
        const uint32_t *source = reinterpret_cast<const uint32_t *>(from + y * stride);
        uint32_t *out = rowFor(y, scratch);
        if (!moved(y)) {
            // The common row: what effects reach read, tinted and turned into
            // RGB32 in one go; the rest as a row no effect reaches.
            std::copy(plainRow + span.left, plainRow + effects.left, out + span.left);
            tintRow(source + effects.left, out + effects.left, effects.right - effects.left, pending.data(),
                    pending.size(), true);
            std::copy(plainRow + effects.right, plainRow + span.right, out + effects.right);
        } else {
            if (!pending.empty()) {
                tintRow(source, tintedRow.data(), width, pending.data(), pending.size(), false);
                source = tintedRow.data();
            }
            composeRow(source, width, rgb888Bytes, shift, out);
        }
        finish(y, out, span);
    }
}

// A painted frame written onto its target: the tints still to apply, the
// row-band distortion, and the target's own format (RGB32 and its ARGB32
// kin, or RGB888), comparing before writing where the target keeps the
// frame before. Paints nothing itself.
#pragma once

#include "changedrows.h"
#include "framebands.h"
#include "rowkernels.h"

#include <QImage>
#include <cstdint>
#include <vector>

class FrameOutput {
public:
    // The formats written here; any other goes through an RGB32 copy.
    static bool writesRgb32(QImage::Format format);
    static bool writes(QImage::Format format) { return writesRgb32(format) || format == QImage::Format_RGB888; }

    // Onto target, of a format written here, shaken by distortion. A row no
    // effect reaches is plainColour (an RGBX8888 word) before the distortion.
    // With changed (by row), pixels the target holds already are left alone.
    FrameOutput(QImage &target, int distortion, uint32_t plainColour, RowSpan *changed);

    // Rows of the painted frame pixels, through the tints pending: of each
    // row y the columns spans[y] (none: the row is left alone), those in
    // reached[y] read from pixels and the rest as a row no effect reaches.
    void writeRows(const QImage &pixels, BandRows rows, const std::vector<FrameTint> &pending,
                   const std::vector<RowSpan> &spans, const std::vector<RowSpan> &reached) const;

private:
    bool moved(int y) const { return shift > 0 && (y / band) % 2 == 0; }
    bool madeInScratch() const { return !rgb32 || changed; }
    uint32_t *rowFor(int y, std::vector<uint32_t> &scratch) const;
    void finish(int y, const uint32_t *made, RowSpan span) const;

    uchar *bits;
    qsizetype bytesPerLine;
    bool rgb32;        // else RGB888
    int width;
    int rgb888Bytes;   // an RGB888 row's bytes, padding included
    int shift;         // bytes a moved row moves
    qint64 band;       // rows in a band of the distortion
    RowSpan *changed;  // by row, when pixels the target holds already are left alone
    std::vector<uint32_t> plain[2];  // a row no effect reaches, made: unmoved, moved
};

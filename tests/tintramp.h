// A probe for fills: every value in every channel. Row 0 runs every value
// through all three channels at once, row 1 through each channel in another
// order, so that a fill that mixes channels or depends on the place does not
// pass for a tint.
#pragma once

#include "rowkernels.h"

#include <QImage>

inline QImage tintRamp(int width = 256)
{
    QImage image(width, 2, QImage::Format_RGBX8888);
    for (int x = 0; x < width; ++x) {
        const uint32_t v = uint32_t(x) & 0xffu;
        reinterpret_cast<uint32_t *>(image.scanLine(0))[x] = v | v << 8 | v << 16 | opaqueWord;
        reinterpret_cast<uint32_t *>(image.scanLine(1))[x] = v | (255 - v) << 8 | ((7 * v) & 0xffu) << 16 | opaqueWord;
    }
    return image;
}

// The image with every pixel under the tint.
inline QImage underTint(QImage image, const FrameTint &tint)
{
    for (int y = 0; y < image.height(); ++y)
        tintRow(reinterpret_cast<const uint32_t *>(image.constScanLine(y)), reinterpret_cast<uint32_t *>(image.scanLine(y)),
                image.width(), &tint, 1, false);
    return image;
}

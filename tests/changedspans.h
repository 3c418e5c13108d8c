// Checks what present reports it changed on a target that keeps the frame before.
#pragma once

#include "framecanvas.h"

#include <QImage>
#include <QString>
#include <cstring>
#include <vector>

// Empty when every pixel that changed from before to after lies in its row's
// reported span and, where exact (RGB32), every span reported holds a change.
inline QString wrongChangedSpan(const QImage &before, const QImage &after, const std::vector<RowSpan> &changed,
                                bool exact)
{
    const size_t pixelBytes = size_t(after.depth() / 8);
    const size_t rowBytes = size_t(after.width()) * pixelBytes;
    for (int y = 0; y < after.height(); ++y) {
        const RowSpan span = changed.at(size_t(y));
        const size_t left = span.isEmpty() ? 0 : size_t(span.left) * pixelBytes;
        const size_t right = span.isEmpty() ? 0 : size_t(span.right) * pixelBytes;
        const uchar *was = before.constScanLine(y);
        const uchar *is = after.constScanLine(y);
        if (std::memcmp(was, is, left) != 0 || std::memcmp(was + right, is + right, rowBytes - right) != 0)
            return QStringLiteral("row %1 changed outside columns %2 to %3").arg(y).arg(span.left).arg(span.right);
        if (exact && !span.isEmpty() && std::memcmp(was + left, is + left, right - left) == 0)
            return QStringLiteral("row %1 is said to have changed in columns %2 to %3, but did not")
                .arg(y).arg(span.left).arg(span.right);
    }
    return QString();
}

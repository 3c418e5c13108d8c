#include "framewriter.h"

#include "scene.h"

#include <cmath>

QRect FrameWriter::write(QImage &target, bool whole, qreal ratio, bool *lost)
{
    *lost = target.constBits() != lastTargetBits;
    if (*lost)
        scene.forgetTarget();
    lastTargetBits = target.constBits();
    if (!scene.presentFrame(target, whole ? nullptr : &changedRows))
        return QRect();
    if (whole)
        return QRect(QPoint(0, 0), (QSizeF(target.size()) / ratio).toSize());
    return changedRectangle(ratio);
}

QRect FrameWriter::changedRectangle(qreal ratio) const
{
    int top = -1, bottom = -1;
    RowSpan columns;
    for (size_t y = 0; y < changedRows.size(); ++y) {
        if (changedRows[y].isEmpty())
            continue;
        if (top < 0)
            top = int(y);
        bottom = int(y) + 1;
        columns = columns.united(changedRows[y]);
    }
    if (top < 0)
        return QRect();
    const QPoint topLeft(int(std::floor(columns.left / ratio)), int(std::floor(top / ratio)));
    const QPoint bottomRight(int(std::ceil(columns.right / ratio)), int(std::ceil(bottom / ratio)));
    return QRect(topLeft, bottomRight - QPoint(1, 1));
}

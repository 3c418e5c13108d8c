// Sword stroke: a white parallelogram from the top edge to the bottom edge,
// leaning from upper right to lower left, fading in and out on a half sine.
#include "drawsworddrawcommand.h"

#include <QBrush>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

bool DrawSwordDrawCommand::inOnePiece = false;

DrawResult DrawSwordDrawCommand::draw(QPainter &painter)
{
    DrawResult result;

    // delay keeps falling on every call, also once the band is showing.
    const int32_t waited = delay--;
    if (waited > 0)
        return result;

    const QRect viewport = painter.viewport();
    const int32_t width = viewport.width();
    const int32_t height = viewport.height();

    const float f = pan / 255.0f - 0.5f;
    const float t = life / 100.0f;
    const float grow = (1.0f - t) * 20.0f;
    const int32_t third = width / 3;

    // The pan moves the bottom edge by f*W and the top edge by half as much.
    const float shift = f * width;
    const float topLeft = (2 * third) + 0.5f * shift;
    const float bottomLeft = shift + third;

    // Only the right-hand edges grow; filling closes the path.
    const float topRight = (50.0f + topLeft) + grow;
    const float bottomRight = (50.0f + bottomLeft) + grow;

    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter.setOpacity(std::sin(static_cast<double>(t) * M_PI));
    // Qt's antialiasing rasterizer walks every edge of a path once for each
    // twenty-odd rows it fills, so one path the frame's height costs with the
    // square of it (3 ms at 4K). Strips of rows, each a path of its own with
    // the same edges, cost only their share; the edges' ends at the joins
    // are rounded afresh, which moves edge pixels by a level or so.
    const int32_t pieceRows = inOnePiece ? height : stripRows;
    const auto alongEdge = [height](float top, float bottom, int32_t y) {
        return y == 0 ? double(top) : y == height ? double(bottom) : top + (double(bottom) - top) * y / height;
    };
    for (int32_t y0 = 0; y0 < height; y0 += pieceRows) {
        const int32_t y1 = std::min(height, y0 + pieceRows);
        QPainterPath path;
        path.moveTo(alongEdge(topLeft, bottomLeft, y0), y0);
        path.lineTo(alongEdge(topLeft, bottomLeft, y1), y1);
        path.lineTo(alongEdge(topRight, bottomRight, y1), y1);
        path.lineTo(alongEdge(topRight, bottomRight, y0), y0);
        painter.drawPath(path);
    }
    painter.setOpacity(1.0);

    const int32_t current = life--;
    result.keep = current > 0;
    return result;
}

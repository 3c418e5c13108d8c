// Sword stroke: a white parallelogram from the top edge to the bottom edge,
// leaning from upper right to lower left, fading in and out on a half sine.
#include "drawsworddrawcommand.h"

#include <QBrush>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

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
    QPainterPath path;
    path.moveTo(topLeft, 0);
    path.lineTo(bottomLeft, height);
    path.lineTo((50.0f + bottomLeft) + grow, height);
    path.lineTo((50.0f + topLeft) + grow, 0);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter.setOpacity(std::sin(static_cast<double>(t) * M_PI));
    painter.drawPath(path);
    painter.setOpacity(1.0);

    const int32_t current = life--;
    result.keep = current > 0;
    return result;
}

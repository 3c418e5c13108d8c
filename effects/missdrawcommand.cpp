// Miss: a grey ring outline whose bounding square keeps its top-left corner,
// so it grows to the right and downwards while it fades out.
#include "missdrawcommand.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPen>

DrawResult MissDrawCommand::draw(QPainter &painter)
{
    const QRect viewport = painter.viewport();
    const int32_t cx = viewport.width() / 2;
    const int32_t cy = viewport.height() / 2;

    const float t = life / 100.0f;
    const float g = (1.0f - t) * 10.0f;
    const float f = pan / 255.0f - 0.5f;

    const int32_t x = static_cast<int32_t>(cx + cx * f);
    const int32_t y = static_cast<int32_t>(f * cy + cy);

    // Starts invalid (QColor::invalidate() is private in Qt 5); setH* makes it valid.
    QColor colour;
    colour.setHsl(0, 0, 3 * size, 255);

    // The pen width grows smoothly; the diameter only in whole pixels.
    const float penWidth = (size + g) / 3.0f;
    const QPen pen(QBrush(colour, Qt::SolidPattern), penWidth, Qt::SolidLine, Qt::SquareCap,
                   Qt::BevelJoin);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(pen);
    painter.setOpacity(t);
    const int32_t diameter = static_cast<int32_t>(size + g);
    painter.drawEllipse(QRect(x, y, diameter, diameter));
    painter.setOpacity(1.0);

    const int32_t current = life--;
    DrawResult result;
    result.keep = current > 0;
    return result;
}

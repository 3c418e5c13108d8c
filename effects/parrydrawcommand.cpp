// Parry: a grey X of four thick strokes from one centre, turned by the pan,
// growing by 10 pixels of reach while it fades out.
#include "parrydrawcommand.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <cmath>

DrawResult ParryDrawCommand::draw(QPainter &painter)
{
    const QRect viewport = painter.viewport();
    const int32_t cx = viewport.width() / 2;
    const int32_t cy = viewport.height() / 2;

    const float t = life / 100.0f;
    const float g = (1.0f - t) * 10.0f;
    const float f = pan / 255.0f - 0.5f;

    // On the diagonal by the pan; the song row scatters it up or down by up to 100 pixels.
    const int32_t x = static_cast<int32_t>(cx + cx * f);
    const int32_t y = static_cast<int32_t>(std::sin(static_cast<double>(songRow)) * 100.0
                                           + static_cast<double>(f * cy + cy));

    // One open subpath out to each corner and back: it encloses no area, so
    // whatever brush the painter holds draws nothing.
    const float reach = size + g;
    QPainterPath path;
    path.lineTo(-reach, -reach);
    path.lineTo(0, 0);
    path.lineTo(-reach, reach);
    path.lineTo(0, 0);
    path.lineTo(reach, reach);
    path.lineTo(0, 0);
    path.lineTo(reach, -reach);
    path.lineTo(0, 0);

    // Starts invalid (QColor::invalidate() is private in Qt 5); setH* makes it valid.
    QColor colour;
    colour.setHsv(0, saturation, 3 * size, 255);
    const QPen pen(QBrush(colour, Qt::SolidPattern), reach, Qt::SolidLine, Qt::SquareCap,
                   Qt::BevelJoin);

    painter.translate(QPointF(x, y));
    painter.rotate(pan);
    painter.setPen(pen);
    painter.setOpacity(t);
    painter.drawPath(path);
    painter.setOpacity(1.0);
    painter.resetTransform();

    const int32_t current = life--;
    DrawResult result;
    result.keep = current > 0;
    return result;
}

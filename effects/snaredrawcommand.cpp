// Snare: the whole frame tinted red, fading out by 1/60 per frame.
#include "snaredrawcommand.h"

#include <QColor>
#include <QPainter>

DrawResult SnareDrawCommand::draw(QPainter &painter)
{
    painter.setOpacity(life / 60.0f);
    painter.fillRect(painter.viewport(), QColor(Qt::red));
    painter.setOpacity(1.0);

    const int32_t current = life--;
    DrawResult result;
    result.keep = current > 0;
    return result;
}

// Snare: the whole frame tinted red, fading out by 1/60 per frame. The gentle
// glow, a pale rose from an eighth, changes no pixel's luminance or redness
// by a flash's worth, not even where two snares overlap.
#include "snaredrawcommand.h"

#include <QPainter>

SnareFill SnareDrawCommand::fill() const
{
    if (gentle != 0)
        return SnareFill{QColor(255, 215, 200), life / 160.0f};
    return SnareFill{QColor(Qt::red), life / 60.0f};
}

DrawResult SnareDrawCommand::draw(QPainter &painter)
{
    const SnareFill flash = fill();
    painter.setOpacity(flash.opacity);
    painter.fillRect(painter.viewport(), flash.colour);
    painter.setOpacity(1.0);

    const int32_t current = life--;
    DrawResult result;
    result.keep = current > 0;
    return result;
}

// Snare: the whole frame tinted red, fading out by 1/60 per frame. The gentle
// glow, a pale rose from an eighth, changes no pixel's luminance or redness
// by a flash's worth, not even where two snares overlap.
#include "snaredrawcommand.h"

#include <QColor>
#include <QPainter>

DrawResult SnareDrawCommand::draw(QPainter &painter)
{
    if (gentle != 0) {
        painter.setOpacity(life / 160.0f);
        painter.fillRect(painter.viewport(), QColor(255, 215, 200));
    } else {
        painter.setOpacity(life / 60.0f);
        painter.fillRect(painter.viewport(), QColor(Qt::red));
    }
    painter.setOpacity(1.0);

    const int32_t current = life--;
    DrawResult result;
    result.keep = current > 0;
    return result;
}

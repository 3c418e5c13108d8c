// Kill: a red skull sinking onto the frame's diagonal, turned by the pan,
// growing and fading out. From the song's last order position on it is the
// closing blackout instead: black frame, pass ended, never expires.
#include "killdrawcommand.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QString>

DrawResult KillDrawCommand::draw(QPainter &painter)
{
    DrawResult result;
    const QRect viewport = painter.viewport();

    if (songPosition > 8) {
        painter.fillRect(viewport, QColor(Qt::black));
        result.stopPass = true;
        return result;
    }

    const float opacity = life / 100.0f;
    const float t = pan / 255.0f - 0.5f;
    const float growth = (1.0f - opacity) * 10.0f;

    const int32_t hw = viewport.width() / 2;
    const int32_t hh = viewport.height() / 2;
    const int32_t x = static_cast<int32_t>(hw + hw * t);
    const int32_t y = static_cast<int32_t>((t * hh + hh) - life);

    QColor colour;
    colour.setHsv(0, 255, 3 * size, 255);
    const QPen pen(QBrush(colour, Qt::SolidPattern), size + growth, Qt::SolidLine,
                   Qt::SquareCap, Qt::BevelJoin);

    // The icon face maps nothing outside the BMP, so the skull comes from the
    // compiled-in symbol subset listed after it; a machine's own fallback
    // fonts often have no skull at all and would show an empty box.
    QFont font;
    font.setFamily(QStringLiteral("Font Awesome 5 Free"));
    font.setFamilies({QStringLiteral("Font Awesome 5 Free"), QStringLiteral("Noto Sans Symbols2")});
    font.setPixelSize(static_cast<int>(growth + 200.0f));

    painter.translate(QPointF(x, y));
    painter.rotate(pan);
    painter.setFont(font);
    painter.setPen(pen);
    painter.setOpacity(opacity);
    painter.drawText(QPointF(0, 0), QStringLiteral("🕱"));
    painter.setOpacity(1.0);
    painter.resetTransform();

    const int32_t current = life--;
    result.keep = current > 0;
    return result;
}

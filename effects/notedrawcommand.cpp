// Note: a white musical-note glyph that rises one pixel per frame and fades,
// swaying on a sine; its column follows the pitch, 50 pixels per semitone.
// Uses the application's default font, which must carry U+2669..U+266C.
#include "notedrawcommand.h"

#include <QBrush>
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QString>
#include <cmath>

DrawResult NoteDrawCommand::draw(QPainter &painter)
{
    DrawResult result;

    // Notes of the song's ending are dropped unseen.
    if (songPosition > 8) {
        result.keep = false;
        return result;
    }

    const QRect viewport = painter.viewport();
    const int32_t hw = viewport.width() / 2;
    const int32_t hh = viewport.height() / 2;

    const float opacity = life / 100.0f;
    const double s = std::sin(static_cast<double>(songRow));
    const float y = static_cast<float>(static_cast<double>(hh + life) - 50.0 * s);
    const float x = static_cast<float>(
        ((hw - 50 * (note - 66)) - 50.0 * s + 200.0)
        + 20.0 * std::sin(static_cast<double>(y / 50.0f)));

    static const char *const glyphs[4] = {"♪", "♩", "♫", "♬"};
    const QString glyph = QString::fromUtf8(glyphs[songRow % 4]);

    QFont font;
    font.setPixelSize(100);
    font.setWeight(QFont::Bold);
    const QPen pen(QBrush(Qt::white, Qt::SolidPattern), 20.0, Qt::SolidLine, Qt::SquareCap,
                   Qt::BevelJoin);

    painter.setOpacity(opacity);
    painter.setPen(pen);
    painter.setFont(font);
    painter.drawText(QPointF(std::trunc(x), std::trunc(y)), glyph);
    painter.setOpacity(1.0);

    const int32_t current = life--;
    result.keep = current > 0;
    return result;
}

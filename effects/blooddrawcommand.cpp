// Finale: after a wait, dark red stripes run down from the top edge, one per
// 30-pixel column, each at its own speed; then a two-line title fades in and
// out over them, then the credits fade in and stay. Only the first blood
// effect spawned plays it; later ones remove themselves at once.
#include "blooddrawcommand.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

DrawResult BloodDrawCommand::draw(QPainter &painter)
{
    DrawResult result;
    if (duplicate != 0) {
        result.keep = false;
        return result;
    }

    const int32_t before = age++;
    if (before < delay)
        return result;
    const int32_t n = age - delay;

    const QRect viewport = painter.viewport();
    const int32_t left = viewport.left();
    const int32_t top = viewport.top();
    const int32_t right = viewport.right();
    const int32_t bottom = viewport.bottom();
    const int32_t width = right - left + 1;

    // Stripes are not stored: reseeding rebuilds the same columns every
    // frame, so they change only through n. The generator is one for the
    // whole process and the bands of a frame draw at once, so each takes its
    // values under a lock and paints after.
    const int32_t count = std::max(width / 30, 0);
    std::vector<int32_t> draws(size_t(3 * count));
    {
        static std::mutex generator;
        const std::lock_guard<std::mutex> lock(generator);
        srand(0);
        for (int32_t &value : draws)
            value = rand();
    }
    const QColor base(Qt::red);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t x = 30 * i;
        const int32_t headStart = draws[size_t(3 * i)];
        const int32_t pace = draws[size_t(3 * i + 1)];
        const int32_t shade = draws[size_t(3 * i + 2)];
        const int32_t speed = (pace % 5) + 1;
        const int32_t length = ((-headStart) % 200) + (speed * n) / 5;
        painter.fillRect(QRect(QPoint(x, 0), QPoint(x + 29, length - 1)),
                         base.darker(100 + (shade % 50)));
    }

    if (age > titleStart) {
        const int32_t k = age - titleStart;
        const float opacity = (std::min(k, 100) - std::max(0, k - 300)) / 100.0f;

        QFont upper;
        upper.setFamily(QStringLiteral("Liberation Sans"));
        upper.setPixelSize(30);
        QFont lower;
        lower.setFamily(QStringLiteral("Liberation Sans"));
        lower.setPixelSize(70);
        lower.setWeight(QFont::Bold);

        painter.setOpacity(opacity);
        painter.setFont(upper);
        painter.setPen(QColor(Qt::white));
        painter.drawText(QRect(QPoint(left, top - 30), QPoint(right, bottom - 30)),
                         Qt::AlignCenter, QStringLiteral("YOU HAVE BEEN WATCHING"));
        painter.setFont(lower);
        painter.drawText(QRect(QPoint(left, top + 30), QPoint(right, bottom + 30)),
                         Qt::AlignCenter, QStringLiteral("KARNVELDT"));
        painter.setOpacity(1.0);
    }

    if (age > titleStart + 400) {
        const int32_t k2 = age - (titleStart + 400);
        const float opacity = std::min(k2, 100) / 100.0f;

        // The columns meet the centre line with a 20-pixel gap between them.
        const int32_t hw = width / 2;
        const int32_t captionsRight = right - hw - 10;
        const int32_t namesLeft = left + hw + 10;

        QFont caption;
        caption.setFamily(QStringLiteral("Liberation Sans"));
        caption.setPixelSize(40);
        caption.setWeight(QFont::Bold);
        QFont name;
        name.setFamily(QStringLiteral("Liberation Sans"));
        name.setPixelSize(40);

        painter.setOpacity(opacity);
        painter.setFont(caption);
        painter.setPen(QColor(Qt::white));
        painter.drawText(QRect(QPoint(left, top - 20), QPoint(captionsRight, bottom - 20)),
                         Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("CODE BY"));
        painter.drawText(QRect(QPoint(left, top + 20), QPoint(captionsRight, bottom + 20)),
                         Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("MUSIC BY"));
        painter.setFont(name);
        painter.drawText(QRect(QPoint(namesLeft, top - 20), QPoint(right, bottom - 20)),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("QUILMO"));
        painter.drawText(QRect(QPoint(namesLeft, top + 20), QPoint(right, bottom + 20)),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TAVRIK"));
        painter.setOpacity(1.0);
    }

    return result;
}

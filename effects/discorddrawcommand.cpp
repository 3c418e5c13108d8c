// Kick: no paint at all, only a row-shift amount that falls 3, 2, 1, 0 while
// the countdown runs. Kicks before song row 1000 are dropped at once, so the
// picture only shakes in the song's ending.
// An amount that is no multiple of 3 moves rows by part of a pixel, which
// swaps their colour channels: red turns green or blue and back, a flash. The
// gentle kick shakes by 3 (whole pixels, 4 of them) for as long instead, and
// not at all on a picture under 64 pixels wide, where the shake of a doubled
// kick (8 pixels) would be over an eighth of it.
#include "discorddrawcommand.h"

#include <QPainter>

DrawResult DiscordDrawCommand::draw(QPainter &painter)
{
    DrawResult result;
    if (songRow <= 999) {
        result.keep = false;
        return result;
    }

    // Unlike the other effects, the amount comes from the decremented value.
    const int32_t current = life--;
    if (current > 30)
        return result;

    // Float truncation goes toward zero, so the last call (-2/15) gives 0.
    result.distortion = static_cast<int32_t>(((current - 1) / 30.0f) * 4.0f);
    if (gentle != 0 && result.distortion > 0)
        result.distortion = painter.viewport().width() >= 64 ? 3 : 0;
    result.keep = current > 0;
    return result;
}

// Kick: no paint at all, only a row-shift amount that falls 3, 2, 1, 0 while
// the countdown runs. Kicks before song row 1000 are dropped at once, so the
// picture only shakes in the song's ending.
#include "discorddrawcommand.h"

DrawResult DiscordDrawCommand::draw(QPainter &)
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
    result.keep = current > 0;
    return result;
}

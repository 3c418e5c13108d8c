// Paints nothing: hands the frame a falling row-shift amount (only late in the song).
#pragma once

#include "drawcommand.h"

class DiscordDrawCommand : public DrawCommand {
public:
    DiscordDrawCommand(int32_t songRow, int32_t life)
        : songRow(songRow), life(life) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new DiscordDrawCommand(*this); }

    int32_t songRow;
    int32_t life;
};

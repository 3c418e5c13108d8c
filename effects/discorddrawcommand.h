// Paints nothing: hands the frame a falling row-shift amount (only late in the song).
#pragma once

#include "drawcommand.h"

class DiscordDrawCommand : public DrawCommand {
public:
    DiscordDrawCommand(int32_t songRow, int32_t life, int32_t gentle = 0)
        : songRow(songRow), life(life), gentle(gentle) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new DiscordDrawCommand(*this); }

    int32_t songRow;
    int32_t life;
    int32_t gentle;  // nonzero: shifts by whole pixels only
};

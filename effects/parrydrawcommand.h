// Grey X-shaped cross, rotated by the pan, growing slightly and fading out: a parry.
#pragma once

#include "drawcommand.h"

class ParryDrawCommand : public DrawCommand {
public:
    ParryDrawCommand(int32_t pan, int32_t size, int32_t saturation, int32_t songRow, int32_t life)
        : pan(pan), size(size), saturation(saturation), songRow(songRow), life(life) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new ParryDrawCommand(*this); }

    int32_t pan;
    int32_t size;
    int32_t saturation;
    int32_t songRow;
    int32_t life;
};

// Grey ring outline, growing and fading out: a missed blow.
#pragma once

#include "drawcommand.h"

class MissDrawCommand : public DrawCommand {
public:
    MissDrawCommand(int32_t pan, int32_t size, int32_t life)
        : pan(pan), size(size), life(life) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new MissDrawCommand(*this); }

    int32_t pan;
    int32_t size;
    int32_t life;
};

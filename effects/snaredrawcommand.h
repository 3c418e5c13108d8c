// Translucent red flash over the whole frame, fading out.
#pragma once

#include "drawcommand.h"

class SnareDrawCommand : public DrawCommand {
public:
    SnareDrawCommand(int32_t life)
        : life(life) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new SnareDrawCommand(*this); }

    int32_t life;
};

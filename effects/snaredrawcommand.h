// Translucent red flash over the whole frame, fading out; gently, a pale
// rose glow instead.
#pragma once

#include "drawcommand.h"

class SnareDrawCommand : public DrawCommand {
public:
    SnareDrawCommand(int32_t life, int32_t gentle = 0)
        : life(life), gentle(gentle) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new SnareDrawCommand(*this); }

    int32_t life;
    int32_t gentle;  // nonzero: the glow that does not flash
};

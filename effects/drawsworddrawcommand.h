// White slanted band across the frame, fading in and out: a sword stroke.
#pragma once

#include "drawcommand.h"

class DrawSwordDrawCommand : public DrawCommand {
public:
    DrawSwordDrawCommand(int32_t pan, int32_t delay, int32_t life)
        : pan(pan), delay(delay), life(life) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new DrawSwordDrawCommand(*this); }

    int32_t pan;
    int32_t delay;
    int32_t life;
};

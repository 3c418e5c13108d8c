// White slanted band across the frame, fading in and out: a sword stroke.
#pragma once

#include "drawcommand.h"

class DrawSwordDrawCommand : public DrawCommand {
public:
    DrawSwordDrawCommand(int32_t pan, int32_t delay, int32_t life)
        : pan(pan), delay(delay), life(life) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new DrawSwordDrawCommand(*this); }

    // Each stroke filled as one path, as first drawn, rather than in strips
    // of stripRows rows: slower at large sizes, and its edge pixels may
    // differ from the strips' by a few levels. For the whole process.
    static bool inOnePiece;
    static constexpr int32_t stripRows = 64;

    int32_t pan;
    int32_t delay;
    int32_t life;
};

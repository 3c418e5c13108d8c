// Translucent red flash over the whole frame, fading out.
#pragma once

#include "drawcommand.h"

class SnareDrawCommand : public DrawCommand {
public:
    SnareDrawCommand(int32_t life)
        : life(life) {}
    DrawResult draw(QPainter &painter) override;

    int32_t life;
};

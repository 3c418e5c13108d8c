// Grey ring outline, growing and fading out: a missed blow.
#pragma once

#include "drawcommand.h"

class MissDrawCommand : public DrawCommand {
public:
    MissDrawCommand(int32_t pan, int32_t size, int32_t life)
        : pan(pan), size(size), life(life) {}
    DrawResult draw(QPainter &painter) override;

    int32_t pan;
    int32_t size;
    int32_t life;
};

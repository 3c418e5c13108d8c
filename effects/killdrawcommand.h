// A red skull sinking onto the diagonal; in the song's ending a lasting blackout that ends the pass.
#pragma once

#include "drawcommand.h"

class KillDrawCommand : public DrawCommand {
public:
    KillDrawCommand(int32_t pan, int32_t size, int32_t songPosition, int32_t life)
        : pan(pan), size(size), songPosition(songPosition), life(life) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new KillDrawCommand(*this); }

    int32_t pan;
    int32_t size;
    int32_t songPosition;
    int32_t life;
};

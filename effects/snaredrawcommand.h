// Translucent red flash over the whole frame, fading out; gently, a pale
// rose glow instead.
#pragma once

#include "drawcommand.h"

#include <QColor>

// A fill of one colour over the whole frame, at the painter's opacity.
struct SnareFill {
    QColor colour;
    qreal opacity;
};

class SnareDrawCommand : public DrawCommand {
public:
    SnareDrawCommand(int32_t life, int32_t gentle = 0)
        : life(life), gentle(gentle) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new SnareDrawCommand(*this); }
    // What the next draw puts on the frame: all it paints is this fill.
    SnareFill fill() const;

    int32_t life;
    int32_t gentle;  // nonzero: the glow that does not flash
};

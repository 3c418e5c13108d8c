// The interface of every visual effect: a short-lived object that paints one
// animation step per call and says whether it stays alive.
// Effects hold only integers; they own no resources and read no clock.
#pragma once

#include <cstdint>

class QPainter;

struct DrawResult {
    int32_t distortion = 0;  // row-shift amount added to this frame
    bool keep = true;        // false: this call was the effect's last
    bool stopPass = false;   // true: the frame's effect pass ends here
};

class DrawCommand {
public:
    virtual ~DrawCommand() = default;
    virtual DrawResult draw(QPainter &painter) = 0;
    // A new effect in the same state: a frame drawn in bands draws a copy of
    // each effect's state before its step in every band, so that the effect
    // itself advances once.
    virtual DrawCommand *clone() const = 0;
};

// Lets every live effect draw one step, retires the finished ones, and sums
// the distortion the effects asked for, which the frame is shaken by.
#pragma once

#include "effectset.h"

class FrameCanvas;
class QPainter;

// Returns the frame's summed distortion.
int runEffectPass(QPainter &painter, EffectSet &effects);

// The effect pass on a frame canvas: the same visits, deletions and sum as on
// a painter, with the pixels of the painter version.
int runEffectPass(FrameCanvas &canvas, EffectSet &effects);

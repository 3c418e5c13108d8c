// Lets every live effect draw one step, retires the finished ones, and shakes
// the finished frame by the distortion the effects asked for.
#pragma once

#include "effectset.h"

class FrameCanvas;
class QImage;
class QPainter;

// Returns the frame's summed distortion.
int runEffectPass(QPainter &painter, EffectSet &effects);

// Shifts bands 0, 2, 4... of (amount + 1) rows each to the left by 4 * amount
// bytes; the moved rows' last bytes keep what they held. Amounts of 0 or less
// change nothing.
void distortRows(QImage &image, int amount);

// The effect pass on a frame canvas: the same visits, deletions and sum as on
// a painter, with the pixels of the painter version.
int runEffectPass(FrameCanvas &canvas, EffectSet &effects);

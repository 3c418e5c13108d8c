// The straightforward frame, which the show's fast one must match pixel for
// pixel: one painter draws it on an RGB888 image from start to end, and then
// its rows are shaken. For the tests and the benchmark only, never the show.
#pragma once

#include <xmp.h>

class QImage;
class Scene;

// Shifts bands 0, 2, 4... of (amount + 1) rows each to the left by 4 * amount
// bytes; the moved rows' last bytes keep what they held. Amounts of 0 or less
// change nothing.
void distortRows(QImage &image, int amount);

// The cue step, the effect pass and the distortion of the scene's frame,
// drawn on image: the effects advance as in Scene::renderFrame.
void renderFrameReference(Scene &scene, QImage &image, const xmp_frame_info &info);

// The scene's composed frame written onto the image the display reads: where
// the image keeps the frame before, only what changed is written, and what
// is sent is one rectangle around it all, so that the display takes the
// frame in one request and no one looking at it sees part of a frame.
#pragma once

#include "changedrows.h"

#include <QImage>
#include <QRect>
#include <vector>

class Scene;

class FrameWriter {
public:
    explicit FrameWriter(Scene &scene) : scene(scene) {}

    // Onto target; with whole, every pixel. Returns the rectangle changed, in
    // device pixels scaled down by ratio (empty where the frame could not be
    // written). *lost: target is not the image written last, so it held no
    // frame of ours and was written whole.
    QRect write(QImage &target, bool whole, qreal ratio, bool *lost);

private:
    QRect changedRectangle(qreal ratio) const;

    Scene &scene;
    std::vector<RowSpan> changedRows;       // by the last frame written, in device pixels
    const uchar *lastTargetBits = nullptr;  // the image the last frame was written onto
};

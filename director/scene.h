// Everything the show keeps from one frame to the next (live effects and the
// channel watchers) and the steps that turn a frame record into a picture.
// Knows nothing of windows or audio, so a headless renderer can drive it.
#pragma once

#include "channelwatcher.h"
#include "effectset.h"

#include <xmp.h>

class QImage;

class Scene {
public:
    // Background, cues, effects and distortion for one frame, drawn on image.
    void renderFrame(QImage &image, const xmp_frame_info &info);

    EffectSet effects;
    ChannelWatcher watchers[5] = {{0}, {1}, {2}, {3}, {6}};
};

// What an animated WebP holds, read from its RIFF chunks: ffprobe of this
// Debian release reads only still WebP images, so the capture reads its
// animations back itself before it calls one made.
#pragma once

#include <QString>

struct AnimatedWebp {
    QString problem;         // empty when the file is whole and animated
    qint64 frames = 0;       // frames stored: the encoder merges repeats into one longer frame
    qint64 milliseconds = 0; // all frames' durations together
    QString codec;           // "VP8" (lossy) or "VP8L" (lossless) of the first frame
};

AnimatedWebp readAnimatedWebp(const QString &path);

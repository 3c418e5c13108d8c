// Where the frames go under --flash-check: into the flash analysis, one
// video frame after another, instead of into files.
#pragma once

#include "flashanalysis.h"
#include "framesinks.h"

#include <cstdio>

class FlashCheckSink : public FrameSink {
public:
    FlashCheckSink(QSize size, int fps);
    bool write(qint64 videoFrame, const QImage &image) override;
    bool finish() override { return true; }
    QString error() const override { return QString(); }

    // Prints every failing stretch and the summary line; true when none failed.
    bool report(std::FILE *stream) const;

private:
    QSize size;
    int fps;
    QSize grid;
    FlashAnalysis analysis;
    qint64 firstFrame = -1;
    qint64 lastFrame = -1;
};

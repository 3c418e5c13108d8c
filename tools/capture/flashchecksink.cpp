#include "flashchecksink.h"

FlashCheckSink::FlashCheckSink(QSize size, int fps)
    : size(size), fps(fps), grid(flashGrid(size)), analysis(grid, fps)
{
}

bool FlashCheckSink::write(qint64 videoFrame, const QImage &image)
{
    if (firstFrame < 0)
        firstFrame = videoFrame;
    lastFrame = videoFrame;
    analysis.add(measureFlashCells(image, grid), double(videoFrame) / fps);
    return true;
}

bool FlashCheckSink::report(std::FILE *stream) const
{
    const std::vector<FlashStretch> stretches = analysis.stretches();
    for (const FlashStretch &stretch : stretches)
        std::fprintf(stream, "%s\n", qPrintable(describeFlashStretch(stretch)));
    std::fprintf(stream, "%s\n",
                 qPrintable(flashCheckSummary(stretches, analysis.frames(), double(firstFrame) / fps,
                                              double(lastFrame + 1) / fps, size, fps)));
    std::fflush(stream);
    return stretches.empty();
}

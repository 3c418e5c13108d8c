#include "framebands.h"

#include <QPaintEngine>
#include <QRegion>
#include <algorithm>

namespace {

// Bands per thread: more than one evens out bands that cost more than others,
// and lets the threads that are running take over from one kept waiting.
constexpr int bandsPerThread = 2;
// Every band draws its own copy of every effect: a band of fewer pixels than
// a quarter of a full-HD frame saves less in painting than its copies cost.
constexpr qint64 leastBandPixels = 1920 * 1080 / 4;

} // namespace

FrameBands::FrameBands()
    : workers(std::make_unique<BandWorkers>(1))
{
}

FrameBands::~FrameBands() = default;

void FrameBands::setThreads(int threads)
{
    if (threads != workers->threads())
        workers = std::make_unique<BandWorkers>(threads);
}

// Where there are more bands than threads, as many for every thread, so that
// none is left with more.
int FrameBands::countFor(QSize size) const
{
    const int threads = workers->threads();
    if (threads == 1)
        return 1;
    const qint64 worth = qint64(size.width()) * size.height() / leastBandPixels;
    qint64 bands = std::min<qint64>(worth, threads * bandsPerThread);
    if (bands > threads)
        bands -= bands % threads;
    return int(std::clamp<qint64>(bands, 1, size.height()));
}

void FrameBands::paintOn(QImage &pixels, int bands)
{
    this->pixels = &pixels;
    bandsCut = bands;
    if (bands == 1 || int(views.size()) == bands)
        return;
    views.clear();
    const int width = pixels.width();
    const int height = pixels.height();
    for (int band = 0; band < bands; ++band) {
        views.emplace_back(pixels.bits(), width, height, pixels.bytesPerLine(), QImage::Format_RGBX8888);
        // The engine's own clip, not the painter's: the rasterizer
        // then works out only the band's rows of every shape.
        const BandRows rows = rowsOf(band, bands, height);
        views.back().paintEngine()->setSystemClip(QRegion(0, rows.first, width, rows.end - rows.first));
    }
}

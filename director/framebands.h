// A frame cut into bands of rows that the band workers paint side by side:
// how many bands a frame gets, which rows each holds, and for each an image
// on the frame's pixels whose paint engine paints only those rows.
#pragma once

#include "bandworkers.h"

#include <QImage>
#include <QSize>
#include <functional>
#include <memory>
#include <vector>

// Rows [first, end) of a frame.
struct BandRows {
    int first = 0;
    int end = 0;
};

class FrameBands {
public:
    FrameBands();
    ~FrameBands();

    // The threads the bands are shared out to, the calling one among them;
    // 1, the default, runs them all on the calling thread. Kept until changed.
    void setThreads(int threads);

    // How many bands a frame of this size is cut into.
    int countFor(QSize size) const;
    static BandRows rowsOf(int band, int bands, int height)
    {
        return BandRows{height * band / bands, height * (band + 1) / bands};
    }

    // Band painters paint on pixels, cut into `bands` bands, from now on.
    // The images are kept while the pixels and the count stay.
    void paintOn(QImage &pixels, int bands);
    // The pixels were made anew.
    void forgetPixels() { views.clear(); }
    // The image band's painter paints on, as paintOn cut it.
    QImage &imageOf(int band) { return bandsCut == 1 ? *pixels : views[size_t(band)]; }

    // Runs job(band) once for every band, on every thread.
    void run(int bands, const std::function<void(int band)> &job) { workers->run(bands, job); }

private:
    std::unique_ptr<BandWorkers> workers;
    QImage *pixels = nullptr;
    int bandsCut = 1;
    std::vector<QImage> views;  // one per band, when there are several
};

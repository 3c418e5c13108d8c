// The frame the fast effect pass paints on, and how it reaches the screen.
#pragma once

#include "bandworkers.h"
#include "blankcanvas.h"
#include "drawcommand.h"

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRgb>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

class SnareDrawCommand;

// A full-frame translucent fill as it acts on one opaque pixel, channel by
// channel: v -> add + v * keep / 255, rounded as Qt's raster engine rounds.
struct FrameTint {
    uint32_t add;   // the fill's premultiplied colour, one byte per channel, as the pixel lies in memory
    uint32_t keep;  // 255 - the fill's alpha
};

// The frame while the fast effect pass paints it. It paints what the RGB888
// frame would show, exactly: Qt blends an RGBX8888 image through the same
// generic code as an RGB888 one (RGB32 has text blending of its own, which
// rounds differently), one pixel to a word, so the frame is kept in that
// format. The pass itself only takes the effects' steps, on a canvas that
// draws nothing, and keeps the frame's layers: snare flashes as tints, every
// other effect that paints as a copy of its state before its step. The
// layers are painted in present (or before it, in paintLayers), on every
// thread given, each in its own band of rows: the background, the tints, the
// effects' copies drawn again on an engine clipped to the band; present then
// applies the tints left, the distortion and the conversion. A
// frame whose layers end in a cover of one opaque colour is that colour,
// without what lies under it; one without effect layers is never written.
class FrameCanvas {
public:
    FrameCanvas();
    ~FrameCanvas();

    // The threads a frame is composed on, the calling one among them; 1, the
    // default, composes it on the calling thread alone. The workers are made
    // here and kept.
    void setThreads(int threads);
    int threads() const;

    // Starts a frame of the given size, all of the background colour.
    void begin(QSize size, QRgb background);
    // One effect's step in the frame's pass: the effect advances here, once,
    // and what it paints is kept as a layer.
    DrawResult draw(DrawCommand &effect);
    // Ends the frame: its layers, and the row-band distortion of `distortion`,
    // written onto target, of the size given to begin: RGB32, ARGB32,
    // ARGB32_Premultiplied or RGB888 directly, any other format through an
    // RGB32 copy. False, with target untouched, when there is no frame to
    // write or nowhere to write it: a null target, one of another size, or
    // pixels (or a copy) that could not be allocated.
    bool present(QImage &target, int distortion);
    // Paints the frame's layers into the canvas's own pixels, so that present
    // then only writes them onto the target: a target the display still reads
    // need not be waited for while the layers are painted. Optional.
    void paintLayers();

private:
    // One layer of the frame, in painting order.
    struct Layer {
        FrameTint tint{};                     // when there is no effect
        std::unique_ptr<DrawCommand> effect;  // as it was before its step
        bool covers = false;                  // its drawing is one opaque colour over the whole frame
        uint32_t coverColour = 0;             // RGBX8888 word
        // The rows its drawing can reach; a band outside them only takes the
        // pen, brush and font it leaves on the painter.
        int top = 0;
        int bottom = std::numeric_limits<int>::max();
        QPen pen;
        QBrush brush;
        QFont font;
    };
    struct Output;
    // Which layers show: from firstLayer on, over a background of base.
    struct Plan {
        size_t firstLayer = 0;
        uint32_t base = 0;
        bool effectsShow = false;  // else the frame is base alone
    };

    DrawResult drawSnare(SnareDrawCommand &snare);
    void addLayer(Layer layer);
    Plan planLayers() const;
    void prepareBands(int bands);
    std::vector<FrameTint> paintBand(int band, int bands, const Plan &plan);
    void presentBand(int band, int bands, const std::vector<FrameTint> &pending, const Output &output);
    int bandsFor(QSize size) const;

    QImage pixels;                       // RGBX8888, reused while the size stays
    std::vector<QImage> bandViews;       // one per band, each an image on pixels' memory
    BlankCanvas blank;                   // the pass's effects take their steps on it
    std::unique_ptr<QPainter> passPainter;
    bool flat = true;                    // no effect layer yet: all pixels are flatColour
    uint32_t flatColour = 0;             // RGBX8888 word
    std::vector<Layer> layers;           // from the first effect layer on
    bool painted = false;                // paintLayers has run since begin
    std::vector<std::vector<FrameTint>> bandTints;  // what paintLayers left to apply, by band
    QImage probe;                        // every value in every channel, to read a snare off
    std::unique_ptr<BandWorkers> workers;
};

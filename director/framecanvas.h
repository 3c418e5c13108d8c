// The frame the fast effect pass paints on, and how it reaches the screen.
// The pass only takes the effects' steps, on a canvas that draws nothing,
// and keeps the frame's layers; the layers are painted afterwards, in bands
// of rows (framebands.h), only in the rows that may change (changedrows.h),
// and written onto the target (frameoutput.h).
#pragma once

#include "blankcanvas.h"
#include "changedrows.h"
#include "drawcommand.h"
#include "framebands.h"
#include "rowkernels.h"

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRgb>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

class SnareDrawCommand;

class FrameCanvas {
public:
    FrameCanvas();
    ~FrameCanvas();

    // The threads a frame is composed on, the calling one among them; 1, the
    // default, composes it on the calling thread alone. The workers are made
    // here and kept.
    void setThreads(int threads) { bands.setThreads(threads); }

    // Every frame presented onto one image that keeps what it was given last
    // (a window's surface): a frame then paints and writes only the rows
    // that may differ from the frame before it. Off by default.
    void setKeptTarget(bool kept);
    // The kept image is another from now on, or lost its pixels: the next
    // frame is painted whole.
    void forgetTarget() { shown.reset(); }

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
    // With changedRows, an RGB32 or ARGB32 target's pixels that already hold
    // what the frame shows are left as they are, and changedRows gets, for
    // every row, the columns outside which it was left alone (none where it
    // was left alone; where it changed on RGB32, and where it was written on
    // other formats). A window need only send those on.
    bool present(QImage &target, int distortion, std::vector<RowSpan> *changedRows = nullptr);
    // Paints the frame's layers into the canvas's own pixels, so that present
    // (given the same distortion) then only writes them onto the target: a
    // target the display still reads need not be waited for while the layers
    // are painted. Optional.
    void paintLayers(int distortion);

private:
    // One layer of the frame, in painting order: a snare's flash as a tint,
    // or a copy of another effect as it was before its step.
    struct Layer {
        FrameTint tint{};                     // when there is no effect
        std::unique_ptr<DrawCommand> effect;
        bool covers = false;                  // its drawing is one opaque colour over the whole frame
        uint32_t coverColour = 0;             // RGBX8888 word
        // The rows and columns its drawing can reach; a band outside them
        // only takes the pen, brush and font it leaves on the painter.
        int top = 0;
        int bottom = std::numeric_limits<int>::max();
        int left = 0;
        int right = std::numeric_limits<int>::max();
        QPen pen;
        QBrush brush;
        QFont font;
    };
    // Which layers show: from firstLayer on, over a background of one colour.
    // A frame whose layers end in a cover is that colour and the tints after
    // it, without what lies under it.
    struct Plan {
        size_t firstLayer = 0;
        uint32_t background = 0;   // RGBX8888 word
        bool effectsShow = false;  // else the frame is the background through the tints alone
    };
    // The frame being made, from begin to present.
    struct Making {
        // Every pixel until the first effect layer, through the tints so
        // far: a frame without effect layers is never painted.
        uint32_t background = 0;
        std::vector<Layer> layers;       // from the first effect layer on
        FrameRows rows;                  // for a kept target, its pass's calls are listed as they are drawn
        RowsToPaint toPaint;
        std::optional<int> paintedWith;  // the distortion paintLayers painted it for
        std::vector<std::vector<FrameTint>> bandTints;  // what paintLayers left to apply, by band
    };

    DrawResult drawSnare(SnareDrawCommand &snare);
    Plan planLayers() const;
    void chooseRowsToPaint(const Plan &plan, int distortion);
    std::vector<FrameTint> paintBand(int band, int count, const Plan &plan);

    // Kept as RGBX8888: Qt blends it through the same generic code as an
    // RGB888 frame (RGB32 has text blending of its own, which rounds
    // differently), one pixel to a word. Reused while the size stays.
    QImage pixels;
    FrameBands bands;
    BlankCanvas blank;  // the pass's effects take their steps on it
    std::unique_ptr<QPainter> passPainter;
    bool keptTarget = false;
    Making making;
    // All that is carried from one frame to the next: the frame the kept
    // target holds, as far as the rows the next one changes depend on it.
    std::optional<FrameRows> shown;
};

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
#include <algorithm>
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

// Columns [left, right) of one row of a frame; none when left >= right.
struct RowSpan {
    int left = 0;
    int right = 0;
    bool isEmpty() const { return left >= right; }
    // The columns of both, and any between.
    RowSpan united(RowSpan other) const
    {
        if (isEmpty())
            return other;
        if (other.isEmpty())
            return *this;
        return RowSpan{std::min(left, other.left), std::max(right, other.right)};
    }
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
// applies the tints left, the distortion and the conversion. Rows no effect
// can reach are one colour, and are written from one row worked out once: a
// frame whose layers end in a cover of one opaque colour is that colour,
// without what lies under it, and one without effect layers is never
// painted. Onto a target that keeps the frame before, only rows either
// frame's effects reach are written, unless the rest change too; and where
// both frames' passes drew the same calls in the same order, only the rows
// the calls that differ reach, the layers painted clipped to them.
class FrameCanvas {
public:
    FrameCanvas();
    ~FrameCanvas();

    // The threads a frame is composed on, the calling one among them; 1, the
    // default, composes it on the calling thread alone. The workers are made
    // here and kept.
    void setThreads(int threads);
    int threads() const;

    // Every frame presented onto one image that keeps what it was given last
    // (a window's surface): a frame then paints and writes only the rows
    // that may differ from the frame before it. Off by default.
    void setKeptTarget(bool kept);
    // The kept image is another from now on, or lost its pixels: the next
    // frame is painted whole.
    void forgetTarget() { shown.known = false; }

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
    // One layer of the frame, in painting order.
    struct Layer {
        FrameTint tint{};                     // when there is no effect
        std::unique_ptr<DrawCommand> effect;  // as it was before its step
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
    // What one step of the pass drew: a call, or a tint over everything.
    struct Drawn {
        BlankCanvas::Call call;
        bool isTint = false;
        FrameTint tint{};
        bool drawsAs(const Drawn &other) const;
    };
    // A frame as far as the rows the next frame changes on a kept target
    // depend on it: the one the target holds, or the one being made (for a
    // kept target, its pass's calls are listed as they are drawn).
    struct Shown {
        bool known = false;
        uint32_t plainRow = 0;         // the colour of a row no effect reaches, before the distortion
        int distortion = 0;
        std::vector<RowSpan> reached;  // by row, the columns its effects could reach
        std::vector<Drawn> drawn;      // what its pass drew, in order...
        bool listed = false;           // ...when all of it could be listed
    };
    void chooseRowsToPaint(const Plan &plan, int distortion);
    bool chooseChangedRows(int distortion);
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
    int paintedDistortion = 0;
    bool keptTarget = false;
    Shown shown;                         // what the kept target holds
    Shown composing;                     // the frame being made, once it is presented
    std::vector<RowSpan> rowsToPaint;    // by row, where the frame may differ from the kept target
    bool allRowsToPaint = true;
    std::vector<std::vector<FrameTint>> bandTints;  // what paintLayers left to apply, by band
    QImage probe;                        // every value in every channel, to read a snare off
    std::unique_ptr<BandWorkers> workers;
};

// The frame the fast effect pass paints on, and how it reaches the screen.
#pragma once

#include "blankcanvas.h"
#include "drawcommand.h"

#include <QImage>
#include <QPainter>
#include <QRgb>
#include <cstdint>
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
// format. Until an effect needs its pixels the frame stays one flat colour,
// never written, and snare flashes wait as tints to be applied in one pass
// with the next effect that paints or with the present.
class FrameCanvas {
public:
    FrameCanvas();
    ~FrameCanvas();

    // Starts a frame of the given size, all of the background colour.
    void begin(QSize size, QRgb background);
    // The painter on the frame's pixels, brought up to date first.
    QPainter &painter();
    // Draws a snare flash as a pending tint; falls back to painting it when
    // its drawing turns out not to be one uniform translucent fill.
    DrawResult drawSnare(SnareDrawCommand &snare);
    // Ends the frame: its pixels, the pending tints and the row-band
    // distortion of `distortion` written onto target, of the size given to
    // begin: RGB32, ARGB32, ARGB32_Premultiplied or RGB888 directly, any
    // other format through an RGB32 copy. False, with target untouched, when
    // there is no frame to write or nowhere to write it: a null target, one
    // of another size, or pixels (or a copy) that could not be allocated.
    bool present(QImage &target, int distortion);

private:
    void materialise();
    void applyTints();

    QImage pixels;                       // RGBX8888, reused while the size stays
    BlankCanvas missing;                 // painted on instead when pixels could not be allocated
    std::unique_ptr<QPainter> framePainter;
    bool flat = true;                    // pixels not yet written: all are flatColour
    uint32_t flatColour = 0;             // RGBX8888 word
    std::vector<FrameTint> pending;      // in painting order
    QImage probe;                        // every value in every channel, to read a snare off
    std::vector<uint32_t> rowScratch;    // one output row
};

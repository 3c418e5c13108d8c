// A paint device of some size with no pixels: everything painted on it is
// dropped. A step whose picture nobody sees runs its effects on one, so that
// they advance exactly as when they draw, at a fraction of the cost. It notes
// what it was handed, so that a frame can tell the effects that paint nothing
// and the ones that cover the whole of it.
#pragma once

#include <QPaintDevice>
#include <QRectF>
#include <QRgb>
#include <QSize>
#include <memory>

class BlankCanvas : public QPaintDevice {
public:
    BlankCanvas();
    ~BlankCanvas() override;

    // The size painters see as their viewport from the next begin on.
    void setSize(QSize size) { canvasSize = size; }

    QPaintEngine *paintEngine() const override;

    // What painters handed over since the last forgetSeen(): drawing calls,
    // how many of them filled the whole canvas with one opaque colour, and
    // where on the canvas the calls could have painted.
    struct Seen {
        int calls = 0;
        int covers = 0;
        QRgb coverColour = 0;  // the last cover's
        QRectF reach;          // every pixel the calls could touch lies within it...
        bool reachKnown = true;  // ...unless a call's could not be worked out
    };
    const Seen &seen() const;
    void forgetSeen();

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize canvasSize;
    Seen seenSoFar;
    std::unique_ptr<QPaintEngine> engine;
};

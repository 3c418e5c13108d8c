// A paint device of some size with no pixels: everything painted on it is
// dropped. A step whose picture nobody sees runs its effects on one, so that
// they advance exactly as when they draw, at a fraction of the cost. It notes
// what it was handed, so that a frame can tell the effects that paint nothing
// and the ones that cover the whole of it.
#pragma once

#include <QBrush>
#include <QFont>
#include <QPaintDevice>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QRgb>
#include <QSize>
#include <QTransform>
#include <memory>
#include <vector>

class BlankCanvas : public QPaintDevice {
public:
    BlankCanvas();
    ~BlankCanvas() override;

    // The size painters see as their viewport from the next begin on.
    void setSize(QSize size) { canvasSize = size; }

    QPaintEngine *paintEngine() const override;

    // One drawing call as handed over, with everything that decides its
    // pixels, when the canvas keeps a list of them.
    struct Call {
        enum Kind { Rect, AlignedRect, Ellipse, Path, Text } kind = Rect;
        QRectF rect;            // a rectangle's or an ellipse's
        QPainterPath path;
        QPointF origin;         // a text's
        QString text;
        QFont font;
        int textFlags = 0;
        QPen pen;
        QBrush brush;
        QPointF brushOrigin;
        qreal opacity = 1;
        QTransform transform;
        int compositionMode = 0;
        int renderHints = 0;
        QRectF reach;           // where it may paint, when reachKnown
        bool reachKnown = true;
    };

    // What painters handed over since the last forgetSeen(): drawing calls,
    // how many of them filled the whole canvas with one opaque colour, and
    // where on the canvas the calls could have painted; with setListing, the
    // calls themselves.
    struct Seen {
        int calls = 0;
        int covers = 0;
        QRgb coverColour = 0;  // the last cover's
        QRectF reach;          // every pixel the calls could touch lies within it...
        bool reachKnown = true;  // ...unless a call's could not be worked out
        std::vector<Call> listed;
        bool listedAll = true;  // false: a call could not be listed
    };
    // Whether calls are listed in seen(); off by default.
    void setListing(bool on);
    const Seen &seen() const;
    // The calls listed since forgetSeen(), handed over.
    std::vector<Call> takeListed();
    void forgetSeen();

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize canvasSize;
    Seen seenSoFar;
    bool listing = false;
    std::unique_ptr<QPaintEngine> engine;
};

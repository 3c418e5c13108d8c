#include "blankcanvas.h"

#include <QImage>
#include <QPainter>
#include <QPaintEngine>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <utility>

namespace {

// Claims every feature, so that the painter hands it each call as it is
// instead of working out pixels for it first, and then draws nothing but a
// note of the call.
class BlankEngine : public QPaintEngine {
public:
    BlankEngine(BlankCanvas::Seen *seen, const bool *listing)
        : QPaintEngine(QPaintEngine::AllFeatures), seen(seen), listing(listing)
    {
    }

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState &) override {}

    void drawRects(const QRect *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            noteFill(QRectF(rects[i]), Call::AlignedRect);
    }
    void drawRects(const QRectF *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            noteFill(rects[i], Call::Rect);
    }
    void drawEllipse(const QRectF &rect) override { list(noteShape(rect), Call::Ellipse, rect); }
    void drawEllipse(const QRect &rect) override { drawEllipse(QRectF(rect)); }
    void drawPath(const QPainterPath &path) override
    {
        Call *call = list(noteShape(path.controlPointRect()), Call::Path);
        if (call)
            call->path = path;
    }
    // Glyphs may reach past the font's ascent, descent and advance, but not
    // by as much again.
    void drawTextItem(const QPointF &origin, const QTextItem &text) override
    {
        const qreal height = text.ascent() + text.descent();
        Call *call = list(noteCall(QRectF(origin.x(), origin.y() - text.ascent(), text.width(), height), height),
                          Call::Text);
        if (call) {
            call->origin = origin;
            call->text = text.text();
            call->font = text.font();
            call->textFlags = int(text.renderFlags());
        }
    }
    // Calls the show's effects do not make: anywhere.
    void drawLines(const QLine *, int) override { noteAnywhere(); }
    void drawLines(const QLineF *, int) override { noteAnywhere(); }
    void drawPoints(const QPointF *, int) override { noteAnywhere(); }
    void drawPoints(const QPoint *, int) override { noteAnywhere(); }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { noteAnywhere(); }
    void drawPolygon(const QPoint *, int, PolygonDrawMode) override { noteAnywhere(); }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { noteAnywhere(); }
    void drawTiledPixmap(const QRectF &, const QPixmap &, const QPointF &) override { noteAnywhere(); }
    void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override
    {
        noteAnywhere();
    }

private:
    using Call = BlankCanvas::Call;

    // Where a call may paint, as far as it is known.
    struct Reach {
        QRectF rect;
        bool known;
    };

    // The call with the painter's state, at the end of the list; none when
    // calls are not listed. A clipped call is not listed: the clip is not
    // kept with it.
    Call *list(Reach reach, Call::Kind kind, const QRectF &rect = QRectF())
    {
        if (!*listing)
            return nullptr;
        if (state->painter()->hasClipping()) {
            seen->listedAll = false;
            return nullptr;
        }
        seen->listed.emplace_back();
        Call &call = seen->listed.back();
        call.kind = kind;
        call.rect = rect;
        call.pen = state->pen();
        call.brush = state->brush();
        call.brushOrigin = state->brushOrigin();
        call.opacity = state->opacity();
        call.transform = state->transform();
        call.compositionMode = int(state->compositionMode());
        call.renderHints = int(state->renderHints());
        call.reach = reach.rect;
        call.reachKnown = reach.known;
        return &call;
    }

    // A cover: one opaque colour over every pixel, whatever was there, as
    // the raster engine fills it.
    void noteFill(const QRectF &rect, Call::Kind kind)
    {
        list(noteShape(rect), kind, rect);
        const QPaintDevice *device = paintDevice();
        const QBrush brush = state->brush();
        const bool covers = brush.style() == Qt::SolidPattern && brush.color().rgba64().isOpaque()
                            && state->pen().style() == Qt::NoPen && state->opacity() == 1.0
                            && state->compositionMode() == QPainter::CompositionMode_SourceOver
                            && state->transform().isIdentity() && !state->painter()->hasClipping()
                            && rect.contains(QRectF(0, 0, device->width(), device->height()));
        if (covers) {
            ++seen->covers;
            seen->coverColour = brush.color().rgb();
        }
    }

    // A filled and outlined shape within rect: a pen reaches out from the
    // outline by half its width, and a square cap by w/2 along the line as
    // well, so by less than its whole width.
    Reach noteShape(const QRectF &rect)
    {
        const QPen pen = state->pen();
        if (pen.style() == Qt::NoPen)
            return noteCall(rect, 0);
        if (pen.isCosmetic())  // its width is in the canvas's pixels
            return noteCall(rect, 0, std::max<qreal>(pen.widthF(), 1));
        return noteCall(rect, std::max<qreal>(pen.widthF(), 1));
    }

    // One call that paints within rect widened by margin, as the painter
    // maps it onto the canvas, and then by canvasMargin pixels; antialiasing
    // touches one pixel more.
    Reach noteCall(const QRectF &rect, qreal margin, qreal canvasMargin = 0)
    {
        ++seen->calls;
        const QTransform transform = state->transform();
        if (state->painter()->viewTransformEnabled() || transform.type() >= QTransform::TxProject) {
            seen->reachKnown = false;
            return Reach{QRectF(), false};
        }
        const QRectF mapped = transform.mapRect(rect.normalized().adjusted(-margin, -margin, margin, margin));
        const qreal around = canvasMargin + 2;
        const QRectF reach = mapped.adjusted(-around, -around, around, around);
        seen->reach |= reach;
        return Reach{reach, true};
    }

    void noteAnywhere()
    {
        ++seen->calls;
        seen->reachKnown = false;
        seen->listedAll = false;
    }

    BlankCanvas::Seen *seen;
    const bool *listing;
};

} // namespace

BlankCanvas::BlankCanvas()
    : engine(std::make_unique<BlankEngine>(&seenSoFar, &listing))
{
}

void BlankCanvas::setListing(bool on)
{
    listing = on;
}

BlankCanvas::~BlankCanvas() = default;

QPaintEngine *BlankCanvas::paintEngine() const
{
    return engine.get();
}

const BlankCanvas::Seen &BlankCanvas::seen() const
{
    return seenSoFar;
}

std::vector<BlankCanvas::Call> BlankCanvas::takeListed()
{
    return std::exchange(seenSoFar.listed, {});
}

void BlankCanvas::forgetSeen()
{
    seenSoFar = Seen();
}

int BlankCanvas::metric(PaintDeviceMetric metric) const
{
    // Resolution and depth as a frame image has them, so that fonts resolve
    // as they do on a drawn frame.
    static const QImage frame(1, 1, QImage::Format_RGBX8888);
    switch (metric) {
    case PdmWidth:
        return canvasSize.width();
    case PdmHeight:
        return canvasSize.height();
    case PdmWidthMM:
        return qRound(canvasSize.width() * 25.4 / frame.logicalDpiX());
    case PdmHeightMM:
        return qRound(canvasSize.height() * 25.4 / frame.logicalDpiY());
    case PdmNumColors:
        return frame.colorCount();
    case PdmDepth:
        return frame.depth();
    case PdmDpiX:
        return frame.logicalDpiX();
    case PdmDpiY:
        return frame.logicalDpiY();
    case PdmPhysicalDpiX:
        return frame.physicalDpiX();
    case PdmPhysicalDpiY:
        return frame.physicalDpiY();
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return 0;
}

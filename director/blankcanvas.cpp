#include "blankcanvas.h"

#include <QImage>
#include <QPainter>
#include <QPaintEngine>

namespace {

// Claims every feature, so that the painter hands it each call as it is
// instead of working out pixels for it first, and then draws nothing but a
// note of the call.
class BlankEngine : public QPaintEngine {
public:
    explicit BlankEngine(BlankCanvas::Seen *seen) : QPaintEngine(QPaintEngine::AllFeatures), seen(seen) {}

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState &) override {}

    void drawRects(const QRect *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            noteFill(QRectF(rects[i]));
    }
    void drawRects(const QRectF *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            noteFill(rects[i]);
    }
    void drawLines(const QLine *, int) override { ++seen->calls; }
    void drawLines(const QLineF *, int) override { ++seen->calls; }
    void drawEllipse(const QRectF &) override { ++seen->calls; }
    void drawEllipse(const QRect &) override { ++seen->calls; }
    void drawPath(const QPainterPath &) override { ++seen->calls; }
    void drawPoints(const QPointF *, int) override { ++seen->calls; }
    void drawPoints(const QPoint *, int) override { ++seen->calls; }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { ++seen->calls; }
    void drawPolygon(const QPoint *, int, PolygonDrawMode) override { ++seen->calls; }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { ++seen->calls; }
    void drawTextItem(const QPointF &, const QTextItem &) override { ++seen->calls; }
    void drawTiledPixmap(const QRectF &, const QPixmap &, const QPointF &) override { ++seen->calls; }
    void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override
    {
        ++seen->calls;
    }

private:
    // A cover: one opaque colour over every pixel, whatever was there, as
    // the raster engine fills it.
    void noteFill(const QRectF &rect)
    {
        ++seen->calls;
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

    BlankCanvas::Seen *seen;
};

} // namespace

BlankCanvas::BlankCanvas()
    : engine(std::make_unique<BlankEngine>(&seenSoFar))
{
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

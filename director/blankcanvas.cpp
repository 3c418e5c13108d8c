#include "blankcanvas.h"

#include <QImage>
#include <QPaintEngine>

namespace {

// Claims every feature, so that the painter hands it each call as it is
// instead of working out pixels for it first, and then draws nothing.
class BlankEngine : public QPaintEngine {
public:
    BlankEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState &) override {}

    void drawRects(const QRect *, int) override {}
    void drawRects(const QRectF *, int) override {}
    void drawLines(const QLine *, int) override {}
    void drawLines(const QLineF *, int) override {}
    void drawEllipse(const QRectF &) override {}
    void drawEllipse(const QRect &) override {}
    void drawPath(const QPainterPath &) override {}
    void drawPoints(const QPointF *, int) override {}
    void drawPoints(const QPoint *, int) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint *, int, PolygonDrawMode) override {}
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawTextItem(const QPointF &, const QTextItem &) override {}
    void drawTiledPixmap(const QRectF &, const QPixmap &, const QPointF &) override {}
    void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override {}
};

} // namespace

BlankCanvas::BlankCanvas()
    : engine(std::make_unique<BlankEngine>())
{
}

BlankCanvas::~BlankCanvas() = default;

QPaintEngine *BlankCanvas::paintEngine() const
{
    return engine.get();
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

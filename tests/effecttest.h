// Shared fixtures of the effect tests: frames painted the way the window
// paints them, the compiled-in fonts on a machine that has no others, pixel
// counts, and a paint device that logs what an effect asks the painter to do.
// It does not run effects the way the effect pass does; each test calls draw.
#pragma once

#include "showfonts.h"

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <QTextItem>
#include <QTransform>
#include <QVector>
#include <functional>

namespace effecttest {

// The window's background colour.
inline QColor background() { return QColor(50, 45, 40); }

// Call from the test class's initMain(), before the application exists:
// fontconfig then knows no installed font at all, so whatever is drawn comes
// from the compiled-in faces, as on a machine with no fonts of its own.
inline void hideInstalledFonts()
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fonts.conf"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    qputenv("FONTCONFIG_FILE", QFile::encodeName(path));
}

// A frame image as the window makes it: RGB888, background filled,
// antialiased painter active on it.
struct Frame {
    QImage image;
    QPainter painter;

    explicit Frame(int width = 1920, int height = 1080, const QColor &fill = background())
        : image(width, height, QImage::Format_RGB888)
    {
        image.fill(fill);
        painter.begin(&image);
        painter.setRenderHint(QPainter::Antialiasing);
    }
    // Finishes painting; the image is then safe to read.
    const QImage &done()
    {
        if (painter.isActive())
            painter.end();
        return image;
    }
};

inline QColor pixel(const QImage &image, int x, int y) { return image.pixelColor(x, y); }

// Number of pixels in the area (clipped to the image) for which the test holds.
inline int countPixels(const QImage &image, const QRect &area,
                       const std::function<bool(const QColor &)> &test)
{
    const QRect clipped = area.intersected(image.rect());
    int count = 0;
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            count += test(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

// Pixels that differ from the given colour.
inline int countInk(const QImage &image, const QRect &area, const QColor &ground = background())
{
    return countPixels(image, area, [&](const QColor &c) { return c != ground; });
}

// Smallest rectangle holding every pixel that differs from the given colour;
// null when there is none.
inline QRect inkBounds(const QImage &image, const QColor &ground = background())
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != ground)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// One drawing call as it reached the paint engine, with the painter state in
// force at that moment.
struct PaintCall {
    enum Kind { Path, Rect, Ellipse, Text, Other };
    Kind kind = Other;
    qreal opacity = 1.0;
    QTransform transform;
    QPen pen;
    QBrush brush;
    QFont font;
    QPainterPath path;  // Path
    QRectF rect;        // Rect, Ellipse
    QPointF point;      // Text: left end of the baseline
    QString text;       // Text
};

class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    QVector<PaintCall> calls;

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState &state) override
    {
        const DirtyFlags dirty = state.state();
        if (dirty & DirtyOpacity)
            current.opacity = state.opacity();
        if (dirty & DirtyTransform)
            current.transform = state.transform();
        if (dirty & DirtyPen)
            current.pen = state.pen();
        if (dirty & DirtyBrush)
            current.brush = state.brush();
        if (dirty & DirtyFont)
            current.font = state.font();
    }

    void drawPath(const QPainterPath &path) override
    {
        PaintCall call = now(PaintCall::Path);
        call.path = path;
        calls.append(call);
    }
    void drawRects(const QRectF *rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            PaintCall call = now(PaintCall::Rect);
            call.rect = rects[i];
            calls.append(call);
        }
    }
    void drawRects(const QRect *rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            PaintCall call = now(PaintCall::Rect);
            call.rect = rects[i];
            calls.append(call);
        }
    }
    void drawEllipse(const QRectF &rect) override
    {
        PaintCall call = now(PaintCall::Ellipse);
        call.rect = rect;
        calls.append(call);
    }
    void drawEllipse(const QRect &rect) override { drawEllipse(QRectF(rect)); }
    void drawTextItem(const QPointF &point, const QTextItem &item) override
    {
        PaintCall call = now(PaintCall::Text);
        call.point = point;
        call.text = item.text();
        call.font = item.font();
        calls.append(call);
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override
    {
        calls.append(now(PaintCall::Other));
    }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override
    {
        calls.append(now(PaintCall::Other));
    }
    void drawLines(const QLineF *, int) override { calls.append(now(PaintCall::Other)); }
    void drawPoints(const QPointF *, int) override { calls.append(now(PaintCall::Other)); }

private:
    PaintCall current;
    PaintCall now(PaintCall::Kind kind) const
    {
        PaintCall call = current;
        call.kind = kind;
        return call;
    }
};

// A paint device of the given size that paints nothing and logs every call.
class RecordingDevice : public QPaintDevice {
public:
    explicit RecordingDevice(int width = 1920, int height = 1080) : w(width), h(height) {}
    QPaintEngine *paintEngine() const override { return &engine; }
    const QVector<PaintCall> &calls() const { return engine.calls; }
    void clear() { engine.calls.clear(); }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return w;
        case PdmHeight: return h;
        case PdmWidthMM: return w * 254 / 960;
        case PdmHeightMM: return h * 254 / 960;
        case PdmNumColors: return 0;
        case PdmDepth: return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 96;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    int w;
    int h;
    mutable RecordingEngine engine;
};

}  // namespace effecttest

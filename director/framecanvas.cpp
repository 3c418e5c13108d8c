#include "framecanvas.h"

#include "frameoutput.h"
#include "snaredrawcommand.h"

#include <QRegion>
#include <algorithm>
#include <cmath>

namespace {

// The state an effect leaves behind on the painter, which the effects after
// it may draw with.
struct PainterState {
    explicit PainterState(const QPainter &painter)
        : pen(painter.pen()), brush(painter.brush()), font(painter.font()), opacity(painter.opacity()),
          transform(painter.transform())
    {
    }
    bool operator==(const PainterState &other) const
    {
        return pen == other.pen && brush == other.brush && font == other.font && opacity == other.opacity
               && transform == other.transform;
    }
    QPen pen;
    QBrush brush;
    QFont font;
    qreal opacity;
    QTransform transform;
};

} // namespace

FrameCanvas::FrameCanvas() = default;

FrameCanvas::~FrameCanvas() = default;

void FrameCanvas::setKeptTarget(bool kept)
{
    keptTarget = kept;
    shown.reset();
    blank.setListing(kept);
}

void FrameCanvas::begin(QSize size, QRgb background)
{
    passPainter.reset();
    making = Making();
    making.rows.listed = keptTarget;
    making.background = rgbxWord(background);
    if (pixels.size() != size) {
        bands.forgetPixels();
        pixels = QImage(size, QImage::Format_RGBX8888);
        shown.reset();
    }
    // Without pixels the effects still take their steps; present then fails.
    blank.setSize(size);
    passPainter = std::make_unique<QPainter>(&blank);
    passPainter->setRenderHint(QPainter::Antialiasing);
}

DrawResult FrameCanvas::draw(DrawCommand &effect)
{
    if (auto *snare = dynamic_cast<SnareDrawCommand *>(&effect))
        return drawSnare(*snare);
    Layer layer;
    layer.effect.reset(effect.clone());
    const PainterState before(*passPainter);
    blank.forgetSeen();
    const DrawResult result = effect.draw(*passPainter);
    const BlankCanvas::Seen &seen = blank.seen();
    const PainterState after(*passPainter);
    making.rows.listed = making.rows.listed && seen.listedAll;
    for (BlankCanvas::Call &call : blank.takeListed())
        making.rows.drawn.push_back(Drawn{std::move(call), false, FrameTint{}});
    // Nothing drawn and nothing left behind for the next effect: no layer.
    if (seen.calls == 0 && after == before)
        return result;
    layer.covers = seen.calls > 0 && seen.covers == seen.calls;
    layer.coverColour = rgbxWord(seen.coverColour);
    // Where its drawing cannot reach, a band need not draw it, as long as
    // the painter is left as drawing would leave it.
    if (seen.reachKnown && after.opacity == 1.0 && after.transform.isIdentity()) {
        layer.top = int(std::floor(seen.reach.top()));
        layer.bottom = int(std::ceil(seen.reach.bottom()));
        layer.left = int(std::floor(seen.reach.left()));
        layer.right = int(std::ceil(seen.reach.right()));
        layer.pen = after.pen;
        layer.brush = after.brush;
        layer.font = after.font;
    }
    making.layers.push_back(std::move(layer));
    return result;
}

// A snare's flash is a tint of the whole frame, which the snare states: it
// still takes its step on the pass's painter, which it leaves as it was.
DrawResult FrameCanvas::drawSnare(SnareDrawCommand &snare)
{
    const SnareFill fill = snare.fill();
    const FrameTint tint = fillTint(fill.colour, fill.opacity);
    const DrawResult result = snare.draw(*passPainter);
    blank.forgetSeen();
    if (tint.isClear())
        return result;
    if (keptTarget)
        making.rows.drawn.push_back(Drawn{BlankCanvas::Call(), true, tint});
    if (making.layers.empty()) {
        making.background = tinted(making.background, tint);
    } else {
        Layer layer;
        layer.tint = tint;
        making.layers.push_back(std::move(layer));
    }
    return result;
}

bool FrameCanvas::present(QImage &target, int distortion, std::vector<RowSpan> *changedRows)
{
    passPainter.reset();
    if (target.isNull() || pixels.isNull() || target.size() != pixels.size()) {
        making.layers.clear();
        making.paintedWith.reset();
        return false;
    }
    if (!FrameOutput::writes(target.format())) {
        // Written whole: the copy keeps nothing.
        forgetTarget();
        QImage rgb32(target.size(), QImage::Format_RGB32);
        if (!present(rgb32, distortion))
            return false;
        forgetTarget();
        if (changedRows)
            changedRows->assign(size_t(target.height()), RowSpan{0, target.width()});
        QPainter converter(&target);
        converter.setCompositionMode(QPainter::CompositionMode_Source);
        converter.drawImage(QPoint(0, 0), rgb32);
        return true;
    }

    const Plan plan = planLayers();
    // Painted for a kept target that has since been lost, or for another distortion: painted again.
    if (making.paintedWith && (*making.paintedWith != distortion || (!making.toPaint.all && !shown)))
        making.paintedWith.reset();
    const bool painted = making.paintedWith.has_value();
    if (!painted)
        chooseRowsToPaint(plan, distortion);
    if (changedRows)
        changedRows->assign(making.toPaint.spans.size(), RowSpan{});
    const FrameOutput output(target, distortion, making.rows.plainColour, changedRows ? changedRows->data() : nullptr);
    const int count = bands.countFor(pixels.size());
    const auto write = [&](int band, const std::vector<FrameTint> &pending) {
        output.writeRows(pixels, FrameBands::rowsOf(band, count, pixels.height()), pending, making.toPaint.spans,
                         making.rows.reached);
    };
    if (plan.effectsShow && !painted) {
        bands.paintOn(pixels, count);
        bands.run(count, [&](int band) { write(band, paintBand(band, count, plan)); });
    } else {
        const std::vector<FrameTint> none;
        bands.run(count, [&](int band) { write(band, plan.effectsShow ? making.bandTints[size_t(band)] : none); });
    }
    making.paintedWith.reset();
    making.layers.clear();
    if (keptTarget)
        shown = std::move(making.rows);
    return true;
}

void FrameCanvas::paintLayers(int distortion)
{
    passPainter.reset();
    if (pixels.isNull())
        return;
    const Plan plan = planLayers();
    chooseRowsToPaint(plan, distortion);
    making.paintedWith = distortion;
    if (!plan.effectsShow)
        return;
    const int count = bands.countFor(pixels.size());
    bands.paintOn(pixels, count);
    making.bandTints.resize(size_t(count));
    bands.run(count, [&](int band) { making.bandTints[size_t(band)] = paintBand(band, count, plan); });
}

// Layers that end in a cover: only the cover and the tints after it show.
FrameCanvas::Plan FrameCanvas::planLayers() const
{
    Plan plan;
    plan.background = making.background;
    plan.effectsShow = !making.layers.empty();
    const std::vector<Layer> &layers = making.layers;
    for (size_t i = layers.size(); i-- > 0;) {
        if (!layers[i].effect)
            continue;
        if (layers[i].covers) {
            plan.firstLayer = i + 1;
            plan.background = layers[i].coverColour;
            for (size_t t = plan.firstLayer; t < layers.size(); ++t)
                plan.background = tinted(plan.background, layers[t].tint);
            plan.effectsShow = false;
        }
        break;
    }
    return plan;
}

// The rows effects reach, and the colour of the others: the background
// through every tint. Then the rows to paint of them.
void FrameCanvas::chooseRowsToPaint(const Plan &plan, int distortion)
{
    FrameRows &rows = making.rows;
    const int width = pixels.width();
    rows.distortion = distortion;
    rows.plainColour = plan.background;
    rows.reached.assign(size_t(pixels.height()), RowSpan{});
    for (size_t i = plan.firstLayer; plan.effectsShow && i < making.layers.size(); ++i) {
        const Layer &layer = making.layers[i];
        if (!layer.effect) {
            rows.plainColour = tinted(rows.plainColour, layer.tint);
            continue;
        }
        spanRows(rows.reached, layer.top, layer.bottom, layer.left, layer.right, width, distortion);
    }
    making.toPaint = chooseRows(rows, keptTarget && shown ? &*shown : nullptr, width);
}

// One band of rows through every layer, from the background on. Returns the
// tints left to apply over it.
std::vector<FrameTint> FrameCanvas::paintBand(int band, int count, const Plan &plan)
{
    const int width = pixels.width();
    const BandRows rows = FrameBands::rowsOf(band, count, pixels.height());
    // Each band paints on an image of its own on the shared pixels: a
    // painter cannot share its engine, and the effects must see the whole
    // frame as their viewport.
    QImage &image = bands.imageOf(band);
    uchar *const bits = image.bits();
    const qsizetype stride = pixels.bytesPerLine();
    const auto row = [&](int y) { return reinterpret_cast<uint32_t *>(bits + y * stride); };
    const std::vector<RowSpan> &toPaint = making.toPaint.spans;

    // Only where effects reach, in rows present writes: it writes the rest
    // from one row, and leaves the other rows as the kept target has them.
    const auto reached = [&](int y) { return toPaint[size_t(y)].isEmpty() ? RowSpan{} : making.rows.reached[size_t(y)]; };
    for (int y = rows.first; y < rows.end; ++y)
        std::fill(row(y) + reached(y).left, row(y) + reached(y).right, plan.background);
    std::vector<FrameTint> pending;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Rows present leaves alone need no painting: the layers are clipped to
    // the others, which come out as they would unclipped.
    if (!making.toPaint.all) {
        QRegion painted;
        int runStart = -1;
        for (int y = rows.first; y <= rows.end; ++y) {
            const bool painting = y < rows.end && !toPaint[size_t(y)].isEmpty();
            if (painting && runStart < 0)
                runStart = y;
            if (!painting && runStart >= 0) {
                painted += QRect(0, runStart, width, y - runStart);
                runStart = -1;
            }
        }
        painter.setClipRegion(painted);
    }
    for (size_t i = plan.firstLayer; i < making.layers.size(); ++i) {
        const Layer &layer = making.layers[i];
        if (!layer.effect) {
            pending.push_back(layer.tint);
            continue;
        }
        if (layer.bottom <= rows.first || layer.top >= rows.end) {
            // Nothing here to paint over, so the tints can wait too.
            painter.setPen(layer.pen);
            painter.setBrush(layer.brush);
            painter.setFont(layer.font);
            continue;
        }
        for (int y = rows.first; !pending.empty() && y < rows.end; ++y) {
            uint32_t *const from = row(y) + reached(y).left;
            tintRow(from, from, reached(y).right - reached(y).left, pending.data(), pending.size(), false);
        }
        pending.clear();
        // The layer is the effect before its step, for every band alike.
        const std::unique_ptr<DrawCommand> copy(layer.effect->clone());
        copy->draw(painter);
    }
    return pending;
}

#include "framecanvas.h"

#include "snaredrawcommand.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "frame words are read as little-endian RGBX");

constexpr uint32_t opaque = 0xff000000u;

// Qt's BYTE_MUL: each byte of x times a / 255, rounded the way the raster engine rounds.
inline uint32_t byteMul(uint32_t x, uint32_t a)
{
    uint32_t low = (x & 0xff00ffu) * a;
    low = ((low + ((low >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
    uint32_t high = ((x >> 8) & 0xff00ffu) * a;
    high = (high + ((high >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
    return high | low;
}

inline uint32_t tinted(uint32_t pixel, const FrameTint &tint)
{
    return (tint.add + byteMul(pixel, tint.keep)) | opaque;
}

// Eight pixels' bytes, and the same widened to one 16-bit lane each.
typedef uint8_t EightPixels __attribute__((vector_size(32)));
typedef uint16_t EightPixelLanes __attribute__((vector_size(64)));

struct TintLanes {
    EightPixelLanes keep;
    EightPixelLanes add;
};

// RGBX8888 word (R lowest) to an opaque RGB32 word (B lowest).
inline uint32_t toRgb32(uint32_t pixel)
{
    return opaque | ((pixel & 0xffu) << 16) | (pixel & 0xff00u) | ((pixel >> 16) & 0xffu);
}

// v * keep, plus a 256th of it, plus a half, over 256 is byteMul's rounding;
// no lane passes 65407, and no sum passes 255 (readTint saw to it).
// ToRgb32 also swaps red and blue, giving the window's pixel order.
template <size_t Count, bool ToRgb32>
__attribute__((always_inline)) inline void tintBlocks(const uint32_t *source, uint32_t *out, int blocks,
                                                      const TintLanes *tints)
{
    EightPixels opaqueBytes = {};
    EightPixels redBlueSwapped;
    for (int pixel = 0; pixel < 8; ++pixel) {
        opaqueBytes[4 * pixel + 3] = 0xff;
        for (int channel = 0; channel < 4; ++channel)
            redBlueSwapped[4 * pixel + channel] = uint8_t(4 * pixel + (channel == 3 ? 3 : 2 - channel));
    }
    for (int block = 0; block < blocks; ++block) {
        EightPixels bytes;
        std::memcpy(&bytes, source + 8 * block, sizeof bytes);
        if (Count > 0) {
            EightPixelLanes lanes = __builtin_convertvector(bytes, EightPixelLanes);
            for (size_t t = 0; t < Count; ++t) {
                const EightPixelLanes product = lanes * tints[t].keep;
                lanes = ((product + (product >> 8) + 0x80) >> 8) + tints[t].add;
            }
            bytes = __builtin_convertvector(lanes, EightPixels);
        }
        if (ToRgb32)
            bytes = __builtin_shuffle(bytes, redBlueSwapped);
        bytes |= opaqueBytes;
        std::memcpy(out + 8 * block, &bytes, sizeof bytes);
    }
}

// A row through tints in order, from source to out (which may be the same),
// left in RGBX8888 or turned into RGB32. Compiled for AVX2 and AVX-512 as
// well (a block of eight pixels' lanes fills one AVX-512 register), picked at
// load time where the processor has them.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
void tintRow(const uint32_t *source, uint32_t *out, int count, const FrameTint *tints, size_t tintCount,
             bool rgb32Out)
{
    constexpr size_t most = 3;
    if (tintCount > most) {
        tintRow(source, out, count, tints, most, false);
        tintRow(out, out, count, tints + most, tintCount - most, rgb32Out);
        return;
    }
    TintLanes lanes[most];
    for (size_t t = 0; t < tintCount; ++t) {
        for (int lane = 0; lane < 32; ++lane) {
            lanes[t].keep[lane] = uint16_t(tints[t].keep);
            lanes[t].add[lane] = uint16_t((tints[t].add >> (8 * (lane % 4))) & 0xffu);
        }
    }
    const int blocks = count / 8;
    switch (tintCount * 2 + (rgb32Out ? 1 : 0)) {
    case 0: tintBlocks<0, false>(source, out, blocks, lanes); break;
    case 1: tintBlocks<0, true>(source, out, blocks, lanes); break;
    case 2: tintBlocks<1, false>(source, out, blocks, lanes); break;
    case 3: tintBlocks<1, true>(source, out, blocks, lanes); break;
    case 4: tintBlocks<2, false>(source, out, blocks, lanes); break;
    case 5: tintBlocks<2, true>(source, out, blocks, lanes); break;
    case 6: tintBlocks<3, false>(source, out, blocks, lanes); break;
    default: tintBlocks<3, true>(source, out, blocks, lanes); break;
    }
    for (int x = 8 * blocks; x < count; ++x) {
        uint32_t pixel = source[x];
        for (size_t t = 0; t < tintCount; ++t)
            pixel = tinted(pixel, tints[t]);
        out[x] = rgb32Out ? toRgb32(pixel) : pixel | opaque;
    }
}

inline uint32_t rgbxWord(QRgb colour)
{
    return uint32_t(qRed(colour)) | uint32_t(qGreen(colour)) << 8 | uint32_t(qBlue(colour)) << 16 | opaque;
}

// The probe: row 0 runs every value through all three channels at once, row 1
// through each channel in a different order, so that a fill that mixes
// channels or depends on the place does not pass for a tint.
constexpr int probeWidth = 256;

uint32_t probeInput(int x, int y)
{
    const uint32_t v = uint32_t(x);
    if (y == 0)
        return v | v << 8 | v << 16 | opaque;
    return v | (255 - v) << 8 | ((7 * v) & 0xffu) << 16 | opaque;
}

void resetProbe(QImage &probe)
{
    for (int y = 0; y < 2; ++y) {
        uint32_t *row = reinterpret_cast<uint32_t *>(probe.scanLine(y));
        for (int x = 0; x < probeWidth; ++x)
            row[x] = probeInput(x, y);
    }
}

// Reads the tint off a painted probe; false if what was painted is no tint.
bool readTint(const QImage &probe, FrameTint *tint)
{
    const uint32_t *ramp = reinterpret_cast<const uint32_t *>(probe.constScanLine(0));
    tint->add = ramp[0] & ~opaque;
    // v * keep / 255 is keep itself for v = 255.
    const uint32_t keep = (ramp[255] - ramp[0]) & 0xffu;
    tint->keep = keep;
    for (int y = 0; y < 2; ++y) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(probe.constScanLine(y));
        for (int x = 0; x < probeWidth; ++x)
            if (row[x] != tinted(probeInput(x, y), *tint))
                return false;
    }
    return true;
}

// One output row in RGB32 from one tinted RGBX8888 row: unmoved when shift is
// 0, otherwise the RGB888 row's bytes moved left by `shift` bytes, its last
// `shift` bytes kept, bytes past the pixels (row padding) read as 0.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
void composeRow(const uint32_t *source, int width, int rgb888Bytes, int shift, uint32_t *out)
{
    if (shift == 0) {
        for (int x = 0; x < width; ++x)
            out[x] = toRgb32(source[x]);
        return;
    }
    const int pixelShift = shift / 3;
    const int byteShift = shift % 3;
    const int movedBytes = rgb888Bytes - shift;  // bytes 0..movedBytes-1 come from further right
    int interior = std::min(movedBytes >= 3 ? movedBytes / 3 : 0, width - pixelShift - (byteShift ? 1 : 0));
    interior = std::max(0, std::min(interior, width));
    const uint32_t *from = source + pixelShift;
    switch (byteShift) {
    case 0:
        for (int x = 0; x < interior; ++x)
            out[x] = toRgb32(from[x]);
        break;
    case 1:  // new R, G, B = G, B of the pixel, R of the next
        for (int x = 0; x < interior; ++x)
            out[x] = toRgb32(((from[x] >> 8) & 0xffffu) | (from[x + 1] & 0xffu) << 16);
        break;
    default:  // new R, G, B = B of the pixel, R, G of the next
        for (int x = 0; x < interior; ++x)
            out[x] = toRgb32(((from[x] >> 16) & 0xffu) | (from[x + 1] & 0xffffu) << 8);
        break;
    }
    // The last pixels byte by byte: where the moved bytes run out and the kept ones begin.
    const int visibleBytes = 3 * width;
    const auto byteAt = [&](int i) -> uint32_t {
        return i < visibleBytes ? (source[i / 3] >> (8 * (i % 3))) & 0xffu : 0;
    };
    for (int x = interior; x < width; ++x) {
        uint32_t word = 0;
        for (int channel = 0; channel < 3; ++channel) {
            const int i = 3 * x + channel;
            word |= byteAt(i < movedBytes ? i + shift : i) << (8 * channel);
        }
        out[x] = toRgb32(word);
    }
}

bool writesRgb32(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
           || format == QImage::Format_ARGB32_Premultiplied;
}

} // namespace

// Where present writes: the target's rows, their format and the distortion.
struct FrameCanvas::Output {
    uchar *bits;
    qsizetype bytesPerLine;
    bool rgb32;      // else RGB888
    int shift;       // bytes a moved row moves
    qint64 band;     // rows in a band of the distortion
    int rgb888Bytes; // an RGB888 row's bytes, padding included
    RowSpan *changed; // by row, when pixels the target holds already are left alone
    const uint32_t *plain[2];  // a row no effect reaches, made: unmoved, moved

    bool moved(int y) const { return shift > 0 && (y / band) % 2 == 0; }
    bool madeInScratch() const { return !rgb32 || changed; }
    // Where row y is made in RGB32: the target's row itself, or scratch.
    uint32_t *rowFor(int y, std::vector<uint32_t> &scratch) const
    {
        return madeInScratch() ? scratch.data() : reinterpret_cast<uint32_t *>(bits + y * bytesPerLine);
    }
    // The span of row y as the target holds it, from what rowFor gave.
    // Comparing first costs little: writing would read it into the cache anyway.
    void finish(int y, const uint32_t *made, RowSpan span) const
    {
        uchar *to = bits + y * bytesPerLine;
        if (rgb32) {
            uint32_t *const row = reinterpret_cast<uint32_t *>(to);
            const size_t bytes = size_t(span.right - span.left) * 4;
            if (changed) {
                const bool differs = std::memcmp(row + span.left, made + span.left, bytes) != 0;
                changed[y] = differs ? span : RowSpan{};
                if (differs)
                    std::memcpy(row + span.left, made + span.left, bytes);
            } else if (made != row) {
                std::memcpy(row + span.left, made + span.left, bytes);
            }
            return;
        }
        if (changed)
            changed[y] = span;
        for (int x = span.left; x < span.right; ++x) {
            to[3 * x] = uchar(qRed(made[x]));
            to[3 * x + 1] = uchar(qGreen(made[x]));
            to[3 * x + 2] = uchar(qBlue(made[x]));
        }
    }
};

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

// Columns [left, right) of rows [top, bottom) join the rows' spans, within
// the frame. A moved row's bytes come from further along it: with a
// distortion, each row's span is all of it.
void spanRows(std::vector<RowSpan> &spans, int top, int bottom, int left, int right, int width, int distortion)
{
    const int height = int(spans.size());
    top = std::clamp(top, 0, height);
    bottom = std::clamp(bottom, top, height);
    left = distortion > 0 ? 0 : std::clamp(left, 0, width);
    right = distortion > 0 ? width : std::clamp(right, left, width);
    for (int y = top; y < bottom; ++y)
        spans[size_t(y)] = spans[size_t(y)].united(RowSpan{left, right});
}

// Bands per thread: more than one evens out bands that cost more than others,
// and lets the threads that are running take over from one kept waiting.
constexpr int bandsPerThread = 2;
// Every band draws its own copy of every effect: a band of fewer pixels than
// a quarter of a full-HD frame saves less in painting than its copies cost.
constexpr qint64 leastBandPixels = 1920 * 1080 / 4;

} // namespace

FrameCanvas::FrameCanvas()
    : probe(probeWidth, 2, QImage::Format_RGBX8888), workers(std::make_unique<BandWorkers>(1))
{
}

FrameCanvas::~FrameCanvas() = default;

void FrameCanvas::setThreads(int threads)
{
    if (threads != workers->threads())
        workers = std::make_unique<BandWorkers>(threads);
}

int FrameCanvas::threads() const
{
    return workers->threads();
}

// Where there are more bands than threads, as many for every thread, so that
// none is left with more.
int FrameCanvas::bandsFor(QSize size) const
{
    const int threads = workers->threads();
    if (threads == 1)
        return 1;
    const qint64 worth = qint64(size.width()) * size.height() / leastBandPixels;
    qint64 bands = std::min<qint64>(worth, threads * bandsPerThread);
    if (bands > threads)
        bands -= bands % threads;
    return int(std::clamp<qint64>(bands, 1, size.height()));
}

void FrameCanvas::setKeptTarget(bool kept)
{
    keptTarget = kept;
    shown.known = false;
    blank.setListing(kept);
}

void FrameCanvas::begin(QSize size, QRgb background)
{
    passPainter.reset();
    layers.clear();
    composing.drawn.clear();
    composing.listed = keptTarget;
    painted = false;
    if (pixels.size() != size) {
        bandViews.clear();
        pixels = QImage(size, QImage::Format_RGBX8888);
        shown.known = false;
    }
    // Without pixels the effects still take their steps; present then fails.
    blank.setSize(size);
    passPainter = std::make_unique<QPainter>(&blank);
    passPainter->setRenderHint(QPainter::Antialiasing);
    flat = true;
    flatColour = rgbxWord(background);
}

void FrameCanvas::addLayer(Layer layer)
{
    flat = false;
    layers.push_back(std::move(layer));
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
    composing.listed = composing.listed && seen.listedAll;
    for (BlankCanvas::Call &call : blank.takeListed())
        composing.drawn.push_back(Drawn{std::move(call), false, FrameTint{}});
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
    addLayer(std::move(layer));
    return result;
}

DrawResult FrameCanvas::drawSnare(SnareDrawCommand &snare)
{
    const SnareDrawCommand before = snare;
    resetProbe(probe);
    DrawResult result;
    {
        QPainter probePainter(&probe);
        probePainter.setRenderHint(QPainter::Antialiasing);
        result = snare.draw(probePainter);
    }
    Layer layer;
    if (!readTint(probe, &layer.tint)) {
        // Not one uniform translucent fill after all: painted for real.
        composing.listed = false;
        layer.effect.reset(before.clone());
        addLayer(std::move(layer));
        return result;
    }
    if (layer.tint.add == 0 && layer.tint.keep == 255)
        return result;  // fully transparent: nothing to apply
    if (keptTarget)
        composing.drawn.push_back(Drawn{BlankCanvas::Call(), true, layer.tint});
    if (flat)
        flatColour = tinted(flatColour, layer.tint);
    else
        layers.push_back(std::move(layer));
    return result;
}

bool FrameCanvas::present(QImage &target, int distortion, std::vector<RowSpan> *changedRows)
{
    passPainter.reset();
    if (target.isNull() || pixels.isNull() || target.size() != pixels.size()) {
        layers.clear();
        painted = false;
        return false;
    }
    if (!writesRgb32(target.format()) && target.format() != QImage::Format_RGB888) {
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

    const int width = pixels.width();
    Output output;
    output.bits = target.bits();
    output.bytesPerLine = target.bytesPerLine();
    output.rgb32 = writesRgb32(target.format());
    output.rgb888Bytes = ((width * 24 + 31) >> 5) << 2;  // QImage's RGB888 bytesPerLine
    output.shift = distortion > 0 ? int(std::min<qint64>(4 * qint64(distortion), output.rgb888Bytes - 1)) : 0;
    output.band = qint64(std::max(distortion, 0)) + 1;
    const Plan plan = planLayers();
    // Painted for a kept target that has since been lost, or for another distortion: painted again.
    if (painted && (distortion != paintedDistortion || (!allRowsToPaint && !shown.known)))
        painted = false;
    if (!painted)
        chooseRowsToPaint(plan, distortion);
    output.changed = nullptr;
    if (changedRows) {
        changedRows->assign(rowsToPaint.size(), RowSpan{});
        output.changed = changedRows->data();
    }

    // A row no effect reaches is one colour: only two kinds of such row, each
    // worked out once.
    const std::vector<uint32_t> plainRow(size_t(width), composing.plainRow);
    std::vector<uint32_t> made[2];
    for (int moved = 0; moved < 2; ++moved) {
        made[moved].resize(size_t(width));
        composeRow(plainRow.data(), width, output.rgb888Bytes, moved ? output.shift : 0, made[moved].data());
        output.plain[moved] = made[moved].data();
    }

    const int bands = bandsFor(pixels.size());
    if (plan.effectsShow && !painted) {
        prepareBands(bands);
        workers->run(bands, [&](int band) { presentBand(band, bands, paintBand(band, bands, plan), output); });
    } else {
        const std::vector<FrameTint> none;
        workers->run(bands, [&](int band) {
            presentBand(band, bands, plan.effectsShow ? bandTints[size_t(band)] : none, output);
        });
    }
    painted = false;
    layers.clear();
    if (keptTarget)
        std::swap(shown, composing);
    return true;
}

void FrameCanvas::paintLayers(int distortion)
{
    passPainter.reset();
    if (pixels.isNull())
        return;
    const Plan plan = planLayers();
    chooseRowsToPaint(plan, distortion);
    painted = true;
    paintedDistortion = distortion;
    if (!plan.effectsShow)
        return;
    const int bands = bandsFor(pixels.size());
    prepareBands(bands);
    bandTints.resize(size_t(bands));
    workers->run(bands, [&](int band) { bandTints[size_t(band)] = paintBand(band, bands, plan); });
}

// Layers that end in a cover: only the cover and the tints after it show.
FrameCanvas::Plan FrameCanvas::planLayers() const
{
    Plan plan;
    plan.base = flatColour;
    plan.effectsShow = !flat;
    for (size_t i = layers.size(); i-- > 0;) {
        if (!layers[i].effect)
            continue;
        if (layers[i].covers) {
            plan.firstLayer = i + 1;
            plan.base = layers[i].coverColour;
            for (size_t t = plan.firstLayer; t < layers.size(); ++t)
                plan.base = tinted(plan.base, layers[t].tint);
            plan.effectsShow = false;
        }
        break;
    }
    return plan;
}

// The rows effects reach, and the colour of the others: the base through
// every tint. Then the rows to paint: all, unless the target keeps the frame
// before; then the rows either frame's effects could reach, as long as the
// rows no effect reaches come out the same in both.
void FrameCanvas::chooseRowsToPaint(const Plan &plan, int distortion)
{
    const size_t height = size_t(pixels.height());
    composing.known = true;
    composing.distortion = distortion;
    composing.plainRow = plan.base;
    const int width = pixels.width();
    composing.reached.assign(height, RowSpan{});
    for (size_t i = plan.firstLayer; plan.effectsShow && i < layers.size(); ++i) {
        const Layer &layer = layers[i];
        if (!layer.effect) {
            composing.plainRow = tinted(composing.plainRow, layer.tint);
            continue;
        }
        spanRows(composing.reached, layer.top, layer.bottom, layer.left, layer.right, width, distortion);
    }
    allRowsToPaint = !keptTarget || !shown.known || shown.reached.size() != height
                     || shown.plainRow != composing.plainRow || shown.distortion != distortion;
    if (allRowsToPaint) {
        rowsToPaint.assign(height, RowSpan{0, width});
        return;
    }
    if (chooseChangedRows(distortion))
        return;
    rowsToPaint.resize(height);
    for (size_t y = 0; y < height; ++y)
        rowsToPaint[y] = shown.reached[y].united(composing.reached[y]);
}

bool FrameCanvas::Drawn::drawsAs(const Drawn &other) const
{
    if (isTint || other.isTint)
        return isTint && other.isTint && tint.add == other.tint.add && tint.keep == other.tint.keep;
    return call.drawsAs(other.call);
}

// Where both passes drew the same in the same order, the rows come out the
// same: only the rows the calls that differ could reach are painted, and
// of a rectangle that only grew or shrank, the rows one of the two covers.
// A painted row takes in all its effects reach, as presenting it writes
// them. False, with nothing chosen, where a difference could be anywhere.
bool FrameCanvas::chooseChangedRows(int distortion)
{
    if (!shown.listed || !composing.listed)
        return false;
    const int height = pixels.height();
    const int width = pixels.width();
    rowsToPaint.assign(size_t(height), RowSpan{});
    const auto mark = [&](qreal top, qreal bottom, qreal left, qreal right) {
        spanRows(rowsToPaint, int(std::floor(top)), int(std::ceil(bottom)), int(std::floor(left)),
                 int(std::ceil(right)), width, distortion);
    };
    const std::vector<Drawn> &drawn = composing.drawn;
    const size_t count = std::max(shown.drawn.size(), drawn.size());
    for (size_t i = 0; i < count; ++i) {
        const Drawn *was = i < shown.drawn.size() ? &shown.drawn[i] : nullptr;
        const Drawn *is = i < drawn.size() ? &drawn[i] : nullptr;
        if (was && is && was->drawsAs(*is))
            continue;
        for (const Drawn *one : {was, is})
            if (one && (one->isTint || !one->call.reachKnown))
                return false;
        if (was && is && is->call.sameColumnsOf(was->call)) {
            const QRectF &a = was->call.rect;
            const QRectF &b = is->call.rect;
            mark(std::min(a.top(), b.top()) - 1, std::max(a.top(), b.top()) + 1, a.left() - 1, a.right() + 1);
            mark(std::min(a.bottom(), b.bottom()) - 1, std::max(a.bottom(), b.bottom()) + 1, a.left() - 1,
                 a.right() + 1);
            continue;
        }
        for (const Drawn *one : {was, is})
            if (one)
                mark(one->call.reach.top(), one->call.reach.bottom(), one->call.reach.left(), one->call.reach.right());
    }
    for (size_t y = 0; y < size_t(height); ++y)
        if (!rowsToPaint[y].isEmpty())
            rowsToPaint[y] = rowsToPaint[y].united(composing.reached[y]);
    return true;
}

void FrameCanvas::prepareBands(int bands)
{
    if (bands == 1 || int(bandViews.size()) == bands)
        return;
    bandViews.clear();
    const int width = pixels.width();
    const int height = pixels.height();
    for (int band = 0; band < bands; ++band) {
        bandViews.emplace_back(pixels.bits(), width, height, pixels.bytesPerLine(), QImage::Format_RGBX8888);
        // The engine's own clip, not the painter's: the rasterizer
        // then works out only the band's rows of every shape.
        const int firstRow = height * band / bands;
        bandViews.back().paintEngine()->setSystemClip(
            QRegion(0, firstRow, width, height * (band + 1) / bands - firstRow));
    }
}

// One band of rows through every layer, from the background on. Returns the
// tints left to apply over it.
std::vector<FrameTint> FrameCanvas::paintBand(int band, int bands, const Plan &plan)
{
    const int width = pixels.width();
    const int height = pixels.height();
    const int firstRow = height * band / bands;
    const int endRow = height * (band + 1) / bands;
    uchar *const bits = bands == 1 ? pixels.bits() : bandViews[size_t(band)].bits();
    const qsizetype stride = pixels.bytesPerLine();
    const auto row = [&](int y) { return reinterpret_cast<uint32_t *>(bits + y * stride); };

    // Only where effects reach, in rows present writes: it writes the rest
    // from one row, and leaves the other rows as the kept target has them.
    const auto reached = [&](int y) { return rowsToPaint[size_t(y)].isEmpty() ? RowSpan{} : composing.reached[size_t(y)]; };
    for (int y = firstRow; y < endRow; ++y)
        std::fill(row(y) + reached(y).left, row(y) + reached(y).right, plan.base);
    std::vector<FrameTint> pending;
    {
        // Each band paints on an image of its own on the shared pixels: a
        // painter cannot share its engine, and the effects must see the
        // whole frame as their viewport.
        QPainter painter(bands == 1 ? &pixels : &bandViews[size_t(band)]);
        painter.setRenderHint(QPainter::Antialiasing);
        // Rows present leaves alone need no painting: the layers are
        // clipped to the others, which come out as they would unclipped.
        if (!allRowsToPaint) {
            QRegion toPaint;
            int runStart = -1;
            for (int y = firstRow; y <= endRow; ++y) {
                const bool painting = y < endRow && !rowsToPaint[size_t(y)].isEmpty();
                if (painting && runStart < 0)
                    runStart = y;
                if (!painting && runStart >= 0) {
                    toPaint += QRect(0, runStart, width, y - runStart);
                    runStart = -1;
                }
            }
            painter.setClipRegion(toPaint);
        }
        for (size_t i = plan.firstLayer; i < layers.size(); ++i) {
            const Layer &layer = layers[i];
            if (!layer.effect) {
                pending.push_back(layer.tint);
                continue;
            }
            if (layer.bottom <= firstRow || layer.top >= endRow) {
                // Nothing here to paint over, so the tints can wait too.
                painter.setPen(layer.pen);
                painter.setBrush(layer.brush);
                painter.setFont(layer.font);
                continue;
            }
            for (int y = firstRow; !pending.empty() && y < endRow; ++y) {
                uint32_t *const from = row(y) + reached(y).left;
                tintRow(from, from, reached(y).right - reached(y).left, pending.data(), pending.size(), false);
            }
            pending.clear();
            // The layer is the effect before its step, for every band alike.
            const std::unique_ptr<DrawCommand> copy(layer.effect->clone());
            copy->draw(painter);
        }
    }
    return pending;
}

// One painted band of rows to the target: the tints left, the distortion and
// the conversion.
void FrameCanvas::presentBand(int band, int bands, const std::vector<FrameTint> &pending, const Output &output)
{
    const int width = pixels.width();
    const int height = pixels.height();
    const int firstRow = height * band / bands;
    const int endRow = height * (band + 1) / bands;
    const uchar *const bits = pixels.constBits();
    const qsizetype stride = pixels.bytesPerLine();
    const auto row = [&](int y) { return reinterpret_cast<const uint32_t *>(bits + y * stride); };

    std::vector<uint32_t> scratch(output.madeInScratch() ? size_t(width) : 0);
    std::vector<uint32_t> tintedRow(pending.empty() ? 0 : size_t(width));
    for (int y = firstRow; y < endRow; ++y) {
        const RowSpan span = rowsToPaint[size_t(y)];
        const RowSpan reached = composing.reached[size_t(y)];
        const uint32_t *const plain = output.plain[output.moved(y) ? 1 : 0];
        if (span.isEmpty())
            continue;
        if (reached.isEmpty()) {
            output.finish(y, plain, span);
            continue;
        }
        const uint32_t *source = row(y);
        uint32_t *out = output.rowFor(y, scratch);
        if (!output.moved(y)) {
            // The common row: what effects reach read, tinted and turned into
            // RGB32 in one go; the rest as a row no effect reaches.
            std::copy(plain + span.left, plain + reached.left, out + span.left);
            tintRow(source + reached.left, out + reached.left, reached.right - reached.left, pending.data(),
                    pending.size(), true);
            std::copy(plain + reached.right, plain + span.right, out + reached.right);
        } else {
            if (!pending.empty()) {
                tintRow(source, tintedRow.data(), width, pending.data(), pending.size(), false);
                source = tintedRow.data();
            }
            composeRow(source, width, output.rgb888Bytes, output.shift, out);
        }
        output.finish(y, out, span);
    }
}

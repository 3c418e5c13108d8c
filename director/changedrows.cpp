#include "changedrows.h"

#include <QPainterPath>
#include <cmath>

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

namespace {

// Qt's own comparisons of paths, rectangles and points allow for
// differences too small to see, which may still round a pixel otherwise.
bool exactly(const QPointF &a, const QPointF &b)
{
    return a.x() == b.x() && a.y() == b.y();
}

bool exactly(const QRectF &a, const QRectF &b)
{
    return exactly(a.topLeft(), b.topLeft()) && a.width() == b.width() && a.height() == b.height();
}

// Where both passes drew the same in the same order, the rows come out the
// same: only the rows the calls that differ could reach are painted, and
// of a rectangle that only grew or shrank, the rows one of the two covers.
// False, with nothing chosen, where a difference could be anywhere.
bool chooseChangedRows(const FrameRows &making, const FrameRows &shown, int width, RowsToPaint &rows)
{
    if (!shown.listed || !making.listed)
        return false;
    const size_t height = making.reached.size();
    rows.spans.assign(height, RowSpan{});
    const auto mark = [&](qreal top, qreal bottom, qreal left, qreal right) {
        spanRows(rows.spans, int(std::floor(top)), int(std::ceil(bottom)), int(std::floor(left)),
                 int(std::ceil(right)), width, making.distortion);
    };
    const size_t count = std::max(shown.drawn.size(), making.drawn.size());
    for (size_t i = 0; i < count; ++i) {
        const Drawn *was = i < shown.drawn.size() ? &shown.drawn[i] : nullptr;
        const Drawn *is = i < making.drawn.size() ? &making.drawn[i] : nullptr;
        if (was && is && was->drawsAs(*is))
            continue;
        for (const Drawn *one : {was, is})
            if (one && (one->isTint || !one->call.reachKnown))
                return false;
        if (was && is && sameColumns(is->call, was->call)) {
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
    for (size_t y = 0; y < height; ++y)
        if (!rows.spans[y].isEmpty())
            rows.spans[y] = rows.spans[y].united(making.reached[y]);
    return true;
}

} // namespace

bool drawsAs(const BlankCanvas::Call &one, const BlankCanvas::Call &other)
{
    if (one.kind != other.kind || !exactly(one.rect, other.rect) || !exactly(one.origin, other.origin)
        || one.text != other.text || one.textFlags != other.textFlags || one.opacity != other.opacity
        || one.transform != other.transform || one.compositionMode != other.compositionMode
        || one.renderHints != other.renderHints || !exactly(one.brushOrigin, other.brushOrigin)
        || !(one.pen == other.pen) || !(one.brush == other.brush) || !(one.font == other.font)
        || one.path.fillRule() != other.path.fillRule() || one.path.elementCount() != other.path.elementCount())
        return false;
    for (int i = 0; i < one.path.elementCount(); ++i) {
        const QPainterPath::Element &a = one.path.elementAt(i);
        const QPainterPath::Element &b = other.path.elementAt(i);
        if (a.type != b.type || !exactly(QPointF(a), QPointF(b)))
            return false;
    }
    return true;
}

bool sameColumns(const BlankCanvas::Call &one, const BlankCanvas::Call &other)
{
    using Call = BlankCanvas::Call;
    if (one.kind != Call::AlignedRect || other.kind != Call::AlignedRect || one.rect.left() != other.rect.left()
        || one.rect.right() != other.rect.right() || one.rect.height() <= 0 || other.rect.height() <= 0
        || !one.transform.isIdentity() || one.pen.style() != Qt::NoPen)
        return false;
    Call rows = other;
    rows.rect = one.rect;
    rows.reach = one.reach;
    return drawsAs(one, rows);
}

bool Drawn::drawsAs(const Drawn &other) const
{
    if (isTint || other.isTint)
        return isTint && other.isTint && tint == other.tint;
    return ::drawsAs(call, other.call);
}

RowsToPaint chooseRows(const FrameRows &making, const FrameRows *shown, int width)
{
    const size_t height = making.reached.size();
    RowsToPaint rows;
    rows.all = !shown || shown->reached.size() != height || shown->plainColour != making.plainColour
               || shown->distortion != making.distortion;
    if (rows.all) {
        rows.spans.assign(height, RowSpan{0, width});
        return rows;
    }
    if (chooseChangedRows(making, *shown, width, rows))
        return rows;
    rows.spans.resize(height);
    for (size_t y = 0; y < height; ++y)
        rows.spans[y] = shown->reached[y].united(making.reached[y]);
    return rows;
}

// Which rows of a frame to paint, and to write, onto a target that keeps the
// frame before: every row where the rows no effect reaches change; else the
// rows either frame's effects reach; and where both frames' passes drew the
// same calls in the same order, only the rows the calls that differ reach.
// Knows nothing of pixels: only what the passes drew, and where.
#pragma once

#include "blankcanvas.h"
#include "rowkernels.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// Columns [left, right) of one row of a frame; none when left >= right.
struct RowSpan {
    int left = 0;
    int right = 0;
    bool isEmpty() const { return left >= right; }
    // The columns of both, and any between.
    RowSpan united(RowSpan other) const
    {
        if (isEmpty())
            return other;
        if (other.isEmpty())
            return *this;
        return RowSpan{std::min(left, other.left), std::max(right, other.right)};
    }
};

// Columns [left, right) of rows [top, bottom) join the rows' spans, within a
// frame width pixels wide. A moved row's bytes come from further along it:
// with a distortion, each row's span is all of it.
void spanRows(std::vector<RowSpan> &spans, int top, int bottom, int left, int right, int width, int distortion);

// The same pixels, given the same pixels under it.
bool drawsAs(const BlankCanvas::Call &one, const BlankCanvas::Call &other);
// A rectangle on whole pixels, without outline, drawn as the other but for
// its rows: the rows both cover come out the same.
bool sameColumns(const BlankCanvas::Call &one, const BlankCanvas::Call &other);

// What one step of a frame's pass drew: a call, or a tint over everything.
struct Drawn {
    BlankCanvas::Call call;
    bool isTint = false;
    FrameTint tint{};
    bool drawsAs(const Drawn &other) const;
};

// A frame as far as the rows the next frame changes depend on it.
struct FrameRows {
    uint32_t plainColour = 0;      // of a row no effect reaches, before the distortion: an RGBX8888 word
    int distortion = 0;
    std::vector<RowSpan> reached;  // by row, the columns its effects could reach
    std::vector<Drawn> drawn;      // what its pass drew, in order...
    bool listed = false;           // ...when all of it could be listed
};

struct RowsToPaint {
    std::vector<RowSpan> spans;  // by row, where the frame may differ from the target; none: left alone
    bool all = true;             // every column of every row
};

// The rows of frame `making`, width pixels wide, to paint and write onto a
// target that holds `shown` (null: no frame it can be told from). A row
// painted takes in all its effects reach, as writing it writes them.
RowsToPaint chooseRows(const FrameRows &making, const FrameRows *shown, int width);

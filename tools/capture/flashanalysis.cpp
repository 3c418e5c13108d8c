#include "flashanalysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

constexpr QSize mostCells{160, 90};
constexpr float luminanceStep = 0.1f;
constexpr float darkBelow = 0.8f;
constexpr float redStep = 20.0f;
constexpr float saturatedShare = 0.8f;
constexpr int mostAllowed = 3;

// sRGB byte to linear light, in units of 2^-24: whole numbers add up exactly
// and fast.
constexpr double linearUnit = 1 << 24;

const std::array<uint32_t, 256> &linearTable()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> values{};
        for (int v = 0; v < 256; ++v) {
            const double c = v / 255.0;
            const double linear = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
            values[size_t(v)] = uint32_t(std::lround(linear * linearUnit));
        }
        return values;
    }();
    return table;
}

// One image row's linear R, G and B summed over each cell's columns.
template <int bytesPerPixel, int redByte, int blueByte>
void sumRow(const uchar *line, const std::vector<int> &xEdges, uint64_t *sums)
{
    const std::array<uint32_t, 256> &linear = linearTable();
    const size_t columns = xEdges.size() - 1;
    for (size_t column = 0; column < columns; ++column) {
        uint64_t r = 0, g = 0, b = 0;
        const uchar *pixel = line + bytesPerPixel * xEdges[column];
        const uchar *end = line + bytesPerPixel * xEdges[column + 1];
        for (; pixel < end; pixel += bytesPerPixel) {
            r += linear[pixel[redByte]];
            g += linear[pixel[1]];
            b += linear[pixel[blueByte]];
        }
        sums[3 * column] = r;
        sums[3 * column + 1] = g;
        sums[3 * column + 2] = b;
    }
}

// First pixel of each cell along one side, and one past the last.
std::vector<int> cellEdges(int pixels, int cells)
{
    std::vector<int> edges(size_t(cells) + 1);
    for (int cell = 0; cell <= cells; ++cell)
        edges[size_t(cell)] = int(qint64(cell) * pixels / cells);
    return edges;
}

bool bigEnough(float change, FlashKind kind)
{
    return kind == FlashKind::General ? change >= luminanceStep : change > redStep;
}

} // namespace

QSize flashGrid(QSize frame)
{
    return QSize(std::min(frame.width(), mostCells.width()), std::min(frame.height(), mostCells.height()));
}

FlashCells measureFlashCells(const QImage &frame, QSize grid)
{
    const bool direct = frame.format() == QImage::Format_RGB888 || frame.format() == QImage::Format_RGB32;
    const QImage image = direct ? frame : frame.convertToFormat(QImage::Format_RGB32);
    const bool rgb888 = image.format() == QImage::Format_RGB888;
    // A cell needs a pixel at least.
    grid = grid.boundedTo(image.size());
    const int columns = grid.width();
    const int rows = grid.height();
    const std::vector<int> xEdges = cellEdges(image.width(), columns);
    const std::vector<int> yEdges = cellEdges(image.height(), rows);
    const size_t lineBytes = size_t(image.width()) * (rgb888 ? 3 : 4);

    FlashCells cells;
    cells.grid = grid;
    const size_t count = size_t(columns) * size_t(rows);
    cells.luminance.resize(count);
    cells.red.resize(count);
    cells.saturatedRed.resize(count);
    std::vector<uint64_t> lineSums(size_t(columns) * 3);
    std::vector<uint64_t> sums(size_t(columns) * 3);
    const uchar *previous = nullptr;
    for (int row = 0; row < rows; ++row) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = yEdges[size_t(row)]; y < yEdges[size_t(row) + 1]; ++y) {
            const uchar *line = image.constScanLine(y);
            // Most of a frame is flat: a row like the one before has its sums already.
            if (!previous || std::memcmp(line, previous, lineBytes) != 0) {
                // RGB888 lies R, G, B in memory; RGB32 is a little-endian word B, G, R, X.
                if (rgb888)
                    sumRow<3, 0, 2>(line, xEdges, lineSums.data());
                else
                    sumRow<4, 2, 0>(line, xEdges, lineSums.data());
            }
            previous = line;
            for (size_t i = 0; i < sums.size(); ++i)
                sums[i] += lineSums[i];
        }
        const int height = yEdges[size_t(row) + 1] - yEdges[size_t(row)];
        for (int column = 0; column < columns; ++column) {
            const double pixels = double(height) * (xEdges[size_t(column) + 1] - xEdges[size_t(column)]);
            const float r = float(double(sums[size_t(column) * 3]) / linearUnit / pixels);
            const float g = float(double(sums[size_t(column) * 3 + 1]) / linearUnit / pixels);
            const float b = float(double(sums[size_t(column) * 3 + 2]) / linearUnit / pixels);
            const size_t cell = size_t(row) * size_t(columns) + size_t(column);
            cells.luminance[cell] = 0.2126f * r + 0.7152f * g + 0.0722f * b;
            cells.red[cell] = std::max(0.0f, (r - g - b) * 320.0f);
            cells.saturatedRed[cell] = r + g + b > 0 && r >= saturatedShare * (r + g + b);
        }
    }
    return cells;
}

FlashAnalysis::FlashAnalysis(QSize grid, int fps)
    : grid(grid), fps(std::max(1, fps)),
      fieldWidth(std::max(1, int(std::lround(grid.width() / 3.0)))),
      fieldHeight(std::max(1, int(std::lround(grid.height() / 3.0))))
{
    const size_t count = size_t(grid.width()) * size_t(grid.height());
    frameSeconds.resize(size_t(this->fps));
    for (Kind *kind : {&general, &red}) {
        kind->swings.resize(count);
        kind->transitions.assign(count, 0);
        kind->lastSecond.resize(size_t(this->fps));
    }
}

// A zigzag: the change under way runs from its pivot to the furthest value
// reached since; once the value comes back from there by a whole step, that
// extreme is the pivot of a change the other way. Each change is counted once,
// in the frame in which it first meets the thresholds.
bool FlashAnalysis::follow(Swing &swing, float value, bool saturated, FlashKind kind) const
{
    if (swing.direction == 0) {
        // Not yet moved by a step: pivot holds the lowest value, extreme the highest.
        if (value < swing.pivot) {
            swing.pivot = value;
            swing.pivotRed = saturated;
        }
        if (value > swing.extreme) {
            swing.extreme = value;
            swing.extremeRed = saturated;
        }
        if (!bigEnough(swing.extreme - swing.pivot, kind))
            return false;
        if (value == swing.pivot) {
            std::swap(swing.pivot, swing.extreme);
            std::swap(swing.pivotRed, swing.extremeRed);
            swing.direction = -1;
        } else {
            swing.direction = 1;
        }
    } else if (swing.direction > 0 ? value >= swing.extreme : value <= swing.extreme) {
        swing.extreme = value;
        swing.extremeRed = saturated;
    } else if (bigEnough(std::fabs(swing.extreme - value), kind)) {
        swing.pivot = swing.extreme;
        swing.pivotRed = swing.extremeRed;
        swing.extreme = value;
        swing.extremeRed = saturated;
        swing.direction = int8_t(-swing.direction);
        swing.counted = false;
    }
    if (swing.counted || !bigEnough(std::fabs(swing.extreme - swing.pivot), kind))
        return false;
    const bool counts = kind == FlashKind::General ? std::min(swing.pivot, swing.extreme) < darkBelow
                                                   : swing.pivotRed || swing.extremeRed;
    swing.counted = counts;
    return counts;
}

void FlashAnalysis::add(const FlashCells &cells, double seconds)
{
    const size_t count = general.swings.size();
    Q_ASSERT_X(cells.grid == grid, "FlashAnalysis::add", "cells measured on another grid");
    if (cells.luminance.size() != count)
        return;
    if (frameCount == 0) {
        for (size_t cell = 0; cell < count; ++cell) {
            general.swings[cell].pivot = general.swings[cell].extreme = cells.luminance[cell];
            red.swings[cell].pivot = red.swings[cell].extreme = cells.red[cell];
            red.swings[cell].pivotRed = red.swings[cell].extremeRed = cells.saturatedRed[cell] != 0;
        }
    }
    // The slot of the frame one second back, which leaves the window now.
    const size_t slot = size_t(frameCount % fps);
    frameSeconds[slot] = seconds;
    for (Kind *kind : {&general, &red}) {
        std::vector<int> &leaving = kind->lastSecond[slot];
        for (int cell : leaving)
            --kind->transitions[size_t(cell)];
        leaving.clear();
    }
    for (size_t cell = 0; cell < count; ++cell) {
        if (follow(general.swings[cell], cells.luminance[cell], false, FlashKind::General)) {
            general.lastSecond[slot].push_back(int(cell));
            ++general.transitions[cell];
        }
        if (follow(red.swings[cell], cells.red[cell], cells.saturatedRed[cell] != 0, FlashKind::Red)) {
            red.lastSecond[slot].push_back(int(cell));
            ++red.transitions[cell];
        }
    }
    ++frameCount;
    const double windowStart = frameCount < fps ? frameSeconds[0] : frameSeconds[size_t(frameCount % fps)];
    judge(general, FlashKind::General, windowStart);
    judge(red, FlashKind::Red, windowStart);
}

// The most flashes (pairs of transitions) that every cell of more than a
// quarter of some field reaches in the window; 0 when it is not above the limit.
int FlashAnalysis::flashesOverAQuarterField(const std::vector<int> &transitions) const
{
    const int columns = grid.width();
    const int rows = grid.height();
    const int fieldCells = fieldWidth * fieldHeight;
    int reached = 0;
    for (int flashes = mostAllowed + 1;; ++flashes) {
        const int needed = 2 * flashes;
        if (std::count_if(transitions.begin(), transitions.end(), [needed](int t) { return t >= needed; }) * 4
            <= fieldCells)
            return reached;
        // Cells reaching that many, summed over every rectangle from the corner.
        summed.assign(size_t(columns + 1) * size_t(rows + 1), 0);
        const auto at = [&](int x, int y) -> int & { return summed[size_t(y) * size_t(columns + 1) + size_t(x)]; };
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x)
                at(x + 1, y + 1) = at(x, y + 1) + at(x + 1, y) - at(x, y)
                                   + (transitions[size_t(y) * size_t(columns) + size_t(x)] >= needed ? 1 : 0);
        int most = 0;
        for (int y = 0; y + fieldHeight <= rows; ++y)
            for (int x = 0; x + fieldWidth <= columns; ++x)
                most = std::max(most, at(x + fieldWidth, y + fieldHeight) - at(x, y + fieldHeight)
                                          - at(x + fieldWidth, y) + at(x, y));
        if (most * 4 <= fieldCells)
            return reached;
        reached = flashes;
    }
}

void FlashAnalysis::judge(Kind &kind, FlashKind which, double windowStart)
{
    const int flashes = flashesOverAQuarterField(kind.transitions);
    if (flashes == 0) {
        if (kind.open)
            closed.push_back(kind.running);
        kind.open = false;
        return;
    }
    if (!kind.open) {
        kind.open = true;
        kind.running = FlashStretch{which, flashes, windowStart, windowStart, windowStart};
    } else if (flashes > kind.running.count) {
        kind.running.count = flashes;
        kind.running.peakStart = windowStart;
    }
    kind.running.lastStart = windowStart;
}

std::vector<FlashStretch> FlashAnalysis::stretches() const
{
    std::vector<FlashStretch> all = closed;
    for (const Kind *kind : {&general, &red})
        if (kind->open)
            all.push_back(kind->running);
    std::stable_sort(all.begin(), all.end(),
                     [](const FlashStretch &a, const FlashStretch &b) { return a.firstStart < b.firstStart; });
    return all;
}

QString describeFlashStretch(const FlashStretch &stretch)
{
    return QStringLiteral("%1 s: %2 %3 flashes in one second (windows starting %4 to %5 s)")
        .arg(stretch.peakStart, 0, 'f', 2)
        .arg(stretch.count)
        .arg(stretch.kind == FlashKind::Red ? "red" : "general")
        .arg(stretch.firstStart, 0, 'f', 2)
        .arg(stretch.lastStart, 0, 'f', 2);
}

QString flashCheckSummary(const std::vector<FlashStretch> &stretches, int frames, double fromSeconds,
                          double toSeconds, QSize size, int fps)
{
    const QString looked = QStringLiteral("%1 frames from %2 to %3 s at %4x%5, %6 fps")
                               .arg(frames)
                               .arg(fromSeconds, 0, 'f', 2)
                               .arg(toSeconds, 0, 'f', 2)
                               .arg(size.width())
                               .arg(size.height())
                               .arg(fps);
    if (stretches.empty())
        return QStringLiteral("flash check passed: no second holds more than 3 flashes over a quarter of "
                              "a field; %1").arg(looked);
    const auto red = std::count_if(stretches.begin(), stretches.end(),
                                   [](const FlashStretch &s) { return s.kind == FlashKind::Red; });
    return QStringLiteral("flash check FAILED: %1 stretch%2 of seconds with more than 3 flashes over a "
                          "quarter of a field (%3 general, %4 red); %5")
        .arg(stretches.size())
        .arg(stretches.size() == 1 ? "" : "es")
        .arg(qint64(stretches.size()) - red)
        .arg(red)
        .arg(looked);
}

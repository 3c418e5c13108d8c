// Flashes in a run of video frames, judged by the published thresholds for
// photosensitive viewers. A general flash is a pair of opposing changes of
// 0.1 or more in relative luminance whose darker state is below 0.8; a red
// flash is a pair of opposing changes of more than 20 in (R - G - B) * 320
// (linear values, negative taken as 0) with a saturated red, R / (R + G + B)
// >= 0.8, at one end. More than 3 flashes in one second fail when they cover
// more than a quarter of a 10-degree field, taken as a third of the frame's
// width and height, wherever it lies.
// Pure arithmetic on images: nothing here paints, reads files or prints.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <vector>

// A frame brought down to a grid of cells, each the mean of its pixels in linear light.
struct FlashCells {
    QSize grid;
    std::vector<float> luminance;       // relative luminance, 0 to 1
    std::vector<float> red;             // (R - G - B) * 320, 0 where negative
    std::vector<uint8_t> saturatedRed;  // R / (R + G + B) >= 0.8
};

// 160 x 90 cells (a cell is 12 x 12 pixels at 1920 x 1080), or the frame's
// own pixels in a direction where it has fewer: fine enough for the area
// rule, cheap enough for every frame of the song.
QSize flashGrid(QSize frame);

// Any image format; RGB888 and RGB32 are read without a copy.
FlashCells measureFlashCells(const QImage &frame, QSize grid);

enum class FlashKind { General, Red };

// Consecutive one-second windows that each hold more than 3 flashes of one
// kind over more than a quarter of a field.
struct FlashStretch {
    FlashKind kind = FlashKind::General;
    int count = 0;          // the most flashes one of its windows holds
    double peakStart = 0;   // where the first window holding that many starts, in song seconds
    double firstStart = 0;  // where its first and last windows start
    double lastStart = 0;
};

class FlashAnalysis {
public:
    FlashAnalysis(QSize grid, int fps);

    // The frames in order, each with its song time in seconds.
    void add(const FlashCells &cells, double seconds);

    // Every stretch so far, in order of their start.
    std::vector<FlashStretch> stretches() const;
    int frames() const { return frameCount; }

private:
    // One cell's value followed from extreme to extreme.
    struct Swing {
        float pivot = 0;       // where the current change began
        float extreme = 0;     // how far it has gone
        bool pivotRed = false; // saturated red at either end
        bool extremeRed = false;
        int8_t direction = 0;  // +1 rising, -1 falling, 0 not yet moved by a whole step
        bool counted = false;  // the current change is already a transition
    };
    struct Kind {
        std::vector<Swing> swings;
        std::vector<int> transitions;             // per cell, within the last second
        std::vector<std::vector<int>> lastSecond; // per frame of the last second: cells with a transition
        bool open = false;                        // a stretch is running
        FlashStretch running;
    };

    bool follow(Swing &swing, float value, bool red, FlashKind kind) const;
    int flashesOverAQuarterField(const std::vector<int> &transitions) const;
    void judge(Kind &kind, FlashKind which, double windowStart);

    QSize grid;
    int fps;
    int fieldWidth;
    int fieldHeight;
    int frameCount = 0;
    std::vector<double> frameSeconds;  // per frame of the last second
    Kind general;
    Kind red;
    std::vector<FlashStretch> closed;
    mutable std::vector<int> summed;   // scratch: the area rule's running sums
};

// "66.40 s: 6 red flashes in one second (windows starting 65.93 to 66.57 s)"
QString describeFlashStretch(const FlashStretch &stretch);
// One line on the whole check: passed or not, and what was looked at.
QString flashCheckSummary(const std::vector<FlashStretch> &stretches, int frames, double fromSeconds,
                          double toSeconds, QSize size, int fps);

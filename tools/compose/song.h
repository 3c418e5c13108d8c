// The module as plain data: what the score produces and the XM writer stores.
// Knows nothing of synthesis or of the file layout; a cell holds the five
// tracker columns with their XM meanings (note 1..96 = C-0..B-7, 97 = key-off).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace compose {

constexpr uint8_t kKeyOff = 97;

struct Cell {
    uint8_t note = 0;        // 0 = none
    uint8_t instrument = 0;  // 1-based, 0 = none (repeat the channel's instrument)
    uint8_t volume = 0;      // volume column byte: 0 = none, 0x10 + v sets volume v
    uint8_t effect = 0;
    uint8_t param = 0;
    bool empty() const { return !note && !instrument && !volume && !effect && !param; }
};

struct Pattern {
    int rows = 64;
    int channels = 8;
    std::vector<Cell> cells;  // row-major: cells[row * channels + channel]
    Pattern() = default;
    Pattern(int rows_, int channels_) : rows(rows_), channels(channels_), cells(rows_ * channels_) {}
    Cell& at(int row, int channel) { return cells.at(row * channels + channel); }
    const Cell& at(int row, int channel) const { return cells.at(row * channels + channel); }
};

struct Sample {
    std::vector<int16_t> pcm16;  // used when !eightBit
    std::vector<int8_t> pcm8;    // used when eightBit
    bool eightBit = false;
    bool forwardLoop = false;    // loops over the whole sample
    int8_t relativeNote = 0;
    int8_t finetune = 0;
    uint8_t volume = 64;
    uint8_t panning = 128;
    int frames() const { return eightBit ? int(pcm8.size()) : int(pcm16.size()); }
};

struct Instrument {
    std::string name;  // at most 22 characters
    Sample sample;
};

struct Song {
    std::string name;  // at most 20 characters
    int channels = 8;
    int restart = 0;
    int tempo = 6;
    int bpm = 170;
    bool linearFrequencies = true;
    std::vector<uint8_t> order;
    std::vector<Pattern> patterns;  // index = pattern number
    std::vector<Instrument> instruments;  // index + 1 = XM instrument number
};

}  // namespace compose

// A tracker page written as text. Each lane is one part on one channel: a
// string with one character per row, looked up in the lane's legend ('.' and
// '-' are empty rows; spaces and '|' only group beats and bars). Optional
// strings under it add a panning command (a hex digit d gives 8xx with
// xx = d * 0x11), a volume (hex digit d gives volume 4d, 'G' gives 64) or an
// effect from the lane's own effect legend. Several lanes may share a channel
// as long as they never write the same column of the same row.
#pragma once

#include "song.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace compose {

using Legend = std::map<char, Cell>;
using EffectLegend = std::map<char, std::pair<uint8_t, uint8_t>>;  // effect, parameter

struct Lane {
    int channel = 0;
    Legend legend;
    std::string notes;
    std::string pans = {};
    std::string volumes = {};
    std::string effects = {};
    EffectLegend effectLegend = {};
};

// "C-4", "F#4" -> XM note value (C-0 = 1); "^^^" -> key-off.
uint8_t noteValue(const std::string& name);

// A note cell: note name, instrument (0 = repeat the channel's) and volume
// (-1 = no volume column).
Cell cell(const std::string& note, int instrument, int volume = -1);

// Throws std::invalid_argument naming the pattern and lane on any clash,
// unknown character or lane longer than the pattern.
Pattern buildPattern(const std::string& name, int rows, int channels, const std::vector<Lane>& lanes);

// The characters of a lane string that stand for rows.
std::string rowsOf(const std::string& text);

}  // namespace compose

#include "tracker.h"

#include <cctype>
#include <stdexcept>

namespace compose {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isRest(char c) { return c == '.' || c == '-'; }

}  // namespace

std::string rowsOf(const std::string& text) {
    std::string rows;
    for (char c : text)
        if (c != ' ' && c != '|' && c != '\n') rows.push_back(c);
    return rows;
}

uint8_t noteValue(const std::string& name) {
    if (name == "^^^") return kKeyOff;
    static const char* names[] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    if (name.size() == 3 && std::isdigit(static_cast<unsigned char>(name[2])))
        for (int s = 0; s < 12; ++s)
            if (name.compare(0, 2, names[s]) == 0) {
                const int value = 12 * (name[2] - '0') + s + 1;
                if (value <= 96) return uint8_t(value);
            }
    throw std::invalid_argument("not a note name: " + name);
}

Cell cell(const std::string& note, int instrument, int volume) {
    Cell c;
    c.note = noteValue(note);
    c.instrument = uint8_t(instrument);
    if (volume >= 0) c.volume = uint8_t(0x10 + volume);
    return c;
}

Pattern buildPattern(const std::string& name, int rows, int channels, const std::vector<Lane>& lanes) {
    Pattern p(rows, channels);
    for (size_t l = 0; l < lanes.size(); ++l) {
        const Lane& lane = lanes[l];
        const std::string where = name + ", lane " + std::to_string(l) + " (channel " + std::to_string(lane.channel) + ")";
        if (lane.channel < 0 || lane.channel >= channels)
            throw std::invalid_argument(where + ": no such channel");
        auto check = [&](const std::string& text, const char* what) {
            const std::string r = rowsOf(text);
            if (int(r.size()) > rows)
                throw std::invalid_argument(where + ": " + what + " has " + std::to_string(r.size()) +
                                            " rows, the pattern " + std::to_string(rows));
            return r;
        };
        const std::string notes = check(lane.notes, "notes");
        const std::string pans = check(lane.pans, "pans");
        const std::string volumes = check(lane.volumes, "volumes");
        const std::string effects = check(lane.effects, "effects");
        auto clash = [&](int row, const char* column) {
            throw std::invalid_argument(where + ", row " + std::to_string(row) + ": " + column + " already set");
        };
        for (int row = 0; row < rows; ++row) {
            Cell& c = p.at(row, lane.channel);
            if (row < int(notes.size()) && !isRest(notes[row])) {
                const auto it = lane.legend.find(notes[row]);
                if (it == lane.legend.end())
                    throw std::invalid_argument(where + ", row " + std::to_string(row) + ": '" +
                                                std::string(1, notes[row]) + "' is not in the legend");
                const Cell& n = it->second;
                if (c.note || c.instrument) clash(row, "note");
                if (n.volume && c.volume) clash(row, "volume");
                if ((n.effect || n.param) && (c.effect || c.param)) clash(row, "effect");
                c.note = n.note;
                c.instrument = n.instrument;
                if (n.volume) c.volume = n.volume;
                if (n.effect || n.param) { c.effect = n.effect; c.param = n.param; }
            }
            if (row < int(pans.size()) && !isRest(pans[row])) {
                const int d = hexDigit(pans[row]);
                if (d < 0) throw std::invalid_argument(where + ", row " + std::to_string(row) + ": bad pan digit");
                if (c.effect || c.param) clash(row, "effect");
                c.effect = 0x8;
                c.param = uint8_t(d * 0x11);
            }
            if (row < int(volumes.size()) && !isRest(volumes[row])) {
                const int d = volumes[row] == 'G' ? 16 : hexDigit(volumes[row]);
                if (d < 0) throw std::invalid_argument(where + ", row " + std::to_string(row) + ": bad volume digit");
                c.volume = uint8_t(0x10 + d * 4);  // overrides the legend's volume
            }
            if (row < int(effects.size()) && !isRest(effects[row])) {
                const auto it = lane.effectLegend.find(effects[row]);
                if (it == lane.effectLegend.end())
                    throw std::invalid_argument(where + ", row " + std::to_string(row) + ": effect '" +
                                                std::string(1, effects[row]) + "' is not in the legend");
                if (c.effect || c.param) clash(row, "effect");
                c.effect = it->second.first;
                c.param = it->second.second;
            }
        }
    }
    return p;
}

}  // namespace compose

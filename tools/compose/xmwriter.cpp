#include "xmwriter.h"

#include <stdexcept>
#include <string>

namespace compose {
namespace {

class Bytes {
public:
    void u8(unsigned v) { out.push_back(uint8_t(v)); }
    void u16(unsigned v) { u8(v & 0xFF); u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
    void text(const std::string& s, size_t width) {
        if (s.size() > width)
            throw std::invalid_argument("text too long for its field: " + s);
        out.insert(out.end(), s.begin(), s.end());
        out.insert(out.end(), width - s.size(), 0);
    }
    void zeros(size_t n) { out.insert(out.end(), n, 0); }
    std::vector<uint8_t> out;
};

// FT2's packing: a leading byte with bit 7 set says which columns follow;
// a cell with all five columns is stored plainly, which is shorter.
void packCell(Bytes& b, const Cell& c) {
    const bool has[5] = {c.note != 0, c.instrument != 0, c.volume != 0, c.effect != 0, c.param != 0};
    const uint8_t value[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
    if (has[0] && has[1] && has[2] && has[3] && has[4]) {
        for (uint8_t v : value) b.u8(v);
        return;
    }
    unsigned mask = 0x80;
    for (int i = 0; i < 5; ++i)
        if (has[i]) mask |= 1u << i;
    b.u8(mask);
    for (int i = 0; i < 5; ++i)
        if (has[i]) b.u8(value[i]);
}

void writePattern(Bytes& b, const Pattern& p, int channels) {
    if (p.rows < 1 || p.rows > 256)
        throw std::invalid_argument("pattern rows out of range: " + std::to_string(p.rows));
    if (p.channels != channels)
        throw std::invalid_argument("pattern channel count differs from the song's");
    Bytes data;
    for (const Cell& c : p.cells) {
        if (c.note > kKeyOff)
            throw std::invalid_argument("note value out of range: " + std::to_string(c.note));
        packCell(data, c);
    }
    if (data.out.size() > 0xFFFF)
        throw std::invalid_argument("packed pattern too large");
    b.u32(9);
    b.u8(0);
    b.u16(p.rows);
    b.u16(unsigned(data.out.size()));
    b.out.insert(b.out.end(), data.out.begin(), data.out.end());
}

void writeInstrument(Bytes& b, const Instrument& in) {
    const Sample& s = in.sample;
    b.u32(263);
    b.text(in.name, 22);
    b.u8(0);     // type
    b.u16(1);    // one sample
    b.u32(40);   // sample header size
    b.zeros(96); // every note plays sample 0
    b.zeros(48); // volume envelope points
    b.zeros(48); // panning envelope points
    b.u8(0); b.u8(0);            // point counts
    b.u8(0); b.u8(0); b.u8(0);   // volume sustain, loop start, loop end
    b.u8(0); b.u8(0); b.u8(0);   // panning sustain, loop start, loop end
    b.u8(0); b.u8(0);            // both envelopes off
    b.u8(0); b.u8(0); b.u8(0); b.u8(0);  // no auto-vibrato
    b.u16(32767);                // fadeout
    b.zeros(22);

    const uint32_t bytesPerFrame = s.eightBit ? 1 : 2;
    const uint32_t length = uint32_t(s.frames()) * bytesPerFrame;
    b.u32(length);
    b.u32(0);                           // loop start
    b.u32(s.forwardLoop ? length : 0);  // loop length
    b.u8(s.volume);
    b.u8(uint8_t(s.finetune));
    b.u8((s.forwardLoop ? 1 : 0) | (s.eightBit ? 0 : 0x10));
    b.u8(s.panning);
    b.u8(uint8_t(s.relativeNote));
    b.u8(0);
    b.text("", 22);
}

// Sample data is stored as differences from the previous value.
void writeSampleData(Bytes& b, const Sample& s) {
    if (s.eightBit) {
        int8_t previous = 0;
        for (int8_t v : s.pcm8) {
            b.u8(uint8_t(int8_t(v - previous)));
            previous = v;
        }
    } else {
        int16_t previous = 0;
        for (int16_t v : s.pcm16) {
            b.u16(uint16_t(int16_t(v - previous)));
            previous = v;
        }
    }
}

}  // namespace

std::vector<uint8_t> writeXm(const Song& song) {
    if (song.order.empty() || song.order.size() > 256)
        throw std::invalid_argument("order list must hold 1 to 256 positions");
    if (song.channels < 2 || song.channels > 32 || song.channels % 2)
        throw std::invalid_argument("channel count must be even, 2 to 32");
    if (song.instruments.size() > 128)
        throw std::invalid_argument("at most 128 instruments");
    for (uint8_t p : song.order)
        if (p >= song.patterns.size())
            throw std::invalid_argument("order list names a missing pattern");

    Bytes b;
    b.text("Extended Module: ", 17);
    b.text(song.name, 20);
    b.u8(0x1A);
    b.text("FastTracker v2.00", 20);
    b.u16(0x0104);
    b.u32(276);
    b.u16(unsigned(song.order.size()));
    b.u16(song.restart);
    b.u16(song.channels);
    b.u16(unsigned(song.patterns.size()));
    b.u16(unsigned(song.instruments.size()));
    b.u16(song.linearFrequencies ? 1 : 0);
    b.u16(song.tempo);
    b.u16(song.bpm);
    for (size_t i = 0; i < 256; ++i)
        b.u8(i < song.order.size() ? song.order[i] : 0);

    for (const Pattern& p : song.patterns)
        writePattern(b, p, song.channels);
    for (const Instrument& in : song.instruments) {
        writeInstrument(b, in);
        writeSampleData(b, in.sample);
    }
    return b.out;
}

}  // namespace compose

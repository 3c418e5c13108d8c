#include "orchestra.h"

#include "synth.h"

#include <string>

namespace compose {
namespace {

using namespace synth;

// Most samples are recorded at 44.1 kHz and tuned so that C-4 plays them
// back at that rate (relative note 29, finetune -28 comes to 44,094 Hz).
Instrument recorded(const std::string& name, const std::vector<int16_t>& pcm) {
    Instrument in;
    in.name = name;
    in.sample.pcm16 = pcm;
    in.sample.relativeNote = 29;
    in.sample.finetune = -28;
    return in;
}

// The knife and sword slots are tuned an octave and a half higher
// (relative note 42, finetune 32): C-3 plays them back at 48 kHz.
constexpr double kKnifeRate = 48000.0;
Instrument knife(const std::vector<int16_t>& pcm) {
    Instrument in;
    in.sample.pcm16 = pcm;
    in.sample.relativeNote = 42;
    in.sample.finetune = 32;
    return in;
}

Metal parry(double baseHz, double ring, double length, uint64_t seed, double echo = 0) {
    Metal m;
    m.baseHz = baseHz;
    m.ring = ring;
    m.length = length;
    m.seed = seed;
    m.echo = echo;
    m.echoDelay = 0.05;
    return m;
}

Metal drawn(double fromHz, double toHz, double scrape, double baseHz, double length, uint64_t seed) {
    Metal m;
    m.scrape = scrape;
    m.scrapeFromHz = fromHz;
    m.scrapeToHz = toHz;
    m.baseHz = baseHz;
    m.ring = 0.55;
    m.brightness = 0.9;
    m.length = length;
    m.seed = seed;
    return m;
}

Whoosh swing(double lowHz, double highHz, double length, double peakAt, uint64_t seed, double whistle = 0) {
    Whoosh w;
    w.lowHz = lowHz;
    w.highHz = highHz;
    w.length = length;
    w.peakAt = peakAt;
    w.seed = seed;
    w.ring = whistle;
    w.ringHz = 1900;
    return w;
}

// A sword-on-sword clash: the bigger the parry, the lower and longer it rings.
std::vector<int16_t> clash(const Metal& m) { return toPcm16(metal(m), 0.9, 0.3 * m.length, m.rate); }
std::vector<int16_t> swish(const Whoosh& w) { return toPcm16(whoosh(w), 0.9, 0.03); }

std::vector<Instrument> swords() {
    std::vector<Instrument> s;
    auto add = [&](const std::vector<int16_t>& pcm) {
        s.push_back(recorded("Sword " + std::to_string(s.size() + 1), pcm));
    };
    add(clash(parry(620, 0.55, 0.9, 301, 0.35)));   // 3: parry, heavy
    add(clash(parry(1650, 0.22, 0.45, 302)));       // 4: parry, light
    add(clash(parry(1500, 0.20, 0.35, 303)));       // 5
    add(clash(parry(980, 0.35, 0.6, 304, 0.4)));    // 6: parry, medium
    add(clash(parry(1820, 0.20, 0.4, 305)));        // 7: parry, light
    add(clash(parry(760, 0.45, 0.7, 306)));         // 8: parry, broad
    {                                               // 9: parry, the heaviest
        Metal m = parry(430, 0.8, 1.2, 307, 0.3);
        m.thudHz = 90;
        m.thud = 0.4;
        m.extraModes = 14;
        add(clash(m));
    }
    add(clash(parry(1250, 0.30, 0.5, 308)));        // 10: parry, medium-light
    add(clash(parry(640, 0.40, 0.4, 309)));         // 11
    add(clash(parry(1950, 0.18, 0.35, 310)));       // 12: parry, light
    add(clash(drawn(1800, 6500, 0.38, 1100, 1.0, 311)));  // 13: sword drawn
    add(clash(parry(1550, 0.25, 0.4, 312)));        // 14: parry, light
    add(clash(parry(1000, 0.30, 0.35, 313)));       // 15
    add(clash(drawn(1500, 5500, 0.50, 900, 1.1, 314)));   // 16: sword drawn, slow
    add(clash(drawn(2200, 8000, 0.30, 1300, 0.9, 315)));  // 17: sword drawn, quick
    {                                               // 18: a blade tapped
        Metal m = parry(2200, 0.10, 0.25, 316);
        m.impact = 0.3;
        add(clash(m));
    }
    {                                               // 19: a bright tick, also the hi-hat
        Metal m = parry(3600, 0.05, 0.15, 317);
        m.impact = 1.2;
        m.impactDecay = 0.02;
        m.brightness = 1.0;
        add(clash(m));
    }
    add(clash(parry(900, 0.38, 0.6, 318, 0.4)));    // 20: parry, medium
    {                                               // 21: a blade sliding off
        Metal m = drawn(3000, 7000, 0.2, 2500, 0.35, 319);
        m.ring = 0.1;
        add(clash(m));
    }
    add(swish(swing(320, 2000, 0.42, 0.38, 320)));  // 22: miss
    add(clash(parry(1720, 0.24, 0.4, 321)));        // 23: parry, light
    add(clash(parry(1180, 0.30, 0.5, 322)));        // 24: parry, medium-light
    add(swish(swing(260, 1600, 0.55, 0.45, 323, 0.15)));  // 25: miss, a wide swing
    add(swish(swing(450, 2800, 0.30, 0.35, 324)));  // 26: miss, quick
    add(clash(parry(700, 0.50, 0.75, 325, 0.35)));  // 27: parry, broad
    {                                               // 28: the killing blow
        Metal m = parry(380, 0.9, 1.5, 326, 0.5);
        m.echoDelay = 0.06;
        m.thudHz = 75;
        m.thud = 0.7;
        m.impact = 0.8;
        m.extraModes = 16;
        add(clash(m));
    }
    return s;
}

Instrument square() {
    Instrument in;
    in.name = "Square";
    in.sample.eightBit = true;
    in.sample.forwardLoop = true;
    in.sample.pcm8 = squareCycle(64, 40);
    return in;
}

Instrument knifeHit(double baseHz, double ring, double length, double thud, uint64_t seed, double echo = 0) {
    Metal m = parry(baseHz, ring, length, seed, echo);
    m.rate = kKnifeRate;
    m.thudHz = 110;
    m.thud = thud;
    m.impact = 0.9;
    return knife(clash(m));
}

}  // namespace

std::vector<Instrument> orchestra() {
    std::vector<Instrument> all;
    all.push_back(recorded("Kick", toPcm16(kick(Kick{}), 0.95)));
    all.push_back(recorded("Snazzre", toPcm16(snare(Snare{}), 0.9)));
    for (Instrument& s : swords()) all.push_back(s);
    all.push_back(square());                                              // 29
    all.push_back(recorded("", toPcm16(bass(Bass{}), 0.9)));              // 30
    all.push_back(recorded("", toPcm16(flute(Flute{}), 0.9)));            // 31
    {
        Drum high;
        high.hz = 340; high.endHz = 315; high.decay = 0.17; high.length = 0.4; high.seed = 32;
        all.push_back(recorded("", toPcm16(drum(high), 0.9)));           // 32: conga, high
    }
    all.push_back(recorded("", toPcm16(shaker(Shaker{}), 0.9)));          // 33: shaker
    {
        Drum low;
        low.hz = 225; low.endHz = 205; low.decay = 0.2; low.length = 0.45; low.seed = 34;
        all.push_back(recorded("", toPcm16(drum(low), 0.9)));            // 34: conga, low
    }
    {
        Drum taiko;
        taiko.hz = 100; taiko.endHz = 68; taiko.bend = 0.05; taiko.decay = 0.32;
        taiko.mode2 = 1.5; taiko.slap = 0.45; taiko.slapHz = 1100; taiko.length = 0.8; taiko.seed = 35;
        all.push_back(recorded("", toPcm16(drum(taiko), 0.9, 0.1)));     // 35: taiko
    }
    all.push_back(recorded("", toPcm16(scream(Scream{}), 0.9, 0.05)));   // 36
    {
        Instrument empty = recorded("", {});                              // 37
        empty.sample.relativeNote = 17;
        all.push_back(empty);
    }
    all.push_back(recorded("", toPcm16(fightNoise(FightNoise{}), 0.9, 0.2)));  // 38
    all.push_back(knifeHit(2600, 0.18, 0.30, 0.0, 339));                 // 39
    {
        Metal m = drawn(4000, 9000, 0.15, 3000, 0.3, 340);                // 40: knife drawn
        m.rate = kKnifeRate;
        all.push_back(knife(clash(m)));
    }
    all.push_back(knifeHit(2100, 0.30, 0.50, 0.5, 341));                 // 41: knife stab
    all.push_back(knifeHit(2900, 0.22, 0.40, 0.4, 342));                 // 42: knife slash
    all.push_back(knifeHit(3300, 0.12, 0.25, 0.2, 343));                 // 43
    all.push_back(knifeHit(1500, 0.45, 0.70, 0.6, 344, 0.4));            // 44: sword through
    return all;
}

}  // namespace compose

// Sound synthesis for the module's instruments: pure functions from a small
// parameter record to a mono waveform in -1..1. No file format, no score and
// no global state here; every random choice comes from a seed in the record.
#pragma once

#include <cstdint>
#include <vector>

namespace synth {

using Wave = std::vector<float>;

constexpr double kRate = 44100.0;  // the rate at which a C-4 plays most samples back

// A small deterministic generator (splitmix64) so that a seed fixes a sound.
class Rng {
public:
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t next();
    double uniform();                     // [0, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    double bipolar() { return 2.0 * uniform() - 1.0; }
private:
    uint64_t state;
};

struct Kick {
    double startHz = 150, endHz = 44, sweep = 0.045;  // pitch drop and its time constant
    double decay = 0.20, click = 0.45, drive = 1.6;
    double length = 0.45;
};

struct Snare {
    double toneHz = 185, toneDecay = 0.055;
    double noiseHz = 3800, noiseDecay = 0.15, noise = 0.9, drive = 3.0;
    double length = 0.38;
    uint64_t seed = 2;
};

// A struck or scraped piece of metal: a bank of inharmonic resonant modes
// excited by a short burst (a hit) or by a rising band of noise (a scrape).
struct Metal {
    double baseHz = 900;       // lowest mode
    double ring = 0.45;        // decay time constant of the lowest mode, seconds
    int extraModes = 10;       // random inharmonic modes above the bar modes
    double brightness = 0.8;   // 0..1: how loud the high modes are
    double impact = 0.5;       // level of the noise burst of the contact
    double impactDecay = 0.012;
    double thudHz = 0, thud = 0;      // a low body hit under the clang (kills)
    double echoDelay = 0, echo = 0;   // a second, weaker contact (blade sliding on)
    double scrape = 0;         // seconds of scraping excitation before the ring
    double scrapeFromHz = 2000, scrapeToHz = 7000;
    double length = 0.6;
    double rate = kRate;
    uint64_t seed = 1;
};

// A blade cutting air: band-passed noise whose band sweeps up and down.
struct Whoosh {
    double lowHz = 350, highHz = 2200, length = 0.42, peakAt = 0.38, q = 1.6;
    double ringHz = 0, ring = 0;  // a faint whistle of the blade
    uint64_t seed = 3;
};

struct Bass {
    double hz = 65.406;  // C2: the note C-4 plays it
    double length = 1.6, cutoffFrom = 1400, cutoffTo = 260, cutoffTime = 0.18;
    double detune = 0.004;
};

struct Flute {
    double hz = 261.626;  // C4 at C-4
    double length = 4.0, attack = 0.07, vibratoHz = 3.4, vibratoDepth = 0.006;
    double breath = 0.06, chiff = 0.25;
    uint64_t seed = 4;
};

// A hand drum: a membrane whose pitch falls a little, a second mode, a slap.
struct Drum {
    double hz = 330, endHz = 300, bend = 0.03, decay = 0.16;
    double mode2 = 1.59, mode2Level = 0.35, slap = 0.35, slapHz = 2500;
    double length = 0.4;
    uint64_t seed = 5;
};

struct Shaker {
    double length = 0.16, attack = 0.012, decay = 0.045, lowCutHz = 5000;
    uint64_t seed = 6;
};

// A voice through vowel formants, pitch rising into a held cry and falling.
struct Scream {
    double fromHz = 330, peakHz = 610, endHz = 280, length = 1.7, rasp = 0.25;
    uint64_t seed = 7;
};

// A long field recording of a fight: rumble, distant clashes, blades in the air.
struct FightNoise {
    double length = 13.9;
    double eventsPerSecond = 3.2;
    uint64_t seed = 8;
};

Wave kick(const Kick&);
Wave snare(const Snare&);
Wave metal(const Metal&);
Wave whoosh(const Whoosh&);
Wave bass(const Bass&);
Wave flute(const Flute&);
Wave drum(const Drum&);
Wave shaker(const Shaker&);
Wave scream(const Scream&);
Wave fightNoise(const FightNoise&);

// One cycle of a square wave, for a looped chip-style lead.
std::vector<int8_t> squareCycle(int frames, int amplitude);

// Scales to the given peak (fraction of full scale), fades the last
// `fadeSeconds` to zero so that no sample ends on a click, and rounds.
std::vector<int16_t> toPcm16(const Wave&, double peak, double fadeSeconds = 0.01,
                             double rate = kRate);

}  // namespace synth

#include "synth.h"

#include <algorithm>
#include <cmath>

namespace synth {
namespace {

constexpr double kTwoPi = 6.283185307179586;

int framesOf(double seconds, double rate = kRate) { return std::max(1, int(std::lround(seconds * rate))); }

// Robert Bristow-Johnson's biquads, direct form I.
class Biquad {
public:
    void bandpass(double hz, double q, double rate = kRate) { design(hz, q, rate, 0); }
    void lowpass(double hz, double q, double rate = kRate) { design(hz, q, rate, 1); }
    void highpass(double hz, double q, double rate = kRate) { design(hz, q, rate, 2); }
    double operator()(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1; x1 = x; y2 = y1; y1 = y;
        return y;
    }
private:
    void design(double hz, double q, double rate, int kind) {
        hz = std::clamp(hz, 10.0, 0.45 * rate);
        const double w = kTwoPi * hz / rate, cw = std::cos(w), alpha = std::sin(w) / (2 * q);
        const double a0 = 1 + alpha;
        if (kind == 0) { b0 = alpha; b1 = 0; b2 = -alpha; }
        else if (kind == 1) { b0 = (1 - cw) / 2; b1 = 1 - cw; b2 = (1 - cw) / 2; }
        else { b0 = (1 + cw) / 2; b1 = -(1 + cw); b2 = (1 + cw) / 2; }
        a1 = -2 * cw;
        a2 = 1 - alpha;
        b0 /= a0; b1 /= a0; b2 /= a0; a1 /= a0; a2 /= a0;
    }
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

double peakOf(const Wave& w) {
    double p = 0;
    for (float v : w) p = std::max(p, double(std::fabs(v)));
    return p;
}

void normalize(Wave& w, double peak = 1.0) {
    const double p = peakOf(w);
    if (p > 0)
        for (float& v : w) v = float(v * peak / p);
}

void mixInto(Wave& dst, const Wave& src, int offset, double gain) {
    for (size_t i = 0; i < src.size() && offset + i < dst.size(); ++i)
        dst[offset + i] += float(src[i] * gain);
}

double smoothstep(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Two-pole resonator tuned so that a unit impulse rings with amplitude `gain`.
struct Mode {
    double c1, c2, in;
    double y1 = 0, y2 = 0;
    Mode(double hz, double tau, double gain, double rate) {
        const double w = kTwoPi * hz / rate, r = std::exp(-1.0 / (tau * rate));
        c1 = 2 * r * std::cos(w);
        c2 = -r * r;
        in = gain * std::sin(w);
    }
    double operator()(double x) {
        const double y = c1 * y1 + c2 * y2 + in * x;
        y2 = y1; y1 = y;
        return y;
    }
};

}  // namespace

uint64_t Rng::next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }

Wave kick(const Kick& p) {
    Wave w(framesOf(p.length));
    Rng rng(11);
    Biquad clickFilter;
    clickFilter.highpass(1800, 0.7);
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        const double hz = p.endHz + (p.startHz - p.endHz) * std::exp(-t / p.sweep);
        phase += kTwoPi * hz / kRate;
        const double body = std::sin(phase) * std::exp(-t / p.decay);
        const double click = clickFilter(rng.bipolar()) * std::exp(-t / 0.004) * p.click;
        w[i] = float(std::tanh(p.drive * (body + click)) / std::tanh(p.drive));
    }
    return w;
}

Wave snare(const Snare& p) {
    Wave w(framesOf(p.length));
    Rng rng(p.seed);
    Biquad band, air;
    band.bandpass(p.noiseHz, 0.6);
    air.highpass(6500, 0.7);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        const double tone = (std::sin(kTwoPi * p.toneHz * t) + 0.5 * std::sin(kTwoPi * p.toneHz * 1.72 * t))
                            * std::exp(-t / p.toneDecay);
        const double n = rng.bipolar();
        const double noise = (band(n) + 0.35 * air(n)) * std::exp(-t / p.noiseDecay)
                             * std::min(1.0, t / 0.0015);
        w[i] = float(0.65 * tone + p.noise * 1.8 * noise);
    }
    // Saturate, as a snare close-miked into a hot preamp: the crack gets
    // thicker without a higher peak.
    normalize(w);
    for (float& v : w) v = float(std::tanh(p.drive * v));
    normalize(w);
    return w;
}

Wave metal(const Metal& p) {
    const double rate = p.rate;
    Rng rng(p.seed);
    Wave w(framesOf(p.length, rate));

    // A free bar's modes give the clang its pitch; random higher modes, some
    // doubled with a slight detune so that they beat, make it sound like steel.
    static const double barRatios[] = {1.0, 2.756, 5.404, 8.933, 13.344};
    std::vector<Mode> modes;
    auto addMode = [&](double ratio, double gain, bool twin) {
        const double hz = p.baseHz * ratio * (1 + 0.002 * rng.bipolar());
        if (hz > 0.42 * rate) return;
        const double tau = p.ring * std::pow(ratio, -0.45) * rng.range(0.6, 1.2);
        const double g = gain * std::pow(ratio, -(1.0 - p.brightness) * 1.2) * rng.range(0.45, 1.0);
        modes.emplace_back(hz, tau, g, rate);
        if (twin)
            modes.emplace_back(hz * (1 + rng.range(0.0015, 0.006)), tau * 0.9, g * 0.6, rate);
    };
    for (double r : barRatios) addMode(r, 1.0, true);
    for (int i = 0; i < p.extraModes; ++i) addMode(rng.range(1.3, 14.0), 0.7, i % 3 == 0);

    const int scrapeFrames = p.scrape > 0 ? framesOf(p.scrape, rate) : 0;
    const int echoAt = p.echo > 0 ? framesOf(p.echoDelay, rate) : -1;
    Biquad scrapeBand, contact;
    contact.highpass(2500, 0.7, rate);
    Wave bank(w.size()), direct(w.size());
    for (int i = 0; i < int(w.size()); ++i) {
        const double t = double(i) / rate;
        double excite = 0;
        if (i < scrapeFrames) {
            // The blade sliding along an edge: noise in a band that climbs.
            const double x = double(i) / scrapeFrames;
            if (i % 32 == 0)
                scrapeBand.bandpass(p.scrapeFromHz * std::pow(p.scrapeToHz / p.scrapeFromHz, x), 4.0, rate);
            const double grain = 0.6 + 0.4 * std::sin(kTwoPi * 47 * t + 3 * std::sin(kTwoPi * 5.3 * t));
            const double s = scrapeBand(rng.bipolar()) * x * x * grain;
            excite += 0.25 * s;
            direct[i] += float(0.6 * s);
        }
        const int hitAt = scrapeFrames;
        const int since = i - hitAt;
        if (since == 0) excite += 1.0;
        if (since >= 0 && since < framesOf(0.004, rate))
            excite += 0.3 * rng.bipolar() * std::exp(-since / (0.0012 * rate));
        if (echoAt >= 0 && i == hitAt + echoAt) excite += p.echo;
        double sum = 0;
        for (Mode& m : modes) sum += m(excite);
        bank[i] = float(sum);
        if (since >= 0) {
            const double ts = since / rate;
            direct[i] += float(contact(rng.bipolar()) * p.impact * std::exp(-ts / p.impactDecay));
            if (p.thud > 0) {
                const double hz = p.thudHz * (1 + 0.6 * std::exp(-ts / 0.02));
                direct[i] += float(p.thud * std::sin(kTwoPi * hz * ts) * std::exp(-ts / 0.08));
            }
        }
    }
    normalize(bank);
    for (size_t i = 0; i < w.size(); ++i) w[i] = bank[i] + direct[i];
    normalize(w);
    return w;
}

Wave whoosh(const Whoosh& p) {
    Wave w(framesOf(p.length));
    Rng rng(p.seed);
    Biquad a, b;
    double whistlePhase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double x = double(i) / w.size();
        // A swing: the band rises as the blade speeds up and falls as it passes.
        const double rise = x < p.peakAt ? x / p.peakAt : (1 - x) / (1 - p.peakAt);
        const double shape = std::sin(0.5 * 3.141592653589793 * rise);
        if (i % 32 == 0) {
            const double hz = p.lowHz * std::pow(p.highHz / p.lowHz, shape);
            a.bandpass(hz, p.q);
            b.bandpass(hz * 1.08, p.q);
        }
        const double env = std::pow(shape, 1.6);
        double v = b(a(rng.bipolar())) * env;
        if (p.ring > 0) {
            whistlePhase += kTwoPi * p.ringHz * (0.85 + 0.3 * shape) / kRate;
            v += p.ring * env * env * std::sin(whistlePhase);
        }
        w[i] = float(v);
    }
    normalize(w);
    return w;
}

Wave bass(const Bass& p) {
    Wave w(framesOf(p.length));
    const int harmonics = int(6000 / p.hz);
    std::vector<double> weight(harmonics + 1);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        if (i % 64 == 0) {
            // A resonant-free two-pole low-pass closing after the pluck.
            const double cutoff = p.cutoffTo + (p.cutoffFrom - p.cutoffTo) * std::exp(-t / p.cutoffTime);
            for (int k = 1; k <= harmonics; ++k) {
                const double r = k * p.hz / cutoff;
                weight[k] = (1.0 / k) / std::sqrt(1 + r * r * r * r);
            }
        }
        double v = 0;
        const double pa = kTwoPi * p.hz * t, pb = kTwoPi * p.hz * (1 + p.detune) * t;
        for (int k = 1; k <= harmonics; ++k)
            v += weight[k] * (std::sin(k * pa) + 0.7 * std::sin(k * pb + 0.3 * k));
        const double env = std::min(1.0, t / 0.004) * (0.7 + 0.3 * std::exp(-t / 0.12)) * std::exp(-t / 2.2);
        const double release = std::min(1.0, (p.length - t) / 0.35);
        w[i] = float(v * env * release);
    }
    normalize(w);
    return w;
}

Wave flute(const Flute& p) {
    Wave w(framesOf(p.length));
    Rng rng(p.seed);
    static const double partials[] = {1.0, 0.32, 0.13, 0.06, 0.03, 0.015};
    Biquad breathBand, chiffBand, air;
    breathBand.bandpass(2 * p.hz, 1.5);
    chiffBand.bandpass(3 * p.hz, 3.0);
    air.highpass(5000, 0.7);
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        // Vibrato comes in after the note has settled, as a player's does.
        const double vib = p.vibratoDepth * smoothstep(0.35, 0.9, t) * std::sin(kTwoPi * p.vibratoHz * t);
        phase += kTwoPi * p.hz * (1 + vib) / kRate;
        double tone = 0;
        for (int k = 0; k < 6; ++k) tone += partials[k] * std::sin((k + 1) * phase);
        const double attack = 1 - std::exp(-t / (p.attack / 3));
        const double swell = 1 + 0.08 * std::sin(kTwoPi * 0.4 * t) * smoothstep(0.2, 1.0, t);
        const double release = 0.5 - 0.5 * std::cos(3.141592653589793 * std::clamp((p.length - t) / 0.6, 0.0, 1.0));
        const double env = attack * swell * release;
        const double n = rng.bipolar();
        const double breath = p.breath * (breathBand(n) * 2.5 + 0.3 * air(n));
        const double chiff = p.chiff * chiffBand(n) * 4 * std::exp(-t / 0.035);
        w[i] = float((tone * (1 + 1.5 * vib) + breath) * env + chiff);
    }
    normalize(w);
    return w;
}

Wave drum(const Drum& p) {
    Wave w(framesOf(p.length));
    Rng rng(p.seed);
    Biquad slap;
    slap.bandpass(p.slapHz, 1.0);
    double phase = 0, phase2 = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        const double hz = p.endHz + (p.hz - p.endHz) * std::exp(-t / p.bend);
        phase += kTwoPi * hz / kRate;
        phase2 += kTwoPi * hz * p.mode2 / kRate;
        const double skin = std::sin(phase) * std::exp(-t / p.decay)
                            + p.mode2Level * std::sin(phase2) * std::exp(-t / (0.5 * p.decay));
        const double hit = p.slap * 3 * slap(rng.bipolar()) * std::exp(-t / 0.007);
        w[i] = float(skin * std::min(1.0, t / 0.001) + hit);
    }
    normalize(w);
    return w;
}

Wave shaker(const Shaker& p) {
    Wave w(framesOf(p.length));
    Rng rng(p.seed);
    Biquad hp1, hp2;
    hp1.highpass(p.lowCutHz, 0.7);
    hp2.highpass(p.lowCutHz, 0.7);
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        // The beads land in two waves: the throw and the rebound.
        const double env = std::min(1.0, t / p.attack) * std::exp(-t / p.decay)
                           + 0.35 * std::exp(-std::fabs(t - 0.055) / 0.015);
        w[i] = float(hp2(hp1(rng.bipolar())) * env);
    }
    normalize(w);
    return w;
}

Wave scream(const Scream& p) {
    Wave w(framesOf(p.length));
    Rng rng(p.seed);
    struct Formant { double hz, q, gain; };
    const Formant vowel[] = {{780, 6, 1.0}, {1180, 8, 0.7}, {2750, 12, 0.35}, {3500, 14, 0.2}};
    Biquad formants[4];
    for (int f = 0; f < 4; ++f) formants[f].bandpass(vowel[f].hz, vowel[f].q);
    double phase = 0, drift = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        const double up = smoothstep(0.0, 0.22, t), down = smoothstep(p.length - 0.55, p.length - 0.05, t);
        drift = 0.999 * drift + 0.0008 * rng.bipolar();  // an unsteady voice
        double hz = p.fromHz + (p.peakHz - p.fromHz) * up;
        hz += (p.endHz - hz) * down;
        hz *= 1 + 0.03 * std::sin(kTwoPi * 6.2 * t) * up + drift;
        phase += kTwoPi * hz / kRate;
        double source = 0;
        for (int k = 1; k * hz < 7000; ++k) source += std::sin(k * phase) / k;
        // Alternate cycles of a strained voice differ: a growl an octave down.
        source *= 1 + 0.35 * up * std::sin(0.5 * phase);
        source += p.rasp * rng.bipolar();
        double v = 0;
        for (int f = 0; f < 4; ++f) v += vowel[f].gain * formants[f](source);
        const double env = smoothstep(0.0, 0.05, t) * (1 - down * 0.9);
        w[i] = float(v * env);
    }
    normalize(w);
    return w;
}

Wave fightNoise(const FightNoise& p) {
    Wave w(framesOf(p.length));
    Rng rng(p.seed);
    const double rowSeconds = 3888.0 / kRate;

    // Ground: rumble and the air of a crowd, breathing slowly.
    Biquad rumbleLow, crowdBand;
    rumbleLow.lowpass(220, 0.7);
    crowdBand.bandpass(650, 0.8);
    double brown = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        brown = 0.995 * brown + 0.05 * rng.bipolar();
        const double swell = 0.6 + 0.4 * std::sin(kTwoPi * 0.13 * t + 1.0) * std::sin(kTwoPi * 0.31 * t);
        w[i] = float(0.4 * rumbleLow(brown) * swell + 0.05 * crowdBand(rng.bipolar()) * swell);
    }

    // Events of the fight land on the rows of the song that it plays over,
    // thinning out towards the end as the battle dies down.
    for (double at = 0.05; at < p.length - 1.0; at += rowSeconds) {
        const double x = at / p.length;
        const double intensity = 1.0 - 0.75 * smoothstep(0.45, 1.0, x);
        if (rng.uniform() > p.eventsPerSecond * rowSeconds * intensity) continue;
        const double gain = rng.range(0.25, 0.8) * intensity;
        const int offset = int(at * kRate);
        const double pick = rng.uniform();
        if (pick < 0.45) {
            Metal m;
            m.baseHz = rng.range(480, 1600);
            m.ring = rng.range(0.15, 0.5);
            m.length = 0.7;
            m.impact = 0.6;
            m.echo = rng.uniform() < 0.4 ? 0.5 : 0;
            m.echoDelay = rng.range(0.03, 0.09);
            m.seed = rng.next();
            mixInto(w, metal(m), offset, gain * 0.8);
        } else if (pick < 0.72) {
            Whoosh s;
            s.lowHz = rng.range(250, 450);
            s.highHz = rng.range(1400, 3000);
            s.length = rng.range(0.25, 0.5);
            s.seed = rng.next();
            mixInto(w, whoosh(s), offset, gain * 0.6);
        } else {
            Drum d;
            d.hz = rng.range(90, 140);
            d.endHz = d.hz * 0.7;
            d.decay = 0.12;
            d.slap = 0.6;
            d.slapHz = 900;
            d.length = 0.35;
            d.seed = rng.next();
            mixInto(w, drum(d), offset, gain * 0.9);
        }
    }
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = i / kRate;
        w[i] *= float(smoothstep(0.0, 0.03, t) * (1 - smoothstep(p.length - 2.5, p.length, t)));
    }
    normalize(w);
    return w;
}

std::vector<int8_t> squareCycle(int frames, int amplitude) {
    std::vector<int8_t> s(frames);
    for (int i = 0; i < frames; ++i) s[i] = int8_t(i < frames / 2 ? amplitude : -amplitude);
    return s;
}

std::vector<int16_t> toPcm16(const Wave& w, double peak, double fadeSeconds, double rate) {
    const double p = peakOf(w);
    const double scale = p > 0 ? peak * 32767.0 / p : 0;
    const size_t fade = std::min(w.size(), size_t(fadeSeconds * rate));
    std::vector<int16_t> out(w.size());
    for (size_t i = 0; i < w.size(); ++i) {
        double v = w[i] * scale;
        const size_t left = w.size() - i;
        if (left <= fade) v *= double(left - 1) / fade;
        out[i] = int16_t(std::clamp(std::lround(v), -32767L, 32767L));
    }
    return out;
}

}  // namespace synth

// The song's instruments, synthesised: drums from shaped noise and swept
// sines, and pitched voices from additive single-cycle waveforms that loop
// seamlessly. Every random value comes from a seeded generator, so the
// samples are the same on every build.
#include "tools/content/song.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Samples are made at 4 x the format's base rate and played with a relative
// note of +24, so note C-4 plays them at their own speed.
constexpr int kSynthRate = kXmBaseRate * 4;
constexpr int kSynthRelativeNote = 24;
// Pitched waveforms: one cycle in this many samples sounds close to C-4.
constexpr int kCyclePeriod = 128;
constexpr double kMiddleC = 261.6255653;

// A small linear congruential generator: portable and the same everywhere.
class Noise {
  public:
    explicit Noise(const uint32_t seed) : state(seed) {}
    // A value in [-1, 1).
    double Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }

  private:
    uint32_t state;
};

// Scales so that the loudest sample reaches `peak` of full scale.
std::vector<int16_t> ToPcm(const std::vector<double>& wave, const double peak) {
    double loudest = 1e-9;
    for (const double v : wave) {
        loudest = std::max(loudest, std::fabs(v));
    }
    std::vector<int16_t> out(wave.size());
    for (size_t i = 0; i < wave.size(); ++i) {
        out[i] = static_cast<int16_t>(std::lround(wave[i] / loudest * peak * 32767.0));
    }
    return out;
}

double Seconds(const size_t i, const int rate) {
    return static_cast<double>(i) / rate;
}

XmInstrument Drum(const std::string& name, const std::vector<double>& wave, const int volume,
                  const int panning, const int relativeNote = kSynthRelativeNote) {
    XmInstrument ins;
    ins.name = name;
    ins.samples = ToPcm(wave, 0.95);
    ins.volume = volume;
    ins.panning = panning;
    ins.relativeNote = relativeNote;
    return ins;
}

// A kick: a sine swept down from about 155 Hz to 45 Hz, with a short click,
// gently saturated.
std::vector<double> Kick() {
    const size_t n = static_cast<size_t>(kSynthRate * 0.42);
    std::vector<double> w(n);
    Noise noise(0x4B1Cu);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = Seconds(i, kSynthRate);
        const double f = 45.0 + 110.0 * std::exp(-t / 0.035);
        phase += kTwoPi * f / kSynthRate;
        const double attack = std::min(1.0, t / 0.001);
        const double body = std::sin(phase) * std::exp(-t / 0.16) * attack;
        const double click = noise.Next() * std::exp(-t / 0.002) * 0.25;
        w[i] = std::tanh(1.6 * (body + click));
    }
    return w;
}

// A snare: two damped tones for the shell and high-passed noise for the wires.
std::vector<double> Snare() {
    const size_t n = static_cast<size_t>(kSynthRate * 0.3);
    std::vector<double> w(n);
    Noise noise(0x5E4Au);
    double previous = 0.0;
    double smooth = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = Seconds(i, kSynthRate);
        const double tone = 0.55 * std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.05) +
                            0.3 * std::sin(kTwoPi * 330.0 * t) * std::exp(-t / 0.03);
        const double raw = noise.Next();
        const double high = raw - previous; // first difference: tilts the noise towards the highs
        previous = raw;
        smooth += 0.6 * (high - smooth); // and takes the harshest top off
        w[i] = tone + 0.7 * smooth * std::exp(-t / 0.08);
    }
    return w;
}

// Hi-hats: noise differenced twice (only the highs stay), with a decay of `decay` seconds.
std::vector<double> Hat(const double seconds, const double decay, const uint32_t seed) {
    const size_t n = static_cast<size_t>(kSynthRate * seconds);
    std::vector<double> w(n);
    Noise noise(seed);
    double p1 = 0.0;
    double p2 = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = Seconds(i, kSynthRate);
        const double x = noise.Next();
        const double d2 = x - 2.0 * p1 + p2;
        p2 = p1;
        p1 = x;
        w[i] = d2 * std::exp(-t / decay) * std::min(1.0, t / 0.0005);
    }
    return w;
}

// A crash cymbal: long bright noise with a metallic ring, at half rate to keep it small.
std::vector<double> Crash() {
    const int rate = kSynthRate / 2;
    const size_t n = static_cast<size_t>(rate * 1.4);
    std::vector<double> w(n);
    Noise noise(0xC4A5u);
    double previous = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = Seconds(i, rate);
        const double x = noise.Next();
        const double ring = 0.15 * std::sin(kTwoPi * 3150.0 * t) + 0.1 * std::sin(kTwoPi * 4870.0 * t);
        w[i] = ((x - previous) + ring) * std::exp(-t / 0.45) * std::min(1.0, t / 0.002);
        previous = x;
    }
    return w;
}

// `length` samples of a sum of harmonics; harmonic k of oscillator o has
// amplitude gain(k) and completes cycles[o] x k cycles in the loop, so the
// loop joins without a click.
template <typename Gain>
std::vector<double> Additive(const size_t length, const std::vector<int>& cycles, const int harmonics,
                             Gain gain) {
    std::vector<double> w(length, 0.0);
    for (size_t o = 0; o < cycles.size(); ++o) {
        // Each oscillator starts at its own phase, so the voices do not line up into one.
        const double offset = 0.7 * static_cast<double>(o);
        for (int k = 1; k <= harmonics; ++k) {
            const double a = gain(k);
            if (a == 0.0) {
                continue;
            }
            for (size_t i = 0; i < length; ++i) {
                const double x = static_cast<double>(i) / static_cast<double>(length);
                w[i] += a * std::sin(kTwoPi * (x * cycles[o] * k) + offset * k);
            }
        }
    }
    return w;
}

// A looped voice at kSynthRate whose loop holds `cyclesOfC` cycles of about
// C-4; finetune corrects the small difference from a true C-4.
XmInstrument Voice(const std::string& name, const std::vector<double>& wave, const int cyclesOfC) {
    XmInstrument ins;
    ins.name = name;
    ins.samples = ToPcm(wave, 0.9);
    ins.loopStart = 0;
    ins.loopLength = static_cast<int>(ins.samples.size());
    ins.relativeNote = kSynthRelativeNote;
    const double played = static_cast<double>(kSynthRate) * cyclesOfC / static_cast<double>(wave.size());
    ins.finetune = static_cast<int>(std::lround(12.0 * 128.0 * std::log2(kMiddleC / played)));
    return ins;
}

} // namespace

std::vector<XmInstrument> MakeSongInstruments() {
    std::vector<XmInstrument> list(kSongInstrumentCount);
    list[kInsKick - 1] = Drum("kick", Kick(), 64, 128);
    list[kInsSnare - 1] = Drum("snare", Snare(), 50, 120);
    list[kInsClosedHat - 1] = Drum("closed hat", Hat(0.07, 0.014, 0x4A70u), 44, 170);
    list[kInsOpenHat - 1] = Drum("open hat", Hat(0.4, 0.11, 0x0BE7u), 34, 170);
    list[kInsCrash - 1] = Drum("crash", Crash(), 28, 96, kSynthRelativeNote - 12);

    // Bass: a saw with its highs rolled off, and a stronger fundamental.
    XmInstrument bass = Voice("bass",
                              Additive(kCyclePeriod, {1}, 24,
                                       [](const int k) {
                                           const double saw = 1.0 / k;
                                           const double roll = 1.0 / (1.0 + (k / 5.0) * (k / 5.0));
                                           return (k == 1 ? 1.6 : 1.0) * saw * roll;
                                       }),
                              1);
    bass.volume = 48;
    bass.volumeEnvelope = {{0, 64}, {5, 44}, {24, 34}};
    bass.sustainPoint = 2;
    bass.fadeout = 3000;
    list[kInsBass - 1] = bass;

    // Pad: three saws about 13 cents apart plus one an octave up, soft highs;
    // the loop holds 128 cycles, so each voice joins itself at the loop end.
    constexpr size_t kPadLoop = kCyclePeriod * 128;
    XmInstrument pad = Voice("pad",
                             Additive(kPadLoop, {128, 129, 127, 256}, 10,
                                      [](const int k) { return (1.0 / k) / (1.0 + (k / 3.0) * (k / 3.0)); }),
                             128);
    pad.volume = 40;
    pad.volumeEnvelope = {{0, 8}, {14, 64}, {40, 50}};
    pad.sustainPoint = 2;
    pad.fadeout = 700;
    list[kInsPad - 1] = pad;

    // Lead: a square and a saw blended, rounded off above the 12th harmonic,
    // with a delayed vibrato.
    XmInstrument lead = Voice("lead",
                              Additive(kCyclePeriod, {1}, 16,
                                       [](const int k) {
                                           const double square = (k % 2 == 1) ? 1.0 / k : 0.0;
                                           const double saw = 0.45 / k;
                                           return (square + saw) / (1.0 + (k / 12.0) * (k / 12.0));
                                       }),
                              1);
    lead.volume = 44;
    lead.volumeEnvelope = {{0, 0}, {2, 64}, {14, 46}};
    lead.sustainPoint = 2;
    lead.fadeout = 1600;
    lead.vibratoType = 0;
    lead.vibratoSweep = 40;
    lead.vibratoDepth = 6;
    lead.vibratoRate = 10;
    list[kInsLead - 1] = lead;

    // Pluck: a sine with a few soft overtones and a fast decay, for arpeggios.
    XmInstrument pluck = Voice("pluck",
                               Additive(kCyclePeriod, {1}, 5,
                                        [](const int k) {
                                            const double a[] = {0.0, 1.0, 0.45, 0.3, 0.12, 0.08};
                                            return a[k];
                                        }),
                               1);
    pluck.volume = 40;
    pluck.volumeEnvelope = {{0, 64}, {4, 36}, {14, 14}, {30, 0}};
    pluck.fadeout = 3000;
    list[kInsPluck - 1] = pluck;
    return list;
}

// Tracker-module writer: builds the bytes of an XM (extended module) file
// from plain lists, for the content builder's song and the sound tests.
// Patterns are written packed, samples as 16-bit deltas; every count, size
// and offset of the file is computed from the lists, so a module is valid by
// construction as long as the limits below hold (XmCheckModule says which
// one does not).
#pragma once

#include <cstdint> // int8_t, int16_t, uint8_t, uint16_t
#include <string>
#include <vector>

// Limits of the format.
constexpr int kXmMaxChannels = 32;
constexpr int kXmMaxOrders = 256;
constexpr int kXmMaxPatterns = 256;
constexpr int kXmMaxRows = 256;
constexpr int kXmMaxInstruments = 128;
constexpr int kXmMaxEnvelopePoints = 12;
constexpr int kXmNoteCount = 96;       // C-0 .. B-7 are notes 1..96
constexpr uint8_t kXmNoteOff = 97;     // releases the channel's note (key off)
constexpr uint8_t kXmNoteMiddleC = 49; // C-4
constexpr int kXmBaseRate = 8363;      // playback rate of C-4 with relative note 0
constexpr int kXmMaxVolume = 64;

// Volume-column value that sets the volume v (0..64).
constexpr uint8_t XmVolume(const int v) {
    return static_cast<uint8_t>(0x10 + (v < 0 ? 0 : (v > kXmMaxVolume ? kXmMaxVolume : v)));
}

// Effect numbers used by our songs (the effect column's type byte).
constexpr uint8_t kXmEffectSetPanning = 0x08;  // param 0 (left) .. 255 (right)
constexpr uint8_t kXmEffectVolumeSlide = 0x0A; // param x0 up, 0x down, per tick
constexpr uint8_t kXmEffectSetSpeed = 0x0F;    // param < 32: ticks per row; >= 32: BPM

// One cell of a pattern; 0 in a field means "nothing there".
struct XmCell {
    uint8_t note = 0;       // 1..96, kXmNoteOff, or 0
    uint8_t instrument = 0; // 1-based, or 0
    uint8_t volume = 0;     // volume column (XmVolume), or 0
    uint8_t effect = 0;
    uint8_t param = 0;
};

// rows x channels cells, row by row.
struct XmPattern {
    int rows = 64;
    std::vector<XmCell> cells;
};

// An envelope point: tick and value (0..64 for volume, 0..64 for panning).
struct XmEnvelopePoint {
    uint16_t tick;
    uint16_t value;
};

// One instrument with one sample. The sample plays at kXmBaseRate x
// 2^((note - 49 + relativeNote + finetune / 128) / 12) Hz.
struct XmInstrument {
    std::string name;                            // up to 22 bytes
    std::vector<int16_t> samples;                // 16-bit mono
    int loopStart = 0;                           // in samples
    int loopLength = 0;                          // in samples; 0 for no loop
    int volume = kXmMaxVolume;                   // 0..64
    int finetune = 0;                            // -128..127, 1/128 semitone
    int relativeNote = 0;                        // -96..95 semitones
    int panning = 128;                           // 0..255
    std::vector<XmEnvelopePoint> volumeEnvelope; // empty: no envelope
    int sustainPoint = -1;                       // index of the held point, -1 for none
    int fadeout = 0;                             // volume lost per tick after key off, of 65536
    int vibratoType = 0;                         // 0 sine, 1 square, 2 ramp down, 3 ramp up
    int vibratoSweep = 0;
    int vibratoDepth = 0;
    int vibratoRate = 0;
};

// A whole module.
struct XmModule {
    std::string name; // up to 20 bytes
    int channels = 4;
    int speed = 6;   // ticks per row
    int bpm = 125;   // a tick lasts 2.5 / bpm seconds
    int restart = 0; // order the song continues from when it loops
    std::vector<uint8_t> orders;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

// The cell at `row`, `channel` of a pattern; the pattern grows to its
// rows x channels size first.
XmCell& XmCellAt(XmPattern* pattern, int channels, int row, int channel);

// Empty when the module fits the format's limits, else the first problem.
std::string XmCheckModule(const XmModule& module);

// The file's bytes; empty when XmCheckModule finds a problem.
std::vector<uint8_t> XmWriteBytes(const XmModule& module);

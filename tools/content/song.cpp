// The song's composition: see song.h. The notes are written into one grid of
// rows x channels for the whole song (so an echo may cross a bar line), and
// the grid is then cut into a pattern per bar, identical bars sharing one.
#include "tools/content/song.h"

#include <algorithm>
#include <array>

namespace {

// Channels.
constexpr int kChKick = 0;
constexpr int kChSnare = 1;
constexpr int kChHat = 2;
constexpr int kChCrash = 3;
constexpr int kChBass = 4;
constexpr int kChPad = 5; // three voices: 5, 6, 7
constexpr int kChLead = 8;
constexpr int kChLeadEcho = 9;
constexpr int kChPluck = 10;
constexpr int kChPluckEcho = 11;
constexpr int kChannels = 12;
constexpr int kPadVoices = 3;

// Notes by name: XM note = 12 x octave + semitone + 1.
constexpr int Note(const int octave, const int semitone) {
    return 12 * octave + semitone + 1;
}
constexpr int kA = 9;
constexpr int kB = 11;
constexpr int kC = 0;
constexpr int kD = 2;
constexpr int kE = 4;
constexpr int kF = 5;
constexpr int kG = 7;
constexpr int kGSharp = 8;

// A chord: the bass root and a close three-note voicing for the pad.
struct Chord {
    int bass;
    std::array<int, kPadVoices> pad;
};
constexpr Chord kAm{Note(2, kA), {Note(3, kA), Note(4, kC), Note(4, kE)}};
constexpr Chord kFMaj{Note(2, kF), {Note(3, kA), Note(4, kC), Note(4, kF)}};
constexpr Chord kCMaj{Note(2, kC), {Note(3, kG), Note(4, kC), Note(4, kE)}};
constexpr Chord kGMaj{Note(2, kG), {Note(3, kG), Note(3, kB), Note(4, kD)}};
constexpr Chord kEMaj{Note(2, kE), {Note(3, kGSharp), Note(3, kB), Note(4, kE)}};

// The progressions, a chord a bar, repeated as long as a part lasts.
const std::vector<Chord> kIntroChords = {kAm, kFMaj, kCMaj, kGMaj};
const std::vector<Chord> kBuildChords = {kFMaj, kGMaj, kEMaj};
const std::vector<Chord> kMainChords = {kAm, kFMaj, kCMaj, kGMaj};
const std::vector<Chord> kOutroChords = {kFMaj, kAm};

// A melody note: row in the bar, note, length in rows.
struct MelodyNote {
    int row;
    int note;
    int length;
};
using Bar = std::vector<MelodyNote>;

// The main theme: a phrase over the four chords and its answer an octave's
// reach higher.
const std::vector<Bar> kPhraseA = {
    {{0, Note(4, kA), 3},
     {3, Note(5, kC), 3},
     {6, Note(5, kE), 4},
     {10, Note(5, kD), 2},
     {12, Note(5, kC), 4}},
    {{0, Note(4, kA), 6}, {6, Note(5, kC), 2}, {8, Note(5, kF), 6}, {14, Note(5, kE), 2}},
    {{0, Note(5, kE), 3},
     {3, Note(5, kD), 3},
     {6, Note(5, kC), 4},
     {10, Note(4, kG), 2},
     {12, Note(5, kC), 4}},
    {{0, Note(5, kD), 6},
     {6, Note(4, kB), 2},
     {8, Note(4, kG), 4},
     {12, Note(4, kA), 2},
     {14, Note(4, kB), 2}},
};
const std::vector<Bar> kPhraseB = {
    {{0, Note(5, kC), 3},
     {3, Note(5, kE), 3},
     {6, Note(5, kA), 6},
     {12, Note(5, kG), 2},
     {14, Note(5, kE), 2}},
    {{0, Note(5, kF), 4}, {4, Note(5, kE), 2}, {6, Note(5, kC), 4}, {10, Note(4, kA), 6}},
    {{0, Note(5, kG), 3},
     {3, Note(5, kE), 3},
     {6, Note(5, kC), 4},
     {10, Note(5, kE), 2},
     {12, Note(5, kG), 4}},
    {{0, Note(5, kB), 4}, {4, Note(5, kA), 2}, {6, Note(5, kG), 2}, {8, Note(5, kD), 8}},
};
// The outro's farewell: over F, then the home note held over A minor.
const std::vector<Bar> kOutroMelody = {
    {{0, Note(5, kC), 8}, {8, Note(4, kB), 4}, {12, Note(4, kG), 4}},
    {{0, Note(4, kA), 14}},
};

// Drum lines, a character a row: x full, g ghost, o open hat, - nothing.
constexpr const char kKickFour[] = "x---x---x---x---";
constexpr const char kKickMain[] = "x---x---x---x-g-";
constexpr const char kSnareMain[] = "----x-------x---";
constexpr const char kHatsIntro[] = "--g---g---g---g-";
constexpr const char kHatsBuild[] = "g-x-g-x-g-x-g-x-";
constexpr const char kHatsMain[] = "g-x-ggx-g-x-g-o-";
// Bass lines: r root, R root an octave up, - nothing.
constexpr const char kBassBuild[] = "r-r-r-r-r-r-r-r-";
constexpr const char kBassMain[] = "r-r-R-r-r-r-R-rR";
// Arpeggio shapes, chosen per bar by the seeded generator: indices into the
// chord's tones (0..3), one per sixteenth.
constexpr std::array<std::array<int, 8>, 4> kArpShapes = {{
    {0, 1, 2, 3, 2, 1, 0, 1},
    {0, 2, 1, 3, 0, 2, 1, 3},
    {3, 2, 1, 0, 1, 2, 3, 2},
    {0, 1, 2, 1, 3, 1, 2, 1},
}};
constexpr uint32_t kSongSeed = 0x7E55A120u;

// The seeded generator of the composition's free choices.
class Dice {
  public:
    explicit Dice(const uint32_t seed) : state(seed) {}
    // 0..n-1.
    int Roll(const int n) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 16) % static_cast<uint32_t>(n));
    }

  private:
    uint32_t state;
};

// The song being written: a grid of cells for the whole song.
class Score {
  public:
    explicit Score(const int totalRows)
        : rows(totalRows), cells(static_cast<size_t>(totalRows) * kChannels) {}

    // Puts a note (instrument, volume 0..64, panning -1 for none) at an
    // absolute row; rows outside the song are dropped.
    void Play(const int row, const int channel, const int note, const uint8_t instrument, const int volume,
              const int panning = -1) {
        if (row < 0 || row >= rows) {
            return;
        }
        XmCell& c = At(row, channel);
        c.note = static_cast<uint8_t>(note);
        c.instrument = instrument;
        c.volume = XmVolume(volume);
        c.effect = panning >= 0 ? kXmEffectSetPanning : 0;
        c.param = panning >= 0 ? static_cast<uint8_t>(panning) : 0;
    }
    // Releases the channel's note at `row` unless something already stands there.
    void Release(const int row, const int channel) {
        if (row < 0 || row >= rows) {
            return;
        }
        XmCell& c = At(row, channel);
        if (c.note == 0) {
            c.note = kXmNoteOff;
        }
    }
    XmCell& At(const int row, const int channel) {
        return cells[static_cast<size_t>(row) * kChannels + static_cast<size_t>(channel)];
    }

    int rows;
    std::vector<XmCell> cells;
};

// Where a bar lies: its first row in the song, its rows (16, or fewer for a
// section's shortened last bar) and its index in the section.
struct BarSpot {
    int start;
    int rows;
    int index;
    bool last;
};

void DrumLine(Score* s, const BarSpot& bar, const int channel, const char* line, const uint8_t instrument,
              const int full, const int ghost) {
    for (int r = 0; r < bar.rows && line[r] != '\0'; ++r) {
        if (line[r] == 'x') {
            s->Play(bar.start + r, channel, kXmNoteMiddleC, instrument, full);
        } else if (line[r] == 'g') {
            s->Play(bar.start + r, channel, kXmNoteMiddleC, instrument, ghost);
        } else if (line[r] == 'o') {
            s->Play(bar.start + r, channel, kXmNoteMiddleC, kInsOpenHat, full);
        }
    }
}

void BassLine(Score* s, const BarSpot& bar, const Chord& chord, const char* line, const int volume) {
    for (int r = 0; r < bar.rows && line[r] != '\0'; ++r) {
        if (line[r] == 'r' || line[r] == 'R') {
            s->Play(bar.start + r, kChBass, chord.bass + (line[r] == 'R' ? 12 : 0), kInsBass, volume);
        }
    }
}

void PadChord(Score* s, const BarSpot& bar, const Chord& chord, const int volume) {
    const int panning[kPadVoices] = {48, 128, 208};
    for (int v = 0; v < kPadVoices; ++v) {
        s->Play(bar.start, kChPad + v, chord.pad[static_cast<size_t>(v)], kInsPad, volume, panning[v]);
    }
}

// Sixteenths over the chord an octave above the pad, with an echo three
// rows later, softer and on the other side.
void Arpeggio(Score* s, const BarSpot& bar, const Chord& chord, const int volume, const int step,
              Dice* dice) {
    const std::array<int, 4> tones = {chord.pad[0] + 12, chord.pad[1] + 12, chord.pad[2] + 12,
                                      chord.pad[0] + 24};
    const std::array<int, 8>& shape = kArpShapes[static_cast<size_t>(dice->Roll(4))];
    for (int r = 0; r < bar.rows; r += step) {
        const int note = tones[static_cast<size_t>(shape[static_cast<size_t>((r / step) % 8)])];
        const int accent = (r % 4 == 0) ? 6 : 0;
        s->Play(bar.start + r, kChPluck, note, kInsPluck, volume + accent, 64);
        s->Play(bar.start + r + 3, kChPluckEcho, note, kInsPluck, (volume + accent) / 2, 200);
    }
}

// A melody bar, each note released when it ends, echoed three rows later.
void Melody(Score* s, const BarSpot& bar, const Bar& notes, const int volume) {
    for (const MelodyNote& n : notes) {
        if (n.row >= bar.rows) {
            continue;
        }
        s->Play(bar.start + n.row, kChLead, n.note, kInsLead, volume, 128);
        s->Release(bar.start + n.row + n.length, kChLead);
        s->Play(bar.start + n.row + 3, kChLeadEcho, n.note, kInsLead, volume * 2 / 5, 216);
        s->Release(bar.start + n.row + 3 + n.length, kChLeadEcho);
    }
}

void ReleaseAll(Score* s, const int row) {
    for (int c = kChBass; c < kChannels; ++c) {
        s->Release(row, c);
    }
}

// A drum fill into the next section: snares every other row, then every
// row, louder and louder.
void SnareFill(Score* s, const int start, const int rows) {
    for (int r = 0; r < rows; ++r) {
        const bool dense = r >= rows / 2;
        if (dense || r % 2 == 0) {
            s->Play(start + r, kChSnare, kXmNoteMiddleC, kInsSnare, 24 + 36 * (r + 1) / rows);
        }
    }
}

void IntroBar(Score* s, const BarSpot& bar, Dice* dice) {
    const Chord& chord = kIntroChords[static_cast<size_t>(bar.index) % kIntroChords.size()];
    PadChord(s, bar, chord, 44);
    Arpeggio(s, bar, chord, std::min(30, 16 + 4 * bar.index), 1, dice);
    if (bar.index >= 2) {
        DrumLine(s, bar, kChHat, kHatsIntro, kInsClosedHat, 0, 22);
        s->Play(bar.start, kChBass, chord.bass, kInsBass, 40);
        s->Release(bar.start + 12, kChBass);
    }
}

void BuildBar(Score* s, const BarSpot& bar, Dice* dice) {
    const bool fillBar = bar.last && bar.rows < kSongRowsPerBar;
    const Chord& chord = fillBar ? kEMaj : kBuildChords[static_cast<size_t>(bar.index) % 2];
    if (bar.index == 0) {
        s->Play(bar.start, kChCrash, kXmNoteMiddleC, kInsCrash, 40);
    }
    PadChord(s, bar, chord, 40);
    s->Play(bar.start, kChKick, kXmNoteMiddleC, kInsKick, 60);
    if (fillBar) {
        s->Play(bar.start, kChBass, chord.bass, kInsBass, 44);
        SnareFill(s, bar.start, bar.rows);
        ReleaseAll(s, bar.start + bar.rows - 1);
        return;
    }
    DrumLine(s, bar, kChKick, kKickFour, kInsKick, 60, 40);
    DrumLine(s, bar, kChHat, kHatsBuild, kInsClosedHat, 30, 18);
    BassLine(s, bar, chord, kBassBuild, 44);
    Arpeggio(s, bar, chord, 30, 1, dice);
    if (bar.last) {
        SnareFill(s, bar.start + bar.rows - 4, 4);
    }
}

void MainBar(Score* s, const BarSpot& bar, Dice* dice) {
    if (bar.last && bar.rows < kSongRowsPerBar) {
        // The band stops for a moment before the outro: one hit, then silence.
        s->Play(bar.start, kChKick, kXmNoteMiddleC, kInsKick, 60);
        s->Play(bar.start, kChSnare, kXmNoteMiddleC, kInsSnare, 50);
        s->Play(bar.start, kChHat, kXmNoteMiddleC, kInsOpenHat, 34);
        ReleaseAll(s, bar.start);
        return;
    }
    const Chord& chord = kMainChords[static_cast<size_t>(bar.index) % kMainChords.size()];
    const int cycle = bar.index % 12; // four bars of groove, then the theme and its answer
    if (bar.index == 0 || cycle == 4 || cycle == 8) {
        s->Play(bar.start, kChCrash, kXmNoteMiddleC, kInsCrash, cycle == 0 ? 48 : 36);
    }
    DrumLine(s, bar, kChKick, kKickMain, kInsKick, 64, 44);
    DrumLine(s, bar, kChSnare, kSnareMain, kInsSnare, 54, 20);
    DrumLine(s, bar, kChHat, kHatsMain, kInsClosedHat, 32, 18);
    BassLine(s, bar, chord, kBassMain, 48);
    PadChord(s, bar, chord, 34);
    const bool theme = cycle >= 4;
    Arpeggio(s, bar, chord, theme ? 18 : 26, theme ? 2 : 1, dice);
    if (theme) {
        const std::vector<Bar>& phrase = cycle < 8 ? kPhraseA : kPhraseB;
        Melody(s, bar, phrase[static_cast<size_t>(cycle % 4)], 46);
    }
    if (bar.last) {
        SnareFill(s, bar.start + bar.rows - 4, 4);
    }
}

void OutroBar(Score* s, const BarSpot& bar, Dice* dice) {
    const size_t i = std::min(static_cast<size_t>(bar.index), kOutroChords.size() - 1);
    if (bar.index >= static_cast<int>(kOutroChords.size())) {
        ReleaseAll(s, bar.start); // only the tail's last sounds die away here
        return;
    }
    const Chord& chord = kOutroChords[i];
    PadChord(s, bar, chord, 40);
    Melody(s, bar, kOutroMelody[i], 44);
    if (bar.index == 0) {
        s->Play(bar.start, kChCrash, kXmNoteMiddleC, kInsCrash, 44);
        DrumLine(s, bar, kChKick, "x-------x-------", kInsKick, 56, 0);
        DrumLine(s, bar, kChHat, kHatsBuild, kInsClosedHat, 26, 16);
        BassLine(s, bar, chord, kBassBuild, 40);
        Arpeggio(s, bar, chord, 20, 2, dice);
    } else {
        s->Play(bar.start, kChKick, kXmNoteMiddleC, kInsKick, 48);
        s->Play(bar.start, kChBass, chord.bass, kInsBass, 40);
        Arpeggio(s, bar, chord, 18, 4, dice);
    }
}

// The song's own fade over rows [start, end of song): every channel's
// volume, as its notes last set it, falls to nothing, so the song also ends
// in silence on its own.
void FadeOut(Score* s, const int start) {
    std::array<int, kChannels> current = {};
    const int rows = s->rows - start;
    for (int row = 0; row < s->rows; ++row) {
        for (int c = 0; c < kChannels; ++c) {
            XmCell& cell = s->At(row, c);
            if (cell.volume != 0) {
                current[static_cast<size_t>(c)] = cell.volume - 0x10;
            }
            if (row >= start && cell.note != kXmNoteOff) {
                cell.volume = XmVolume(current[static_cast<size_t>(c)] * (s->rows - row) / rows);
            }
        }
    }
}

void WriteSection(Score* s, const SongSection& section, Dice* dice) {
    const int bars = (section.rows + kSongRowsPerBar - 1) / kSongRowsPerBar;
    for (int b = 0; b < bars; ++b) {
        const int start = section.startRow + b * kSongRowsPerBar;
        const BarSpot bar{start, std::min(kSongRowsPerBar, section.startRow + section.rows - start), b,
                          b == bars - 1};
        switch (section.part) {
        case SongPart::Intro:
            IntroBar(s, bar, dice);
            break;
        case SongPart::Build:
            BuildBar(s, bar, dice);
            break;
        case SongPart::Main:
            MainBar(s, bar, dice);
            break;
        case SongPart::Outro:
            OutroBar(s, bar, dice);
            break;
        }
    }
}

// Cuts the grid into patterns of a bar each (shorter at a section's end);
// a bar equal to an earlier one reuses its pattern.
void CutPatterns(const Score& s, const std::vector<SongSection>& sections, XmModule* m) {
    for (const SongSection& section : sections) {
        for (int start = section.startRow; start < section.startRow + section.rows;
             start += kSongRowsPerBar) {
            XmPattern p;
            p.rows = std::min(kSongRowsPerBar, section.startRow + section.rows - start);
            const auto first = s.cells.begin() + static_cast<std::ptrdiff_t>(start) * kChannels;
            p.cells.assign(first, first + static_cast<std::ptrdiff_t>(p.rows) * kChannels);
            size_t index = 0;
            while (index < m->patterns.size() &&
                   !(m->patterns[index].rows == p.rows &&
                     std::equal(p.cells.begin(), p.cells.end(), m->patterns[index].cells.begin(),
                                [](const XmCell& a, const XmCell& b) {
                                    return a.note == b.note && a.instrument == b.instrument &&
                                           a.volume == b.volume && a.effect == b.effect && a.param == b.param;
                                }))) {
                ++index;
            }
            if (index == m->patterns.size()) {
                m->patterns.push_back(p);
            }
            m->orders.push_back(static_cast<uint8_t>(index));
        }
    }
}

} // namespace

int32_t SongRowOfFrame(const int64_t frames) {
    // A row is 3.125 frames: rows = frames x 8 / 25, rounded to the nearest.
    const int64_t rows = (frames * kSongRowsPerSecond * 2 + 25) / 50;
    return static_cast<int32_t>(std::clamp<int64_t>(rows, 0, INT32_MAX));
}

std::vector<SongSection> SongSections(const ShowTimes& times) {
    const int64_t bounds[] = {0, times.logoFrames, CorridoruStart(times), Blur1Start(times),
                              ShowFinish(times)};
    const SongPart parts[] = {SongPart::Intro, SongPart::Build, SongPart::Main, SongPart::Outro};
    std::vector<SongSection> sections;
    int32_t row = 0;
    for (size_t i = 0; i < 4; ++i) {
        const int32_t end = std::max(row, SongRowOfFrame(bounds[i + 1]));
        if (end > row) {
            sections.push_back(SongSection{parts[i], row, end - row});
        }
        row = end;
    }
    return sections;
}

XmModule MakeSong(const ShowTimes& times) {
    XmModule m;
    m.name = "tessaro";
    m.channels = kChannels;
    m.speed = kSongSpeed;
    m.bpm = kSongBpm;
    m.instruments = MakeSongInstruments();
    const std::vector<SongSection> sections = SongSections(times);
    int totalRows = 0;
    for (const SongSection& section : sections) {
        totalRows = section.startRow + section.rows;
    }
    Score score(totalRows);
    Dice dice(kSongSeed);
    for (const SongSection& section : sections) {
        WriteSection(&score, section, &dice);
    }
    // The fade starts with the outro's second bar, when blur1 is alone on screen.
    if (!sections.empty() && sections.back().part == SongPart::Outro) {
        FadeOut(&score, std::min(totalRows, sections.back().startRow + kSongRowsPerBar));
    }
    CutPatterns(score, sections, &m);
    if (m.orders.empty() || m.orders.size() > static_cast<size_t>(kXmMaxOrders) ||
        m.patterns.size() > static_cast<size_t>(kXmMaxPatterns)) {
        // A show too short for one row, or too long for the format's order
        // list: the song is one silent bar rather than a broken file.
        m.orders = {0};
        m.patterns = {XmPattern{kSongRowsPerBar, std::vector<XmCell>(kSongRowsPerBar * kChannels)}};
    }
    return m;
}

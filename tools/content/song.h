// The show's song: a tracker module composed in code. Its instruments are
// synthesised (song_instruments.cpp) and its notes come from fixed tables
// and one seeded generator (song.cpp), so every build writes the same bytes.
// The song runs at 120 beats a minute, a row per sixteenth note (8 rows a
// second), and its sections start on the rows nearest to the scene changes
// of the show it is made for, so it lasts exactly as long as the show.
#pragma once

#include "app/show_times.h"          // ShowTimes
#include "tools/formats/xm_writer.h" // XmModule, XmInstrument

#include <cstdint>
#include <string>
#include <vector>

// Instrument numbers as the patterns use them (1-based).
constexpr uint8_t kInsKick = 1;
constexpr uint8_t kInsSnare = 2;
constexpr uint8_t kInsClosedHat = 3;
constexpr uint8_t kInsOpenHat = 4;
constexpr uint8_t kInsCrash = 5;
constexpr uint8_t kInsBass = 6;
constexpr uint8_t kInsPad = 7;
constexpr uint8_t kInsLead = 8;
constexpr uint8_t kInsPluck = 9;
constexpr int kSongInstrumentCount = 9;

// The song's clock: 6 ticks a row at 120 (a tick is 2.5 / 120 s), so a row
// lasts 1/8 s, 3.125 engine frames; 16 rows make a bar of 2 s.
constexpr int kSongSpeed = 6;
constexpr int kSongBpm = 120;
constexpr int kSongRowsPerBar = 16;
constexpr int kSongRowsPerSecond = 8;

// The song's parts, in playing order.
enum class SongPart { Intro, Build, Main, Outro };

// One section: the part it plays and its rows in the song.
struct SongSection {
    SongPart part;
    int32_t startRow;
    int32_t rows;
};

// The row nearest to engine frame `frames` (25 a second).
int32_t SongRowOfFrame(int64_t frames);

// The sections for a show of these times: the intro under the logo, the
// build from blur0 until corridoru starts, the main part while the character
// moves, and the outro from blur1's fade-in to the finish. A section that
// would be empty is left out.
std::vector<SongSection> SongSections(const ShowTimes& times);

// The nine instruments, in kIns order.
std::vector<XmInstrument> MakeSongInstruments();

// The whole module for a show of these times.
XmModule MakeSong(const ShowTimes& times);

// Small tracker modules for the sound tests, made with the module writer: a
// steady tone that the tests can render, loop through the callbacks and damage.
#pragma once

#include <cstdint>
#include <vector>

// Rows a second of the test songs (6 ticks a row at 120).
constexpr int kTestSongRowsPerSecond = 8;

// An XM module of `bars` bars (2 s each) holding one looped square wave at
// C-4 that starts on the first row and never stops; `volume` is its sample
// volume, 0..64.
std::vector<uint8_t> TestSongBytes(int bars, int volume = 48);

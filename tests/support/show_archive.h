// A small synthetic demo archive for the scene script and the player: the
// five scenes the script loads (each a lit, coloured floor seen by one
// camera, with the lengths asked for), corridoru with every mesh name the
// script looks up, a twelve-motion character and the pictures the script
// loads, the show file (the built-in one unless another is given), and a
// song when asked for. Entries can be left out to test what the
// script skips.
#pragma once

#include "archive/pak_writer.h" // PakWriteEntry

#include <cstdint> // int32_t
#include <set>
#include <string>
#include <vector>

struct ShowArchiveOptions {
    int32_t logoFrames = 100;      // frameCount of logo.3ds (Ll)
    int32_t corridoruFrames = 200; // frameCount of corridoru.3ds (Lc)
    int32_t otherFrames = 50;      // frameCount of the other three scenes
    std::set<std::string> omit;    // entry names (or corridoru mesh names) left out
    int32_t songBars = 0;          // > 0: a test song of that many 2 s bars as music.xm
    std::string showText;          // show.toml; empty: the built-in show's file
};

// Frame count of motion k (0..11) of the synthetic character: 2, 3 or 4.
int32_t ShowArchiveMotionFrames(int32_t motion);
// Number of motions of the synthetic character.
constexpr int32_t kShowArchiveMotions = 12;

// The archive's entries, ready for PakWriteArchive.
std::vector<PakWriteEntry> BuildShowArchive(const ShowArchiveOptions& options = {});

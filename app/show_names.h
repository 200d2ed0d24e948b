// The names of the built-in show's content: the content builder
// (tools/content) makes its entries and meshes under these names, and its
// show file (tools/content/show.cpp) names them for the scene script. The
// tests check the two against each other (tests/script_test.cpp,
// tests/content_test.cpp).
#pragma once

#include <cstdint> // int32_t

// Archive entries.
constexpr const char kLogoFile[] = "logo.3ds";
constexpr const char kBlur0File[] = "blur0.3ds";
constexpr const char kBlur1File[] = "blur1.3ds";
constexpr const char kCorridorsFile[] = "corridors.3ds";
constexpr const char kCorridoruFile[] = "corridoru.3ds";
constexpr const char kCharacterFile[] = "zuzez.md2";
constexpr const char kCharacterSkinFile[] = "zuzez1.jpg";
constexpr const char kChromeFile[] = "chrome.jpg";
constexpr const char kCorridorChromeFile[] = "chromer.jpg";
constexpr const char kMirrorFloorFile[] = "mtlplat2.jpg";
// The logo scene's sky: a sky-box description (keyword lines) naming its
// face pictures. Without it the logo has no sky box.
constexpr const char kLogoSkyFile[] = "logo.sky";
// The show's song, a tracker module; the show plays silent without it.
constexpr const char kSongFile[] = "music.xm";

// The corridor mesh that carries the chrome environment map.
constexpr const char kCorridorChromeMesh[] = "NGon01";

// Meshes of corridoru mirrored in the floor, in the order they are added.
// NGon15 is listed twice, as the show always had it.
constexpr int32_t kFloorMirrorMeshCount = 26;
constexpr const char* kFloorMirrorMeshes[kFloorMirrorMeshCount] = {
    "NGon02", "NGon15", "NGon01", "NGon06", "NGon18",   "NGon19",     "NGon20",  "NGon21",  "NGon22",
    "NGon23", "NGon11", "NGon12", "NGon13", "NGon14",   "NGon15",     "NGon16",  "NGon17",  "NGon03",
    "Object01", "EsternoVen", "porte04", "porte05", "porte06", "porte07", "Rectangle1", "Rectangle0"};

// The show file: the scenes a show loads, how they are dressed, the character
// and its moves, the floor mirror, the song and the timeline, written as TOML
// (format in docs/show-format.md) and read into a plain record that the scene
// script plays. Reading checks everything that can be checked without the
// content (names, types, references between the file's own parts); the times
// depend on the scenes' lengths and are checked once those are loaded.
//
// Every message names the file, line and column: "show.toml:12:5: ...".
// The records own their strings; nothing here touches the archive or GL.
#pragma once

#include <cstdint> // int32_t, uint32_t
#include <string>
#include <string_view>
#include <vector>

// The entry the player reads its show from.
constexpr const char kShowFile[] = "show.toml";

// Where a value stands in the file, for messages.
struct ShowPlace {
    int32_t line = 0;
    int32_t column = 0;
};

// A time in engine frames: a number plus or minus the lengths of scenes
// (their frameCount) and of the show. Evaluated with ResolveShowTimes.
struct ShowTimeTerm {
    int32_t sign = 1;    // +1 or -1
    int32_t scene = -1;  // index into Show::scenes, or -1 for the show's length
};
struct ShowTime {
    double constant = 0.0;
    std::vector<ShowTimeTerm> terms;
    ShowPlace place;
    float frames = 0.0f; // the value, once resolved
};

struct ShowScene {
    std::string name;
    std::string file;       // 3DS entry
    std::string sky;        // sky-box entry, loaded when the archive holds it; empty: none
    uint32_t priority = 0;  // highest drawn first
    int32_t view[4] = {0, 0, 1000, 1000}; // left, top, width, height in thousandths
    float opacity = 1.0f;
    bool textures = true;   // load its materials' textures
    bool active = false;    // active from the start
    ShowPlace place;
};

// An environment pass on the first material group of a scene's object.
struct ShowEnvironment {
    int32_t scene = -1;
    std::string object;
    std::string texture;
    float strength = 0.0f;
    ShowPlace place;
};

// One queued move of the character: a duration in engine frames, or loops of
// its motion.
struct ShowMove {
    int32_t motion = 0;
    float position[3] = {};
    float rotation[3] = {};
    bool inLoops = false;
    float length = 0.0f;
};

struct ShowCharacter {
    bool present = false;
    std::string model; // MD2 entry
    std::string name;  // the instance's name
    std::string skin;  // JPEG entry
    std::string chrome;        // environment texture; empty: none
    float chromeStrength = 0.0f;
    int32_t scene = -1;
    float position[3] = {};
    float rotation[3] = {};
    int32_t motion = 0;
    float speed = 1.0f;
    std::vector<ShowMove> moves;
};

// The one reflecting floor; its meshes are looked up in the first of its scenes.
struct ShowMirror {
    bool present = false;
    std::vector<int32_t> scenes;
    float normal[3] = {};
    float alpha = 1.0f;
    float corners[4][3] = {};
    float colours[4][3] = {};
    float uv[4][2] = {};
    std::string texture; // empty: untextured
    bool reflectCharacter = false;
    std::vector<std::string> meshes;
};

enum class ShowAction : int32_t {
    Activate,
    Deactivate,
    Fade,
    Flash,
    Noise,
    Trails,
    Trails2,
    EffectsOff,
    EffectsOff2,
    PlaySong,
    StopSong,
    FadeVolume,
    Finish,
};

struct ShowEvent {
    ShowAction action = ShowAction::Finish;
    ShowTime at;
    ShowTime until;      // running effects only
    int32_t scene = -1;  // activate, deactivate, fade
    float opacity = 0.0f;           // fade
    int32_t volume = 0;             // fade-volume
    std::vector<std::string> textures; // noise: four JPEG entries
    ShowPlace place;
};

struct Show {
    std::string fileName;
    std::vector<ShowScene> scenes; // in load order
    ShowTime length;               // the show's end; no time lies beyond it
    std::string song;              // tracker entry; empty: silent
    ShowCharacter character;
    std::vector<ShowEnvironment> environments;
    ShowMirror mirror;
    std::vector<ShowEvent> events; // in the order they are added
};

// Reads `text` (named `fileName` in messages) into `*show`. Returns true; or
// false with one message in `*error`, and `*show` is then unspecified.
bool ParseShow(const std::string& fileName, std::string_view text, Show* show, std::string* error);

// Evaluates the show's length and every event's times with the scenes'
// lengths `sceneFrames` (one per Show::scenes), and checks that each lies
// between 0 and the show's length and that no effect ends before it starts.
// Returns true; or false with one message in `*error`.
bool ResolveShowTimes(Show* show, const std::vector<int32_t>& sceneFrames, std::string* error);

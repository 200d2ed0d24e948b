// Option parsing for the player; see command_line.h.
#include "app/command_line.h"

#include <cstring> // strcmp, strncmp
#include <filesystem>
#include <system_error>

namespace {

// The dialog's list: the size repeats every four entries, the first four are 16 bits.
constexpr int kModeSizes[4][2] = {{320, 240}, {640, 480}, {800, 600}, {1024, 768}};

// The value of an option written "--name VALUE" or "--name=VALUE". Advances
// *i past a separate value. Null when the value is missing.
const char* OptionValue(const char* arg, const char* name, const int argc, const char* const* argv, int* i) {
    const size_t length = std::strlen(name);
    if (arg[length] == '=') {
        return arg + length + 1;
    }
    if (*i + 1 >= argc || argv[*i + 1] == nullptr) {
        return nullptr;
    }
    *i += 1;
    return argv[*i];
}

// True when `arg` is `name` alone or `name=...`.
bool IsOption(const char* arg, const char* name) {
    const size_t length = std::strlen(name);
    return std::strncmp(arg, name, length) == 0 && (arg[length] == '\0' || arg[length] == '=');
}

// Parses a mode index: decimal digits only, 0..7.
bool ParseModeIndex(const char* text, int* index) {
    if (text == nullptr || text[0] == '\0' || text[1] != '\0' || text[0] < '0' || text[0] > '7') {
        return false;
    }
    *index = text[0] - '0';
    return true;
}

// Parses a decimal count from `low` to `high`: digits only, no sign.
bool ParseCount(const char* text, const int64_t low, const int64_t high, int64_t* value) {
    if (text == nullptr || text[0] == '\0') {
        return false;
    }
    int64_t result = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return false;
        }
        result = result * 10 + (*c - '0');
        if (result > high) {
            return false; // also keeps the sum from overflowing
        }
    }
    if (result < low) {
        return false;
    }
    *value = result;
    return true;
}

constexpr int64_t kMaxFrameArgument = 1000000000;

CommandLine Failure(CommandLine line, const std::string& message) {
    line.action = CommandAction::Error;
    line.error = message;
    return line;
}

} // namespace

bool ModeFromIndex(const int index, int* width, int* height, int* bits) {
    if (index < 0 || index >= kModeCount) {
        return false;
    }
    *width = kModeSizes[index % 4][0];
    *height = kModeSizes[index % 4][1];
    *bits = index < 4 ? 16 : 32;
    return true;
}

CommandLine ParseCommandLine(const int argc, const char* const* argv) {
    CommandLine line;
    bool sawWindowed = false;
    bool sawFullscreen = false;
    bool sawSound = false;
    bool sawNoSound = false;
    bool wantHelp = false;
    bool wantVersion = false;
    bool sawStart = false;
    bool sawFrames = false;
    bool sawWindowScale = false;
    bool sawPak = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr) {
            break;
        }
        if (IsOption(arg, "--mode")) {
            const char* value = OptionValue(arg, "--mode", argc, argv, &i);
            if (!ParseModeIndex(value, &line.modeIndex)) {
                return Failure(line, std::string("--mode needs a list index from 0 to 7, got '") +
                                         (value != nullptr ? value : "") + "'");
            }
            line.skipDialog = true;
        } else if (IsOption(arg, "--pak")) {
            const char* value = OptionValue(arg, "--pak", argc, argv, &i);
            if (value == nullptr || value[0] == '\0') {
                return Failure(line, "--pak needs the path of an archive");
            }
            line.pakPath = value;
            line.pakGiven = true;
            sawPak = true;
        } else if (IsOption(arg, "--content")) {
            const char* value = OptionValue(arg, "--content", argc, argv, &i);
            if (value == nullptr || value[0] == '\0') {
                return Failure(line, "--content needs the folder of the show's files");
            }
            line.contentDir = value;
        } else if (IsOption(arg, "--show")) {
            const char* value = OptionValue(arg, "--show", argc, argv, &i);
            if (value == nullptr || value[0] == '\0') {
                return Failure(line, "--show needs the path of a show file");
            }
            line.showPath = value;
        } else if (std::strcmp(arg, "--watch") == 0) {
            line.watch = true;
        } else if (IsOption(arg, "--capture")) {
            const char* value = OptionValue(arg, "--capture", argc, argv, &i);
            if (value == nullptr || value[0] == '\0') {
                return Failure(line, "--capture needs the folder for the frames");
            }
            line.capture = true;
            line.captureDir = value;
        } else if (IsOption(arg, "--start")) {
            const char* value = OptionValue(arg, "--start", argc, argv, &i);
            if (!ParseCount(value, 0, kMaxFrameArgument, &line.startFrame)) {
                return Failure(line, std::string("--start needs an engine frame from 0 to 1000000000, got '") +
                                         (value != nullptr ? value : "") + "'");
            }
            sawStart = true;
        } else if (IsOption(arg, "--frames")) {
            const char* value = OptionValue(arg, "--frames", argc, argv, &i);
            if (!ParseCount(value, 1, kMaxFrameArgument, &line.frameLimit)) {
                return Failure(line, std::string("--frames needs a count from 1 to 1000000000, got '") +
                                         (value != nullptr ? value : "") + "'");
            }
            sawFrames = true;
        } else if (IsOption(arg, "--fixed-step")) {
            const char* value = OptionValue(arg, "--fixed-step", argc, argv, &i);
            int64_t step = 0;
            if (!ParseCount(value, 1, kMaxFixedStepMs, &step)) {
                return Failure(line, std::string("--fixed-step needs milliseconds from 1 to 10000, got '") +
                                         (value != nullptr ? value : "") + "'");
            }
            line.fixedStepMs = static_cast<int>(step);
        } else if (IsOption(arg, "--window-scale")) {
            const char* value = OptionValue(arg, "--window-scale", argc, argv, &i);
            int64_t scale = 0;
            if (!ParseCount(value, 1, kMaxWindowScaleOption, &scale)) {
                return Failure(line, std::string("--window-scale needs a factor from 1 to 8, got '") +
                                         (value != nullptr ? value : "") + "'");
            }
#ifdef _WIN32
            // The Windows framework draws straight into its window and has no
            // picture to scale.
            return Failure(line, "--window-scale is not available in the Windows build");
#endif
            line.windowScale = static_cast<int>(scale);
            sawWindowScale = true;
            line.fullscreen = false;
            line.skipDialog = true;
        } else if (std::strcmp(arg, "--desktop") == 0) {
            line.desktop = true;
            line.fullscreen = true;
            line.skipDialog = true;
        } else if (std::strcmp(arg, "--windowed") == 0) {
            sawWindowed = true;
            line.fullscreen = false;
            line.skipDialog = true;
        } else if (std::strcmp(arg, "--fullscreen") == 0) {
            sawFullscreen = true;
            line.fullscreen = true;
            line.skipDialog = true;
        } else if (std::strcmp(arg, "--sound") == 0) {
            sawSound = true;
            line.playSounds = true;
            line.skipDialog = true;
        } else if (std::strcmp(arg, "--no-sound") == 0) {
            sawNoSound = true;
            line.playSounds = false;
            line.skipDialog = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            wantHelp = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            wantVersion = true;
        } else {
            return Failure(line, std::string("unknown option '") + arg + "' (try --help)");
        }
    }
    if (sawWindowed && sawFullscreen) {
        return Failure(line, "--windowed and --fullscreen exclude each other");
    }
    if (line.desktop && (sawWindowed || sawWindowScale)) {
        return Failure(line, "--desktop plays full screen: drop --windowed and --window-scale");
    }
    if (sawWindowScale && sawFullscreen) {
        return Failure(line, "--window-scale and --fullscreen exclude each other");
    }
    if (line.capture && (line.desktop || sawWindowScale)) {
        return Failure(line, "--capture draws without a window: drop --desktop and --window-scale");
    }
    if (sawSound && sawNoSound) {
        return Failure(line, "--sound and --no-sound exclude each other");
    }
    if (line.capture && (sawWindowed || sawFullscreen || sawSound)) {
        return Failure(line, "--capture draws without a window or sound: drop --windowed, --fullscreen and --sound");
    }
    if (line.capture && line.watch) {
        return Failure(line, "--watch goes with a window, not with --capture");
    }
    if (sawPak && !line.contentDir.empty()) {
        return Failure(line, "--pak and --content exclude each other");
    }
    if (!line.capture && (sawStart || sawFrames)) {
        return Failure(line, "--start and --frames go with --capture");
    }
    if (wantHelp) {
        line.action = CommandAction::Help;
    } else if (wantVersion) {
        line.action = CommandAction::Version;
    }
    return line;
}

std::string InstalledArchivePath(const std::string& programPath) {
    if (programPath.empty()) {
        return std::string();
    }
    const std::filesystem::path folder = std::filesystem::path(programPath).parent_path();
#ifdef _WIN32
    return (folder / kDefaultPakPath).string();
#else
    return (folder.parent_path() / "share" / "tessaro" / kDefaultPakPath).string();
#endif
}

std::string ChooseArchive(const std::string& local, const std::string& installed) {
    std::error_code failure;
    if (std::filesystem::is_regular_file(local, failure) || installed.empty()) {
        return local;
    }
    if (std::filesystem::is_regular_file(installed, failure)) {
        return installed;
    }
    return local;
}

std::string CommandLineUsage() {
    return "usage: tessaro [--mode N] [--windowed | --fullscreen | --desktop] [--window-scale N]\n"
           "               [--sound | --no-sound] [--pak PATH | --content DIR] [--show FILE]\n"
           "               [--watch] [--fixed-step MS] [--help] [--version]\n"
           "       tessaro --capture DIR [--mode N] [--start F] [--frames N] [--fixed-step MS]\n"
           "               [--pak PATH | --content DIR] [--show FILE]\n"
           "Plays the demo from the archive PATH; without --pak, pako.qdz in the current\n"
           "directory, else the one installed with the program.\n"
           "Without display or sound options a dialog asks for the settings; with any of them\n"
           "the dialog is skipped and its defaults (mode 1, full screen, no sound) fill the rest.\n"
           "  --mode N       display mode by list index:\n"
           "                   0 320x240 16 bit   4 320x240 32 bit\n"
           "                   1 640x480 16 bit   5 640x480 32 bit\n"
           "                   2 800x600 16 bit   6 800x600 32 bit\n"
           "                   3 1024x768 16 bit  7 1024x768 32 bit\n"
           "  --windowed     play in a window     --fullscreen  fill the screen, the mode's\n"
           "                                                    picture scaled up (4:3 kept)\n"
           "  --desktop      fill the screen at its own resolution, the picture drawn sharp\n"
           "                 at the largest 4:3 size that fits, black bars at the sides\n"
           "  --window-scale N  play in a window N times the mode's size (1..8)\n"
           "  --sound        play the music       --no-sound    stay silent\n"
           "  --pak PATH     read the content from PATH\n"
           "  --content DIR  read the content from the loose files in DIR, named as in an\n"
           "                 archive, instead of an archive (see docs/show-format.md)\n"
           "  --show FILE    read the show from FILE instead of the content's show.toml\n"
           "  --watch        reload the show and its content when a file of it changes and\n"
           "                 go on at the same frame; a bad file keeps the last good show\n"
           "  --fixed-step MS  advance the show MS milliseconds per displayed frame instead of\n"
           "                 following the clock (1..10000), for repeatable runs\n"
           "  --capture DIR  no window, dialog or sound device: draw off screen at the mode's\n"
           "                 size on a clock of 40 ms per frame (or --fixed-step), write every\n"
           "                 frame as DIR/frame_NNNNN.png, numbered by engine frame, and the\n"
           "                 music of those frames as DIR/audio.wav, until the show finishes\n"
           "  --start F      with --capture: draw without writing until engine frame F; the\n"
           "                 first file is then frame_F and audio.wav starts there too\n"
           "  --frames N     with --capture: stop after N written frames\n"
           "  --help         show this text       --version     show the version\n"
           "Keys in a window: Space pause/resume, Left/Right one second back/on, Home from\n"
           "the start, I the engine frame and time in a corner, Escape end.\n";
}

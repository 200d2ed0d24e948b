// Option parsing for the player; see command_line.h.
#include "app/command_line.h"

#include <cstring> // strcmp, strncmp

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
    if (sawSound && sawNoSound) {
        return Failure(line, "--sound and --no-sound exclude each other");
    }
    if (wantHelp) {
        line.action = CommandAction::Help;
    } else if (wantVersion) {
        line.action = CommandAction::Version;
    }
    return line;
}

std::string CommandLineUsage() {
    return "usage: tessaro [--mode N] [--windowed | --fullscreen] [--sound | --no-sound] [--pak PATH]\n"
           "               [--help] [--version]\n"
           "Plays the demo from the archive PATH (default pako.qdz in the current directory).\n"
           "Without display or sound options a dialog asks for the settings; with any of them\n"
           "the dialog is skipped and its defaults (mode 1, full screen, no sound) fill the rest.\n"
           "  --mode N       display mode by list index:\n"
           "                   0 320x240 16 bit   4 320x240 32 bit\n"
           "                   1 640x480 16 bit   5 640x480 32 bit\n"
           "                   2 800x600 16 bit   6 800x600 32 bit\n"
           "                   3 1024x768 16 bit  7 1024x768 32 bit\n"
           "  --windowed     play in a window     --fullscreen  switch the screen mode\n"
           "  --sound        play the music       --no-sound    stay silent\n"
           "  --pak PATH     read the content from PATH\n"
           "  --help         show this text       --version     show the version\n";
}

// Command line of the player. Without arguments the display-mode dialog asks
// for the settings; any of --mode, --windowed, --fullscreen, --sound or
// --no-sound skips it and takes the dialog's defaults for what is not given.
// --capture DIR plays the show with no window, dialog or sound device on a
// fixed clock and writes each displayed frame as a PNG numbered by engine
// frame, and the music of those frames as one WAVE file; --fixed-step MS puts
// any run on a fixed clock of MS milliseconds per displayed frame. --desktop
// plays full screen at the monitor's own resolution, --window-scale N in a
// window N times the mode's size.
#pragma once

#include <cstdint> // int64_t
#include <string>

// Exit status for a bad command line.
constexpr int kCommandLineStatus = 2;

// The dialog's defaults: list index 1 (640 x 480, 16 bits), full screen, no sound.
constexpr int kDefaultModeIndex = 1;
constexpr int kModeCount = 8;

// The capture mode's clock: one engine frame (25 a second) per displayed frame.
constexpr int kCaptureStepMs = 40;
// Largest --fixed-step, in milliseconds.
constexpr int kMaxFixedStepMs = 10000;

// The default archive, in the current directory.
constexpr const char* kDefaultPakPath = "pako.qdz";

// What to do after parsing.
enum class CommandAction { Run, Help, Version, Error };

// Parsed options.
struct CommandLine {
    CommandAction action = CommandAction::Run;
    bool skipDialog = false; // any display or sound option was given
    int modeIndex = kDefaultModeIndex;
    bool fullscreen = true;
    bool playSounds = false;
    std::string pakPath = kDefaultPakPath;
    std::string contentDir;    // --content: loose files in this folder instead of the archive
    std::string showPath;      // --show: the show file read from this path instead of the content's
    bool watch = false;        // --watch: reload the show when one of its files changes
    std::string error; // one line, for CommandAction::Error
    bool capture = false;      // --capture given
    std::string captureDir;    // where the frames go
    int64_t startFrame = 0;    // --start: first engine frame written
    int64_t frameLimit = -1;   // --frames: frames to write, -1 until the finish
    int fixedStepMs = 0;       // --fixed-step: ms per displayed frame, 0 for the real clock
    bool desktop = false;      // --desktop: full screen at the monitor's resolution, no mode switch
    int windowScale = 1;       // --window-scale: the window at this many times the mode's size
    bool pakGiven = false;     // --pak given: that archive and no other
};

// Largest --window-scale.
constexpr int kMaxWindowScaleOption = 8;

// Parses argv[1..argc-1]. Options may repeat (the last value wins) but not
// contradict each other (--windowed with --fullscreen, --sound with
// --no-sound, --capture with --windowed, --fullscreen or --sound; --start and
// --frames need --capture; --content with --pak). --mode takes 0..7, --pak,
// --content and --capture a
// non-empty path, --start 0 or more, --frames 1 or more (both up to 10^9),
// --fixed-step 1..10000, --window-scale 1..8, each as the next argument or
// after '='. --desktop plays full screen (it excludes --windowed) and
// --window-scale in a window (it excludes --fullscreen and --desktop); both
// skip the dialog and exclude --capture. --show takes a non-empty path;
// --watch excludes --capture. The Windows build refuses
// --window-scale. Never
// throws; a problem yields CommandAction::Error.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// The display mode of a dialog list index: width, height and bits. False for
// an index outside 0..7 (outputs untouched).
bool ModeFromIndex(int index, int* width, int* height, int* bits);

// Where the installed archive lies for a program at programPath: on Windows
// beside the program, elsewhere in share/tessaro beside the program's bin
// folder. Empty for an empty path.
std::string InstalledArchivePath(const std::string& programPath);

// The archive a run without --pak reads: `local` (the default name, in the
// current directory) when it exists, else `installed` when that exists, else
// `local`, so that the missing archive is reported by its usual name.
std::string ChooseArchive(const std::string& local, const std::string& installed);

// The usage text printed by --help (several lines, ending in a line feed).
std::string CommandLineUsage();

// What the player does beyond playing the show through: replaying it to a
// frame without drawing (the capture's --start and the window's seeking),
// the window's keys (pause, a second back or on, start again, the engine
// frame and time in a corner) and, with --watch, loading the show again when
// one of its files changes, so that its maker sees an edit at the frame they
// are working on.
//
// Going to frame F always loads the show afresh and replays it from its start
// on the capture's 40 ms clock, so the picture at F is the same whichever way
// one arrives there, and the same as `--capture --start F` writes.
#pragma once

#include <cstdint> // int64_t
#include <string>
#include <vector>

struct CommandLine;

// --- Replay on a fixed clock -------------------------------------------------

// A run of passes on a fixed clock: the step, the passes done and the music
// frames mixed so far (MusicFramesDue's running count).
struct FixedClockRun {
    int stepMs = 40;
    int64_t passes = 0;
    int64_t musicFrames = 0;
};

// Runs passes of the loaded show on run->stepMs per pass, while the engine
// clock at a pass's start is below `frame` (less a thousandth: steps other
// than 40 ms do not add up exactly) and the show has not finished. The passes
// draw nothing: GL receives every state change (so the next drawn pass is
// drawn as it would have been) but no clear and no triangle. Each pass mixes
// its share of the music into nothing, so the song is where the picture is.
// Installs the fixed clock and leaves it installed. Returns the engine's
// finished flag.
int ReplayWithoutDrawing(FixedClockRun* run, double frame);

// The number of the last frame the loaded show draws before it finishes,
// counting passes of `stepFrames` engine frames from 0: the finish event's
// time over the step; -1 when the timeline holds no finish. Read before the
// finish has fired.
int64_t LastFrameNumber(double stepFrames);

// --- The window's controls ----------------------------------------------------------

// Set up at the end of a successful start-up: keys work in a window (not in
// full screen), --watch notes the show's files as they are now.
void PlayerStart(const CommandLine& options);

// A key went down (the window procedure's WM_KEYDOWN, repeats included).
// Escape ends the show even when it is up again before the loop looks.
void PlayerKeyDown(unsigned int key);

// The controls' share of a main-loop pass, before its frame: the keys
// pressed since the last pass, then --watch's look at the files. True when
// the pass should draw its frame; false while paused (the picture stays; a
// frame reached by seeking is shown once). Throws the error end's text when
// a show that played before no longer loads.
bool PlayerBeforeFrame();

// After the pass's frame: the engine frame and time in a corner when asked.
void PlayerAfterFrame(float frameAtStart);

// The engine frame of the picture on screen: the pass's own, or the one a
// key went to.
int64_t PlayerShownFrame();

// Forgets the run's controls (a page may play another show).
void PlayerEnd();

// The text of the show file at `path` (at most 1 MiB), for --show. False
// with a one-line reason naming the path.
bool ReadShowText(const std::string& path, std::string* text, std::string* reason);

// --- Watching files ------------------------------------------------------------------

// One file as --watch compares it: path, size and modification time.
struct WatchedFile {
    std::string path;
    int64_t size = -1;
    int64_t modified = 0; // nanoseconds, of the file system's clock
    bool operator==(const WatchedFile& other) const {
        return path == other.path && size == other.size && modified == other.modified;
    }
};

// The files a show is read from: the regular files directly in
// options.contentDir (by name), or the archive options.pakPath; and
// options.showPath when given. A file that cannot be read counts with size
// -1, so that its coming back is a change too.
std::vector<WatchedFile> ShowFilesNow(const CommandLine& options);

// --- The corner text -----------------------------------------------------------------

// "FRAME 123  4.92 S" (and a second line "PAUSED"): the engine frame a
// picture was drawn at, its time in seconds at 25 frames a second.
std::string CornerText(float frame, bool paused);

// Draws `text` (capitals, digits, '.', ':', blanks and line feeds; anything
// else as a blank) in white on a dark band at the top left of the screen, through the
// engine's GL table, in clip space over the whole screen. Leaves depth test
// and texturing on and blending off, as the frame expects them.
void DrawCornerText(const std::string& text, int screenWidth, int screenHeight);

// The white texel DrawCornerText draws with is made again on its next call
// (its name went with the show's textures, or with the context).
void ForgetCornerTextTexture();

// The application shell: the program's state that lives for the whole run,
// the millisecond timers on the performance counter, the window procedure the
// framework calls, the start-up of the sound library over the archive, and the
// run itself (start-up, main loop, normal end, error end).
//
// Everything runs on the main thread. Fatal conditions are raised by throwing
// a pointer to the NUL-terminated message text (`throw "..."`); TessaroRun
// catches it, tears the window down, shows the text in a box captioned
// "Velta error" and returns -1.
#pragma once

#include "framework/win32_types.h" // HWND, UINT, WPARAM, LPARAM, LRESULT
#include "platform/sound/sound.h"  // SoundSong, SoundFileHandle

#include <cstdint> // int32_t, int64_t, uint8_t, uint32_t
#include <string>
#include <vector>

struct CommandLine;
struct Scene;

// --- Timers -----------------------------------------------------------------

// Performance-counter ticks per second, read before main runs.
extern int64_t g_perfFrequency;

// Measures milliseconds from Start on the performance counter.
struct Timer {
    int64_t start = 0; // counter value at Start

    // Remembers the current counter value.
    void Start();
    // Whole milliseconds since Start: ticks / (frequency / 1000), both divisions
    // signed 64-bit; a frequency below 1000 ticks per second counts as 1 tick per
    // millisecond rather than dividing by zero.
    uint32_t ElapsedMs() const;
};

// Measures the whole run of the main loop.
extern Timer g_runTimer;

// Starts the frame timer at the current counter value.
void ResetFrameTimer();
// Milliseconds since the last ResetFrameTimer, computed as Timer::ElapsedMs.
uint32_t FrameElapsedMs();

// Where the timers read the counter; PlatformPerfCounter by default.
using PerfCounterSource = int64_t (*)();
// Test seam: replaces the counter source (null restores the platform counter).
void SetPerfCounterSource(PerfCounterSource source);

// --- Window procedure and input state ----------------------------------------

// Key-down state by virtual-key code: 1 while down.
extern unsigned char keys[256];
// The window is not minimised; 1 at start.
extern bool active;

// The application window procedure handed to the framework with SetWndProc.
LRESULT WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// --- Sound --------------------------------------------------------------------

// The show's song, loaded by the scene script when sound is on and the
// archive holds it, else null; stopped at the end and freed by the shell.
extern SoundSong* g_song;

// The sound library's message for an error code; "Unknown error" outside 0..19.
const char* SoundErrorText(int code);

// File callbacks over the current archive g_currentPak: a handle is a PakEntry
// pointer. Open returns 0 for a missing entry; read returns PakRead's block
// count (1 for a whole block of `size` bytes, else 0 and nothing read); seek
// returns 0, or -1 when the target is at or past the end (then rewound to 0);
// tell returns the position. A null handle reads nothing, fails to seek and
// tells -1.
SoundFileHandle ArchiveFileOpen(const char* name);
void ArchiveFileClose(SoundFileHandle handle);
int ArchiveFileRead(void* buffer, int size, SoundFileHandle handle);
int ArchiveFileSeek(SoundFileHandle handle, int position, signed char mode);
int ArchiveFileTell(SoundFileHandle handle);

// Checks the sound library's version, installs the archive callbacks and opens
// the output at 44100 Hz with 32 channels. Throws the error text on a wrong
// version or a failed initialisation, after writing its debugger line.
void SoundStartUp();

// --- The run ----------------------------------------------------------------------

// "FPS = <frames*1000/total>\nTempo totale necessario all'esecuzione della
// scena (msec) : <total>"; a total of 0 ms counts as 1 ms. The product is
// formed in 64 bits so that long runs do not wrap.
std::string ComposeRunReport(uint32_t frames, uint32_t totalMs);

// The five scenes, filled by the scene script and released at the end in this
// order: logo, blur0, blur1, corridors, corridoru. Null until loaded.
extern Scene* g_logo;
extern Scene* g_blur0;
extern Scene* g_blur1;
extern Scene* g_corridors;
extern Scene* g_corridoru;

// Frames drawn by the main loop so far.
extern uint32_t g_frameCount;

// The run in three steps, for a host that owns the loop (a web page runs one
// pass per animation frame). TessaroBegin lays out the pools and does the
// start-up; after a failure it has shown the error box, released everything
// and returns false. TessaroPass is one pass of the main loop (messages, the
// window's controls, then a frame unless minimised or paused); false once
// the show is done. TessaroEnd is the normal end: song stopped, window
// closed, run report printed, content released; returns 0, or -1 when a
// pass ended the run with an error (a show that no longer loads). The three
// may run again for another show.
bool TessaroBegin(const CommandLine& options, HINSTANCE instance);
// Lays out the memory pools for a run (TessaroBegin's first step; the capture
// needs them too).
void PrepareShowMemory();
bool TessaroPass();
int TessaroEnd();
// Opens the show's content as g_currentPak: the archive options.pakPath (a
// copy of it with --watch), or the loose files of options.contentDir
// (--content); and the show file options.showPath (--show) for the scene
// script. Throws "Impossibile trovare il PAKFile" for an archive that does
// not open, the reason for a folder or show file that cannot be read.
void OpenShowContent(const CommandLine& options);

// The whole program after the command line: start-up, main loop, end.
// Returns 0 after a normal end, -1 after an error. With options.capture the
// show is drawn off screen instead (TessaroCapture). `instance` is the
// program's instance handle, for the window class (null where there is none).
int TessaroRun(const CommandLine& options, HINSTANCE instance = nullptr);

// Shows the error end's message under its caption. The default is
// MessageBoxA; the entry point may put its own in (null restores the default).
using ErrorBoxFunction = void (*)(const char* text, const char* caption);
void SetErrorBox(ErrorBoxFunction box);

// The music's output: the rate the sound start-up opens, 16-bit stereo.
constexpr int kMusicRate = 44100;
constexpr int kMusicChannels = 2;

// The music frames due by the end of pass `passes` of `stepMs` milliseconds
// on a fixed clock, less the `mixedSoFar` already mixed. Whole milliseconds
// keep the count exact over any number of passes (the capture and the web
// page's fixed clock mix this share each pass).
constexpr int64_t MusicFramesDue(const int64_t passes, const int stepMs, const int64_t mixedSoFar) {
    return passes * stepMs * kMusicRate / 1000 - mixedSoFar;
}

// Makes the engine's clock advance `stepMs` milliseconds per displayed frame
// instead of following the performance counter; 0 or less restores the
// shell's frame timer.
void UseFixedFrameClock(int stepMs);

// Releases the show's content at the end of a run: the song if still held
// (stopped and freed, g_song becomes null), the five scenes (Destroy, in the
// shell's order; null ones skipped; the handles become null), the decoded
// images and the current archive (g_currentPak becomes null); the engine then
// forgets the show. Safe after a partial start-up.
void ReleaseShowContent();

// ReleaseShowContent without closing the archive: what a player that loads
// its show again gives back first.
void ReleaseShowObjects();

// Loads the show of g_currentPak again in a running window: the old show's
// objects and GL textures given back, the pools laid out afresh, the scene
// script run. Throws the script's message when the show does not load (the
// old show is gone by then).
void LoadShowAgain();

// The capture run (pools already set up): a headless GL context at the mode's
// size, the archive, the sound library on an output the run pulls from, the
// scene script, then every displayed frame on the fixed clock (kCaptureStepMs
// unless options.fixedStepMs) from engine frame options.startFrame on written
// as captureDir/frame_NNNNN.png, numbered by the pass that draws it from 0
// (the engine frame at its start on the 40 ms clock), and the music of the
// written frames' steps as captureDir/audio.wav (44100 Hz, 16-bit stereo),
// until the finish event or options.frameLimit frames. A progress line
// overwrites itself on standard error when that is a terminal. Errors go to
// standard error. Returns 0 after the end, -1 after an error.
int TessaroCapture(const CommandLine& options);

// Writes an RGBA image given bottom row first (GL order) as an 8-bit RGB PNG,
// top row first. False, with the reason in *error, when the file cannot be
// written or the size does not match the pixels.
bool WriteFramePng(const std::string& path, const std::vector<uint8_t>& rgba, int32_t width, int32_t height,
                   std::string* error);

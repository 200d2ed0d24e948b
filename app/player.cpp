// The window's controls and --watch: pause, seeking, starting again, the
// corner text, and loading the show again when its files change.
#include "app/player.h"
#include "app/app.h"          // LoadShowAgain, UseFixedFrameClock, ResetFrameTimer, g_song
#include "app/command_line.h" // CommandLine, kCaptureStepMs
#include "app/scene_script.h" // SetShowFileText

#include "archive/archive.h"       // PakClose, g_currentPak
#include "archive/pak_folder.h"    // PakOpenFolder, PakOpenSnapshot
#include "engine/engine.h"         // g_engine
#include "framework/lumora.h"      // fwk, done
#include "framework/win32_calls.h" // SwapBuffers
#include "platform/platform.h"     // PlatformSleepMs
#include "platform/sound/sound.h"  // SoundPauseOutput

#include <algorithm>  // sort
#include <cmath>      // floor
#include <cstdio>     // fprintf, printf
#include <cstdlib>    // getenv
#include <filesystem> // directory_iterator, file_size, last_write_time
#include <fstream>

namespace {

// One second of show, in engine frames.
constexpr int64_t kSeekFrames = 25;
// How often --watch looks at the files, and how long a paused loop waits.
constexpr uint32_t kWatchIntervalMs = 250;
constexpr int kPausedWaitMs = 10;
// A show file larger than this is not one (the archive's entry has the same bound).
constexpr std::uintmax_t kShowFileMaxBytes = 1u << 20;

struct Player {
    bool controls = false;       // keys work (a window, not full screen)
    bool paused = false;
    bool corner = false;         // the corner text is shown
    bool presentPending = false; // a frame reached by seeking waits to be shown
    float shownFrame = 0.0f;     // engine clock at the start of the last drawn pass
    std::vector<unsigned int> pressed;
    CommandLine options;
    bool trace = false;

    // --watch
    bool watch = false;
    Timer sinceLook;
    std::vector<WatchedFile> loaded;  // the files as the playing show was read
    std::vector<WatchedFile> changed; // seen once differing; loaded when still so
};

Player s_player;

// The player's state on standard output when the loop is traced, for
// scripted runs: "player frame=F paused=P corner=C".
void Report(const char* what) {
    if (!s_player.trace) {
        return;
    }
    std::printf("player %s frame=%.0f paused=%d corner=%d\n", what, std::floor(s_player.shownFrame + 1e-3),
                s_player.paused ? 1 : 0, s_player.corner ? 1 : 0);
    std::fflush(stdout);
}

// Replays the freshly loaded show to `frame` on the capture's clock and draws
// that frame into the back buffer, for the next swap to show. The run's own
// clock and the music device take over afterwards.
void ReplayAndDraw(const int64_t frame) {
    SoundPauseOutput(true);
    FixedClockRun run;
    run.stepMs = kCaptureStepMs;
    int finished = ReplayWithoutDrawing(&run, static_cast<double>(frame));
    if (finished == 0) {
        s_player.shownFrame = g_engine.time;
        g_engine.draw.gl.MatrixMode(GL_MODELVIEW);
        g_engine.draw.gl.LoadIdentity();
        finished = g_engine.RenderFrame();
        PlayerAfterFrame(s_player.shownFrame);
        s_player.presentPending = true;
    }
    if (finished != 0) {
        // Past the finish: the show ends as it would have there.
        done = 1;
    }
    UseFixedFrameClock(s_player.options.fixedStepMs);
    ResetFrameTimer();
    SoundPauseOutput(s_player.paused);
}

// Frame `frame` of the show as loaded now: everything from the start again.
// Going on past the end stops at the last frame the show draws, so that a
// key pressed in its last second does not end it.
void GoTo(const int64_t frame) {
    LoadShowAgain();
    const int64_t last = LastFrameNumber(kCaptureStepMs * kFramesPerMs);
    ReplayAndDraw(std::max<int64_t>(0, last >= 0 && frame > last ? last : frame));
}

void TogglePause() {
    s_player.paused = !s_player.paused;
    SoundPauseOutput(s_player.paused);
    // The time spent paused is not show time.
    ResetFrameTimer();
}

void HandleKey(const unsigned int key) {
    // A tap shorter than a pass is down and up again before the loop looks
    // at the key table; the press itself still ends the show.
    if (key == VK_ESCAPE) {
        done = 1;
        return;
    }
    if (!s_player.controls) {
        return;
    }
    switch (key) {
    case VK_SPACE:
        TogglePause();
        Report("pause");
        break;
    case VK_LEFT:
        GoTo(PlayerShownFrame() - kSeekFrames);
        Report("seek");
        break;
    case VK_RIGHT:
        GoTo(PlayerShownFrame() + kSeekFrames);
        Report("seek");
        break;
    case VK_HOME:
        GoTo(0);
        Report("seek");
        break;
    case 'I':
        s_player.corner = !s_player.corner;
        // A paused picture is drawn again at the same time, with or without
        // the text; moving on shows it in the next frame.
        if (s_player.paused) {
            GoTo(PlayerShownFrame());
        }
        Report("corner");
        break;
    default:
        break;
    }
}

// --- --watch ------------------------------------------------------------------

} // namespace

bool ReadShowText(const std::string& path, std::string* text, std::string* reason) {
    std::error_code failure;
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    if (failure) {
        *reason = path + ": cannot be read";
        return false;
    }
    if (size > kShowFileMaxBytes) {
        *reason = path + ": larger than a show file can be";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    text->assign(static_cast<size_t>(size), '\0');
    if (!in.read(text->data(), static_cast<std::streamsize>(size))) {
        *reason = path + ": cannot be read";
        return false;
    }
    return true;
}

namespace {

// The show's content as it is on disk now, read whole, so that later edits
// do not reach a show that is playing. Null with the reason.
PAKFile* OpenContentNow(const CommandLine& options, std::string* reason) {
    if (!options.contentDir.empty()) {
        return PakOpenFolder(options.contentDir, reason);
    }
    return PakOpenSnapshot(options.pakPath, reason);
}

// Loads the show from its files as they are now and goes on at the frame
// shown. A show that does not load is reported and the last good one goes on.
void ReloadFromFiles() {
    std::string reason;
    std::string showText;
    if (!s_player.options.showPath.empty() && !ReadShowText(s_player.options.showPath, &showText, &reason)) {
        std::fprintf(stderr, "tessaro: %s; the last good show goes on\n", reason.c_str());
        return;
    }
    PAKFile* const previous = g_currentPak;
    PAKFile* const fresh = OpenContentNow(s_player.options, &reason);
    if (fresh == nullptr) {
        g_currentPak = previous;
        std::fprintf(stderr, "tessaro: %s; the last good show goes on\n", reason.c_str());
        return;
    }
    g_currentPak = fresh;
    std::string previousName;
    std::string previousText;
    GetShowFileText(&previousName, &previousText);
    if (!s_player.options.showPath.empty()) {
        SetShowFileText(s_player.options.showPath, showText);
    }
    const int64_t frame = PlayerShownFrame();
    try {
        GoTo(frame);
    } catch (const char* message) {
        std::fprintf(stderr, "tessaro: %s\ntessaro: the last good show goes on\n", message);
        std::fflush(stderr);
        PakClose(fresh);
        g_currentPak = previous;
        SetShowFileText(previousName, previousText);
        // It loaded before from the same bytes; a failure now ends the run.
        GoTo(frame);
        Report("kept");
        return;
    }
    if (previous != nullptr) {
        PakClose(previous);
    }
    std::fprintf(stderr, "tessaro: show loaded again at frame %lld\n", static_cast<long long>(frame));
    std::fflush(stderr);
    Report("reloaded");
}

// Looks at the files now and then; a change is loaded once the files have
// stayed the same for one more look (an editor or a copy may still be
// writing them).
void Watch() {
    if (!s_player.watch || s_player.sinceLook.ElapsedMs() < kWatchIntervalMs) {
        return;
    }
    s_player.sinceLook.Start();
    std::vector<WatchedFile> now = ShowFilesNow(s_player.options);
    if (now == s_player.loaded) {
        s_player.changed.clear();
        return;
    }
    if (now != s_player.changed) {
        s_player.changed = now;
        return;
    }
    s_player.loaded = now;
    s_player.changed.clear();
    ReloadFromFiles();
}

} // namespace

std::vector<WatchedFile> ShowFilesNow(const CommandLine& options) {
    std::vector<std::string> paths;
    std::error_code failure;
    if (!options.contentDir.empty()) {
        for (std::filesystem::directory_iterator it(options.contentDir, failure), end; !failure && it != end;
             it.increment(failure)) {
            if (it->is_regular_file(failure)) {
                paths.push_back(it->path().string());
            }
        }
        std::sort(paths.begin(), paths.end());
        // An unreadable folder is a state of its own.
        if (failure) {
            paths.push_back(options.contentDir);
        }
    } else {
        paths.push_back(options.pakPath);
    }
    if (!options.showPath.empty()) {
        paths.push_back(options.showPath);
    }
    std::vector<WatchedFile> files;
    for (const std::string& path : paths) {
        WatchedFile file;
        file.path = path;
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        const auto modified = std::filesystem::last_write_time(path, error);
        if (!error) {
            file.size = static_cast<int64_t>(size);
            file.modified = static_cast<int64_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count());
        }
        files.push_back(file);
    }
    return files;
}

void PlayerStart(const CommandLine& options) {
    s_player = Player{};
    s_player.options = options;
    s_player.controls = !fwk.fullscreen;
    s_player.trace = std::getenv("TESSARO_TRACE_LOOP") != nullptr;
    s_player.watch = options.watch;
    if (s_player.watch) {
        s_player.loaded = ShowFilesNow(options);
        s_player.sinceLook.Start();
    }
}

void PlayerKeyDown(const unsigned int key) {
    // Held keys repeat; a loop that stalls must not pile them up.
    constexpr size_t kMaxPending = 64;
    if (s_player.pressed.size() < kMaxPending) {
        s_player.pressed.push_back(key);
    }
}

bool PlayerBeforeFrame() {
    const std::vector<unsigned int> keysNow = std::move(s_player.pressed);
    s_player.pressed.clear();
    for (const unsigned int key : keysNow) {
        if (done != 0) {
            break;
        }
        HandleKey(key);
    }
    if (done == 0) {
        Watch();
    }
    if (!s_player.paused) {
        return done == 0;
    }
    if (s_player.presentPending) {
        SwapBuffers(g_hMainWinDC);
        s_player.presentPending = false;
    } else {
        PlatformSleepMs(kPausedWaitMs);
    }
    return false;
}

void PlayerAfterFrame(const float frameAtStart) {
    s_player.shownFrame = frameAtStart;
    s_player.presentPending = false;
    if (s_player.corner) {
        DrawCornerText(CornerText(frameAtStart, s_player.paused), fwk.width, fwk.height);
    }
}

int64_t PlayerShownFrame() { return static_cast<int64_t>(std::floor(s_player.shownFrame + 1e-3)); }

void PlayerEnd() {
    s_player = Player{};
    ForgetCornerTextTexture();
}


// The run: start-up in its fixed order, the main loop, the normal end and the
// error end.
#include "app/app.h"
#include "app/command_line.h"
#include "app/player.h"       // PlayerStart, PlayerBeforeFrame, ReadShowText
#include "app/scene_script.h" // RunSceneScript, ReleaseShowScenes, SetShowFileText

#include "archive/archive.h"       // PakOpen, PakClose, g_currentPak
#include "archive/pak_folder.h"    // PakOpenFolder
#include "engine/engine.h"         // g_engine, EngineSetFrameClock, EngineSetScreenSize
#include "framework/lumora.h"      // SetWndProc, OrvaneInit, DoEvents, KillGLWindow, fwk, done
#include "framework/res_dialog_preset.h" // PresetResDialog
#include "framework/win32_calls.h" // SwapBuffers, MessageBoxA
#include "memory/memory_pool.h"    // PoolSetSmallSize, PoolInit
#include "texture/texture.h"       // FreeTextures

#include <algorithm> // fill
#include <cstdio>    // printf for the run report and the trace
#include <cstdlib>   // getenv
#include <initializer_list>
#include <iterator>  // begin, end

Scene* g_logo = nullptr;
Scene* g_blur0 = nullptr;
Scene* g_blur1 = nullptr;
Scene* g_corridors = nullptr;
Scene* g_corridoru = nullptr;
uint32_t g_frameCount = 0;

void OpenShowContent(const CommandLine& options) {
    // The reason outlives the throw: the error end shows it afterwards.
    static std::string s_reason;
    std::string showText;
    if (!options.showPath.empty() && !ReadShowText(options.showPath, &showText, &s_reason)) {
        throw s_reason.c_str();
    }
    SetShowFileText(options.showPath, showText);
    // Watched, the archive is read from a copy: the last good show must
    // still load after the file has been rewritten.
    if (options.watch && options.contentDir.empty()) {
        if (PakOpenSnapshot(options.pakPath, &s_reason) == nullptr) {
            throw "Impossibile trovare il PAKFile";
        }
        return;
    }
    if (options.contentDir.empty()) {
        if (PakOpen(options.pakPath.c_str(), "rb") == nullptr) {
            throw "Impossibile trovare il PAKFile";
        }
        return;
    }
    if (PakOpenFolder(options.contentDir, &s_reason) == nullptr) {
        throw s_reason.c_str();
    }
}

namespace {

constexpr int32_t kPoolSmallBytes = 200000;
constexpr int32_t kPoolTotalBytes = 20000000;
// OrvaneInit takes a writable string; the framework keeps its own copy.
char s_title[] = "Velta Beta 0.1";
// Milliseconds between two trace lines.
constexpr uint32_t kTraceIntervalMs = 200;

// The main loop's state on standard output, for scripted runs: set
// TESSARO_TRACE_LOOP to get the settings in use once, then a line
// "loop passes=P frames=F active=A" every 200 ms and at the end.
struct LoopTrace {
    bool enabled = std::getenv("TESSARO_TRACE_LOOP") != nullptr;
    uint32_t passes = 0;
    Timer sinceLast;

    void Print() const {
        std::printf("loop passes=%u frames=%u active=%d\n", passes, g_frameCount, active ? 1 : 0);
        std::fflush(stdout);
    }
    void Pass() {
        passes += 1;
        if (enabled && sinceLast.ElapsedMs() >= kTraceIntervalMs) {
            Print();
            sinceLast.Start();
        }
    }
};

// Both buffers start black.
void ClearBothBuffers() {
    for (int i = 0; i < 2; ++i) {
        g_engine.draw.gl.Clear(GL_COLOR_BUFFER_BIT);
        SwapBuffers(g_hMainWinDC);
    }
}

// With display or sound options on the command line the dialog is skipped and
// the settings come from the options.
void PresetDisplaySettings(const CommandLine& options) {
    if (options.skipDialog) {
        PresetResDialog(options.modeIndex, options.fullscreen ? 1 : 0, options.playSounds ? 1 : 0);
    }
    PresetPresentation(options.desktop, options.windowScale);
}

// The fixed clock: every displayed frame lasts the same number of milliseconds.
uint32_t s_fixedStepMs = 0;

uint32_t FixedStepElapsed() {
    return s_fixedStepMs;
}

void FixedStepReset() {}

// Steps 3 to 8 of the start-up; every failure throws its message.
void StartUp(const CommandLine& options, HINSTANCE instance) {
    if (OrvaneInit(instance, s_title) == 0) {
        throw "Impossibile settare le impostazioni iniziali";
    }
    EngineSetScreenSize(fwk.width, fwk.height);
    ClearBothBuffers();
    OpenShowContent(options);
    if (fwk.playSounds) {
        SoundStartUp();
    }
    RunSceneScript();
    g_runTimer.Start();
    ResetFrameTimer();
}

// The loop's trace for the whole run (TessaroBegin to TessaroEnd).
LoopTrace s_trace;
// The run ended by an error after its start-up.
bool s_failed = false;

void StartTrace() {
    s_trace.passes = 0;
    s_trace.sinceLast.Start();
    if (s_trace.enabled) {
        std::printf("settings width=%d height=%d bits=%d fullscreen=%d sound=%d\n", fwk.width, fwk.height,
                    fwk.bits, fwk.fullscreen ? 1 : 0, fwk.playSounds ? 1 : 0);
    }
}

} // namespace

std::string ComposeRunReport(const uint32_t frames, const uint32_t totalMs) {
    const uint64_t divisor = totalMs > 0 ? totalMs : 1;
    const uint64_t fps = static_cast<uint64_t>(frames) * 1000u / divisor;
    return "FPS = " + std::to_string(fps) +
           "\nTempo totale necessario all'esecuzione della scena (msec) : " + std::to_string(totalMs);
}

namespace {

void DefaultErrorBox(const char* text, const char* caption) { MessageBoxA(nullptr, text, caption, MB_OK); }

ErrorBoxFunction s_errorBox = DefaultErrorBox;

} // namespace

void SetErrorBox(const ErrorBoxFunction box) { s_errorBox = box != nullptr ? box : DefaultErrorBox; }

void PrepareShowMemory() {
    PoolSetSmallSize(kPoolSmallBytes);
    PoolInit(kPoolTotalBytes);
}

bool TessaroBegin(const CommandLine& options, HINSTANCE instance) {
    PrepareShowMemory();
    g_frameCount = 0;
    SetWndProc(WndProc);
    PresetDisplaySettings(options);
    try {
        StartUp(options, instance);
    } catch (const char* message) {
        KillGLWindow();
        s_errorBox(message, "Velta error");
        // Leaving content behind would be reclaimed by the exit anyway;
        // releasing it keeps leak checkers quiet about this path.
        ReleaseShowContent();
        return false;
    }
    UseFixedFrameClock(options.fixedStepMs);
    StartTrace();
    PlayerStart(options);
    s_failed = false;
    return true;
}

bool TessaroPass() {
    if (done != 0) {
        return false;
    }
    DoEvents();
    s_trace.Pass();
    if (!active) {
        return done == 0;
    }
    bool draw = false;
    try {
        draw = PlayerBeforeFrame();
    } catch (const char* message) {
        // A show that played before no longer loads: the error end.
        KillGLWindow();
        s_errorBox(message, "Velta error");
        s_failed = true;
        done = 1;
        return false;
    }
    if (draw) {
        g_frameCount += 1;
        SwapBuffers(g_hMainWinDC);
        g_engine.draw.gl.MatrixMode(GL_MODELVIEW);
        g_engine.draw.gl.LoadIdentity();
        const float frameAtStart = g_engine.time;
        done = done | g_engine.RenderFrame();
        PlayerAfterFrame(frameAtStart);
    }
    if (keys[VK_ESCAPE] != 0) {
        done = 1;
    }
    return done == 0;
}

int TessaroEnd() {
    if (s_trace.enabled) {
        s_trace.Print();
    }
    const uint32_t total = g_runTimer.ElapsedMs();
    g_engine.StopSong(g_song);
    KillGLWindow();
    std::printf("%s\n", ComposeRunReport(g_frameCount, total).c_str());
    std::fflush(stdout);
    if (fwk.playSounds) {
        FMUSIC_FreeSong(g_song);
        g_song = nullptr;
    }
    ReleaseShowContent();
    UseFixedFrameClock(0);
    PlayerEnd();
    // A page plays the show again in the same process: the keys of this run
    // (the Escape that ended it) must not end the next one.
    std::fill(std::begin(keys), std::end(keys), static_cast<unsigned char>(0));
    return s_failed ? -1 : 0;
}

void UseFixedFrameClock(const int stepMs) {
    if (stepMs <= 0) {
        s_fixedStepMs = 0;
        EngineSetFrameClock(FrameElapsedMs, ResetFrameTimer);
        return;
    }
    s_fixedStepMs = static_cast<uint32_t>(stepMs);
    EngineSetFrameClock(FixedStepElapsed, FixedStepReset);
}

void ReleaseShowObjects() {
    // Only an error end or a reload still holds the song here; the normal
    // end freed it.
    if (g_song != nullptr) {
        FMUSIC_StopSong(g_song);
        FMUSIC_FreeSong(g_song);
        g_song = nullptr;
    }
    ReleaseShowScenes();
    FreeTextures();
    // The engine's lists still name the scenes just released.
    g_engine.ForgetShow();
}

void ReleaseShowContent() {
    ReleaseShowObjects();
    if (g_currentPak != nullptr) {
        PakClose(g_currentPak);
        g_currentPak = nullptr;
    }
}

void LoadShowAgain() {
    ReleaseShowObjects();
    DeleteUploadedTextures();
    ForgetCornerTextTexture();
    PrepareShowMemory();
    RunSceneScript();
}

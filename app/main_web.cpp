// Entry point in a web page. The page (framework/web/) loads this module and
// the archive, shows the dialog's form and, on its answer, calls tessaro_play
// inside the same click or key press. The show then runs one pass of the
// main loop per animation frame, paced by the browser, as a tab cannot block;
// at its end (Escape, or the show's finish) the run ends as on the desktop,
// the sound library closes as it would with the process, and the page offers
// to play again.
//
// For tests that compare the page's frames with the desktop's capture, the
// page may ask for the capture's fixed clock: every pass then lasts the same
// milliseconds, the music is mixed on that clock rather than by the audio
// device (a step's share per pass, as the capture does), and the page is told
// after each pass which engine frame it shows (the window's keys may have
// gone to another) and how much music was mixed.
//
// A show file the person gave the page (chosen or dropped on it) is written
// into the module's file system, and its path comes with tessaro_play: the
// show is then that file's, over the archive's scenes, as --show gives it on
// the desktop.
#include "app/app.h"
#include "app/command_line.h"
#include "app/player.h" // PlayerShownFrame

#include "framework/lumora.h"     // done
#include "platform/sound/sound.h" // SoundSetManualOutput, SoundMix, SoundShutdown

#include <emscripten.h>

#include <cstdint> // int16_t, int64_t
#include <vector>

namespace {

// The music mixed on the fixed clock so far: frames, and the sum of squares
// of the samples (for the page's loudness figure).
struct ClockedMusic {
    int64_t frames = 0;
    double sumSquares = 0.0;
    std::vector<int16_t> block;
};

CommandLine s_options;
ClockedMusic s_music;
bool s_running = false;

// clang-format off
EM_JS(void, PageModuleReady, (), {
    TessaroPage.moduleReady();
});
EM_JS(int, PageFrameShown, (int passes, int frame, double musicFrames, double sumSquares), {
    return TessaroPage.frameShown(passes, frame, musicFrames, sumSquares) ? 1 : 0;
});
EM_JS(void, PageShowEnded, (int started), {
    TessaroPage.showEnded(started);
});
// clang-format on

// The music of pass `passes` on the fixed clock.
void MixClockedStep(const int64_t passes) {
    const int64_t due = MusicFramesDue(passes, s_options.fixedStepMs, s_music.frames);
    if (due <= 0) {
        return;
    }
    s_music.block.assign(static_cast<size_t>(due) * kMusicChannels, 0);
    SoundMix(s_music.block.data(), static_cast<int>(due));
    for (const int16_t sample : s_music.block) {
        s_music.sumSquares += static_cast<double>(sample) * static_cast<double>(sample);
    }
    s_music.frames += due;
}

void EndRun() {
    emscripten_cancel_main_loop();
    TessaroEnd();
    // A process would end here, closing the sound library; the page goes on.
    SoundShutdown();
    s_running = false;
    PageShowEnded(1);
}

void Pass() {
    if (!TessaroPass()) {
        EndRun();
        return;
    }
    if (s_options.fixedStepMs > 0) {
        MixClockedStep(g_frameCount);
    }
    // Unless a key went elsewhere, pass n on the fixed clock shows engine
    // frame n - 1, the capture's numbering.
    const int frame = static_cast<int>(PlayerShownFrame());
    if (PageFrameShown(static_cast<int>(g_frameCount), frame, static_cast<double>(s_music.frames),
                       s_music.sumSquares) != 0) {
        done = 1;
        EndRun();
    }
}

} // namespace

extern "C" {

// Starts the show with the dialog already answered (lumora_answer_dialog).
// fixedStepMs > 0 runs it on that fixed clock (see above); showPath, when not
// null or empty, names the show file to play instead of the archive's.
// Returns 0 when the show started; -1 when the start-up failed (its box is on
// the page) or a show is already running.
EMSCRIPTEN_KEEPALIVE int tessaro_play(const int fixedStepMs, const char* showPath) {
    if (s_running) {
        return -1;
    }
    s_options = CommandLine{};
    s_options.fixedStepMs = fixedStepMs > 0 && fixedStepMs <= kMaxFixedStepMs ? fixedStepMs : 0;
    if (showPath != nullptr) {
        s_options.showPath = showPath;
    }
    s_music = ClockedMusic{};
    SoundSetManualOutput(s_options.fixedStepMs > 0);
    if (!TessaroBegin(s_options, nullptr)) {
        SoundShutdown();
        PageShowEnded(0);
        return -1;
    }
    s_running = true;
    emscripten_set_main_loop(Pass, 0, 0);
    return 0;
}

} // extern "C"

int main() {
    PageModuleReady();
    return 0;
}

// The player end to end, driven like a person at the screen: the dialog, the
// running window, Escape, the close box, minimising, and the error boxes.
#include "tests/gui/app_gui_driver.h"

#include "archive/pak_writer.h"
#include "tests/support/show_archive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kDialogTitle = "Velta Engine Beta 0.1 - Orvane Team";
constexpr const char* kMainTitle = "Velta Beta 0.1";
constexpr const char* kErrorBoxTitle = "Velta error";
constexpr double kAppear = 30.0; // seconds for a window to show up (sanitizer builds start slowly)
constexpr double kEnd = 30.0;    // seconds for the player to end after the last input

// The loop's last trace line: "loop passes=P frames=F active=A".
struct LoopState {
    bool seen = false;
    long passes = 0;
    long frames = 0;
    int active = -1;
};

LoopState LastLoopState(const std::string& output) {
    LoopState state;
    size_t at = output.rfind("loop passes=");
    if (at == std::string::npos) {
        return state;
    }
    long passes = 0;
    long frames = 0;
    int active = -1;
    if (std::sscanf(output.c_str() + at, "loop passes=%ld frames=%ld active=%d", &passes, &frames, &active) ==
        3) {
        state = {true, passes, frames, active};
    }
    return state;
}

// Waits until the trace says the loop runs with `active`.
LoopState WaitForActivity(const PlayerProcess& player, const int active, const double seconds) {
    LoopState state;
    for (double waited = 0.0; waited < seconds; waited += 0.1) {
        state = LastLoopState(player.Output());
        if (state.seen && state.active == active) {
            return state;
        }
        GuiSleep(0.1);
    }
    return state;
}

// Holds Escape in the running window until the player ends or `kEnd` passes,
// as a person keeps it down until the show stops. True with *status set when
// it ended normally.
bool EscapeEnds(PlayerProcess& player, const std::string& window, int* status) {
    GuiKeyDown(window, "Escape");
    const bool ended = player.Wait(kEnd, status);
    GuiKeyUp("Escape");
    return ended;
}

class AppGui : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        GuiEnsureSession();
        // A show whose logo lasts for hours: the tests end it themselves.
        ShowArchiveOptions endless;
        endless.logoFrames = 1000000;
        std::string error;
        s_archiveReady = PakWriteArchive(kArchive, BuildShowArchive(endless), &error);
        // A show that finishes by itself after 280 engine frames.
        ShowArchiveOptions brief;
        brief.logoFrames = 20;
        brief.corridoruFrames = 160;
        s_archiveReady = s_archiveReady && PakWriteArchive(kShortArchive, BuildShowArchive(brief), &error);
    }
    static void TearDownTestSuite() {
        std::remove(kArchive);
        std::remove(kShortArchive);
        GuiEndSession();
    }
    void SetUp() override {
        if (!GuiAvailable()) {
            GTEST_SKIP() << "no X server, window manager or xdotool";
        }
        ASSERT_TRUE(s_archiveReady);
    }

    // The player with the loop trace on, in the build folder.
    static std::vector<std::string> Env(const std::string& audioDriver = "dummy") {
        // The player now draws real scenes: the software renderer compiles
        // its shaders with an allocation-heavy compiler and strands a few
        // blocks when the window's GL library is unloaded at the end. Tracing
        // them back needs full stacks on every allocation, which slows the
        // compiler past the tests' patience, so sanitizer builds check the
        // player's own leaks elsewhere (capture_test, where the context stays
        // loaded until exit) and not in these windowed runs.
        const std::string lsan = std::string("LSAN_OPTIONS=suppressions=") + TESSARO_SOURCE_DIR +
                                 "/tests/lsan.supp:print_suppressions=0";
        return {"TESSARO_TRACE_LOOP=1", "SDL_AUDIODRIVER=" + audioDriver, lsan, "ASAN_OPTIONS=detect_leaks=0"};
    }

    static constexpr const char* kArchive = "app_gui_test.qdz";
    static constexpr const char* kShortArchive = "app_gui_test_short.qdz";
    static inline bool s_archiveReady = false;
};

TEST_F(AppGui, DialogEnterConfirmsTheDefaultsAndEscapeEnds) {
    PlayerProcess player(TESSARO_PLAYER, {"--pak", kArchive}, ".", Env());
    const std::string dialog = GuiFindWindow(kDialogTitle, kAppear);
    ASSERT_FALSE(dialog.empty()) << player.Errors();
    GuiKey(dialog, "Return");
    const std::string window = GuiFindWindow(kMainTitle, kAppear);
    ASSERT_FALSE(window.empty()) << player.Errors();
    ASSERT_TRUE(WaitForActivity(player, 1, kAppear).seen) << player.Output();
    EXPECT_NE(player.Output().find("settings width=640 height=480 bits=16 fullscreen=1 sound=0"),
              std::string::npos)
        << player.Output();
    int status = -1;
    ASSERT_TRUE(EscapeEnds(player, window, &status)) << player.Errors();
    EXPECT_EQ(status, 0) << player.Errors();
    EXPECT_NE(player.Output().find("FPS = "), std::string::npos);
    EXPECT_NE(player.Output().find("Tempo totale necessario all'esecuzione della scena (msec) : "),
              std::string::npos);
}

TEST_F(AppGui, DialogEscapeCancelsWithTheSettingsError) {
    PlayerProcess player(TESSARO_PLAYER, {"--pak", kArchive}, ".", Env());
    const std::string dialog = GuiFindWindow(kDialogTitle, kAppear);
    ASSERT_FALSE(dialog.empty()) << player.Errors();
    GuiKey(dialog, "Escape");
    const std::string box = GuiFindWindow(kErrorBoxTitle, kAppear);
    ASSERT_FALSE(box.empty()) << player.Errors();
    EXPECT_TRUE(GuiWindowGone(kMainTitle, 0.0)) << "no window was ever made";
    GuiKey(box, "Return");
    int status = -1;
    ASSERT_TRUE(player.Wait(kEnd, &status)) << player.Errors();
    EXPECT_EQ(status, 255);
    EXPECT_NE(player.Errors().find("Impossibile settare le impostazioni iniziali"), std::string::npos)
        << player.Errors();
}

TEST_F(AppGui, MissingArchiveIsReportedAfterTheWindowIsGone) {
    PlayerProcess player(TESSARO_PLAYER, {"--windowed", "--mode", "0", "--pak", "no_such_archive.qdz"}, ".",
                         Env());
    const std::string box = GuiFindWindow(kErrorBoxTitle, kAppear);
    ASSERT_FALSE(box.empty()) << player.Errors();
    EXPECT_TRUE(GuiWindowGone(kMainTitle, 0.0)) << "the window goes before the box shows";
    GuiKey(box, "Return");
    int status = -1;
    ASSERT_TRUE(player.Wait(kEnd, &status)) << player.Errors();
    EXPECT_EQ(status, 255);
    EXPECT_NE(player.Errors().find("Impossibile trovare il PAKFile"), std::string::npos) << player.Errors();
    EXPECT_EQ(player.Output().find("FPS = "), std::string::npos) << "no run report after an error";
}

TEST_F(AppGui, EscapeInTheRunningWindowEndsNormally) {
    PlayerProcess player(TESSARO_PLAYER, {"--windowed", "--mode", "4", "--pak", kArchive}, ".", Env());
    const std::string window = GuiFindWindow(kMainTitle, kAppear);
    ASSERT_FALSE(window.empty()) << player.Errors();
    ASSERT_TRUE(WaitForActivity(player, 1, kAppear).seen) << player.Output();
    EXPECT_NE(player.Output().find("settings width=320 height=240 bits=32 fullscreen=0 sound=0"),
              std::string::npos)
        << player.Output();
    // The window was centred on the 640 x 480 screen while being created; the
    // frame the window manager adds moves it by a title bar at most.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(GuiWindowRect(window, &x, &y, &width, &height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_NEAR(x + width / 2, 320, 30);
    EXPECT_NEAR(y + height / 2, 240, 30);
    int status = -1;
    ASSERT_TRUE(EscapeEnds(player, window, &status)) << player.Errors();
    EXPECT_EQ(status, 0) << player.Errors();
    EXPECT_TRUE(GuiWindowGone(kMainTitle, 5.0));
}

TEST_F(AppGui, SoundOnARunningOutputPlaysAndEnds) {
    PlayerProcess player(TESSARO_PLAYER, {"--windowed", "--mode", "0", "--sound", "--pak", kArchive}, ".",
                         Env());
    const std::string window = GuiFindWindow(kMainTitle, kAppear);
    ASSERT_FALSE(window.empty()) << player.Errors();
    ASSERT_TRUE(WaitForActivity(player, 1, kAppear).seen) << player.Output();
    EXPECT_NE(player.Output().find("sound=1"), std::string::npos) << player.Output();
    int status = -1;
    ASSERT_TRUE(EscapeEnds(player, window, &status)) << player.Errors();
    EXPECT_EQ(status, 0) << player.Errors();
}

TEST_F(AppGui, SoundWithoutAnOutputDeviceIsAnError) {
    PlayerProcess player(TESSARO_PLAYER, {"--windowed", "--mode", "0", "--sound", "--pak", kArchive}, ".",
                         Env("no-such-driver"));
    const std::string box = GuiFindWindow(kErrorBoxTitle, kAppear);
    ASSERT_FALSE(box.empty()) << player.Errors();
    EXPECT_TRUE(GuiWindowGone(kMainTitle, 0.0));
    GuiKey(box, "Return");
    int status = -1;
    ASSERT_TRUE(player.Wait(kEnd, &status)) << player.Errors();
    EXPECT_EQ(status, 255);
    EXPECT_NE(player.Errors().find("Velta error: Error initializing output device."), std::string::npos)
        << player.Errors();
}

TEST_F(AppGui, CloseBoxEndsNormally) {
    PlayerProcess player(TESSARO_PLAYER, {"--windowed", "--mode", "0", "--pak", kArchive}, ".", Env());
    const std::string window = GuiFindWindow(kMainTitle, kAppear);
    ASSERT_FALSE(window.empty()) << player.Errors();
    ASSERT_TRUE(WaitForActivity(player, 1, kAppear).seen) << player.Output();
    GuiClickCloseBox(window);
    int status = -1;
    ASSERT_TRUE(player.Wait(kEnd, &status)) << player.Errors();
    EXPECT_EQ(status, 0) << player.Errors();
    EXPECT_NE(player.Output().find("FPS = "), std::string::npos);
}

TEST_F(AppGui, MinimisedWindowStopsDrawingButKeepsPumping) {
    PlayerProcess player(TESSARO_PLAYER, {"--windowed", "--mode", "0", "--pak", kArchive}, ".", Env());
    const std::string window = GuiFindWindow(kMainTitle, kAppear);
    ASSERT_FALSE(window.empty()) << player.Errors();
    ASSERT_TRUE(WaitForActivity(player, 1, kAppear).seen) << player.Output();

    GuiMinimise(window);
    const LoopState minimised = WaitForActivity(player, 0, kAppear);
    ASSERT_EQ(minimised.active, 0) << player.Output();
    GuiSleep(1.0);
    const LoopState later = LastLoopState(player.Output());
    EXPECT_EQ(later.active, 0);
    EXPECT_EQ(later.frames, minimised.frames) << "no frame is drawn while minimised";
    EXPECT_GT(later.passes, minimised.passes) << "messages are still pumped";

    GuiRestore(window);
    const LoopState restored = WaitForActivity(player, 1, kAppear);
    ASSERT_EQ(restored.active, 1) << player.Output();
    GuiSleep(0.5);
    EXPECT_GT(LastLoopState(player.Output()).frames, later.frames) << "drawing resumes";
    int status = -1;
    ASSERT_TRUE(EscapeEnds(player, window, &status)) << player.Errors();
    EXPECT_EQ(status, 0) << player.Errors();
}

// On a fixed clock of 40 ms per frame the short show finishes by itself:
// the finish at engine frame 280 acts in the 282nd frame, whatever the speed
// of the machine.
TEST_F(AppGui, FixedStepShowFinishesByItselfAfterItsFrames) {
    PlayerProcess player(TESSARO_PLAYER, {"--windowed", "--mode", "0", "--fixed-step", "40", "--pak", kShortArchive},
                         ".", Env());
    int status = -1;
    ASSERT_TRUE(player.Wait(kAppear + kEnd, &status)) << player.Errors();
    EXPECT_EQ(status, 0) << player.Errors();
    const LoopState state = LastLoopState(player.Output());
    ASSERT_TRUE(state.seen) << player.Output();
    EXPECT_EQ(state.frames, 282) << player.Output();
    EXPECT_TRUE(GuiWindowGone(kMainTitle, kEnd));
}

TEST_F(AppGui, BadOptionGivesOneLineAndStatusTwo) {
    PlayerProcess player(TESSARO_PLAYER, {"--mode", "9"}, ".", Env());
    int status = -1;
    ASSERT_TRUE(player.Wait(kEnd, &status));
    EXPECT_EQ(status, 2);
    const std::string errors = player.Errors();
    EXPECT_NE(errors.find("tessaro: "), std::string::npos);
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
    EXPECT_TRUE(GuiWindowGone(kDialogTitle, 0.0));
}

} // namespace

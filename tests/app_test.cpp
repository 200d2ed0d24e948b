// The shell's pieces without a display: command line and mode table, timers
// on a fake counter, the run report, the window procedure's table, and the
// sound start-up with its callbacks over a real archive.
#include "app/app.h"
#include "app/command_line.h"
#include "tests/support/test_env.h"

#include "archive/archive.h"
#include "engine/engine.h" // g_engine's frame timer
#include "archive/pak_writer.h"
#include "framework/lumora.h"
#include "framework/res_dialog_preset.h" // PresetResDialog, ClearResDialogPreset
#include "tests/support/debug_capture.h"
#include "tests/support/test_song.h" // TestSongBytes

#include <gtest/gtest.h>

#include <cmath>   // nextafter
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// ---- command line --------------------------------------------------------------

TEST(ModeTable, MatchesTheDialogList) {
    const int expected[8][3] = {{320, 240, 16}, {640, 480, 16}, {800, 600, 16}, {1024, 768, 16},
                                {320, 240, 32}, {640, 480, 32}, {800, 600, 32}, {1024, 768, 32}};
    for (int i = 0; i < 8; ++i) {
        int w = 0;
        int h = 0;
        int b = 0;
        ASSERT_TRUE(ModeFromIndex(i, &w, &h, &b)) << i;
        EXPECT_EQ(w, expected[i][0]) << i;
        EXPECT_EQ(h, expected[i][1]) << i;
        EXPECT_EQ(b, expected[i][2]) << i;
    }
}

TEST(ModeTable, OutOfRangeLeavesOutputsAlone) {
    for (const int index : {-1, 8, 100, -2147483647}) {
        int w = 7;
        int h = 8;
        int b = 9;
        EXPECT_FALSE(ModeFromIndex(index, &w, &h, &b)) << index;
        EXPECT_EQ(w, 7);
        EXPECT_EQ(h, 8);
        EXPECT_EQ(b, 9);
    }
}

CommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tessaro");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineTest, NoArgumentsShowsTheDialogWithItsDefaults) {
    const CommandLine line = Parse({});
    EXPECT_EQ(line.action, CommandAction::Run);
    EXPECT_FALSE(line.skipDialog);
    EXPECT_EQ(line.modeIndex, 1);
    EXPECT_TRUE(line.fullscreen);
    EXPECT_FALSE(line.playSounds);
    EXPECT_EQ(line.pakPath, "pako.qdz");
}

struct GoodCase {
    std::vector<const char*> args;
    bool skipDialog;
    int modeIndex;
    bool fullscreen;
    bool playSounds;
    const char* pak;
};

TEST(CommandLineTest, AcceptedOptions) {
    const GoodCase cases[] = {
        {{"--mode", "0"}, true, 0, true, false, "pako.qdz"},
        {{"--mode=7"}, true, 7, true, false, "pako.qdz"},
        {{"--mode", "3", "--mode", "5"}, true, 5, true, false, "pako.qdz"},
        {{"--windowed"}, true, 1, false, false, "pako.qdz"},
        {{"--fullscreen"}, true, 1, true, false, "pako.qdz"},
        {{"--sound"}, true, 1, true, true, "pako.qdz"},
        {{"--no-sound"}, true, 1, true, false, "pako.qdz"},
        {{"--windowed", "--windowed", "--sound", "--mode", "4"}, true, 4, false, true, "pako.qdz"},
        {{"--pak", "other.qdz"}, false, 1, true, false, "other.qdz"},
        {{"--pak=dir/x.qdz", "--windowed"}, true, 1, false, false, "dir/x.qdz"},
    };
    for (const GoodCase& c : cases) {
        const CommandLine line = Parse(c.args);
        const std::string name = c.args.empty() ? "" : c.args[0];
        ASSERT_EQ(line.action, CommandAction::Run) << name << ": " << line.error;
        EXPECT_EQ(line.skipDialog, c.skipDialog) << name;
        EXPECT_EQ(line.modeIndex, c.modeIndex) << name;
        EXPECT_EQ(line.fullscreen, c.fullscreen) << name;
        EXPECT_EQ(line.playSounds, c.playSounds) << name;
        EXPECT_EQ(line.pakPath, c.pak) << name;
    }
}

TEST(CommandLineTest, RejectedOptionsGiveOneLine) {
    const std::vector<std::vector<const char*>> cases = {
        {"--mode"},
        {"--mode", "8"},
        {"--mode", "-1"},
        {"--mode", "1x"},
        {"--mode", ""},
        {"--mode="},
        {"--mode", "01"},
        {"--pak"},
        {"--pak="},
        {"--pak", ""},
        {"--bogus"},
        {"-h"},
        {"file.qdz"},
        {"--windowed", "--fullscreen"},
        {"--sound", "--no-sound"},
        {"--modes", "1"},
        {"--windowed=1"},
    };
    for (const auto& args : cases) {
        const CommandLine line = Parse(args);
        EXPECT_EQ(line.action, CommandAction::Error) << args[0];
        EXPECT_FALSE(line.error.empty()) << args[0];
        EXPECT_EQ(line.error.find('\n'), std::string::npos) << args[0];
    }
}

TEST(CommandLineTest, CaptureAndFixedStepOptions) {
    const CommandLine plain = Parse({});
    EXPECT_FALSE(plain.capture);
    EXPECT_EQ(plain.startFrame, 0);
    EXPECT_EQ(plain.frameLimit, -1);
    EXPECT_EQ(plain.fixedStepMs, 0);

    const CommandLine capture = Parse({"--capture", "out", "--mode", "2", "--start=250", "--frames", "12"});
    ASSERT_EQ(capture.action, CommandAction::Run) << capture.error;
    EXPECT_TRUE(capture.capture);
    EXPECT_EQ(capture.captureDir, "out");
    EXPECT_EQ(capture.modeIndex, 2);
    EXPECT_EQ(capture.startFrame, 250);
    EXPECT_EQ(capture.frameLimit, 12);
    EXPECT_EQ(capture.fixedStepMs, 0);

    const CommandLine limits = Parse({"--capture=d", "--start", "1000000000", "--frames", "1000000000",
                                      "--fixed-step", "10000", "--no-sound"});
    ASSERT_EQ(limits.action, CommandAction::Run) << limits.error;
    EXPECT_EQ(limits.startFrame, 1000000000);
    EXPECT_EQ(limits.frameLimit, 1000000000);
    EXPECT_EQ(limits.fixedStepMs, 10000);

    const CommandLine editing = Parse({"--content", "dir", "--show=my.toml", "--watch", "--windowed"});
    ASSERT_EQ(editing.action, CommandAction::Run) << editing.error;
    EXPECT_EQ(editing.contentDir, "dir");
    EXPECT_EQ(editing.showPath, "my.toml");
    EXPECT_TRUE(editing.watch);
    EXPECT_EQ(Parse({"--capture", "d", "--show", "s.toml"}).showPath, "s.toml");

    const CommandLine stepped = Parse({"--fixed-step", "33", "--windowed"});
    ASSERT_EQ(stepped.action, CommandAction::Run) << stepped.error;
    EXPECT_FALSE(stepped.capture);
    EXPECT_EQ(stepped.fixedStepMs, 33);
    EXPECT_TRUE(stepped.skipDialog);
}

// --desktop plays full screen, --window-scale in a window; both skip the
// dialog, neither goes with the other, with the opposite mode or --capture.
TEST(CommandLineTest, DesktopAndWindowScale) {
    struct Case {
        std::vector<const char*> args;
        bool accepted;
        bool desktop;
        int scale;
        bool fullscreen;
    };
    const Case cases[] = {
        {{}, true, false, 1, true},
        {{"--desktop"}, true, true, 1, true},
        {{"--desktop", "--fullscreen", "--mode", "7"}, true, true, 1, true},
        {{"--window-scale", "2"}, true, false, 2, false},
        {{"--window-scale=8", "--windowed"}, true, false, 8, false},
        {{"--window-scale", "1"}, true, false, 1, false},
        {{"--window-scale", "0"}, false, false, 1, true},
        {{"--window-scale", "9"}, false, false, 1, true},
        {{"--window-scale", "2.5"}, false, false, 1, true},
        {{"--window-scale"}, false, false, 1, true},
        {{"--desktop", "--windowed"}, false, false, 1, true},
        {{"--windowed", "--desktop"}, false, false, 1, true},
        {{"--desktop", "--window-scale", "2"}, false, false, 1, true},
        {{"--window-scale", "2", "--fullscreen"}, false, false, 1, true},
        {{"--capture", "d", "--desktop"}, false, false, 1, true},
        {{"--capture", "d", "--window-scale", "2"}, false, false, 1, true},
        {{"--desktop=1"}, false, false, 1, true},
    };
    for (const Case& c : cases) {
        const CommandLine line = Parse(c.args);
        std::string name;
        bool scaled = false;
        for (const char* arg : c.args) {
            name += std::string(arg) + " ";
            scaled = scaled || std::strncmp(arg, "--window-scale", 14) == 0;
        }
#ifdef _WIN32
        // The Windows build has no scaled window.
        if (scaled) {
            EXPECT_EQ(line.action, CommandAction::Error) << name;
            continue;
        }
#else
        (void)scaled;
#endif
        if (!c.accepted) {
            EXPECT_EQ(line.action, CommandAction::Error) << name;
            EXPECT_EQ(line.error.find('\n'), std::string::npos) << name;
            continue;
        }
        ASSERT_EQ(line.action, CommandAction::Run) << name << line.error;
        EXPECT_EQ(line.desktop, c.desktop) << name;
        EXPECT_EQ(line.windowScale, c.scale) << name;
        EXPECT_EQ(line.fullscreen, c.fullscreen) << name;
        EXPECT_EQ(line.skipDialog, !c.args.empty()) << name;
    }
}

// Without --pak the archive in the current directory wins, then the
// installed one; with neither the usual name is kept for the error.
TEST(CommandLineTest, ArchiveLookupOrder) {
    const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                       ("tessaro_lookup_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "bin");
    std::filesystem::create_directories(root / "share" / "tessaro");
    std::filesystem::create_directories(root / "work");
    const std::string installed = InstalledArchivePath((root / "bin" / "tessaro").string());
#ifdef _WIN32
    EXPECT_EQ(std::filesystem::path(installed), root / "bin" / "pako.qdz");
#else
    EXPECT_EQ(std::filesystem::path(installed), root / "share" / "tessaro" / "pako.qdz");
#endif
    EXPECT_EQ(InstalledArchivePath(""), "");
    const std::string local = (root / "work" / "pako.qdz").string();

    EXPECT_EQ(ChooseArchive(local, installed), local); // neither exists
    EXPECT_EQ(ChooseArchive(local, ""), local);
    std::ofstream(installed) << "x";
    EXPECT_EQ(ChooseArchive(local, installed), installed);
    std::ofstream(local) << "x";
    EXPECT_EQ(ChooseArchive(local, installed), local);
    std::filesystem::remove(installed);
    EXPECT_EQ(ChooseArchive(local, installed), local);
    // A folder of that name is no archive.
    std::filesystem::remove(local);
    std::filesystem::create_directories(local);
    std::ofstream(installed) << "x";
    EXPECT_EQ(ChooseArchive(local, installed), installed);
    std::filesystem::remove_all(root);

    EXPECT_FALSE(Parse({}).pakGiven);
    EXPECT_TRUE(Parse({"--pak", "a.qdz"}).pakGiven);
}

TEST(CommandLineTest, RejectedCaptureAndFixedStepOptions) {
    const std::vector<std::vector<const char*>> cases = {
        {"--capture"},
        {"--capture="},
        {"--capture", "d", "--windowed"},
        {"--capture", "d", "--fullscreen"},
        {"--capture", "d", "--sound"},
        {"--start", "5"},
        {"--frames", "5"},
        {"--capture", "d", "--start", "-1"},
        {"--capture", "d", "--start", "1000000001"},
        {"--capture", "d", "--start", "99999999999999999999999"},
        {"--capture", "d", "--start", "1e3"},
        {"--capture", "d", "--frames", "0"},
        {"--capture", "d", "--frames", ""},
        {"--capture", "d", "--frames"},
        {"--fixed-step", "0"},
        {"--fixed-step", "10001"},
        {"--fixed-step", "4.5"},
        {"--fixed-step"},
        {"--show"},
        {"--show="},
        {"--capture", "d", "--watch"},
    };
    for (const auto& args : cases) {
        const CommandLine line = Parse(args);
        std::string joined;
        for (const char* a : args) {
            joined += std::string(a) + " ";
        }
        EXPECT_EQ(line.action, CommandAction::Error) << joined;
        EXPECT_FALSE(line.error.empty()) << joined;
        EXPECT_EQ(line.error.find('\n'), std::string::npos) << joined;
    }
}

TEST(CommandLineTest, HelpAndVersion) {
    EXPECT_EQ(Parse({"--help"}).action, CommandAction::Help);
    EXPECT_EQ(Parse({"--version"}).action, CommandAction::Version);
    EXPECT_EQ(Parse({"--windowed", "--help"}).action, CommandAction::Help);
    EXPECT_EQ(Parse({"--help", "--bogus"}).action, CommandAction::Error);
    const std::string usage = CommandLineUsage();
    EXPECT_NE(usage.find("--mode N"), std::string::npos);
    EXPECT_NE(usage.find("--capture DIR"), std::string::npos);
    EXPECT_NE(usage.find("--fixed-step MS"), std::string::npos);
    EXPECT_EQ(usage.back(), '\n');
}

// The command line answers the dialog through the framework's preset.
TEST(DialogPreset, ConfirmsTheGivenChoiceWithoutShowingAnything) {
    struct Case {
        int index;
        int fullscreen;
        int sound;
        int width;
        int height;
        int bits;
    };
    const Case cases[] = {
        {5, 0, 1, 640, 480, 32}, {0, 1, 0, 320, 240, 16},  {7, 0, 0, 1024, 768, 32},
        {8, 1, 1, 640, 480, 16}, {-3, 0, 0, 640, 480, 16}, // unknown index: the default mode
    };
    for (const Case& c : cases) {
        fwk = _FrameWork{};
        fwk.dialogResult = -1;
        PresetResDialog(c.index, c.fullscreen, c.sound);
        ShowResDialog(nullptr);
        EXPECT_EQ(fwk.dialogResult, 0) << c.index;
        EXPECT_EQ(fwk.width, c.width) << c.index;
        EXPECT_EQ(fwk.height, c.height) << c.index;
        EXPECT_EQ(fwk.bits, c.bits) << c.index;
        EXPECT_EQ(fwk.fullscreen, c.fullscreen != 0) << c.index;
        EXPECT_EQ(fwk.playSounds, c.sound != 0) << c.index;
    }
    ClearResDialogPreset();
    fwk = _FrameWork{};
}

// Without any display neither the dialog nor a window can appear: both ways
// in end at the error end with the settings error and -1.
TEST(Run, WithoutADisplayEndsWithTheSettingsError) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows desktop always has its display; the dialog would wait for a person";
#endif
    UnsetTestEnv("DISPLAY");
    UnsetTestEnv("WAYLAND_DISPLAY");
    SetTestEnv("SDL_VIDEODRIVER", "x11");
    for (const bool skipDialog : {false, true}) {
        CommandLine options;
        options.skipDialog = skipDialog;
        options.fullscreen = false;
        ::testing::internal::CaptureStderr();
        const int status = TessaroRun(options);
        const std::string errors = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, -1) << skipDialog;
        EXPECT_NE(errors.find("Velta error: Impossibile settare le impostazioni iniziali"), std::string::npos)
            << errors;
        EXPECT_EQ(g_currentPak, nullptr);
        EXPECT_EQ(fwk.title, nullptr) << "torn down";
    }
    ClearResDialogPreset();
}

// ---- timers ----------------------------------------------------------------------

int64_t s_fakeCounter = 0;
int64_t FakeCounter() {
    return s_fakeCounter;
}

class TimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFrequency_ = g_perfFrequency;
        SetPerfCounterSource(FakeCounter);
    }
    void TearDown() override {
        SetPerfCounterSource(nullptr);
        g_perfFrequency = savedFrequency_;
    }
    int64_t savedFrequency_ = 0;
};

// The fixed clock gives the engine the same step every frame, whatever the
// counter does; 0 hands the frame timer back.
TEST_F(TimerTest, FixedStepReplacesTheFrameTimerInTheEngine) {
    g_perfFrequency = 1000000;
    s_fakeCounter = 0;
    ResetFrameTimer();
    s_fakeCounter = 7000; // 7 ms later
    UseFixedFrameClock(40);
    EXPECT_EQ(g_engine.frameTimer.ElapsedMs(), 40u);
    g_engine.frameTimer.Reset();
    EXPECT_EQ(g_engine.frameTimer.ElapsedMs(), 40u);
    EXPECT_EQ(FrameElapsedMs(), 7u) << "the frame timer itself is left alone";
    UseFixedFrameClock(0);
    EXPECT_EQ(g_engine.frameTimer.ElapsedMs(), 7u);
    UseFixedFrameClock(-5);
    EXPECT_EQ(g_engine.frameTimer.ElapsedMs(), 7u);
}

TEST_F(TimerTest, FortyMillisecondFrame) {
    g_perfFrequency = 1000000000;
    s_fakeCounter = 123456789;
    ResetFrameTimer();
    s_fakeCounter += 40000000;
    EXPECT_EQ(FrameElapsedMs(), 40u);
    Timer timer;
    EXPECT_EQ(timer.start, 0);
    timer.Start();
    EXPECT_EQ(timer.start, s_fakeCounter);
    s_fakeCounter += 39999999;
    EXPECT_EQ(timer.ElapsedMs(), 39u);
    EXPECT_EQ(FrameElapsedMs(), 79u) << "the frame timer is independent of other timers";
}

// The divisor is the number of ticks per millisecond rounded down, so a
// frequency that is not a multiple of 1000 makes milliseconds slightly short.
TEST_F(TimerTest, DivisorIsTicksPerMillisecondRoundedDown) {
    struct Case {
        int64_t frequency;
        int64_t ticks;
        uint32_t ms;
    };
    const Case cases[] = {
        {3579545, 3579 * 40, 40}, // divisor 3579, not 3579.545
        {3579545, 3579 * 40 - 1, 39},
        {3579545, 3579545, 1000}, // one real second reads as 1000 ms
        {1999, 40, 40},           // divisor 1
        {10000000, 399999, 39},
        {1000, 0, 0},
        {999, 25, 25}, // below 1 kHz: 1 tick per ms, not a division by zero
        {1, 7, 7},
    };
    for (const Case& c : cases) {
        g_perfFrequency = c.frequency;
        s_fakeCounter = 1000;
        ResetFrameTimer();
        Timer timer;
        timer.Start();
        s_fakeCounter += c.ticks;
        EXPECT_EQ(FrameElapsedMs(), c.ms) << c.frequency << " " << c.ticks;
        EXPECT_EQ(timer.ElapsedMs(), c.ms) << c.frequency << " " << c.ticks;
    }
}

TEST_F(TimerTest, PlatformCounterIsRestored) {
    SetPerfCounterSource(nullptr);
    g_perfFrequency = savedFrequency_;
    Timer timer;
    timer.Start();
    EXPECT_GT(timer.start, 0);
    EXPECT_LT(timer.ElapsedMs(), 60000u);
}

// ---- run report --------------------------------------------------------------------

TEST(RunReport, Texts) {
    const std::string tail = "\nTempo totale necessario all'esecuzione della scena (msec) : ";
    struct Case {
        uint32_t frames;
        uint32_t total;
        const char* fps;
    };
    const Case cases[] = {
        {100, 4000, "25"},
        {0, 0, "0"},
        {5, 0, "5000"},             // under a millisecond counts as one
        {7, 3, "2333"},             // integer division
        {5000000, 1000, "5000000"}, // frames * 1000 does not wrap at 32 bits
        {4294967295u, 4294967295u, "1000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComposeRunReport(c.frames, c.total),
                  "FPS = " + std::string(c.fps) + tail + std::to_string(c.total));
    }
}

// ---- window procedure ----------------------------------------------------------------

TEST(WindowProc, KeysGoDownAndUp) {
    std::memset(keys, 0, sizeof keys);
    EXPECT_EQ(WndProc(nullptr, WM_KEYDOWN, VK_ESCAPE, 0), 0);
    EXPECT_EQ(keys[VK_ESCAPE], 1);
    EXPECT_EQ(WndProc(nullptr, WM_KEYDOWN, 'A', 0), 0);
    EXPECT_EQ(WndProc(nullptr, WM_KEYUP, VK_ESCAPE, 0), 0);
    EXPECT_EQ(keys[VK_ESCAPE], 0);
    EXPECT_EQ(keys['A'], 1);
    EXPECT_EQ(WndProc(nullptr, WM_KEYDOWN, 255, 0), 0);
    EXPECT_EQ(keys[255], 1);
    std::memset(keys, 0, sizeof keys);
}

TEST(WindowProc, KeyCodesBeyondTheTableAreIgnored) {
    std::memset(keys, 0, sizeof keys);
    EXPECT_EQ(WndProc(nullptr, WM_KEYDOWN, 256, 0), 0);
    EXPECT_EQ(WndProc(nullptr, WM_KEYDOWN, ~WPARAM{0}, 0), 0);
    EXPECT_EQ(WndProc(nullptr, WM_KEYUP, 100000, 0), 0);
    for (const unsigned char k : keys) {
        EXPECT_EQ(k, 0);
    }
}

TEST(WindowProc, ActivityFollowsMinimisedNotFocus) {
    struct Case {
        WORD low;
        WORD high;
        bool active;
    };
    const Case cases[] = {
        {WA_ACTIVE, 0, true},      {WA_INACTIVE, 0, true}, // losing the focus alone keeps drawing
        {WA_CLICKACTIVE, 0, true}, {WA_INACTIVE, 1, false}, {WA_ACTIVE, 1, false}, {WA_ACTIVE, 0xFFFF, false},
    };
    for (const Case& c : cases) {
        active = !c.active;
        EXPECT_EQ(WndProc(nullptr, WM_ACTIVATE, MAKEWPARAM(c.low, c.high), 0), 0);
        EXPECT_EQ(active, c.active) << c.low << " " << c.high;
    }
    active = true;
}

TEST(WindowProc, ScreenSaverAndMonitorPowerAreSwallowed) {
    EXPECT_EQ(WndProc(nullptr, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    EXPECT_EQ(WndProc(nullptr, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
}

TEST(WindowProc, CloseEndsTheLoopThroughTheQuitMessage) {
    done = 0;
    EXPECT_EQ(WndProc(nullptr, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(done, 0) << "only DoEvents turns the quit message into done";
    DoEvents();
    EXPECT_EQ(done, 1);
    done = 0;
}

// ---- sound start-up ------------------------------------------------------------------

TEST(SoundErrors, Table) {
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {
        {0, "No errors"},
        {1, "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first."},
        {3, "Error initializing output device."},
        {6, "Soundcard does not support the features needed for this soundsystem (16bit stereo output)"},
        {12, "Not enough memory "},
        {15, "An invalid parameter was passed to this function"},
        {19, "Recording not supported on this device"},
        {20, "Unknown error"},
        {25, "Unknown error"},
        {-1, "Unknown error"},
        {2147483647, "Unknown error"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(SoundErrorText(c.code), c.text) << c.code;
    }
}

// A small archive in the test's folder; opened as the current archive.
class ArchiveCallbacks : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<uint8_t> ten(10);
        for (int i = 0; i < 10; ++i) {
            ten[static_cast<size_t>(i)] = static_cast<uint8_t>('a' + i);
        }
        const std::vector<PakWriteEntry> entries = {
            {"ten.bin", 0x5A, ten}, {"empty.bin", 0x11, {}}, {"music.xm", 0xC3, TestSongBytes(2)}};
        std::string error;
        ASSERT_TRUE(PakWriteArchive(path_, entries, &error)) << error;
        saved_ = g_currentPak;
        pak_ = PakOpen(path_.c_str(), "rb");
        ASSERT_NE(pak_, nullptr);
        ASSERT_EQ(g_currentPak, pak_);
    }
    void TearDown() override {
        PakClose(pak_);
        g_currentPak = saved_;
        std::remove(path_.c_str());
    }
    std::string path_ = "app_test_callbacks.qdz";
    PAKFile* pak_ = nullptr;
    PAKFile* saved_ = nullptr;
};

TEST_F(ArchiveCallbacks, OpenFindsEntriesCaseInsensitivelyAndMissesWithZero) {
    EXPECT_EQ(ArchiveFileOpen("missing.bin"), 0u);
    EXPECT_EQ(ArchiveFileOpen(nullptr), 0u);
    const SoundFileHandle handle = ArchiveFileOpen("TEN.BIN");
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(ArchiveFileTell(handle), 0);
    ArchiveFileClose(handle);
}

TEST_F(ArchiveCallbacks, ReadReturnsWholeBlocksOnly) {
    const SoundFileHandle handle = ArchiveFileOpen("ten.bin");
    ASSERT_NE(handle, 0u);
    char buffer[16] = {};
    EXPECT_EQ(ArchiveFileRead(buffer, 4, handle), 1);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(ArchiveFileTell(handle), 4);
    EXPECT_EQ(ArchiveFileRead(buffer, 4, handle), 1);
    EXPECT_EQ(std::string(buffer, 4), "efgh");
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(ArchiveFileRead(buffer, 4, handle), 0) << "only two bytes remain";
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(ArchiveFileTell(handle), 8);
    EXPECT_EQ(ArchiveFileRead(buffer, 2, handle), 1);
    EXPECT_EQ(std::string(buffer, 2), "ij");
    EXPECT_EQ(ArchiveFileRead(buffer, 0, handle), 0);
    EXPECT_EQ(ArchiveFileRead(buffer, -5, handle), 0);
    EXPECT_EQ(ArchiveFileRead(nullptr, 1, handle), 0);
    ArchiveFileClose(handle);
}

TEST_F(ArchiveCallbacks, SeekModesAndTheEnd) {
    const SoundFileHandle handle = ArchiveFileOpen("ten.bin");
    ASSERT_NE(handle, 0u);
    struct Case {
        int position;
        signed char mode;
        int result;
        int tell;
    };
    const Case cases[] = {
        {3, 0, 0, 3},   {2, 1, 0, 5},  {-1, 2, 0, 9}, {-4, 1, 0, 5},
        {10, 0, -1, 0}, // the end itself is out: rewound
        {7, 0, 0, 7},   {5, 1, -1, 0}, {0, 2, -1, 0}, {-100, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArchiveFileSeek(handle, c.position, c.mode), c.result) << c.position << "," << int{c.mode};
        EXPECT_EQ(ArchiveFileTell(handle), c.tell) << c.position << "," << int{c.mode};
    }
    ArchiveFileClose(handle);
}

TEST_F(ArchiveCallbacks, NullHandleIsSafe) {
    char buffer[4] = {};
    EXPECT_EQ(ArchiveFileRead(buffer, 4, 0), 0);
    EXPECT_EQ(ArchiveFileSeek(0, 0, 0), -1);
    EXPECT_EQ(ArchiveFileTell(0), -1);
    ArchiveFileClose(0);
}

TEST_F(ArchiveCallbacks, WithoutAnArchiveNothingOpens) {
    g_currentPak = nullptr;
    EXPECT_EQ(ArchiveFileOpen("ten.bin"), 0u);
    g_currentPak = pak_;
}

class SoundStartUpTest : public ArchiveCallbacks {
  protected:
    void SetUp() override {
        ArchiveCallbacks::SetUp();
        SoundShutdown();
        UseAudioDriver("dummy");
    }
    void TearDown() override {
        SoundShutdown();
        SoundSetReportedVersion(kSoundLibraryVersion);
        ArchiveCallbacks::TearDown();
    }
};

TEST_F(SoundStartUpTest, WrongVersionIsRejectedWithItsDebuggerLine) {
    for (const float version : {3.21f, 3.19f, 0.0f, std::nextafter(3.2f, 4.0f), -3.2f}) {
        SoundSetReportedVersion(version);
        DebugCapture capture;
        const char* raised = nullptr;
        try {
            SoundStartUp();
        } catch (const char* message) {
            raised = message;
        }
        ASSERT_NE(raised, nullptr) << version;
        EXPECT_STREQ(raised, "FMOD.dll : versione della dll errata");
        ASSERT_EQ(capture.messages.size(), 1u);
        EXPECT_EQ(capture.messages[0],
                  "Error : You are using the wrong DLL version!  You should be using FMOD 3.20\n");
        EXPECT_EQ(FSOUND_GetError(), kSoundErrNone) << "nothing else ran";
    }
}

TEST_F(SoundStartUpTest, FailedInitRaisesTheTableText) {
    UseAudioDriver("no-such-driver");
    DebugCapture capture;
    const char* raised = nullptr;
    try {
        SoundStartUp();
    } catch (const char* message) {
        raised = message;
    }
    ASSERT_NE(raised, nullptr);
    EXPECT_STREQ(raised, "Error initializing output device.");
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0], "Error initializing output device.\n");
}

// After a good start-up the library reads its files from the archive.
TEST_F(SoundStartUpTest, StartsAndReadsSongsFromTheArchive) {
    DebugCapture capture;
    EXPECT_NO_THROW(SoundStartUp());
    EXPECT_TRUE(capture.messages.empty());
    SoundSong* song = FMUSIC_LoadSong("MUSIC.XM");
    ASSERT_NE(song, nullptr) << "read whole blocks through the archive";
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    EXPECT_EQ(FMUSIC_LoadSong("ten.bin"), nullptr) << "not a module";
    EXPECT_EQ(FSOUND_GetError(), kSoundErrFileFormat) << "but it was found and read through the archive";
    EXPECT_EQ(FMUSIC_LoadSong("missing.xm"), nullptr);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrFileNotFound);
    EXPECT_EQ(FSOUND_Init(44100, 32, 0), 0) << "already initialised";
}

} // namespace

// Framework library: the display-mode table and the dialog's result mapping,
// the settings record, start-up without a display, tear-down after a partial
// start, message boxes and the generated icon. No display is needed: the
// tests run with DISPLAY unset so that the dialog cannot appear.
#include "framework/lumora.h"
#include "framework/lumora_local_sdl.h"
#include "framework/res_dialog_preset.h" // PresetPresentation
#include "framework/win32_calls.h"

#include <gtest/gtest.h>

#include <algorithm> // max
#include <cmath>     // abs
#include <cstddef> // offsetof
#include <cstdlib> // setenv, unsetenv, malloc
#include <cstring> // strcpy
#include <string>
#include <vector>

namespace {

LRESULT QuietProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

// Keeps every test away from a real display and from real boxes.
class FrameworkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("TESSARO_NO_MESSAGE_BOX", "1", 1);
        fwk = _FrameWork{};
        done = 0;
    }
    void TearDown() override { KillGLWindow(); }
};

char* HeapTitle(const char* text) {
    char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    std::strcpy(copy, text);
    return copy;
}

} // namespace

struct ModeCase {
    int index;
    const char* text;
    int width;
    int height;
    int bits;
};

class ModeTableTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeTableTest, EntryAndChoiceAgree) {
    const ModeCase& c = GetParam();
    EXPECT_STREQ(kDisplayModes[c.index].text, c.text);
    EXPECT_EQ(kDisplayModes[c.index].width, c.width);
    EXPECT_EQ(kDisplayModes[c.index].height, c.height);
    EXPECT_EQ(kDisplayModes[c.index].bits, c.bits);

    _FrameWork settings{};
    ApplyResChoice(settings, ResDialogChoice{c.index, true, false});
    EXPECT_EQ(settings.width, c.width);
    EXPECT_EQ(settings.height, c.height);
    EXPECT_EQ(settings.bits, c.bits);
    EXPECT_TRUE(settings.fullscreen);
    EXPECT_FALSE(settings.playSounds);
}

INSTANTIATE_TEST_SUITE_P(AllModes, ModeTableTest,
                         ::testing::Values(ModeCase{0, "320x240   16 Bit", 320, 240, 16},
                                           ModeCase{1, "640x480   16 Bit", 640, 480, 16},
                                           ModeCase{2, "800x600   16 Bit", 800, 600, 16},
                                           ModeCase{3, "1024x768  16 Bit", 1024, 768, 16},
                                           ModeCase{4, "320x240   32 Bit", 320, 240, 32},
                                           ModeCase{5, "640x480   32 Bit", 640, 480, 32},
                                           ModeCase{6, "800x600   32 Bit", 800, 600, 32},
                                           ModeCase{7, "1024x768  32 Bit", 1024, 768, 32}));

TEST(ModeTable, DefaultIsIndexOne) {
    EXPECT_EQ(kDefaultModeIndex, 1);
    EXPECT_EQ(kDisplayModeCount, 8);
}

TEST(ResChoice, IndexOutsideTheTableKeepsTheSize) {
    struct {
        int index;
        int bits;
    } cases[] = {{-1, 16}, {8, 32}, {100, 32}, {-100, 16}};
    for (const auto& c : cases) {
        _FrameWork settings{};
        settings.width = 123;
        settings.height = 45;
        ApplyResChoice(settings, ResDialogChoice{c.index, false, true});
        EXPECT_EQ(settings.width, 123) << c.index;
        EXPECT_EQ(settings.height, 45) << c.index;
        EXPECT_EQ(settings.bits, c.bits) << c.index;
        EXPECT_FALSE(settings.fullscreen);
        EXPECT_TRUE(settings.playSounds);
    }
}

TEST(ResChoice, CheckBoxesAreCopied) {
    const bool states[][2] = {{false, false}, {false, true}, {true, false}, {true, true}};
    for (const auto& s : states) {
        _FrameWork settings{};
        ApplyResChoice(settings, ResDialogChoice{1, s[0], s[1]});
        EXPECT_EQ(settings.fullscreen, s[0]);
        EXPECT_EQ(settings.playSounds, s[1]);
    }
}

TEST(FrameWorkRecord, FieldsKeepTheirOrder) {
    const std::vector<size_t> offsets = {offsetof(_FrameWork, dialogResult), offsetof(_FrameWork, width),
                                         offsetof(_FrameWork, height),       offsetof(_FrameWork, bits),
                                         offsetof(_FrameWork, fullscreen),   offsetof(_FrameWork, playSounds),
                                         offsetof(_FrameWork, hDC),          offsetof(_FrameWork, hRC),
                                         offsetof(_FrameWork, hWnd),         offsetof(_FrameWork, hInstance),
                                         offsetof(_FrameWork, wc),           offsetof(_FrameWork, wndProc),
                                         offsetof(_FrameWork, title)};
    for (size_t i = 1; i < offsets.size(); ++i) {
        EXPECT_LT(offsets[i - 1], offsets[i]) << "field " << i;
    }
    EXPECT_EQ(offsetof(_FrameWork, playSounds), offsetof(_FrameWork, fullscreen) + 1);
    EXPECT_EQ(sizeof(_FrameWork().fullscreen), 1u);
}

TEST(FrameWorkRecord, AssignmentCopiesEverythingAndReturnsTarget) {
    _FrameWork source{};
    source.dialogResult = -1;
    source.width = 800;
    source.height = 600;
    source.bits = 32;
    source.fullscreen = true;
    source.playSounds = true;
    source.hWnd = reinterpret_cast<HWND>(0x10);
    source.wc.style = 0x23;
    source.wndProc = QuietProc;
    char title[] = "t";
    source.title = title;
    _FrameWork target{};
    _FrameWork& result = (target = source);
    EXPECT_EQ(&result, &target);
    EXPECT_EQ(target.dialogResult, -1);
    EXPECT_EQ(target.width, 800);
    EXPECT_EQ(target.height, 600);
    EXPECT_EQ(target.bits, 32);
    EXPECT_TRUE(target.fullscreen);
    EXPECT_TRUE(target.playSounds);
    EXPECT_EQ(target.hWnd, source.hWnd);
    EXPECT_EQ(target.wc.style, 0x23u);
    EXPECT_EQ(target.wndProc, &QuietProc);
    EXPECT_EQ(target.title, title);
    target = target; // self-assignment leaves it whole
    EXPECT_EQ(target.width, 800);
}

TEST_F(FrameworkTest, NoDisplayMeansTheDialogIsCancelled) {
    ShowResDialog(nullptr);
    EXPECT_EQ(fwk.dialogResult, -1);
}

// Without a display the dialog is as good as cancelled: no box, one line saying why.
TEST_F(FrameworkTest, CancelledStartShowsNoBoxAndCreatesNothing) {
    SetWndProc(QuietProc);
    fwk.width = 99;
    fwk.title = nullptr;
    char title[] = "Velta Beta 0.1";
    testing::internal::CaptureStderr();
    EXPECT_EQ(OrvaneInit(nullptr, title), 0);
    KillGLWindow();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("Velta FrameWork Error"), std::string::npos) << err;
    EXPECT_EQ(err.rfind("lumora: no display was found", 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    EXPECT_EQ(done, 1);
    EXPECT_EQ(fwk.dialogResult, -1);
    EXPECT_EQ(fwk.width, 0); // the record was zeroed
    EXPECT_EQ(fwk.title, nullptr);
    EXPECT_EQ(fwk.hWnd, nullptr);
    EXPECT_EQ(g_hMainWinDC, nullptr);
}

TEST_F(FrameworkTest, TearDownAfterFailedWindowReleasesClassAndTitle) {
    // What OrvaneInit leaves behind when the window cannot be created.
    fwk.title = HeapTitle("Velta Beta 0.1");
    fwk.wc.lpfnWndProc = QuietProc;
    fwk.wc.lpszClassName = fwk.title;
    fwk.hInstance = reinterpret_cast<HINSTANCE>(0x1);
    fwk.fullscreen = true;
    ASSERT_TRUE(RegisterWindowClass(fwk.wc));
    testing::internal::CaptureStderr();
    KillGLWindow();
    KillGLWindow(); // a second tear-down finds nothing left
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(fwk.title, nullptr);
    EXPECT_EQ(fwk.hInstance, reinterpret_cast<HINSTANCE>(0x1));
    // The class is gone: it can be registered again.
    WNDCLASSA wc{};
    wc.lpfnWndProc = QuietProc;
    wc.lpszClassName = "Velta Beta 0.1";
    EXPECT_TRUE(RegisterWindowClass(wc));
    EXPECT_TRUE(UnregisterWindowClass("Velta Beta 0.1"));
}

TEST_F(FrameworkTest, TearDownReportsAClassThatWasNeverRegistered) {
    fwk.title = HeapTitle("never registered");
    fwk.hInstance = reinterpret_cast<HINSTANCE>(0x1);
    testing::internal::CaptureStderr();
    KillGLWindow();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Velta FrameWork Error: Could Not Unregister Class\n");
    EXPECT_EQ(fwk.hInstance, nullptr);
    EXPECT_EQ(fwk.title, nullptr);
}

TEST_F(FrameworkTest, TearDownReportsForeignHandlesAndForgetsThem) {
    // A device context that belongs to no live window.
    fwk.hDC = new HDC__{nullptr};
    g_hMainWinDC = fwk.hDC;
    testing::internal::CaptureStderr();
    KillGLWindow();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Velta FrameWork Error: Release Device Context Failed\n");
    EXPECT_EQ(fwk.hDC, nullptr);
    EXPECT_EQ(g_hMainWinDC, nullptr);
    EXPECT_EQ(SwapBuffers(g_hMainWinDC), FALSE);
}

TEST_F(FrameworkTest, WindowClassRegistryRejectsBadClasses) {
    WNDCLASSA wc{};
    wc.lpszClassName = "no procedure";
    EXPECT_FALSE(RegisterWindowClass(wc));
    wc.lpfnWndProc = QuietProc;
    wc.lpszClassName = nullptr;
    EXPECT_FALSE(RegisterWindowClass(wc));
    wc.lpszClassName = "twice";
    EXPECT_TRUE(RegisterWindowClass(wc));
    EXPECT_FALSE(RegisterWindowClass(wc));
    EXPECT_TRUE(UnregisterWindowClass("twice"));
    EXPECT_FALSE(UnregisterWindowClass("twice"));
    EXPECT_FALSE(UnregisterWindowClass(nullptr));
}

TEST_F(FrameworkTest, SysErrorGoesToStandardErrorWithItsCaption) {
    char message[] = "Window Creation Error1";
    testing::internal::CaptureStderr();
    SysError(message);
    SysError(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Velta FrameWork Error: Window Creation Error1\nVelta FrameWork Error: \n");
}

TEST_F(FrameworkTest, MessageBoxReturnsOk) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Impossibile trovare il PAKFile", "Velta error", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Velta error: Impossibile trovare il PAKFile\n");
}

TEST_F(FrameworkTest, MessageBoxSuppressionFollowsDisplayAndSwitch) {
    struct {
        const char* display;
        const char* flag;
        bool suppressed;
    } cases[] = {
        {nullptr, nullptr, true}, {":0", nullptr, false}, {":0", "1", true},
        {":0", "0", false},       {":0", "", false},      {"", nullptr, true},
    };
    for (const auto& c : cases) {
        c.display != nullptr ? setenv("DISPLAY", c.display, 1) : unsetenv("DISPLAY");
        c.flag != nullptr ? setenv("TESSARO_NO_MESSAGE_BOX", c.flag, 1) : unsetenv("TESSARO_NO_MESSAGE_BOX");
        EXPECT_EQ(MessageBoxesSuppressed(), c.suppressed)
            << (c.display ? c.display : "(none)") << " / " << (c.flag ? c.flag : "(none)");
    }
    unsetenv("DISPLAY");
    setenv("TESSARO_NO_MESSAGE_BOX", "1", 1);
}

TEST(Icon, DrawnDeterministicallyWithClearCorners) {
    std::vector<unsigned char> first(kIconSize * kIconSize * 4, 7);
    std::vector<unsigned char> second(kIconSize * kIconSize * 4, 9);
    DrawIconPixels(first.data(), kIconSize);
    DrawIconPixels(second.data(), kIconSize);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first[3], 0); // top-left corner transparent
    const size_t centre = ((kIconSize / 2) * kIconSize + kIconSize / 2) * 4;
    EXPECT_EQ(first[centre + 0], 255); // white core
    EXPECT_EQ(first[centre + 3], 255);
    size_t opaque = 0;
    for (size_t i = 3; i < first.size(); i += 4) {
        opaque += first[i] == 255 ? 1 : 0;
    }
    EXPECT_GT(opaque, first.size() / 16);
    EXPECT_LT(opaque, first.size() / 4);
    DrawIconPixels(nullptr, kIconSize); // ignored
    DrawIconPixels(first.data(), 0);
}

TEST(BoxText, LongLinesBreakAtBlanks) {
    struct {
        const char* text;
        size_t width;
        const char* wrapped;
    } cases[] = {
        {"short", 10, "short"},
        {"one two three four", 9, "one two\nthree\nfour"},
        {"abcdefghijklmnop xy", 5, "abcdefghijklmnop\nxy"},
        {"a b\n\nc d e f", 3, "a b\n\nc d\ne f"},
        {"", 4, ""},
        {"exactly10!", 10, "exactly10!"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WrapForBox(c.text, c.width), c.wrapped) << c.text;
    }
    EXPECT_EQ(WrapForBox(nullptr, 10), "");
}

// The presentation preset is read strictly: a mistyped variable never
// changes how the show meets the screen.
TEST(Presentation, PresetTextsReadStrictly) {
    struct {
        const char* text;
        bool accepted;
        bool desktop;
        int scale;
    } cases[] = {
        {"desktop", true, true, 1},   {"scale=1", true, false, 1},  {"scale=2", true, false, 2},
        {"scale=8", true, false, 8},  {"scale=9", false, false, 0}, {"scale=0", false, false, 0},
        {"scale=02", true, false, 2}, {"scale=100", false, false, 0}, {"scale=", false, false, 0},
        {"scale=2x", false, false, 0}, {"scale=-2", false, false, 0}, {"Desktop", false, false, 0},
        {"desktop ", false, false, 0}, {"", false, false, 0},
    };
    for (const auto& c : cases) {
        PresentationChoice choice{false, 7};
        EXPECT_EQ(ParsePresentationPreset(c.text, &choice), c.accepted) << c.text;
        if (c.accepted) {
            EXPECT_EQ(choice.desktop, c.desktop) << c.text;
            EXPECT_EQ(choice.windowScale, c.scale) << c.text;
        } else {
            EXPECT_EQ(choice.windowScale, 7) << c.text; // untouched
        }
    }
    EXPECT_FALSE(ParsePresentationPreset(nullptr, nullptr));

    // The program's half writes what the library's half reads back.
    PresetPresentation(true, 1);
    EXPECT_TRUE(TakePresentationPreset().desktop);
    PresetPresentation(false, 3);
    EXPECT_EQ(TakePresentationPreset().windowScale, 3);
    EXPECT_FALSE(TakePresentationPreset().desktop);
    PresetPresentation(false, 1);
    EXPECT_EQ(std::getenv(kPresentationPresetVariable), nullptr);
    EXPECT_EQ(TakePresentationPreset().windowScale, 1);
}

// Over many surfaces and pictures: the picture keeps its aspect (to within a
// pixel's rounding), touches two opposite sides of the surface, stays inside
// it and is centred (the bars on both sides differ by a pixel at most).
TEST(Presentation, PictureFitsCentredWithItsAspect) {
    const int surfaces[][2] = {{1920, 1080}, {1080, 1920}, {640, 480}, {1024, 768}, {3840, 2160},
                               {1366, 768}, {1280, 1024}, {801, 601}, {1, 1}, {2560, 1080}};
    const int pictures[][2] = {{640, 480}, {320, 240}, {1024, 768}, {4, 3}, {1440, 1080}, {7, 5}};
    for (const auto& s : surfaces) {
        for (const auto& p : pictures) {
            const PictureRect r = FitPicture(s[0], s[1], p[0], p[1]);
            const std::string name = std::to_string(p[0]) + "x" + std::to_string(p[1]) + " on " +
                                     std::to_string(s[0]) + "x" + std::to_string(s[1]);
            EXPECT_GE(r.x, 0) << name;
            EXPECT_GE(r.y, 0) << name;
            EXPECT_LE(r.x + r.width, s[0]) << name;
            EXPECT_LE(r.y + r.height, s[1]) << name;
            EXPECT_TRUE(r.width == s[0] || r.height == s[1]) << name;
            EXPECT_LE(std::abs((s[0] - r.x - r.width) - r.x), 1) << name;
            EXPECT_LE(std::abs((s[1] - r.y - r.height) - r.y), 1) << name;
            // width / height against p[0] / p[1], to within rounding of the shorter side.
            const double aspectError = std::abs(static_cast<double>(r.width) * p[1] - static_cast<double>(r.height) * p[0]);
            EXPECT_LE(aspectError, 0.5 * std::max(p[0], p[1]) + 1e-9) << name;
        }
    }
    const PictureRect full = FitPicture(1920, 1080, 640, 480);
    EXPECT_EQ(full.x, 240);
    EXPECT_EQ(full.y, 0);
    EXPECT_EQ(full.width, 1440);
    EXPECT_EQ(full.height, 1080);
    const PictureRect none = FitPicture(0, 1080, 640, 480);
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(FitPicture(1920, 1080, 640, 0).height, 0);
    int w = 0;
    int h = 0;
    DesktopPictureSize(1920, 1080, &w, &h);
    EXPECT_EQ(w, 1440);
    EXPECT_EQ(h, 1080);
    DesktopPictureSize(1280, 1024, &w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 960);
}

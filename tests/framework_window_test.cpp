// Framework library: the whole start-up and tear-down on a real SDL window and
// GL context, headless (SDL's offscreen video driver). The dialog is answered
// in advance.
#include "framework/lumora.h"
#include "framework/lumora_local_sdl.h"
#include "framework/res_dialog_preset.h" // PresetResDialog, ClearResDialogPreset
#include "framework/win32_calls.h"

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cstdlib> // setenv, unsetenv
#include <string>
#include <vector>

namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Received> s_received;

LRESULT RecordingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    s_received.push_back(Received{message, wParam, lParam});
    if (message == WM_SIZE) {
        ReSizeGLScene(LOWORD(static_cast<uintptr_t>(lParam)), HIWORD(static_cast<uintptr_t>(lParam)));
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

// Holds SDL's video part and its GL library for the whole process: unloading
// Mesa between tests would leave its allocations without a module to name.
class KeepGlLoaded : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            SDL_GL_LoadLibrary(nullptr);
        }
    }
};

const ::testing::Environment* const s_keepGl = ::testing::AddGlobalTestEnvironment(new KeepGlLoaded);

class FrameworkWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("TESSARO_NO_MESSAGE_BOX", "1", 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        s_received.clear();
        SetWndProc(RecordingProc);
        if (!EnsureVideo()) {
            GTEST_SKIP() << "no offscreen video: " << SDL_GetError();
        }
    }
    void TearDown() override {
        KillGLWindow();
        ClearResDialogPreset();
        ClearPresentationPreset();
    }
    char title_[15] = "Velta Beta 0.1";
};

} // namespace

TEST_F(FrameworkWindowTest, WindowedStartAndTearDown) {
    PresetResDialog(0, 0, 1);
    testing::internal::CaptureStderr();
    ASSERT_EQ(OrvaneInit(nullptr, title_), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(done, 0);
    EXPECT_EQ(fwk.dialogResult, 0);
    EXPECT_EQ(fwk.width, 320);
    EXPECT_EQ(fwk.height, 240);
    EXPECT_EQ(fwk.bits, 16);
    EXPECT_FALSE(fwk.fullscreen);
    EXPECT_TRUE(fwk.playSounds);

    // The window exists with its context, class and title copy.
    ASSERT_NE(fwk.hWnd, nullptr);
    ASSERT_NE(fwk.hDC, nullptr);
    ASSERT_NE(fwk.hRC, nullptr);
    EXPECT_EQ(g_hMainWinDC, fwk.hDC);
    ASSERT_NE(fwk.title, nullptr);
    EXPECT_NE(fwk.title, title_);
    EXPECT_STREQ(fwk.title, "Velta Beta 0.1");
    EXPECT_EQ(fwk.wc.lpszClassName, fwk.title);
    EXPECT_EQ(fwk.wc.style, CS_HREDRAW | CS_VREDRAW | CS_OWNDC);
    EXPECT_EQ(fwk.wc.lpfnWndProc, &RecordingProc);
    EXPECT_EQ(fwk.wndProc, &RecordingProc);

    // WM_CREATE, then the first WM_SIZE with the client size, during creation.
    ASSERT_GE(s_received.size(), 2u);
    EXPECT_EQ(s_received[0].message, WM_CREATE);
    EXPECT_EQ(s_received[1].message, WM_SIZE);
    EXPECT_EQ(s_received[1].wParam, SIZE_RESTORED);
    EXPECT_EQ(s_received[1].lParam, MAKELPARAM(320, 240));

    // The context is current with the projection for the chosen size.
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 240);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(SwapBuffers(g_hMainWinDC), TRUE);
    // No screen saver while the window is up.
    EXPECT_EQ(SDL_IsScreenSaverEnabled(), SDL_FALSE);

    // The client area is the chosen size; the window moves where it is told.
    RECT rect{0, 0, 0, 0};
    ASSERT_EQ(GetWindowRect(fwk.hWnd, &rect), TRUE);
    EXPECT_EQ(rect.right - rect.left, 320);
    EXPECT_EQ(rect.bottom - rect.top, 240);
    EXPECT_EQ(MoveWindow(fwk.hWnd, 10, 20, 320, 240, TRUE), TRUE);

    PostQuitMessage(0);
    DoEvents();
    EXPECT_EQ(done, 1);

    s_received.clear();
    testing::internal::CaptureStderr();
    KillGLWindow();
    KillGLWindow();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(fwk.hWnd, nullptr);
    EXPECT_EQ(fwk.hDC, nullptr);
    EXPECT_EQ(fwk.hRC, nullptr);
    EXPECT_EQ(fwk.title, nullptr);
    EXPECT_EQ(g_hMainWinDC, nullptr);
    EXPECT_EQ(SwapBuffers(g_hMainWinDC), FALSE);
    ASSERT_EQ(s_received.size(), 1u);
    EXPECT_EQ(s_received[0].message, WM_DESTROY);
    EXPECT_EQ(SDL_IsScreenSaverEnabled(), SDL_TRUE);
}

TEST_F(FrameworkWindowTest, SecondRunAfterTearDown) {
    for (int run = 0; run < 2; ++run) {
        PresetResDialog(5, 0, 0);
        s_received.clear();
        ASSERT_EQ(OrvaneInit(nullptr, title_), 1) << run;
        EXPECT_EQ(fwk.width, 640);
        EXPECT_EQ(fwk.bits, 32);
        EXPECT_EQ(s_received[0].message, WM_CREATE);
        KillGLWindow();
    }
}

// The screen's mode is never switched: full screen covers the desktop at its
// own mode, one row per presentation. The program is told the picture's size
// (its projection and viewports follow it), the show draws into an off-screen
// picture of that size, and the desktop presentation draws at the largest 4:3
// size of the monitor instead of the mode's.
TEST_F(FrameworkWindowTest, FullScreenCoversTheDesktopWithoutASwitch) {
    int desktopWidth = 0;
    int desktopHeight = 0;
    ASSERT_TRUE(DesktopSize(&desktopWidth, &desktopHeight));
    int fourThreeWidth = 0;
    int fourThreeHeight = 0;
    DesktopPictureSize(desktopWidth, desktopHeight, &fourThreeWidth, &fourThreeHeight);
    struct Case {
        const char* name;
        int mode;
        int fullscreen;
        bool desktop;
        int scale;
        int pictureWidth;
        int pictureHeight;
        int windowWidth;
        int windowHeight;
    };
    const Case cases[] = {
        {"mode 5 full screen", 5, 1, false, 1, 640, 480, desktopWidth, desktopHeight},
        {"mode 0 full screen", 0, 1, false, 1, 320, 240, desktopWidth, desktopHeight},
        {"desktop", 5, 0, true, 1, fourThreeWidth, fourThreeHeight, desktopWidth, desktopHeight},
        {"window scale 2", 4, 0, false, 2, 320, 240, 640, 480},
    };
    for (const Case& c : cases) {
        PresetResDialog(c.mode, c.fullscreen, 0);
        PresetPresentation(c.desktop, c.scale);
        s_received.clear();
        testing::internal::CaptureStderr();
        ASSERT_EQ(OrvaneInit(nullptr, title_), 1) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
        EXPECT_EQ(fwk.fullscreen, c.fullscreen == 1 || c.desktop) << c.name;
        EXPECT_EQ(fwk.width, c.pictureWidth) << c.name;
        EXPECT_EQ(fwk.height, c.pictureHeight) << c.name;
        int windowWidth = 0;
        int windowHeight = 0;
        SDL_GetWindowSize(fwk.hWnd->window, &windowWidth, &windowHeight);
        EXPECT_EQ(windowWidth, c.windowWidth) << c.name;
        EXPECT_EQ(windowHeight, c.windowHeight) << c.name;
        DoEvents();
        // Every size the program heard of is the picture's.
        for (const Received& r : s_received) {
            if (r.message == WM_SIZE && r.wParam == SIZE_RESTORED) {
                EXPECT_EQ(LOWORD(static_cast<uintptr_t>(r.lParam)), c.pictureWidth) << c.name;
                EXPECT_EQ(HIWORD(static_cast<uintptr_t>(r.lParam)), c.pictureHeight) << c.name;
            }
        }
        GLint viewport[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], c.pictureWidth) << c.name;
        EXPECT_EQ(viewport[3], c.pictureHeight) << c.name;
        EXPECT_NE(fwk.hWnd->picture.framebuffer, 0u) << c.name;
        EXPECT_EQ(SwapBuffers(g_hMainWinDC), TRUE) << c.name;
        testing::internal::CaptureStderr();
        KillGLWindow();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
    }
    ClearPresentationPreset();
}

TEST_F(FrameworkWindowTest, MissingWindowProcedureFailsRegistration) {
    SetWndProc(nullptr);
    PresetResDialog(1, 0, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OrvaneInit(nullptr, title_), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Velta FrameWork Error: Failed To Register The Window Class\n");
    EXPECT_EQ(done, 1);
    EXPECT_EQ(fwk.hWnd, nullptr);
    testing::internal::CaptureStderr();
    KillGLWindow();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Velta FrameWork Error: Could Not Unregister Class\n");
    EXPECT_EQ(fwk.hInstance, nullptr);
    EXPECT_EQ(fwk.title, nullptr);
}

TEST_F(FrameworkWindowTest, ClassNameInUseFailsRegistration) {
    WNDCLASSA taken{};
    taken.lpfnWndProc = RecordingProc;
    taken.lpszClassName = "Velta Beta 0.1";
    ASSERT_TRUE(RegisterWindowClass(taken));
    PresetResDialog(1, 0, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OrvaneInit(nullptr, title_), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Velta FrameWork Error: Failed To Register The Window Class\n");
    // The tear-down unregisters the class of that name, whoever registered it.
    testing::internal::CaptureStderr();
    KillGLWindow();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(UnregisterWindowClass("Velta Beta 0.1"));
}

TEST_F(FrameworkWindowTest, PresetOutsideTheListTakesTheDefault) {
    PresetResDialog(42, 0, 0);
    ShowResDialog(nullptr);
    EXPECT_EQ(fwk.dialogResult, 0);
    EXPECT_EQ(fwk.width, 640);
    EXPECT_EQ(fwk.height, 480);
    EXPECT_EQ(fwk.bits, 16);
    ClearResDialogPreset();
    ShowResDialog(nullptr); // no display: the dialog cannot appear
    EXPECT_EQ(fwk.dialogResult, -1);
}

TEST_F(FrameworkWindowTest, NullTitleCountsAsEmpty) {
    PresetResDialog(0, 0, 0);
    ASSERT_EQ(OrvaneInit(nullptr, nullptr), 1);
    ASSERT_NE(fwk.title, nullptr);
    EXPECT_STREQ(fwk.title, "");
    KillGLWindow();
    EXPECT_EQ(fwk.title, nullptr);
}

TEST_F(FrameworkWindowTest, TearDownWithTheWindowAlreadyGone) {
    PresetResDialog(0, 0, 0);
    ASSERT_EQ(OrvaneInit(nullptr, title_), 1);
    // The window is destroyed behind the record's back: every release that
    // needs it reports, and nothing is released twice.
    HWND window = fwk.hWnd;
    fwk.hWnd = nullptr;
    ASSERT_TRUE(DestroyMainWindow(window));
    testing::internal::CaptureStderr();
    KillGLWindow();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Velta FrameWork Error: Release Of DC And RC Failed\n"
              "Velta FrameWork Error: Release Device Context Failed\n");
    EXPECT_EQ(fwk.hRC, nullptr);
    EXPECT_EQ(fwk.hDC, nullptr);
    EXPECT_EQ(g_hMainWinDC, nullptr);
    EXPECT_EQ(fwk.title, nullptr);
}

// Framework library: SDL events become window messages in the order Windows
// sends them, keys get their virtual-key codes, and DoEvents drains the queue
// (a quit posted before it sets done and is never dispatched).
#include "framework/lumora.h"
#include "framework/lumora_local_sdl.h"
#include "framework/win32_calls.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Received {
    HWND hWnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Received> s_received;

LRESULT RecordingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    s_received.push_back(Received{hWnd, message, wParam, lParam});
    return 0;
}

SDL_Event KeyEvent(const Uint32 type, const SDL_Keycode key, const SDL_Scancode scancode,
                   const Uint16 mod = 0, const Uint8 repeat = 0) {
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.sym = key;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = mod;
    return event;
}

SDL_Event WindowEvent(const Uint8 what, const Sint32 data1 = 0, const Sint32 data2 = 0) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.type = SDL_WINDOWEVENT;
    event.window.event = what;
    event.window.data1 = data1;
    event.window.data2 = data2;
    return event;
}

class MessagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        s_received.clear();
        DrainQueue();
        done = 0;
    }
    void TearDown() override { DrainQueue(); }

    static void DrainQueue() {
        MSG msg;
        while (QueuePeek(&msg)) {
        }
    }

    std::vector<MSG> Translate(const SDL_Event& event) {
        MSG out[8];
        const int count = TranslateSdlEvent(event, &window_, window_.track, out, 8);
        return std::vector<MSG>(out, out + count);
    }

    HWND__ window_{nullptr, RecordingProc, nullptr, {640, 480, false, false}, {0, 0, 0, 0, 0}};
};

} // namespace

TEST(VirtualKeys, TableOfCodes) {
    struct {
        SDL_Keycode key;
        WPARAM vk;
    } cases[] = {
        {SDLK_a, 'A'},
        {SDLK_m, 'M'},
        {SDLK_z, 'Z'},
        {SDLK_0, '0'},
        {SDLK_5, '5'},
        {SDLK_9, '9'},
        {SDLK_ESCAPE, VK_ESCAPE},
        {SDLK_RETURN, VK_RETURN},
        {SDLK_KP_ENTER, VK_RETURN},
        {SDLK_SPACE, VK_SPACE},
        {SDLK_LEFT, VK_LEFT},
        {SDLK_RIGHT, VK_RIGHT},
        {SDLK_UP, VK_UP},
        {SDLK_DOWN, VK_DOWN},
        {SDLK_F1, VK_F1},
        {SDLK_F2, 0x71},
        {SDLK_F11, 0x7A},
        {SDLK_F12, VK_F12},
        {SDLK_TAB, VK_TAB},
        {SDLK_BACKSPACE, VK_BACK},
        {SDLK_LSHIFT, VK_SHIFT},
        {SDLK_RCTRL, VK_CONTROL},
        {SDLK_LALT, VK_MENU},
        {SDLK_PAGEUP, VK_PRIOR},
        {SDLK_PAGEDOWN, VK_NEXT},
        {SDLK_HOME, VK_HOME},
        {SDLK_END, VK_END},
        {SDLK_INSERT, VK_INSERT},
        {SDLK_DELETE, VK_DELETE},
        {SDLK_KP_0, VK_NUMPAD0},
        {SDLK_KP_9, 0x69},
        {SDLK_KP_PLUS, VK_ADD},
        {SDLK_PAUSE, VK_PAUSE},
        {SDLK_F13, 0},
        {SDLK_UNKNOWN, 0},
        {SDLK_AC_BACK, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VirtualKeyFromSdl(c.key), c.vk) << SDL_GetKeyName(c.key);
    }
}

TEST(WindowsValues, MatchTheirWindowsNumbers) {
    EXPECT_EQ(WM_CREATE, 0x0001u);
    EXPECT_EQ(WM_SIZE, 0x0005u);
    EXPECT_EQ(WM_ACTIVATE, 0x0006u);
    EXPECT_EQ(WM_CLOSE, 0x0010u);
    EXPECT_EQ(WM_QUIT, 0x0012u);
    EXPECT_EQ(WM_KEYDOWN, 0x0100u);
    EXPECT_EQ(WM_KEYUP, 0x0101u);
    EXPECT_EQ(WM_SYSCOMMAND, 0x0112u);
    EXPECT_EQ(SC_SCREENSAVE, 0xF140u);
    EXPECT_EQ(SC_MONITORPOWER, 0xF170u);
    EXPECT_EQ(VK_ESCAPE, 0x1Bu);
    EXPECT_EQ(CS_HREDRAW | CS_VREDRAW | CS_OWNDC, 0x23u);
    EXPECT_EQ(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, 0x40100u);
    EXPECT_EQ(LOWORD(MAKELPARAM(640, 480)), 640);
    EXPECT_EQ(HIWORD(MAKELPARAM(640, 480)), 480);
    EXPECT_EQ(HIWORD(MAKEWPARAM(WA_INACTIVE, 1)), 1);
    EXPECT_EQ(LOWORD(static_cast<uintptr_t>(static_cast<LPARAM>(-1))), 0xFFFF);
}

TEST_F(MessagesTest, KeyDownAndUpCarryCodeAndFlags) {
    std::vector<MSG> down = Translate(KeyEvent(SDL_KEYDOWN, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE));
    ASSERT_EQ(down.size(), 1u);
    EXPECT_EQ(down[0].hwnd, &window_);
    EXPECT_EQ(down[0].message, WM_KEYDOWN);
    EXPECT_EQ(down[0].wParam, VK_ESCAPE);
    EXPECT_EQ(static_cast<DWORD>(down[0].lParam) & 0xFFFFu, 1u); // repeat count
    EXPECT_EQ((static_cast<DWORD>(down[0].lParam) >> 30) & 3u, 0u);

    std::vector<MSG> repeat = Translate(KeyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, 0, 1));
    ASSERT_EQ(repeat.size(), 1u);
    EXPECT_EQ(repeat[0].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ((static_cast<DWORD>(repeat[0].lParam) >> 30) & 3u, 1u);

    std::vector<MSG> up = Translate(KeyEvent(SDL_KEYUP, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE));
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].message, WM_KEYUP);
    EXPECT_EQ(up[0].wParam, VK_ESCAPE);
    EXPECT_EQ((static_cast<DWORD>(up[0].lParam) >> 30) & 3u, 3u);
}

TEST_F(MessagesTest, AltGivesSystemKeysAndUnknownKeysNothing) {
    std::vector<MSG> altF4 = Translate(KeyEvent(SDL_KEYDOWN, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT));
    ASSERT_EQ(altF4.size(), 1u);
    EXPECT_EQ(altF4[0].message, WM_SYSKEYDOWN);
    EXPECT_EQ(altF4[0].wParam, VK_F1 + 3);
    std::vector<MSG> f10 = Translate(KeyEvent(SDL_KEYUP, SDLK_F10, SDL_SCANCODE_F10));
    ASSERT_EQ(f10.size(), 1u);
    EXPECT_EQ(f10[0].message, WM_SYSKEYUP);
    EXPECT_TRUE(Translate(KeyEvent(SDL_KEYDOWN, SDLK_F13, SDL_SCANCODE_F13)).empty());
}

TEST_F(MessagesTest, ResizeGivesOneSizeMessagePerNewSize) {
    std::vector<MSG> sized = Translate(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 400, 300));
    ASSERT_EQ(sized.size(), 1u);
    EXPECT_EQ(sized[0].message, WM_SIZE);
    EXPECT_EQ(sized[0].wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(static_cast<uintptr_t>(sized[0].lParam)), 400);
    EXPECT_EQ(HIWORD(static_cast<uintptr_t>(sized[0].lParam)), 300);
    EXPECT_TRUE(Translate(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 400, 300)).empty());
    EXPECT_TRUE(Translate(WindowEvent(SDL_WINDOWEVENT_RESIZED, 500, 300)).empty());
    EXPECT_EQ(Translate(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 640, 1)).size(), 1u);
}

TEST_F(MessagesTest, MinimiseAndRestoreFlagTheHighWord) {
    std::vector<MSG> minimised = Translate(WindowEvent(SDL_WINDOWEVENT_MINIMIZED));
    ASSERT_EQ(minimised.size(), 2u);
    EXPECT_EQ(minimised[0].message, WM_ACTIVATE);
    EXPECT_EQ(LOWORD(minimised[0].wParam), WA_INACTIVE);
    EXPECT_NE(HIWORD(minimised[0].wParam), 0);
    EXPECT_EQ(minimised[1].message, WM_SIZE);
    EXPECT_EQ(minimised[1].wParam, SIZE_MINIMIZED);
    EXPECT_EQ(minimised[1].lParam, 0);

    // Further signs of the same state, and focus changes, add nothing.
    EXPECT_TRUE(Translate(WindowEvent(SDL_WINDOWEVENT_HIDDEN)).empty());
    EXPECT_TRUE(Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST)).empty());
    EXPECT_TRUE(Translate(WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 1, 1)).empty());

    std::vector<MSG> restored = Translate(WindowEvent(SDL_WINDOWEVENT_RESTORED));
    ASSERT_EQ(restored.size(), 2u);
    EXPECT_EQ(restored[0].message, WM_SIZE);
    EXPECT_EQ(restored[0].wParam, SIZE_RESTORED);
    EXPECT_EQ(LOWORD(static_cast<uintptr_t>(restored[0].lParam)), 640);
    EXPECT_EQ(HIWORD(static_cast<uintptr_t>(restored[0].lParam)), 480);
    EXPECT_EQ(restored[1].message, WM_ACTIVATE);
    EXPECT_EQ(LOWORD(restored[1].wParam), WA_ACTIVE);
    EXPECT_EQ(HIWORD(restored[1].wParam), 0);
    EXPECT_TRUE(Translate(WindowEvent(SDL_WINDOWEVENT_SHOWN)).empty());
}

TEST_F(MessagesTest, UnmappingCountsAsMinimising) {
    std::vector<MSG> hidden = Translate(WindowEvent(SDL_WINDOWEVENT_HIDDEN));
    ASSERT_EQ(hidden.size(), 2u);
    EXPECT_NE(HIWORD(hidden[0].wParam), 0);
    std::vector<MSG> shown = Translate(WindowEvent(SDL_WINDOWEVENT_SHOWN));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(HIWORD(shown[1].wParam), 0);
}

TEST_F(MessagesTest, FocusCloseMoveAndQuit) {
    std::vector<MSG> lost = Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].wParam, MAKEWPARAM(WA_INACTIVE, 0));
    std::vector<MSG> gained = Translate(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
    ASSERT_EQ(gained.size(), 1u);
    EXPECT_EQ(gained[0].wParam, MAKEWPARAM(WA_ACTIVE, 0));
    std::vector<MSG> close = Translate(WindowEvent(SDL_WINDOWEVENT_CLOSE));
    ASSERT_EQ(close.size(), 1u);
    EXPECT_EQ(close[0].message, WM_CLOSE);
    std::vector<MSG> moved = Translate(WindowEvent(SDL_WINDOWEVENT_MOVED, 192, 144));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].message, WM_MOVE);
    EXPECT_EQ(moved[0].lParam, MAKELPARAM(192, 144));
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    std::vector<MSG> interrupted = Translate(quit);
    ASSERT_EQ(interrupted.size(), 1u);
    EXPECT_EQ(interrupted[0].message, WM_CLOSE);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    EXPECT_TRUE(Translate(motion).empty());
    EXPECT_TRUE(Translate(WindowEvent(SDL_WINDOWEVENT_EXPOSED)).empty());
}

TEST_F(MessagesTest, OutputCapacityIsRespected) {
    MSG one[1];
    EXPECT_EQ(TranslateSdlEvent(WindowEvent(SDL_WINDOWEVENT_MINIMIZED), &window_, window_.track, one, 1), 1);
    EXPECT_EQ(one[0].message, WM_ACTIVATE);
    EXPECT_EQ(TranslateSdlEvent(WindowEvent(SDL_WINDOWEVENT_CLOSE), &window_, window_.track, nullptr, 4), 0);
    EXPECT_EQ(TranslateSdlEvent(WindowEvent(SDL_WINDOWEVENT_CLOSE), &window_, window_.track, one, 0), 0);
}

TEST_F(MessagesTest, QuitPostedBeforeDoEventsSetsDoneWithoutDispatch) {
    PostQuitMessage(0);
    EXPECT_EQ(done, 0);
    DoEvents();
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(s_received.empty());
    // Delivered once only.
    done = 0;
    DoEvents();
    EXPECT_EQ(done, 0);
}

TEST_F(MessagesTest, QueuedMessagesComeFirstInOrderThenQuit) {
    PostQuitMessage(3);
    QueuePost(MSG{&window_, WM_KEYDOWN, VK_SPACE, 1, 0});
    QueuePost(MSG{&window_, WM_KEYUP, VK_SPACE, 1, 0});
    QueuePost(MSG{nullptr, WM_USER, 0, 0, 0}); // no window: nobody to call
    DoEvents();
    ASSERT_EQ(s_received.size(), 2u);
    EXPECT_EQ(s_received[0].message, WM_KEYDOWN);
    EXPECT_EQ(s_received[0].hWnd, &window_);
    EXPECT_EQ(s_received[1].message, WM_KEYUP);
    EXPECT_EQ(done, 1);
}

TEST_F(MessagesTest, EmptyQueueReturnsAtOnce) {
    DoEvents();
    EXPECT_EQ(done, 0);
    EXPECT_TRUE(s_received.empty());
    MSG msg;
    EXPECT_FALSE(QueuePeek(&msg));
    EXPECT_FALSE(QueuePeek(nullptr));
}

TEST_F(MessagesTest, QuitSurvivesDroppingWindowMessages) {
    QueuePost(MSG{&window_, WM_SIZE, 0, 0, 0});
    PostQuitMessage(0);
    QueueClear();
    DoEvents();
    EXPECT_TRUE(s_received.empty());
    EXPECT_EQ(done, 1);
}

TEST_F(MessagesTest, DefaultProcessing) {
    // The screen saver and monitor power-down are swallowed; close asks the window.
    EXPECT_EQ(DefWindowProcA(&window_, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    EXPECT_EQ(DefWindowProcA(&window_, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
    EXPECT_EQ(DefWindowProcA(&window_, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    EXPECT_EQ(DefWindowProcA(&window_, WM_CREATE, 0, 0), 0);
    EXPECT_EQ(DefWindowProcA(nullptr, WM_CLOSE, 0, 0), 0);
    DoEvents();
    ASSERT_EQ(s_received.size(), 1u);
    EXPECT_EQ(s_received[0].message, WM_CLOSE);
}

TEST_F(MessagesTest, CallsOnWindowsThatAreNotThereFail) {
    RECT rect{1, 2, 3, 4};
    EXPECT_EQ(GetWindowRect(&window_, &rect), FALSE);
    EXPECT_EQ(rect.left, 1);
    EXPECT_EQ(GetWindowRect(nullptr, &rect), FALSE);
    EXPECT_EQ(GetWindowRect(GetDesktopWindow(), nullptr), FALSE);
    EXPECT_EQ(MoveWindow(&window_, 0, 0, 10, 10, TRUE), FALSE);
    EXPECT_EQ(MoveWindow(nullptr, 0, 0, 10, 10, TRUE), FALSE);
    EXPECT_EQ(SwapBuffers(nullptr), FALSE);
    HDC__ stray{&window_};
    EXPECT_EQ(SwapBuffers(&stray), FALSE);
    EXPECT_EQ(SendToWindow(nullptr, WM_SIZE, 0, 0), 0);
}

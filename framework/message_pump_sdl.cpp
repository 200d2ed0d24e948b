// The thread's message queue and the translation of SDL events into the
// window messages that the program's window procedure expects.
//
// Posted messages and translated events share one FIFO, so the procedure sees
// them in the order they happened. The quit message is a flag rather than an
// entry: as on Windows it is delivered only when nothing else is queued, so a
// close followed by PostQuitMessage still runs every earlier message first.
#include "framework/lumora_local_sdl.h"
#include "framework/win32_calls.h"

#include <deque>

namespace {

std::deque<MSG> s_queue;
bool s_quitPosted = false;
int s_quitCode = 0;

// Low bits of the key message lParam: repeat count 1 and the scan code.
LPARAM KeyLParam(const SDL_KeyboardEvent& key, const bool down) {
    DWORD bits = 1u | ((static_cast<DWORD>(key.keysym.scancode) & 0xFFu) << 16);
    if (!down || key.repeat != 0) {
        bits |= 1u << 30; // the key was down before this message
    }
    if (!down) {
        bits |= 1u << 31; // transition state: being released
    }
    return static_cast<LPARAM>(bits);
}

struct MessageSink {
    HWND hWnd;
    MSG* out;
    int capacity;
    int count;

    void Add(const UINT message, const WPARAM wParam, const LPARAM lParam, const DWORD time) {
        if (count < capacity) {
            out[count] = MSG{hWnd, message, wParam, lParam, time};
            ++count;
        }
    }
};

void TranslateWindowEvent(const SDL_WindowEvent& ev, WindowTrack& track, MessageSink& sink) {
    const DWORD time = ev.timestamp;
    switch (ev.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        // A size event while minimised is the iconic size; the restore reports the real one.
        if (!track.minimised && !track.pictureSized && (ev.data1 != track.width || ev.data2 != track.height)) {
            track.width = ev.data1;
            track.height = ev.data2;
            sink.Add(WM_SIZE, SIZE_RESTORED,
                     MAKELPARAM(static_cast<WORD>(track.width), static_cast<WORD>(track.height)), time);
        }
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_HIDDEN:
        // An unmapped window cannot be seen any more than an iconic one.
        if (!track.minimised) {
            track.minimised = true;
            sink.Add(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0, time);
            sink.Add(WM_SIZE, SIZE_MINIMIZED, 0, time);
        }
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_MAXIMIZED:
        if (track.minimised) {
            track.minimised = false;
            sink.Add(WM_SIZE, SIZE_RESTORED,
                     MAKELPARAM(static_cast<WORD>(track.width), static_cast<WORD>(track.height)), time);
            sink.Add(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0, time);
        }
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (!track.minimised) {
            sink.Add(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0, time);
        }
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (!track.minimised) {
            sink.Add(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0, time);
        }
        break;
    case SDL_WINDOWEVENT_MOVED:
        sink.Add(WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(ev.data1), static_cast<WORD>(ev.data2)), time);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        sink.Add(WM_CLOSE, 0, 0, time);
        break;
    default:
        break;
    }
}

void TranslateKeyEvent(const SDL_KeyboardEvent& key, MessageSink& sink) {
    const WPARAM vk = VirtualKeyFromSdl(key.keysym.sym);
    if (vk == 0) {
        return;
    }
    const bool down = key.type == SDL_KEYDOWN;
    // With Alt held (or for F10 and Alt itself) Windows sends the system variants.
    const bool system = (key.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU || vk == VK_F1 + 9;
    UINT message = down ? WM_KEYDOWN : WM_KEYUP;
    if (system) {
        message = down ? WM_SYSKEYDOWN : WM_SYSKEYUP;
    }
    sink.Add(message, vk, KeyLParam(key, down), key.timestamp);
}

} // namespace

WPARAM VirtualKeyFromSdl(const SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return static_cast<WPARAM>('A' + (key - SDLK_a));
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return static_cast<WPARAM>('0' + (key - SDLK_0));
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return VK_F1 + static_cast<WPARAM>(key - SDLK_F1);
    }
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) {
        return VK_NUMPAD0 + 1 + static_cast<WPARAM>(key - SDLK_KP_1);
    }
    switch (key) {
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_RETURN:
        return VK_RETURN;
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_LSHIFT:
        return VK_SHIFT;
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
        return VK_CONTROL;
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
        return VK_MENU;
    case SDLK_RALT:
        return VK_MENU;
    case SDLK_PAUSE:
        return VK_PAUSE;
    case SDLK_CAPSLOCK:
        return VK_CAPITAL;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_PAGEUP:
        return VK_PRIOR;
    case SDLK_PAGEDOWN:
        return VK_NEXT;
    case SDLK_END:
        return VK_END;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_INSERT:
        return VK_INSERT;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_KP_0:
        return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY:
        return VK_MULTIPLY;
    case SDLK_KP_PLUS:
        return VK_ADD;
    case SDLK_KP_MINUS:
        return VK_SUBTRACT;
    case SDLK_KP_PERIOD:
        return VK_DECIMAL;
    case SDLK_KP_DIVIDE:
        return VK_DIVIDE;
    default:
        return 0;
    }
}

int TranslateSdlEvent(const SDL_Event& event, HWND hWnd, WindowTrack& track, MSG* out, const int capacity) {
    if (out == nullptr || capacity <= 0) {
        return 0;
    }
    MessageSink sink{hWnd, out, capacity, 0};
    switch (event.type) {
    case SDL_WINDOWEVENT:
        TranslateWindowEvent(event.window, track, sink);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        TranslateKeyEvent(event.key, sink);
        break;
    case SDL_QUIT:
        // Only an interrupt from outside gets here (closing the window is a
        // window event): ask the program to close, as the close box would.
        sink.Add(WM_CLOSE, 0, 0, event.quit.timestamp);
        break;
    default:
        break;
    }
    return sink.count;
}

void QueuePost(const MSG& msg) {
    s_queue.push_back(msg);
}

void QueuePostQuit(const int exitCode) {
    s_quitPosted = true;
    s_quitCode = exitCode;
}

void QueueClear() {
    s_queue.clear();
}

namespace {

// Moves every pending SDL event of the live window into the queue.
void PumpSdlEvents() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        return;
    }
    HWND hWnd = LiveWindow();
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (hWnd == nullptr) {
            continue;
        }
        if (event.type == SDL_WINDOWEVENT && event.window.windowID != SDL_GetWindowID(hWnd->window)) {
            continue;
        }
        MSG messages[4];
        const int count = TranslateSdlEvent(event, hWnd, hWnd->track, messages, 4);
        for (int i = 0; i < count; ++i) {
            s_queue.push_back(messages[i]);
        }
    }
}

} // namespace

bool QueuePeek(MSG* msg) {
    if (msg == nullptr) {
        return false;
    }
    PumpSdlEvents();
    if (!s_queue.empty()) {
        *msg = s_queue.front();
        s_queue.pop_front();
        return true;
    }
    if (s_quitPosted) {
        s_quitPosted = false;
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s_quitCode), 0, SDL_GetTicks()};
        return true;
    }
    return false;
}

LRESULT SendToWindow(HWND hWnd, const UINT message, const WPARAM wParam, const LPARAM lParam) {
    if (hWnd == nullptr || hWnd->proc == nullptr) {
        return 0;
    }
    return hWnd->proc(hWnd, message, wParam, lParam);
}

void PostQuitMessage(const int exitCode) {
    QueuePostQuit(exitCode);
}

LRESULT DefWindowProcA(HWND hWnd, const UINT message, const WPARAM wParam, const LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_CLOSE:
        // Default handling of the close box takes the window off the screen;
        // the window itself stays until KillGLWindow releases it.
        if (hWnd != nullptr && hWnd == LiveWindow()) {
            SDL_HideWindow(hWnd->window);
            SendToWindow(hWnd, WM_DESTROY, 0, 0);
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE && hWnd != nullptr) {
            QueuePost(MSG{hWnd, WM_CLOSE, 0, 0, SDL_GetTicks()});
        } else if ((wParam & 0xFFF0) == SC_MINIMIZE && hWnd != nullptr && hWnd == LiveWindow()) {
            SDL_MinimizeWindow(hWnd->window);
        }
        // The screen saver and monitor power-down are kept off while the window lives.
        return 0;
    default:
        return 0;
    }
}

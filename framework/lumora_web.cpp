// The framework in a web page: the page's form is the display-mode dialog,
// the page's canvas is the window, a WebGL context is the GL context, the
// page's key events are the messages, and an in-page box shows the errors.
//
// A page cannot wait for a person inside a call, so the dialog is answered
// before the show starts: the page shows its form and, on "Enter iperspace"
// or Escape, hands the answer over (lumora_answer_dialog) and starts the run
// within the same click or key press, which is the gesture that lets the page
// go full screen and start its sound. ShowResDialog then takes that answer.
//
// The page's side of these calls is framework/web/tessaro_page.js: every
// EM_JS below calls one function of its `TessaroPage` object.
#include "framework/lumora_local.h"
#include "framework/win32_calls.h"

#include <GLES2/gl2.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>  // fprintf
#include <cstdlib> // free
#include <deque>

// The records behind the handles: one canvas, its drawing buffer, its context.
struct HWND__ {
    WNDPROC proc;
};
struct HDC__ {
    HWND owner;
};
struct HGLRC__ {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context;
};

namespace {

const char kFrameworkCaption[] = "Velta FrameWork Error";
const char kCanvas[] = "#canvas";

WNDPROC s_appWndProc = nullptr;
HWND__ s_window = {nullptr};
HWND__ s_desktop = {nullptr};
bool s_windowAlive = false;
bool s_classRegistered = false;
std::deque<MSG> s_queue;
bool s_quitPosted = false;

// The page's answer to the dialog, taken once by ShowResDialog.
bool s_answered = false;
bool s_confirmed = false;
ResDialogChoice s_answer = {kDefaultModeIndex, true, false};

// clang-format off
EM_JS(void, PageShowBox, (const char* caption, const char* text), {
    TessaroPage.showBox(UTF8ToString(caption), UTF8ToString(text));
});
EM_JS(void, PageShowStage, (int width, int height), {
    TessaroPage.showStage(width, height);
});
EM_JS(void, PageHideStage, (), {
    TessaroPage.hideStage();
});
EM_JS(int, PageEnterFullscreen, (), {
    return TessaroPage.enterFullscreen() ? 1 : 0;
});
EM_JS(void, PageLeaveFullscreen, (), {
    TessaroPage.leaveFullscreen();
});
EM_JS(int, PageScreenWidth, (), { return window.innerWidth; });
EM_JS(int, PageScreenHeight, (), { return window.innerHeight; });
// clang-format on

void Post(const UINT message, const WPARAM wParam, const LPARAM lParam) {
    s_queue.push_back(MSG{&s_window, message, wParam, lParam, 0});
}

// Key codes of the page's events are Windows' virtual-key codes for the keys
// the show knows (Escape, letters, digits, arrows, function keys).
EM_BOOL OnKey(const int eventType, const EmscriptenKeyboardEvent* event, void* /*user*/) {
    if (!s_windowAlive || event->keyCode == 0 || event->keyCode >= 256) {
        return EM_FALSE;
    }
    Post(eventType == EMSCRIPTEN_EVENT_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(event->keyCode), 0);
    // The show's keys are its own while it plays.
    return EM_TRUE;
}

// Leaving full screen (the browser's own Escape does it without a key event)
// closes the show, as closing the window does on the desktop.
EM_BOOL OnFullscreenChange(const int /*eventType*/, const EmscriptenFullscreenChangeEvent* event, void* /*user*/) {
    if (s_windowAlive && fwk.fullscreen && event->isFullscreen == EM_FALSE) {
        Post(WM_CLOSE, 0, 0);
    }
    return EM_FALSE;
}

void ListenToPage(const bool on) {
    const em_key_callback_func key = on ? OnKey : nullptr;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, key);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, key);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE,
                                             on ? OnFullscreenChange : nullptr);
}

// A WebGL 2 context where the browser has one (textures of any size may then
// repeat and have mipmaps), else WebGL 1. Depth buffer, no alpha, no stencil,
// no multisampling: the pixel format the window asks for on the desktop.
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE CreateContext() {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    attributes.majorVersion = 2;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(kCanvas, &attributes);
    if (context <= 0) {
        attributes.majorVersion = 1;
        context = emscripten_webgl_create_context(kCanvas, &attributes);
    }
    return context > 0 ? context : 0;
}

} // namespace

extern "C" {

// The page's answer to the dialog: confirmed (1) with the list index
// (-1..7), "FullScreen Mode" and "Play Sounds" (0 or 1), or cancelled (0).
// Anything out of range counts as cancelled.
EMSCRIPTEN_KEEPALIVE void lumora_answer_dialog(const int confirmed, const int index, const int fullscreen,
                                               const int playSounds) {
    const bool valid = index >= -1 && index < kDisplayModeCount && (fullscreen == 0 || fullscreen == 1) &&
                       (playSounds == 0 || playSounds == 1);
    s_answered = true;
    s_confirmed = confirmed == 1 && valid;
    s_answer = ResDialogChoice{index, fullscreen == 1, playSounds == 1};
}

// The text of the dialog's list entry `index` (0..7), null past the list.
EMSCRIPTEN_KEEPALIVE const char* lumora_mode_text(const int index) {
    return index >= 0 && index < kDisplayModeCount ? kDisplayModes[index].text : nullptr;
}

// The list entry selected when the dialog opens.
EMSCRIPTEN_KEEPALIVE int lumora_default_mode() { return kDefaultModeIndex; }

} // extern "C"

void SetWndProc(WNDPROC proc) { s_appWndProc = proc; }

void ShowResDialog(HINSTANCE /*hInstance*/) {
    ResDialogChoice choice{kDefaultModeIndex, true, false};
    int result = -1;
    if (TakeResDialogPreset(&choice)) {
        result = 0;
    } else if (s_answered && s_confirmed) {
        choice = s_answer;
        result = 0;
    }
    s_answered = false;
    if (result == 0) {
        ApplyResChoice(fwk, choice);
    }
    fwk.dialogResult = result;
}

int OrvaneInit(HINSTANCE hInstance, char* title) {
    done = 1;
    fwk = _FrameWork{};

    ShowResDialog(hInstance);
    if (fwk.dialogResult == -1) {
        return 0;
    }

    fwk.title = CopyTitle(title);
    if (fwk.title == nullptr || s_appWndProc == nullptr || s_classRegistered) {
        return FailWith(kMsgRegisterClass);
    }
    s_classRegistered = true;
    fwk.wndProc = s_appWndProc;
    fwk.hInstance = hInstance;
    fwk.wc.lpfnWndProc = s_appWndProc;
    fwk.wc.hInstance = hInstance;
    fwk.wc.lpszClassName = fwk.title;

    // A fresh canvas for every show: a canvas keeps its first context (and
    // that context's textures) for as long as it lives. Its drawing buffer is
    // the mode's size; full screen scales it to the screen with its aspect
    // kept (the page's style sheet).
    PageShowStage(fwk.width, fwk.height);
    if (emscripten_set_canvas_element_size(kCanvas, fwk.width, fwk.height) != EMSCRIPTEN_RESULT_SUCCESS) {
        return FailWith(kMsgWindowCreation);
    }
    s_window.proc = s_appWndProc;
    fwk.hWnd = &s_window;
    s_windowAlive = true;
    if (fwk.fullscreen && PageEnterFullscreen() == 0) {
        SysError(const_cast<char*>(kMsgFullscreen));
        fwk.fullscreen = false;
        return 0;
    }
    ListenToPage(true);

    fwk.hDC = new HDC__{fwk.hWnd};
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = CreateContext();
    if (context == 0) {
        return FailWith(kMsgCreateContext);
    }
    fwk.hRC = new HGLRC__{context};
    if (emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        return FailWith(kMsgActivateContext);
    }
    g_hMainWinDC = fwk.hDC;

    // The messages a new window gets, once its context can take the viewport.
    s_appWndProc(fwk.hWnd, WM_CREATE, 0, 0);
    s_appWndProc(fwk.hWnd, WM_SIZE, 0, static_cast<LPARAM>((fwk.height << 16) | (fwk.width & 0xFFFF)));
    ReSizeGLScene(fwk.width, fwk.height);
    if (InitGL() == 0) {
        return FailWith(kMsgInitGL);
    }
    done = 0;
    return 1;
}

void ReSizeGLScene(const int width, int height) {
    if (height == 0) {
        height = 1;
    }
    // The projection is the drawing table's: the engine loads its own before
    // every scene and overlay, so only the viewport is set here.
    glViewport(0, 0, width, height);
    DoEvents();
}

int InitGL() {
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    DoEvents();
    return 1;
}

// The program reads keys as state once per pass. A press shorter than a
// pass (a slow page, a scripted press) would put its key down and up within
// one call, unseen: the release of a key pressed during this call waits for
// the next one.
void DoEvents() {
    bool pressedNow[256] = {};
    while (!s_queue.empty()) {
        const MSG msg = s_queue.front();
        if (msg.message == WM_KEYUP && msg.wParam < 256 && pressedNow[msg.wParam]) {
            break;
        }
        if (msg.message == WM_KEYDOWN && msg.wParam < 256) {
            pressedNow[msg.wParam] = true;
        }
        s_queue.pop_front();
        if (msg.hwnd == &s_window && s_windowAlive && s_window.proc != nullptr) {
            s_window.proc(msg.hwnd, msg.message, msg.wParam, msg.lParam);
        }
    }
    if (s_quitPosted) {
        s_quitPosted = false;
        done = 1;
    }
}

void KillGLWindow() {
    if (fwk.fullscreen) {
        PageLeaveFullscreen();
    }
    ListenToPage(false);
    if (fwk.hRC != nullptr) {
        emscripten_webgl_make_context_current(0);
        emscripten_webgl_destroy_context(fwk.hRC->context);
        delete fwk.hRC;
        fwk.hRC = nullptr;
    }
    if (fwk.hDC != nullptr) {
        if (g_hMainWinDC == fwk.hDC) {
            g_hMainWinDC = nullptr;
        }
        delete fwk.hDC;
        fwk.hDC = nullptr;
    }
    if (fwk.hWnd != nullptr) {
        PageHideStage();
        s_windowAlive = false;
        s_window.proc = nullptr;
        fwk.hWnd = nullptr;
    }
    s_queue.clear();
    s_quitPosted = false;
    s_classRegistered = false;
    std::free(fwk.title);
    fwk.title = nullptr;
    fwk.wc.lpszClassName = nullptr;
}

void SysError(char* message) { MessageBoxA(nullptr, message, kFrameworkCaption, 0); }

// ---- the Win32 calls of win32_calls.h ----

BOOL SwapBuffers(HDC hdc) {
    // The browser shows the drawing buffer once the animation frame's
    // callback returns; there is nothing to swap.
    return hdc != nullptr && hdc == fwk.hDC && s_windowAlive ? TRUE : FALSE;
}

void PostQuitMessage(int /*exitCode*/) { s_quitPosted = true; }

int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT /*type*/) {
    const char* safeText = text != nullptr ? text : "";
    const char* safeCaption = caption != nullptr ? caption : "";
    std::fprintf(stderr, "%s: %s\n", safeCaption, safeText);
    PageShowBox(safeCaption, safeText);
    return IDOK;
}

// The page's canvas outlives the show: there is nothing to destroy on WM_CLOSE.
LRESULT DefWindowProcA(HWND /*hWnd*/, UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return 0; }

HWND GetDesktopWindow() { return &s_desktop; }

BOOL GetWindowRect(HWND hWnd, RECT* rect) {
    if (rect == nullptr) {
        return FALSE;
    }
    if (hWnd == &s_desktop) {
        *rect = RECT{0, 0, PageScreenWidth(), PageScreenHeight()};
        return TRUE;
    }
    if (hWnd == &s_window && s_windowAlive) {
        *rect = RECT{0, 0, fwk.width, fwk.height};
        return TRUE;
    }
    return FALSE;
}

// The page lays the canvas out itself: moving it is accepted and changes nothing.
BOOL MoveWindow(HWND hWnd, int /*x*/, int /*y*/, int /*width*/, int /*height*/, BOOL /*repaint*/) {
    return hWnd == &s_window && s_windowAlive ? TRUE : FALSE;
}

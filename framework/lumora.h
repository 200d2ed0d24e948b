// lumora: the framework library between the program and the desktop. It owns
// the display-mode dialog, the main window and its class, the full-screen
// switch, the OpenGL context, the message pump, the projection for a window
// size, the initial GL state and the error box, and tears all of it down.
//
// Call order: SetWndProc, OrvaneInit, DoEvents once per main-loop pass,
// KillGLWindow at the end (also after a failed OrvaneInit). Everything runs on
// the thread that called OrvaneInit; the application window procedure runs
// inside the calls that pump messages (DoEvents, ReSizeGLScene, InitGL,
// OrvaneInit).
//
// The library owns the window, the device and rendering contexts, the display
// mode change and the heap copy of the title; KillGLWindow releases them.
//
// Message boxes (SysError, and MessageBoxA where the library stands in for
// the system) are modal boxes when a display is present, shown in the calling
// process (they end with it), and always also print their text on standard
// error. Setting
// TESSARO_NO_MESSAGE_BOX=1 in the environment sends them to standard error only,
// for unattended runs. TESSARO_DIALOG_DUMP=1 makes the display-mode dialog
// print its controls (kind, text, pixel rectangle, state) on standard output
// once it is on screen, for tests that drive it. A program that takes its
// settings from elsewhere answers the dialog in advance through
// framework/res_dialog_preset.h (linked into the program, not exported).
#pragma once

#include "framework/win32_types.h" // HWND, HDC, HGLRC, WNDCLASSA, WNDPROC...

// Exported from the library, imported by the program. On Windows the data
// exports (fwk, done, g_hMainWinDC) must be declared imported to be read in
// place; the library's own sources are compiled with LUMORA_BUILD.
#if defined(_WIN32)
#if defined(LUMORA_BUILD)
#define LUMORA_API __declspec(dllexport)
#else
#define LUMORA_API __declspec(dllimport)
#endif
#else
#define LUMORA_API __attribute__((visibility("default")))
#endif

// Settings and handles shared with the program. Field order is fixed: the
// program reads the record in place through the library's export.
struct _FrameWork {
    int dialogResult;    // 0 dialog confirmed, -1 cancelled or closed (or not shown)
    int width;           // chosen screen or client width in pixels
    int height;          // chosen height in pixels
    int bits;            // colour depth, 16 or 32
    bool fullscreen;     // full-screen chosen; cleared when the mode switch fails
    bool playSounds;     // music wanted
    HDC hDC;             // window device context
    HGLRC hRC;           // OpenGL rendering context
    HWND hWnd;           // main window
    HINSTANCE hInstance; // the program's instance handle given to OrvaneInit
    WNDCLASSA wc;        // window class as registered
    WNDPROC wndProc;     // application window procedure in use
    char* title;         // heap copy of the title (window title and class name); owned by the library

    _FrameWork() = default;
    _FrameWork(const _FrameWork&) = default;
    // Copies the whole record, handles and title pointer included (not the
    // title text: both records then share the library's copy); returns *this.
    LUMORA_API _FrameWork& operator=(const _FrameWork& other);
};

extern "C" {

// The settings record. Zeroed at the start of OrvaneInit.
LUMORA_API extern _FrameWork fwk;
// Main-loop quit flag: 1 on entry to OrvaneInit, 0 after it succeeds, 1 when
// DoEvents sees the quit message. The program also sets it.
LUMORA_API extern int done;
// Device context of the main window, for SwapBuffers; set when OrvaneInit succeeds.
LUMORA_API extern HDC g_hMainWinDC;

// Stores the application window procedure; call before OrvaneInit.
LUMORA_API void SetWndProc(WNDPROC proc);

// Dialog, window, full-screen switch, GL context and initial GL state.
// Returns 1 on success; 0 when the dialog was cancelled (silently) or a step
// failed (after a SysError box). Nothing is undone on failure: call KillGLWindow.
// On the SDL backend no window is made where nobody could see it: without a display (SDL left
// with a driver that draws into memory, unless SDL_VIDEODRIVER names it) the
// window creation error says so; a dialog that cannot appear for want of a
// display counts as cancelled and says why in one line on standard error.
LUMORA_API int OrvaneInit(HINSTANCE hInstance, char* title);

// Runs the display-mode dialog modally and stores 0 (confirmed) or -1
// (cancelled, closed or impossible to show) in fwk.dialogResult. The argument is unused.
LUMORA_API void ShowResDialog(HINSTANCE hInstance);

// Viewport and perspective projection for a client size (a height of 0 counts
// as 1), model-view reset to identity; then pumps pending messages.
LUMORA_API void ReSizeGLScene(int width, int height);

// Initial GL state (depth test, black clear colour, no lighting, culling or
// blending); pumps pending messages. Always returns 1.
LUMORA_API int InitGL();

// Dispatches every pending message to the window procedure without waiting;
// a quit message sets done = 1 and is not dispatched.
LUMORA_API void DoEvents();

// Restores the desktop mode, releases the GL context, the window, its class and
// the title copy. Safe after a partial OrvaneInit and when called twice.
LUMORA_API void KillGLWindow();

// Modal box with the message under the caption "Velta FrameWork Error".
LUMORA_API void SysError(char* message);

} // extern "C"

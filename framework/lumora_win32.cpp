// The exported interface on Win32: start-up of the dialog, window, display
// mode and GL context in the fixed order the program relies on, the message
// pump and the tear-down, on the system's own calls.
//
// OrvaneInit never undoes a step that succeeded before a failure; the program
// calls KillGLWindow on its error path, and every tear-down step looks only at
// its own handle. Each step also forgets its handle once it has dealt with it,
// so a second KillGLWindow finds nothing left to release and says nothing.
#include "framework/lumora_local_win32.h"

#include <cstddef> // offsetof
#include <cstdlib> // free
#include <cstring> // memset

namespace {

HINSTANCE s_module = nullptr;
WNDPROC s_appWndProc = nullptr;
PIXELFORMATDESCRIPTOR s_pfd;
bool s_pfdFilled = false;
MSG s_lastMessage;
// What the tear-down must give back besides the handles in fwk: the display
// mode and the cursor, each exactly once.
bool s_modeChanged = false;
bool s_cursorHidden = false;

// The desktop presentation: the main window is a popup covering the monitor,
// painted black by its class, and the show draws into a window of the
// picture's size centred over it, which holds the GL context. The main window
// keeps the keyboard, so the program's window procedure hears every key.
constexpr char kPictureClass[] = "LumoraPicture";
HWND s_pictureWindow = nullptr;
bool s_pictureClassRegistered = false;

// The mode record goes out in its 148-byte form, the one without the panning
// fields that newer headers append; every Windows reads the record by the
// size it states.
constexpr WORD kDevModeSize = 148;
static_assert(offsetof(DEVMODEA, dmPanningWidth) == kDevModeSize, "the 148-byte record ends before panning");





// Icon 101 of the program; a program built without one gets the library's,
// the same picture.
HICON ClassIcon(const HINSTANCE hInstance) {
    HICON icon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_LUMORA));
    if (icon == nullptr) {
        icon = LoadIconA(s_module, MAKEINTRESOURCEA(IDI_LUMORA));
    }
    return icon;
}

// Step 4: the window class, named after the title. A desktop presentation
// paints the bars beside the picture black; otherwise nothing is painted.
bool RegisterMainClass(const HINSTANCE hInstance, const bool blackBackground) {
    fwk.wndProc = s_appWndProc;
    fwk.hInstance = hInstance;
    fwk.wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    fwk.wc.lpfnWndProc = s_appWndProc;
    fwk.wc.cbClsExtra = 0;
    fwk.wc.cbWndExtra = 0;
    fwk.wc.hInstance = hInstance;
    fwk.wc.hIcon = ClassIcon(hInstance);
    fwk.wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    fwk.wc.hbrBackground = blackBackground ? static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)) : nullptr;
    fwk.wc.lpszMenuName = nullptr;
    fwk.wc.lpszClassName = fwk.title;
    return RegisterClassA(&fwk.wc) != 0;
}

// Step 5: the display switched to the chosen mode.
bool SwitchDisplayMode() {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof(mode));
    mode.dmSize = kDevModeSize;
    mode.dmPelsWidth = static_cast<DWORD>(fwk.width);
    mode.dmPelsHeight = static_cast<DWORD>(fwk.height);
    mode.dmBitsPerPel = static_cast<DWORD>(fwk.bits);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
        return false;
    }
    s_modeChanged = true;
    return true;
}

// Steps 6 to 8: the window, its outer size making the client area the chosen
// size (windowed) or covering the switched screen (full screen).
HWND CreateMainWindow() {
    const DWORD exStyle = fwk.fullscreen ? WS_EX_APPWINDOW : WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    const DWORD style = fwk.fullscreen ? WS_POPUP : WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT rect{0, 0, fwk.width, fwk.height};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (fwk.fullscreen) {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
    return CreateWindowExA(exStyle, fwk.title, fwk.title, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                           width, height, nullptr, nullptr, fwk.hInstance, nullptr);
}

// The window the desktop presentation draws into, fwk.width x fwk.height
// centred over the main window. Null on failure.
HWND CreatePictureWindow() {
    if (!s_pictureClassRegistered) {
        WNDCLASSA pictureClass{};
        pictureClass.style = CS_OWNDC;
        pictureClass.lpfnWndProc = DefWindowProcA;
        pictureClass.hInstance = s_module;
        pictureClass.lpszClassName = kPictureClass;
        if (RegisterClassA(&pictureClass) == 0) {
            return nullptr;
        }
        s_pictureClassRegistered = true;
    }
    RECT client{0, 0, 0, 0};
    GetClientRect(fwk.hWnd, &client);
    const PictureRect at = FitPicture(client.right, client.bottom, fwk.width, fwk.height);
    // FitPicture counts from the bottom, windows from the top.
    const int top = client.bottom - at.y - at.height;
    // A window of its own, owned by the main one (so always above it) and
    // never activated (so the keyboard stays with the main window): a child
    // window's GL drawing does not reach the screen on every system.
    POINT origin{at.x, top};
    ClientToScreen(fwk.hWnd, &origin);
    return CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, kPictureClass, "", WS_POPUP | WS_VISIBLE,
                           origin.x, origin.y, at.width, at.height, fwk.hWnd, nullptr, s_module, nullptr);
}

// Steps 9 to 14: device context, pixel format and the current GL context, on
// the picture's window when there is one.
int CreateGLContext() {
    if (!s_pfdFilled) {
        FillPixelFormatRequest(&s_pfd, fwk.bits);
        s_pfdFilled = true;
    }
    fwk.hDC = GetDC(s_pictureWindow != nullptr ? s_pictureWindow : fwk.hWnd);
    if (fwk.hDC == nullptr) {
        return FailWith(kMsgDeviceContext);
    }
    const int format = ChoosePixelFormat(fwk.hDC, &s_pfd);
    if (format == 0) {
        return FailWith(kMsgChooseFormat);
    }
    if (!SetPixelFormat(fwk.hDC, format, &s_pfd)) {
        return FailWith(kMsgSetFormat);
    }
    fwk.hRC = wglCreateContext(fwk.hDC);
    if (fwk.hRC == nullptr) {
        return FailWith(kMsgCreateContext);
    }
    if (!wglMakeCurrent(fwk.hDC, fwk.hRC)) {
        return FailWith(kMsgActivateContext);
    }
    return 1;
}

} // namespace

HINSTANCE LibraryModule() {
    return s_module;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        s_module = module;
        // The library makes no use of per-thread attach notices.
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

void SetWndProc(WNDPROC proc) {
    s_appWndProc = proc;
}

int OrvaneInit(HINSTANCE hInstance, char* title) {
    done = 1;
    fwk = _FrameWork{};

    ShowResDialog(hInstance);
    if (fwk.dialogResult == -1) {
        return 0;
    }

    fwk.title = CopyTitle(title);
    if (fwk.title == nullptr) {
        return FailWith(kMsgRegisterClass);
    }

    // The desktop presentation is full screen without a mode switch: the
    // picture takes the largest 4:3 size of the monitor, which keeps its own
    // mode, so no other monitor or window is disturbed.
    const PresentationChoice presentation = TakePresentationPreset();
    if (presentation.desktop) {
        fwk.fullscreen = true;
        DesktopPictureSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), &fwk.width, &fwk.height);
    }

    if (!RegisterMainClass(hInstance, presentation.desktop)) {
        return FailWith(kMsgRegisterClass);
    }

    if (fwk.fullscreen) {
        if (!presentation.desktop && !SwitchDisplayMode()) {
            SysError(const_cast<char*>(kMsgFullscreen));
            fwk.fullscreen = false;
            return 0;
        }
        ShowCursor(FALSE);
        s_cursorHidden = true;
    }

    fwk.hWnd = CreateMainWindow();
    if (fwk.hWnd == nullptr) {
        return FailWith(kMsgWindowCreation);
    }
    if (presentation.desktop) {
        s_pictureWindow = CreatePictureWindow();
        if (s_pictureWindow == nullptr) {
            return FailWith(kMsgWindowCreation);
        }
    }
    if (CreateGLContext() == 0) {
        return 0;
    }

    g_hMainWinDC = fwk.hDC;
    ShowWindow(fwk.hWnd, SW_SHOW);
    SetForegroundWindow(fwk.hWnd);
    SetFocus(fwk.hWnd);

    ReSizeGLScene(fwk.width, fwk.height);
    if (InitGL() == 0) {
        return FailWith(kMsgInitGL);
    }
    done = 0;
    return 1;
}

void DoEvents() {
    while (PeekMessageA(&s_lastMessage, nullptr, 0, 0, PM_REMOVE)) {
        if (s_lastMessage.message == WM_QUIT) {
            done = 1;
            continue;
        }
        TranslateMessage(&s_lastMessage);
        DispatchMessageA(&s_lastMessage);
    }
}

void KillGLWindow() {
    if (fwk.fullscreen) {
        if (s_modeChanged) {
            if (ChangeDisplaySettingsA(nullptr, 0) != DISP_CHANGE_SUCCESSFUL) {
                SysError(const_cast<char*>(kMsgRestoreMode));
            }
            s_modeChanged = false;
        }
        if (s_cursorHidden) {
            ShowCursor(TRUE);
            s_cursorHidden = false;
        }
    }
    if (fwk.hRC != nullptr) {
        if (!wglMakeCurrent(nullptr, nullptr)) {
            SysError(const_cast<char*>(kMsgReleaseDCRC));
        }
        if (!wglDeleteContext(fwk.hRC)) {
            SysError(const_cast<char*>(kMsgReleaseRC));
        }
        fwk.hRC = nullptr;
    }
    if (fwk.hDC != nullptr) {
        if (ReleaseDC(s_pictureWindow != nullptr ? s_pictureWindow : fwk.hWnd, fwk.hDC) == 0) {
            SysError(const_cast<char*>(kMsgReleaseDC));
        }
        // Forgotten either way: the program must not swap into a DC whose
        // window is about to go.
        if (g_hMainWinDC == fwk.hDC) {
            g_hMainWinDC = nullptr;
        }
        fwk.hDC = nullptr;
    }
    if (fwk.hWnd != nullptr) {
        // The picture's window, which it owns, goes with it.
        if (!DestroyWindow(fwk.hWnd)) {
            SysError(const_cast<char*>(kMsgReleaseWnd));
        }
        fwk.hWnd = nullptr;
    }
    s_pictureWindow = nullptr;
    if (s_pictureClassRegistered) {
        UnregisterClassA(kPictureClass, s_module);
        s_pictureClassRegistered = false;
    }
    if (fwk.title != nullptr) {
        if (!UnregisterClassA(fwk.title, fwk.hInstance)) {
            SysError(const_cast<char*>(kMsgUnregister));
            fwk.hInstance = nullptr;
        }
    }
    std::free(fwk.title);
    fwk.title = nullptr;
    fwk.wc.lpszClassName = nullptr;
}

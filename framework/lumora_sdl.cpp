// The exported interface on the SDL backend: start-up of the dialog, window
// and GL context in the fixed order the program relies on, the message pump
// and the tear-down.
//
// OrvaneInit never undoes a step that succeeded before a failure; the program
// calls KillGLWindow on its error path, and every tear-down step looks only at
// its own handle, so a partial start is released exactly.
#include "framework/lumora_local_sdl.h"
#include "framework/win32_calls.h"

#include <cstdlib> // free
#include <new>     // nothrow

namespace {



WNDPROC s_appWndProc = nullptr;
PIXELFORMATDESCRIPTOR s_pfd;
bool s_pfdFilled = false;
MSG s_lastMessage;





// A format exists for an RGBA, double-buffered, windowed GL request of 16 to
// 32 colour bits; that is all the GL library here offers.
int ChoosePixelFormat(const PIXELFORMATDESCRIPTOR& pfd) {
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if ((pfd.dwFlags & needed) != needed || pfd.iPixelType != PFD_TYPE_RGBA || pfd.cColorBits < 15 ||
        pfd.cColorBits > 32) {
        return 0;
    }
    return 1;
}

} // namespace

void SetWndProc(WNDPROC proc) {
    s_appWndProc = proc;
}

void ShowResDialog(HINSTANCE hInstance) {
    (void)hInstance;
    fwk.dialogResult = 0;
    ResDialogChoice choice{kDefaultModeIndex, true, false};
    const int result = TakeResDialogPreset(&choice) ? 0 : RunResDialog(&choice);
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
    if (fwk.title == nullptr) {
        return FailWith(kMsgRegisterClass);
    }

    fwk.wndProc = s_appWndProc;
    fwk.hInstance = hInstance;
    fwk.wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    fwk.wc.lpfnWndProc = s_appWndProc;
    fwk.wc.cbClsExtra = 0;
    fwk.wc.cbWndExtra = 0;
    fwk.wc.hInstance = hInstance;
    // The icon is the library's own, set on the window when it is created.
    fwk.wc.hIcon = nullptr;
    fwk.wc.hCursor = nullptr;
    fwk.wc.hbrBackground = nullptr;
    fwk.wc.lpszMenuName = nullptr;
    fwk.wc.lpszClassName = fwk.title;
    if (!RegisterWindowClass(fwk.wc)) {
        return FailWith(kMsgRegisterClass);
    }

    // Without a display SDL would fall back to drawing into memory, and the
    // show would play where nobody sees it; full screen would fail too, for
    // the wrong reason.
    if (!VideoReachesAPerson()) {
        return FailWith(kMsgNoDisplay);
    }

    // Full screen covers the desktop at its own mode (no switch, see
    // CreateMainWindow); the picture keeps the chosen size unless the desktop
    // presentation asks for the monitor's own resolution. A scaled window is
    // that many times the chosen size.
    const PresentationChoice presentation = TakePresentationPreset();
    if (presentation.desktop) {
        fwk.fullscreen = true;
    }
    MainWindowShape shape{fwk.width, fwk.height, fwk.width, fwk.height, fwk.fullscreen};
    if (fwk.fullscreen) {
        if (!DesktopSize(&shape.width, &shape.height)) {
            SysError(const_cast<char*>(kMsgFullscreen));
            fwk.fullscreen = false;
            return 0;
        }
        if (presentation.desktop) {
            DesktopPictureSize(shape.width, shape.height, &fwk.width, &fwk.height);
            shape.pictureWidth = fwk.width;
            shape.pictureHeight = fwk.height;
        }
        SDL_ShowCursor(SDL_DISABLE);
    } else {
        shape.width *= presentation.windowScale;
        shape.height *= presentation.windowScale;
    }
    const bool offScreenPicture = fwk.fullscreen || presentation.windowScale > 1;

    // GL attributes decide the visual the window is created with, so the
    // pixel format is described before the window exists.
    if (!s_pfdFilled) {
        FillPixelFormatRequest(&s_pfd, fwk.bits);
        s_pfdFilled = true;
    }
    SetPixelFormatAttributes(s_pfd.cColorBits, s_pfd.cDepthBits);

    // A window's client area is exactly the chosen size (times the scale): the
    // window manager adds its frame outside it, which is what adjusting the
    // rectangle achieves.
    fwk.hWnd = CreateMainWindow(fwk.title, fwk.title, 0, 0, shape);
    if (fwk.hWnd == nullptr) {
        if (fwk.fullscreen) {
            // Not even a window covering the desktop could be made.
            SysError(const_cast<char*>(kMsgFullscreen));
            SDL_ShowCursor(SDL_ENABLE);
            fwk.fullscreen = false;
            return 0;
        }
        return FailWith(kMsgWindowCreation);
    }

    fwk.hDC = new (std::nothrow) HDC__{fwk.hWnd};
    if (fwk.hDC == nullptr) {
        return FailWith(kMsgDeviceContext);
    }
    if (ChoosePixelFormat(s_pfd) == 0) {
        return FailWith(kMsgChooseFormat);
    }
    if ((SDL_GetWindowFlags(fwk.hWnd->window) & SDL_WINDOW_OPENGL) == 0) {
        return FailWith(kMsgSetFormat);
    }
    SDL_GLContext context = SDL_GL_CreateContext(fwk.hWnd->window);
    if (context == nullptr) {
        return FailWith(kMsgCreateContext);
    }
    fwk.hRC = new HGLRC__{context, fwk.hWnd};
    if (SDL_GL_MakeCurrent(fwk.hWnd->window, context) != 0) {
        return FailWith(kMsgActivateContext);
    }
    if (offScreenPicture && !CreatePictureBuffer(fwk.hWnd, fwk.width, fwk.height)) {
        return FailWith(kMsgInitGL);
    }

    g_hMainWinDC = fwk.hDC;
    ShowMainWindow(fwk.hWnd);

    ReSizeGLScene(fwk.width, fwk.height);
    if (InitGL() == 0) {
        return FailWith(kMsgInitGL);
    }
    done = 0;
    return 1;
}

void DoEvents() {
    while (QueuePeek(&s_lastMessage)) {
        if (s_lastMessage.message == WM_QUIT) {
            done = 1;
            continue;
        }
        // Translating would add character messages, which nothing here uses.
        SendToWindow(s_lastMessage.hwnd, s_lastMessage.message, s_lastMessage.wParam, s_lastMessage.lParam);
    }
}

void KillGLWindow() {
    if (fwk.fullscreen) {
        if (!RestoreDesktopMode(fwk.hWnd)) {
            SysError(const_cast<char*>(kMsgRestoreMode));
        }
        if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
            SDL_ShowCursor(SDL_ENABLE);
        }
    }
    if (fwk.hRC != nullptr) {
        HGLRC rc = fwk.hRC;
        const bool windowAlive = rc->window != nullptr && rc->window == LiveWindow();
        if (windowAlive) {
            ReleasePictureBuffer(rc->window);
        }
        if (!windowAlive || SDL_GL_MakeCurrent(rc->window->window, nullptr) != 0) {
            SysError(const_cast<char*>(kMsgReleaseDCRC));
        }
        if (rc->context == nullptr) {
            SysError(const_cast<char*>(kMsgReleaseRC));
        } else {
            SDL_GL_DeleteContext(rc->context);
        }
        delete rc;
        fwk.hRC = nullptr;
    }
    if (fwk.hDC != nullptr) {
        if (fwk.hDC->owner != fwk.hWnd || fwk.hWnd == nullptr) {
            SysError(const_cast<char*>(kMsgReleaseDC));
        }
        // Released either way: a handle kept after its window is gone could
        // only be used after free.
        if (g_hMainWinDC == fwk.hDC) {
            g_hMainWinDC = nullptr;
        }
        delete fwk.hDC;
        fwk.hDC = nullptr;
    }
    if (fwk.hWnd != nullptr) {
        if (!DestroyMainWindow(fwk.hWnd)) {
            SysError(const_cast<char*>(kMsgReleaseWnd));
        }
        fwk.hWnd = nullptr;
    }
    if (fwk.title != nullptr) {
        if (!UnregisterWindowClass(fwk.title)) {
            SysError(const_cast<char*>(kMsgUnregister));
            fwk.hInstance = nullptr;
        }
    }
    std::free(fwk.title);
    fwk.title = nullptr;
    fwk.wc.lpszClassName = nullptr;
    ReleaseVideo();
}

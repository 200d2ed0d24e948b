// The exported interface on the SDL backend: start-up of the dialog, window
// and GL context in the fixed order the program relies on, the message pump
// and the tear-down.
//
// OrvaneInit never undoes a step that succeeded before a failure; the program
// calls KillGLWindow on its error path, and every tear-down step looks only at
// its own handle, so a partial start is released exactly.
#include "framework/lumora_local_sdl.h"
#include "framework/win32_calls.h"

#include <cstdlib> // malloc, free
#include <cstring> // memcpy, strlen
#include <new>     // nothrow

namespace {

constexpr DWORD PFD_DOUBLEBUFFER = 0x00000001;
constexpr DWORD PFD_DRAW_TO_WINDOW = 0x00000004;
constexpr DWORD PFD_SUPPORT_OPENGL = 0x00000020;
constexpr BYTE PFD_TYPE_RGBA = 0;
constexpr BYTE PFD_MAIN_PLANE = 0;

// The pixel format as Windows describes it; kept so that the request the GL
// attributes are made from has one recorded form.
struct PIXELFORMATDESCRIPTOR {
    WORD nSize;
    WORD nVersion;
    DWORD dwFlags;
    BYTE iPixelType;
    BYTE cColorBits;
    BYTE cRedBits, cRedShift, cGreenBits, cGreenShift, cBlueBits, cBlueShift;
    BYTE cAlphaBits, cAlphaShift;
    BYTE cAccumBits, cAccumRedBits, cAccumGreenBits, cAccumBlueBits, cAccumAlphaBits;
    BYTE cDepthBits;
    BYTE cStencilBits;
    BYTE cAuxBuffers;
    BYTE iLayerType;
    BYTE bReserved;
    DWORD dwLayerMask;
    DWORD dwVisibleMask;
    DWORD dwDamageMask;
};
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "the descriptor is 40 bytes on Windows");

WNDPROC s_appWndProc = nullptr;
PIXELFORMATDESCRIPTOR s_pfd;
bool s_pfdFilled = false;
MSG s_lastMessage;

const char kMsgRegisterClass[] = "Failed To Register The Window Class";
const char kMsgFullscreen[] =
    "This Drivers Doesn't Support FullScreen Mode. Try to Download a newer one or change your video card.\n"
    "Please use Windowed mode.\n\n"
    "NOTE : if you have a 3dfx accelerated video card you can try windowed mode. In this case with some "
    "drivers "
    "you will obtain fullscreen accelerated 3D graphic.";
const char kMsgWindowCreation[] = "Window Creation Error1";
// The window creation error when no screen could show the window: it says why
// and how the show can still be seen.
const char kMsgNoDisplay[] = "Window Creation Error1\n"
                             "No display was found: there is no screen to show the window on.\n"
                             "To render the show off screen, run the player with --capture DIR.";
const char kMsgDeviceContext[] = "Can't Create A GL Device Context";
const char kMsgChooseFormat[] = "Can't Find A Suitable PixelFormat";
const char kMsgSetFormat[] = "Can't Set The PixelFormat";
const char kMsgCreateContext[] = "Can't Create A GL Rendering Context";
const char kMsgActivateContext[] = "Can't Activate The GL Rendering Context";
const char kMsgInitGL[] = "OpenGL initialization Failed";
const char kMsgRestoreMode[] = "Can't restore original video mode";
const char kMsgReleaseDCRC[] = "Release Of DC And RC Failed";
const char kMsgReleaseRC[] = "Release Rendering Context Failed";
const char kMsgReleaseDC[] = "Release Device Context Failed";
const char kMsgReleaseWnd[] = "Could Not Release hWnd";
const char kMsgUnregister[] = "Could Not Unregister Class";

int Fail(const char* message) {
    SysError(const_cast<char*>(message));
    return 0;
}

void FillPixelFormatDescriptor() {
    if (s_pfdFilled) {
        return;
    }
    s_pfd = PIXELFORMATDESCRIPTOR{};
    s_pfd.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    s_pfd.nVersion = 1;
    s_pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    s_pfd.iPixelType = PFD_TYPE_RGBA;
    s_pfd.cColorBits = static_cast<BYTE>(fwk.bits);
    s_pfd.cDepthBits = 16;
    s_pfd.iLayerType = PFD_MAIN_PLANE;
    s_pfdFilled = true;
}

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

    const char* source = title != nullptr ? title : "";
    const size_t length = std::strlen(source);
    fwk.title = static_cast<char*>(std::malloc(length + 1));
    if (fwk.title == nullptr) {
        return Fail(kMsgRegisterClass);
    }
    std::memcpy(fwk.title, source, length + 1);

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
        return Fail(kMsgRegisterClass);
    }

    // Without a display SDL would fall back to drawing into memory, and the
    // show would play where nobody sees it; the full-screen switch would fail
    // too, for the wrong reason.
    if (!VideoReachesAPerson()) {
        return Fail(kMsgNoDisplay);
    }

    SDL_DisplayMode mode{};
    if (fwk.fullscreen) {
        if (!FindFullscreenMode(fwk.width, fwk.height, fwk.bits, &mode)) {
            SysError(const_cast<char*>(kMsgFullscreen));
            fwk.fullscreen = false;
            return 0;
        }
        SDL_ShowCursor(SDL_DISABLE);
    }

    // The window's client area is exactly the chosen size: the window manager
    // adds its frame outside it, which is what adjusting the rectangle achieves.
    // In full screen the window covers the switched screen, whose size is the mode's.
    const int windowWidth = fwk.fullscreen ? mode.w : fwk.width;
    const int windowHeight = fwk.fullscreen ? mode.h : fwk.height;

    // GL attributes decide the visual the window is created with, so the
    // pixel format is described before the window exists.
    FillPixelFormatDescriptor();
    SetPixelFormatAttributes(s_pfd.cColorBits, s_pfd.cDepthBits);

    fwk.hWnd = CreateMainWindow(fwk.title, fwk.title, 0, 0, windowWidth, windowHeight,
                                fwk.fullscreen ? &mode : nullptr);
    if (fwk.hWnd == nullptr) {
        return Fail(kMsgWindowCreation);
    }

    fwk.hDC = new (std::nothrow) HDC__{fwk.hWnd};
    if (fwk.hDC == nullptr) {
        return Fail(kMsgDeviceContext);
    }
    if (ChoosePixelFormat(s_pfd) == 0) {
        return Fail(kMsgChooseFormat);
    }
    if ((SDL_GetWindowFlags(fwk.hWnd->window) & SDL_WINDOW_OPENGL) == 0) {
        return Fail(kMsgSetFormat);
    }
    SDL_GLContext context = SDL_GL_CreateContext(fwk.hWnd->window);
    if (context == nullptr) {
        return Fail(kMsgCreateContext);
    }
    fwk.hRC = new HGLRC__{context, fwk.hWnd};
    if (SDL_GL_MakeCurrent(fwk.hWnd->window, context) != 0) {
        return Fail(kMsgActivateContext);
    }

    g_hMainWinDC = fwk.hDC;
    ShowMainWindow(fwk.hWnd);

    ReSizeGLScene(fwk.width, fwk.height);
    if (InitGL() == 0) {
        return Fail(kMsgInitGL);
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

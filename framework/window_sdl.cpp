// Windows, window classes and the full-screen mode over SDL.
//
// The program has one main window at a time; SDL events are routed to it.
// Classes are only names with a procedure here, kept so that registering and
// unregistering fail where they fail on Windows (a duplicate name, a class
// still in use), which the tear-down reports.
#include "framework/lumora_local_sdl.h"
#include "framework/win32_calls.h"

#include <cstring> // strcmp, strchr, strlen
#include <string>
#include <vector>

namespace {

struct ClassEntry {
    std::string name;
    WNDPROC proc;
};

std::vector<ClassEntry> s_classes;
HWND s_liveWindow = nullptr;
bool s_videoStarted = false;
HWND__ s_desktop = {nullptr, nullptr, nullptr, {0, 0, false, false}, {0, 0, 0, 0, 0}};

ClassEntry* FindClass(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (ClassEntry& entry : s_classes) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

void SetGeneratedIcon(SDL_Window* window) {
    static unsigned char pixels[kIconSize * kIconSize * 4];
    DrawIconPixels(pixels, kIconSize);
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels, kIconSize, kIconSize, 32, kIconSize * 4,
                                                           SDL_PIXELFORMAT_RGBA32);
    if (icon != nullptr) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
}

// Frame sizes around the client area (zero where the window manager draws none).
void FrameSizes(SDL_Window* window, int* top, int* left, int* bottom, int* right) {
    *top = *left = *bottom = *right = 0;
    if (SDL_GetWindowBordersSize(window, top, left, bottom, right) != 0) {
        *top = *left = *bottom = *right = 0;
    }
}

// SDL's drivers that draw into memory only: nobody sees what they show.
const char* const kHeadlessDrivers[] = {"offscreen", "dummy"};

// True when the driver was named in SDL_VIDEODRIVER (or its hint), a
// comma-separated list, as a headless test does on purpose.
bool DriverAskedFor(const char* driver) {
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const size_t length = std::strlen(driver);
    for (const char* name = asked; name != nullptr && *name != '\0';) {
        const char* comma = std::strchr(name, ',');
        const size_t nameLength = comma != nullptr ? static_cast<size_t>(comma - name) : std::strlen(name);
        if (nameLength == length && SDL_strncasecmp(name, driver, length) == 0) {
            return true;
        }
        name = comma != nullptr ? comma + 1 : nullptr;
    }
    return false;
}

} // namespace

HWND LiveWindow() {
    return s_liveWindow;
}

bool RegisterWindowClass(const WNDCLASSA& wc) {
    if (wc.lpszClassName == nullptr || wc.lpfnWndProc == nullptr || FindClass(wc.lpszClassName) != nullptr) {
        return false;
    }
    s_classes.push_back(ClassEntry{wc.lpszClassName, wc.lpfnWndProc});
    return true;
}

bool UnregisterWindowClass(const char* name) {
    if (FindClass(name) == nullptr) {
        return false;
    }
    if (s_liveWindow != nullptr && s_liveWindow->className != nullptr &&
        std::strcmp(s_liveWindow->className, name) == 0) {
        return false;
    }
    for (auto it = s_classes.begin(); it != s_classes.end(); ++it) {
        if (it->name == name) {
            s_classes.erase(it);
            break;
        }
    }
    return true;
}

bool EnsureVideo() {
    if (s_videoStarted) {
        return true;
    }
    // Closing the window is the program's business (WM_CLOSE), not a quit request.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    s_videoStarted = true;
    return true;
}

bool VideoReachesAPerson() {
    if (!EnsureVideo()) {
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) {
        return false;
    }
    for (const char* headless : kHeadlessDrivers) {
        // SDL falls back to these by itself when no display answers.
        if (SDL_strcasecmp(driver, headless) == 0) {
            return DriverAskedFor(driver);
        }
    }
    return true;
}

void ReleaseVideo() {
    if (s_videoStarted && s_liveWindow == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        s_videoStarted = false;
    }
}

bool DesktopSize(int* width, int* height) {
    SDL_DisplayMode desktop{};
    if (!EnsureVideo() || SDL_GetDesktopDisplayMode(0, &desktop) != 0 || desktop.w <= 0 || desktop.h <= 0) {
        return false;
    }
    *width = desktop.w;
    *height = desktop.h;
    return true;
}

void SetPixelFormatAttributes(const int colourBits, const int depthBits) {
    const int red = colourBits >= 24 ? 8 : 5;
    const int green = colourBits >= 24 ? 8 : (colourBits >= 16 ? 6 : 5);
    const int blue = colourBits >= 24 ? 8 : 5;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

HWND CreateMainWindow(const char* className, const char* title, const int x, const int y,
                      const MainWindowShape& shape) {
    ClassEntry* wndClass = FindClass(className);
    if (wndClass == nullptr || s_liveWindow != nullptr || shape.width <= 0 || shape.height <= 0 ||
        shape.pictureWidth <= 0 || shape.pictureHeight <= 0 || !EnsureVideo()) {
        return nullptr;
    }
    // Full screen never switches the display's mode: the window covers the
    // desktop at its own mode and the picture is scaled into it. A switch
    // would rearrange the other monitors and every other window, cannot be
    // made at all under Wayland, and on a flat panel the monitor scales a
    // small mode anyway (often stretched out of 4:3).
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (shape.fullscreen) {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
    SDL_Window* window = SDL_CreateWindow(title != nullptr ? title : "", x, y, shape.width, shape.height, flags);
    if (window == nullptr) {
        return nullptr;
    }
    SetGeneratedIcon(window);
    const bool pictureSized =
        shape.fullscreen || shape.width != shape.pictureWidth || shape.height != shape.pictureHeight;
    HWND hWnd = new HWND__{window,
                           wndClass->proc,
                           const_cast<char*>(className),
                           {shape.pictureWidth, shape.pictureHeight, false, pictureSized},
                           {0, 0, 0, 0, 0}};
    s_liveWindow = hWnd;
    SDL_DisableScreenSaver();

    // Windows calls the procedure with these before CreateWindowEx returns.
    SendToWindow(hWnd, WM_CREATE, 0, 0);
    SendToWindow(hWnd, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(static_cast<WORD>(shape.pictureWidth), static_cast<WORD>(shape.pictureHeight)));
    int px = 0;
    int py = 0;
    SDL_GetWindowPosition(window, &px, &py);
    SendToWindow(hWnd, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(px), static_cast<WORD>(py)));
    return hWnd;
}

bool DestroyMainWindow(HWND hWnd) {
    if (hWnd == nullptr || hWnd != s_liveWindow) {
        return false;
    }
    SendToWindow(hWnd, WM_DESTROY, 0, 0);
    SDL_DestroyWindow(hWnd->window);
    s_liveWindow = nullptr;
    delete hWnd;
    // Messages for the window that is gone must not reach a later one.
    QueueClear();
    SDL_EnableScreenSaver();
    return true;
}

void ShowMainWindow(HWND hWnd) {
    if (hWnd == nullptr || hWnd != s_liveWindow) {
        return;
    }
    SDL_ShowWindow(hWnd->window);
    SDL_RaiseWindow(hWnd->window);
    SDL_SetWindowInputFocus(hWnd->window);
}

bool RestoreDesktopMode(HWND hWnd) {
    if (hWnd == nullptr || hWnd != s_liveWindow) {
        // Without a window SDL never switched the mode; the desktop has its own.
        return true;
    }
    return SDL_SetWindowFullscreen(hWnd->window, 0) == 0;
}

bool IsLiveDC(HDC hdc) {
    return hdc != nullptr && s_liveWindow != nullptr && hdc->owner == s_liveWindow;
}

BOOL SwapBuffers(HDC hdc) {
    if (!IsLiveDC(hdc)) {
        return FALSE;
    }
    if (!PresentPicture(hdc->owner)) {
        SDL_GL_SwapWindow(hdc->owner->window);
    }
    return TRUE;
}

HWND GetDesktopWindow() {
    return &s_desktop;
}

BOOL GetWindowRect(HWND hWnd, RECT* rect) {
    if (rect == nullptr) {
        return FALSE;
    }
    if (hWnd == &s_desktop) {
        SDL_Rect bounds{0, 0, 0, 0};
        if (!EnsureVideo() || SDL_GetDisplayBounds(0, &bounds) != 0) {
            return FALSE;
        }
        *rect = RECT{bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
        return TRUE;
    }
    if (hWnd == nullptr || hWnd != s_liveWindow) {
        return FALSE;
    }
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    SDL_GetWindowPosition(hWnd->window, &x, &y);
    SDL_GetWindowSize(hWnd->window, &w, &h);
    FrameSizes(hWnd->window, &top, &left, &bottom, &right);
    *rect = RECT{x - left, y - top, x + w + right, y + h + bottom};
    return TRUE;
}

BOOL MoveWindow(HWND hWnd, const int x, const int y, const int width, const int height, const BOOL repaint) {
    (void)repaint;
    if (hWnd == nullptr || hWnd != s_liveWindow) {
        return FALSE;
    }
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    FrameSizes(hWnd->window, &top, &left, &bottom, &right);
    const int clientWidth = width - left - right;
    const int clientHeight = height - top - bottom;
    int currentWidth = 0;
    int currentHeight = 0;
    SDL_GetWindowSize(hWnd->window, &currentWidth, &currentHeight);
    if (clientWidth > 0 && clientHeight > 0 &&
        (clientWidth != currentWidth || clientHeight != currentHeight)) {
        SDL_SetWindowSize(hWnd->window, clientWidth, clientHeight);
    }
    SDL_SetWindowPosition(hWnd->window, x + left, y + top);
    return TRUE;
}

// The application window procedure: keys, activity, close, resize, and the
// system commands that must not blank the screen during the show.
#include "app/app.h"
#include "app/player.h" // PlayerKeyDown

#include "framework/lumora.h"      // fwk, ReSizeGLScene
#include "framework/win32_calls.h" // DefWindowProcA, PostQuitMessage, window rectangles

unsigned char keys[256] = {};
bool active = true;

namespace {

// Centres the window on the desktop, keeping its size.
void CentreOnDesktop(HWND hWnd) {
    RECT desktop = {};
    RECT window = {};
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(hWnd, &window)) {
        return;
    }
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    MoveWindow(hWnd, (desktop.right - width) / 2, (desktop.bottom - height) / 2, width, height, TRUE);
}

} // namespace

LRESULT WndProc(HWND hWnd, const UINT message, const WPARAM wParam, const LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (!fwk.fullscreen) {
            CentreOnDesktop(hWnd);
        }
        break;
    case WM_SIZE:
        ReSizeGLScene(LOWORD(static_cast<uintptr_t>(lParam)), HIWORD(static_cast<uintptr_t>(lParam)));
        return 0;
    case WM_ACTIVATE:
        // The high word is non-zero while minimised; gaining or losing the
        // focus by itself does not stop the show.
        active = HIWORD(wParam) == 0;
        return 0;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        // Key codes index a 256-entry table; anything wider is not a key.
        if (wParam < sizeof keys) {
            keys[wParam] = 1;
            PlayerKeyDown(static_cast<unsigned int>(wParam));
        }
        return 0;
    case WM_KEYUP:
        if (wParam < sizeof keys) {
            keys[wParam] = 0;
        }
        return 0;
    case WM_SYSCOMMAND:
        if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) {
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

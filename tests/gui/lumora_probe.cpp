// A small program that drives the framework library the way the player does
// (SetWndProc, OrvaneInit, a loop of DoEvents + clear + swap, KillGLWindow) and
// reports on standard output, one line each, what it receives: the settings
// after the dialog, every window message, the GL viewport after each resize.
// It ends on the quit message or on Escape. GUI tests read its output.
#include "framework/lumora.h"
#include "framework/win32_calls.h"

#include <GL/gl.h>

#include <cstdio>   // printf, setvbuf
#include <unistd.h> // alarm, usleep

namespace {

bool s_escape = false;

const char* MessageName(const UINT message) {
    switch (message) {
    case WM_CREATE:
        return "WM_CREATE";
    case WM_DESTROY:
        return "WM_DESTROY";
    case WM_MOVE:
        return "WM_MOVE";
    case WM_SIZE:
        return "WM_SIZE";
    case WM_ACTIVATE:
        return "WM_ACTIVATE";
    case WM_CLOSE:
        return "WM_CLOSE";
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    case WM_KEYUP:
        return "WM_KEYUP";
    case WM_SYSKEYDOWN:
        return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP:
        return "WM_SYSKEYUP";
    case WM_SYSCOMMAND:
        return "WM_SYSCOMMAND";
    default:
        return "WM_OTHER";
    }
}

LRESULT ProbeWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::printf("msg %s wparam=%lu lo=%u hi=%u\n", MessageName(message), static_cast<unsigned long>(wParam),
                LOWORD(static_cast<uintptr_t>(lParam)), HIWORD(static_cast<uintptr_t>(lParam)));
    switch (message) {
    case WM_CREATE:
        if (!fwk.fullscreen) {
            RECT desktop{0, 0, 0, 0};
            RECT window{0, 0, 0, 0};
            GetWindowRect(GetDesktopWindow(), &desktop);
            GetWindowRect(hWnd, &window);
            const int width = window.right - window.left;
            const int height = window.bottom - window.top;
            MoveWindow(hWnd, (desktop.right - width) / 2, (desktop.bottom - height) / 2, width, height, TRUE);
        }
        return DefWindowProcA(hWnd, message, wParam, lParam);
    case WM_SIZE: {
        ReSizeGLScene(LOWORD(static_cast<uintptr_t>(lParam)), HIWORD(static_cast<uintptr_t>(lParam)));
        GLint viewport[4] = {-1, -1, -1, -1};
        glGetIntegerv(GL_VIEWPORT, viewport);
        std::printf("viewport %d %d %d %d\n", viewport[0], viewport[1], viewport[2], viewport[3]);
        return 0;
    }
    case WM_ACTIVATE:
        std::printf("active %d\n", HIWORD(wParam) == 0 ? 1 : 0);
        return 0;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            s_escape = true;
        }
        return 0;
    case WM_KEYUP:
        return 0;
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A test that loses track of the probe must not leave it running.
    alarm(90);
    SetWndProc(ProbeWndProc);
    char title[] = "Velta Beta 0.1";
    const int ok = OrvaneInit(nullptr, title);
    std::printf("OrvaneInit %d\n", ok);
    std::printf("fwk dialogResult=%d width=%d height=%d bits=%d fullscreen=%d playSounds=%d done=%d\n",
                fwk.dialogResult, fwk.width, fwk.height, fwk.bits, fwk.fullscreen ? 1 : 0,
                fwk.playSounds ? 1 : 0, done);
    if (ok == 0) {
        KillGLWindow();
        std::printf("exit\n");
        return 1;
    }
    GLint viewport[4] = {-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::printf("viewport after init %d %d %d %d\n", viewport[0], viewport[1], viewport[2], viewport[3]);
    std::printf("ready\n");
    while (done == 0) {
        DoEvents();
        if (s_escape) {
            done = 1;
        }
        glClearColor(0.1f, 0.2f, 0.4f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SwapBuffers(g_hMainWinDC);
        usleep(10000);
    }
    std::printf("done\n");
    KillGLWindow();
    std::printf("swap after kill %d\n", SwapBuffers(g_hMainWinDC));
    std::printf("exit\n");
    return 0;
}

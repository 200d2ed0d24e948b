// A small Windows program that drives lumora.dll the way the player does
// (SetWndProc, OrvaneInit, a loop of DoEvents + clear + swap, KillGLWindow)
// and reports on standard output, one line each, what it receives: the
// settings after the dialog, the window messages that matter, the client
// size. It ends on the quit message or on Escape; the Wine tests read it.
#include "framework/lumora.h"
#include "framework/win32_calls.h"

#include <GL/gl.h>

#include <cstdio> // printf, setvbuf

namespace {

bool s_escape = false;
// A test that loses track of the probe must not leave it running.
constexpr ULONGLONG kLifetimeMs = 90000;

const char* MessageName(const UINT message) {
    switch (message) {
    case WM_CREATE:
        return "WM_CREATE";
    case WM_SIZE:
        return "WM_SIZE";
    case WM_CLOSE:
        return "WM_CLOSE";
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    default:
        return nullptr;
    }
}

LRESULT CALLBACK ProbeWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const char* name = MessageName(message);
    if (name != nullptr) {
        std::printf("msg %s wparam=%lu lo=%u hi=%u\n", name, static_cast<unsigned long>(wParam),
                    LOWORD(static_cast<ULONG_PTR>(lParam)), HIWORD(static_cast<ULONG_PTR>(lParam)));
    }
    switch (message) {
    case WM_CREATE:
        // Centred on the desktop in windowed mode, as the player does.
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
    case WM_SIZE:
        ReSizeGLScene(LOWORD(static_cast<ULONG_PTR>(lParam)), HIWORD(static_cast<ULONG_PTR>(lParam)));
        return 0;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            s_escape = true;
        }
        return 0;
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)previous;
    (void)commandLine;
    (void)show;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    SetWndProc(ProbeWndProc);
    char title[] = "Velta Beta 0.1";
    const int ok = OrvaneInit(instance, title);
    std::printf("OrvaneInit %d\n", ok);
    std::printf("fwk dialogResult=%d width=%d height=%d bits=%d fullscreen=%d playSounds=%d done=%d\n",
                fwk.dialogResult, fwk.width, fwk.height, fwk.bits, fwk.fullscreen ? 1 : 0,
                fwk.playSounds ? 1 : 0, done);
    if (ok == 0) {
        KillGLWindow();
        std::printf("exit\n");
        return 1;
    }
    RECT client{0, 0, 0, 0};
    GetClientRect(fwk.hWnd, &client);
    std::printf("client %ld %ld\n", static_cast<long>(client.right), static_cast<long>(client.bottom));
    std::printf("ready\n");
    const ULONGLONG start = GetTickCount64();
    while (done == 0) {
        DoEvents();
        if (s_escape || GetTickCount64() - start > kLifetimeMs) {
            done = 1;
        }
        glClearColor(0.1f, 0.2f, 0.4f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SwapBuffers(g_hMainWinDC);
        Sleep(10);
    }
    std::printf("done\n");
    KillGLWindow();
    KillGLWindow();
    std::printf("dc after kill %d\n", g_hMainWinDC == nullptr ? 0 : 1);
    std::printf("exit\n");
    return 0;
}

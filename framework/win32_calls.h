// The few Win32 calls that the program makes next to the framework interface.
// On Windows they are the system's; elsewhere the framework library provides
// them over its own window and message queue:
// swapping the buffers of g_hMainWinDC, the quit message, message boxes,
// default message processing and moving the window (the program centres its
// window while it is being created). Same names, arguments and meanings as on
// Windows; only what the program needs.
#pragma once

#if defined(_WIN32)

// On Windows the system provides them.
#include <windows.h>

#else

#include "framework/lumora.h"      // LUMORA_API
#include "framework/win32_types.h" // HWND, HDC, RECT...

extern "C" {

// Shows the frame drawn into the back buffer of the window behind hdc.
// Returns FALSE for a null or released device context.
LUMORA_API BOOL SwapBuffers(HDC hdc);

// Posts the quit message with the given exit code; DoEvents sees it once the
// messages queued before it have been handled.
LUMORA_API void PostQuitMessage(int exitCode);

// Modal message box with an OK button (the owner and type are accepted and
// ignored beyond that); the text also goes to standard error. Returns IDOK.
LUMORA_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Default processing of a message the window procedure does not handle:
// WM_CLOSE destroys the window, everything else returns 0.
LUMORA_API LRESULT DefWindowProcA(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// The desktop pseudo-window, for GetWindowRect of the whole screen.
LUMORA_API HWND GetDesktopWindow();

// Outer rectangle of a window (or of the desktop) in screen pixels. FALSE and
// an untouched rect for an unknown window or a null rect.
LUMORA_API BOOL GetWindowRect(HWND hWnd, RECT* rect);

// Moves and sizes a window (outer size in pixels). FALSE for an unknown window.
LUMORA_API BOOL MoveWindow(HWND hWnd, int x, int y, int width, int height, BOOL repaint);

} // extern "C"

#endif // _WIN32

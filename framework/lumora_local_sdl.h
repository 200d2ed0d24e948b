// Insides of the SDL backend of the framework library (never installed for the
// program): the records behind the opaque handles, the message queue and the
// translation of SDL events into window messages, the window-class registry,
// the GTK dialog and message box.
#pragma once

#include "framework/lumora_local.h"

#include <SDL2/SDL.h> // SDL_Window, SDL_Event, SDL_GLContext, SDL_DisplayMode

#include <cstddef> // size_t
#include <string>

// ---- handles ----

// Where a window stands as far as its messages are concerned: the last client
// size reported by WM_SIZE and whether it is minimised.
// A window whose picture is drawn off screen reports the picture's size as its
// client size, whatever size the window itself takes.
struct WindowTrack {
    int width;
    int height;
    bool minimised;
    bool pictureSized; // size changes of the window itself are not reported
};

// The off-screen framebuffer the show draws into when the window is larger
// than the picture (full screen, a scaled window); all zero when the show
// draws straight into the window.
struct PictureBuffer {
    unsigned framebuffer;
    unsigned colour;
    unsigned depth;
    int width;
    int height;
};

// A window: the SDL window behind it and the procedure of its class.
struct HWND__ {
    SDL_Window* window; // null for the desktop pseudo-window
    WNDPROC proc;
    char* className; // the class this window was created from (not owned)
    WindowTrack track;
    PictureBuffer picture;
};

// The device context of a window.
struct HDC__ {
    HWND owner;
};

// An OpenGL rendering context.
struct HGLRC__ {
    SDL_GLContext context;
    HWND window; // the window it was created for
};

// ---- dialog and artwork ----

// Runs the modal display-mode dialog. Returns 0 and fills choice when
// confirmed; -1 when cancelled, closed or impossible to show (no display).
int RunResDialog(ResDialogChoice* choice);

constexpr int kIconSize = 32;
// Fills size x size RGBA pixels (bytes R, G, B, A per pixel) with the icon.
// framework/make_art_win32.py draws the same picture for the Win32 resources.
void DrawIconPixels(unsigned char* rgba, int size);

// ---- message queue ----

// Appends a posted message for the window procedure of msg.hwnd.
void QueuePost(const MSG& msg);
// Records the quit message; it is delivered once the queue is otherwise empty.
void QueuePostQuit(int exitCode);
// Takes the next message, if any, after moving pending SDL events into the
// queue. False when nothing is pending; never waits.
bool QueuePeek(MSG* msg);
// Drops every queued message (used when the window goes); a posted quit stays.
void QueueClear();
// Sends a message straight to the window's procedure and returns its result;
// 0 for a window without a procedure.
LRESULT SendToWindow(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Turns one SDL event that belongs to hWnd into window messages, in the order
// Windows sends them; updates track. Returns how many were written to out
// (at most capacity; 0 for events without a Windows counterpart).
int TranslateSdlEvent(const SDL_Event& event, HWND hWnd, WindowTrack& track, MSG* out, int capacity);

// Windows virtual-key code of an SDL key, 0 when there is none.
WPARAM VirtualKeyFromSdl(SDL_Keycode key);

// ---- windows, classes, contexts ----

// The one main window currently alive (null when none); messages from SDL go to it.
HWND LiveWindow();
// True when hdc is the device context of the live window.
bool IsLiveDC(HDC hdc);

// Class registry. Register fails for a null or duplicate name or a null procedure.
bool RegisterWindowClass(const WNDCLASSA& wc);
// Fails for a class that is not registered or still has a window.
bool UnregisterWindowClass(const char* name);

// Starts SDL's video part once; false when no display can be opened.
bool EnsureVideo();
// True when SDL's video driver shows windows to a person, or when a driver
// that draws into memory only was asked for by name (SDL_VIDEODRIVER); false
// without any driver. Starts the video part as EnsureVideo does.
bool VideoReachesAPerson();
// Stops SDL's video part if EnsureVideo started it.
void ReleaseVideo();

// The size of the first display as the desktop uses it. False without one.
bool DesktopSize(int* width, int* height);

// What CreateMainWindow makes: a window of that client size (ignored in full
// screen, which covers the desktop at its own mode) showing a picture of
// pictureWidth x pictureHeight, the size its messages report.
struct MainWindowShape {
    int width;
    int height;
    int pictureWidth;
    int pictureHeight;
    bool fullscreen;
};

// Creates the hidden window of a registered class at (x, y), sends WM_CREATE
// and the first WM_SIZE. Null on failure. Released with DestroyMainWindow.
HWND CreateMainWindow(const char* className, const char* title, int x, int y, const MainWindowShape& shape);
// Destroys the window; false for a window that is not the live one.
bool DestroyMainWindow(HWND hWnd);

// Sets the GL attributes of a pixel format: double buffer, colour sizes from
// bits as minimums, depth 16, no alpha, stencil or accumulation buffers, a
// compatibility profile. Must run before the window is created.
void SetPixelFormatAttributes(int colourBits, int depthBits);

// ---- the picture (picture_sdl.cpp) ----

// Makes the window's off-screen picture of width x height and binds it for
// drawing; the window's GL context must be current. False when the GL here
// has no framebuffer objects or refuses the size.
bool CreatePictureBuffer(HWND hWnd, int width, int height);
// Releases the picture (nothing when there is none); the context must be current.
void ReleasePictureBuffer(HWND hWnd);
// Shows the picture: the window black, the picture scaled into its centre with
// its aspect kept, the buffers swapped, the picture bound again for drawing.
// False when the window has no picture.
bool PresentPicture(HWND hWnd);

// Shows the window, raises it and gives it the keyboard focus.
void ShowMainWindow(HWND hWnd);
// Leaves full-screen mode, giving the desktop its mode back. False on failure.
bool RestoreDesktopMode(HWND hWnd);

// ---- message boxes ----

// Shows a modal error box with one OK button (Enter and Escape dismiss it),
// in this process. False, showing nothing, when GTK cannot open the display.
bool ShowGtkMessageBox(const char* caption, const char* text);

// The text as a box shows it: lines longer than width characters broken at
// their last blank before the limit (a word longer than the limit stays whole).
std::string WrapForBox(const char* text, size_t width);

// ---- GTK ----

// Starts GTK once (without touching the program's locale). False when no
// display can be opened; asked again, it gives the same answer.
bool StartGtk();
// Runs GTK's pending work, so that a closed window leaves the screen before
// the caller goes on.
void FlushGtk();

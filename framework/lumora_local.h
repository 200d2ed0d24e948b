// Insides of the framework library shared by both backends (never installed
// for the program): the display-mode table, the confirmed choice and the
// preset that answers the dialog in advance, the generated artwork and the
// switch that keeps message boxes off the screen.
#pragma once

#include "framework/lumora.h"
#include "framework/win32_types.h"

// ---- display modes ----

// One entry of the dialog's mode list, text exactly as shown.
struct DisplayModeEntry {
    const char* text;
    int width;
    int height;
    int bits;
};

constexpr int kDisplayModeCount = 8;
constexpr int kDefaultModeIndex = 1;
extern const DisplayModeEntry kDisplayModes[kDisplayModeCount];

// What the user left in the dialog when confirming it.
struct ResDialogChoice {
    int index;       // list selection, -1 when nothing is selected
    bool fullscreen; // "FullScreen Mode" checked
    bool playSounds; // "Play Sounds" checked
};

// Writes a confirmed choice into the settings: bits 16 below index 4 else 32,
// width and height from the table (left unchanged for an index outside it),
// fullscreen and playSounds as checked.
void ApplyResChoice(_FrameWork& settings, const ResDialogChoice& choice);

// The choice the program left in the process environment with
// PresetResDialog (framework/res_dialog_preset.h). False, choice untouched,
// when there is none or its text is not exactly "I,F,S" with a list index I
// of 0..7 and F, S each 0 or 1.
bool TakeResDialogPreset(ResDialogChoice* choice);

// The same reading of a preset text; false for anything but "I,F,S" as above.
bool ParseResDialogPreset(const char* text, ResDialogChoice* choice);

// ---- presentation: how the chosen mode meets the screen ----

// Beyond the dialog's choice (framework/res_dialog_preset.h).
struct PresentationChoice {
    bool desktop;    // full screen at the monitor's own resolution, no mode switch
    int windowScale; // windowed: the window is this many times the mode's size
};

// The program's presentation preset, read strictly: "desktop" or "scale=N"
// with N from 1 to kMaxWindowScale. False, choice untouched, for anything else.
bool ParsePresentationPreset(const char* text, PresentationChoice* choice);
// The preset in the process environment; {false, 1} when there is none.
PresentationChoice TakePresentationPreset();

// Where a picture lands on a surface: the largest size with the picture's own
// aspect that fits, centred (the rest are the black bars). x and y count from
// the surface's lower left corner, as GL does; empty for empty sizes.
struct PictureRect {
    int x;
    int y;
    int width;
    int height;
};
PictureRect FitPicture(int surfaceWidth, int surfaceHeight, int pictureWidth, int pictureHeight);

// The show's picture on a whole monitor: the largest 4:3 size that fits it.
void DesktopPictureSize(int screenWidth, int screenHeight, int* width, int* height);

// ---- message boxes ----

// True when boxes should go to standard error only (TESSARO_NO_MESSAGE_BOX set
// to a non-empty value other than 0, or no display to show them on).
bool MessageBoxesSuppressed();

// ---- start-up and tear-down ----

// The texts of the library's own failures, shared by both backends.
extern const char kMsgRegisterClass[];
extern const char kMsgFullscreen[];
extern const char kMsgWindowCreation[];
extern const char kMsgNoDisplay[];
extern const char kMsgDeviceContext[];
extern const char kMsgChooseFormat[];
extern const char kMsgSetFormat[];
extern const char kMsgCreateContext[];
extern const char kMsgActivateContext[];
extern const char kMsgInitGL[];
extern const char kMsgRestoreMode[];
extern const char kMsgReleaseDCRC[];
extern const char kMsgReleaseRC[];
extern const char kMsgReleaseDC[];
extern const char kMsgReleaseWnd[];
extern const char kMsgUnregister[];

// A heap copy of the window title (an empty one for null), released with
// free; null when the heap is exhausted.
char* CopyTitle(const char* title);

// Shows message through SysError and returns 0, the failed start's result.
int FailWith(const char* message);

// The pixel format the window asks for: RGBA, double-buffered, drawn into a
// window with OpenGL, `colourBits` colour bits and a 16-bit depth buffer,
// every other count and mask 0.
void FillPixelFormatRequest(PIXELFORMATDESCRIPTOR* pfd, int colourBits);

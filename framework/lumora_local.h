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

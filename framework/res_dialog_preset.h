// Answering the display-mode dialog in advance, for runs whose settings come
// from elsewhere (the program's command line). A small static library linked
// into the program, not an export of lumora: the answer travels to the
// library through the process environment, in the variable named below, as
// the text "I,F,S" (list index 0..7, then "FullScreen Mode" and "Play Sounds"
// as 0 or 1). ShowResDialog reads it each time it runs; any other text there
// counts as no answer and the dialog is shown.
#pragma once

// The environment variable that carries the answer.
constexpr char kResDialogPresetVariable[] = "TESSARO_DIALOG_PRESET";

// From now on ShowResDialog shows nothing and confirms as if the user had
// picked list index `modeIndex` (an index outside 0..7 counts as the default,
// 1) with "FullScreen Mode" and "Play Sounds" as given (non-zero = checked).
// Stays until ClearResDialogPreset; processes started meanwhile inherit it.
void PresetResDialog(int modeIndex, int fullscreen, int playSounds);

// Brings the dialog back after PresetResDialog: removes the variable.
void ClearResDialogPreset();

// How the chosen mode meets the screen, beyond the dialog's choice; carried
// the same way, in its own variable, as "desktop" or "scale=N".
constexpr char kPresentationPresetVariable[] = "TESSARO_PRESENTATION";

// The largest window scale the library takes.
constexpr int kMaxWindowScale = 8;

// desktop: full screen at the monitor's own resolution without any mode
// switch, the show drawn at the largest 4:3 size that fits, centred between
// black bars (the dialog's full-screen box then counts as checked and its
// mode's size is replaced). Otherwise a windowed run opens at windowScale
// times the mode's size (1..kMaxWindowScale; 1 is the plain window).
void PresetPresentation(bool desktop, int windowScale);

// Removes the presentation variable.
void ClearPresentationPreset();

// ---- the backend's half (res_dialog_preset_posix.cpp, res_dialog_preset_win32.cpp) ----

// Sets the variable to text, or removes it for null. False when the
// environment refused.
bool SetResDialogPresetVariable(const char* text);
// The same for any variable.
bool SetPresetVariable(const char* name, const char* text);

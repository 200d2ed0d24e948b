// The program's half of the preset: the choice written as the text the
// library reads back (res_dialog_preset_take.cpp).
#include "framework/res_dialog_preset.h"

#include <cstdio> // snprintf

namespace {

// Must agree with the library's table (kDisplayModeCount, kDefaultModeIndex).
constexpr int kModeCount = 8;
constexpr int kDefaultMode = 1;

} // namespace

void PresetResDialog(const int modeIndex, const int fullscreen, const int playSounds) {
    // The record is zeroed before the dialog runs, so an index the table does
    // not have would leave a 0 x 0 mode behind: take the default instead.
    const int index = modeIndex >= 0 && modeIndex < kModeCount ? modeIndex : kDefaultMode;
    char text[8] = "";
    std::snprintf(text, sizeof(text), "%d,%d,%d", index, fullscreen != 0 ? 1 : 0, playSounds != 0 ? 1 : 0);
    SetResDialogPresetVariable(text);
}

void ClearResDialogPreset() {
    SetResDialogPresetVariable(nullptr);
}

void PresetPresentation(const bool desktop, const int windowScale) {
    if (desktop) {
        SetPresetVariable(kPresentationPresetVariable, "desktop");
        return;
    }
    if (windowScale <= 1 || windowScale > kMaxWindowScale) {
        ClearPresentationPreset();
        return;
    }
    char text[16] = "";
    std::snprintf(text, sizeof(text), "scale=%d", windowScale);
    SetPresetVariable(kPresentationPresetVariable, text);
}

void ClearPresentationPreset() {
    SetPresetVariable(kPresentationPresetVariable, nullptr);
}

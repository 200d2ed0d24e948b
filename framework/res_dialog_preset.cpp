// A display-mode choice given in advance, which ShowResDialog confirms
// without showing the dialog.
#include "framework/lumora_local.h"

namespace {

bool s_presetSet = false;
ResDialogChoice s_preset{kDefaultModeIndex, true, false};

} // namespace

void PresetResDialog(int modeIndex, int fullscreen, int playSounds) {
    // The record is zeroed before the dialog runs, so an index the table does
    // not have would leave a 0 x 0 mode behind: take the default instead.
    const bool known = modeIndex >= 0 && modeIndex < kDisplayModeCount;
    s_preset = ResDialogChoice{known ? modeIndex : kDefaultModeIndex, fullscreen != 0, playSounds != 0};
    s_presetSet = true;
}

void ClearResDialogPreset() {
    s_presetSet = false;
}

bool TakeResDialogPreset(ResDialogChoice* choice) {
    if (!s_presetSet || choice == nullptr) {
        return false;
    }
    *choice = s_preset;
    return true;
}

// The library's half of the preset: the text in the process environment read
// back strictly, so that a stray or mistyped variable never picks a mode.
#include "framework/lumora_local.h"
#include "framework/res_dialog_preset.h"

#include <cstdlib> // getenv

namespace {

// The digit at text[at] if it lies in 0..highest, else -1.
int DigitAt(const char* text, const int at, const int highest) {
    const char c = text[at];
    return c >= '0' && c <= '0' + highest ? c - '0' : -1;
}

} // namespace

bool ParseResDialogPreset(const char* text, ResDialogChoice* choice) {
    if (text == nullptr || choice == nullptr) {
        return false;
    }
    // Exactly "I,F,S": checked character by character, so the reading never
    // goes past the terminator.
    const int index = DigitAt(text, 0, kDisplayModeCount - 1);
    if (index < 0 || text[1] != ',') {
        return false;
    }
    const int fullscreen = DigitAt(text, 2, 1);
    if (fullscreen < 0 || text[3] != ',') {
        return false;
    }
    const int playSounds = DigitAt(text, 4, 1);
    if (playSounds < 0 || text[5] != '\0') {
        return false;
    }
    *choice = ResDialogChoice{index, fullscreen == 1, playSounds == 1};
    return true;
}

bool TakeResDialogPreset(ResDialogChoice* choice) {
    return ParseResDialogPreset(std::getenv(kResDialogPresetVariable), choice);
}

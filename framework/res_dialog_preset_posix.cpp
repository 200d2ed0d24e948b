// The preset variable on a POSIX environment.
#include "framework/res_dialog_preset.h"

#include <cstdlib> // setenv, unsetenv

bool SetResDialogPresetVariable(const char* text) {
    if (text == nullptr) {
        return unsetenv(kResDialogPresetVariable) == 0;
    }
    return setenv(kResDialogPresetVariable, text, 1) == 0;
}

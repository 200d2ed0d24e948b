// The preset variables on a POSIX environment.
#include "framework/res_dialog_preset.h"

#include <cstdlib> // setenv, unsetenv

bool SetPresetVariable(const char* name, const char* text) {
    if (text == nullptr) {
        return unsetenv(name) == 0;
    }
    return setenv(name, text, 1) == 0;
}

bool SetResDialogPresetVariable(const char* text) {
    return SetPresetVariable(kResDialogPresetVariable, text);
}

// The preset variables on Windows. The C runtime keeps its own copy of the
// environment beside the process's block; _putenv updates both, so the
// library sees it whichever of the two it reads.
#include "framework/res_dialog_preset.h"

#include <cstdio>  // snprintf
#include <cstdlib> // _putenv

bool SetPresetVariable(const char* name, const char* text) {
    // "NAME=" with nothing after the sign removes the variable.
    char assignment[64] = "";
    const int length = std::snprintf(assignment, sizeof(assignment), "%s=%s", name, text != nullptr ? text : "");
    if (length < 0 || static_cast<size_t>(length) >= sizeof(assignment)) {
        return false;
    }
    return _putenv(assignment) == 0;
}

bool SetResDialogPresetVariable(const char* text) {
    return SetPresetVariable(kResDialogPresetVariable, text);
}

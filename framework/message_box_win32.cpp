// SysError on Windows: a real message box, its text also on standard error so
// that an unattended run keeps a record, and only there when
// TESSARO_NO_MESSAGE_BOX is set.
#include "framework/lumora_local_win32.h"

#include <cstdio>  // fprintf
#include <cstdlib> // getenv
#include <cstring> // strcmp

namespace {

const char kFrameworkCaption[] = "Velta FrameWork Error";

} // namespace

bool MessageBoxesSuppressed() {
    const char* flag = std::getenv("TESSARO_NO_MESSAGE_BOX");
    return flag != nullptr && flag[0] != '\0' && std::strcmp(flag, "0") != 0;
}

void SysError(char* message) {
    const char* text = message != nullptr ? message : "";
    std::fprintf(stderr, "%s: %s\n", kFrameworkCaption, text);
    std::fflush(stderr);
    if (MessageBoxesSuppressed()) {
        return;
    }
    MessageBoxA(nullptr, text, kFrameworkCaption, MB_OK | MB_ICONERROR);
}

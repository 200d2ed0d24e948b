// Modal message boxes. The text always goes to standard error as well, so an
// unattended run keeps a record; without a display (or with
// TESSARO_NO_MESSAGE_BOX set) standard error is the only place it goes.
#include "framework/lumora_local_sdl.h"
#include "framework/win32_calls.h"

#include <cstdio>  // fprintf
#include <cstdlib> // getenv
#include <cstring> // strcmp
#include <string>

namespace {

const char kFrameworkCaption[] = "Velta FrameWork Error";
// Lines are broken here, at a fixed width, so the box shows the same lines on every desktop;
// a line of the full-screen message would otherwise be wider than the screen.
constexpr size_t kBoxLineWidth = 80;

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

} // namespace

std::string WrapForBox(const char* text, const size_t width) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    size_t lineStart = 0;
    size_t lastBlank = std::string::npos;
    for (const char* p = text; *p != '\0'; ++p) {
        out += *p;
        if (*p == '\n') {
            lineStart = out.size();
            lastBlank = std::string::npos;
            continue;
        }
        if (*p == ' ') {
            lastBlank = out.size() - 1;
        }
        if (out.size() - lineStart > width && lastBlank != std::string::npos) {
            out[lastBlank] = '\n';
            lineStart = lastBlank + 1;
            lastBlank = std::string::npos;
        }
    }
    return out;
}

bool MessageBoxesSuppressed() {
    const char* flag = std::getenv("TESSARO_NO_MESSAGE_BOX");
    if (flag != nullptr && flag[0] != '\0' && std::strcmp(flag, "0") != 0) {
        return true;
    }
    return !HasDisplay();
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    (void)owner;
    (void)type;
    const char* shownText = text != nullptr ? text : "";
    const char* shownCaption = caption != nullptr ? caption : "Error";
    std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
    std::fflush(stderr);
    if (MessageBoxesSuppressed()) {
        return IDOK;
    }
    // A display that cannot be opened leaves standard error as the record.
    const std::string wrapped = WrapForBox(shownText, kBoxLineWidth);
    ShowGtkMessageBox(shownCaption, wrapped.c_str());
    return IDOK;
}

void SysError(char* message) {
    MessageBoxA(nullptr, message, kFrameworkCaption, MB_OK | MB_ICONERROR);
}

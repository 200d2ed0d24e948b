// Entry point of the player: the command line, then the run. On Windows the
// program is a GUI-subsystem program entered through WinMain; started from a
// console it still answers there (help, version, command-line errors, the
// run report and the debugger lines asked for with TESSARO_DEBUG).
#include "app/app.h"
#include "app/command_line.h"

#include <cstdio> // fputs, fprintf
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <cstdlib> // getenv, __argc, __argv
#else
#include <climits>  // PATH_MAX
#include <unistd.h> // readlink
#endif

namespace {

// The program's own file, whatever folder it was started from; empty when
// the system does not say.
std::string ProgramPath() {
#ifdef _WIN32
    char path[MAX_PATH + 1] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
#else
    char path[PATH_MAX + 1] = "";
    const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
#endif
}

int RunPlayer(int argc, char** argv, HINSTANCE instance) {
    CommandLine options = ParseCommandLine(argc, argv);
    // Without --pak: the current directory first, then the installed archive
    // (a menu launcher starts the player in the home folder).
    if (!options.pakGiven) {
        options.pakPath = ChooseArchive(kDefaultPakPath, InstalledArchivePath(ProgramPath()));
    }
    switch (options.action) {
    case CommandAction::Help:
        std::fputs(CommandLineUsage().c_str(), stdout);
        return 0;
    case CommandAction::Version:
        std::fputs("tessaro Velta Beta 0.1\n", stdout);
        return 0;
    case CommandAction::Error:
        std::fprintf(stderr, "tessaro: %s\n", options.error.c_str());
        return kCommandLineStatus;
    case CommandAction::Run:
        break;
    }
    return TessaroRun(options, instance);
}

} // namespace

#ifdef _WIN32

namespace {

// A standard handle that already leads somewhere (a file, a pipe, or the
// terminal Wine was started from) is kept as it is.
bool StandardHandleUsable(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// A GUI program starts without a console; when started from one, its output
// goes back to it.
void ReachParentConsole() {
    const bool outUsable = StandardHandleUsable(STD_OUTPUT_HANDLE);
    const bool errUsable = StandardHandleUsable(STD_ERROR_HANDLE);
    if ((outUsable && errUsable) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (!outUsable) {
        std::freopen("CONOUT$", "w", stdout);
    }
    if (!errUsable) {
        std::freopen("CONOUT$", "w", stderr);
    }
}

// The error end's box: the text also goes to standard error, and
// TESSARO_NO_MESSAGE_BOX (non-empty, not 0) leaves it there alone, for
// unattended runs.
void ShowWindowsErrorBox(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    const char* quiet = std::getenv("TESSARO_NO_MESSAGE_BOX");
    if (quiet != nullptr && quiet[0] != '\0' && !(quiet[0] == '0' && quiet[1] == '\0')) {
        return;
    }
    MessageBoxA(nullptr, text, caption, MB_OK);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
    ReachParentConsole();
    SetErrorBox(ShowWindowsErrorBox);
    return RunPlayer(__argc, __argv, instance);
}

#else

int main(int argc, char** argv) { return RunPlayer(argc, argv, nullptr); }

#endif

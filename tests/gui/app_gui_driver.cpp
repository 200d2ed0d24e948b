// GUI driver for the end-to-end tests; see app_gui_driver.h.
#include "tests/gui/app_gui_driver.h"

#include <fcntl.h>    // O_WRONLY, O_CREAT
#include <signal.h>   // kill
#include <spawn.h>    // posix_spawn
#include <sys/wait.h> // waitpid
#include <unistd.h>   // execv, access, readlink

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kSessionFlag = "TESSARO_GUI_SESSION";
// The X screen: the size of the dialog's default full-screen mode, so that
// switching to it needs no mode the virtual server lacks.
constexpr const char* kScreen = "-screen 0 640x480x24";

int s_windowManager = -1;
bool s_sessionReady = false;

bool ToolExists(const char* path) {
    return access(path, X_OK) == 0;
}

// Runs a shell command; returns its exit status and stores its output.
int RunCapture(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char buffer[512];
    std::string text;
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        text.append(buffer, got);
    }
    const int status = pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Re-executes the test binary inside xvfb-run before any test runs, so the
// tests always get a private server of a known size whatever display the
// caller has. The flag in the environment stops the recursion.
struct SessionBootstrap {
    SessionBootstrap() {
        if (std::getenv(kSessionFlag) != nullptr || !ToolExists("/usr/bin/xvfb-run")) {
            return;
        }
        char self[4096] = {};
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length <= 0) {
            return;
        }
        std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
        std::vector<std::string> original;
        std::string arg;
        while (std::getline(cmdline, arg, '\0')) {
            original.push_back(arg);
        }
        setenv(kSessionFlag, "1", 1);
        std::vector<std::string> args = {"xvfb-run", "-a", "-s", kScreen, self};
        for (size_t i = 1; i < original.size(); ++i) {
            args.push_back(original[i]);
        }
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::fflush(nullptr);
        execv("/usr/bin/xvfb-run", argv.data());
        // Still here: run without a session; the GUI tests skip.
        unsetenv(kSessionFlag);
    }
};
const SessionBootstrap s_bootstrap;

bool WindowManagerReady() {
    std::string out;
    return RunCapture("xprop -root _NET_SUPPORTING_WM_CHECK", &out) == 0 &&
           out.find("window id") != std::string::npos;
}

} // namespace

bool GuiAvailable() {
    return s_sessionReady;
}

void GuiEnsureSession() {
    if (s_sessionReady || std::getenv(kSessionFlag) == nullptr || std::getenv("DISPLAY") == nullptr) {
        return;
    }
    if (!ToolExists("/usr/bin/openbox") || !ToolExists("/usr/bin/xdotool") || !ToolExists("/usr/bin/xprop")) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char program[] = "/usr/bin/openbox";
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return;
    }
    s_windowManager = pid;
    for (int i = 0; i < 100 && !WindowManagerReady(); ++i) {
        GuiSleep(0.1);
    }
    s_sessionReady = WindowManagerReady();
}

void GuiEndSession() {
    if (s_windowManager > 0) {
        kill(s_windowManager, SIGTERM);
        int status = 0;
        waitpid(s_windowManager, &status, 0);
        s_windowManager = -1;
    }
    s_sessionReady = false;
}

PlayerProcess::PlayerProcess(const std::string& program, const std::vector<std::string>& args,
                             const std::string& workDir, const std::vector<std::string>& env) {
    static int s_serial = 0;
    s_serial += 1;
    const std::string stem = workDir + "/player_" + std::to_string(getpid()) + "_" + std::to_string(s_serial);
    outPath_ = stem + ".out";
    errPath_ = stem + ".err";

    std::vector<std::string> argStore = {program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    // The given variables replace inherited ones of the same name.
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& given : env) {
            replaced = replaced || given.substr(0, given.find('=')) == name;
        }
        if (!replaced) {
            envStore.push_back(entry);
        }
    }
    envStore.insert(envStore.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        pid_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
}

PlayerProcess::~PlayerProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &rawStatus_, 0);
    }
    std::remove(outPath_.c_str());
    std::remove(errPath_.c_str());
}

bool PlayerProcess::Running() {
    if (pid_ <= 0 || reaped_) {
        return false;
    }
    if (waitpid(pid_, &rawStatus_, WNOHANG) == pid_) {
        reaped_ = true;
        return false;
    }
    return true;
}

bool PlayerProcess::Wait(const double seconds, int* status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        GuiSleep(0.05);
    }
    if (!reaped_ || !WIFEXITED(rawStatus_)) {
        return false;
    }
    *status = WEXITSTATUS(rawStatus_);
    return true;
}

std::string PlayerProcess::Output() const {
    return ReadFile(outPath_);
}

std::string PlayerProcess::Errors() const {
    return ReadFile(errPath_);
}

namespace {

// Visible windows titled exactly `title`, by id. xwininfo lists every window
// with its name; xdotool's name search misses windows without a class hint
// (the error boxes have none).
std::vector<std::string> WindowsTitled(const std::string& title) {
    std::string tree;
    RunCapture("xwininfo -root -tree", &tree);
    std::vector<std::string> found;
    const std::string quoted = " \"" + title + "\":";
    std::istringstream lines(tree);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find(quoted);
        if (at == std::string::npos) {
            continue;
        }
        std::istringstream fields(line);
        std::string id;
        fields >> id;
        std::string info;
        RunCapture("xwininfo -id " + id, &info);
        if (info.find("Map State: IsViewable") != std::string::npos) {
            found.push_back(id);
        }
    }
    return found;
}

} // namespace

std::string GuiFindWindow(const std::string& title, const double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const std::vector<std::string> windows = WindowsTitled(title);
        if (!windows.empty()) {
            return windows.front();
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return "";
        }
        GuiSleep(0.1);
    }
}

bool GuiWindowGone(const std::string& title, const double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (WindowsTitled(title).empty()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        GuiSleep(0.1);
    }
}

namespace {

void GiveFocus(const std::string& window) {
    RunCapture("timeout 5 xdotool windowactivate --sync " + window, nullptr);
    RunCapture("xdotool windowfocus " + window, nullptr);
    GuiSleep(0.2);
}

} // namespace

void GuiKey(const std::string& window, const std::string& keys) {
    GiveFocus(window);
    RunCapture("xdotool key --clearmodifiers " + keys, nullptr);
}

void GuiKeyDown(const std::string& window, const std::string& key) {
    GiveFocus(window);
    RunCapture("xdotool keydown --clearmodifiers " + key, nullptr);
}

void GuiKeyUp(const std::string& key) {
    RunCapture("xdotool keyup " + key, nullptr);
}

bool GuiWindowRect(const std::string& window, int* x, int* y, int* width, int* height) {
    std::string info;
    if (RunCapture("xwininfo -id " + window, &info) != 0) {
        return false;
    }
    int found = 0;
    std::istringstream lines(info);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const int value = std::atoi(line.c_str() + colon + 1);
        if (line.find("Absolute upper-left X") != std::string::npos) {
            *x = value;
            found |= 1;
        } else if (line.find("Absolute upper-left Y") != std::string::npos) {
            *y = value;
            found |= 2;
        } else if (line.find("  Width") == 0) {
            *width = value;
            found |= 4;
        } else if (line.find("  Height") == 0) {
            *height = value;
            found |= 8;
        }
    }
    return found == 15;
}

void GuiClickCloseBox(const std::string& window) {
    // The client's place on the screen and the frame around it; the close
    // box sits at the right end of the title bar, above the client.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    GuiWindowRect(window, &x, &y, &width, &height);
    std::string extents;
    RunCapture("xprop -id " + window + " _NET_FRAME_EXTENTS", &extents);
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
    const size_t equals = extents.find('=');
    if (equals != std::string::npos) {
        std::sscanf(extents.c_str() + equals + 1, " %d, %d, %d, %d", &left, &right, &top, &bottom);
    }
    const int clickX = x + width + right - 10;
    const int clickY = y - top / 2;
    RunCapture("xdotool mousemove " + std::to_string(clickX) + " " + std::to_string(clickY) + " click 1",
               nullptr);
}

void GuiMinimise(const std::string& window) {
    RunCapture("xdotool windowminimize " + window, nullptr);
}

void GuiRestore(const std::string& window) {
    RunCapture("timeout 5 xdotool windowactivate --sync " + window, nullptr);
}

void GuiSleep(const double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

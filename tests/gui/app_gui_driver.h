// Drives the real player under a private X server the way a person would:
// starts it, finds its windows by title, types keys, clicks, minimises, and
// waits for it to end. Uses xvfb-run, openbox (window frames, close boxes,
// minimising) and xdotool.
#pragma once

#include <string>
#include <vector>

// True once the test binary runs inside its own X server with a window
// manager; false when the tools are missing (the GUI tests then skip).
bool GuiAvailable();

// Starts the X server around the test binary (re-executing it under
// xvfb-run) and a window manager inside it. Call first thing in each test
// suite's SetUp; it does nothing the second time.
void GuiEnsureSession();

// Stops the window manager started by GuiEnsureSession.
void GuiEndSession();

// One run of the player with its standard output and error kept in files.
class PlayerProcess {
  public:
    // Starts `program` with `args` in `workDir`, adding `env` ("NAME=value").
    PlayerProcess(const std::string& program, const std::vector<std::string>& args,
                  const std::string& workDir, const std::vector<std::string>& env);
    // Kills the player if it is still running.
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    // Waits up to `seconds` for the end. True with *status set to the exit
    // status (0..255) when it ended normally.
    bool Wait(double seconds, int* status);
    // True while the process has not ended.
    bool Running();
    // Everything written to standard output / error so far.
    std::string Output() const;
    std::string Errors() const;

  private:
    int pid_ = -1;
    bool reaped_ = false;
    int rawStatus_ = 0;
    std::string outPath_;
    std::string errPath_;
};

// Id of a visible window titled exactly `title`, waiting up to `seconds`.
// Empty when none appeared.
std::string GuiFindWindow(const std::string& title, double seconds);

// True when no visible window is titled `title` within `seconds`.
bool GuiWindowGone(const std::string& title, double seconds);

// The client area of the window on the screen. False when it cannot be read.
bool GuiWindowRect(const std::string& window, int* x, int* y, int* width, int* height);

// Activates the window and types the keys (xdotool key names, e.g. "Return").
void GuiKey(const std::string& window, const std::string& keys);

// Activates the window and presses `key` without letting go. The player
// looks at its key table once a frame, after reading every waiting message:
// a typed key, whose press and release come a few milliseconds apart, is
// missed whenever both land between two looks. Hold a key until it has
// acted, then release it with GuiKeyUp.
void GuiKeyDown(const std::string& window, const std::string& key);

// Releases a key pressed with GuiKeyDown.
void GuiKeyUp(const std::string& key);

// Clicks the close box of the window's frame.
void GuiClickCloseBox(const std::string& window);

// Minimises (iconifies) the window / gives it back its place on screen.
void GuiMinimise(const std::string& window);
void GuiRestore(const std::string& window);

// Pauses the test for `seconds`.
void GuiSleep(double seconds);

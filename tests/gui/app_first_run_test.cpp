// What a new user meets on a first run, tried as they would try it: the player
// started where there is no display, and a player killed while its error box
// is up, with a script reading its output.
#include "tests/gui/app_gui_driver.h"

#include "archive/pak_writer.h"
#include "tests/support/show_archive.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>  // O_WRONLY, O_CREAT
#include <poll.h>   // poll
#include <signal.h> // kill
#include <spawn.h>  // posix_spawn
#include <string>
#include <sys/wait.h> // waitpid
#include <unistd.h>   // pipe, read, close
#include <vector>

extern char** environ;

namespace {

constexpr const char* kErrorBoxTitle = "Velta error";
constexpr double kAppear = 30.0; // seconds for a window to show up (sanitizer builds start slowly)
constexpr double kEnd = 30.0;    // seconds for the player to end after the last input
constexpr const char* kArchive = "app_first_run_test.qdz";
constexpr const char* kShortArchive = "app_first_run_test_short.qdz";
constexpr const char* kSettingsError = "Velta error: Impossibile settare le impostazioni iniziali";
// Sanitizer builds: the desktop libraries keep some memory for the life of the process.
const std::string kLsan = std::string("LSAN_OPTIONS=suppressions=") + TESSARO_SOURCE_DIR +
                          "/tests/lsan.supp:print_suppressions=0";

class FirstRun : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        GuiEnsureSession();
        // A show that lasts for hours, and one that ends by itself after 280 frames.
        ShowArchiveOptions endless;
        endless.logoFrames = 1000000;
        ShowArchiveOptions brief;
        brief.logoFrames = 20;
        brief.corridoruFrames = 160;
        std::string error;
        s_archivesReady = PakWriteArchive(kArchive, BuildShowArchive(endless), &error) &&
                          PakWriteArchive(kShortArchive, BuildShowArchive(brief), &error);
    }
    static void TearDownTestSuite() {
        std::remove(kArchive);
        std::remove(kShortArchive);
        GuiEndSession();
    }
    void SetUp() override { ASSERT_TRUE(s_archivesReady); }

    static inline bool s_archivesReady = false;
};

// ---- no display ----

struct NoDisplayCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> env;
    int status;
    std::vector<std::string> errors; // each appears on standard error
    bool reportsRun;                 // "FPS = " on standard output
};

// The player as started from a shell with no display at all: both variables unset.
std::vector<std::string> WithoutDisplay(const std::vector<std::string>& env,
                                        const std::vector<std::string>& args) {
    std::vector<std::string> command = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
    command.insert(command.end(), env.begin(), env.end());
    command.push_back(TESSARO_PLAYER);
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

TEST_F(FirstRun, WithoutADisplayThePlayerSaysSoAndEnds) {
    const std::vector<std::string> refused = {
        "Velta FrameWork Error: Window Creation Error1\nNo display was found", "--capture DIR",
        kSettingsError};
    const std::vector<std::string> noDialog = {
        "lumora: no display was found, so the display-mode dialog cannot be shown", "--capture DIR",
        kSettingsError};
    const NoDisplayCase cases[] = {
        {"windowed", {"--windowed", "--pak", kArchive}, {}, 255, refused, false},
        {"full screen", {"--fullscreen", "--pak", kArchive}, {}, 255, refused, false},
        {"dialog", {"--pak", kArchive}, {}, 255, noDialog, false},
        // Asked for by name, the offscreen driver is kept: the headless runs rely on it.
        {"offscreen on purpose",
         {"--windowed", "--mode", "0", "--fixed-step", "40", "--pak", kShortArchive},
         // The software renderer strands a few blocks when its library is
         // unloaded; the player's own leaks are checked where it stays loaded.
         {"SDL_VIDEODRIVER=offscreen", "ASAN_OPTIONS=detect_leaks=0"},
         0,
         {},
         true},
    };
    for (const NoDisplayCase& c : cases) {
        PlayerProcess player("/usr/bin/env", WithoutDisplay(c.env, c.args), ".",
                             {"SDL_AUDIODRIVER=dummy", kLsan});
        int status = -1;
        ASSERT_TRUE(player.Wait(kEnd, &status)) << c.name << ": still running\n" << player.Errors();
        EXPECT_EQ(status, c.status) << c.name << "\n" << player.Errors();
        for (const std::string& text : c.errors) {
            EXPECT_NE(player.Errors().find(text), std::string::npos) << c.name << ": no '" << text << "' in\n"
                                                                     << player.Errors();
        }
        EXPECT_EQ(player.Output().find("FPS = ") != std::string::npos, c.reportsRun) << c.name << "\n"
                                                                                     << player.Output();
        if (c.status == 0) {
            EXPECT_EQ(player.Errors().find("No display"), std::string::npos) << c.name << "\n"
                                                                             << player.Errors();
        }
    }
}

// ---- error boxes ----

// The player in a process group of its own, its standard output on a pipe
// the test reads as a script would.
class PipedPlayer {
  public:
    explicit PipedPlayer(const std::vector<std::string>& args) {
        int fds[2] = {-1, -1};
        if (pipe(fds) != 0) {
            return;
        }
        std::vector<std::string> store = {TESSARO_PLAYER};
        store.insert(store.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : store) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = -1;
        if (posix_spawn(&pid, TESSARO_PLAYER, &actions, &attributes, argv.data(), environ) == 0) {
            pid_ = pid;
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~PipedPlayer() {
        if (pid_ > 0) {
            kill(-pid_, SIGKILL);
            Reap();
        }
        if (out_ >= 0) {
            close(out_);
        }
    }
    PipedPlayer(const PipedPlayer&) = delete;
    PipedPlayer& operator=(const PipedPlayer&) = delete;

    bool Started() const { return pid_ > 0 && out_ >= 0; }
    void Kill() { kill(pid_, SIGKILL); }
    void Reap() {
        if (!reaped_) {
            int status = 0;
            waitpid(pid_, &status, 0);
            reaped_ = true;
        }
    }
    // True when no process of the player's group is left.
    bool GroupGone() const { return kill(-pid_, 0) == -1 && errno == ESRCH; }
    // Reads the output until its end, for up to `seconds`. True at the end:
    // every process holding the pipe has closed it.
    bool OutputEnds(const double seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        char buffer[512];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd ready = {out_, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) {
                continue;
            }
            const ssize_t got = read(out_, buffer, sizeof buffer);
            if (got == 0) {
                return true;
            }
            if (got < 0 && errno != EINTR) {
                return false;
            }
        }
        return false;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool reaped_ = false;
};

TEST_F(FirstRun, AKilledPlayerTakesItsErrorBoxWithIt) {
    if (!GuiAvailable()) {
        GTEST_SKIP() << "no X server, window manager or xdotool";
    }
    PipedPlayer player({"--windowed", "--mode", "0", "--pak", "no_such_archive.qdz"});
    ASSERT_TRUE(player.Started());
    ASSERT_FALSE(GuiFindWindow(kErrorBoxTitle, kAppear).empty());
    player.Kill();
    player.Reap();
    EXPECT_TRUE(player.OutputEnds(kEnd)) << "something still holds the player's standard output";
    EXPECT_TRUE(player.GroupGone()) << "a process of the player survived it";
    EXPECT_TRUE(GuiWindowGone(kErrorBoxTitle, kEnd));
}

TEST_F(FirstRun, EnterAndEscapeDismissTheErrorBox) {
    if (!GuiAvailable()) {
        GTEST_SKIP() << "no X server, window manager or xdotool";
    }
    for (const char* key : {"Return", "Escape"}) {
        PlayerProcess player(TESSARO_PLAYER, {"--windowed", "--mode", "0", "--pak", "no_such_archive.qdz"},
                             ".", {"SDL_AUDIODRIVER=dummy", kLsan});
        const std::string box = GuiFindWindow(kErrorBoxTitle, kAppear);
        ASSERT_FALSE(box.empty()) << key << "\n" << player.Errors();
        GuiKey(box, key);
        int status = -1;
        ASSERT_TRUE(player.Wait(kEnd, &status)) << key << ": the box stayed\n" << player.Errors();
        EXPECT_EQ(status, 255) << key;
        EXPECT_NE(player.Errors().find("Velta error: Impossibile trovare il PAKFile"), std::string::npos)
            << key << "\n"
            << player.Errors();
        EXPECT_TRUE(GuiWindowGone(kErrorBoxTitle, kEnd)) << key;
    }
}

} // namespace

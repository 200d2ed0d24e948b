// The show file: every kind of fault a maker can write, each reported once
// with its file, line and column before anything plays; the player's error
// end for a bad file; and a second, small show made of the content builder's
// pieces, played to its finish.
// The content builder first: its 3DS writer names a parameter like the
// shell's key table.
#include "tools/content/content.h" // BuildContent
#include "tools/content/show.h"    // BuiltInShowText

#include "app/app.h"
#include "app/scene_script.h"
#include "app/show_file.h" // kShowFile

#include "archive/archive.h"
#include "engine/engine.h"
#include "framework/lumora.h" // fwk
#include "memory/memory_pool.h"
#include "scene/scene.h"
#include "texture/texture.h"
#include "tests/support/gl_context.h"
#include "tests/support/show_archive.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h> // WIFEXITED, WEXITSTATUS
#endif

namespace {

// Two scenes of the synthetic archive (logo: 100 frames, blur0: 50) and a
// show 20 frames longer than the logo. Cases replace one line.
const std::vector<std::string> kGoodShow = {
    "[show]",                                                  // 1
    "length = \"logo + 20\"",                                  // 2
    "[[scene]]",                                               // 3
    "name = \"logo\"",                                         // 4
    "file = \"logo.3ds\"",                                     // 5
    "priority = 10",                                           // 6
    "active = true",                                           // 7
    "[[scene]]",                                               // 8
    "name = \"tunnel\"",                                       // 9
    "file = \"blur0.3ds\"",                                    // 10
    "priority = 5",                                            // 11
    "[timeline]",                                              // 12
    "events = [",                                              // 13
    "    { at = \"logo\", do = \"activate\", scene = \"tunnel\" },", // 14
    "    { at = \"length\", do = \"finish\" },",              // 15
    "]",                                                       // 16
};

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

class ShowFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PoolSetSmallSize(200000);
        ASSERT_EQ(PoolInit(20000000), 1);
        ASSERT_TRUE(TestGlMakeCurrent(64, 48)) << TestGlError();
        fwk.width = 640;
        fwk.height = 480;
        fwk.playSounds = false;
        EngineSetScreenSize(640, 480);
    }
    void TearDown() override {
        FreeMd2Instances(&g_character);
        delete g_character.groups;
        g_character = Md2Model{};
        g_zuzez1 = nullptr;
        g_floorMirror = Mirror{};
        // The scenes are found through the engine's lists, which hold every
        // scene loaded, whatever its name.
        Engine& e = g_engine;
        for (Scene* head : {e.activeHead, e.inactiveHead}) {
            for (Scene* s = head; s != nullptr;) {
                Scene* next = s->next;
                delete s;
                s = next;
            }
        }
        g_logo = g_blur0 = g_blur1 = g_corridors = g_corridoru = nullptr;
        e.ForgetShow();
        UseFixedFrameClock(0);
        FreeTextures();
        if (g_currentPak != nullptr) {
            PakClose(g_currentPak);
            g_currentPak = nullptr;
        }
        std::remove(path_.c_str());
        TestGlDetach();
    }

    void OpenArchive(const std::vector<PakWriteEntry>& entries) {
        static int s_serial = 0;
        path_ = "show_file_test_" + std::to_string(::TestProcessId()) + "_" + std::to_string(s_serial++) + ".qdz";
        std::string error;
        ASSERT_TRUE(PakWriteArchive(path_, entries, &error)) << error;
        ASSERT_NE(PakOpen(path_.c_str(), "rb"), nullptr);
    }

    // The script's message, or "" when it ran through.
    static std::string RunScript() {
        try {
            RunSceneScript();
        } catch (const char* message) {
            return message;
        }
        return "";
    }

    std::string path_;
};

struct BadFile {
    int line;           // the line replaced, from 1
    std::string text;   // its new text; empty: the show file is left out
    std::string marker; // where the message points: its first place in the line
    std::string message;
};

// One case per kind of fault. The expected place is where `marker` begins in
// the replaced line.
const BadFile kBadFiles[] = {
    // Unknown names: a misspelt entry, an action, a scene, a name in a time.
    {6, "priorty = 10", "priorty", "unknown entry 'priorty' in a scene"},
    {14, "    { at = \"logo\", do = \"appear\", scene = \"tunnel\" },", "\"appear\"", "unknown action 'appear'"},
    {14, "    { at = \"lgo + 5\", do = \"activate\", scene = \"tunnel\" },", "\"lgo",
     "time 'lgo + 5': no scene 'lgo' is loaded by this show"},
    // An event for a scene the show never loads.
    {14, "    { at = \"logo\", do = \"activate\", scene = \"tunel\" },", "\"tunel\"",
     "no scene 'tunel' is loaded by this show"},
    // Times outside the show: logo is 100 frames, the show 120.
    {14, "    { at = \"logo - 101\", do = \"activate\", scene = \"tunnel\" },", "\"logo - 101\"",
     "time -1 lies before the show's start"},
    {15, "    { at = \"length + 1\", do = \"finish\" },", "\"length + 1\"",
     "time 121 lies after the show's end (its length is 120)"},
    {14, "    { at = \"logo\", until = \"logo - 10\", do = \"fade\", scene = \"tunnel\", opacity = 1.0 },",
     "\"logo - 10\"", "the effect ends before it starts"},
    // Duplicate names: a second scene of one name, a key given twice.
    {9, "name = \"logo\"", "\"logo\"", "a second scene named 'logo'"},
    {7, "priority = 11", "11", "Error while parsing key-value pair: cannot redefine existing integer 'priority'"},
    // Wrong types.
    {6, "priority = \"ten\"", "\"ten\"", "'priority' must be a whole number, not a string"},
    {15, "    { at = true, do = \"finish\" },", "true",
     "'at' must be a time (a number, or scene lengths and numbers such as \"logo + 50\"), not true or false"},
    {14, "    { at = \"logo\", do = \"flash\" },", "{", "'flash' needs 'until', its end"},
    // Not TOML at all.
    {2, "length = \"logo + 20", "length", ""},
};

TEST_F(ShowFileTest, EachFaultIsOneMessageWithItsPlace) {
    for (const BadFile& c : kBadFiles) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> lines = kGoodShow;
        lines[static_cast<size_t>(c.line - 1)] = c.text;
        ShowArchiveOptions options;
        options.showText = Join(lines);
        ASSERT_NO_FATAL_FAILURE(OpenArchive(BuildShowArchive(options)));
        const std::string message = RunScript();
        const size_t column = c.text.find(c.marker) + 1;
        const std::string place = std::string(kShowFile) + ":" + std::to_string(c.line) + ":";
        if (c.message.empty()) {
            // The parser's own wording; only its place is ours to check.
            EXPECT_EQ(message.rfind(place, 0), 0u) << message;
        } else {
            EXPECT_EQ(message, place + std::to_string(column) + ": " + c.message);
        }
        // The times are checked once the scenes' lengths are known; every
        // other fault stops the show before a scene is loaded.
        if (message.find("time ") == std::string::npos && message.find("effect ends") == std::string::npos) {
            EXPECT_EQ(g_engine.sceneCount, 0) << message;
        }
        EXPECT_EQ(g_engine.pendingEvents, nullptr) << "no event of a bad show is queued";
        TearDown();
        SetUp();
    }
}

TEST_F(ShowFileTest, TheGoodShowOfTheTableRuns) {
    ShowArchiveOptions options;
    options.showText = Join(kGoodShow);
    ASSERT_NO_FATAL_FAILURE(OpenArchive(BuildShowArchive(options)));
    EXPECT_EQ(RunScript(), "");
    EXPECT_EQ(g_engine.sceneCount, 2);
    EXPECT_EQ(g_engine.activeHead, g_logo);
}

TEST_F(ShowFileTest, AnArchiveWithoutAShowFileSaysSo) {
    ShowArchiveOptions options;
    options.omit = {kShowFile};
    ASSERT_NO_FATAL_FAILURE(OpenArchive(BuildShowArchive(options)));
    EXPECT_EQ(RunScript(), "show.toml: not in the archive, so there is no show");
    EXPECT_EQ(g_engine.sceneCount, 0);
}

// The example of docs/show-format.md: the builder's title and one of its
// tunnels, the tunnel fading in over the title's last 50 frames, a flash, and
// the song fading out over the last second.
const char kExampleShow[] = R"(
[show]
length = "title + tunnel"
song = "music.xm"

[[scene]]
name = "title"
file = "logo.3ds"
priority = 10
sky = "logo.sky"
active = true

[[scene]]
name = "tunnel"
file = "blur1.3ds"
priority = 5
opacity = 0.0

[timeline]
events = [
    { at = 0, do = "play-song" },
    { at = "title - 50", do = "activate", scene = "tunnel" },
    { at = "title - 50", until = "title", do = "fade", scene = "tunnel", opacity = 1.0 },
    { at = "title", do = "deactivate", scene = "title" },
    { at = "title + 10", until = "title + 30", do = "flash" },
    { at = "length - 25", until = "length", do = "fade-volume", volume = 0 },
    { at = "length", do = "finish" },
]
)";

TEST_F(ShowFileTest, ExampleShowOfBuilderPiecesPlaysToItsFinish) {
    std::vector<PakWriteEntry> entries;
    std::string error;
    ASSERT_TRUE(BuildContent(&entries, &error)) << error;
    for (PakWriteEntry& entry : entries) {
        if (entry.name == kShowFile) {
            entry.data.assign(kExampleShow, kExampleShow + sizeof kExampleShow - 1);
        }
    }
    ASSERT_NO_FATAL_FAILURE(OpenArchive(entries));
    ASSERT_EQ(RunScript(), "");
    ASSERT_EQ(g_engine.sceneCount, 2);
    Scene* title = g_engine.activeHead;
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(g_logo, nullptr) << "a scene named title is not the shell's logo";
    Scene* tunnel = g_engine.inactiveHead;
    ASSERT_NE(tunnel, nullptr);
    const int title_frames = title->frameCount;
    const int length = title_frames + tunnel->frameCount;
    ASSERT_GT(title_frames, 50);

    UseFixedFrameClock(40);
    int tunnelFrom = -1;
    int titleGone = -1;
    int flashSeen = -1;
    int finishedAt = -1;
    for (int frame = 0; frame < length + 10 && finishedAt < 0; ++frame) {
        if (g_engine.RenderFrame() != 0) {
            finishedAt = frame;
        }
        bool titleActive = false;
        for (const Scene* s = g_engine.activeHead; s != nullptr; s = s->next) {
            tunnelFrom = s == tunnel && tunnelFrom < 0 ? frame : tunnelFrom;
            titleActive = titleActive || s == title;
        }
        titleGone = !titleActive && titleGone < 0 ? frame : titleGone;
        flashSeen = g_engine.effectMode == kEffectFlash && flashSeen < 0 ? frame : flashSeen;
    }
    // An event at time t acts in frame t + 1 on the 40 ms clock.
    EXPECT_EQ(tunnelFrom, title_frames - 50 + 1);
    EXPECT_EQ(titleGone, title_frames + 1);
    EXPECT_EQ(flashSeen, title_frames + 10 + 1);
    EXPECT_EQ(finishedAt, length + 1);
    EXPECT_EQ(tunnel->opacity, 1.0f);
}

#if !defined(_WIN32)
// The toml block that follows `marker` in the format's document.
std::string DocumentBlock(const std::string& marker) {
    std::ifstream file(std::string(TESSARO_SOURCE_DIR) + "/docs/show-format.md");
    std::stringstream text;
    text << file.rdbuf();
    const std::string doc = text.str();
    const size_t at = doc.find(marker);
    const std::string open = "```toml\n";
    const size_t begin = at == std::string::npos ? std::string::npos : doc.find(open, at);
    const size_t end = begin == std::string::npos ? std::string::npos : doc.find("```", begin + open.size());
    return end == std::string::npos ? "" : doc.substr(begin + open.size(), end - begin - open.size());
}

// docs/show-format.md shows the built-in show and the example as they are.
TEST(ShowFormatDocument, QuotesTheBuiltInShowAndTheExample) {
    EXPECT_EQ(DocumentBlock("<!-- built-in show"), BuiltInShowText());
    EXPECT_EQ("\n" + DocumentBlock("<!-- example show"), std::string(kExampleShow));
}
#endif

#if defined(TESSARO_PLAYER)
// The player itself: a bad show file ends the run through the error end,
// status 255 with the message on standard error, and no frame is drawn.
TEST(ShowFilePlayer, BadShowEndsBeforeTheFirstFrame) {
    TempDir dir;
    std::vector<std::string> lines = kGoodShow;
    lines[13] = "    { at = \"logo\", do = \"appear\", scene = \"tunnel\" },";
    const std::string place = "show.toml:14:" + std::to_string(lines[13].find("\"appear\"") + 1) + ":";
    ShowArchiveOptions options;
    options.showText = Join(lines);
    std::string error;
    ASSERT_TRUE(PakWriteArchive(dir.File("bad.qdz"), BuildShowArchive(options), &error)) << error;
    const std::string command = std::string(TESSARO_PLAYER) + " --pak " + dir.File("bad.qdz") + " --mode 0 --capture " +
                                dir.File("frames") + " > " + dir.File("log") + " 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    std::ifstream log(dir.File("log"));
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find(place + " unknown action 'appear'"), std::string::npos) << text.str();
    EXPECT_FALSE(std::filesystem::exists(dir.File("frames/frame_00000.png")));
}

int RunCapture(const std::string& content, const std::string& out, const std::string& log) {
    const std::string command = std::string(TESSARO_PLAYER) + " " + content + " --mode 0 --capture " + out +
                                " --start 120 --frames 1 > " + log + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// --content: the archive's entries as loose files in a folder give the same
// picture as the archive; a folder that cannot be read ends the start-up.
TEST(ShowFilePlayer, LooseFilesPlayAsTheArchive) {
    TempDir dir;
    const std::vector<PakWriteEntry> entries = BuildShowArchive({});
    std::string error;
    ASSERT_TRUE(PakWriteArchive(dir.File("show.qdz"), entries, &error)) << error;
    std::filesystem::create_directory(dir.File("loose"));
    for (const PakWriteEntry& entry : entries) {
        std::ofstream file(dir.File("loose/" + entry.name), std::ios::binary);
        file.write(reinterpret_cast<const char*>(entry.data.data()), static_cast<std::streamsize>(entry.data.size()));
    }
    ASSERT_EQ(RunCapture("--pak " + dir.File("show.qdz"), dir.File("packed"), dir.File("packed.log")), 0)
        << ReadAll(dir.File("packed.log"));
    ASSERT_EQ(RunCapture("--content " + dir.File("loose"), dir.File("folder"), dir.File("folder.log")), 0)
        << ReadAll(dir.File("folder.log"));
    const std::string packed = ReadAll(dir.File("packed/frame_00120.png"));
    ASSERT_FALSE(packed.empty());
    EXPECT_EQ(ReadAll(dir.File("folder/frame_00120.png")), packed);

    EXPECT_EQ(RunCapture("--content " + dir.File("nowhere"), dir.File("none"), dir.File("none.log")), 255);
    EXPECT_NE(ReadAll(dir.File("none.log")).find("cannot read the folder " + dir.File("nowhere")), std::string::npos)
        << ReadAll(dir.File("none.log"));
}
#endif

} // namespace

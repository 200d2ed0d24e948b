// Going to a frame and loading the show again, in process on the headless
// context with the real content archive: a frame reached by replaying
// without drawing equals the frame a drawn run reaches, however often the
// show is loaded again; and what --watch looks at and reads.
#include "app/app.h"
#include "app/player.h"       // ReplayWithoutDrawing, ShowFilesNow
#include "app/command_line.h" // CommandLine
#include "app/scene_script.h" // RunSceneScript, g_floorMirror, g_character

#include "archive/archive.h"    // PakOpen, PakFind, g_currentPak
#include "archive/pak_folder.h" // PakOpenSnapshot
#include "archive/pak_writer.h" // PakWriteArchive
#include "engine/engine.h"      // g_engine
#include "scene/scene.h"
#include "tests/support/gl_context.h"
#include "tests/support/show_on_test_gl.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 240;
// In corridoru: the character walks over the mirror floor.
constexpr int64_t kFrame = 700;

struct Loaded {
    int32_t mirrorMeshes = 0;
    int32_t mirrorInstances = 0;
    int32_t characterInstances = 0;
};

Loaded WhatIsLoaded() {
    Loaded l;
    l.mirrorMeshes = g_floorMirror.meshCount;
    l.mirrorInstances = g_floorMirror.instanceCount;
    for (const Md2Instance* i = g_character.instances; i != nullptr; i = i->next) {
        l.characterInstances += 1;
    }
    return l;
}

// Draws one pass on the 40 ms clock and reads the picture.
std::vector<uint8_t> DrawPass() {
    g_engine.draw.gl.MatrixMode(GL_MODELVIEW);
    g_engine.draw.gl.LoadIdentity();
    EXPECT_EQ(g_engine.RenderFrame(), 0);
    return TestGlReadColorBuffer();
}

// Frame kFrame of a run that draws every pass, as the whole capture does.
std::vector<uint8_t> DrawnRunFrame() {
    UseFixedFrameClock(kCaptureStepMs);
    for (int64_t pass = 0; pass < kFrame; ++pass) {
        g_engine.draw.gl.MatrixMode(GL_MODELVIEW);
        g_engine.draw.gl.LoadIdentity();
        EXPECT_EQ(g_engine.RenderFrame(), 0);
    }
    return DrawPass();
}

// Frame kFrame reached as the window's seeking reaches it.
std::vector<uint8_t> SoughtFrame() {
    LoadShowAgain();
    FixedClockRun run;
    run.stepMs = kCaptureStepMs;
    EXPECT_EQ(ReplayWithoutDrawing(&run, static_cast<double>(kFrame)), 0);
    EXPECT_EQ(run.passes, kFrame);
    return DrawPass();
}

size_t DifferingBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    size_t n = a.size() == b.size() ? 0 : std::max(a.size(), b.size());
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        n += a[i] != b[i] ? 1 : 0;
    }
    return n;
}

TEST(PlayerSeek, ASoughtFrameEqualsTheDrawnRunsAfterEveryReload) {
    if (!std::filesystem::exists(TESSARO_CONTENT_ARCHIVE)) {
        GTEST_SKIP() << "no " << TESSARO_CONTENT_ARCHIVE << " (build the content_archive target)";
    }
    PrepareShowMemory();
    ASSERT_TRUE(ShowOnTestGl(kWidth, kHeight)) << TestGlError();
    ASSERT_NE(PakOpen(TESSARO_CONTENT_ARCHIVE, "rb"), nullptr);
    RunSceneScript();
    const Loaded first = WhatIsLoaded();
    ASSERT_GT(first.mirrorMeshes, 0);
    ASSERT_EQ(first.characterInstances, 1);
    const std::vector<uint8_t> drawn = DrawnRunFrame();

    const std::vector<uint8_t> sought = SoughtFrame();
    const Loaded second = WhatIsLoaded();
    const std::vector<uint8_t> soughtAgain = SoughtFrame();
    // Nothing of an earlier load stays behind: no second character, no
    // reflected mesh of a destroyed scene.
    EXPECT_EQ(second.mirrorMeshes, first.mirrorMeshes);
    EXPECT_EQ(second.mirrorInstances, first.mirrorInstances);
    EXPECT_EQ(second.characterInstances, 1);
    EXPECT_EQ(WhatIsLoaded().characterInstances, 1);
    EXPECT_EQ(DifferingBytes(sought, drawn), 0u);
    EXPECT_EQ(DifferingBytes(soughtAgain, drawn), 0u);

    UseFixedFrameClock(0);
    ReleaseShowContent();
    TestGlDetach();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A copy of the archive taken now reads the same entries after the file has
// been rewritten; the file's new state is what --watch sees change.
TEST(PlayerWatch, SnapshotOutlivesARewriteAndTheChangeIsSeen) {
    TempDir dir;
    const std::string path = dir.File("show.qdz");
    std::string error;
    ASSERT_TRUE(PakWriteArchive(path, {{"show.toml", 0, {'o', 'l', 'd'}}}, &error)) << error;
    CommandLine options;
    options.pakPath = path;
    const std::vector<WatchedFile> before = ShowFilesNow(options);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_GT(before[0].size, 0);

    PAKFile* const snapshot = PakOpenSnapshot(path, &error);
    ASSERT_NE(snapshot, nullptr) << error;
    ASSERT_TRUE(PakWriteArchive(path, {{"show.toml", 0, {'n', 'e', 'w', '!'}}}, &error)) << error;
    int32_t size = 0;
    uint8_t* bytes = PakLoadEntry(snapshot, "show.toml", 100, &size, nullptr);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(size)), "old");
    PakFreeEntry(bytes);
    PakClose(snapshot);
    g_currentPak = nullptr;
    EXPECT_NE(ShowFilesNow(options), before);

    std::filesystem::remove(path);
    const std::vector<WatchedFile> gone = ShowFilesNow(options);
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].size, -1);
    EXPECT_EQ(PakOpenSnapshot(path, &error), nullptr);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    WriteFile(path, "not an archive");
    EXPECT_EQ(PakOpenSnapshot(path, &error), nullptr);
}

// A folder: every regular file counts, a new one and a rewritten one are
// changes, and --show's file is looked at too.
TEST(PlayerWatch, FolderFilesAndTheShowFile) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("content"));
    std::filesystem::create_directory(dir.File("content/sub"));
    WriteFile(dir.File("content/a.jpg"), "aa");
    WriteFile(dir.File("mine.toml"), "x");
    CommandLine options;
    options.contentDir = dir.File("content");
    options.showPath = dir.File("mine.toml");
    const std::vector<WatchedFile> first = ShowFilesNow(options);
    ASSERT_EQ(first.size(), 2u) << "the folder's file and the show file, not the sub-folder";
    EXPECT_EQ(ShowFilesNow(options), first);
    WriteFile(dir.File("content/b.jpg"), "b");
    const std::vector<WatchedFile> added = ShowFilesNow(options);
    EXPECT_EQ(added.size(), 3u);
    WriteFile(dir.File("mine.toml"), "xy");
    EXPECT_NE(ShowFilesNow(options), added);
}

} // namespace

// The player's capture mode end to end: the program run on a synthetic
// archive (and on the real show when it has been built), frames read back
// from the PNG files it writes.
#include "app/app.h"

#include "archive/pak_writer.h"
#include "tests/support/show_archive.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/wait.h> // WIFEXITED, WEXITSTATUS

#include <cstdint>
#include <cstdlib> // system
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A frame read back: RGB rows, top first.
struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};

bool ReadPng(const std::string& path, Frame* frame) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    frame->width = static_cast<int32_t>(image.width);
    frame->height = static_cast<int32_t>(image.height);
    frame->rgb.assign(PNG_IMAGE_SIZE(image), 0);
    if (png_image_finish_read(&image, nullptr, frame->rgb.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return false;
    }
    return true;
}

// Share of pixels that are not black.
double LitShare(const Frame& frame) {
    size_t lit = 0;
    for (size_t i = 0; i + 2 < frame.rgb.size(); i += 3) {
        lit += (frame.rgb[i] | frame.rgb[i + 1] | frame.rgb[i + 2]) > 8 ? 1 : 0;
    }
    return frame.rgb.empty() ? 0.0 : static_cast<double>(lit) / static_cast<double>(frame.rgb.size() / 3);
}

size_t CountFrames(const std::string& dir) {
    size_t count = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
        count += entry.path().extension() == ".png" ? 1 : 0;
    }
    return count;
}

std::string FrameFile(const std::string& dir, const int index) {
    char name[32] = {};
    std::snprintf(name, sizeof name, "/frame_%05d.png", index);
    return dir + name;
}

// Runs the player with `arguments`; returns its exit status (-1 when it did
// not exit normally). Its output goes to `log`.
int RunPlayer(const std::string& arguments, const std::string& log) {
    const std::string command = std::string(TESSARO_PLAYER) + " " + arguments + " > " + log + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        ShowArchiveOptions options;
        options.logoFrames = 20;
        options.corridoruFrames = 160; // finish at Ll + Lc + 100 = 280, acting in frame 281
        std::string error;
        ASSERT_TRUE(PakWriteArchive(dir.File("show.qdz"), BuildShowArchive(options), &error)) << error;
    }
    std::string Args(const std::string& out, const std::string& more = "") const {
        return "--capture " + dir.File(out) + " --mode 0 --pak " + dir.File("show.qdz") + " " + more;
    }
    TempDir dir;
};

// Every displayed frame up to the finish is written: frames 0..280 (the
// finish at 280 acts in the frame after the clock passed it); the frame in
// which the show finishes is not written, as a window would never show it.
TEST_F(CaptureTest, WholeShowIsWrittenUntilTheFinish) {
    const std::string out = dir.File("all");
    ASSERT_EQ(RunPlayer(Args("all"), dir.File("all.log")), 0) << ReadText(dir.File("all.log"));
    EXPECT_EQ(CountFrames(out), 281u) << ReadText(dir.File("all.log"));
    EXPECT_NE(ReadText(dir.File("all.log")).find("capture frames=281"), std::string::npos);
    int lit = 0;
    for (const int index : {0, 30, 80, 170, 280}) {
        Frame frame;
        ASSERT_TRUE(ReadPng(FrameFile(out, index), &frame)) << index;
        EXPECT_EQ(frame.width, 320);
        EXPECT_EQ(frame.height, 240);
        lit += LitShare(frame) > 0.05 ? 1 : 0;
    }
    EXPECT_GE(lit, 4) << "frames are mostly black";
}

// --start draws without writing up to the engine frame; the frames written
// then match the whole run's frames at the same times, pixel for pixel.
TEST_F(CaptureTest, StartAndFramesPickTheSameFramesAsAWholeRun) {
    ASSERT_EQ(RunPlayer(Args("all"), dir.File("all.log")), 0) << ReadText(dir.File("all.log"));
    ASSERT_EQ(RunPlayer(Args("part", "--start 100 --frames 3"), dir.File("part.log")), 0)
        << ReadText(dir.File("part.log"));
    ASSERT_EQ(CountFrames(dir.File("part")), 3u);
    for (int i = 0; i < 3; ++i) {
        Frame whole;
        Frame part;
        // The frame drawn with the clock reaching 100 is the 100th, index 99.
        ASSERT_TRUE(ReadPng(FrameFile(dir.File("all"), 99 + i), &whole));
        ASSERT_TRUE(ReadPng(FrameFile(dir.File("part"), i), &part));
        EXPECT_EQ(whole.rgb, part.rgb) << i;
    }
    Frame first;
    Frame later;
    ASSERT_TRUE(ReadPng(FrameFile(dir.File("all"), 10), &first));
    ASSERT_TRUE(ReadPng(FrameFile(dir.File("all"), 200), &later));
    EXPECT_NE(first.rgb, later.rgb);
}

TEST_F(CaptureTest, MissingArchiveEndsWithItsMessage) {
    const std::string args = "--capture " + dir.File("none") + " --pak " + dir.File("absent.qdz");
    EXPECT_EQ(RunPlayer(args, dir.File("none.log")), 255);
    EXPECT_NE(ReadText(dir.File("none.log")).find("Impossibile trovare il PAKFile"), std::string::npos)
        << ReadText(dir.File("none.log"));
}

TEST_F(CaptureTest, MissingSceneEndsWithTheLoadersMessage) {
    ShowArchiveOptions options;
    options.omit = {"corridoru.3ds"};
    std::string error;
    ASSERT_TRUE(PakWriteArchive(dir.File("broken.qdz"), BuildShowArchive(options), &error)) << error;
    const std::string args = "--capture " + dir.File("broken") + " --pak " + dir.File("broken.qdz");
    EXPECT_EQ(RunPlayer(args, dir.File("broken.log")), 255);
    EXPECT_NE(ReadText(dir.File("broken.log")).find("File corridoru.3ds.3ds non trovato"), std::string::npos)
        << ReadText(dir.File("broken.log"));
    EXPECT_EQ(CountFrames(dir.File("broken")), 0u);
}

TEST_F(CaptureTest, UnwritableFolderIsAnError) {
    ASSERT_TRUE(WriteFileBytes(dir.File("plain"), {'x'}));
    EXPECT_EQ(RunPlayer(Args("plain/sub"), dir.File("plain.log")), 255);
    EXPECT_NE(ReadText(dir.File("plain.log")).find("cannot make the folder"), std::string::npos)
        << ReadText(dir.File("plain.log"));
}

// The PNG writer turns GL's bottom-first rows into a top-first image.
TEST(FramePng, RoundTripFlipsRows) {
    TempDir dir;
    const std::vector<uint8_t> rgba = {10, 20, 30, 255, 40, 50, 60, 255,   // bottom row
                                       70, 80, 90, 255, 100, 110, 120, 0}; // top row
    std::string error;
    ASSERT_TRUE(WriteFramePng(dir.File("f.png"), rgba, 2, 2, &error)) << error;
    Frame frame;
    ASSERT_TRUE(ReadPng(dir.File("f.png"), &frame));
    EXPECT_EQ(frame.width, 2);
    EXPECT_EQ(frame.height, 2);
    EXPECT_EQ(frame.rgb, (std::vector<uint8_t>{70, 80, 90, 100, 110, 120, 10, 20, 30, 40, 50, 60}));
}

TEST(FramePng, BadInputIsRefused) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteFramePng(dir.File("a.png"), std::vector<uint8_t>(12), 2, 2, &error));
    EXPECT_FALSE(WriteFramePng(dir.File("b.png"), {}, 0, 0, &error));
    EXPECT_FALSE(WriteFramePng(dir.File("c.png"), std::vector<uint8_t>(16), -2, -2, &error));
    EXPECT_FALSE(WriteFramePng(dir.File("no/such/d.png"), std::vector<uint8_t>(16), 2, 2, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

// The real show, when the content builder has made it: frames at a few
// chosen times are drawn, not blank and not alike.
TEST(CaptureShow, RealShowFramesAtChosenTimes) {
    if (!std::filesystem::exists(TESSARO_CONTENT_ARCHIVE)) {
        GTEST_SKIP() << "no " << TESSARO_CONTENT_ARCHIVE << " (build the content_archive target)";
    }
    TempDir dir;
    std::vector<Frame> frames;
    for (const int start : {60, 300, 500}) {
        const std::string out = dir.File("at" + std::to_string(start));
        const std::string args = "--capture " + out + " --mode 0 --pak " + TESSARO_CONTENT_ARCHIVE + " --start " +
                                 std::to_string(start) + " --frames 2";
        ASSERT_EQ(RunPlayer(args, dir.File("log")), 0) << ReadText(dir.File("log"));
        ASSERT_EQ(CountFrames(out), 2u) << start;
        Frame frame;
        ASSERT_TRUE(ReadPng(FrameFile(out, 0), &frame)) << start;
        EXPECT_GT(LitShare(frame), 0.2) << "frame at " << start << " is mostly black";
        frames.push_back(frame);
    }
    EXPECT_NE(frames[0].rgb, frames[1].rgb);
    EXPECT_NE(frames[1].rgb, frames[2].rgb);
    EXPECT_NE(frames[0].rgb, frames[2].rgb);
}

} // namespace

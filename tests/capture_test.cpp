// The player's capture mode end to end: the program run on a synthetic
// archive (and on the real show when it has been built), frames read back
// from the PNG files it writes.
#include "app/app.h"

#include "archive/pak_writer.h"
#include "tests/support/show_archive.h"
#include "tests/support/test_song.h" // TestSongBytes
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h> // the offline render the capture's sound is held to
#include <png.h>

#include <sys/wait.h> // WIFEXITED, WEXITSTATUS

#include <algorithm>
#include <cstdint>
#include <cstring> // memcmp
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

// 16-bit samples per frame of 40 ms at 44100 Hz, stereo.
constexpr size_t kSamplesPerFrame = 1764 * 2;

// The samples of a 16-bit PCM WAVE file as the capture writes it (44-byte
// header); empty when the header is not that.
std::vector<int16_t> ReadWaveSamples(const std::string& path) {
    const std::vector<unsigned char> bytes = ReadFileBytes(path);
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 36, "data", 4) != 0) {
        ADD_FAILURE() << path << " is not a WAVE file";
        return {};
    }
    const uint32_t data = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | static_cast<uint32_t>(bytes[43]) << 24;
    EXPECT_EQ(data, bytes.size() - 44) << "data size in the header";
    std::vector<int16_t> samples((bytes.size() - 44) / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(bytes[44 + 2 * i] | bytes[45 + 2 * i] << 8);
    }
    return samples;
}

// libopenmpt's rendering of a module from its start, `frames` stereo frames.
std::vector<int16_t> RenderSong(const std::vector<uint8_t>& bytes, const size_t frames) {
    std::vector<int16_t> out(frames * 2, 0);
    openmpt_module* module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                                nullptr, nullptr, nullptr, nullptr, nullptr);
    if (module == nullptr) {
        ADD_FAILURE() << "libopenmpt cannot open the song";
        return out;
    }
    openmpt_module_set_repeat_count(module, 0);
    openmpt_module_ctl_set_integer(module, "dither", 0);
    size_t done = 0;
    size_t got = 0;
    while (done < frames && (got = openmpt_module_read_interleaved_stereo(module, 44100, frames - done,
                                                                           out.data() + done * 2)) > 0) {
        done += got;
    }
    openmpt_module_destroy(module);
    return out;
}

// Samples of `a` that differ by more than one step from `b` from `offset` on
// (libopenmpt rounds a little differently where its reads are split).
size_t Differing(const std::vector<int16_t>& a, const std::vector<int16_t>& b, const size_t offset) {
    size_t off = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        off += (offset + i >= b.size() || std::abs(a[i] - b[offset + i]) > 1) ? 1 : 0;
    }
    return off;
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
        options.songBars = 8;          // 16 s of song, longer than the show's 11.2 s
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
    EXPECT_EQ(ReadText(dir.File("all.log")).find('\r'), std::string::npos) << "no progress line off a terminal";
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
// then carry the same numbers as the whole run's frames at the same times
// and match them pixel for pixel, and so does their sound.
TEST_F(CaptureTest, StartAndFramesPickTheSameFramesAsAWholeRun) {
    ASSERT_EQ(RunPlayer(Args("all"), dir.File("all.log")), 0) << ReadText(dir.File("all.log"));
    ASSERT_EQ(RunPlayer(Args("part", "--start 100 --frames 3"), dir.File("part.log")), 0)
        << ReadText(dir.File("part.log"));
    ASSERT_EQ(CountFrames(dir.File("part")), 3u);
    for (int i = 0; i < 3; ++i) {
        Frame whole;
        Frame part;
        // Files are numbered by engine frame in both runs.
        ASSERT_TRUE(ReadPng(FrameFile(dir.File("all"), 100 + i), &whole));
        ASSERT_TRUE(ReadPng(FrameFile(dir.File("part"), 100 + i), &part));
        EXPECT_EQ(whole.rgb, part.rgb) << i;
    }
    const std::vector<int16_t> whole = ReadWaveSamples(dir.File("all/audio.wav"));
    const std::vector<int16_t> part = ReadWaveSamples(dir.File("part/audio.wav"));
    ASSERT_EQ(part.size(), 3u * kSamplesPerFrame);
    ASSERT_GE(whole.size(), 103u * kSamplesPerFrame);
    EXPECT_EQ(Differing(part, whole, 100 * kSamplesPerFrame), 0u);
    Frame first;
    Frame later;
    ASSERT_TRUE(ReadPng(FrameFile(dir.File("all"), 10), &first));
    ASSERT_TRUE(ReadPng(FrameFile(dir.File("all"), 200), &later));
    EXPECT_NE(first.rgb, later.rgb);
}

// audio.wav: a frame's worth of sound per written frame; the song starts when
// its play event fires (in frame 1) and plays what libopenmpt renders of it
// until the volume fade (B - 99 = 221) begins; then it falls to silence.
TEST_F(CaptureTest, AudioFollowsTheFramesAndMatchesAnOfflineRender) {
    ASSERT_EQ(RunPlayer(Args("all"), dir.File("all.log")), 0) << ReadText(dir.File("all.log"));
    const std::vector<int16_t> audio = ReadWaveSamples(dir.File("all/audio.wav"));
    ASSERT_EQ(audio.size(), 281u * kSamplesPerFrame);
    const std::vector<int16_t> reference = RenderSong(TestSongBytes(8), 220 * kSamplesPerFrame / 2);
    const std::vector<int16_t> played(audio.begin() + kSamplesPerFrame, audio.begin() + 221 * kSamplesPerFrame);
    EXPECT_EQ(Differing(played, reference, 0), 0u);
    const auto loud = [](const int16_t v) { return std::abs(v) > 100; };
    EXPECT_TRUE(std::any_of(audio.begin(), audio.begin() + 25 * kSamplesPerFrame, loud)) << "first second silent";
    EXPECT_FALSE(std::any_of(audio.begin() + 272 * kSamplesPerFrame, audio.end(), loud)) << "faded out at 270";
}

// On a terminal (here a pseudo-terminal made by script(1)) one progress line
// overwrites itself: frame number, of how many, speed, time left.
TEST_F(CaptureTest, ProgressLineOverwritesItselfOnATerminal) {
    const std::string command = "script -qec '" + std::string(TESSARO_PLAYER) + " " +
                                Args("tty", "--start 270") + "' /dev/null > " + dir.File("tty.log") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(dir.File("tty.log"));
    const std::string log = ReadText(dir.File("tty.log"));
    for (const char* part : {"\rframe 270 of 280, ", "\rframe 280 of 280, ", " fps, ", " s left"}) {
        EXPECT_NE(log.find(part), std::string::npos) << part << " in " << log;
    }
    EXPECT_EQ(CountFrames(dir.File("tty")), 11u);
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
        ASSERT_TRUE(ReadPng(FrameFile(out, start), &frame)) << start;
        EXPECT_GT(LitShare(frame), 0.2) << "frame at " << start << " is mostly black";
        frames.push_back(frame);
    }
    EXPECT_NE(frames[0].rgb, frames[1].rgb);
    EXPECT_NE(frames[1].rgb, frames[2].rgb);
    EXPECT_NE(frames[0].rgb, frames[2].rgb);
}

} // namespace

// Bounded work on hostile image files: the worst small JPEG and TGA inputs we
// can build, fed to the decoders and to the texture manager. Memory is
// counted, never timed: libjpeg's working memory through its own allocation
// entry points (defined here, so the library's calls land in the counter),
// pixel memory through the images that come back.
#include "texture/texture.h"

#include "memory/memory_pool.h"
#include "tests/support/debug_capture.h"
#include "tools/formats/image_writer.h"
#include "tests/support/texture_archive.h"

#include <gtest/gtest.h>

#include <algorithm> // max
#include <cstdio>    // jpeglib.h needs FILE
#include <cstdlib>   // malloc, free
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

// libjpeg's working memory, counted by the allocation entry points below.
struct JpegMemoryCounter {
    int64_t live = 0;
    int64_t peak = 0;
    int64_t calls = 0;
} s_jpegMemory;

void CountAlloc(size_t bytes) {
    s_jpegMemory.live += static_cast<int64_t>(bytes);
    s_jpegMemory.peak = std::max(s_jpegMemory.peak, s_jpegMemory.live);
    ++s_jpegMemory.calls;
}

void ResetJpegMemory() {
    s_jpegMemory = JpegMemoryCounter{};
}

} // namespace

// The library's memory manager gets and returns every block through these
// four functions; defining them in the program takes the library's calls.
extern "C" {
void* jpeg_get_small(j_common_ptr, size_t bytes) {
    CountAlloc(bytes);
    return std::malloc(bytes);
}
void jpeg_free_small(j_common_ptr, void* block, size_t bytes) {
    s_jpegMemory.live -= static_cast<int64_t>(bytes);
    std::free(block);
}
void* jpeg_get_large(j_common_ptr, size_t bytes) {
    CountAlloc(bytes);
    return std::malloc(bytes);
}
void jpeg_free_large(j_common_ptr, void* block, size_t bytes) {
    s_jpegMemory.live -= static_cast<int64_t>(bytes);
    std::free(block);
}
}

namespace {

std::vector<uint8_t> Gradient(int32_t width, int32_t height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return rgb;
}

// A small progressive JPEG whose frame claims width x height, followed by
// `extraScans` copies of its first scan header with no data behind them: every
// copy makes libjpeg walk the whole claimed frame once more.
std::vector<uint8_t> ScanFlood(uint16_t width, uint16_t height, int32_t extraScans) {
    const std::vector<uint8_t> rgb = Gradient(8, 8);
    std::vector<uint8_t> jpeg = EncodeJpeg(rgb.data(), 8, 8, 3, {75, true, false});
    if (jpeg.size() < 4 || !PatchJpegSize(&jpeg, width, height)) {
        return {};
    }
    size_t sos = 2;
    while (sos + 3 < jpeg.size() && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) {
        ++sos;
    }
    if (sos + 3 >= jpeg.size()) {
        return {};
    }
    const size_t headerBytes = 2 + ((static_cast<size_t>(jpeg[sos + 2]) << 8) | jpeg[sos + 3]);
    const std::vector<uint8_t> header(jpeg.begin() + static_cast<long>(sos),
                                      jpeg.begin() + static_cast<long>(sos + headerBytes));
    std::vector<uint8_t> flood(jpeg.begin(), jpeg.end() - 2); // without the end-of-image marker
    for (int32_t i = 0; i < extraScans; ++i) {
        flood.insert(flood.end(), header.begin(), header.end());
    }
    flood.push_back(0xFF);
    flood.push_back(0xD9);
    return flood;
}

// Number of scans in a JPEG (start-of-scan markers; entropy data escapes 0xFF).
int32_t CountScans(const std::vector<uint8_t>& jpeg) {
    int32_t scans = 0;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
        scans += jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA ? 1 : 0;
    }
    return scans;
}

// A baseline 8 x 8 JPEG whose header claims width x height.
std::vector<uint8_t> LyingBaseline(uint16_t width, uint16_t height) {
    const std::vector<uint8_t> rgb = Gradient(8, 8);
    std::vector<uint8_t> jpeg = EncodeJpeg(rgb.data(), 8, 8, 3, {50, false, true});
    PatchJpegSize(&jpeg, width, height);
    return jpeg;
}

struct DecodeResult {
    bool image = false;
    int64_t pixelBytes = 0;
    ImageLoadStatus status = ImageLoadStatus::kFailed;
};

DecodeResult DecodeCounted(const std::vector<uint8_t>& jpeg, ImageSizeCheck accept) {
    DecodeResult result;
    ResetJpegMemory();
    ::testing::internal::CaptureStderr();
    ImageBuffer* image =
        DecodeJpegFromMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size()), accept, &result.status);
    ::testing::internal::GetCapturedStderr();
    if (image != nullptr) {
        ImageLockInfo info = {};
        image->Lock(&info, kImageLockRead);
        result.image = true;
        result.pixelBytes = static_cast<int64_t>(info.width) * info.height * 4;
        image->Destroy();
    }
    return result;
}

// libjpeg's own bookkeeping rides on top of the cap: pool headers and the
// tables it takes before it looks at the limit.
constexpr int64_t kJpegCapSlack = 1 << 20;

TEST(JpegBounds, HostileFilesStayWithinTheCapsAndTheLimits) {
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        bool decodes; // without a size rule
    };
    const Case cases[] = {
        {"scan flood, huge frame", ScanFlood(8192, 8192, 4000), false},
        {"scan flood, texture-sized frame", ScanFlood(256, 256, 4000), false},
        {"scan flood, frame under the memory cap", ScanFlood(1024, 1024, 4000), false},
        {"scan flood, frame over the memory cap", ScanFlood(2048, 2048, 4000), false},
        {"scans up to the limit", ScanFlood(64, 64, kJpegMaxScans - 10), true},
        {"one scan past the limit", ScanFlood(64, 64, kJpegMaxScans - 9), false},
        {"200-byte baseline claiming 8192 x 8192", LyingBaseline(8192, 8192), false},
        {"progressive claiming 8192 x 8192", ScanFlood(8192, 8192, 0), false},
        {"baseline claiming 512 x 512", LyingBaseline(512, 512), false},
    };
    // The scan limit is exact: the flood adds its copies to the encoder's own scans.
    ASSERT_EQ(CountScans(cases[4].file), kJpegMaxScans);
    ASSERT_EQ(CountScans(cases[5].file), kJpegMaxScans + 1);
    for (const Case& c : cases) {
        ASSERT_FALSE(c.file.empty()) << c.what;
        const DecodeResult result = DecodeCounted(c.file, nullptr);
        EXPECT_EQ(result.image, c.decodes) << c.what;
        EXPECT_LE(s_jpegMemory.peak, kJpegMaxMemory + kJpegCapSlack) << c.what;
        EXPECT_GT(s_jpegMemory.calls, 0) << c.what << ": the counter sees libjpeg's memory";
        EXPECT_EQ(s_jpegMemory.live, 0) << c.what << ": libjpeg memory left behind";
        // Pixels never outgrow what the file could code.
        EXPECT_LE(result.pixelBytes, 2048 * static_cast<int64_t>(c.file.size())) << c.what;
    }
}

TEST(JpegBounds, TheSizeRuleRefusesFromTheHeaderBeforeAnyDecoding) {
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        ImageLoadStatus status;
    };
    const Case cases[] = {
        {"scan flood, huge frame", ScanFlood(8192, 8192, 4000), ImageLoadStatus::kSizeRefused},
        {"200-byte lie", LyingBaseline(8192, 8192), ImageLoadStatus::kSizeRefused},
        {"512 x 512 lie", LyingBaseline(512, 512), ImageLoadStatus::kSizeRefused},
        {"100 x 100 lie", LyingBaseline(100, 100), ImageLoadStatus::kSizeRefused},
        {"scan flood, texture-sized frame", ScanFlood(256, 256, 4000), ImageLoadStatus::kFailed},
        {"honest 8 x 8", LyingBaseline(8, 8), ImageLoadStatus::kLoaded},
    };
    for (const Case& c : cases) {
        const DecodeResult result = DecodeCounted(c.file, IsTextureSizeValid);
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.image, c.status == ImageLoadStatus::kLoaded) << c.what;
        EXPECT_LE(result.pixelBytes, 256 * 256 * 4) << c.what;
        if (c.status == ImageLoadStatus::kSizeRefused) {
            // Only the header was read: the working memory of a header parse,
            // far below any coefficient buffer or row buffer of the frame.
            EXPECT_LT(s_jpegMemory.peak, 64 * 1024) << c.what;
        }
        EXPECT_EQ(s_jpegMemory.live, 0) << c.what;
    }
}

class TextureBoundsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { PoolInit(20000000); }
    void TearDown() override { FreeTextures(); }
};

// The texture manager's path needs no GL context for any of these: every one
// is refused before the upload.
TEST_F(TextureBoundsTest, RefusedImagesLeaveNoTraceAndNoMemory) {
    std::vector<uint8_t> tgaHeaderOnly = EncodeTga(nullptr, 0, 0, 32);
    tgaHeaderOnly[12] = 0x00;
    tgaHeaderOnly[13] = 0x20; // 8192 wide
    tgaHeaderOnly[14] = 0x00;
    tgaHeaderOnly[15] = 0x20; // 8192 high
    std::vector<uint8_t> tgaShort = tgaHeaderOnly;
    tgaShort[13] = 0x01; // 256 x 256 claimed, no pixels there
    tgaShort[15] = 0x01;
    TextureArchive archive({{"flood.jpg", 0, ScanFlood(8192, 8192, 4000)},
                            {"flood256.jpg", 0, ScanFlood(256, 256, 4000)},
                            {"lie.jpg", 0, LyingBaseline(8192, 8192)},
                            {"huge.tga", 0, tgaHeaderOnly},
                            {"short.tga", 0, tgaShort}});
    ASSERT_TRUE(archive.ok());
    struct Case {
        const char* name;
        const char* message;
    };
    const Case cases[] = {
        {"flood.jpg", "Texture : Size check failed!\n"},
        {"flood256.jpg", "Texture : Jpeg Decompression failed!!\n"},
        {"lie.jpg", "Texture : Size check failed!\n"},
        {"huge.tga", "Texture : Size check failed!\n"},
        {"short.tga", "Texture : TGA Loading failed!!\n"},
    };
    const PoolView before = PoolInspect();
    for (const Case& c : cases) {
        DebugCapture capture;
        ResetJpegMemory();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(LoadTexture(c.name, false), 0u) << c.name;
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(capture.messages, std::vector<std::string>{c.message}) << c.name;
        EXPECT_EQ(g_textureTable.jpegCount, 0) << c.name;
        EXPECT_EQ(g_textureTable.tgaCount, 0) << c.name;
        EXPECT_LE(s_jpegMemory.peak, kJpegMaxMemory + kJpegCapSlack) << c.name;
        EXPECT_EQ(s_jpegMemory.live, 0) << c.name;
        // The pool copy of the file went back.
        EXPECT_EQ(PoolInspect().freeSizes, before.freeSizes) << c.name;
    }
}

} // namespace

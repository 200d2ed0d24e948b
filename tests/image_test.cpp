// ImageBuffer and the JPEG decoder.
#include "texture/image.h"
#include "texture/jpeg_source.h"

#include "platform/platform.h" // PlatformGlobalAlloc: soiling the heap
#include "tools/formats/image_writer.h"

#include <gtest/gtest.h>

#include <cstdlib> // abs
#include <cstring> // memcpy
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ImageDeleter {
    void operator()(ImageBuffer* image) const {
        if (image != nullptr) {
            image->Destroy();
        }
    }
};
using ImagePtr = std::unique_ptr<ImageBuffer, ImageDeleter>;

uint8_t Channel(uint32_t word, int byte) {
    uint8_t bytes[4] = {};
    std::memcpy(bytes, &word, sizeof bytes);
    return bytes[byte];
}

bool Near(int a, int b, int tolerance) { return std::abs(a - b) <= tolerance; }

// Decodes a copy held in a block of exactly its size, so that any read past
// the end hits the sanitizer's red zone.
ImagePtr Decode(const std::vector<uint8_t>& bytes) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() == 0 ? 1 : bytes.size()]);
    if (!bytes.empty()) {
        std::memcpy(exact.get(), bytes.data(), bytes.size());
    }
    return ImagePtr(DecodeJpegFromMemory(exact.get(), static_cast<uint32_t>(bytes.size())));
}

// A colourful test picture: every pixel different, smooth enough to survive
// compression well.
std::vector<uint8_t> Gradient(int32_t width, int32_t height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
            p[2] = static_cast<uint8_t>(128);
        }
    }
    return rgb;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

// ---- ImageBuffer ----

TEST(ImageBuffer, NewImageIsEmpty) {
    ImagePtr image(CreateImageBuffer());
    ASSERT_NE(image, nullptr);
    ImageLockInfo info = {7, 7, &info, 7};
    image->Lock(&info, kImageLockRead | kImageLockWrite);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.pixels, nullptr);
    EXPECT_EQ(info.reserved, 0);
    EXPECT_EQ(image->GetChangeCount(), 1); // the write lock counted
}

TEST(ImageBuffer, LockFlagsDecideAddressAndCounter) {
    ImagePtr image(CreateImageBuffer());
    ASSERT_TRUE(image->SetSize(3, 2));
    struct Case {
        int32_t flags;
        bool address;
        int32_t countAfter;
    };
    const Case cases[] = {{0, false, 0}, {kImageLockRead, true, 0}, {kImageLockWrite, true, 1},
                          {kImageLockRead | kImageLockWrite, true, 2}, {4, false, 2}};
    for (const Case& c : cases) {
        ImageLockInfo info = {0, 0, nullptr, 99};
        image->Lock(&info, c.flags);
        image->Unlock();
        EXPECT_EQ(info.width, 3) << c.flags;
        EXPECT_EQ(info.height, 2) << c.flags;
        EXPECT_EQ(info.pixels != nullptr, c.address) << c.flags;
        EXPECT_EQ(info.reserved, 0) << c.flags;
        EXPECT_EQ(image->GetChangeCount(), c.countAfter) << c.flags;
    }
}

TEST(ImageBuffer, SetPixelRoundTripsRowMajorAndCounts) {
    ImagePtr image(CreateImageBuffer());
    ASSERT_TRUE(image->SetSize(4, 3));
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            image->SetPixel(x, y, 0x01000000u * static_cast<uint32_t>(y) + static_cast<uint32_t>(x));
        }
    }
    EXPECT_EQ(image->GetChangeCount(), 12);
    ImageLockInfo info = {};
    image->Lock(&info, kImageLockRead);
    const uint32_t* words = static_cast<const uint32_t*>(info.pixels);
    EXPECT_EQ(words[2 + 1 * 4], 0x01000002u); // index x + y * width
    EXPECT_EQ(image->GetPixel(3, 2), 0x02000003u);
}

TEST(ImageBuffer, OutsideCoordinatesAreIgnored) {
    ImagePtr image(CreateImageBuffer());
    image->SetPixel(0, 0, 5); // no storage yet
    ASSERT_TRUE(image->SetSize(2, 2));
    const int32_t outside[][2] = {{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {100000, 100000}};
    for (const auto& p : outside) {
        image->SetPixel(p[0], p[1], 0xFFFFFFFFu);
        EXPECT_EQ(image->GetPixel(p[0], p[1]), 0u);
    }
    EXPECT_EQ(image->GetChangeCount(), 0);
}

TEST(ImageBuffer, SameSizeKeepsStorageAndContents) {
    ImagePtr image(CreateImageBuffer());
    ASSERT_TRUE(image->SetSize(2, 2));
    image->SetPixel(1, 1, 0xCAFEF00Du);
    ImageLockInfo before = {};
    image->Lock(&before, kImageLockRead);
    ASSERT_TRUE(image->SetSize(2, 2));
    ImageLockInfo after = {};
    image->Lock(&after, kImageLockRead);
    EXPECT_EQ(before.pixels, after.pixels);
    EXPECT_EQ(image->GetPixel(1, 1), 0xCAFEF00Du);

    ASSERT_TRUE(image->SetSize(4, 1));
    image->Lock(&after, kImageLockRead);
    EXPECT_EQ(after.width, 4);
    EXPECT_EQ(after.height, 1);
    EXPECT_NE(after.pixels, nullptr);
}

TEST(ImageBuffer, FreePixelsKeepsSize) {
    ImagePtr image(CreateImageBuffer());
    ASSERT_TRUE(image->SetSize(8, 4));
    image->FreePixels();
    image->FreePixels(); // twice is harmless
    ImageLockInfo info = {};
    image->Lock(&info, kImageLockRead);
    EXPECT_EQ(info.width, 8);
    EXPECT_EQ(info.height, 4);
    EXPECT_EQ(info.pixels, nullptr);
    EXPECT_EQ(image->GetPixel(0, 0), 0u);
}

TEST(ImageBuffer, RefusesImpossibleSizes) {
    const int32_t sizes[][2] = {{-1, 4}, {4, -1}, {kImageMaxSide + 1, 1}, {1, kImageMaxSide + 1}, {65535, 65535}};
    for (const auto& s : sizes) {
        ImagePtr image(CreateImageBuffer());
        ASSERT_TRUE(image->SetSize(2, 2));
        EXPECT_FALSE(image->SetSize(s[0], s[1])) << s[0] << " x " << s[1];
        ImageLockInfo info = {};
        image->Lock(&info, kImageLockRead);
        EXPECT_EQ(info.width, 0);
        EXPECT_EQ(info.height, 0);
        EXPECT_EQ(info.pixels, nullptr);
    }
}

// ---- JPEG decoding ----

TEST(JpegDecode, TwoByOneColourImageGivesTwoOpaqueWords) {
    const uint8_t rgb[] = {250, 10, 10, 10, 10, 250};
    const std::vector<uint8_t> jpeg = EncodeJpeg(rgb, 2, 1, 3, {100, false, false});
    ASSERT_FALSE(jpeg.empty());
    ImagePtr image = Decode(jpeg);
    ASSERT_NE(image, nullptr);
    ImageLockInfo info = {};
    image->Lock(&info, kImageLockRead);
    ASSERT_EQ(info.width, 2);
    ASSERT_EQ(info.height, 1);
    for (int32_t x = 0; x < 2; ++x) {
        EXPECT_EQ(Channel(image->GetPixel(x, 0), 3), 255) << x;
    }
    // Without chroma subsampling the two colours survive nearly unchanged.
    for (int c = 0; c < 3; ++c) {
        EXPECT_TRUE(Near(Channel(image->GetPixel(0, 0), c), rgb[c], 8)) << c;
        EXPECT_TRUE(Near(Channel(image->GetPixel(1, 0), c), rgb[3 + c], 8)) << c;
    }
}

// Green grows with the row, so this also shows that rows are stored top row first.
TEST(JpegDecode, DecodedPixelsMatchTheSourceClosely) {
    const std::vector<uint8_t> rgb = Gradient(64, 32);
    ImagePtr image = Decode(EncodeJpeg(rgb.data(), 64, 32, 3, {100, false}));
    ASSERT_NE(image, nullptr);
    for (int32_t y = 0; y < 32; y += 5) {
        for (int32_t x = 0; x < 64; x += 7) {
            const uint32_t word = image->GetPixel(x, y);
            const uint8_t* want = &rgb[(static_cast<size_t>(y) * 64 + x) * 3];
            for (int c = 0; c < 3; ++c) {
                EXPECT_TRUE(Near(Channel(word, c), want[c], 12)) << x << "," << y << " channel " << c;
            }
            EXPECT_EQ(Channel(word, 3), 255);
        }
    }
}

TEST(JpegDecode, ProgressiveDecodesLikeBaseline) {
    const std::vector<uint8_t> rgb = Gradient(40, 24);
    ImagePtr baseline = Decode(EncodeJpeg(rgb.data(), 40, 24, 3, {90, false}));
    ImagePtr progressive = Decode(EncodeJpeg(rgb.data(), 40, 24, 3, {90, true}));
    ASSERT_NE(baseline, nullptr);
    ASSERT_NE(progressive, nullptr);
    for (int32_t y = 0; y < 24; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            const uint32_t a = baseline->GetPixel(x, y);
            const uint32_t b = progressive->GetPixel(x, y);
            for (int c = 0; c < 4; ++c) {
                ASSERT_TRUE(Near(Channel(a, c), Channel(b, c), 2)) << x << "," << y;
            }
        }
    }
}

TEST(JpegDecode, GreyscaleIsRefusedSilently) {
    std::vector<uint8_t> grey(8 * 8, 100);
    const std::vector<uint8_t> jpeg = EncodeJpeg(grey.data(), 8, 8, 1);
    ASSERT_FALSE(jpeg.empty());
    ::testing::internal::CaptureStderr();
    ImagePtr image = Decode(jpeg);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(printed, "");
}

TEST(JpegDecode, NotAJpegGivesNullAfterTheLibraryMessage) {
    const std::vector<std::vector<uint8_t>> inputs = {
        {}, {0x00}, {'P', 'N', 'G', '!', 1, 2, 3, 4}, {0xFF, 0xD8}, {0xFF, 0xD8, 0xFF, 0xD9}};
    for (const std::vector<uint8_t>& bytes : inputs) {
        ::testing::internal::CaptureStderr();
        ImagePtr image = Decode(bytes);
        const std::string printed = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(image, nullptr) << bytes.size();
        EXPECT_FALSE(printed.empty()) << bytes.size();
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(DecodeJpegFromMemory(nullptr, 100), nullptr);
    ::testing::internal::GetCapturedStderr();
}

TEST(JpegDecode, TruncatedFilesEndWithoutReadingPastTheData) {
    const std::vector<uint8_t> rgb = Gradient(48, 40);
    for (bool progressive : {false, true}) {
        const std::vector<uint8_t> whole = EncodeJpeg(rgb.data(), 48, 40, 3, {85, progressive});
        ASSERT_GT(whole.size(), 400u);
        const size_t cuts[] = {1, 2, 3, 20, 100, 200, whole.size() / 2, whole.size() - 300, whole.size() - 2,
                               whole.size() - 1};
        for (size_t cut : cuts) {
            const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(cut));
            ::testing::internal::CaptureStderr();
            ImagePtr image = Decode(part);
            ::testing::internal::GetCapturedStderr();
            if (image != nullptr) {
                // A truncated image that decodes keeps its declared size.
                ImageLockInfo info = {};
                image->Lock(&info, kImageLockRead);
                EXPECT_EQ(info.width, 48) << cut;
                EXPECT_EQ(info.height, 40) << cut;
                EXPECT_NE(info.pixels, nullptr) << cut;
            }
        }
        // Losing only the end-of-image marker still gives the whole picture.
        ::testing::internal::CaptureStderr();
        ImagePtr nearlyWhole = Decode(std::vector<uint8_t>(whole.begin(), whole.end() - 2));
        ::testing::internal::GetCapturedStderr();
        ASSERT_NE(nearlyWhole, nullptr) << progressive;
        ImagePtr reference = Decode(whole);
        ASSERT_NE(reference, nullptr);
        EXPECT_EQ(nearlyWhole->GetPixel(47, 39), reference->GetPixel(47, 39));
    }
}

TEST(JpegDecode, HugeSkipStopsAtTheEndOfTheData) {
    const std::vector<uint8_t> rgb = Gradient(8, 8);
    const std::vector<uint8_t> whole = EncodeJpeg(rgb.data(), 8, 8, 3);
    ASSERT_GT(whole.size(), 4u);
    // An application segment right after the start marker claiming 65533
    // bytes: the library skips it through skip_input_data.
    std::vector<uint8_t> bytes = {0xFF, 0xD8, 0xFF, 0xE5, 0xFF, 0xFF, 'x', 'y', 'z'};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Decode(bytes), nullptr);
    ::testing::internal::GetCapturedStderr();
    // The same segment inside a complete file swallows the picture.
    bytes.insert(bytes.end(), whole.begin() + 2, whole.end());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Decode(bytes), nullptr);
    ::testing::internal::GetCapturedStderr();
}

TEST(JpegDecode, SkipOfMoreThanRemainsIsClampedDirectly) {
    jpeg_decompress_struct cinfo = {};
    jpeg_error_mgr err = {};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    const unsigned char data[6] = {1, 2, 3, 4, 5, 6};
    SetJpegMemorySource(&cinfo, data, sizeof data);
    jpeg_source_mgr* first = cinfo.src;
    (*cinfo.src->skip_input_data)(&cinfo, 2);
    EXPECT_EQ(cinfo.src->next_input_byte, data + 2);
    EXPECT_EQ(cinfo.src->bytes_in_buffer, 4u);
    (*cinfo.src->skip_input_data)(&cinfo, -5);
    EXPECT_EQ(cinfo.src->bytes_in_buffer, 4u);
    (*cinfo.src->skip_input_data)(&cinfo, 1000000);
    EXPECT_EQ(cinfo.src->next_input_byte, data + sizeof data);
    EXPECT_EQ(cinfo.src->bytes_in_buffer, 0u);
    // Out of data: the source hands over an end-of-image marker and never suspends.
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE((*cinfo.src->fill_input_buffer)(&cinfo));
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(cinfo.src->bytes_in_buffer, 2u);
    EXPECT_EQ(cinfo.src->next_input_byte[0], 0xFF);
    EXPECT_EQ(cinfo.src->next_input_byte[1], JPEG_EOI);
    // A second installation reuses the manager.
    SetJpegMemorySource(&cinfo, data, 3);
    EXPECT_EQ(cinfo.src, first);
    EXPECT_EQ(cinfo.src->bytes_in_buffer, 3u);
    jpeg_destroy_decompress(&cinfo);
}

TEST(JpegDecode, LyingSizesAreRefusedBeforeAllocation) {
    const std::vector<uint8_t> rgb = Gradient(8, 8);
    struct Case {
        uint16_t width;
        uint16_t height;
    };
    const Case cases[] = {{65500, 65500}, {8193, 8}, {8, 8193}, {65500, 1}};
    for (bool progressive : {false, true}) {
        for (const Case& c : cases) {
            std::vector<uint8_t> jpeg = EncodeJpeg(rgb.data(), 8, 8, 3, {75, progressive});
            ASSERT_TRUE(PatchJpegSize(&jpeg, c.width, c.height));
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(Decode(jpeg), nullptr) << c.width << " x " << c.height;
            ::testing::internal::GetCapturedStderr();
        }
    }
}

TEST(JpegDecode, CorpusPhotographsDecode) {
    struct Case {
        const char* file;
        int32_t width;
        int32_t height;
    };
    const Case cases[] = {{"CWALL02.jpg", 800, 446}, {"IMAGE1.jpg", 400, 300}, {"IMAGE2.jpg", 800, 608}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = ReadFile(std::string(TESSARO_CORPUS_DIR) + "/3ds/" + c.file);
        ASSERT_FALSE(bytes.empty()) << c.file;
        ImagePtr image = Decode(bytes);
        ASSERT_NE(image, nullptr) << c.file;
        ImageLockInfo info = {};
        image->Lock(&info, kImageLockRead);
        EXPECT_EQ(info.width, c.width) << c.file;
        EXPECT_EQ(info.height, c.height) << c.file;
        EXPECT_EQ(Channel(image->GetPixel(c.width - 1, c.height - 1), 3), 255) << c.file;
    }
}

namespace {

// The simplest use of libjpeg: default RGB output, one row a call, into a
// vector; alpha added as 255. What the decoder must give byte for byte.
std::vector<uint8_t> ReferenceRgba(const std::vector<uint8_t>& bytes, int32_t* width, int32_t* height) {
    jpeg_decompress_struct cinfo = {};
    JpegErrorManager err = {};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    if (setjmp(err.recovery) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    SetJpegMemorySource(&cinfo, bytes.data(), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    *width = static_cast<int32_t>(cinfo.output_width);
    *height = static_cast<int32_t>(cinfo.output_height);
    std::vector<uint8_t> row(static_cast<size_t>(*width) * 3);
    std::vector<uint8_t> rgba;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (int32_t x = 0; x < *width; ++x) {
            rgba.insert(rgba.end(), {row[x * 3], row[x * 3 + 1], row[x * 3 + 2], 255});
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return rgba;
}

} // namespace

// The decoder writes straight into storage that is not cleared first: every
// byte, alpha included, must come from the decode. The heap is soiled with
// a block of the picture's size first, so that a byte left unwritten shows.
TEST(JpegDecode, EveryByteMatchesTheSimpleReferenceOnSoiledStorage) {
    std::vector<std::vector<uint8_t>> files;
    for (const char* name : {"CWALL02.jpg", "IMAGE1.jpg"}) {
        files.push_back(ReadFile(std::string(TESSARO_CORPUS_DIR) + "/3ds/" + name));
    }
    // Small pictures like the show's own, odd sizes, both samplings, and a
    // progressive one.
    const std::vector<uint8_t> small = Gradient(37, 21);
    files.push_back(EncodeJpeg(small.data(), 37, 21, 3, {85, false, true}));
    files.push_back(EncodeJpeg(small.data(), 37, 21, 3, {85, false, false}));
    files.push_back(EncodeJpeg(small.data(), 37, 21, 3, {85, true, true}));
    for (size_t f = 0; f < files.size(); ++f) {
        ASSERT_FALSE(files[f].empty()) << f;
        int32_t width = 0;
        int32_t height = 0;
        const std::vector<uint8_t> want = ReferenceRgba(files[f], &width, &height);
        ASSERT_EQ(want.size(), static_cast<size_t>(width) * height * 4) << f;
        void* soil = PlatformGlobalAlloc(want.size());
        ASSERT_NE(soil, nullptr);
        std::memset(soil, 0x5A, want.size());
        PlatformGlobalFree(soil);
        ImagePtr image = Decode(files[f]);
        ASSERT_NE(image, nullptr) << f;
        ImageLockInfo info = {};
        image->Lock(&info, kImageLockRead);
        ASSERT_EQ(info.width, width) << f;
        ASSERT_EQ(info.height, height) << f;
        EXPECT_EQ(std::memcmp(info.pixels, want.data(), want.size()), 0) << f;
    }
}

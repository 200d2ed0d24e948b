// TGA loading from the current archive.
#include "texture/image.h"
#include "texture/tga_pixels.h"

#include "tools/formats/image_writer.h"
#include "tests/support/texture_archive.h"

#include <gtest/gtest.h>
#include <png.h>

#include <random>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TgaDeleter {
    void operator()(TgaImage* image) const { FreeTgaImage(image); }
};
using TgaPtr = std::unique_ptr<TgaImage, TgaDeleter>;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Loads `bytes` as entry "image.tga" of a fresh archive.
TgaPtr LoadBytes(const std::vector<uint8_t>& bytes) {
    TextureArchive archive({{"image.tga", 0x5A, bytes}});
    EXPECT_TRUE(archive.ok());
    return TgaPtr(LoadTgaImage("image.tga"));
}

std::vector<uint8_t> Pattern(int32_t width, int32_t height, int32_t stride) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * stride);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return pixels;
}

// A PNG read with libpng's simplified interface, top row first.
bool ReadPng(const std::string& path, png_uint_32 format, std::vector<uint8_t>* pixels, int32_t* width,
             int32_t* height) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return false;
    }
    image.format = format;
    pixels->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    *width = static_cast<int32_t>(image.width);
    *height = static_cast<int32_t>(image.height);
    return true;
}

} // namespace

TEST(TgaLoad, ThirtyTwoBitPixelsAreSwappedToRgba) {
    // Stored B G R A = 10 20 30 40 must come out as R G B A = 30 20 10 40.
    std::vector<uint8_t> file = EncodeTga(nullptr, 2, 1, 32);
    const uint8_t stored[] = {10, 20, 30, 40, 1, 2, 3, 4};
    file.insert(file.end(), stored, stored + sizeof stored);
    TgaPtr image = LoadBytes(file);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 1);
    EXPECT_EQ(image->bitsPerPixel, 32);
    EXPECT_EQ(image->pixelCount, 2);
    EXPECT_EQ(image->format, 0x1908);
    const uint8_t expected[] = {30, 20, 10, 40, 3, 2, 1, 4};
    EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + 8), std::vector<uint8_t>(expected, expected + 8));
}

TEST(TgaLoad, TwentyFourBitRoundTripAndInfo) {
    const std::vector<uint8_t> rgb = Pattern(5, 3, 3);
    for (uint8_t type : {uint8_t{2}, uint8_t{3}}) {
        TgaWriteOptions options;
        options.imageType = type;
        TgaPtr image = LoadBytes(EncodeTga(rgb.data(), 5, 3, 24, options));
        ASSERT_NE(image, nullptr) << int(type);
        EXPECT_EQ(image->format, 0x1907);
        EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + rgb.size()), rgb);
        ImageLockInfo info = {};
        EXPECT_EQ(GetTgaInfo(image.get(), &info), 0);
        EXPECT_EQ(info.width, 5);
        EXPECT_EQ(info.height, 3);
        EXPECT_EQ(info.pixels, image->pixels);
        EXPECT_EQ(info.reserved, 0x1907);
    }
    ImageLockInfo untouched = {1, 2, nullptr, 3};
    EXPECT_EQ(GetTgaInfo(nullptr, &untouched), 0);
    EXPECT_EQ(untouched.width, 1);
}

TEST(TgaLoad, EveryDepthAndMaskGivesTheSamePixels) {
    // Pixel counts around the vector steps, so that every path ends in a
    // tail; masks that leave the bytes alone, flip some bits or all of them.
    struct Case {
        int32_t width;
        int32_t height;
    };
    const Case sizes[] = {{1, 1}, {3, 1}, {4, 2}, {7, 1}, {9, 1}, {5, 5}, {17, 3}, {64, 33}};
    for (const Case& c : sizes) {
        for (const int32_t bits : {24, 32}) {
            const std::vector<uint8_t> pixels = Pattern(c.width, c.height, bits / 8);
            for (const uint8_t mask : {uint8_t{0}, uint8_t{0x5A}, uint8_t{0xFF}}) {
                TextureArchive archive({{"image.tga", mask, EncodeTga(pixels.data(), c.width, c.height, bits)}});
                ASSERT_TRUE(archive.ok());
                TgaPtr image(LoadTgaImage("image.tga"));
                ASSERT_NE(image, nullptr);
                EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + pixels.size()), pixels)
                    << c.width << "x" << c.height << " " << bits << " bits, mask " << int(mask);
            }
        }
    }
}

TEST(TgaPixels, EveryPathFollowsTheByteRule) {
    // Each path this machine has, on the same seeded bytes, against a byte
    // by byte statement of the rule: unmask, then bytes 2, 1, 0(, 3).
    std::mt19937 rng(11);
    const size_t counts[] = {0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 48, 1000};
    const TgaPixelPath paths[] = {TgaPixelPath::kPlain, TgaPixelPath::kSse2, TgaPixelPath::kSsse3,
                                  TgaPixelPath::kAvx2};
    for (const size_t count : counts) {
        for (const uint8_t mask : {uint8_t{0}, uint8_t{0x5A}, uint8_t{0xFF}}) {
            std::vector<uint8_t> stored(count * 4 + 8); // bytes past the block must stay as they are
            for (uint8_t& b : stored) {
                b = static_cast<uint8_t>(rng());
            }
            std::vector<uint8_t> want = stored;
            for (size_t i = 0; i < count; ++i) {
                const uint8_t* in = stored.data() + i * 4;
                uint8_t* out = want.data() + i * 4;
                out[0] = static_cast<uint8_t>(in[2] ^ mask);
                out[1] = static_cast<uint8_t>(in[1] ^ mask);
                out[2] = static_cast<uint8_t>(in[0] ^ mask);
                out[3] = static_cast<uint8_t>(in[3] ^ mask);
            }
            std::vector<uint8_t> want24 = stored;
            for (size_t i = 0; i < count; ++i) {
                const uint8_t* in = stored.data() + i * 3;
                uint8_t* out = want24.data() + i * 3;
                out[0] = static_cast<uint8_t>(in[2] ^ mask);
                out[1] = static_cast<uint8_t>(in[1] ^ mask);
                out[2] = static_cast<uint8_t>(in[0] ^ mask);
            }
            for (const TgaPixelPath path : paths) {
                if (!TgaPixelPathAvailable(path)) {
                    continue;
                }
                std::vector<uint8_t> got = stored;
                TgaUnmaskSwap32(got.data(), count, mask, path);
                EXPECT_EQ(got, want) << count << " pixels, mask " << int(mask) << ", path " << int(path);
                got = stored;
                TgaUnmaskSwap24(got.data(), count, mask, path);
                EXPECT_EQ(got, want24) << count << " pixels, mask " << int(mask) << ", path " << int(path) << ", 24 bits";
            }
        }
    }
    EXPECT_TRUE(TgaPixelPathAvailable(TgaFastestPixelPath()));
}

TEST(TgaLoad, IdFieldIsSkipped) {
    const std::vector<uint8_t> rgba = Pattern(2, 2, 4);
    TgaWriteOptions options;
    options.id = std::vector<uint8_t>(255, 0xEE);
    TgaPtr image = LoadBytes(EncodeTga(rgba.data(), 2, 2, 32, options));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + rgba.size()), rgba);
}

TEST(TgaLoad, UnsupportedHeadersAreRejected) {
    const std::vector<uint8_t> pixels = Pattern(2, 2, 4);
    struct Case {
        const char* what;
        uint8_t type;
        uint8_t colorMap;
        int32_t bits;
        int32_t width;
        int32_t height;
    };
    const Case cases[] = {
        {"colour map", 2, 1, 24, 2, 2},     {"colour-mapped type", 1, 0, 24, 2, 2},
        {"rle true-colour", 10, 0, 24, 2, 2}, {"rle colour-mapped", 9, 0, 24, 2, 2},
        {"rle grey", 11, 0, 24, 2, 2},        {"no image", 0, 0, 24, 2, 2},
        {"16 bits", 2, 0, 16, 2, 2},          {"8 bits", 3, 0, 8, 2, 2},
        {"zero width", 2, 0, 24, 0, 2},       {"zero height", 2, 0, 32, 2, 0},
        {"huge width", 2, 0, 24, 65535, 1},
    };
    for (const Case& c : cases) {
        TgaWriteOptions options;
        options.imageType = c.type;
        options.colorMapType = c.colorMap;
        std::vector<uint8_t> file = EncodeTga(nullptr, c.width, c.height, c.bits, options);
        file.insert(file.end(), pixels.begin(), pixels.end()); // plenty of bytes for 2 x 2
        EXPECT_EQ(LoadBytes(file), nullptr) << c.what;
    }
}

TEST(TgaLoad, ShortFilesAreRejected) {
    const std::vector<uint8_t> rgba = Pattern(4, 4, 4);
    const std::vector<uint8_t> whole = EncodeTga(rgba.data(), 4, 4, 32);
    ASSERT_NE(LoadBytes(whole), nullptr);
    const size_t cuts[] = {0, 1, 3, 12, 17, 18, 19, whole.size() - 4, whole.size() - 1};
    for (size_t cut : cuts) {
        EXPECT_EQ(LoadBytes(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut))), nullptr)
            << cut;
    }
    // An ID field that runs past the end.
    std::vector<uint8_t> lying = EncodeTga(nullptr, 1, 1, 24);
    lying[0] = 200;
    lying.insert(lying.end(), {1, 2, 3, 4, 5});
    EXPECT_EQ(LoadBytes(lying), nullptr);
    // A header that promises far more pixels than the file holds.
    std::vector<uint8_t> promise = EncodeTga(nullptr, 8192, 8192, 32);
    promise.insert(promise.end(), 64, 0);
    EXPECT_EQ(LoadBytes(promise), nullptr);
}

TEST(TgaLoad, ExtraTrailingBytesAreIgnored) {
    const std::vector<uint8_t> rgb = Pattern(2, 1, 3);
    std::vector<uint8_t> file = EncodeTga(rgb.data(), 2, 1, 24);
    file.insert(file.end(), 26, 0x55); // a footer, say
    TgaPtr image = LoadBytes(file);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(image->pixels, image->pixels + 6), rgb);
}

TEST(TgaLoad, MissingEntryOrArchive) {
    {
        TextureArchive archive({{"other.tga", 0, EncodeTga(Pattern(1, 1, 3).data(), 1, 1, 24)}});
        ASSERT_TRUE(archive.ok());
        EXPECT_EQ(LoadTgaImage("image.tga"), nullptr);
        EXPECT_EQ(LoadTgaImage(nullptr), nullptr);
    }
    EXPECT_EQ(LoadTgaImage("other.tga"), nullptr); // no current archive
    FreeTgaImage(nullptr);
}

TEST(TgaLoad, CorpusImagesMatchTheirPngReferences) {
    struct Case {
        const char* tga;
        const char* png;
        png_uint_32 format;
        int32_t stride;
        bool bottomUp; // the file stores its bottom row first
    };
    const Case cases[] = {{"200x32_rgb_bl_raw.tga", "200x32_rgb.png", PNG_FORMAT_RGB, 3, true},
                          {"200x32_rgba_tl_raw.tga", "200x32_rgba.png", PNG_FORMAT_RGBA, 4, false}};
    const std::string dir = std::string(TESSARO_CORPUS_DIR) + "/tga/";
    for (const Case& c : cases) {
        std::vector<uint8_t> reference;
        int32_t width = 0;
        int32_t height = 0;
        ASSERT_TRUE(ReadPng(dir + c.png, c.format, &reference, &width, &height)) << c.png;
        TgaPtr image = LoadBytes(ReadFile(dir + c.tga));
        ASSERT_NE(image, nullptr) << c.tga;
        ASSERT_EQ(image->width, width);
        ASSERT_EQ(image->height, height);
        ASSERT_EQ(image->bitsPerPixel, c.stride * 8);
        const size_t row = static_cast<size_t>(width) * c.stride;
        for (int32_t y = 0; y < height; ++y) {
            // Rows stay in file order, so a bottom-up file is the PNG upside down.
            const int32_t pngRow = c.bottomUp ? height - 1 - y : y;
            const std::vector<uint8_t> got(image->pixels + y * row, image->pixels + (y + 1) * row);
            const std::vector<uint8_t> want(reference.begin() + static_cast<long>(pngRow * row),
                                            reference.begin() + static_cast<long>((pngRow + 1) * row));
            ASSERT_EQ(got, want) << c.tga << " row " << y;
        }
    }
}

TEST(TgaLoad, CorpusTexturesLoad) {
    struct Case {
        const char* file;
        int32_t width;
        int32_t height;
        int32_t bits;
    };
    const Case cases[] = {{"Concrete.tga", 256, 512, 32}, {"top.tga", 256, 256, 24}};
    for (const Case& c : cases) {
        TgaPtr image = LoadBytes(ReadFile(std::string(TESSARO_CORPUS_DIR) + "/tga/" + c.file));
        ASSERT_NE(image, nullptr) << c.file;
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->height, c.height);
        EXPECT_EQ(image->bitsPerPixel, c.bits);
        EXPECT_EQ(image->pixelCount, c.width * c.height);
    }
}

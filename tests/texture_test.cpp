// Texture manager: name dispatch, messages, the texture table and what the
// GL really holds after an upload, on a headless context.
#include "texture/texture.h"

#include "memory/memory_pool.h"
#include "tests/support/debug_capture.h"
#include "tests/support/gl_context.h"
#include "tools/formats/image_writer.h"
#include "tests/support/texture_archive.h"

#include <GL/gl.h>
#include <GL/glu.h> // gluBuild2DMipmaps, the reference chain
#include <gtest/gtest.h>

#include <cstring> // memcmp
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Pattern(int32_t width, int32_t height, int32_t stride) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * stride);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(i * 13 + 5);
    }
    return pixels;
}

std::vector<uint8_t> Jpeg(int32_t width, int32_t height) {
    return EncodeJpeg(Pattern(width, height, 3).data(), width, height, 3, {90, false, true});
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The table uploads go through, as the engine gives it.
const GlTable s_gl = GlTableDesktop();

GLint LevelParameter(GLuint texture, GLint level, GLenum what) {
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

GLint TextureParameter(GLuint texture, GLenum what) {
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, what, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
}

// Level `level` of the texture as GL holds it, in `layout` with byte-aligned rows.
std::vector<uint8_t> ReadBack(GLuint texture, GLenum layout, GLint level = 0) {
    const GLint width = LevelParameter(texture, level, GL_TEXTURE_WIDTH);
    const GLint height = LevelParameter(texture, level, GL_TEXTURE_HEIGHT);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * (layout == GL_RGBA ? 4 : 3));
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, layout, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return pixels;
}

// The decoded JPEG's pixels without their alpha bytes, for comparison with a
// GL_RGB texture.
std::vector<uint8_t> DecodedRgb(const std::vector<uint8_t>& jpeg) {
    ImageBuffer* image = DecodeJpegFromMemory(jpeg.data(), static_cast<uint32_t>(jpeg.size()));
    std::vector<uint8_t> rgb;
    if (image == nullptr) {
        return rgb;
    }
    ImageLockInfo info = {};
    image->Lock(&info, kImageLockRead);
    const uint8_t* words = static_cast<const uint8_t*>(info.pixels);
    for (int32_t i = 0; i < info.width * info.height; ++i) {
        rgb.insert(rgb.end(), words + i * 4, words + i * 4 + 3);
    }
    image->Destroy();
    return rgb;
}

class TextureTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        PoolInit(20000000);
        TextureUseGl(&s_gl);
    }
    static void TearDownTestSuite() { TextureUseGl(nullptr); }

    void SetUp() override {
        ASSERT_TRUE(TestGlMakeCurrent(16, 16)) << TestGlError();
        ASSERT_EQ(g_textureTable.jpegCount, 0);
        ASSERT_EQ(g_textureTable.tgaCount, 0);
    }

    void TearDown() override {
        FreeTextures();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
};

} // namespace

TEST(TextureSize, PowersOfTwoFromOneTo256) {
    struct Case {
        int32_t width;
        int32_t height;
        bool valid;
    };
    const Case cases[] = {{1, 256, true},    {256, 1, true},    {256, 256, true},  {256, 128, true},
                          {2, 4, true},      {1, 1, true},      {512, 512, false}, {0, 0, false},
                          {100, 100, false}, {256, 512, false}, {3, 4, false},     {-256, 256, false},
                          {128, 0, false},   {255, 256, false}, {257, 1, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(IsTextureSizeValid(c.width, c.height), c.valid) << c.width << " x " << c.height;
    }
}

TEST_F(TextureTest, NameDecidesTheDecoder) {
    const std::vector<uint8_t> tga = EncodeTga(Pattern(2, 2, 3).data(), 2, 2, 24);
    const std::vector<uint8_t> jpeg = Jpeg(4, 4);
    TextureArchive archive({{"wall.TGA", 1, tga},
                            {"wall.Tga", 2, tga},
                            {"photo.JPG", 3, jpeg},
                            {"photo.jpg", 4, jpeg},
                            {"photo.jpeg", 5, jpeg},
                            {"photo.png", 6, jpeg},
                            {"pg", 7, jpeg}});
    ASSERT_TRUE(archive.ok());
    struct Case {
        const char* name;
        bool texture;
        const char* message; // null: none
    };
    const Case cases[] = {
        {"wall.TGA", true, nullptr},
        {"wall.Tga", true, nullptr},
        {"photo.JPG", true, nullptr},
        {"photo.jpg", true, nullptr},
        {"photo.jpeg", false, "Texture : File Format unrecognized\n"},
        {"photo.png", false, "Texture : File Format unrecognized\n"},
        {"pg", false, "Texture : File Format unrecognized\n"},
        {"", false, "Texture : File Format unrecognized\n"},
        {nullptr, false, "Texture : File Format unrecognized\n"},
        {"tga", false, "Texture : TGA Loading failed!!\n"},
        {"jpg", false, "Texture : Texture not found!\n"},
    };
    for (const Case& c : cases) {
        DebugCapture capture;
        const uint32_t texture = LoadTexture(c.name, false);
        const char* shown = c.name != nullptr ? c.name : "(null)";
        EXPECT_EQ(texture != 0, c.texture) << shown;
        if (c.message != nullptr) {
            EXPECT_EQ(capture.messages, std::vector<std::string>{c.message}) << shown;
        } else {
            EXPECT_TRUE(capture.messages.empty()) << shown;
        }
    }
    EXPECT_EQ(g_textureTable.tgaCount, 2);
    EXPECT_EQ(g_textureTable.jpegCount, 2);
}

TEST_F(TextureTest, JpegUploadsAsRgbFromFourBytePixels) {
    const std::vector<uint8_t> jpeg = Jpeg(256, 128);
    TextureArchive archive({{"sky.jpg", 0x33, jpeg}});
    ASSERT_TRUE(archive.ok());
    const GLuint texture = LoadJpegTexture("sky.jpg", false);
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(LevelParameter(texture, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);
    EXPECT_EQ(LevelParameter(texture, 0, GL_TEXTURE_WIDTH), 256);
    EXPECT_EQ(LevelParameter(texture, 0, GL_TEXTURE_HEIGHT), 128);
    EXPECT_EQ(ReadBack(texture, GL_RGB), DecodedRgb(jpeg)); // top row first, as decoded
    EXPECT_EQ(g_textureTable.jpegCount, 1);
}

TEST_F(TextureTest, UploadLeavesTheDocumentedState) {
    TextureArchive archive({{"a.tga", 0, EncodeTga(Pattern(4, 4, 4).data(), 4, 4, 32)}});
    ASSERT_TRUE(archive.ok());
    glDisable(GL_TEXTURE_2D);
    const GLuint texture = LoadTexture("a.tga", false);
    ASSERT_NE(texture, 0u);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_WRAP_T), GL_REPEAT);
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
}

TEST_F(TextureTest, MipmapsBuildAChainButSampleLinear) {
    const std::vector<uint8_t> jpeg = Jpeg(64, 32);
    TextureArchive archive({{"chrome.jpg", 0, jpeg}});
    ASSERT_TRUE(archive.ok());
    const GLuint plain = LoadJpegTexture("chrome.jpg", false);
    const GLuint chain = LoadJpegTexture("chrome.jpg", true);
    ASSERT_NE(plain, 0u);
    ASSERT_NE(chain, 0u);
    EXPECT_NE(plain, chain);
    EXPECT_EQ(LevelParameter(plain, 1, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(LevelParameter(chain, 1, GL_TEXTURE_WIDTH), 32);
    EXPECT_EQ(LevelParameter(chain, 6, GL_TEXTURE_WIDTH), 1); // 64 x 32 down to 1 x 1
    EXPECT_EQ(LevelParameter(chain, 1, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);
    EXPECT_EQ(ReadBack(chain, GL_RGB), DecodedRgb(jpeg));
    for (GLuint texture : {plain, chain}) {
        EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
        EXPECT_EQ(TextureParameter(texture, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    }
}

TEST_F(TextureTest, TgaFormatsFollowTheDepth) {
    const std::vector<uint8_t> rgb = Pattern(8, 4, 3);
    const std::vector<uint8_t> rgba = Pattern(4, 8, 4);
    TextureArchive archive(
        {{"rgb.tga", 0, EncodeTga(rgb.data(), 8, 4, 24)}, {"rgba.tga", 0, EncodeTga(rgba.data(), 4, 8, 32)}});
    ASSERT_TRUE(archive.ok());
    for (bool mipmaps : {false, true}) {
        const GLuint opaque = LoadTgaTexture("rgb.tga", mipmaps);
        const GLuint alpha = LoadTgaTexture("rgba.tga", mipmaps);
        ASSERT_NE(opaque, 0u);
        ASSERT_NE(alpha, 0u);
        EXPECT_EQ(LevelParameter(opaque, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);
        EXPECT_EQ(LevelParameter(alpha, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA);
        EXPECT_EQ(ReadBack(opaque, GL_RGB), rgb); // rows in file order
        EXPECT_EQ(ReadBack(alpha, GL_RGBA), rgba);
    }
    EXPECT_EQ(g_textureTable.tgaCount, 4);
}

TEST_F(TextureTest, NarrowTwentyFourBitImagesUploadExactly) {
    // Rows of 3 or 6 bytes are not multiples of 4.
    struct Case {
        int32_t width;
        int32_t height;
    };
    const Case cases[] = {{1, 1}, {1, 4}, {2, 2}, {2, 16}, {1, 256}, {4, 3 + 1}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> rgb = Pattern(c.width, c.height, 3);
        TextureArchive archive({{"thin.tga", 0, EncodeTga(rgb.data(), c.width, c.height, 24)}});
        ASSERT_TRUE(archive.ok());
        for (bool mipmaps : {false, true}) {
            const GLuint texture = LoadTgaTexture("thin.tga", mipmaps);
            ASSERT_NE(texture, 0u) << c.width << " x " << c.height;
            EXPECT_EQ(ReadBack(texture, GL_RGB), rgb)
                << c.width << " x " << c.height << " mipmaps " << mipmaps;
            GLint alignment = 0;
            glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
            EXPECT_EQ(alignment, 4);
        }
    }
}

TEST_F(TextureTest, SizeCheckRejectsFromTheHeaderAndKeepsNothing) {
    TextureArchive archive({{"big.jpg", 0, Jpeg(512, 512)},
                            {"odd.jpg", 0, Jpeg(100, 100)},
                            {"odd.tga", 0, EncodeTga(Pattern(3, 4, 3).data(), 3, 4, 24)}});
    ASSERT_TRUE(archive.ok());
    for (const char* name : {"big.jpg", "odd.jpg", "odd.tga"}) {
        DebugCapture capture;
        EXPECT_EQ(LoadTexture(name, true), 0u) << name;
        EXPECT_EQ(capture.messages, std::vector<std::string>{"Texture : Size check failed!\n"}) << name;
    }
    EXPECT_EQ(g_textureTable.jpegCount, 0);
    EXPECT_EQ(g_textureTable.tgaCount, 0);
}

TEST_F(TextureTest, FailuresAreReportedAndNotRegistered) {
    std::vector<uint8_t> grey(8 * 8, 90);
    const std::vector<uint8_t> greyJpeg = EncodeJpeg(grey.data(), 8, 8, 1);
    TextureArchive archive({{"broken.jpg", 0, {0x12, 0x34, 0x56}},
                            {"grey.jpg", 0, greyJpeg},
                            {"empty.jpg", 0, {}},
                            {"rle.tga", 0, EncodeTga(nullptr, 2, 2, 24, {10, 0, 0, {}})},
                            {"short.tga", 0, {0, 0, 2}}});
    ASSERT_TRUE(archive.ok());
    struct Case {
        const char* name;
        const char* message;
    };
    const Case cases[] = {
        {"broken.jpg", "Texture : Jpeg Decompression failed!!\n"},
        {"grey.jpg", "Texture : Jpeg Decompression failed!!\n"},
        {"empty.jpg", "Texture : Jpeg Decompression failed!!\n"},
        {"missing.jpg", "Texture : Texture not found!\n"},
        {"rle.tga", "Texture : TGA Loading failed!!\n"},
        {"short.tga", "Texture : TGA Loading failed!!\n"},
        {"missing.tga", "Texture : TGA Loading failed!!\n"},
    };
    for (const Case& c : cases) {
        DebugCapture capture;
        ::testing::internal::CaptureStderr(); // libjpeg's own message
        const uint32_t texture = LoadTexture(c.name, false);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(texture, 0u) << c.name;
        EXPECT_EQ(capture.messages, std::vector<std::string>{c.message}) << c.name;
    }
    EXPECT_EQ(g_textureTable.jpegCount, 0);
    EXPECT_EQ(g_textureTable.tgaCount, 0);
}

TEST_F(TextureTest, ListsHoldAHundredImagesOfEachKind) {
    TextureArchive archive(
        {{"tile.jpg", 0, Jpeg(2, 2)}, {"tile.tga", 0, EncodeTga(Pattern(2, 2, 4).data(), 2, 2, 32)}});
    ASSERT_TRUE(archive.ok());
    for (int32_t i = 0; i < kTextureListCapacity; ++i) {
        ASSERT_NE(LoadTexture("tile.jpg", false), 0u) << i;
        ASSERT_NE(LoadTexture("tile.tga", false), 0u) << i;
    }
    EXPECT_EQ(g_textureTable.jpegCount, kTextureListCapacity);
    EXPECT_EQ(g_textureTable.tgaCount, kTextureListCapacity);
    ImageBuffer* lastJpeg = g_textureTable.jpegImages[kTextureListCapacity - 1];
    TgaImage* lastTga = g_textureTable.tgaImages[kTextureListCapacity - 1];
    // The 101st of a kind still becomes a texture with the right pixels, but
    // the table does not take it.
    const GLuint jpeg = LoadTexture("tile.jpg", false);
    const GLuint tga = LoadTexture("tile.tga", false);
    ASSERT_NE(jpeg, 0u);
    ASSERT_NE(tga, 0u);
    EXPECT_EQ(ReadBack(tga, GL_RGBA), Pattern(2, 2, 4));
    EXPECT_EQ(g_textureTable.jpegCount, kTextureListCapacity);
    EXPECT_EQ(g_textureTable.tgaCount, kTextureListCapacity);
    EXPECT_EQ(g_textureTable.jpegImages[kTextureListCapacity - 1], lastJpeg);
    EXPECT_EQ(g_textureTable.tgaImages[kTextureListCapacity - 1], lastTga);
}

// Every level of the texture as GL holds it.
static std::vector<std::vector<uint8_t>> AllLevels(GLuint texture, GLenum layout) {
    std::vector<std::vector<uint8_t>> levels;
    for (GLint level = 0; LevelParameter(texture, level, GL_TEXTURE_WIDTH) > 0; ++level) {
        const GLint width = LevelParameter(texture, level, GL_TEXTURE_WIDTH);
        const GLint height = LevelParameter(texture, level, GL_TEXTURE_HEIGHT);
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * (layout == GL_RGBA ? 4 : 3));
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, level, layout, GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_2D, 0);
        levels.push_back(pixels);
    }
    return levels;
}

// Loading while uploads wait for a context, then creating them in a fresh
// one, gives the names a fresh context hands out and textures identical, level
// for level and parameter for parameter, to uploading at once.
TEST_F(TextureTest, DeferredUploadsMatchImmediateOnes) {
    struct Case {
        const char* name;
        bool mipmaps;
        GLenum layout;
    };
    const Case cases[] = {{"wall.jpg", true, GL_RGB},
                          {"wall.jpg", false, GL_RGB},
                          {"thin.tga", true, GL_RGB},
                          {"glass.tga", true, GL_RGBA},
                          {"glass.tga", false, GL_RGBA}};
    TextureArchive archive({{"wall.jpg", 0, Jpeg(32, 16)},
                            {"thin.tga", 0, EncodeTga(Pattern(2, 8, 3).data(), 2, 8, 24)},
                            {"glass.tga", 0, EncodeTga(Pattern(8, 8, 4).data(), 8, 8, 32)},
                            {"huge.tga", 0, EncodeTga(Pattern(512, 2, 3).data(), 512, 2, 24)}});
    ASSERT_TRUE(archive.ok());

    TestGlRelease();
    TextureDeferUploads();
    std::vector<GLuint> deferred;
    for (const Case& c : cases) {
        deferred.push_back(LoadTexture(c.name, c.mipmaps));
    }
    EXPECT_EQ(LoadTexture("huge.tga", true), 0u); // refused before any upload is kept
    ASSERT_TRUE(TestGlMakeCurrent(16, 16)) << TestGlError();
    TextureFlushDeferred();

    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(deferred[i], i + 1) << c.name;
        ASSERT_TRUE(glIsTexture(deferred[i])) << c.name;
        const GLuint now = LoadTexture(c.name, c.mipmaps); // deferral ended with the flush
        ASSERT_NE(now, 0u);
        EXPECT_EQ(AllLevels(deferred[i], c.layout), AllLevels(now, c.layout)) << c.name;
        for (GLenum what :
             {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_MIN_FILTER}) {
            EXPECT_EQ(TextureParameter(deferred[i], what), TextureParameter(now, what)) << c.name;
        }
        EXPECT_EQ(LevelParameter(deferred[i], 0, GL_TEXTURE_INTERNAL_FORMAT),
                  LevelParameter(now, 0, GL_TEXTURE_INTERNAL_FORMAT));
    }
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
}

// Our box-filtered chain is the one GL's utility library builds, level by
// level and byte for byte, for square, wide, tall and one-texel-thin images
// of both layouts, rows of odd byte lengths included.
TEST_F(TextureTest, MipmapChainIsTheOneTheGlUtilityLibraryBuilds) {
    struct Case {
        int32_t width;
        int32_t height;
        GLenum layout;
    };
    const Case cases[] = {{8, 8, GL_RGB},  {64, 32, GL_RGB}, {4, 1, GL_RGB},
                          {1, 8, GL_RGBA}, {16, 4, GL_RGBA}, {2, 2, GL_RGB},
                          {1, 1, GL_RGBA}, {2, 16, GL_RGB},  {256, 2, GL_RGBA}};
    uint32_t seed = 12345u;
    for (const Case& c : cases) {
        const int32_t channels = c.layout == GL_RGBA ? 4 : 3;
        std::vector<uint8_t> pixels(static_cast<size_t>(c.width * c.height * channels));
        for (uint8_t& p : pixels) {
            seed = seed * 1664525u + 1013904223u;
            p = static_cast<uint8_t>(seed >> 24);
        }
        const GLuint ours =
            UploadTexture(pixels.data(), c.width, c.height, static_cast<int32_t>(c.layout), c.layout, true);
        GLuint reference = 0;
        glGenTextures(1, &reference);
        glBindTexture(GL_TEXTURE_2D, reference);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        ASSERT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, static_cast<GLint>(c.layout), c.width, c.height, c.layout,
                                    GL_UNSIGNED_BYTE, pixels.data()),
                  0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_2D, 0);
        int32_t levels = 0;
        for (GLint level = 0; LevelParameter(reference, level, GL_TEXTURE_WIDTH) > 0; ++level) {
            const std::string name = std::to_string(c.width) + " x " + std::to_string(c.height) + " level " +
                                     std::to_string(level);
            EXPECT_EQ(LevelParameter(ours, level, GL_TEXTURE_WIDTH),
                      LevelParameter(reference, level, GL_TEXTURE_WIDTH))
                << name;
            EXPECT_EQ(LevelParameter(ours, level, GL_TEXTURE_HEIGHT),
                      LevelParameter(reference, level, GL_TEXTURE_HEIGHT))
                << name;
            EXPECT_EQ(ReadBack(ours, c.layout, level), ReadBack(reference, c.layout, level)) << name;
            ++levels;
        }
        EXPECT_GT(levels, 0);
        EXPECT_EQ(LevelParameter(ours, levels, GL_TEXTURE_WIDTH), 0); // no level beyond the reference's
        glDeleteTextures(1, &reference);
    }
}

TEST_F(TextureTest, FreeTexturesNeedsNoContext) {
    TextureArchive archive(
        {{"tile.jpg", 0, Jpeg(4, 4)}, {"tile.tga", 0, EncodeTga(Pattern(2, 2, 3).data(), 2, 2, 24)}});
    ASSERT_TRUE(archive.ok());
    ASSERT_NE(LoadTexture("tile.jpg", true), 0u);
    ASSERT_NE(LoadTexture("tile.tga", true), 0u);
    TestGlDetach(); // as at shutdown: the GL context is already gone
    FreeTextures();
    EXPECT_EQ(g_textureTable.jpegCount, 0);
    EXPECT_EQ(g_textureTable.tgaCount, 0);
    FreeTextures(); // again on an empty table
    ASSERT_TRUE(TestGlMakeCurrent(16, 16)) << TestGlError();
}

TEST_F(TextureTest, CorpusTexturesUploadOrFailTheSizeCheck) {
    const std::string dir = std::string(TESSARO_CORPUS_DIR) + "/";
    TextureArchive archive({{"top.tga", 0, ReadFile(dir + "tga/top.tga")},
                            {"Concrete.tga", 0, ReadFile(dir + "tga/Concrete.tga")},
                            {"IMAGE1.jpg", 0, ReadFile(dir + "3ds/IMAGE1.jpg")}});
    ASSERT_TRUE(archive.ok());
    const GLuint top = LoadTexture("top.tga", true);
    ASSERT_NE(top, 0u);
    EXPECT_EQ(LevelParameter(top, 0, GL_TEXTURE_WIDTH), 256);
    DebugCapture capture;
    EXPECT_EQ(LoadTexture("Concrete.tga", true), 0u); // 256 x 512
    EXPECT_EQ(LoadTexture("IMAGE1.jpg", true), 0u);   // 400 x 300
    EXPECT_EQ(capture.messages,
              (std::vector<std::string>{"Texture : Size check failed!\n", "Texture : Size check failed!\n"}));
}

TEST_F(TextureTest, ReadEntryToPoolAppendsAZero) {
    TextureArchive archive({{"data.bin", 0x77, {'a', 'b', 'c'}}, {"none.bin", 0, {}}});
    ASSERT_TRUE(archive.ok());
    int32_t size = -1;
    char* block = static_cast<char*>(ReadEntryToPool("data.bin", &size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 3);
    EXPECT_STREQ(block, "abc");
    PoolFree(block);
    block = static_cast<char*>(ReadEntryToPool("none.bin", &size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(block[0], 0);
    PoolFree(block);
    size = 99;
    EXPECT_EQ(ReadEntryToPool("absent.bin", &size), nullptr);
    EXPECT_EQ(size, 99);
}

TEST(HeadlessGl, ClearsAndReadsBackTheColourBuffer) {
    ASSERT_TRUE(TestGlMakeCurrent(5, 3)) << TestGlError();
    EXPECT_EQ(TestGlWidth(), 5);
    EXPECT_EQ(TestGlHeight(), 3);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // A green quad over the bottom row only.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 5.0, 0.0, 3.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glColor3f(0.0f, 1.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex2f(0.0f, 0.0f);
    glVertex2f(5.0f, 0.0f);
    glVertex2f(5.0f, 1.0f);
    glVertex2f(0.0f, 1.0f);
    glEnd();
    const std::vector<uint8_t> pixels = TestGlReadColorBuffer();
    ASSERT_EQ(pixels.size(), 5u * 3u * 4u);
    const uint8_t green[4] = {0, 255, 0, 255};
    const uint8_t red[4] = {255, 0, 0, 255};
    EXPECT_EQ(std::memcmp(&pixels[0], green, 4), 0);             // bottom row first
    EXPECT_EQ(std::memcmp(&pixels[(2 * 5 + 4) * 4], red, 4), 0); // top right

    ASSERT_TRUE(TestGlMakeCurrent(32, 8)) << TestGlError();
    EXPECT_EQ(TestGlReadColorBuffer().size(), 32u * 8u * 4u);
    EXPECT_FALSE(TestGlMakeCurrent(0, 8));
    EXPECT_FALSE(TestGlError().empty());
    TestGlDetach();
    EXPECT_TRUE(TestGlReadColorBuffer().empty());
}

// Texture manager: archive entry -> decoded image -> GL texture object.
#include "texture/texture.h"

#include "archive/archive.h"    // g_currentPak, PakLoadEntryWith
#include "memory/memory_pool.h" // PoolAlloc, PoolFree
#include "platform/platform.h"  // PlatformDebugOutput

#include <cassert> // the GL table is set before uploads
#include <cstdint> // INT32_MAX
#include <cstring> // strlen
#include <vector>  // the uploads kept for later

TextureTable g_textureTable = {};

namespace {

constexpr int32_t kUnpackAlignment = 4;

// One upload asked for while there is no context yet.
struct DeferredUpload {
    uint32_t name;
    std::vector<uint8_t> pixels;
    int32_t width;
    int32_t height;
    int32_t internalFormat;
    uint32_t layout;
    bool mipmaps;
};

struct Deferral {
    bool on = false;
    uint32_t lastName = 0;
    std::vector<DeferredUpload> uploads;
};

Deferral s_deferral;

int32_t BytesPerPixel(uint32_t layout) {
    return layout == GL_RGBA ? 4 : 3;
}

// The level below a w x h level of `bytesPerPixel`-byte texels, tightly
// packed: (w / 2 or 1) x (h / 2 or 1), each texel the box-filtered mean of
// the two or four it covers, as the classic GLU chain makes it (a 2 x 2 mean
// rounds to nearest, a mean of two truncates).
void HalveLevel(const uint8_t* source, int32_t width, int32_t height, int32_t bytesPerPixel,
                std::vector<uint8_t>* level) {
    const int32_t halfWidth = width > 1 ? width / 2 : 1;
    const int32_t halfHeight = height > 1 ? height / 2 : 1;
    const size_t row = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
    // Steps to the second texel of a pair across and down; 0 along a side of 1.
    const size_t across = width > 1 ? static_cast<size_t>(bytesPerPixel) : 0;
    const size_t down = height > 1 ? row : 0;
    level->assign(static_cast<size_t>(halfWidth) * static_cast<size_t>(halfHeight) *
                      static_cast<size_t>(bytesPerPixel),
                  0);
    uint8_t* out = level->data();
    for (int32_t y = 0; y < halfHeight; ++y) {
        const uint8_t* top = source + static_cast<size_t>(y) * 2 * down;
        for (int32_t x = 0; x < halfWidth; ++x) {
            const uint8_t* texel = top + static_cast<size_t>(x) * 2 * across;
            for (int32_t c = 0; c < bytesPerPixel; ++c) {
                if (across != 0 && down != 0) {
                    *out++ = static_cast<uint8_t>(
                        (texel[c] + texel[across + c] + texel[down + c] + texel[down + across + c] + 2) / 4);
                } else {
                    *out++ = static_cast<uint8_t>((texel[c] + texel[across + down + c]) / 2);
                }
            }
        }
    }
}

// Uploads level `level` with the unpack alignment its rows need: a 24-bit
// row of 1 or 2 pixels is not a multiple of 4 bytes, so it reads with byte
// alignment.
void UploadLevel(const GlTable& gl, int32_t level, const void* pixels, int32_t width, int32_t height,
                 int32_t internalFormat, uint32_t layout) {
    const bool packed = (static_cast<int64_t>(width) * BytesPerPixel(layout)) % kUnpackAlignment != 0;
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, packed ? 1 : kUnpackAlignment);
    gl.TexImage2D(GL_TEXTURE_2D, level, internalFormat, width, height, 0, layout, GL_UNSIGNED_BYTE, pixels);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, kUnpackAlignment);
}

// Levels 1 .. down to 1 x 1 of a chain whose level 0 is `pixels`.
void UploadMipmapChain(const GlTable& gl, const void* pixels, int32_t width, int32_t height,
                       int32_t internalFormat, uint32_t layout) {
    std::vector<uint8_t> above(static_cast<const uint8_t*>(pixels),
                               static_cast<const uint8_t*>(pixels) +
                                   static_cast<size_t>(width) * static_cast<size_t>(height) *
                                       static_cast<size_t>(BytesPerPixel(layout)));
    std::vector<uint8_t> below;
    for (int32_t level = 1; width > 1 || height > 1; ++level) {
        HalveLevel(above.data(), width, height, BytesPerPixel(layout), &below);
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        UploadLevel(gl, level, below.data(), width, height, internalFormat, layout);
        above.swap(below);
    }
}

// The GL side of an upload into the texture object `texture`.
void CreateTexture(const GlTable& gl, GLuint texture, const void* pixels, int32_t width, int32_t height,
                   int32_t internalFormat, uint32_t layout, bool mipmaps) {
    gl.BindTexture(GL_TEXTURE_2D, texture);
    UploadLevel(gl, 0, pixels, width, height, internalFormat, layout);
    if (mipmaps && pixels != nullptr && width > 0 && height > 0) {
        UploadMipmapChain(gl, pixels, width, height, internalFormat, layout);
    }
    gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Plain linear also after a mipmap chain: only level 0 is ever sampled.
    gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.Enable(GL_TEXTURE_2D);
    gl.BindTexture(GL_TEXTURE_2D, 0);
}

// True when the last three characters of `name` equal `extension` ignoring
// ASCII case.
bool EndsWith3(const char* name, size_t length, const char* extension) {
    for (size_t i = 0; i < 3; ++i) {
        char c = name[length - 3 + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != extension[i]) {
            return false;
        }
    }
    return true;
}

// Registers a decoded JPEG; false when the list is full.
bool RegisterJpeg(ImageBuffer* image) {
    if (g_textureTable.jpegCount >= kTextureListCapacity) {
        return false;
    }
    g_textureTable.jpegImages[g_textureTable.jpegCount++] = image;
    return true;
}

bool RegisterTga(TgaImage* image) {
    if (g_textureTable.tgaCount >= kTextureListCapacity) {
        return false;
    }
    g_textureTable.tgaImages[g_textureTable.tgaCount++] = image;
    return true;
}

// Checks and uploads a decoded image; 0 with the message when the image has no
// pixels or a side the texture size check refuses.
uint32_t CheckAndUpload(const ImageLockInfo& info, int32_t internalFormat, uint32_t layout, bool mipmaps) {
    if (info.pixels == nullptr) {
        PlatformDebugOutput("Texture : Texture not found!\n");
        return 0;
    }
    if (!IsTextureSizeValid(info.width, info.height)) {
        PlatformDebugOutput("Texture : Size check failed!\n");
        return 0;
    }
    return UploadTexture(info.pixels, info.width, info.height, internalFormat, layout, mipmaps);
}

} // namespace

uint32_t LoadTexture(const char* name, bool mipmaps) {
    const size_t length = name != nullptr ? std::strlen(name) : 0;
    if (length >= 3 && EndsWith3(name, length, "jpg")) {
        return LoadJpegTexture(name, mipmaps);
    }
    if (length >= 3 && EndsWith3(name, length, "tga")) {
        return LoadTgaTexture(name, mipmaps);
    }
    PlatformDebugOutput("Texture : File Format unrecognized\n");
    return 0;
}

uint32_t LoadJpegTexture(const char* name, bool mipmaps) {
    int32_t size = 0;
    void* file = ReadEntryToPool(name, &size);
    if (file == nullptr) {
        PlatformDebugOutput("Texture : Texture not found!\n");
        return 0;
    }
    // The size rule is applied to the header, so that a file claiming a huge
    // picture is turned away before any pixel memory or decoding work.
    ImageLoadStatus status = ImageLoadStatus::kFailed;
    ImageBuffer* image = DecodeJpegFromMemory(file, static_cast<uint32_t>(size), IsTextureSizeValid, &status);
    PoolFree(file);
    if (status == ImageLoadStatus::kSizeRefused) {
        PlatformDebugOutput("Texture : Size check failed!\n");
        return 0;
    }
    if (image == nullptr) {
        PlatformDebugOutput("Texture : Jpeg Decompression failed!!\n");
        return 0;
    }
    ImageLockInfo info = {};
    image->Lock(&info, kImageLockRead);
    // JPEG pixels carry an alpha byte, but the texture is stored without alpha.
    const uint32_t texture = CheckAndUpload(info, GL_RGB, GL_RGBA, mipmaps);
    // Only an image that became a texture is kept; GL holds its own copy of
    // one the full table cannot hold.
    if (texture == 0 || !RegisterJpeg(image)) {
        image->Unlock();
        image->Destroy();
    }
    return texture;
}

uint32_t LoadTgaTexture(const char* name, bool mipmaps) {
    ImageLoadStatus status = ImageLoadStatus::kFailed;
    TgaImage* image = LoadTgaImage(name, IsTextureSizeValid, &status);
    if (status == ImageLoadStatus::kSizeRefused) {
        PlatformDebugOutput("Texture : Size check failed!\n");
        return 0;
    }
    if (image == nullptr) {
        PlatformDebugOutput("Texture : TGA Loading failed!!\n");
        return 0;
    }
    ImageLockInfo info = {};
    GetTgaInfo(image, &info);
    const uint32_t layout = info.reserved == GL_RGBA ? GL_RGBA : GL_RGB;
    const uint32_t texture = CheckAndUpload(info, info.reserved, layout, mipmaps);
    if (texture == 0 || !RegisterTga(image)) {
        FreeTgaImage(image);
    }
    return texture;
}

namespace {

// The names of every texture made since the last DeleteUploadedTextures.
std::vector<GLuint> s_uploadedNames;

} // namespace

uint32_t UploadTexture(const void* pixels, int32_t width, int32_t height, int32_t internalFormat,
                       uint32_t layout, bool mipmaps) {
    if (s_deferral.on) {
        const size_t bytes = static_cast<size_t>(width > 0 ? width : 0) *
                             static_cast<size_t>(height > 0 ? height : 0) *
                             static_cast<size_t>(BytesPerPixel(layout));
        const auto* first = static_cast<const uint8_t*>(pixels);
        DeferredUpload upload = {++s_deferral.lastName, {}, width, height, internalFormat, layout, mipmaps};
        if (first != nullptr) {
            upload.pixels.assign(first, first + bytes);
        }
        s_deferral.uploads.push_back(std::move(upload));
        return s_deferral.lastName;
    }
    assert(g_textureTable.gl != nullptr && "TextureUseGl before the first upload");
    GLuint texture = 0;
    g_textureTable.gl->GenTextures(1, &texture);
    s_uploadedNames.push_back(texture);
    CreateTexture(*g_textureTable.gl, texture, pixels, width, height, internalFormat, layout, mipmaps);
    return texture;
}

void TextureDeferUploads() {
    s_deferral.on = true;
}

void TextureUseGl(const GlTable* gl) {
    g_textureTable.gl = gl;
}

void TextureFlushDeferred() {
    assert(s_deferral.uploads.empty() || g_textureTable.gl != nullptr);
    for (const DeferredUpload& u : s_deferral.uploads) {
        s_uploadedNames.push_back(u.name);
        CreateTexture(*g_textureTable.gl, u.name, u.pixels.empty() ? nullptr : u.pixels.data(), u.width,
                      u.height, u.internalFormat, u.layout, u.mipmaps);
    }
    s_deferral = Deferral{};
}

void DeleteUploadedTextures() {
    s_deferral = Deferral{};
    if (!s_uploadedNames.empty() && g_textureTable.gl != nullptr) {
        g_textureTable.gl->DeleteTextures(static_cast<GLsizei>(s_uploadedNames.size()), s_uploadedNames.data());
    }
    s_uploadedNames.clear();
}

bool IsTextureSizeValid(int32_t width, int32_t height) {
    int32_t matches = 0;
    for (int32_t side = 256; side >= 1; side /= 2) {
        matches += (width == side ? 1 : 0) + (height == side ? 1 : 0);
    }
    return matches >= 2;
}

void* ReadEntryToPool(const char* name, int32_t* size) {
    int32_t bytes = 0;
    // One terminating 0 byte; INT32_MAX itself is refused, as the block size
    // (size + 1) must stay a valid int32 count.
    uint8_t* block =
        PakLoadEntryWith(g_currentPak, name, INT32_MAX - 1, 1, PoolAlloc, PoolFree, &bytes, nullptr);
    if (block != nullptr && size != nullptr) {
        *size = bytes;
    }
    return block;
}

void FreeTextures() {
    for (int32_t i = g_textureTable.tgaCount - 1; i >= 0; --i) {
        FreeTgaImage(g_textureTable.tgaImages[i]);
        g_textureTable.tgaImages[i] = nullptr;
    }
    g_textureTable.tgaCount = 0;
    for (int32_t i = g_textureTable.jpegCount - 1; i >= 0; --i) {
        g_textureTable.jpegImages[i]->Unlock();
        g_textureTable.jpegImages[i]->Destroy();
        g_textureTable.jpegImages[i] = nullptr;
    }
    g_textureTable.jpegCount = 0;
}

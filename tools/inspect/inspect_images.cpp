// JPEG and TGA entries: decoded exactly as the texture loader decodes them,
// described by size, depth, layout and a fingerprint of the stored pixels.
#include <cstdint> // int32_t

#include "memory/memory_pool.h" // PoolFree for the entry copy
#include "texture/image.h"      // DecodeJpegFromMemory, LoadTgaImage
#include "texture/texture.h"    // ReadEntryToPool
#include "tools/inspect/inspect.h"
#include "tools/inspect/sha256.h" // Sha256Hex

namespace {

// GL format names as numbers; the inspector never includes a GL header.
constexpr int32_t kGlRgb = 0x1907;
constexpr int32_t kGlRgba = 0x1908;

void WriteImage(JsonWriter* json, const char* kind, int32_t width, int32_t height, int32_t bits,
                int32_t format, const std::string& hash) {
    json->BeginObject();
    json->Key("kind");
    json->String(kind);
    json->Key("width");
    json->Int(width);
    json->Key("height");
    json->Int(height);
    json->Key("bits");
    json->Int(bits);
    json->Key("format");
    json->Int(format);
    json->Key("rgbaSha256");
    json->String(hash.c_str());
    json->EndObject();
}

} // namespace

bool InspectJpeg(const InspectRequest& request, JsonWriter* json, std::string* error) {
    int32_t size = 0;
    void* data = ReadEntryToPool(request.entryName.c_str(), &size);
    if (data == nullptr) {
        *error = "cannot read the entry (missing, empty or out of pool memory)";
        return false;
    }
    ImageBuffer* image = DecodeJpegFromMemory(data, static_cast<uint32_t>(size));
    PoolFree(data);
    if (image == nullptr) {
        *error = "the JPEG decoder rejected the file";
        return false;
    }
    // The decoder stores one 32-bit R, G, B, A word per pixel, rows top first.
    ImageLockInfo info{};
    image->Lock(&info, kImageLockRead);
    const size_t bytes = static_cast<size_t>(info.width) * static_cast<size_t>(info.height) * 4u;
    const std::string hash = Sha256Hex(info.pixels, info.pixels != nullptr ? bytes : 0u);
    image->Unlock();
    WriteImage(json, "jpeg", info.width, info.height, 32, kGlRgba, hash);
    image->Destroy();
    return true;
}

bool InspectTga(const InspectRequest& request, JsonWriter* json, std::string* error) {
    TgaImage* image = LoadTgaImage(request.entryName.c_str());
    if (image == nullptr) {
        *error = "the TGA loader rejected the file";
        return false;
    }
    const int32_t bytesPerPixel = image->format == kGlRgba ? 4 : 3;
    const size_t bytes = image->pixels != nullptr && image->pixelCount > 0
                             ? static_cast<size_t>(image->pixelCount) * static_cast<size_t>(bytesPerPixel)
                             : 0u;
    const std::string hash = Sha256Hex(image->pixels, bytes);
    WriteImage(json, "tga", image->width, image->height, image->bitsPerPixel, image->format, hash);
    FreeTgaImage(image);
    return true;
}

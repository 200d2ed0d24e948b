// Uncompressed TGA images read straight from the current archive.
#include "texture/image.h"

#include "archive/archive.h" // g_currentPak, PakOpenEntry, PakRead, PakReadStored, PakSeek, PakCloseEntry
#include "texture/tga_pixels.h" // TgaUnmaskSwap32, TgaUnmaskSwap24

#include <cstddef> // size_t
#include <cstdint> // uint8_t
#include <cstdlib> // malloc, free
#include <new>     // std::nothrow

namespace {

// TGA header fields (offsets into the 18-byte header).
constexpr int kTgaIdLength = 0;
constexpr int kTgaColorMapType = 1;
constexpr int kTgaImageType = 2;
constexpr int kTgaBitsPerPixel = 16;
constexpr uint8_t kTgaTrueColor = 2;
constexpr uint8_t kTgaBlackAndWhite = 3;

constexpr int32_t kGlRgb = 0x1907;  // GL_RGB, without including GL here
constexpr int32_t kGlRgba = 0x1908; // GL_RGBA

int32_t ReadLittle16(const uint8_t* bytes) { return static_cast<int32_t>(bytes[0] | (bytes[1] << 8)); }

// Fills the record from the header; false for anything this loader does not
// read (colour maps, compression, depths other than 24 and 32, empty or huge sides).
bool ParseHeader(const uint8_t* header, TgaImage* image) {
    const uint8_t type = header[kTgaImageType];
    const int32_t bits = header[kTgaBitsPerPixel];
    if (header[kTgaColorMapType] != 0 || (type != kTgaTrueColor && type != kTgaBlackAndWhite) ||
        (bits != 32 && bits != 24)) {
        return false;
    }
    image->width = ReadLittle16(header + kTgaSizeOffset);
    image->height = ReadLittle16(header + kTgaSizeOffset + 2);
    if (image->width == 0 || image->height == 0 || image->width > kImageMaxSide || image->height > kImageMaxSide) {
        return false;
    }
    image->bitsPerPixel = bits;
    image->pixelCount = image->width * image->height;
    image->format = bits == 32 ? kGlRgba : kGlRgb;
    return true;
}

// Reads the pixel block as stored and turns it into R, G, B(, A) in one pass.
// The bytes still in the entry are checked first, so a lying header
// allocates nothing.
bool ReadPixels(PakEntry* entry, TgaImage* image) {
    const int32_t stride = image->bitsPerPixel / 8;
    const int32_t bytes = image->pixelCount * stride;
    if (entry->dirEntry == nullptr || entry->dirEntry->size - PakTell(entry) < bytes) {
        return false;
    }
    image->pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
    if (image->pixels == nullptr || PakReadStored(image->pixels, bytes, 1, entry, g_currentPak) != 1) {
        return false;
    }
    const uint8_t mask = entry->dirEntry->mask;
    const size_t count = static_cast<size_t>(image->pixelCount);
    if (stride == 4) {
        TgaUnmaskSwap32(image->pixels, count, mask, TgaFastestPixelPath());
    } else {
        TgaUnmaskSwap24(image->pixels, count, mask, TgaFastestPixelPath());
    }
    return true;
}

} // namespace

TgaImage* LoadTgaImage(const char* name) { return LoadTgaImage(name, nullptr, nullptr); }

TgaImage* LoadTgaImage(const char* name, ImageSizeCheck accept, ImageLoadStatus* status) {
    if (status != nullptr) {
        *status = ImageLoadStatus::kFailed;
    }
    PakEntry* entry = PakOpenEntry(g_currentPak, name);
    if (entry == nullptr) {
        return nullptr;
    }
    TgaImage* image = new (std::nothrow) TgaImage{};
    uint8_t header[kTgaHeaderSize] = {};
    bool ok = image != nullptr && PakRead(header, kTgaHeaderSize, 1, entry, g_currentPak) == 1 &&
              ParseHeader(header, image);
    // The caller's size rule is asked before the pixel block is taken.
    const bool refused = ok && accept != nullptr && !accept(image->width, image->height);
    ok = ok && !refused &&
         // the ID field sits between header and pixels; a seek past the end fails
         (header[kTgaIdLength] == 0 || PakSeek(g_currentPak, entry, header[kTgaIdLength], 1) == 0) &&
         ReadPixels(entry, image);
    PakCloseEntry(g_currentPak, entry);
    if (!ok) {
        FreeTgaImage(image);
        if (refused && status != nullptr) {
            *status = ImageLoadStatus::kSizeRefused;
        }
        return nullptr;
    }
    if (status != nullptr) {
        *status = ImageLoadStatus::kLoaded;
    }
    return image;
}

void FreeTgaImage(TgaImage* image) {
    if (image == nullptr) {
        return;
    }
    std::free(image->pixels);
    delete image;
}

int GetTgaInfo(const TgaImage* image, ImageLockInfo* info) {
    if (image == nullptr || info == nullptr) {
        return 0;
    }
    info->width = image->width;
    info->height = image->height;
    info->pixels = image->pixels;
    info->reserved = image->format;
    return 0;
}

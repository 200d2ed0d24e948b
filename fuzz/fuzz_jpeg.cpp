// JPEG: what the texture manager does with a JPEG entry, short of the GL
// upload: decode under the texture size rule and read every pixel.
#include "fuzz/fuzz.h"

#include "tools/formats/image_writer.h"
#include "texture/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageLoadStatus status = ImageLoadStatus::kFailed;
    ImageBuffer* image = DecodeJpegFromMemory(data, static_cast<uint32_t>(size), IsTextureSizeValid, &status);
    if (image == nullptr) {
        return 0;
    }
    ImageLockInfo info = {};
    image->Lock(&info, kImageLockRead);
    uint32_t sum = 0;
    for (int32_t y = 0; y < info.height; ++y) {
        for (int32_t x = 0; x < info.width; ++x) {
            sum += image->GetPixel(x, y);
        }
    }
    image->Unlock();
    image->Destroy();
    g_fuzzSink = sum;
    return 0;
}

std::vector<FuzzSeed> FuzzSeeds() {
    std::vector<uint8_t> rgb(16 * 16 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    std::vector<uint8_t> grey(8 * 8, 128);
    return {
        {"baseline-16x16.jpg", EncodeJpeg(rgb.data(), 16, 16, 3, {80, false, true})},
        {"baseline-444-8x16.jpg", EncodeJpeg(rgb.data(), 8, 16, 3, {95, false, false})},
        {"progressive-16x16.jpg", EncodeJpeg(rgb.data(), 16, 16, 3, {75, true, true})},
        {"progressive-444-2x1.jpg", EncodeJpeg(rgb.data(), 2, 1, 3, {50, true, false})},
        {"grey-8x8.jpg", EncodeJpeg(grey.data(), 8, 8, 1)},
    };
}

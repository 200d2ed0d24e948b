// TGA: what the texture manager does with a TGA entry, short of the GL
// upload: load it from the archive under the texture size rule.
#include "fuzz/fuzz.h"

#include "tools/formats/image_writer.h"
#include "texture/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzArchive archive("t.tga", data, size);
    if (!archive.ok()) {
        return 0;
    }
    ImageLoadStatus status = ImageLoadStatus::kFailed;
    TgaImage* image = LoadTgaImage("t.tga", IsTextureSizeValid, &status);
    if (image != nullptr) {
        ImageLockInfo info = {};
        GetTgaInfo(image, &info);
        const int32_t stride = info.reserved == 0x1908 ? 4 : 3;
        const uint8_t* pixels = static_cast<const uint8_t*>(info.pixels);
        uint32_t sum = 0;
        for (int64_t i = 0; i < static_cast<int64_t>(info.width) * info.height * stride; ++i) {
            sum += pixels[i];
        }
        FreeTgaImage(image);
        g_fuzzSink = sum;
    }
    return 0;
}

std::vector<FuzzSeed> FuzzSeeds() {
    std::vector<uint8_t> pixels(4 * 4 * 4);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(i * 29 + 1);
    }
    TgaWriteOptions withId;
    withId.id = {'i', 'd'};
    TgaWriteOptions grey;
    grey.imageType = 3;
    return {
        {"rgb-4x4.tga", EncodeTga(pixels.data(), 4, 4, 24)},
        {"rgba-4x4.tga", EncodeTga(pixels.data(), 4, 4, 32)},
        {"rgb-2x1-id.tga", EncodeTga(pixels.data(), 2, 1, 24, withId)},
        {"bw-type-4x2.tga", EncodeTga(pixels.data(), 4, 2, 32, grey)},
    };
}

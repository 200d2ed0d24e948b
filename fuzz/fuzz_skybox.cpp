// Sky-box description: run it on a scene's box as the scene script does, then
// draw the box through the recording GL table.
#include "fuzz/fuzz.h"

#include "scene/scene.h"   // Scene::LoadSkyBox
#include "scene/sky_box.h" // SkyBox, g_currentSkyBox
#include "tests/support/gl_recorder.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFreshPool();
    // The description's own entry name ends in neither "jpg" nor "tga", so a
    // face texture can never come from this archive and no GL call is made.
    FuzzArchive archive("sky.txt", data, size);
    if (!archive.ok()) {
        return 0;
    }
    Scene scene;
    SkyBox* box = scene.LoadSkyBox("sky.txt");
    if (box != nullptr) {
        const float views[][12] = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0},
                                   {0, 0, 1, 5, 0, 1, 0, -2, -1, 0, 0, 3}};
        DrawContext ctx = MakeDrawContext(GlTable{});
        GlRecorder recorder(&ctx);
        for (const auto& view : views) {
            DrawSkyBox(&ctx, box, view);
        }
    }
    scene.Destroy();
    g_currentSkyBox = nullptr;
    return 0;
}

std::vector<FuzzSeed> FuzzSeeds() {
    const std::string texts[] = {
        "SkyBox enable\nInitialRotation 0.1 0.2 0.3\nTextureUp up.jpg\nTextureDown down.tga\n"
        "TextureLeft l.jpg\nTextureRight r.jpg\nTextureFront f.jpg\nTextureBack b.jpg\n",
        "# comment\n\nSkyBox disable\nInitialRotation 1 2\n",
        "\tInitialRotation\t-3.5e2 nan inf\r\nTextureUp\nUnknownWord 1 2 3\n",
    };
    std::vector<FuzzSeed> seeds;
    int i = 0;
    for (const std::string& text : texts) {
        seeds.push_back(
            {"sky" + std::to_string(i++) + ".txt", std::vector<uint8_t>(text.begin(), text.end())});
    }
    return seeds;
}

// MD2: load a model (which builds every frame), place an instance and play it
// through every motion, drawing through the recording GL table.
#include "fuzz/fuzz.h"

#include "md2/md2.h"     // Md2Model
#include "scene/scene.h" // Scene, Camera, Md2Instance, AddMd2Instance, FreeMd2Instances
#include "tests/support/gl_recorder.h"
#include "tools/formats/md2_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFreshPool();
    FuzzArchive archive("m.md2", data, size);
    if (!archive.ok()) {
        return 0;
    }
    Md2Model model{};
    if (model.Load("m.md2") == 1) {
        Scene scene;
        Camera camera;
        Md2Instance* instance = AddMd2Instance(&model, "fuzz", 1u);
        if (instance != nullptr) {
            DrawContext ctx = MakeDrawContext(GlTable{});
            ctx.camera = &camera;
            GlRecorder recorder(&ctx);
            for (int32_t motion = -1; motion <= static_cast<int32_t>(model.animCount); ++motion) {
                instance->SetMotion(motion);
                for (int step = 0; step < 4; ++step) {
                    DrawMd2Instance(&ctx, &scene, instance, 0.7f, static_cast<float>(step));
                }
            }
        }
        FreeMd2Instances(&model);
        scene.Destroy();
    }
    delete model.groups;
    return 0;
}

std::vector<FuzzSeed> FuzzSeeds() {
    Md2WriterModel model;
    model.vertexCount = 4;
    model.skins = {"skin.jpg"};
    model.texCoords = {{0, 0}, {255, 0}, {255, 255}, {0, 255}};
    model.triangles = {{{0, 1, 2}, {0, 1, 2}}, {{0, 2, 3}, {0, 2, 3}}};
    const char* names[] = {"stand01", "stand02", "run1", "run2", "run3", "jump01"};
    uint8_t shift = 0;
    for (const char* name : names) {
        model.frames.push_back(Md2MakeFrame(name, {0, 0, 0, 1, 9, 0, 0, 2, 9, 9, shift, 3, 0, 9, 0, 4}));
        shift = static_cast<uint8_t>(shift + 3);
    }
    model.glCommands = {3, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0};
    Md2WriterModel one = model;
    one.frames.resize(1);
    return {{"model.md2", Md2WriteBytes(model)}, {"one-frame.md2", Md2WriteBytes(one)}};
}

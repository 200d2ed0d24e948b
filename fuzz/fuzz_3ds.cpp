// 3DS: load a scene the way the engine does (without textures), prepare its
// tracks, evaluate them at the first, a middle and the last frame and outside
// the segment, and draw it through the recording GL table.
#include "fuzz/fuzz.h"

#include "loader3ds/loader3ds.h" // Load3ds
#include "scene/draw.h"          // RenderScene
#include "scene/scene.h"         // Scene, PrepareTracks, EvaluateTracks
#include "tests/support/gl_recorder.h"
#include "tools/formats/writer3ds.h"

namespace {

// The one place that calls into the reader.
void LoadScene(const char* name, Scene* scene) {
    try {
        Load3ds(name, scene);
    } catch (const char*) {
        // A fatal load leaves the scene partly filled; the player would stop
        // here, but the partial scene must still be safe to tear down.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFreshPool();
    FuzzArchive archive("f.3ds", data, size);
    if (!archive.ok()) {
        return 0;
    }
    Scene scene;
    LoadScene("f.3ds", &scene);
    PrepareTracks(&scene);
    const float last = static_cast<float>(scene.frameCount) - 1.0f;
    const float frames[] = {0.0f, last * 0.5f, last, -1.0f, last + 1.0f, -1.0e9f, 1.0e9f};
    for (float frame : frames) {
        EvaluateTracks(&scene, frame);
    }
    {
        DrawContext ctx = MakeDrawContext(GlTable{});
        GlRecorder recorder(&ctx);
        RenderScene(&ctx, &scene);
    }
    scene.Destroy();
    return 0;
}

std::vector<FuzzSeed> FuzzSeeds() {
    const std::vector<Vec3f> triangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const std::vector<Vec3f> quad = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    std::vector<FuzzSeed> seeds;
    {
        Writer3DS w;
        w.Begin(kChunkMain);
        w.Version(3);
        w.Begin(kChunkEditor);
        w.Material("Red", {1, 0, 0}, {1, 0, 0}, {1, 1, 1}, "red.jpg");
        w.Mesh("Box", quad, {{0, 1, 2, 0}, {0, 2, 3, 0}}, {{"Red", {0, 1}}},
               {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
        w.NamedCamera("Cam", {0, -10, 0}, {0, 0, 0});
        w.NamedLight("Omni", {5, 5, 5}, {1, 1, 1});
        w.NamedSpotlight("Spot", {0, 0, 10}, {1, 1, 0.5f}, {0, 0, 0}, 20, 30);
        w.End();
        w.Begin(kChunkKeyframer);
        w.FrameSegment(0, 50);
        w.Node(kChunkObjectNode, "Box", 0xFFFF,
               {{kChunkPositionTrack, {VectorKey3ds(0, 0, 0, 0), VectorKey3ds(50, 1, 2, 3)}},
                {kChunkRotationTrack, {RotationKey3ds(0, 0, 0, 0, 1), RotationKey3ds(50, 1.5f, 0, 0, 1)}},
                {kChunkScaleTrack, {VectorKey3ds(0, 1, 1, 1)}}});
        w.Node(kChunkCameraNode, "Cam", 0xFFFF,
               {{kChunkPositionTrack, {VectorKey3ds(0, 0, -10, 0)}},
                {kChunkFovTrack, {ScalarKey3ds(0, 45)}},
                {kChunkRollTrack, {ScalarKey3ds(0, 0), ScalarKey3ds(50, 10)}}});
        w.Node(kChunkCameraTargetNode, "Cam", 0xFFFF, {{kChunkPositionTrack, {VectorKey3ds(0, 0, 0, 0)}}});
        w.Node(kChunkLightNode, "Omni", 0xFFFF, {{kChunkColourTrack, {VectorKey3ds(0, 1, 0.5f, 0)}}});
        w.Node(kChunkSpotNode, "Spot", 0xFFFF, {{kChunkPositionTrack, {VectorKey3ds(0, 0, 0, 10)}}});
        w.Node(kChunkObjectNode, "$$$DUMMY", 0, {{kChunkPositionTrack, {VectorKey3ds(0, 1, 1, 1)}}});
        seeds.push_back({"scene.3ds", w.Finish()});
    }
    {
        Writer3DS w;
        w.Begin(kChunkMain);
        w.Begin(kChunkEditor);
        w.Mesh("Tri", triangle, {{0, 1, 2, 0}});
        w.BeginNamedObject("Tri");
        w.LocalAxes({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 2, 3});
        w.End();
        w.End();
        w.Begin(kChunkKeyframer);
        w.FrameSegment(10, 0);
        seeds.push_back({"backward-segment.3ds", w.Finish()});
    }
    return seeds;
}

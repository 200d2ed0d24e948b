// MD2 instance drawing: interpolation, the plane test, culling, the frame
// advance with its one-frame blend into a new motion, and mirror draws.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "md2/md2.h"
#include "memory/memory_pool.h"
#include "scene/draw.h"
#include "scene/scene.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/md2_test_model.h"

namespace {

// A model of one triangle (3 vertices) in 45 frames: motions of 2, 3 and 40
// frames starting at frames 0, 2 and 5. Vertex v of frame f lies at
// (f, v, -10) with a position delta of (1, 0, 0), so a drawn x tells the frame
// and the fraction. Every plane passes the test unless a test says otherwise.
class Md2DrawTest : public ::testing::Test {
  protected:
    static constexpr uint32_t kVerts = 3;
    static constexpr uint32_t kFaces = 1;
    static constexpr uint32_t kFrames = 45;

    void SetUp() override {
        PoolInit(4 * 1024 * 1024);
        fixture.Resize(kVerts, kFaces);
        for (uint32_t f = 0; f < kFrames; ++f) {
            for (uint32_t v = 0; v < kVerts; ++v) {
                frames[f * kVerts + v] = FrameVertex{{0.0f, 0.0f, -1.0f},
                                                     {static_cast<float>(f), static_cast<float>(v), -10.0f},
                                                     {0.0f, 0.0f, 0.0f},
                                                     {1.0f, 0.0f, 0.0f}};
            }
        }
        planes.assign(kFaces * kFrames, FramePlane{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 1.0f, 0.0f});
        for (uint32_t f = 0; f < kFrames; ++f) {
            const float box[6] = {-100.0f, -100.0f, -20.0f, 100.0f, 100.0f, -5.0f};
            std::memcpy(&boxes[6 * f], box, sizeof(box));
        }
        tris = {0, 1, 2, 0};
        fixture.Wire(0.5f);
        original = frames;

        // Eye space = world space: the camera sits at the origin looking down -z.
        const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        std::memcpy(camera.view, identity, sizeof(identity));
        camera.pos[0] = camera.pos[1] = camera.pos[2] = 0.0f;
        float projection[16];
        PerspectiveMatrix(90.0, 1.0, kDrawNearPlane, kDrawFarPlane, projection);
        const float glIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        ExtractFrustumPlanes(projection, glIdentity, camera.planes);
        ctx.camera = &camera;
    }
    void TearDown() override {
        FreeMd2Instances(&model);
        PoolRelease();
    }

    // One normal draw at scene time `time` with dt 1; returns the drawn x of vertex 0.
    float DrawOnce(Md2Instance* instance, float time = 0.0f) {
        GlRecorder recorder(&ctx);
        DrawMd2Instance(&ctx, &scene, instance, 1.0f, time);
        return arrayVerts[0].x;
    }

    TestMd2Model fixture;
    Md2Model& model = fixture.model;
    std::vector<FrameVertex>& frames = fixture.frames;
    std::vector<FramePlane>& planes = fixture.planes;
    std::vector<float>& boxes = fixture.boxes;
    std::vector<ArrayVertex>& arrayVerts = fixture.arrayVerts;
    std::vector<int32_t>& state = fixture.state;
    std::vector<uint16_t>& tris = fixture.tris;
    std::vector<FrameVertex> original;
    Scene scene;
    Camera camera;
    DrawContext ctx = MakeDrawContext(GlTable{});
};

TEST_F(Md2DrawTest, AMotionChangeShowsOneBlendedFrameThenPlaysTheNewMotion) {
    Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
    ASSERT_NE(instance, nullptr);
    instance->SetMotion(2); // frames 5..44; preparedAnim 1000 asks for a first blend

    EXPECT_FLOAT_EQ(DrawOnce(instance), 5.0f); // drawn as set; the blend into frame 5 starts
    EXPECT_EQ(instance->inTransition, 1);
    EXPECT_EQ(instance->frames, instance->blendVerts == frames.data() ? instance->frames : nullptr);
    EXPECT_NE(instance->frames, frames.data());
    EXPECT_FLOAT_EQ(DrawOnce(instance), 5.0f); // the blend from frame 5 to frame 5
    EXPECT_EQ(instance->inTransition, 0);
    EXPECT_EQ(instance->frames, frames.data());
    EXPECT_FLOAT_EQ(DrawOnce(instance), 5.0f);
    EXPECT_FLOAT_EQ(DrawOnce(instance), 5.5f);
    EXPECT_FLOAT_EQ(DrawOnce(instance), 6.0f);
    EXPECT_EQ(instance->frameInAnim, 1u);

    // A key switches to motion 1 (frames 2..4) while frame 6 plays.
    instance->anim = 1;
    EXPECT_FLOAT_EQ(DrawOnce(instance), 6.5f); // still the old pose; the blend is built
    EXPECT_EQ(instance->inTransition, 1);
    EXPECT_EQ(instance->preparedAnim, 1);
    EXPECT_FLOAT_EQ(DrawOnce(instance), 4.25f); // halfway from 6.5 to frame 2
    EXPECT_EQ(instance->inTransition, 0);
    EXPECT_FLOAT_EQ(DrawOnce(instance), 2.0f); // the new motion from its first frame
    EXPECT_FLOAT_EQ(DrawOnce(instance), 2.5f);
    EXPECT_FLOAT_EQ(DrawOnce(instance), 3.0f);

    EXPECT_EQ(std::memcmp(frames.data(), original.data(), frames.size() * sizeof(FrameVertex)), 0);
}

TEST_F(Md2DrawTest, ASwitchDuringABlendStartsFromTheBlendAndKeepsTheModelIntact) {
    Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
    instance->SetMotion(2);
    DrawOnce(instance);
    DrawOnce(instance);
    DrawOnce(instance);
    DrawOnce(instance); // frame 5 at 0.5 drawn, now frame 6 at 0
    instance->anim = 1;
    EXPECT_FLOAT_EQ(DrawOnce(instance), 6.0f); // blend from 6 toward frame 2 built
    ASSERT_EQ(instance->inTransition, 1);
    instance->anim = 0;                        // another switch before the blend is over
    EXPECT_FLOAT_EQ(DrawOnce(instance), 4.0f); // halfway from 6 to 2; a blend from 4 to frame 0 is built
    EXPECT_EQ(instance->inTransition, 1);
    EXPECT_EQ(instance->blendVerts, frames.data());
    EXPECT_FLOAT_EQ(DrawOnce(instance), 2.0f); // halfway from 4 to frame 0
    EXPECT_EQ(instance->inTransition, 0);
    EXPECT_EQ(instance->frames, frames.data());
    EXPECT_EQ(instance->framePlanes, planes.data());
    EXPECT_FLOAT_EQ(DrawOnce(instance), 0.0f);
    EXPECT_EQ(std::memcmp(frames.data(), original.data(), frames.size() * sizeof(FrameVertex)), 0);
}

TEST_F(Md2DrawTest, MotionsWrapAtTheirEnd) {
    model.speed = 1.0f;
    Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
    instance->SetMotion(1);
    instance->preparedAnim = 1; // already playing
    const float expected[] = {2.0f, 3.0f, 4.0f, 2.0f, 3.0f};
    for (float x : expected) {
        EXPECT_FLOAT_EQ(DrawOnce(instance), x);
    }
}

TEST_F(Md2DrawTest, LargeStepsStayInsideTheMotion) {
    struct Case {
        float dt;
        uint32_t frameInAnim;
        float frac;
    };
    // Motion 1: three frames. From frame 0, fraction 0.
    const Case cases[] = {
        {2.25f, 2u, 0.25f}, {3.5f, 0u, 0.5f}, {7.25f, 1u, 0.25f}, {1e9f, 1u, 0.0f}, {-4.0f, 0u, 0.0f},
    };
    for (const Case& c : cases) {
        Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
        instance->SetMotion(1);
        instance->preparedAnim = 1;
        instance->speed = 1.0f;
        GlRecorder recorder(&ctx);
        DrawMd2Instance(&ctx, &scene, instance, c.dt, 0.0f);
        EXPECT_EQ(instance->frameInAnim, c.frameInAnim) << c.dt;
        EXPECT_FLOAT_EQ(instance->frac, c.frac) << c.dt;
        EXPECT_EQ(instance->vertexOffset, static_cast<int32_t>((2 + c.frameInAnim) * kVerts)) << c.dt;
        EXPECT_EQ(instance->planeOffset, static_cast<int32_t>((2 + c.frameInAnim) * kFaces)) << c.dt;
    }
}

TEST_F(Md2DrawTest, ACulledInstanceKeepsItsFrameButFollowsItsMoves) {
    Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
    instance->SetMotion(2);
    instance->preparedAnim = 2;
    instance->frac = 0.25f;
    instance->frameInAnim = 3;
    instance->pos[2] = 100.0f; // behind the camera
    const float target[3] = {0.0f, 0.0f, 200.0f};
    const float rotation[3] = {0.0f, 0.0f, 0.0f};
    instance->QueueMove(2, target, rotation, 10.0f);
    GlRecorder recorder(&ctx);
    DrawMd2Instance(&ctx, &scene, instance, 1.0f, 1.0f);
    DrawMd2Instance(&ctx, &scene, instance, 1.0f, 2.0f);
    EXPECT_TRUE(recorder.counts.empty());
    EXPECT_EQ(ctx.stats.objectsCulled, 2u);
    EXPECT_FLOAT_EQ(instance->frac, 0.25f);
    EXPECT_EQ(instance->frameInAnim, 3u);
    EXPECT_GT(instance->pos[2], 100.0f);
}

TEST_F(Md2DrawTest, TrianglesFailingThePlaneTestAreNotDrawn) {
    Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
    instance->SetMotion(0);
    instance->preparedAnim = 0;
    // d - n . eye = 1 - 0.5 x 1 at frac 0 ... the delta makes it fail at frac 0.5.
    planes[0] = FramePlane{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 1.0f, -4.0f};
    {
        GlRecorder recorder(&ctx);
        DrawMd2Instance(&ctx, &scene, instance, 1.0f, 0.0f);
        EXPECT_EQ(recorder.triangles.size(), 1u);
    }
    EXPECT_FLOAT_EQ(instance->frac, 0.5f);
    {
        GlRecorder recorder(&ctx);
        DrawMd2Instance(&ctx, &scene, instance, 0.0f, 0.0f);
        EXPECT_TRUE(recorder.triangles.empty());
        EXPECT_EQ(state[0], 0);
    }
}

TEST_F(Md2DrawTest, TranslucentScenesUseImmediateCallsWithTheSkin) {
    scene.opacity = 0.25f;
    Md2Instance* instance = AddMd2Instance(&model, "walker", 77u);
    instance->SetMotion(0);
    instance->preparedAnim = 0;
    GlRecorder recorder(&ctx);
    DrawMd2Instance(&ctx, &scene, instance, 0.0f, 0.0f);
    ASSERT_EQ(recorder.triangles.size(), 1u);
    const DrawnTriangle& t = recorder.triangles[0];
    EXPECT_TRUE(t.immediate);
    EXPECT_EQ(t.texture, 77u);
    for (const DrawnVertex& v : t.v) {
        EXPECT_EQ(v.a, 0.25f);
    }
}

TEST_F(Md2DrawTest, InstancesSharingTheModelArraysEachDrawTheirOwnVertices) {
    Md2Instance* first = AddMd2Instance(&model, "one", 5u);
    Md2Instance* second = AddMd2Instance(&model, "two", 5u);
    for (Md2Instance* instance : {first, second}) {
        instance->SetMotion(0);
        instance->preparedAnim = 0;
    }
    second->pos[1] = 1.0f;
    scene.opacity = 0.5f;
    GlRecorder recorder(&ctx);
    DrawMd2Instances(&ctx, &model, &scene, 0.0f, 0.0f);
    // Vertex 0 of each triangle lies at y 0 plus the instance's height.
    ASSERT_EQ(recorder.triangles.size(), 2u);
    std::vector<float> heights = {recorder.triangles[0].v[0].y, recorder.triangles[1].v[0].y};
    std::sort(heights.begin(), heights.end());
    EXPECT_FLOAT_EQ(heights[0], 0.0f);
    EXPECT_FLOAT_EQ(heights[1], 1.0f);
}

TEST_F(Md2DrawTest, MirrorDrawsReflectWithoutChangingTheFrameState) {
    Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
    instance->SetMotion(2); // a switch is pending
    instance->frac = 0.5f;
    Mirror mirror;
    mirror.SetNormal(0.0f, -1.0f, 0.0f);
    mirror.AddInstance(instance);
    instance->pos[1] = 3.0f;
    const float target[3] = {0.0f, 50.0f, 0.0f};
    const float rotation[3] = {0.0f, 0.0f, 0.0f};
    instance->QueueMove(2, target, rotation, 10.0f);
    scene.time = 5.0f;
    scene.dt = 1.0f;
    GlRecorder recorder(&ctx);
    DrawMirror(&ctx, &scene, &mirror);
    EXPECT_FLOAT_EQ(arrayVerts[1].y, -4.0f); // vertex 1 at y 1 + 3, reflected
    EXPECT_FLOAT_EQ(instance->frac, 0.5f);
    EXPECT_EQ(instance->preparedAnim, kPreparedAnimNone);
    EXPECT_EQ(instance->inTransition, 0);
    EXPECT_FLOAT_EQ(instance->pos[1], 3.0f); // moves advance only in normal draws
    EXPECT_NE(instance->keyHead, nullptr);
}

TEST_F(Md2DrawTest, BrokenInstancesDrawNothing) {
    Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
    instance->preparedAnim = 0;
    struct Case {
        const char* name;
        int32_t anim;
        int32_t groupCount;
    };
    const Case cases[] = {{"motion past the table", 7, 1}, {"negative motion", -1, 1}, {"no groups", 0, 0}};
    for (const Case& c : cases) {
        instance->anim = c.anim;
        instance->groupCount = c.groupCount;
        GlRecorder recorder(&ctx);
        DrawMd2Instance(&ctx, &scene, instance, 1.0f, 0.0f);
        EXPECT_TRUE(recorder.counts.empty()) << c.name;
    }
    // Triangle indices past the vertices are skipped.
    instance->anim = 0;
    instance->groupCount = 1;
    tris[1] = 9;
    GlRecorder recorder(&ctx);
    DrawMd2Instance(&ctx, &scene, instance, 0.0f, 0.0f);
    EXPECT_TRUE(recorder.triangles.empty());
}

TEST_F(Md2DrawTest, ChromePassAddsTheEnvironmentOverTheSameTriangleAndEndsBlending) {
    Md2Instance* instance = AddMd2Instance(&model, "walker", 5u);
    instance->SetMotion(0);
    instance->preparedAnim = 0;
    instance->groups[0].material->envTexture = 9;
    instance->groups[0].material->envAlpha = 0.75f;
    GlRecorder recorder(&ctx);
    DrawMd2Instance(&ctx, &scene, instance, 0.0f, 0.0f);
    ASSERT_EQ(recorder.triangles.size(), 2u);
    ASSERT_EQ(recorder.WithTexture(5).size(), 1u);
    ASSERT_EQ(recorder.WithTexture(9).size(), 1u);
    const DrawnTriangle base = recorder.WithTexture(5)[0];
    const DrawnTriangle chrome = recorder.WithTexture(9)[0];
    EXPECT_FALSE(base.blend);
    EXPECT_TRUE(chrome.blend);
    EXPECT_EQ(chrome.blendDestination, static_cast<uint32_t>(GL_ONE));
    EXPECT_TRUE(SameCorners(base, chrome, 0.0f));
    for (const DrawnVertex& v : chrome.v) {
        // Normal (0, 0, -1) under the identity view: both coordinates 0.5.
        EXPECT_FLOAT_EQ(v.u, 0.5f);
        EXPECT_FLOAT_EQ(v.v, 0.5f);
        EXPECT_EQ(v.a, 0.75f);
        EXPECT_EQ(v.r, 1.0f);
    }
    EXPECT_FALSE(recorder.blend);
}

} // namespace

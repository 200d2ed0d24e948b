// Mesh drawing: back faces, lighting, the triangles GL receives in each
// render mode, the chrome pass, mirrors and what RenderScene draws over what.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "math/math3d.h"
#include "memory/memory_pool.h"
#include "md2/md2.h"
#include "scene/draw.h"
#include "scene/scene.h"
#include "scene/sky_box.h"
#include "tests/support/face_builder.h"
#include "tests/support/gl_recorder.h"

namespace {

// A mesh in the z = 0 plane seen by a camera at (0, 0, 10): a quad of two
// faces (vertices 0..3, normals away from the camera, so both pass the
// back-face test) and one back face that alone uses vertex 4.
struct TestMesh {
    std::vector<MeshVertex> vertices;
    std::vector<ArrayVertex> arrayVerts;
    std::vector<float> envUV;
    std::vector<int32_t> state;
    std::vector<Face> faces;
    std::vector<MaterialGroup> groups;
    std::vector<Material> materials;
    MeshObject object;

    TestMesh() {
        const float positions[5][3] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0}};
        for (const auto& p : positions) {
            vertices.push_back(MeshVertex{{0.0f, 0.0f, -1.0f}, {p[0], p[1], p[2]}});
        }
        faces.push_back(MakeFace(vertices, 0, 1, 2));
        faces.push_back(MakeFace(vertices, 2, 1, 3));
        faces.push_back(MakeFace(vertices, 0, 1, 4));
        materials.resize(2, Material{});
        materials[0].texture = 11;
        materials[1].texture = 12;
        groups.push_back(MaterialGroup{&materials[0], 3, nullptr});
        Finish();
    }

    // Sizes the arrays and points the object at them.
    void Finish() {
        arrayVerts.assign(vertices.size(),
                          ArrayVertex{0.5f, 0.25f, -7.0f, -7.0f, -7.0f, -7.0f, -7.0f, -7.0f});
        envUV.assign(2 * vertices.size(), 0.0f);
        state.assign(vertices.size(), 0);
        object.rot[0] = 1.0f;
        object.vertexCount = static_cast<int32_t>(vertices.size());
        object.faceCount = static_cast<int32_t>(faces.size());
        object.vertices = vertices.data();
        object.arrayVerts = arrayVerts.data();
        object.envUV = envUV.data();
        object.vertexState = state.data();
        object.faces = faces.data();
        object.groups = groups.data();
        object.groupCount = static_cast<int32_t>(groups.size());
        for (int i = 0; i < 3; ++i) {
            object.bboxMin[i] = -1.0f;
            object.bboxMax[i] = 1.0f;
        }
    }
};

// A scene whose camera at (0, 0, 10) looks at the origin, with view and
// planes ready (fov 90, aspect 1). The view carries the error of the fast
// length (a few parts in a thousand), hence the tolerances on eye positions.
class DrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lights.reserve(kSceneLightCapacity); // the scene keeps pointers into it
        camera.pos[0] = 0.0f;
        camera.pos[1] = 0.0f;
        camera.pos[2] = 10.0f;
        camera.UpdateView();
        float projection[16];
        PerspectiveMatrix(90.0, 1.0, kDrawNearPlane, kDrawFarPlane, projection);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        ExtractFrustumPlanes(projection, identity, camera.planes);
        scene.cameras[0] = &camera;
        scene.cameraCount = 1;
        ctx.camera = &camera;
    }

    void AddLight(float x, float y, float z, float r, float g, float b) {
        lights.push_back(Light{});
        Light& light = lights.back();
        light.pos[0] = x;
        light.pos[1] = y;
        light.pos[2] = z;
        light.colour[0] = r;
        light.colour[1] = g;
        light.colour[2] = b;
        scene.lights[scene.lightCount++] = &light;
    }

    Scene scene;
    Camera camera;
    TestMesh mesh;
    std::vector<Light> lights;
    DrawContext ctx = MakeDrawContext(GlTable{});
};

TEST(LightVertex, Cases) {
    struct Case {
        const char* name;
        std::vector<LocalLight> lights;
        float normal[3];
        float expected[3];
    };
    const float p[3] = {0.0f, 0.0f, 0.0f};
    auto light = [](float x, float y, float z, float r, float g, float b) {
        return LocalLight{{x, y, z}, {r, g, b}, 0.0f, 0.0f, kLightKindOmni};
    };
    const std::vector<Case> cases = {
        {"no lights", {}, {0, 0, -1}, {0, 0, 0}},
        {"light along the normal's back", {light(0, 0, 5, 0.5f, 0.25f, 1)}, {0, 0, -1}, {0.5f, 0.25f, 1}},
        {"light on the normal's side gives nothing", {light(0, 0, -5, 1, 1, 1)}, {0, 0, -1}, {0, 0, 0}},
        {"light at the vertex gives nothing", {light(0, 0, 0, 1, 1, 1)}, {0, 0, -1}, {0, 0, 0}},
        {"two lights of 0.8 clamp to 1",
         {light(0, -6, 8, 1, 1, 1), light(0, 6, 8, 1, 1, 1)},
         {0, 0, -1},
         {1, 1, 1}},
        {"negative colours clamp to 0", {light(0, 0, 5, -1, 0.5f, -0.5f)}, {0, 0, -1}, {0, 0.5f, 0}},
        {"the normal is not made unit length",
         {light(0, 0, 5, 0.25f, 0.25f, 0.25f)},
         {0, 0, -2},
         {0.5f, 0.5f, 0.5f}},
    };
    for (const Case& c : cases) {
        float colour[3] = {9.0f, 9.0f, 9.0f};
        LightVertex(p, c.normal, c.lights.data(), static_cast<int32_t>(c.lights.size()), colour);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(colour[i], c.expected[i], 3e-3f) << c.name << " component " << i;
        }
    }
}

TEST(LightVertex, TwoLightsOfPointEightEachGiveAtLeastOne) {
    // The light 10 units away at an angle whose cosine is 0.8.
    const LocalLight lights[2] = {{{0.0f, -6.0f, 8.0f}, {1.0f, 1.0f, 1.0f}, 0.0f, 0.0f, kLightKindOmni},
                                  {{0.0f, 6.0f, 8.0f}, {1.0f, 1.0f, 1.0f}, 0.0f, 0.0f, kLightKindOmni}};
    const float p[3] = {0.0f, 0.0f, 0.0f};
    const float n[3] = {0.0f, 0.0f, -1.0f};
    float single[3];
    LightVertex(p, n, lights, 1, single);
    EXPECT_NEAR(single[0], 0.8f, 3e-3f);
    float both[3];
    LightVertex(p, n, lights, 2, both);
    EXPECT_EQ(both[0], 1.0f);
    EXPECT_EQ(both[1], 1.0f);
    EXPECT_EQ(both[2], 1.0f);
}

TEST(FaceVisible, UsesTheIntegerPartOfD) {
    Face face{};
    face.normal[2] = 32767; // n = (0, 0, 1)
    const float eye[3] = {0.0f, 0.0f, 0.5f};
    struct Case {
        float d;
        bool visible;
    };
    // 0.9 tests as 0: 0 - 0.5 < 0. 1.9 tests as 1. -0.9 tests as 0 (toward zero).
    const Case cases[] = {{0.9f, false}, {1.9f, true},   {0.5f, false},
                          {1.0f, true},  {-0.9f, false}, {3e9f, true}};
    for (const Case& c : cases) {
        face.d = c.d;
        EXPECT_EQ(FaceVisible(face, eye), c.visible) << c.d;
    }
    const float onPlane[3] = {0.0f, 0.0f, 0.0f};
    face.d = 0.0f;
    EXPECT_TRUE(FaceVisible(face, onPlane));
}

TEST(EnvironmentCoords, UsesTheRotationRowsOnly) {
    const float m[12] = {0, 0, 1, 100, 0, 1, 0, 200, 1, 0, 0, 300};
    const float n[3] = {0.0f, 0.6f, 0.8f};
    float uv[2];
    EnvironmentCoords(m, n, uv);
    EXPECT_NEAR(uv[0], (0.8f + 1.0f) * 0.5f, 1e-6f);
    EXPECT_NEAR(uv[1], (0.6f + 1.0f) * 0.5f, 1e-6f);
}

// Opaque scenes send indexed arrays, translucent ones immediate vertices
// with the scene's alpha; both draw the same two front faces with the
// loader's texture coordinates, the lit colours and eye-space positions.
TEST_F(DrawTest, BothRenderModesDrawTheFrontFacesLitInEyeSpace) {
    AddLight(0.0f, 0.0f, 10.0f, 1.0f, 0.5f, 0.25f);
    struct Case {
        float opacity;
        bool immediate;
        float alpha;
    };
    const Case cases[] = {{1.0f, false, 1.0f}, {0.5f, true, 0.5f}};
    for (const Case& c : cases) {
        scene.opacity = c.opacity;
        mesh.Finish();
        GlRecorder recorder(&ctx);
        DrawMesh(&ctx, &scene, &mesh.object);
        ASSERT_EQ(recorder.triangles.size(), 2u) << c.opacity;
        for (const DrawnTriangle& t : recorder.triangles) {
            EXPECT_EQ(t.immediate, c.immediate);
            EXPECT_EQ(t.texture, 11u);
            for (const DrawnVertex& v : t.v) {
                EXPECT_EQ(v.a, c.alpha);
                EXPECT_EQ(v.u, 0.5f);
                EXPECT_EQ(v.v, 0.25f);
                EXPECT_NEAR(v.z, -10.0f, 2e-2f);
            }
        }
        // Vertex 0 sits right under the light: full light colour. Eye-space x
        // runs opposite to world x.
        const DrawnVertex& first = recorder.triangles[0].v[0];
        EXPECT_NEAR(first.r, 1.0f, 3e-3f);
        EXPECT_NEAR(first.g, 0.5f, 3e-3f);
        EXPECT_NEAR(first.b, 0.25f, 3e-3f);
        DrawnTriangle expected{};
        const float corners[3][2] = {{-1.0f, 0.0f}, {0.0f, 1.0f}, {-1.0f, 1.0f}}; // world 2, 1, 3
        for (int k = 0; k < 3; ++k) {
            expected.v[k] = DrawnVertex{corners[k][0], corners[k][1], -10.0f, 0, 0, 0, 0, 0, 0};
        }
        EXPECT_TRUE(SameCorners(recorder.triangles[1], expected, 3e-2f)) << c.opacity;
    }
}

// More triangles than one indexed draw holds all arrive, in face order.
TEST_F(DrawTest, LargeGroupsAreDrawnWholeInFaceOrder) {
    constexpr int32_t kFaces = 3 * 1024 / 3 * 2 + 5;
    std::vector<Face> faces(static_cast<size_t>(kFaces));
    for (int32_t f = 0; f < kFaces; ++f) {
        faces[static_cast<size_t>(f)] = mesh.faces[static_cast<size_t>(f % 2)];
    }
    mesh.object.faces = faces.data();
    mesh.object.faceCount = kFaces;
    mesh.groups[0].faceCount = kFaces;
    GlRecorder recorder(&ctx);
    DrawMesh(&ctx, &scene, &mesh.object);
    ASSERT_EQ(recorder.triangles.size(), static_cast<size_t>(kFaces));
    for (size_t f = 0; f < recorder.triangles.size(); ++f) {
        EXPECT_TRUE(SameCorners(recorder.triangles[f], recorder.triangles[f % 2], 0.0f)) << f;
    }
    EXPECT_FALSE(SameCorners(recorder.triangles[0], recorder.triangles[1], 1e-3f));
    EXPECT_EQ(ctx.stats.verticesLit, 4u);
}

TEST_F(DrawTest, SharedVertexIsLitOnceAndBackFaceVertexNever) {
    GlRecorder recorder(&ctx);
    DrawMesh(&ctx, &scene, &mesh.object);
    EXPECT_EQ(ctx.stats.verticesLit, 4u);
    EXPECT_EQ(ctx.stats.facesDrawn, 2u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(mesh.state[i], 1) << i;
    }
    EXPECT_EQ(mesh.state[4], 0);
    EXPECT_EQ(mesh.arrayVerts[4].x, -7.0f);
    EXPECT_EQ(mesh.arrayVerts[4].r, -7.0f);
    // Eye space: x runs opposite to world x, the plane lies 10 units ahead.
    EXPECT_NEAR(mesh.arrayVerts[3].x, -1.0f, 2e-3f);
    EXPECT_NEAR(mesh.arrayVerts[3].y, 1.0f, 2e-3f);
    EXPECT_NEAR(mesh.arrayVerts[3].z, -10.0f, 2e-2f);
}

TEST_F(DrawTest, ObjectPositionAndRotationMoveTheVertices) {
    mesh.object.pos[0] = 2.0f;
    mesh.object.pos[2] = -5.0f;
    // Half a turn about y, given unnormalised: the draw makes it unit length.
    mesh.object.rot[0] = 0.0f;
    mesh.object.rot[2] = 3.0f;
    GlRecorder recorder(&ctx);
    DrawMesh(&ctx, &scene, &mesh.object);
    EXPECT_NEAR(mesh.object.rot[2], 1.0f, 1e-6f);
    // World vertex 0 = (2, 0, -5). The quad's normals now point at the
    // camera, so only the former back face is drawn.
    ASSERT_EQ(recorder.triangles.size(), 1u);
    EXPECT_EQ(mesh.state[4], 1);
    EXPECT_EQ(mesh.state[3], 0);
    EXPECT_NEAR(mesh.arrayVerts[0].x, -2.0f, 1e-2f);
    EXPECT_NEAR(mesh.arrayVerts[0].z, -15.0f, 3e-2f);
    EXPECT_NEAR(mesh.arrayVerts[4].x, -3.0f, 1e-2f); // world (3, 0, -5)
}

TEST_F(DrawTest, ZeroRotationIsLeftAlone) {
    mesh.object.rot[0] = 0.0f;
    GlRecorder recorder(&ctx);
    DrawMesh(&ctx, &scene, &mesh.object);
    for (float value : mesh.object.rot) {
        EXPECT_EQ(value, 0.0f);
    }
}

TEST_F(DrawTest, EveryLightIsUsedWhateverItsSwitchInObjectSpace) {
    AddLight(0.0f, 0.0f, 10.0f, 0.25f, 0.0f, 0.0f);
    AddLight(0.0f, 0.0f, 10.0f, 0.0f, 0.5f, 0.0f);
    lights[0].on = 0;
    lights[1].on = 1;
    {
        GlRecorder recorder(&ctx);
        DrawMesh(&ctx, &scene, &mesh.object);
        EXPECT_NEAR(mesh.arrayVerts[0].r, 0.25f, 3e-3f);
        EXPECT_NEAR(mesh.arrayVerts[0].g, 0.5f, 3e-3f);
        EXPECT_EQ(mesh.arrayVerts[0].b, 0.0f);
        EXPECT_NEAR(scene.localLights[0].position[2], 10.0f, 1e-4f);
    }
    lights[0].pos[0] = 3.0f;
    lights[0].pos[1] = 4.0f;
    lights[0].pos[2] = 5.0f;
    mesh.object.pos[0] = 1.0f;
    mesh.object.pos[1] = 1.0f;
    mesh.object.pos[2] = 1.0f;
    GlRecorder recorder(&ctx);
    DrawMesh(&ctx, &scene, &mesh.object);
    EXPECT_NEAR(scene.localLights[0].position[0], 2.0f, 1e-5f);
    EXPECT_NEAR(scene.localLights[0].position[1], 3.0f, 1e-5f);
    EXPECT_NEAR(scene.localLights[0].position[2], 4.0f, 1e-5f);
    EXPECT_EQ(scene.localLights[0].kind, kLightKindNew);
}

TEST_F(DrawTest, CulledOrEmptyObjectsMakeNoCalls) {
    {
        mesh.object.pos[2] = 20.0f; // behind the camera
        GlRecorder recorder(&ctx);
        DrawMesh(&ctx, &scene, &mesh.object);
        EXPECT_TRUE(recorder.counts.empty());
        EXPECT_EQ(ctx.stats.objectsCulled, 1u);
        EXPECT_EQ(mesh.state[0], 0);
    }
    {
        mesh.object.pos[2] = 0.0f;
        mesh.object.groupCount = 0;
        GlRecorder recorder(&ctx);
        DrawMesh(&ctx, &scene, &mesh.object);
        EXPECT_TRUE(recorder.counts.empty());
    }
}

// Each group's faces follow the previous group's; damaged groups are cut at
// the face array's end or skipped, faces pointing past the vertices are
// skipped, and a group without a material draws untextured (texture 0).
TEST_F(DrawTest, GroupsTakeTheirFacesInTurnAndDamageIsCutOrSkipped) {
    struct Case {
        const char* name;
        std::vector<MaterialGroup> groups;
        int badFace;                    // face whose third index is made to point past the vertices, or -1
        std::vector<uint32_t> textures; // of the triangles drawn, in face order
    };
    Material* m = mesh.materials.data();
    const std::vector<Case> cases = {
        {"two groups", {{&m[0], 1, nullptr}, {&m[1], 2, nullptr}}, -1, {11, 12}},
        {"damaged", {{nullptr, 1, nullptr}, {&m[1], 1000, nullptr}, {&m[1], -5, nullptr}}, 1, {0}},
    };
    for (const Case& c : cases) {
        TestMesh fresh;
        fresh.groups = c.groups;
        if (c.badFace >= 0) {
            fresh.faces[static_cast<size_t>(c.badFace)].c = 400;
        }
        fresh.Finish();
        for (MaterialGroup& g : fresh.groups) {
            g.material =
                g.material == nullptr ? nullptr : &fresh.materials[static_cast<size_t>(g.material - m)];
        }
        GlRecorder recorder(&ctx);
        DrawMesh(&ctx, &scene, &fresh.object);
        ASSERT_EQ(recorder.triangles.size(), c.textures.size()) << c.name;
        for (size_t i = 0; i < c.textures.size(); ++i) {
            EXPECT_EQ(recorder.triangles[i].texture, c.textures[i]) << c.name;
        }
    }
}

// The chrome pass draws the same visible faces again, white with the
// material's alpha and the environment texture, added over the base pass;
// blending ends off, in opaque and translucent scenes alike.
TEST_F(DrawTest, ChromePassAddsTheEnvironmentOverTheVisibleFaces) {
    for (float opacity : {1.0f, 0.5f}) {
        scene.opacity = opacity;
        mesh.materials[0].envTexture = 21;
        mesh.materials[0].envAlpha = 0.3f;
        GlRecorder recorder(&ctx);
        DrawMesh(&ctx, &scene, &mesh.object);
        const std::vector<DrawnTriangle> base = recorder.WithTexture(11);
        const std::vector<DrawnTriangle> chrome = recorder.WithTexture(21);
        ASSERT_EQ(base.size(), 2u);
        ASSERT_EQ(chrome.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_TRUE(SameCorners(base[i], chrome[i], 0.0f)) << opacity;
            EXPECT_TRUE(chrome[i].blend);
            EXPECT_EQ(chrome[i].blendSource, static_cast<uint32_t>(GL_SRC_ALPHA));
            EXPECT_EQ(chrome[i].blendDestination, static_cast<uint32_t>(GL_ONE));
            for (const DrawnVertex& v : chrome[i].v) {
                EXPECT_EQ(v.r, 1.0f);
                EXPECT_EQ(v.g, 1.0f);
                EXPECT_EQ(v.b, 1.0f);
                EXPECT_NEAR(v.a, 0.3f, 1e-6f);
                // Normal (0, 0, -1) seen by this camera: both coordinates 0.5.
                EXPECT_NEAR(v.u, 0.5f, 1e-3f);
                EXPECT_NEAR(v.v, 0.5f, 1e-3f);
            }
        }
        EXPECT_FALSE(recorder.blend) << opacity;
        for (int v = 0; v < 4; ++v) {
            EXPECT_EQ(mesh.state[v], 2);
        }
        EXPECT_EQ(mesh.state[4], 0);
    }
}

TEST_F(DrawTest, NoChromePassWithoutEnvironmentCoordinates) {
    mesh.materials[0].envTexture = 21;
    mesh.object.envUV = nullptr;
    GlRecorder recorder(&ctx);
    DrawMesh(&ctx, &scene, &mesh.object);
    EXPECT_EQ(recorder.triangles.size(), 2u);
    EXPECT_TRUE(recorder.WithTexture(21).empty());
}

// The floor mirror of the show: normal (0, -1, 0) through the origin.
Mirror FloorMirror() {
    Mirror mirror;
    mirror.SetNormal(0.0f, -1.0f, 0.0f);
    mirror.SetCorner(0, -1.0f, 0.0f, -1.0f);
    mirror.SetCorner(1, -1.0f, 0.0f, 1.0f);
    mirror.SetCorner(2, 1.0f, 0.0f, -1.0f);
    mirror.SetCorner(3, 1.0f, 0.0f, 1.0f);
    mirror.TakePointFromCorner();
    mirror.alpha = 0.6f;
    return mirror;
}

// The reflected mesh first, then the quad blended over it without depth test
// or texture; the state is as before afterwards.
TEST_F(DrawTest, MirrorDrawsItsMeshesReflectedThenTheQuadOverThem) {
    Mirror mirror = FloorMirror();
    mirror.SetCornerColour(2, 0.5f, 0.25f, 0.125f);
    mesh.object.pos[1] = 2.0f; // vertex 3 at world y = 3
    mirror.AddMesh(&mesh.object);
    GlRecorder recorder(&ctx);
    DrawMirror(&ctx, &scene, &mirror);
    EXPECT_EQ(ctx.mirror, nullptr);
    ASSERT_EQ(recorder.triangles.size(), 4u);
    for (size_t i = 0; i < 2; ++i) {
        const DrawnTriangle& reflected = recorder.triangles[i];
        EXPECT_EQ(reflected.texture, 11u);
        for (const DrawnVertex& v : reflected.v) {
            EXPECT_LT(v.y, -1.9f); // world y 2 and 3, reflected
        }
    }
    bool sawCorner2 = false;
    for (size_t i = 2; i < 4; ++i) {
        const DrawnTriangle& quad = recorder.triangles[i];
        EXPECT_FALSE(quad.textured);
        EXPECT_FALSE(quad.depthTest);
        EXPECT_TRUE(quad.blend);
        EXPECT_EQ(quad.blendDestination, static_cast<uint32_t>(GL_ONE_MINUS_SRC_ALPHA));
        for (const DrawnVertex& v : quad.v) {
            EXPECT_NEAR(v.a, 0.6f, 1e-6f);
            // Corner 2 = (1, 0, -1) in world space, (-1, 0, -11) in eye space.
            if (std::fabs(v.x + 1.0f) < 2e-3f && std::fabs(v.z + 11.0f) < 3e-2f) {
                sawCorner2 = true;
                EXPECT_EQ(v.r, 0.5f);
                EXPECT_EQ(v.b, 0.125f);
            }
        }
    }
    EXPECT_TRUE(sawCorner2);
    EXPECT_TRUE(recorder.textured);
    EXPECT_TRUE(recorder.depthTest);
    EXPECT_FALSE(recorder.blend);
    // Without a viewport to bound it the reflection is drawn unclipped.
    EXPECT_EQ(recorder.Count("Scissor"), 0);
}

// Window position of eye-space point p under the context's projection and
// viewport (the modelview is the identity); false behind GL's near plane.
bool WindowPoint(const DrawContext& ctx, const float p[3], float window[2]) {
    float clip[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int r = 0; r < 4; ++r) {
        const float* m = ctx.projection;
        clip[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
    }
    if (clip[2] + clip[3] < 0.0f || clip[3] <= 0.0f) {
        return false;
    }
    const int32_t* v = ctx.viewport;
    window[0] = static_cast<float>(v[0]) + (clip[0] / clip[3] + 1.0f) * 0.5f * static_cast<float>(v[2]);
    window[1] = static_cast<float>(v[1]) + (clip[1] / clip[3] + 1.0f) * 0.5f * static_cast<float>(v[3]);
    return true;
}

// True when eye-space point p lies on the kept side of every recorded clip
// plane (a point on a plane is kept).
bool InsideClipPlanes(const GlRecorder& recorder, const float p[3]) {
    for (int i = 0; i < recorder.Count("ClipPlane"); ++i) {
        const double* e = recorder.clipPlanes[i];
        const double length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        if (e[0] * p[0] + e[1] * p[1] + e[2] * p[2] + e[3] < -1e-5 * length) {
            return false;
        }
    }
    return true;
}

// Sets the context as a frame of a 200 x 100 window at (x, y) with a
// 90-degree, 2:1 projection would, and the camera's planes to match.
void FrameContext(DrawContext* ctx, Camera* camera, int32_t x, int32_t y) {
    PerspectiveMatrix(90.0, 2.0, kDrawNearPlane, kDrawFarPlane, ctx->projection);
    ctx->viewport[0] = x;
    ctx->viewport[1] = y;
    ctx->viewport[2] = 200;
    ctx->viewport[3] = 100;
    ExtractCameraPlanes(*ctx, camera);
}

// The reflected triangles are scissored to a window rectangle that holds
// every visible point of the quad, and little more when the quad is seen
// whole, and clipped by planes through the eye that keep every visible point
// of the quad and cut away what lies beside it, whether the quad is in view,
// partly behind the near plane or behind the camera; the quad itself is
// drawn with neither.
TEST_F(DrawTest, MirrorScissorAndPlanesHoldTheVisibleQuad) {
    struct Case {
        const char* name;
        float pos[3];
        float target[3];
        bool whole; // every corner in front of the near plane
        bool empty; // nothing of the quad in front of it
    };
    const Case cases[] = {
        {"from above", {0.0f, 5.0f, 10.0f}, {0.0f, 0.0f, 0.0f}, true, false},
        {"from the side", {6.0f, 2.0f, 3.0f}, {-1.0f, 0.0f, 0.0f}, true, false},
        {"standing over it", {0.0f, 3.0f, 0.5f}, {0.0f, 0.0f, -5.0f}, false, false},
        {"looking away", {0.0f, 1.0f, 5.0f}, {0.0f, 1.0f, 20.0f}, false, true},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < 3; ++i) {
            camera.pos[i] = c.pos[i];
            camera.target[i] = c.target[i];
        }
        camera.UpdateView();
        Mirror mirror = FloorMirror();
        mirror.AddMesh(&mesh.object);
        FrameContext(&ctx, &camera, 10, 20);
        const double viewport[4] = {10.0, 20.0, 200.0, 100.0};
        GlRecorder recorder(&ctx);
        DrawMirror(&ctx, &scene, &mirror);

        ASSERT_EQ(recorder.Count("Scissor"), 1) << c.name;
        const int32_t* rect = recorder.scissorRect;
        const int planes = recorder.Count("ClipPlane");
        for (const DrawnTriangle& t : recorder.triangles) {
            const bool quad = !t.textured;
            EXPECT_EQ(t.scissor, !quad) << c.name;
            EXPECT_EQ(t.clipPlanes, quad ? 0 : planes) << c.name;
        }
        EXPECT_FALSE(recorder.scissor);
        EXPECT_EQ(recorder.clipPlanesOn, 0);
        for (int i = 0; i < planes; ++i) {
            EXPECT_EQ(recorder.clipPlanes[i][3], 0.0); // through the eye
        }
        EXPECT_GE(rect[0], viewport[0]);
        EXPECT_GE(rect[1], viewport[1]);
        EXPECT_LE(rect[0] + rect[2], viewport[0] + viewport[2]);
        EXPECT_LE(rect[1] + rect[3], viewport[1] + viewport[3]);
        if (c.empty) {
            EXPECT_EQ(rect[2] * rect[3], 0) << c.name;
            continue;
        }
        EXPECT_GT(rect[2] * rect[3], 0) << c.name;
        // The quad is a planar convex polygon: the planes are its edges'.
        EXPECT_GE(planes, 3) << c.name;
        EXPECT_LE(planes, 5) << c.name;

        // Points across the quad, in eye space as the quad's vertices are.
        double lo[2] = {1e9, 1e9};
        double hi[2] = {-1e9, -1e9};
        constexpr int kSteps = 20;
        for (int i = 0; i <= kSteps; ++i) {
            for (int j = 0; j <= kSteps; ++j) {
                const float world[3] = {-1.0f + 2.0f * static_cast<float>(i) / kSteps, 0.0f,
                                        -1.0f + 2.0f * static_cast<float>(j) / kSteps};
                float eye[3] = {0.0f, 0.0f, 0.0f};
                for (int r = 0; r < 3; ++r) {
                    const float* v = camera.view + 4 * r;
                    eye[r] = v[0] * world[0] + v[1] * world[1] + v[2] * world[2] + v[3];
                }
                float window[2] = {0.0f, 0.0f};
                if (!WindowPoint(ctx, eye, window)) {
                    EXPECT_FALSE(c.whole) << c.name;
                    continue;
                }
                EXPECT_TRUE(InsideClipPlanes(recorder, eye)) << c.name << " " << i << " " << j;
                for (int k = 0; k < 2; ++k) {
                    const double clamped = std::min(std::max(static_cast<double>(window[k]), viewport[k]),
                                                    viewport[k] + viewport[k + 2]);
                    EXPECT_GE(clamped, rect[k]) << c.name;
                    EXPECT_LE(clamped, rect[k] + rect[k + 2]) << c.name;
                    lo[k] = std::min(lo[k], clamped);
                    hi[k] = std::max(hi[k], clamped);
                }
            }
        }
        // Points of the floor beside the quad, in front of the eye, are cut away.
        const float beside[4][3] = {
            {1.5f, 0.0f, 0.0f}, {-1.5f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.5f}, {0.0f, 0.0f, -1.5f}};
        for (const float* world : beside) {
            float eye[3] = {0.0f, 0.0f, 0.0f};
            for (int r = 0; r < 3; ++r) {
                const float* v = camera.view + 4 * r;
                eye[r] = v[0] * world[0] + v[1] * world[1] + v[2] * world[2] + v[3];
            }
            if (eye[2] < -kDrawNearPlane) {
                EXPECT_FALSE(InsideClipPlanes(recorder, eye)) << c.name << " " << world[0] << " " << world[2];
            }
        }
        if (c.whole) {
            for (int k = 0; k < 2; ++k) {
                EXPECT_GE(rect[k], lo[k] - 3.0) << c.name;
                EXPECT_LE(rect[k] + rect[k + 2], hi[k] + 3.0) << c.name;
            }
        }
    }
}

// A reflected object that GL would clip away whole is not drawn at all; one
// under the quad is, and the bounds are gone after the mirror.
TEST_F(DrawTest, ReflectedObjectsBesideTheQuadAreSkipped) {
    camera.pos[1] = 5.0f;
    camera.UpdateView();
    struct Case {
        float x;
        bool drawn;
    };
    const Case cases[] = {{0.0f, true}, {4.0f, false}, {-4.0f, false}};
    for (const Case& c : cases) {
        ctx.stats = DrawStats{};
        mesh.object.pos[0] = c.x;
        mesh.object.pos[1] = 1.0f;
        Mirror mirror = FloorMirror();
        mirror.AddMesh(&mesh.object);
        FrameContext(&ctx, &camera, 0, 0);
        GlRecorder recorder(&ctx);
        // The camera alone would draw the mesh, wherever it stands here.
        float world[12] = {1, 0, 0, c.x, 0, -1, 0, -1.0f, 0, 0, 1, 0};
        float m[12] = {};
        MatrixCompose(camera.view, world, m);
        ASSERT_TRUE(BoxVisible(m, mesh.object.bboxMin, mesh.object.bboxMax, camera.planes)) << c.x;
        DrawMirror(&ctx, &scene, &mirror);
        EXPECT_EQ(recorder.WithTexture(11).size(), c.drawn ? 2u : 0u) << c.x;
        EXPECT_EQ(ctx.stats.objectsCulled, c.drawn ? 0u : 1u) << c.x;
        EXPECT_GE(recorder.Count("ClipPlane"), 3) << c.x;
        EXPECT_EQ(ctx.reflection.count, 0);
    }
}

TEST_F(DrawTest, TexturedMirrorDrawsItsQuadWithItsTextureAndCoordinates) {
    Mirror mirror = FloorMirror();
    mirror.textured = 1;
    mirror.texture = 33;
    mirror.SetCornerUV(1, 0.0f, 4.0f);
    GlRecorder recorder(&ctx);
    DrawMirror(&ctx, &scene, &mirror);
    ASSERT_EQ(recorder.triangles.size(), 2u);
    bool sawCorner1 = false;
    for (const DrawnTriangle& t : recorder.triangles) {
        EXPECT_TRUE(t.textured);
        EXPECT_EQ(t.texture, 33u);
        for (const DrawnVertex& v : t.v) {
            sawCorner1 = sawCorner1 || (v.u == 0.0f && v.v == 4.0f);
        }
    }
    EXPECT_TRUE(sawCorner1);
    EXPECT_TRUE(recorder.textured);
    EXPECT_TRUE(recorder.depthTest);
    EXPECT_FALSE(recorder.blend);
}

// The sky box first, its depth cleared, then the mirrors' quads, then the
// objects of the draw list in list order, all under the camera's projection.
TEST_F(DrawTest, RenderDrawsSkyBoxMirrorsObjectsAndModelsInOrder) {
    TestMesh second;
    second.materials[0].texture = 51;
    mesh.materials[0].texture = 52;
    scene.PutInDrawList(&mesh.object);
    scene.PutInDrawList(&second.object); // pushed last, drawn first
    Mirror mirror = FloorMirror();
    scene.AddMirror(&mirror);
    PoolInit(1024 * 1024);
    SkyBox* box = NewSkyBox();
    ASSERT_NE(box, nullptr);
    for (int f = 0; f < kSkyBoxFaces; ++f) {
        box->textures[f] = 60 + static_cast<uint32_t>(f);
    }
    scene.skyBox = box;
    Md2Model model{};
    scene.AddModel(&model);
    GlRecorder recorder(&ctx);
    RenderScene(&ctx, &scene);
    scene.skyBox = nullptr;
    PoolFree(box);
    PoolRelease();
    EXPECT_EQ(recorder.Count("LoadMatrixf"), 1);
    EXPECT_EQ(recorder.clears, (std::vector<uint32_t>{GL_DEPTH_BUFFER_BIT}));
    // Triangles in the order they are painted: sky (textures 60..65), quad
    // (untextured), then the objects.
    std::vector<int> kinds;
    for (const DrawnTriangle& t : recorder.triangles) {
        const int kind = !t.textured ? 1 : t.texture >= 60 ? 0 : t.texture == 51 ? 2 : 3;
        if (kinds.empty() || kinds.back() != kind) {
            kinds.push_back(kind);
        }
    }
    EXPECT_EQ(kinds, (std::vector<int>{0, 1, 2, 3}));
}

} // namespace

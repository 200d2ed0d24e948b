// Mesh drawing: back faces, lighting, the render modes GL receives, the
// chrome pass, mirrors and the drawing order of Scene::Render.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "math/math3d.h"
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
        g_drawStats = DrawStats{};
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

TEST_F(DrawTest, OpaqueSceneUsesTheArrayPath) {
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_EQ(recorder.Names(), "glInterleavedArrays glBindTexture glDrawElements");
    const GlCall& arrays = recorder.calls[0];
    EXPECT_EQ(arrays.args[0], GL_T2F_C3F_V3F);
    EXPECT_EQ(arrays.args[1], 0.0);
    EXPECT_EQ(arrays.pointer, mesh.arrayVerts.data());
    EXPECT_EQ(recorder.calls[1].args[1], 11.0);
    EXPECT_EQ(recorder.calls[2].args[0], GL_TRIANGLES);
    EXPECT_EQ(recorder.calls[2].args[1], 6.0);
    EXPECT_EQ(recorder.calls[2].args[2], GL_UNSIGNED_SHORT);
    EXPECT_EQ(recorder.ArrayIndices(), (std::vector<int>{0, 1, 2, 2, 1, 3}));
}

// More triangles than one batch holds reach GL in their order, in several
// indexed draws of whole triangles.
TEST_F(DrawTest, LargeGroupsAreSentInBatchesInFaceOrder) {
    constexpr int32_t kFaces = kTriangleBatchIndices / 3 * 2 + 5;
    std::vector<Face> faces(static_cast<size_t>(kFaces));
    std::vector<int> expected;
    for (int32_t f = 0; f < kFaces; ++f) {
        faces[static_cast<size_t>(f)] = mesh.faces[static_cast<size_t>(f % 2)];
        const Face& face = faces[static_cast<size_t>(f)];
        expected.insert(expected.end(), {face.a, face.b, face.c});
    }
    mesh.object.faces = faces.data();
    mesh.object.faceCount = kFaces;
    mesh.groups[0].faceCount = kFaces;
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    const std::vector<size_t> draws = recorder.Find("glDrawElements");
    ASSERT_EQ(draws.size(), 3u);
    for (size_t d : draws) {
        EXPECT_EQ(static_cast<int>(recorder.calls[d].args[1]) % 3, 0);
    }
    EXPECT_EQ(recorder.ArrayIndices(), expected);
    EXPECT_EQ(g_drawStats.verticesLit, 4u);
}

TEST_F(DrawTest, HalfOpaqueSceneSendsAlphaThroughImmediateCalls) {
    scene.opacity = 0.5f;
    AddLight(0.0f, 0.0f, 10.0f, 1.0f, 0.5f, 0.25f);
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_EQ(recorder.Count("glInterleavedArrays"), 0);
    EXPECT_TRUE(recorder.ArrayIndices().empty());
    EXPECT_EQ(recorder.Count("glTexCoord2fv"), 6);
    EXPECT_EQ(recorder.Count("glVertex3fv"), 6);
    const std::vector<size_t> colours = recorder.Find("glColor4f");
    ASSERT_EQ(colours.size(), 6u);
    for (size_t index : colours) {
        EXPECT_EQ(recorder.calls[index].args[3], 0.5);
    }
    // Vertex 0 sits right under the light: full light colour.
    EXPECT_NEAR(recorder.calls[colours[0]].args[0], 1.0, 3e-3);
    EXPECT_NEAR(recorder.calls[colours[0]].args[1], 0.5, 3e-3);
    EXPECT_NEAR(recorder.calls[colours[0]].args[2], 0.25, 3e-3);
    // The texture coordinates are the loader's, the positions the eye-space ones.
    const GlCall& uv = recorder.calls[recorder.Find("glTexCoord2fv")[0]];
    EXPECT_EQ(uv.args[0], 0.5);
    EXPECT_EQ(uv.args[1], 0.25);
    const GlCall& vertex = recorder.calls[recorder.Find("glVertex3fv")[0]];
    EXPECT_NEAR(vertex.args[2], -10.0, 2e-2);
}

TEST_F(DrawTest, SharedVertexIsLitOnceAndBackFaceVertexNever) {
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_EQ(g_drawStats.verticesLit, 4u);
    EXPECT_EQ(g_drawStats.facesDrawn, 2u);
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
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_NEAR(mesh.object.rot[2], 1.0f, 1e-6f);
    // World vertex 0 = (2, 0, -5). The quad's normals now point at the
    // camera, so only the former back face is drawn.
    EXPECT_EQ(mesh.state[4], 1);
    EXPECT_EQ(mesh.state[3], 0);
    EXPECT_NEAR(mesh.arrayVerts[0].x, -2.0f, 1e-2f);
    EXPECT_NEAR(mesh.arrayVerts[0].z, -15.0f, 3e-2f);
    EXPECT_NEAR(mesh.arrayVerts[4].x, -3.0f, 1e-2f); // world (3, 0, -5)
}

TEST_F(DrawTest, ZeroRotationIsLeftAlone) {
    mesh.object.rot[0] = 0.0f;
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    for (float value : mesh.object.rot) {
        EXPECT_EQ(value, 0.0f);
    }
}

TEST_F(DrawTest, EveryLightIsUsedWhateverItsSwitch) {
    AddLight(0.0f, 0.0f, 10.0f, 0.25f, 0.0f, 0.0f);
    AddLight(0.0f, 0.0f, 10.0f, 0.0f, 0.5f, 0.0f);
    lights[0].on = 0;
    lights[1].on = 1;
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_NEAR(mesh.arrayVerts[0].r, 0.25f, 3e-3f);
    EXPECT_NEAR(mesh.arrayVerts[0].g, 0.5f, 3e-3f);
    EXPECT_EQ(mesh.arrayVerts[0].b, 0.0f);
    // The local lights are in object space.
    EXPECT_NEAR(scene.localLights[0].position[2], 10.0f, 1e-4f);
}

TEST_F(DrawTest, LocalLightsAreInObjectSpace) {
    AddLight(3.0f, 4.0f, 5.0f, 1.0f, 1.0f, 1.0f);
    mesh.object.pos[0] = 1.0f;
    mesh.object.pos[1] = 1.0f;
    mesh.object.pos[2] = 1.0f;
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_NEAR(scene.localLights[0].position[0], 2.0f, 1e-5f);
    EXPECT_NEAR(scene.localLights[0].position[1], 3.0f, 1e-5f);
    EXPECT_NEAR(scene.localLights[0].position[2], 4.0f, 1e-5f);
    EXPECT_EQ(scene.localLights[0].kind, kLightKindNew);
}

TEST_F(DrawTest, CulledOrEmptyObjectsMakeNoCalls) {
    {
        mesh.object.pos[2] = 20.0f; // behind the camera
        GlRecorder recorder;
        mesh.object.Draw(&scene, &camera, nullptr);
        EXPECT_TRUE(recorder.calls.empty());
        EXPECT_EQ(g_drawStats.objectsCulled, 1u);
        EXPECT_EQ(mesh.state[0], 0);
    }
    {
        mesh.object.pos[2] = 0.0f;
        mesh.object.groupCount = 0;
        GlRecorder recorder;
        mesh.object.Draw(&scene, &camera, nullptr);
        EXPECT_TRUE(recorder.calls.empty());
    }
}

TEST_F(DrawTest, GroupsFollowEachOtherInTheFaceArray) {
    mesh.groups.clear();
    mesh.groups.push_back(MaterialGroup{&mesh.materials[0], 1, nullptr});
    mesh.groups.push_back(MaterialGroup{&mesh.materials[1], 2, nullptr});
    mesh.Finish();
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_EQ(recorder.Names(),
              "glInterleavedArrays glBindTexture glDrawElements glBindTexture glDrawElements");
    EXPECT_EQ(recorder.ArrayIndices(), (std::vector<int>{0, 1, 2, 2, 1, 3}));
    const std::vector<size_t> binds = recorder.Find("glBindTexture");
    EXPECT_EQ(recorder.calls[binds[0]].args[1], 11.0);
    EXPECT_EQ(recorder.calls[binds[1]].args[1], 12.0);
}

TEST_F(DrawTest, DamagedGroupsAndFacesAreCutOrSkipped) {
    // A group claiming more faces than there are, a face pointing past the
    // vertices, a group without a material.
    mesh.faces[1].c = 400;
    mesh.groups.clear();
    mesh.groups.push_back(MaterialGroup{nullptr, 1, nullptr});
    mesh.groups.push_back(MaterialGroup{&mesh.materials[1], 1000, nullptr});
    mesh.groups.push_back(MaterialGroup{&mesh.materials[1], -5, nullptr});
    mesh.Finish();
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_EQ(recorder.ArrayIndices(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(recorder.Count("glBindTexture"), 2);
    EXPECT_EQ(recorder.calls[recorder.Find("glBindTexture")[0]].args[1], 0.0);
}

TEST_F(DrawTest, ChromePassDrawsTheVisibleFacesAdditivelyAndEndsWithBlendingOff) {
    for (float opacity : {1.0f, 0.5f}) {
        scene.opacity = opacity;
        mesh.materials[0].envTexture = 21;
        mesh.materials[0].envAlpha = 0.3f;
        GlRecorder recorder;
        mesh.object.Draw(&scene, &camera, nullptr);
        // The chrome pass opens with the second bind and closes with the last glEnd.
        const std::vector<size_t> binds = recorder.Find("glBindTexture");
        const std::vector<size_t> ends = recorder.Find("glEnd");
        ASSERT_EQ(binds.size(), 2u);
        ASSERT_EQ(ends.size(), opacity < 1.0f ? 2u : 1u);
        const size_t i = binds[1];
        ASSERT_GE(recorder.calls.size(), i + 4);
        EXPECT_EQ(recorder.calls[i].name, "glBindTexture");
        EXPECT_EQ(recorder.calls[i].args[1], 21.0);
        EXPECT_EQ(recorder.calls[i + 1].name, "glEnable");
        EXPECT_EQ(recorder.calls[i + 1].args[0], GL_BLEND);
        EXPECT_EQ(recorder.calls[i + 2].name, "glBlendFunc");
        EXPECT_EQ(recorder.calls[i + 2].args[0], GL_SRC_ALPHA);
        EXPECT_EQ(recorder.calls[i + 2].args[1], GL_ONE);
        EXPECT_EQ(recorder.calls[i + 3].name, "glBegin");
        // Six vertices of the two visible faces, white with the env alpha, at
        // the positions the base pass stored.
        int vertices = 0;
        const uint16_t order[6] = {0, 1, 2, 2, 1, 3};
        for (size_t k = i + 4; k < ends.back(); ++k) {
            const GlCall& call = recorder.calls[k];
            if (call.name == "glColor4f") {
                EXPECT_EQ(call.args[0], 1.0);
                EXPECT_NEAR(call.args[3], 0.3, 1e-6);
            }
            if (call.name == "glVertex3fv") {
                ASSERT_LT(vertices, 6);
                const ArrayVertex& stored = mesh.arrayVerts[order[vertices]];
                EXPECT_EQ(call.args[0], stored.x);
                EXPECT_EQ(call.args[1], stored.y);
                EXPECT_EQ(call.args[2], stored.z);
                ++vertices;
            }
        }
        EXPECT_EQ(vertices, 6);
        EXPECT_EQ(recorder.calls.back().name, "glDisable") << opacity;
        EXPECT_EQ(recorder.calls.back().args[0], GL_BLEND) << opacity;
        for (int v = 0; v < 4; ++v) {
            EXPECT_EQ(mesh.state[v], 2);
        }
        EXPECT_EQ(mesh.state[4], 0);
        // Normal (0, 0, -1) seen by this camera: row 0 . n = 0, row 1 . n = 0.
        EXPECT_NEAR(mesh.envUV[0], 0.5f, 1e-3f);
        EXPECT_NEAR(mesh.envUV[1], 0.5f, 1e-3f);
    }
}

TEST_F(DrawTest, NoChromePassWithoutEnvironmentCoordinates) {
    mesh.materials[0].envTexture = 21;
    mesh.object.envUV = nullptr;
    GlRecorder recorder;
    mesh.object.Draw(&scene, &camera, nullptr);
    EXPECT_EQ(recorder.Names(), "glInterleavedArrays glBindTexture glDrawElements");
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

TEST_F(DrawTest, MirrorDrawsItsMeshesReflectedThenTheQuad) {
    Mirror mirror = FloorMirror();
    mirror.SetCornerColour(2, 0.5f, 0.25f, 0.125f);
    mesh.object.pos[1] = 2.0f; // vertex 3 at world y = 3
    mirror.AddMesh(&mesh.object);
    GlRecorder recorder;
    mirror.Draw(&scene, &camera);
    EXPECT_NEAR(mesh.arrayVerts[3].y, -3.0f, 1e-2f);
    EXPECT_NEAR(mesh.arrayVerts[0].y, -2.0f, 1e-2f);
    const std::vector<size_t> draws = recorder.Find("glDrawElements");
    ASSERT_EQ(draws.size(), 1u);
    std::string quad;
    for (size_t i = draws[0] + 1; i < recorder.calls.size(); ++i) {
        quad += recorder.calls[i].name + " ";
    }
    EXPECT_EQ(quad,
              "glDisable glDisable glEnable glBlendFunc glBegin glColor4f glVertex3fv glColor4f glVertex3fv "
              "glColor4f glVertex3fv glColor4f glVertex3fv glEnd glDisable glEnable glEnable ");
    const size_t q = draws[0] + 1;
    EXPECT_EQ(recorder.calls[q].args[0], GL_TEXTURE_2D);
    EXPECT_EQ(recorder.calls[q + 1].args[0], GL_DEPTH_TEST);
    EXPECT_EQ(recorder.calls[q + 2].args[0], GL_BLEND);
    EXPECT_EQ(recorder.calls[q + 3].args[1], GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(recorder.calls[q + 4].args[0], GL_TRIANGLE_STRIP);
    const GlCall& colour = recorder.calls[q + 9];
    EXPECT_EQ(colour.args[0], 0.5);
    EXPECT_EQ(colour.args[2], 0.125);
    EXPECT_NEAR(colour.args[3], 0.6, 1e-6);
    // Corner 2 = (1, 0, -1) in world space, (-1, 0, -11) in eye space.
    const GlCall& corner = recorder.calls[q + 10];
    EXPECT_NEAR(corner.args[0], -1.0, 2e-3);
    EXPECT_NEAR(corner.args[2], -11.0, 3e-2);
    EXPECT_EQ(recorder.calls[q + 14].args[0], GL_BLEND);
    EXPECT_EQ(recorder.calls[q + 15].args[0], GL_DEPTH_TEST);
    EXPECT_EQ(recorder.calls[q + 16].args[0], GL_TEXTURE_2D);
    // Without a viewport to bound it the reflection is drawn unclipped.
    EXPECT_EQ(recorder.Count("glScissor"), 0);
}

// Window position of eye-space point p under the recorder's projection and
// viewport (the modelview is the identity); false behind GL's near plane.
bool WindowPoint(const GlRecorder& recorder, const float p[3], float window[2]) {
    float clip[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int r = 0; r < 4; ++r) {
        const float* m = recorder.projection;
        clip[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
    }
    if (clip[2] + clip[3] < 0.0f || clip[3] <= 0.0f) {
        return false;
    }
    const float* v = recorder.viewport;
    window[0] = v[0] + (clip[0] / clip[3] + 1.0f) * 0.5f * v[2];
    window[1] = v[1] + (clip[1] / clip[3] + 1.0f) * 0.5f * v[3];
    return true;
}

// True when eye-space point p lies on the kept side of every recorded clip
// plane (a point on a plane is kept).
bool InsideClipPlanes(const GlRecorder& recorder, const float p[3]) {
    for (size_t i : recorder.Find("glClipPlane")) {
        const std::vector<double>& e = recorder.calls[i].args;
        const double length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        if (e[1] * p[0] + e[2] * p[1] + e[3] * p[2] + e[4] < -1e-5 * length) {
            return false;
        }
    }
    return true;
}

// The reflected draws are scissored to a window rectangle that holds every
// visible point of the quad, and little more when the quad is seen whole,
// and clipped by planes that keep every visible point of the quad and cut
// away what lies beside it, whether the quad is in view, partly behind the
// near plane or behind the camera; scissor and planes are off again before
// the quad is drawn.
TEST_F(DrawTest, MirrorScissorHoldsTheVisibleQuad) {
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
    const float viewport[4] = {10.0f, 20.0f, 200.0f, 100.0f};
    for (const Case& c : cases) {
        for (int i = 0; i < 3; ++i) {
            camera.pos[i] = c.pos[i];
            camera.target[i] = c.target[i];
        }
        camera.UpdateView();
        Mirror mirror = FloorMirror();
        mirror.AddMesh(&mesh.object);
        GlRecorder recorder;
        PerspectiveMatrix(90.0, 2.0, kDrawNearPlane, kDrawFarPlane, recorder.projection);
        std::copy(viewport, viewport + 4, recorder.viewport);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        ExtractFrustumPlanes(recorder.projection, identity, camera.planes);
        mirror.Draw(&scene, &camera);

        const std::vector<size_t> scissors = recorder.Find("glScissor");
        ASSERT_EQ(scissors.size(), 1u) << c.name;
        const std::vector<double>& rect = recorder.calls[scissors[0]].args;
        const size_t on = scissors[0] + 1;
        ASSERT_LT(on, recorder.calls.size());
        EXPECT_EQ(recorder.calls[on].name, "glEnable");
        EXPECT_EQ(recorder.calls[on].args[0], GL_SCISSOR_TEST);
        const std::vector<size_t> disables = recorder.Find("glDisable");
        ASSERT_FALSE(disables.empty());
        EXPECT_EQ(recorder.calls[disables[0]].args[0], GL_SCISSOR_TEST) << c.name;
        for (size_t d : recorder.Find("glDrawElements")) {
            EXPECT_LT(on, d);
            EXPECT_LT(d, disables[0]);
        }
        const std::vector<size_t> planes = recorder.Find("glClipPlane");
        for (size_t i : planes) {
            ASSERT_LT(i + 1, recorder.calls.size());
            EXPECT_EQ(recorder.calls[i + 1].name, "glEnable");
            EXPECT_EQ(recorder.calls[i + 1].args[0], recorder.calls[i].args[0]);
            EXPECT_EQ(recorder.calls[i].args[4], 0.0); // through the eye
        }
        int planesOff = 0;
        for (size_t d : disables) {
            const double cap = recorder.calls[d].args[0];
            planesOff += (cap >= GL_CLIP_PLANE0 && cap < GL_CLIP_PLANE0 + 6) ? 1 : 0;
            if (cap >= GL_CLIP_PLANE0 && cap < GL_CLIP_PLANE0 + 6) {
                EXPECT_LT(d, recorder.Find("glBegin").front());
            }
        }
        EXPECT_EQ(planesOff, static_cast<int>(planes.size()));
        EXPECT_LT(disables[0], recorder.Find("glBegin").front());
        EXPECT_GE(rect[0], viewport[0]);
        EXPECT_GE(rect[1], viewport[1]);
        EXPECT_LE(rect[0] + rect[2], viewport[0] + viewport[2]);
        EXPECT_LE(rect[1] + rect[3], viewport[1] + viewport[3]);
        if (c.empty) {
            EXPECT_EQ(rect[2] * rect[3], 0.0) << c.name;
            continue;
        }
        EXPECT_GT(rect[2] * rect[3], 0.0) << c.name;
        // The quad is a planar convex polygon: the planes are its edges'.
        EXPECT_GE(planes.size(), 3u) << c.name;
        EXPECT_LE(planes.size(), 5u) << c.name;

        // Points across the quad, in eye space as the quad's vertices are.
        float lo[2] = {1e9f, 1e9f};
        float hi[2] = {-1e9f, -1e9f};
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
                if (!WindowPoint(recorder, eye, window)) {
                    EXPECT_FALSE(c.whole) << c.name;
                    continue;
                }
                EXPECT_TRUE(InsideClipPlanes(recorder, eye)) << c.name << " " << i << " " << j;
                for (int k = 0; k < 2; ++k) {
                    const double clamped =
                        std::min(std::max(static_cast<double>(window[k]), static_cast<double>(viewport[k])),
                                 static_cast<double>(viewport[k] + viewport[k + 2]));
                    EXPECT_GE(clamped, rect[k]) << c.name;
                    EXPECT_LE(clamped, rect[k] + rect[k + 2]) << c.name;
                    lo[k] = std::min(lo[k], static_cast<float>(clamped));
                    hi[k] = std::max(hi[k], static_cast<float>(clamped));
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
        g_drawStats = DrawStats{};
        mesh.object.pos[0] = c.x;
        mesh.object.pos[1] = 1.0f;
        Mirror mirror = FloorMirror();
        mirror.AddMesh(&mesh.object);
        GlRecorder recorder;
        PerspectiveMatrix(90.0, 2.0, kDrawNearPlane, kDrawFarPlane, recorder.projection);
        const float viewport[4] = {0.0f, 0.0f, 200.0f, 100.0f};
        std::copy(viewport, viewport + 4, recorder.viewport);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        ExtractFrustumPlanes(recorder.projection, identity, camera.planes);
        // The camera alone would draw the mesh, wherever it stands here.
        float world[12] = {1, 0, 0, c.x, 0, -1, 0, -1.0f, 0, 0, 1, 0};
        float m[12] = {};
        MatrixCompose(camera.view, world, m);
        ASSERT_TRUE(BoxVisible(m, mesh.object.bboxMin, mesh.object.bboxMax, camera.planes)) << c.x;
        mirror.Draw(&scene, &camera);
        EXPECT_EQ(recorder.Count("glDrawElements"), c.drawn ? 1 : 0) << c.x;
        EXPECT_EQ(g_drawStats.objectsCulled, c.drawn ? 0u : 1u) << c.x;
        EXPECT_GE(recorder.Count("glClipPlane"), 3) << c.x;
        EXPECT_EQ(g_reflectionBounds.count, 0);
    }
}

TEST_F(DrawTest, TexturedMirrorBindsItsTextureAndSendsCoordinates) {
    Mirror mirror = FloorMirror();
    mirror.textured = 1;
    mirror.texture = 33;
    mirror.SetCornerUV(1, 0.0f, 4.0f);
    GlRecorder recorder;
    mirror.Draw(&scene, &camera);
    const std::vector<size_t> binds = recorder.Find("glBindTexture");
    ASSERT_EQ(binds.size(), 1u);
    EXPECT_EQ(recorder.calls[binds[0]].args[1], 33.0);
    EXPECT_EQ(recorder.Count("glTexCoord2fv"), 4);
    EXPECT_EQ(recorder.calls[recorder.Find("glTexCoord2fv")[1]].args[1], 4.0);
    EXPECT_EQ(recorder.Count("glEnable"), 2); // blend on, depth test back; texturing never left
    EXPECT_EQ(recorder.calls.back().name, "glEnable");
    EXPECT_EQ(recorder.calls.back().args[0], GL_DEPTH_TEST);
}

TEST_F(DrawTest, RenderDrawsSkyBoxMirrorsObjectsAndModelsInOrder) {
    TestMesh second;
    second.materials[0].texture = 51;
    mesh.materials[0].texture = 52;
    scene.PutInDrawList(&mesh.object);
    scene.PutInDrawList(&second.object); // pushed last, drawn first
    Mirror mirror = FloorMirror();
    scene.AddMirror(&mirror);
    SkyBox box{};
    scene.skyBox = &box;
    Md2Model model{};
    scene.AddModel(&model);
    GlRecorder recorder;
    scene.Render();
    scene.skyBox = nullptr;
    const std::vector<size_t> clears = recorder.Find("glClear");
    const std::vector<size_t> strips = recorder.Find("glBlendFunc");
    const std::vector<size_t> binds = recorder.Find("glBindTexture");
    ASSERT_EQ(clears.size(), 1u);
    ASSERT_EQ(strips.size(), 1u);
    ASSERT_GE(binds.size(), 2u);
    EXPECT_LT(clears[0], strips[0]);
    // The last two binds are the objects', in draw-list order.
    EXPECT_EQ(recorder.calls[binds[binds.size() - 2]].args[1], 51.0);
    EXPECT_EQ(recorder.calls[binds.back()].args[1], 52.0);
    EXPECT_LT(strips[0], binds[binds.size() - 2]);
    EXPECT_EQ(recorder.calls.front().name, "glPushMatrix");
    EXPECT_EQ(recorder.calls.back().name, "glPopMatrix");
}

} // namespace

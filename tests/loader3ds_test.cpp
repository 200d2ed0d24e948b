// 3DS reader: file reading, messages, geometry, lights, cameras, colours,
// materials and the post-pass, on files made with the 3DS writer.
#include "loader3ds/format3ds.h"
#include "loader3ds/loader3ds.h"
#include "scene/scene.h"
#include "tests/support/debug_capture.h"
#include "tests/support/load3ds_helper.h"
#include "tools/formats/writer3ds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using Loader3dsTest = Pool3dsTest;

const std::vector<Vec3f> kTriangle = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};

// Main and editor chunks around `body`, which writes the editor's contents.
template <typename Body> std::vector<uint8_t> EditorFile(Body body) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Version(3);
    w.Begin(kChunkEditor);
    body(w);
    return w.Finish();
}

void RedAndBlue(Writer3DS& w) {
    w.Material("Red", {0.1f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.5f});
    w.Material("Blue", {0.0f, 0.0f, 0.1f}, {0.0f, 0.0f, 1.0f}, {0.2f, 0.2f, 0.2f}, "blue.jpg");
}

// Four faces over six vertices, each face told apart by its first index.
const std::vector<Vec3f> kSix = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}};
const std::vector<Face3ds> kFour = {{0, 1, 2, 0}, {1, 3, 2, 0}, {2, 3, 5, 0}, {3, 4, 5, 0}};

std::vector<int> FirstIndices(const MeshObject& o) {
    std::vector<int> firsts;
    for (int i = 0; i < o.faceCount; ++i) {
        firsts.push_back(o.faces[i].a);
    }
    return firsts;
}

TEST_F(Loader3dsTest, MissingEntryThrowsFormattedMessage) {
    Loaded3ds other(EditorFile([](Writer3DS&) {}));
    ASSERT_TRUE(other.ok()) << other.error();
    Scene scene;
    std::string thrown;
    try {
        Load3ds("nope.3ds", &scene);
    } catch (const char* message) {
        thrown = message;
    }
    EXPECT_EQ(thrown, "File nope.3ds.3ds non trovato");
}

TEST_F(Loader3dsTest, ReadAndWalkMessages) {
    DebugCapture capture;
    const std::vector<uint8_t> file = EditorFile([](Writer3DS&) {});
    Loaded3ds l(file);
    ASSERT_TRUE(l.ok()) << l.error();
    ASSERT_GE(capture.messages.size(), 4u);
    EXPECT_EQ(capture.messages[0], "Numero di byte allocati per il buffer = ");
    EXPECT_EQ(capture.messages[1], std::to_string(file.size()));
    EXPECT_EQ(capture.messages[2], "...Lettura file OK \n");
    EXPECT_EQ(capture.messages.back(), "Load 3ds terminato\n");
    EXPECT_EQ(l.loader().size, static_cast<int32_t>(file.size()));
    EXPECT_EQ(l.loader().selection, kSelectNone);
}

TEST_F(Loader3dsTest, VertexIsStoredWithYAndZExchanged) {
    Loaded3ds l(EditorFile([](Writer3DS& w) { w.Mesh("Tri", {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}, {}); }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    ASSERT_EQ(s.objectCount, 1);
    EXPECT_EQ(s.lastObjectNumber, 1);
    MeshObject* o = s.objects;
    EXPECT_STREQ(o->name, "Tri");
    ASSERT_EQ(o->vertexCount, 3);
    EXPECT_FLOAT_EQ(o->vertices[0].position[0], 1.0f);
    EXPECT_FLOAT_EQ(o->vertices[0].position[1], 3.0f);
    EXPECT_FLOAT_EQ(o->vertices[0].position[2], 2.0f);
    EXPECT_NE(o->arrayVerts, nullptr);
    EXPECT_NE(o->envUV, nullptr);
    EXPECT_NE(o->vertexState, nullptr);
    // Bounding box over the stored (swapped) positions.
    EXPECT_FLOAT_EQ(o->bboxMin[0], 1.0f);
    EXPECT_FLOAT_EQ(o->bboxMin[1], 3.0f);
    EXPECT_FLOAT_EQ(o->bboxMin[2], 2.0f);
    EXPECT_FLOAT_EQ(o->bboxMax[0], 7.0f);
    EXPECT_FLOAT_EQ(o->bboxMax[1], 10.0f);
    EXPECT_FLOAT_EQ(o->bboxMax[2], 8.0f);
    // No node header named it: a root, still drawn.
    EXPECT_EQ(DrawList(s), std::vector<MeshObject*>{o});
    EXPECT_EQ(o->parent, nullptr);
}

TEST_F(Loader3dsTest, LocalAxesUndoRotationAndTranslationButNotScale) {
    // Axes of length 2 rotated 90 degrees about file z; origin (10, 20, 30).
    auto build = [](float len) {
        return EditorFile([len](Writer3DS& w) {
            w.BeginNamedObject("Box");
            w.Begin(kChunkTriMesh);
            w.VertexList({{10, 21, 30}, {10, 20, 32}});
            w.LocalAxes({0, len, 0}, {-len, 0, 0}, {0, 0, len}, {10, 20, 30});
            w.End();
            w.End();
        });
    };
    for (float len : {1.0f, 2.0f}) {
        Loaded3ds l(build(len));
        ASSERT_TRUE(l.ok()) << l.error();
        MeshObject* o = l.scene().objects;
        EXPECT_FLOAT_EQ(o->pos[0], 10.0f);
        EXPECT_FLOAT_EQ(o->pos[1], 30.0f);
        EXPECT_FLOAT_EQ(o->pos[2], 20.0f);
        // File offset (0, 1, 0): along the X axis row (0, 1, 0) -> local x 1.
        EXPECT_NEAR(o->vertices[0].position[0], 1.0f, 2e-3f) << len;
        EXPECT_NEAR(o->vertices[0].position[1], 0.0f, 2e-3f);
        EXPECT_NEAR(o->vertices[0].position[2], 0.0f, 2e-3f);
        // File offset (0, 0, 2): local z 2, stored in y.
        EXPECT_NEAR(o->vertices[1].position[1], 2.0f, 4e-3f);
    }
}

TEST_F(Loader3dsTest, LocalAxisRowOfZerosStaysZero) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.BeginNamedObject("Flat");
        w.Begin(kChunkTriMesh);
        w.VertexList({{3, 4, 5}});
        w.LocalAxes({1, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 0, 0});
        w.End();
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const float* p = l.scene().objects->vertices[0].position;
    EXPECT_NEAR(p[0], 3.0f, 1e-2f);
    EXPECT_FLOAT_EQ(p[2], 0.0f); // local y from the zero row
    EXPECT_NEAR(p[1], 5.0f, 1e-2f);
}

TEST_F(Loader3dsTest, FaceListWithoutVertexListGoesToThePreviousObject) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.Mesh("First", kTriangle, {});
        w.BeginNamedObject("Second");
        w.Begin(kChunkTriMesh);
        w.FaceList({{0, 1, 2, 0}, {2, 1, 0, 0}});
        w.End();
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    ASSERT_EQ(l.scene().objectCount, 1);
    EXPECT_STREQ(l.scene().objects->name, "First");
    EXPECT_EQ(l.scene().objects->faceCount, 2);
}

TEST_F(Loader3dsTest, OneGroupKeepsFileOrder) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        RedAndBlue(w);
        w.Mesh("M", kSix, kFour, {{"Red", {3, 1, 0, 2}}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    EXPECT_EQ(FirstIndices(*o), (std::vector<int>{0, 1, 2, 3}));
    ASSERT_EQ(o->groupCount, 1);
    EXPECT_EQ(o->groups[0].faceCount, 4);
    EXPECT_EQ(o->groups[0].faceIndices, nullptr);
    EXPECT_EQ(o->groups[0].material, l.scene().materials[0]);
}

TEST_F(Loader3dsTest, TwoGroupsReorderFaces) {
    const std::vector<Face3ds> three = {{0, 1, 2, 0}, {1, 3, 2, 0}, {2, 3, 5, 0}};
    Loaded3ds l(EditorFile([&](Writer3DS& w) {
        RedAndBlue(w);
        w.Mesh("M", kSix, three, {{"Red", {2, 0}}, {"Blue", {1}}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    EXPECT_EQ(FirstIndices(*o), (std::vector<int>{2, 0, 1}));
    ASSERT_EQ(o->groupCount, 2);
    EXPECT_EQ(o->groups[0].faceCount, 2);
    EXPECT_EQ(o->groups[1].faceCount, 1);
    EXPECT_STREQ(o->groups[0].material->name, "Red");
    EXPECT_STREQ(o->groups[1].material->name, "Blue");
    EXPECT_EQ(o->groups[0].faceIndices, nullptr);
    EXPECT_EQ(o->groups[1].faceIndices, nullptr);
}

struct GroupCase {
    const char* what;
    std::vector<uint16_t> first;
    std::vector<uint16_t> second;
    std::vector<int> order;     // first indices of the faces afterwards
    int firstCount;
    int secondCount;
};

class GroupCoverTest : public Pool3dsTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(GroupCoverTest, EveryFaceAppearsOnce) {
    const GroupCase& c = GetParam();
    Loaded3ds l(EditorFile([&](Writer3DS& w) {
        RedAndBlue(w);
        w.Mesh("M", kSix, kFour, {{"Red", c.first}, {"Blue", c.second}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    EXPECT_EQ(FirstIndices(*o), c.order) << c.what;
    EXPECT_EQ(o->groups[0].faceCount, c.firstCount) << c.what;
    EXPECT_EQ(o->groups[1].faceCount, c.secondCount) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Loader3ds, GroupCoverTest,
    ::testing::Values(GroupCase{"faces in no group go last", {3}, {1}, {3, 1, 0, 2}, 1, 1},
                      GroupCase{"repeats are taken once", {1, 1}, {1, 0}, {1, 0, 2, 3}, 1, 1},
                      GroupCase{"indices past the faces are skipped", {9, 2}, {65535, 3}, {2, 3, 0, 1}, 1, 1},
                      GroupCase{"empty groups", {}, {}, {0, 1, 2, 3}, 0, 0},
                      GroupCase{"exact cover", {3, 2}, {1, 0}, {3, 2, 1, 0}, 2, 2}));

TEST_F(Loader3dsTest, FacesNamingMissingVerticesAreDropped) {
    DebugCapture capture;
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        RedAndBlue(w);
        w.Mesh("M", kSix, {{0, 1, 2, 0}, {1, 6, 2, 0}, {2, 3, 5, 0}, {65535, 0, 1, 0}},
               {{"Red", {1, 2}}, {"Blue", {3, 0}}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    EXPECT_EQ(FirstIndices(*o), (std::vector<int>{2, 0}));
    EXPECT_EQ(o->groups[0].faceCount, 1);
    EXPECT_EQ(o->groups[1].faceCount, 1);
    EXPECT_NE(capture.Joined().find("scartate"), std::string::npos);
}

TEST_F(Loader3dsTest, SingleGroupCountNeverExceedsTheFaces) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        RedAndBlue(w);
        w.Mesh("M", kSix, {{0, 1, 2, 0}, {0, 1, 9, 0}}, {{"Red", {0, 1}}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    EXPECT_EQ(o->faceCount, 1);
    EXPECT_EQ(o->groups[0].faceCount, 1);
}

TEST_F(Loader3dsTest, UnknownMaterialIsFatal) {
    DebugCapture capture;
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        RedAndBlue(w);
        w.Mesh("M", kTriangle, {{0, 1, 2, 0}}, {{"red", {0}}}); // case matters
    }));
    EXPECT_EQ(l.error(), "Errore, materiale inesistente");
    EXPECT_NE(capture.Joined().find("Errore, materiale inesistente\n"), std::string::npos);
}

TEST_F(Loader3dsTest, NormalsAndPlanes) {
    // File triangle in the xy plane; stored with y and z exchanged.
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.Mesh("T", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {2, 2, 2}},
               {{0, 1, 2, 0}, {4, 4, 4, 0}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    // Stored A (0,0,0), B (1,0,0), C (0,0,1): (B-A) x (C-A) = (0,-1,0).
    const Face& f = o->faces[0];
    EXPECT_EQ(f.normal[0], 0);
    EXPECT_LE(f.normal[1], -32700);
    EXPECT_EQ(f.normal[2], 0);
    EXPECT_NEAR(f.d, 0.0f, 1e-6f);
    EXPECT_NEAR(o->vertices[0].normal[1], -1.0f, 2e-3f);
    // Degenerate face: zero normal and plane, yet it counts for vertex 4's mean.
    const Face& g = o->faces[1];
    EXPECT_EQ(g.normal[0], 0);
    EXPECT_EQ(g.normal[1], 0);
    EXPECT_EQ(g.normal[2], 0);
    EXPECT_FLOAT_EQ(g.d, 0.0f);
    // Vertex 3 is used by no face: (0, 0, 0).
    EXPECT_FLOAT_EQ(o->vertices[3].normal[0], 0.0f);
    EXPECT_FLOAT_EQ(o->vertices[3].normal[1], 0.0f);
    EXPECT_FLOAT_EQ(o->vertices[3].normal[2], 0.0f);
}

TEST_F(Loader3dsTest, VertexNormalIsTheMeanOfFaceNormals) {
    // Two faces sharing vertex 0 with normals along stored -y and +x.
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.Mesh("T", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2, 0}, {0, 2, 3, 0}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const float* n = l.scene().objects->vertices[0].normal;
    // Not renormalised: the mean of two perpendicular unit normals has length ~0.707.
    EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 0.7071f, 3e-3f);
}

TEST_F(Loader3dsTest, TexCoordsAreCopiedAndClampedToTheVertices) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.Mesh("T", kTriangle, {{0, 1, 2, 0}}, {}, {{0.25f, 0.5f}, {1.5f, -2.0f}, {3, 4}, {9, 9}, {8, 8}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    EXPECT_FLOAT_EQ(o->arrayVerts[0].u, 0.25f);
    EXPECT_FLOAT_EQ(o->arrayVerts[0].v, 0.5f);
    EXPECT_FLOAT_EQ(o->arrayVerts[1].u, 1.5f);
    EXPECT_FLOAT_EQ(o->arrayVerts[1].v, -2.0f);
    EXPECT_FLOAT_EQ(o->arrayVerts[2].u, 3.0f);
}

TEST_F(Loader3dsTest, ByteColourScalesBy1Over255) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.Begin(kChunkMaterial);
        w.MaterialName("M");
        w.Begin(kChunkDiffuse);
        w.ColourByte(255, 128, 0);
        w.End();
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const Material* m = l.scene().materials[0];
    EXPECT_EQ(m->diffuse[0], 1.0f);
    EXPECT_EQ(m->diffuse[1], 0.50196081f);
    EXPECT_EQ(m->diffuse[2], 0.0f);
}

TEST_F(Loader3dsTest, MaterialsKeepNameColoursAndMapFile) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        RedAndBlue(w);
        // A second map kind's file name is never read.
        w.Begin(kChunkMaterial);
        w.MaterialName("Odd");
        w.TextureMap("bump.jpg", 0xA230);
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    ASSERT_EQ(s.materialCount, 3);
    EXPECT_STREQ(s.materials[0]->name, "Red");
    EXPECT_STREQ(s.materials[1]->name, "Blue");
    EXPECT_FLOAT_EQ(s.materials[0]->ambient[0], 0.1f);
    EXPECT_FLOAT_EQ(s.materials[0]->diffuse[0], 1.0f);
    EXPECT_FLOAT_EQ(s.materials[0]->specular[2], 0.5f);
    EXPECT_EQ(s.materials[0]->mapFile, nullptr);
    EXPECT_STREQ(s.materials[1]->mapFile, "blue.jpg");
    EXPECT_EQ(s.materials[1]->texture, 0u); // textures off: nothing loaded
    EXPECT_EQ(s.materials[2]->mapFile, nullptr);
}

TEST_F(Loader3dsTest, ColourWithNothingSelectedIsReportedAndSkipped) {
    DebugCapture capture;
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.ColourFloat(1, 2, 3);
        w.Mesh("After", kTriangle, {});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_NE(capture.Joined().find("Nessun tipo di oggetto correntemente selezionato"), std::string::npos);
    EXPECT_EQ(l.scene().objectCount, 1);
}

TEST_F(Loader3dsTest, SelectionStaysAfterTheColourBlock) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.Begin(kChunkMaterial);
        w.MaterialName("M");
        w.MaterialColour(kChunkSpecular, 0.1f, 0.2f, 0.3f);
        w.ColourFloat(0.7f, 0.8f, 0.9f); // still lands on the specular colour
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_FLOAT_EQ(l.scene().materials[0]->specular[0], 0.7f);
    EXPECT_EQ(l.loader().selection, kSelectSpecular);
}

TEST_F(Loader3dsTest, OmniAndSpotLights) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.BeginNamedObject("Omni");
        w.BeginLight({1, 2, 3});
        w.ColourFloat(0.5f, 0.25f, 1.0f);
        w.Opaque(kChunkLightAttenuation, {0, 0, 0, 0});
        w.End();
        w.End();
        w.BeginNamedObject("Spot");
        w.BeginLight({4, 5, 6});
        w.Spotlight({7, 8, 9}, 90.0f, 45.0f);
        w.End();
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    ASSERT_EQ(s.lightCount, 2);
    Light* omni = s.lights[0];
    EXPECT_STREQ(omni->name, "Omni");
    EXPECT_EQ(omni->kind, 0x502);
    EXPECT_EQ(omni->on, 1);
    EXPECT_FLOAT_EQ(omni->pos[1], 3.0f);
    EXPECT_FLOAT_EQ(omni->colour[1], 0.25f);
    Light* spot = s.lights[1];
    EXPECT_EQ(spot->kind, 0x503);
    EXPECT_FLOAT_EQ(spot->colour[0], 1.0f); // construction colour
    EXPECT_FLOAT_EQ(spot->target[0], 7.0f);
    EXPECT_FLOAT_EQ(spot->target[1], 9.0f);
    EXPECT_FLOAT_EQ(spot->target[2], 8.0f);
    EXPECT_EQ(spot->cosHotspot, static_cast<float>(std::cos(90.0 * 3.14 * 0.005555555555555556)));
    EXPECT_NE(spot->cosHotspot, 0.0f);
    EXPECT_EQ(spot->cosFalloff, static_cast<float>(std::cos(45.0 * 3.14 * 0.005555555555555556)));
}

TEST_F(Loader3dsTest, NinthLightAndSixthCameraAreIgnored) {
    DebugCapture capture;
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        for (int i = 0; i < 9; ++i) {
            w.BeginNamedObject("L" + std::to_string(i));
            w.BeginLight({static_cast<float>(i), 0, 0});
            w.ColourFloat(0.0f, 0.0f, static_cast<float>(i));
            w.End();
            w.End();
        }
        for (int i = 0; i < 6; ++i) {
            w.BeginNamedObject("C" + std::to_string(i));
            w.Camera({static_cast<float>(i), 0, 0}, {0, 0, 0}, 0, 35);
            w.End();
        }
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    EXPECT_EQ(s.lightCount, 8);
    EXPECT_EQ(s.cameraCount, 5);
    EXPECT_STREQ(s.lights[7]->name, "L7");
    EXPECT_FLOAT_EQ(s.lights[7]->colour[2], 7.0f); // the ninth light's colour went nowhere
    EXPECT_STREQ(s.cameras[4]->name, "C4");
    EXPECT_NE(capture.Joined().find("ignorata"), std::string::npos);
}

TEST_F(Loader3dsTest, CameraIgnoresLensAndUsesFourThirds) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.BeginNamedObject("Cam");
        w.Camera({1, 2, 3}, {4, 5, 6}, 30.0f, 200.0f);
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    ASSERT_EQ(s.cameraCount, 1);
    EXPECT_EQ(s.currentCamera, 0);
    Camera* c = s.cameras[0];
    EXPECT_STREQ(c->name, "Cam");
    EXPECT_FLOAT_EQ(c->pos[1], 3.0f);
    EXPECT_FLOAT_EQ(c->target[1], 6.0f);
    EXPECT_FLOAT_EQ(c->target[2], 5.0f);
    EXPECT_FLOAT_EQ(c->roll, 30.0f);
    EXPECT_FLOAT_EQ(c->fov, 90.0f);
    EXPECT_EQ(c->aspect, 1.3333334f);
}

TEST_F(Loader3dsTest, ChunksBeforeTheirOwnerAreSkipped) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.FaceList({{0, 1, 2, 0}});
        w.TexCoords({{1, 1}});
        w.LocalAxes({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1});
        w.Spotlight({1, 1, 1}, 10, 20);
        w.Begin(kChunkTextureMap);
        w.Begin(kChunkMapFile);
        w.String("orphan.jpg");
        w.End();
        w.End();
        w.Mesh("Later", kTriangle, {{0, 1, 2, 0}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    EXPECT_EQ(s.objectCount, 1);
    EXPECT_EQ(s.lightCount, 0);
    EXPECT_EQ(s.materialCount, 0);
    EXPECT_FLOAT_EQ(s.objects->pos[0], 0.0f);
}

TEST_F(Loader3dsTest, UnknownChunksAreSkippedByLength) {
    Loaded3ds l(EditorFile([](Writer3DS& w) {
        w.Opaque(0x1234, {0x10, 0x41, 0x50, 0, 0, 0}); // looks like a vertex list inside
        w.Mesh("Only", kTriangle, {});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().objectCount, 1);
}

} // namespace

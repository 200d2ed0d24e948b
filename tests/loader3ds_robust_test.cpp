// 3DS reader on damaged and hostile input: truncation at every byte, bad
// lengths, huge counts, deep nesting, long names, NaN geometry and random
// corruption. Nothing may read or write outside its buffers (the sanitizer
// build checks that); the tests check that loading ends and what survives.
#include "loader3ds/format3ds.h"
#include "loader3ds/loader3ds.h"
#include "scene/scene.h"
#include "tests/support/load3ds_helper.h"
#include "tools/formats/writer3ds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Robust3dsTest = Pool3dsTest;

// A small file that uses every handler: material with map, mesh with groups,
// texture coordinates and local axes, light with spot, camera, keyframer with
// every track kind.
std::vector<uint8_t> EveryChunkFile() {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Version(3);
    w.Begin(kChunkEditor);
    w.Material("Mat", {0.1f, 0.1f, 0.1f}, {0.5f, 0.5f, 0.5f}, {1, 1, 1}, "m.jpg");
    w.Begin(kChunkMaterial);
    w.MaterialName("Two");
    w.Begin(kChunkAmbient);
    w.ColourByte(1, 2, 3);
    w.End();
    w.End();
    w.BeginNamedObject("Box");
    w.Begin(kChunkTriMesh);
    w.VertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}});
    w.BeginFaceList({{0, 1, 2, 7}, {1, 3, 2, 7}});
    w.FaceMaterial("Mat", {1});
    w.FaceMaterial("Two", {0});
    w.Opaque(kChunkSmoothGroups, {1, 0, 0, 0, 1, 0, 0, 0});
    w.End();
    w.TexCoords({{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    w.LocalAxes({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.5f, 0.5f, 0.5f});
    w.End();
    w.End();
    w.BeginNamedObject("Lamp");
    w.BeginLight({1, 2, 3});
    w.ColourFloat(1, 1, 0);
    w.Spotlight({0, 0, 0}, 30, 40);
    w.End();
    w.End();
    w.BeginNamedObject("Cam");
    w.Camera({5, 5, 5}, {0, 0, 0}, 2, 50);
    w.End();
    w.End();
    w.Begin(kChunkKeyframer);
    w.FrameSegment(0, 30);
    w.Node(kChunkObjectNode, "$$$DUMMY", kNoParent, {{kChunkPositionTrack, {VectorKey3ds(0, 1, 2, 3)}}});
    TrackKey3ds eased = VectorKey3ds(10, 1, 1, 1);
    eased.splineFlags = 0x1F;
    eased.spline[4] = 0.75f;
    w.Node(kChunkObjectNode, "Box", 0,
           {{kChunkPositionTrack, {VectorKey3ds(0, 0, 0, 0), eased}},
            {kChunkRotationTrack, {RotationKey3ds(0, 0.5f, 0, 1, 0)}},
            {kChunkScaleTrack, {VectorKey3ds(0, 1, 1, 1)}}});
    w.Node(kChunkCameraNode, "Cam", kNoParent,
           {{kChunkFovTrack, {ScalarKey3ds(0, 40)}}, {kChunkRollTrack, {ScalarKey3ds(0, 3)}}});
    w.Node(kChunkSpotNode, "Lamp", kNoParent, {{kChunkColourTrack, {VectorKey3ds(0, 1, 0, 0)}}});
    return w.Finish();
}

TEST_F(Robust3dsTest, FullFileLoadsEverything) {
    Loaded3ds l(EveryChunkFile());
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    EXPECT_EQ(s.objectCount, 2);
    EXPECT_EQ(s.materialCount, 2);
    EXPECT_EQ(s.lightCount, 1);
    EXPECT_EQ(s.cameraCount, 1);
    EXPECT_EQ(s.frameCount, 31);
    MeshObject* box = s.FindObject("Box");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->faceCount, 2);
    EXPECT_EQ(box->faces[0].a, 1); // group "Mat" first
    EXPECT_EQ(box->positionTrack.keyCount, 2);
    EXPECT_FLOAT_EQ(VectorKeys(box->positionTrack)[1].easeFrom, 0.75f);
    EXPECT_NE(box->parent, nullptr);
}

// Every prefix of a valid file loads without fault; what is read is a subset
// of the whole.
TEST_F(Robust3dsTest, TruncatedAtEveryByte) {
    const std::vector<uint8_t> file = EveryChunkFile();
    for (size_t n = 0; n < file.size(); ++n) {
        PoolInit(20000000); // scenes never give their records back
        Loaded3ds l(Truncated(file, n));
        ASSERT_TRUE(l.ok()) << "prefix " << n << ": " << l.error();
        Scene& s = l.scene();
        EXPECT_LE(s.objectCount, 2) << n;
        EXPECT_LE(s.materialCount, 2) << n;
        EXPECT_LE(s.lightCount, 1) << n;
        EXPECT_LE(s.cameraCount, 1) << n;
        for (MeshObject* o = s.objects; o; o = o->nextObject) {
            EXPECT_LE(o->vertexCount, 4) << n;
            EXPECT_LE(o->faceCount, 2) << n;
            int grouped = 0;
            for (int g = 0; g < o->groupCount; ++g) {
                grouped += o->groups[g].faceCount;
            }
            EXPECT_LE(grouped, o->faceCount) << n;
            for (int f = 0; f < o->faceCount; ++f) {
                EXPECT_LT(o->faces[f].a, o->vertexCount) << n;
            }
        }
    }
}

TEST_F(Robust3dsTest, EmptyFileGivesAnEmptyScene) {
    Loaded3ds l(std::vector<uint8_t>{});
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().objectCount, 0);
    EXPECT_EQ(l.scene().frameCount, 0);
    EXPECT_EQ(l.scene().drawList, nullptr);
}

struct LengthCase {
    const char* what;
    uint32_t length;
};

class BadLengthTest : public Pool3dsTest, public ::testing::WithParamInterface<LengthCase> {};

// A bad chunk after one good mesh: the mesh survives and the walk ends.
TEST_P(BadLengthTest, EndsTheHoldingChunkSafely) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.Mesh("Good", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0}});
    w.RawHeader(kChunkVertexList, GetParam().length);
    w.U16(2);
    w.Floats({1, 2, 3});
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    ASSERT_GE(l.scene().objectCount, 1) << GetParam().what;
    EXPECT_STREQ(ObjectsInCreationOrder(l.scene())[0]->name, "Good");
    for (MeshObject* o = l.scene().objects; o; o = o->nextObject) {
        EXPECT_LE(o->vertexCount, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(Loader3ds, BadLengthTest,
                         ::testing::Values(LengthCase{"zero", 0}, LengthCase{"below the header", 5},
                                           LengthCase{"header only", 6}, LengthCase{"past the file", 1000},
                                           LengthCase{"huge", 0xFFFFFFFFu}, LengthCase{"sign bit", 0x80000000u}));

TEST_F(Robust3dsTest, HugeCountsAreClampedToTheBytesThere) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.BeginNamedObject("Liar");
    w.Begin(kChunkTriMesh);
    w.Begin(kChunkVertexList);
    w.U16(65535);
    w.Floats({1, 2, 3, 4, 5, 6});
    w.End();
    w.Begin(kChunkFaceList);
    w.U16(65535);
    w.U16(0);
    w.U16(1);
    w.U16(1);
    w.U16(0);
    w.Begin(kChunkFaceMaterial);
    w.String("Missing?");
    w.End();
    w.End();
    w.Begin(kChunkTexCoords);
    w.U16(65535);
    w.Floats({0.5f, 0.5f});
    w.End();
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->vertexCount, 2);
    // A lying face count swallows the face-material chunk as a second face,
    // whose indices name no vertex: it is dropped.
    EXPECT_EQ(o->faceCount, 1);
    EXPECT_EQ(o->groupCount, 0);
    EXPECT_FLOAT_EQ(o->arrayVerts[0].u, 0.5f);
}

TEST_F(Robust3dsTest, HugeGroupAndTexCoordCounts) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.MaterialName("M");
    w.BeginNamedObject("Liar");
    w.Begin(kChunkTriMesh);
    w.VertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    w.BeginFaceList({{0, 1, 2, 0}});
    w.Begin(kChunkFaceMaterial);
    w.String("M");
    w.U16(60000);
    w.U16(0);
    w.End();
    w.End();
    w.Begin(kChunkTexCoords);
    w.U16(60000);
    w.Floats({0.5f, 0.25f});
    w.End();
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* o = l.scene().objects;
    ASSERT_EQ(o->groupCount, 1);
    EXPECT_EQ(o->groups[0].faceCount, 1);
    EXPECT_FLOAT_EQ(o->arrayVerts[0].v, 0.25f);
    EXPECT_FLOAT_EQ(o->arrayVerts[1].u, 0.0f);
}

TEST_F(Robust3dsTest, LongNamesAreCut) {
    const std::string longName(300, 'n');
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.MaterialName(longName);
    w.Mesh(longName, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0}}, {{longName, {0}}});
    w.Begin(kChunkMaterial);
    w.MaterialName("Map");
    w.TextureMap(longName);
    w.End();
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    EXPECT_EQ(std::strlen(s.objects->name), 79u);
    EXPECT_EQ(std::strlen(s.materials[0]->name), 99u);
    EXPECT_EQ(std::strlen(s.materials[1]->mapFile), 99u);
    // The cut group name still finds the cut material name.
    EXPECT_EQ(s.objects->groups[0].material, s.materials[0]);
}

TEST_F(Robust3dsTest, UnterminatedNameEndsAtItsChunk) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.Begin(kChunkMaterialName);
    w.Raw({'a', 'b', 'c'});
    w.End();
    w.Mesh("Next", {{0, 0, 0}}, {});
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_STREQ(l.scene().materials[0]->name, "abc");
    EXPECT_STREQ(l.scene().objects->name, "Next");
}

TEST_F(Robust3dsTest, GroupNameCutByItsChunkIsSkipped) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.MaterialName("Mat");
    w.BeginNamedObject("Box");
    w.Begin(kChunkTriMesh);
    w.VertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    w.BeginFaceList({{0, 1, 2, 0}});
    w.Begin(kChunkFaceMaterial);
    w.Raw({'M', 'a'});
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().objects->groupCount, 0);
    EXPECT_EQ(l.scene().objects->faceCount, 1);
}

TEST_F(Robust3dsTest, DeepNestingStaysBounded) {
    Writer3DS w;
    for (int i = 0; i < 200; ++i) {
        w.Begin(kChunkMain);
    }
    w.Mesh("Deep", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0}});
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().objectCount, 1);
    EXPECT_EQ(l.scene().objects->faceCount, 1);
}

TEST_F(Robust3dsTest, NaNAndHugeCoordinatesPackSafely) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float big = std::numeric_limits<float>::max();
    const float inf = std::numeric_limits<float>::infinity();
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.BeginNamedObject("Wild");
    w.Begin(kChunkTriMesh);
    w.VertexList({{nan, 0, 0}, {big, big, 0}, {-big, big, big}, {inf, -inf, 0}, {0, 0, 0}, {1e-30f, 0, 0}});
    w.FaceList({{0, 1, 2, 0}, {1, 2, 3, 0}, {3, 4, 5, 0}, {1, 4, 5, 0}, {4, 5, 2, 0}});
    w.LocalAxes({nan, 0, 0}, {big, big, big}, {0, 0, 1}, {0, 0, 0});
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    const MeshObject* o = l.scene().objects;
    ASSERT_EQ(o->faceCount, 5);
    for (int f = 0; f < o->faceCount; ++f) {
        for (const int16_t n : o->faces[f].normal) {
            EXPECT_GE(n, -32767);
            EXPECT_LE(n, 32767);
        }
    }
}

TEST_F(Robust3dsTest, OverlongChunksAreCutAtTheirHolder) {
    // A vertex list claiming far more than its mesh chunk holds must not read
    // the sibling material that follows as vertices.
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.BeginNamedObject("Inner");
    w.Begin(kChunkTriMesh);
    w.RawHeader(kChunkVertexList, 6 + 2 + 12 * 100);
    w.U16(100);
    w.Floats({1, 2, 3});
    w.End();
    w.End();
    w.Begin(kChunkMaterial);
    w.MaterialName("After");
    w.End();
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().objects->vertexCount, 1);
    ASSERT_EQ(l.scene().materialCount, 1);
    EXPECT_STREQ(l.scene().materials[0]->name, "After");
}

// Deterministic corruption: flipped bytes anywhere in a valid file. Loading
// may fail with a thrown message, never with a fault.
TEST_F(Robust3dsTest, RandomCorruptionNeverFaults) {
    const std::vector<uint8_t> file = EveryChunkFile();
    std::mt19937 random(12345);
    std::uniform_int_distribution<size_t> where(0, file.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    int loaded = 0;
    for (int round = 0; round < 400; ++round) {
        PoolInit(20000000);
        std::vector<uint8_t> bad = file;
        const int flips = 1 + round % 4;
        for (int i = 0; i < flips; ++i) {
            bad[where(random)] = static_cast<uint8_t>(value(random));
        }
        Loaded3ds l(bad);
        if (l.ok()) {
            ++loaded;
            for (MeshObject* o = l.scene().objects; o; o = o->nextObject) {
                for (int f = 0; f < o->faceCount; ++f) {
                    ASSERT_LT(o->faces[f].a, o->vertexCount);
                    ASSERT_LT(o->faces[f].b, o->vertexCount);
                    ASSERT_LT(o->faces[f].c, o->vertexCount);
                }
            }
        } else {
            EXPECT_EQ(l.error(), "Errore, materiale inesistente");
        }
    }
    EXPECT_GT(loaded, 0);
}

} // namespace

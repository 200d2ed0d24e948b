// 3DS reader on real third-party files. The expected numbers were taken by
// walking each file's chunk tree with a separate nested reader, not with the
// loader under test.
#include "keyframe/keyframe.h"
#include "loader3ds/loader3ds.h"
#include "scene/scene.h"
#include "tests/support/load3ds_helper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct CorpusCase {
    const char* file;
    int objects;
    int vertices;
    int faces;
    int materials;
    int cameras;
    int lights;
    int frames;
};

std::vector<uint8_t> ReadCorpus(const std::string& name) {
    std::ifstream in(std::string(TESSARO_CORPUS_DIR) + "/3ds/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Corpus3dsTest : public Pool3dsTest, public ::testing::WithParamInterface<CorpusCase> {};

TEST_P(Corpus3dsTest, CountsMatchTheFile) {
    const CorpusCase& c = GetParam();
    const std::vector<uint8_t> bytes = ReadCorpus(c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    Loaded3ds l(bytes, {}, "c.3ds");
    ASSERT_TRUE(l.ok()) << c.file << ": " << l.error();
    Scene& s = l.scene();
    EXPECT_EQ(s.objectCount, c.objects);
    EXPECT_EQ(s.materialCount, c.materials);
    EXPECT_EQ(s.cameraCount, c.cameras);
    EXPECT_EQ(s.lightCount, c.lights);
    EXPECT_EQ(s.frameCount, c.frames);
    int vertices = 0;
    int faces = 0;
    int objects = 0;
    for (MeshObject* o = s.objects; o; o = o->nextObject) {
        ++objects;
        vertices += o->vertexCount;
        faces += o->faceCount;
        EXPECT_NE(o->name, nullptr);
        int grouped = 0;
        for (int g = 0; g < o->groupCount; ++g) {
            EXPECT_EQ(o->groups[g].faceIndices, nullptr);
            EXPECT_NE(o->groups[g].material, nullptr);
            grouped += o->groups[g].faceCount;
        }
        EXPECT_LE(grouped, o->faceCount);
        for (int f = 0; f < o->faceCount; ++f) {
            ASSERT_LT(o->faces[f].a, o->vertexCount);
            ASSERT_LT(o->faces[f].b, o->vertexCount);
            ASSERT_LT(o->faces[f].c, o->vertexCount);
        }
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_LE(o->bboxMin[axis], o->bboxMax[axis]);
        }
    }
    EXPECT_EQ(objects, c.objects);
    EXPECT_EQ(vertices, c.vertices);
    EXPECT_EQ(faces, c.faces);
    // No file here links one mesh under another in object-node numbering.
    EXPECT_EQ(static_cast<int>(DrawList(s).size()), c.objects);
}

// What the engine does right after loading: prepare the tracks once, then
// evaluate them at any frame. The loaded keys must carry that through.
TEST_P(Corpus3dsTest, TracksPrepareAndEvaluate) {
    const CorpusCase& c = GetParam();
    Loaded3ds l(ReadCorpus(c.file), {}, "c.3ds");
    ASSERT_TRUE(l.ok()) << c.file << ": " << l.error();
    Scene& s = l.scene();
    PrepareTracks(&s);
    for (const float frame : {0.0f, 1.5f, static_cast<float>(c.frames) / 2.0f, static_cast<float>(c.frames)}) {
        EvaluateTracks(&s, frame);
        for (MeshObject* o = s.objects; o; o = o->nextObject) {
            for (const float v : o->pos) {
                EXPECT_TRUE(std::isfinite(v)) << c.file << " frame " << frame;
            }
        }
        if (s.cameraCount > 0) {
            for (const float v : s.cameras[0]->pos) {
                EXPECT_TRUE(std::isfinite(v)) << c.file << " frame " << frame;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Loader3ds, Corpus3dsTest,
                         ::testing::Values(CorpusCase{"CameraRollAnim.3ds", 1, 26, 12, 0, 1, 0, 301},
                                           CorpusCase{"CameraRollAnimWithChildObject.3ds", 2, 52, 24, 0, 1, 0, 301},
                                           CorpusCase{"RotatingCube.3DS", 1, 26, 12, 0, 0, 0, 301},
                                           CorpusCase{"TargetCameraAnim.3ds", 1, 26, 12, 0, 1, 0, 301},
                                           CorpusCase{"cube_with_diffuse_texture.3DS", 1, 32, 12, 1, 0, 0, 101},
                                           CorpusCase{"cube_with_specular_texture.3DS", 1, 32, 12, 1, 0, 0, 101},
                                           CorpusCase{"cubes_with_alpha.3DS", 5, 130, 60, 5, 0, 0, 3},
                                           CorpusCase{"fels.3ds", 1, 386, 768, 1, 0, 0, 0},
                                           CorpusCase{"test1.3ds", 9, 288, 108, 3, 0, 0, 101}));

using CorpusDetail3dsTest = Pool3dsTest;

TEST_F(CorpusDetail3dsTest, CameraTracksOfTargetCameraAnim) {
    Loaded3ds l(ReadCorpus("TargetCameraAnim.3ds"), {}, "c.3ds");
    ASSERT_TRUE(l.ok()) << l.error();
    const Camera* c = l.scene().cameras[0];
    EXPECT_STREQ(c->name, "Camera01");
    EXPECT_EQ(c->positionTrack.keyCount, 4);
    EXPECT_EQ(c->fovTrack.keyCount, 1);
    EXPECT_EQ(c->rollTrack.keyCount, 1);
    EXPECT_EQ(c->targetTrack.keyCount, 3);
    EXPECT_EQ(c->aspect, 1.3333334f);
}

TEST_F(CorpusDetail3dsTest, ChildObjectFileKeepsBothBoxesDrawn) {
    // Box02's header gives parent index 1, which in object-node numbering is
    // Box02 itself: it stays a root instead of becoming its own child.
    Loaded3ds l(ReadCorpus("CameraRollAnimWithChildObject.3ds"), {}, "c.3ds");
    ASSERT_TRUE(l.ok()) << l.error();
    MeshObject* box2 = l.scene().FindObject("Box02");
    ASSERT_NE(box2, nullptr);
    EXPECT_EQ(box2->nodeId, 1);
    EXPECT_EQ(box2->parent, nullptr);
    EXPECT_EQ(box2->firstChild, nullptr);
    EXPECT_EQ(box2->positionTrack.keyCount, 119);
    EXPECT_EQ(box2->rotationTrack.keyCount, 2);
}

TEST_F(CorpusDetail3dsTest, MapFilesOfTest1) {
    Loaded3ds l(ReadCorpus("test1.3ds"), {}, "c.3ds");
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    ASSERT_EQ(s.materialCount, 3);
    std::vector<std::string> maps;
    for (int i = 0; i < s.materialCount; ++i) {
        ASSERT_NE(s.materials[i]->mapFile, nullptr);
        maps.emplace_back(s.materials[i]->mapFile);
        EXPECT_EQ(s.materials[i]->texture, 0u);
    }
    EXPECT_EQ(maps, (std::vector<std::string>{"IMAGE1.JPG", "CWALL02.JPG", "IMAGE2.JPG"}));
}

TEST_F(CorpusDetail3dsTest, EmptyFileLoadsNothing) {
    const std::vector<uint8_t> bytes = ReadCorpus("broken/empty.3ds");
    EXPECT_TRUE(bytes.empty());
    Loaded3ds l(bytes, {}, "empty.3ds");
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().objectCount, 0);
    EXPECT_EQ(l.scene().materialCount, 0);
    EXPECT_EQ(l.scene().frameCount, 0);
}

} // namespace

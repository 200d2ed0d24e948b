// Keyframe tracks of real third-party 3DS files: each file goes through the
// archive and the 3DS reader as in the program, is prepared once, and is then
// evaluated over its whole frame range and a little beyond.
#include "keyframe/keyframe.h"

#include <gtest/gtest.h>

#include <cctype> // std::isalnum for test names
#include <cmath>  // std::isfinite, std::sqrt
#include <string> // file names
#include <vector> // file bytes

#include "archive/archive.h"        // PakOpen, PakClose, g_currentPak
#include "archive/pak_writer.h"     // PakWriteArchive: the file is served from a temporary archive
#include "loader3ds/loader3ds.h"    // Load3ds
#include "memory/memory_pool.h"     // PoolInit, PoolSetSmallSize
#include "scene/scene.h"            // Scene and its records
#include "tests/support/temp_dir.h" // TempDir, ReadFileBytes

namespace {

constexpr const char* kEntryName = "corpus.3ds";

bool Finite(const float* v, int count) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(v[i])) {
            return false;
        }
    }
    return true;
}

class KeyframeCorpusTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        PoolSetSmallSize(200000);
        PoolInit(20000000);
        const std::string path = std::string(TESSARO_CORPUS_DIR) + "/3ds/" + GetParam();
        const std::vector<unsigned char> bytes = ReadFileBytes(path);
        ASSERT_FALSE(bytes.empty()) << path;
        std::string why;
        const std::string archive = dir_.File("corpus.qdz");
        ASSERT_TRUE(
            PakWriteArchive(archive, {PakWriteEntry{kEntryName, 0, {bytes.begin(), bytes.end()}}}, &why))
            << why;
        pak_ = PakOpen(archive.c_str(), "rb");
        ASSERT_NE(pak_, nullptr);
        try {
            Load3ds(kEntryName, &scene_);
        } catch (const char* message) {
            FAIL() << "load failed: " << message;
        }
    }
    void TearDown() override {
        scene_.Destroy();
        if (pak_ != nullptr) {
            PakClose(pak_);
            if (g_currentPak == pak_) {
                g_currentPak = nullptr;
            }
        }
    }

    // Every value the evaluation writes, checked at one frame.
    void ExpectFiniteAt(float frame) {
        EvaluateTracks(&scene_, frame);
        for (MeshObject* o = scene_.objects; o != nullptr; o = o->nextObject) {
            ASSERT_TRUE(Finite(o->pos, 3)) << o->name << " at " << frame;
            ASSERT_TRUE(Finite(o->rot, 4)) << o->name << " at " << frame;
        }
        for (int i = 0; i < scene_.cameraCount; ++i) {
            const Camera* c = scene_.cameras[i];
            ASSERT_TRUE(Finite(c->pos, 3) && Finite(c->target, 3)) << "camera " << i << " at " << frame;
            ASSERT_TRUE(std::isfinite(c->roll) && std::isfinite(c->fov)) << "camera " << i << " at " << frame;
        }
        for (int i = 0; i < scene_.lightCount; ++i) {
            const Light* l = scene_.lights[i];
            ASSERT_TRUE(Finite(l->pos, 3) && Finite(l->target, 3) && Finite(l->colour, 3)) << "light " << i;
        }
    }

    TempDir dir_;
    PAKFile* pak_ = nullptr;
    Scene scene_;
};

TEST_P(KeyframeCorpusTest, EveryFrameGivesFiniteValues) {
    PrepareTracks(&scene_);
    const float last = static_cast<float>(scene_.frameCount) + 3.0f;
    for (float frame = -2.0f; frame <= last; frame += 0.25f) {
        ExpectFiniteAt(frame);
    }
}

TEST_P(KeyframeCorpusTest, AbsoluteOrientationsStayUnitLength) {
    // The file's rotation keys are angle and unit axis, so each relative
    // quaternion is of unit length and so is their running product.
    PrepareTracks(&scene_);
    for (MeshObject* o = scene_.objects; o != nullptr; o = o->nextObject) {
        const RotationKey* keys = RotationKeys(o->rotationTrack);
        for (int i = 0; i < o->rotationTrack.keyCount; ++i) {
            const float* q = keys[i].orientation;
            const double length = std::sqrt(double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2] +
                                            double(q[3]) * q[3]);
            EXPECT_NEAR(length, 1.0, 1e-3) << o->name << " key " << i;
        }
    }
}

TEST_P(KeyframeCorpusTest, EachKeyIsReachedAtItsOwnFrame) {
    PrepareTracks(&scene_);
    int checked = 0;
    for (MeshObject* o = scene_.objects; o != nullptr; o = o->nextObject) {
        const VectorKey* positions = VectorKeys(o->positionTrack);
        for (int k = 0; k < o->positionTrack.keyCount; ++k) {
            const float frame = static_cast<float>(positions[k].frame);
            float out[3] = {};
            EvaluateVector(&o->positionTrack, frame, out);
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(out[c], positions[k].value[c], 1e-3 * (1.0 + std::fabs(positions[k].value[c])))
                    << o->name << " position key " << k;
            }
            ++checked;
        }
        const RotationKey* rotations = RotationKeys(o->rotationTrack);
        for (int k = 0; k < o->rotationTrack.keyCount; ++k) {
            const float frame = static_cast<float>(rotations[k].frame);
            float out[4] = {};
            EvaluateRotation(&o->rotationTrack, frame, out);
            for (int c = 0; c < 4; ++c) {
                EXPECT_NEAR(out[c], rotations[k].orientation[c], 1e-4) << o->name << " rotation key " << k;
            }
            ++checked;
        }
    }
    for (int i = 0; i < scene_.cameraCount; ++i) {
        const KeyTrack& roll = scene_.cameras[i]->rollTrack;
        for (int k = 0; k < roll.keyCount; ++k) {
            if (ScalarKeys(roll)[k].frame <= 0) {
                continue; // frame 0 and before give 0 by design
            }
            const float frame = static_cast<float>(ScalarKeys(roll)[k].frame);
            EXPECT_NEAR(EvaluateScalar(&roll, frame), ScalarKeys(roll)[k].value, 1e-3)
                << "camera " << i << " roll key " << k;
            ++checked;
        }
    }
    if (scene_.frameCount > 0) {
        EXPECT_GT(checked, 0) << "an animated file with no keys read";
    }
}

TEST(KeyframeCorpusRoll, CameraRollRunsBetweenItsKeys) {
    // CameraRollAnim.3ds: one camera whose roll goes from about 0 at frame 0
    // to about -77 degrees at frame 120.
    PoolSetSmallSize(200000);
    PoolInit(20000000);
    TempDir dir;
    const std::vector<unsigned char> bytes =
        ReadFileBytes(std::string(TESSARO_CORPUS_DIR) + "/3ds/CameraRollAnim.3ds");
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(PakWriteArchive(dir.File("r.qdz"),
                                {PakWriteEntry{kEntryName, 0, {bytes.begin(), bytes.end()}}}, nullptr));
    PAKFile* pak = PakOpen(dir.File("r.qdz").c_str(), "rb");
    ASSERT_NE(pak, nullptr);
    Scene scene;
    Load3ds(kEntryName, &scene);
    ASSERT_EQ(scene.cameraCount, 1);
    const KeyTrack& roll = scene.cameras[0]->rollTrack;
    ASSERT_EQ(roll.keyCount, 2);
    PrepareTracks(&scene);
    const float first = ScalarKeys(roll)[0].value;
    const float last = ScalarKeys(roll)[1].value;
    EvaluateTracks(&scene, 0.0f);
    EXPECT_EQ(scene.cameras[0]->roll, 0.0f);
    EvaluateTracks(&scene, 0.5f);
    EXPECT_EQ(scene.cameras[0]->roll, first);
    float previous = first;
    for (float frame = 1.0f; frame <= 120.0f; frame += 1.0f) {
        EvaluateTracks(&scene, frame);
        EXPECT_LE(scene.cameras[0]->roll, previous + 1e-4f) << frame; // keeps turning one way
        previous = scene.cameras[0]->roll;
    }
    EXPECT_NEAR(previous, last, 1e-3);
    EvaluateTracks(&scene, 250.0f);
    EXPECT_EQ(scene.cameras[0]->roll, last);
    scene.Destroy();
    PakClose(pak);
    g_currentPak = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Corpus, KeyframeCorpusTest,
                         ::testing::Values("CameraRollAnim.3ds", "CameraRollAnimWithChildObject.3ds",
                                           "RotatingCube.3DS", "TargetCameraAnim.3ds", "fels.3ds",
                                           "test1.3ds", "cubes_with_alpha.3DS"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

} // namespace

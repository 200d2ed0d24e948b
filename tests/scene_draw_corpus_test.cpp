// Real content through the whole drawing on the headless context: every
// corpus 3DS scene played through its frames, and the corpus MD2 characters
// walked through their motions with blends between them.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "keyframe/keyframe.h"
#include "md2/md2.h"
#include "scene/draw.h"
#include "scene/scene.h"
#include "tests/support/gl_context.h"
#include "tests/support/load3ds_helper.h"
#include "tests/support/texture_archive.h"
#include "texture/texture.h" // TextureUseGl

namespace {

std::vector<uint8_t> ReadCorpus(const std::string& name) {
    std::ifstream in(std::string(TESSARO_CORPUS_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the corpus is drawn with: the desktop table and its counters.
DrawContext s_draw = MakeDrawContext(GlTableDesktop());

// The GL state the framework leaves, on a 64 x 64 buffer.
bool PrepareGl() {
    if (!TestGlMakeCurrent(64, 64)) {
        return false;
    }
    s_draw = MakeDrawContext(GlTableDesktop());
    TextureUseGl(&s_draw.gl);
    DrawViewport(&s_draw, 0, 0, 64, 64);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return true;
}

// Puts `camera` above and in front of the scene's draw list, far enough back
// to see every object's origin and box.
void FrameObjects(const Scene& scene, Camera* camera) {
    float centre[3] = {0.0f, 0.0f, 0.0f};
    int32_t count = 0;
    for (const MeshObject* o = scene.drawList; o != nullptr; o = o->nextDrawn) {
        for (int k = 0; k < 3; ++k) {
            centre[k] += o->pos[k];
        }
        ++count;
    }
    for (float& c : centre) {
        c /= static_cast<float>(count > 0 ? count : 1);
    }
    float radius = 1.0f;
    for (const MeshObject* o = scene.drawList; o != nullptr; o = o->nextDrawn) {
        float reach = 0.0f;
        for (int k = 0; k < 3; ++k) {
            reach += (o->pos[k] - centre[k]) * (o->pos[k] - centre[k]);
        }
        float size = 0.0f;
        for (int k = 0; k < 3; ++k) {
            size += (o->bboxMax[k] - o->bboxMin[k]) * (o->bboxMax[k] - o->bboxMin[k]);
        }
        radius = std::fmax(radius, std::sqrt(reach) + std::sqrt(size));
    }
    std::memcpy(camera->target, centre, sizeof(centre));
    camera->pos[0] = centre[0] + 0.5f * radius;
    camera->pos[1] = centre[1] + 1.0f * radius;
    camera->pos[2] = centre[2] + 2.5f * radius;
    camera->fov = 60.0f;
}

class CorpusDrawTest : public Pool3dsTest {
  protected:
    void TearDown() override {
        if (TestGlWidth() != 0) {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            TestGlDetach();
        }
    }
};

TEST_F(CorpusDrawTest, ScenesPlayThroughTheirFrames) {
    if (!PrepareGl()) {
        GTEST_SKIP() << TestGlError();
    }
    const char* files[] = {"3ds/CameraRollAnim.3ds",
                           "3ds/CameraRollAnimWithChildObject.3ds",
                           "3ds/RotatingCube.3DS",
                           "3ds/TargetCameraAnim.3ds",
                           "3ds/cube_with_diffuse_texture.3DS",
                           "3ds/cubes_with_alpha.3DS",
                           "3ds/fels.3ds",
                           "3ds/test1.3ds"};
    uint32_t facesInAll = 0;
    for (const char* file : files) {
        Loaded3ds loaded(ReadCorpus(file));
        ASSERT_TRUE(loaded.ok()) << file << ": " << loaded.error();
        Scene& scene = loaded.scene();
        PrepareTracks(&scene);
        // The files with cameras have no materials (nothing to draw); the
        // others get a camera of ours that frames their objects (placed after
        // each evaluation, which writes its empty tracks into it).
        Camera framing;
        const bool framed = scene.cameraCount == 0;
        if (framed) {
            scene.AddCamera(&framing);
        }
        s_draw.stats = DrawStats{};
        const int32_t frames = scene.frameCount > 0 ? scene.frameCount : 1;
        for (int32_t f = 0; f < frames; f += (frames > 20 ? frames / 20 : 1)) {
            for (float opacity : {1.0f, 0.5f}) {
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                EvaluateTracks(&scene, static_cast<float>(f));
                if (framed) {
                    FrameObjects(scene, &framing);
                }
                scene.opacity = opacity;
                RenderScene(&s_draw, &scene);
                ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << file << " frame " << f;
            }
        }
        for (MeshObject* object = scene.objects; object != nullptr; object = object->nextObject) {
            for (int32_t v = 0; v < object->vertexCount; ++v) {
                const int32_t mark = object->vertexState[v];
                ASSERT_TRUE(mark == 0 || mark == 1 || mark == 2) << file;
                if (mark != 0) {
                    ASSERT_TRUE(std::isfinite(object->arrayVerts[v].x) &&
                                std::isfinite(object->arrayVerts[v].z));
                    ASSERT_GE(object->arrayVerts[v].r, 0.0f);
                    ASSERT_LE(object->arrayVerts[v].r, 1.0f);
                }
            }
        }
        bool drawable = false;
        for (const MeshObject* o = scene.drawList; o != nullptr; o = o->nextDrawn) {
            drawable = drawable || o->groupCount > 0;
        }
        if (framed && drawable) {
            EXPECT_GT(s_draw.stats.facesDrawn, 0u) << file;
        }
        facesInAll += s_draw.stats.facesDrawn;
    }
    EXPECT_GT(facesInAll, 0u);
}

// A corpus character in front of a camera, walked through its motions: each
// switch blends for one frame, the model's frames never change, and the
// drawn frame stays inside the model.
TEST_F(CorpusDrawTest, CharactersWalkThroughTheirMotions) {
    if (!PrepareGl()) {
        GTEST_SKIP() << TestGlError();
    }
    for (const char* file : {"md2/sydney.md2", "md2/faerie.md2"}) {
        TextureArchive archive({{"model.md2", 0x33, ReadCorpus(file)}});
        ASSERT_TRUE(archive.ok());
        Md2Model model{};
        ASSERT_EQ(model.Load("model.md2"), 1) << file;
        model.speed = 1.0f / 3.0f;
        const size_t frameBytes = sizeof(FrameVertex) * model.frameCount * model.vertsPerFrame;
        const std::vector<uint8_t> before(reinterpret_cast<const uint8_t*>(model.frames),
                                          reinterpret_cast<const uint8_t*>(model.frames) + frameBytes);

        Scene scene;
        Camera camera;
        camera.pos[0] = 0.0f;
        camera.pos[1] = 20.0f;
        camera.pos[2] = 90.0f;
        camera.target[1] = 10.0f;
        scene.cameras[0] = &camera;
        scene.cameraCount = 1;
        Light light;
        light.pos[2] = 100.0f;
        scene.lights[0] = &light;
        scene.lightCount = 1;
        scene.AddModel(&model);
        Md2Instance* instance = AddMd2Instance(&model, "walker", 0u);
        ASSERT_NE(instance, nullptr);
        instance->SetMotion(0);
        scene.dt = 1.0f;

        s_draw.stats = DrawStats{};
        int32_t blends = 0;
        for (int32_t step = 0; step < 400; ++step) {
            if (step % 37 == 0) {
                instance->anim = (step / 37) % static_cast<int32_t>(model.animCount);
            }
            scene.time = static_cast<float>(step);
            scene.dt = (step % 50 == 49) ? 25.0f : 1.0f; // now and then a long frame
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            RenderScene(&s_draw, &scene);
            ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << file << " step " << step;
            blends += instance->inTransition;
            const AnimRange& range = model.anims[instance->anim];
            ASSERT_LT(instance->frameInAnim, range.frameCount) << file << " step " << step;
            ASSERT_GE(instance->frac, 0.0f);
            ASSERT_LT(instance->frac, 1.0f);
            if (instance->inTransition == 0) {
                ASSERT_EQ(instance->frames, model.frames);
                ASSERT_EQ(static_cast<uint32_t>(instance->vertexOffset),
                          (range.firstFrame + instance->frameInAnim) * model.vertsPerFrame);
            }
        }
        EXPECT_GT(blends, 0) << file;
        EXPECT_GT(s_draw.stats.facesDrawn, 0u) << file;
        EXPECT_EQ(std::memcmp(before.data(), model.frames, frameBytes), 0) << file;
        scene.models = nullptr;
        FreeMd2Instances(&model);
        delete model.groups; // the model's one heap group (md2/md2.h)
    }
}

} // namespace

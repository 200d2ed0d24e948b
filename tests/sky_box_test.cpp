// Sky box: geometry, keyword table and handlers, descriptions read from the
// archive, the triangles the draw sends, and the picture and depth it leaves.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "memory/memory_pool.h"
#include "scene/draw.h"
#include "scene/scene.h"
#include "scene/sky_box.h"
#include "tests/support/debug_capture.h"
#include "tests/support/gl_context.h"
#include "tests/support/gl_recorder.h"
#include "tools/formats/image_writer.h"
#include "tests/support/texture_archive.h"
#include "texture/texture.h"

namespace {

class SkyBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PoolInit(4 * 1024 * 1024);
        box = NewSkyBox();
        ASSERT_NE(box, nullptr);
        g_currentSkyBox = box;
        TextureUseGl(&ctx.gl);
    }
    void TearDown() override {
        TextureUseGl(nullptr);
        g_currentSkyBox = nullptr;
        PoolRelease();
    }
    SkyBox* box = nullptr;
    // The desktop table; a recorder swaps its entries in place, uploads included.
    DrawContext ctx = MakeDrawContext(GlTableDesktop());
};

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A 2 x 2 TGA of one colour.
std::vector<uint8_t> SolidTga(uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t pixels[12] = {r, g, b, r, g, b, r, g, b, r, g, b};
    return EncodeTga(pixels, 2, 2, 24);
}

const float kIdentityView[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

TEST(SkyBoxKeywords, TableRowsInOrder) {
    struct Row {
        const char* keyword;
        SkyBoxHandler handler;
        int32_t arguments;
        int32_t handlerArgument;
    };
    const Row expected[kSkyBoxKeywordCount] = {
        {"SkyBox", &SkyBoxSwitch, 1, 0},
        {"InitialRotation", &SkyBoxRotation, 3, 0},
        {"TextureUp", &SkyBoxFaceTexture, 1, 0},
        {"TextureDown", &SkyBoxFaceTexture, 1, 1},
        {"TextureLeft", &SkyBoxFaceTexture, 1, 2},
        {"TextureRight", &SkyBoxFaceTexture, 1, 3},
        {"TextureFront", &SkyBoxFaceTexture, 1, 4},
        {"TextureBack", &SkyBoxFaceTexture, 1, 5},
    };
    for (int i = 0; i < kSkyBoxKeywordCount; ++i) {
        EXPECT_STREQ(g_skyBoxKeywords[i].keyword, expected[i].keyword);
        EXPECT_EQ(g_skyBoxKeywords[i].handler, expected[i].handler) << i;
        EXPECT_EQ(g_skyBoxKeywords[i].argumentCount, expected[i].arguments) << i;
        EXPECT_EQ(g_skyBoxKeywords[i].handlerArgument, expected[i].handlerArgument) << i;
        EXPECT_EQ(FindSkyBoxKeyword(expected[i].keyword), &g_skyBoxKeywords[i]);
    }
    EXPECT_EQ(FindSkyBoxKeyword("skybox"), nullptr);
    EXPECT_EQ(FindSkyBoxKeyword("Texture"), nullptr);
    EXPECT_EQ(FindSkyBoxKeyword(""), nullptr);
    EXPECT_EQ(FindSkyBoxKeyword(nullptr), nullptr);
}

TEST_F(SkyBoxTest, SwitchDisablesInAnyCaseAndIgnoresEverythingElse) {
    for (const char* word : {"disable", "DISABLE", "DiSaBlE", "Disable"}) {
        g_currentSkyBox = box;
        const char* arguments[] = {word, nullptr};
        EXPECT_EQ(SkyBoxSwitch(0, arguments), -1) << word;
        EXPECT_EQ(g_currentSkyBox, nullptr) << word;
    }
    for (const char* word : {"enable", "disabled", "disabl", "", "on"}) {
        g_currentSkyBox = box;
        const char* arguments[] = {word, nullptr};
        EXPECT_EQ(SkyBoxSwitch(0, arguments), 0) << word;
        EXPECT_EQ(g_currentSkyBox, box) << word;
    }
}

TEST_F(SkyBoxTest, InitialRotationTurnsTheBoxInRadians) {
    const char* arguments[] = {"0", "3.14", "0", nullptr};
    EXPECT_EQ(SkyBoxRotation(0, arguments), 0);
    // About half a turn about the vertical axis.
    EXPECT_NEAR(box->rotation[0], -1.0f, 1e-5f);
    EXPECT_NEAR(box->rotation[4], 1.0f, 1e-6f);
    EXPECT_NEAR(box->rotation[8], -1.0f, 1e-5f);
    EXPECT_NEAR(box->rotation[2], std::sin(3.14f), 1e-5f);
    // Drawn with the identity view the Back face now lies ahead, the Front
    // face behind. (3.14 is not quite pi: a side face may pass by a hair.)
    GlRecorder recorder(&ctx);
    box->textures[kSkyFaceBack] = 5;
    box->textures[kSkyFaceFront] = 4;
    DrawSkyBox(&ctx, box, kIdentityView);
    EXPECT_EQ(recorder.WithTexture(5).size(), 2u);
    EXPECT_TRUE(recorder.WithTexture(4).empty());
}

TEST_F(SkyBoxTest, HandlersWithoutACurrentBoxChangeNothing) {
    g_currentSkyBox = nullptr;
    SkyBox before{};
    std::memcpy(before.rotation, box->rotation, sizeof(before.rotation));
    const char* rotation[] = {"1", "2", "3", nullptr};
    EXPECT_EQ(SkyBoxRotation(0, rotation), 0);
    const char* texture[] = {"sky.tga", nullptr};
    EXPECT_EQ(SkyBoxFaceTexture(3, texture), 0);
    EXPECT_EQ(std::memcmp(box->rotation, before.rotation, sizeof(before.rotation)), 0);
    EXPECT_FLOAT_EQ(box->rotation[0], 1.0f);
    EXPECT_FLOAT_EQ(box->rotation[4], 1.0f);
    EXPECT_FLOAT_EQ(box->rotation[8], 1.0f);
    EXPECT_EQ(box->textures[3], 0u);
}

TEST_F(SkyBoxTest, RotationTextThatIsNotANumberReadsAsZero) {
    const char* arguments[] = {"abc", "1.57", "", nullptr};
    SkyBoxRotation(0, arguments);
    SkyBox reference{};
    reference.SetSkyRotation(0.0f, 1.57f, 0.0f);
    for (int i = 0; i < 9; ++i) {
        EXPECT_FLOAT_EQ(box->rotation[i], reference.rotation[i]);
    }
}

TEST_F(SkyBoxTest, GeometryHasSixInwardStripsInFaceOrder) {
    const float centres[kSkyBoxFaces][3] = {{0, 1, 0},  {0, -1, 0}, {1, 0, 0},
                                            {-1, 0, 0}, {0, 0, -1}, {0, 0, 1}};
    for (int f = 0; f < kSkyBoxFaces; ++f) {
        const float* n = box->normals[f];
        EXPECT_FLOAT_EQ(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(n[k], -centres[f][k]) << "face " << f; // inward
        }
        float centre[3] = {0, 0, 0};
        for (int c = 0; c < 4; ++c) {
            const float* p = box->source[4 * f + c];
            // Each corner lies on the face plane, at a corner of the cube.
            EXPECT_FLOAT_EQ(n[0] * p[0] + n[1] * p[1] + n[2] * p[2], -kSkyBoxHalfSize);
            for (int k = 0; k < 3; ++k) {
                EXPECT_FLOAT_EQ(std::fabs(p[k]), kSkyBoxHalfSize);
                centre[k] += p[k] / 4.0f;
            }
            const ArrayVertex& v = box->verts[4 * f + c];
            EXPECT_TRUE(v.u == 0.0f || v.u == 1.0f);
            EXPECT_TRUE(v.v == 0.0f || v.v == 1.0f);
            EXPECT_EQ(v.r, 1.0f);
            EXPECT_EQ(v.g, 1.0f);
            EXPECT_EQ(v.b, 1.0f);
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(centre[k], centres[f][k] * kSkyBoxHalfSize);
        }
        // Strip order: the diagonal 1-2 splits the quad, so 0 and 3 are opposite.
        const float* a = box->source[4 * f];
        const float* d = box->source[4 * f + 3];
        float distance = 0.0f;
        for (int k = 0; k < 3; ++k) {
            distance += (a[k] - d[k]) * (a[k] - d[k]);
        }
        EXPECT_FLOAT_EQ(distance, 8.0f * kSkyBoxHalfSize * kSkyBoxHalfSize);
        EXPECT_EQ(box->textures[f], 0u);
    }
}

// Only faces turned toward the eye are drawn, as two white triangles at the
// box's corners turned by the view but never moved by it, with the face's
// texture; the depth is cleared after them.
TEST_F(SkyBoxTest, TheFacesAheadAreDrawnTurnedButNeverMovedThenDepthIsCleared) {
    for (int f = 0; f < kSkyBoxFaces; ++f) {
        box->textures[f] = static_cast<uint32_t>(40 + f);
    }
    struct Case {
        const char* name;
        float view[12];
        int face;
        int turn; // eye x, y, z = world (x, y, z) or (-z, y, x)
    };
    const Case cases[] = {
        // The four side faces are edge-on (dot product 0) and skipped.
        {"identity", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}, kSkyFaceFront, 0},
        // A quarter turn about y, far away: eye +z is world x, so the eye
        // looks toward -x, at the Right face, whose inward normal is (1, 0, 0).
        {"turned and moved", {0, 0, -1, 500, 0, 1, 0, -70, 1, 0, 0, 9000}, kSkyFaceRight, 1},
    };
    for (const Case& c : cases) {
        GlRecorder recorder(&ctx);
        DrawSkyBox(&ctx, box, c.view);
        ASSERT_EQ(recorder.triangles.size(), 2u) << c.name;
        EXPECT_EQ(recorder.WithTexture(40u + static_cast<uint32_t>(c.face)).size(), 2u) << c.name;
        for (const DrawnTriangle& t : recorder.triangles) {
            for (const DrawnVertex& v : t.v) {
                EXPECT_EQ(v.r, 1.0f);
                EXPECT_EQ(v.a, 1.0f);
            }
        }
        // The strip's corners in eye space are the face's source corners,
        // turned; both triangles keep the strip's winding (0 1 2, then 2 1 3).
        DrawnVertex corner[4] = {};
        for (int k = 0; k < 4; ++k) {
            const float* p = box->source[4 * c.face + k];
            corner[k] = c.turn == 0 ? DrawnVertex{p[0], p[1], p[2], 0, 0, 0, 0, 0, 0}
                                    : DrawnVertex{-p[2], p[1], p[0], 0, 0, 0, 0, 0, 0};
        }
        const DrawnTriangle expected[2] = {
            {{corner[0], corner[1], corner[2]}, 0, false, false, 0, 0, false, false, 0, false},
            {{corner[2], corner[1], corner[3]}, 0, false, false, 0, 0, false, false, 0, false}};
        EXPECT_TRUE(SameCorners(recorder.triangles[0], expected[0], 1e-3f)) << c.name;
        EXPECT_TRUE(SameCorners(recorder.triangles[1], expected[1], 1e-3f)) << c.name;
        EXPECT_EQ(recorder.clears, (std::vector<uint32_t>{GL_DEPTH_BUFFER_BIT})) << c.name;
    }
}

TEST_F(SkyBoxTest, AFaceInFrontOfTheEyeIsDrawn) {
    // Cameras at the origin looking toward each face's centre, a little off
    // axis so that the view of the up and down faces is defined.
    const float targets[kSkyBoxFaces][3] = {
        {0, 10, 1}, {0, -10, 1}, {10, 0, 1}, {-10, 0, 1}, {1, 0, -10}, {1, 0, 10},
    };
    for (int f = 0; f < kSkyBoxFaces; ++f) {
        Camera camera;
        camera.pos[0] = camera.pos[1] = camera.pos[2] = 0.0f;
        std::memcpy(camera.target, targets[f], sizeof(camera.target));
        camera.UpdateView();
        GlRecorder recorder(&ctx);
        box->textures[f] = 70;
        DrawSkyBox(&ctx, box, camera.view);
        box->textures[f] = 0;
        EXPECT_EQ(recorder.WithTexture(70).size(), 2u) << "face " << f;
        EXPECT_LE(recorder.triangles.size(), 6u) << "face " << f;
    }
}

TEST_F(SkyBoxTest, DescriptionsRunLineByLineAndStopAtMinusOne) {
    DebugCapture capture;
    const std::string text = "# a sky\n"
                             "\n"
                             "InitialRotation 0 1.57 0 extra\n"
                             "Nonsense 1 2\n"
                             "InitialRotation 1 2\n"
                             "TextureUp\n"
                             "  SkyBox   keep  \r\n"
                             "SkyBox Disable\n"
                             "InitialRotation 3 3 3\n";
    EXPECT_EQ(RunSkyBoxDescription(text.data(), text.size()), 3);
    EXPECT_EQ(g_currentSkyBox, nullptr);
    SkyBox reference{};
    reference.SetSkyRotation(0.0f, 1.57f, 0.0f);
    for (int i = 0; i < 9; ++i) {
        EXPECT_FLOAT_EQ(box->rotation[i], reference.rotation[i]);
    }
    const std::string all = capture.Joined();
    EXPECT_NE(all.find("unknown keyword Nonsense on line 4"), std::string::npos) << all;
    EXPECT_NE(all.find("InitialRotation needs 3 arguments on line 5"), std::string::npos) << all;
    EXPECT_NE(all.find("TextureUp needs 1 arguments on line 6"), std::string::npos) << all;
}

TEST_F(SkyBoxTest, HostileDescriptionsAreSafe) {
    DebugCapture capture;
    const std::string longLine = "InitialRotation " + std::string(1000, '7') + " 1 1\nInitialRotation 0 2 0";
    EXPECT_EQ(RunSkyBoxDescription(longLine.data(), longLine.size()), 1);
    EXPECT_NE(capture.Joined().find("line 1 too long"), std::string::npos);
    // A NUL ends the text; no final newline is needed.
    const char embedded[] = "InitialRotation 0 1 0\0InitialRotation 0 3 0";
    EXPECT_EQ(RunSkyBoxDescription(embedded, sizeof(embedded) - 1), 1);
    SkyBox reference{};
    reference.SetSkyRotation(0.0f, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(box->rotation[0], reference.rotation[0]);
    EXPECT_EQ(RunSkyBoxDescription(nullptr, 10), 0);
    EXPECT_EQ(RunSkyBoxDescription("", 0), 0);
    const std::string blanks = "\n\n\t \n#\n";
    EXPECT_EQ(RunSkyBoxDescription(blanks.data(), blanks.size()), 0);
}

TEST_F(SkyBoxTest, TextureBackSetsFaceFiveOnlyAndFailuresStoreZero) {
    if (!TestGlMakeCurrent(32, 32)) {
        GTEST_SKIP() << TestGlError();
    }
    TextureArchive archive({{"back.tga", 0x5a, SolidTga(10, 20, 30)}});
    ASSERT_TRUE(archive.ok());
    for (int f = 0; f < kSkyBoxFaces; ++f) {
        box->textures[f] = 0;
    }
    const char* arguments[] = {"back.tga", nullptr};
    EXPECT_EQ(SkyBoxFaceTexture(kSkyFaceBack, arguments), 0);
    EXPECT_NE(box->textures[kSkyFaceBack], 0u);
    for (int f = 0; f < kSkyFaceBack; ++f) {
        EXPECT_EQ(box->textures[f], 0u) << f;
    }
    DebugCapture capture;
    box->textures[kSkyFaceLeft] = 99;
    box->SetFaceTexture("missing.tga", kSkyFaceLeft);
    EXPECT_EQ(box->textures[kSkyFaceLeft], 0u);
    box->SetFaceTexture("back.tga", 6);
    box->SetFaceTexture("back.tga", -1);
    FreeTextures();
    TestGlDetach();
}

TEST_F(SkyBoxTest, SceneLoadsItsSkyBoxFromTheArchive) {
    Scene scene;
    TextureArchive archive(
        {{"sky.txt", 0x11, Bytes("InitialRotation 0 1.57 0\nSkyBox disable\nInitialRotation 1 1 1\n")},
         {"empty.txt", 0x00, {}}});
    ASSERT_TRUE(archive.ok());
    g_currentSkyBox = nullptr;
    SkyBox* loaded = scene.LoadSkyBox("sky.txt");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(scene.skyBox, loaded);
    EXPECT_EQ(g_currentSkyBox, nullptr); // the description detached it at its end
    SkyBox reference{};
    reference.SetSkyRotation(0.0f, 1.57f, 0.0f);
    EXPECT_FLOAT_EQ(loaded->rotation[0], reference.rotation[0]);

    // A second description changes the same box; an empty one is fine.
    EXPECT_EQ(scene.LoadSkyBox("empty.txt"), loaded);
    EXPECT_EQ(g_currentSkyBox, loaded);

    DebugCapture capture;
    Scene other;
    EXPECT_EQ(other.LoadSkyBox("nothere.txt"), nullptr);
    EXPECT_EQ(other.skyBox, nullptr);
    EXPECT_NE(capture.Joined().find("SkyBox : nothere.txt not found"), std::string::npos);
    g_currentSkyBox = nullptr;
    scene.Destroy(); // gives the box back to the pool
    EXPECT_EQ(scene.skyBox, nullptr);
}

TEST_F(SkyBoxTest, OversizedDescriptionsAreRefused) {
    Scene scene;
    TextureArchive archive({{"big.txt", 0x00, std::vector<uint8_t>(70000, ' ')}});
    ASSERT_TRUE(archive.ok());
    DebugCapture capture;
    EXPECT_EQ(scene.LoadSkyBox("big.txt"), nullptr);
    EXPECT_EQ(scene.skyBox, nullptr);
    EXPECT_NE(capture.Joined().find("is not a description"), std::string::npos);
}

// On the headless context: the face ahead shows its texture and the depth
// buffer is empty afterwards, so anything drawn later covers the box.
TEST_F(SkyBoxTest, PictureShowsTheFaceAheadAndLeavesNoDepth) {
    if (!TestGlMakeCurrent(32, 32)) {
        GTEST_SKIP() << TestGlError();
    }
    const uint8_t red[12] = {200, 0, 0, 200, 0, 0, 200, 0, 0, 200, 0, 0};
    const uint32_t texture = UploadTexture(red, 2, 2, GL_RGB, GL_RGB, false);
    box->textures[kSkyFaceFront] = texture;
    glViewport(0, 0, 32, 32);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    float projection[16] = {};
    ASSERT_TRUE(PerspectiveMatrix(60.0, 1.0, 2.0, 32768.0, projection));
    DrawProjection(&ctx, projection);
    DrawSkyBox(&ctx, box, kIdentityView);
    glFinish();

    const std::vector<uint8_t> pixels = TestGlReadColorBuffer();
    ASSERT_EQ(pixels.size(), 32u * 32u * 4u);
    const size_t centre = (16 * 32 + 16) * 4;
    EXPECT_NEAR(pixels[centre], 200, 2);
    EXPECT_EQ(pixels[centre + 1], 0);
    float depth = 0.0f;
    glReadPixels(16, 16, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(depth, 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    TestGlDetach();
}

} // namespace

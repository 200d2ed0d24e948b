// Whole frames on the headless context: a lit cube, the cube over a mirror,
// a sky box, compared with small golden images; and the pixels that tell the
// opaque and translucent paths apart. Set TESSARO_UPDATE_GOLDEN=1 to rewrite
// the goldens from the current drawing (then look at them before committing).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "math/math3d.h"
#include "memory/memory_pool.h"
#include "scene/draw.h"
#include "scene/scene.h"
#include "scene/sky_box.h"
#include "tests/support/face_builder.h"
#include "tests/support/gl_context.h"
#include "texture/texture.h"

namespace {

constexpr int32_t kSize = 64;
// Per-channel difference allowed against a golden, and how many pixels may
// exceed it (edges may rasterise a little differently between renderers).
constexpr int kChannelTolerance = 8;
constexpr size_t kOutlierPixels = 24;

std::string GoldenPath(const std::string& name) {
    return std::string(TESSARO_SOURCE_DIR) + "/tests/golden/" + name;
}

// RGBA, top row first.
bool ReadPng(const std::string& path, std::vector<uint8_t>* pixels, int32_t* width, int32_t* height) {
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    pixels->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    *width = static_cast<int32_t>(image.width);
    *height = static_cast<int32_t>(image.height);
    return true;
}

bool WritePng(const std::string& path, const std::vector<uint8_t>& pixels, int32_t width, int32_t height) {
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

// The colour buffer, top row first, alpha forced to 255 (the picture, not
// the buffer's alpha, is what the goldens hold).
std::vector<uint8_t> Frame() {
    glFinish();
    const std::vector<uint8_t> bottomUp = TestGlReadColorBuffer();
    std::vector<uint8_t> topDown(bottomUp.size());
    const size_t row = static_cast<size_t>(kSize) * 4;
    for (int32_t y = 0; y < kSize; ++y) {
        std::memcpy(&topDown[static_cast<size_t>(y) * row],
                    &bottomUp[static_cast<size_t>(kSize - 1 - y) * row], row);
    }
    for (size_t i = 3; i < topDown.size(); i += 4) {
        topDown[i] = 255;
    }
    return topDown;
}

void ExpectMatchesGolden(const std::string& name, const std::vector<uint8_t>& frame) {
    const std::string path = GoldenPath(name);
    const char* update = std::getenv("TESSARO_UPDATE_GOLDEN");
    if (update != nullptr && std::strcmp(update, "1") == 0) {
        ASSERT_TRUE(WritePng(path, frame, kSize, kSize)) << path;
        return;
    }
    std::vector<uint8_t> golden;
    int32_t width = 0;
    int32_t height = 0;
    ASSERT_TRUE(ReadPng(path, &golden, &width, &height)) << "missing golden " << path;
    ASSERT_EQ(width, kSize);
    ASSERT_EQ(height, kSize);
    size_t outliers = 0;
    for (size_t p = 0; p < frame.size(); p += 4) {
        for (size_t c = 0; c < 3; ++c) {
            if (std::abs(static_cast<int>(frame[p + c]) - static_cast<int>(golden[p + c])) >
                kChannelTolerance) {
                ++outliers;
                break;
            }
        }
    }
    EXPECT_LE(outliers, kOutlierPixels) << name;
}

// A cube of half-size 1 as the content has it: normals (geometric and per
// vertex) point into the solid, four vertices per side, one material.
struct Cube {
    std::vector<MeshVertex> vertices;
    std::vector<ArrayVertex> arrayVerts;
    std::vector<float> envUV;
    std::vector<int32_t> state;
    std::vector<Face> faces;
    Material material{};
    MaterialGroup group{};
    MeshObject object;

    explicit Cube(uint32_t texture) {
        const float sides[6][3][3] = {
            {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
            {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
            {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
        };
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& side : sides) {
            const uint16_t base = static_cast<uint16_t>(vertices.size());
            for (const auto& corner : corners) {
                MeshVertex v{};
                for (int k = 0; k < 3; ++k) {
                    v.normal[k] = -side[0][k];
                    v.position[k] = side[0][k] + corner[0] * side[1][k] + corner[1] * side[2][k];
                }
                vertices.push_back(v);
                arrayVerts.push_back(
                    ArrayVertex{(corner[0] + 1.0f) * 0.5f, (corner[1] + 1.0f) * 0.5f, 0, 0, 0, 0, 0, 0});
            }
            const uint16_t tris[2][3] = {{0, 1, 2}, {0, 2, 3}};
            for (const auto& t : tris) {
                Face face = MakeFace(vertices, base + t[0], base + t[1], base + t[2]);
                const float outward =
                    face.normal[0] * side[0][0] + face.normal[1] * side[0][1] + face.normal[2] * side[0][2];
                if (outward > 0.0f) {
                    face = MakeFace(vertices, base + t[0], base + t[2], base + t[1]);
                }
                faces.push_back(face);
            }
        }
        envUV.assign(2 * vertices.size(), 0.0f);
        state.assign(vertices.size(), 0);
        material.texture = texture;
        group = MaterialGroup{&material, static_cast<int32_t>(faces.size()), nullptr};
        object.rot[0] = 1.0f;
        object.vertexCount = static_cast<int32_t>(vertices.size());
        object.faceCount = static_cast<int32_t>(faces.size());
        object.vertices = vertices.data();
        object.arrayVerts = arrayVerts.data();
        object.envUV = envUV.data();
        object.vertexState = state.data();
        object.faces = faces.data();
        object.groups = &group;
        object.groupCount = 1;
        for (int i = 0; i < 3; ++i) {
            object.bboxMin[i] = -1.0f;
            object.bboxMax[i] = 1.0f;
        }
    }
};

// The GL state the framework and the engine leave for a scene.
class GoldenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PoolInit(1024 * 1024);
        if (!TestGlMakeCurrent(kSize, kSize)) {
            GTEST_SKIP() << TestGlError();
        }
        TextureUseGl(&draw.gl);
        DrawViewport(&draw, 0, 0, kSize, kSize);
        glClearColor(0.0f, 0.0f, 0.2f, 1.0f);
        glClearDepth(1.0);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glShadeModel(GL_SMOOTH);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

        camera.pos[0] = 3.0f;
        camera.pos[1] = 4.0f;
        camera.pos[2] = 5.0f;
        camera.fov = 50.0f;
        scene.cameras[0] = &camera;
        scene.cameraCount = 1;
        light.pos[0] = 6.0f;
        light.pos[1] = 8.0f;
        light.pos[2] = 2.0f;
        light.colour[0] = 1.0f;
        light.colour[1] = 0.9f;
        light.colour[2] = 0.7f;
        scene.lights[0] = &light;
        scene.lightCount = 1;
    }
    void TearDown() override {
        if (TestGlWidth() != 0) {
            glDisable(GL_BLEND);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            TestGlDetach();
        }
        FreeTextures();
        TextureUseGl(nullptr);
        PoolRelease();
    }

    // A 4 x 4 checker of two colours.
    static uint32_t Checker(const uint8_t a[3], const uint8_t b[3]) {
        uint8_t pixels[4 * 4 * 3];
        for (int i = 0; i < 16; ++i) {
            const uint8_t* c = (((i % 4) + (i / 4)) % 2 == 0) ? a : b;
            std::memcpy(&pixels[i * 3], c, 3);
        }
        return UploadTexture(pixels, 4, 4, GL_RGB, GL_RGB, false);
    }
    static uint32_t Solid(uint8_t r, uint8_t g, uint8_t b) {
        const uint8_t pixels[12] = {r, g, b, r, g, b, r, g, b, r, g, b};
        return UploadTexture(pixels, 2, 2, GL_RGB, GL_RGB, false);
    }

    Scene scene;
    Camera camera;
    Light light;
    DrawContext draw = MakeDrawContext(GlTableDesktop());
};

TEST_F(GoldenTest, LitCube) {
    const uint8_t white[3] = {255, 255, 255};
    const uint8_t orange[3] = {240, 140, 40};
    Cube cube(Checker(white, orange));
    QuatFromAxisAngle(0.5f, 0.0f, 1.0f, 0.0f, cube.object.rot);
    scene.PutInDrawList(&cube.object);
    RenderScene(&draw, &scene);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ExpectMatchesGolden("lit_cube.png", Frame());
}

TEST_F(GoldenTest, CubeOverAMirror) {
    const uint8_t white[3] = {255, 255, 255};
    const uint8_t green[3] = {60, 200, 90};
    Cube cube(Checker(white, green));
    cube.object.pos[1] = 1.5f;
    scene.PutInDrawList(&cube.object);
    Mirror mirror;
    const float corners[4][3] = {{-3, 0, -3}, {-3, 0, 3}, {3, 0, -3}, {3, 0, 3}};
    for (int i = 0; i < 4; ++i) {
        mirror.SetCorner(i, corners[i][0], corners[i][1], corners[i][2]);
        mirror.SetCornerColour(i, 0.5f, 0.6f, 0.9f);
    }
    mirror.SetNormal(0.0f, -1.0f, 0.0f);
    mirror.TakePointFromCorner();
    mirror.alpha = 0.6f;
    mirror.AddMesh(&cube.object);
    scene.AddMirror(&mirror);
    RenderScene(&draw, &scene);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // The quad leaves the state as it found it.
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    ExpectMatchesGolden("mirror.png", Frame());
}

TEST_F(GoldenTest, SkyBoxSeenAtAnAngle) {
    SkyBox* box = NewSkyBox();
    ASSERT_NE(box, nullptr);
    const uint8_t colours[kSkyBoxFaces][3] = {
        {250, 250, 250}, {60, 40, 20}, {200, 60, 60}, {60, 200, 60}, {60, 60, 220}, {220, 200, 60},
    };
    const uint8_t dark[3] = {0, 0, 0};
    for (int f = 0; f < kSkyBoxFaces; ++f) {
        box->textures[f] = Checker(colours[f], dark);
    }
    box->SetSkyRotation(0.0f, 0.3f, 0.0f);
    scene.skyBox = box;
    // Looking up and to the side, rolled a little: three faces show.
    camera.pos[0] = 0.0f;
    camera.pos[1] = 0.0f;
    camera.pos[2] = 0.0f;
    camera.target[0] = -4.0f;
    camera.target[1] = 3.0f;
    camera.target[2] = -5.0f;
    camera.roll = 20.0f;
    camera.fov = 90.0f;
    RenderScene(&draw, &scene);
    scene.skyBox = nullptr;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    float depth = 0.0f;
    glReadPixels(kSize / 2, kSize / 2, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(depth, 1.0f);
    ExpectMatchesGolden("sky_box.png", Frame());
}

// A white quad lit fully, drawn over the blue background: the opaque path
// covers it, the translucent path at 0.5 (with the engine's blending) mixes.
TEST_F(GoldenTest, OpacityShowsInThePixels) {
    for (float opacity : {1.0f, 0.5f}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Cube cube(Solid(255, 255, 255));
        camera.pos[0] = 0.0f;
        camera.pos[1] = 0.0f;
        camera.pos[2] = 4.0f;
        light.pos[0] = 0.0f;
        light.pos[1] = 0.0f;
        light.pos[2] = 50.0f;
        light.colour[0] = light.colour[1] = light.colour[2] = 1.0f;
        scene.drawList = nullptr;
        scene.PutInDrawList(&cube.object);
        scene.opacity = opacity;
        if (opacity < 1.0f) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        RenderScene(&draw, &scene);
        glDisable(GL_BLEND);
        const std::vector<uint8_t> frame = Frame();
        const size_t centre = (static_cast<size_t>(kSize / 2) * kSize + kSize / 2) * 4;
        if (opacity >= 1.0f) {
            EXPECT_GE(frame[centre], 250);
            EXPECT_GE(frame[centre + 2], 250);
        } else {
            // Half white over (0, 0, 51).
            EXPECT_NEAR(frame[centre], 128, 3);
            EXPECT_NEAR(frame[centre + 2], 153, 3);
        }
    }
}

} // namespace

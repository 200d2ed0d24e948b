// Camera view matrix, frustum planes, the box test and the frame set-up of
// Scene::Render.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h> // gluPerspective, the reference projection

#include <cmath>
#include <string>

#include "scene/draw.h"
#include "scene/scene.h"
#include "tests/support/gl_context.h"
#include "tests/support/gl_recorder.h"

namespace {

// FastLength is a one-step approximation; the view rows carry its error.
constexpr float kViewTolerance = 2e-3f;

void ExpectRow(const Camera& camera, int row, float x, float y, float z) {
    EXPECT_NEAR(camera.view[row * 4 + 0], x, kViewTolerance) << "row " << row;
    EXPECT_NEAR(camera.view[row * 4 + 1], y, kViewTolerance) << "row " << row;
    EXPECT_NEAR(camera.view[row * 4 + 2], z, kViewTolerance) << "row " << row;
}

Camera CameraAt(float px, float py, float pz, float tx, float ty, float tz, float roll = 0.0f) {
    Camera camera;
    camera.pos[0] = px;
    camera.pos[1] = py;
    camera.pos[2] = pz;
    camera.target[0] = tx;
    camera.target[1] = ty;
    camera.target[2] = tz;
    camera.roll = roll;
    return camera;
}

// Planes of gluPerspective(90, 1, 2, 32768) with the identity modelview.
void StandardPlanes(float planes[6][4]) {
    float projection[16] = {};
    PerspectiveMatrix(90.0, 1.0, kDrawNearPlane, kDrawFarPlane, projection);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ExtractFrustumPlanes(projection, identity, planes);
}

TEST(CameraView, LookingDownMinusZFromTen) {
    Camera camera = CameraAt(0.0f, 0.0f, 10.0f, 0.0f, 0.0f, 0.0f);
    camera.UpdateView();
    ExpectRow(camera, 0, -1.0f, 0.0f, 0.0f);
    ExpectRow(camera, 1, 0.0f, 1.0f, 0.0f);
    ExpectRow(camera, 2, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(camera.view[3], 0.0f, 1e-3f);
    EXPECT_NEAR(camera.view[7], 0.0f, 1e-3f);
    EXPECT_NEAR(camera.view[11], -10.0f, 2e-2f);
    EXPECT_NEAR(camera.axisZ[2], 1.0f, kViewTolerance);
}

TEST(CameraView, RollNinetyTurnsTheFirstTwoRows) {
    Camera camera = CameraAt(0.0f, 0.0f, 10.0f, 0.0f, 0.0f, 0.0f, 90.0f);
    camera.UpdateView();
    // a = -1.57 rad: row 0 = s Y0 + c X0 with s ~ -1, c ~ 0.0008.
    const float a = -90.0f * kSceneDegToRad;
    EXPECT_NEAR(a, -1.57f, 1e-6f);
    ExpectRow(camera, 0, -std::cos(a), std::sin(a), 0.0f);
    ExpectRow(camera, 1, -(-std::sin(a)), std::cos(a), 0.0f);
    ExpectRow(camera, 2, 0.0f, 0.0f, 1.0f);
}

TEST(CameraView, DegenerateDirectionsStayFinite) {
    struct Case {
        const char* name;
        Camera camera;
    };
    const Case cases[] = {
        {"position equals target", CameraAt(5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.0f)},
        {"straight down", CameraAt(0.0f, 10.0f, 0.0f, 0.0f, 0.0f, 0.0f)},
        {"straight up", CameraAt(0.0f, -10.0f, 0.0f, 0.0f, 0.0f, 0.0f, 45.0f)},
    };
    for (Case c : cases) {
        c.camera.UpdateView();
        for (float value : c.camera.view) {
            EXPECT_TRUE(std::isfinite(value)) << c.name;
        }
        for (float value : c.camera.axisZ) {
            EXPECT_TRUE(std::isfinite(value)) << c.name;
        }
    }
    Camera same = CameraAt(5.0f, 5.0f, 5.0f, 5.0f, 5.0f, 5.0f);
    same.UpdateView();
    EXPECT_EQ(same.axisZ[0], 0.0f);
    EXPECT_EQ(same.axisZ[1], 0.0f);
    EXPECT_EQ(same.axisZ[2], 0.0f);
}

TEST(CameraView, GeneralCamerasGiveOrthonormalRowsAndPutTheTargetAhead) {
    const float cases[][7] = {
        {100, 100, 100, 0, 0, 0, 0},    {-30, 5, 12, 4, -2, 1, 15},    {1, 2, 3, 40, 50, -60, -120},
        {0.5f, 0.1f, -8, 0, 0, 0, 180}, {250, -40, 3, 250, 0, -7, 33},
    };
    for (const auto& c : cases) {
        Camera camera = CameraAt(c[0], c[1], c[2], c[3], c[4], c[5], c[6]);
        camera.UpdateView();
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                const float dot = camera.view[i * 4] * camera.view[j * 4] +
                                  camera.view[i * 4 + 1] * camera.view[j * 4 + 1] +
                                  camera.view[i * 4 + 2] * camera.view[j * 4 + 2];
                EXPECT_NEAR(dot, i == j ? 1.0f : 0.0f, 5e-3f);
            }
        }
        // The camera sits at the eye-space origin; the target lies on -z.
        const float* v = camera.view;
        float eyePos[3];
        float eyeTarget[3];
        for (int i = 0; i < 3; ++i) {
            eyePos[i] = v[i * 4] * c[0] + v[i * 4 + 1] * c[1] + v[i * 4 + 2] * c[2] + v[i * 4 + 3];
            eyeTarget[i] = v[i * 4] * c[3] + v[i * 4 + 1] * c[4] + v[i * 4 + 2] * c[5] + v[i * 4 + 3];
        }
        const float distance = std::sqrt((c[0] - c[3]) * (c[0] - c[3]) + (c[1] - c[4]) * (c[1] - c[4]) +
                                         (c[2] - c[5]) * (c[2] - c[5]));
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(eyePos[i], 0.0f, 1e-3f * (1.0f + distance));
        }
        EXPECT_NEAR(eyeTarget[0], 0.0f, 5e-3f * distance);
        EXPECT_NEAR(eyeTarget[1], 0.0f, 5e-3f * distance);
        EXPECT_NEAR(eyeTarget[2], -distance, 5e-3f * distance);
    }
}

TEST(FrustumPlanes, StandardProjectionGivesTheExpectedPlanes) {
    float planes[6][4];
    StandardPlanes(planes);
    const float h = std::sqrt(0.5f);
    const float expected[6][4] = {
        {-h, 0, -h, 0}, {h, 0, -h, 0}, {0, h, -h, 0}, {0, -h, -h, 0}, {0, 0, 1, 32768}, {0, 0, -1, -2},
    };
    for (int p = 0; p < 6; ++p) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(planes[p][c], expected[p][c], 1e-5f) << "plane " << p;
        }
        EXPECT_NEAR(planes[p][3], expected[p][3], 1e-3f * (1.0f + std::fabs(expected[p][3])))
            << "plane " << p;
    }
}

TEST(FrustumPlanes, ZeroMatricesLeaveUnnormalisedPlanes) {
    const float zero[16] = {};
    float planes[6][4];
    ExtractFrustumPlanes(zero, zero, planes);
    for (const auto& plane : planes) {
        for (float value : plane) {
            EXPECT_EQ(value, 0.0f);
        }
    }
}

// Our projection is the one GL's utility library makes, to the bit: the
// pictures depend on it. Degenerate cameras are refused as it refuses them.
TEST(PerspectiveMatrix, IsTheOneTheGlUtilityLibraryMakes) {
    if (!TestGlMakeCurrent(64, 64)) {
        GTEST_SKIP() << TestGlError();
    }
    struct Case {
        double fovy, aspect, zNear, zFar;
        bool made;
    };
    const Case cases[] = {
        {90.0, 1.0, kDrawNearPlane, kDrawFarPlane, true},
        {60.0, 1.5, kDrawNearPlane, kDrawFarPlane, true},
        {45.0f, 4.0 / 3.0, kDrawNearPlane, kDrawFarPlane, true},
        {33.3f, 0.75f, 0.5, 100.0, true},
        {60.0, 0.0, kDrawNearPlane, kDrawFarPlane, false},
        {0.0, 1.0, kDrawNearPlane, kDrawFarPlane, false},
        {60.0, 1.0, 5.0, 5.0, false},
    };
    for (const Case& c : cases) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(c.fovy, c.aspect, c.zNear, c.zFar);
        float reference[16] = {};
        glGetFloatv(GL_PROJECTION_MATRIX, reference);
        float ours[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        EXPECT_EQ(PerspectiveMatrix(c.fovy, c.aspect, c.zNear, c.zFar, ours), c.made)
            << c.fovy << " " << c.aspect;
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(ours[i], reference[i]) << c.fovy << " " << c.aspect << " element " << i;
        }
    }
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    TestGlDetach();
}

TEST(BoxVisible, Cases) {
    float planes[6][4];
    StandardPlanes(planes);
    const float identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    struct Case {
        const char* name;
        float min[3];
        float max[3];
        bool visible;
    };
    const Case cases[] = {
        {"inside", {-1, -1, -11}, {1, 1, -9}, true},
        {"behind the near plane", {-1, -1, -1.9f}, {1, 1, 5}, false},
        {"just reaching the near plane", {-1, -1, -2.1f}, {1, 1, 5}, true},
        {"behind the camera", {-1, -1, 3}, {1, 1, 5}, false},
        {"right of the view", {20, -1, -11}, {30, 1, -9}, false},
        {"left of the view", {-30, -1, -11}, {-20, 1, -9}, false},
        {"above", {-1, 20, -11}, {1, 30, -9}, false},
        {"below", {-1, -30, -11}, {1, -20, -9}, false},
        {"beyond the far plane", {-1, -1, -40000}, {1, 1, -33000}, false},
        {"straddling the right plane", {5, -1, -11}, {30, 1, -9}, true},
        {"around the eye", {-100, -100, -100}, {100, 100, 100}, true},
        // Right of the frustum and partly beyond it: no single plane has all
        // eight corners outside, so the box passes though nothing shows.
        {"outside only diagonally", {40000, -1, -49152}, {100000, 1, -29491}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BoxVisible(identity, c.min, c.max, planes), c.visible) << c.name;
    }
}

TEST(BoxVisible, UsesTheMatrixToPlaceTheBox) {
    float planes[6][4];
    StandardPlanes(planes);
    const float box[2][3] = {{-1, -1, -1}, {1, 1, 1}};
    // Moved ten units ahead: visible; rotated half a turn about y around a
    // box sitting behind the eye: visible again.
    const float ahead[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -10};
    const float behind[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 10};
    const float flipped[12] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -10};
    const float skewedBox[2][3] = {{-1, -1, 19}, {1, 1, 21}};
    EXPECT_TRUE(BoxVisible(ahead, box[0], box[1], planes));
    EXPECT_FALSE(BoxVisible(behind, box[0], box[1], planes));
    EXPECT_FALSE(BoxVisible(ahead, skewedBox[0], skewedBox[1], planes));
    EXPECT_TRUE(BoxVisible(flipped, skewedBox[0], skewedBox[1], planes));
}

// A scene with one camera at (0, 0, 10) looking at the origin.
class RenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        camera = CameraAt(0.0f, 0.0f, 10.0f, 0.0f, 0.0f, 0.0f);
        camera.fov = 60.0f;
        camera.aspect = 1.25f;
        scene.cameras[0] = &camera;
        scene.cameraCount = 1;
    }
    Scene scene;
    Camera camera;
    DrawContext ctx = MakeDrawContext(GlTable{});
};

// Any opacity but 0 sets up the camera: its projection loaded (and kept in
// the context for the mirror), its view and frustum planes built. The
// camera drawn with is the scene's current one; the others keep their values.
TEST_F(RenderTest, EveryOpacityButZeroLoadsTheCurrentCamera) {
    Camera second = CameraAt(0.0f, 0.0f, -10.0f, 0.0f, 0.0f, 0.0f);
    second.fov = 30.0f;
    second.aspect = 2.0f;
    scene.cameras[1] = &second;
    struct Case {
        float opacity;
        int32_t current;
        bool drawn;
    };
    const Case cases[] = {{0.0f, 0, false}, {1.0f, 0, true}, {0.5f, 0, true},
                          {-0.5f, 0, true}, {2.0f, 0, true}, {1.0f, 1, true}};
    for (const Case& c : cases) {
        ctx = MakeDrawContext(GlTable{});
        camera.view[0] = 0.0f;
        second.view[0] = 0.0f;
        scene.opacity = c.opacity;
        scene.cameraCount = 1 + c.current;
        scene.currentCamera = c.current;
        GlRecorder recorder(&ctx);
        RenderScene(&ctx, &scene);
        if (!c.drawn) {
            EXPECT_TRUE(recorder.counts.empty()) << c.opacity;
            continue;
        }
        const Camera& used = c.current == 0 ? camera : second;
        const Camera& other = c.current == 0 ? second : camera;
        EXPECT_EQ(ctx.camera, &used);
        ASSERT_EQ(recorder.Count("LoadMatrixf"), 1) << c.opacity;
        float projection[16];
        ASSERT_TRUE(PerspectiveMatrix(used.fov, used.aspect, kDrawNearPlane, kDrawFarPlane, projection));
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        float expected[6][4];
        ExtractFrustumPlanes(projection, identity, expected);
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(recorder.loadedMatrix[i], projection[i]) << i;
            EXPECT_EQ(ctx.projection[i], projection[i]) << i;
        }
        for (int p = 0; p < 6; ++p) {
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(used.planes[p][k], expected[p][k]);
            }
        }
        EXPECT_NEAR(used.view[0], c.current == 0 ? -1.0f : 1.0f, kViewTolerance);
        EXPECT_EQ(other.view[0], 0.0f);
    }
}

TEST_F(RenderTest, SceneWithoutItsCameraDrawsNothing) {
    struct Case {
        const char* name;
        int32_t cameraCount;
        int32_t currentCamera;
        bool clearEntry;
    };
    const Case cases[] = {
        {"no cameras", 0, 0, false},      {"index past the count", 1, 1, false},
        {"negative index", 1, -1, false}, {"index past the capacity", 7, 6, false},
        {"null entry", 1, 0, true},
    };
    for (const Case& c : cases) {
        Scene empty;
        empty.cameras[0] = c.clearEntry ? nullptr : &camera;
        empty.cameraCount = c.cameraCount;
        empty.currentCamera = c.currentCamera;
        GlRecorder recorder(&ctx);
        RenderScene(&ctx, &empty);
        EXPECT_TRUE(recorder.counts.empty()) << c.name;
    }
}

} // namespace

// Framework library: the projection for a window size and the initial GL
// state, checked on a headless GL context.
#include "framework/lumora.h"
#include "framework/win32_calls.h"
#include "tests/support/gl_context.h"

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cmath> // tan
#include <fstream> // /proc/self/maps
#include <string>

namespace {

class FrameworkGlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!TestGlMakeCurrent(64, 64)) {
            GTEST_SKIP() << "no headless GL: " << TestGlError();
        }
        done = 0;
    }
    void TearDown() override { TestGlDetach(); }
};

void ExpectPerspective(const double aspect) {
    GLdouble m[16];
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    const double f = 1.0 / std::tan(45.0 * 3.14159265358979323846 / 360.0);
    const double zNear = static_cast<double>(0.1f);
    const double zFar = 100.0;
    const double expected[16] = {f / aspect,
                                 0,
                                 0,
                                 0,
                                 0,
                                 f,
                                 0,
                                 0,
                                 0,
                                 0,
                                 (zFar + zNear) / (zNear - zFar),
                                 -1,
                                 0,
                                 0,
                                 2.0 * zFar * zNear / (zNear - zFar),
                                 0};
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(m[i], expected[i], 1e-4) << "element " << i;
    }
}

} // namespace

TEST_F(FrameworkGlTest, ResizeSetsViewportAndProjection) {
    glMatrixMode(GL_PROJECTION);
    glTranslatef(1.0f, 2.0f, 3.0f);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(4.0f, 5.0f, 6.0f);
    ReSizeGLScene(640, 480);
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    ExpectPerspective(640.0 / 480.0);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLfloat modelView[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(modelView[i], (i % 5 == 0) ? 1.0f : 0.0f);
    }
}

TEST_F(FrameworkGlTest, ZeroHeightCountsAsOne) {
    ReSizeGLScene(320, 0);
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 1);
    ExpectPerspective(320.0);
}

TEST_F(FrameworkGlTest, ResizePumpsMessages) {
    PostQuitMessage(0);
    ReSizeGLScene(100, 100);
    EXPECT_EQ(done, 1);
}

TEST_F(FrameworkGlTest, InitialState) {
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_POLYGON_SMOOTH);
    glClearColor(0.5f, 0.5f, 0.5f, 0.5f);
    PostQuitMessage(0);
    EXPECT_EQ(InitGL(), 1);
    EXPECT_EQ(done, 1); // it pumps messages too
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_LINE_SMOOTH));
    EXPECT_FALSE(glIsEnabled(GL_POLYGON_SMOOTH));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint depthFunc = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
    GLfloat clear[4] = {1, 1, 1, 1};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 0.0f);
    EXPECT_EQ(clear[1], 0.0f);
    EXPECT_EQ(clear[2], 0.0f);
    EXPECT_EQ(clear[3], 1.0f);
    GLint hint = 0;
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &hint);
    EXPECT_EQ(hint, GL_NICEST);
}

// The sanitizer build keeps every shared library loaded until exit, so that
// memory a GL driver leaves behind is reported under the driver's name, which
// tests/lsan.supp suppresses, rather than as "<unknown module>", which nothing
// can. Released, the headless context's loader closes the driver: it must
// still be mapped afterwards.
bool GlDriverMapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("_dri.so") != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(KeepModulesLoaded, TheGlDriverOutlivesItsRelease) {
#if !defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "only the sanitizer build keeps modules loaded";
#endif
    ASSERT_TRUE(TestGlMakeCurrent(4, 4)) << TestGlError();
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_EQ(TestGlReadColorBuffer().size(), 4u * 4u * 4u);
    ASSERT_TRUE(GlDriverMapped()) << "the software driver is not one of the mapped files";
    TestGlRelease();
    EXPECT_TRUE(GlDriverMapped());
}

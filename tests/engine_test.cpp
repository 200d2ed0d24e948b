// Engine: construction, scene lists and priorities, viewports, the clock,
// the per-scene GL state of RenderFrame, trails, clearing, overlays, loading.
#include "engine/engine.h"

#include "archive/archive.h"    // PakOpen, PakClose
#include "archive/pak_writer.h" // PakWriteArchive
#include "memory/memory_pool.h" // PoolInit
#include "scene/scene.h"
#include "support/gl_context.h"
#include "tools/formats/writer3ds.h"
// After the writer: the shell's global `keys` would shadow the writer's parameters.
#include "app/app.h" // SetPerfCounterSource, g_perfFrequency, FrameElapsedMs, ResetFrameTimer

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/engine_test_helpers.h"

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;

uint32_t s_stepMs = 40;
int s_resets = 0;
uint32_t StepClock() {
    return s_stepMs;
}
void CountReset() {
    s_resets += 1;
}

// Scene order of a list, checking the back links and the tail on the way.
std::vector<const Scene*> Order(const Scene* head, const Scene* tail) {
    std::vector<const Scene*> out;
    const Scene* previous = nullptr;
    for (const Scene* s = head; s != nullptr; s = s->next) {
        EXPECT_EQ(s->prev, previous);
        previous = s;
        out.push_back(s);
    }
    EXPECT_EQ(tail, previous);
    return out;
}

// What the GL state was when RenderFrame drew a scene.
struct DrawRecord {
    const Scene* scene;
    GLint viewport[4];
    bool blend;
    GLint blendSrc;
    GLint blendDst;
    float opacity;
    float depthAtCentre;
};

std::vector<DrawRecord> s_draws;
bool s_writeDepth = false;

float DepthAtCentre() {
    GLfloat depth = -1.0f;
    glReadPixels(kWidth / 2, kHeight / 2, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    return depth;
}

// A full-screen quad at depth 0.5 in window space.
void WriteDepth() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glBegin(GL_TRIANGLE_STRIP);
    glVertex3f(-1.0f, -1.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, 0.0f);
    glVertex3f(-1.0f, 1.0f, 0.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glEnd();
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void RecordDraw(DrawContext*, Scene* scene) {
    DrawRecord r{};
    r.scene = scene;
    glGetIntegerv(GL_VIEWPORT, r.viewport);
    r.blend = glIsEnabled(GL_BLEND) == GL_TRUE;
    glGetIntegerv(GL_BLEND_SRC, &r.blendSrc);
    glGetIntegerv(GL_BLEND_DST, &r.blendDst);
    r.opacity = scene->opacity;
    r.depthAtCentre = DepthAtCentre();
    s_draws.push_back(r);
    if (s_writeDepth) {
        WriteDepth();
    }
}

std::vector<const Scene*> DrawnScenes() {
    std::vector<const Scene*> out;
    for (const DrawRecord& r : s_draws) {
        out.push_back(r.scene);
    }
    return out;
}

std::vector<uint8_t> PixelAtCentre() {
    const std::vector<uint8_t> pixels = TestGlReadColorBuffer();
    const size_t at = (static_cast<size_t>(kHeight / 2) * kWidth + kWidth / 2) * 4;
    if (pixels.size() < at + 4) {
        return {};
    }
    return {pixels[at], pixels[at + 1], pixels[at + 2], pixels[at + 3]};
}

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsurePools();
        ASSERT_TRUE(TestGlMakeCurrent(kWidth, kHeight)) << TestGlError();
        EngineSetScreenSize(kWidth, kHeight);
        s_stepMs = 40;
        s_resets = 0;
        s_draws.clear();
        s_writeDepth = false;
        EngineSetFrameClock(StepClock, CountReset);
        EngineSetSceneDrawer(RecordDraw);
        glViewport(0, 0, kWidth, kHeight);
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
    }
    void TearDown() override {
        engine.ReleaseTimeline();
        EngineSetFrameClock(nullptr, nullptr);
        EngineSetSceneDrawer(nullptr);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    // A scene in the engine's inactive list with a long motion.
    Scene* Make(const uint32_t priority, const int32_t frames = 1000) {
        scenes.emplace_back(new Scene());
        Scene* s = scenes.back().get();
        s->priority = priority;
        s->frameCount = frames;
        engine.SetSceneViewport(s, 0, 0, 1000, 1000, priority);
        Adopt(engine, s);
        return s;
    }

    Engine engine;
    std::vector<std::unique_ptr<Scene>> scenes;
};

TEST_F(EngineTest, ConstructionStartsEmptyWithColourClearingAndNoOverlay) {
    EXPECT_EQ(engine.sceneCount, 0);
    EXPECT_EQ(engine.activeCount, 0);
    EXPECT_EQ(engine.inactiveCount, 0);
    EXPECT_EQ(engine.time, 0.0f);
    EXPECT_EQ(engine.finished, 0);
    EXPECT_EQ(engine.clearMask, static_cast<int32_t>(GL_COLOR_BUFFER_BIT));
    EXPECT_EQ(engine.effectMode, kEffectNone);
    EXPECT_EQ(engine.activeHead, nullptr);
    EXPECT_EQ(engine.inactiveHead, nullptr);
    EXPECT_NE(engine.keyPlayer, nullptr);
    EXPECT_EQ(engine.overlayAlpha, -1.0f);
    EXPECT_EQ(engine.overlayTexture, 0u);
    EXPECT_EQ(engine.pendingEvents, nullptr);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(EngineTest, ViewportsAreThousandthsOfTheScreenWithYFromTheBottom) {
    struct Case {
        int32_t left, top, width, height;
        int32_t x, y, w, h;
    };
    // 64 x 48 screen; every division truncates toward zero.
    const Case cases[] = {
        {0, 0, 1000, 1000, 0, 0, 64, 48},
        {250, 100, 500, 300, 16, 28, 32, 14}, // y = 600 * 48 / 1000 = 28.8
        {-10, 0, 10, 1000, 0, 0, 0, 48},      // -640 / 1000 truncates to 0
        {500, 900, 500, 200, 32, -4, 32, 9},  // y = -100 * 48 / 1000 = -4.8
    };
    Scene scene;
    for (const Case& c : cases) {
        engine.SetSceneViewport(&scene, c.left, c.top, c.width, c.height, 7u);
        EXPECT_EQ(scene.viewX, c.x) << c.left;
        EXPECT_EQ(scene.viewY, c.y) << c.top;
        EXPECT_EQ(scene.viewWidth, c.w) << c.width;
        EXPECT_EQ(scene.viewHeight, c.h) << c.height;
        EXPECT_EQ(scene.priority, 7u);
    }
}

TEST_F(EngineTest, ViewportWithHugeFractionsStaysDefined) {
    Scene scene;
    EngineSetScreenSize(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max());
    const int32_t big = std::numeric_limits<int32_t>::max();
    engine.SetSceneViewport(&scene, big, -big, big, big, 1u);
    EXPECT_EQ(scene.viewX, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(scene.viewWidth, std::numeric_limits<int32_t>::max());
    engine.SetSceneViewport(nullptr, 0, 0, 1, 1, 1u);
}

TEST_F(EngineTest, ActivationOrdersByPriorityNewestFirstAmongEqualsButNeverBeforeTheHead) {
    Scene* a = Make(10);
    Scene* b = Make(20);
    Scene* c = Make(10);
    Scene* d = Make(20);
    Scene* e = Make(5);
    Scene* f = Make(0xFFFFFFFFu); // compared unsigned: the highest
    EXPECT_EQ(engine.ActivateScene(a), 1);
    EXPECT_EQ(engine.ActivateScene(b), 2);
    EXPECT_EQ(engine.ActivateScene(c), 3);
    EXPECT_EQ(engine.ActivateScene(d), 4);
    EXPECT_EQ(engine.ActivateScene(e), 5);
    const std::vector<const Scene*> expected = {b, d, c, a, e};
    EXPECT_EQ(Order(engine.activeHead, engine.activeTail), expected);
    EXPECT_EQ(engine.ActivateScene(f), 6);
    EXPECT_EQ(engine.activeHead, f);
    EXPECT_EQ(engine.inactiveCount, 0);
    EXPECT_EQ(engine.inactiveHead, nullptr);
    EXPECT_EQ(engine.inactiveTail, nullptr);
    EXPECT_EQ(engine.activeCount + engine.inactiveCount, engine.sceneCount);
}

TEST_F(EngineTest, LaterEqualPriorityIsDrawnFirstUnlessTheEarlierIsTheHead) {
    Scene* top = Make(30);
    Scene* first = Make(10);
    Scene* second = Make(10);
    engine.ActivateScene(top);
    engine.ActivateScene(first);
    engine.ActivateScene(second);
    engine.RenderFrame();
    const std::vector<const Scene*> expected = {top, second, first};
    EXPECT_EQ(DrawnScenes(), expected);

    Engine other;
    Scene x, y;
    Adopt(other, &x);
    Adopt(other, &y);
    x.priority = 4;
    y.priority = 4;
    other.ActivateScene(&x);
    other.ActivateScene(&y);
    const std::vector<const Scene*> headStays = {&x, &y};
    EXPECT_EQ(Order(other.activeHead, other.activeTail), headStays);
}

TEST_F(EngineTest, DeactivationMovesToTheInactiveHeadAndKeepsTheSceneTime) {
    Scene* a = Make(10);
    Scene* b = Make(5);
    Scene* c = Make(1);
    engine.ActivateScene(a);
    engine.ActivateScene(b);
    engine.ActivateScene(c);
    engine.RenderFrame();
    EXPECT_EQ(engine.DeactivateScene(b), 2);
    const std::vector<const Scene*> active = {a, c};
    EXPECT_EQ(Order(engine.activeHead, engine.activeTail), active);
    EXPECT_EQ(engine.inactiveHead, b);
    EXPECT_EQ(engine.inactiveCount, 1);
    engine.RenderFrame();
    EXPECT_FLOAT_EQ(b->time, 1.0f);
    EXPECT_FLOAT_EQ(a->time, 2.0f);
    engine.ActivateScene(b);
    engine.RenderFrame();
    EXPECT_FLOAT_EQ(b->time, 2.0f); // goes on from where it stopped
    EXPECT_EQ(engine.DeactivateScene(a), 2);
    EXPECT_EQ(engine.DeactivateScene(c), 1);
    EXPECT_EQ(engine.DeactivateScene(b), 0);
    EXPECT_EQ(engine.activeHead, nullptr);
    EXPECT_EQ(engine.activeTail, nullptr);
    const std::vector<const Scene*> inactive = {b, c, a};
    EXPECT_EQ(Order(engine.inactiveHead, engine.inactiveTail), inactive);
}

TEST_F(EngineTest, ActivatingTwiceOrAForeignSceneChangesNothing) {
    Scene* a = Make(10);
    Scene foreign;
    EXPECT_EQ(engine.ActivateScene(a), 1);
    EXPECT_EQ(engine.ActivateScene(a), 1);
    EXPECT_EQ(engine.ActivateScene(&foreign), 1);
    EXPECT_EQ(engine.ActivateScene(nullptr), 1);
    EXPECT_EQ(engine.DeactivateScene(&foreign), 1);
    EXPECT_EQ(engine.DeactivateScene(nullptr), 1);
    EXPECT_EQ(engine.DeactivateScene(a), 0);
    EXPECT_EQ(engine.DeactivateScene(a), 0);
    EXPECT_EQ(engine.inactiveCount, 1);
    EXPECT_EQ(engine.sceneCount, 1);
    EXPECT_EQ(foreign.prev, nullptr);
    EXPECT_EQ(foreign.next, nullptr);
}

TEST_F(EngineTest, FortyMillisecondsAdvanceClockAndEveryActiveSceneByOneFrame) {
    Scene* a = Make(2);
    Scene* b = Make(1);
    Scene* idle = Make(3);
    engine.ActivateScene(a);
    engine.ActivateScene(b);
    engine.RenderFrame();
    EXPECT_EQ(engine.time, 1.0f);
    EXPECT_EQ(a->time, 1.0f);
    EXPECT_EQ(b->time, 1.0f);
    EXPECT_EQ(a->dt, 1.0f);
    EXPECT_EQ(b->dt, 1.0f);
    EXPECT_EQ(idle->time, 0.0f);
    EXPECT_EQ(s_resets, 1);
    s_stepMs = 7;
    engine.RenderFrame();
    EXPECT_FLOAT_EQ(engine.time, 1.175f);
    EXPECT_FLOAT_EQ(a->dt, 0.175f);
    EXPECT_EQ(engine.currentScene, b);
}

int64_t s_counter = 0;
int64_t FakeCounter() {
    return s_counter;
}

TEST_F(EngineTest, WithoutAClockNoTimePasses) {
    EngineSetFrameClock(nullptr, nullptr);
    engine.RenderFrame();
    engine.RenderFrame();
    EXPECT_EQ(engine.time, 0.0f);
}

TEST_F(EngineTest, OnTheShellsFrameTimerLoadingTimeIsNotCounted) {
    EngineSetFrameClock(FrameElapsedMs, ResetFrameTimer);
    const int64_t savedFrequency = g_perfFrequency;
    g_perfFrequency = 1000000; // 1000 ticks a millisecond
    SetPerfCounterSource(FakeCounter);
    s_counter = 5;
    // Scenes load for a long time, then the shell resets the frame timer.
    s_counter += 9000 * 1000;
    ResetFrameTimer();
    s_counter += 40 * 1000 + 999; // 40.999 ms count as 40
    engine.RenderFrame();
    EXPECT_EQ(engine.time, 1.0f);
    s_counter += 80 * 1000;
    engine.RenderFrame(); // measured from the previous frame's reset
    EXPECT_EQ(engine.time, 3.0f);
    SetPerfCounterSource(nullptr);
    g_perfFrequency = savedFrequency;
}

TEST_F(EngineTest, ASceneIsDrawnOnlyWhileItsMotionLasts) {
    Scene* none = Make(3, 0);
    Scene* shortOne = Make(2, 2);
    Scene* longOne = Make(1, 100);
    engine.ActivateScene(none);
    engine.ActivateScene(shortOne);
    engine.ActivateScene(longOne);
    engine.RenderFrame(); // scene time 1
    std::vector<const Scene*> expected = {shortOne, longOne};
    EXPECT_EQ(DrawnScenes(), expected);
    s_draws.clear();
    engine.RenderFrame(); // scene time 2: 2 > 2 is false
    expected = {longOne};
    EXPECT_EQ(DrawnScenes(), expected);
    EXPECT_EQ(engine.activeCount, 3);
}

TEST_F(EngineTest, EachSceneGetsItsViewportAndBlendingOnlyWhilePartlyTransparent) {
    Scene* opaque = Make(3);
    Scene* half = Make(2);
    Scene* hidden = Make(1);
    engine.SetSceneViewport(opaque, 0, 0, 500, 500, 3);
    engine.SetSceneViewport(half, 500, 500, 500, 500, 2);
    half->opacity = 0.5f;
    hidden->opacity = 0.0f;
    engine.ActivateScene(opaque);
    engine.ActivateScene(half);
    engine.ActivateScene(hidden);
    engine.RenderFrame();
    ASSERT_EQ(s_draws.size(), 3u);
    EXPECT_EQ(s_draws[0].viewport[0], 0);
    EXPECT_EQ(s_draws[0].viewport[1], 24);
    EXPECT_EQ(s_draws[0].viewport[2], 32);
    EXPECT_EQ(s_draws[0].viewport[3], 24);
    EXPECT_FALSE(s_draws[0].blend);
    EXPECT_EQ(s_draws[1].viewport[0], 32);
    EXPECT_EQ(s_draws[1].viewport[1], 0);
    EXPECT_TRUE(s_draws[1].blend);
    EXPECT_EQ(s_draws[1].blendSrc, GL_SRC_ALPHA);
    EXPECT_EQ(s_draws[1].blendDst, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_FALSE(s_draws[2].blend); // opacity 0: Render itself draws nothing
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(EngineTest, TrailsDrawEverySceneAtOneTenthAndRestoreItsOpacity) {
    Scene* a = Make(2);
    Scene* b = Make(1);
    b->opacity = 0.5f;
    engine.ActivateScene(a);
    engine.ActivateScene(b);
    for (const int32_t type : {EvTrailsOn, EvTrailsOn2}) {
        engine.AddEvent(NewTimelineEvent(type, engine.time - 1.0f));
        s_draws.clear();
        engine.RenderFrame();
        EXPECT_EQ(engine.clearMask, 0);
        ASSERT_EQ(s_draws.size(), 2u);
        for (const DrawRecord& r : s_draws) {
            EXPECT_FLOAT_EQ(r.opacity, 0.1f);
            EXPECT_TRUE(r.blend);
        }
        EXPECT_EQ(a->opacity, 1.0f);
        EXPECT_EQ(b->opacity, 0.5f);
    }
}

TEST_F(EngineTest, TrailsKeepTheColourBufferButClearDepth) {
    engine.AddEvent(NewTimelineEvent(EvTrailsOn, -1.0f));
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    engine.RenderFrame();
    const std::vector<uint8_t> pixel = PixelAtCentre();
    ASSERT_EQ(pixel.size(), 4u);
    EXPECT_EQ(pixel[1], 255);
}

TEST_F(EngineTest, ASkyBoxInTheFirstSceneKeepsTheColourBuffer) {
    int stand = 0; // RenderFrame only looks at whether there is a sky box
    for (const bool sky : {true, false}) {
        Engine local;
        Scene scene;
        scene.frameCount = 10;
        scene.skyBox = sky ? reinterpret_cast<SkyBox*>(&stand) : nullptr;
        Adopt(local, &scene);
        local.ActivateScene(&scene);
        glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        WriteDepth();
        local.RenderFrame();
        const std::vector<uint8_t> pixel = PixelAtCentre();
        ASSERT_EQ(pixel.size(), 4u);
        EXPECT_EQ(pixel[0], sky ? 255 : 0) << sky;
        EXPECT_EQ(pixel[2], sky ? 0 : 255) << sky;
        // Depth is cleared either way.
        ASSERT_FALSE(s_draws.empty());
        EXPECT_FLOAT_EQ(s_draws.back().depthAtCentre, 1.0f);
        scene.skyBox = nullptr;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

TEST_F(EngineTest, DepthIsClearedBetweenScenesButNotAfterTheLast) {
    Scene* a = Make(2);
    Scene* b = Make(1);
    engine.ActivateScene(a);
    engine.ActivateScene(b);
    s_writeDepth = true;
    engine.RenderFrame();
    ASSERT_EQ(s_draws.size(), 2u);
    EXPECT_FLOAT_EQ(s_draws[0].depthAtCentre, 1.0f);
    EXPECT_FLOAT_EQ(s_draws[1].depthAtCentre, 1.0f);
    EXPECT_NEAR(DepthAtCentre(), 0.5f, 0.001f);
}

TEST_F(EngineTest, WithNoActiveSceneColourAndDepthAreClearedAndTheClockRuns) {
    Make(1); // inactive
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    WriteDepth();
    EXPECT_EQ(engine.RenderFrame(), 0);
    EXPECT_TRUE(s_draws.empty());
    EXPECT_EQ(engine.time, 1.0f);
    EXPECT_EQ(engine.currentScene, nullptr);
    const std::vector<uint8_t> pixel = PixelAtCentre();
    ASSERT_EQ(pixel.size(), 4u);
    EXPECT_EQ(pixel[0], 0);
    EXPECT_FLOAT_EQ(DepthAtCentre(), 1.0f);
}

TEST_F(EngineTest, FlashOverlayAddsWhiteOverTheWholeScreen) {
    engine.effectMode = kEffectFlash;
    engine.overlayAlpha = 0.5f;
    glViewport(0, 0, 1, 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 5.0, 0.0, 5.0, -1.0, 1.0); // the overlay must not depend on this
    glMatrixMode(GL_MODELVIEW);
    engine.RenderFrame();
    const std::vector<uint8_t> pixels = TestGlReadColorBuffer();
    ASSERT_EQ(pixels.size(), static_cast<size_t>(kWidth * kHeight * 4));
    for (const size_t at : {size_t{0}, pixels.size() / 2, pixels.size() - 4}) {
        EXPECT_NEAR(pixels[at], 128, 1);
        EXPECT_NEAR(pixels[at + 2], 128, 1);
    }
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], kWidth);
    EXPECT_EQ(viewport[3], kHeight);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST_F(EngineTest, NoiseOverlayDrawsItsTextureAndLeavesTexturingOff) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const uint8_t red[2 * 2 * 4] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, red);
    glBindTexture(GL_TEXTURE_2D, 0);

    TimelineEvent* noise = NewTimelineEvent(EvNoise, -1.0f);
    noise->endTime = 1000.0f;
    for (int32_t k = 0; k < 4; ++k) {
        noise->SetParamUint(k, texture);
    }
    engine.AddEvent(noise);
    engine.time = 0.0001f; // fires now; alpha = sin(-0.0001), nothing drawn yet
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    engine.RenderFrame();
    EXPECT_EQ(engine.effectMode, kEffectNoise);
    EXPECT_EQ(engine.overlayTexture, texture);
    // Draw the overlay at full strength on a cleared buffer.
    engine.overlayAlpha = 1.0f;
    engine.pendingEvents = nullptr;
    TimelineEvent* running = engine.runningEffects;
    engine.runningEffects = nullptr;
    engine.RenderFrame();
    engine.runningEffects = running;
    const std::vector<uint8_t> pixel = PixelAtCentre();
    ASSERT_EQ(pixel.size(), 4u);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    glDeleteTextures(1, &texture);
}

// The noise strip maps its texture by a random r in 0..3: corner k gets
// texture coordinates (U[r + k], V[r + k]).
// GL 1.2's edge clamp (Windows's GL headers stop at 1.1).
constexpr GLint kClampToEdge = 0x812F;

TEST_F(EngineTest, NoiseOverlayMapsItsCornersByTheRandomValue) {
    // 2 x 2 texels: (0,0) red, (1,0) green, (0,1) blue, (1,1) white.
    const uint8_t texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, kClampToEdge);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, kClampToEdge);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glBindTexture(GL_TEXTURE_2D, 0);
    const int u[7] = {0, 1, 0, 1, 0, 1, 0};
    const int v[7] = {0, 0, 1, 1, 0, 0, 1};
    const size_t cornerPixel[4] = {0, kWidth - 1, static_cast<size_t>(kHeight - 1) * kWidth,
                                   static_cast<size_t>(kHeight) * kWidth - 1};

    engine.effectMode = kEffectNoise;
    engine.overlayAlpha = 1.0f;
    engine.overlayTexture = texture;
    bool seen[4] = {false, false, false, false};
    for (unsigned seed = 1; seed < 200 && !(seen[0] && seen[1] && seen[2] && seen[3]); ++seed) {
        std::srand(seed);
        const int r = std::rand() % 4;
        if (seen[r]) {
            continue;
        }
        seen[r] = true;
        std::srand(seed);
        engine.RenderFrame();
        const std::vector<uint8_t> pixels = TestGlReadColorBuffer();
        ASSERT_EQ(pixels.size(), static_cast<size_t>(kWidth * kHeight * 4));
        for (int k = 0; k < 4; ++k) {
            const uint8_t* expected = &texels[(v[r + k] * 2 + u[r + k]) * 4];
            const uint8_t* got = &pixels[cornerPixel[k] * 4];
            EXPECT_EQ(got[0], expected[0]) << "r " << r << " corner " << k;
            EXPECT_EQ(got[1], expected[1]) << "r " << r << " corner " << k;
            EXPECT_EQ(got[2], expected[2]) << "r " << r << " corner " << k;
        }
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3]);
    glDeleteTextures(1, &texture);
}

TEST_F(EngineTest, SongCallsPassTheLibrarysResultBack) {
    EXPECT_EQ(engine.PlaySong(nullptr), 0);
    EXPECT_EQ(engine.StopSong(nullptr), 0);
}

// A small archive with one 3DS scene of 25 motion frames. Files are written
// in the working directory, which is this build's own.
class EngineLoadTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        Writer3DS w;
        w.Begin(kChunkMain);
        w.Begin(kChunkEditor);
        w.Mesh("Box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0}});
        w.End();
        w.Begin(kChunkKeyframer);
        w.FrameSegment(0, 24);
        w.End();
        path = "engine_load_test.qdz";
        std::string error;
        ASSERT_TRUE(PakWriteArchive(path, {{"scene.3ds", 0, w.Finish()}}, &error)) << error;
        pak = PakOpen(path.c_str(), "rb");
        ASSERT_NE(pak, nullptr);
    }
    void TearDown() override {
        PakClose(pak);
        std::remove(path.c_str());
        EngineTest::TearDown();
    }
    std::string path;
    PAKFile* pak = nullptr;
};

TEST_F(EngineLoadTest, LoadSceneAddsAnInactiveSceneAtTheHead) {
    std::unique_ptr<Scene> first(engine.LoadScene("scene.3ds", 1));
    std::unique_ptr<Scene> second(engine.LoadScene("scene.3ds", 1));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->frameCount, 25);
    EXPECT_EQ(first->objectCount, 1);
    EXPECT_EQ(engine.sceneCount, 2);
    EXPECT_EQ(engine.inactiveCount, 2);
    EXPECT_EQ(engine.activeCount, 0);
    const std::vector<const Scene*> expected = {second.get(), first.get()};
    EXPECT_EQ(Order(engine.inactiveHead, engine.inactiveTail), expected);
    EXPECT_EQ(engine.ActivateScene(first.get()), 1);
    engine.RenderFrame();
    EXPECT_EQ(DrawnScenes(), std::vector<const Scene*>{first.get()});
    first->Destroy();
    second->Destroy();
}

TEST_F(EngineLoadTest, AMissingSceneThrowsTheLoadersMessageAndAddsNothing) {
    try {
        engine.LoadScene("nothere", 1);
        FAIL() << "no throw";
    } catch (const char* message) {
        EXPECT_STREQ(message, "File nothere.3ds non trovato");
    }
    EXPECT_EQ(engine.sceneCount, 0);
    EXPECT_EQ(engine.inactiveHead, nullptr);
}

std::vector<uint8_t> ReadCorpusFile(const std::string& name) {
    std::ifstream in(std::string(TESSARO_CORPUS_DIR) + "/3ds/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Real third-party scenes through the whole frame: loader, track set-up,
// evaluation and the scene's own drawing.
TEST_F(EngineTest, CorpusScenesLoadAndPlayThroughTheSceneDrawing) {
    const char* files[] = {"CameraRollAnim.3ds",
                           "CameraRollAnimWithChildObject.3ds",
                           "RotatingCube.3DS",
                           "TargetCameraAnim.3ds",
                           "cubes_with_alpha.3DS",
                           "fels.3ds",
                           "test1.3ds"};
    std::vector<PakWriteEntry> entries;
    for (const char* file : files) {
        const std::vector<uint8_t> bytes = ReadCorpusFile(file);
        ASSERT_FALSE(bytes.empty()) << file;
        // Entry names are short in the archive format; number them.
        entries.push_back({"s" + std::to_string(entries.size()) + ".3ds", 0, bytes});
    }
    const std::string path = "engine_corpus_test.qdz";
    std::string error;
    ASSERT_TRUE(PakWriteArchive(path, entries, &error)) << error;
    PAKFile* pak = PakOpen(path.c_str(), "rb");
    ASSERT_NE(pak, nullptr);
    EngineSetSceneDrawer(nullptr); // RenderScene

    uint32_t priority = 1;
    for (size_t i = 0; i < entries.size(); ++i) {
        const char* file = files[i];
        std::unique_ptr<Scene> scene(engine.LoadScene(entries[i].name.c_str(), 0));
        ASSERT_NE(scene, nullptr) << file;
        engine.SetSceneViewport(scene.get(), 0, 0, 1000, 1000, priority++);
        engine.ActivateScene(scene.get());
        const float start = engine.time;
        for (int frame = 0; frame < 3; ++frame) {
            EXPECT_EQ(engine.RenderFrame(), 0) << file;
        }
        EXPECT_FLOAT_EQ(engine.time - start, 3.0f) << file;
        EXPECT_FLOAT_EQ(scene->time, 3.0f) << file;
        EXPECT_EQ(engine.DeactivateScene(scene.get()), 0) << file;
        // The engine keeps inactive scenes listed; take this one out before it goes.
        engine.inactiveHead = scene->next;
        if (engine.inactiveHead != nullptr) {
            engine.inactiveHead->prev = nullptr;
        } else {
            engine.inactiveTail = nullptr;
        }
        engine.inactiveCount -= 1;
        engine.sceneCount -= 1;
        scene->Destroy();
    }
    EXPECT_EQ(engine.sceneCount, 0);
    PakClose(pak);
    std::remove(path.c_str());
}

TEST(EngineGlobal, TheProgramsEngineExistsBeforeMain) {
    EXPECT_NE(g_engine.keyPlayer, nullptr);
    EXPECT_EQ(g_engine.clearMask, static_cast<int32_t>(GL_COLOR_BUFFER_BIT));
    EXPECT_EQ(g_engine.overlayAlpha, -1.0f);
}

} // namespace

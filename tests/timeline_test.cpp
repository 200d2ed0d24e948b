// Timeline: event order, the strict firing test, instant events, running
// effects and their curves, unknown types.
#include "engine/engine.h"

#include "memory/memory_pool.h"   // PoolInit
#include "platform/sound/sound.h" // FMUSIC_LoadSong, FSOUND_Init
#include "tests/support/test_song.h" // TestSongBytes
#include "scene/scene.h"
#include "support/debug_capture.h"
#include "support/gl_context.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <limits>
#include <vector>

#include "tests/support/engine_test_helpers.h"

namespace {

uint32_t s_stepMs = 40;
uint32_t StepClock() {
    return s_stepMs;
}
void NoReset() {}

std::vector<const TimelineEvent*> Pending(const Engine& engine) {
    std::vector<const TimelineEvent*> out;
    const TimelineEvent* previous = nullptr;
    for (const TimelineEvent* e = engine.pendingEvents; e != nullptr; e = e->next) {
        EXPECT_EQ(e->prev, previous);
        previous = e;
        out.push_back(e);
    }
    return out;
}

int RunningCount(const Engine& engine) {
    int count = 0;
    for (const TimelineEvent* e = engine.runningEffects; e != nullptr; e = e->next) {
        count += 1;
    }
    return count;
}

std::vector<const Scene*> ActiveOrder(const Engine& engine) {
    std::vector<const Scene*> out;
    for (const Scene* s = engine.activeHead; s != nullptr; s = s->next) {
        out.push_back(s);
    }
    return out;
}

// A running event filled by hand, as a caller of AddEvent would.
TimelineEvent* Running(const int32_t type, const float start, const float end) {
    TimelineEvent* e = NewTimelineEvent(type, start);
    EXPECT_NE(e, nullptr);
    e->endTime = end;
    return e;
}

class TimelineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsurePools();
        s_stepMs = 40;
        EngineSetFrameClock(StepClock, NoReset);
        EngineSetSceneDrawer([](DrawContext*, Scene*) {});
    }
    void TearDown() override {
        engine.ReleaseTimeline();
        EngineSetFrameClock(nullptr, nullptr);
        EngineSetSceneDrawer(nullptr);
    }
    // Runs the timeline with the clock at `now`.
    void At(const float now) {
        engine.time = now;
        engine.UpdateTimeline();
    }

    Engine engine;
};

// Makes the shared GL context current on a small buffer; the engine's GL
// calls need one.
class TimelineGlTest : public TimelineTest {
  protected:
    void SetUp() override {
        TimelineTest::SetUp();
        ASSERT_TRUE(TestGlMakeCurrent(32, 32)) << TestGlError();
        EngineSetScreenSize(32, 32);
    }
};

TEST_F(TimelineTest, EventTypesKeepTheirValues) {
    const int32_t values[] = {
        EvActivateScene, EvDeactivateScene, EvPlaySong,        EvStopSong,   EvMoveViewport, EvFadeOpacity,
        EvFadeVolume,    EvTrailsOn,        EvEffectsOff,      EvTrailsOn2,  EvEffectsOff2,  EvFlash,
        EvFogOn,         EvFogOff,          EvSetGroupTexture, EvParkObject, EvNoise};
    for (int32_t k = 0; k < 17; ++k) {
        EXPECT_EQ(values[k], 1537 + k);
    }
    EXPECT_EQ(EvFinish, 1638);
}

TEST_F(TimelineTest, AddEventKeepsTimeOrderAndPutsEqualTimesFirstButNeverBeforeTheHead) {
    TimelineEvent* a = NewTimelineEvent(999, 5.0f);
    TimelineEvent* b = NewTimelineEvent(999, 5.0f);
    TimelineEvent* c = NewTimelineEvent(999, 5.0f);
    TimelineEvent* d = NewTimelineEvent(999, 3.0f);
    TimelineEvent* e = NewTimelineEvent(999, 7.0f);
    TimelineEvent* f = NewTimelineEvent(999, 5.0f);
    for (TimelineEvent* ev : {a, b, c, d, e, f}) {
        ASSERT_NE(ev, nullptr);
        engine.AddEvent(ev);
    }
    const std::vector<const TimelineEvent*> expected = {d, f, a, c, b, e};
    EXPECT_EQ(Pending(engine), expected);
}

TEST_F(TimelineTest, AddEventIgnoresNullAndClearsStaleLinks) {
    engine.AddEvent(nullptr);
    EXPECT_EQ(engine.pendingEvents, nullptr);
    TimelineEvent* e = NewTimelineEvent(EvFinish, 1.0f);
    e->next = e; // garbage from a caller must not survive
    e->prev = e;
    engine.AddEvent(e);
    EXPECT_EQ(e->next, nullptr);
    EXPECT_EQ(e->prev, nullptr);
}

TEST_F(TimelineTest, AddersFillTheirRecords) {
    Scene scene;
    const TimelineEvent* on = engine.ActivateAt(&scene, 2.0f);
    const TimelineEvent* off = engine.DeactivateAt(&scene, 4.0f);
    const TimelineEvent* fade = engine.FadeOpacity(&scene, 1.0f, 3.0f, 0.75f);
    const TimelineEvent* end = engine.FinishAt(6.0f);
    ASSERT_NE(on, nullptr);
    ASSERT_NE(off, nullptr);
    ASSERT_NE(fade, nullptr);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(on->type, EvActivateScene);
    EXPECT_EQ(on->target, &scene);
    EXPECT_EQ(on->time, 2.0f);
    EXPECT_EQ(off->type, EvDeactivateScene);
    EXPECT_EQ(off->time, 4.0f);
    EXPECT_EQ(fade->type, EvFadeOpacity);
    EXPECT_EQ(fade->time, 1.0f);
    EXPECT_EQ(fade->endTime, 3.0f);
    EXPECT_EQ(fade->ParamFloat(1), 0.75f);
    EXPECT_EQ(end->type, EvFinish);
    EXPECT_EQ(end->target, nullptr);
    const std::vector<const TimelineEvent*> expected = {fade, on, off, end};
    EXPECT_EQ(Pending(engine), expected);
}

TEST_F(TimelineGlTest, AnEventAtTimeZeroFiresInTheSecondFrame) {
    Scene scene;
    scene.frameCount = 100;
    Adopt(engine, &scene);
    engine.ActivateAt(&scene, 0.0f);
    engine.RenderFrame(); // clock 0: 0 < 0 is false
    EXPECT_EQ(engine.activeCount, 0);
    EXPECT_FLOAT_EQ(engine.time, 1.0f);
    engine.RenderFrame();
    EXPECT_EQ(engine.activeCount, 1);
    EXPECT_EQ(engine.pendingEvents, nullptr);
}

TEST_F(TimelineTest, AnEventExactlyAtTheClockWaits) {
    engine.FinishAt(3.0f);
    At(3.0f);
    EXPECT_EQ(engine.finished, 0);
    At(3.0001f);
    EXPECT_EQ(engine.finished, 1);
}

TEST_F(TimelineTest, SeveralDueEventsFireInListOrderInOneFrame) {
    Scene a, b, c;
    for (Scene* s : {&a, &b, &c}) {
        s->priority = 5;
        Adopt(engine, s);
    }
    engine.ActivateAt(&a, 0.2f);
    engine.ActivateAt(&b, 0.3f);
    engine.ActivateAt(&c, 0.4f);
    engine.FinishAt(9.0f);
    At(1.0f);
    // a is the head; b then c went in right after it, each in front of the earlier.
    const std::vector<const Scene*> expected = {&a, &c, &b};
    EXPECT_EQ(ActiveOrder(engine), expected);
    EXPECT_EQ(engine.activeCount, 3);
    ASSERT_NE(engine.pendingEvents, nullptr);
    EXPECT_EQ(engine.pendingEvents->type, EvFinish);
    EXPECT_EQ(engine.pendingEvents->prev, nullptr);
}

TEST_F(TimelineTest, ActivateAndDeactivateEventsMoveScenesBetweenLists) {
    Scene scene;
    Adopt(engine, &scene);
    engine.ActivateAt(&scene, 1.0f);
    engine.DeactivateAt(&scene, 2.0f);
    engine.DeactivateAt(&scene, 3.0f); // already inactive by then: nothing happens
    At(1.5f);
    EXPECT_EQ(engine.activeHead, &scene);
    At(2.5f);
    EXPECT_EQ(engine.activeHead, nullptr);
    EXPECT_EQ(engine.inactiveHead, &scene);
    At(3.5f);
    EXPECT_EQ(engine.activeCount, 0);
    EXPECT_EQ(engine.inactiveCount, 1);
    EXPECT_EQ(engine.pendingEvents, nullptr);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineTest, AFadeStartsFromTheOpacityCurrentWhenItFires) {
    Scene scene;
    engine.FadeOpacity(&scene, 1.0f, 3.0f, 0.0f);
    scene.opacity = 0.8f; // set after the event was added
    At(2.0f);             // f = 0.5
    EXPECT_FLOAT_EQ(scene.opacity, 0.4f);
    ASSERT_EQ(RunningCount(engine), 1);
    EXPECT_FLOAT_EQ(engine.runningEffects->ParamFloat(0), 0.8f);
    At(2.5f); // f = 0.75
    EXPECT_FLOAT_EQ(scene.opacity, 0.2f);
    At(3.0f); // end reached: final value, released
    EXPECT_FLOAT_EQ(scene.opacity, 0.0f);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineTest, AFadeThatAlreadyEndedJumpsToItsFinalValueAndIsReleased) {
    Scene scene;
    scene.opacity = 1.0f;
    engine.FadeOpacity(&scene, 1.0f, 2.0f, 0.25f);
    At(5.0f);
    EXPECT_FLOAT_EQ(scene.opacity, 0.25f);
    EXPECT_EQ(engine.runningEffects, nullptr);
    EXPECT_EQ(engine.pendingEvents, nullptr);
}

TEST_F(TimelineTest, AFadeWithItsEndBeforeItsStartEndsAtOnce) {
    Scene scene;
    scene.opacity = 0.5f;
    engine.FadeOpacity(&scene, 4.0f, 2.0f, 1.0f);
    At(4.5f);
    EXPECT_FLOAT_EQ(scene.opacity, 1.0f);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineTest, FlashCurveRisesHoldsAndFalls) {
    engine.AddEvent(Running(EvFlash, 100.0f, 110.0f));
    At(100.0f);
    EXPECT_EQ(engine.effectMode, kEffectNone);
    struct Step {
        float now;
        float alpha;
    };
    const Step steps[] = {{102.0f, 0.5f}, {104.0f, 1.0f}, {105.0f, 1.0f}, {106.0f, 1.0f}, {108.0f, 0.5f}};
    for (const Step& step : steps) {
        At(step.now);
        EXPECT_EQ(engine.effectMode, kEffectFlash) << step.now;
        EXPECT_NEAR(engine.overlayAlpha, step.alpha, 1e-5f) << step.now;
    }
    At(110.0f);
    EXPECT_EQ(engine.effectMode, kEffectNone);
    EXPECT_EQ(engine.overlayAlpha, kOverlayNone);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineTest, EffectsOffEndsAFlashButLeavesItRunningUntilItsEnd) {
    engine.clearMask = GL_COLOR_BUFFER_BIT;
    engine.AddEvent(Running(EvFlash, 100.0f, 110.0f));
    engine.AddEvent(NewTimelineEvent(EvEffectsOff, 104.0f));
    At(103.0f);
    EXPECT_EQ(engine.effectMode, kEffectFlash);
    At(105.0f);
    EXPECT_EQ(engine.effectMode, kEffectNone);
    EXPECT_EQ(engine.clearMask, static_cast<int32_t>(GL_COLOR_BUFFER_BIT));
    EXPECT_EQ(RunningCount(engine), 1);
    // A trails mode set meanwhile is ended by the flash's own end.
    engine.AddEvent(NewTimelineEvent(EvTrailsOn, 106.0f));
    At(107.0f);
    EXPECT_EQ(engine.effectMode, kEffectTrails);
    At(111.0f);
    EXPECT_EQ(engine.effectMode, kEffectNone);
    EXPECT_EQ(engine.overlayAlpha, kOverlayNone);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineTest, TrailsAndEffectsOffSetMaskAndMode) {
    struct Case {
        int32_t type;
        int32_t mask;
        int32_t mode;
    };
    const Case cases[] = {{EvTrailsOn, 0, kEffectTrails},
                          {EvEffectsOff, GL_COLOR_BUFFER_BIT, kEffectNone},
                          {EvTrailsOn2, 0, kEffectTrails2},
                          {EvEffectsOff2, GL_COLOR_BUFFER_BIT, kEffectNone}};
    float t = 1.0f;
    for (const Case& c : cases) {
        engine.AddEvent(NewTimelineEvent(c.type, t));
        At(t + 0.5f);
        EXPECT_EQ(engine.clearMask, c.mask) << c.type;
        EXPECT_EQ(engine.effectMode, c.mode) << c.type;
        EXPECT_EQ(engine.runningEffects, nullptr);
        t += 1.0f;
    }
}

TEST_F(TimelineTest, NoiseCyclesItsTexturesAndEnds) {
    TimelineEvent* noise = Running(EvNoise, 10.0f, 20.0f);
    for (int32_t k = 0; k < 4; ++k) {
        noise->SetParamUint(k, 11u + static_cast<uint32_t>(k));
    }
    engine.AddEvent(noise);
    struct Step {
        float now;
        uint32_t texture;
    };
    const Step steps[] = {{10.5f, 11u}, {11.0f, 12u}, {12.5f, 13u}, {13.9f, 14u}, {14.0f, 11u}, {19.5f, 12u}};
    for (const Step& step : steps) {
        At(step.now);
        EXPECT_EQ(engine.effectMode, kEffectNoise);
        EXPECT_EQ(engine.overlayTexture, step.texture) << step.now;
        EXPECT_FLOAT_EQ(engine.overlayAlpha, static_cast<float>(std::sin(10.0f * step.now))) << step.now;
    }
    At(20.0f);
    EXPECT_EQ(engine.effectMode, kEffectNone);
    EXPECT_EQ(engine.overlayAlpha, kOverlayNone);
    EXPECT_EQ(engine.overlayTexture, kOverlayNoTexture);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineTest, NoiseFromAnInfinitelyEarlyStartStaysDefined) {
    TimelineEvent* noise = Running(EvNoise, -std::numeric_limits<float>::infinity(), 5.0f);
    noise->SetParamUint(0, 21u);
    noise->SetParamUint(1, 22u);
    engine.AddEvent(noise);
    At(1.0f);
    EXPECT_EQ(engine.effectMode, kEffectNoise);
    EXPECT_EQ(engine.overlayTexture, 21u);
    At(6.0f);
    EXPECT_EQ(engine.effectMode, kEffectNone);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineTest, MoveViewportTruncatesTowardItsTarget) {
    Scene scene;
    scene.viewX = 0;
    scene.viewY = 0;
    scene.viewWidth = 640;
    scene.viewHeight = 480;
    TimelineEvent* move = Running(EvMoveViewport, 0.0f, 10.0f);
    move->target = &scene;
    move->SetParamFloat(4, 100.0f);
    move->SetParamFloat(5, 51.0f);
    move->SetParamFloat(6, 320.0f);
    move->SetParamFloat(7, 240.0f);
    engine.AddEvent(move);
    At(5.0f);
    EXPECT_EQ(scene.viewX, 50);
    EXPECT_EQ(scene.viewY, 25); // 25.5 toward zero
    EXPECT_EQ(scene.viewWidth, 480);
    EXPECT_EQ(scene.viewHeight, 360);
    At(12.0f);
    EXPECT_EQ(scene.viewX, 100);
    EXPECT_EQ(scene.viewY, 51);
    EXPECT_EQ(scene.viewWidth, 320);
    EXPECT_EQ(scene.viewHeight, 240);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineTest, MoveViewportWithWildTargetsStaysDefined) {
    Scene scene;
    TimelineEvent* move = Running(EvMoveViewport, 0.0f, 1.0f);
    move->target = &scene;
    move->SetParamFloat(4, std::numeric_limits<float>::quiet_NaN());
    move->SetParamFloat(5, 1e30f);
    move->SetParamFloat(6, -1e30f);
    move->SetParamFloat(7, std::numeric_limits<float>::infinity());
    engine.AddEvent(move);
    At(2.0f);
    EXPECT_EQ(scene.viewX, 0);
    EXPECT_EQ(scene.viewY, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(scene.viewWidth, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(scene.viewHeight, std::numeric_limits<int32_t>::max());
}

TEST_F(TimelineTest, EventsWithoutTheirTargetDoNothing) {
    const int32_t types[] = {EvActivateScene, EvDeactivateScene, EvMoveViewport,
                             EvFadeOpacity,   EvSetGroupTexture, EvParkObject,
                             EvPlaySong,      EvStopSong,        EvFadeVolume};
    for (const int32_t type : types) {
        TimelineEvent* e = Running(type, 1.0f, 3.0f);
        engine.AddEvent(e);
    }
    At(2.0f);
    At(4.0f);
    EXPECT_EQ(engine.pendingEvents, nullptr);
    EXPECT_EQ(engine.runningEffects, nullptr);
    EXPECT_EQ(engine.activeCount, 0);
}

// A short tracker module on disk; returns its path.
std::string WriteSong() {
    const std::vector<uint8_t> bytes = TestSongBytes(1);
    const std::string path = "timeline_test_song.xm";
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

TEST_F(TimelineTest, MusicEventsPlayStopAndFadeTheSong) {
    const std::string path = WriteSong();
    SoundSong* song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(FSOUND_Init(44100, 4, 0), 1);
    TimelineEvent* play = NewTimelineEvent(EvPlaySong, 1.0f);
    play->target = song;
    engine.AddEvent(play);
    TimelineEvent* fade = Running(EvFadeVolume, 2.0f, 12.0f);
    fade->target = song;
    fade->SetParamInt(1, 56);
    engine.AddEvent(fade);
    TimelineEvent* stop = NewTimelineEvent(EvStopSong, 20.0f);
    stop->target = song;
    engine.AddEvent(stop);

    At(1.5f);
    EXPECT_TRUE(SoundIsPlaying(song));
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), kSoundMaxVolume);
    At(7.0f); // f = 0.5: 256 + (56 - 256) x 0.5
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), 156);
    ASSERT_NE(engine.runningEffects, nullptr);
    EXPECT_EQ(engine.runningEffects->ParamInt(0), kSoundMaxVolume);
    At(9.5f); // f = 0.75: 256 - 150
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), 106);
    At(12.0f);
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), 56);
    EXPECT_EQ(engine.runningEffects, nullptr);
    At(21.0f);
    EXPECT_FALSE(SoundIsPlaying(song));
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    SoundShutdown();
    std::remove(path.c_str());
}

TEST_F(TimelineTest, UnknownTypesReportEveryFrameUntilTheirEnd) {
    DebugCapture capture;
    engine.AddEvent(Running(0x700, 1.0f, 3.0f));
    At(1.5f);
    At(2.5f);
    EXPECT_EQ(RunningCount(engine), 1);
    At(3.5f);
    EXPECT_EQ(engine.runningEffects, nullptr);
    At(4.5f);
    ASSERT_EQ(capture.messages.size(), 3u);
    for (const std::string& m : capture.messages) {
        EXPECT_EQ(m, "Tipo di effetto specificato non supportato dal motore\n");
    }
}

TEST_F(TimelineTest, ARunningEffectFiredThisFrameIsAdvancedThisFrame) {
    Scene scene;
    scene.opacity = 0.0f;
    engine.FadeOpacity(&scene, 0.0f, 4.0f, 1.0f);
    At(1.0f);
    EXPECT_FLOAT_EQ(scene.opacity, 0.25f);
}

TEST_F(TimelineGlTest, FinishMakesRenderFrameReturnOneInItsFrame) {
    engine.FinishAt(0.5f);
    EXPECT_EQ(engine.RenderFrame(), 0); // clock 0 → 1
    EXPECT_EQ(engine.RenderFrame(), 1); // fires at clock 1
    EXPECT_EQ(engine.RenderFrame(), 1);
}

TEST_F(TimelineTest, SetGroupTextureEventChangesTheGroupsMaterial) {
    Material material{};
    MaterialGroup group{&material, 0, nullptr};
    MeshObject object;
    object.groups = &group;
    object.groupCount = 1;
    TimelineEvent* set = NewTimelineEvent(EvSetGroupTexture, 1.0f);
    set->target = &object;
    set->SetParamInt(0, 0);
    set->SetParamUint(1, 42u);
    engine.AddEvent(set);
    TimelineEvent* bad = NewTimelineEvent(EvSetGroupTexture, 1.0f);
    bad->target = &object;
    bad->SetParamInt(0, 7); // no such group
    bad->SetParamUint(1, 99u);
    engine.AddEvent(bad);
    At(2.0f);
    EXPECT_EQ(material.texture, 42u);
    EXPECT_EQ(engine.pendingEvents, nullptr);
}

TEST_F(TimelineTest, ParkObjectTakesTheObjectOutOfTheDrawListOnce) {
    Scene scene;
    MeshObject a, b;
    scene.PutInDrawList(&a);
    scene.PutInDrawList(&b);
    for (float t : {1.0f, 2.0f}) {
        TimelineEvent* park = NewTimelineEvent(EvParkObject, t);
        park->target = &scene;
        park->object = &a;
        engine.AddEvent(park);
    }
    At(1.5f);
    EXPECT_EQ(scene.drawList, &b);
    EXPECT_EQ(b.nextDrawn, nullptr);
    EXPECT_EQ(scene.parkedList, &a);
    At(2.5f); // parking it again must not link the parked list into a ring
    EXPECT_EQ(scene.parkedList, &a);
    EXPECT_EQ(scene.drawList, &b);
    EXPECT_EQ(engine.pendingEvents, nullptr);
}

TEST_F(TimelineTest, ReleaseTimelineEmptiesBothLists) {
    engine.AddEvent(Running(EvFlash, 0.0f, 100.0f));
    engine.FinishAt(50.0f);
    At(1.0f);
    EXPECT_EQ(RunningCount(engine), 1);
    engine.ReleaseTimeline();
    EXPECT_EQ(engine.pendingEvents, nullptr);
    EXPECT_EQ(engine.runningEffects, nullptr);
}

TEST_F(TimelineGlTest, FogOnSetsTheFogStateAndFogOffDisablesIt) {
    TimelineEvent* fog = NewTimelineEvent(EvFogOn, 1.0f);
    const float values[8] = {0.1f, 0.2f, 0.3f, 0.4f, 9729.0f, 0.05f, 10.0f, 200.0f};
    for (int32_t k = 0; k < 8; ++k) {
        fog->SetParamFloat(k, values[k]);
    }
    engine.AddEvent(fog);
    engine.AddEvent(NewTimelineEvent(EvFogOff, 3.0f));
    At(2.0f);
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    GLfloat colour[4] = {};
    glGetFloatv(GL_FOG_COLOR, colour);
    for (int32_t k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(colour[k], values[k]);
    }
    GLint mode = 0;
    glGetIntegerv(GL_FOG_MODE, &mode);
    EXPECT_EQ(mode, GL_LINEAR);
    GLfloat density = 0.0f, start = 0.0f, end = 0.0f;
    glGetFloatv(GL_FOG_DENSITY, &density);
    glGetFloatv(GL_FOG_START, &start);
    glGetFloatv(GL_FOG_END, &end);
    EXPECT_FLOAT_EQ(density, 0.05f);
    EXPECT_FLOAT_EQ(start, 10.0f);
    EXPECT_FLOAT_EQ(end, 200.0f);
    GLint hint = 0;
    glGetIntegerv(GL_FOG_HINT, &hint);
    EXPECT_EQ(hint, GL_DONT_CARE);
    At(4.0f);
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    while (glGetError() != GL_NO_ERROR) {
    }
}

std::vector<const Scene*> s_drawn;

// The show's shape with logo motion 100 and corridor motion 200: one frame
// of the clock per displayed frame, every event at its time.
TEST_F(TimelineGlTest, AShowOfFiveScenesRunsItsScheduleToTheFinish) {
    Scene logo, blur0, blur1, corridors, corridoru;
    for (Scene* s : {&logo, &blur0, &blur1, &corridors, &corridoru}) {
        s->frameCount = 100000;
        Adopt(engine, s);
    }
    const int32_t ll = 100;
    const int32_t lc = 200;
    const float b = static_cast<float>(ll + lc + 140);
    engine.SetSceneViewport(&logo, 0, 0, 1000, 1000, 10);
    engine.ActivateScene(&logo);
    engine.DeactivateAt(&logo, static_cast<float>(ll));
    engine.SetSceneViewport(&blur0, 0, 0, 1000, 1000, 14);
    engine.ActivateAt(&blur0, static_cast<float>(ll));
    blur0.opacity = 0.0f;
    engine.FadeOpacity(&blur0, static_cast<float>(ll), static_cast<float>(ll + 50), 1.0f);
    engine.FadeOpacity(&blur0, static_cast<float>(ll + 60), static_cast<float>(ll + 110), 0.0f);
    engine.DeactivateAt(&blur0, static_cast<float>(ll + 110));
    engine.SetSceneViewport(&corridors, 0, 0, 1000, 1000, 20);
    engine.ActivateAt(&corridors, static_cast<float>(ll + 50));
    engine.DeactivateAt(&corridors, static_cast<float>(ll + 150));
    engine.SetSceneViewport(&corridoru, 0, 0, 1000, 1000, 16);
    engine.ActivateAt(&corridoru, static_cast<float>(ll + 140));
    engine.DeactivateAt(&corridoru, b - 100.0f);
    engine.SetSceneViewport(&blur1, 0, 0, 1000, 1000, 15);
    engine.ActivateAt(&blur1, b - 150.0f);
    blur1.opacity = 0.0f;
    engine.FadeOpacity(&blur1, b - 150.0f, b - 100.0f, 1.0f);
    engine.FadeOpacity(&blur1, b - 99.0f, b - 50.0f, 0.0f);
    engine.DeactivateAt(&blur1, b);
    engine.FinishAt(b - 40.0f);

    int32_t pending = 0;
    for (const TimelineEvent* e = engine.pendingEvents; e != nullptr; e = e->next) {
        pending += 1;
    }
    EXPECT_EQ(pending, 14);

    EngineSetSceneDrawer([](DrawContext*, Scene* scene) { s_drawn.push_back(scene); });
    // What is drawn, in order, in the frame whose timeline runs at clock `now`.
    struct Check {
        int32_t now;
        std::vector<const Scene*> drawn;
    };
    const std::vector<Check> checks = {
        {100, {&logo}},                  // events at 100 wait until the clock passes 100
        {101, {&blur0}},                 // blur0 on and fading in from 0 at 100
        {151, {&corridors, &blur0}},     // corridors on at 150, drawn first (priority 20)
        {211, {&corridors}},             // blur0 off at 210
        {241, {&corridors, &corridoru}}, // corridoru on at 240
        {251, {&corridoru}},             // corridors off at 250
        {291, {&corridoru, &blur1}},     // blur1 on at 290, over corridoru
        {341, {&blur1}},                 // corridoru off at 340
        {401, {&blur1}},                 // finish at 400; blur1 is still active
    };
    size_t next = 0;
    int finishedAt = -1;
    for (int32_t frame = 0; frame <= 401 && finishedAt < 0; ++frame) {
        s_drawn.clear();
        ASSERT_FLOAT_EQ(engine.time, static_cast<float>(frame));
        const int result = engine.RenderFrame();
        if (next < checks.size() && checks[next].now == frame) {
            EXPECT_EQ(s_drawn, checks[next].drawn) << "clock " << frame;
            next += 1;
        }
        if (frame == 125) {
            EXPECT_FLOAT_EQ(blur0.opacity, 0.5f); // half-way through the fade-in
        }
        if (result != 0) {
            finishedAt = frame;
        }
    }
    EXPECT_EQ(next, checks.size());
    EXPECT_EQ(finishedAt, 401);
    EXPECT_EQ(engine.activeHead, &blur1);
    EXPECT_EQ(engine.activeCount, 1);
    ASSERT_NE(engine.pendingEvents, nullptr); // blur1's deactivation is never reached
    EXPECT_EQ(engine.pendingEvents->type, EvDeactivateScene);
    EXPECT_EQ(engine.pendingEvents->next, nullptr);
}

} // namespace

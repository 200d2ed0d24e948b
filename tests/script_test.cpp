// The scene script over a small synthetic archive: what it loads, how it
// dresses the scenes, the character's moves, the floor mirror, and the
// timeline it leaves behind; then the whole show played to its finish.
#include "app/app.h"
#include "app/scene_script.h"
#include "app/show_names.h" // kFloorMirrorMeshes

#include "archive/archive.h"
#include "engine/engine.h"
#include "framework/lumora.h" // fwk
#include "md2/md2.h"
#include "memory/memory_pool.h"
#include "scene/scene.h"
#include "texture/texture.h"
#include "tests/support/debug_capture.h"
#include "tests/support/gl_context.h"
#include "tests/support/show_archive.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>


#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int32_t kScreenWidth = 640;
constexpr int32_t kScreenHeight = 480;

// Runs the script against a fresh engine, pools and archive and undoes
// everything it did afterwards, so that each test sees a first run.
class ScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PoolSetSmallSize(200000);
        ASSERT_EQ(PoolInit(20000000), 1);
        ASSERT_TRUE(TestGlMakeCurrent(64, 48)) << TestGlError();
        fwk.width = kScreenWidth;
        fwk.height = kScreenHeight;
        EngineSetScreenSize(kScreenWidth, kScreenHeight);
    }
    void TearDown() override {
        FreeMd2Instances(&g_character);
        delete g_character.groups; // the model's one heap group, kept for the process in the program
        g_character = Md2Model{};
        g_zuzez1 = nullptr;
        g_floorMirror = Mirror{};
        for (Scene** scene : {&g_logo, &g_blur0, &g_blur1, &g_corridors, &g_corridoru}) {
            delete *scene;
            *scene = nullptr;
        }
        // The events live in the pools, which the next test lays out afresh.
        Engine& e = g_engine;
        e.ForgetShow();
        UseFixedFrameClock(0);
        FreeTextures();
        if (g_currentPak != nullptr) {
            PakClose(g_currentPak);
            g_currentPak = nullptr;
        }
        std::remove(path_.c_str());
        TestGlDetach();
    }

    // Writes the archive and makes it current.
    void OpenArchive(const ShowArchiveOptions& options) {
        static int s_serial = 0;
        path_ = "script_test_" + std::to_string(::TestProcessId()) + "_" + std::to_string(s_serial++) + ".qdz";
        std::string error;
        ASSERT_TRUE(PakWriteArchive(path_, BuildShowArchive(options), &error)) << error;
        ASSERT_NE(PakOpen(path_.c_str(), "rb"), nullptr);
    }

    std::string path_;
};

struct ExpectedEvent {
    float time;
    int32_t type;
    Scene** target; // null for the finish
    float endTime;
    float opacity; // EvFadeOpacity only
};

std::vector<const TimelineEvent*> Pending() {
    std::vector<const TimelineEvent*> events;
    for (const TimelineEvent* e = g_engine.pendingEvents; e != nullptr && events.size() < 100; e = e->next) {
        events.push_back(e);
    }
    return events;
}

// With Ll = 100 and Lc = 200 (B = 440) the events fall where the design's
// worked example puts them. Among events of one time the newest goes behind
// the first (the engine's insertion rule).
TEST_F(ScriptTest, TimelineHoldsFourteenEventsInOrder) {
    ASSERT_NO_FATAL_FAILURE(OpenArchive({}));
    EXPECT_EQ(RunSceneScript(), 1);
    ASSERT_EQ(g_logo->frameCount, 100);
    ASSERT_EQ(g_corridoru->frameCount, 200);

    const std::vector<ExpectedEvent> expected = {
        {100.0f, EvDeactivateScene, &g_logo, 0.0f, 0.0f},
        {100.0f, EvFadeOpacity, &g_blur0, 150.0f, 1.0f},
        {100.0f, EvActivateScene, &g_blur0, 0.0f, 0.0f},
        {150.0f, EvActivateScene, &g_corridors, 0.0f, 0.0f},
        {160.0f, EvFadeOpacity, &g_blur0, 210.0f, 0.0f},
        {210.0f, EvDeactivateScene, &g_blur0, 0.0f, 0.0f},
        {240.0f, EvActivateScene, &g_corridoru, 0.0f, 0.0f},
        {250.0f, EvDeactivateScene, &g_corridors, 0.0f, 0.0f},
        {290.0f, EvFadeOpacity, &g_blur1, 340.0f, 1.0f},
        {290.0f, EvActivateScene, &g_blur1, 0.0f, 0.0f},
        {340.0f, EvDeactivateScene, &g_corridoru, 0.0f, 0.0f},
        {341.0f, EvFadeOpacity, &g_blur1, 390.0f, 0.0f},
        {400.0f, EvFinish, nullptr, 0.0f, 0.0f},
        {440.0f, EvDeactivateScene, &g_blur1, 0.0f, 0.0f},
    };
    const std::vector<const TimelineEvent*> events = Pending();
    ASSERT_EQ(events.size(), 14u);
    for (size_t i = 0; i < expected.size(); ++i) {
        const ExpectedEvent& want = expected[i];
        const TimelineEvent* got = events[i];
        EXPECT_EQ(got->time, want.time) << i;
        EXPECT_EQ(got->type, want.type) << i;
        EXPECT_EQ(got->target, want.target != nullptr ? static_cast<void*>(*want.target) : nullptr) << i;
        if (want.type == EvFadeOpacity) {
            EXPECT_EQ(got->endTime, want.endTime) << i;
            EXPECT_EQ(got->ParamFloat(1), want.opacity) << i;
        }
    }
}

TEST_F(ScriptTest, OnlyTheLogoIsActiveAndEveryScenesFillsTheScreen) {
    ASSERT_NO_FATAL_FAILURE(OpenArchive({}));
    RunSceneScript();
    EXPECT_EQ(g_engine.sceneCount, 5);
    EXPECT_EQ(g_engine.activeCount, 1);
    EXPECT_EQ(g_engine.inactiveCount, 4);
    EXPECT_EQ(g_engine.activeHead, g_logo);
    EXPECT_EQ(g_engine.activeTail, g_logo);
    const struct {
        Scene* scene;
        uint32_t priority;
        float opacity;
    } table[] = {{g_logo, 10, 1.0f},
                 {g_blur0, 14, 0.0f},
                 {g_corridors, 20, 1.0f},
                 {g_corridoru, 16, 1.0f},
                 {g_blur1, 15, 0.0f}};
    for (const auto& row : table) {
        ASSERT_NE(row.scene, nullptr);
        EXPECT_EQ(row.scene->priority, row.priority);
        EXPECT_EQ(row.scene->opacity, row.opacity) << row.priority;
        EXPECT_EQ(row.scene->viewX, 0) << row.priority;
        EXPECT_EQ(row.scene->viewY, 0) << row.priority;
        EXPECT_EQ(row.scene->viewWidth, kScreenWidth) << row.priority;
        EXPECT_EQ(row.scene->viewHeight, kScreenHeight) << row.priority;
    }
}

TEST_F(ScriptTest, CharacterIsPlacedDressedAndChoreographed) {
    ASSERT_NO_FATAL_FAILURE(OpenArchive({}));
    RunSceneScript();
    EXPECT_EQ(g_corridoru->models, &g_character);
    ASSERT_NE(g_zuzez1, nullptr);
    EXPECT_EQ(g_character.instances, g_zuzez1);
    EXPECT_STREQ(g_zuzez1->name, "Zuzez1");
    EXPECT_EQ(g_zuzez1->pos[0], 0.0f);
    EXPECT_EQ(g_zuzez1->pos[1], 24.0f);
    EXPECT_EQ(g_zuzez1->pos[2], -280.0f);
    EXPECT_EQ(g_zuzez1->rot[1], 3.14f);
    EXPECT_EQ(g_zuzez1->anim, 0);
    EXPECT_EQ(g_zuzez1->speed, 0.33333334f);
    ASSERT_NE(g_zuzez1->groups, nullptr);
    const Material* skin = g_zuzez1->groups[0].material;
    ASSERT_NE(skin, nullptr);
    EXPECT_NE(skin->texture, 0u) << "zuzez1.jpg";
    EXPECT_NE(skin->envTexture, 0u) << "chrome.jpg";
    EXPECT_NE(skin->envTexture, skin->texture);
    EXPECT_EQ(skin->envAlpha, 0.3f);

    // Motion, target z, target y rotation, and the length: frames, or loops
    // of the motion's frames at a third of a frame per engine frame.
    const struct {
        int32_t motion;
        float z;
        float turn;
        bool loops;
        float length;
    } moves[] = {{1, -280.0f, 3.14f, false, 0.0f}, {1, -250.0f, 3.14f, false, 92.0f}, {1, 50.0f, 3.14f, false, 30.0f},
                 {5, 50.0f, 6.28f, true, 1.0f},    {0, 50.0f, 6.28f, true, 2.0f},     {6, 50.0f, 6.28f, true, 1.0f},
                 {4, 50.0f, 6.28f, true, 1.0f},    {11, 50.0f, 6.28f, true, 1.0f},    {8, 50.0f, 6.28f, true, 1.0f},
                 {0, 50.0f, 3.14f, true, 1.0f},    {1, 200.0f, 3.14f, true, 2.0f},    {1, 350.0f, 3.14f, true, 1.0f}};
    const MoveKey* key = g_zuzez1->keyHead;
    for (const auto& move : moves) {
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->motion, move.motion);
        EXPECT_EQ(key->targetPos[0], 0.0f);
        EXPECT_EQ(key->targetPos[1], 24.0f);
        EXPECT_EQ(key->targetPos[2], move.z);
        EXPECT_EQ(key->targetRot[1], move.turn);
        const float frames = static_cast<float>(ShowArchiveMotionFrames(move.motion));
        const float expected = move.loops ? frames / 0.33333334f * move.length : move.length;
        EXPECT_FLOAT_EQ(key->duration, expected) << "motion " << move.motion;
        key = key->next;
    }
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(g_zuzez1->keyTail->targetPos[2], 350.0f);

    const MeshObject* wall = g_corridoru->FindObject("NGon01");
    ASSERT_NE(wall, nullptr);
    ASSERT_GE(wall->groupCount, 1);
    EXPECT_NE(wall->groups[0].material->envTexture, 0u) << "chromer.jpg";
    EXPECT_EQ(wall->groups[0].material->envAlpha, 0.5f);
}

TEST_F(ScriptTest, FloorMirrorHoldsItsTwentySixMeshesAndTheCharacter) {
    ASSERT_NO_FATAL_FAILURE(OpenArchive({}));
    RunSceneScript();
    const Mirror& m = g_floorMirror;
    EXPECT_EQ(m.normal[1], -1.0f);
    EXPECT_EQ(m.alpha, 0.6f);
    const float corners[4][3] = {{-50, 0, -200}, {50, 0, -200}, {-50, 0, 200}, {50, 0, 200}};
    const float colours[4] = {0.2f, 0.5f, 0.5f, 0.8f};
    const float uvs[4][2] = {{0, 0}, {2, 0}, {0, 8}, {2, 8}};
    for (int c = 0; c < 4; ++c) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(m.corners[c][k], corners[c][k]) << c;
            EXPECT_EQ(m.colour[c][k], colours[c]) << c;
        }
        EXPECT_EQ(m.uv[c][0], uvs[c][0]) << c;
        EXPECT_EQ(m.uv[c][1], uvs[c][1]) << c;
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(m.point[k], corners[0][k]);
    }
    EXPECT_EQ(m.textured, 1);
    EXPECT_NE(m.texture, 0u) << "mtlplat2.jpg";
    ASSERT_EQ(m.instanceCount, 1);
    EXPECT_EQ(m.instances[0], g_zuzez1);
    // The list in order, NGon15 once, at its last place: a second draw would
    // only repeat the same reflection.
    ASSERT_EQ(m.meshCount, kFloorMirrorMeshCount - 1);
    for (int i = 0, listed = 0; i < m.meshCount; ++i, ++listed) {
        if (listed == 1) {
            EXPECT_STREQ(kFloorMirrorMeshes[listed], "NGon15");
            ++listed;
        }
        ASSERT_NE(m.meshes[i], nullptr) << i;
        EXPECT_STREQ(m.meshes[i]->name, kFloorMirrorMeshes[listed]) << i;
    }
    EXPECT_EQ(g_corridoru->mirrors, &g_floorMirror);
    EXPECT_EQ(g_corridors->mirrors, &g_floorMirror);
    EXPECT_EQ(m.next, nullptr);
    EXPECT_EQ(g_logo->mirrors, nullptr);
    EXPECT_EQ(g_spareMirror.meshCount, 0);
    EXPECT_EQ(g_spareMirror.textured, 0);
}

// Names the script expects but the content lacks are skipped with a line
// each; the rest of the script runs as usual.
TEST_F(ScriptTest, MissingMeshesAndCharacterAreSkipped) {
    ShowArchiveOptions options;
    options.omit = {"NGon01", "porte05", "NGon15", "zuzez.md2", "chromer.jpg"};
    ASSERT_NO_FATAL_FAILURE(OpenArchive(options));
    DebugCapture capture;
    EXPECT_EQ(RunSceneScript(), 1);
    EXPECT_EQ(g_zuzez1, nullptr);
    EXPECT_EQ(g_corridoru->models, nullptr);
    EXPECT_EQ(g_floorMirror.instanceCount, 0);
    EXPECT_EQ(g_floorMirror.meshCount, kFloorMirrorMeshCount - 4);
    for (int i = 0; i < g_floorMirror.meshCount; ++i) {
        ASSERT_NE(g_floorMirror.meshes[i], nullptr);
    }
    const std::string text = capture.Joined();
    EXPECT_NE(text.find("no mesh porte05"), std::string::npos) << text;
    EXPECT_NE(text.find("no mesh NGon15"), std::string::npos) << text;
    EXPECT_NE(text.find("NGon01 has no material"), std::string::npos) << text;
    EXPECT_NE(text.find("zuzez.md2 not loaded"), std::string::npos) << text;
    EXPECT_EQ(Pending().size(), 14u);
}

// A missing scene ends the script with the 3DS loader's message; the scenes
// loaded before it are already held for release.
TEST_F(ScriptTest, MissingSceneRaisesTheLoadersMessage) {
    ShowArchiveOptions options;
    options.omit = {"blur1.3ds"};
    ASSERT_NO_FATAL_FAILURE(OpenArchive(options));
    try {
        RunSceneScript();
        FAIL() << "no error raised";
    } catch (const char* message) {
        EXPECT_STREQ(message, "File blur1.3ds.3ds non trovato");
    }
    EXPECT_NE(g_logo, nullptr);
    EXPECT_NE(g_blur0, nullptr);
    EXPECT_EQ(g_blur1, nullptr);
    EXPECT_EQ(g_corridoru, nullptr);
}

// The music: loaded and scheduled only when sound is on and the archive holds
// the song; otherwise the 14 events exactly. With it, the play at 0 comes
// first and the volume fade over blur1's fade-out (B - 99 to B - 50) goes
// before that fade, the engine's rule for equal times.
TEST_F(ScriptTest, SongAddsItsPlayAndFadeOnlyWithSoundAndEntry) {
    struct Case {
        bool sound;
        bool entry;
        bool music;
    };
    const Case cases[] = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "sound " << c.sound << " entry " << c.entry);
        ShowArchiveOptions options;
        options.songBars = c.entry ? 3 : 0;
        ASSERT_NO_FATAL_FAILURE(OpenArchive(options));
        fwk.playSounds = c.sound;
        if (c.sound) {
            SoundStartUp();
        }
        RunSceneScript();
        const std::vector<const TimelineEvent*> events = Pending();
        EXPECT_EQ(g_song != nullptr, c.music);
        ASSERT_EQ(events.size(), c.music ? 16u : 14u);
        std::vector<int32_t> types;
        for (const TimelineEvent* e : events) {
            types.push_back(e->type);
        }
        if (c.music) {
            EXPECT_EQ(events[0]->type, EvPlaySong);
            EXPECT_EQ(events[0]->time, 0.0f);
            EXPECT_EQ(events[0]->target, g_song);
            const TimelineEvent* fade = events[12];
            EXPECT_EQ(fade->type, EvFadeVolume);
            EXPECT_EQ(fade->time, 341.0f);
            EXPECT_EQ(fade->endTime, 390.0f);
            EXPECT_EQ(fade->ParamInt(1), 0);
            EXPECT_EQ(fade->target, g_song);
            EXPECT_EQ(events[13]->type, EvFadeOpacity) << "blur1's fade-out follows";
            types.erase(types.begin() + 12);
            types.erase(types.begin());
        }
        const std::vector<int32_t> show = {EvDeactivateScene, EvFadeOpacity,     EvActivateScene,   EvActivateScene,
                                           EvFadeOpacity,     EvDeactivateScene, EvActivateScene,   EvDeactivateScene,
                                           EvFadeOpacity,     EvActivateScene,   EvDeactivateScene, EvFadeOpacity,
                                           EvFinish,          EvDeactivateScene};
        EXPECT_EQ(types, show);
        FMUSIC_FreeSong(g_song);
        g_song = nullptr;
        SoundShutdown();
        fwk.playSounds = false;
        TearDown();
        SetUp();
    }
}

TEST(ShowTimes, SumsDoNotOverflow) {
    const ShowTimes small = ComputeShowTimes(100, 200);
    EXPECT_EQ(small.logoFrames, 100);
    EXPECT_EQ(small.corridoruFrames, 200);
    EXPECT_EQ(small.show, 440);
    const int32_t most = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(ComputeShowTimes(most, most).show, 2 * static_cast<int64_t>(most) + 140);
    EXPECT_EQ(ComputeShowTimes(0, 0).show, 140);
}

// The whole show on a 40 ms clock: one engine frame per displayed frame; the
// scenes come and go at their times and the finish ends it at Ll + Lc + 100.
TEST_F(ScriptTest, ShowPlaysToTheFinish) {
    ShowArchiveOptions options;
    options.logoFrames = 20;
    options.corridoruFrames = 160;
    ASSERT_NO_FATAL_FAILURE(OpenArchive(options));
    RunSceneScript();
    UseFixedFrameClock(40);
    // Frame at which each scene is first seen active, and the finish.
    std::vector<int> firstActive(5, -1);
    Scene* scenes[5] = {g_logo, g_blur0, g_corridors, g_corridoru, g_blur1};
    int frame = 0;
    int finishedAt = -1;
    for (; frame < 400 && finishedAt < 0; ++frame) {
        if (g_engine.RenderFrame() != 0) {
            finishedAt = frame;
        }
        for (int s = 0; s < 5; ++s) {
            for (const Scene* a = g_engine.activeHead; a != nullptr; a = a->next) {
                if (a == scenes[s] && firstActive[s] < 0) {
                    firstActive[s] = frame;
                }
            }
        }
    }
    // Frame k (from 0) starts with the clock at k and fires the events whose
    // time it has passed, so an event at time t acts in frame t + 1.
    EXPECT_EQ(firstActive[0], 0);
    EXPECT_EQ(firstActive[1], 20 + 1);        // Ll
    EXPECT_EQ(firstActive[2], 20 + 50 + 1);   // Ll + 50
    EXPECT_EQ(firstActive[3], 20 + 140 + 1);  // Ll + 140
    EXPECT_EQ(firstActive[4], 320 - 150 + 1); // B - 150
    EXPECT_EQ(finishedAt, 320 - 40 + 1);      // B - 40
    EXPECT_EQ(g_engine.finished, 1);
    // The finish comes 40 frames before blur1's deactivation, which never fires.
    EXPECT_EQ(g_engine.activeHead, g_blur1);
    EXPECT_EQ(g_engine.activeCount, 1);
    ASSERT_NE(g_engine.pendingEvents, nullptr);
    EXPECT_EQ(g_engine.pendingEvents->type, EvDeactivateScene);
    EXPECT_EQ(g_engine.pendingEvents->target, g_blur1);
}

} // namespace

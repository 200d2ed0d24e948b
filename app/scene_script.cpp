// The scene script: loads, dressing, choreography, floor mirror, timeline.
#include "app/scene_script.h"
#include "app/app.h"        // g_logo, g_blur0, g_blur1, g_corridors, g_corridoru
#include "app/show_names.h" // entry and mesh names shared with the content builder

#include "archive/archive.h"       // PakFind, g_currentPak
#include "engine/engine.h"         // g_engine, NewTimelineEvent
#include "framework/lumora.h"      // fwk.playSounds
#include "platform/platform.h"     // PlatformDebugPrintf
#include "platform/sound/sound.h"  // FMUSIC_LoadSong
#include "texture/texture.h"   // LoadJpegTexture

#include <algorithm> // std::find

Md2Model g_character;
Md2Instance* g_zuzez1 = nullptr;
Mirror g_floorMirror;
Mirror g_spareMirror;

namespace {

// One queued move of the character: a duration in engine frames, or a number
// of loops of its motion.
struct ChoreographyStep {
    int32_t motion;
    float position[3];
    float rotation[3];
    bool inLoops;
    float length; // frames, or loops
};

// 3.14 and 6.28 are the turns the content was made with, not pi.
constexpr ChoreographyStep kChoreography[] = {
    {1, {0.0f, 24.0f, -280.0f}, {0.0f, 3.14f, 0.0f}, false, 0.0f},
    {1, {0.0f, 24.0f, -250.0f}, {0.0f, 3.14f, 0.0f}, false, 92.0f},
    {1, {0.0f, 24.0f, 50.0f}, {0.0f, 3.14f, 0.0f}, false, 30.0f},
    {5, {0.0f, 24.0f, 50.0f}, {0.0f, 6.28f, 0.0f}, true, 1.0f},
    {0, {0.0f, 24.0f, 50.0f}, {0.0f, 6.28f, 0.0f}, true, 2.0f},
    {6, {0.0f, 24.0f, 50.0f}, {0.0f, 6.28f, 0.0f}, true, 1.0f},
    {4, {0.0f, 24.0f, 50.0f}, {0.0f, 6.28f, 0.0f}, true, 1.0f},
    {11, {0.0f, 24.0f, 50.0f}, {0.0f, 6.28f, 0.0f}, true, 1.0f},
    {8, {0.0f, 24.0f, 50.0f}, {0.0f, 6.28f, 0.0f}, true, 1.0f},
    {0, {0.0f, 24.0f, 50.0f}, {0.0f, 3.14f, 0.0f}, true, 1.0f},
    {1, {0.0f, 24.0f, 200.0f}, {0.0f, 3.14f, 0.0f}, true, 2.0f},
    {1, {0.0f, 24.0f, 350.0f}, {0.0f, 3.14f, 0.0f}, true, 1.0f},
};

// The character's speed: one motion frame every three engine frames.
constexpr float kCharacterSpeed = 1.0f / 3.0f;

// Draw priorities: the highest is drawn first, the lowest last and on top.
constexpr uint32_t kPriorityLogo = 10;
constexpr uint32_t kPriorityBlur0 = 14;
constexpr uint32_t kPriorityCorridors = 20;
constexpr uint32_t kPriorityCorridoru = 16;
constexpr uint32_t kPriorityBlur1 = 15;

// The material of an object's first group, or null when it has none.
Material* FirstGroupMaterial(const MaterialGroup* groups, const int32_t groupCount) {
    if (groups == nullptr || groupCount < 1) {
        return nullptr;
    }
    return groups[0].material;
}

// Sets an environment pass on the first group of `object`; a missing object
// or material is reported and skipped.
void SetEnvironment(MeshObject* object, const char* name, const uint32_t texture, const float alpha) {
    Material* material = object != nullptr ? FirstGroupMaterial(object->groups, object->groupCount) : nullptr;
    if (material == nullptr) {
        PlatformDebugPrintf("Scene script: %s has no material for its environment map\n", name);
        return;
    }
    material->envTexture = texture;
    material->envAlpha = alpha;
}

// Loads the character into corridoru and makes Zuzez1. A model that does not
// load is left out altogether: there is nothing to draw or reflect.
void LoadCharacter() {
    if (g_character.Load(kCharacterFile) != 1) {
        PlatformDebugPrintf("Scene script: %s not loaded, no character\n", kCharacterFile);
        return;
    }
    g_corridoru->AddModel(&g_character);
    const uint32_t skin = LoadJpegTexture(kCharacterSkinFile, true);
    g_zuzez1 = AddMd2Instance(&g_character, "Zuzez1", skin);
    if (g_zuzez1 == nullptr) {
        return;
    }
    Material* material = FirstGroupMaterial(g_zuzez1->groups, g_zuzez1->groupCount);
    const uint32_t chrome = LoadJpegTexture(kChromeFile, true);
    if (material != nullptr) {
        material->envTexture = chrome;
        material->envAlpha = 0.3f;
    }
}

void Choreograph(Md2Instance* instance) {
    if (instance == nullptr) {
        return;
    }
    instance->SetPosition(0.0f, 24.0f, -280.0f);
    instance->SetRotation(0.0f, 3.14f, 0.0f);
    instance->SetMotion(0);
    instance->speed = kCharacterSpeed;
    for (const ChoreographyStep& step : kChoreography) {
        const MoveKey* key = step.inLoops
                                 ? instance->QueueLoops(step.motion, step.position, step.rotation, step.length)
                                 : instance->QueueMove(step.motion, step.position, step.rotation, step.length);
        if (key == nullptr) {
            PlatformDebugPrintf("Scene script: move with motion %d not queued\n", static_cast<int>(step.motion));
        }
    }
}

void BuildFloorMirror() {
    Mirror& mirror = g_floorMirror;
    mirror.SetNormal(0.0f, -1.0f, 0.0f);
    mirror.alpha = 0.6f;
    mirror.SetCorner(0, -50.0f, 0.0f, -200.0f);
    mirror.SetCorner(1, 50.0f, 0.0f, -200.0f);
    mirror.SetCorner(2, -50.0f, 0.0f, 200.0f);
    mirror.SetCorner(3, 50.0f, 0.0f, 200.0f);
    mirror.SetCornerColour(0, 0.2f, 0.2f, 0.2f);
    mirror.SetCornerColour(1, 0.5f, 0.5f, 0.5f);
    mirror.SetCornerColour(2, 0.5f, 0.5f, 0.5f);
    mirror.SetCornerColour(3, 0.8f, 0.8f, 0.8f);
    mirror.SetCornerUV(0, 0.0f, 0.0f);
    mirror.SetCornerUV(1, 2.0f, 0.0f);
    mirror.SetCornerUV(2, 0.0f, 8.0f);
    mirror.SetCornerUV(3, 2.0f, 8.0f);
    const uint32_t floor = LoadJpegTexture(kMirrorFloorFile, true);
    mirror.textured = 1;
    mirror.texture = floor;
    mirror.TakePointFromCorner();
    if (g_zuzez1 != nullptr) {
        mirror.AddInstance(g_zuzez1);
    }
    // The list names NGon15 twice. A mesh is reflected once, at its last
    // place in the list: a second draw only repeats its fragments, and where
    // it meets another reflected mesh at the same depth the later draw is the
    // one that shows, so the last place keeps the picture as it was.
    MeshObject* listed[kFloorMirrorMeshCount] = {};
    for (int32_t i = 0; i < kFloorMirrorMeshCount; ++i) {
        listed[i] = g_corridoru->FindObject(kFloorMirrorMeshes[i]);
        if (listed[i] == nullptr) {
            PlatformDebugPrintf("Scene script: no mesh %s to reflect\n", kFloorMirrorMeshes[i]);
        }
    }
    for (int32_t i = 0; i < kFloorMirrorMeshCount; ++i) {
        if (listed[i] != nullptr && std::find(listed + i + 1, listed + kFloorMirrorMeshCount, listed[i]) ==
                                        listed + kFloorMirrorMeshCount) {
            mirror.AddMesh(listed[i]);
        }
    }
    // One record in two scenes' lists: safe because neither scene has another
    // mirror, so the shared link stays null.
    g_corridoru->AddMirror(&mirror);
    g_corridors->AddMirror(&mirror);
}

// Engine time of an integer sum of frames.
float At(const int64_t frames) {
    return static_cast<float>(frames);
}

void FillTimeline(const ShowTimes& t) {
    Engine& e = g_engine;
    const int64_t ll = t.logoFrames;
    const int64_t b = t.show;

    e.SetSceneViewport(g_logo, 0, 0, 1000, 1000, kPriorityLogo);
    e.ActivateScene(g_logo);
    e.DeactivateAt(g_logo, At(ll));

    e.SetSceneViewport(g_blur0, 0, 0, 1000, 1000, kPriorityBlur0);
    e.ActivateAt(g_blur0, At(ll));
    g_blur0->opacity = 0.0f;
    e.FadeOpacity(g_blur0, At(ll), At(ll + 50), 1.0f);
    e.FadeOpacity(g_blur0, At(ll + 60), At(ll + 110), 0.0f);
    e.DeactivateAt(g_blur0, At(ll + 110));

    e.SetSceneViewport(g_corridors, 0, 0, 1000, 1000, kPriorityCorridors);
    e.ActivateAt(g_corridors, At(ll + 50));
    e.DeactivateAt(g_corridors, At(ll + 150));

    e.SetSceneViewport(g_corridoru, 0, 0, 1000, 1000, kPriorityCorridoru);
    e.ActivateAt(g_corridoru, At(ll + 140));
    e.DeactivateAt(g_corridoru, At(b - 100));

    e.SetSceneViewport(g_blur1, 0, 0, 1000, 1000, kPriorityBlur1);
    e.ActivateAt(g_blur1, At(b - 150));
    g_blur1->opacity = 0.0f;
    e.FadeOpacity(g_blur1, At(b - 150), At(b - 100), 1.0f);
    e.FadeOpacity(g_blur1, At(b - 99), At(b - 50), 0.0f);
    e.DeactivateAt(g_blur1, At(b));

    e.FinishAt(At(b - 40));
}

// The music, an addition to the show: when sound is on and the archive holds
// the song, it starts with the show and fades out with blur1. Without it the
// timeline is exactly the show's 14 events.
void AddMusic(const ShowTimes& t) {
    if (!fwk.playSounds) {
        return;
    }
    g_song = FMUSIC_LoadSong(kSongFile);
    if (g_song == nullptr) {
        return;
    }
    TimelineEvent* play = NewTimelineEvent(EvPlaySong, 0.0f);
    TimelineEvent* fade = NewTimelineEvent(EvFadeVolume, At(Blur1FadeOutStart(t)));
    if (play != nullptr) {
        play->target = g_song;
        g_engine.AddEvent(play);
    }
    if (fade != nullptr) {
        fade->target = g_song;
        fade->endTime = At(Blur1FadeOutEnd(t));
        fade->SetParamInt(1, 0);
        g_engine.AddEvent(fade);
    }
}

} // namespace

int RunSceneScript() {
    g_logo = g_engine.LoadScene(kLogoFile, 1);
    g_blur0 = g_engine.LoadScene(kBlur0File, 1);
    g_blur1 = g_engine.LoadScene(kBlur1File, 1);
    g_corridors = g_engine.LoadScene(kCorridorsFile, 1);
    g_corridoru = g_engine.LoadScene(kCorridoruFile, 1);
    const ShowTimes times = ComputeShowTimes(g_logo->frameCount, g_corridoru->frameCount);
    // The logo's sky, when the archive has one; without it the logo stands on
    // the cleared screen as it always did, and nothing is reported.
    if (PakFind(g_currentPak, kLogoSkyFile) != nullptr) {
        g_logo->LoadSkyBox(kLogoSkyFile);
    }

    LoadCharacter();

    const uint32_t corridorChrome = LoadJpegTexture(kCorridorChromeFile, true);
    SetEnvironment(g_corridoru->FindObject(kCorridorChromeMesh), kCorridorChromeMesh, corridorChrome, 0.5f);

    Choreograph(g_zuzez1);
    BuildFloorMirror();
    FillTimeline(times);
    AddMusic(times);
    return 1;
}

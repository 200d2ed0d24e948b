// The scene script: reads the show file and plays it into the engine.
#include "app/scene_script.h"
#include "app/app.h"       // g_logo, g_blur0, g_blur1, g_corridors, g_corridoru, g_song
#include "app/show_file.h" // Show, ParseShow, ResolveShowTimes

#include "archive/archive.h"      // PakFind, PakLoadEntry, g_currentPak
#include "engine/engine.h"        // g_engine, NewTimelineEvent
#include "framework/lumora.h"     // fwk.playSounds
#include "platform/platform.h"    // PlatformDebugPrintf
#include "platform/sound/sound.h" // FMUSIC_LoadSong
#include "texture/texture.h"      // LoadJpegTexture

#include <string>
#include <vector>

#include <algorithm> // std::find

Md2Model g_character;
Md2Instance* g_zuzez1 = nullptr;
Mirror g_floorMirror;
Mirror g_spareMirror;

namespace {

// A show file larger than this is not a show file.
constexpr int32_t kShowFileMaxBytes = 1 << 20;

// The scenes of the show, in load order; the shell releases them.
std::vector<Scene*> s_scenes;

// The message of the error being raised: the shell's error end shows it after
// the script has returned by the throw, so it must outlive the throw.
std::string s_error;

[[noreturn]] void Raise(const std::string& message) {
    s_error = message;
    throw s_error.c_str();
}

// The shell's named handles, filled for scenes of these names (the built-in
// show's), which the shell and the tests look at directly.
struct NamedHandle {
    const char* name;
    Scene** handle;
};
const NamedHandle kNamedHandles[] = {
    {"logo", &g_logo}, {"blur0", &g_blur0}, {"blur1", &g_blur1}, {"corridors", &g_corridors}, {"corridoru", &g_corridoru},
};

// The show's text when it does not come from the archive (SetShowFileText).
struct ShowSource {
    std::string name; // empty: the archive's show.toml
    std::string text;
};
ShowSource s_source;

Show ReadShowFile() {
    Show show;
    std::string error;
    if (!s_source.name.empty()) {
        if (!ParseShow(s_source.name, s_source.text, &show, &error)) {
            Raise(error);
        }
        return show;
    }
    int32_t size = 0;
    PakLoadStatus status = kPakLoadOk;
    uint8_t* bytes = PakLoadEntry(g_currentPak, kShowFile, kShowFileMaxBytes, &size, &status);
    if (bytes == nullptr) {
        Raise(std::string(kShowFile) + (status == kPakLoadTooLarge ? ": larger than a show file can be"
                                                                    : ": not in the archive, so there is no show"));
    }
    const std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    PakFreeEntry(bytes);
    if (!ParseShow(kShowFile, text, &show, &error)) {
        Raise(error);
    }
    return show;
}

void LoadScenes(const Show& show) {
    for (const ShowScene& entry : show.scenes) {
        Scene* scene = g_engine.LoadScene(entry.file.c_str(), entry.textures ? 1 : 0);
        s_scenes.push_back(scene);
        for (const NamedHandle& named : kNamedHandles) {
            if (entry.name == named.name) {
                *named.handle = scene;
            }
        }
    }
}

// A scene's sky, when the archive has one; without it the scene stands on
// the cleared screen, and nothing is reported.
void LoadSkies(const Show& show) {
    for (size_t i = 0; i < show.scenes.size(); ++i) {
        const std::string& sky = show.scenes[i].sky;
        if (!sky.empty() && PakFind(g_currentPak, sky.c_str()) != nullptr) {
            s_scenes[i]->LoadSkyBox(sky.c_str());
        }
    }
}

// The material of an object's first group, or null when it has none.
Material* FirstGroupMaterial(const MaterialGroup* groups, const int32_t groupCount) {
    if (groups == nullptr || groupCount < 1) {
        return nullptr;
    }
    return groups[0].material;
}

// Loads the character into its scene and makes its instance. A model that
// does not load is left out altogether: there is nothing to draw or reflect.
void LoadCharacter(const ShowCharacter& c) {
    if (!c.present) {
        return;
    }
    if (g_character.Load(c.model.c_str()) != 1) {
        PlatformDebugPrintf("Scene script: %s not loaded, no character\n", c.model.c_str());
        return;
    }
    s_scenes[c.scene]->AddModel(&g_character);
    const uint32_t skin = c.skin.empty() ? 0 : LoadJpegTexture(c.skin.c_str(), true);
    g_zuzez1 = AddMd2Instance(&g_character, c.name.c_str(), skin);
    if (g_zuzez1 == nullptr || c.chrome.empty()) {
        return;
    }
    Material* material = FirstGroupMaterial(g_zuzez1->groups, g_zuzez1->groupCount);
    const uint32_t chrome = LoadJpegTexture(c.chrome.c_str(), true);
    if (material != nullptr) {
        material->envTexture = chrome;
        material->envAlpha = c.chromeStrength;
    }
}

// Sets an environment pass on the first group of the named object; a missing
// object or material is reported and skipped.
void SetEnvironment(const ShowEnvironment& env) {
    const uint32_t texture = LoadJpegTexture(env.texture.c_str(), true);
    MeshObject* object = s_scenes[env.scene]->FindObject(env.object.c_str());
    Material* material = object != nullptr ? FirstGroupMaterial(object->groups, object->groupCount) : nullptr;
    if (material == nullptr) {
        PlatformDebugPrintf("Scene script: %s has no material for its environment map\n", env.object.c_str());
        return;
    }
    material->envTexture = texture;
    material->envAlpha = env.strength;
}

void Choreograph(const ShowCharacter& c, Md2Instance* instance) {
    if (instance == nullptr) {
        return;
    }
    instance->SetPosition(c.position[0], c.position[1], c.position[2]);
    instance->SetRotation(c.rotation[0], c.rotation[1], c.rotation[2]);
    instance->SetMotion(c.motion);
    instance->speed = c.speed;
    for (const ShowMove& step : c.moves) {
        const MoveKey* key = step.inLoops
                                 ? instance->QueueLoops(step.motion, step.position, step.rotation, step.length)
                                 : instance->QueueMove(step.motion, step.position, step.rotation, step.length);
        if (key == nullptr) {
            PlatformDebugPrintf("Scene script: move with motion %d not queued\n", static_cast<int>(step.motion));
        }
    }
}

void BuildMirror(const ShowMirror& m) {
    if (!m.present) {
        return;
    }
    Mirror& mirror = g_floorMirror;
    mirror.SetNormal(m.normal[0], m.normal[1], m.normal[2]);
    mirror.alpha = m.alpha;
    for (int32_t c = 0; c < 4; ++c) {
        mirror.SetCorner(c, m.corners[c][0], m.corners[c][1], m.corners[c][2]);
    }
    for (int32_t c = 0; c < 4; ++c) {
        mirror.SetCornerColour(c, m.colours[c][0], m.colours[c][1], m.colours[c][2]);
    }
    for (int32_t c = 0; c < 4; ++c) {
        mirror.SetCornerUV(c, m.uv[c][0], m.uv[c][1]);
    }
    if (!m.texture.empty()) {
        const uint32_t floor = LoadJpegTexture(m.texture.c_str(), true);
        mirror.textured = 1;
        mirror.texture = floor;
    }
    mirror.TakePointFromCorner();
    if (m.reflectCharacter && g_zuzez1 != nullptr) {
        mirror.AddInstance(g_zuzez1);
    }
    // A mesh listed more than once (the built-in show lists NGon15 twice) is
    // reflected once, at its last place: a second draw only repeats its
    // fragments, and where it meets another reflected mesh at the same depth
    // the later draw is the one that shows, so the last place keeps the
    // picture as it was.
    Scene* home = s_scenes[m.scenes[0]];
    std::vector<MeshObject*> listed;
    for (const std::string& name : m.meshes) {
        MeshObject* mesh = home->FindObject(name.c_str());
        if (mesh == nullptr) {
            PlatformDebugPrintf("Scene script: no mesh %s to reflect\n", name.c_str());
            continue;
        }
        listed.push_back(mesh);
    }
    for (auto it = listed.begin(); it != listed.end(); ++it) {
        if (std::find(it + 1, listed.end(), *it) == listed.end()) {
            mirror.AddMesh(*it);
        }
    }
    // One record in several scenes' lists: safe because none of them has
    // another mirror, so the shared link stays null.
    for (const int32_t scene : m.scenes) {
        s_scenes[scene]->AddMirror(&mirror);
    }
}

// Viewports and starting opacity of every scene, then the scenes active from
// the start, in file order.
void SetUpScenes(const Show& show) {
    for (size_t i = 0; i < show.scenes.size(); ++i) {
        const ShowScene& s = show.scenes[i];
        g_engine.SetSceneViewport(s_scenes[i], s.view[0], s.view[1], s.view[2], s.view[3], s.priority);
        s_scenes[i]->opacity = s.opacity;
    }
    for (size_t i = 0; i < show.scenes.size(); ++i) {
        if (show.scenes[i].active) {
            g_engine.ActivateScene(s_scenes[i]);
        }
    }
}

// A running effect's record with its end; null when the pools are out.
TimelineEvent* NewEffect(const int32_t type, const ShowEvent& e) {
    TimelineEvent* event = NewTimelineEvent(type, e.at.frames);
    if (event != nullptr) {
        event->endTime = e.until.frames;
    }
    return event;
}

// The event's record, or null when it adds nothing (a song event without a
// song) or the pools are out.
TimelineEvent* MakeOtherEvent(const ShowEvent& e) {
    switch (e.action) {
    case ShowAction::Flash:
        return NewEffect(EvFlash, e);
    case ShowAction::Noise: {
        TimelineEvent* event = NewEffect(EvNoise, e);
        for (int32_t k = 0; k < 4 && event != nullptr; ++k) {
            event->SetParamUint(k, LoadJpegTexture(e.textures[static_cast<size_t>(k)].c_str(), true));
        }
        return event;
    }
    case ShowAction::Trails:
        return NewTimelineEvent(EvTrailsOn, e.at.frames);
    case ShowAction::Trails2:
        return NewTimelineEvent(EvTrailsOn2, e.at.frames);
    case ShowAction::EffectsOff:
        return NewTimelineEvent(EvEffectsOff, e.at.frames);
    case ShowAction::EffectsOff2:
        return NewTimelineEvent(EvEffectsOff2, e.at.frames);
    default:
        break;
    }
    if (g_song == nullptr) {
        return nullptr;
    }
    TimelineEvent* event = nullptr;
    if (e.action == ShowAction::FadeVolume) {
        event = NewEffect(EvFadeVolume, e);
        if (event != nullptr) {
            event->SetParamInt(1, e.volume);
        }
    } else {
        event = NewTimelineEvent(e.action == ShowAction::PlaySong ? EvPlaySong : EvStopSong, e.at.frames);
    }
    if (event != nullptr) {
        event->target = g_song;
    }
    return event;
}

void FillTimeline(const Show& show) {
    Engine& engine = g_engine;
    for (const ShowEvent& e : show.events) {
        Scene* scene = e.scene >= 0 ? s_scenes[static_cast<size_t>(e.scene)] : nullptr;
        switch (e.action) {
        case ShowAction::Activate:
            engine.ActivateAt(scene, e.at.frames);
            break;
        case ShowAction::Deactivate:
            engine.DeactivateAt(scene, e.at.frames);
            break;
        case ShowAction::Fade:
            engine.FadeOpacity(scene, e.at.frames, e.until.frames, e.opacity);
            break;
        case ShowAction::Finish:
            engine.FinishAt(e.at.frames);
            break;
        default:
            if (TimelineEvent* event = MakeOtherEvent(e)) {
                engine.AddEvent(event);
            }
            break;
        }
    }
}

// The song plays only with sound on and the song in the archive; without it
// the song's events are left out and the show plays silent.
void LoadSong(const Show& show) {
    if (!fwk.playSounds || show.song.empty()) {
        return;
    }
    g_song = FMUSIC_LoadSong(show.song.c_str());
}

} // namespace

int RunSceneScript() {
    s_scenes.clear();
    // The whole file is read and checked before anything is loaded, so a bad
    // file never half-starts a show.
    Show show = ReadShowFile();
    LoadScenes(show);
    std::vector<int32_t> lengths;
    for (const Scene* scene : s_scenes) {
        lengths.push_back(scene->frameCount);
    }
    std::string error;
    if (!ResolveShowTimes(&show, lengths, &error)) {
        Raise(error);
    }
    LoadSkies(show);
    LoadCharacter(show.character);
    for (const ShowEnvironment& env : show.environments) {
        SetEnvironment(env);
    }
    Choreograph(show.character, g_zuzez1);
    BuildMirror(show.mirror);
    LoadSong(show);
    SetUpScenes(show);
    FillTimeline(show);
    return 1;
}

void ReleaseShowScenes() {
    // Destroy gives back what the scene holds; the record itself is the
    // engine's new.
    for (Scene* scene : s_scenes) {
        SceneDestroy(scene);
        delete scene;
    }
    s_scenes.clear();
    for (const NamedHandle& named : kNamedHandles) {
        *named.handle = nullptr;
    }
    // The character and the floor outlive the scenes; a show loaded again
    // must find them as before the first: no instance of the old show, no
    // reflected mesh of a destroyed scene.
    FreeMd2Instances(&g_character);
    g_character.next = nullptr;
    g_zuzez1 = nullptr;
    g_floorMirror = Mirror{};
}

void SetShowFileText(const std::string& fileName, const std::string& text) {
    s_source.name = fileName;
    s_source.text = fileName.empty() ? std::string() : text;
}

void GetShowFileText(std::string* fileName, std::string* text) {
    *fileName = s_source.name;
    *text = s_source.text;
}

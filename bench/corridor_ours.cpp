// Our corridor frame: the shell's scene script and the engine, driven as the
// capture drives them, then held at one moment.
#include "bench/corridor_ours.h"

#include "app/app.h"              // g_corridoru, ReleaseShowContent, UseFixedFrameClock
#include "app/scene_script.h"     // RunSceneScript, g_zuzez1, g_floorMirror
#include "archive/archive.h"      // PakOpen, g_currentPak
#include "engine/engine.h"        // g_engine, EngineSetFrameClock, EngineSetScreenSize
#include "framework/lumora.h"     // fwk, done, InitGL, ReSizeGLScene
#include "md2/md2.h"              // AnimRange
#include "memory/memory_pool.h"   // PoolRelease, PoolSetSmallSize, PoolInit
#include "platform/headless_gl.h" // HeadlessGlMakeCurrent, HeadlessGlDetach, HeadlessGlReadColorBuffer
#include "scene/draw.h"           // kDrawNearPlane, kDrawFarPlane
#include "scene/scene.h"          // Scene, Camera, Light, Material, Mirror, Md2Instance

#include <EGL/egl.h> // eglGetCurrentContext

#include <cstdio>  // fprintf
#include <cstring> // memcpy
#include <utility>

namespace {

// The pool as the player sets it up.
constexpr int32_t kSmallBytes = 200000;
constexpr int32_t kTotalBytes = 20000000;
// The capture's clock: 40 ms a displayed frame, one engine frame.
constexpr int kStepMs = 40;

int32_t s_width = 0;
int32_t s_height = 0;
bool s_started = false;
// The character's moving parts at the moment: AdvanceKeys moves pos and rot
// a share of the way to the move's target on every draw, even on a clock
// that stands still, so they are put back before each frame.
float s_pos[3] = {};
float s_rot[3] = {};
// What "plain" takes away: the mirror list of corridoru and every
// environment texture (corridor meshes and the character).
Mirror* s_mirrors = nullptr;
std::vector<std::pair<Material*, uint32_t>> s_envTextures;

uint32_t StandingClock() {
    return 0;
}
void StandingReset() {}

void CollectEnvironmentTextures() {
    s_envTextures.clear();
    for (int32_t i = 0; i < g_corridoru->materialCount; ++i) {
        Material* m = g_corridoru->materials[i];
        if (m != nullptr && m->envTexture != 0) {
            s_envTextures.emplace_back(m, m->envTexture);
        }
    }
    if (g_zuzez1 != nullptr && g_zuzez1->groups != nullptr && g_zuzez1->groupCount > 0) {
        Material* m = g_zuzez1->groups[0].material;
        if (m != nullptr && m->envTexture != 0) {
            s_envTextures.emplace_back(m, m->envTexture);
        }
    }
}

void SetShow(const bool show) {
    g_corridoru->mirrors = show ? s_mirrors : nullptr;
    for (auto& [material, texture] : s_envTextures) {
        material->envTexture = show ? texture : 0;
    }
}

} // namespace

bool CorridorOursStart(const std::string& content, const int32_t frame, const int32_t width,
                       const int32_t height, std::string* error) {
    s_width = width;
    s_height = height;
    PoolRelease();
    PoolSetSmallSize(kSmallBytes);
    PoolInit(kTotalBytes);
    fwk.width = width;
    fwk.height = height;
    fwk.bits = 32;
    fwk.fullscreen = false;
    fwk.playSounds = false;
    EngineSetScreenSize(width, height);
    if (!HeadlessGlMakeCurrent(width, height)) {
        *error = "no EGL context: " + HeadlessGlError();
        return false;
    }
    InitGL();
    ReSizeGLScene(width, height);
    if (PakOpen(content.c_str(), "rb") == nullptr) {
        *error = "cannot open " + content;
        return false;
    }
    s_started = true;
    try {
        RunSceneScript();
    } catch (const char* message) {
        *error = std::string("scene script: ") + message;
        return false;
    }
    UseFixedFrameClock(kStepMs);
    for (int32_t pass = 0; pass <= frame; ++pass) {
        g_engine.draw.gl.MatrixMode(GL_MODELVIEW);
        g_engine.draw.gl.LoadIdentity();
        if (g_engine.RenderFrame() != 0) {
            *error = "the show finished before frame " + std::to_string(frame);
            return false;
        }
    }
    EngineSetFrameClock(StandingClock, StandingReset);
    if (g_engine.activeCount != 1 || g_engine.activeHead != g_corridoru) {
        *error = "frame " + std::to_string(frame) + " does not show corridoru alone";
        return false;
    }
    if (g_zuzez1 != nullptr) {
        // A move that ends at this very moment would take the next key on the
        // next draw: the pose would not stay put.
        if (!(g_zuzez1->keyEnd > g_corridoru->time) || g_zuzez1->inTransition != 0) {
            *error = "the character changes its move at frame " + std::to_string(frame);
            return false;
        }
        std::memcpy(s_pos, g_zuzez1->pos, sizeof s_pos);
        std::memcpy(s_rot, g_zuzez1->rot, sizeof s_rot);
    }
    s_mirrors = g_corridoru->mirrors;
    CollectEnvironmentTextures();
    return true;
}

CorridorView CorridorOursView() {
    CorridorView v{};
    const Camera* camera = g_corridoru->cameras[g_corridoru->currentCamera];
    std::memcpy(v.eye, camera->pos, sizeof v.eye);
    std::memcpy(v.target, camera->target, sizeof v.target);
    v.up[0] = camera->view[4];
    v.up[1] = camera->view[5];
    v.up[2] = camera->view[6];
    v.fovDegrees = camera->fov;
    v.aspect = camera->aspect;
    v.nearPlane = static_cast<float>(kDrawNearPlane);
    v.farPlane = static_cast<float>(kDrawFarPlane);
    for (int32_t i = 0; i < g_corridoru->lightCount && v.lightCount < 8; ++i) {
        const Light* light = g_corridoru->lights[i];
        if (light == nullptr) {
            continue;
        }
        std::memcpy(v.lightPos[v.lightCount], light->pos, sizeof v.lightPos[0]);
        std::memcpy(v.lightColour[v.lightCount], light->colour, sizeof v.lightColour[0]);
        v.lightCount += 1;
    }
    const Md2Instance* z = g_zuzez1;
    v.character = z != nullptr;
    if (z != nullptr) {
        std::memcpy(v.characterPos, s_pos, sizeof v.characterPos);
        std::memcpy(v.characterRot, s_rot, sizeof v.characterRot);
        v.characterFrame = static_cast<int32_t>(z->anims[z->anim].firstFrame + z->frameInAnim);
        v.characterFrac = z->frac;
    }
    return v;
}

bool CorridorOursMakeCurrent() {
    return HeadlessGlMakeCurrent(s_width, s_height);
}

void CorridorOursDetach() {
    // Only when ours is current: libglvnd keeps one API's context per thread.
    if (eglGetCurrentContext() != EGL_NO_CONTEXT) {
        HeadlessGlDetach();
    }
}

bool CorridorOursFrames(const int32_t frames, const bool show) {
    SetShow(show);
    for (int32_t i = 0; i < frames; ++i) {
        if (g_zuzez1 != nullptr) {
            std::memcpy(g_zuzez1->pos, s_pos, sizeof s_pos);
            std::memcpy(g_zuzez1->rot, s_rot, sizeof s_rot);
        }
        g_engine.draw.gl.MatrixMode(GL_MODELVIEW);
        g_engine.draw.gl.LoadIdentity();
        g_engine.RenderFrame();
    }
    g_engine.draw.gl.Finish();
    SetShow(true);
    const GLenum failure = g_engine.draw.gl.GetError();
    if (failure != GL_NO_ERROR) {
        std::fprintf(stderr, "tessaro-bench: our corridor frame left GL error 0x%04X\n",
                     static_cast<unsigned>(failure));
        return false;
    }
    return true;
}

std::vector<uint8_t> CorridorOursReadBack() {
    return HeadlessGlReadColorBuffer();
}

void CorridorOursStop() {
    if (!s_started) {
        HeadlessGlDetach();
        return;
    }
    SetShow(true);
    UseFixedFrameClock(0);
    HeadlessGlMakeCurrent(s_width, s_height);
    ReleaseShowContent();
    HeadlessGlDetach();
    s_started = false;
}

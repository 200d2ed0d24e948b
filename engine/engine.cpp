// The engine object: scene lists, loading, viewports, the clock and the frame.
#include "engine/engine.h"

#include "loader3ds/loader3ds.h"  // Load3ds
#include "platform/gl_table.h"    // GlTableOfSystem
#include "platform/sound/sound.h" // FMUSIC_PlaySong, FMUSIC_StopSong
#include "scene/scene.h"          // Scene, Material, KeyPlayer
#include "texture/texture.h"      // LoadTexture, TextureUseGl

#include <cstdint>
#include <cstdlib> // rand
#include <limits>

Engine g_engine;

namespace {

// The program's texture uploads (scene materials, the scene script's
// pictures, sky boxes) go through the program engine's table from the start,
// before main runs; other engines (tests, tools) never take them over.
const bool s_texturesUseTheEngineTable = (TextureUseGl(&g_engine.draw.gl), true);

} // namespace

namespace {

FrameClockElapsed s_clockElapsed = nullptr;
FrameClockReset s_clockReset = nullptr;
SceneDrawer s_drawer = nullptr;
int32_t s_screenWidth = 0;
int32_t s_screenHeight = 0;

// Thrown when a material's texture map cannot be loaded.
constexpr const char kMsgNoTexture[] = "Caricamento materiale fallito, texture non trovata";

// Trails draw every scene at this opacity, so earlier frames show through.
constexpr float kTrailsOpacity = 0.1f;

// The four corners of the full-screen strip, in strip order.
constexpr float kStripCorners[4][2] = {{-1.0f, -1.0f}, {1.0f, -1.0f}, {-1.0f, 1.0f}, {1.0f, 1.0f}};
// Texture coordinates of the noise strip: corner k takes entry r + k, so the
// random r in 0..3 picks one of four mappings of the noise texture.
constexpr float kNoiseU[7] = {0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f};
constexpr float kNoiseV[7] = {0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f};

// a * b / 1000, truncated toward zero. Formed in 64 bits so that a silly
// fraction cannot overflow; the result is clamped to the int32 range.
int32_t PerMille(const int32_t a, const int32_t b) {
    const int64_t value = static_cast<int64_t>(a) * static_cast<int64_t>(b) / 1000;
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

// True when `scene` is linked into the list that starts at `head`.
bool InList(const Scene* head, const Scene* scene) {
    for (const Scene* s = head; s != nullptr; s = s->next) {
        if (s == scene) {
            return true;
        }
    }
    return false;
}

// Unlinks `scene` from the list (head, tail) and clears its links.
void Unlink(Scene*& head, Scene*& tail, Scene* scene) {
    if (scene->prev != nullptr) {
        scene->prev->next = scene->next;
    } else {
        head = scene->next;
    }
    if (scene->next != nullptr) {
        scene->next->prev = scene->prev;
    } else {
        tail = scene->prev;
    }
    scene->prev = nullptr;
    scene->next = nullptr;
}

// Puts an unlinked `scene` at the head of the list (head, tail).
void PushFront(Scene*& head, Scene*& tail, Scene* scene) {
    scene->prev = nullptr;
    scene->next = head;
    if (head != nullptr) {
        head->prev = scene;
    } else {
        tail = scene;
    }
    head = scene;
}

void DefaultDrawer(DrawContext* ctx, Scene* scene) {
    RenderScene(ctx, scene);
}

} // namespace

void EngineSetFrameClock(const FrameClockElapsed elapsed, const FrameClockReset reset) {
    if (elapsed == nullptr || reset == nullptr) {
        s_clockElapsed = nullptr;
        s_clockReset = nullptr;
        return;
    }
    s_clockElapsed = elapsed;
    s_clockReset = reset;
}

void EngineSetScreenSize(const int32_t width, const int32_t height) {
    s_screenWidth = width;
    s_screenHeight = height;
}

void EngineSetSceneDrawer(const SceneDrawer drawer) {
    s_drawer = drawer;
}

uint32_t EngineFrameTimer::ElapsedMs() const {
    return s_clockElapsed != nullptr ? s_clockElapsed() : 0;
}

void EngineFrameTimer::Reset() const {
    if (s_clockReset != nullptr) {
        s_clockReset();
    }
}

// The frame clock is not touched here: it is whatever the layer above
// installs (EngineSetFrameClock), and the engine is built before main runs.
Engine::Engine() : keyPlayer(new KeyPlayer()), draw(MakeDrawContext(GlTableOfSystem())) {}

// Scenes and events are deliberately left alone (the shell releases the
// scenes, the pools go back at exit); only the engine's own helpers go.
Engine::~Engine() {
    delete keyPlayer;
}

void Engine::ForgetShow() {
    sceneCount = 0;
    activeCount = 0;
    inactiveCount = 0;
    time = 0.0f;
    finished = 0;
    clearMask = 0x4000;
    effectMode = kEffectNone;
    activeHead = nullptr;
    inactiveHead = nullptr;
    activeTail = nullptr;
    inactiveTail = nullptr;
    currentScene = nullptr;
    runningEffects = nullptr;
    pendingEvents = nullptr;
    overlayAlpha = kOverlayNone;
    overlayTexture = 0;
    draw = MakeDrawContext(draw.gl);
}

Scene* Engine::LoadScene(const char* fileName, const int loadTextures) {
    Scene* scene = new Scene();
    try {
        Load3ds(fileName, scene);
        if (loadTextures != 0) {
            LoadSceneTextures(scene);
        }
    } catch (...) {
        // The run ends with the loader's message; do not leave a half-built
        // scene that no list and no handle knows about.
        delete scene;
        throw;
    }
    keyPlayer->PrepareTracks(scene);
    PushFront(inactiveHead, inactiveTail, scene);
    sceneCount += 1;
    inactiveCount += 1;
    return scene;
}

void LoadSceneTextures(Scene* scene) {
    if (scene == nullptr || scene->materials == nullptr) {
        return;
    }
    for (int32_t i = 0; i < scene->materialCount; ++i) {
        Material* material = scene->materials[i];
        if (material == nullptr || material->mapFile == nullptr) {
            continue;
        }
        material->texture = LoadTexture(material->mapFile, true);
        if (material->texture == 0) {
            throw kMsgNoTexture;
        }
    }
}

void Engine::SetSceneViewport(Scene* scene, const int32_t left, const int32_t top, const int32_t width,
                              const int32_t height, const uint32_t priority) {
    if (scene == nullptr) {
        return;
    }
    const int32_t w = s_screenWidth;
    const int32_t h = s_screenHeight;
    // GL counts y from the bottom of the screen, the script from the top.
    const int64_t bottom = 1000 - static_cast<int64_t>(top) - static_cast<int64_t>(height);
    const int32_t bottomClamped = static_cast<int32_t>(
        bottom > std::numeric_limits<int32_t>::max()   ? std::numeric_limits<int32_t>::max()
        : bottom < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min()
                                                       : bottom);
    scene->viewX = PerMille(left, w);
    scene->viewY = PerMille(bottomClamped, h);
    scene->viewWidth = PerMille(width, w);
    scene->viewHeight = PerMille(height, h);
    scene->priority = priority;
}

int32_t Engine::ActivateScene(Scene* scene) {
    if (scene == nullptr || !InList(inactiveHead, scene)) {
        return activeCount;
    }
    Unlink(inactiveHead, inactiveTail, scene);
    if (activeHead == nullptr) {
        activeHead = scene;
        activeTail = scene;
    } else if (scene->priority > activeHead->priority) {
        PushFront(activeHead, activeTail, scene);
    } else {
        // Step past every scene of higher priority; among equal priorities the
        // newcomer goes first, but never before the head.
        Scene* after = activeHead;
        while (after->next != nullptr && scene->priority < after->next->priority) {
            after = after->next;
        }
        scene->prev = after;
        scene->next = after->next;
        if (after->next != nullptr) {
            after->next->prev = scene;
        } else {
            activeTail = scene;
        }
        after->next = scene;
    }
    activeCount += 1;
    inactiveCount -= 1;
    return activeCount;
}

int32_t Engine::DeactivateScene(Scene* scene) {
    if (scene == nullptr || !InList(activeHead, scene)) {
        return activeCount;
    }
    Unlink(activeHead, activeTail, scene);
    PushFront(inactiveHead, inactiveTail, scene);
    inactiveCount += 1;
    activeCount -= 1;
    return activeCount;
}

int Engine::PlaySong(SoundSong* song) {
    return FMUSIC_PlaySong(song);
}

int Engine::StopSong(SoundSong* song) {
    return FMUSIC_StopSong(song);
}

int Engine::RenderFrame() {
    UpdateTimeline();
    currentScene = activeHead;

    // A sky box covers the whole picture, so its colour need not be cleared.
    if (activeHead != nullptr && activeHead->skyBox != nullptr) {
        draw.gl.Clear(GL_DEPTH_BUFFER_BIT);
    } else {
        draw.gl.Clear(static_cast<GLbitfield>(clearMask) | GL_DEPTH_BUFFER_BIT);
    }

    const uint32_t ms = frameTimer.ElapsedMs();
    const float dt = static_cast<float>(static_cast<double>(ms) * kFramesPerMs);
    time += dt;
    frameTimer.Reset();

    const SceneDrawer drawScene = s_drawer != nullptr ? s_drawer : DefaultDrawer;
    const bool trails = effectMode == kEffectTrails || effectMode == kEffectTrails2;
    int32_t drawn = 0;
    // The count bounds the walk as the list does; either ends it.
    for (Scene* scene = activeHead; scene != nullptr && drawn < activeCount; scene = scene->next) {
        currentScene = scene;
        scene->time += dt;
        scene->dt = dt;
        keyPlayer->EvaluateTracks(scene, scene->time);
        DrawViewport(&draw, scene->viewX, scene->viewY, scene->viewWidth, scene->viewHeight);

        const float opacity = scene->opacity;
        if (trails) {
            scene->opacity = kTrailsOpacity;
        }
        const bool blended = scene->opacity > 0.0f && scene->opacity < 1.0f;
        if (blended) {
            draw.gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            draw.gl.Enable(GL_BLEND);
        }
        // A scene whose motion has run out stays active but is not drawn.
        if (static_cast<float>(scene->frameCount) > scene->time) {
            drawScene(&draw, scene);
        }
        if (blended) {
            draw.gl.Disable(GL_BLEND);
        }
        if (trails) {
            scene->opacity = opacity;
        }

        drawn += 1;
        // Each later scene is drawn over the earlier ones.
        if (scene->next != nullptr && drawn < activeCount) {
            draw.gl.Clear(GL_DEPTH_BUFFER_BIT);
        }
    }

    if (effectMode == kEffectFlash) {
        DrawFlashOverlay();
    } else if (effectMode == kEffectNoise) {
        DrawNoiseOverlay();
    }
    return finished;
}

// The overlays draw in clip space: identity projection over the whole screen.
// DrawProjection leaves the modelview current, and it is the identity.
void Engine::BeginOverlay() {
    DrawViewport(&draw, 0, 0, s_screenWidth, s_screenHeight);
    DrawProjection(&draw, nullptr);
    draw.gl.Disable(GL_DEPTH_TEST);
    draw.gl.Enable(GL_BLEND);
}

void Engine::DrawFlashOverlay() {
    const GlTable& gl = draw.gl;
    BeginOverlay();
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE);
    gl.Begin(GL_TRIANGLE_STRIP);
    for (const auto& corner : kStripCorners) {
        const float position[3] = {corner[0], corner[1], 0.0f};
        gl.Color4f(1.0f, 1.0f, 1.0f, overlayAlpha);
        gl.Vertex3fv(position);
    }
    gl.End();
    gl.Disable(GL_BLEND);
    gl.Enable(GL_DEPTH_TEST);
}

void Engine::DrawNoiseOverlay() {
    const GlTable& gl = draw.gl;
    const int r = std::rand() % 4;
    BeginOverlay();
    gl.BlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    gl.Enable(GL_TEXTURE_2D);
    gl.BindTexture(GL_TEXTURE_2D, overlayTexture);
    gl.Begin(GL_TRIANGLE_STRIP);
    for (int k = 0; k < 4; ++k) {
        const float uv[2] = {kNoiseU[r + k], kNoiseV[r + k]};
        const float position[3] = {kStripCorners[k][0], kStripCorners[k][1], 0.0f};
        gl.Color4f(1.0f, 1.0f, 1.0f, overlayAlpha);
        gl.TexCoord2fv(uv);
        gl.Vertex3fv(position);
    }
    gl.End();
    gl.Disable(GL_TEXTURE_2D);
    gl.Disable(GL_BLEND);
    gl.Enable(GL_DEPTH_TEST);
}

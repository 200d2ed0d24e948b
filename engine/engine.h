// Engine and timeline: the one object that owns the demo's scenes and plays
// them.
//
// - Scenes are loaded through the 3DS reader, their material textures through
//   the texture manager, and kept in two doubly
//   linked lists, active and inactive. The active list is ordered by the
//   scene's priority, highest first; the highest is drawn first, the lowest
//   last and on top. The engine never frees a scene: the shell destroys them
//   at the end.
// - The clock counts motion frames (25 a second) as floats. It is measured
//   once per displayed frame, in whole milliseconds, through a frame-clock
//   seam that the layer above sets (the shell installs its frame timer, a
//   fixed-step mode or a test its own), and the same step drives the timeline
//   and every active scene.
// - The screen size the viewports and overlays are fractions of arrives the
//   same way: the shell sets it once the window exists.
// - The timeline is a time-ordered list of events taken from the memory
//   pools. An event fires once, when the clock has passed its time; instant
//   events are given back to the pools at once, running ones (fades, flash,
//   noise) are kept in a second list until their end time and given back then.
//
// Everything runs on the main thread, inside the main loop, with the GL
// context current.
#pragma once

#include <cassert> // parameter indices
#include <cstdint> // int32_t, uint32_t
#include <cstring> // memcpy: a parameter's bits as a float (the browser's C++ library has no bit_cast)

#include "scene/draw.h" // DrawContext, the engine's drawing state

class KeyPlayer;
struct Scene;
struct MeshObject;
struct SoundSong;

// Event types; the values are fixed.
constexpr int32_t EvActivateScene = 0x601;   // target Scene
constexpr int32_t EvDeactivateScene = 0x602; // target Scene
constexpr int32_t EvPlaySong = 0x603;        // target song
constexpr int32_t EvStopSong = 0x604;        // target song
constexpr int32_t EvMoveViewport = 0x605; // running; target Scene; p4..p7 final x, y, width, height (floats)
constexpr int32_t EvFadeOpacity = 0x606;  // running; target Scene; p1 final opacity (float)
constexpr int32_t EvFadeVolume = 0x607;   // running; target song; p1 final master volume (int)
constexpr int32_t EvTrailsOn = 0x608;     // clear nothing, effect mode 1
constexpr int32_t EvEffectsOff = 0x609;   // clear colour again, effect mode 0
constexpr int32_t EvTrailsOn2 = 0x60A;    // as EvTrailsOn with effect mode 2
constexpr int32_t EvEffectsOff2 = 0x60B;  // as EvEffectsOff
constexpr int32_t EvFlash = 0x60C;        // running; full-screen white flash
constexpr int32_t EvFogOn = 0x60D; // p0..p3 colour, p4 GL fog mode (float), p5 density, p6 start, p7 end
constexpr int32_t EvFogOff = 0x60E;
constexpr int32_t EvSetGroupTexture = 0x60F; // target MeshObject; p0 group index (int), p1 GL texture name
constexpr int32_t EvParkObject = 0x610;      // target Scene; the MeshObject in `object`
constexpr int32_t EvNoise = 0x611;           // running; p0..p3 four GL texture names
constexpr int32_t EvFinish = 0x666;          // RenderFrame returns 1 from this frame on

// Values of Engine::effectMode.
constexpr int32_t kEffectNone = 0;
constexpr int32_t kEffectTrails = 1;
constexpr int32_t kEffectTrails2 = 2;
constexpr int32_t kEffectFlash = 3;
constexpr int32_t kEffectNoise = 4;

constexpr float kOverlayNone = -1.0f;               // overlayAlpha when no overlay runs
constexpr uint32_t kOverlayNoTexture = 0xFFFFFFFFu; // overlayTexture after a noise effect
constexpr double kFramesPerMs = 0.025;              // 25 motion frames a second
constexpr int32_t kTimelineParams = 8;

// Diagnostic written every frame for a running event of an unknown type.
extern const char* const kUnknownEffectMessage;

// One timed event. Pool record (small area); made by NewTimelineEvent or an
// adder, owned by the engine once given to AddEvent, released to the pools
// when it is done.
struct TimelineEvent {
    float time;                       // firing time in engine frames; start of a running effect
    int32_t type;                     // one of the Ev values; anything else only reports itself
    void* target;                     // Scene, MeshObject or song, by type
    float endTime;                    // end of a running effect
    uint32_t params[kTimelineParams]; // p0..p7, 32 bits each: floats or ints by type
    MeshObject* object;               // EvParkObject's object (pointer-sized, so not a 32-bit parameter)
    TimelineEvent* prev;              // link in whichever list holds the event
    TimelineEvent* next;

    // Parameter k as a float / an int / unsigned. k must be 0..7.
    float ParamFloat(const int32_t k) const {
        const uint32_t bits = Param(k);
        float f = 0.0f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    int32_t ParamInt(const int32_t k) const { return static_cast<int32_t>(Param(k)); }
    uint32_t ParamUint(const int32_t k) const { return Param(k); }
    void SetParamFloat(const int32_t k, const float v) { std::memcpy(&Param(k), &v, sizeof v); }
    void SetParamInt(const int32_t k, const int32_t v) { Param(k) = static_cast<uint32_t>(v); }
    void SetParamUint(const int32_t k, const uint32_t v) { Param(k) = v; }
    // The raw slot of parameter k.
    uint32_t& Param(const int32_t k) {
        assert(k >= 0 && k < kTimelineParams);
        return params[k];
    }
    uint32_t Param(const int32_t k) const {
        assert(k >= 0 && k < kTimelineParams);
        return params[k];
    }
};

// A zero-filled event of `type` at `time` from the pools; null when the pools
// are exhausted (the pools have written their message). Released with
// ReleaseTimelineEvent, or owned by the engine after AddEvent.
TimelineEvent* NewTimelineEvent(int32_t type, float time);
// Gives an event back to the pools; null is ignored.
void ReleaseTimelineEvent(TimelineEvent* event);

// Milliseconds since the last reset of the frame clock.
using FrameClockElapsed = uint32_t (*)();
// Restarts the frame clock.
using FrameClockReset = void (*)();
// Loads the texture named by each material's map file (Material::mapFile),
// in material order, into Material::texture. A texture that fails to load
// throws "Caricamento materiale fallito, texture non trovata"; the materials
// before it keep theirs. Null is ignored.
void LoadSceneTextures(Scene* scene);

// Installs the frame clock RenderFrame measures with. Passing null for either
// removes it; with no clock installed no time passes (0 ms a frame).
void EngineSetFrameClock(FrameClockElapsed elapsed, FrameClockReset reset);

// Sets the screen (or window client) size in pixels that scene viewports are
// thousandths of and that the overlays cover; 0 x 0 until set.
void EngineSetScreenSize(int32_t width, int32_t height);

// Draws one scene into the current viewport with the engine's context;
// RenderScene by default.
using SceneDrawer = void (*)(DrawContext* ctx, Scene* scene);
// Installs what RenderFrame calls to draw a scene; null restores RenderScene.
void EngineSetSceneDrawer(SceneDrawer drawer);

// The frame timer the engine owns as a member; it goes through the frame clock.
struct EngineFrameTimer {
    // Milliseconds since the last Reset.
    uint32_t ElapsedMs() const;
    // Restarts the frame clock.
    void Reset() const;
};

class Engine {
  public:
    // Empty lists, clock 0, colour clearing on, no effect; makes the keyframe
    // player; draws through the desktop GL table. The texture manager's
    // uploads go through g_engine's table (set before main runs).
    Engine();
    // Releases the keyframe player; scenes and events are
    // left alone (the shell destroys the scenes, the pools go back at exit).
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Loads archive entry `fileName` of g_currentPak into a new scene, with
    // its material textures when `loadTextures` is set (LoadSceneTextures),
    // sets up its tracks and puts it at the head of the inactive list. A
    // missing entry or another fatal load error throws the loader's message
    // (the partial scene is deleted first). The scene belongs to the caller
    // for release.
    Scene* LoadScene(const char* fileName, int loadTextures);

    // Viewport of `scene` in thousandths of the screen size, `top`
    // measured from the top of the screen; sets its priority. Null is ignored.
    void SetSceneViewport(Scene* scene, int32_t left, int32_t top, int32_t width, int32_t height,
                          uint32_t priority);

    // Moves an inactive scene into the active list by priority (among equal
    // priorities the newest first, never before the head). Returns the active
    // count; a null scene or one not in the inactive list changes nothing.
    int32_t ActivateScene(Scene* scene);
    // Moves an active scene to the head of the inactive list. Returns the
    // active count; a null scene or one not in the active list changes nothing.
    int32_t DeactivateScene(Scene* scene);

    // FMUSIC_PlaySong / FMUSIC_StopSong on `song`; their result.
    int PlaySong(SoundSong* song);
    int StopSong(SoundSong* song);

    // One displayed frame: timeline, clear, clock, every active scene in
    // priority order, overlays. Returns `finished`.
    int RenderFrame();

    // Inserts `event` into pendingEvents by time (an equal time goes before
    // the others, never before the head). The engine owns it from now on.
    // Null is ignored.
    void AddEvent(TimelineEvent* event);
    // New EvActivateScene / EvDeactivateScene event for `scene` at `time`.
    // Return the event, or null when the pools are exhausted (nothing added).
    TimelineEvent* ActivateAt(Scene* scene, float time);
    TimelineEvent* DeactivateAt(Scene* scene, float time);
    // New EvFadeOpacity of `scene` from `startTime` to `endTime` towards
    // `opacity`. Returns the event or null.
    TimelineEvent* FadeOpacity(Scene* scene, float startTime, float endTime, float opacity);
    // New EvFinish at `time`. Returns the event or null.
    TimelineEvent* FinishAt(float time);

    // Fires the events whose time the clock has passed and advances the
    // running effects. Called by RenderFrame at the start of a frame.
    void UpdateTimeline();

    // Gives every pending and running event back to the pools (tools and
    // tests; the program never calls it).
    void ReleaseTimeline();

    // Forgets the show once its scenes are destroyed and before the pools are
    // laid out again: empty scene lists, no events (their memory is the
    // pools'), clock, effects and overlay as at start, a fresh drawing state
    // over the same GL table. Another show may then be loaded.
    void ForgetShow();

    int32_t sceneCount = 0;
    int32_t activeCount = 0;
    int32_t inactiveCount = 0;
    float time = 0.0f;          // engine clock, frames
    int32_t finished = 0;       // 1 once EvFinish fired
    int32_t clearMask = 0x4000; // GL_COLOR_BUFFER_BIT, or 0 while trails are on
    int32_t effectMode = kEffectNone;
    Scene* activeHead = nullptr;   // highest priority
    Scene* inactiveHead = nullptr; // most recently inserted
    Scene* activeTail = nullptr;
    Scene* inactiveTail = nullptr;
    KeyPlayer* keyPlayer = nullptr;
    EngineFrameTimer frameTimer;
    Scene* currentScene = nullptr; // scene being processed by RenderFrame
    TimelineEvent* runningEffects = nullptr;
    TimelineEvent* pendingEvents = nullptr;
    float overlayAlpha = kOverlayNone;
    uint32_t overlayTexture = 0;
    // The drawing state every frame passes down: the GL table (tests may put
    // their own entries in), counters, viewport and projection.
    DrawContext draw;

  private:
    void Fire(TimelineEvent* event);
    void Advance(TimelineEvent* event, float now, float f);
    void DrawFlashOverlay();
    void DrawNoiseOverlay();
    void BeginOverlay();
};

// The program's engine, constructed before main runs; the texture manager
// uploads through its table (TextureUseGl(&g_engine.draw.gl)).
extern Engine g_engine;

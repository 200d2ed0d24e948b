// The timeline: timed events, their firing and the running effects.
#include "engine/engine.h"

#include "memory/memory_pool.h"   // PoolAlloc, PoolFree: events live in the small area
#include "platform/platform.h"    // PlatformDebugOutput
#include "platform/sound/sound.h" // FMUSIC_GetMasterVolume, FMUSIC_SetMasterVolume
#include "scene/scene.h"          // Scene, MeshObject

#include <cmath>
#include <cstdint>
#include <limits>
#include <new>

const char* const kUnknownEffectMessage = "Tipo di effetto specificato non supportato dal motore\n";

static_assert(sizeof(TimelineEvent) <= kPoolSmallLimit, "events are meant for the pools' small area");

namespace {

// The flash rises over the first 1 / 2.5 of its interval and falls over the last.
constexpr float kFlashSlope = 2.5f;

// Conversion toward zero that stays defined for any float: NaN gives 0 and
// values beyond the int32 range stop at its ends.
int32_t Truncate(const double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

bool IsRunningType(const int32_t type) {
    switch (type) {
    case EvActivateScene:
    case EvDeactivateScene:
    case EvPlaySong:
    case EvStopSong:
    case EvTrailsOn:
    case EvEffectsOff:
    case EvTrailsOn2:
    case EvEffectsOff2:
    case EvFogOn:
    case EvFogOff:
    case EvSetGroupTexture:
    case EvParkObject:
    case EvFinish:
        return false;
    default:
        // Fades, flash, noise and every unknown type run until their end time.
        return true;
    }
}

// The fog hint is left at its default, GL_DONT_CARE.
void ApplyFog(const GlTable& gl, const TimelineEvent& e) {
    const float colour[4] = {e.ParamFloat(0), e.ParamFloat(1), e.ParamFloat(2), e.ParamFloat(3)};
    gl.Enable(GL_FOG);
    gl.Fogfv(GL_FOG_COLOR, colour);
    gl.Fogi(GL_FOG_MODE, Truncate(e.ParamFloat(4)));
    gl.Fogf(GL_FOG_DENSITY, e.ParamFloat(5));
    gl.Fogf(GL_FOG_START, e.ParamFloat(6));
    gl.Fogf(GL_FOG_END, e.ParamFloat(7));
}

void ParkObject(const TimelineEvent& e) {
    Scene* scene = static_cast<Scene*>(e.target);
    if (scene == nullptr || e.object == nullptr) {
        return;
    }
    // Only an object taken out of the draw list is parked: pushing one that is
    // already parked would link the parked list into a ring.
    if (scene->TakeOutOfDrawList(e.object) != nullptr) {
        scene->Park(e.object);
    }
}

} // namespace

TimelineEvent* NewTimelineEvent(const int32_t type, const float time) {
    void* block = PoolAlloc(sizeof(TimelineEvent));
    if (block == nullptr) {
        return nullptr;
    }
    TimelineEvent* event = new (block) TimelineEvent{};
    event->type = type;
    event->time = time;
    return event;
}

void ReleaseTimelineEvent(TimelineEvent* event) {
    if (event != nullptr) {
        PoolFree(event);
    }
}

void Engine::AddEvent(TimelineEvent* event) {
    if (event == nullptr) {
        return;
    }
    event->prev = nullptr;
    event->next = nullptr;
    if (pendingEvents == nullptr) {
        pendingEvents = event;
        return;
    }
    if (event->time < pendingEvents->time) {
        event->next = pendingEvents;
        pendingEvents->prev = event;
        pendingEvents = event;
        return;
    }
    // An event goes in front of others of the same time, but never before the head.
    TimelineEvent* after = pendingEvents;
    while (after->next != nullptr && event->time > after->next->time) {
        after = after->next;
    }
    event->prev = after;
    event->next = after->next;
    if (after->next != nullptr) {
        after->next->prev = event;
    }
    after->next = event;
}

TimelineEvent* Engine::ActivateAt(Scene* scene, const float at) {
    TimelineEvent* event = NewTimelineEvent(EvActivateScene, at);
    if (event != nullptr) {
        event->target = scene;
        AddEvent(event);
    }
    return event;
}

TimelineEvent* Engine::DeactivateAt(Scene* scene, const float at) {
    TimelineEvent* event = NewTimelineEvent(EvDeactivateScene, at);
    if (event != nullptr) {
        event->target = scene;
        AddEvent(event);
    }
    return event;
}

TimelineEvent* Engine::FadeOpacity(Scene* scene, const float startTime, const float endTime,
                                   const float opacity) {
    TimelineEvent* event = NewTimelineEvent(EvFadeOpacity, startTime);
    if (event != nullptr) {
        event->target = scene;
        event->endTime = endTime;
        event->SetParamFloat(1, opacity);
        AddEvent(event);
    }
    return event;
}

TimelineEvent* Engine::FinishAt(const float at) {
    TimelineEvent* event = NewTimelineEvent(EvFinish, at);
    if (event != nullptr) {
        AddEvent(event);
    }
    return event;
}

void Engine::UpdateTimeline() {
    const float now = time;

    // Strictly earlier: an event at the clock's current value waits a frame.
    while (pendingEvents != nullptr && pendingEvents->time < now) {
        TimelineEvent* event = pendingEvents;
        pendingEvents = event->next;
        if (pendingEvents != nullptr) {
            pendingEvents->prev = nullptr;
        }
        event->prev = nullptr;
        event->next = nullptr;
        Fire(event);
    }

    TimelineEvent* event = runningEffects;
    while (event != nullptr) {
        TimelineEvent* next = event->next;
        const float f = event->endTime > now ? (now - event->time) / (event->endTime - event->time) : 1.0f;
        Advance(event, now, f);
        if (f == 1.0f) {
            if (event->prev != nullptr) {
                event->prev->next = event->next;
            } else {
                runningEffects = event->next;
            }
            if (event->next != nullptr) {
                event->next->prev = event->prev;
            }
            ReleaseTimelineEvent(event);
        }
        event = next;
    }
}

void Engine::Fire(TimelineEvent* event) {
    Scene* scene = static_cast<Scene*>(event->target);
    SoundSong* song = static_cast<SoundSong*>(event->target);
    switch (event->type) {
    case EvActivateScene:
        ActivateScene(scene);
        break;
    case EvDeactivateScene:
        DeactivateScene(scene);
        break;
    case EvPlaySong:
        PlaySong(song);
        break;
    case EvStopSong:
        StopSong(song);
        break;
    case EvMoveViewport:
        if (scene != nullptr) {
            event->SetParamFloat(0, static_cast<float>(scene->viewX));
            event->SetParamFloat(1, static_cast<float>(scene->viewY));
            event->SetParamFloat(2, static_cast<float>(scene->viewWidth));
            event->SetParamFloat(3, static_cast<float>(scene->viewHeight));
        }
        break;
    case EvFadeOpacity:
        if (scene != nullptr) {
            event->SetParamFloat(0, scene->opacity);
        }
        break;
    case EvFadeVolume:
        event->SetParamInt(0, FMUSIC_GetMasterVolume(song));
        break;
    case EvTrailsOn:
    case EvTrailsOn2:
        clearMask = 0;
        effectMode = event->type == EvTrailsOn ? kEffectTrails : kEffectTrails2;
        break;
    case EvEffectsOff:
    case EvEffectsOff2:
        clearMask = GL_COLOR_BUFFER_BIT;
        effectMode = kEffectNone;
        break;
    case EvFlash:
        effectMode = kEffectFlash;
        break;
    case EvFogOn:
        ApplyFog(draw.gl, *event);
        break;
    case EvFogOff:
        draw.gl.Disable(GL_FOG);
        break;
    case EvSetGroupTexture:
        if (event->target != nullptr) {
            static_cast<MeshObject*>(event->target)->SetGroupTexture(event->ParamInt(0), event->ParamUint(1));
        }
        break;
    case EvParkObject:
        ParkObject(*event);
        break;
    case EvNoise:
        effectMode = kEffectNoise;
        break;
    case EvFinish:
        finished = 1;
        break;
    default:
        break;
    }

    if (!IsRunningType(event->type)) {
        ReleaseTimelineEvent(event);
        return;
    }
    event->prev = nullptr;
    event->next = runningEffects;
    if (runningEffects != nullptr) {
        runningEffects->prev = event;
    }
    runningEffects = event;
}

void Engine::Advance(TimelineEvent* event, const float now, const float f) {
    Scene* scene = static_cast<Scene*>(event->target);
    switch (event->type) {
    case EvMoveViewport:
        if (scene != nullptr) {
            int32_t* fields[4] = {&scene->viewX, &scene->viewY, &scene->viewWidth, &scene->viewHeight};
            for (int32_t k = 0; k < 4; ++k) {
                const float start = event->ParamFloat(k);
                const float final = event->ParamFloat(k + 4);
                *fields[k] = Truncate(start + (final - start) * f);
            }
        }
        break;
    case EvFadeOpacity:
        if (scene != nullptr) {
            const float start = event->ParamFloat(0);
            scene->opacity = start + (event->ParamFloat(1) - start) * f;
        }
        break;
    case EvFadeVolume: {
        // The difference in integers (64 bits, so no volume can overflow it),
        // the product in floating point.
        const int64_t start = event->ParamInt(0);
        const int64_t span = static_cast<int64_t>(event->ParamInt(1)) - start;
        const float volume = static_cast<float>(start) + static_cast<float>(span) * f;
        FMUSIC_SetMasterVolume(static_cast<SoundSong*>(event->target), Truncate(volume));
        break;
    }
    case EvFlash:
        if (f != 1.0f) {
            const float a = f * kFlashSlope;
            overlayAlpha = a <= 1.0f ? a : kFlashSlope - a;
            if (overlayAlpha > 1.0f) {
                overlayAlpha = 1.0f;
            }
        } else {
            effectMode = kEffectNone;
            overlayAlpha = kOverlayNone;
        }
        break;
    case EvNoise:
        if (f != 1.0f) {
            // The texture changes with every whole frame of the clock; now is
            // past the start, so the remainder is 0..3.
            // Truncate keeps an infinite start time (NaN remainder) defined.
            const double elapsed = std::trunc(static_cast<double>(now) - static_cast<double>(event->time));
            const int32_t k = Truncate(std::fmod(elapsed, 4.0));
            overlayTexture = event->ParamUint(k >= 0 && k < 4 ? k : 0);
            overlayAlpha = static_cast<float>(std::sin(static_cast<double>(event->time * now)));
        } else {
            effectMode = kEffectNone;
            overlayAlpha = kOverlayNone;
            overlayTexture = kOverlayNoTexture;
        }
        break;
    default:
        PlatformDebugOutput(kUnknownEffectMessage);
        break;
    }
}

void Engine::ReleaseTimeline() {
    for (TimelineEvent** list : {&pendingEvents, &runningEffects}) {
        TimelineEvent* event = *list;
        while (event != nullptr) {
            TimelineEvent* next = event->next;
            ReleaseTimelineEvent(event);
            event = next;
        }
        *list = nullptr;
    }
}

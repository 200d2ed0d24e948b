// The audio device on SDL2: SDL's audio thread calls the mixer with SDL's
// device lock held.
#include "platform/sound/sound.h"
#include "platform/sound/sound_output.h"

#include <SDL.h>

#include <cstdint> // int16_t

static SDL_AudioDeviceID s_device = 0;
static bool s_sdlAudioStarted = false;

static constexpr int kOutputChannels = 2;
static constexpr int kDeviceFrames = 1024;

static void MixCallback(void* /*user*/, Uint8* stream, const int length) {
    const int frames = length / static_cast<int>(sizeof(int16_t) * kOutputChannels);
    SoundMix(reinterpret_cast<int16_t*>(stream), frames);
}

bool SoundOutputOpen(const int rate) {
    if (!s_sdlAudioStarted) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            return false;
        }
        s_sdlAudioStarted = true;
    }
    SDL_AudioSpec wanted = {};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = kOutputChannels;
    wanted.samples = kDeviceFrames;
    wanted.callback = MixCallback;
    SDL_AudioSpec obtained = {};
    // The mixer writes exactly this format; SDL converts for the hardware.
    s_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (s_device == 0) {
        return false;
    }
    SDL_PauseAudioDevice(s_device, 0);
    return true;
}

void SoundOutputClose() {
    if (s_device != 0) {
        SDL_CloseAudioDevice(s_device);
        s_device = 0;
    }
    if (s_sdlAudioStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        s_sdlAudioStarted = false;
    }
}

void SoundOutputLock() {
    if (s_device != 0) {
        SDL_LockAudioDevice(s_device);
    }
}

void SoundOutputUnlock() {
    if (s_device != 0) {
        SDL_UnlockAudioDevice(s_device);
    }
}

void SoundOutputPause(const bool paused) {
    if (s_device != 0) {
        SDL_PauseAudioDevice(s_device, paused ? 1 : 0);
    }
}

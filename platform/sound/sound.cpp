// Sound library on SDL2 audio: device, callbacks, songs and the mixer.
#include "platform/sound/sound.h"

#include <SDL.h>

#include <cstddef> // ptrdiff_t
#include <cstdint> // int16_t, INT16_MAX
#include <cstdio>  // FILE, fopen for reading from disk
#include <cstring> // memcpy
#include <vector>

struct SoundSong {
    int16_t* samples;    // interleaved for the output's channel count; SDL_malloc'd
    uint32_t frameCount; // sample frames in `samples`
    uint32_t position;   // next frame the mixer plays
    int volume;          // 0..kSoundMaxVolume
    bool playing;
    SoundSong* next; // list of loaded songs, for the mixer
};

// Largest block SoundLoadSong asks the read callback for.
static constexpr int kLoadBlockSize = 4096;
// Files larger than this are refused rather than read into memory.
static constexpr size_t kMaxSongFileBytes = 256u * 1024u * 1024u;
// Output format used for conversion while no device is open.
static constexpr int kDefaultRate = 44100;
static constexpr int kOutputChannels = 2;

static float s_reportedVersion = kSoundLibraryVersion;
static int s_lastError = kSoundErrNone;
static SoundOpenCallback s_open = nullptr;
static SoundCloseCallback s_close = nullptr;
static SoundReadCallback s_read = nullptr;
static SoundSeekCallback s_seek = nullptr;
static SoundTellCallback s_tell = nullptr;
static SDL_AudioDeviceID s_device = 0;
static bool s_sdlAudioStarted = false;
static int s_outputRate = kDefaultRate;
static int s_maxPlaying = 0;
static SoundSong* s_songs = nullptr;

static int Fail(const int code) {
    s_lastError = code;
    return 0;
}

// Holds the device lock (when a device is open) for one scope, so the mixer
// never sees a half-made change.
class MixerLock {
  public:
    MixerLock() {
        if (s_device != 0) {
            SDL_LockAudioDevice(s_device);
        }
    }
    ~MixerLock() {
        if (s_device != 0) {
            SDL_UnlockAudioDevice(s_device);
        }
    }
    MixerLock(const MixerLock&) = delete;
    MixerLock& operator=(const MixerLock&) = delete;
};

static int16_t ClampSample(const int32_t value) {
    if (value > INT16_MAX) {
        return INT16_MAX;
    }
    if (value < INT16_MIN) {
        return INT16_MIN;
    }
    return static_cast<int16_t>(value);
}

void SoundMix(int16_t* stream, const int frames) {
    if (stream == nullptr || frames <= 0) {
        return;
    }
    const size_t values = static_cast<size_t>(frames) * kOutputChannels;
    SDL_memset(stream, 0, values * sizeof(int16_t));
    for (SoundSong* song = s_songs; song != nullptr; song = song->next) {
        if (!song->playing || song->frameCount == 0) {
            continue;
        }
        for (size_t f = 0; f < static_cast<size_t>(frames); ++f) {
            const int16_t* in = song->samples + static_cast<size_t>(song->position) * kOutputChannels;
            for (int c = 0; c < kOutputChannels; ++c) {
                int16_t& out = stream[f * kOutputChannels + static_cast<size_t>(c)];
                out = ClampSample(out + in[c] * song->volume / kSoundMaxVolume);
            }
            // Songs loop, like the tracker music they stand in for.
            song->position = (song->position + 1) % song->frameCount;
        }
    }
}

// SDL's audio thread, with the device lock held.
static void MixCallback(void* /*user*/, Uint8* stream, const int length) {
    const int frames = length / static_cast<int>(sizeof(int16_t) * kOutputChannels);
    SoundMix(reinterpret_cast<int16_t*>(stream), frames);
}

void SoundPauseOutput(const bool paused) {
    if (s_device != 0) {
        SDL_PauseAudioDevice(s_device, paused ? 1 : 0);
    }
}

float FSOUND_GetVersion() {
    return s_reportedVersion;
}

int FSOUND_File_SetCallbacks(SoundOpenCallback open, SoundCloseCallback close, SoundReadCallback read,
                             SoundSeekCallback seek, SoundTellCallback tell) {
    const bool complete =
        open != nullptr && close != nullptr && read != nullptr && seek != nullptr && tell != nullptr;
    s_open = complete ? open : nullptr;
    s_close = complete ? close : nullptr;
    s_read = complete ? read : nullptr;
    s_seek = complete ? seek : nullptr;
    s_tell = complete ? tell : nullptr;
    return 1;
}

int FSOUND_Init(const int mixRate, const int channels, unsigned int /*flags*/) {
    if (s_device != 0) {
        return Fail(kSoundErrAlreadyInitialised);
    }
    if (mixRate < 4000 || mixRate > 192000 || channels < 1 || channels > 256) {
        return Fail(kSoundErrInvalidParam);
    }
    if (!s_sdlAudioStarted) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            return Fail(kSoundErrInit);
        }
        s_sdlAudioStarted = true;
    }
    SDL_AudioSpec wanted = {};
    wanted.freq = mixRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = kOutputChannels;
    wanted.samples = 1024;
    wanted.callback = MixCallback;
    SDL_AudioSpec obtained = {};
    // The mixer writes exactly this format; SDL converts for the hardware.
    s_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (s_device == 0) {
        return Fail(kSoundErrInit);
    }
    s_outputRate = mixRate;
    s_maxPlaying = channels;
    SDL_PauseAudioDevice(s_device, 0);
    return 1;
}

int FSOUND_GetError() {
    return s_lastError;
}

int FMUSIC_PlaySong(SoundSong* song) {
    if (song == nullptr) {
        return Fail(kSoundErrInvalidParam);
    }
    if (s_device == 0) {
        return Fail(kSoundErrUninitialised);
    }
    int playing = 0;
    for (const SoundSong* s = s_songs; s != nullptr; s = s->next) {
        playing += (s->playing && s != song) ? 1 : 0;
    }
    if (playing >= s_maxPlaying) {
        return Fail(kSoundErrInvalidParam);
    }
    MixerLock lock;
    song->position = 0;
    song->playing = true;
    return 1;
}

int FMUSIC_StopSong(SoundSong* song) {
    if (song == nullptr) {
        return Fail(kSoundErrInvalidParam);
    }
    MixerLock lock;
    song->playing = false;
    return 1;
}

int FMUSIC_GetMasterVolume(SoundSong* song) {
    if (song == nullptr) {
        Fail(kSoundErrInvalidParam);
        return -1;
    }
    return song->volume;
}

int FMUSIC_SetMasterVolume(SoundSong* song, const int volume) {
    if (song == nullptr) {
        return Fail(kSoundErrInvalidParam);
    }
    MixerLock lock;
    song->volume = volume < 0 ? 0 : (volume > kSoundMaxVolume ? kSoundMaxVolume : volume);
    return 1;
}

int FMUSIC_FreeSong(SoundSong* song) {
    if (song == nullptr) {
        return Fail(kSoundErrInvalidParam);
    }
    {
        MixerLock lock;
        for (SoundSong** link = &s_songs; *link != nullptr; link = &(*link)->next) {
            if (*link == song) {
                *link = song->next;
                break;
            }
        }
    }
    SDL_free(song->samples);
    delete song;
    return 1;
}

bool SoundIsPlaying(const SoundSong* song) {
    return song != nullptr && song->playing;
}

// Reads a whole file through the callbacks. The read position (tell) says how
// many bytes each call really delivered, whichever way the callback counts.
// When a block no longer fits the remaining bytes, the block size halves, so a
// callback that only reads whole blocks still yields the file's last bytes.
static bool ReadThroughCallbacks(const char* name, std::vector<uint8_t>* bytes) {
    const SoundFileHandle handle = s_open(name);
    if (handle == 0) {
        Fail(kSoundErrFileNotFound);
        return false;
    }
    // Entries open at their start; rewinding anyway keeps a reused handle honest.
    s_seek(handle, 0, 0);
    std::vector<uint8_t> block(kLoadBlockSize);
    int size = kLoadBlockSize;
    bool ok = true;
    while (size > 0) {
        const int before = s_tell(handle);
        const int result = s_read(block.data(), size, handle);
        const int after = s_tell(handle);
        const int got = after - before;
        if (result < 0 || got < 0 || got > size) {
            ok = false;
            break;
        }
        if (got == 0) {
            size /= 2;
            continue;
        }
        if (bytes->size() + static_cast<size_t>(got) > kMaxSongFileBytes) {
            ok = false;
            break;
        }
        bytes->insert(bytes->end(), block.begin(), block.begin() + got);
    }
    s_close(handle);
    if (!ok) {
        Fail(kSoundErrFileRead);
    }
    return ok;
}

static bool ReadFromDisk(const char* name, std::vector<uint8_t>* bytes) {
    FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        Fail(kSoundErrFileNotFound);
        return false;
    }
    std::vector<uint8_t> block(kLoadBlockSize);
    size_t got = 0;
    bool ok = true;
    while ((got = std::fread(block.data(), 1, block.size(), file)) > 0) {
        if (bytes->size() + got > kMaxSongFileBytes) {
            ok = false;
            break;
        }
        bytes->insert(bytes->end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
    }
    ok = ok && std::ferror(file) == 0;
    std::fclose(file);
    if (!ok) {
        Fail(kSoundErrFileRead);
    }
    return ok;
}

// Decodes WAVE bytes and converts them to the mixer's format. On success the
// song owns the converted samples.
static bool DecodeWave(const std::vector<uint8_t>& bytes, SoundSong* song) {
    SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    if (stream == nullptr) {
        Fail(kSoundErrMemory);
        return false;
    }
    SDL_AudioSpec spec = {};
    Uint8* wave = nullptr;
    Uint32 waveLength = 0;
    // SDL_LoadWAV_RW closes the stream (freesrc = 1) whatever happens.
    if (SDL_LoadWAV_RW(stream, 1, &spec, &wave, &waveLength) == nullptr) {
        Fail(kSoundErrFileFormat);
        return false;
    }
    SDL_AudioCVT cvt = {};
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_S16SYS, kOutputChannels,
                          s_outputRate) < 0) {
        SDL_FreeWAV(wave);
        Fail(kSoundErrFileFormat);
        return false;
    }
    cvt.len = static_cast<int>(waveLength);
    const size_t capacity =
        static_cast<size_t>(waveLength) * static_cast<size_t>(cvt.len_mult > 0 ? cvt.len_mult : 1);
    cvt.buf = static_cast<Uint8*>(SDL_malloc(capacity > 0 ? capacity : 1));
    if (cvt.buf == nullptr) {
        SDL_FreeWAV(wave);
        Fail(kSoundErrMemory);
        return false;
    }
    if (waveLength > 0) {
        std::memcpy(cvt.buf, wave, waveLength);
    }
    SDL_FreeWAV(wave);
    if (cvt.needed != 0 && SDL_ConvertAudio(&cvt) != 0) {
        SDL_free(cvt.buf);
        Fail(kSoundErrFileFormat);
        return false;
    }
    const int convertedLength = cvt.needed != 0 ? cvt.len_cvt : cvt.len;
    song->samples = reinterpret_cast<int16_t*>(cvt.buf);
    song->frameCount = static_cast<uint32_t>(convertedLength) / (sizeof(int16_t) * kOutputChannels);
    return true;
}

SoundSong* SoundLoadSong(const char* name) {
    if (name == nullptr) {
        Fail(kSoundErrInvalidParam);
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    const bool read = s_open != nullptr ? ReadThroughCallbacks(name, &bytes) : ReadFromDisk(name, &bytes);
    if (!read) {
        return nullptr;
    }
    SoundSong* song = new SoundSong{nullptr, 0, 0, kSoundMaxVolume, false, nullptr};
    if (!DecodeWave(bytes, song)) {
        delete song;
        return nullptr;
    }
    MixerLock lock;
    song->next = s_songs;
    s_songs = song;
    return song;
}

void SoundShutdown() {
    if (s_device != 0) {
        SDL_CloseAudioDevice(s_device);
        s_device = 0;
    }
    if (s_sdlAudioStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        s_sdlAudioStarted = false;
    }
    for (SoundSong* song = s_songs; song != nullptr; song = song->next) {
        song->playing = false;
    }
    s_open = nullptr;
    s_close = nullptr;
    s_read = nullptr;
    s_seek = nullptr;
    s_tell = nullptr;
    s_lastError = kSoundErrNone;
    s_outputRate = kDefaultRate;
    s_maxPlaying = 0;
}

void SoundSetReportedVersion(const float version) {
    s_reportedVersion = version;
}

// Sound library on libopenmpt: callbacks, songs and the mixer, over the
// system's audio device (sound_output.h).
#include "platform/sound/sound.h"
#include "platform/sound/sound_output.h"

#include <libopenmpt/libopenmpt.h> // module decoding and rendering

#include <cstddef> // ptrdiff_t
#include <cstdint> // int16_t, INT16_MAX
#include <cstdio>  // FILE, fopen for reading from disk
#include <cstring> // memset
#include <vector>

struct SoundSong {
    openmpt_module* module; // renders the song; owned
    int volume;             // 0..kSoundMaxVolume
    bool playing;
    SoundSong* next; // list of loaded songs, for the mixer
};

// Largest block FMUSIC_LoadSong asks the read callback for.
static constexpr int kLoadBlockSize = 4096;
// Files larger than this are refused rather than read into memory.
static constexpr size_t kMaxSongFileBytes = 256u * 1024u * 1024u;
// Output rate before FSOUND_Init sets one.
static constexpr int kDefaultRate = 44100;
static constexpr int kOutputChannels = 2;
// Frames a song renders per step of the mixer: the scratch buffer is fixed,
// so the device's thread never allocates.
static constexpr int kMixChunkFrames = 1024;

static float s_reportedVersion = kSoundLibraryVersion;
static int s_lastError = kSoundErrNone;
static SoundOpenCallback s_open = nullptr;
static SoundCloseCallback s_close = nullptr;
static SoundReadCallback s_read = nullptr;
static SoundSeekCallback s_seek = nullptr;
static SoundTellCallback s_tell = nullptr;
static bool s_deviceOpen = false;
static bool s_manualOutput = false; // asked for by SoundSetManualOutput
static bool s_initialised = false;  // FSOUND_Init succeeded (with or without a device)
static int16_t s_scratch[kMixChunkFrames * kOutputChannels];
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
    MixerLock() { SoundOutputLock(); }
    ~MixerLock() { SoundOutputUnlock(); }
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

// Adds up to `frames` frames of `song` into `stream`; false once the song
// has nothing more to play.
static bool MixSong(SoundSong* song, int16_t* stream, const int frames) {
    int done = 0;
    while (done < frames) {
        const int want = frames - done < kMixChunkFrames ? frames - done : kMixChunkFrames;
        const size_t got =
            openmpt_module_read_interleaved_stereo(song->module, s_outputRate, static_cast<size_t>(want), s_scratch);
        const size_t values = got * kOutputChannels;
        int16_t* out = stream + static_cast<size_t>(done) * kOutputChannels;
        for (size_t i = 0; i < values; ++i) {
            out[i] = ClampSample(out[i] + s_scratch[i] * song->volume / kSoundMaxVolume);
        }
        if (got < static_cast<size_t>(want)) {
            return false;
        }
        done += want;
    }
    return true;
}

void SoundMix(int16_t* stream, const int frames) {
    if (stream == nullptr || frames <= 0) {
        return;
    }
    const size_t values = static_cast<size_t>(frames) * kOutputChannels;
    std::memset(stream, 0, values * sizeof(int16_t));
    for (SoundSong* song = s_songs; song != nullptr; song = song->next) {
        if (song->playing && !MixSong(song, stream, frames)) {
            song->playing = false;
        }
    }
}

void SoundPauseOutput(const bool paused) { SoundOutputPause(paused); }

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
    if (s_initialised) {
        return Fail(kSoundErrAlreadyInitialised);
    }
    if (mixRate < 4000 || mixRate > 192000 || channels < 1 || channels > 256) {
        return Fail(kSoundErrInvalidParam);
    }
    if (s_manualOutput) {
        s_outputRate = mixRate;
        s_maxPlaying = channels;
        s_initialised = true;
        return 1;
    }
    // The rate is set first: the device may call the mixer as soon as it opens.
    s_outputRate = mixRate;
    if (!SoundOutputOpen(mixRate)) {
        s_outputRate = kDefaultRate;
        return Fail(kSoundErrInit);
    }
    s_deviceOpen = true;
    s_maxPlaying = channels;
    s_initialised = true;
    return 1;
}

int FSOUND_GetError() {
    return s_lastError;
}

int FMUSIC_PlaySong(SoundSong* song) {
    if (song == nullptr) {
        return Fail(kSoundErrInvalidParam);
    }
    if (!s_initialised) {
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
    openmpt_module_set_position_seconds(song->module, 0.0);
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
    openmpt_module_destroy(song->module);
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

SoundSong* FMUSIC_LoadSong(const char* name) {
    if (name == nullptr) {
        Fail(kSoundErrInvalidParam);
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    const bool read = s_open != nullptr ? ReadThroughCallbacks(name, &bytes) : ReadFromDisk(name, &bytes);
    if (!read) {
        return nullptr;
    }
    // libopenmpt copies what it keeps; the bytes may go once it has parsed them.
    int error = OPENMPT_ERROR_OK;
    openmpt_module* module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                                nullptr, openmpt_error_func_ignore, nullptr,
                                                                &error, nullptr, nullptr);
    if (module == nullptr) {
        Fail(error == OPENMPT_ERROR_OUT_OF_MEMORY ? kSoundErrMemory : kSoundErrFileFormat);
        return nullptr;
    }
    // Played once: the show decides when music ends, not a loop of the song.
    openmpt_module_set_repeat_count(module, 0);
    // No dither: the output is then a function of the module alone, so a
    // capture's sound is the same on every run and matches any other render.
    openmpt_module_ctl_set_integer(module, "dither", 0);
    SoundSong* song = new SoundSong{module, kSoundMaxVolume, false, nullptr};
    MixerLock lock;
    song->next = s_songs;
    s_songs = song;
    return song;
}

void SoundShutdown() {
    if (s_deviceOpen) {
        SoundOutputClose();
        s_deviceOpen = false;
    }
    s_initialised = false;
    s_manualOutput = false;
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

void SoundSetManualOutput(const bool manual) {
    s_manualOutput = manual;
}

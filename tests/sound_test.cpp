// The sound library: version, initialisation on SDL's audio drivers, songs
// loaded from disk and through file callbacks, the mixer against libopenmpt's
// own rendering of the same module, and null handles.
#include "platform/sound/sound.h"
#include "tests/support/test_env.h"

#include "tests/support/test_song.h" // TestSongBytes

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h> // the reference rendering

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// An in-memory file for the callbacks, reading either whole blocks (result 1
// or 0, like the archive) or bytes (short last read).
struct MemoryFile {
    std::vector<uint8_t> bytes;
    int position = 0;
};
std::vector<uint8_t> s_fileBytes;
bool s_blockConvention = true;
int s_openCount = 0;
int s_closeCount = 0;

SoundFileHandle MemOpen(const char* name) {
    if (std::strcmp(name, "song.xm") != 0) {
        return 0;
    }
    ++s_openCount;
    return reinterpret_cast<SoundFileHandle>(new MemoryFile{s_fileBytes, 0});
}
void MemClose(const SoundFileHandle handle) {
    ++s_closeCount;
    delete reinterpret_cast<MemoryFile*>(handle);
}
int MemRead(void* buffer, const int size, const SoundFileHandle handle) {
    MemoryFile* file = reinterpret_cast<MemoryFile*>(handle);
    const int left = static_cast<int>(file->bytes.size()) - file->position;
    if (s_blockConvention) {
        if (left < size) {
            return 0;
        }
        std::memcpy(buffer, file->bytes.data() + file->position, static_cast<size_t>(size));
        file->position += size;
        return 1;
    }
    const int n = left < size ? left : size;
    std::memcpy(buffer, file->bytes.data() + file->position, static_cast<size_t>(n));
    file->position += n;
    return n;
}
int MemSeek(const SoundFileHandle handle, const int position, const signed char mode) {
    MemoryFile* file = reinterpret_cast<MemoryFile*>(handle);
    const int base = mode == 0 ? 0 : (mode == 1 ? file->position : static_cast<int>(file->bytes.size()));
    file->position = base + position;
    return 0;
}
int MemTell(const SoundFileHandle handle) {
    return reinterpret_cast<MemoryFile*>(handle)->position;
}

class SoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseAudioDriver("dummy");
        SoundShutdown();
        SoundSetReportedVersion(kSoundLibraryVersion);
        s_openCount = 0;
        s_closeCount = 0;
    }
    void TearDown() override {
        SoundShutdown();
        SoundSetReportedVersion(kSoundLibraryVersion);
    }
};

TEST_F(SoundTest, ReportsVersionThreePointTwoUnlessOverridden) {
    EXPECT_EQ(FSOUND_GetVersion(), 3.2f);
    SoundSetReportedVersion(3.21f);
    EXPECT_EQ(FSOUND_GetVersion(), 3.21f);
}

TEST_F(SoundTest, InitOnDummyDriverSucceedsOnce) {
    EXPECT_EQ(FSOUND_GetError(), kSoundErrNone);
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_EQ(FSOUND_Init(44100, 32, 0), 0);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrAlreadyInitialised);
}

TEST_F(SoundTest, InitWithoutAnyDeviceFailsWithCodeThree) {
    UseAudioDriver("no-such-driver");
    EXPECT_EQ(FSOUND_Init(44100, 32, 0), 0);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrInit);
}

TEST_F(SoundTest, InitRejectsBadParameters) {
    const int bad[][2] = {{0, 32}, {-44100, 32}, {1000000, 32}, {44100, 0}, {44100, 257}, {44100, -1}};
    for (const auto& p : bad) {
        EXPECT_EQ(FSOUND_Init(p[0], p[1], 0), 0) << p[0] << " " << p[1];
        EXPECT_EQ(FSOUND_GetError(), kSoundErrInvalidParam);
    }
}

TEST_F(SoundTest, NullSongIsRefusedEverywhere) {
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrInvalidParam);
    EXPECT_EQ(FMUSIC_StopSong(nullptr), 0);
    EXPECT_EQ(FMUSIC_GetMasterVolume(nullptr), -1);
    EXPECT_EQ(FMUSIC_SetMasterVolume(nullptr, 100), 0);
    EXPECT_EQ(FMUSIC_FreeSong(nullptr), 0);
    EXPECT_FALSE(SoundIsPlaying(nullptr));
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
}

TEST_F(SoundTest, NullSongIsSafeWithoutInit) {
    EXPECT_EQ(FMUSIC_StopSong(nullptr), 0);
    EXPECT_EQ(FMUSIC_FreeSong(nullptr), 0);
}

TEST_F(SoundTest, SongFromDiskPlaysStopsAndKeepsVolumeInRange) {
    const std::string path = "sound_test_song.xm";
    const std::vector<uint8_t> module = TestSongBytes(1);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(module.data(), 1, module.size(), f);
    std::fclose(f);

    SoundSong* song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), kSoundMaxVolume);
    EXPECT_EQ(FMUSIC_PlaySong(song), 0) << "not initialised";
    EXPECT_EQ(FSOUND_GetError(), kSoundErrUninitialised);

    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_TRUE(SoundIsPlaying(song));
    const int volumes[][2] = {{100, 100}, {-5, 0}, {9999, kSoundMaxVolume}, {0, 0}, {256, 256}};
    for (const auto& v : volumes) {
        EXPECT_EQ(FMUSIC_SetMasterVolume(song, v[0]), 1);
        EXPECT_EQ(FMUSIC_GetMasterVolume(song), v[1]) << v[0];
    }
    EXPECT_EQ(FMUSIC_StopSong(song), 1);
    EXPECT_FALSE(SoundIsPlaying(song));
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    std::remove(path.c_str());
}

TEST_F(SoundTest, PlayingMoreSongsThanChannelsFails) {
    ASSERT_EQ(FSOUND_Init(44100, 1, 0), 1);
    s_fileBytes = TestSongBytes(1);
    FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
    SoundSong* a = FMUSIC_LoadSong("song.xm");
    SoundSong* b = FMUSIC_LoadSong("song.xm");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(FMUSIC_PlaySong(a), 1);
    EXPECT_EQ(FMUSIC_PlaySong(a), 1) << "restarting the same song needs no second channel";
    EXPECT_EQ(FMUSIC_PlaySong(b), 0);
    FMUSIC_StopSong(a);
    EXPECT_EQ(FMUSIC_PlaySong(b), 1);
    FMUSIC_FreeSong(a);
    FMUSIC_FreeSong(b);
}

// Both read conventions must deliver every byte, whatever the file's size
// modulo the loader's block size (bytes after the module's end are padding
// the decoder ignores).
TEST_F(SoundTest, SongThroughCallbacksReadsEveryByteInBothConventions) {
    for (const bool blocks : {true, false}) {
        for (const size_t padding : {size_t{0}, size_t{1}, size_t{2047}, size_t{2048}, size_t{5001}}) {
            s_blockConvention = blocks;
            s_fileBytes = TestSongBytes(2);
            s_fileBytes.resize(s_fileBytes.size() + padding, 0);
            FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
            SoundSong* song = FMUSIC_LoadSong("song.xm");
            ASSERT_NE(song, nullptr) << "blocks=" << blocks << " padding=" << padding;
            FMUSIC_FreeSong(song);
        }
    }
    EXPECT_EQ(s_openCount, s_closeCount);
}

// Files that are not modules, or modules cut short: a null song, the file
// closed again.
TEST_F(SoundTest, DamagedOrForeignFilesAreFormatErrors) {
    const std::vector<uint8_t> good = TestSongBytes(1);
    const std::vector<std::vector<uint8_t>> cases = {
        {},
        std::vector<uint8_t>(good.begin(), good.begin() + 30),
        std::vector<uint8_t>(4000, 0x41),
        {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'},
    };
    s_blockConvention = true;
    FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
    for (size_t i = 0; i < cases.size(); ++i) {
        s_fileBytes = cases[i];
        EXPECT_EQ(FMUSIC_LoadSong("song.xm"), nullptr) << i;
        EXPECT_EQ(FSOUND_GetError(), kSoundErrFileFormat) << i;
    }
    EXPECT_EQ(s_openCount, static_cast<int>(cases.size()));
    EXPECT_EQ(s_closeCount, s_openCount);
}

TEST_F(SoundTest, MissingSongIsFileNotFound) {
    FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
    EXPECT_EQ(FMUSIC_LoadSong("other.xm"), nullptr);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrFileNotFound);
    FSOUND_File_SetCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(FMUSIC_LoadSong("no_such_file_anywhere.xm"), nullptr);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrFileNotFound);
}

TEST_F(SoundTest, IncompleteCallbackSetFallsBackToDisk) {
    s_fileBytes = TestSongBytes(1);
    FSOUND_File_SetCallbacks(MemOpen, nullptr, MemRead, MemSeek, MemTell);
    EXPECT_EQ(FMUSIC_LoadSong("song.xm"), nullptr);
    EXPECT_EQ(s_openCount, 0);
}

// libopenmpt's own rendering of a module from its start: the reference the
// mixer is held to.
std::vector<int16_t> Reference(const std::vector<uint8_t>& bytes, const size_t frames) {
    openmpt_module* module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                                nullptr, nullptr, nullptr, nullptr, nullptr);
    std::vector<int16_t> out(frames * 2, 0);
    if (module == nullptr) {
        ADD_FAILURE() << "the reference cannot open the module";
        return out;
    }
    openmpt_module_set_repeat_count(module, 0);
    openmpt_module_ctl_set_integer(module, "dither", 0);
    size_t done = 0;
    while (done < frames) {
        const size_t got = openmpt_module_read_interleaved_stereo(module, 44100, frames - done, out.data() + done * 2);
        if (got == 0) {
            break;
        }
        done += got;
    }
    openmpt_module_destroy(module);
    return out;
}

SoundSong* LoadFromMemory(const std::vector<uint8_t>& bytes) {
    s_blockConvention = false;
    s_fileBytes = bytes;
    FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
    return FMUSIC_LoadSong("song.xm");
}

// The mix is the sum of each playing song's reference rendering scaled by its
// master volume, clamped to 16 bits, for any split of the output into calls.
TEST_F(SoundTest, MixerMatchesTheReferenceScaledSummedAndClamped) {
    struct Case {
        std::vector<int> volumes; // one song each; -1: loaded, not played
        int step;                 // frames per SoundMix call
    };
    const std::vector<Case> cases = {
        {{256}, 4096}, {{256}, 333}, {{128}, 1000}, {{0}, 512}, {{-1}, 700}, {{256, 256, 256, 256}, 1024},
        {{256, 64, -1}, 2000},
    };
    const std::vector<uint8_t> bytes = TestSongBytes(1, 64);
    constexpr size_t kFrames = 8000;
    const std::vector<int16_t> reference = Reference(bytes, kFrames);
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    SoundPauseOutput(true);
    for (size_t c = 0; c < cases.size(); ++c) {
        std::vector<SoundSong*> songs;
        for (const int volume : cases[c].volumes) {
            SoundSong* song = LoadFromMemory(bytes);
            ASSERT_NE(song, nullptr);
            if (volume >= 0) {
                ASSERT_EQ(FMUSIC_PlaySong(song), 1);
                FMUSIC_SetMasterVolume(song, volume);
            }
            songs.push_back(song);
        }
        std::vector<int16_t> mixed(kFrames * 2, 0);
        for (size_t at = 0; at < kFrames; at += static_cast<size_t>(cases[c].step)) {
            const size_t n = std::min(kFrames - at, static_cast<size_t>(cases[c].step));
            SoundMix(mixed.data() + at * 2, static_cast<int>(n));
        }
        size_t mismatches = 0;
        for (size_t i = 0; i < mixed.size(); ++i) {
            int32_t want = 0;
            for (const int volume : cases[c].volumes) {
                want += volume > 0 ? reference[i] * volume / kSoundMaxVolume : 0;
            }
            want = std::clamp(want, -32768, 32767);
            // Per-song rounding before the sum: one step per song at most.
            mismatches += std::abs(mixed[i] - want) > static_cast<int32_t>(cases[c].volumes.size()) ? 1 : 0;
        }
        EXPECT_EQ(mismatches, 0u) << "case " << c;
        for (SoundSong* song : songs) {
            FMUSIC_FreeSong(song);
        }
    }
    SoundMix(nullptr, 4);
    SoundMix(nullptr, -1);
}

// A song plays once: at its end it stops and adds nothing more.
TEST_F(SoundTest, SongStopsAtItsEnd) {
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    SoundPauseOutput(true);
    SoundSong* song = LoadFromMemory(TestSongBytes(1, 64));
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    std::vector<int16_t> out(44100 * 2, 0);
    SoundMix(out.data(), 44100); // the first of the song's two seconds
    EXPECT_TRUE(SoundIsPlaying(song));
    SoundMix(out.data(), 44100);
    SoundMix(out.data(), 44100);
    EXPECT_FALSE(SoundIsPlaying(song)) << "two seconds of song are over";
    SoundMix(out.data(), 1000);
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 2000, [](const int16_t v) { return v == 0; }));
    EXPECT_EQ(FMUSIC_PlaySong(song), 1) << "a finished song starts again from its beginning";
    SoundMix(out.data(), 1000);
    EXPECT_FALSE(std::all_of(out.begin(), out.begin() + 2000, [](const int16_t v) { return v == 0; }));
    FMUSIC_FreeSong(song);
}

// Without a device, FSOUND_Init succeeds on the manual output and the owner
// pulls the mix.
TEST_F(SoundTest, ManualOutputNeedsNoDevice) {
    UseAudioDriver("no-such-driver");
    SoundSetManualOutput(true);
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_EQ(FSOUND_Init(44100, 32, 0), 0);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrAlreadyInitialised);
    SoundSong* song = LoadFromMemory(TestSongBytes(1, 64));
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    std::vector<int16_t> out(2000, 0);
    SoundMix(out.data(), 1000);
    EXPECT_EQ(out, Reference(TestSongBytes(1, 64), 1000));
    FMUSIC_FreeSong(song);
    SoundShutdown();
    EXPECT_EQ(FSOUND_Init(44100, 32, 0), 0) << "the shutdown restores the device output";
}

} // namespace

// The sound library: version, initialisation on SDL's audio drivers, songs
// loaded from disk and through file callbacks, and null handles.
#include "platform/sound/sound.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib> // setenv
#include <cstring>
#include <string>
#include <vector>

namespace {

// A RIFF WAVE file of 16-bit PCM with the given samples.
std::vector<uint8_t> MakeWave(const std::vector<int16_t>& samples, const int channels, const int rate) {
    std::vector<uint8_t> out;
    auto put32 = [&out](const uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    auto put16 = [&out](const uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto tag = [&out](const char* t) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(t[i]));
        }
    };
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    tag("RIFF");
    put32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);
    put16(static_cast<uint16_t>(channels));
    put32(static_cast<uint32_t>(rate));
    put32(static_cast<uint32_t>(rate * channels * 2));
    put16(static_cast<uint16_t>(channels * 2));
    put16(16);
    tag("data");
    put32(dataBytes);
    for (const int16_t s : samples) {
        put16(static_cast<uint16_t>(s));
    }
    return out;
}

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
    if (std::strcmp(name, "song.wav") != 0) {
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
        setenv("SDL_AUDIODRIVER", "dummy", 1);
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
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
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
    EXPECT_EQ(SoundLoadSong(nullptr), nullptr);
}

TEST_F(SoundTest, NullSongIsSafeWithoutInit) {
    EXPECT_EQ(FMUSIC_StopSong(nullptr), 0);
    EXPECT_EQ(FMUSIC_FreeSong(nullptr), 0);
}

TEST_F(SoundTest, SongFromDiskPlaysStopsAndKeepsVolumeInRange) {
    const std::string path = "sound_test_song.wav";
    const std::vector<uint8_t> wave = MakeWave(std::vector<int16_t>(2000, 1000), 1, 22050);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(wave.data(), 1, wave.size(), f);
    std::fclose(f);

    SoundSong* song = SoundLoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), kSoundMaxVolume);
    EXPECT_EQ(FMUSIC_PlaySong(song), 0) << "not initialised";
    EXPECT_EQ(FSOUND_GetError(), kSoundErrUninitialised);

    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    EXPECT_EQ(FMUSIC_PlaySong(song), 1);
    EXPECT_TRUE(SoundIsPlaying(song));
    EXPECT_EQ(FMUSIC_SetMasterVolume(song, 100), 1);
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), 100);
    EXPECT_EQ(FMUSIC_SetMasterVolume(song, -5), 1);
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), 0);
    EXPECT_EQ(FMUSIC_SetMasterVolume(song, 9999), 1);
    EXPECT_EQ(FMUSIC_GetMasterVolume(song), kSoundMaxVolume);
    EXPECT_EQ(FMUSIC_StopSong(song), 1);
    EXPECT_FALSE(SoundIsPlaying(song));
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    std::remove(path.c_str());
}

TEST_F(SoundTest, PlayingMoreSongsThanChannelsFails) {
    ASSERT_EQ(FSOUND_Init(44100, 1, 0), 1);
    s_fileBytes = MakeWave(std::vector<int16_t>(100, 5), 2, 44100);
    FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
    SoundSong* a = SoundLoadSong("song.wav");
    SoundSong* b = SoundLoadSong("song.wav");
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
// modulo the loader's block size.
TEST_F(SoundTest, SongThroughCallbacksReadsEveryByteInBothConventions) {
    for (const bool blocks : {true, false}) {
        for (const size_t count : {size_t{0}, size_t{1}, size_t{2047}, size_t{2048}, size_t{5001}}) {
            s_blockConvention = blocks;
            std::vector<int16_t> samples(count);
            for (size_t i = 0; i < count; ++i) {
                samples[i] = static_cast<int16_t>(i * 7);
            }
            s_fileBytes = MakeWave(samples, 2, 44100);
            FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
            SoundSong* song = SoundLoadSong("song.wav");
            ASSERT_NE(song, nullptr) << "blocks=" << blocks << " count=" << count;
            FMUSIC_FreeSong(song);
        }
    }
    EXPECT_EQ(s_openCount, s_closeCount);
}

TEST_F(SoundTest, TruncatedSongThroughCallbacksIsAFormatError) {
    s_blockConvention = true;
    std::vector<uint8_t> wave = MakeWave(std::vector<int16_t>(300, 1), 1, 8000);
    wave.resize(30);
    s_fileBytes = wave;
    FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
    EXPECT_EQ(SoundLoadSong("song.wav"), nullptr);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrFileFormat);
    EXPECT_EQ(s_openCount, 1);
    EXPECT_EQ(s_closeCount, 1);
}

TEST_F(SoundTest, MissingSongIsFileNotFound) {
    FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
    EXPECT_EQ(SoundLoadSong("other.wav"), nullptr);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrFileNotFound);
    FSOUND_File_SetCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(SoundLoadSong("no_such_file_anywhere.wav"), nullptr);
    EXPECT_EQ(FSOUND_GetError(), kSoundErrFileNotFound);
}

TEST_F(SoundTest, IncompleteCallbackSetFallsBackToDisk) {
    s_fileBytes = MakeWave(std::vector<int16_t>(10, 1), 1, 8000);
    FSOUND_File_SetCallbacks(MemOpen, nullptr, MemRead, MemSeek, MemTell);
    EXPECT_EQ(SoundLoadSong("song.wav"), nullptr);
    EXPECT_EQ(s_openCount, 0);
}

// A song of the given values on both sides, loaded through the memory
// callbacks in the output's own format so that no conversion blurs them.
SoundSong* LoadSong(const std::vector<int16_t>& values) {
    std::vector<int16_t> samples;
    for (const int16_t v : values) {
        samples.push_back(v);
        samples.push_back(v);
    }
    s_blockConvention = false;
    s_fileBytes = MakeWave(samples, 2, 44100);
    FSOUND_File_SetCallbacks(MemOpen, MemClose, MemRead, MemSeek, MemTell);
    return SoundLoadSong("song.wav");
}

TEST_F(SoundTest, MixerScalesByVolumeLoopsAndClamps) {
    ASSERT_EQ(FSOUND_Init(44100, 32, 0), 1);
    SoundPauseOutput(true);
    SoundSong* a = LoadSong({1000, 2000, 3000});
    SoundSong* b = LoadSong({30000, 30000, 30000});
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    int16_t out[8 * 2] = {};

    SoundMix(out, 8);
    for (const int16_t v : out) {
        EXPECT_EQ(v, 0) << "nothing plays yet";
    }

    ASSERT_EQ(FMUSIC_PlaySong(a), 1);
    SoundMix(out, 4);
    const int16_t looped[] = {1000, 2000, 3000, 1000};
    for (int f = 0; f < 4; ++f) {
        EXPECT_EQ(out[2 * f], looped[f]) << f;
        EXPECT_EQ(out[2 * f + 1], looped[f]);
    }

    FMUSIC_SetMasterVolume(a, kSoundMaxVolume / 2);
    SoundMix(out, 1);
    EXPECT_EQ(out[0], 1000) << "position 1 at half volume";

    ASSERT_EQ(FMUSIC_PlaySong(b), 1);
    FMUSIC_SetMasterVolume(a, kSoundMaxVolume);
    SoundMix(out, 1);
    EXPECT_EQ(out[0], 32767) << "3000 + 30000 clamps";

    FMUSIC_SetMasterVolume(b, 0);
    SoundMix(out, 1);
    EXPECT_EQ(out[0], 1000) << "a silent song adds nothing";

    SoundMix(nullptr, 4);
    SoundMix(out, -1);
    FMUSIC_FreeSong(a);
    FMUSIC_FreeSong(b);
}

} // namespace

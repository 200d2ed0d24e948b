// The show's song: the module writer's output read back by libopenmpt from
// the archive entry over the shell's file callbacks; its length against the
// show's, its level, its sections against the scene changes, the same bytes
// on every build, and damaged copies of the entry played under the
// sanitizers.
// The content builder's headers come before app.h, whose global `keys` would
// otherwise shadow their parameters of that name.
#include "tools/content/content.h" // MakeLogoScene, MakeCorridorScene
#include "tools/content/song.h"
#include "tests/support/test_env.h"

#include "app/app.h"         // ArchiveFileOpen and the other callbacks
#include "app/show_names.h"  // kSongFile
#include "app/show_times.h"  // ComputeShowTimes, ShowFinish
#include "archive/archive.h" // PakOpen, g_currentPak
#include "archive/pak_writer.h"
#include "platform/sound/sound.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;

ShowTimes RealShowTimes() {
    const Scene3ds logo = MakeLogoScene();
    const Scene3ds corridoru = MakeCorridorScene(true);
    return ComputeShowTimes(logo.lastFrame - logo.firstFrame + 1,
                            corridoru.lastFrame - corridoru.firstFrame + 1);
}

// The whole song rendered by libopenmpt, played once.
std::vector<int16_t> Render(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> pcm;
    openmpt_module* module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                                nullptr, nullptr, nullptr, nullptr, nullptr);
    if (module == nullptr) {
        return pcm;
    }
    openmpt_module_set_repeat_count(module, 0);
    openmpt_module_ctl_set_integer(module, "dither", 0);
    std::vector<int16_t> block(4096 * 2);
    size_t got = 0;
    while ((got = openmpt_module_read_interleaved_stereo(module, kRate, 4096, block.data())) > 0) {
        pcm.insert(pcm.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got * 2));
    }
    openmpt_module_destroy(module);
    return pcm;
}

struct Level {
    double rmsDb;
    double peak;
};

Level Measure(const std::vector<int16_t>& pcm, const size_t from, const size_t to) {
    double sum = 0.0;
    int peak = 0;
    for (size_t i = from; i < to && i < pcm.size(); ++i) {
        sum += static_cast<double>(pcm[i]) * pcm[i];
        peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
    }
    const double n = static_cast<double>(std::min(to, pcm.size()) - std::min(from, pcm.size()));
    const double mean = n > 0 ? sum / n / (32768.0 * 32768.0) : 0.0;
    return Level{10.0 * std::log10(mean + 1e-12), peak / 32768.0};
}

// Shows of several lengths: the real one and others the scenes could give.
const std::vector<ShowTimes>& Shows() {
    static const std::vector<ShowTimes> shows = {RealShowTimes(), ComputeShowTimes(100, 200),
                                                 ComputeShowTimes(300, 1500), ComputeShowTimes(37, 411)};
    return shows;
}

// The writer's file read back by libopenmpt: the counts it was given.
TEST(XmWriter, ModulesReadBackWithTheirCounts) {
    for (const ShowTimes& t : {RealShowTimes(), ComputeShowTimes(100, 200)}) {
        const XmModule m = MakeSong(t);
        const std::vector<uint8_t> bytes = XmWriteBytes(m);
        openmpt_module* module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                                    nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(openmpt_module_get_num_channels(module), m.channels);
        EXPECT_EQ(openmpt_module_get_num_orders(module), static_cast<int32_t>(m.orders.size()));
        EXPECT_EQ(openmpt_module_get_num_patterns(module), static_cast<int32_t>(m.patterns.size()));
        EXPECT_EQ(openmpt_module_get_num_instruments(module), static_cast<int32_t>(m.instruments.size()));
        for (size_t p = 0; p < m.patterns.size(); ++p) {
            EXPECT_EQ(openmpt_module_get_pattern_num_rows(module, static_cast<int32_t>(p)), m.patterns[p].rows);
        }
        openmpt_module_destroy(module);
    }
}

// A module outside the format's limits is refused, not written damaged.
TEST(XmWriter, RefusesModulesOutsideTheFormat) {
    const XmModule good = MakeSong(ComputeShowTimes(100, 200));
    ASSERT_TRUE(XmCheckModule(good).empty());
    using Damage = void (*)(XmModule*);
    const Damage damages[] = {
        [](XmModule* m) { m->channels = 0; },
        [](XmModule* m) { m->channels = kXmMaxChannels + 1; },
        [](XmModule* m) { m->speed = 0; },
        [](XmModule* m) { m->bpm = 31; },
        [](XmModule* m) { m->orders.clear(); },
        [](XmModule* m) { m->orders.assign(kXmMaxOrders + 1, 0); },
        [](XmModule* m) { m->orders.push_back(static_cast<uint8_t>(m->patterns.size())); },
        [](XmModule* m) { m->restart = static_cast<int>(m->orders.size()); },
        [](XmModule* m) { m->patterns[0].rows = 0; },
        [](XmModule* m) { m->patterns[0].rows = kXmMaxRows + 1; },
        [](XmModule* m) { m->instruments[0].volume = kXmMaxVolume + 1; },
        [](XmModule* m) { m->instruments[0].relativeNote = 96; },
        [](XmModule* m) { m->instruments[6].loopLength += 1; },
        [](XmModule* m) { m->instruments[6].sustainPoint = 3; },
        [](XmModule* m) { m->instruments.resize(kXmMaxInstruments + 1); },
    };
    for (size_t i = 0; i < std::size(damages); ++i) {
        XmModule m = good;
        damages[i](&m);
        EXPECT_FALSE(XmCheckModule(m).empty()) << i;
        EXPECT_TRUE(XmWriteBytes(m).empty()) << i;
    }
}

TEST(Song, LastsAsLongAsTheShowAndFitsItsBudget) {
    for (const ShowTimes& t : Shows()) {
        const std::vector<uint8_t> bytes = XmWriteBytes(MakeSong(t));
        ASSERT_FALSE(bytes.empty());
        EXPECT_LT(bytes.size(), 300u * 1024u);
        const std::vector<int16_t> pcm = Render(bytes);
        const double seconds = static_cast<double>(pcm.size() / 2) / kRate;
        const double show = static_cast<double>(ShowFinish(t)) / 25.0;
        EXPECT_NEAR(seconds, show, 1.0) << "show of " << t.logoFrames << " + " << t.corridoruFrames;
    }
}

// Sections start on the rows nearest the scene changes, follow each other
// without a gap, and end where the show finishes.
TEST(Song, SectionsStartWhereTheScenesChange) {
    for (const ShowTimes& t : Shows()) {
        const std::vector<SongSection> sections = SongSections(t);
        ASSERT_EQ(sections.size(), 4u);
        const int64_t changes[] = {0, t.logoFrames, CorridoruStart(t), Blur1Start(t)};
        int32_t row = 0;
        for (size_t i = 0; i < sections.size(); ++i) {
            EXPECT_EQ(sections[i].startRow, row) << i;
            const double start = static_cast<double>(sections[i].startRow) / kSongRowsPerSecond;
            EXPECT_NEAR(start, static_cast<double>(changes[i]) / 25.0, 0.5 / kSongRowsPerSecond) << i;
            row += sections[i].rows;
        }
        EXPECT_EQ(row, SongRowOfFrame(ShowFinish(t)));
    }
}

// Neither silent nor clipped, over the song and in each part; the loudest
// part is the one under the character.
TEST(Song, LevelIsMusicalAndNeverClips) {
    const ShowTimes t = RealShowTimes();
    const std::vector<int16_t> pcm = Render(XmWriteBytes(MakeSong(t)));
    ASSERT_FALSE(pcm.empty());
    const Level whole = Measure(pcm, 0, pcm.size());
    EXPECT_GT(whole.rmsDb, -26.0);
    EXPECT_LT(whole.rmsDb, -10.0);
    EXPECT_LT(whole.peak, 0.95);
    const size_t clipped = static_cast<size_t>(
        std::count_if(pcm.begin(), pcm.end(), [](const int16_t v) { return v == 32767 || v == -32768; }));
    EXPECT_EQ(clipped, 0u);
    std::vector<double> parts;
    for (const SongSection& s : SongSections(t)) {
        const size_t from = static_cast<size_t>(s.startRow) * kRate / kSongRowsPerSecond * 2;
        const size_t to = static_cast<size_t>(s.startRow + s.rows) * kRate / kSongRowsPerSecond * 2;
        const Level part = Measure(pcm, from, to);
        EXPECT_GT(part.rmsDb, -35.0) << "section at row " << s.startRow << " is near silent";
        parts.push_back(part.rmsDb);
    }
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(std::max_element(parts.begin(), parts.end()) - parts.begin(), 2)
        << "the main part is the loudest";
    EXPECT_GT(Measure(pcm, 0, kRate * 2).rmsDb, -35.0) << "the first second is not silent";
}

// Two compositions in one process, and the archive the content builder
// wrote when it exists, hold the same bytes.
TEST(Song, SameBytesOnEveryBuild) {
    const std::vector<uint8_t> first = XmWriteBytes(MakeSong(RealShowTimes()));
    EXPECT_EQ(first, XmWriteBytes(MakeSong(RealShowTimes())));
    if (!std::filesystem::exists(TESSARO_CONTENT_ARCHIVE)) {
        GTEST_SKIP() << "no " << TESSARO_CONTENT_ARCHIVE;
    }
    PAKFile* pak = PakOpen(TESSARO_CONTENT_ARCHIVE, "rb");
    ASSERT_NE(pak, nullptr);
    int32_t size = 0;
    uint8_t* block = PakLoadEntry(pak, kSongFile, 1 << 20, &size, nullptr);
    ASSERT_NE(block, nullptr);
    const std::vector<uint8_t> stored(block, block + size);
    PakFreeEntry(block);
    PakClose(pak);
    g_currentPak = nullptr;
    EXPECT_EQ(stored, first);
}

// The song as an archive entry, read by the sound library over the shell's callbacks.
class SongEntry : public ::testing::Test {
  protected:
    void SetUp() override {
        UseAudioDriver("dummy");
        SoundShutdown();
        song_ = XmWriteBytes(MakeSong(RealShowTimes()));
    }
    void TearDown() override {
        if (g_currentPak != nullptr) {
            PakClose(g_currentPak);
            g_currentPak = nullptr;
        }
        SoundShutdown();
    }
    // An archive holding `bytes` as the song entry, made current, with the callbacks installed.
    void OpenWith(const std::vector<uint8_t>& bytes) {
        if (g_currentPak != nullptr) {
            PakClose(g_currentPak);
            g_currentPak = nullptr;
        }
        std::string error;
        ASSERT_TRUE(PakWriteArchive(dir_.File("song.qdz"), {PakWriteEntry{kSongFile, 0x5A, bytes}}, &error))
            << error;
        ASSERT_NE(PakOpen(dir_.File("song.qdz").c_str(), "rb"), nullptr);
        FSOUND_File_SetCallbacks(ArchiveFileOpen, ArchiveFileClose, ArchiveFileRead, ArchiveFileSeek,
                                 ArchiveFileTell);
    }
    TempDir dir_;
    std::vector<uint8_t> song_;
};

// Through the archive the mixer plays what libopenmpt renders of the bytes
// the builder made.
TEST_F(SongEntry, PlaysFromTheArchiveAsRendered) {
    ASSERT_NO_FATAL_FAILURE(OpenWith(song_));
    SoundSetManualOutput(true);
    ASSERT_EQ(FSOUND_Init(kRate, 32, 0), 1);
    SoundSong* song = FMUSIC_LoadSong(kSongFile);
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(FMUSIC_PlaySong(song), 1);
    std::vector<int16_t> mixed(kRate * 2 * 2);
    SoundMix(mixed.data(), kRate * 2);
    const std::vector<int16_t> rendered = Render(song_);
    ASSERT_GE(rendered.size(), mixed.size());
    // libopenmpt rounds a little differently where its reads are split: one
    // step of 16 bits at most.
    size_t off = 0;
    for (size_t i = 0; i < mixed.size(); ++i) {
        off += std::abs(mixed[i] - rendered[i]) > 1 ? 1 : 0;
    }
    EXPECT_EQ(off, 0u);
    EXPECT_FALSE(std::all_of(mixed.begin(), mixed.end(), [](const int16_t v) { return v == 0; }));
    EXPECT_EQ(FMUSIC_FreeSong(song), 1);
}

// Seeded damage to the entry (bytes overwritten, the file cut short): each
// copy loads or is refused, and what loads plays and is freed, cleanly under
// the sanitizers.
TEST_F(SongEntry, DamagedEntriesEndCleanly) {
    SoundSetManualOutput(true);
    ASSERT_EQ(FSOUND_Init(kRate, 32, 0), 1);
    uint32_t state = 0x5EEDu;
    auto next = [&state](const uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    std::vector<int16_t> out(4096 * 2);
    int loaded = 0;
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> bytes = song_;
        if (round % 4 == 3) {
            bytes.resize(next(static_cast<uint32_t>(bytes.size())));
        } else {
            // Damage the header, pattern and instrument area the parser trusts most.
            const uint32_t span = std::min<uint32_t>(static_cast<uint32_t>(bytes.size()), 8192u);
            for (int k = 0; k < 1 + round % 8; ++k) {
                bytes[next(span)] = static_cast<uint8_t>(next(256));
            }
        }
        ASSERT_NO_FATAL_FAILURE(OpenWith(bytes));
        SoundSong* song = FMUSIC_LoadSong(kSongFile);
        if (song == nullptr) {
            continue;
        }
        ++loaded;
        FMUSIC_PlaySong(song);
        FMUSIC_SetMasterVolume(song, 200);
        SoundMix(out.data(), 4096);
        FMUSIC_StopSong(song);
        EXPECT_EQ(FMUSIC_FreeSong(song), 1);
    }
    EXPECT_GT(loaded, 0) << "some damage leaves a playable module";
}

} // namespace

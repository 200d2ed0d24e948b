#include "archive/archive.h"
#include "archive/pak_writer.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib> // malloc, free for the counting allocator
#include <cstring>
#include <random>
#include <strings.h> // strcasecmp
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Build(const std::vector<PakWriteEntry>& entries) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(PakBuildArchive(entries, &out, &error)) << error;
    return out;
}

void PutLe32(Bytes* b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        (*b)[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// Writes the bytes, opens them for reading and closes the archive at the end.
class OpenedArchive {
  public:
    OpenedArchive(const TempDir& dir, const Bytes& bytes, const char* name = "test.qdz") {
        path_ = dir.File(name);
        WriteFileBytes(path_, bytes);
        pak = PakOpen(path_.c_str(), "rb");
    }
    ~OpenedArchive() { PakClose(pak); }
    OpenedArchive(const OpenedArchive&) = delete;
    OpenedArchive& operator=(const OpenedArchive&) = delete;
    PAKFile* pak = nullptr;

  private:
    std::string path_;
};

Bytes ReadAll(PAKFile* pak, const char* name) {
    PakEntry* e = PakOpenEntry(pak, name);
    if (e == nullptr) {
        return {};
    }
    Bytes out(static_cast<size_t>(e->dirEntry->size));
    const int32_t got = out.empty() ? 0 : PakRead(out.data(), 1, static_cast<int32_t>(out.size()), e, pak);
    EXPECT_EQ(got, static_cast<int32_t>(out.size()));
    PakCloseEntry(pak, e);
    return out;
}

TEST(ArchiveFormat, SingleEntryExampleIsByteExact) {
    Bytes expected = {0x61, 0x62, 0x63, 0x00, 0x05, 'a', '.', 't', 'x', 't'};
    expected.resize(expected.size() + 17, 0x00);
    for (unsigned char b : {0, 0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 0x33, 0, 0, 0}) {
        expected.push_back(b);
    }
    for (char c : std::string("RiviRER!")) {
        expected.push_back(static_cast<unsigned char>(c));
    }
    ASSERT_EQ(expected.size(), 51u);
    EXPECT_EQ(Build({{"a.txt", 0, Text("abc")}}), expected);
}

TEST(ArchiveFormat, MaskAppliesToNameAndDataButNotPadding) {
    const Bytes bytes = Build({{"ab", 0x5A, Text("xy")}});
    EXPECT_EQ(bytes[0], 'x' ^ 0x5A);
    EXPECT_EQ(bytes[2], 0x5A);          // mask
    EXPECT_EQ(bytes[3], 2);             // name length, plain
    EXPECT_EQ(bytes[4], 'a' ^ 0x5A);    // name, masked
    EXPECT_EQ(bytes[6], 0x00);          // padding, not masked
}

TEST(ArchiveWriter, RejectsNamesLongerThan21) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(PakBuildArchive({{std::string(21, 'n'), 0, {}}}, &out, &error));
    EXPECT_FALSE(PakBuildArchive({{std::string(22, 'n'), 0, {}}}, &out, &error));
    EXPECT_NE(error.find("21"), std::string::npos);
}

TEST(ArchiveOpen, EmptyArchiveHasNoEntries) {
    TempDir dir;
    OpenedArchive a(dir, Build({}));
    ASSERT_NE(a.pak, nullptr);
    EXPECT_EQ(a.pak->entries, nullptr);
    EXPECT_EQ(a.pak->totalLength, 16);
    EXPECT_EQ(PakFind(a.pak, "a"), nullptr);
    EXPECT_EQ(PakOpenEntry(a.pak, ""), nullptr);
}

TEST(ArchiveOpen, SetsCurrentArchiveOnlyOnSuccess) {
    TempDir dir;
    OpenedArchive a(dir, Build({{"a", 0, Text("1")}}));
    ASSERT_NE(a.pak, nullptr);
    EXPECT_EQ(g_currentPak, a.pak);
    const std::string path = dir.File("test.qdz");
    for (const char* mode : {"x", "", "Rb", "+r"}) {
        EXPECT_EQ(PakOpen(path.c_str(), mode), nullptr) << mode;
        EXPECT_EQ(g_currentPak, a.pak) << mode;
    }
    EXPECT_EQ(PakOpen(dir.File("missing.qdz").c_str(), "rb"), nullptr);
    EXPECT_EQ(g_currentPak, a.pak);
}

TEST(ArchiveOpen, AppendedToAnotherFileReadsFromItsBase) {
    TempDir dir;
    Bytes file = Text("#!/bin/sh\nthis is some other file's content\n");
    const size_t prefix = file.size();
    const Bytes archive = Build({{"one.bin", 7, Text("hello")}, {"two.bin", 0, Text("world!")}});
    file.insert(file.end(), archive.begin(), archive.end());
    OpenedArchive a(dir, file);
    ASSERT_NE(a.pak, nullptr);
    EXPECT_EQ(a.pak->base, static_cast<int32_t>(prefix));
    EXPECT_EQ(ReadAll(a.pak, "one.bin"), Text("hello"));
    EXPECT_EQ(ReadAll(a.pak, "two.bin"), Text("world!"));
}

TEST(ArchiveLookup, IgnoresAsciiCaseAndFirstDuplicateWins) {
    TempDir dir;
    OpenedArchive a(dir, Build({{"Logo.3DS", 0, Text("first")}, {"logo.3ds", 0, Text("second")}, {"\xC9t\xE9", 0, Text("x")}}));
    ASSERT_NE(a.pak, nullptr);
    EXPECT_EQ(ReadAll(a.pak, "LOGO.3DS"), Text("first"));
    EXPECT_EQ(ReadAll(a.pak, "logo.3ds"), Text("first"));
    EXPECT_NE(PakFind(a.pak, "\xC9t\xE9"), nullptr);
    EXPECT_EQ(PakFind(a.pak, "\xE9t\xE9"), nullptr); // only A-Z fold
    EXPECT_EQ(PakFind(a.pak, "logo.3d"), nullptr);
    EXPECT_EQ(PakFind(a.pak, "logo.3dss"), nullptr);
    EXPECT_EQ(PakFind(nullptr, "logo.3ds"), nullptr);
}

TEST(ArchiveRead, WholeElementsOnly) {
    TempDir dir;
    OpenedArchive a(dir, Build({{"ten", 0x11, Text("0123456789")}}));
    PakEntry* e = PakOpenEntry(a.pak, "ten");
    ASSERT_NE(e, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(PakRead(buffer, 4, 3, e, a.pak), 2);
    EXPECT_EQ(std::string(buffer, 8), "01234567");
    EXPECT_EQ(PakTell(e), 8);
    EXPECT_EQ(PakRead(buffer, 4, 1, e, a.pak), 0);
    EXPECT_EQ(PakTell(e), 8);
    EXPECT_EQ(PakRead(buffer, 1, 5, e, a.pak), 2);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(PakRead(buffer, 1, 1, e, a.pak), 0);
    PakCloseEntry(a.pak, e);
}

TEST(ArchiveRead, BadArgumentsReadNothing) {
    TempDir dir;
    OpenedArchive a(dir, Build({{"e", 0, Text("abcdef")}}));
    PakEntry* e = PakOpenEntry(a.pak, "e");
    ASSERT_NE(e, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(PakRead(nullptr, 1, 1, e, a.pak), 0);
    EXPECT_EQ(PakRead(buffer, 1, 1, nullptr, a.pak), 0);
    EXPECT_EQ(PakRead(buffer, 1, 1, e, nullptr), 0);
    EXPECT_EQ(PakRead(buffer, 0, 5, e, a.pak), 0);
    EXPECT_EQ(PakRead(buffer, 1, -3, e, a.pak), 0);
    EXPECT_EQ(PakRead(buffer, -1, 3, e, a.pak), 0);
    EXPECT_EQ(PakTell(e), 0);
    // Element size times count far beyond 32 bits: only what remains, in whole elements.
    EXPECT_EQ(PakRead(buffer, 3, INT32_MAX, e, a.pak), 2);
    EXPECT_EQ(std::string(buffer, 6), "abcdef");
    PakSeek(a.pak, e, 0, 0);
    EXPECT_EQ(PakRead(buffer, INT32_MAX, INT32_MAX, e, a.pak), 0);
    EXPECT_EQ(PakCloseEntry(nullptr, e), -1);
    EXPECT_EQ(PakCloseEntry(a.pak, nullptr), -1);
    EXPECT_EQ(PakCloseEntry(a.pak, e), 0);
}

TEST(ArchiveRead, StoredReadIsPakReadWithTheMaskLeftOn) {
    // The same requests, whole and partial, on twin entries: the same counts
    // and positions, and bytes that differ by the mask alone.
    struct Request {
        int32_t elementSize;
        int32_t count;
    };
    const Request requests[] = {{4, 3}, {3, INT32_MAX}, {4, 1}, {1, 5}, {1, 1}, {0, 5}, {1, -3}};
    for (const uint8_t mask : {uint8_t{0}, uint8_t{0x11}, uint8_t{0xFF}}) {
        TempDir dir;
        OpenedArchive a(dir, Build({{"plain", mask, Text("0123456789abcdefghij")}, {"stored", mask, Text("0123456789abcdefghij")}}));
        PakEntry* plain = PakOpenEntry(a.pak, "plain");
        PakEntry* stored = PakOpenEntry(a.pak, "stored");
        ASSERT_NE(plain, nullptr);
        ASSERT_NE(stored, nullptr);
        for (const Request& r : requests) {
            char want[16] = {};
            char got[16] = {};
            const int32_t wantCount = PakRead(want, r.elementSize, r.count, plain, a.pak);
            EXPECT_EQ(PakReadStored(got, r.elementSize, r.count, stored, a.pak), wantCount) << int(mask);
            EXPECT_EQ(PakTell(stored), PakTell(plain)) << int(mask);
            for (int32_t i = 0; i < wantCount * r.elementSize; ++i) {
                EXPECT_EQ(static_cast<uint8_t>(got[i] ^ mask), static_cast<uint8_t>(want[i])) << int(mask) << " " << i;
            }
        }
        char buffer[4] = {};
        EXPECT_EQ(PakReadStored(nullptr, 1, 1, stored, a.pak), 0);
        EXPECT_EQ(PakReadStored(buffer, 1, 1, nullptr, a.pak), 0);
        EXPECT_EQ(PakReadStored(buffer, 1, 1, stored, nullptr), 0);
        PakCloseEntry(a.pak, plain);
        PakCloseEntry(a.pak, stored);
    }
}

TEST(ArchiveRead, InterleavedEntriesShareOneStream) {
    TempDir dir;
    OpenedArchive a(dir, Build({{"a", 1, Text("AAAAAAAA")}, {"b", 2, Text("bbbbbbbb")}}));
    PakEntry* ea = PakOpenEntry(a.pak, "a");
    PakEntry* eb = PakOpenEntry(a.pak, "b");
    std::string got;
    for (int i = 0; i < 8; ++i) {
        char c = 0;
        ASSERT_EQ(PakRead(&c, 1, 1, i % 2 == 0 ? ea : eb, a.pak), 1);
        got += c;
    }
    EXPECT_EQ(got, "AbAbAbAb");
    PakCloseEntry(a.pak, ea);
    PakCloseEntry(a.pak, eb);
}

struct SeekCase {
    const char* what;
    int32_t start;
    int32_t offset;
    int origin;
    int result;
    int32_t position;
};

TEST(ArchiveSeek, Table) {
    const SeekCase cases[] = {
        {"from end -1 lands on last byte", 0, -1, 2, 0, 9},
        {"from end 0 fails and rewinds", 5, 0, 2, -1, 0},
        {"negative absolute clamps to 0", 5, -5, 0, 0, 0},
        {"absolute inside", 0, 3, 0, 0, 3},
        {"absolute at end fails", 4, 10, 0, -1, 0},
        {"relative forward", 4, 3, 1, 0, 7},
        {"relative backward past start clamps", 4, -9, 1, 0, 0},
        {"relative INT32_MAX does not overflow", 4, INT32_MAX, 1, -1, 0},
        {"from end INT32_MIN clamps to 0", 4, INT32_MIN, 2, 0, 0},
        {"from end INT32_MAX fails", 4, INT32_MAX, 2, -1, 0},
        {"unknown origin keeps position", 6, 100, 7, 0, 6},
    };
    TempDir dir;
    OpenedArchive a(dir, Build({{"ten", 0, Text("0123456789")}}));
    for (const SeekCase& c : cases) {
        PakEntry* e = PakOpenEntry(a.pak, "ten");
        ASSERT_NE(e, nullptr);
        e->position = c.start;
        EXPECT_EQ(PakSeek(a.pak, e, c.offset, c.origin), c.result) << c.what;
        EXPECT_EQ(PakTell(e), c.position) << c.what;
        PakCloseEntry(a.pak, e);
    }
    EXPECT_EQ(PakSeek(nullptr, nullptr, 0, 0), -1);
}

TEST(ArchiveSeek, EmptyEntryFailsEverySeekAndRead) {
    TempDir dir;
    OpenedArchive a(dir, Build({{"empty", 9, {}}}));
    PakEntry* e = PakOpenEntry(a.pak, "empty");
    ASSERT_NE(e, nullptr);
    char c = 0;
    for (int origin = 0; origin < 3; ++origin) {
        EXPECT_EQ(PakSeek(a.pak, e, 0, origin), -1);
        EXPECT_EQ(PakSeek(a.pak, e, -1, origin), -1);
    }
    EXPECT_EQ(PakRead(&c, 1, 1, e, a.pak), 0);
    PakCloseEntry(a.pak, e);
}

TEST(ArchiveClose, WriteModeLeavesEmptyArchiveAndAppendModeKeepsDirectory) {
    TempDir dir;
    const std::string path = dir.File("new.qdz");
    PAKFile* pak = PakOpen(path.c_str(), "wb");
    ASSERT_NE(pak, nullptr);
    EXPECT_EQ(PakClose(pak), 0);
    EXPECT_EQ(ReadFileBytes(path), Build({}));

    const Bytes original = Build({{"x.jpg", 3, Text("jpeg")}, {"y.tga", 0, Text("targa")}});
    WriteFileBytes(path, original);
    pak = PakOpen(path.c_str(), "a");
    ASSERT_NE(pak, nullptr);
    EXPECT_EQ(PakClose(pak), 0);
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(PakClose(nullptr), -1);
}

TEST(ArchiveClose, ClearsTheCurrentArchive) {
    TempDir dir;
    WriteFileBytes(dir.File("a.qdz"), Build({}));
    PAKFile* pak = PakOpen(dir.File("a.qdz").c_str(), "r");
    ASSERT_EQ(g_currentPak, pak);
    PakClose(pak);
    EXPECT_EQ(g_currentPak, nullptr);
}

struct DamageCase {
    const char* what;
    void (*damage)(Bytes*);
};

// The archive the damage cases start from: two entries, 5 + 3 data bytes.
Bytes DamageBase() { return Build({{"first", 0, Text("12345")}, {"second", 0, Text("678")}}); }

TEST(ArchiveOpen, RejectsDamagedArchives) {
    const DamageCase cases[] = {
        {"shorter than 16 bytes", [](Bytes* b) { b->assign(b->end() - 15, b->end()); }},
        {"empty file", [](Bytes* b) { b->clear(); }},
        {"total below data + 16", [](Bytes* b) { PutLe32(b, b->size() - 12, 8 + 15); }},
        {"total above file", [](Bytes* b) { PutLe32(b, b->size() - 12, static_cast<uint32_t>(b->size() + 1)); }},
        {"total with top bit", [](Bytes* b) { PutLe32(b, b->size() - 12, 0x80000010u); }},
        {"data length with top bit", [](Bytes* b) { PutLe32(b, b->size() - 16, 0x80000000u); }},
        {"directory not whole records", [](Bytes* b) { PutLe32(b, b->size() - 16, 7); }},
        {"name length 22", [](Bytes* b) { (*b)[8 + 1] = 22; }},
        {"name length negative", [](Bytes* b) { (*b)[8 + 32 + 1] = 0xFF; }},
        {"offset past data", [](Bytes* b) { PutLe32(b, 8 + 24, 6); }},
        {"size past data", [](Bytes* b) { PutLe32(b, 8 + 32 + 28, 4); }},
        {"negative size", [](Bytes* b) { PutLe32(b, 8 + 28, 0xFFFFFFFFu); }},
        {"offset plus size overflows", [](Bytes* b) {
             PutLe32(b, 8 + 24, 0x7FFFFFFFu);
             PutLe32(b, 8 + 28, 0x7FFFFFFFu);
         }},
    };
    TempDir dir;
    {
        OpenedArchive sound(dir, DamageBase(), "sound.qdz");
        ASSERT_NE(sound.pak, nullptr);
    }
    for (const DamageCase& c : cases) {
        Bytes bytes = DamageBase();
        c.damage(&bytes);
        const std::string path = dir.File("damaged.qdz");
        WriteFileBytes(path, bytes);
        g_currentPak = nullptr;
        for (const char* mode : {"r", "a"}) {
            const char* reason = nullptr;
            EXPECT_EQ(PakOpenWithReason(path.c_str(), mode, &reason), nullptr) << c.what << " " << mode;
            EXPECT_NE(reason, nullptr) << c.what;
            EXPECT_EQ(g_currentPak, nullptr) << c.what;
        }
        // A rejected archive opened for update is not written back.
        EXPECT_EQ(ReadFileBytes(path), bytes) << c.what;
    }
}

// Counts the blocks PakLoadEntryWith takes and gives back, so that a refused
// load can be seen to leave nothing allocated.
int s_blocksOut = 0;
void* CountingAllocate(uint32_t bytes) {
    ++s_blocksOut;
    return std::malloc(bytes);
}
void CountingRelease(void* block) {
    --s_blocksOut;
    std::free(block);
}
void* FailingAllocate(uint32_t) { return nullptr; }

TEST(ArchiveLoadEntry, WholeEntriesAndEveryRefusal) {
    TempDir dir;
    const Bytes data = Text("chunky bytes");
    OpenedArchive a(dir, Build({{"data.bin", 0x5A, data}, {"empty.bin", 0x11, {}}}));
    ASSERT_NE(a.pak, nullptr);
    struct Case {
        const char* name;
        int32_t maxBytes;
        PakAllocate allocate;
        PakLoadStatus status;
        int32_t size; // -1: left as it was
    };
    const Case cases[] = {
        {"DATA.BIN", 1000, CountingAllocate, kPakLoadOk, 12},
        {"data.bin", 12, CountingAllocate, kPakLoadOk, 12},
        {"empty.bin", 0, CountingAllocate, kPakLoadOk, 0},
        {"data.bin", 11, CountingAllocate, kPakLoadTooLarge, 12},
        {"data.bin", 1000, FailingAllocate, kPakLoadNoMemory, 12},
        {"none.bin", 1000, CountingAllocate, kPakLoadMissing, -1},
        {nullptr, 1000, CountingAllocate, kPakLoadMissing, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
        int32_t size = -1;
        PakLoadStatus status = kPakLoadUnreadable;
        uint8_t* block = PakLoadEntryWith(a.pak, c.name, c.maxBytes, 3, c.allocate, CountingRelease, &size, &status);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(block != nullptr, c.status == kPakLoadOk);
        if (block != nullptr) {
            EXPECT_EQ(Bytes(block, block + size), c.size == 0 ? Bytes{} : data);
            EXPECT_EQ(Bytes(block + size, block + size + 3), Bytes(3, 0)) << "the padding is zero";
            CountingRelease(block);
        }
        EXPECT_EQ(s_blocksOut, 0);
    }
    int32_t size = 0;
    uint8_t* heap = PakLoadEntry(a.pak, "data.bin", INT32_MAX, &size, nullptr);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap[size], 0);
    EXPECT_EQ(heap[size + 1], 0);
    PakFreeEntry(heap);
    PakFreeEntry(nullptr);
    EXPECT_EQ(PakLoadEntry(nullptr, "data.bin", INT32_MAX, &size, nullptr), nullptr);
}

TEST(ArchiveLoadEntry, AnEntryTheFileNoLongerHoldsIsUnreadableAndNothingStays) {
    TempDir dir;
    const Bytes data(4096, 0x42);
    const Bytes file = Build({{"big.bin", 0, data}});
    OpenedArchive a(dir, file);
    ASSERT_NE(a.pak, nullptr);
    // Cut the file under the open archive: the directory is in memory, the
    // bytes are gone.
    WriteFileBytes(dir.File("test.qdz"), Bytes(file.begin(), file.begin() + 100));
    PakLoadStatus status = kPakLoadOk;
    int32_t size = 0;
    EXPECT_EQ(PakLoadEntryWith(a.pak, "big.bin", INT32_MAX, 2, CountingAllocate, CountingRelease, &size, &status),
              nullptr);
    EXPECT_EQ(status, kPakLoadUnreadable);
    EXPECT_EQ(s_blocksOut, 0);
}

TEST(ArchiveRoundTrip, RandomArchivesReadBackExactly) {
    std::mt19937 rng(20261208);
    TempDir dir;
    for (int round = 0; round < 40; ++round) {
        std::vector<PakWriteEntry> entries;
        const int count = static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            PakWriteEntry e;
            const int length = static_cast<int>(rng() % 22);
            for (int k = 0; k < length; ++k) {
                e.name += static_cast<char>('!' + rng() % 94);
            }
            e.mask = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng() % 256);
            const size_t size = rng() % 5 == 0 ? 0 : rng() % 3000;
            for (size_t k = 0; k < size; ++k) {
                e.data.push_back(static_cast<uint8_t>(rng()));
            }
            entries.push_back(std::move(e));
        }
        Bytes file;
        const size_t prefix = round % 3 == 0 ? rng() % 100 : 0;
        for (size_t k = 0; k < prefix; ++k) {
            file.push_back(static_cast<unsigned char>(rng()));
        }
        const Bytes archive = Build(entries);
        file.insert(file.end(), archive.begin(), archive.end());
        OpenedArchive a(dir, file);
        ASSERT_NE(a.pak, nullptr) << round;
        int listed = 0;
        for (const PakDirEntry* d = a.pak->entries; d != nullptr; d = d->next) {
            ASSERT_LT(listed, count);
            EXPECT_EQ(std::string(d->name), entries[listed].name);
            EXPECT_EQ(d->mask, entries[listed].mask);
            ++listed;
        }
        EXPECT_EQ(listed, count);
        for (const PakWriteEntry& e : entries) {
            // The first entry with an equal name (ignoring case) is the one found.
            const PakWriteEntry* expected = nullptr;
            for (const PakWriteEntry& candidate : entries) {
                if (strcasecmp(candidate.name.c_str(), e.name.c_str()) == 0) {
                    expected = &candidate;
                    break;
                }
            }
            EXPECT_EQ(ReadAll(a.pak, e.name.c_str()), Bytes(expected->data.begin(), expected->data.end()));
        }
    }
}

} // namespace

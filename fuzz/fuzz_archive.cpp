// Archive: open the bytes as an archive file, walk the directory, read every
// entry in several block sizes and seek around the edges of each.
#include "fuzz/fuzz.h"

#include "archive/archive.h"
#include "archive/pak_writer.h"

#include <cstdio>
#include <fstream>

namespace {

void ReadInBlocks(PAKFile* pak, const PakDirEntry* dir) {
    const int32_t blockSizes[] = {1, 3, 16, 4096};
    std::vector<uint8_t> buffer(4096 * 2);
    for (int32_t block : blockSizes) {
        PakEntry* entry = PakOpenEntry(pak, dir->name);
        if (entry == nullptr) {
            return;
        }
        while (PakRead(buffer.data(), block, 2, entry, pak) > 0) {
        }
        PakCloseEntry(pak, entry);
    }
}

void SeekAroundTheEdges(PAKFile* pak, const PakDirEntry* dir) {
    PakEntry* entry = PakOpenEntry(pak, dir->name);
    if (entry == nullptr) {
        return;
    }
    const int32_t offsets[] = {-1, 0, 1, dir->size - 1, dir->size, dir->size + 1, INT32_MAX, INT32_MIN};
    uint8_t byte = 0;
    for (int origin = 0; origin <= 2; ++origin) {
        for (int32_t offset : offsets) {
            PakSeek(pak, entry, offset, origin);
            PakTell(entry);
            PakRead(&byte, 1, 1, entry, pak);
        }
    }
    PakCloseEntry(pak, entry);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = FuzzScratchPath(".pak");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    PAKFile* pak = PakOpen(path.c_str(), "rb");
    if (pak != nullptr) {
        for (const PakDirEntry* dir = pak->entries; dir != nullptr; dir = dir->next) {
            PakFind(pak, dir->name);
            ReadInBlocks(pak, dir);
            SeekAroundTheEdges(pak, dir);
        }
        PakClose(pak);
    }
    g_currentPak = nullptr;
    std::remove(path.c_str());
    return 0;
}

std::vector<FuzzSeed> FuzzSeeds() {
    struct Archive {
        const char* name;
        std::vector<PakWriteEntry> entries;
    };
    const Archive archives[] = {
        {"empty.qdz", {}},
        {"one.qdz", {{"a.txt", 0x00, {'h', 'i'}}}},
        {"masked.qdz", {{"scene.3ds", 0x5A, std::vector<uint8_t>(100, 7)}, {"sky.txt", 0xFF, {'x'}}}},
        {"empty-entry.qdz", {{"nothing", 0x11, {}}, {"NOTHING", 0x22, {1}}}},
    };
    std::vector<FuzzSeed> seeds;
    const std::string path = FuzzScratchPath(".seed.qdz");
    for (const Archive& a : archives) {
        std::string why;
        if (PakWriteArchive(path, a.entries, &why)) {
            std::ifstream in(path, std::ios::binary);
            seeds.push_back({a.name, std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                                          std::istreambuf_iterator<char>())});
        }
    }
    std::remove(path.c_str());
    return seeds;
}

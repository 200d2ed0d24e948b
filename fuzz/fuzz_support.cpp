// Shared pieces of the harnesses: scratch archives and a fresh pool.
#include "fuzz/fuzz.h"

#include "archive/archive.h"    // PakOpen, PakClose, g_currentPak
#include "archive/pak_writer.h" // PakWriteArchive
#include "memory/memory_pool.h" // PoolSetSmallSize, PoolInit

#include <unistd.h> // getpid

#include <cstdio>  // remove
#include <cstdlib> // getenv

volatile uint32_t g_fuzzSink = 0;

constexpr int32_t kFuzzPoolBytes = 4 * 1024 * 1024;

std::string FuzzScratchPath(const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/tessaro_fuzz_" +
           std::to_string(::getpid()) + suffix;
}

FuzzArchive::FuzzArchive(const char* name, const uint8_t* data, size_t size)
    : path_(FuzzScratchPath(".qdz")) {
    std::string why;
    const std::vector<PakWriteEntry> entries = {{name, 0x5A, std::vector<uint8_t>(data, data + size)}};
    ok_ = PakWriteArchive(path_, entries, &why) && PakOpen(path_.c_str(), "rb") != nullptr;
}

FuzzArchive::~FuzzArchive() {
    if (g_currentPak != nullptr) {
        PakClose(g_currentPak);
        g_currentPak = nullptr;
    }
    std::remove(path_.c_str());
}

#if !defined(TESSARO_POOL_HEAP_BLOCKS)
namespace {

constexpr int64_t kPoolHeaderBytes = 16; // a large block's header

// True when every block has gone back: one free block over the whole large
// area and no used unit in the small area, which is the state PoolInit leaves.
bool PoolIsPristine() {
    const PoolView view = PoolInspect();
    if (view.freeSizes.size() != 1 ||
        static_cast<int64_t>(view.freeSizes[0]) + kPoolHeaderBytes != view.regionEnd - view.largeArea) {
        return false;
    }
    for (int32_t g = 0; g < view.groupCount; ++g) {
        unsigned char used = 0;
        PoolGroupBits(g, &used, nullptr);
        if (used != 0) {
            return false;
        }
    }
    return true;
}

} // namespace
#endif

void FuzzFreshPool() {
    // The player's small area, in a region of 4 MiB rather than the player's
    // 20 MB, and laid out again only when an input left something behind:
    // AddressSanitizer poisons every byte of a region it maps, and a fresh
    // 20 MB region per input cost 18 ms, most of each execution. The inputs
    // (at most 64 KiB) still fit by the loaders' own bounds, and the pool's
    // exhaustion paths are met sooner.
#if defined(TESSARO_POOL_HEAP_BLOCKS)
    // Heap blocks leave the pool's own lists untouched: always start afresh.
    const bool fresh = false;
#else
    const bool fresh = PoolInspect().groupCount != 0 && PoolIsPristine();
#endif
    if (!fresh) {
        PoolSetSmallSize(200000);
        PoolInit(kFuzzPoolBytes);
    }
}

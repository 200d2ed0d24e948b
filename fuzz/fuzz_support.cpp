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

void FuzzFreshPool() {
    // The player's small area, in a region of 4 MiB rather than the player's
    // 20 MB: AddressSanitizer poisons every byte of a region it maps, and a
    // fresh 20 MB region per input cost 18 ms, most of each execution. The
    // inputs (at most 64 KiB) still fit by the loaders' own bounds, and the
    // pool's exhaustion paths are met sooner.
    PoolSetSmallSize(200000);
    PoolInit(kFuzzPoolBytes);
}

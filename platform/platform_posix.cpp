// The platform services on a POSIX system: CLOCK_MONOTONIC in nanoseconds,
// pixel storage on the C heap, and debugger messages on standard error when
// TESSARO_DEBUG asks for them.
#include "platform/platform_local.h"

#include <cstdio>  // fputs
#include <cstdlib> // malloc, free, getenv
#include <ctime>   // clock_gettime

#include <sys/mman.h> // mmap, madvise, munmap
#include <unistd.h>   // isatty

static constexpr int64_t kNanosecondsPerSecond = 1000000000;

int64_t PlatformPerfCounter() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

int64_t PlatformPerfFrequency() { return kNanosecondsPerSecond; }

void PlatformSleepMs(const int ms) {
    if (ms <= 0) {
        return;
    }
    const timespec pause = {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

FILE* PlatformTempFile() { return std::tmpfile(); }

void* PlatformGlobalAlloc(size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void PlatformGlobalFree(void* block) { std::free(block); }

void* PlatformReserveRegion(size_t bytes) {
    void* region = mmap(nullptr, bytes == 0 ? 1 : bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) {
        return nullptr;
    }
#if defined(MADV_HUGEPAGE)
    // Only a hint: without transparent huge pages the region still works.
    madvise(region, bytes, MADV_HUGEPAGE);
#endif
    return region;
}

void PlatformReleaseRegion(void* region, size_t bytes) {
    if (region != nullptr) {
        munmap(region, bytes == 0 ? 1 : bytes);
    }
}

bool PlatformStderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

void WriteToDebugger(const char* text) {
    if (std::getenv("TESSARO_DEBUG") != nullptr) {
        std::fputs(text, stderr);
        std::fflush(stderr);
    }
}

// The platform services on a POSIX system: CLOCK_MONOTONIC in nanoseconds,
// pixel storage on the C heap, and debugger messages on standard error when
// TESSARO_DEBUG asks for them.
#include "platform/platform_local.h"

#include <cstdio>  // fputs
#include <cstdlib> // calloc, free, getenv
#include <ctime>   // clock_gettime

#include <unistd.h> // isatty

static constexpr int64_t kNanosecondsPerSecond = 1000000000;

int64_t PlatformPerfCounter() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

int64_t PlatformPerfFrequency() { return kNanosecondsPerSecond; }

// Zero-filled like a moveable global block.
void* PlatformGlobalAlloc(size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void PlatformGlobalFree(void* block) { std::free(block); }

bool PlatformStderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

void WriteToDebugger(const char* text) {
    if (std::getenv("TESSARO_DEBUG") != nullptr) {
        std::fputs(text, stderr);
        std::fflush(stderr);
    }
}

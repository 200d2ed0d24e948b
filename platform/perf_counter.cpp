// Performance counter on CLOCK_MONOTONIC, in nanoseconds.
#include "platform/platform.h"

#include <ctime> // clock_gettime

static constexpr int64_t kNanosecondsPerSecond = 1000000000;

int64_t PlatformPerfCounter() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

int64_t PlatformPerfFrequency() { return kNanosecondsPerSecond; }

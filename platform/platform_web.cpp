// The platform services in a web page: the counter on performance.now in
// microseconds, pixel storage on the C heap, and debugger messages on the
// browser's console when TESSARO_DEBUG asks for them (the page sets it from
// its address).
#include "platform/platform_local.h"

#include <emscripten.h> // emscripten_get_now, emscripten_log

#include <cstdlib> // malloc, calloc, free, getenv
#include <string>

static constexpr int64_t kMicrosecondsPerSecond = 1000000;

int64_t PlatformPerfCounter() {
    // performance.now() is in milliseconds with a fraction; browsers coarsen
    // it to tens of microseconds, finer than any timer of the show needs.
    return static_cast<int64_t>(emscripten_get_now() * 1000.0);
}

int64_t PlatformPerfFrequency() { return kMicrosecondsPerSecond; }

void PlatformSleepMs(int) {}

FILE* PlatformTempFile() { return std::tmpfile(); }

void* PlatformGlobalAlloc(size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void PlatformGlobalFree(void* block) { std::free(block); }

// A page's memory is one linear heap: there are no pages to map.
void* PlatformReserveRegion(size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void PlatformReleaseRegion(void* region, size_t /*bytes*/) { std::free(region); }

bool PlatformStderrIsTerminal() { return false; }

void WriteToDebugger(const char* text) {
    if (std::getenv("TESSARO_DEBUG") != nullptr) {
        // The console shows one entry per call: a trailing newline would add
        // an empty line to each.
        std::string line(text);
        while (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        emscripten_log(EM_LOG_CONSOLE, "%s", line.c_str());
    }
}

// Debugger output channel: standard error under TESSARO_DEBUG, or a test sink.
#include "platform/platform.h"

#include <cstdarg> // va_list
#include <cstdio>  // fputs, vsnprintf
#include <cstdlib> // getenv

#include <unistd.h> // isatty

static PlatformDebugSink s_sink = nullptr;
static void* s_sinkUser = nullptr;

void PlatformDebugOutput(const char* text) {
    if (text == nullptr) {
        return;
    }
    if (s_sink != nullptr) {
        s_sink(text, s_sinkUser);
        return;
    }
    if (std::getenv("TESSARO_DEBUG") != nullptr) {
        std::fputs(text, stderr);
        std::fflush(stderr);
    }
}

void PlatformDebugPrintf(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    PlatformDebugOutput(buffer);
}

void PlatformSetDebugSink(PlatformDebugSink sink, void* user, PlatformDebugSink* previous, void** previousUser) {
    if (previous != nullptr) {
        *previous = s_sink;
    }
    if (previousUser != nullptr) {
        *previousUser = s_sinkUser;
    }
    s_sink = sink;
    s_sinkUser = user;
}

bool PlatformStderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

// Debugger output channel: the system's own (platform_posix.cpp,
// platform_win32.cpp), or a test sink.
#include "platform/platform_local.h"

#include <cstdarg> // va_list
#include <cstdio>  // vsnprintf

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
    WriteToDebugger(text);
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

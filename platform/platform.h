// Platform layer: the few operating-system services that the subsystems use
// and that are not plain standard C++. Everything here is process-wide and
// single-threaded, like the rest of the program.
//
// - the debugger output channel: one message per call, the text exactly as
//   given. Silent unless TESSARO_DEBUG is set in the environment, in which
//   case each message is written to standard error. Tests install a sink to
//   see every message whatever the environment says.
// - the high-resolution performance counter and its frequency.
// - the global storage for decoded image pixels.
//
// No other subsystem includes an operating-system header; a port replaces the
// sources of this folder and keeps this header.
#pragma once

#include <cstdio> // FILE

#include <cstddef> // size_t
#include <cstdint> // int64_t

// Sends one message to the debugger output channel. A null text is ignored.
void PlatformDebugOutput(const char* text);

// Formats like printf into a private buffer and sends the result as one
// message; text beyond 1023 characters is cut, never written past the buffer.
#ifdef _WIN32
// The C runtime is built with gnu formats (%zu, %lld) on Windows as well.
#define PLATFORM_PRINTF_FORMAT gnu_printf
#else
#define PLATFORM_PRINTF_FORMAT printf
#endif
void PlatformDebugPrintf(const char* format, ...) __attribute__((format(PLATFORM_PRINTF_FORMAT, 1, 2)));

// True when standard error is a terminal (where a line may overwrite itself).
bool PlatformStderrIsTerminal();

// Receives every debugger message while installed, in place of standard error.
using PlatformDebugSink = void (*)(const char* text, void* user);

// Installs the sink (null restores the default behaviour). The previous sink and
// its user pointer are stored through the optional out-parameters so that a
// caller can put them back.
void PlatformSetDebugSink(PlatformDebugSink sink, void* user, PlatformDebugSink* previous = nullptr,
                          void** previousUser = nullptr);

// Current value of the monotonic performance counter, in ticks.
int64_t PlatformPerfCounter();

// Ticks per second of PlatformPerfCounter; always positive.
int64_t PlatformPerfFrequency();

// Gives the processor away for about `ms` milliseconds (a paused player's
// loop waits so). Returns at once in a web page, whose browser paces the
// passes, and for 0 or less.
void PlatformSleepMs(int ms);

// A new, empty binary file open for reading and writing ("w+b") that the
// system removes when it is closed or the process ends; null when none can be
// made. On Windows it lies in the user's temporary folder (the C library's
// tmpfile writes to the root of the drive, which users may not write to).
FILE* PlatformTempFile();

// Storage for image pixels, not zero-filled (every user writes all of it
// before reading, and clearing a picture the decoder fills anyway costs as
// much as a small decode's set-up); null when the system has no memory.
// Released with PlatformGlobalFree (null is ignored).
void* PlatformGlobalAlloc(size_t bytes);
void PlatformGlobalFree(void* block);

// A large zero-filled region for data that lives as long as the program,
// backed by large pages where the system grants them to anyone, so that
// filling it takes a page fault per 2 MB rather than per 4 KB. Null when the
// system has no memory. Released with PlatformReleaseRegion and the same size
// (null is ignored).
void* PlatformReserveRegion(size_t bytes);
void PlatformReleaseRegion(void* region, size_t bytes);

// The platform services on Windows: the performance counter, pixel storage
// from the global heap, and debugger messages through OutputDebugStringA
// (also on standard error when TESSARO_DEBUG asks for them, so that a run
// from a console shows them without a debugger attached).
#include "platform/platform_local.h"

#include <windows.h>

#include <cstdio>  // fputs, _fileno
#include <cstdlib> // getenv
#include <fcntl.h> // _O_RDWR, _O_BINARY
#include <io.h>    // _isatty, _open_osfhandle, _close

int64_t PlatformPerfCounter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<int64_t>(now.QuadPart);
}

int64_t PlatformPerfFrequency() {
    LARGE_INTEGER frequency;
    // Never fails on the systems the program runs on; a zero would still be
    // turned into a usable divisor.
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) {
        return 1000;
    }
    return static_cast<int64_t>(frequency.QuadPart);
}

FILE* PlatformTempFile() {
    char folder[MAX_PATH + 1] = {};
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "tsr", 0, path) == 0) {
        return nullptr;
    }
    // Deleted by the system when the last handle closes, whatever ends the process.
    const HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DeleteFileA(path);
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(descriptor, "w+b");
    if (file == nullptr) {
        _close(descriptor);
    }
    return file;
}

void PlatformSleepMs(const int ms) {
    if (ms > 0) {
        Sleep(static_cast<DWORD>(ms));
    }
}

void* PlatformGlobalAlloc(size_t bytes) { return GlobalAlloc(GMEM_FIXED, bytes == 0 ? 1 : bytes); }

void PlatformGlobalFree(void* block) {
    if (block != nullptr) {
        GlobalFree(block);
    }
}

// Large pages need a privilege ordinary users lack; plain committed pages.
void* PlatformReserveRegion(size_t bytes) {
    return VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void PlatformReleaseRegion(void* region, size_t /*bytes*/) {
    if (region != nullptr) {
        VirtualFree(region, 0, MEM_RELEASE);
    }
}

bool PlatformStderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void WriteToDebugger(const char* text) {
    OutputDebugStringA(text);
    if (std::getenv("TESSARO_DEBUG") != nullptr) {
        std::fputs(text, stderr);
        std::fflush(stderr);
    }
}

// Global pixel storage: the C heap, zero-filled like a moveable global block.
#include "platform/platform.h"

#include <cstdlib> // calloc, free

void* PlatformGlobalAlloc(size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void PlatformGlobalFree(void* block) { std::free(block); }

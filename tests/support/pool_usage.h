// How much of the memory pool is in use, for tests that bound what a loader
// takes.
#pragma once

#include "memory/memory_pool.h" // PoolInspect, PoolGroupBits

#include <cstdint> // int64_t, int32_t, uint32_t

// Bytes of the pool in use: the large area less its free payloads, plus the
// used 2-byte units of the small area.
inline int64_t PoolBytesInUse() {
    const PoolView view = PoolInspect();
    int64_t free = 0;
    for (const uint32_t size : view.freeSizes) {
        free += size;
    }
    int64_t used = (view.regionEnd - view.largeArea) - free;
    for (int32_t g = 0; g < view.groupCount; ++g) {
        unsigned char bits = 0;
        PoolGroupBits(g, &bits, nullptr);
        used += 2 * __builtin_popcount(bits);
    }
    return used;
}

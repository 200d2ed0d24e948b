// The pool itself: region layout, the entry points that pick an area, and the
// read-only views for tests and tools.
#include "memory/memory_pool_local.h"

#include "platform/platform.h"

#include <algorithm> // std::min
#include <cstdlib>   // std::malloc, std::free, std::atexit
#include <cstring>   // std::memset, std::memcpy
#if defined(TESSARO_POOL_HEAP_BLOCKS)
#include <unordered_map> // the live heap blocks and their sizes
#endif

const char kPoolExhausted[] = "Memoria esaurita! Aumentare le richieste.\n";

PoolState g_pool;
static int32_t s_smallSize = kPoolDefaultSmallSize;
static bool s_exitHandlerRegistered = false;

// Offset from `raw` of the first 16-byte boundary at or after raw + offset.
static size_t AlignedOffset(const unsigned char* raw, size_t offset) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(raw) + offset;
    return offset + (kPoolAlign - address % kPoolAlign) % kPoolAlign;
}

static void ExitHandler() {
    PoolRelease();
}

void PoolSetSmallSize(int32_t bytes) {
    // The bitmap has two bytes per whole 16-byte group; a stray remainder or a
    // negative size would leave units without bits.
    s_smallSize = bytes > 0 ? bytes - bytes % static_cast<int32_t>(kPoolGroupSize) : 0;
}

static void ReleaseHeapBlocks();

int PoolInit(int32_t totalBytes) {
    // A pool laid out again at the same size keeps its region, whose pages
    // the system has already handed over; any other size starts afresh.
    unsigned char* previous = g_pool.raw;
    const size_t previousSize = g_pool.rawSize;
    ReleaseHeapBlocks();
    g_pool = PoolState{};
    if (!s_exitHandlerRegistered) {
        std::atexit(ExitHandler);
        s_exitHandlerRegistered = true;
    }
    const size_t smallSize = static_cast<size_t>(s_smallSize);
    const size_t bitmapSize = smallSize / 8;
    const size_t rounded =
        totalBytes > 0 ? (static_cast<size_t>(totalBytes) + kPoolAlign - 1) & ~static_cast<size_t>(kPoolAlign - 1) : 0;
    if (previous != nullptr && previousSize != rounded) {
        PlatformReleaseRegion(previous, previousSize);
        previous = nullptr;
    }
    if (totalBytes <= 0) {
        PlatformDebugOutput(kPoolExhausted);
        return 0;
    }
    unsigned char* raw =
        previous != nullptr ? previous : static_cast<unsigned char*>(PlatformReserveRegion(rounded));
    if (raw == nullptr) {
        PlatformDebugOutput(kPoolExhausted);
        return 0;
    }
    // Section offsets are worked out as numbers first, so that no pointer is
    // formed past the end of a block too small for them.
    const size_t baseOffset = AlignedOffset(raw, 0);
    const size_t bitmapOffset = baseOffset + kPoolTableSize;
    const size_t smallOffset = AlignedOffset(raw, bitmapOffset + bitmapSize);
    const size_t endOffset = rounded - (reinterpret_cast<uintptr_t>(raw) + rounded) % kPoolAlign;
    if (smallOffset + smallSize > endOffset) {
        PlatformReleaseRegion(raw, rounded);
        PlatformDebugOutput(kPoolExhausted);
        return 0;
    }
    g_pool.raw = raw;
    g_pool.rawSize = rounded;
    g_pool.base = raw + baseOffset;
    g_pool.bitmap = raw + bitmapOffset;
    g_pool.smallArea = raw + smallOffset;
    g_pool.largeArea = g_pool.smallArea + smallSize;
    g_pool.largeEnd = raw + endOffset;
    g_pool.groupCount = static_cast<int32_t>(smallSize / kPoolGroupSize);

    // Spare list in address order, the lowest descriptor at its head.
    std::memset(g_pool.base, 0, kPoolTableSize);
    for (int32_t i = 0; i < kPoolDescriptorCount; ++i) {
        PoolDescriptor* d = PoolDescriptorAt(static_cast<uint32_t>(i) * 16);
        d->block = kPoolNil;
        d->prev = i == 0 ? kPoolNil : static_cast<uint32_t>(i - 1) * 16;
        d->next = i + 1 == kPoolDescriptorCount ? kPoolNil : static_cast<uint32_t>(i + 1) * 16;
    }
    g_pool.spareHead = 0;
    std::memset(g_pool.bitmap, 0, bitmapSize);
    SmallReset();
    LargeReset();
    return 1;
}

void PoolRelease() {
    ReleaseHeapBlocks();
    PlatformReleaseRegion(g_pool.raw, g_pool.rawSize);
    g_pool = PoolState{};
}

#if defined(TESSARO_POOL_HEAP_BLOCKS)
// Each block is a heap block of its own, tracked with its size so that
// PoolRealloc can copy it and PoolFree can ignore what the pool never gave
// out, as the real pool does. The region's capacity stays the limit.
static std::unordered_map<void*, uint32_t>* s_heapBlocks = nullptr;
static size_t s_heapBytes = 0;

static size_t HeapCapacity() { return static_cast<size_t>(g_pool.largeEnd - g_pool.smallArea); }

void* PoolAlloc(uint32_t bytes) {
    void* p = nullptr;
    if (g_pool.raw != nullptr && s_heapBytes + bytes <= HeapCapacity()) {
        p = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (p == nullptr) {
        PlatformDebugOutput(kPoolExhausted);
        return nullptr;
    }
    if (s_heapBlocks == nullptr) {
        s_heapBlocks = new std::unordered_map<void*, uint32_t>();
    }
    (*s_heapBlocks)[p] = bytes;
    s_heapBytes += bytes;
    return p;
}

void PoolFree(void* block) {
    if (s_heapBlocks == nullptr) {
        return;
    }
    const auto found = s_heapBlocks->find(block);
    if (found == s_heapBlocks->end()) {
        return;
    }
    s_heapBytes -= found->second;
    s_heapBlocks->erase(found);
    std::free(block);
}

void* PoolRealloc(void* block, int32_t bytes) {
    const uint32_t wanted = bytes > 0 ? static_cast<uint32_t>(bytes) : 0;
    if (block == nullptr) {
        return PoolAlloc(wanted);
    }
    if (s_heapBlocks == nullptr || s_heapBlocks->find(block) == s_heapBlocks->end()) {
        return nullptr;
    }
    const uint32_t oldBytes = (*s_heapBlocks)[block];
    void* fresh = PoolAlloc(wanted);
    if (fresh != nullptr) {
        std::memcpy(fresh, block, std::min(oldBytes, wanted));
    }
    PoolFree(block);
    return fresh;
}

// Every heap block goes back with the region.
static void ReleaseHeapBlocks() {
    if (s_heapBlocks != nullptr) {
        for (const auto& entry : *s_heapBlocks) {
            std::free(entry.first);
        }
        delete s_heapBlocks;
        s_heapBlocks = nullptr;
    }
    s_heapBytes = 0;
}
#else
void* PoolAlloc(uint32_t bytes) {
    void* p = nullptr;
    if (g_pool.raw != nullptr) {
        p = bytes <= kPoolSmallLimit ? SmallAlloc(bytes) : LargeAlloc(bytes);
    }
    if (p == nullptr) {
        PlatformDebugOutput(kPoolExhausted);
    }
    return p;
}

// Which area a pointer belongs to; kNone for anything that is not the start
// of a live block, so stray and repeated frees cannot damage the bookkeeping.
enum class Area { kNone, kSmall, kLarge };

static Area AreaOf(const void* p) {
    if (p == nullptr || g_pool.raw == nullptr) {
        return Area::kNone;
    }
    if (static_cast<const unsigned char*>(p) > g_pool.largeArea) {
        return LargeIsLiveBlock(p) ? Area::kLarge : Area::kNone;
    }
    return SmallIsRunStart(p) ? Area::kSmall : Area::kNone;
}

void PoolFree(void* block) {
    switch (AreaOf(block)) {
    case Area::kSmall:
        SmallFree(block);
        break;
    case Area::kLarge:
        LargeFree(block);
        break;
    case Area::kNone:
        break;
    }
}

void* PoolRealloc(void* block, int32_t bytes) {
    const uint32_t wanted = bytes > 0 ? static_cast<uint32_t>(bytes) : 0;
    if (block == nullptr) {
        return PoolAlloc(wanted);
    }
    const Area area = AreaOf(block);
    if (area == Area::kNone) {
        return nullptr;
    }
    // Copy what the old block really holds, never the bytes of a neighbour.
    const uint32_t oldBytes = area == Area::kLarge ? LargePayloadSize(block) : SmallRunBytes(block);
    void* fresh = PoolAlloc(wanted);
    if (fresh != nullptr) {
        std::memcpy(fresh, block, std::min(oldBytes, wanted));
    }
    // The old block goes back even when the new one could not be had.
    if (area == Area::kLarge) {
        LargeFree(block);
    } else {
        SmallFree(block);
    }
    return fresh;
}

static void ReleaseHeapBlocks() {}
#endif

PoolView PoolInspect() {
    PoolView view{};
    if (g_pool.raw == nullptr) {
        return view;
    }
    view.groupCount = g_pool.groupCount;
    for (uint32_t d = g_pool.freeHead; d != kPoolNil; d = PoolDescriptorAt(d)->next) {
        view.freeSizes.push_back(PoolDescriptorAt(d)->size);
    }
    for (uint32_t d = g_pool.spareHead; d != kPoolNil; d = PoolDescriptorAt(d)->next) {
        ++view.spareDescriptors;
    }
    view.smallArea = g_pool.smallArea;
    view.largeArea = g_pool.largeArea;
    view.regionEnd = g_pool.largeEnd;
    return view;
}

void PoolGroupBits(int32_t group, unsigned char* used, unsigned char* continuation) {
    const bool inside = g_pool.raw != nullptr && group >= 0 && group < g_pool.groupCount;
    if (used != nullptr) {
        *used = inside ? g_pool.bitmap[2 * group] : 0;
    }
    if (continuation != nullptr) {
        *continuation = inside ? g_pool.bitmap[2 * group + 1] : 0;
    }
}

const char* PoolCheck() {
    if (g_pool.raw == nullptr) {
        return nullptr;
    }
    for (int32_t g = 0; g < g_pool.groupCount; ++g) {
        const unsigned used = g_pool.bitmap[2 * g];
        const unsigned cont = g_pool.bitmap[2 * g + 1];
        if ((cont & ~used) != 0) {
            return "continuation bit on a free unit";
        }
        // A unit that continues leads into a used unit.
        const unsigned nextUsed =
            (used << 1) | (g + 1 < g_pool.groupCount ? g_pool.bitmap[2 * g + 2] >> 7 : 0);
        if ((cont & ~nextUsed & 0xFFu) != 0) {
            return "run continues into a free unit";
        }
    }
    return LargeCheck();
}

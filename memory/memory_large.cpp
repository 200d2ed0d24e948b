// Large-block area: requests above 100 bytes.
//
// The area is tiled by blocks, each a 16-byte header and a payload whose size
// is a multiple of 16, chained to their neighbours by address. Every free block
// has a descriptor on the free list, kept largest first, so a request only ever
// looks at the head: it takes that block whole or cuts the request from its
// high end. A freed block merges with free neighbours, keeping the lower
// header. Unused descriptors wait on the spare list.
#include "memory/memory_pool_local.h"

#include "platform/platform.h"

// ---- descriptor lists -------------------------------------------------------

static void ListUnlink(uint32_t& head, uint32_t d) {
    PoolDescriptor* desc = PoolDescriptorAt(d);
    if (desc->prev != kPoolNil) {
        PoolDescriptorAt(desc->prev)->next = desc->next;
    } else {
        head = desc->next;
    }
    if (desc->next != kPoolNil) {
        PoolDescriptorAt(desc->next)->prev = desc->prev;
    }
    desc->next = kPoolNil;
    desc->prev = kPoolNil;
}

// Links d in front of `before`, or at the tail after `tail` when before is nil.
static void ListLinkBefore(uint32_t& head, uint32_t d, uint32_t before, uint32_t tail) {
    PoolDescriptor* desc = PoolDescriptorAt(d);
    desc->next = before;
    desc->prev = before != kPoolNil ? PoolDescriptorAt(before)->prev : tail;
    if (desc->prev != kPoolNil) {
        PoolDescriptorAt(desc->prev)->next = d;
    } else {
        head = d;
    }
    if (before != kPoolNil) {
        PoolDescriptorAt(before)->prev = d;
    }
}

static void SparePush(uint32_t d) {
    PoolDescriptor* desc = PoolDescriptorAt(d);
    desc->size = 0;
    desc->block = kPoolNil;
    desc->prev = kPoolNil;
    desc->next = g_pool.spareHead;
    if (g_pool.spareHead != kPoolNil) {
        PoolDescriptorAt(g_pool.spareHead)->prev = d;
    }
    g_pool.spareHead = d;
}

// Links d into the free list at its place from the head: in front of the
// first descriptor (at or after `from`) that passes `stop`, else at the tail.
template <typename Stop> static void FreeInsertFrom(uint32_t d, uint32_t from, uint32_t tail, Stop stop) {
    uint32_t at = from;
    while (at != kPoolNil && !stop(PoolDescriptorAt(at)->size)) {
        tail = at;
        at = PoolDescriptorAt(at)->next;
    }
    ListLinkBefore(g_pool.freeHead, d, at, tail);
}

// Insertion: in front of the first descriptor that is not larger.
static void FreeInsert(uint32_t d) {
    const uint32_t size = PoolDescriptorAt(d)->size;
    FreeInsertFrom(d, g_pool.freeHead, kPoolNil, [size](uint32_t other) { return other <= size; });
}

// Puts d back in order after its size changed. It stays only while its
// predecessor is larger and its successor smaller; a neighbour of equal size
// moves it, so that a block that changed goes in front of its equals when it
// grew and behind them when it shrank.
static void FreeReposition(uint32_t d) {
    const PoolDescriptor* desc = PoolDescriptorAt(d);
    const uint32_t size = desc->size;
    if (desc->prev != kPoolNil && PoolDescriptorAt(desc->prev)->size <= size) {
        ListUnlink(g_pool.freeHead, d);
        FreeInsert(d);
    } else if (desc->next != kPoolNil && PoolDescriptorAt(desc->next)->size >= size) {
        const uint32_t from = desc->next;
        ListUnlink(g_pool.freeHead, d);
        FreeInsertFrom(d, from, PoolDescriptorAt(from)->prev,
                       [size](uint32_t other) { return other < size; });
    }
}

// ---- blocks -----------------------------------------------------------------

static void SetBlockSize(PoolBlock* b, uint32_t size, bool used) {
    b->sizeAndUsed = size * 2 + (used ? 1u : 0u);
}

void LargeReset() {
    g_pool.freeHead = kPoolNil;
    if (g_pool.largeEnd - g_pool.largeArea < static_cast<ptrdiff_t>(kPoolHeaderSize)) {
        return;
    }
    const uint32_t first = PoolOffsetOf(g_pool.largeArea);
    PoolBlock* block = PoolBlockAt(first);
    SetBlockSize(block, static_cast<uint32_t>(g_pool.largeEnd - g_pool.largeArea) - kPoolHeaderSize, false);
    block->prev = kPoolNil;
    block->next = kPoolNil;
    const uint32_t d = g_pool.spareHead;
    ListUnlink(g_pool.spareHead, d);
    PoolDescriptor* desc = PoolDescriptorAt(d);
    desc->size = PoolBlockSize(block);
    desc->block = first;
    block->descriptor = d;
    FreeInsert(d);
}

void* LargeAlloc(uint32_t bytes) {
    if (g_pool.freeHead == kPoolNil) {
        return nullptr;
    }
    // 64-bit so that a request near 4 GiB cannot wrap to a small size.
    const uint64_t size =
        (static_cast<uint64_t>(bytes) + kPoolAlign - 1) & ~static_cast<uint64_t>(kPoolAlign - 1);
    const uint32_t d = g_pool.freeHead;
    PoolDescriptor* desc = PoolDescriptorAt(d);
    if (desc->size < size) {
        return nullptr;
    }
    const uint32_t freeOffset = desc->block;
    PoolBlock* freeBlock = PoolBlockAt(freeOffset);
    if (desc->size == size) {
        SetBlockSize(freeBlock, desc->size, true);
        freeBlock->descriptor = kPoolNil;
        ListUnlink(g_pool.freeHead, d);
        SparePush(d);
        return reinterpret_cast<unsigned char*>(freeBlock) + kPoolHeaderSize;
    }
    // Cut from the high end: the new payload ends where the free one ended.
    const uint32_t size32 = static_cast<uint32_t>(size);
    const uint32_t cutOffset = freeOffset + desc->size - size32;
    PoolBlock* cut = PoolBlockAt(cutOffset);
    SetBlockSize(cut, size32, true);
    cut->prev = freeOffset;
    cut->next = freeBlock->next;
    cut->descriptor = kPoolNil;
    if (freeBlock->next != kPoolNil) {
        PoolBlockAt(freeBlock->next)->prev = cutOffset;
    }
    freeBlock->next = cutOffset;
    desc->size -= size32 + kPoolHeaderSize;
    SetBlockSize(freeBlock, desc->size, false);
    FreeReposition(d);
    return reinterpret_cast<unsigned char*>(cut) + kPoolHeaderSize;
}

bool LargeIsLiveBlock(const void* p) {
    const unsigned char* c = static_cast<const unsigned char*>(p);
    if (c <= g_pool.largeArea || c > g_pool.largeEnd || (c - g_pool.largeArea) % kPoolAlign != 0) {
        return false;
    }
    const PoolBlock* b = reinterpret_cast<const PoolBlock*>(c - kPoolHeaderSize);
    // c lies inside the area, so the room after it is not negative.
    const size_t room = static_cast<size_t>(g_pool.largeEnd - c);
    if (!PoolBlockUsed(b) || b->descriptor != kPoolNil || PoolBlockSize(b) > room) {
        return false;
    }
    // A stray pointer into a payload would rarely find neighbours that link
    // back to it; a real block always does.
    const uint32_t self = PoolOffsetOf(b);
    const uint32_t first = PoolOffsetOf(g_pool.largeArea);
    const uint32_t limit = PoolOffsetOf(g_pool.largeEnd) - kPoolHeaderSize;
    if (b->prev == kPoolNil) {
        if (self != first) {
            return false;
        }
    } else if (b->prev < first || b->prev >= self || (b->prev - first) % kPoolAlign != 0 ||
               PoolBlockAt(b->prev)->next != self) {
        return false;
    }
    const uint32_t end = self + kPoolHeaderSize + PoolBlockSize(b);
    if (b->next == kPoolNil) {
        return c + PoolBlockSize(b) == g_pool.largeEnd;
    }
    return b->next == end && end <= limit && PoolBlockAt(b->next)->prev == self;
}

uint32_t LargePayloadSize(const void* p) {
    return PoolBlockSize(
        reinterpret_cast<const PoolBlock*>(static_cast<const unsigned char*>(p) - kPoolHeaderSize));
}

// `low` swallows its upper neighbour `high`; both are adjacent.
static void Absorb(PoolBlock* low, PoolBlock* high) {
    SetBlockSize(low, PoolBlockSize(low) + PoolBlockSize(high) + kPoolHeaderSize, PoolBlockUsed(low));
    low->next = high->next;
    if (high->next != kPoolNil) {
        PoolBlockAt(high->next)->prev = PoolOffsetOf(low);
    }
}

void LargeFree(void* p) {
    uint32_t current = PoolOffsetOf(static_cast<unsigned char*>(p) - kPoolHeaderSize);
    PoolBlock* block = PoolBlockAt(current);
    const uint32_t payload = PoolBlockSize(block);

    const bool prevFree = block->prev != kPoolNil && !PoolBlockUsed(PoolBlockAt(block->prev));
    const bool nextFree = block->next != kPoolNil && !PoolBlockUsed(PoolBlockAt(block->next));
    if (!prevFree && !nextFree && g_pool.spareHead == kPoolNil) {
        // Every descriptor already describes a free block and this one cannot
        // merge: it stays marked in use (lost until the pool is initialised
        // again) rather than becoming a free block nobody can find.
        PlatformDebugPrintf("Memory pool: no spare descriptor, block of %u bytes not freed\n", payload);
        return;
    }

    SetBlockSize(block, payload, false);
    block->descriptor = kPoolNil;
    if (prevFree) {
        const uint32_t lower = block->prev;
        Absorb(PoolBlockAt(lower), block);
        current = lower;
        block = PoolBlockAt(current);
        PoolDescriptorAt(block->descriptor)->size = PoolBlockSize(block);
        FreeReposition(block->descriptor);
    }
    if (nextFree) {
        PoolBlock* upper = PoolBlockAt(block->next);
        const uint32_t upperDesc = upper->descriptor;
        Absorb(block, upper);
        if (block->descriptor != kPoolNil) {
            ListUnlink(g_pool.freeHead, upperDesc);
            SparePush(upperDesc);
        } else {
            block->descriptor = upperDesc;
            PoolDescriptorAt(upperDesc)->block = current;
        }
        PoolDescriptorAt(block->descriptor)->size = PoolBlockSize(block);
        FreeReposition(block->descriptor);
    }
    if (!prevFree && !nextFree) {
        const uint32_t d = g_pool.spareHead;
        ListUnlink(g_pool.spareHead, d);
        PoolDescriptor* desc = PoolDescriptorAt(d);
        desc->size = payload;
        desc->block = current;
        block->descriptor = d;
        FreeInsert(d);
    }
}

// ---- consistency ------------------------------------------------------------

static bool ValidDescriptor(uint32_t d) {
    return d != kPoolNil && d < kPoolTableSize && d % 16 == 0;
}

// Walks a descriptor list; counts its members, checks the back links and,
// for the free list, the order and the link to the described block.
static const char* CheckList(uint32_t head, bool freeList, int32_t* count) {
    uint32_t prev = kPoolNil;
    *count = 0;
    for (uint32_t d = head; d != kPoolNil; d = PoolDescriptorAt(d)->next) {
        if (!ValidDescriptor(d) || ++*count > kPoolDescriptorCount) {
            return "descriptor list leaves the table or loops";
        }
        const PoolDescriptor* desc = PoolDescriptorAt(d);
        if (desc->prev != prev) {
            return "descriptor back link broken";
        }
        if (freeList) {
            if (prev != kPoolNil && PoolDescriptorAt(prev)->size < desc->size) {
                return "free list out of order";
            }
            if (desc->block == kPoolNil || PoolBlockAt(desc->block)->descriptor != d ||
                PoolBlockSize(PoolBlockAt(desc->block)) != desc->size) {
                return "free descriptor does not match its block";
            }
        }
        prev = d;
    }
    return nullptr;
}

const char* LargeCheck() {
    int32_t freeCount = 0;
    int32_t spareCount = 0;
    if (const char* fault = CheckList(g_pool.freeHead, true, &freeCount)) {
        return fault;
    }
    if (const char* fault = CheckList(g_pool.spareHead, false, &spareCount)) {
        return fault;
    }
    if (freeCount + spareCount != kPoolDescriptorCount) {
        return "descriptors lost from both lists";
    }
    int32_t freeBlocks = 0;
    uint32_t prev = kPoolNil;
    bool prevFree = false;
    const unsigned char* at = g_pool.largeArea;
    while (g_pool.largeEnd - at >= static_cast<ptrdiff_t>(kPoolHeaderSize)) {
        const PoolBlock* b = reinterpret_cast<const PoolBlock*>(at);
        const unsigned char* end = at + kPoolHeaderSize + PoolBlockSize(b);
        if (b->prev != prev || end > g_pool.largeEnd) {
            return "block chain broken";
        }
        if (b->next != (end == g_pool.largeEnd ? kPoolNil : PoolOffsetOf(end))) {
            return "block next link broken";
        }
        const bool isFree = !PoolBlockUsed(b);
        if (isFree && prevFree) {
            return "two free neighbours not merged";
        }
        if (isFree != (b->descriptor != kPoolNil)) {
            return "block descriptor does not match its state";
        }
        if (isFree) {
            if (!ValidDescriptor(b->descriptor) ||
                PoolDescriptorAt(b->descriptor)->block != PoolOffsetOf(at)) {
                return "free block's descriptor points elsewhere";
            }
            ++freeBlocks;
        }
        prevFree = isFree;
        prev = PoolOffsetOf(at);
        at = end;
    }
    if (at != g_pool.largeEnd) {
        return "blocks do not tile the large area";
    }
    if (freeBlocks != freeCount) {
        return "free blocks and free list disagree";
    }
    return nullptr;
}

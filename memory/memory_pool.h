// Memory pools: the one region from which all long-lived content is carved.
//
// PoolInit takes one region from the system and lays out a descriptor table, a
// bitmap, a small-block area (requests up to 100 bytes, in 2-byte units found
// by a bitmap scan) and a large-block area (requests above 100 bytes, in
// 16-byte-aligned blocks with 16-byte headers, cut from the high end of the
// largest free block; freed blocks merge with free neighbours). The region is
// never grown; PoolRelease gives it back at process exit.
//
// A request that cannot be met writes "Memoria esaurita! Aumentare le
// richieste.\n" to the debugger output and yields null. Single-threaded.
#pragma once

#include <cstdint> // int32_t, uint32_t
#include <vector>  // PoolView

constexpr int32_t kPoolDescriptorCount = 930;
constexpr int32_t kPoolDefaultSmallSize = 19968;
constexpr uint32_t kPoolSmallLimit = 100; // largest request served by the small area

// Sets the small-area size in bytes (a multiple of 16) for the next PoolInit;
// a remainder is dropped and a negative size counts as 0.
void PoolSetSmallSize(int32_t bytes);

// Reserves the region (rounded up to 16) and lays it out; registers
// PoolRelease for process exit (once). Returns 1. A pool that is already
// initialised is emptied first; its region is kept when the rounded size is
// the same and given back otherwise. Returns 0 with the exhaustion message, and
// leaves the pool empty, when the heap refuses or the region cannot hold the
// descriptor table, the bitmap and the small area.
int PoolInit(int32_t totalBytes);

// Pointer to at least `bytes` bytes, or null with the message. Released with
// PoolFree. A 0-byte request gets a block of its own (one 2-byte unit).
void* PoolAlloc(uint32_t bytes);

// Returns a block of this pool. Null, pointers that are not the start of a live
// block and blocks already freed are ignored. A large block that could only
// be listed with a 931st descriptor stays in use and a message says so.
void PoolFree(void* block);

// Allocates `bytes`, copies what fits of the old block's contents, frees the old
// block (always, also when the new allocation failed). Returns the new block or
// null. Null acts as PoolAlloc; a negative size counts as 0; a pointer that is
// not a live block gives null and changes nothing.
void* PoolRealloc(void* block, int32_t bytes);

// Gives the region back to the system; the pool can be initialised again.
void PoolRelease();

// Read-only view of the pool's bookkeeping, for tests and tools.
struct PoolView {
    int32_t groupCount;              // 16-byte groups in the small area
    std::vector<uint32_t> freeSizes; // free list, head first
    int32_t spareDescriptors;        // descriptors in the spare list
    const unsigned char* smallArea;  // first byte of the small area
    const unsigned char* largeArea;  // first byte of the large area
    const unsigned char* regionEnd;  // end of the large area
};

// Snapshot of the pool's lists; all zero when the pool is not initialised.
PoolView PoolInspect();

// The used and continuation bytes of small-area group `group` (0 when out of range).
void PoolGroupBits(int32_t group, unsigned char* used, unsigned char* continuation);

// Walks every block, both lists and the bitmap. Returns null when the
// bookkeeping is consistent, else a static text naming the first fault found.
const char* PoolCheck();

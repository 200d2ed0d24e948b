// Insides of the memory pools, shared by the pool's own sources only.
//
// The region keeps its bookkeeping in records of four 32-bit words so that it
// has the same shape on every machine: where a record refers to another block
// or descriptor it holds the offset of that record from the region base (the
// first byte of the descriptor table), and kPoolNil for "none".
#pragma once

#include "memory/memory_pool.h"

#include <cstddef> // size_t
#include <cstdint> // uint32_t

constexpr uint32_t kPoolNil = 0xFFFFFFFFu;
constexpr uint32_t kPoolAlign = 16;
constexpr uint32_t kPoolHeaderSize = 16;   // large block header in front of every payload
constexpr uint32_t kPoolUnitSize = 2;      // small-area allocation unit
constexpr uint32_t kPoolUnitsPerGroup = 8; // one bitmap byte pair per 16-byte group
constexpr uint32_t kPoolGroupSize = kPoolUnitSize * kPoolUnitsPerGroup;
constexpr uint32_t kPoolMaxRunUnits = (kPoolSmallLimit + 1) / kPoolUnitSize; // the longest small run
constexpr uint32_t kPoolTableSize = kPoolDescriptorCount * 16;

extern const char kPoolExhausted[];

// Header directly in front of every large payload.
struct PoolBlock {
    uint32_t sizeAndUsed; // payload size * 2, plus 1 while in use
    uint32_t prev;        // block at the next lower address, or kPoolNil
    uint32_t next;        // block at the next higher address, or kPoolNil
    uint32_t descriptor;  // this free block's descriptor; kPoolNil while in use
};
static_assert(sizeof(PoolBlock) == kPoolHeaderSize, "block header is four 32-bit words");

// One entry of the descriptor table; lives in the free list or the spare list.
struct PoolDescriptor {
    uint32_t size;  // payload size of the free block described
    uint32_t block; // that block, or kPoolNil on the spare list
    uint32_t next;  // next descriptor in its list, or kPoolNil
    uint32_t prev;  // previous descriptor in its list, or kPoolNil
};
static_assert(sizeof(PoolDescriptor) == 16, "descriptor is four 32-bit words");

// The one pool of the program.
struct PoolState {
    unsigned char* raw = nullptr;       // the reserved region, released by PoolRelease
    size_t rawSize = 0;                 // its size in bytes
    unsigned char* base = nullptr;      // descriptor table, origin of every offset
    unsigned char* bitmap = nullptr;    // two bytes per group: used, continuation
    unsigned char* smallArea = nullptr; // groupCount groups of 16 bytes
    unsigned char* largeArea = nullptr; // first large block header
    unsigned char* largeEnd = nullptr;  // one past the last large payload byte
    uint32_t freeHead = kPoolNil;       // largest free block's descriptor
    uint32_t spareHead = kPoolNil;      // first unused descriptor
    int32_t groupCount = 0;
    // searchFrom[u]: no group below it can start a run of u units, so the
    // first-fit search for u units begins there (index 0 unused).
    int32_t searchFrom[kPoolMaxRunUnits + 1] = {};
};

extern PoolState g_pool;

// Record at `offset` from the region base; the offset must be valid.
inline PoolBlock* PoolBlockAt(uint32_t offset) {
    return reinterpret_cast<PoolBlock*>(g_pool.base + offset);
}
inline PoolDescriptor* PoolDescriptorAt(uint32_t offset) {
    return reinterpret_cast<PoolDescriptor*>(g_pool.base + offset);
}
inline uint32_t PoolOffsetOf(const void* p) {
    return static_cast<uint32_t>(static_cast<const unsigned char*>(p) - g_pool.base);
}
inline uint32_t PoolBlockSize(const PoolBlock* b) {
    return b->sizeAndUsed >> 1;
}
inline bool PoolBlockUsed(const PoolBlock* b) {
    return (b->sizeAndUsed & 1u) != 0;
}

// Small area (memory_small.cpp).
// Forgets what the searches learnt; the bitmap must be all clear.
void SmallReset();
// Run of (bytes + 1) / 2 units (at least one) or null; no message.
void* SmallAlloc(uint32_t bytes);
// True when p is the first unit of a live run.
bool SmallIsRunStart(const void* p);
// Bytes of the live run starting at p (p must pass SmallIsRunStart).
uint32_t SmallRunBytes(const void* p);
// Clears the run starting at p; p must pass SmallIsRunStart.
void SmallFree(void* p);

// Large area (memory_large.cpp).
// Lays the whole large area out as one free block (none when it is empty).
void LargeReset();
// Payload of at least `bytes` cut from the largest free block, or null; no message.
void* LargeAlloc(uint32_t bytes);
// True when p is the payload of a large block in use.
bool LargeIsLiveBlock(const void* p);
// Payload size of the live block p.
uint32_t LargePayloadSize(const void* p);
// Frees the live block p and merges it with free neighbours.
void LargeFree(void* p);
// First fault of the block chain or the lists, or null.
const char* LargeCheck();

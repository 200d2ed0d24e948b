// Small-block area: requests of at most 100 bytes in runs of 2-byte units.
//
// Group g of the area owns bitmap bytes 2g (used) and 2g + 1 (continuation).
// Bit 7 stands for the group's lowest unit, bit 0 for its highest. A run sets
// the used bit of every unit and the continuation bit of every unit but its
// last, so a free needs nothing but the run's first address. Runs of fewer
// than 8 units stay inside one group; longer runs start at unit 0 of a group
// and may spill into the following groups.
//
// Allocation is first fit from the lowest group. A loaded scene leaves the
// bottom of the area full of groups with a unit or two to spare, and every
// search used to walk past them again. So each run length remembers the
// group below which no run of that length fits (g_pool.searchFrom): a search
// starts there, an allocation only ever takes room away, and a free lowers
// the mark of every length that the freed units could now serve. The block
// found is the one a scan from group 0 finds.
#include "memory/memory_pool_local.h"

static unsigned char& UsedByte(int32_t group) {
    return g_pool.bitmap[2 * group];
}
static unsigned char& ContByte(int32_t group) {
    return g_pool.bitmap[2 * group + 1];
}
static unsigned char UnitBit(uint32_t unit) {
    return static_cast<unsigned char>(0x80u >> unit);
}

static void* UnitAddress(int32_t group, uint32_t unit) {
    return g_pool.smallArea + (static_cast<size_t>(group) * kPoolUnitsPerGroup + unit) * kPoolUnitSize;
}

// Groups a run of `units` units covers, the last one maybe in part.
constexpr int32_t RunSpan(uint32_t units) {
    return static_cast<int32_t>((units + kPoolUnitsPerGroup - 1) / kPoolUnitsPerGroup);
}

// kFirstStart[units][used]: the lowest unit at which `units` free units (1 to
// 7) follow each other in a group whose used byte is `used`, or kNoStart.
constexpr uint8_t kNoStart = 0xFF;
struct StartTable {
    uint8_t start[kPoolUnitsPerGroup][256];
};
constexpr StartTable MakeStartTable() {
    StartTable table{};
    for (uint32_t units = 1; units < kPoolUnitsPerGroup; ++units) {
        const unsigned runMask = (1u << units) - 1u;
        for (unsigned used = 0; used < 256; ++used) {
            table.start[units][used] = kNoStart;
            for (uint32_t start = 0; start + units <= kPoolUnitsPerGroup; ++start) {
                if ((used & (runMask << (kPoolUnitsPerGroup - start - units))) == 0) {
                    table.start[units][used] = static_cast<uint8_t>(start);
                    break;
                }
            }
        }
    }
    return table;
}
constexpr StartTable kFirstStart = MakeStartTable();

// No group below `group` can start a run of `units` units; nor, then, a longer run.
static void RaiseSearchFrom(uint32_t units, int32_t group) {
    // It stops at the first length whose mark is already there: raising the
    // longer ones only shortens their searches, the answer is the same.
    for (uint32_t u = units; u <= kPoolMaxRunUnits && g_pool.searchFrom[u] < group; ++u) {
        g_pool.searchFrom[u] = group;
    }
}

void SmallReset() {
    for (int32_t& from : g_pool.searchFrom) {
        from = 0;
    }
}

// Runs of 1 to 7 units: the first group with room, the lowest start in it.
static void* AllocInGroup(uint32_t units) {
    const uint8_t* firstStart = kFirstStart.start[units];
    for (int32_t g = g_pool.searchFrom[units]; g < g_pool.groupCount; ++g) {
        const unsigned char used = UsedByte(g);
        const uint32_t start = firstStart[used];
        if (start == kNoStart) {
            continue;
        }
        const unsigned shift = kPoolUnitsPerGroup - start - units;
        const unsigned char mask = static_cast<unsigned char>(((1u << units) - 1u) << shift);
        const unsigned char last = static_cast<unsigned char>(1u << shift);
        UsedByte(g) = static_cast<unsigned char>(used | mask);
        ContByte(g) = static_cast<unsigned char>((ContByte(g) & ~mask) | (mask & ~last));
        RaiseSearchFrom(units, g);
        return UnitAddress(g, start);
    }
    RaiseSearchFrom(units, g_pool.groupCount);
    return nullptr;
}

// Runs of 8 units or more: `full` empty groups, then the first `rest` units of
// the group after them.
static void* AllocAcrossGroups(uint32_t units) {
    const int32_t full = static_cast<int32_t>(units / kPoolUnitsPerGroup);
    const uint32_t rest = units % kPoolUnitsPerGroup;
    const int32_t span = RunSpan(units);
    const unsigned char restMask = static_cast<unsigned char>(0xFF00u >> rest);
    int32_t g = g_pool.searchFrom[units];
    while (g <= g_pool.groupCount - span) {
        int32_t busy = -1;
        for (int32_t j = 0; j < full && busy < 0; ++j) {
            if (UsedByte(g + j) != 0) {
                busy = g + j;
            }
        }
        if (busy < 0 && rest > 0 && (UsedByte(g + full) & restMask) != 0) {
            busy = g + full;
        }
        if (busy >= 0) {
            // No candidate can start at or before the group that failed.
            g = busy + 1;
            continue;
        }
        for (int32_t j = 0; j < full; ++j) {
            UsedByte(g + j) = 0xFF;
            ContByte(g + j) = 0xFF;
        }
        if (rest > 0) {
            const unsigned char last = UnitBit(rest - 1);
            UsedByte(g + full) = static_cast<unsigned char>(UsedByte(g + full) | restMask);
            ContByte(g + full) =
                static_cast<unsigned char>((ContByte(g + full) & ~restMask) | (restMask & ~last));
        } else {
            ContByte(g + full - 1) = 0xFE;
        }
        RaiseSearchFrom(units, g);
        return UnitAddress(g, 0);
    }
    // Starts past groupCount - span would run off the end of the area.
    RaiseSearchFrom(units, g_pool.groupCount);
    return nullptr;
}

void* SmallAlloc(uint32_t bytes) {
    uint32_t units = (bytes + 1) / kPoolUnitSize;
    // A zero-unit run would alias whatever block lives at the address found.
    if (units == 0) {
        units = 1;
    }
    return units < kPoolUnitsPerGroup ? AllocInGroup(units) : AllocAcrossGroups(units);
}

// Unit index of p inside the small area, or -1 when p is not a unit address.
static int64_t UnitIndex(const void* p) {
    const unsigned char* c = static_cast<const unsigned char*>(p);
    if (c < g_pool.smallArea || c >= g_pool.largeArea) {
        return -1;
    }
    const int64_t offset = c - g_pool.smallArea;
    if (offset % kPoolUnitSize != 0 || offset >= static_cast<int64_t>(g_pool.groupCount) * kPoolGroupSize) {
        return -1;
    }
    return offset / kPoolUnitSize;
}

bool SmallIsRunStart(const void* p) {
    const int64_t unit = UnitIndex(p);
    if (unit < 0) {
        return false;
    }
    const int32_t g = static_cast<int32_t>(unit / kPoolUnitsPerGroup);
    const uint32_t k = static_cast<uint32_t>(unit % kPoolUnitsPerGroup);
    if ((UsedByte(g) & UnitBit(k)) == 0) {
        return false;
    }
    if (unit == 0) {
        return true;
    }
    // The unit before a run's first unit never continues into it.
    const int32_t pg = static_cast<int32_t>((unit - 1) / kPoolUnitsPerGroup);
    const uint32_t pk = static_cast<uint32_t>((unit - 1) % kPoolUnitsPerGroup);
    return (ContByte(pg) & UnitBit(pk)) == 0;
}

uint32_t SmallRunBytes(const void* p) {
    int64_t unit = UnitIndex(p);
    const int64_t unitCount = static_cast<int64_t>(g_pool.groupCount) * kPoolUnitsPerGroup;
    uint32_t units = 0;
    while (unit >= 0 && unit < unitCount) {
        ++units;
        const int32_t g = static_cast<int32_t>(unit / kPoolUnitsPerGroup);
        if ((ContByte(g) & UnitBit(static_cast<uint32_t>(unit % kPoolUnitsPerGroup))) == 0) {
            break;
        }
        ++unit;
    }
    return units * kPoolUnitSize;
}

void SmallFree(void* p) {
    const int64_t unit = UnitIndex(p);
    if (unit < 0) {
        return;
    }
    int32_t g = static_cast<int32_t>(unit / kPoolUnitsPerGroup);
    uint32_t k = static_cast<uint32_t>(unit % kPoolUnitsPerGroup);
    // A run of u units starting up to RunSpan(u) - 1 groups below the first
    // freed unit may reach into the units given back.
    for (uint32_t u = 1; u <= kPoolMaxRunUnits; ++u) {
        const int32_t lowest = g - RunSpan(u) + 1;
        const int32_t from = lowest > 0 ? lowest : 0;
        if (g_pool.searchFrom[u] > from) {
            g_pool.searchFrom[u] = from;
        }
    }
    // Whole groups first: a run that starts at unit 0 and continues through
    // unit 7 owns the group outright.
    if (k == 0) {
        while (g < g_pool.groupCount && ContByte(g) == 0xFF) {
            UsedByte(g) = 0;
            ContByte(g) = 0;
            ++g;
        }
    }
    while (g < g_pool.groupCount) {
        const unsigned char bit = UnitBit(k);
        UsedByte(g) = static_cast<unsigned char>(UsedByte(g) & ~bit);
        if ((ContByte(g) & bit) == 0) {
            return;
        }
        ContByte(g) = static_cast<unsigned char>(ContByte(g) & ~bit);
        if (++k == kPoolUnitsPerGroup) {
            k = 0;
            ++g;
        }
    }
}

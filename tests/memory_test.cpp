// Memory pools: layout, the small-area bitmap, the large-block chain and its
// free list, exhaustion, reallocation and the handling of bad pointers.
#include "memory/memory_pool.h"
#include "memory/memory_pool_local.h" // block headers, to check which descriptor survives a merge

#include "tests/support/debug_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kExhausted = "Memoria esaurita! Aumentare le richieste.\n";

class PoolTest : public ::testing::Test {
  protected:
    void TearDown() override {
        PoolRelease();
        PoolSetSmallSize(kPoolDefaultSmallSize);
    }

    static void Init(int32_t smallBytes, int32_t totalBytes) {
        PoolSetSmallSize(smallBytes);
        ASSERT_EQ(PoolInit(totalBytes), 1);
    }

    static std::pair<int, int> Bits(int32_t group) {
        unsigned char used = 0;
        unsigned char cont = 0;
        PoolGroupBits(group, &used, &cont);
        return {used, cont};
    }

    static ptrdiff_t SmallOffset(const void* p) {
        return static_cast<const unsigned char*>(p) - PoolInspect().smallArea;
    }

    static uint32_t LargestFree() {
        const PoolView view = PoolInspect();
        return view.freeSizes.empty() ? 0 : view.freeSizes.front();
    }

    static uint32_t FullLargePayload() {
        const PoolView view = PoolInspect();
        return static_cast<uint32_t>(view.regionEnd - view.largeArea) - kPoolHeaderSize;
    }
};

using Group = std::pair<int, int>;

// ---- layout -----------------------------------------------------------------

TEST_F(PoolTest, ShellNumbersGiveTheDocumentedLayout) {
    Init(200000, 20000000);
    const PoolView view = PoolInspect();
    EXPECT_EQ(view.groupCount, 12500);
    EXPECT_EQ(view.largeArea - view.smallArea, 200000);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(view.smallArea) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(view.regionEnd) % 16, 0u);
    ASSERT_EQ(view.freeSizes.size(), 1u);
    EXPECT_EQ(view.freeSizes[0], FullLargePayload());
    // Close to 19.76 million bytes: 20000000 less table, bitmap, small area.
    EXPECT_GT(view.freeSizes[0], 19759000u);
    EXPECT_LT(view.freeSizes[0], 19761000u);
    EXPECT_EQ(view.spareDescriptors, kPoolDescriptorCount - 1);
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, DefaultSmallSizeIsUsedWhenNeverSet) {
    ASSERT_EQ(PoolInit(100000), 1);
    EXPECT_EQ(PoolInspect().groupCount, kPoolDefaultSmallSize / 16);
}

TEST_F(PoolTest, SmallSizeIsCutToWholeGroups) {
    const struct {
        int32_t set;
        int32_t groups;
    } cases[] = {{16, 1}, {17, 1}, {31, 1}, {32, 2}, {15, 0}, {0, 0}, {-16, 0}, {-1, 0}};
    for (const auto& c : cases) {
        PoolSetSmallSize(c.set);
        ASSERT_EQ(PoolInit(100000), 1);
        EXPECT_EQ(PoolInspect().groupCount, c.groups) << c.set;
        EXPECT_EQ(PoolCheck(), nullptr);
    }
}

TEST_F(PoolTest, NotInitialisedPoolRefusesWithTheMessage) {
    DebugCapture capture;
    EXPECT_EQ(PoolAlloc(10), nullptr);
    EXPECT_EQ(PoolAlloc(1000), nullptr);
    PoolFree(nullptr);
    EXPECT_EQ(capture.Joined(), kExhausted + kExhausted);
    const PoolView view = PoolInspect();
    EXPECT_EQ(view.groupCount, 0);
    EXPECT_TRUE(view.freeSizes.empty());
    EXPECT_EQ(view.smallArea, nullptr);
    EXPECT_EQ(Bits(0), Group(0, 0));
}

TEST_F(PoolTest, RegionTooSmallForItsSectionsIsRefused) {
    PoolSetSmallSize(1600);
    DebugCapture capture;
    for (int32_t total : {-1, 0, 100, 14880, 14880 + 200 + 8 + 1600 - 16}) {
        EXPECT_EQ(PoolInit(total), 0) << total;
        EXPECT_EQ(PoolAlloc(4), nullptr);
    }
    EXPECT_FALSE(capture.messages.empty());
    EXPECT_EQ(capture.messages[0], kExhausted);
}

TEST_F(PoolTest, RegionWithoutLargeAreaServesSmallRequestsOnly) {
    // Table, bitmap and small area exactly; nothing is left for large blocks.
    Init(1600, 14880 + 200 + 8 + 1600);
    EXPECT_TRUE(PoolInspect().freeSizes.empty());
    EXPECT_NE(PoolAlloc(100), nullptr);
    DebugCapture capture;
    EXPECT_EQ(PoolAlloc(101), nullptr);
    EXPECT_EQ(capture.Joined(), kExhausted);
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, InitAgainStartsFromAFreshRegion) {
    Init(1600, 100000);
    ASSERT_NE(PoolAlloc(50), nullptr);
    ASSERT_NE(PoolAlloc(5000), nullptr);
    Init(3200, 200000);
    const PoolView view = PoolInspect();
    EXPECT_EQ(view.groupCount, 200);
    ASSERT_EQ(view.freeSizes.size(), 1u);
    EXPECT_EQ(view.freeSizes[0], FullLargePayload());
    EXPECT_EQ(Bits(0), Group(0, 0));
}

// Laid out again, a pool is empty whatever it held; at the same size it
// stays in its region, at another size or after a refusal it does not.
TEST_F(PoolTest, InitAgainEmptiesAndKeepsTheRegionOnlyAtTheSameSize) {
    struct Step {
        int32_t total;
        int result;
        bool sameRegion; // kept from the step before
    };
    const Step steps[] = {{100000, 1, false}, {100000, 1, true}, {100016, 1, false},
                          {100016, 1, true},  {0, 0, false},     {100016, 1, false}};
    const unsigned char* before = nullptr;
    for (const Step& step : steps) {
        PoolSetSmallSize(1600);
        DebugCapture capture;
        ASSERT_EQ(PoolInit(step.total), step.result) << step.total;
        const PoolView view = PoolInspect();
        if (step.result == 1) {
            if (step.sameRegion) {
                EXPECT_EQ(view.smallArea, before) << step.total; // a new region may land anywhere
            }
            ASSERT_EQ(view.freeSizes.size(), 1u);
            EXPECT_EQ(Bits(0), Group(0, 0));
            ASSERT_NE(PoolAlloc(50), nullptr);
            ASSERT_NE(PoolAlloc(5000), nullptr);
        } else {
            EXPECT_EQ(view.groupCount, 0);
        }
        before = view.smallArea;
    }
}

TEST_F(PoolTest, ReleaseEmptiesThePool) {
    Init(1600, 100000);
    PoolRelease();
    PoolRelease();
    EXPECT_EQ(PoolInspect().groupCount, 0);
    DebugCapture capture;
    EXPECT_EQ(PoolAlloc(8), nullptr);
    EXPECT_EQ(capture.Joined(), kExhausted);
}

// ---- small area -------------------------------------------------------------

TEST_F(PoolTest, HundredBytesAreSmallAndHundredAndOneLarge) {
    Init(1600, 100000);
    const uint32_t before = LargestFree();
    void* small = PoolAlloc(100);
    const PoolView view = PoolInspect();
    EXPECT_GE(static_cast<unsigned char*>(small), view.smallArea);
    EXPECT_LT(static_cast<unsigned char*>(small), view.largeArea);
    EXPECT_EQ(LargestFree(), before);
    void* large = PoolAlloc(101);
    EXPECT_GT(static_cast<unsigned char*>(large), view.largeArea);
    EXPECT_EQ(LargestFree(), before - 112 - 16);
    EXPECT_EQ(static_cast<unsigned char*>(large) + 112, view.regionEnd);
}

TEST_F(PoolTest, SmallRequestsTakeDocumentedBits) {
    Init(1600, 100000);
    void* a = PoolAlloc(6);
    EXPECT_EQ(SmallOffset(a), 0);
    EXPECT_EQ(Bits(0), Group(0xE0, 0xC0));
    void* b = PoolAlloc(4);
    EXPECT_EQ(SmallOffset(b), 6);
    EXPECT_EQ(Bits(0), Group(0xF8, 0xD0));
    void* c = PoolAlloc(20);
    EXPECT_EQ(SmallOffset(c), 16);
    EXPECT_EQ(Bits(1), Group(0xFF, 0xFF));
    EXPECT_EQ(Bits(2), Group(0xC0, 0x80));
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, RequestSizesMapToUnits) {
    // bytes -> (used byte, continuation byte) of group 0 in a fresh pool.
    const struct {
        uint32_t bytes;
        int used;
        int cont;
    } cases[] = {{0, 0x80, 0x00},  {1, 0x80, 0x00},  {2, 0x80, 0x00},  {3, 0xC0, 0x80},  {4, 0xC0, 0x80},
                 {13, 0xFE, 0xFC}, {14, 0xFE, 0xFC}, {15, 0xFF, 0xFE}, {16, 0xFF, 0xFE}, {17, 0xFF, 0xFF}};
    for (const auto& c : cases) {
        Init(1600, 100000);
        void* p = PoolAlloc(c.bytes);
        ASSERT_NE(p, nullptr) << c.bytes;
        EXPECT_EQ(SmallOffset(p), 0) << c.bytes;
        EXPECT_EQ(Bits(0), Group(c.used, c.cont)) << c.bytes;
        EXPECT_EQ(PoolCheck(), nullptr) << c.bytes;
    }
}

TEST_F(PoolTest, ZeroByteRequestsNeverShareMemory) {
    Init(1600, 100000);
    void* a = PoolAlloc(0);
    void* b = PoolAlloc(0);
    void* c = PoolAlloc(2);
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(SmallOffset(b), 2);
    EXPECT_EQ(SmallOffset(c), 4);
    EXPECT_EQ(Bits(0), Group(0xE0, 0x00));
    PoolFree(a);
    EXPECT_EQ(Bits(0), Group(0x60, 0x00));
}

TEST_F(PoolTest, FourteenBytesFitAtUnitZeroOrOne) {
    Init(1600, 100000);
    void* first = PoolAlloc(14);
    EXPECT_EQ(SmallOffset(first), 0);
    void* tail = PoolAlloc(2);
    EXPECT_EQ(SmallOffset(tail), 14);
    PoolFree(first);
    void* head = PoolAlloc(2);
    EXPECT_EQ(SmallOffset(head), 0);
    void* again = PoolAlloc(14);
    EXPECT_EQ(SmallOffset(again), 16) << "units 1-7 hold only 6 free units now";
    PoolFree(tail);
    PoolFree(again);
    void* fits = PoolAlloc(14);
    EXPECT_EQ(SmallOffset(fits), 2);
    EXPECT_EQ(Bits(0), Group(0xFF, 0x7E));
}

TEST_F(PoolTest, FifteenBytesStartAtUnitZeroOfAnEmptyGroup) {
    Init(1600, 100000);
    void* one = PoolAlloc(2);
    EXPECT_EQ(SmallOffset(one), 0);
    void* fifteen = PoolAlloc(15);
    EXPECT_EQ(SmallOffset(fifteen), 16);
    EXPECT_EQ(Bits(1), Group(0xFF, 0xFE));
    // Group 0 has 7 free units but none of them can start an 8-unit run.
    void* seven = PoolAlloc(14);
    EXPECT_EQ(SmallOffset(seven), 2);
}

TEST_F(PoolTest, TwoByteRequestsAreConsecutiveAndFreeIndependently) {
    Init(1600, 100000);
    void* a = PoolAlloc(2);
    void* b = PoolAlloc(2);
    EXPECT_EQ(static_cast<unsigned char*>(b) - static_cast<unsigned char*>(a), 2);
    PoolFree(a);
    EXPECT_EQ(Bits(0), Group(0x40, 0x00));
    void* c = PoolAlloc(2);
    EXPECT_EQ(c, a);
}

TEST_F(PoolTest, RunsAcrossGroupsFreeCompletely) {
    Init(1600, 100000);
    void* before = PoolAlloc(14); // units 0-6 of group 0
    void* run = PoolAlloc(100);   // groups 1-6 whole, units 0-1 of group 7
    EXPECT_EQ(SmallOffset(run), 16);
    void* after = PoolAlloc(12); // units 2-7 of group 7
    EXPECT_EQ(SmallOffset(after), 7 * 16 + 4);
    EXPECT_EQ(Bits(6), Group(0xFF, 0xFF));
    EXPECT_EQ(Bits(7), Group(0xFF, 0xBE));
    PoolFree(run);
    for (int g = 1; g <= 6; ++g) {
        EXPECT_EQ(Bits(g), Group(0, 0)) << g;
    }
    EXPECT_EQ(Bits(7), Group(0x3F, 0x3E));
    EXPECT_EQ(Bits(0), Group(0xFE, 0xFC));
    PoolFree(before);
    PoolFree(after);
    for (int g = 0; g < 100; ++g) {
        ASSERT_EQ(Bits(g), Group(0, 0)) << g;
    }
}

TEST_F(PoolTest, RunOfWholeGroupsEndsWithClearLastContinuation) {
    Init(1600, 100000);
    void* p = PoolAlloc(32);
    EXPECT_EQ(Bits(0), Group(0xFF, 0xFF));
    EXPECT_EQ(Bits(1), Group(0xFF, 0xFE));
    void* q = PoolAlloc(2);
    EXPECT_EQ(SmallOffset(q), 32);
    PoolFree(p);
    EXPECT_EQ(Bits(0), Group(0, 0));
    EXPECT_EQ(Bits(1), Group(0, 0));
    EXPECT_EQ(Bits(2), Group(0x80, 0));
}

TEST_F(PoolTest, FailedCandidateResumesAfterTheBlockingGroup) {
    Init(1600, 100000);
    std::vector<void*> keep;
    // Block group 2 with one unit; a 40-byte run (20 units: 2 groups + 4)
    // cannot use groups 0-2, and group 3 onwards is free.
    void* g0 = PoolAlloc(16);
    void* g1 = PoolAlloc(16);
    void* g2 = PoolAlloc(2);
    PoolFree(g0);
    PoolFree(g1);
    void* run = PoolAlloc(40);
    EXPECT_EQ(SmallOffset(run), 3 * 16);
    EXPECT_EQ(Bits(5), Group(0xF0, 0xE0));
    (void)g2;
}

TEST_F(PoolTest, FreeingABlockerReopensTheRunsThatReachedIt) {
    // A run spanning `span` groups is kept from group 0 by one unit at the
    // start of group span - 1; once that unit is freed, the same request must
    // start at group 0 again, below the group that was freed.
    struct Case {
        uint32_t bytes;
        int span;
    };
    const Case cases[] = {{16, 1}, {20, 2}, {32, 2}, {40, 3}, {100, 7}};
    for (const Case& c : cases) {
        Init(1600, 100000);
        std::vector<void*> fillers;
        for (int g = 0; g + 1 < c.span; ++g) {
            fillers.push_back(PoolAlloc(16));
        }
        void* blocker = PoolAlloc(2);
        ASSERT_EQ(SmallOffset(blocker), (c.span - 1) * 16) << c.bytes;
        for (void* f : fillers) {
            PoolFree(f);
        }
        EXPECT_EQ(SmallOffset(PoolAlloc(c.bytes)), c.span * 16) << c.bytes;
        PoolFree(blocker);
        EXPECT_EQ(SmallOffset(PoolAlloc(c.bytes)), 0) << c.bytes;
    }
}

TEST_F(PoolTest, ScansStayInsideTheGroups) {
    // One group: 16 bytes fit, 17 do not even though the large area follows.
    Init(16, 100000);
    DebugCapture capture;
    EXPECT_EQ(PoolAlloc(17), nullptr);
    EXPECT_EQ(PoolAlloc(20), nullptr);
    void* whole = PoolAlloc(16);
    EXPECT_EQ(SmallOffset(whole), 0);
    EXPECT_EQ(PoolAlloc(0), nullptr);
    EXPECT_EQ(capture.messages.size(), 3u);
    // Six groups cannot hold 100 bytes (6 groups and 2 units).
    Init(96, 100000);
    EXPECT_EQ(PoolAlloc(100), nullptr);
    EXPECT_NE(PoolAlloc(96), nullptr);
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, ShellSmallAreaFillsToItsLastGroup) {
    Init(200000, 20000000);
    // 100 bytes take 6 groups and 2 units; the next one starts a group later.
    int count = 0;
    DebugCapture capture;
    while (PoolAlloc(100) != nullptr) {
        ++count;
    }
    EXPECT_EQ(count, 12500 / 7);
    // Five groups are left at the end: exactly 80 bytes' worth.
    void* last = PoolAlloc(80);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(SmallOffset(last), (12500 - 5) * 16);
    EXPECT_EQ(Bits(12499), Group(0xFF, 0xFE));
    // What remains are the 6 free units behind each run.
    EXPECT_EQ(PoolAlloc(13), nullptr);
    EXPECT_EQ(capture.messages.size(), 2u);
    void* six = PoolAlloc(12);
    EXPECT_EQ(SmallOffset(six), 6 * 16 + 4);
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, SmallAreaExhaustionKeepsThePoolUsable) {
    Init(32, 100000);
    std::vector<void*> units;
    for (int i = 0; i < 16; ++i) {
        units.push_back(PoolAlloc(1));
        ASSERT_NE(units.back(), nullptr) << i;
    }
    DebugCapture capture;
    EXPECT_EQ(PoolAlloc(1), nullptr);
    EXPECT_EQ(capture.Joined(), kExhausted);
    EXPECT_NE(PoolAlloc(500), nullptr) << "the large area is independent";
    PoolFree(units[9]);
    EXPECT_EQ(PoolAlloc(1), units[9]);
    EXPECT_EQ(PoolAlloc(0), nullptr);
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, ZeroSmallAreaSendsEverySmallRequestToTheMessage) {
    Init(0, 100000);
    DebugCapture capture;
    EXPECT_EQ(PoolAlloc(0), nullptr);
    EXPECT_EQ(PoolAlloc(100), nullptr);
    EXPECT_EQ(capture.messages.size(), 2u);
    EXPECT_NE(PoolAlloc(101), nullptr);
}

// ---- large area -------------------------------------------------------------

TEST_F(PoolTest, LargeBlocksAreCutFromTheTopDownwards) {
    Init(1600, 100000);
    const PoolView view = PoolInspect();
    const uint32_t full = FullLargePayload();
    unsigned char* first = static_cast<unsigned char*>(PoolAlloc(200));
    unsigned char* second = static_cast<unsigned char*>(PoolAlloc(300));
    EXPECT_EQ(first + 208, view.regionEnd);
    EXPECT_EQ(second + 304 + 16, first);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(second) % 16, 0u);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{full - 208 - 16 - 304 - 16});
    PoolFree(second);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{full - 208 - 16});
    PoolFree(first);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{full});
    EXPECT_EQ(PoolInspect().spareDescriptors, kPoolDescriptorCount - 1);
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, RequestEqualToTheLargestTakesTheWholeBlock) {
    Init(1600, 100000);
    const uint32_t full = FullLargePayload();
    void* p = PoolAlloc(full);
    EXPECT_EQ(static_cast<unsigned char*>(p), PoolInspect().largeArea + 16);
    EXPECT_TRUE(PoolInspect().freeSizes.empty());
    EXPECT_EQ(PoolInspect().spareDescriptors, kPoolDescriptorCount);
    DebugCapture capture;
    EXPECT_EQ(PoolAlloc(101), nullptr);
    EXPECT_EQ(capture.Joined(), kExhausted);
    PoolFree(p);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{full});
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, RequestSixteenBelowTheLargestLeavesAnEmptyFreeBlock) {
    Init(1600, 100000);
    const uint32_t full = FullLargePayload();
    void* p = PoolAlloc(full - 16);
    EXPECT_EQ(static_cast<unsigned char*>(p), PoolInspect().largeArea + 32);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{0});
    EXPECT_EQ(PoolCheck(), nullptr);
    PoolFree(p);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{full});
}

TEST_F(PoolTest, OversizedRequestsFailWithoutWrapping) {
    Init(1600, 100000);
    DebugCapture capture;
    for (uint32_t bytes : {FullLargePayload() + 1, 0xFFFFFFF0u, 0xFFFFFFF1u, 0xFFFFFFFFu}) {
        EXPECT_EQ(PoolAlloc(bytes), nullptr) << bytes;
    }
    EXPECT_EQ(capture.messages.size(), 4u);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{FullLargePayload()});
    EXPECT_NE(PoolAlloc(FullLargePayload()), nullptr);
}

TEST_F(PoolTest, RequestAboveTheLargestFreeBlockFails) {
    Init(1600, 100000);
    void* big = PoolAlloc(FullLargePayload() - 16 - 4000); // leaves a 4000-byte free block below
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{4000});
    void* mid = PoolAlloc(2000);
    ASSERT_NE(mid, nullptr);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{4000 - 2016});
    DebugCapture capture;
    EXPECT_EQ(PoolAlloc(4000), nullptr);
    EXPECT_EQ(capture.Joined(), kExhausted);
    PoolFree(mid);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{4000});
    EXPECT_NE(PoolAlloc(4000), nullptr);
}

TEST_F(PoolTest, FreeBetweenTwoFreeBlocksKeepsTheLowerDescriptor) {
    Init(1600, 100000);
    const uint32_t full = FullLargePayload();
    unsigned char* a = static_cast<unsigned char*>(PoolAlloc(112)); // top
    unsigned char* b = static_cast<unsigned char*>(PoolAlloc(128));
    unsigned char* c = static_cast<unsigned char*>(PoolAlloc(144));
    unsigned char* d = static_cast<unsigned char*>(PoolAlloc(160)); // keeps c off the big block
    PoolFree(c);
    PoolFree(a);
    const uint32_t rest = full - 112 - 128 - 144 - 160 - 64;
    EXPECT_EQ(PoolInspect().freeSizes, (std::vector<uint32_t>{rest, 144, 112}));
    EXPECT_EQ(PoolInspect().spareDescriptors, kPoolDescriptorCount - 3);
    const uint32_t lowerDescriptor = PoolBlockAt(PoolOffsetOf(c - 16))->descriptor;
    PoolFree(b);
    EXPECT_EQ(PoolInspect().freeSizes, (std::vector<uint32_t>{rest, 144 + 128 + 112 + 32}));
    EXPECT_EQ(PoolInspect().spareDescriptors, kPoolDescriptorCount - 2);
    EXPECT_EQ(PoolBlockAt(PoolOffsetOf(c - 16))->descriptor, lowerDescriptor);
    EXPECT_EQ(PoolCheck(), nullptr);
    PoolFree(d);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{full});
}

TEST_F(PoolTest, FreeNextToAnUpperFreeBlockTakesOverItsDescriptor) {
    Init(1600, 100000);
    unsigned char* a = static_cast<unsigned char*>(PoolAlloc(112));
    unsigned char* b = static_cast<unsigned char*>(PoolAlloc(128));
    void* guard = PoolAlloc(128);
    PoolFree(a);
    const uint32_t upperDescriptor = PoolBlockAt(PoolOffsetOf(a - 16))->descriptor;
    PoolFree(b);
    EXPECT_EQ(PoolBlockAt(PoolOffsetOf(b - 16))->descriptor, upperDescriptor);
    EXPECT_EQ(PoolInspect().freeSizes[1], 112u + 128 + 16);
    EXPECT_EQ(PoolCheck(), nullptr);
    (void)guard;
}

TEST_F(PoolTest, FreeListStaysLargestFirst) {
    Init(1600, 200000);
    // Alternate kept and freed blocks of growing size so that nothing merges.
    std::vector<void*> freed;
    for (uint32_t size : {800u, 160u, 480u, 320u, 640u}) {
        freed.push_back(PoolAlloc(size));
        ASSERT_NE(PoolAlloc(112), nullptr);
    }
    for (void* p : freed) {
        PoolFree(p);
    }
    const std::vector<uint32_t> sizes = PoolInspect().freeSizes;
    ASSERT_EQ(sizes.size(), 6u);
    EXPECT_EQ(std::vector<uint32_t>(sizes.begin() + 1, sizes.end()),
              (std::vector<uint32_t>{800, 640, 480, 320, 160}));
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, ShrinkingHeadMovesBehindLargerBlocks) {
    Init(1600, 100000);
    const uint32_t full = FullLargePayload();
    // Leave a 3000-byte free block at the top, then shrink the bottom one below it.
    void* top = PoolAlloc(3000);
    void* guard = PoolAlloc(112);
    PoolFree(top);
    const uint32_t bottom = full - 3008 - 16 - 112 - 16;
    EXPECT_EQ(PoolInspect().freeSizes, (std::vector<uint32_t>{bottom, 3008}));
    void* cut = PoolAlloc(bottom - 2000 - 16);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(PoolInspect().freeSizes, (std::vector<uint32_t>{3008, 2000}));
    // The next large request comes from the top block, now the largest.
    EXPECT_EQ(PoolAlloc(3008), top);
    EXPECT_EQ(PoolCheck(), nullptr);
    (void)guard;
}

TEST_F(PoolTest, FreeThatNeedsA931stDescriptorKeepsTheBlock) {
    Init(1600, 400000);
    // 931 used blocks; freeing every other one uses up the descriptors.
    std::vector<void*> blocks;
    for (int i = 0; i < 2 * kPoolDescriptorCount + 2; ++i) {
        blocks.push_back(PoolAlloc(112));
        ASSERT_NE(blocks.back(), nullptr) << i;
    }
    for (int i = 0; i < kPoolDescriptorCount - 1; ++i) {
        PoolFree(blocks[2 * i]);
    }
    EXPECT_EQ(PoolInspect().spareDescriptors, 0);
    EXPECT_EQ(PoolInspect().freeSizes.size(), static_cast<size_t>(kPoolDescriptorCount));
    void* lost = blocks[2 * (kPoolDescriptorCount - 1)];
    {
        DebugCapture capture;
        PoolFree(lost);
        ASSERT_EQ(capture.messages.size(), 1u);
        EXPECT_NE(capture.messages[0].find("no spare descriptor"), std::string::npos);
    }
    EXPECT_EQ(PoolInspect().freeSizes.size(), static_cast<size_t>(kPoolDescriptorCount));
    EXPECT_EQ(PoolCheck(), nullptr);
    // A free that merges needs no new descriptor and hands one back.
    PoolFree(blocks[1]);
    EXPECT_EQ(PoolInspect().spareDescriptors, 1);
    // The kept block is still a live block and can be freed now.
    PoolFree(lost);
    EXPECT_EQ(PoolInspect().spareDescriptors, 0);
    EXPECT_EQ(PoolCheck(), nullptr);
    for (size_t i = 0; i < blocks.size(); ++i) {
        PoolFree(blocks[i]);
    }
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{FullLargePayload()});
}

TEST_F(PoolTest, GrowingByAMergeMovesTowardTheHead) {
    Init(1600, 100000);
    // From the top down: a 304, b 320, a guard, c 496, a guard.
    void* a = PoolAlloc(304);
    void* b = PoolAlloc(320);
    ASSERT_NE(PoolAlloc(112), nullptr);
    void* c = PoolAlloc(496);
    ASSERT_NE(PoolAlloc(112), nullptr);
    PoolFree(a);
    PoolFree(c);
    std::vector<uint32_t> sizes = PoolInspect().freeSizes;
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[1], 496u);
    EXPECT_EQ(sizes[2], 304u);
    PoolFree(b);
    sizes = PoolInspect().freeSizes;
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[1], 304u + 320 + 16);
    EXPECT_EQ(sizes[2], 496u);
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, EqualSizeGoesInFrontOfItsEqual) {
    Init(1600, 100000);
    unsigned char* first = static_cast<unsigned char*>(PoolAlloc(208));
    ASSERT_NE(PoolAlloc(112), nullptr);
    unsigned char* second = static_cast<unsigned char*>(PoolAlloc(208));
    ASSERT_NE(PoolAlloc(112), nullptr);
    PoolFree(first);
    PoolFree(second);
    const PoolDescriptor* head = PoolDescriptorAt(g_pool.freeHead);
    const PoolDescriptor* next = PoolDescriptorAt(head->next);
    EXPECT_EQ(next->block, PoolOffsetOf(second - 16));
    EXPECT_EQ(PoolDescriptorAt(next->next)->block, PoolOffsetOf(first - 16));
}

TEST_F(PoolTest, ShrunkHeadGoesBehindItsEqual) {
    Init(1600, 100000);
    const uint32_t full = FullLargePayload();
    unsigned char* a = static_cast<unsigned char*>(PoolAlloc(496));
    ASSERT_NE(PoolAlloc(112), nullptr);
    unsigned char* b = static_cast<unsigned char*>(PoolAlloc(112));
    ASSERT_NE(PoolAlloc(112), nullptr);
    PoolFree(a);
    PoolFree(b);
    const uint32_t rest = full - 496 - 3 * 112 - 4 * 16;
    ASSERT_NE(PoolAlloc(rest - 496 - 16), nullptr);
    EXPECT_EQ(PoolInspect().freeSizes, (std::vector<uint32_t>{496, 496, 112}));
    const PoolDescriptor* head = PoolDescriptorAt(g_pool.freeHead);
    EXPECT_EQ(head->block, PoolOffsetOf(a - 16));
    EXPECT_EQ(PoolDescriptorAt(head->next)->block, PoolOffsetOf(PoolInspect().largeArea));
}

TEST_F(PoolTest, DescriptorsComeFromTheLowEndOfTheTable) {
    Init(1600, 100000);
    EXPECT_EQ(g_pool.freeHead, 0u);
    EXPECT_EQ(g_pool.spareHead, 16u);
    unsigned char* a = static_cast<unsigned char*>(PoolAlloc(112));
    ASSERT_NE(PoolAlloc(112), nullptr);
    PoolFree(a);
    EXPECT_EQ(PoolBlockAt(PoolOffsetOf(a - 16))->descriptor, 16u);
    EXPECT_EQ(g_pool.spareHead, 32u);
}

// ---- reallocation -----------------------------------------------------------

void FillBytes(void* p, uint32_t bytes, unsigned char seed) {
    for (uint32_t i = 0; i < bytes; ++i) {
        static_cast<unsigned char*>(p)[i] = static_cast<unsigned char>(seed + i);
    }
}

bool HasBytes(const void* p, uint32_t bytes, unsigned char seed) {
    for (uint32_t i = 0; i < bytes; ++i) {
        if (static_cast<const unsigned char*>(p)[i] != static_cast<unsigned char>(seed + i)) {
            return false;
        }
    }
    return true;
}

TEST_F(PoolTest, ReallocCopiesWhatTheTableSays) {
    const struct {
        uint32_t from;
        int32_t to;
        uint32_t copied;
    } cases[] = {
        {200, 1000, 208}, // large to large: the old payload
        {1000, 300, 300}, // large to large: the new size
        {500, 50, 50},    // large to small
        {100, 500, 100},  // small to large: all a small block holds
        {30, 500, 30},    // small to large: only the old run, not its neighbour
        {6, 40, 6},       // small to small, growing
        {40, 6, 6},       // small to small, shrinking
        {7, 7, 8},        // small to small: the old run is whole units
    };
    for (const auto& c : cases) {
        Init(1600, 100000);
        const uint32_t full = FullLargePayload();
        void* old = PoolAlloc(c.from);
        void* neighbour = PoolAlloc(c.from);
        ASSERT_NE(neighbour, nullptr);
        FillBytes(old, c.from, 1);
        FillBytes(neighbour, c.from, 101);
        void* fresh = PoolRealloc(old, c.to);
        ASSERT_NE(fresh, nullptr) << c.from << " -> " << c.to;
        EXPECT_TRUE(HasBytes(fresh, std::min(c.copied, c.from), 1)) << c.from << " -> " << c.to;
        EXPECT_TRUE(HasBytes(neighbour, c.from, 101)) << c.from << " -> " << c.to;
        EXPECT_EQ(PoolCheck(), nullptr);
        // The old block went back: freeing the rest empties the pool.
        PoolFree(fresh);
        PoolFree(neighbour);
        EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{full}) << c.from << " -> " << c.to;
        EXPECT_EQ(Bits(0), Group(0, 0));
    }
}

TEST_F(PoolTest, ReallocFromSmallNeverCopiesTheNeighbour) {
    Init(1600, 100000);
    // Mark the large area's memory so that untouched bytes can be told apart.
    void* whole = PoolAlloc(FullLargePayload());
    std::memset(whole, 0xCC, FullLargePayload());
    PoolFree(whole);
    void* small = PoolAlloc(10);
    void* neighbour = PoolAlloc(6); // units 5 to 7, right behind the small block
    ASSERT_EQ(SmallOffset(neighbour), 10);
    FillBytes(small, 10, 1);
    FillBytes(neighbour, 6, 50);
    unsigned char* large = static_cast<unsigned char*>(PoolRealloc(small, 500));
    ASSERT_NE(large, nullptr);
    EXPECT_TRUE(HasBytes(large, 10, 1));
    for (int i = 10; i < 100; ++i) {
        ASSERT_EQ(large[i], 0xCC) << i;
    }
    EXPECT_EQ(Bits(0), Group(0x07, 0x06));
}

TEST_F(PoolTest, FailedReallocStillFreesTheOldBlock) {
    Init(32, 100000);
    const uint32_t full = FullLargePayload();
    void* large = PoolAlloc(400);
    DebugCapture capture;
    EXPECT_EQ(PoolRealloc(large, 0x7FFFFFFF), nullptr);
    EXPECT_EQ(PoolInspect().freeSizes, std::vector<uint32_t>{full});
    // Fill the small area, then ask one of its blocks to grow.
    void* first = PoolAlloc(16);
    ASSERT_NE(PoolAlloc(16), nullptr);
    EXPECT_EQ(PoolRealloc(first, 20), nullptr);
    EXPECT_EQ(Bits(0), Group(0, 0));
    EXPECT_EQ(capture.Joined(), kExhausted + kExhausted);
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST_F(PoolTest, ReallocEdgeArguments) {
    Init(1600, 100000);
    void* fromNull = PoolRealloc(nullptr, 300);
    ASSERT_NE(fromNull, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(fromNull) + 304, PoolInspect().regionEnd);
    void* small = PoolAlloc(30);
    EXPECT_EQ(SmallOffset(small), 0);
    void* negative = PoolRealloc(small, -5);
    ASSERT_NE(negative, nullptr);
    EXPECT_EQ(SmallOffset(negative), 30) << "the new unit is taken before the old run is freed";
    EXPECT_EQ(Bits(1), Group(0x01, 0x00));
    EXPECT_EQ(Bits(0), Group(0, 0));
    EXPECT_EQ(PoolCheck(), nullptr);
}

TEST(PoolExit, ReleaseRunsAtExitAfterRepeatedInits) {
    EXPECT_EXIT(
        {
            PoolSetSmallSize(1600);
            PoolInit(100000);
            PoolInit(200000);
            PoolAlloc(500);
            PoolRelease();
            PoolInit(100000);
            std::exit(PoolAlloc(20) != nullptr ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "");
}

// ---- bad pointers -----------------------------------------------------------

TEST_F(PoolTest, StrayAndRepeatedFreesAreIgnored) {
    Init(1600, 100000);
    unsigned char* small = static_cast<unsigned char*>(PoolAlloc(20));
    unsigned char* large = static_cast<unsigned char*>(PoolAlloc(400));
    unsigned char* other = static_cast<unsigned char*>(PoolAlloc(400));
    const std::vector<uint32_t> sizes = PoolInspect().freeSizes;
    int local = 0;
    const PoolView view = PoolInspect();
    void* bad[] = {nullptr,
                   &local,
                   small + 2,
                   small + 1,
                   large + 16,
                   large - 16,
                   large + 1,
                   const_cast<unsigned char*>(view.largeArea),
                   const_cast<unsigned char*>(view.regionEnd),
                   const_cast<unsigned char*>(view.smallArea) + 100};
    for (void* p : bad) {
        PoolFree(p);
        if (p != nullptr) {
            EXPECT_EQ(PoolRealloc(p, 10), nullptr);
        }
    }
    EXPECT_EQ(PoolInspect().freeSizes, sizes);
    EXPECT_EQ(Bits(0), Group(0xFF, 0xFF));
    EXPECT_EQ(Bits(1), Group(0xC0, 0x80));
    PoolFree(large);
    PoolFree(large);
    EXPECT_EQ(PoolInspect().freeSizes.size(), 2u);
    EXPECT_EQ(PoolCheck(), nullptr);
    // A payload that merely looks like a used header is not taken for one.
    const PoolBlock fake = {1, PoolOffsetOf(other - 16), PoolOffsetOf(other + 48), kPoolNil};
    std::memcpy(other + 32, &fake, sizeof fake);
    const PoolBlock fakeNext = {1, PoolOffsetOf(other + 32), kPoolNil, kPoolNil};
    std::memcpy(other + 48, &fakeNext, sizeof fakeNext);
    PoolFree(other + 48);
    EXPECT_EQ(PoolCheck(), nullptr);
    EXPECT_EQ(PoolInspect().freeSizes.size(), 2u);
}

TEST_F(PoolTest, FreedSmallRunCannotBeFreedAgainOnceReused) {
    Init(1600, 100000);
    void* a = PoolAlloc(10);
    PoolFree(a);
    void* b = PoolAlloc(4);
    void* c = PoolAlloc(4);
    EXPECT_EQ(a, b);
    EXPECT_EQ(Bits(0), Group(0xF0, 0xA0));
    PoolFree(static_cast<unsigned char*>(a) + 2); // inside b: not a run start
    EXPECT_EQ(Bits(0), Group(0xF0, 0xA0));
    (void)c;
}

} // namespace

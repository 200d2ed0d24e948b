// Memory pools under a seeded random mix of allocations, frees and
// reallocations, checked against a shadow model of the live blocks: no two
// live blocks overlap, every byte keeps what was written, and once everything
// is freed the pool is back to its fresh state.
#include "memory/memory_pool.h"

#include "tests/support/debug_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Live {
    uint32_t bytes; // requested size
    uint32_t seed;  // what the content was derived from
};

unsigned char Pattern(uint32_t seed, uint32_t i) {
    return static_cast<unsigned char>((seed * 2654435761u + i * 40503u) >> 13);
}

void Fill(unsigned char* p, const Live& live) {
    for (uint32_t i = 0; i < live.bytes; ++i) {
        p[i] = Pattern(live.seed, i);
    }
}

// Index of the first byte that differs from the pattern, or -1.
int64_t FirstDamaged(const unsigned char* p, const Live& live, uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; ++i) {
        if (p[i] != Pattern(live.seed, i)) {
            return i;
        }
    }
    return -1;
}

class PoolStress : public ::testing::TestWithParam<uint32_t> {
  protected:
    void TearDown() override {
        PoolRelease();
        PoolSetSmallSize(kPoolDefaultSmallSize);
    }

    // Sizes: mostly small, many medium, a few that strain the large area.
    uint32_t RandomSize() {
        const uint32_t kind = Uniform(0, 99);
        if (kind < 55) {
            return Uniform(0, 100);
        }
        if (kind < 95) {
            return Uniform(101, 3000);
        }
        return Uniform(3001, 60000);
    }

    uint32_t Uniform(uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng_);
    }

    void Track(void* p, uint32_t bytes) {
        const Live live{bytes, nextSeed_++};
        Fill(static_cast<unsigned char*>(p), live);
        ASSERT_TRUE(live_.emplace(static_cast<unsigned char*>(p), live).second) << "address handed out twice";
    }

    void ExpectIntact(const unsigned char* p, const Live& live) {
        ASSERT_EQ(FirstDamaged(p, live, live.bytes), -1) << "block of " << live.bytes << " bytes";
    }

    // Live blocks sorted by address must not overlap (a 0-byte block still
    // owns its address) and must keep their content.
    void CheckAll() {
        const unsigned char* end = nullptr;
        for (const auto& [p, live] : live_) {
            ASSERT_TRUE(end == nullptr || p >= end) << "blocks overlap";
            end = p + std::max<uint32_t>(live.bytes, 1);
            ExpectIntact(p, live);
        }
        ASSERT_EQ(PoolCheck(), nullptr);
    }

    void Step() {
        const uint32_t op = Uniform(0, 99);
        if (live_.empty() || op < 50) {
            const uint32_t bytes = RandomSize();
            void* p = PoolAlloc(bytes);
            if (p != nullptr) {
                Track(p, bytes);
            } else {
                CountFailure(bytes);
            }
            return;
        }
        auto it = live_.begin();
        std::advance(it, Uniform(0, static_cast<uint32_t>(live_.size() - 1)));
        unsigned char* old = it->first;
        const Live before = it->second;
        ExpectIntact(old, before);
        live_.erase(it);
        if (op < 80) {
            PoolFree(old);
            return;
        }
        const uint32_t bytes = RandomSize();
        unsigned char* fresh = static_cast<unsigned char*>(PoolRealloc(old, static_cast<int32_t>(bytes)));
        if (fresh == nullptr) {
            CountFailure(bytes);
            return;
        }
        // What was carried over must match the old content.
        ASSERT_EQ(FirstDamaged(fresh, before, std::min(before.bytes, bytes)), -1) << "realloc lost data";
        Track(fresh, bytes);
    }

    void CountFailure(uint32_t bytes) { ++(bytes <= kPoolSmallLimit ? smallFailures_ : largeFailures_); }

    std::mt19937 rng_{GetParam()};
    std::map<unsigned char*, Live> live_;
    uint32_t nextSeed_ = 1;
    int smallFailures_ = 0;
    int largeFailures_ = 0;
};

TEST_P(PoolStress, RandomMixKeepsBlocksApartAndIntact) {
    PoolSetSmallSize(4000);
    ASSERT_EQ(PoolInit(600000), 1);
    const PoolView fresh = PoolInspect();
    DebugCapture capture;
    for (int i = 0; i < 6000; ++i) {
        Step();
        if (HasFatalFailure()) {
            return;
        }
        if (i % 250 == 0) {
            CheckAll();
            if (HasFatalFailure()) {
                return;
            }
        }
    }
    CheckAll();
    // Each refusal said so once, and nothing else was written.
    EXPECT_EQ(capture.messages.size(), static_cast<size_t>(smallFailures_ + largeFailures_));
    // The mix is sized so that both areas run dry now and then.
    EXPECT_GT(smallFailures_, 0);
    EXPECT_GT(largeFailures_, 0);
    for (const auto& [p, live] : live_) {
        PoolFree(p);
    }
    live_.clear();
    const PoolView after = PoolInspect();
    EXPECT_EQ(after.freeSizes, fresh.freeSizes);
    EXPECT_EQ(after.spareDescriptors, kPoolDescriptorCount - 1);
    for (int32_t g = 0; g < after.groupCount; ++g) {
        unsigned char used = 0xAA;
        unsigned char cont = 0xAA;
        PoolGroupBits(g, &used, &cont);
        ASSERT_EQ(used | cont, 0) << "group " << g;
    }
    EXPECT_EQ(PoolCheck(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Seeds, PoolStress, ::testing::Values(1u, 7u, 42u, 2024u));

// Fill the small area with random small requests until it refuses, free a
// random half, and fill again: the bitmap gives every freed unit back.
TEST(PoolSmallStress, FillFreeRefill) {
    PoolSetSmallSize(800);
    ASSERT_EQ(PoolInit(100000), 1);
    std::mt19937 rng(99);
    std::map<unsigned char*, uint32_t> live;
    DebugCapture capture;
    for (int round = 0; round < 3; ++round) {
        int refusals = 0;
        while (refusals < 20) {
            const uint32_t bytes = std::uniform_int_distribution<uint32_t>(0, 40)(rng);
            unsigned char* p = static_cast<unsigned char*>(PoolAlloc(bytes));
            if (p == nullptr) {
                ++refusals;
                continue;
            }
            ASSERT_LE(p + std::max<uint32_t>(bytes, 1), PoolInspect().largeArea);
            ASSERT_TRUE(live.emplace(p, bytes).second);
        }
        const unsigned char* end = nullptr;
        for (const auto& [p, bytes] : live) {
            ASSERT_TRUE(end == nullptr || p >= end);
            end = p + std::max<uint32_t>(bytes, 1);
        }
        ASSERT_EQ(PoolCheck(), nullptr);
        for (auto it = live.begin(); it != live.end();) {
            if (rng() % 2 == 0) {
                PoolFree(it->first);
                it = live.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& [p, bytes] : live) {
        PoolFree(p);
    }
    for (int32_t g = 0; g < PoolInspect().groupCount; ++g) {
        unsigned char used = 1;
        PoolGroupBits(g, &used, nullptr);
        ASSERT_EQ(used, 0) << g;
    }
    PoolRelease();
    PoolSetSmallSize(kPoolDefaultSmallSize);
}

// First fit over the whole bitmap, read through PoolGroupBits: the address
// a small request of `bytes` must get, or null when nothing fits. A second
// implementation of the search, kept as plain as the rule is written.
const unsigned char* ReferenceSmallAddress(uint32_t bytes) {
    const PoolView view = PoolInspect();
    const uint32_t units = std::max<uint32_t>((bytes + 1) / 2, 1);
    std::vector<unsigned char> used(static_cast<size_t>(view.groupCount));
    for (int32_t g = 0; g < view.groupCount; ++g) {
        PoolGroupBits(g, &used[static_cast<size_t>(g)], nullptr);
    }
    auto unitFree = [&](int64_t unit) { return (used[static_cast<size_t>(unit / 8)] & (0x80 >> (unit % 8))) == 0; };
    if (units < 8) {
        for (int32_t g = 0; g < view.groupCount; ++g) {
            for (uint32_t start = 0; start + units <= 8; ++start) {
                bool fits = true;
                for (uint32_t k = 0; k < units; ++k) {
                    fits = fits && unitFree(int64_t{g} * 8 + start + k);
                }
                if (fits) {
                    return view.smallArea + (int64_t{g} * 8 + start) * 2;
                }
            }
        }
        return nullptr;
    }
    for (int32_t g = 0; int64_t{g} * 8 + units <= int64_t{view.groupCount} * 8; ++g) {
        bool fits = true;
        for (uint32_t k = 0; k < units && fits; ++k) {
            fits = unitFree(int64_t{g} * 8 + k);
        }
        if (fits) {
            return view.smallArea + int64_t{g} * 16;
        }
    }
    return nullptr;
}

// A seeded mix of small allocations and frees.
struct SmallMix {
    const char* name;
    int32_t smallBytes;  // size of the small area
    uint32_t freeOneIn;  // a step frees a random live block once in this many
    uint32_t longOneIn;  // a request spans groups once in this many
    uint32_t burstEvery; // every so many steps, free every other live block (0: never)
    int steps;
    uint32_t seed;
};

void PrintTo(const SmallMix& mix, std::ostream* out) { *out << mix.name; }

class PoolFirstFit : public ::testing::TestWithParam<SmallMix> {};

// Random small allocations and frees: every block lands exactly where the
// plain first-fit search over the whole bitmap says, however the pool
// shortens its own search.
TEST_P(PoolFirstFit, EveryBlockLandsWhereFirstFitSays) {
    const SmallMix& mix = GetParam();
    PoolSetSmallSize(mix.smallBytes);
    ASSERT_EQ(PoolInit(100000), 1);
    std::mt19937 rng(mix.seed);
    std::vector<unsigned char*> live;
    DebugCapture capture;
    for (int step = 0; step < mix.steps; ++step) {
        if (mix.burstEvery != 0 && step % mix.burstEvery == mix.burstEvery - 1) {
            for (size_t i = live.size(); i-- > 0;) {
                if (i % 2 == 0) {
                    PoolFree(live[i]);
                    live[i] = live.back();
                    live.pop_back();
                }
            }
            continue;
        }
        if (!live.empty() && rng() % mix.freeOneIn == 0) {
            const size_t pick = rng() % live.size();
            PoolFree(live[pick]);
            live[pick] = live.back();
            live.pop_back();
            continue;
        }
        const uint32_t bytes = rng() % mix.longOneIn == 0 ? 16 + rng() % 85 : rng() % 15;
        const unsigned char* expected = ReferenceSmallAddress(bytes);
        unsigned char* got = static_cast<unsigned char*>(PoolAlloc(bytes));
        ASSERT_EQ(got, expected) << "step " << step << ", " << bytes << " bytes";
        if (got != nullptr) {
            live.push_back(got);
        }
    }
    ASSERT_EQ(PoolCheck(), nullptr);
    PoolRelease();
    PoolSetSmallSize(kPoolDefaultSmallSize);
}

// Short runs with frees now and then; long runs that fail while short ones
// still fit; a bottom filled and then holed by bursts of frees, as when a
// scene is loaded after others; a pool too small for much at all.
const SmallMix kSmallMixes[] = {
    {"MostlyShort", 2000, 3, 8, 0, 4000, 7},
    {"MostlyLong", 2000, 4, 2, 0, 4000, 11},
    {"FillThenHoles", 8000, 12, 6, 700, 6000, 23},
    {"Crowded", 320, 2, 5, 0, 3000, 5},
};
INSTANTIATE_TEST_SUITE_P(Mixes, PoolFirstFit, ::testing::ValuesIn(kSmallMixes),
                         [](const ::testing::TestParamInfo<SmallMix>& mix) { return std::string(mix.param.name); });

} // namespace

// Throughput of the memory pools: a separate executable, not part of the test
// run. Sizes follow the shell's pool (200000-byte small area, 20000000-byte
// region) so that the small-area scan covers as many groups as in the demo.
#include "memory/memory_pool.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

void InitShellPool() {
    PoolSetSmallSize(200000);
    PoolInit(20000000);
}

// One small block taken and given back: the scan stops in the first group.
void BM_SmallAllocFree(benchmark::State& state) {
    InitShellPool();
    const uint32_t bytes = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        void* p = PoolAlloc(bytes);
        benchmark::DoNotOptimize(p);
        PoolFree(p);
    }
    PoolRelease();
}
BENCHMARK(BM_SmallAllocFree)->Arg(2)->Arg(14)->Arg(40)->Arg(100);

// The same with the first half of the small area already taken, as after a
// scene load: every request scans past the used groups.
void BM_SmallAllocFreeHalfFull(benchmark::State& state) {
    InitShellPool();
    for (int i = 0; i < 200000 / 2 / 16; ++i) {
        PoolAlloc(16);
    }
    for (auto _ : state) {
        void* p = PoolAlloc(6);
        benchmark::DoNotOptimize(p);
        PoolFree(p);
    }
    PoolRelease();
}
BENCHMARK(BM_SmallAllocFreeHalfFull);

// A large block cut from the top and merged back.
void BM_LargeAllocFree(benchmark::State& state) {
    InitShellPool();
    const uint32_t bytes = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        void* p = PoolAlloc(bytes);
        benchmark::DoNotOptimize(p);
        PoolFree(p);
    }
    PoolRelease();
}
BENCHMARK(BM_LargeAllocFree)->Arg(112)->Arg(4096)->Arg(1 << 20);

// A load-like mix: many blocks of mixed sizes, then all of them freed in a
// random order, which exercises merging and the re-sorting of descriptors.
void BM_LoadAndTearDown(benchmark::State& state) {
    InitShellPool();
    std::mt19937 rng(5);
    std::uniform_int_distribution<uint32_t> size(1, 2000);
    std::vector<void*> blocks;
    blocks.reserve(4000);
    for (auto _ : state) {
        for (int i = 0; i < 4000; ++i) {
            blocks.push_back(PoolAlloc(size(rng)));
        }
        std::shuffle(blocks.begin(), blocks.end(), rng);
        for (void* p : blocks) {
            PoolFree(p);
        }
        blocks.clear();
    }
    PoolRelease();
}
BENCHMARK(BM_LoadAndTearDown);

} // namespace

BENCHMARK_MAIN();

// 3DS reader on the worst small files we can build: every chunk kind that
// makes the reader allocate, repeated as densely as the format allows. The
// pool's own statistics measure what a file of N bytes costs; nothing is timed.
#include "loader3ds/format3ds.h"
#include "loader3ds/loader3ds.h"
#include "memory/memory_pool.h"
#include "scene/scene.h"
#include "tests/support/load3ds_helper.h"
#include "tools/formats/writer3ds.h"
#include "tests/support/pool_usage.h" // PoolBytesInUse

#include <gtest/gtest.h>

#include <climits> // INT32_MIN, INT32_MAX
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bounds3dsTest = Pool3dsTest;

// Pool bytes a 3DS file may take per byte of file. The densest case is an
// empty vertex list: 8 bytes of chunk buy a whole MeshObject record and its
// name (about 290 pool bytes).
constexpr int64_t kPoolBytesPerFileByte = 40;
// The fixed part: the scene's own tables and the first allocations.
constexpr int64_t kPoolBytesFixed = 4096;

// A main chunk holding `count` repetitions of `unit` inside `section`.
std::vector<uint8_t> Repeated(uint16_t section, int32_t count, const std::function<void(Writer3DS&)>& unit,
                              const std::function<void(Writer3DS&)>& prologue = nullptr) {
    Writer3DS w;
    w.Begin(kChunkMain);
    if (prologue) {
        prologue(w);
    }
    w.Begin(section);
    for (int32_t i = 0; i < count; ++i) {
        unit(w);
    }
    return w.Finish();
}

TEST_F(Bounds3dsTest, PoolUseGrowsAtMostLinearlyWithTheFile) {
    const std::vector<Vec3f> one = {{1, 2, 3}};
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
    };
    const std::vector<TrackKey3ds> keys(2000, VectorKey3ds(0, 1, 2, 3));
    const Case cases[] = {
        {"dummy nodes", Repeated(kChunkKeyframer, 2000,
                                 [](Writer3DS& w) {
                                     w.Begin(kChunkObjectNode);
                                     w.NodeHeader("$$$DUMMY", 0xFFFF);
                                     w.End();
                                 })},
        {"dummy headers in one node",
         Repeated(
             kChunkObjectNode, 4000, [](Writer3DS& w) { w.NodeHeader("$$$DUMMY", 0xFFFF); },
             [](Writer3DS& w) { w.Begin(kChunkKeyframer); })},
        {"one-vertex objects", Repeated(kChunkEditor, 2000,
                                        [&](Writer3DS& w) {
                                            w.Begin(kChunkTriMesh);
                                            w.VertexList(one);
                                            w.End();
                                        })},
        {"empty vertex lists", Repeated(kChunkEditor, 4000, [](Writer3DS& w) { w.VertexList({}); })},
        {"materials with one-letter names",
         Repeated(kChunkMaterial, 2000, [](Writer3DS& w) { w.MaterialName("m"); })},
        {"position keys", Repeated(kChunkKeyframer, 1,
                                   [&](Writer3DS& w) {
                                       w.Begin(kChunkObjectNode);
                                       w.NodeHeader("$$$DUMMY", 0xFFFF);
                                       w.Track(kChunkPositionTrack, keys);
                                       w.End();
                                   })},
        {"face groups", Repeated(kChunkEditor, 1,
                                 [&](Writer3DS& w) {
                                     w.Begin(kChunkMaterial);
                                     w.MaterialName("m");
                                     w.End();
                                     w.Begin(kChunkTriMesh);
                                     w.VertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
                                     w.BeginFaceList({{0, 1, 2, 0}});
                                     for (int i = 0; i < 2000; ++i) {
                                         w.FaceMaterial("m", {});
                                     }
                                     w.End();
                                     w.End();
                                 })},
    };
    for (const Case& c : cases) {
        PoolSetSmallSize(200000);
        PoolInit(20000000);
        const int64_t before = PoolBytesInUse();
        int64_t used = 0;
        {
            Loaded3ds loaded(c.file);
            EXPECT_TRUE(loaded.ok()) << c.what << ": " << loaded.error();
            used = PoolBytesInUse() - before;
        }
        const int64_t n = static_cast<int64_t>(c.file.size());
        std::printf("%-40s %7lld bytes -> %8lld pool bytes (%.1f per byte)\n", c.what,
                    static_cast<long long>(n), static_cast<long long>(used),
                    static_cast<double>(used) / static_cast<double>(n));
        EXPECT_LE(used, kPoolBytesPerFileByte * n + kPoolBytesFixed) << c.what;
    }
}

TEST_F(Bounds3dsTest, FrameSegmentsGiveAtLeastOneFrame) {
    struct Case {
        int32_t first;
        int32_t last;
        int32_t frames;
    };
    const Case cases[] = {
        {0, 100, 101},
        {100, 0, 1},
        {5, 5, 1},
        {5, 4, 1},
        {INT32_MAX, INT32_MIN, 1},
        {INT32_MIN, INT32_MAX, INT32_MAX},
        {-10, -1, 10},
    };
    for (const Case& c : cases) {
        Loaded3ds loaded(
            Repeated(kChunkKeyframer, 1, [&](Writer3DS& w) { w.FrameSegment(c.first, c.last); }));
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        EXPECT_EQ(loaded.scene().frameCount, c.frames) << c.first << ".." << c.last;
    }
}

} // namespace

// MD2 loader on the worst small files we can build: many triangles times many
// frames, the shape whose render data grows with the product of two counts
// of a small file. The pool's statistics measure the cost; nothing is timed.
#include "md2/md2.h"

#include "archive/pak_writer.h"
#include "memory/memory_pool.h"
#include "tools/formats/md2_writer.h"
#include "tests/support/texture_archive.h"
#include "tests/support/pool_usage.h" // PoolBytesInUse

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// `triangles` triangles over three vertices, each corner with its own texture
// coordinate so that no render vertex is shared, in `frames` frames.
std::vector<uint8_t> WideModel(int32_t triangles, int32_t frames) {
    Md2WriterModel model;
    model.vertexCount = 3;
    for (int32_t i = 0; i < 3 * triangles; ++i) {
        model.texCoords.push_back({static_cast<int16_t>(i % 256), static_cast<int16_t>(i / 256)});
    }
    for (int32_t t = 0; t < triangles; ++t) {
        const uint16_t c = static_cast<uint16_t>(3 * t);
        model.triangles.push_back(
            {{0, 1, 2}, {c, static_cast<uint16_t>(c + 1), static_cast<uint16_t>(c + 2)}});
    }
    for (int32_t f = 0; f < frames; ++f) {
        model.frames.push_back(
            Md2MakeFrame("run" + std::to_string(f % 10), {0, 0, 0, 0, 9, 0, 0, 1, 0, 9, 0, 2}));
    }
    return Md2WriteBytes(model);
}

// Pool bytes per frame and triangle: three render vertices of 48 bytes and a
// face plane of 32 bytes (md2.h's FrameVertex and FramePlane).
constexpr int64_t kPoolBytesPerFrameTriangle = 3 * 48 + 32;
// Per frame (its box), per triangle (indices) and per render vertex (array
// vertex and state), with room for the pool's rounding.
constexpr int64_t kPoolBytesPerFrame = 64;
constexpr int64_t kPoolBytesPerTriangle = 3 * 64 + 16;
constexpr int64_t kPoolBytesFixed = 4096;

TEST(Md2Bounds, RenderDataIsBoundedByFramesTimesTrianglesAndByThePool) {
    struct Case {
        int32_t triangles;
        int32_t frames;
        bool loads; // false: the pool runs out, and nothing may stay allocated
    };
    const Case cases[] = {
        {1, 512, true}, {1000, 1, true}, {1000, 60, true}, {4000, 512, false}, {20000, 64, false}};
    for (const Case& c : cases) {
        PoolSetSmallSize(200000);
        PoolInit(20000000);
        const std::vector<uint8_t> file = WideModel(c.triangles, c.frames);
        TextureArchive archive({{"wide.md2", 0, file}});
        ASSERT_TRUE(archive.ok());
        const int64_t before = PoolBytesInUse();
        Md2Model model{};
        EXPECT_EQ(model.Load("wide.md2"), c.loads ? 1 : 0) << c.triangles << " x " << c.frames;
        const int64_t used = PoolBytesInUse() - before;
        const int64_t bound = kPoolBytesPerFrameTriangle * c.frames * c.triangles +
                              kPoolBytesPerFrame * c.frames + kPoolBytesPerTriangle * c.triangles +
                              kPoolBytesFixed;
        EXPECT_LE(used, bound) << c.triangles << " x " << c.frames << " from " << file.size() << " bytes";
        if (!c.loads) {
            EXPECT_EQ(used, 0) << c.triangles << " x " << c.frames;
        }
        delete model.groups;
        model.groups = nullptr;
    }
}

} // namespace

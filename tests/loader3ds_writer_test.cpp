// The test-side 3DS writer: chunk nesting, lengths and record layouts, checked
// byte by byte so that loader tests built on it stand on known files.
#include "loader3ds/format3ds.h"
#include "tests/support/load3ds_helper.h"
#include "tools/formats/writer3ds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

uint16_t U16At(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(Writer3dsTest, NestedLengthsIncludeHeadersAndChildren) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.U8(7);
    w.End();
    w.Version(3);
    EXPECT_EQ(w.Depth(), 1);
    const std::vector<uint8_t> b = w.Finish();
    ASSERT_EQ(b.size(), 6u + 7u + 10u);
    EXPECT_EQ(U16At(b, 0), kChunkMain);
    EXPECT_EQ(U32At(b, 2), 23u);
    EXPECT_EQ(U16At(b, 6), kChunkEditor);
    EXPECT_EQ(U32At(b, 8), 7u);
    EXPECT_EQ(b[12], 7);
    EXPECT_EQ(U16At(b, 13), kChunkVersion);
    EXPECT_EQ(U32At(b, 15), 10u);
    EXPECT_EQ(U32At(b, 19), 3u);
}

TEST(Writer3dsTest, TrackKeysCarryOnlyTheFlaggedSplineFloats) {
    Writer3DS w;
    TrackKey3ds k = ScalarKey3ds(4, 2.5f);
    k.splineFlags = 0x0012; // continuity and ease from
    k.spline[0] = 1.0f;
    k.spline[1] = 2.0f;
    w.Track(kChunkFovTrack, {k}, 3);
    const std::vector<uint8_t> b = w.Finish();
    ASSERT_EQ(b.size(), 6u + 14u + 4u + 2u + 8u + 4u);
    EXPECT_EQ(U16At(b, 6), 3);           // track flags
    EXPECT_EQ(U32At(b, 16), 1u);         // key count
    EXPECT_EQ(U32At(b, 20), 4u);         // frame
    EXPECT_EQ(U16At(b, 24), 0x0012);     // spline flags
    float f = 0.0f;
    std::memcpy(&f, &b[34], 4);
    EXPECT_EQ(f, 2.5f);
}

TEST(Writer3dsTest, EndWithoutBeginAndRawHeadersAreHarmless) {
    Writer3DS w;
    w.End();
    w.RawHeader(kChunkMain, 0x12345678u);
    const std::vector<uint8_t> b = w.Finish();
    ASSERT_EQ(b.size(), 6u);
    EXPECT_EQ(U32At(b, 2), 0x12345678u);
    EXPECT_EQ(Truncated(b, 2).size(), 2u);
    EXPECT_EQ(Truncated(b, 99).size(), 6u);
}

using WriterRoundTrip3dsTest = Pool3dsTest;

TEST_F(WriterRoundTrip3dsTest, NamedLightsAndCamerasRoundTrip) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    w.NamedLight("Omni", {1, 2, 3}, {0.5f, 0.5f, 0.25f});
    w.NamedSpotlight("Spot", {0, 0, 0}, {1, 0, 0}, {0, 0, -1}, 10, 20);
    w.NamedCamera("Cam", {1, 2, 3}, {0, 0, 0}, 5);
    Loaded3ds l(w.Finish());
    ASSERT_TRUE(l.ok()) << l.error();
    ASSERT_EQ(l.scene().lightCount, 2);
    EXPECT_STREQ(l.scene().lights[0]->name, "Omni");
    EXPECT_FLOAT_EQ(l.scene().lights[0]->colour[2], 0.25f);
    EXPECT_EQ(l.scene().lights[1]->kind, 0x503);
    ASSERT_EQ(l.scene().cameraCount, 1);
    EXPECT_FLOAT_EQ(l.scene().cameras[0]->roll, 5.0f);
}

} // namespace

// Keyframe tracks: tangent set-up, rotation accumulation, ease curve, key
// search and the three evaluators against hand-computed values, then whole
// scenes built from pool records.
#include "keyframe/keyframe.h"

#include <gtest/gtest.h>

#include <cmath>            // std::isfinite, std::sqrt, std::sin, std::cos
#include <cstring>          // std::memcpy
#include <initializer_list> // key tables
#include <limits>           // quiet_NaN

#include "math/math3d.h"        // QuatFromAxisAngle, QuatMultiply, QuatSlerp
#include "memory/memory_pool.h" // PoolInit, PoolAlloc: tracks live in pool memory as in a loaded scene
#include "scene/scene.h"        // Scene, MeshObject, Camera, Light

namespace {

constexpr float kPi = 3.14159265358979f;

// The frame the per-track evaluations below are asked for.
float s_frame = 0.0f;

class KeyframeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PoolInit(4 * 1024 * 1024);
        s_frame = 0.0f;
    }

    // A track over a pool copy of `keys`, as the 3DS reader would make it.
    template <typename Key> KeyTrack MakeTrack(std::initializer_list<Key> keys) {
        KeyTrack track{};
        track.keyCount = static_cast<uint16_t>(keys.size());
        track.keys = PoolAlloc(static_cast<uint32_t>(sizeof(Key) * keys.size()));
        EXPECT_NE(track.keys, nullptr);
        std::memcpy(track.keys, keys.begin(), sizeof(Key) * keys.size());
        return track;
    }
};

VectorKey Vkey(int32_t frame, float x, float y, float z) {
    VectorKey key{};
    key.frame = frame;
    key.value[0] = x;
    key.value[1] = y;
    key.value[2] = z;
    return key;
}

VectorKey VkeyTcb(int32_t frame, float x, float tension, float bias, float continuity) {
    VectorKey key = Vkey(frame, x, 2.0f * x, -x);
    key.tension = tension;
    key.bias = bias;
    key.continuity = continuity;
    return key;
}

ScalarKey Skey(int32_t frame, float value) {
    ScalarKey key{};
    key.frame = frame;
    key.value = value;
    return key;
}

RotationKey Rkey(int32_t frame, float angle, float x, float y, float z) {
    RotationKey key{};
    key.frame = frame;
    QuatFromAxisAngle(angle, x, y, z, key.orientation);
    return key;
}

// Hermite on one component, in double, for the expected values.
double Hermite(double u, double p0, double p1, double m0, double m1) {
    const double u2 = u * u;
    const double u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * p0 + (3 * u2 - 2 * u3) * p1 + (u3 - 2 * u2 + u) * m0 + (u3 - u2) * m1;
}

void ExpectVec(const float got[3], double x, double y, double z, double tolerance, const char* what) {
    EXPECT_NEAR(got[0], x, tolerance) << what;
    EXPECT_NEAR(got[1], y, tolerance) << what;
    EXPECT_NEAR(got[2], z, tolerance) << what;
}

void ExpectQuat(const float got[4], const float want[4], double tolerance, const char* what) {
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(got[c], want[c], tolerance) << what << " component " << c;
    }
}

// ---------------------------------------------------------------------------
// Ease

TEST(Ease, HandComputedTable) {
    struct Case {
        float t;
        float a;
        float b;
        double expected;
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0.0f, 0.0},
        {0.37f, 0.0f, 0.0f, 0.37},
        {1.05f, 0.0f, 0.0f, 1.05},
        {0.5f, 0.5f, 0.5f, 0.5},
        {0.25f, 1.0f, 1.0f, 0.125},                        // s = 2: a = b = 0.5, k = 1
        {0.1f, 0.2f, 0.3f, 0.1 * 0.1 / (0.2 * 1.5)},       // ease-in part, k = 1 / 1.5
        {0.5f, 0.2f, 0.3f, (2 * 0.5 - 0.2) / 1.5},         // straight middle part
        {0.9f, 0.2f, 0.3f, 1.0 - 0.1 * 0.1 / (0.3 * 1.5)}, // ease-out part
        {0.0f, 0.2f, 0.3f, 0.0},
        {1.0f, 0.2f, 0.3f, 1.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(Ease(c.t, c.a, c.b), c.expected, 1e-6) << "t=" << c.t << " a=" << c.a << " b=" << c.b;
    }
}

TEST(Ease, ContinuousAtThePartBoundaries) {
    const float a = 0.2f;
    const float b = 0.3f;
    EXPECT_NEAR(Ease(a - 1e-4f, a, b), Ease(a + 1e-4f, a, b), 1e-3);
    EXPECT_NEAR(Ease(1.0f - b - 1e-4f, a, b), Ease(1.0f - b + 1e-4f, a, b), 1e-3);
}

TEST(Ease, NegativeParameterWithoutEaseInDoesNotDivideByZero) {
    // A frame before the first key of a vector track: t < 0 while easeFrom is 0.
    const float b = 0.5f;
    const float k = 1.0f / (2.0f - b);
    for (const float t : {-0.5f, -3.0f, -1e-6f}) {
        const float u = Ease(t, 0.0f, b);
        ASSERT_TRUE(std::isfinite(u)) << t;
        EXPECT_NEAR(u, k * 2.0f * t, 1e-6) << "continues the straight part at t=" << t;
    }
}

TEST(Ease, KeyFrameWithoutEaseOutIsNotANumberFree) {
    // easeFrom set, easeTo 0: at t = 1 (the key's own frame) and just past it.
    const float a = 0.4f;
    EXPECT_NEAR(Ease(1.0f, a, 0.0f), 1.0, 1e-6);
    const float past = Ease(1.05f, a, 0.0f);
    ASSERT_TRUE(std::isfinite(past));
    EXPECT_NEAR(past, (2.0 * 1.05 - a) / (2.0 - a), 1e-6);
}

// ---------------------------------------------------------------------------
// Tangents

TEST_F(KeyframeTest, TwoKeyVectorTangentsUseEachKeysTension) {
    VectorKey k0 = Vkey(0, 0.0f, 0.0f, 0.0f);
    VectorKey k1 = Vkey(10, 10.0f, 20.0f, -4.0f);
    k1.tension = 0.5f;
    k0.bias = 0.9f; // bias and continuity play no part with two keys
    k0.continuity = -0.7f;
    KeyTrack track = MakeTrack({k0, k1});
    ComputeVectorTangents(&track);
    const VectorKey* keys = VectorKeys(track);
    ExpectVec(keys[0].tangentIn, 10, 20, -4, 1e-6, "key 0 in");
    ExpectVec(keys[0].tangentOut, 10, 20, -4, 1e-6, "key 0 out");
    ExpectVec(keys[1].tangentIn, 5, 10, -2, 1e-6, "key 1 in");
    ExpectVec(keys[1].tangentOut, 5, 10, -2, 1e-6, "key 1 out");
}

TEST_F(KeyframeTest, ThreeKeyVectorTangentsWithTensionBiasContinuity) {
    // Values along x: 0, 10, 30 (y = 2x, z = -x). Key 1 has T 0.5, B 0.2, C -0.4.
    KeyTrack track = MakeTrack(
        {VkeyTcb(0, 0.0f, 0, 0, 0), VkeyTcb(10, 10.0f, 0.5f, 0.2f, -0.4f), VkeyTcb(20, 30.0f, 0, 0, 0)});
    ComputeVectorTangents(&track);
    const VectorKey* keys = VectorKeys(track);
    // Key 0: prev 0, cur 1, next 2: D1 = 10, D2 = 20.
    ExpectVec(keys[0].tangentOut, 15, 30, -15, 1e-5, "key 0 out");
    ExpectVec(keys[0].tangentIn, 15, 30, -15, 1e-5, "key 0 in");
    // Key 1: out = 0.18 D1 + 0.28 D2 = 7.4; in = 0.42 D1 + 0.12 D2 = 6.6.
    ExpectVec(keys[1].tangentOut, 7.4, 14.8, -7.4, 1e-5, "key 1 out");
    ExpectVec(keys[1].tangentIn, 6.6, 13.2, -6.6, 1e-5, "key 1 in");
    // Key 2 takes the roles backwards: D1 = P1 - P2 = -20, D2 = P0 - P1 = -10.
    ExpectVec(keys[2].tangentOut, -15, -30, 15, 1e-5, "key 2 out");
    ExpectVec(keys[2].tangentIn, -15, -30, 15, 1e-5, "key 2 in");
}

TEST_F(KeyframeTest, InnerKeyUsesItsOwnNeighbours) {
    // Four keys: key 2 looks at keys 1 and 3 only.
    KeyTrack track = MakeTrack({Vkey(0, 0, 0, 0), Vkey(5, 1, 0, 0), Vkey(9, 4, 0, 0), Vkey(12, 9, 0, 0)});
    ComputeVectorTangents(&track);
    const VectorKey* keys = VectorKeys(track);
    EXPECT_NEAR(keys[2].tangentOut[0], 0.5 * 3 + 0.5 * 5, 1e-6);
    // Last key: prev 3, cur 2, next 1: D1 = 4 - 9, D2 = 1 - 4.
    EXPECT_NEAR(keys[3].tangentIn[0], 0.5 * -5 + 0.5 * -3, 1e-6);
}

TEST_F(KeyframeTest, ScalarTangentsFollowTheSameRules) {
    ScalarKey mid = Skey(10, 10.0f);
    mid.tension = 0.5f;
    mid.bias = 0.2f;
    mid.continuity = -0.4f;
    KeyTrack three = MakeTrack({Skey(0, 0.0f), mid, Skey(20, 30.0f)});
    ComputeScalarTangents(&three);
    const ScalarKey* keys = ScalarKeys(three);
    EXPECT_NEAR(keys[0].tangentOut, 15.0, 1e-5);
    EXPECT_NEAR(keys[1].tangentOut, 7.4, 1e-5);
    EXPECT_NEAR(keys[1].tangentIn, 6.6, 1e-5);
    EXPECT_NEAR(keys[2].tangentIn, -15.0, 1e-5);

    ScalarKey second = Skey(10, 90.0f);
    second.tension = 0.25f;
    KeyTrack two = MakeTrack({Skey(0, 45.0f), second});
    ComputeScalarTangents(&two);
    EXPECT_NEAR(ScalarKeys(two)[0].tangentIn, 45.0, 1e-6);
    EXPECT_NEAR(ScalarKeys(two)[1].tangentOut, 33.75, 1e-6);
}

TEST_F(KeyframeTest, TracksWithFewerThanTwoKeysAreLeftAlone) {
    VectorKey lone = Vkey(0, 1, 2, 3);
    lone.tangentIn[0] = 42.0f;
    KeyTrack one = MakeTrack({lone});
    ComputeVectorTangents(&one);
    EXPECT_EQ(VectorKeys(one)[0].tangentIn[0], 42.0f);

    KeyTrack empty{};
    ComputeVectorTangents(&empty);
    ComputeScalarTangents(&empty);
    AccumulateRotations(&empty);
    ComputeVectorTangents(nullptr);
    // A count without an array (a half-built track) is treated as empty.
    KeyTrack broken{};
    broken.keyCount = 5;
    ComputeVectorTangents(&broken);
    ComputeScalarTangents(&broken);
    AccumulateRotations(&broken);
    float out[4] = {7, 7, 7, 7};
    s_frame = 3.0f;
    EvaluateVector(&broken, s_frame, out);
    ExpectVec(out, 0, 0, 0, 0, "broken track evaluates like an empty one");
    EXPECT_EQ(EvaluateScalar(&broken, s_frame), 0.0f);
    out[3] = 7.0f;
    EvaluateRotation(&broken, s_frame, out);
    EXPECT_EQ(out[3], 7.0f);
}

// ---------------------------------------------------------------------------
// Rotations

TEST_F(KeyframeTest, RelativeQuarterTurnsAccumulate) {
    KeyTrack track =
        MakeTrack({Rkey(0, 0.0f, 0, 1, 0), Rkey(10, kPi / 2, 0, 1, 0), Rkey(20, kPi / 2, 0, 1, 0)});
    AccumulateRotations(&track);
    const RotationKey* keys = RotationKeys(track);
    for (int i = 0; i < 3; ++i) {
        float want[4] = {};
        QuatFromAxisAngle(i * kPi / 2, 0, 1, 0, want);
        ExpectQuat(keys[i].orientation, want, 1e-6, "absolute orientation");
    }
}

TEST_F(KeyframeTest, LaterKeyMultipliesFromTheLeft) {
    // 90 degrees about x, then 90 degrees about y relative to it: q1 * q0.
    KeyTrack track = MakeTrack({Rkey(0, kPi / 2, 1, 0, 0), Rkey(10, kPi / 2, 0, 1, 0)});
    AccumulateRotations(&track);
    const float want[4] = {0.5f, 0.5f, 0.5f, -0.5f};
    ExpectQuat(RotationKeys(track)[1].orientation, want, 1e-6, "q1 q0");
}

TEST_F(KeyframeTest, AccumulationIsNotNormalised) {
    RotationKey k0{};
    k0.orientation[0] = 2.0f;
    RotationKey k1{};
    k1.orientation[0] = 3.0f;
    KeyTrack track = MakeTrack({k0, k1});
    AccumulateRotations(&track);
    EXPECT_FLOAT_EQ(RotationKeys(track)[1].orientation[0], 6.0f);
}

TEST_F(KeyframeTest, RotationTrackSlerpsBetweenAbsoluteOrientations) {
    KeyTrack track = MakeTrack({Rkey(0, 0.0f, 0, 1, 0), Rkey(10, kPi / 2, 0, 1, 0)});
    AccumulateRotations(&track);
    s_frame = 5.0f;
    float out[4] = {};
    EvaluateRotation(&track, s_frame, out);
    float want[4] = {};
    QuatFromAxisAngle(kPi / 4, 0, 1, 0, want);
    ExpectQuat(out, want, 1e-6, "halfway");
}

TEST_F(KeyframeTest, NegativeDotProductTakesTheLongerArc) {
    // 10 degrees about y, then 350 degrees about y written as its own
    // quaternion: half-angles 5 and 175 degrees, so the dot product is
    // negative, and no sign flip is applied.
    KeyTrack track = MakeTrack({Rkey(0, 10.0f * kPi / 180, 0, 1, 0), Rkey(10, 350.0f * kPi / 180, 0, 1, 0)});
    const RotationKey* keys = RotationKeys(track);
    ASSERT_LT(QuatDot(keys[0].orientation, keys[1].orientation), 0.0f);
    s_frame = 5.0f;
    float out[4] = {};
    EvaluateRotation(&track, s_frame, out);
    float want[4] = {};
    QuatSlerp(keys[0].orientation, keys[1].orientation, 0.5f, want);
    ExpectQuat(out, want, 1e-6, "plain slerp");
    // Along the quaternions as given the halfway point is half-angle 90
    // degrees: a half turn about y, (0, 0, 1, 0). The shortest arc would
    // have passed through the identity instead.
    EXPECT_NEAR(out[0], 0.0, 1e-4);
    EXPECT_NEAR(out[2], 1.0, 1e-4);
}

TEST_F(KeyframeTest, RotationKeySearchAndEnds) {
    KeyTrack track = MakeTrack({Rkey(10, 0.3f, 1, 0, 0), Rkey(20, 0.6f, 1, 0, 0), Rkey(30, 0.9f, 1, 0, 0)});
    const RotationKey* keys = RotationKeys(track);
    float out[4] = {};
    for (const float frame : {-5.0f, 0.0f, 10.0f, 10.9f}) {
        s_frame = frame; // the search gives key 0: its value, no extrapolation
        EvaluateRotation(&track, s_frame, out);
        ExpectQuat(out, keys[0].orientation, 0, "at or before key 0");
    }
    for (const float frame : {31.0f, 500.0f}) {
        s_frame = frame;
        EvaluateRotation(&track, s_frame, out);
        ExpectQuat(out, keys[2].orientation, 0, "past the last key");
    }
    s_frame = 25.0f;
    EvaluateRotation(&track, s_frame, out);
    float want[4] = {};
    QuatSlerp(keys[1].orientation, keys[2].orientation, 0.5f, want);
    ExpectQuat(out, want, 1e-6, "segment 20-30");
}

// ---------------------------------------------------------------------------
// Vector evaluation

TEST_F(KeyframeTest, KeySearchTruncatesTheFrame) {
    KeyTrack track = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 10, 5, 1), Vkey(20, 40, 5, 2)});
    ComputeVectorTangents(&track);
    const VectorKey* k = VectorKeys(track);
    float out[3] = {};

    s_frame = 10.0f;
    EvaluateVector(&track, s_frame, out);
    ExpectVec(out, 10, 5, 1, 0, "exactly the key at 10");

    s_frame = 10.5f; // still the segment 0-10, at t = 1.05
    EvaluateVector(&track, s_frame, out);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(out[c],
                    Hermite(1.05, k[0].value[c], k[1].value[c], k[0].tangentOut[c], k[1].tangentIn[c]), 1e-4);
    }

    s_frame = 11.0f; // segment 10-20 at t = 0.1
    EvaluateVector(&track, s_frame, out);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(out[c], Hermite(0.1, k[1].value[c], k[2].value[c], k[1].tangentOut[c], k[2].tangentIn[c]),
                    1e-4);
    }
}

TEST_F(KeyframeTest, PastTheLastKey) {
    KeyTrack track = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 10, 0, 0), Vkey(20, 40, 0, 0)});
    ComputeVectorTangents(&track);
    const VectorKey* k = VectorKeys(track);
    float out[3] = {};
    for (const float frame : {21.0f, 21.5f, 1000.0f, 1e30f}) {
        s_frame = frame;
        EvaluateVector(&track, s_frame, out);
        ExpectVec(out, 40, 0, 0, 0, "last key's value");
    }
    s_frame = 20.5f; // between the last frame and that frame + 1: extrapolated
    EvaluateVector(&track, s_frame, out);
    EXPECT_NEAR(out[0], Hermite(1.05, k[1].value[0], k[2].value[0], k[1].tangentOut[0], k[2].tangentIn[0]),
                1e-4);
    EXPECT_NE(out[0], 40.0f);
}

TEST_F(KeyframeTest, TwoPlainKeysMoveLinearly) {
    KeyTrack track = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 10, 20, 30)});
    ComputeVectorTangents(&track);
    float out[3] = {};
    for (int step = 0; step <= 20; ++step) {
        s_frame = step * 0.5f;
        EvaluateVector(&track, s_frame, out);
        const double f = s_frame / 10.0;
        ExpectVec(out, 10 * f, 20 * f, 30 * f, 1e-4, "linear motion");
    }
}

TEST_F(KeyframeTest, BeforeTheFirstKeyTheFirstSegmentIsExtrapolated) {
    KeyTrack track = MakeTrack({Vkey(10, 10, 0, 0), Vkey(20, 20, 0, 0)});
    ComputeVectorTangents(&track);
    float out[3] = {};
    s_frame = 5.0f; // t = -0.5 on a straight line
    EvaluateVector(&track, s_frame, out);
    EXPECT_NEAR(out[0], 5.0, 1e-4);
    s_frame = 10.5f; // at or just past key 0: the search still gives key 0, so segment 10-20
    EvaluateVector(&track, s_frame, out);
    EXPECT_NEAR(out[0], 10.5, 1e-4);
}

TEST_F(KeyframeTest, NegativeFrameWritesNothing) {
    KeyTrack track = MakeTrack({Vkey(0, 1, 2, 3), Vkey(10, 4, 5, 6)});
    float out[3] = {-7, -8, -9};
    s_frame = -0.01f;
    EvaluateVector(&track, s_frame, out);
    ExpectVec(out, -7, -8, -9, 0, "untouched");
}

TEST_F(KeyframeTest, SingleKeyAndEmptyTracks) {
    KeyTrack vector = MakeTrack({Vkey(7, 1, 2, 3)});
    KeyTrack scalar = MakeTrack({Skey(7, 33.0f)});
    KeyTrack rotation = MakeTrack({Rkey(7, 1.0f, 0, 0, 1)});
    KeyTrack empty{};
    for (const float frame : {0.0f, 0.5f, 3.0f, 7.0f, 100.0f}) {
        s_frame = frame;
        float v[3] = {9, 9, 9};
        EvaluateVector(&vector, s_frame, v);
        ExpectVec(v, 1, 2, 3, 0, "one vector key");
        EvaluateVector(&empty, s_frame, v);
        ExpectVec(v, 0, 0, 0, 0, "empty vector track");
        EXPECT_EQ(EvaluateScalar(&scalar, s_frame), frame > 0.0f ? 33.0f : 0.0f) << frame;
        EXPECT_EQ(EvaluateScalar(&empty, s_frame), 0.0f);
    }
    for (const float frame : {-50.0f, 0.0f, 100.0f}) {
        s_frame = frame;
        float q[4] = {};
        EvaluateRotation(&rotation, s_frame, q);
        ExpectQuat(q, RotationKeys(rotation)[0].orientation, 0, "one rotation key, any frame");
        float untouched[4] = {5, 5, 5, 5};
        EvaluateRotation(&empty, s_frame, untouched);
        EXPECT_EQ(untouched[0], 5.0f);
    }
}

// ---------------------------------------------------------------------------
// Scalar evaluation

TEST_F(KeyframeTest, FieldOfViewHalfwayWithZeroTangents) {
    KeyTrack fov = MakeTrack({Skey(0, 45.0f), Skey(10, 90.0f)});
    s_frame = 5.0f;
    EXPECT_NEAR(EvaluateScalar(&fov, s_frame), 67.5, 1e-5);
}

TEST_F(KeyframeTest, ScalarEnds) {
    KeyTrack track = MakeTrack({Skey(10, 1.0f), Skey(20, 2.0f)});
    s_frame = 0.0f;
    EXPECT_EQ(EvaluateScalar(&track, s_frame), 0.0f);
    s_frame = 4.0f; // before key 0: its value, no extrapolation
    EXPECT_EQ(EvaluateScalar(&track, s_frame), 1.0f);
    s_frame = 21.0f;
    EXPECT_EQ(EvaluateScalar(&track, s_frame), 2.0f);
    s_frame = -3.0f;
    EXPECT_EQ(EvaluateScalar(&track, s_frame), 0.0f);
}

TEST_F(KeyframeTest, ScalarSegmentWithEaseAndTangents) {
    ScalarKey k0 = Skey(0, 10.0f);
    k0.easeFrom = 0.5f;
    ScalarKey k1 = Skey(10, 30.0f);
    k1.easeTo = 0.5f;
    KeyTrack track = MakeTrack({k0, k1});
    ComputeScalarTangents(&track);
    s_frame = 2.5f;
    const double u = Ease(0.25f, 0.5f, 0.5f); // 0.125
    EXPECT_NEAR(u, 0.125, 1e-7);
    EXPECT_NEAR(EvaluateScalar(&track, s_frame), Hermite(u, 10, 30, 20, 20), 1e-4);
}

// ---------------------------------------------------------------------------
// Degenerate keys and hostile frames

TEST_F(KeyframeTest, TwoKeysOnOneFrameDoNotDivideByZero) {
    KeyTrack vector = MakeTrack({Vkey(10, 1, 0, 0), Vkey(10, 2, 0, 0)});
    ComputeVectorTangents(&vector);
    float out[3] = {};
    s_frame = 5.0f; // before both: the earlier key holds
    EvaluateVector(&vector, s_frame, out);
    ExpectVec(out, 1, 0, 0, 0, "before the shared frame");
    s_frame = 10.0f; // on the frame: the later key
    EvaluateVector(&vector, s_frame, out);
    ExpectVec(out, 2, 0, 0, 0, "on the shared frame");
    s_frame = 10.7f;
    EvaluateVector(&vector, s_frame, out);
    ExpectVec(out, 2, 0, 0, 0, "just past");

    KeyTrack inner = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 1, 0, 0), Vkey(10, 2, 0, 0), Vkey(20, 3, 0, 0)});
    ComputeVectorTangents(&inner);
    for (int step = 0; step <= 50; ++step) {
        s_frame = step * 0.5f;
        EvaluateVector(&inner, s_frame, out);
        ASSERT_TRUE(std::isfinite(out[0])) << s_frame;
    }

    KeyTrack scalar = MakeTrack({Skey(0, 1.0f), Skey(10, 2.0f), Skey(10, 3.0f)});
    KeyTrack rotation = MakeTrack({Rkey(0, 0.1f, 0, 1, 0), Rkey(10, 0.2f, 0, 1, 0), Rkey(10, 0.3f, 0, 1, 0)});
    for (int step = 0; step <= 30; ++step) {
        s_frame = step * 0.5f;
        ASSERT_TRUE(std::isfinite(EvaluateScalar(&scalar, s_frame))) << s_frame;
        float q[4] = {};
        EvaluateRotation(&rotation, s_frame, q);
        ASSERT_TRUE(std::isfinite(q[0]) && std::isfinite(q[2])) << s_frame;
    }
}

TEST_F(KeyframeTest, FramesBeforeTheFirstKeyWithEaseToButNoEaseFrom) {
    VectorKey k1 = Vkey(20, 20, 0, 0);
    k1.easeTo = 0.5f;
    KeyTrack track = MakeTrack({Vkey(10, 10, 0, 0), k1});
    ComputeVectorTangents(&track);
    float out[3] = {};
    for (int frame = 0; frame <= 10; ++frame) {
        s_frame = static_cast<float>(frame);
        EvaluateVector(&track, s_frame, out);
        ASSERT_TRUE(std::isfinite(out[0])) << frame;
    }
    s_frame = 10.0f;
    EvaluateVector(&track, s_frame, out);
    EXPECT_NEAR(out[0], 10.0, 1e-5);
}

TEST_F(KeyframeTest, KeyFrameWithEaseFromButNoEaseToGivesTheKey) {
    VectorKey k0 = Vkey(0, 0, 0, 0);
    k0.easeFrom = 0.5f;
    KeyTrack track = MakeTrack({k0, Vkey(10, 10, 20, 30)});
    ComputeVectorTangents(&track);
    float out[3] = {};
    s_frame = 10.0f;
    EvaluateVector(&track, s_frame, out);
    ExpectVec(out, 10, 20, 30, 1e-4, "the key's own frame");
    s_frame = 10.5f;
    EvaluateVector(&track, s_frame, out);
    ASSERT_TRUE(std::isfinite(out[0]));
}

TEST_F(KeyframeTest, HostileFramesStayDefined) {
    KeyTrack vector = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 1, 1, 1)});
    KeyTrack scalar = MakeTrack({Skey(0, 0.0f), Skey(10, 1.0f)});
    KeyTrack rotation = MakeTrack({Rkey(0, 0.0f, 0, 1, 0), Rkey(10, 1.0f, 0, 1, 0)});
    ComputeVectorTangents(&vector);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const float frame : {nan, 3e9f, 1e38f, -3e9f, -1e38f}) {
        s_frame = frame;
        float v[3] = {};
        EvaluateVector(&vector, s_frame, v);
        float q[4] = {};
        EvaluateRotation(&rotation, s_frame, q);
        const float s = EvaluateScalar(&scalar, s_frame);
        EXPECT_TRUE(std::isfinite(v[0]) && std::isfinite(q[0]) && std::isfinite(s)) << frame;
    }
    // Keys out of order and at the ends of the frame range: finite, no overflow.
    KeyTrack wild = MakeTrack({Vkey(INT32_MAX, 1, 0, 0), Vkey(INT32_MIN, 2, 0, 0), Vkey(5, 3, 0, 0)});
    ComputeVectorTangents(&wild);
    for (const float frame : {0.0f, 4.0f, 6.0f, 3e9f}) {
        s_frame = frame;
        float v[3] = {};
        EvaluateVector(&wild, s_frame, v);
        EXPECT_TRUE(std::isfinite(v[0])) << frame;
    }
}

// ---------------------------------------------------------------------------
// Whole scenes

class KeyframeSceneTest : public KeyframeTest {
  protected:
    MeshObject* AddObject() {
        MeshObject* object = NewMeshObject();
        EXPECT_NE(object, nullptr);
        scene.AddObject(object);
        return object;
    }
    Camera* AddCamera() {
        Camera* camera = NewCamera();
        EXPECT_NE(camera, nullptr);
        EXPECT_EQ(scene.AddCamera(camera), 1);
        return camera;
    }
    Light* AddLight() {
        Light* light = NewLight();
        EXPECT_NE(light, nullptr);
        EXPECT_EQ(scene.AddLight(light), 1);
        return light;
    }

    Scene scene;
};

TEST_F(KeyframeSceneTest, PrepareCoversEveryPreparedTrackAndSkipsFieldOfView) {
    MeshObject* object = AddObject();
    object->positionTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 1, 2, 3)});
    object->scaleTrack = MakeTrack({Vkey(0, 1, 1, 1), Vkey(10, 3, 1, 1)});
    object->rotationTrack = MakeTrack({Rkey(0, kPi / 2, 0, 1, 0), Rkey(10, kPi / 2, 0, 1, 0)});
    MeshObject* other = AddObject();
    other->positionTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 4, 0, 0)});
    AddCamera();
    Camera* camera = AddCamera();
    camera->positionTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 5, 0, 0)});
    camera->targetTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 0, 6, 0)});
    camera->rollTrack = MakeTrack({Skey(0, 0.0f), Skey(10, 7.0f)});
    camera->fovTrack = MakeTrack({Skey(0, 45.0f), Skey(10, 90.0f)});
    Light* light = AddLight();
    light->positionTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 8, 0, 0)});
    light->targetTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 9, 0, 0)});
    light->colourTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 0.5f, 0, 0)});

    PrepareTracks(&scene);

    ExpectVec(VectorKeys(object->positionTrack)[0].tangentOut, 1, 2, 3, 1e-6, "object position");
    EXPECT_NEAR(VectorKeys(object->scaleTrack)[1].tangentIn[0], 2.0, 1e-6);
    float half[4] = {};
    QuatFromAxisAngle(kPi, 0, 1, 0, half);
    ExpectQuat(RotationKeys(object->rotationTrack)[1].orientation, half, 1e-6, "object rotation");
    EXPECT_NEAR(VectorKeys(other->positionTrack)[1].tangentIn[0], 4.0, 1e-6);
    EXPECT_NEAR(VectorKeys(camera->positionTrack)[0].tangentOut[0], 5.0, 1e-6);
    EXPECT_NEAR(VectorKeys(camera->targetTrack)[0].tangentOut[1], 6.0, 1e-6);
    EXPECT_NEAR(ScalarKeys(camera->rollTrack)[1].tangentIn, 7.0, 1e-6);
    EXPECT_EQ(ScalarKeys(camera->fovTrack)[0].tangentOut, 0.0f);
    EXPECT_EQ(ScalarKeys(camera->fovTrack)[1].tangentIn, 0.0f);
    EXPECT_NEAR(VectorKeys(light->positionTrack)[0].tangentOut[0], 8.0, 1e-6);
    EXPECT_NEAR(VectorKeys(light->targetTrack)[0].tangentOut[0], 9.0, 1e-6);
    EXPECT_NEAR(VectorKeys(light->colourTrack)[0].tangentOut[0], 0.5, 1e-6);
}

TEST_F(KeyframeSceneTest, EvaluateWritesTrackedValuesOnly) {
    MeshObject* moving = AddObject();
    moving->positionTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 10, 0, 0)});
    moving->rotationTrack = MakeTrack({Rkey(0, 0.0f, 0, 1, 0), Rkey(10, kPi / 2, 0, 1, 0)});
    MeshObject* still = AddObject();
    const float stillPos[3] = {1, 2, 3};
    std::memcpy(still->pos, stillPos, sizeof stillPos);
    still->rot[0] = 1.0f;
    Light* light = AddLight();
    light->colourTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 1, 0.5f, 0.25f)});
    light->pos[1] = 42.0f;
    PrepareTracks(&scene);

    EvaluateTracks(&scene, 5.0f);
    EXPECT_EQ(g_currentFrame, 5.0f);
    ExpectVec(moving->pos, 5, 0, 0, 1e-5, "moving object");
    float quarter[4] = {};
    QuatFromAxisAngle(kPi / 4, 0, 1, 0, quarter);
    ExpectQuat(moving->rot, quarter, 1e-6, "moving rotation");
    ExpectVec(still->pos, 1, 2, 3, 0, "object without tracks");
    EXPECT_EQ(still->rot[0], 1.0f);
    ExpectVec(light->colour, 0.5, 0.25, 0.125, 1e-6, "light colour");
    ExpectVec(light->pos, 0, 42, 0, 0, "light position without a track");
    ExpectVec(light->target, 0, 0, 0, 0, "light target without a track");
}

TEST_F(KeyframeSceneTest, NegativeFrameKeepsPositionsButNotRotations) {
    MeshObject* object = AddObject();
    object->positionTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 10, 0, 0)});
    object->rotationTrack = MakeTrack({Rkey(0, 0.5f, 1, 0, 0), Rkey(10, 0.5f, 1, 0, 0)});
    PrepareTracks(&scene);
    object->pos[0] = 77.0f;
    EvaluateTracks(&scene, -2.0f);
    EXPECT_EQ(object->pos[0], 77.0f);
    ExpectQuat(object->rot, RotationKeys(object->rotationTrack)[0].orientation, 0, "first key");
}

TEST_F(KeyframeSceneTest, OnlyTheCurrentCameraIsEvaluated) {
    Camera* first = AddCamera();
    first->positionTrack = MakeTrack({Vkey(0, 1, 1, 1), Vkey(10, 2, 2, 2)});
    Camera* second = AddCamera();
    second->positionTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 10, 20, 30)});
    second->targetTrack = MakeTrack({Vkey(0, 5, 5, 5)});
    second->rollTrack = MakeTrack({Skey(0, 10.0f), Skey(10, 20.0f)});
    second->fovTrack = MakeTrack({Skey(0, 45.0f), Skey(10, 90.0f)});
    scene.currentCamera = 1;
    PrepareTracks(&scene);

    EvaluateTracks(&scene, 5.0f);
    ExpectVec(second->pos, 5, 10, 15, 1e-4, "current camera position");
    ExpectVec(second->target, 5, 5, 5, 0, "current camera target");
    EXPECT_NEAR(second->roll, 15.0, 1e-4);
    EXPECT_NEAR(second->fov, 67.5, 1e-4);
    ExpectVec(first->pos, 100, 100, 100, 0, "other camera keeps its defaults");
    EXPECT_EQ(first->fov, 90.0f);
}

TEST_F(KeyframeSceneTest, CameraRollAndFieldOfViewAtFrameZeroAndJustAfter) {
    Camera* camera = AddCamera();
    camera->rollTrack = MakeTrack({Skey(0, 12.0f), Skey(10, 24.0f)});
    camera->fovTrack = MakeTrack({Skey(0, 50.0f), Skey(10, 60.0f)});
    PrepareTracks(&scene);
    EvaluateTracks(&scene, 0.0f);
    EXPECT_EQ(camera->roll, 0.0f);
    EXPECT_EQ(camera->fov, 0.0f);
    EvaluateTracks(&scene, 0.5f);
    EXPECT_EQ(camera->roll, 12.0f);
    EXPECT_EQ(camera->fov, 50.0f);
}

TEST_F(KeyframeSceneTest, CameraWithEmptyTracks) {
    Camera* camera = AddCamera();
    camera->SetRoll(12.0f);
    camera->SetFov(60.0f);
    for (const float frame : {0.0f, 5.0f, 300.0f}) {
        EvaluateTracks(&scene, frame);
        // Nothing to read: roll and field of view keep their values ...
        EXPECT_EQ(camera->roll, 12.0f) << frame;
        EXPECT_EQ(camera->fov, 60.0f) << frame;
        // ... while position and target are evaluated regardless and give the origin.
        ExpectVec(camera->pos, 0, 0, 0, 0, "empty position track");
        ExpectVec(camera->target, 0, 0, 0, 0, "empty target track");
    }
}

TEST_F(KeyframeSceneTest, SceneWithoutUsableCameraStillEvaluatesObjects) {
    MeshObject* object = AddObject();
    object->positionTrack = MakeTrack({Vkey(0, 3, 0, 0)});
    EvaluateTracks(&scene, 1.0f);
    EXPECT_EQ(object->pos[0], 3.0f);

    Camera* camera = AddCamera();
    for (const int32_t index : {-1, 1, 5, 1000}) {
        scene.currentCamera = index;
        EvaluateTracks(&scene, 2.0f);
        ExpectVec(camera->pos, 100, 100, 100, 0, "camera outside the current index");
    }
    scene.currentCamera = 0;
    scene.cameras[0] = nullptr; // an entry the loader never filled
    EvaluateTracks(&scene, 2.0f);
    EvaluateTracks(nullptr, 4.0f);
    EXPECT_EQ(g_currentFrame, 4.0f);
    PrepareTracks(nullptr);
}

TEST_F(KeyframeSceneTest, DestroyedSceneIsSafe) {
    AddCamera();
    AddLight();
    AddObject()->positionTrack = MakeTrack({Vkey(0, 1, 0, 0), Vkey(5, 2, 0, 0)});
    scene.Destroy(); // cameras and lights arrays are gone
    PrepareTracks(&scene);
    EvaluateTracks(&scene, 5.0f);
    EXPECT_EQ(scene.objects->pos[0], 2.0f);
}

TEST_F(KeyframeSceneTest, PlayerObjectRunsBothPasses) {
    MeshObject* object = AddObject();
    object->positionTrack = MakeTrack({Vkey(0, 0, 0, 0), Vkey(10, 10, 10, 10)});
    const KeyPlayer player;
    player.PrepareTracks(&scene);
    player.EvaluateTracks(&scene, 2.0f);
    ExpectVec(object->pos, 2, 2, 2, 1e-5, "through the player");
    EXPECT_EQ(g_currentFrame, 2.0f);
}

} // namespace

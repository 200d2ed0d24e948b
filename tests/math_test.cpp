// Maths: the documented edge cases, then every function against a
// double-precision reference written here, on seeded random inputs.
#include "math/math3d.h"

#include <gtest/gtest.h>

#include <array>  // fixed-size reference values
#include <cmath>  // double-precision references
#include <random> // seeded inputs

namespace {

using Vec3d = std::array<double, 3>;
using Quatd = std::array<double, 4>;

constexpr int kRandomRuns = 2000;

class MathRandom {
  public:
    explicit MathRandom(unsigned seed) : engine_(seed) {}
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(engine_); }
    void Fill(float* out, int count, float lo, float hi) {
        for (int i = 0; i < count; ++i) {
            out[i] = Uniform(lo, hi);
        }
    }
    // A unit quaternion (normalised in double, stored as float).
    void UnitQuat(float q[4]) {
        double length = 0.0;
        do {
            Fill(q, 4, -1.0f, 1.0f);
            length = std::sqrt(double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2] +
                               double(q[3]) * q[3]);
        } while (length < 0.1);
        for (int i = 0; i < 4; ++i) {
            q[i] = float(q[i] / length);
        }
    }

  private:
    std::mt19937 engine_;
};

Quatd RefQuatMultiply(const Quatd& a, const Quatd& b) {
    return {a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3],
            a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2],
            a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1],
            a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0]};
}

Quatd ToQuatd(const float q[4]) {
    return {q[0], q[1], q[2], q[3]};
}

// q v q* in double: the rotation a unit quaternion stands for.
Vec3d RefRotate(const Quatd& q, const Vec3d& v) {
    const Quatd p = {0.0, v[0], v[1], v[2]};
    const Quatd conj = {q[0], -q[1], -q[2], -q[3]};
    const Quatd r = RefQuatMultiply(RefQuatMultiply(q, p), conj);
    return {r[1], r[2], r[3]};
}

// Applies the rotation block of a 3x4 matrix to v.
Vec3d ApplyRotation(const float m[12], const Vec3d& v) {
    Vec3d out = {};
    for (int row = 0; row < 3; ++row) {
        out[row] = m[row * 4] * v[0] + m[row * 4 + 1] * v[1] + m[row * 4 + 2] * v[2];
    }
    return out;
}

// 3x3 double product, row order.
std::array<double, 9> RefMul3(const std::array<double, 9>& a, const std::array<double, 9>& b) {
    std::array<double, 9> out = {};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) {
                out[r * 3 + c] += a[r * 3 + k] * b[k * 3 + c];
            }
        }
    }
    return out;
}

std::array<double, 9> Rot3Of(const float m[12]) {
    return {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
}

// Full 4x4 product of two affine 3x4 matrices, in double.
std::array<double, 12> RefAffineMul(const float a[12], const float b[12]) {
    double a4[4][4] = {};
    double b4[4][4] = {};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            a4[r][c] = a[r * 4 + c];
            b4[r][c] = b[r * 4 + c];
        }
    }
    a4[3][3] = 1.0;
    b4[3][3] = 1.0;
    std::array<double, 12> out = {};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            for (int k = 0; k < 4; ++k) {
                out[r * 4 + c] += a4[r][k] * b4[k][c];
            }
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Edge cases

TEST(FastLength, FourIsCloseToTwo) {
    EXPECT_NEAR(FastLength(4.0f), 2.0f, 2.0f * 0.002f);
}

TEST(FastLength, ZeroIsTinyPositive) {
    const float l = FastLength(0.0f);
    EXPECT_GT(l, 0.0f);
    EXPECT_LT(l, 1e-15f);
}

TEST(FastLength, NegativeInputIsDefined) {
    // Meaningless input, but the bit arithmetic must not overflow (the
    // sanitizer build traps on that) and the result must not be infinite.
    const float l = FastLength(-4.0f);
    EXPECT_FALSE(std::isinf(l));
}

TEST(NormalizeFast, ZeroVectorStaysZero) {
    float v[3] = {0.0f, 0.0f, 0.0f};
    NormalizeFast(v);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[1], 0.0f);
    EXPECT_EQ(v[2], 0.0f);
}

TEST(QuatToMatrix, IdentityQuaternionKeepsTranslation) {
    const float q[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    const float t[3] = {1.0f, 2.0f, 3.0f};
    float m[12] = {};
    QuatToMatrix(q, t, m);
    const float expected[12] = {1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(m[i], expected[i]) << "element " << i;
    }
}

TEST(QuatSlerp, EqualQuaternionsGiveTheFirst) {
    const float q[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    for (const float t : {0.0f, 0.3f, 1.0f}) {
        float out[4] = {};
        QuatSlerp(q, q, t, out);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(out[i], q[i], 1e-6f);
        }
    }
}

TEST(QuatSlerp, EndpointsOnBothBranches) {
    struct Case {
        const char* name;
        float q1[4];
        float q2[4];
    };
    const float s = std::sqrt(0.5f);
    const Case cases[] = {
        {"spherical", {1, 0, 0, 0}, {s, 0, s, 0}},
        {"spherical, negative dot", {1, 0, 0, 0}, {-s, s, 0, 0}},
        {"linear, nearly equal", {1, 0, 0, 0}, {1, 1e-4f, 0, 0}},
        {"linear, opposite", {1, 0, 0, 0}, {-1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        float out[4] = {};
        QuatSlerp(c.q1, c.q2, 0.0f, out);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(out[i], c.q1[i], 1e-6f) << c.name << " t=0 component " << i;
        }
        QuatSlerp(c.q1, c.q2, 1.0f, out);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(out[i], c.q2[i], 1e-6f) << c.name << " t=1 component " << i;
        }
    }
}

TEST(QuatSlerp, NegativeDotFollowsTheLongArc) {
    // 90 degrees about y against -(identity): the short way would flip q2.
    const float s = std::sqrt(0.5f);
    const float q1[4] = {s, 0, s, 0};
    const float q2[4] = {-1, 0, 0, 0};
    float out[4] = {};
    QuatSlerp(q1, q2, 0.5f, out);
    // Halfway along the arc between the two as given: angle 135 degrees of 4D arc.
    const double theta = std::acos(-double(s));
    const double w = std::sin(0.5 * theta) / std::sin(theta);
    EXPECT_NEAR(out[0], w * s - w, 1e-5);
    EXPECT_NEAR(out[2], w * s, 1e-5);
    EXPECT_LT(out[0], 0.0f); // went past the pole rather than back towards +identity
}

TEST(EulerToMatrix, HalfTurnAboutY) {
    const float angles[3] = {0.0f, 3.14f, 0.0f};
    const float t[3] = {0.0f, 0.0f, 0.0f};
    float m[12] = {};
    EulerToMatrix(angles, t, m);
    const Vec3d r = ApplyRotation(m, {1.0, 0.0, 0.0});
    EXPECT_NEAR(r[0], -1.0, 1e-5);
    EXPECT_NEAR(r[1], 0.0, 1e-6);
    EXPECT_NEAR(r[2], -0.0016, 1e-4);
}

TEST(EulerToMatrix, NullTranslationIsZero) {
    const float angles[3] = {0.3f, 0.2f, 0.1f};
    float m[12];
    for (float& v : m) {
        v = 7.0f;
    }
    EulerToMatrix(angles, nullptr, m);
    EXPECT_EQ(m[3], 0.0f);
    EXPECT_EQ(m[7], 0.0f);
    EXPECT_EQ(m[11], 0.0f);
}

TEST(ReflectMatrix, FloorPlaneMirrorsTranslationAndSecondColumn) {
    const float n[3] = {0.0f, -1.0f, 0.0f};
    const float p[3] = {0.0f, 0.0f, 0.0f};
    const float angles[3] = {0.0f, 0.7f, 0.0f};
    const float t[3] = {1.0f, 5.0f, 2.0f};
    float m[12] = {};
    EulerToMatrix(angles, t, m);
    float original[12] = {};
    std::copy(m, m + 12, original);
    ReflectMatrix(n, p, m);
    EXPECT_FLOAT_EQ(m[3], 1.0f);
    EXPECT_FLOAT_EQ(m[7], -5.0f);
    EXPECT_FLOAT_EQ(m[11], 2.0f);
    for (int row = 0; row < 3; ++row) {
        EXPECT_FLOAT_EQ(m[row * 4 + 0], original[row * 4 + 0]);
        EXPECT_FLOAT_EQ(m[row * 4 + 1], -original[row * 4 + 1]);
        EXPECT_FLOAT_EQ(m[row * 4 + 2], original[row * 4 + 2]);
    }
}

TEST(ReflectMatrix, TranslationIsMirroredThroughPlanePoint) {
    const float n[3] = {0.0f, 1.0f, 0.0f};
    const float p[3] = {3.0f, -2.0f, 9.0f}; // plane y = -2
    float m[12] = {1, 0, 0, 4, 0, 1, 0, 1, 0, 0, 1, 6};
    ReflectMatrix(n, p, m);
    EXPECT_FLOAT_EQ(m[3], 4.0f);
    EXPECT_FLOAT_EQ(m[7], -5.0f);
    EXPECT_FLOAT_EQ(m[11], 6.0f);
}

TEST(Vector, DotAndCrossWithAliasing) {
    float a[3] = {1.0f, 2.0f, 3.0f};
    const float b[3] = {4.0f, 5.0f, 6.0f};
    EXPECT_FLOAT_EQ(Dot3(a, b), 32.0f);
    Cross3(a, b, a);
    EXPECT_FLOAT_EQ(a[0], -3.0f);
    EXPECT_FLOAT_EQ(a[1], 6.0f);
    EXPECT_FLOAT_EQ(a[2], -3.0f);
}

// ---------------------------------------------------------------------------
// Random inputs against double references

TEST(MathReference, FastLengthWithinTwoTenthsOfAPercent) {
    MathRandom rnd(11);
    for (int i = 0; i < kRandomRuns; ++i) {
        // Spread across many binades.
        const float s = std::pow(10.0f, rnd.Uniform(-8.0f, 8.0f));
        const double exact = std::sqrt(double(s));
        EXPECT_NEAR(FastLength(s), exact, exact * 0.002) << "s=" << s;
    }
}

TEST(MathReference, NormalizeFastGivesNearlyUnitVectorsAlongTheInput) {
    MathRandom rnd(12);
    for (int i = 0; i < kRandomRuns; ++i) {
        float v[3] = {};
        rnd.Fill(v, 3, -100.0f, 100.0f);
        const double length = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
        if (length < 1e-3) {
            continue;
        }
        const Vec3d unit = {v[0] / length, v[1] / length, v[2] / length};
        NormalizeFast(v);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(v[k], unit[k], 0.002 * std::fabs(unit[k]) + 1e-6);
        }
    }
}

TEST(MathReference, QuatDotAndMultiply) {
    MathRandom rnd(13);
    for (int i = 0; i < kRandomRuns; ++i) {
        float a[4] = {};
        float b[4] = {};
        rnd.Fill(a, 4, -2.0f, 2.0f);
        rnd.Fill(b, 4, -2.0f, 2.0f);
        const Quatd ad = ToQuatd(a);
        const Quatd bd = ToQuatd(b);
        EXPECT_NEAR(QuatDot(a, b), ad[0] * bd[0] + ad[1] * bd[1] + ad[2] * bd[2] + ad[3] * bd[3], 1e-5);
        const Quatd ref = RefQuatMultiply(ad, bd);
        float out[4] = {};
        QuatMultiply(a, b, out);
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(out[k], ref[k], 1e-5);
        }
        // Aliasing the output with either input gives the same result.
        float left[4] = {a[0], a[1], a[2], a[3]};
        QuatMultiply(left, b, left);
        float right[4] = {b[0], b[1], b[2], b[3]};
        QuatMultiply(a, right, right);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(left[k], out[k]);
            EXPECT_EQ(right[k], out[k]);
        }
    }
}

TEST(MathReference, QuatFromAxisAngle) {
    MathRandom rnd(14);
    for (int i = 0; i < kRandomRuns; ++i) {
        const float angle = rnd.Uniform(-7.0f, 7.0f);
        float axis[3] = {};
        rnd.Fill(axis, 3, -3.0f, 3.0f); // deliberately not unit: not normalised
        float q[4] = {};
        QuatFromAxisAngle(angle, axis[0], axis[1], axis[2], q);
        const double h = double(angle) / 2.0;
        EXPECT_NEAR(q[0], std::cos(h), 1e-6);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(q[k + 1], std::sin(h) * axis[k], 1e-5);
        }
    }
}

TEST(MathReference, QuatToMatrixRotatesLikeTheQuaternion) {
    MathRandom rnd(15);
    for (int i = 0; i < kRandomRuns; ++i) {
        float q[4] = {};
        rnd.UnitQuat(q);
        float t[3] = {};
        rnd.Fill(t, 3, -50.0f, 50.0f);
        float m[12] = {};
        QuatToMatrix(q, t, m);
        Vec3d v = {};
        for (double& c : v) {
            c = rnd.Uniform(-1.0f, 1.0f);
        }
        const Vec3d ref = RefRotate(ToQuatd(q), v);
        const Vec3d got = ApplyRotation(m, v);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(got[k], ref[k], 1e-5);
        }
        EXPECT_EQ(m[3], t[0]);
        EXPECT_EQ(m[7], t[1]);
        EXPECT_EQ(m[11], t[2]);
    }
}

TEST(MathReference, QuatSlerpMatchesDoubleFormula) {
    MathRandom rnd(16);
    for (int i = 0; i < kRandomRuns; ++i) {
        float a[4] = {};
        float b[4] = {};
        rnd.UnitQuat(a);
        rnd.UnitQuat(b);
        const float t = rnd.Uniform(0.0f, 1.0f);
        const Quatd ad = ToQuatd(a);
        const Quatd bd = ToQuatd(b);
        const double c = ad[0] * bd[0] + ad[1] * bd[1] + ad[2] * bd[2] + ad[3] * bd[3];
        double wa = 1.0 - t;
        double wb = t;
        if (1.0 - std::fabs(c) >= 1e-6) {
            const double theta = std::acos(c);
            wa = std::sin((1.0 - t) * theta) / std::sin(theta);
            wb = std::sin(t * theta) / std::sin(theta);
        }
        float out[4] = {};
        QuatSlerp(a, b, t, out);
        double length = 0.0;
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(out[k], wa * ad[k] + wb * bd[k], 2e-4) << "dot " << c;
            length += double(out[k]) * out[k];
        }
        // Spherical interpolation of unit quaternions stays on the sphere.
        EXPECT_NEAR(std::sqrt(length), 1.0, 1e-3);
    }
}

TEST(MathReference, EulerToMatrixIsRyRxRz) {
    MathRandom rnd(17);
    for (int i = 0; i < kRandomRuns; ++i) {
        float angles[3] = {};
        rnd.Fill(angles, 3, -6.3f, 6.3f);
        float t[3] = {};
        rnd.Fill(t, 3, -10.0f, 10.0f);
        const double cx = std::cos(double(angles[0]));
        const double sx = std::sin(double(angles[0]));
        const double cy = std::cos(double(angles[1]));
        const double sy = std::sin(double(angles[1]));
        const double cz = std::cos(double(angles[2]));
        const double sz = std::sin(double(angles[2]));
        const std::array<double, 9> rx = {1, 0, 0, 0, cx, -sx, 0, sx, cx};
        const std::array<double, 9> ry = {cy, 0, sy, 0, 1, 0, -sy, 0, cy};
        const std::array<double, 9> rz = {cz, -sz, 0, sz, cz, 0, 0, 0, 1};
        const std::array<double, 9> ref = RefMul3(RefMul3(ry, rx), rz);
        float m[12] = {};
        EulerToMatrix(angles, t, m);
        const std::array<double, 9> got = Rot3Of(m);
        for (int k = 0; k < 9; ++k) {
            EXPECT_NEAR(got[k], ref[k], 1e-5) << "element " << k;
        }
        EXPECT_EQ(m[3], t[0]);
        EXPECT_EQ(m[7], t[1]);
        EXPECT_EQ(m[11], t[2]);
    }
}

TEST(MathReference, MatrixComposeIsTheAffineProduct) {
    MathRandom rnd(18);
    for (int i = 0; i < kRandomRuns; ++i) {
        float a[12] = {};
        float b[12] = {};
        rnd.Fill(a, 12, -3.0f, 3.0f);
        rnd.Fill(b, 12, -3.0f, 3.0f);
        const std::array<double, 12> ref = RefAffineMul(a, b);
        float out[12] = {};
        MatrixCompose(a, b, out);
        for (int k = 0; k < 12; ++k) {
            EXPECT_NEAR(out[k], ref[k], 1e-4) << "element " << k;
        }
        float alias[12] = {};
        std::copy(b, b + 12, alias);
        MatrixCompose(a, alias, alias);
        for (int k = 0; k < 12; ++k) {
            EXPECT_EQ(alias[k], out[k]);
        }
    }
}

TEST(MathReference, RotationComposeUsesOnlyTheRotationBlock) {
    MathRandom rnd(19);
    for (int i = 0; i < kRandomRuns; ++i) {
        float a[12] = {};
        float s[9] = {};
        rnd.Fill(a, 12, -3.0f, 3.0f);
        rnd.Fill(s, 9, -3.0f, 3.0f);
        std::array<double, 9> sd = {};
        for (int k = 0; k < 9; ++k) {
            sd[k] = s[k];
        }
        const std::array<double, 9> ref = RefMul3(Rot3Of(a), sd);
        float out[9] = {};
        RotationCompose(a, s, out);
        for (int k = 0; k < 9; ++k) {
            EXPECT_NEAR(out[k], ref[k], 1e-4);
        }
    }
}

TEST(MathReference, ReflectMatrixMirrorsRowsAndTranslation) {
    MathRandom rnd(20);
    for (int i = 0; i < kRandomRuns; ++i) {
        float n[3] = {};
        rnd.Fill(n, 3, -1.0f, 1.0f);
        const double nl = std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
        if (nl < 0.1) {
            continue;
        }
        for (float& c : n) {
            c = float(c / nl);
        }
        float p[3] = {};
        rnd.Fill(p, 3, -10.0f, 10.0f);
        float m[12] = {};
        rnd.Fill(m, 12, -5.0f, 5.0f);
        // Reference: rows times H = I - 2 n n^T, translation as a mirrored point.
        std::array<double, 12> ref = {};
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                double sum = 0.0;
                for (int k = 0; k < 3; ++k) {
                    const double h = (k == col ? 1.0 : 0.0) - 2.0 * double(n[k]) * n[col];
                    sum += double(m[row * 4 + k]) * h;
                }
                ref[row * 4 + col] = sum;
            }
        }
        double d = 0.0;
        for (int k = 0; k < 3; ++k) {
            d += (double(m[k * 4 + 3]) - p[k]) * n[k];
        }
        for (int k = 0; k < 3; ++k) {
            ref[k * 4 + 3] = m[k * 4 + 3] - 2.0 * d * n[k];
        }
        ReflectMatrix(n, p, m);
        for (int k = 0; k < 12; ++k) {
            EXPECT_NEAR(m[k], ref[k], 1e-4) << "element " << k;
        }
        // The mirrored translation is as far from the plane on the other side.
        double after = 0.0;
        for (int k = 0; k < 3; ++k) {
            after += (double(m[k * 4 + 3]) - p[k]) * n[k];
        }
        EXPECT_NEAR(after, -d, 1e-3);
    }
}

TEST(MathReference, DotAndCross) {
    MathRandom rnd(21);
    for (int i = 0; i < kRandomRuns; ++i) {
        float a[3] = {};
        float b[3] = {};
        rnd.Fill(a, 3, -10.0f, 10.0f);
        rnd.Fill(b, 3, -10.0f, 10.0f);
        const Vec3d ad = {a[0], a[1], a[2]};
        const Vec3d bd = {b[0], b[1], b[2]};
        EXPECT_NEAR(Dot3(a, b), ad[0] * bd[0] + ad[1] * bd[1] + ad[2] * bd[2], 1e-3);
        const Vec3d ref = {ad[1] * bd[2] - ad[2] * bd[1], ad[2] * bd[0] - ad[0] * bd[2],
                           ad[0] * bd[1] - ad[1] * bd[0]};
        float out[3] = {};
        Cross3(a, b, out);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(out[k], ref[k], 1e-3);
        }
        // The cross product is perpendicular to both inputs.
        EXPECT_NEAR(Dot3(out, a), 0.0, 0.05);
        EXPECT_NEAR(Dot3(out, b), 0.0, 0.05);
    }
}

} // namespace

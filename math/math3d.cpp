// Vector, matrix and quaternion maths. Everything is single precision on
// caller-owned storage; results are built in locals first so that an output
// that happens to alias an input still gets the right answer.
#include "math/math3d.h"

#include <cmath>   // std::acos, std::sin, std::cos, std::fabs
#include <cstring> // std::memcpy of finished results

void QuatToMatrix(const float q[4], const float t[3], float out[12]) {
    const float w = q[0];
    const float x = q[1];
    const float y = q[2];
    const float z = q[3];
    const float tx = t[0];
    const float ty = t[1];
    const float tz = t[2];
    out[0] = 1.0f - 2.0f * y * y - 2.0f * z * z;
    out[1] = 2.0f * x * y - 2.0f * w * z;
    out[2] = 2.0f * x * z + 2.0f * w * y;
    out[3] = tx;
    out[4] = 2.0f * x * y + 2.0f * w * z;
    out[5] = 1.0f - 2.0f * x * x - 2.0f * z * z;
    out[6] = 2.0f * y * z - 2.0f * w * x;
    out[7] = ty;
    out[8] = 2.0f * x * z - 2.0f * w * y;
    out[9] = 2.0f * y * z + 2.0f * w * x;
    out[10] = 1.0f - 2.0f * x * x - 2.0f * y * y;
    out[11] = tz;
}

void QuatFromAxisAngle(float angle, float x, float y, float z, float out[4]) {
    const float half = angle * 0.5f;
    const float s = std::sin(half);
    out[0] = std::cos(half);
    out[1] = s * x;
    out[2] = s * y;
    out[3] = s * z;
}

float QuatDot(const float q1[4], const float q2[4]) {
    return q1[0] * q2[0] + q1[1] * q2[1] + q1[2] * q2[2] + q1[3] * q2[3];
}

void QuatMultiply(const float q1[4], const float q2[4], float out[4]) {
    const float w = q1[0] * q2[0] - q1[1] * q2[1] - q1[2] * q2[2] - q1[3] * q2[3];
    const float x = q1[0] * q2[1] + q1[1] * q2[0] + q1[2] * q2[3] - q1[3] * q2[2];
    const float y = q1[0] * q2[2] + q1[2] * q2[0] + q1[3] * q2[1] - q1[1] * q2[3];
    const float z = q1[0] * q2[3] + q1[3] * q2[0] + q1[1] * q2[2] - q1[2] * q2[1];
    out[0] = w;
    out[1] = x;
    out[2] = y;
    out[3] = z;
}

void QuatSlerp(const float q1[4], const float q2[4], float t, float out[4]) {
    const float c = QuatDot(q1, q2);
    float a = 1.0f - t;
    float b = t;
    // Nearly parallel (or not a number): sin(theta) would be too small to
    // divide by, so the linear blend stands. Outside this branch |c| < 1,
    // which keeps acos in its domain. No sign flip: the arc between q1 and q2
    // is followed as given, even the long way round.
    const float gap = 1.0f - std::fabs(c);
    if (gap >= 1e-6) {
        const float theta = std::acos(c);
        const float k = 1.0f / std::sin(theta);
        a = k * std::sin((1.0f - t) * theta);
        b = k * std::sin(t * theta);
    }
    const float w = a * q1[0] + b * q2[0];
    const float x = a * q1[1] + b * q2[1];
    const float y = a * q1[2] + b * q2[2];
    const float z = a * q1[3] + b * q2[3];
    out[0] = w;
    out[1] = x;
    out[2] = y;
    out[3] = z;
}

void EulerToMatrix(const float angles[3], const float t[3], float out[12]) {
    const float cx = std::cos(angles[0]);
    const float sx = std::sin(angles[0]);
    const float cy = std::cos(angles[1]);
    const float sy = std::sin(angles[1]);
    const float cz = std::cos(angles[2]);
    const float sz = std::sin(angles[2]);
    const float tx = t != nullptr ? t[0] : 0.0f;
    const float ty = t != nullptr ? t[1] : 0.0f;
    const float tz = t != nullptr ? t[2] : 0.0f;
    out[0] = cy * cz + sy * sx * sz;
    out[1] = sy * sx * cz - cy * sz;
    out[2] = sy * cx;
    out[3] = tx;
    out[4] = cx * sz;
    out[5] = cx * cz;
    out[6] = -sx;
    out[7] = ty;
    out[8] = cy * sx * sz - sy * cz;
    out[9] = sy * sz + cy * sx * cz;
    out[10] = cy * cx;
    out[11] = tz;
}

void MatrixCompose(const float a[12], const float b[12], float out[12]) {
    float result[12] = {};
    for (int row = 0; row < 3; ++row) {
        const float* ar = a + row * 4;
        for (int col = 0; col < 3; ++col) {
            result[row * 4 + col] = ar[0] * b[col] + ar[1] * b[4 + col] + ar[2] * b[8 + col];
        }
        result[row * 4 + 3] = ar[0] * b[3] + ar[1] * b[7] + ar[2] * b[11] + ar[3];
    }
    std::memcpy(out, result, sizeof result);
}

void RotationCompose(const float a[12], const float s[9], float out[9]) {
    float result[9] = {};
    for (int row = 0; row < 3; ++row) {
        const float* ar = a + row * 4;
        for (int col = 0; col < 3; ++col) {
            result[row * 3 + col] = ar[0] * s[col] + ar[1] * s[3 + col] + ar[2] * s[6 + col];
        }
    }
    std::memcpy(out, result, sizeof result);
}

void ReflectMatrix(const float n[3], const float p[3], float m[12]) {
    // Each row of the rotation is mirrored as a direction; the translation is
    // mirrored as a point, so it is taken relative to the plane's point.
    for (int row = 0; row < 3; ++row) {
        float* r = m + row * 4;
        const float d = r[0] * n[0] + r[1] * n[1] + r[2] * n[2];
        r[0] -= 2.0f * d * n[0];
        r[1] -= 2.0f * d * n[1];
        r[2] -= 2.0f * d * n[2];
    }
    const float rel[3] = {m[3] - p[0], m[7] - p[1], m[11] - p[2]};
    const float d = Dot3(rel, n);
    m[3] -= 2.0f * d * n[0];
    m[7] -= 2.0f * d * n[1];
    m[11] -= 2.0f * d * n[2];
}

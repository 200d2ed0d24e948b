// Maths: vectors, 3x4 affine matrices and quaternions on caller-owned floats.
//
// A vector is 3 floats (x, y, z). A quaternion is 4 floats in the order
// w, x, y, z. A matrix is 12 floats in row order: rotation in the left 3x3
// block, translation in (m[3], m[7], m[11]), implied last row (0 0 0 1);
// points are column vectors, p' = R p + t. A 3x3 rotation is 9 floats in row
// order. Nothing here allocates or keeps state. Every result is built before
// it is stored, so an output may alias any input.
#pragma once

#include <cstdint> // int32_t, uint32_t for the bit trick
#include <cstring> // std::memcpy for well-defined float <-> bit casts

// Approximate sqrt(s) through one Newton step of the inverse square root.
// FastLength(0) is a tiny positive number. Inline: the loaders call it per
// face and vertex, and inside their loops it vectorises.
inline float FastLength(float squaredLength) {
    // One Newton step of the inverse square root from the classic magic
    // starting guess, then the reciprocal. memcpy keeps the casts defined.
    int32_t bits = 0;
    std::memcpy(&bits, &squaredLength, sizeof bits);
    // The shift is arithmetic (defined from C++20 on); the subtraction is done
    // unsigned because a negative input would overflow it as signed.
    const uint32_t guessBits = 0x5F3759DFu - static_cast<uint32_t>(bits >> 1);
    float y = 0.0f;
    std::memcpy(&y, &guessBits, sizeof y);
    y = y * (1.5f - 0.5f * squaredLength * y * y);
    return 1.0f / y;
}

// v scaled to unit length by FastLength; a zero vector stays zero. In place.
// Written without a branch (a zero length scales by exactly 1) so that loops
// over many vectors vectorise.
inline void NormalizeFast(float v[3]) {
    const float length = FastLength(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    const float inverse = 1.0f / (length != 0.0f ? length : 1.0f);
    v[0] *= inverse;
    v[1] *= inverse;
    v[2] *= inverse;
}

// Unit quaternion q to a matrix with translation t.
void QuatToMatrix(const float q[4], const float t[3], float out[12]);

// Rotation by `angle` radians about (x, y, z); the axis is not normalised.
void QuatFromAxisAngle(float angle, float x, float y, float z, float out[4]);

// w1w2 + x1x2 + y1y2 + z1z2.
float QuatDot(const float q1[4], const float q2[4]);

// Hamilton product q1 q2. `out` may alias either input.
void QuatMultiply(const float q1[4], const float q2[4], float out[4]);

// Spherical interpolation from q1 (t = 0) to q2 (t = 1), without a sign flip;
// a plain linear blend when |q1 . q2| is within 1e-6 of 1.
void QuatSlerp(const float q1[4], const float q2[4], float t, float out[4]);

// R = Ry(y) Rx(x) Rz(z) from angles in radians, with translation t (null = 0).
void EulerToMatrix(const float angles[3], const float t[3], float out[12]);

// A B: rotation A_rot B_rot, translation A_rot B_t + A_t.
void MatrixCompose(const float a[12], const float b[12], float out[12]);

// 3x3 product of A's rotation part and S.
void RotationCompose(const float a[12], const float s[9], float out[9]);

// Reflects M through the plane with unit normal n through point p, in place.
void ReflectMatrix(const float n[3], const float p[3], float m[12]);

// Small helpers shared by loaders and drawing.
inline float Dot3(const float a[3], const float b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline void Cross3(const float a[3], const float b[3], float out[3]) {
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

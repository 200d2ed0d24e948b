// Builds a Face from three vertices of a hand-made mesh, the way the 3DS
// loader does: unit normal of (B - A) x (C - A) scaled by 32767, d = n . B.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "math/render_records.h"

inline Face MakeFace(const std::vector<MeshVertex>& v, uint16_t a, uint16_t b, uint16_t c) {
    const float* pa = v[a].position;
    const float* pb = v[b].position;
    const float* pc = v[c].position;
    const float e1[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    const float e2[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
    float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (float& value : n) {
        value /= length;
    }
    Face face{};
    face.d = n[0] * pb[0] + n[1] * pb[1] + n[2] * pb[2];
    for (int i = 0; i < 3; ++i) {
        face.normal[i] = static_cast<int16_t>(std::lround(n[i] * 32767.0f));
    }
    face.a = a;
    face.b = b;
    face.c = c;
    return face;
}

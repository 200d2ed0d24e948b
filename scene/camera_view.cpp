// Frustum planes and the bounding-box test every object and model instance
// runs before any per-vertex work.
#include <cmath> // std::sqrt

#include "scene/draw.h" // BoxVisible, ExtractFrustumPlanes

void ClipMatrix(const float projection[16], const float modelview[16], float clip[16]) {
    // GL matrices are column order: element (row r, column c) is at [c * 4 + r].
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += projection[k * 4 + r] * modelview[c * 4 + k];
            }
            clip[r * 4 + c] = sum;
        }
    }
}

void ExtractFrustumPlanes(const float projection[16], const float modelview[16], float planes[6][4]) {
    float clip[16] = {};
    ClipMatrix(projection, modelview, clip);
    // right, left, bottom, top, far, near: w row minus or plus the x, y, z rows.
    static const int kRow[6] = {0, 0, 1, 1, 2, 2};
    static const float kSign[6] = {-1.0f, 1.0f, 1.0f, -1.0f, -1.0f, 1.0f};
    for (int p = 0; p < 6; ++p) {
        for (int c = 0; c < 4; ++c) {
            planes[p][c] = clip[12 + c] + kSign[p] * clip[kRow[p] * 4 + c];
        }
        const float length = std::sqrt(planes[p][0] * planes[p][0] + planes[p][1] * planes[p][1] +
                                       planes[p][2] * planes[p][2]);
        if (length != 0.0f) {
            for (int c = 0; c < 4; ++c) {
                planes[p][c] /= length;
            }
        }
    }
}

bool BoxVisible(const float m[12], const float boxMin[3], const float boxMax[3], const float planes[6][4]) {
    float lo[3] = {m[3], m[7], m[11]};
    float hi[3] = {m[3], m[7], m[11]};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const float p = m[i * 4 + j] * boxMin[j];
            const float q = m[i * 4 + j] * boxMax[j];
            lo[i] += (p < q) ? p : q;
            hi[i] += (p < q) ? q : p;
        }
    }
    for (int p = 0; p < 6; ++p) {
        const float* plane = planes[p];
        bool anyInside = false;
        for (int corner = 0; corner < 8 && !anyInside; ++corner) {
            const float x = (corner & 1) ? hi[0] : lo[0];
            const float y = (corner & 2) ? hi[1] : lo[1];
            const float z = (corner & 4) ? hi[2] : lo[2];
            anyInside = plane[0] * x + plane[1] * y + plane[2] * z + plane[3] > 0.0f;
        }
        if (!anyInside) {
            return false;
        }
    }
    return true;
}

// Camera view matrix, frustum planes and the bounding-box test every object
// and model instance runs before any per-vertex work.
#include <cmath> // std::cos, std::sin, std::sqrt

#include "math/math3d.h" // FastLength, Cross3, Dot3
#include "scene/draw.h"  // g_drawGl, BoxVisible, ExtractFrustumPlanes
#include "scene/scene.h"

void Camera::UpdateView() {
    float z[3] = {pos[0] - target[0], pos[1] - target[1], pos[2] - target[2]};
    const float length = FastLength(Dot3(z, z));
    if (length != 0.0f) {
        z[0] /= length;
        z[1] /= length;
        z[2] /= length;
    }
    axisZ[0] = z[0];
    axisZ[1] = z[1];
    axisZ[2] = z[2];

    const float angle = -roll * kDrawDegToRad;
    // X0 stays horizontal; looking straight up or down leaves it zero and the
    // rows are built from the unnormalised vectors.
    float x0[3] = {-z[2], 0.0f, z[0]};
    const float x0Length = FastLength(Dot3(x0, x0));
    if (x0Length != 0.0f) {
        x0[0] /= x0Length;
        x0[2] /= x0Length;
    }
    float y0[3] = {0.0f, 0.0f, 0.0f};
    Cross3(x0, z, y0);
    const float y0Length = FastLength(Dot3(y0, y0));
    if (y0Length != 0.0f) {
        y0[0] /= y0Length;
        y0[1] /= y0Length;
        y0[2] /= y0Length;
    }

    const float c = std::cos(angle);
    const float s = std::sin(angle);
    for (int i = 0; i < 3; ++i) {
        view[i] = s * y0[i] + c * x0[i];
        view[4 + i] = c * y0[i] - s * x0[i];
        view[8 + i] = z[i];
    }
    view[3] = -Dot3(&view[0], pos);
    view[7] = -Dot3(&view[4], pos);
    view[11] = -Dot3(&view[8], pos);
}

void Camera::ExtractPlanes() {
    float projection[16] = {};
    float modelview[16] = {};
    g_drawGl.GetFloatv(GL_PROJECTION_MATRIX, projection);
    g_drawGl.GetFloatv(GL_MODELVIEW_MATRIX, modelview);
    ExtractFrustumPlanes(projection, modelview, planes);
}

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

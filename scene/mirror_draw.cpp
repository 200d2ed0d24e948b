// Reflecting floors: the listed instances and meshes drawn mirrored through
// the plane, then the quad blended over them. The reflected content can only
// be seen through the quad, so its draws are scissored to the window
// rectangle the quad covers: on a software rasteriser the fragments of the
// reflected corridor outside the floor cost as much as the visible ones.
#include <algorithm> // std::min, std::max
#include <cmath>     // std::floor, std::ceil, std::isfinite

#include "md2/md2.h"    // FrameVertex, FramePlane (complete types for Md2Instance::Draw)
#include "scene/draw.h" // g_drawGl
#include "scene/scene.h"

namespace {

// A point in GL's clip coordinates.
struct ClipPoint {
    float x;
    float y;
    float z;
    float w;
};

// A polygon of four corners cut by one plane keeps at most five.
constexpr int kClippedQuadPoints = 5;
// Pixels added around the projected quad: the rectangle is found in float
// arithmetic that need not round exactly as the rasteriser does.
constexpr float kScissorMargin = 1.0f;

} // namespace

// clip = projection x modelview, both in GL's column order; the result is
// row-major (row r at [4 r]).
static void ClipMatrix(const float projection[16], const float modelview[16], float clip[16]) {
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

// Clip coordinates of world point p seen through the camera's view.
static ClipPoint ToClip(const float clip[16], const float view[12], const float p[3]) {
    float eye[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (int r = 0; r < 3; ++r) {
        eye[r] = view[r * 4] * p[0] + view[r * 4 + 1] * p[1] + view[r * 4 + 2] * p[2] + view[r * 4 + 3];
    }
    float out[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int r = 0; r < 4; ++r) {
        out[r] = clip[r * 4] * eye[0] + clip[r * 4 + 1] * eye[1] + clip[r * 4 + 2] * eye[2] +
                 clip[r * 4 + 3] * eye[3];
    }
    return ClipPoint{out[0], out[1], out[2], out[3]};
}

// The part of the quad (corners in strip order) in front of GL's near plane
// z + w >= 0, as a polygon; returns its point count, 0 when nothing is left.
static int ClipQuadToNear(const ClipPoint strip[4], ClipPoint out[kClippedQuadPoints]) {
    const ClipPoint polygon[4] = {strip[0], strip[1], strip[3], strip[2]};
    int count = 0;
    for (int i = 0; i < 4; ++i) {
        const ClipPoint& a = polygon[i];
        const ClipPoint& b = polygon[(i + 1) % 4];
        const float da = a.z + a.w;
        const float db = b.z + b.w;
        if (da >= 0.0f) {
            out[count++] = a;
        }
        if ((da >= 0.0f) != (db >= 0.0f)) {
            const float t = da / (da - db);
            out[count++] = ClipPoint{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z),
                                     a.w + t * (b.w - a.w)};
        }
    }
    return count;
}

// The window rectangle (x, y, width, height) holding every pixel of the quad
// drawn with the current projection, modelview and viewport; empty when the
// quad lies behind the near plane. False when no such rectangle can be given
// (no viewport, a point that cannot be divided by its w): draw unclipped.
static bool QuadWindowRect(const Mirror& mirror, const Camera& camera, int32_t rect[4]) {
    float projection[16] = {};
    float modelview[16] = {};
    float viewport[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    g_drawGl.GetFloatv(GL_PROJECTION_MATRIX, projection);
    g_drawGl.GetFloatv(GL_MODELVIEW_MATRIX, modelview);
    g_drawGl.GetFloatv(GL_VIEWPORT, viewport);
    if (!(viewport[2] > 0.0f && viewport[3] > 0.0f)) {
        return false;
    }
    float clip[16] = {};
    ClipMatrix(projection, modelview, clip);
    ClipPoint strip[4] = {};
    for (int i = 0; i < 4; ++i) {
        strip[i] = ToClip(clip, camera.view, mirror.corners[i]);
    }
    ClipPoint polygon[kClippedQuadPoints] = {};
    const int count = ClipQuadToNear(strip, polygon);
    const float left = viewport[0];
    const float bottom = viewport[1];
    const float right = viewport[0] + viewport[2];
    const float top = viewport[1] + viewport[3];
    if (count == 0) {
        rect[0] = static_cast<int32_t>(left);
        rect[1] = static_cast<int32_t>(bottom);
        rect[2] = 0;
        rect[3] = 0;
        return true;
    }
    float lo[2] = {right, top};
    float hi[2] = {left, bottom};
    for (int i = 0; i < count; ++i) {
        const ClipPoint& p = polygon[i];
        if (!(p.w > 0.0f)) {
            return false;
        }
        const float x = left + (p.x / p.w + 1.0f) * 0.5f * viewport[2];
        const float y = bottom + (p.y / p.w + 1.0f) * 0.5f * viewport[3];
        if (!std::isfinite(x) || !std::isfinite(y)) {
            return false;
        }
        lo[0] = std::min(lo[0], x);
        lo[1] = std::min(lo[1], y);
        hi[0] = std::max(hi[0], x);
        hi[1] = std::max(hi[1], y);
    }
    const float x0 = std::max(left, std::floor(lo[0] - kScissorMargin));
    const float y0 = std::max(bottom, std::floor(lo[1] - kScissorMargin));
    const float x1 = std::min(right, std::ceil(hi[0] + kScissorMargin));
    const float y1 = std::min(top, std::ceil(hi[1] + kScissorMargin));
    rect[0] = static_cast<int32_t>(x0);
    rect[1] = static_cast<int32_t>(y0);
    rect[2] = x1 > x0 ? static_cast<int32_t>(x1 - x0) : 0;
    rect[3] = y1 > y0 ? static_cast<int32_t>(y1 - y0) : 0;
    return true;
}

void Mirror::Draw(Scene* scene, const Camera* camera) {
    if (scene == nullptr || camera == nullptr) {
        return;
    }
    int32_t rect[4] = {0, 0, 0, 0};
    const bool scissored = QuadWindowRect(*this, *camera, rect);
    if (scissored) {
        g_drawGl.Scissor(rect[0], rect[1], rect[2], rect[3]);
        g_drawGl.Enable(GL_SCISSOR_TEST);
    }
    const int32_t instanceTotal = instanceCount < kMirrorMaxInstances ? instanceCount : kMirrorMaxInstances;
    for (int32_t i = 0; i < instanceTotal; ++i) {
        if (instances[i] != nullptr) {
            instances[i]->Draw(scene, camera, scene->dt, scene->time, this);
        }
    }
    const int32_t meshTotal = meshCount < kMirrorMaxMeshes ? meshCount : kMirrorMaxMeshes;
    for (int32_t i = 0; i < meshTotal; ++i) {
        if (meshes[i] != nullptr) {
            meshes[i]->Draw(scene, camera, this);
        }
    }
    if (scissored) {
        g_drawGl.Disable(GL_SCISSOR_TEST);
    }

    if (textured) {
        g_drawGl.BindTexture(GL_TEXTURE_2D, texture);
    } else {
        g_drawGl.Disable(GL_TEXTURE_2D);
    }
    g_drawGl.Disable(GL_DEPTH_TEST);
    g_drawGl.Enable(GL_BLEND);
    g_drawGl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    g_drawGl.Begin(GL_TRIANGLE_STRIP);
    const float* v = camera->view;
    for (int i = 0; i < 4; ++i) {
        const float* c = corners[i];
        const float position[3] = {
            v[0] * c[0] + v[1] * c[1] + v[2] * c[2] + v[3],
            v[4] * c[0] + v[5] * c[1] + v[6] * c[2] + v[7],
            v[8] * c[0] + v[9] * c[1] + v[10] * c[2] + v[11],
        };
        if (textured) {
            g_drawGl.TexCoord2fv(uv[i]);
        }
        g_drawGl.Color4f(colour[i][0], colour[i][1], colour[i][2], alpha);
        g_drawGl.Vertex3fv(position);
    }
    g_drawGl.End();
    g_drawGl.Disable(GL_BLEND);
    g_drawGl.Enable(GL_DEPTH_TEST);
    if (!textured) {
        g_drawGl.Enable(GL_TEXTURE_2D);
    }
}

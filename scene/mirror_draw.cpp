// Reflecting floors: the listed instances and meshes drawn mirrored through
// the plane, then the quad blended over them. The reflected content can only
// be seen through the quad, so its draws are scissored to the window
// rectangle the quad covers and clipped by the planes through the eye and
// the edges of the quad's part in front of the near plane: on a software
// rasteriser the fragments of the reflected corridor outside the floor cost
// as much as the visible ones.
#include <algorithm> // std::min, std::max
#include <cmath>     // std::floor, std::ceil, std::isfinite, std::sqrt

#include "md2/md2.h" // FrameVertex, FramePlane (complete types for Md2Instance::Draw)
#include "scene/draw.h"
#include "scene/scene.h"

namespace {

// A point of the quad: GL's clip coordinates and the eye-space position the
// drawing sends.
struct QuadPoint {
    float x;
    float y;
    float z;
    float w;
    float eye[3];
};

// A polygon of four corners cut by one plane keeps at most five; GL has at
// least six user clip planes.
constexpr int kClippedQuadPoints = 5;
static_assert(kClippedQuadPoints <= 6, "GL guarantees six user clip planes");
// Eye-space distance the culling planes are moved outward by.
constexpr float kBoundsSlack = 0.01f;

// The quad as the frame's projection and viewport show it.
struct QuadView {
    QuadPoint polygon[kClippedQuadPoints]; // the part in front of the near plane
    int count;                             // its points, 0 when none are left
    float viewport[4];                     // x, y, width, height
};

// Below this |n . p| / (|n| |p|) a point counts as lying on an edge plane,
// and below this |n| / (|p| |q|) an edge as too short to give a plane.
constexpr double kPlaneTolerance = 1e-6;
// Pixels added around the projected quad: the rectangle is found in float
// arithmetic that need not round exactly as the rasteriser does.
constexpr float kScissorMargin = 1.0f;

} // namespace

// World point p in eye space: what the quad's draw sends for a corner.
static void EyePoint(const float view[12], const float p[3], float eye[3]) {
    for (int r = 0; r < 3; ++r) {
        eye[r] = view[r * 4] * p[0] + view[r * 4 + 1] * p[1] + view[r * 4 + 2] * p[2] + view[r * 4 + 3];
    }
}

// World point p seen through the camera's view.
static QuadPoint ToQuadPoint(const float clip[16], const float view[12], const float p[3]) {
    QuadPoint out{};
    EyePoint(view, p, out.eye);
    float c[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int r = 0; r < 4; ++r) {
        c[r] = clip[r * 4] * out.eye[0] + clip[r * 4 + 1] * out.eye[1] + clip[r * 4 + 2] * out.eye[2] +
               clip[r * 4 + 3];
    }
    out.x = c[0];
    out.y = c[1];
    out.z = c[2];
    out.w = c[3];
    return out;
}

// a + t (b - a), clip and eye coordinates alike.
static QuadPoint Between(const QuadPoint& a, const QuadPoint& b, float t) {
    QuadPoint out{
        a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z), a.w + t * (b.w - a.w), {}};
    for (int k = 0; k < 3; ++k) {
        out.eye[k] = a.eye[k] + t * (b.eye[k] - a.eye[k]);
    }
    return out;
}

// The part of the quad (corners in strip order) in front of GL's near plane
// z + w >= 0, as a polygon; returns its point count, 0 when nothing is left.
static int ClipQuadToNear(const QuadPoint strip[4], QuadPoint out[kClippedQuadPoints]) {
    const QuadPoint polygon[4] = {strip[0], strip[1], strip[3], strip[2]};
    int count = 0;
    for (int i = 0; i < 4; ++i) {
        const QuadPoint& a = polygon[i];
        const QuadPoint& b = polygon[(i + 1) % 4];
        const float da = a.z + a.w;
        const float db = b.z + b.w;
        if (da >= 0.0f) {
            out[count++] = a;
        }
        if ((da >= 0.0f) != (db >= 0.0f)) {
            out[count++] = Between(a, b, da / (da - db));
        }
    }
    return count;
}

// The quad seen with the frame's projection and viewport; the modelview is
// the identity, so the eye is at the origin. False when there is no viewport
// to bound it by.
static bool ViewQuad(const DrawContext& ctx, const Mirror& mirror, const Camera& camera, QuadView* view) {
    for (int i = 0; i < 4; ++i) {
        view->viewport[i] = static_cast<float>(ctx.viewport[i]);
    }
    if (!(view->viewport[2] > 0.0f && view->viewport[3] > 0.0f)) {
        return false;
    }
    static const float kIdentity[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                        0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    float clip[16] = {};
    ClipMatrix(ctx.projection, kIdentity, clip);
    QuadPoint strip[4] = {};
    for (int i = 0; i < 4; ++i) {
        strip[i] = ToQuadPoint(clip, camera.view, mirror.corners[i]);
    }
    view->count = ClipQuadToNear(strip, view->polygon);
    return true;
}

// The window rectangle (x, y, width, height) holding every pixel of the
// quad, inside the viewport; empty when the quad lies behind the near plane.
// False when no rectangle can be given (a point that cannot be divided by
// its w): draw unclipped.
static bool QuadWindowRect(const QuadView& view, int32_t rect[4]) {
    const float* viewport = view.viewport;
    const float left = viewport[0];
    const float bottom = viewport[1];
    const float right = viewport[0] + viewport[2];
    const float top = viewport[1] + viewport[3];
    if (view.count == 0) {
        rect[0] = static_cast<int32_t>(left);
        rect[1] = static_cast<int32_t>(bottom);
        rect[2] = 0;
        rect[3] = 0;
        return true;
    }
    float lo[2] = {right, top};
    float hi[2] = {left, bottom};
    for (int i = 0; i < view.count; ++i) {
        const QuadPoint& p = view.polygon[i];
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

static double Length3(const double v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// The planes (a, b, c, 0) through the eye at the origin and each edge of the
// quad's visible polygon, which lies on their positive side, in eye space.
// Returns how many were made (edges too short to give a plane are skipped),
// 0 when the polygon would be cut by them: the eye looks along the quad or
// the quad, seen from the eye, is not convex.
static int QuadEdgePlanes(const QuadView& view, double planes[kClippedQuadPoints][4]) {
    if (view.count < 3) {
        return 0;
    }
    double eye[kClippedQuadPoints][3] = {};
    for (int i = 0; i < view.count; ++i) {
        for (int k = 0; k < 3; ++k) {
            eye[i][k] = view.polygon[i].eye[k];
        }
    }
    int made = 0;
    for (int i = 0; i < view.count; ++i) {
        const double* p = eye[i];
        const double* q = eye[(i + 1) % view.count];
        const double n[3] = {p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]};
        const double length = Length3(n);
        if (!(length > kPlaneTolerance * Length3(p) * Length3(q))) {
            continue;
        }
        // Every point of the polygon must lie on one side of the plane, all
        // on the positive one once the plane is turned that way.
        double sign = 0.0;
        for (int k = 0; k < view.count; ++k) {
            const double d = (n[0] * eye[k][0] + n[1] * eye[k][1] + n[2] * eye[k][2]) / length;
            const double tolerance = kPlaneTolerance * Length3(eye[k]);
            if (d > tolerance || d < -tolerance) {
                const double side = d > 0.0 ? 1.0 : -1.0;
                if (sign != 0.0 && side != sign) {
                    return 0;
                }
                sign = side;
            }
        }
        if (sign == 0.0) {
            return 0;
        }
        for (int k = 0; k < 3; ++k) {
            planes[made][k] = sign * n[k] / length;
        }
        planes[made][3] = 0.0;
        ++made;
    }
    return made;
}

// Clips the following draws to the first `count` planes, and lets the
// objects wholly outside them be skipped / lifts both.
static void EnableEdgePlanes(DrawContext* ctx, const double planes[kClippedQuadPoints][4], int count) {
    ReflectionBounds& bounds = ctx->reflection;
    bounds.count = count;
    for (int i = 0; i < count; ++i) {
        const GLenum plane = static_cast<GLenum>(GL_CLIP_PLANE0 + i);
        ctx->gl.ClipPlane(plane, planes[i]);
        ctx->gl.Enable(plane);
        for (int k = 0; k < 3; ++k) {
            bounds.planes[i][k] = static_cast<float>(planes[i][k]);
        }
        // Moved out a little so that rounding to float never skips what GL would draw.
        bounds.planes[i][3] = kBoundsSlack;
    }
}
static void DisableEdgePlanes(DrawContext* ctx, int count) {
    ctx->reflection.count = 0;
    for (int i = 0; i < count; ++i) {
        ctx->gl.Disable(static_cast<GLenum>(GL_CLIP_PLANE0 + i));
    }
}

// The instances and meshes of the mirror, reflected in its plane.
static void DrawReflection(DrawContext* ctx, Scene* scene, Mirror* mirror) {
    ctx->mirror = mirror;
    const int32_t instanceTotal =
        mirror->instanceCount < kMirrorMaxInstances ? mirror->instanceCount : kMirrorMaxInstances;
    for (int32_t i = 0; i < instanceTotal; ++i) {
        if (mirror->instances[i] != nullptr) {
            DrawMd2Instance(ctx, scene, mirror->instances[i], scene->dt, scene->time);
        }
    }
    const int32_t meshTotal = mirror->meshCount < kMirrorMaxMeshes ? mirror->meshCount : kMirrorMaxMeshes;
    for (int32_t i = 0; i < meshTotal; ++i) {
        if (mirror->meshes[i] != nullptr) {
            DrawMesh(ctx, scene, mirror->meshes[i]);
        }
    }
    ctx->mirror = nullptr;
}

// The quad itself, blended over the reflection without depth test.
static void DrawQuad(const GlTable& gl, const Mirror& mirror, const Camera& camera) {
    if (mirror.textured) {
        gl.BindTexture(GL_TEXTURE_2D, mirror.texture);
    } else {
        gl.Disable(GL_TEXTURE_2D);
    }
    gl.Disable(GL_DEPTH_TEST);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.Begin(GL_TRIANGLE_STRIP);
    for (int i = 0; i < 4; ++i) {
        float position[3] = {};
        EyePoint(camera.view, mirror.corners[i], position);
        if (mirror.textured) {
            gl.TexCoord2fv(mirror.uv[i]);
        }
        gl.Color4f(mirror.colour[i][0], mirror.colour[i][1], mirror.colour[i][2], mirror.alpha);
        gl.Vertex3fv(position);
    }
    gl.End();
    gl.Disable(GL_BLEND);
    gl.Enable(GL_DEPTH_TEST);
    if (!mirror.textured) {
        gl.Enable(GL_TEXTURE_2D);
    }
}

void DrawMirror(DrawContext* ctx, Scene* scene, Mirror* mirror) {
    const Camera* camera = ctx->camera;
    if (scene == nullptr || camera == nullptr || mirror == nullptr) {
        return;
    }
    QuadView view{};
    int32_t rect[4] = {0, 0, 0, 0};
    const bool scissored = ViewQuad(*ctx, *mirror, *camera, &view) && QuadWindowRect(view, rect);
    if (scissored) {
        ctx->gl.Scissor(rect[0], rect[1], rect[2], rect[3]);
        ctx->gl.Enable(GL_SCISSOR_TEST);
    }
    double planes[kClippedQuadPoints][4] = {};
    const int edgePlanes = scissored ? QuadEdgePlanes(view, planes) : 0;
    EnableEdgePlanes(ctx, planes, edgePlanes);
    DrawReflection(ctx, scene, mirror);
    if (scissored) {
        ctx->gl.Disable(GL_SCISSOR_TEST);
    }
    DisableEdgePlanes(ctx, edgePlanes);
    DrawQuad(ctx->gl, *mirror, *camera);
}

// One scene's frame: projection, camera, frustum, then the sky box, the
// mirrors, the objects of the draw list and the MD2 characters, in that
// order. Also the context every draw travels in and the frame's set-up.
#include <cmath> // std::sin, std::cos

#include "md2/md2.h" // Md2Model (the scene's models and their instances)
#include "scene/draw.h"
#include "scene/scene.h"

namespace {

constexpr float kIdentity[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
// The value of pi the classic perspective helper works with.
constexpr double kPi = 3.14159265358979323846;

} // namespace

DrawContext MakeDrawContext(const GlTable& gl) {
    DrawContext ctx{};
    ctx.gl = gl;
    for (int i = 0; i < 16; ++i) {
        ctx.projection[i] = kIdentity[i];
    }
    return ctx;
}

void DrawViewport(DrawContext* ctx, int32_t x, int32_t y, int32_t width, int32_t height) {
    ctx->gl.Viewport(x, y, width, height);
    if (width < 0 || height < 0) {
        return;
    }
    ctx->viewport[0] = x;
    ctx->viewport[1] = y;
    ctx->viewport[2] = width;
    ctx->viewport[3] = height;
}

void DrawProjection(DrawContext* ctx, const float projection[16]) {
    const float* m = projection != nullptr ? projection : kIdentity;
    ctx->gl.MatrixMode(GL_PROJECTION);
    if (projection != nullptr) {
        ctx->gl.LoadMatrixf(m);
    } else {
        ctx->gl.LoadIdentity();
    }
    ctx->gl.MatrixMode(GL_MODELVIEW);
    for (int i = 0; i < 16; ++i) {
        ctx->projection[i] = m[i];
    }
}

bool PerspectiveMatrix(double fovy, double aspect, double zNear, double zFar, float out[16]) {
    // Same operations in the same order as the helper the content was
    // tuned with, so the floats GL receives are the same.
    const double radians = fovy / 2 * kPi / 180;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0) {
        return false;
    }
    const double cotangent = std::cos(radians) / sine;
    double m[16] = {};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / deltaZ;
    for (int i = 0; i < 16; ++i) {
        out[i] = static_cast<float>(m[i]);
    }
    return true;
}

void ExtractCameraPlanes(const DrawContext& ctx, Camera* camera) {
    ExtractFrustumPlanes(ctx.projection, kIdentity, camera->planes);
}

// The camera that renders the scene, or null when the scene has none at
// currentCamera (a scene built by hand or from a file without cameras).
static Camera* RenderCamera(const Scene& scene) {
    if (scene.cameras == nullptr || scene.currentCamera < 0 || scene.currentCamera >= scene.cameraCount ||
        scene.currentCamera >= kSceneCameraCapacity) {
        return nullptr;
    }
    return scene.cameras[scene.currentCamera];
}

void RenderScene(DrawContext* ctx, Scene* scene) {
    if (scene == nullptr || scene->opacity == 0.0f) {
        return;
    }
    Camera* camera = RenderCamera(*scene);
    if (camera == nullptr) {
        return;
    }
    float projection[16] = {};
    const bool perspective =
        PerspectiveMatrix(camera->fov, camera->aspect, kDrawNearPlane, kDrawFarPlane, projection);
    // A degenerate camera leaves the identity, as GL's helper did.
    DrawProjection(ctx, perspective ? projection : nullptr);
    camera->UpdateView();
    ExtractCameraPlanes(*ctx, camera);
    ctx->camera = camera;
    ctx->mirror = nullptr;

    if (scene->skyBox != nullptr) {
        DrawSkyBox(ctx, scene->skyBox, camera->view);
    }
    for (Mirror* mirror = scene->mirrors; mirror != nullptr; mirror = mirror->next) {
        DrawMirror(ctx, scene, mirror);
    }
    for (MeshObject* object = scene->drawList; object != nullptr; object = object->nextDrawn) {
        DrawMesh(ctx, scene, object);
    }
    for (Md2Model* model = scene->models; model != nullptr; model = model->next) {
        DrawMd2Instances(ctx, model, scene, scene->dt, scene->time);
    }
}

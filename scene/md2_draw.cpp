// MD2 instances: CPU interpolation between frames, lighting and drawing,
// then the frame advance with its one-frame blend into a new motion.
#include <cmath>   // std::floor, std::fmod
#include <cstring> // std::memset

#include "math/math3d.h" // EulerToMatrix, ReflectMatrix, MatrixCompose, Dot3
#include "md2/md2.h"     // Md2Model, AnimRange, FrameVertex, FramePlane
#include "scene/draw.h"
#include "scene/scene.h"

void DrawMd2Instances(DrawContext* ctx, const Md2Model* model, Scene* scene, const float dt,
                      const float time) {
    if (model == nullptr) {
        return;
    }
    for (Md2Instance* instance = model->instances; instance != nullptr; instance = instance->next) {
        DrawMd2Instance(ctx, scene, instance, dt, time);
    }
}

// A FrameVertex at parameter t: normal and position moved t of their deltas.
static void InterpolateVertex(const FrameVertex& v, float t, float normal[3], float position[3]) {
    for (int i = 0; i < 3; ++i) {
        normal[i] = v.normal[i] + t * v.normalDelta[i];
        position[i] = v.position[i] + t * v.positionDelta[i];
    }
}

// The motion's first frame and frame count; false when the motion or its
// frames lie outside the model.
static bool MotionFrames(const Md2Instance& instance, uint32_t* first, uint32_t* count) {
    const Md2Model* model = instance.model;
    if (model == nullptr || instance.anims == nullptr || instance.anim < 0 ||
        static_cast<uint32_t>(instance.anim) >= model->animCount) {
        return false;
    }
    const AnimRange& range = instance.anims[instance.anim];
    if (range.firstFrame >= model->frameCount || range.frameCount > model->frameCount - range.firstFrame) {
        return false;
    }
    *first = range.firstFrame;
    *count = range.frameCount;
    return true;
}

// Every array the draw reads is there.
static bool InstanceDrawable(const Md2Instance& instance) {
    return instance.vertsPerFrame > 0 && instance.frames != nullptr && instance.arrayVerts != nullptr &&
           instance.vertexState != nullptr && instance.tris != nullptr && instance.framePlanes != nullptr &&
           instance.frameBoxes != nullptr && instance.groups != nullptr && instance.envUV != nullptr &&
           instance.blendVerts != nullptr && (instance.facesPerFrame == 0 || instance.blendPlanes != nullptr);
}

namespace {

// The instance's triangles at its drawn frame, as a source of triangles.
bool InstanceTriangle(const void* owner, int32_t t, const float eye[3], uint16_t abc[3]) {
    const auto* instance = static_cast<const Md2Instance*>(owner);
    const uint16_t* tri = instance->tris + 4 * t;
    if (tri[0] >= instance->vertsPerFrame || tri[1] >= instance->vertsPerFrame ||
        tri[2] >= instance->vertsPerFrame) {
        return false;
    }
    // The triangle's plane at the drawn frame, interpolated, must face the eye.
    const FramePlane& plane =
        instance->framePlanes[static_cast<uint32_t>(instance->planeOffset) + static_cast<uint32_t>(t)];
    const float f = instance->frac;
    float n[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        n[i] = plane.normal[i] + f * plane.normalDelta[i];
    }
    const float d = plane.distance + f * plane.distanceDelta;
    if (!(d - Dot3(n, eye) >= 0.0f)) {
        return false;
    }
    abc[0] = tri[0];
    abc[1] = tri[1];
    abc[2] = tri[2];
    return true;
}

void InstanceVertex(const void* owner, uint16_t index, float position[3], float normal[3]) {
    const auto* instance = static_cast<const Md2Instance*>(owner);
    InterpolateVertex(instance->frames[static_cast<uint32_t>(instance->vertexOffset) + index], instance->frac,
                      normal, position);
}

} // namespace

// Blend from the pose on screen to frame `first` of the new motion, written
// into the buffer the instance does not draw from. A switch that arrives
// while a blend still runs starts from the blend's own pose: the blend buffer
// is rewritten in place (each entry is read before it is written) and the
// model's frames, parked in blendVerts meanwhile, are never written.
static void BuildTransition(Md2Instance* instance, uint32_t first) {
    FrameVertex* modelFrames = instance->inTransition ? instance->blendVerts : instance->frames;
    FramePlane* modelPlanes = instance->inTransition ? instance->blendPlanes : instance->framePlanes;
    FrameVertex* blendVerts = instance->inTransition ? instance->frames : instance->blendVerts;
    FramePlane* blendPlanes = instance->inTransition ? instance->framePlanes : instance->blendPlanes;
    const float t = instance->frac;

    const FrameVertex* from = instance->frames + instance->vertexOffset;
    const FrameVertex* to = modelFrames + static_cast<size_t>(first) * instance->vertsPerFrame;
    for (uint32_t i = 0; i < instance->vertsPerFrame; ++i) {
        float normal[3] = {0.0f, 0.0f, 0.0f};
        float position[3] = {0.0f, 0.0f, 0.0f};
        InterpolateVertex(from[i], t, normal, position);
        FrameVertex& out = blendVerts[i];
        for (int k = 0; k < 3; ++k) {
            out.normal[k] = normal[k];
            out.position[k] = position[k];
            out.normalDelta[k] = to[i].normal[k] - normal[k];
            out.positionDelta[k] = to[i].position[k] - position[k];
        }
    }
    const FramePlane* fromPlanes = instance->framePlanes + instance->planeOffset;
    const FramePlane* toPlanes = modelPlanes + static_cast<size_t>(first) * instance->facesPerFrame;
    for (uint32_t j = 0; j < instance->facesPerFrame; ++j) {
        float normal[3] = {0.0f, 0.0f, 0.0f};
        for (int k = 0; k < 3; ++k) {
            normal[k] = fromPlanes[j].normal[k] + t * fromPlanes[j].normalDelta[k];
        }
        const float distance = fromPlanes[j].distance + t * fromPlanes[j].distanceDelta;
        FramePlane& out = blendPlanes[j];
        for (int k = 0; k < 3; ++k) {
            out.normal[k] = normal[k];
            out.normalDelta[k] = toPlanes[j].normal[k] - normal[k];
        }
        out.distance = distance;
        out.distanceDelta = toPlanes[j].distance - distance;
    }
    instance->frames = blendVerts;
    instance->blendVerts = modelFrames;
    instance->framePlanes = blendPlanes;
    instance->blendPlanes = modelPlanes;
}

static void PointAtFrame(Md2Instance* instance, uint32_t frame) {
    instance->vertexOffset = static_cast<int32_t>(frame * instance->vertsPerFrame);
    instance->planeOffset = static_cast<int32_t>(frame * instance->facesPerFrame);
}

static void AdvanceFrame(Md2Instance* instance, float dt) {
    uint32_t first = 0;
    uint32_t count = 0;
    if (!MotionFrames(*instance, &first, &count)) {
        return;
    }
    if (instance->preparedAnim != instance->anim) {
        BuildTransition(instance, first);
        instance->vertexOffset = 0;
        instance->planeOffset = 0;
        instance->frac = 0.0f;
        instance->frameInAnim = 0;
        instance->preparedAnim = instance->anim;
        instance->inTransition = 1;
    }

    float frac = instance->frac + dt * instance->speed;
    if (!(frac >= 0.0f)) {
        frac = 0.0f; // a negative or undefined step holds the frame
    }
    const double whole = std::floor(static_cast<double>(frac));
    instance->frac = static_cast<float>(static_cast<double>(frac) - whole);
    if (!(instance->frac < 1.0f)) {
        instance->frac = 0.0f;
    }

    if (!instance->inTransition) {
        // A step of more than one loop wraps with the remainder so the drawn
        // frame always stays inside the motion.
        if (count == 0) {
            instance->frameInAnim = 0;
        } else {
            const double total = static_cast<double>(instance->frameInAnim) + whole;
            instance->frameInAnim = static_cast<uint32_t>(std::fmod(total, static_cast<double>(count)));
        }
        PointAtFrame(instance, first + instance->frameInAnim);
        return;
    }
    if (whole >= 1.0) {
        FrameVertex* verts = instance->frames;
        instance->frames = instance->blendVerts;
        instance->blendVerts = verts;
        FramePlane* planes = instance->framePlanes;
        instance->framePlanes = instance->blendPlanes;
        instance->blendPlanes = planes;
        instance->inTransition = 0;
        instance->frameInAnim = 0;
        PointAtFrame(instance, first);
    }
}

void DrawMd2Instance(DrawContext* ctx, Scene* scene, Md2Instance* instance, float dt, float time) {
    const Camera* camera = ctx->camera;
    const Mirror* plane = ctx->mirror;
    if (instance == nullptr || instance->groupCount <= 0 || scene == nullptr || camera == nullptr ||
        !InstanceDrawable(*instance)) {
        return;
    }
    if (plane == nullptr) {
        instance->AdvanceKeys(time);
    }
    EulerToMatrix(instance->rot, instance->pos, instance->world);
    if (plane != nullptr) {
        ReflectMatrix(plane->normal, plane->point, instance->world);
    }
    float m[12] = {};
    MatrixCompose(camera->view, instance->world, m);
    uint32_t first = 0;
    uint32_t count = 0;
    if (!MotionFrames(*instance, &first, &count)) {
        return;
    }
    const uint32_t shown = instance->frameInAnim < count ? instance->frameInAnim : 0;
    const float* box = instance->frameBoxes + 6 * static_cast<size_t>(first + shown);
    if (!BoxVisible(m, box, box + 3, camera->planes) ||
        (plane != nullptr && !ReflectionMayShow(*ctx, m, box, box + 3))) {
        ++ctx->stats.objectsCulled;
        return;
    }

    std::memset(instance->vertexState, 0, sizeof(int32_t) * instance->vertsPerFrame);
    float eye[3] = {0.0f, 0.0f, 0.0f};
    EyeInObject(instance->world, camera->pos, eye);
    const int32_t lightsUsed = FillLocalLights(scene, instance->world);
    const GroupPass pass = {m, eye, scene->localLights, lightsUsed, scene->opacity >= 1.0f, scene->opacity};
    if (pass.arrayPath) {
        ctx->gl.InterleavedArrays(GL_T2F_C3F_V3F, 0, instance->arrayVerts);
    }
    // An instance owns exactly one group (Md2Model::AddInstance), whatever
    // groupCount the model reports.
    const MaterialGroup& group = instance->groups[0];
    uint32_t triangles = group.faceCount > 0 ? static_cast<uint32_t>(group.faceCount) : 0;
    if (triangles > instance->facesPerFrame) {
        triangles = instance->facesPerFrame;
    }
    const TriangleSource source = {instance,
                                   static_cast<int32_t>(triangles),
                                   &InstanceTriangle,
                                   &InstanceVertex,
                                   instance->arrayVerts,
                                   instance->vertexState,
                                   instance->envUV};
    DrawGroup(ctx, pass, source, group.material);
    if (plane == nullptr) {
        AdvanceFrame(instance, dt);
    }
}

// MD2 instances: CPU interpolation between frames, lighting and drawing,
// then the frame advance with its one-frame blend into a new motion.
#include <cmath>   // std::floor, std::fmod
#include <cstring> // std::memset

#include "math/math3d.h" // EulerToMatrix, ReflectMatrix, MatrixCompose, Dot3
#include "md2/md2.h"     // Md2Model, AnimRange, FrameVertex, FramePlane
#include "scene/draw.h"
#include "scene/scene.h"

void DrawMd2Instances(const Md2Model* model, Scene* scene, const Camera* camera, const float dt, const float time,
                      const Mirror* plane) {
    if (model == nullptr) {
        return;
    }
    for (Md2Instance* instance = model->instances; instance != nullptr; instance = instance->next) {
        instance->Draw(scene, camera, dt, time, plane);
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

struct InstancePass {
    Md2Instance* instance;
    const float* m;
    const float* eye;
    const LocalLight* lights;
    int32_t lightCount;
    bool arrayPath;
    float alpha;
};

} // namespace

// Triangle j faces the eye: the plane at the drawn frame, interpolated.
static bool TriangleVisible(const InstancePass& pass, uint32_t j) {
    const Md2Instance* instance = pass.instance;
    const FramePlane& plane = instance->framePlanes[static_cast<uint32_t>(instance->planeOffset) + j];
    const float t = instance->frac;
    float n[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        n[i] = plane.normal[i] + t * plane.normalDelta[i];
    }
    const float d = plane.distance + t * plane.distanceDelta;
    return d - Dot3(n, pass.eye) >= 0.0f;
}

// Interpolates, transforms and lights vertex `index` unless this draw already did.
static void LightInstanceVertexOnce(const InstancePass& pass, uint16_t index) {
    Md2Instance* instance = pass.instance;
    if (instance->vertexState[index] == 0) {
        instance->vertexState[index] = 1;
        float normal[3] = {0.0f, 0.0f, 0.0f};
        float p[3] = {0.0f, 0.0f, 0.0f};
        InterpolateVertex(instance->frames[static_cast<uint32_t>(instance->vertexOffset) + index],
                          instance->frac, normal, p);
        TransformAndLight(pass.m, p, normal, pass.lights, pass.lightCount, &instance->arrayVerts[index]);
    }
}

static void InstanceEnvironmentVertex(const InstancePass& pass, uint16_t index, float alpha) {
    Md2Instance* instance = pass.instance;
    float* uv = instance->envUV + 2 * index;
    if (instance->vertexState[index] != 2) {
        instance->vertexState[index] = 2;
        float normal[3] = {0.0f, 0.0f, 0.0f};
        float p[3] = {0.0f, 0.0f, 0.0f};
        InterpolateVertex(instance->frames[static_cast<uint32_t>(instance->vertexOffset) + index],
                          instance->frac, normal, p);
        EnvironmentCoords(pass.m, normal, uv);
    }
    EmitEnvironmentVertex(uv, instance->arrayVerts[index], alpha);
}

static bool TriangleIndicesValid(const uint16_t* tri, uint32_t vertsPerFrame) {
    return tri[0] < vertsPerFrame && tri[1] < vertsPerFrame && tri[2] < vertsPerFrame;
}

static void DrawInstanceGroup(const InstancePass& pass, const MaterialGroup& group) {
    Md2Instance* instance = pass.instance;
    const Material* material = group.material;
    uint32_t count = group.faceCount > 0 ? static_cast<uint32_t>(group.faceCount) : 0;
    if (count > instance->facesPerFrame) {
        count = instance->facesPerFrame;
    }
    g_drawGl.BindTexture(GL_TEXTURE_2D, material != nullptr ? material->texture : 0);
    TriangleBatch batch;
    if (!pass.arrayPath) {
        g_drawGl.Begin(GL_TRIANGLES);
    }
    for (uint32_t j = 0; j < count; ++j) {
        const uint16_t* tri = instance->tris + 4 * j;
        if (!TriangleIndicesValid(tri, instance->vertsPerFrame) || !TriangleVisible(pass, j)) {
            continue;
        }
        ++g_drawStats.facesDrawn;
        LightInstanceVertexOnce(pass, tri[0]);
        LightInstanceVertexOnce(pass, tri[1]);
        LightInstanceVertexOnce(pass, tri[2]);
        if (pass.arrayPath) {
            BatchTriangle(&batch, tri[0], tri[1], tri[2]);
        } else {
            EmitBaseVertex(instance->arrayVerts[tri[0]], pass.alpha);
            EmitBaseVertex(instance->arrayVerts[tri[1]], pass.alpha);
            EmitBaseVertex(instance->arrayVerts[tri[2]], pass.alpha);
        }
    }
    if (pass.arrayPath) {
        FlushTriangles(&batch);
    } else {
        g_drawGl.End();
    }

    if (material == nullptr || material->envTexture == 0) {
        return;
    }
    BeginEnvironmentPass(material->envTexture);
    for (uint32_t j = 0; j < count; ++j) {
        const uint16_t* tri = instance->tris + 4 * j;
        if (!TriangleIndicesValid(tri, instance->vertsPerFrame) || !TriangleVisible(pass, j)) {
            continue;
        }
        InstanceEnvironmentVertex(pass, tri[0], material->envAlpha);
        InstanceEnvironmentVertex(pass, tri[1], material->envAlpha);
        InstanceEnvironmentVertex(pass, tri[2], material->envAlpha);
    }
    EndEnvironmentPass();
}

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

void Md2Instance::Draw(Scene* scene, const Camera* camera, float dt, float time, const Mirror* plane) {
    if (groupCount <= 0 || scene == nullptr || camera == nullptr || !InstanceDrawable(*this)) {
        return;
    }
    if (plane == nullptr) {
        AdvanceKeys(time);
    }
    EulerToMatrix(rot, pos, world);
    if (plane != nullptr) {
        ReflectMatrix(plane->normal, plane->point, world);
    }
    float m[12] = {};
    MatrixCompose(camera->view, world, m);
    uint32_t first = 0;
    uint32_t count = 0;
    if (!MotionFrames(*this, &first, &count)) {
        return;
    }
    const float* box = frameBoxes + 6 * static_cast<size_t>(first + (frameInAnim < count ? frameInAnim : 0));
    if (!BoxVisible(m, box, box + 3, camera->planes) ||
        (plane != nullptr && !ReflectionMayShow(m, box, box + 3))) {
        ++g_drawStats.objectsCulled;
        return;
    }

    std::memset(vertexState, 0, sizeof(int32_t) * vertsPerFrame);
    float eye[3] = {0.0f, 0.0f, 0.0f};
    EyeInObject(world, camera->pos, eye);
    const int32_t lightsUsed = FillLocalLights(scene, world);
    const InstancePass pass = {this,          m, eye, scene->localLights, lightsUsed, scene->opacity >= 1.0f,
                               scene->opacity};
    if (pass.arrayPath) {
        g_drawGl.InterleavedArrays(GL_T2F_C3F_V3F, 0, arrayVerts);
    }
    // An instance owns exactly one group (Md2Model::AddInstance), whatever
    // groupCount the model reports.
    DrawInstanceGroup(pass, groups[0]);
    if (plane == nullptr) {
        AdvanceFrame(this, dt);
    }
}

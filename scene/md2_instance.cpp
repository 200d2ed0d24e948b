// MD2 instances: making them from a model, their setters, and the queue of
// moves that walks them through a scene.
#include <cstdint> // INT32_MAX, UINT32_MAX
#include <new>     // std::nothrow

#include "md2/md2.h"            // Md2Model, AnimRange, FrameVertex, FramePlane
#include "memory/memory_pool.h" // PoolAlloc, PoolFree for the per-instance buffers
#include "scene/scene.h"

Md2Model* Scene::AddModel(Md2Model* model) {
    if (model != nullptr) {
        model->next = models;
        models = model;
    }
    return model;
}

// Pool block of count x size bytes; null when count is 0, when the product
// does not fit a pool request, or when the pool is exhausted.
static void* PoolArray(uint32_t count, uint32_t size) {
    if (count == 0 || count > UINT32_MAX / size) {
        return nullptr;
    }
    return PoolAlloc(count * size);
}

// Takes the buffers only this instance uses. When one is missing the instance
// keeps groupCount 0, which the drawing reads as "nothing to draw", so a
// caller that does not check the result still cannot draw through a null
// buffer.
static bool TakeInstanceBuffers(Md2Instance* instance) {
    const uint32_t verts = instance->vertsPerFrame;
    const uint32_t faces = instance->facesPerFrame;
    instance->blendVerts = static_cast<FrameVertex*>(PoolArray(verts, sizeof(FrameVertex)));
    instance->blendPlanes = static_cast<FramePlane*>(PoolArray(faces, sizeof(FramePlane)));
    instance->envUV = static_cast<float*>(PoolArray(verts, 2 * sizeof(float)));
    return (verts == 0 || (instance->blendVerts != nullptr && instance->envUV != nullptr)) &&
           (faces == 0 || instance->blendPlanes != nullptr);
}

Md2Instance* AddMd2Instance(Md2Model* model, const char* instanceName, const uint32_t skin) {
    if (model == nullptr) {
        return nullptr;
    }
    Md2Instance* instance = new (std::nothrow) Md2Instance();
    if (instance == nullptr) {
        return nullptr;
    }
    instance->SetName(instanceName);
    instance->model = model;
    instance->frameBoxes = model->frameBoxes;
    instance->vertsPerFrame = model->vertsPerFrame;
    instance->facesPerFrame = model->facesPerFrame;
    instance->frames = model->frames;
    instance->arrayVerts = model->arrayVerts;
    instance->vertexState = model->vertexState;
    instance->tris = model->tris;
    instance->framePlanes = model->framePlanes;
    instance->speed = model->speed;
    instance->anims = model->anims;

    const bool buffers = TakeInstanceBuffers(instance);
    MaterialGroup* group = new (std::nothrow) MaterialGroup();
    Material* material = new (std::nothrow) Material();
    if (buffers && group != nullptr && material != nullptr) {
        material->texture = skin;
        group->material = material;
        group->faceCount = (model->groups != nullptr && model->groupCount > 0) ? model->groups[0].faceCount : 0;
        group->faceIndices = nullptr;
        instance->groups = group;
        instance->groupCount = model->groupCount;
    } else {
        delete group;
        delete material;
    }

    instance->next = model->instances;
    model->instances = instance;
    return instance;
}

char* Md2Instance::SetName(const char* text) {
    char* copy = SceneCopyName(text);
    if (copy == nullptr && text != nullptr) {
        return nullptr;
    }
    PoolFree(name);
    name = copy;
    return copy;
}

void Md2Instance::SetPosition(float x, float y, float z) {
    pos[0] = x;
    pos[1] = y;
    pos[2] = z;
}

void Md2Instance::SetRotation(float x, float y, float z) {
    rot[0] = x;
    rot[1] = y;
    rot[2] = z;
}

// The motion `index` of the instance's table, or null when it has none.
static const AnimRange* Motion(const Md2Instance* instance, int32_t index) {
    if (instance->model == nullptr || instance->anims == nullptr || index < 0 ||
        static_cast<uint32_t>(index) >= instance->model->animCount ||
        static_cast<uint32_t>(index) >= static_cast<uint32_t>(kMd2MaxAnims)) {
        return nullptr;
    }
    return &instance->anims[index];
}

int Md2Instance::SetMotion(int32_t index) {
    const AnimRange* motion = Motion(this, index);
    if (motion == nullptr) {
        return 0;
    }
    // The offsets are int32 indices into the model's frame arrays; a motion
    // whose first frame would not fit is refused rather than wrapped.
    const int64_t vertexStart = static_cast<int64_t>(motion->firstFrame) * vertsPerFrame;
    const int64_t planeStart = static_cast<int64_t>(motion->firstFrame) * facesPerFrame;
    if (vertexStart > INT32_MAX || planeStart > INT32_MAX) {
        return 0;
    }
    anim = index;
    frameInAnim = 0;
    vertexOffset = static_cast<int32_t>(vertexStart);
    planeOffset = static_cast<int32_t>(planeStart);
    return 1;
}

float Md2Instance::LoopDuration(int32_t index) const {
    const AnimRange* motion = Motion(this, index);
    if (motion == nullptr || !(speed > 0.0f)) {
        return 0.0f;
    }
    return static_cast<float>(motion->frameCount) / speed;
}

MoveKey* Md2Instance::QueueMove(int32_t index, const float targetPosition[3], const float targetRotation[3],
                                float duration) {
    // A key with a motion outside the table would make the drawing read past
    // the motion table once it is taken.
    if (Motion(this, index) == nullptr || targetPosition == nullptr || targetRotation == nullptr) {
        return nullptr;
    }
    MoveKey* key = new (std::nothrow) MoveKey();
    if (key == nullptr) {
        return nullptr;
    }
    key->motion = index;
    key->duration = duration;
    for (int i = 0; i < 3; ++i) {
        key->targetPos[i] = targetPosition[i];
        key->targetRot[i] = targetRotation[i];
    }
    if (keyTail == nullptr) {
        keyHead = key;
    } else {
        keyTail->next = key;
    }
    keyTail = key;
    return key;
}

MoveKey* Md2Instance::QueueLoops(int32_t index, const float targetPosition[3], const float targetRotation[3],
                                 float loops) {
    return QueueMove(index, targetPosition, targetRotation, LoopDuration(index) * loops);
}

void Md2Instance::AdvanceKeys(float t) {
    if (t > keyEnd && keyHead != nullptr) {
        MoveKey* key = keyHead;
        keyEnd = t + key->duration;
        for (int i = 0; i < 3; ++i) {
            targetPos[i] = key->targetPos[i];
            targetRot[i] = key->targetRot[i];
        }
        // The old motion becomes the prepared one so that the drawing blends
        // into the new motion when it differs.
        preparedAnim = anim;
        anim = key->motion;
        keyHead = key->next;
        if (keyHead == nullptr) {
            keyTail = nullptr;
        }
        delete key;
    }
    if (keyEnd > t) {
        // Each call covers 1 / (frames left) of the remaining distance. In the
        // last partial frame that fraction would pass 1 and carry the
        // instance beyond its target, so it stops there instead.
        float k = 1.0f / (keyEnd - t);
        if (k > 1.0f) {
            k = 1.0f;
        }
        for (int i = 0; i < 3; ++i) {
            pos[i] += (targetPos[i] - pos[i]) * k;
            rot[i] += (targetRot[i] - rot[i]) * k;
        }
    }
}

// Releases what one instance took; the model's shared arrays stay. During a
// transition the instance's frame pointers and blend buffers are exchanged,
// so the instance's own buffer is whichever one is not the model's.
static void FreeInstance(Md2Instance* instance, const Md2Model* model) {
    while (instance->keyHead != nullptr) {
        MoveKey* key = instance->keyHead;
        instance->keyHead = key->next;
        delete key;
    }
    FrameVertex* ownVerts = instance->blendVerts == model->frames ? instance->frames : instance->blendVerts;
    FramePlane* ownPlanes =
        instance->blendPlanes == model->framePlanes ? instance->framePlanes : instance->blendPlanes;
    PoolFree(ownVerts);
    PoolFree(ownPlanes);
    PoolFree(instance->envUV);
    PoolFree(instance->name);
    if (instance->groups != nullptr) {
        delete instance->groups->material;
        delete instance->groups;
    }
    delete instance;
}

void FreeMd2Instances(Md2Model* model) {
    if (model == nullptr) {
        return;
    }
    Md2Instance* instance = model->instances;
    model->instances = nullptr;
    while (instance != nullptr) {
        Md2Instance* next = instance->next;
        FreeInstance(instance, model);
        instance = next;
    }
}

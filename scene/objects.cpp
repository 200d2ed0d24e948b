// The pool records of a scene (mesh objects, materials, cameras, lights) and
// the mirror's setters.
#include <cmath>   // cosf
#include <cstring> // strlen, memcpy
#include <new>     // placement new on pool memory

#include "memory/memory_pool.h" // PoolAlloc, PoolFree
#include "scene/scene.h"

char* SceneCopyName(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const size_t length = std::strlen(text);
    if (length >= 0xFFFFFFFFu) {
        return nullptr;
    }
    char* copy = static_cast<char*>(PoolAlloc(static_cast<uint32_t>(length + 1)));
    if (copy != nullptr) {
        std::memcpy(copy, text, length + 1);
    }
    return copy;
}

// Replaces a pool name. The old copy goes back to the pool only after the new
// one exists, so a name is never left dangling.
static char* ReplaceName(char** slot, const char* text) {
    char* copy = SceneCopyName(text);
    if (copy == nullptr && text != nullptr) {
        return nullptr;
    }
    PoolFree(*slot);
    *slot = copy;
    return copy;
}

// A pool block holding a default-constructed T, or null.
template <typename T> static T* NewPoolRecord() {
    void* block = PoolAlloc(sizeof(T));
    if (block == nullptr) {
        return nullptr;
    }
    return new (block) T();
}

char* MeshObject::SetName(const char* text) {
    return ReplaceName(&name, text);
}

int MeshObject::SetGroupTexture(int32_t group, uint32_t texture) {
    if (groups == nullptr || group < 0 || group >= groupCount || groups[group].material == nullptr) {
        return 0;
    }
    groups[group].material->texture = texture;
    return 1;
}

MeshObject* NewMeshObject() {
    return NewPoolRecord<MeshObject>();
}

Material* NewMaterial() {
    return NewPoolRecord<Material>();
}

char* SetMaterialName(Material* material, const char* text) {
    return material == nullptr ? nullptr : ReplaceName(&material->name, text);
}

char* SetMaterialMapFile(Material* material, const char* text) {
    return material == nullptr ? nullptr : ReplaceName(&material->mapFile, text);
}

void Camera::SetDefaults() {
    pos[0] = 100.0f;
    pos[1] = 100.0f;
    pos[2] = 100.0f;
    target[0] = 0.0f;
    target[1] = 0.0f;
    target[2] = 0.0f;
    roll = 0.0f;
    fov = 90.0f;
    aspect = 1.0f;
    // Forgotten, not released: SetDefaults may run on a record whose name
    // was never set by SetName.
    name = nullptr;
}

void Camera::SetFov(float degrees) {
    fov = degrees;
}

void Camera::SetRoll(float degrees) {
    roll = degrees;
}

void Camera::SetAspect(float value) {
    aspect = value;
}

char* Camera::SetName(const char* text) {
    return ReplaceName(&name, text);
}

Camera* NewCamera() {
    return NewPoolRecord<Camera>();
}

char* Light::SetName(const char* text) {
    return ReplaceName(&name, text);
}

void Light::SetCone(float hotspotDegrees, float falloffDegrees) {
    // 3.14, not pi: the lighting of the shipped scenes was tuned with it.
    const float toRadians = 3.14f / 180.0f;
    cosHotspot = std::cos(hotspotDegrees * toRadians);
    cosFalloff = std::cos(falloffDegrees * toRadians);
}

void Light::SetKind(int32_t value) {
    kind = value;
}

void Light::SwitchOn() {
    on = 1;
}

Light* NewLight() {
    return NewPoolRecord<Light>();
}

static bool CornerInRange(int32_t i) {
    return i >= 0 && i < 4;
}

void Mirror::SetCorner(int32_t i, float x, float y, float z) {
    if (CornerInRange(i)) {
        corners[i][0] = x;
        corners[i][1] = y;
        corners[i][2] = z;
    }
}

void Mirror::SetCornerColour(int32_t i, float r, float g, float b) {
    if (CornerInRange(i)) {
        colour[i][0] = r;
        colour[i][1] = g;
        colour[i][2] = b;
    }
}

void Mirror::SetCornerUV(int32_t i, float u, float v) {
    if (CornerInRange(i)) {
        uv[i][0] = u;
        uv[i][1] = v;
    }
}

void Mirror::SetNormal(float x, float y, float z) {
    normal[0] = x;
    normal[1] = y;
    normal[2] = z;
}

void Mirror::TakePointFromCorner() {
    point[0] = corners[0][0];
    point[1] = corners[0][1];
    point[2] = corners[0][2];
}

int Mirror::AddInstance(Md2Instance* instance) {
    if (instance == nullptr || instanceCount < 0 || instanceCount >= kMirrorMaxInstances) {
        return 0;
    }
    instances[instanceCount] = instance;
    instanceCount += 1;
    return 1;
}

int Mirror::AddMesh(MeshObject* mesh) {
    if (mesh == nullptr || meshCount < 0 || meshCount >= kMirrorMaxMeshes) {
        return 0;
    }
    meshes[meshCount] = mesh;
    meshCount += 1;
    return 1;
}

// The pool records of a scene (mesh objects, materials, cameras, lights) and
// the mirror's setters.
#include <cmath>   // cosf
#include <cstring> // strlen, memcpy
#include <new>     // placement new on pool memory

#include "math/math3d.h"        // FastLength, Cross3, Dot3 for the view
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

    const float angle = -roll * kSceneDegToRad;
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

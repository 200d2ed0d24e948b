// The scene container: construction, the object lists, the look-ups and the
// shutdown release.
#include "scene/scene.h"

#include <cstring> // strcmp, memcpy

#include "memory/memory_pool.h" // PoolAlloc, PoolFree for materials and the sky box
#include "platform/platform.h"  // PlatformDebugOutput

Scene::Scene() {
    // Heap arrays: they must exist even when the pool has not been set up yet.
    cameras = new Camera*[kSceneCameraCapacity]();
    lights = new Light*[kSceneLightCapacity]();
    localLights = new LocalLight[kSceneLocalLights]();
}

Scene::~Scene() {
    delete[] cameras;
    delete[] lights;
    delete[] localLights;
}

void Scene::Destroy() {
    PlatformDebugOutput("Deallocare tutta la lista (fare)\n");
    if (skyBox != nullptr) {
        PoolFree(skyBox);
        skyBox = nullptr;
    }
    if (materials != nullptr) {
        PoolFree(materials);
        materials = nullptr;
    }
    // The counts stay as they were; with the arrays gone nothing may index
    // them, so the capacity goes to zero and later adds are refused.
    materialCapacity = 0;
    delete[] cameras;
    cameras = nullptr;
    delete[] lights;
    lights = nullptr;
    delete[] localLights;
    localLights = nullptr;
}

void SceneDestroy(Scene* scene) {
    if (scene != nullptr) {
        scene->Destroy();
    }
}

void Scene::AddObject(MeshObject* object) {
    if (object == nullptr) {
        return;
    }
    object->nextObject = objects;
    objects = object;
    objectCount += 1;
    lastObjectNumber = objectCount;
}

// Names compare whole and byte for byte; a record without a name never
// matches, nor does a null name asked for.
static bool NamesEqual(const char* stored, const char* wanted) {
    return stored != nullptr && wanted != nullptr && std::strcmp(stored, wanted) == 0;
}

MeshObject* Scene::FindObject(const char* name) {
    for (cursor = objects; cursor != nullptr; cursor = cursor->nextObject) {
        if (NamesEqual(cursor->name, name)) {
            return cursor;
        }
    }
    return nullptr;
}

int Scene::FindObjectIndex(const char* name) {
    int index = 0;
    for (cursor = objects; cursor != nullptr; cursor = cursor->nextObject) {
        if (NamesEqual(cursor->name, name)) {
            return index;
        }
        index += 1;
    }
    return -1;
}

MeshObject* Scene::FindObjectById(int32_t id) {
    if (id == kNodeIdUnset) {
        return nullptr;
    }
    MeshObject* const saved = cursor;
    MeshObject* found = nullptr;
    for (cursor = objects; cursor != nullptr; cursor = cursor->nextObject) {
        if (cursor->nodeId == id) {
            found = cursor;
            break;
        }
    }
    cursor = saved;
    return found;
}

int Scene::AddCamera(Camera* camera) {
    if (camera == nullptr || cameras == nullptr || cameraCount < 0 || cameraCount >= kSceneCameraCapacity) {
        return 0;
    }
    cameras[cameraCount] = camera;
    cameraCount += 1;
    return 1;
}

int Scene::AddLight(Light* light) {
    if (light == nullptr || lights == nullptr || lightCount < 0 || lightCount >= kSceneLightCapacity) {
        return 0;
    }
    lights[lightCount] = light;
    lightCount += 1;
    return 1;
}

int Scene::AddMaterial(Material* material) {
    if (material == nullptr || materialCount < 0) {
        return 0;
    }
    if (materialCount >= materialCapacity) {
        // Grow by doubling so a file with many materials does not copy the
        // array once per material. The old array is released only after the
        // copy succeeded, so a full pool loses nothing.
        const int32_t capacity = materialCapacity < 8 ? 8 : materialCapacity * 2;
        if (capacity <= materialCount) {
            return 0;
        }
        Material** grown =
            static_cast<Material**>(PoolAlloc(static_cast<uint32_t>(capacity) * sizeof(Material*)));
        if (grown == nullptr) {
            return 0;
        }
        if (materials != nullptr && materialCount > 0) {
            std::memcpy(grown, materials, static_cast<size_t>(materialCount) * sizeof(Material*));
        }
        for (int32_t i = materialCount; i < capacity; ++i) {
            grown[i] = nullptr;
        }
        PoolFree(materials);
        materials = grown;
        materialCapacity = capacity;
    }
    materials[materialCount] = material;
    materialCount += 1;
    return 1;
}

int Scene::FindCamera(const char* name) const {
    if (cameras == nullptr) {
        return -1;
    }
    const int32_t count = cameraCount < kSceneCameraCapacity ? cameraCount : kSceneCameraCapacity;
    for (int32_t i = 0; i < count; ++i) {
        if (cameras[i] != nullptr && NamesEqual(cameras[i]->name, name)) {
            return i;
        }
    }
    return -1;
}

int Scene::FindLight(const char* name) const {
    if (lights == nullptr) {
        return -1;
    }
    const int32_t count = lightCount < kSceneLightCapacity ? lightCount : kSceneLightCapacity;
    for (int32_t i = 0; i < count; ++i) {
        if (lights[i] != nullptr && NamesEqual(lights[i]->name, name)) {
            return i;
        }
    }
    return -1;
}

int Scene::FindMaterial(const char* name) const {
    if (materials == nullptr) {
        return -1;
    }
    const int32_t count = materialCount < materialCapacity ? materialCount : materialCapacity;
    for (int32_t i = 0; i < count; ++i) {
        if (materials[i] != nullptr && NamesEqual(materials[i]->name, name)) {
            return i;
        }
    }
    return -1;
}

Mirror* Scene::AddMirror(Mirror* mirror) {
    if (mirror != nullptr) {
        mirror->next = mirrors;
        mirrors = mirror;
    }
    return mirror;
}

MeshObject* Scene::PutInDrawList(MeshObject* object) {
    if (object != nullptr) {
        object->nextDrawn = drawList;
        drawList = object;
    }
    return object;
}

MeshObject* Scene::Park(MeshObject* object) {
    if (object != nullptr) {
        object->nextDrawn = parkedList;
        parkedList = object;
    }
    return object;
}

MeshObject* Scene::TakeOutOfDrawList(MeshObject* object) {
    MeshObject* previous = nullptr;
    for (MeshObject* at = drawList; at != nullptr; at = at->nextDrawn) {
        if (at == object) {
            if (previous == nullptr) {
                drawList = at->nextDrawn;
            } else {
                previous->nextDrawn = at->nextDrawn;
            }
            return object;
        }
        previous = at;
    }
    return nullptr;
}

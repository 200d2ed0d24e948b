// 3DS reader: meshes (vertices, faces, material groups, texture coordinates,
// local axes), lights, cameras and colour chunks.
#include "loader3ds/format3ds.h"  // chunk ids, record sizes, table limits
#include "loader3ds/loader3ds.h"
#include "loader3ds/loader3ds_local.h"
#include "math/math3d.h"          // FastLength
#include "memory/memory_pool.h"   // PoolRealloc
#include "platform/platform.h"    // PlatformDebugOutput
#include "scene/scene.h"          // Scene, MeshObject, Light, Camera

#include <cmath> // cos

namespace {

// Whole records of `stride` bytes that `available` bytes hold, at most `count`.
int32_t CountThatFits(int32_t count, int32_t available, int32_t stride) {
    const int32_t room = available / stride;
    return count < room ? count : room;
}

// Stores a file point (x, y, z) in engine axes (x, z, y).
void SwapYZ(const float in[3], float out[3]) {
    out[0] = in[0];
    out[1] = in[2];
    out[2] = in[1];
}

} // namespace

void Loader3DS::ReadVertexList() {
    offset += kChunkHeaderSize;
    if (!Fits(2)) {
        Skip();
        return;
    }
    const int32_t declared = ReadU16();
    const int32_t n = CountThatFits(declared, Remaining(), kVertexBytes);
    if (n < declared) {
        PlatformDebugPrintf("3DS : lista vertici troncata, %d vertici su %d\n", n, declared);
    }
    MeshObject* object = NewMeshObject();
    if (!object) {
        Loader3dsOutOfMemory();
    }
    object->vertexCount = n;
    // Positions are read below and normals made by the post-pass; the draw
    // clears the vertex states and fills the lit colours, eye positions and
    // environment coordinates before it reads them. Only the texture
    // coordinates (zero unless the file has a list) need clearing here.
    object->vertices = static_cast<MeshVertex*>(Loader3dsPoolArrayUncleared(n, sizeof(MeshVertex)));
    object->arrayVerts = static_cast<ArrayVertex*>(Loader3dsPoolArray(n, sizeof(ArrayVertex)));
    object->envUV = static_cast<float*>(Loader3dsPoolArrayUncleared(n, 2 * sizeof(float)));
    object->vertexState = static_cast<int32_t*>(Loader3dsPoolArrayUncleared(n, sizeof(int32_t)));
    for (int32_t i = 0; i < n; ++i) {
        float p[3];
        ReadPoint(p);
        SwapYZ(p, object->vertices[i].position);
    }
    if (n < declared) {
        Skip();
    }
    object->name = Loader3dsCopyName(currentName);
    scene->AddObject(object);
}

void Loader3DS::ReadFaceList() {
    MeshObject* object = CurrentObject();
    if (!object) {
        Skip();
        return;
    }
    offset += kChunkHeaderSize;
    if (!Fits(2)) {
        Skip();
        return;
    }
    const int32_t declared = ReadU16();
    const int32_t n = CountThatFits(declared, Remaining(), kFaceBytes);
    if (n < declared) {
        PlatformDebugPrintf("3DS : lista facce troncata, %d facce su %d\n", n, declared);
    }
    Face* faces = static_cast<Face*>(Loader3dsPoolArray(n, sizeof(Face)));
    for (int32_t i = 0; i < n; ++i) {
        faces[i].a = ReadU16();
        faces[i].b = ReadU16();
        faces[i].c = ReadU16();
        ReadU16(); // edge flags
    }
    // Indices are checked against the vertex range by the post-pass, which
    // drops faces that name no vertex.
    object->faces = faces;
    object->faceCount = n;
    if (n < declared) {
        Skip();
    }
}

void Loader3DS::ReadFaceGroup() {
    MeshObject* object = CurrentObject();
    if (!object) {
        Skip();
        return;
    }
    offset += kChunkHeaderSize;
    char name[kLocalNameBytes];
    if (!ReadString(name, kLocalNameBytes)) {
        // A name cut off by the end of its chunk is damage, not a reference
        // to a material that does not exist.
        PlatformDebugOutput("3DS : gruppo di facce senza nome completo, ignorato\n");
        Skip();
        return;
    }
    const int material = scene->FindMaterial(name);
    if (material < 0) {
        PlatformDebugOutput("Errore, materiale inesistente\n");
        throw kMsgNoMaterial;
    }
    if (!Fits(2)) {
        Skip();
        return;
    }
    const int32_t declared = ReadU16();
    const int32_t n = CountThatFits(declared, Remaining(), 2);
    if (n < declared) {
        PlatformDebugPrintf("3DS : gruppo di facce troncato, %d indici su %d\n", n, declared);
    }
    uint16_t* indices = static_cast<uint16_t*>(Loader3dsPoolArray(n, sizeof(uint16_t)));
    for (int32_t i = 0; i < n; ++i) {
        indices[i] = ReadU16();
    }
    const int64_t bytes = static_cast<int64_t>(object->groupCount + 1) * static_cast<int64_t>(sizeof(MaterialGroup));
    MaterialGroup* groups = nullptr;
    if (object->groupCount == 0 || !object->groups) {
        groups = static_cast<MaterialGroup*>(Loader3dsPoolArray(1, sizeof(MaterialGroup)));
        object->groupCount = 0;
    } else {
        groups = static_cast<MaterialGroup*>(PoolRealloc(object->groups, static_cast<int32_t>(bytes)));
        if (!groups) {
            object->groups = nullptr;
            object->groupCount = 0;
            Loader3dsOutOfMemory();
        }
    }
    groups[object->groupCount] = MaterialGroup{scene->materials[material], n, indices};
    object->groups = groups;
    object->groupCount += 1;
    if (n < declared) {
        Skip();
    }
}

void Loader3DS::ReadTexCoords() {
    MeshObject* object = CurrentObject();
    if (!object) {
        Skip();
        return;
    }
    offset += kChunkHeaderSize;
    if (!Fits(2)) {
        Skip();
        return;
    }
    const int32_t declared = ReadU16();
    const int32_t n = CountThatFits(declared, Remaining(), kTexCoordBytes);
    for (int32_t i = 0; i < n; ++i) {
        const float u = ReadFloat();
        const float v = ReadFloat();
        // Coordinates beyond the object's vertices have nowhere to go.
        if (i < object->vertexCount) {
            object->arrayVerts[i].u = u;
            object->arrayVerts[i].v = v;
        }
    }
    if (n < declared) {
        Skip();
    }
}

void Loader3DS::ReadLocalAxes() {
    MeshObject* object = CurrentObject();
    if (!object || !Fits(kChunkHeaderSize + kLocalAxesBytes)) {
        Skip();
        return;
    }
    offset += kChunkHeaderSize;
    float axes[3][3];
    float origin[3];
    ReadPoint(axes[0]);
    ReadPoint(axes[1]);
    ReadPoint(axes[2]);
    ReadPoint(origin);
    for (float* axis : axes) {
        const float length = FastLength(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        if (length != 0.0f) {
            axis[0] /= length;
            axis[1] /= length;
            axis[2] /= length;
        }
    }
    SwapYZ(origin, object->pos);
    for (int32_t i = 0; i < object->vertexCount; ++i) {
        float* p = object->vertices[i].position;
        // Back to file axes, relative to the origin.
        const float dx = p[0] - origin[0];
        const float dy = p[2] - origin[1];
        const float dz = p[1] - origin[2];
        const float localX = dx * axes[0][0] + dy * axes[0][1] + dz * axes[0][2];
        const float localY = dx * axes[1][0] + dy * axes[1][1] + dz * axes[1][2];
        const float localZ = dx * axes[2][0] + dy * axes[2][1] + dz * axes[2][2];
        p[0] = localX;
        p[1] = localZ;
        p[2] = localY;
    }
}

void Loader3DS::ReadLight() {
    if (scene->lightCount >= kSceneMaxLights) {
        PlatformDebugPrintf("3DS : luce %s ignorata, gia' %d luci\n", currentName, kSceneMaxLights);
        Skip(); // with its colour and spotlight sub-chunks
        return;
    }
    if (!Fits(kChunkHeaderSize + kVertexBytes)) {
        Skip();
        return;
    }
    Light* light = NewLight();
    if (!light) {
        Loader3dsOutOfMemory();
    }
    offset += kChunkHeaderSize;
    float p[3];
    ReadPoint(p);
    SwapYZ(p, light->pos);
    light->kind = kLightKindOmni;
    light->on = 1;
    scene->AddLight(light);
    selection = kSelectLightColour;
    light->name = Loader3dsCopyName(currentName);
}

void Loader3DS::ReadSpotlight() {
    if (scene->lightCount <= 0 || !Fits(kChunkHeaderSize + kSpotlightBytes)) {
        Skip();
        return;
    }
    Light* light = scene->lights[scene->lightCount - 1];
    offset += kChunkHeaderSize;
    float t[3];
    ReadPoint(t);
    SwapYZ(t, light->target);
    const float hotspot = ReadFloat();
    const float falloff = ReadFloat();
    // The content was tuned with pi taken as 3.14.
    light->cosHotspot = static_cast<float>(std::cos(hotspot * 3.14 * 0.005555555555555556));
    light->cosFalloff = static_cast<float>(std::cos(falloff * 3.14 * 0.005555555555555556));
    light->kind = kLightKindSpot;
}

void Loader3DS::ReadCamera() {
    if (scene->cameraCount >= kSceneMaxCameras) {
        PlatformDebugPrintf("3DS : camera %s ignorata, gia' %d camere\n", currentName, kSceneMaxCameras);
        Skip();
        return;
    }
    if (!Fits(kChunkHeaderSize + kCameraBytes)) {
        Skip();
        return;
    }
    Camera* camera = NewCamera();
    if (!camera) {
        Loader3dsOutOfMemory();
    }
    camera->SetDefaults();
    offset += kChunkHeaderSize;
    float p[3];
    ReadPoint(p);
    SwapYZ(p, camera->pos);
    ReadPoint(p);
    SwapYZ(p, camera->target);
    camera->SetRoll(ReadFloat());
    ReadFloat(); // the lens never reaches the camera
    camera->SetAspect(4.0f / 3.0f);
    scene->AddCamera(camera);
    camera->name = Loader3dsCopyName(currentName);
}

void Loader3DS::ReadColour() {
    const bool bytes = chunkId == kChunkColourByte;
    if (!Fits(kChunkHeaderSize + (bytes ? 3 : 12))) {
        Skip();
        return;
    }
    offset += kChunkHeaderSize;
    float colour[3];
    for (float& c : colour) {
        c = bytes ? static_cast<float>(buffer[offset++]) * 0.003921569f : ReadFloat();
    }
    float* destination = nullptr;
    Material* material = scene->materialCount > 0 ? scene->materials[scene->materialCount - 1] : nullptr;
    switch (selection) {
    case kSelectLightColour:
        destination = scene->lightCount > 0 ? scene->lights[scene->lightCount - 1]->colour : nullptr;
        break;
    case kSelectAmbient:
        destination = material ? material->ambient : nullptr;
        break;
    case kSelectDiffuse:
        destination = material ? material->diffuse : nullptr;
        break;
    case kSelectSpecular:
        destination = material ? material->specular : nullptr;
        break;
    default:
        break;
    }
    if (!destination) {
        PlatformDebugOutput(kMsgNothingSelected);
        return;
    }
    destination[0] = colour[0];
    destination[1] = colour[1];
    destination[2] = colour[2];
}

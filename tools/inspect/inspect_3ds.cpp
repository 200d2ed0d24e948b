// 3DS entries: loaded into a fresh scene by the program's 3DS reader (without
// textures), prepared for playback, then described; each --frame evaluates
// the tracks at that frame and describes the moving values again.
#include <cstdint> // uint8_t
#include <memory>  // unique_ptr

#include "archive/archive.h"     // PakOpenEntry, PakRead for the main-chunk check
#include "scene/scene.h"         // PrepareTracks, EvaluateTracks
#include "loader3ds/format3ds.h" // kChunkMain, kChunkHeaderSize
#include "loader3ds/loader3ds.h" // Load3ds
#include "scene/scene.h"
#include "tools/inspect/inspect.h"

namespace {

// A list walk never takes more steps than the scene has objects, so a link
// that a damaged file managed to bend into a loop cannot hang the tool.
int32_t WalkLimit(const Scene& scene) {
    return scene.objectCount > 0 ? scene.objectCount : 0;
}

// The reader walks whatever it is given and accepts an entry without chunks
// as an empty scene; the inspector wants to tell such files apart, so it
// looks for the main chunk itself first.
bool StartsWithMainChunk(const std::string& entryName) {
    PakEntry* entry = PakOpenEntry(g_currentPak, entryName.c_str());
    if (entry == nullptr) {
        return true; // the reader reports the missing entry in its own words
    }
    uint8_t header[kChunkHeaderSize] = {};
    const int32_t read = PakRead(header, kChunkHeaderSize, 1, entry, g_currentPak);
    PakCloseEntry(g_currentPak, entry);
    const uint16_t id = static_cast<uint16_t>(header[0] | (header[1] << 8));
    return read == 1 && id == kChunkMain;
}

void WriteTrackCounts(JsonWriter* json, const char* const* names, const KeyTrack* const* tracks, int count) {
    json->Key("keys");
    json->BeginObject();
    for (int i = 0; i < count; ++i) {
        json->Key(names[i]);
        json->Int(tracks[i]->keyCount);
    }
    json->EndObject();
}

void WriteObject(const MeshObject& object, bool vertices, JsonWriter* json) {
    json->BeginObject();
    json->Key("name");
    json->String(object.name);
    json->Key("vertexCount");
    json->Int(object.vertexCount);
    json->Key("faceCount");
    json->Int(object.faceCount);
    json->Key("nodeId");
    json->Int(object.nodeId);
    json->Key("parent");
    if (object.parent != nullptr) {
        json->String(object.parent->name);
    } else {
        json->Null();
    }
    json->Key("pos");
    json->Floats(object.pos, 3);
    json->Key("rot");
    json->Floats(object.rot, 4);
    json->Key("bboxMin");
    json->Floats(object.bboxMin, 3);
    json->Key("bboxMax");
    json->Floats(object.bboxMax, 3);
    json->Key("groups");
    json->BeginArray();
    for (int32_t g = 0; g < object.groupCount && object.groups != nullptr; ++g) {
        const MaterialGroup& group = object.groups[g];
        json->BeginObject();
        json->Key("material");
        json->String(group.material != nullptr ? group.material->name : nullptr);
        json->Key("faceCount");
        json->Int(group.faceCount);
        json->EndObject();
    }
    json->EndArray();
    const char* const names[] = {"position", "rotation", "scale"};
    const KeyTrack* const tracks[] = {&object.positionTrack, &object.rotationTrack, &object.scaleTrack};
    WriteTrackCounts(json, names, tracks, 3);
    if (vertices) {
        json->Key("vertices");
        json->BeginArray();
        for (int32_t v = 0; v < object.vertexCount && object.vertices != nullptr; ++v) {
            json->Floats(object.vertices[v].position, 3);
        }
        json->EndArray();
        json->Key("faces");
        json->BeginArray();
        for (int32_t f = 0; f < object.faceCount && object.faces != nullptr; ++f) {
            json->BeginArray();
            json->Int(object.faces[f].a);
            json->Int(object.faces[f].b);
            json->Int(object.faces[f].c);
            json->EndArray();
        }
        json->EndArray();
    }
    json->EndObject();
}

// Entry `index` of an array the scene holds `count` of, within its capacity.
template <typename T> T* Entry(T** array, int32_t count, int32_t capacity, int32_t index) {
    if (array == nullptr || index < 0 || index >= count || index >= capacity) {
        return nullptr;
    }
    return array[index];
}

void WriteMaterials(const Scene& scene, JsonWriter* json) {
    json->Key("materials");
    json->BeginArray();
    for (int32_t i = 0; i < scene.materialCount; ++i) {
        const Material* material = Entry(scene.materials, scene.materialCount, scene.materialCount, i);
        if (material == nullptr) {
            continue;
        }
        json->BeginObject();
        json->Key("name");
        json->String(material->name);
        json->Key("ambient");
        json->Floats(material->ambient, 3);
        json->Key("diffuse");
        json->Floats(material->diffuse, 3);
        json->Key("specular");
        json->Floats(material->specular, 3);
        json->Key("mapFile");
        json->String(material->mapFile);
        json->EndObject();
    }
    json->EndArray();
}

void WriteCameras(const Scene& scene, JsonWriter* json) {
    json->Key("cameras");
    json->BeginArray();
    for (int32_t i = 0; i < scene.cameraCount && i < kSceneCameraCapacity; ++i) {
        const Camera* camera = Entry(scene.cameras, scene.cameraCount, kSceneCameraCapacity, i);
        if (camera == nullptr) {
            continue;
        }
        json->BeginObject();
        json->Key("name");
        json->String(camera->name);
        json->Key("pos");
        json->Floats(camera->pos, 3);
        json->Key("target");
        json->Floats(camera->target, 3);
        json->Key("roll");
        json->Float(camera->roll);
        json->Key("fov");
        json->Float(camera->fov);
        json->Key("aspect");
        json->Float(camera->aspect);
        const char* const names[] = {"position", "target", "roll", "fov"};
        const KeyTrack* const tracks[] = {&camera->positionTrack, &camera->targetTrack, &camera->rollTrack,
                                          &camera->fovTrack};
        WriteTrackCounts(json, names, tracks, 4);
        json->EndObject();
    }
    json->EndArray();
}

void WriteLights(const Scene& scene, JsonWriter* json) {
    json->Key("lights");
    json->BeginArray();
    for (int32_t i = 0; i < scene.lightCount && i < kSceneLightCapacity; ++i) {
        const Light* light = Entry(scene.lights, scene.lightCount, kSceneLightCapacity, i);
        if (light == nullptr) {
            continue;
        }
        json->BeginObject();
        json->Key("name");
        json->String(light->name);
        json->Key("kind");
        json->Int(light->kind);
        json->Key("on");
        json->Int(light->on);
        json->Key("pos");
        json->Floats(light->pos, 3);
        json->Key("target");
        json->Floats(light->target, 3);
        json->Key("colour");
        json->Floats(light->colour, 3);
        json->Key("cosHotspot");
        json->Float(light->cosHotspot);
        json->Key("cosFalloff");
        json->Float(light->cosFalloff);
        const char* const names[] = {"position", "target", "colour"};
        const KeyTrack* const tracks[] = {&light->positionTrack, &light->targetTrack, &light->colourTrack};
        WriteTrackCounts(json, names, tracks, 3);
        json->EndObject();
    }
    json->EndArray();
}

void WriteFrame(Scene* scene, float frame, JsonWriter* json) {
    EvaluateTracks(scene, frame);
    json->BeginObject();
    json->Key("frame");
    json->Float(frame);
    json->Key("objects");
    json->BeginArray();
    int32_t steps = WalkLimit(*scene);
    for (const MeshObject* object = scene->objects; object != nullptr && steps > 0;
         object = object->nextObject, --steps) {
        json->BeginObject();
        json->Key("name");
        json->String(object->name);
        json->Key("pos");
        json->Floats(object->pos, 3);
        json->Key("rot");
        json->Floats(object->rot, 4);
        json->EndObject();
    }
    json->EndArray();
    json->Key("camera");
    const Camera* camera =
        Entry(scene->cameras, scene->cameraCount, kSceneCameraCapacity, scene->currentCamera);
    if (camera != nullptr) {
        json->BeginObject();
        json->Key("pos");
        json->Floats(camera->pos, 3);
        json->Key("target");
        json->Floats(camera->target, 3);
        json->Key("roll");
        json->Float(camera->roll);
        json->Key("fov");
        json->Float(camera->fov);
        json->EndObject();
    } else {
        json->Null();
    }
    json->Key("lights");
    json->BeginArray();
    for (int32_t i = 0; i < scene->lightCount && i < kSceneLightCapacity; ++i) {
        const Light* light = Entry(scene->lights, scene->lightCount, kSceneLightCapacity, i);
        if (light == nullptr) {
            continue;
        }
        json->BeginObject();
        json->Key("pos");
        json->Floats(light->pos, 3);
        json->Key("target");
        json->Floats(light->target, 3);
        json->Key("colour");
        json->Floats(light->colour, 3);
        json->EndObject();
    }
    json->EndArray();
    json->EndObject();
}

void WriteScene(const InspectRequest& request, Scene* scene, JsonWriter* json) {
    json->BeginObject();
    json->Key("kind");
    json->String("3ds");
    json->Key("name");
    json->String(request.displayName.c_str());
    json->Key("frameCount");
    json->Int(scene->frameCount);
    json->Key("objects");
    json->BeginArray();
    int32_t steps = WalkLimit(*scene);
    for (const MeshObject* object = scene->objects; object != nullptr && steps > 0;
         object = object->nextObject, --steps) {
        WriteObject(*object, request.vertices, json);
    }
    json->EndArray();
    json->Key("drawList");
    json->BeginArray();
    steps = WalkLimit(*scene);
    for (const MeshObject* object = scene->drawList; object != nullptr && steps > 0;
         object = object->nextDrawn, --steps) {
        json->String(object->name);
    }
    json->EndArray();
    WriteMaterials(*scene, json);
    WriteCameras(*scene, json);
    WriteLights(*scene, json);
    json->Key("frames");
    json->BeginArray();
    for (float frame : request.frames) {
        WriteFrame(scene, frame, json);
    }
    json->EndArray();
    json->EndObject();
}

} // namespace

bool Inspect3ds(const InspectRequest& request, JsonWriter* json, std::string* error) {
    if (!StartsWithMainChunk(request.entryName)) {
        *error = "not a 3DS file: it does not start with the main chunk";
        return false;
    }
    std::unique_ptr<Scene> scene(new Scene());
    try {
        Load3ds(request.entryName.c_str(), scene.get());
    } catch (const char* message) {
        *error = message != nullptr ? message : "the 3DS reader failed";
        scene->Destroy();
        return false;
    }
    PrepareTracks(scene.get());
    WriteScene(request, scene.get(), json);
    // The records stay in the pool, which goes away at exit as in the program.
    scene->Destroy();
    return true;
}

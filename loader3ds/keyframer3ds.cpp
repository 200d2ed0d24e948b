// 3DS reader: materials, the names of their texture files, and the keyframer section
// (frame segment, node headers, dummies and tracks).
#include "keyframe/keyframe.h"    // KeyTrack, VectorKey, RotationKey, ScalarKey
#include "loader3ds/format3ds.h"  // chunk ids, record sizes
#include "loader3ds/loader3ds.h"
#include "loader3ds/loader3ds_local.h"
#include "math/math3d.h"          // QuatFromAxisAngle
#include "platform/platform.h"    // PlatformDebugOutput
#include "scene/scene.h"          // Scene, MeshObject, Camera, Light, Material

#include <cctype>  // tolower
#include <climits> // INT32_MAX, INT32_MIN

namespace {

enum class KeyKind { Vector, Rotation, Scalar };

// The spline parameters (tension, continuity, bias, ease to, ease from) and
// the frame that every kind of key starts with.
template <typename Key> void SetKeyHeader(Key* key, const float params[5], int32_t frame) {
    key->tension = params[0];
    key->continuity = params[1];
    key->bias = params[2];
    key->easeTo = params[3];
    key->easeFrom = params[4];
    key->frame = frame;
}

bool IsDummyName(const char* name) {
    const char* expected = kDummyName;
    while (*expected && *name) {
        if (std::tolower(static_cast<unsigned char>(*name)) != std::tolower(static_cast<unsigned char>(*expected))) {
            return false;
        }
        ++name;
        ++expected;
    }
    return *expected == 0 && *name == 0;
}

int32_t ValueBytes(KeyKind kind) {
    switch (kind) {
    case KeyKind::Vector:
        return 12;
    case KeyKind::Rotation:
        return 16;
    case KeyKind::Scalar:
        return 4;
    }
    return 0;
}

int32_t SplineFloats(uint16_t flags) {
    int32_t count = 0;
    for (int bit = 0; bit < kSplineFlagBits; ++bit) {
        count += (flags >> bit) & 1;
    }
    return count;
}

} // namespace

void Loader3DS::ReadMaterialName() {
    offset += kChunkHeaderSize;
    Material* material = NewMaterial();
    if (!material) {
        Loader3dsOutOfMemory();
    }
    char name[kLocalNameBytes];
    ReadString(name, kLocalNameBytes);
    material->name = Loader3dsCopyName(name);
    if (!scene->AddMaterial(material)) {
        Loader3dsOutOfMemory();
    }
}

void Loader3DS::ReadMapFile() {
    if (scene->materialCount <= 0) {
        Skip();
        return;
    }
    offset += kChunkHeaderSize;
    char name[kLocalNameBytes];
    ReadString(name, kLocalNameBytes);
    scene->materials[scene->materialCount - 1]->mapFile = Loader3dsCopyName(name);
}

void Loader3DS::ReadFrameSegment() {
    if (!Fits(kChunkHeaderSize + kFrameSegmentBytes)) {
        Skip();
        return;
    }
    offset += kChunkHeaderSize;
    const int32_t first = static_cast<int32_t>(ReadU32());
    const int32_t last = static_cast<int32_t>(ReadU32());
    // Wide arithmetic: a hostile segment must not overflow. A backward or
    // empty segment still describes a scene that exists: one frame.
    int64_t frames = static_cast<int64_t>(last) - first + 1;
    if (frames > INT32_MAX) {
        frames = INT32_MAX;
    } else if (frames < 1) {
        frames = 1;
    }
    scene->frameCount = static_cast<int32_t>(frames);
}

void Loader3DS::ReadNodeHeader() {
    offset += kChunkHeaderSize;
    ReadString(nullptr);
    uint16_t parent = kNoParent;
    if (Fits(kNodeHeaderTailBytes)) {
        ReadU16(); // flags 1
        ReadU16(); // flags 2
        parent = ReadU16();
    } else {
        Skip();
    }
    switch (selection) {
    case kSelectObjectNode: {
        if (IsDummyName(currentName)) {
            currentNode = NewMeshObject();
            if (!currentNode) {
                Loader3dsOutOfMemory();
            }
            currentNode->name = Loader3dsCopyName(currentName);
            scene->AddObject(currentNode);
        } else {
            currentNode = scene->FindObject(currentName);
            if (!currentNode) {
                PlatformDebugPrintf("3DS : nodo %s senza oggetto, ignorato\n", currentName);
            }
        }
        // The number is used up even by a node without an object, so that the
        // parent indices of later nodes still name the right node.
        if (currentNode) {
            currentNode->nodeId = nodeCounter;
        }
        nodes_->parents.push_back(parent == kNoParent ? -1 : parent);
        ++nodeCounter;
        break;
    }
    case kSelectCameraNode:
    case kSelectCameraTargetNode:
        targetIndex = scene->FindCamera(currentName);
        break;
    case kSelectLightNode:
    case kSelectLightTargetNode:
    case kSelectSpotNode:
        targetIndex = scene->FindLight(currentName);
        break;
    default:
        break;
    }
}

void Loader3DS::ReadTrack() {
    KeyTrack* track = nullptr;
    KeyKind kind = KeyKind::Vector;
    const bool camera = (selection == kSelectCameraNode || selection == kSelectCameraTargetNode) &&
                        targetIndex >= 0 && targetIndex < scene->cameraCount;
    const bool light = (selection == kSelectLightNode || selection == kSelectLightTargetNode ||
                        selection == kSelectSpotNode) &&
                       targetIndex >= 0 && targetIndex < scene->lightCount;
    Camera* cam = camera ? scene->cameras[targetIndex] : nullptr;
    Light* lamp = light ? scene->lights[targetIndex] : nullptr;

    switch (chunkId) {
    case kChunkPositionTrack:
        if (selection == kSelectObjectNode && currentNode) {
            track = &currentNode->positionTrack;
        } else if (cam) {
            track = selection == kSelectCameraNode ? &cam->positionTrack : &cam->targetTrack;
        } else if (lamp) {
            track = selection == kSelectLightTargetNode ? &lamp->targetTrack : &lamp->positionTrack;
        }
        break;
    case kChunkRotationTrack:
        kind = KeyKind::Rotation;
        if (selection == kSelectObjectNode && currentNode) {
            track = &currentNode->rotationTrack;
        }
        break;
    case kChunkScaleTrack:
        if (selection == kSelectObjectNode && currentNode) {
            track = &currentNode->scaleTrack;
        }
        break;
    case kChunkFovTrack:
        kind = KeyKind::Scalar;
        if (cam && selection == kSelectCameraNode) {
            track = &cam->fovTrack;
        }
        break;
    case kChunkRollTrack:
        kind = KeyKind::Scalar;
        if (cam && selection == kSelectCameraNode) {
            track = &cam->rollTrack;
        }
        break;
    case kChunkColourTrack:
        if (lamp && (selection == kSelectLightNode || selection == kSelectSpotNode)) {
            track = &lamp->colourTrack;
        }
        break;
    default:
        break;
    }
    if (!track || !Fits(kChunkHeaderSize + kTrackHeaderBytes)) {
        Skip();
        return;
    }

    offset += kChunkHeaderSize;
    const uint16_t flags = ReadU16();
    offset += 8;
    const uint16_t count = static_cast<uint16_t>(ReadU32() & 0xFFFF);

    // Every key must lie inside the chunk before anything is stored.
    const int32_t keysStart = offset;
    bool whole = true;
    for (int32_t i = 0; i < count && whole; ++i) {
        whole = Fits(6);
        if (whole) {
            offset += 4;
            const uint16_t spline = ReadU16();
            const int64_t rest = 4 * SplineFloats(spline) + ValueBytes(kind);
            whole = Fits(rest);
            offset += whole ? static_cast<int32_t>(rest) : 0;
        }
    }
    if (!whole) {
        PlatformDebugPrintf("3DS : traccia 0x%04X di %u chiavi oltre la fine del chunk, ignorata\n", chunkId, count);
        Skip();
        return;
    }
    offset = keysStart;

    const int64_t keyBytes = kind == KeyKind::Vector     ? sizeof(VectorKey)
                             : kind == KeyKind::Rotation ? sizeof(RotationKey)
                                                         : sizeof(ScalarKey);
    void* keys = Loader3dsPoolArray(count, keyBytes);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t frame = static_cast<int32_t>(ReadU32());
        const uint16_t spline = ReadU16();
        float params[kSplineFlagBits] = {}; // tension, continuity, bias, ease to, ease from
        for (int bit = 0; bit < kSplineFlagBits; ++bit) {
            if (spline & (1u << bit)) {
                params[bit] = ReadFloat();
            }
        }
        if (kind == KeyKind::Vector) {
            VectorKey& key = static_cast<VectorKey*>(keys)[i];
            SetKeyHeader(&key, params, frame);
            float v[3];
            ReadPoint(v);
            key.value[0] = v[0];
            key.value[1] = v[2];
            key.value[2] = v[1];
        } else if (kind == KeyKind::Rotation) {
            RotationKey& key = static_cast<RotationKey*>(keys)[i];
            SetKeyHeader(&key, params, frame);
            const float angle = ReadFloat();
            float axis[3];
            ReadPoint(axis);
            float q[4];
            QuatFromAxisAngle(angle, axis[0], axis[1], axis[2], q);
            key.orientation[0] = q[0];
            key.orientation[1] = q[1];
            key.orientation[2] = q[3];
            key.orientation[3] = q[2];
        } else {
            ScalarKey& key = static_cast<ScalarKey*>(keys)[i];
            SetKeyHeader(&key, params, frame);
            key.value = ReadFloat();
        }
    }
    // A track read again replaces the earlier key array.
    track->keys = keys;
    track->keyCount = count;
    track->flags = flags;
}

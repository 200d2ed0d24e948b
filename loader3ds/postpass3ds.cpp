// 3DS reader: the post-pass over every object once the file is walked
// (normals, face order by material, bounding boxes, hierarchy).
#include "loader3ds/loader3ds.h"
#include "loader3ds/loader3ds_local.h"
#include "math/math3d.h"        // FastLength
#include "memory/memory_pool.h" // PoolFree
#include "platform/platform.h"  // PlatformDebugPrintf
#include "scene/scene.h"        // Scene, MeshObject

#include <cmath>  // isnan
#include <vector> // per-vertex counters, face order

namespace {

bool FaceIsValid(const MeshObject& object, const Face& face) {
    return face.a < object.vertexCount && face.b < object.vertexCount && face.c < object.vertexCount;
}

// A unit normal component as a signed 16-bit value, truncated toward zero.
// The fast length is approximate, so a component may stray just past 1; NaN
// (from NaN coordinates) becomes 0.
int16_t PackNormal(float n) {
    if (std::isnan(n)) {
        return 0;
    }
    const float scaled = n * 32767.0f;
    if (scaled >= 32767.0f) {
        return 32767;
    }
    if (scaled <= -32767.0f) {
        return -32767;
    }
    return static_cast<int16_t>(scaled);
}

void ComputeNormals(MeshObject* object) {
    std::vector<int32_t> counters(static_cast<size_t>(object->vertexCount), 0);
    for (int32_t i = 0; i < object->vertexCount; ++i) {
        for (float& c : object->vertices[i].normal) {
            c = 0.0f;
        }
    }
    for (int32_t f = 0; f < object->faceCount; ++f) {
        Face& face = object->faces[f];
        if (!FaceIsValid(*object, face)) {
            continue; // dropped by the face ordering
        }
        const float* a = object->vertices[face.a].position;
        const float* b = object->vertices[face.b].position;
        const float* c = object->vertices[face.c].position;
        const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        const float length = FastLength(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length != 0.0f) {
            n[0] /= length;
            n[1] /= length;
            n[2] /= length;
        }
        face.normal[0] = PackNormal(n[0]);
        face.normal[1] = PackNormal(n[1]);
        face.normal[2] = PackNormal(n[2]);
        face.d = n[0] * b[0] + n[1] * b[1] + n[2] * b[2];
        for (const uint16_t v : {face.a, face.b, face.c}) {
            float* normal = object->vertices[v].normal;
            normal[0] += n[0];
            normal[1] += n[1];
            normal[2] += n[2];
            counters[v] += 1;
        }
    }
    // A vertex no face uses keeps the normal (0, 0, 0).
    for (int32_t i = 0; i < object->vertexCount; ++i) {
        if (counters[static_cast<size_t>(i)] > 0) {
            const float count = static_cast<float>(counters[static_cast<size_t>(i)]);
            for (float& c : object->vertices[i].normal) {
                c /= count;
            }
        }
    }
}

// Faces in group order, each face once: the groups' faces in their list order
// (indices outside the face list and repeats skipped), then the faces no group
// names, in file order. Faces that name a vertex outside the object are
// dropped. With a single group the file order is kept.
void OrderFaces(MeshObject* object) {
    const int32_t faceCount = object->faceCount;
    // The common case, a mesh of one material whose faces are all sound,
    // keeps its faces where they are: no order to build.
    if (object->groupCount < 2) {
        bool allValid = true;
        for (int32_t f = 0; allValid && f < faceCount; ++f) {
            allValid = FaceIsValid(*object, object->faces[f]);
        }
        if (allValid) {
            if (object->groupCount == 1) {
                if (object->groups[0].faceCount > faceCount) {
                    object->groups[0].faceCount = faceCount;
                }
                PoolFree(object->groups[0].faceIndices);
                object->groups[0].faceIndices = nullptr;
            }
            return;
        }
    }
    std::vector<uint8_t> placed(static_cast<size_t>(faceCount), 0);
    std::vector<int32_t> order;
    order.reserve(static_cast<size_t>(faceCount));
    if (object->groupCount >= 2) {
        for (int32_t g = 0; g < object->groupCount; ++g) {
            MaterialGroup& group = object->groups[g];
            int32_t taken = 0;
            for (int32_t k = 0; k < group.faceCount; ++k) {
                const int32_t f = group.faceIndices ? group.faceIndices[k] : -1;
                if (f < 0 || f >= faceCount || placed[static_cast<size_t>(f)] ||
                    !FaceIsValid(*object, object->faces[f])) {
                    continue;
                }
                placed[static_cast<size_t>(f)] = 1;
                order.push_back(f);
                ++taken;
            }
            group.faceCount = taken;
        }
    }
    for (int32_t f = 0; f < faceCount; ++f) {
        if (!placed[static_cast<size_t>(f)] && FaceIsValid(*object, object->faces[f])) {
            order.push_back(f);
        }
    }
    const int32_t kept = static_cast<int32_t>(order.size());
    if (kept < faceCount) {
        PlatformDebugPrintf("3DS : %s, %d facce con vertici inesistenti scartate\n",
                            object->name ? object->name : "", faceCount - kept);
    }
    if (object->groupCount == 1 && object->groups[0].faceCount > kept) {
        object->groups[0].faceCount = kept; // drawing must not run past the faces
    }
    for (int32_t g = 0; g < object->groupCount; ++g) {
        PoolFree(object->groups[g].faceIndices);
        object->groups[g].faceIndices = nullptr;
    }

    bool identity = kept == faceCount;
    for (int32_t i = 0; identity && i < kept; ++i) {
        identity = order[static_cast<size_t>(i)] == i;
    }
    if (identity) {
        return;
    }
    Face* faces = static_cast<Face*>(Loader3dsPoolArray(kept, sizeof(Face)));
    for (int32_t i = 0; i < kept; ++i) {
        faces[i] = object->faces[order[static_cast<size_t>(i)]];
    }
    PoolFree(object->faces);
    object->faces = faces;
    object->faceCount = kept;
}

void ComputeBoundingBox(MeshObject* object) {
    if (object->vertexCount <= 0) {
        return;
    }
    for (int axis = 0; axis < 3; ++axis) {
        object->bboxMin[axis] = object->vertices[0].position[axis];
        object->bboxMax[axis] = object->vertices[0].position[axis];
    }
    for (int32_t i = 1; i < object->vertexCount; ++i) {
        const float* p = object->vertices[i].position;
        for (int axis = 0; axis < 3; ++axis) {
            if (p[axis] < object->bboxMin[axis]) {
                object->bboxMin[axis] = p[axis];
            }
            if (p[axis] > object->bboxMax[axis]) {
                object->bboxMax[axis] = p[axis];
            }
        }
    }
}

} // namespace

void Loader3DS::PostPass() {
    for (MeshObject* object = scene->objects; object; object = object->nextObject) {
        ComputeNormals(object);
        OrderFaces(object);
        ComputeBoundingBox(object);
    }
    LinkHierarchy();
}

void Loader3DS::LinkHierarchy() {
    // Parents first, as pointers; an object no node header named, or whose
    // parent index names itself or no node, is a root.
    for (MeshObject* object = scene->objects; object; object = object->nextObject) {
        object->parent = nullptr;
        const int32_t node = object->nodeId;
        if (node < 0 || node >= static_cast<int32_t>(nodes_->parents.size())) {
            continue;
        }
        const int32_t parentNode = nodes_->parents[static_cast<size_t>(node)];
        if (parentNode < 0 || parentNode == node) {
            continue;
        }
        MeshObject* parent = scene->FindObjectById(parentNode);
        object->parent = parent == object ? nullptr : parent;
    }
    // A parent chain that comes back to its start would hide the whole loop
    // from drawing and send the drawing of children round forever: the object
    // that closes it becomes a root.
    const int32_t steps = scene->objectCount + 1;
    for (MeshObject* object = scene->objects; object; object = object->nextObject) {
        MeshObject* up = object->parent;
        for (int32_t i = 0; up && i < steps; ++i) {
            if (up == object) {
                PlatformDebugPrintf("3DS : %s, gerarchia circolare interrotta\n", object->name ? object->name : "");
                object->parent = nullptr;
                break;
            }
            up = up->parent;
        }
    }
    for (MeshObject* object = scene->objects; object; object = object->nextObject) {
        if (object->parent) {
            object->nextSibling = object->parent->firstChild;
            object->parent->firstChild = object;
        } else {
            scene->PutInDrawList(object);
        }
    }
}

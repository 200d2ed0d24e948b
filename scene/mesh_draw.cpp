// Mesh objects: the world matrix, culling, and the faces of each material
// group handed to the shared group drawing.
#include <cmath>   // std::sqrt
#include <cstring> // std::memset

#include "math/math3d.h" // QuatToMatrix, ReflectMatrix, MatrixCompose
#include "scene/draw.h"
#include "scene/scene.h"

// world = rotation of the unit-length rot with translation pos, reflected
// through the mirror's plane when there is one.
static void BuildMeshWorld(MeshObject* object, const Mirror* plane) {
    float* q = object->rot;
    const float squared = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    const float length = squared > 0.0f ? std::sqrt(squared) : 1.0f;
    if (length != 0.0f) {
        for (int i = 0; i < 4; ++i) {
            q[i] /= length;
        }
    }
    QuatToMatrix(q, object->pos, object->world);
    if (plane != nullptr) {
        ReflectMatrix(plane->normal, plane->point, object->world);
    }
}

// The arrays a draw touches are there and the faces fit the vertices.
static bool MeshDrawable(const MeshObject& object) {
    return object.vertexCount > 0 && object.faceCount > 0 && object.vertices != nullptr &&
           object.arrayVerts != nullptr && object.vertexState != nullptr && object.faces != nullptr &&
           object.groups != nullptr;
}

namespace {

// A group's faces as a source of triangles: faces [first, first + count).
struct MeshGroup {
    const MeshObject* object;
    int32_t first;
};

bool MeshTriangle(const void* owner, int32_t t, const float eye[3], uint16_t abc[3]) {
    const auto* group = static_cast<const MeshGroup*>(owner);
    const MeshObject& object = *group->object;
    const Face& face = object.faces[group->first + t];
    if (face.a >= object.vertexCount || face.b >= object.vertexCount || face.c >= object.vertexCount ||
        !FaceVisible(face, eye)) {
        return false;
    }
    abc[0] = face.a;
    abc[1] = face.b;
    abc[2] = face.c;
    return true;
}

void MeshVertexAt(const void* owner, uint16_t index, float position[3], float normal[3]) {
    const MeshVertex& vertex = static_cast<const MeshGroup*>(owner)->object->vertices[index];
    for (int k = 0; k < 3; ++k) {
        position[k] = vertex.position[k];
        normal[k] = vertex.normal[k];
    }
}

} // namespace

void DrawMesh(DrawContext* ctx, Scene* scene, MeshObject* object) {
    const Camera* camera = ctx->camera;
    if (object == nullptr || object->groupCount <= 0 || scene == nullptr || camera == nullptr ||
        !MeshDrawable(*object)) {
        return;
    }
    BuildMeshWorld(object, ctx->mirror);
    float m[12] = {};
    MatrixCompose(camera->view, object->world, m);
    if (!BoxVisible(m, object->bboxMin, object->bboxMax, camera->planes) ||
        (ctx->mirror != nullptr && !ReflectionMayShow(*ctx, m, object->bboxMin, object->bboxMax))) {
        ++ctx->stats.objectsCulled;
        return;
    }

    std::memset(object->vertexState, 0, sizeof(int32_t) * static_cast<size_t>(object->vertexCount));
    float eye[3] = {0.0f, 0.0f, 0.0f};
    EyeInObject(object->world, camera->pos, eye);
    const int32_t lightsUsed = FillLocalLights(scene, object->world);
    const GroupPass pass = {m, eye, scene->localLights, lightsUsed, scene->opacity >= 1.0f, scene->opacity};
    if (pass.arrayPath) {
        ctx->gl.InterleavedArrays(GL_T2F_C3F_V3F, 0, object->arrayVerts);
    }
    // Each group's faces follow the previous group's; counts that run past
    // the face array are cut at its end.
    int32_t first = 0;
    for (int32_t g = 0; g < object->groupCount && first < object->faceCount; ++g) {
        int32_t count = object->groups[g].faceCount;
        if (count < 0) {
            count = 0;
        }
        if (count > object->faceCount - first) {
            count = object->faceCount - first;
        }
        const MeshGroup group = {object, first};
        const TriangleSource source = {
            &group,       count, &MeshTriangle, &MeshVertexAt, object->arrayVerts, object->vertexState,
            object->envUV};
        DrawGroup(ctx, pass, source, object->groups[g].material);
        first += count;
    }
}

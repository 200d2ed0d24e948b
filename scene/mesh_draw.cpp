// Mesh objects: CPU transform and lighting, back-face rejection, the opaque
// array path, the translucent immediate path and the additive chrome pass.
#include <GL/glu.h> // gluPerspective for the default table

#include <cmath>   // std::sqrt, std::trunc
#include <cstring> // std::memset

#include "math/math3d.h" // QuatToMatrix, ReflectMatrix, MatrixCompose, FastLength, Dot3
#include "scene/draw.h"
#include "scene/scene.h"

static void DefaultEnd() {
    glEnd();
}
static void DefaultPushMatrix() {
    glPushMatrix();
}
static void DefaultPopMatrix() {
    glPopMatrix();
}
static void DefaultLoadIdentity() {
    glLoadIdentity();
}
static void DefaultInterleavedArrays(GLenum format, GLsizei stride, const void* pointer) {
    glInterleavedArrays(format, stride, pointer);
}
static void DefaultDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    glDrawElements(mode, count, type, indices);
}

DrawGl DrawGlDefaults() {
    DrawGl gl{};
    gl.BindTexture = &glBindTexture;
    gl.Begin = &glBegin;
    gl.End = &DefaultEnd;
    gl.InterleavedArrays = &DefaultInterleavedArrays;
    gl.ArrayElement = &glArrayElement;
    gl.DrawElements = &DefaultDrawElements;
    gl.TexCoord2fv = &glTexCoord2fv;
    gl.Color4f = &glColor4f;
    gl.Vertex3fv = &glVertex3fv;
    gl.Enable = &glEnable;
    gl.Disable = &glDisable;
    gl.BlendFunc = &glBlendFunc;
    gl.Clear = &glClear;
    gl.PushMatrix = &DefaultPushMatrix;
    gl.PopMatrix = &DefaultPopMatrix;
    gl.MatrixMode = &glMatrixMode;
    gl.LoadIdentity = &DefaultLoadIdentity;
    gl.GetFloatv = &glGetFloatv;
    gl.Scissor = &glScissor;
    gl.ClipPlane = &glClipPlane;
    gl.Perspective = &gluPerspective;
    return gl;
}

DrawGl g_drawGl = DrawGlDefaults();
DrawStats g_drawStats = {};
ReflectionBounds g_reflectionBounds = {};

bool ReflectionMayShow(const float m[12], const float boxMin[3], const float boxMax[3]) {
    if (g_reflectionBounds.count <= 0) {
        return true;
    }
    // BoxVisible takes six planes: the bounds repeat their first plane to fill them.
    float planes[6][4] = {};
    for (int p = 0; p < 6; ++p) {
        const int source = p < g_reflectionBounds.count ? p : 0;
        for (int c = 0; c < 4; ++c) {
            planes[p][c] = g_reflectionBounds.planes[source][c];
        }
    }
    return BoxVisible(m, boxMin, boxMax, planes);
}

void LightVertex(const float p[3], const float n[3], const LocalLight* lights, int32_t count,
                 float colour[3]) {
    colour[0] = 0.0f;
    colour[1] = 0.0f;
    colour[2] = 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        float l[3] = {p[0] - lights[i].position[0], p[1] - lights[i].position[1],
                      p[2] - lights[i].position[2]};
        const float length = FastLength(Dot3(l, l));
        if (length != 0.0f) {
            l[0] /= length;
            l[1] /= length;
            l[2] /= length;
        }
        float f = Dot3(l, n);
        if (f < 0.0f) {
            f = 0.0f;
        }
        colour[0] += f * lights[i].colour[0];
        colour[1] += f * lights[i].colour[1];
        colour[2] += f * lights[i].colour[2];
    }
    for (int c = 0; c < 3; ++c) {
        if (colour[c] > 1.0f) {
            colour[c] = 1.0f;
        }
        if (colour[c] < 0.0f) {
            colour[c] = 0.0f;
        }
    }
}

bool FaceVisible(const Face& face, const float eye[3]) {
    // The content was tuned against the integer part of d; trunc keeps that
    // without the undefined conversion of a huge d to int.
    const float d = std::trunc(face.d);
    const float dot = static_cast<float>(face.normal[0]) * eye[0] +
                      static_cast<float>(face.normal[1]) * eye[1] +
                      static_cast<float>(face.normal[2]) * eye[2];
    return d - dot * kFaceNormalUnpack >= 0.0f;
}

void EnvironmentCoords(const float m[12], const float n[3], float uv[2]) {
    uv[0] = (m[0] * n[0] + m[1] * n[1] + m[2] * n[2] + 1.0f) * 0.5f;
    uv[1] = (m[4] * n[0] + m[5] * n[1] + m[6] * n[2] + 1.0f) * 0.5f;
}

void EyeInObject(const float world[12], const float cameraPos[3], float eye[3]) {
    const float d[3] = {cameraPos[0] - world[3], cameraPos[1] - world[7], cameraPos[2] - world[11]};
    for (int i = 0; i < 3; ++i) {
        eye[i] = world[i] * d[0] + world[4 + i] * d[1] + world[8 + i] * d[2];
    }
}

int32_t FillLocalLights(Scene* scene, const float world[12]) {
    if (scene->lights == nullptr || scene->localLights == nullptr) {
        return 0;
    }
    int32_t count = 0;
    const int32_t lightCount = scene->lightCount < kSceneLocalLights ? scene->lightCount : kSceneLocalLights;
    for (int32_t i = 0; i < lightCount; ++i) {
        const Light* light = scene->lights[i];
        if (light == nullptr) {
            continue;
        }
        LocalLight& local = scene->localLights[count++];
        EyeInObject(world, light->pos, local.position);
        local.colour[0] = light->colour[0];
        local.colour[1] = light->colour[1];
        local.colour[2] = light->colour[2];
        local.cosHotspot = light->cosHotspot;
        local.cosFalloff = light->cosFalloff;
        local.kind = light->kind;
    }
    return count;
}

void EmitBaseVertex(const ArrayVertex& vertex, float alpha) {
    g_drawGl.TexCoord2fv(&vertex.u);
    g_drawGl.Color4f(vertex.r, vertex.g, vertex.b, alpha);
    g_drawGl.Vertex3fv(&vertex.x);
}

void BatchTriangle(TriangleBatch* batch, uint16_t a, uint16_t b, uint16_t c) {
    if (batch->count > kTriangleBatchIndices - 3) {
        FlushTriangles(batch);
    }
    batch->indices[batch->count] = a;
    batch->indices[batch->count + 1] = b;
    batch->indices[batch->count + 2] = c;
    batch->count += 3;
}

void FlushTriangles(TriangleBatch* batch) {
    if (batch->count > 0) {
        g_drawGl.DrawElements(GL_TRIANGLES, batch->count, GL_UNSIGNED_SHORT, batch->indices);
    }
    batch->count = 0;
}

void EmitEnvironmentVertex(const float uv[2], const ArrayVertex& vertex, float alpha) {
    g_drawGl.TexCoord2fv(uv);
    g_drawGl.Color4f(1.0f, 1.0f, 1.0f, alpha);
    g_drawGl.Vertex3fv(&vertex.x);
}

void BeginEnvironmentPass(uint32_t texture) {
    g_drawGl.BindTexture(GL_TEXTURE_2D, texture);
    g_drawGl.Enable(GL_BLEND);
    g_drawGl.BlendFunc(GL_SRC_ALPHA, GL_ONE);
    g_drawGl.Begin(GL_TRIANGLES);
}

void EndEnvironmentPass() {
    g_drawGl.End();
    g_drawGl.Disable(GL_BLEND);
}

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

static bool FaceIndicesValid(const Face& face, int32_t vertexCount) {
    return face.a < vertexCount && face.b < vertexCount && face.c < vertexCount;
}

namespace {

// What one draw of a mesh works with.
struct MeshPass {
    MeshObject* object;
    const float* m;   // object to eye
    const float* eye; // camera in object space
    const LocalLight* lights;
    int32_t lightCount;
    bool arrayPath;
    float alpha;
};

} // namespace

void TransformAndLight(const float m[12], const float p[3], const float n[3], const LocalLight* lights,
                       int32_t count, ArrayVertex* target) {
    target->x = m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + m[3];
    target->y = m[4] * p[0] + m[5] * p[1] + m[6] * p[2] + m[7];
    target->z = m[8] * p[0] + m[9] * p[1] + m[10] * p[2] + m[11];
    float colour[3] = {0.0f, 0.0f, 0.0f};
    LightVertex(p, n, lights, count, colour);
    target->r = colour[0];
    target->g = colour[1];
    target->b = colour[2];
    ++g_drawStats.verticesLit;
}

// Transforms and lights vertex `index` unless this draw already did.
static void LightOnce(const MeshPass& pass, uint16_t index) {
    MeshObject* object = pass.object;
    if (object->vertexState[index] == 0) {
        object->vertexState[index] = 1;
        const MeshVertex& source = object->vertices[index];
        TransformAndLight(pass.m, source.position, source.normal, pass.lights, pass.lightCount,
                          &object->arrayVerts[index]);
    }
}

static void EnvironmentVertex(const MeshPass& pass, uint16_t index, float alpha) {
    MeshObject* object = pass.object;
    float* uv = object->envUV + 2 * index;
    if (object->vertexState[index] != 2) {
        object->vertexState[index] = 2;
        EnvironmentCoords(pass.m, object->vertices[index].normal, uv);
    }
    EmitEnvironmentVertex(uv, object->arrayVerts[index], alpha);
}

// Base pass and, when the material has one, chrome pass of faces
// [first, first + count).
static void DrawMeshGroup(const MeshPass& pass, const Material* material, int32_t first, int32_t count) {
    MeshObject* object = pass.object;
    g_drawGl.BindTexture(GL_TEXTURE_2D, material != nullptr ? material->texture : 0);
    // Lit vertices are only ever added to arrayVerts during a draw, never
    // rewritten, so a batch may be sent after later vertices were lit.
    TriangleBatch batch;
    if (!pass.arrayPath) {
        g_drawGl.Begin(GL_TRIANGLES);
    }
    for (int32_t f = first; f < first + count; ++f) {
        const Face& face = object->faces[f];
        if (!FaceIndicesValid(face, object->vertexCount) || !FaceVisible(face, pass.eye)) {
            continue;
        }
        ++g_drawStats.facesDrawn;
        LightOnce(pass, face.a);
        LightOnce(pass, face.b);
        LightOnce(pass, face.c);
        if (pass.arrayPath) {
            BatchTriangle(&batch, face.a, face.b, face.c);
        } else {
            EmitBaseVertex(object->arrayVerts[face.a], pass.alpha);
            EmitBaseVertex(object->arrayVerts[face.b], pass.alpha);
            EmitBaseVertex(object->arrayVerts[face.c], pass.alpha);
        }
    }
    if (pass.arrayPath) {
        FlushTriangles(&batch);
    } else {
        g_drawGl.End();
    }

    if (material == nullptr || material->envTexture == 0 || object->envUV == nullptr) {
        return;
    }
    BeginEnvironmentPass(material->envTexture);
    for (int32_t f = first; f < first + count; ++f) {
        const Face& face = object->faces[f];
        if (!FaceIndicesValid(face, object->vertexCount) || !FaceVisible(face, pass.eye)) {
            continue;
        }
        EnvironmentVertex(pass, face.a, material->envAlpha);
        EnvironmentVertex(pass, face.b, material->envAlpha);
        EnvironmentVertex(pass, face.c, material->envAlpha);
    }
    EndEnvironmentPass();
}

void MeshObject::Draw(Scene* scene, const Camera* camera, const Mirror* plane) {
    if (groupCount <= 0 || scene == nullptr || camera == nullptr || !MeshDrawable(*this)) {
        return;
    }
    BuildMeshWorld(this, plane);
    float m[12] = {};
    MatrixCompose(camera->view, world, m);
    if (!BoxVisible(m, bboxMin, bboxMax, camera->planes) ||
        (plane != nullptr && !ReflectionMayShow(m, bboxMin, bboxMax))) {
        ++g_drawStats.objectsCulled;
        return;
    }

    std::memset(vertexState, 0, sizeof(int32_t) * static_cast<size_t>(vertexCount));
    float eye[3] = {0.0f, 0.0f, 0.0f};
    EyeInObject(world, camera->pos, eye);
    const int32_t lightsUsed = FillLocalLights(scene, world);

    const MeshPass pass = {this,          m, eye, scene->localLights, lightsUsed, scene->opacity >= 1.0f,
                           scene->opacity};
    if (pass.arrayPath) {
        g_drawGl.InterleavedArrays(GL_T2F_C3F_V3F, 0, arrayVerts);
    }
    // Each group's faces follow the previous group's; counts that run past
    // the face array are cut at its end.
    int32_t first = 0;
    for (int32_t g = 0; g < groupCount && first < faceCount; ++g) {
        int32_t count = groups[g].faceCount;
        if (count < 0) {
            count = 0;
        }
        if (count > faceCount - first) {
            count = faceCount - first;
        }
        DrawMeshGroup(pass, groups[g].material, first, count);
        first += count;
    }
}

// Insides of the scene drawing shared by the mesh, MD2, mirror, camera and
// sky-box code, and by their tests.
//
// Every vertex is transformed and lit on the CPU; the GL modelview stays the
// identity and GL receives eye-space vertices with their final colours. The
// GL entry points the drawing uses are reached through g_drawGl, a small
// table of function pointers: the program keeps the defaults (the GL and GLU
// functions themselves), tests may swap in a recording table and put the
// defaults back with DrawGlDefaults.
#pragma once

#include <GL/gl.h> // GLenum, GLuint, GLfloat, GLdouble, GLsizei, GLint, GLbitfield

#include <cstdint> // int32_t, uint32_t

struct Face;
struct LocalLight;
struct Scene;

// The GL (and GLU) entry points used by the drawing, named after them.
struct DrawGl {
    void (*BindTexture)(GLenum target, GLuint texture);
    void (*Begin)(GLenum mode);
    void (*End)();
    void (*InterleavedArrays)(GLenum format, GLsizei stride, const void* pointer);
    void (*ArrayElement)(GLint index);
    void (*DrawElements)(GLenum mode, GLsizei count, GLenum type, const void* indices);
    void (*TexCoord2fv)(const GLfloat* uv);
    void (*Color4f)(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
    void (*Vertex3fv)(const GLfloat* xyz);
    void (*Enable)(GLenum cap);
    void (*Disable)(GLenum cap);
    void (*BlendFunc)(GLenum source, GLenum destination);
    void (*Clear)(GLbitfield mask);
    void (*PushMatrix)();
    void (*PopMatrix)();
    void (*MatrixMode)(GLenum mode);
    void (*LoadIdentity)();
    void (*GetFloatv)(GLenum name, GLfloat* values);
    void (*Scissor)(GLint x, GLint y, GLsizei width, GLsizei height);
    void (*ClipPlane)(GLenum plane, const GLdouble* equation);
    void (*Perspective)(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
};

// The table every drawing call goes through.
extern DrawGl g_drawGl;

// The real GL and GLU functions.
DrawGl DrawGlDefaults();

// Counters of the CPU work of the drawing, for tests and tools. Reset by
// whoever reads them; nothing in the drawing depends on them.
struct DrawStats {
    uint32_t verticesLit;   // vertices transformed and lit in a base pass
    uint32_t facesDrawn;    // faces and triangles that passed the back-face test
    uint32_t objectsCulled; // objects and instances rejected by BoxVisible
};
extern DrawStats g_drawStats;

// What a mirror's reflected draws can show: eye-space planes (inside
// positive) through the eye and the edges of the mirror's quad, set by
// Mirror::Draw around those draws and the same planes GL clips them with.
// `count` is 0 outside them or when the mirror could not bound its quad.
struct ReflectionBounds {
    int32_t count;
    float planes[6][4];
};
extern ReflectionBounds g_reflectionBounds;

// True unless the object-space box seen through M lies wholly outside one of
// g_reflectionBounds' planes (always true when there are none).
bool ReflectionMayShow(const float m[12], const float boxMin[3], const float boxMax[3]);

// Projection constants of Scene::Render (gluPerspective).
constexpr double kDrawNearPlane = 2.0;
constexpr double kDrawFarPlane = 32768.0;
// Degrees to radians as the content was tuned: 3.14 / 180.
constexpr float kDrawDegToRad = 0.017444444444444446f;
// Unpacks the int16 face normals (scale 32767).
constexpr float kFaceNormalUnpack = 3.0518509e-05f;

// True when the object-space box (min, max) seen through the object-to-eye
// matrix M may touch the frustum: false only when all eight corners of its
// eye-space bounding box lie outside one of the six planes.
bool BoxVisible(const float m[12], const float boxMin[3], const float boxMax[3], const float planes[6][4]);

// clip = projection x modelview, both 16 floats in GL's column order; the
// result is row-major (row r at [4 r]).
void ClipMatrix(const float projection[16], const float modelview[16], float clip[16]);

// The six normalised frustum planes (right, left, bottom, top, far, near) of
// the clip matrix projection x modelview, both 16 floats in GL's column
// order. A plane whose normal has length 0 is stored unnormalised.
void ExtractFrustumPlanes(const float projection[16], const float modelview[16], float planes[6][4]);

// Colour of a vertex at p with normal n under `count` local lights: the sum
// of max(0, unit(p - light) . n) x light colour, clamped to 0..1. A light
// exactly at p contributes nothing.
void LightVertex(const float p[3], const float n[3], const LocalLight* lights, int32_t count,
                 float colour[3]);

// Back-face test of a mesh face against the eye in object space: d truncated
// toward zero minus (packed normal . eye) / 32767 must be >= 0.
bool FaceVisible(const Face& face, const float eye[3]);

// Environment coordinates of normal n under the rotation part of M:
// ((M row 0 . n + 1) / 2, (M row 1 . n + 1) / 2).
void EnvironmentCoords(const float m[12], const float n[3], float uv[2]);

// The camera position in the space of `world`: transpose(R) (cameraPos - t).
void EyeInObject(const float world[12], const float cameraPos[3], float eye[3]);

// Fills scene->localLights with the scene's lights moved into the space of
// `world` (every light, whatever its on flag). Returns how many were filled.
int32_t FillLocalLights(Scene* scene, const float world[12]);

struct ArrayVertex;

// Writes the eye-space position M p and the colour LightVertex gives for
// (p, n) into `target`, and counts the vertex as lit.
void TransformAndLight(const float m[12], const float p[3], const float n[3], const LocalLight* lights,
                       int32_t count, ArrayVertex* target);

// Emits one vertex of a translucent base pass through immediate calls: its
// u, v, its colour with `alpha` and its position.
void EmitBaseVertex(const ArrayVertex& vertex, float alpha);

// Triangles of an opaque base pass, gathered as indices into the arrays
// glInterleavedArrays set and sent by one glDrawElements (GL_TRIANGLES,
// GL_UNSIGNED_SHORT) per batch: llvmpipe takes one indexed draw far more
// cheaply than a glArrayElement per vertex. A full batch is sent and
// refilled, so the triangles reach GL in the order they were added.
constexpr int32_t kTriangleBatchIndices = 3 * 1024;
struct TriangleBatch {
    int32_t count = 0;
    uint16_t indices[kTriangleBatchIndices];
};

// Appends triangle (a, b, c), sending the batch first when it is full.
void BatchTriangle(TriangleBatch* batch, uint16_t a, uint16_t b, uint16_t c);

// Sends what the batch holds (nothing when it is empty) and empties it.
void FlushTriangles(TriangleBatch* batch);

// Emits one vertex of an environment pass: the coordinates `uv`, white with
// `alpha`, and the eye-space position the base pass stored in `vertex`.
void EmitEnvironmentVertex(const float uv[2], const ArrayVertex& vertex, float alpha);

// Opens an environment pass on `texture` (additive blending) / closes it
// (blending off again, also inside a blended scene).
void BeginEnvironmentPass(uint32_t texture);
void EndEnvironmentPass();

// Scene drawing: the renderer of the scene model (scene/scene.h). Meshes, MD2
// instances, mirrors, the sky box and a whole scene's frame.
//
// Every vertex is transformed and lit on the CPU; the GL modelview stays the
// identity and GL receives eye-space vertices with their final colours. All
// the drawing state travels in a DrawContext that its owner (the engine, or a
// test or tool) passes down: the GL table every call goes through, the
// counters, the current camera and mirror, the projection and viewport the
// frame was set up with, and the bounds of a mirror's reflection. Nothing of
// the drawing lives in a global.
#pragma once

#include <cstdint> // int32_t, uint16_t, uint32_t

#include "math/render_records.h" // ArrayVertex, Material, MaterialGroup
#include "platform/gl_table.h"   // GlTable, the GL enums the drawing passes

struct Camera;
struct Face;
struct LocalLight;
struct Md2Instance;
struct Md2Model;
struct MeshObject;
struct Mirror;
struct Scene;
struct SkyBox;

// Counters of the CPU work of the drawing, for tests and tools. Reset by
// whoever reads them; nothing in the drawing depends on them.
struct DrawStats {
    uint32_t verticesLit;   // vertices transformed and lit in a base pass
    uint32_t facesDrawn;    // faces and triangles that passed the back-face test
    uint32_t objectsCulled; // objects and instances rejected by BoxVisible
};

// What a mirror's reflected draws can show: eye-space planes (inside
// positive) through the eye and the edges of the mirror's quad, set by
// DrawMirror around those draws and the same planes GL clips them with.
// `count` is 0 outside them or when the mirror could not bound its quad.
struct ReflectionBounds {
    int32_t count;
    float planes[6][4];
};

// Everything a draw needs besides the scene itself. Owned by whoever draws
// (Engine::draw for the program); plain data, copied freely.
struct DrawContext {
    GlTable gl;                  // every GL call of the drawing
    DrawStats stats;             // counters, never read by the drawing
    ReflectionBounds reflection; // set by DrawMirror around its reflected draws
    const Camera* camera;        // the camera of the scene being drawn
    const Mirror* mirror;        // the mirror whose reflection is being drawn, else null
    float projection[16];        // the loaded projection, GL's column order
    int32_t viewport[4];         // x, y, width, height as last set by DrawViewport
};

// A context over `gl` with zero counters, no camera or mirror, an identity
// projection and an empty viewport.
DrawContext MakeDrawContext(const GlTable& gl);

// --- Frame set-up -------------------------------------------------------------

// Sets the GL viewport and remembers it for the mirror's scissor. A negative
// size is refused, as GL refuses it (nothing changes).
void DrawViewport(DrawContext* ctx, int32_t x, int32_t y, int32_t width, int32_t height);

// Loads `projection` (16 floats, column order) as GL's projection, or the
// identity for null, remembers it and leaves GL_MODELVIEW current.
void DrawProjection(DrawContext* ctx, const float projection[16]);

// The perspective matrix of a vertical field of view `fovy` (degrees), in
// GL's column order, computed in double as the classic GLU helper does and
// then rounded to float. False, with `out` untouched, for a degenerate
// aspect, field of view or depth range (GL's projection is then left alone).
bool PerspectiveMatrix(double fovy, double aspect, double zNear, double zFar, float out[16]);

// --- What each part of a scene draws -------------------------------------------

// Draws the scene into the current viewport through cameras[currentCamera]:
// projection, camera, frustum, then the sky box, the mirrors, the objects of
// the draw list and the MD2 characters, in that order. Draws nothing, and
// touches no GL state, when opacity is 0 or the scene has no such camera.
// Leaves ctx->camera on the scene's camera.
void RenderScene(DrawContext* ctx, Scene* scene);

// Transforms, lights and draws `object` through ctx->camera, reflected in
// ctx->mirror when there is one. Nothing is drawn when the object has no
// groups or lies outside the view.
void DrawMesh(DrawContext* ctx, Scene* scene, MeshObject* object);

// Draws the instance at its current frame through ctx->camera and, for a
// normal draw (ctx->mirror null), advances its moves and frames by dt at
// scene time `time`. Mirror draws never change the frame state.
void DrawMd2Instance(DrawContext* ctx, Scene* scene, Md2Instance* instance, float dt, float time);

// Draws every instance of `model`, newest first, with DrawMd2Instance and the
// same arguments. Null is ignored.
void DrawMd2Instances(DrawContext* ctx, const Md2Model* model, Scene* scene, float dt, float time);

// Draws the mirror's instances and meshes reflected in its plane, then the
// quad blended over them, through ctx->camera. ctx->mirror is the mirror
// during the reflected draws and null again afterwards.
void DrawMirror(DrawContext* ctx, Scene* scene, Mirror* mirror);

// Draws the faces of the box that turn toward the eye under `view` (a
// camera's world-to-eye matrix; its translation is not used), then clears
// the depth buffer. Changes no blend, depth or texture enable state.
void DrawSkyBox(DrawContext* ctx, SkyBox* box, const float view[12]);

// Recomputes camera->planes from ctx->projection (the modelview is the
// identity).
void ExtractCameraPlanes(const DrawContext& ctx, Camera* camera);

// --- Shared pieces of the mesh, MD2 and mirror drawing ------------------------

// Projection constants of RenderScene.
constexpr double kDrawNearPlane = 2.0;
constexpr double kDrawFarPlane = 32768.0;
// Unpacks the int16 face normals (scale 32767).
constexpr float kFaceNormalUnpack = 3.0518509e-05f;

// True unless the object-space box seen through M lies wholly outside one of
// ctx.reflection's planes (always true when there are none).
bool ReflectionMayShow(const DrawContext& ctx, const float m[12], const float boxMin[3],
                       const float boxMax[3]);

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

// Writes the eye-space position M p and the colour LightVertex gives for
// (p, n) into `target`, and counts the vertex as lit.
void TransformAndLight(DrawContext* ctx, const float m[12], const float p[3], const float n[3],
                       const LocalLight* lights, int32_t count, ArrayVertex* target);

// The triangles of one material group of a mesh or an MD2 instance, as the
// shared group drawing reads them. `owner` is the mesh or instance; the
// vertex arrays are its scratch, indexed by the triangles' vertex indices.
struct TriangleSource {
    const void* owner;
    int32_t count; // triangles 0 .. count - 1 of the group
    // The vertex indices of triangle t; false for a damaged triangle or one
    // that faces away from `eye` (object space): it is not drawn.
    bool (*Triangle)(const void* owner, int32_t t, const float eye[3], uint16_t abc[3]);
    // Object-space position and normal of vertex `index`.
    void (*Vertex)(const void* owner, uint16_t index, float position[3], float normal[3]);
    ArrayVertex* arrayVerts; // lit vertices, one per index
    int32_t* vertexState;    // 0 untouched, 1 lit, 2 environment coordinates made
    float* envUV;            // 2 floats per index; null: no chrome pass
};

// How one object is drawn: the object-to-eye matrix, the eye in object space,
// the lights in object space and the scene's opacity. Opaque scenes send
// indexed arrays, translucent ones immediate vertices with the alpha.
struct GroupPass {
    const float* m;
    const float* eye;
    const LocalLight* lights;
    int32_t lightCount;
    bool arrayPath;
    float alpha;
};

// Base pass of the visible triangles of `source` with the material's texture
// (texture 0 without a material) and, when the material has an environment
// texture and the source environment coordinates, the additive chrome pass
// over the same triangles. On the array path the arrays must already point
// at source.arrayVerts (GL_T2F_C3F_V3F).
void DrawGroup(DrawContext* ctx, const GroupPass& pass, const TriangleSource& source,
               const Material* material);

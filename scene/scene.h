// Scene model: everything one loaded 3DS file brings into the program, plus
// what the scene script adds to it (MD2 characters, reflecting floors, a sky
// box).
//
// Ownership and lifetime:
// - A Scene is made with new by the engine and lives until shutdown, when
//   Destroy gives back its fixed arrays (see Destroy for what it leaves).
// - MeshObject, Material, Camera and Light records are pool records made by
//   the 3DS loader (NewMeshObject and friends); they stay until the pool is
//   given back at process exit.
// - Md2Instance and MoveKey records come from the general heap; an instance
//   lives until the program ends (FreeMd2Instances exists for tools and tests),
//   a MoveKey is freed as soon as AdvanceKeys takes it.
// - Mirror records belong to whoever configures them (the scene script).
// - Names are pool copies made by the SetName helpers.
//
// This header is the model only: the renderer that draws it is declared in
// scene/draw.h (library scene_draw).
//
// World coordinates have y up (the loader exchanges the file's y and z). Time
// counts motion frames as floats. Matrices are 12 floats, 3x4 row order.
// Nothing here takes a lock: the program is single-threaded.
#pragma once

#include <cstdint> // int32_t, uint16_t, uint32_t

#include "keyframe/keyframe.h"   // KeyTrack, embedded in objects, cameras and lights
#include "math/render_records.h"   // MeshVertex, ArrayVertex, Face, Material, MaterialGroup

// MD2 records (md2/md2.h); the scene only holds pointers to them.
struct Md2Model;
struct AnimRange;
struct FrameVertex;
struct FramePlane;
// The optional sky box; drawn by its own code, returned to the pool by Destroy.
struct SkyBox;

struct Md2Instance;
struct Mirror;
struct Scene;
struct Camera;

constexpr int32_t kSceneCameraCapacity = 5;
constexpr int32_t kSceneLightCapacity = 8;
constexpr int32_t kSceneLocalLights = 8;
constexpr int32_t kMirrorMaxInstances = 10;
constexpr int32_t kMirrorMaxMeshes = 64;

constexpr int32_t kNodeIdUnset = -1;      // nodeId of an object the keyframer never named
constexpr int32_t kLightKindNew = 0x500;  // kind of a light nobody has classified yet
constexpr int32_t kLightKindOmni = 0x502;
constexpr int32_t kLightKindSpot = 0x503;
constexpr int32_t kPreparedAnimNone = 1000; // preparedAnim of a new instance: forces a first transition
// Degrees to radians as the content was tuned: 3.14 / 180.
constexpr float kSceneDegToRad = 0.017444444444444446f;

// Pool copy of `text` (length + 1 bytes, terminator included); null for a
// null text or when the pool is exhausted. Released with PoolFree.
char* SceneCopyName(const char* text);

// One mesh of a 3DS file. Pool record; see NewMeshObject.
struct MeshObject {
    KeyTrack positionTrack{};           // evaluated into pos
    KeyTrack scaleTrack{};
    KeyTrack rotationTrack{};           // evaluated into rot
    MeshObject* firstChild = nullptr;   // hierarchy built by the loader
    MeshObject* nextSibling = nullptr;
    MeshObject* nextObject = nullptr;   // link in Scene.objects
    MeshObject* nextDrawn = nullptr;    // link in Scene.drawList or Scene.parkedList
    char* name = nullptr;
    float pos[3] = {0.0f, 0.0f, 0.0f};
    float rot[4] = {0.0f, 0.0f, 0.0f, 0.0f}; // w, x, y, z
    float bboxMin[3] = {0.0f, 0.0f, 0.0f};   // object space
    float bboxMax[3] = {0.0f, 0.0f, 0.0f};
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    float world[12] = {};                    // rebuilt before each draw
    MeshVertex* vertices = nullptr;          // vertexCount records
    ArrayVertex* arrayVerts = nullptr;       // vertexCount records
    float* envUV = nullptr;                  // 2 floats per vertex
    int32_t* vertexState = nullptr;          // vertexCount marks: 0, 1 lit, 2 env coordinates
    Face* faces = nullptr;                   // faceCount records, in group order
    MeshObject* parent = nullptr;
    int32_t nodeId = kNodeIdUnset;
    MaterialGroup* groups = nullptr;
    int32_t groupCount = 0;

    // Pool copy of `text` into name (the old name is released). Returns the copy or null.
    char* SetName(const char* text);
    // Sets the texture of the material of group `group`. Returns 1, or 0 when
    // the group or its material does not exist (nothing changed).
    int SetGroupTexture(int32_t group, uint32_t texture);
};

// A new mesh object from the pool, in the initial state; null when the pool
// is exhausted. Released with PoolFree (its arrays separately).
MeshObject* NewMeshObject();

// A zero-filled material from the pool; null when the pool is exhausted.
// Released with PoolFree.
Material* NewMaterial();
// Pool copy of `text` into material->name / mapFile. Returns the copy or null.
char* SetMaterialName(Material* material, const char* text);
char* SetMaterialMapFile(Material* material, const char* text);

// A camera of the scene. Pool record; see NewCamera.
struct Camera {
    KeyTrack positionTrack{};
    KeyTrack targetTrack{};
    KeyTrack rollTrack{};
    KeyTrack fovTrack{};
    char* name = nullptr;
    float pos[3] = {100.0f, 100.0f, 100.0f};
    float target[3] = {0.0f, 0.0f, 0.0f};
    float axisZ[3] = {0.0f, 0.0f, 0.0f}; // computed with the view
    float roll = 0.0f;                   // degrees
    float fov = 90.0f;                   // degrees
    float aspect = 1.0f;
    float view[12] = {};                 // computed each frame
    float planes[6][4] = {};             // frustum, computed by the drawing each frame

    // Position (100, 100, 100), target 0, roll 0, fov 90, aspect 1, no name.
    // The tracks and the computed fields are left as they are.
    void SetDefaults();
    void SetFov(float degrees);
    void SetRoll(float degrees);
    void SetAspect(float value);
    // Pool copy of `text` into name (the old name is released). Returns the copy or null.
    char* SetName(const char* text);
    // Recomputes axisZ and view from pos, target and roll.
    void UpdateView();
};

// A new camera from the pool with SetDefaults applied and empty tracks; null
// when the pool is exhausted. Released with PoolFree.
Camera* NewCamera();

// A light of the scene. Pool record; see NewLight.
struct Light {
    char* name = nullptr;
    float pos[3] = {0.0f, 0.0f, 0.0f};
    float target[3] = {0.0f, 0.0f, 0.0f}; // spot lights
    float colour[3] = {1.0f, 1.0f, 1.0f};
    float cosHotspot = 0.0f;
    float cosFalloff = 0.0f;
    int32_t kind = kLightKindNew;
    uint8_t on = 0;
    KeyTrack positionTrack{};
    KeyTrack colourTrack{};
    KeyTrack targetTrack{};

    // Pool copy of `text` into name (the old name is released). Returns the copy or null.
    char* SetName(const char* text);
    // Cone from hot-spot and fall-off angles in degrees; the cosines use the
    // factor 3.14 / 180 the content was tuned with.
    void SetCone(float hotspotDegrees, float falloffDegrees);
    void SetKind(int32_t value);
    // on = 1.
    void SwitchOn();
};

// A new light from the pool in the initial state; null when the pool is
// exhausted. Released with PoolFree.
Light* NewLight();

// A light moved into the space of the object being drawn (scratch of the
// object drawing).
struct LocalLight {
    float position[3];
    float colour[3];
    float cosHotspot;
    float cosFalloff;
    int32_t kind;
};

// One queued move of an Md2Instance. Heap record, freed when taken.
struct MoveKey {
    int32_t motion = 0;
    float duration = 0.0f;          // scene frames
    float targetPos[3] = {0.0f, 0.0f, 0.0f};
    float targetRot[3] = {0.0f, 0.0f, 0.0f};
    MoveKey* next = nullptr;
};

// One placement of an Md2Model in a scene. Heap record made by
// AddMd2Instance; the frame data is shared with the model.
struct Md2Instance {
    float frac = 0.0f;                  // between the drawn frame and the next, 0 to below 1
    char* name = nullptr;
    float pos[3] = {0.0f, 0.0f, 0.0f};
    float rot[3] = {0.0f, 0.0f, 0.0f};  // Euler angles, radians
    AnimRange* anims = nullptr;         // the model's motion table
    Md2Instance* next = nullptr;        // link in the model's instance list
    Md2Model* model = nullptr;
    float* frameBoxes = nullptr;        // 6 floats per absolute frame: min xyz, max xyz
    uint32_t vertsPerFrame = 0;
    uint32_t facesPerFrame = 0;
    int32_t anim = 0;
    uint32_t frameInAnim = 0;
    int32_t vertexOffset = 0;           // first FrameVertex of the drawn frame
    int32_t planeOffset = 0;            // first FramePlane of the drawn frame
    int32_t preparedAnim = kPreparedAnimNone;
    int32_t inTransition = 0;
    float world[12] = {};
    FrameVertex* frames = nullptr;      // the model's (or blendVerts during a transition)
    ArrayVertex* arrayVerts = nullptr;  // shared by all instances of the model
    int32_t* vertexState = nullptr;     // shared by all instances of the model
    float speed = 1.0f;                 // motion frames per scene frame
    uint16_t* tris = nullptr;           // 4 per triangle: A, B, C, unused
    FramePlane* framePlanes = nullptr;  // the model's (or blendPlanes during a transition)
    FrameVertex* blendVerts = nullptr;  // pool, vertsPerFrame records
    FramePlane* blendPlanes = nullptr;  // pool, facesPerFrame records
    float* envUV = nullptr;             // pool, 2 floats per vertex
    int32_t groupCount = 0;
    MaterialGroup* groups = nullptr;    // heap, one group with a heap Material
    MoveKey* keyHead = nullptr;
    MoveKey* keyTail = nullptr;
    float targetPos[3] = {0.0f, 0.0f, 0.0f};
    float targetRot[3] = {0.0f, 0.0f, 0.0f};
    float keyEnd = 0.0f;                // scene time at which the current move ends

    // Pool copy of `text` into name (the old name is released). Returns the copy or null.
    char* SetName(const char* text);
    void SetPosition(float x, float y, float z);
    // Radians.
    void SetRotation(float x, float y, float z);
    // Starts motion `index` at its first frame. A motion outside the model's
    // table is refused (returns 0, nothing changed); 1 otherwise.
    int SetMotion(int32_t index);
    // Scene frames one loop of motion `index` lasts (frame count / speed);
    // 0 for a motion outside the table or a speed of 0.
    float LoopDuration(int32_t index) const;
    // Appends a move to the queue. Returns the key, or null when the heap is
    // exhausted (nothing queued).
    MoveKey* QueueMove(int32_t index, const float targetPosition[3], const float targetRotation[3], float duration);
    // QueueMove with duration = LoopDuration(index) x loops.
    MoveKey* QueueLoops(int32_t index, const float targetPosition[3], const float targetRotation[3], float loops);
    // Takes the next key when the current move has ended, then moves pos and
    // rot 1 / (keyEnd - t) of the way to the targets. t is the scene time.
    void AdvanceKeys(float t);
};

// Creates an instance drawing `model` with skin texture `skin` and puts it at
// the head of the model's instance list. Lives until the program ends (see
// FreeMd2Instances). Null when `model` is null or the heap is exhausted.
Md2Instance* AddMd2Instance(Md2Model* model, const char* name, uint32_t skin);

// Releases every instance of `model` (heap parts, pool buffers, queued keys)
// and empties its instance list. The program itself never calls this: its
// instances live until exit. Null is ignored.
void FreeMd2Instances(Md2Model* model);

// A reflecting floor: a quad plus the instances and meshes drawn mirrored in
// it. Owned by whoever configures it.
struct Mirror {
    float alpha = 0.0f;                  // opacity of the quad
    float corners[4][3] = {};            // world space
    float colour[4][3] = {{1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}};
    float uv[4][2] = {};
    int32_t textured = 0;
    uint32_t texture = 0;                // GL texture name
    float normal[3] = {0.0f, 0.0f, 0.0f}; // reflection plane
    float point[3] = {0.0f, 0.0f, 0.0f};
    Mirror* next = nullptr;              // link in Scene.mirrors
    int32_t instanceCount = 0;
    int32_t meshCount = 0;
    Md2Instance* instances[kMirrorMaxInstances] = {};
    MeshObject* meshes[kMirrorMaxMeshes] = {};

    // Corner i in 0..3; other indices are ignored.
    void SetCorner(int32_t i, float x, float y, float z);
    void SetCornerColour(int32_t i, float r, float g, float b);
    void SetCornerUV(int32_t i, float u, float v);
    void SetNormal(float x, float y, float z);
    // point = corner 0.
    void TakePointFromCorner();
    // Appends to instances. Returns 1, or 0 when full or null (nothing stored).
    int AddInstance(Md2Instance* instance);
    // Appends to meshes. Returns 1, or 0 when full or null (nothing stored).
    int AddMesh(MeshObject* mesh);
};

// Everything one 3DS file brings, plus what the script adds.
struct Scene {
    int32_t objectCount = 0;
    int32_t cameraCount = 0;
    int32_t currentCamera = 0;
    int32_t lightCount = 0;
    int32_t materialCount = 0;
    int32_t frameCount = 0;            // drawn only while frameCount > time
    Camera** cameras = nullptr;        // kSceneCameraCapacity entries, heap
    Light** lights = nullptr;          // kSceneLightCapacity entries, heap
    Material** materials = nullptr;    // pool; grown by AddMaterial
    LocalLight* localLights = nullptr; // kSceneLocalLights records, heap
    int32_t lastObjectNumber = -1;
    MeshObject* objects = nullptr;     // newest first, through nextObject
    MeshObject* cursor = nullptr;      // position of the name and id look-ups
    MeshObject* drawList = nullptr;    // through nextDrawn
    MeshObject* parkedList = nullptr;  // through nextDrawn; never drawn
    float opacity = 1.0f;
    SkyBox* skyBox = nullptr;          // pool record, when present
    Md2Model* models = nullptr;        // newest first, through the model's link
    Mirror* mirrors = nullptr;         // newest first, through Mirror.next
    Scene* prev = nullptr;             // links of the engine's scene lists
    Scene* next = nullptr;
    float time = 0.0f;                 // motion frames
    float dt = 0.0f;                   // frames advanced in the current display frame
    int32_t viewX = 0;
    int32_t viewY = 0;
    int32_t viewWidth = 0;
    int32_t viewHeight = 0;
    uint32_t priority = 0;
    int32_t materialCapacity = 0;      // entries the materials array has room for

    // Makes the camera, light and local-light arrays (all entries null / zero).
    Scene();
    // Releases the heap arrays Destroy did not already release, silently.
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Writes "Deallocare tutta la lista (fare)\n", returns the sky box and the
    // materials array to the pool, frees cameras, lights and localLights and
    // sets the five fields to null. The objects, materials, cameras, lights,
    // models, instances and mirrors themselves stay. Safe to call twice.
    void Destroy();

    // Pushes at the head of objects; objectCount += 1; lastObjectNumber =
    // objectCount. Null is ignored.
    void AddObject(MeshObject* object);
    // First object (newest first) named `name`, or null; leaves cursor on it.
    MeshObject* FindObject(const char* name);
    // Position of that object from the head of objects, or -1; leaves cursor on it.
    int FindObjectIndex(const char* name);
    // First object whose nodeId equals `id`, or null (at once for -1). Cursor
    // is unchanged afterwards.
    MeshObject* FindObjectById(int32_t id);

    // Store at index count, count += 1. Returns 1, or 0 when the record is null
    // or the array is full (the caller keeps the record).
    int AddCamera(Camera* camera);
    int AddLight(Light* light);
    // Grows materials as needed; 0 also when the pool cannot grow it.
    int AddMaterial(Material* material);
    // Index of the first entry named `name`, or -1.
    int FindCamera(const char* name) const;
    int FindLight(const char* name) const;
    int FindMaterial(const char* name) const;

    // Push at the head of models / mirrors; return the record.
    Md2Model* AddModel(Md2Model* model);
    Mirror* AddMirror(Mirror* mirror);
    // Push at the head of drawList / parkedList; return the object.
    MeshObject* PutInDrawList(MeshObject* object);
    MeshObject* Park(MeshObject* object);
    // Unlinks from drawList and returns the object; null when it is not there
    // (the list is unchanged). The object's own nextDrawn is left as it was.
    MeshObject* TakeOutOfDrawList(MeshObject* object);

    // Makes a sky box for the scene when it has none, makes it g_currentSkyBox
    // and runs the sky-box description `entryName` of g_currentPak on it
    // (scene/sky_box.cpp). Returns the scene's sky box, or null when the entry
    // is missing or the pool is exhausted (the scene is then unchanged).
    SkyBox* LoadSkyBox(const char* entryName);
};

// Null-safe Destroy, for shutdown loops.
void SceneDestroy(Scene* scene);

// --- Animation (scene/scene_animate.cpp) ------------------------------------

// Frame of the last EvaluateTracks call.
extern float g_currentFrame;

// Computes tangents and absolute orientations for every track of `scene`
// (objects, cameras, lights). Call exactly once after loading. Null is ignored.
void PrepareTracks(Scene* scene);

// Evaluates every track of `scene` at `frame` into the objects, the lights and
// the current camera. Sets g_currentFrame. Null is ignored.
void EvaluateTracks(Scene* scene, float frame);

// The engine's keyframe player. It has no state: its methods are the two
// passes above, kept as an object so the engine can own one.
class KeyPlayer {
  public:
    // PrepareTracks(scene).
    void PrepareTracks(Scene* scene) const;
    // EvaluateTracks(scene, frame).
    void EvaluateTracks(Scene* scene, float frame) const;
};

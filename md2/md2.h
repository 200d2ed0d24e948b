// MD2 character models: loading an MD2 file from the current archive and
// turning it into per-frame render data that the scene's instances
// (scene/scene.h) only interpolate.
//
// Load reads the whole entry into a heap copy, checks the header against the
// bytes really there, parses triangles, frames and texture coordinates into
// heap buffers that live only during the load (the Md2Loader), groups the
// frames into named motions and calls BuildModel, which fills the model's
// long-lived arrays from the memory pools. The pool arrays belong to the model
// for the whole run and go away with the pool; the one MaterialGroup comes
// from the general heap and lives as long as the model.
//
// Axes: BuildModel converts the MD2 axes to the engine's (y up) with the
// matrix of the Euler angles (-1.57, 1.57, 0); normals are negated.
//
// A zeroed Md2Model (a global, or `Md2Model m{}`) is a valid empty model ready
// for Load. Single-threaded.
#pragma once

#include <cstdint> // int32_t, uint8_t, uint16_t, uint32_t

#include "math/render_records.h" // ArrayVertex, MaterialGroup

// Layout facts and limits of the file format.
constexpr int32_t kMd2Magic = 0x32504449; // "IDP2" read as a little-endian int32
constexpr int32_t kMd2HeaderSize = 68;    // 17 int32 values
constexpr int32_t kMd2MaxVerts = 2048;    // per frame: the size of a frame slot
constexpr int32_t kMd2MaxFrames = 512;    // the format's own frame limit
constexpr int32_t kMd2MaxAnims = 20;      // entries of the motion table
constexpr int32_t kMd2NormalCount = 162;  // entries of the format's normal table
constexpr int32_t kMd2FrameNameBytes = 16;
constexpr int32_t kMd2FrameHeaderSize = 40;   // scale, translate, name
constexpr int32_t kMd2TriangleSize = 12;      // 3 vertex + 3 texture-coordinate indices
constexpr int32_t kMd2TexCoordSize = 4;       // s, t as int16
constexpr int32_t kMd2MaxRenderVerts = 65536; // render vertices are indexed by uint16

// Placements of a model in a scene belong to the scene layer; the model only
// carries the head of their list for it, as an opaque pointer.
struct Md2Instance;
struct Md2Model;

// The 17 header values in file order.
struct Md2Header {
    int32_t magic;
    int32_t version;
    int32_t skinWidth;
    int32_t skinHeight;
    int32_t frameSize;
    int32_t skinCount;
    int32_t vertexCount;
    int32_t texCoordCount;
    int32_t triangleCount;
    int32_t glCommandCount;
    int32_t frameCount;
    int32_t skinsOffset;
    int32_t texCoordsOffset;
    int32_t trianglesOffset;
    int32_t framesOffset;
    int32_t glCommandsOffset;
    int32_t endOffset;
};
static_assert(sizeof(Md2Header) == kMd2HeaderSize, "the MD2 header is 17 int32 values");

// One parsed frame: scale and translate per axis, the name (always
// NUL-terminated here; the file's 16 bytes plus a terminator) and room for
// kMd2MaxVerts compressed vertices of x, y, z, normal index.
struct Md2Frame {
    float scale[3];
    float translate[3];
    char name[kMd2FrameNameBytes + 1];
    uint8_t verts[kMd2MaxVerts * 4];
};

// One motion: a run of consecutive frames with the same base name.
struct AnimRange {
    uint32_t firstFrame;
    uint32_t frameCount;
};

// A render vertex of one frame, in engine axes, with its differences toward
// the next frame of the same motion.
struct FrameVertex {
    float normal[3];
    float position[3];
    float normalDelta[3];
    float positionDelta[3];
};
static_assert(sizeof(FrameVertex) == 48, "FrameVertex is 12 floats");

// The plane of one triangle in one frame (normal . q = distance), with its
// differences toward the next frame of the same motion.
struct FramePlane {
    float normal[3];
    float normalDelta[3];
    float distance;
    float distanceDelta;
};
static_assert(sizeof(FramePlane) == 32, "FramePlane is 8 floats");

// Parse state of one Load. Every buffer is general heap and exists only
// between the start and the end of Load; outside Load all pointers are null.
struct Md2Loader {
    Md2Model* model;
    uint8_t* fileCopy; // file size + 2 bytes, the last two 0
    uint32_t fileSize; // bytes of the entry
    uint32_t cursor;   // read offset into fileCopy
    Md2Header header;
    uint16_t* triangles; // 6 per triangle, as in the file
    Md2Frame* frames;    // header.frameCount slots
    float* texCoords;    // s / skin width, t / skin height per entry
};

// The model: motion table and per-frame render data.
struct Md2Model {
    const char* name; // "Md2 Object" once loaded
    AnimRange anims[kMd2MaxAnims];
    uint32_t animCount;
    Md2Model* next;         // link in a scene's model list
    Md2Instance* instances; // the scene's placements of this model, newest first
    float* frameBoxes;      // pool: per frame min x, y, z, max x, y, z
    uint32_t vertsPerFrame; // render vertices
    uint32_t facesPerFrame; // triangles
    uint32_t frameCount;
    FrameVertex* frames;     // pool: frame f, vertex v at f * vertsPerFrame + v
    ArrayVertex* arrayVerts; // pool: one per render vertex, u and v filled
    int32_t* vertexState;    // pool: one per render vertex, for the renderer
    float speed;             // set by the scene script
    uint16_t* tris;          // pool: 4 per triangle, corners 0..2 then unused
    FramePlane* framePlanes; // pool: frame f, triangle t at f * facesPerFrame + t
    MaterialGroup* groups;   // heap: one group, faceCount = triangles
    int32_t groupCount;      // 1 once loaded
    Md2Loader loader;

    // Loads the archive entry `name` from g_currentPak. Returns -1 when the
    // entry is missing (nothing allocated), 0 when the magic is wrong or the
    // file is damaged (header values that do not fit the bytes or the limits,
    // indices beyond their counts) or the pool runs out, 1 on success. On
    // failure the model keeps its previous state and nothing stays allocated.
    // Bound for an entry of N bytes: heap linear in N during the load; pool
    // render data of 176 bytes per frame and triangle (at most 512 frames and
    // N / 12 triangles), refused once the pool cannot hold it; work of the
    // same order.
    int Load(const char* name);

    // Builds the long-lived arrays from the loader's parsed data; called by
    // Load. Returns 1, or 0 when a pool request fails (the arrays already
    // taken are given back and the model's array fields are left unchanged).
    int BuildModel();
};

// Fills model->anims and model->animCount from the frames' names. Returns 1,
// or 0 when the names give more than kMd2MaxAnims motions (the table is then
// left unchanged).
int Md2GroupMotions(Md2Model* model, const Md2Frame* frames, uint32_t frameCount);

// Length of the base name of a frame name: the name without its trailing
// frame digits (one digit drops one character, two or three drop two).
uint32_t Md2BaseNameLength(const char* name);

// Sky box: a textured box drawn around the eye before anything else of a
// scene. It turns with the camera but never moves with it, and the depth
// buffer is cleared after it, so the scene always draws over it.
//
// A SkyBox is a pool record (NewSkyBox); the scene that refers to it through
// Scene.skyBox gives it back to the pool in Scene::Destroy. The keyword
// handlers act on the one program-wide box g_currentSkyBox, which
// Scene::LoadSkyBox sets before it runs a description. Texture names loaded
// for the faces belong to the box and are never deleted. Single-threaded.
//
// Box space: y up, faces at distance kSkyBoxHalfSize from the centre. Front
// is the -z face, Back +z, Left +x and Right -x (the eye's x axis runs
// opposite to world x, see Camera::UpdateView), Up +y and Down -y. Every face
// is a strip of four vertices (top-left, bottom-left, top-right, bottom-right
// as seen from inside, v = 0 on the top edge), white, with its normal
// pointing into the box.
#pragma once

#include <cstddef> // size_t
#include <cstdint> // int32_t, uint32_t

#include "math/render_records.h" // ArrayVertex

constexpr int32_t kSkyBoxFaces = 6;
constexpr int32_t kSkyBoxVertices = 24;   // four per face
constexpr float kSkyBoxHalfSize = 100.0f; // between the near (2) and far (32768) planes
constexpr int32_t kSkyBoxMaxArguments = 3;
constexpr int32_t kSkyBoxLineBytes = 256; // longer description lines are skipped

// Face order of the textures, the vertices and the normals.
enum SkyBoxFace : int32_t {
    kSkyFaceUp = 0,
    kSkyFaceDown = 1,
    kSkyFaceLeft = 2,
    kSkyFaceRight = 3,
    kSkyFaceFront = 4,
    kSkyFaceBack = 5,
};

struct SkyBox {
    float rotation[9];                  // row order, set by SetSkyRotation
    float source[kSkyBoxVertices][3];   // face f uses vertices 4f .. 4f + 3
    ArrayVertex verts[kSkyBoxVertices]; // u, v, colour fixed; x, y, z rewritten by DrawSkyBox
    float normals[kSkyBoxFaces][3];     // pointing into the box
    uint32_t textures[kSkyBoxFaces];    // GL names, face order above

    // rotation = Ry(y) Rx(x) Rz(z), angles in radians.
    void SetSkyRotation(float x, float y, float z);
    // textures[face] = LoadTexture(file, no mipmaps), stored also when it is
    // 0. A face outside 0..5 is ignored. Needs a current GL context.
    void SetFaceTexture(const char* file, int32_t face);
};

// A new sky box from the pool: identity rotation, the geometry above, all
// textures 0. Null when the pool is exhausted. Released with PoolFree
// (Scene::Destroy does it for the scene's box).
SkyBox* NewSkyBox();

// The box the keyword handlers change; null at start.
extern SkyBox* g_currentSkyBox;

// A keyword handler: (handler argument of the row, argument strings) -> result.
// -1 ends a description; 0 goes on.
using SkyBoxHandler = int (*)(int32_t handlerArgument, const char* const* arguments);

// One row of the keyword table.
struct SkyBoxKeyword {
    const char* keyword;
    SkyBoxHandler handler;
    int32_t argumentCount;
    int32_t handlerArgument;
};

constexpr int32_t kSkyBoxKeywordCount = 8;
// "SkyBox", "InitialRotation", then "TextureUp" .. "TextureBack" in face order.
extern const SkyBoxKeyword g_skyBoxKeywords[kSkyBoxKeywordCount];

// "SkyBox": an argument equal to "disable" (case ignored) detaches
// g_currentSkyBox and gives -1; anything else gives 0 and changes nothing.
int SkyBoxSwitch(int32_t handlerArgument, const char* const* arguments);
// "InitialRotation x y z": SetSkyRotation on g_currentSkyBox when there is
// one. Text that is not a number reads as 0. Always 0.
int SkyBoxRotation(int32_t handlerArgument, const char* const* arguments);
// "Texture<Face> file": SetFaceTexture(file, handlerArgument) on
// g_currentSkyBox when there is one. Always 0.
int SkyBoxFaceTexture(int32_t handlerArgument, const char* const* arguments);

// Row of the table whose keyword equals `word` exactly, or null.
const SkyBoxKeyword* FindSkyBoxKeyword(const char* word);

// Runs a description: one keyword and its arguments per line, separated by
// blanks or tabs; empty lines and lines starting with '#' are skipped. A line
// with an unknown keyword, too few arguments or more than kSkyBoxLineBytes
// characters is reported on the debugger output and skipped; extra arguments
// are ignored. A handler result of -1 ends the description. Returns the number
// of lines whose handler ran.
int32_t RunSkyBoxDescription(const char* text, size_t length);

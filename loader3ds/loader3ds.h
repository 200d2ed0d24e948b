// 3DS scene reader: turns one 3DS file of the resource archive into the mesh
// objects, materials, lights, cameras and keyframe tracks of a Scene.
//
// The whole file is read into a heap buffer, its chunks are walked once from
// front to back without recursion (a chunk that is "entered" only has its
// header stepped over, so its sub-chunks meet the same loop), and a post-pass
// computes normals, orders faces by material, computes bounding boxes and
// links the object hierarchy.
//
// Ownership: everything that stays in the scene (records, names, arrays, keys)
// comes from the memory pools and belongs to the scene. The file buffer and the
// temporary arrays come from the general heap and are released before Load
// returns. One reader serves every scene; its fields are reset by each load.
//
// Input is untrusted: chunk lengths are clamped to the chunk that holds them
// and to the file, counts are checked against the bytes really there, indices
// against the arrays they index, and the scene's fixed tables are never
// overrun. Layout facts and limits live in loader3ds/format3ds.h.
#pragma once

#include <cstdint> // int32_t, uint8_t, uint16_t, uint32_t

struct Scene;
struct MeshObject;

// Values of Loader3DS::selection: what colour and track chunks apply to.
constexpr int32_t kSelectNone = -1;
constexpr int32_t kSelectLightColour = 0x1001;
constexpr int32_t kSelectAmbient = 0x1002;
constexpr int32_t kSelectDiffuse = 0x1003;
constexpr int32_t kSelectSpecular = 0x1004;
constexpr int32_t kSelectAmbientNode = 0x2001;
constexpr int32_t kSelectObjectNode = 0x2002;
constexpr int32_t kSelectCameraNode = 0x2003;
constexpr int32_t kSelectCameraTargetNode = 0x2004;
constexpr int32_t kSelectLightNode = 0x2005;
constexpr int32_t kSelectLightTargetNode = 0x2006;
constexpr int32_t kSelectSpotNode = 0x2007;

constexpr int32_t kLoaderNameBytes = 80; // currentName, terminator included

class Loader3DS {
  public:
    // Reads archive entry `name` of g_currentPak into `scene` (an empty, freshly
    // constructed scene; not owned). With `loadTextures` set, material map files
    // are loaded as textures. Fatal conditions throw a const char* message:
    // missing entry, no memory for the file, a face group naming an unknown
    // material, a texture that fails to load. The scene is then partly filled.
    // Bound for an entry of N bytes: N + 2 heap bytes for the file and at most
    // 40 N + 4 KiB of pool (an 8-byte empty vertex list buys a whole object),
    // never more than the pool holds; one pass over the chunks and a post-pass
    // linear in vertices and faces, except that the material and face-group
    // tables grow by one entry per chunk, O(M^2) copying for M such chunks.
    void Load(const char* name, Scene* scene, uint8_t loadTextures);

    // Whole entry `name` in a heap buffer of size + 2 bytes (the last two 0);
    // sets `size`. Throws when the entry is missing or memory runs out.
    // Released with ReleaseFile.
    uint8_t* ReadFile(const char* name);

    // Releases a buffer of ReadFile; null is ignored.
    static void ReleaseFile(uint8_t* fileBuffer);

    // Walks the chunks of `fileBuffer` (`size` bytes, plus two 0 bytes) into
    // `target`, then loads textures (when `loadTextures`) and runs the
    // post-pass. The buffer is not kept.
    void Parse(uint8_t* fileBuffer, Scene* target);

    // Sets chunkId and chunkLength from the 6 bytes at `offset`, without
    // moving it. Fewer than 6 bytes left give id 0 and length 0.
    void ReadChunkHeader();

    // Copies the NUL-terminated string at `offset` into `dest` (null means
    // currentName; `capacity` bytes, terminator included), cutting what does
    // not fit, and moves `offset` past the string and its terminator. A string
    // that runs into the end of its chunk ends there; false is returned then.
    bool ReadString(char* dest, int32_t capacity = kLoaderNameBytes);

    uint8_t* buffer = nullptr;       // the whole file during a load
    int32_t offset = 0;              // read position in buffer
    int32_t size = 0;                // bytes in the file
    uint16_t chunkId = 0;            // id of the last chunk header read
    uint32_t chunkLength = 0;        // length of the last chunk header read
    Scene* scene = nullptr;          // scene being filled, not owned
    char currentName[kLoaderNameBytes] = {}; // last object or node name read
    int32_t nodeCounter = 0;         // object node headers read so far
    int32_t selection = kSelectNone; // target of colour and track chunks
    int32_t targetIndex = -1;        // camera or light of the current node
    uint8_t loadTextures = 0;        // load material textures after the walk
    MeshObject* currentNode = nullptr; // object of the current object node

  private:
    // End of the data the current chunk may use: its own end, clamped to the
    // chunks that hold it and to the file. Set by ReadChunkHeader.
    int32_t chunkEnd_ = 0;
    // Ends of the chunks whose sub-chunks are being walked, innermost last; the
    // walk never reads past them. Deeper nesting is bounded by the outer ends.
    static constexpr int32_t kMaxDepth = 32;
    int32_t openEnds_[kMaxDepth] = {};
    int32_t depth_ = 0;
    // Parent index of every object node header, by node number; lives for one
    // Parse (heap, released by Parse).
    struct NodeTable* nodes_ = nullptr;

    int32_t Limit() const;
    void Skip();
    bool Fits(int64_t bytes) const;
    int32_t Remaining() const;
    float ReadFloat();
    void ReadPoint(float out[3]);
    uint16_t ReadU16();
    uint32_t ReadU32();
    void Dispatch();
    MeshObject* CurrentObject() const;

    void ReadVersion();
    void ReadNamedObject();
    void ReadVertexList();
    void ReadFaceList();
    void ReadFaceGroup();
    void ReadTexCoords();
    void ReadLocalAxes();
    void ReadLight();
    void ReadSpotlight();
    void ReadCamera();
    void ReadColour();
    void ReadMaterialName();
    void ReadMapFile();
    void ReadFrameSegment();
    void ReadNodeHeader();
    void ReadTrack();

    void LoadMaterialTextures();
    void PostPass();
    void LinkHierarchy();
};

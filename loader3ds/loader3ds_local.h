// Insides of the 3DS reader shared by its source files (and by the tests that
// look at the reader's state): the reader class behind Load3ds.
#pragma once

#include "loader3ds/loader3ds.h"

#include <cstdint> // int32_t, uint8_t, uint16_t, uint32_t
#include <cstring> // memcpy
#include <vector>

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
    // Load3ds with this reader (loader3ds.h).
    void Load(const char* name, Scene* scene);

    // Whole entry `name` in a heap buffer of size + 2 bytes (the last two 0);
    // sets `size`. Throws when the entry is missing or memory runs out.
    // Released with ReleaseFile.
    uint8_t* ReadFile(const char* name);

    // Releases a buffer of ReadFile; null is ignored.
    static void ReleaseFile(uint8_t* fileBuffer);

    // Walks the chunks of `fileBuffer` (`size` bytes, plus two 0 bytes) into
    // `target`, then runs the post-pass. The buffer is not kept.
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
    // Little-endian reads at the read position; inline, since the vertex and
    // key lists call them per value.
    float ReadFloat() {
        const uint32_t bits = ReadU32();
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    void ReadPoint(float out[3]) {
        out[0] = ReadFloat();
        out[1] = ReadFloat();
        out[2] = ReadFloat();
    }
    uint16_t ReadU16() {
        const uint8_t* p = buffer + offset;
        offset += 2;
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t ReadU32() {
        const uint8_t* p = buffer + offset;
        offset += 4;
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
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

    void PostPass();
    void LinkHierarchy();
};

// Parent index (0xFFFF = none) of each object node header, by node number.
struct NodeTable {
    std::vector<int32_t> parents;
};

// Pool block of `count` x `bytes` bytes, zero-filled; null for a count of 0.
// Throws the reader's out-of-memory message when the pool is exhausted.
void* Loader3dsPoolArray(int64_t count, int64_t bytes);
// The same block left as the pool hands it over, for arrays that are written
// whole before anything reads them.
void* Loader3dsPoolArrayUncleared(int64_t count, int64_t bytes);

// Pool copy of `text`; throws the out-of-memory message when the pool is exhausted.
char* Loader3dsCopyName(const char* text);

// Throws the reader's out-of-memory message (the pool has already reported).
[[noreturn]] void Loader3dsOutOfMemory();

// Messages the reader throws or writes.
constexpr const char kMsgNoMemory[] = "Memoria non sufficiente per il caricamento dei 3DS";
constexpr const char kMsgNoMaterial[] = "Errore, materiale inesistente";
constexpr const char kMsgNothingSelected[] = "Nessun tipo di oggetto correntemente selezionato";

// 3DS reader: file reading, the chunk walk and its dispatch table.
#include "loader3ds/loader3ds.h"

#include "archive/archive.h"      // g_currentPak, PakLoadEntry, PakFreeEntry
#include "loader3ds/format3ds.h"  // chunk ids
#include "loader3ds/loader3ds_local.h"
#include "memory/memory_pool.h"   // PoolAlloc
#include "platform/platform.h"    // PlatformDebugOutput
#include "scene/scene.h"          // Scene

#include <cstdio>  // snprintf
#include <cstring> // memcpy, memset, strlen

namespace {

// Room for "File <name>.3ds non trovato" with any name the archive can hold;
// longer names are cut. Static because the text is thrown as a pointer.
char s_notFoundMessage[160];

[[noreturn]] void ThrowNotFound(const char* name) {
    std::snprintf(s_notFoundMessage, sizeof s_notFoundMessage, "File %s.3ds non trovato", name ? name : "");
    throw static_cast<const char*>(s_notFoundMessage);
}

// Releases the file buffer and the node table however Parse ends.
struct LoadGuard {
    uint8_t* fileBuffer;
    ~LoadGuard() { Loader3DS::ReleaseFile(fileBuffer); }
};

} // namespace

[[noreturn]] void Loader3dsOutOfMemory() { throw kMsgNoMemory; }

void* Loader3dsPoolArray(int64_t count, int64_t bytes) {
    void* block = Loader3dsPoolArrayUncleared(count, bytes);
    if (block != nullptr) {
        std::memset(block, 0, static_cast<size_t>(count * bytes));
    }
    return block;
}

void* Loader3dsPoolArrayUncleared(int64_t count, int64_t bytes) {
    if (count <= 0 || bytes <= 0) {
        return nullptr;
    }
    const int64_t total = count * bytes; // counts are at most 16 bits: no overflow
    if (total > INT32_MAX) {
        Loader3dsOutOfMemory();
    }
    void* block = PoolAlloc(static_cast<uint32_t>(total));
    if (!block) {
        Loader3dsOutOfMemory();
    }
    return block;
}

char* Loader3dsCopyName(const char* text) {
    char* copy = SceneCopyName(text);
    if (!copy) {
        Loader3dsOutOfMemory();
    }
    return copy;
}

void Load3ds(const char* name, Scene* scene) {
    // One reader serves every scene; a load resets what it uses.
    static Loader3DS s_reader;
    s_reader.Load(name, scene);
}

void Loader3DS::Load(const char* name, Scene* target) {
    selection = kSelectNone;
    LoadGuard guard{ReadFile(name)};
    Parse(guard.fileBuffer, target);
}

uint8_t* Loader3DS::ReadFile(const char* name) {
    int32_t bytes = -1;
    PakLoadStatus status = kPakLoadOk;
    uint8_t* data = PakLoadEntry(g_currentPak, name, INT32_MAX - kPakLoadPadding, &bytes, &status);
    if (status == kPakLoadMissing) {
        ThrowNotFound(name);
    }
    size = bytes;
    PlatformDebugOutput("Numero di byte allocati per il buffer = ");
    PlatformDebugPrintf("%d", size);
    if (status == kPakLoadNoMemory) {
        throw kMsgNoMemory;
    }
    // An entry the archive cannot deliver whole is as good as missing: parsing a
    // half-read buffer would build a scene from stale bytes.
    if (data == nullptr) {
        ThrowNotFound(name);
    }
    PlatformDebugOutput("...Lettura file OK \n");
    return data;
}

void Loader3DS::ReleaseFile(uint8_t* fileBuffer) { PakFreeEntry(fileBuffer); }

void Loader3DS::Parse(uint8_t* fileBuffer, Scene* target) {
    buffer = fileBuffer;
    scene = target;
    offset = 0;
    currentNode = nullptr;
    nodeCounter = 0;
    targetIndex = -1;
    depth_ = 0;
    scene->objectCount = 0;
    scene->cameraCount = 0;
    scene->lightCount = 0;
    scene->currentCamera = 0;
    if (size <= 0) {
        PlatformDebugOutput("3DS : file vuoto, nessun oggetto\n");
    }

    NodeTable table;
    nodes_ = &table;
    struct Reset {
        Loader3DS* self;
        ~Reset() {
            self->nodes_ = nullptr;
            self->buffer = nullptr;
        }
    } reset{this};

    while (offset < size) {
        // Leave the chunks whose end the walk has reached.
        while (depth_ > 0 && offset >= openEnds_[depth_ - 1]) {
            --depth_;
        }
        const int32_t limit = Limit();
        ReadChunkHeader();
        if (chunkLength < static_cast<uint32_t>(kChunkHeaderSize)) {
            // Too few bytes for a header, or a length that cannot be stepped
            // over: the rest of the holding chunk is unreadable.
            if (limit - offset >= kChunkHeaderSize) {
                PlatformDebugPrintf("3DS : chunk 0x%04X di lunghezza %u non valida a %d\n", chunkId, chunkLength,
                                    offset);
            }
            offset = limit;
            continue;
        }
        const int32_t start = offset;
        Dispatch();
        // Sub-chunks of a chunk that was entered (or read in part) are walked
        // next, bounded by its end.
        if (offset > start && offset < chunkEnd_ && depth_ < kMaxDepth) {
            openEnds_[depth_++] = chunkEnd_;
        } else if (offset <= start) {
            offset = chunkEnd_; // a handler that made no progress skips its chunk
        }
    }
    PlatformDebugOutput("Load 3ds terminato\n");
    PostPass();
}

int32_t Loader3DS::Limit() const { return depth_ > 0 ? openEnds_[depth_ - 1] : size; }

void Loader3DS::ReadChunkHeader() {
    const int32_t limit = Limit();
    if (offset < 0 || limit - offset < kChunkHeaderSize) {
        chunkId = 0;
        chunkLength = 0;
        chunkEnd_ = limit;
        return;
    }
    const uint8_t* p = buffer + offset;
    chunkId = static_cast<uint16_t>(p[0] | (p[1] << 8));
    chunkLength = static_cast<uint32_t>(p[2]) | (static_cast<uint32_t>(p[3]) << 8) |
                  (static_cast<uint32_t>(p[4]) << 16) | (static_cast<uint32_t>(p[5]) << 24);
    // A chunk that claims more than its holder has is cut at the holder's end.
    const int64_t end = static_cast<int64_t>(offset) + chunkLength;
    chunkEnd_ = end > limit ? limit : static_cast<int32_t>(end);
}

bool Loader3DS::ReadString(char* dest, int32_t capacity) {
    if (!dest) {
        dest = currentName;
        capacity = kLoaderNameBytes;
    }
    int32_t written = 0;
    while (offset < chunkEnd_ && buffer[offset] != 0) {
        if (written < capacity - 1) {
            dest[written++] = static_cast<char>(buffer[offset]);
        }
        ++offset;
    }
    if (capacity > 0) {
        dest[written] = 0;
    }
    if (offset < chunkEnd_) {
        ++offset; // the terminator
        return true;
    }
    return false;
}

void Loader3DS::Skip() { offset = chunkEnd_; }

bool Loader3DS::Fits(int64_t bytes) const { return bytes >= 0 && offset + bytes <= chunkEnd_; }

int32_t Loader3DS::Remaining() const { return chunkEnd_ > offset ? chunkEnd_ - offset : 0; }

MeshObject* Loader3DS::CurrentObject() const { return scene->objects; }

void Loader3DS::Dispatch() {
    switch (chunkId) {
    case kChunkEditor:
    case kChunkTriMesh:
    case kChunkMain:
    case kChunkTextureMap:
    case kChunkMaterial:
    case kChunkKeyframer:
        offset += kChunkHeaderSize;
        break;
    case kChunkAmbient:
    case kChunkDiffuse:
    case kChunkSpecular:
        selection = kSelectAmbient + (chunkId - kChunkAmbient) / 0x10;
        offset += kChunkHeaderSize;
        break;
    case kChunkAmbientNode:
    case kChunkObjectNode:
    case kChunkCameraNode:
    case kChunkCameraTargetNode:
    case kChunkLightNode:
    case kChunkLightTargetNode:
    case kChunkSpotNode:
        selection = 0x2000 + (chunkId - kChunkKeyframer);
        // A node's tracks belong to its own header; nothing carries over from
        // the node before.
        currentNode = nullptr;
        targetIndex = -1;
        offset += kChunkHeaderSize;
        break;
    case kChunkVersion:
        ReadVersion();
        break;
    case kChunkColourFloat:
    case kChunkColourByte:
        ReadColour();
        break;
    case kChunkNamedObject:
        ReadNamedObject();
        break;
    case kChunkVertexList:
        ReadVertexList();
        break;
    case kChunkFaceList:
        ReadFaceList();
        break;
    case kChunkFaceMaterial:
        ReadFaceGroup();
        break;
    case kChunkTexCoords:
        ReadTexCoords();
        break;
    case kChunkLocalAxes:
        ReadLocalAxes();
        break;
    case kChunkLight:
        ReadLight();
        break;
    case kChunkSpotlight:
        ReadSpotlight();
        break;
    case kChunkCamera:
        ReadCamera();
        break;
    case kChunkMaterialName:
        ReadMaterialName();
        break;
    case kChunkMapFile:
        ReadMapFile();
        break;
    case kChunkFrameSegment:
        ReadFrameSegment();
        break;
    case kChunkNodeHeader:
        ReadNodeHeader();
        break;
    case kChunkPositionTrack:
    case kChunkRotationTrack:
    case kChunkScaleTrack:
    case kChunkFovTrack:
    case kChunkRollTrack:
    case kChunkColourTrack:
        ReadTrack();
        break;
    default:
        // Light sub-chunks, instance names, pivots, morph smoothing, other
        // tracks, node ids and every unknown id.
        Skip();
        break;
    }
}

void Loader3DS::ReadVersion() {
    // The version is not used; the chunk is stepped over by its fixed size.
    if (Fits(kChunkHeaderSize + 4)) {
        offset += kChunkHeaderSize + 4;
    } else {
        Skip();
    }
}

void Loader3DS::ReadNamedObject() {
    offset += kChunkHeaderSize;
    ReadString(nullptr);
}

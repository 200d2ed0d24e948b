// Reading an MD2 file from the archive into the loader's parse buffers, and
// grouping its frames into motions.
//
// Every count and offset of the header is checked against the bytes of the
// entry before anything is read, and every index a triangle or vertex
// carries is checked against its table, so a damaged file is refused before
// any buffer is read or written out of bounds.
#include <cstdlib> // calloc, malloc, free
#include <cstring> // memcpy, memcmp, strlen

#include "archive/archive.h" // PakLoadEntry, PakFreeEntry, g_currentPak
#include "md2/md2.h"
#include "md2/md2_normals.h" // kMd2NormalCount

namespace {

// Little-endian reads at a byte position the caller has bounds-checked.
int32_t ReadInt32(const uint8_t* at) {
    const uint32_t value = static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
                           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
    return static_cast<int32_t>(value);
}

uint16_t ReadUint16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

float ReadFloat(const uint8_t* at) {
    const int32_t bits = ReadInt32(at);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

// True when `count` items of `itemSize` bytes starting at `offset` lie inside
// a file of `fileSize` bytes. An empty block is never read, so its offset does
// not matter. Computed in 64 bits so that no product or sum wraps.
bool BlockFits(int32_t offset, int32_t count, int64_t itemSize, uint32_t fileSize) {
    if (count == 0) {
        return true;
    }
    if (offset < 0 || count < 0) {
        return false;
    }
    const int64_t end = static_cast<int64_t>(offset) + static_cast<int64_t>(count) * itemSize;
    return end <= static_cast<int64_t>(fileSize);
}

// Header values that the parse depends on, checked against the limits and the
// bytes really there.
bool HeaderFits(const Md2Header& h, uint32_t fileSize) {
    if (h.skinWidth <= 0 || h.skinHeight <= 0) {
        return false;
    }
    if (h.vertexCount < 0 || h.vertexCount > kMd2MaxVerts) {
        return false;
    }
    if (h.frameCount < 0 || h.frameCount > kMd2MaxFrames) {
        return false;
    }
    if (h.texCoordCount < 0 || h.triangleCount < 0) {
        return false;
    }
    const int64_t frameBytes = kMd2FrameHeaderSize + 4 * static_cast<int64_t>(h.vertexCount);
    return BlockFits(h.trianglesOffset, h.triangleCount, kMd2TriangleSize, fileSize) &&
           BlockFits(h.framesOffset, h.frameCount, frameBytes, fileSize) &&
           BlockFits(h.texCoordsOffset, h.texCoordCount, kMd2TexCoordSize, fileSize);
}

// Releases every parse buffer of the loader; safe on a zeroed loader.
void ReleaseParseBuffers(Md2Loader* loader) {
    PakFreeEntry(loader->fileCopy);
    std::free(loader->triangles);
    std::free(loader->frames);
    std::free(loader->texCoords);
    loader->fileCopy = nullptr;
    loader->triangles = nullptr;
    loader->frames = nullptr;
    loader->texCoords = nullptr;
    loader->cursor = 0;
    loader->model = nullptr;
}

// Copies the named entry of the current archive into loader->fileCopy (size
// + 2 bytes, the last two 0). Returns -1 for a missing entry, 0 when it cannot
// be read whole, 1 on success.
int ReadEntry(Md2Loader* loader, const char* name) {
    int32_t size = 0;
    PakLoadStatus status = kPakLoadOk;
    loader->fileCopy = PakLoadEntry(g_currentPak, name, INT32_MAX - kPakLoadPadding, &size, &status);
    if (status == kPakLoadMissing) {
        return -1;
    }
    if (loader->fileCopy == nullptr) {
        return 0;
    }
    loader->fileSize = static_cast<uint32_t>(size);
    loader->cursor = 0;
    return 1;
}

void ReadHeader(Md2Loader* loader) {
    int32_t values[17] = {};
    for (int32_t i = 0; i < 17; ++i) {
        values[i] = ReadInt32(loader->fileCopy + loader->cursor);
        loader->cursor += 4;
    }
    static_assert(sizeof(values) == sizeof(Md2Header), "one header field per value");
    std::memcpy(&loader->header, values, sizeof(values));
}

// Triangles: 6 uint16 each; every index must name an existing vertex or
// texture coordinate. Returns false for a bad index or no memory.
bool ParseTriangles(Md2Loader* loader) {
    const Md2Header& h = loader->header;
    if (h.triangleCount == 0) {
        return true;
    }
    loader->triangles =
        static_cast<uint16_t*>(std::malloc(static_cast<size_t>(h.triangleCount) * 6 * sizeof(uint16_t)));
    if (loader->triangles == nullptr) {
        return false;
    }
    loader->cursor = static_cast<uint32_t>(h.trianglesOffset);
    for (int32_t t = 0; t < h.triangleCount; ++t) {
        uint16_t* tri = loader->triangles + t * 6;
        for (int32_t k = 0; k < 6; ++k) {
            tri[k] = ReadUint16(loader->fileCopy + loader->cursor);
            loader->cursor += 2;
        }
        for (int32_t k = 0; k < 3; ++k) {
            if (tri[k] >= h.vertexCount || tri[k + 3] >= h.texCoordCount) {
                return false;
            }
        }
    }
    return true;
}

// Frames, one after another from the frames offset; names get a terminator
// even when the file's 16 bytes have none, and every normal index must lie in
// the table.
bool ParseFrames(Md2Loader* loader) {
    const Md2Header& h = loader->header;
    if (h.frameCount == 0) {
        return true;
    }
    // Not zero-filled: each slot has room for kMd2MaxVerts vertices, and only
    // the header's vertexCount of them are written below and ever read; the
    // rest of the slot is never touched, so its pages are never faulted in.
    loader->frames = static_cast<Md2Frame*>(std::malloc(static_cast<size_t>(h.frameCount) * sizeof(Md2Frame)));
    if (loader->frames == nullptr) {
        return false;
    }
    loader->cursor = static_cast<uint32_t>(h.framesOffset);
    for (int32_t f = 0; f < h.frameCount; ++f) {
        Md2Frame* frame = loader->frames + f;
        for (int32_t k = 0; k < 3; ++k) {
            frame->scale[k] = ReadFloat(loader->fileCopy + loader->cursor);
            loader->cursor += 4;
        }
        for (int32_t k = 0; k < 3; ++k) {
            frame->translate[k] = ReadFloat(loader->fileCopy + loader->cursor);
            loader->cursor += 4;
        }
        std::memcpy(frame->name, loader->fileCopy + loader->cursor, kMd2FrameNameBytes);
        frame->name[kMd2FrameNameBytes] = '\0';
        loader->cursor += kMd2FrameNameBytes;
        const uint32_t vertexBytes = static_cast<uint32_t>(h.vertexCount) * 4;
        std::memcpy(frame->verts, loader->fileCopy + loader->cursor, vertexBytes);
        loader->cursor += vertexBytes;
        for (int32_t v = 0; v < h.vertexCount; ++v) {
            if (frame->verts[v * 4 + 3] >= kMd2NormalCount) {
                return false;
            }
        }
    }
    return true;
}

// Texture coordinates as fractions of the skin size.
bool ParseTexCoords(Md2Loader* loader) {
    const Md2Header& h = loader->header;
    if (h.texCoordCount == 0) {
        return true;
    }
    loader->texCoords =
        static_cast<float*>(std::malloc(static_cast<size_t>(h.texCoordCount) * 2 * sizeof(float)));
    if (loader->texCoords == nullptr) {
        return false;
    }
    loader->cursor = static_cast<uint32_t>(h.texCoordsOffset);
    const float width = static_cast<float>(h.skinWidth);
    const float height = static_cast<float>(h.skinHeight);
    for (int32_t i = 0; i < h.texCoordCount; ++i) {
        const int16_t s = static_cast<int16_t>(ReadUint16(loader->fileCopy + loader->cursor));
        const int16_t t = static_cast<int16_t>(ReadUint16(loader->fileCopy + loader->cursor + 2));
        loader->cursor += 4;
        loader->texCoords[i * 2] = static_cast<float>(s) / width;
        loader->texCoords[i * 2 + 1] = static_cast<float>(t) / height;
    }
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

uint32_t Md2BaseNameLength(const char* name) {
    const uint32_t length = static_cast<uint32_t>(std::strlen(name));
    // Names shorter than three characters are tested on the characters they have.
    const uint32_t tail = length < 3 ? length : 3;
    uint32_t digits = 0;
    for (uint32_t i = length - tail; i < length; ++i) {
        digits += IsDigit(name[i]) ? 1 : 0;
    }
    if (digits == 0) {
        return length;
    }
    const uint32_t drop = digits == 1 ? 1 : 2;
    return length > drop ? length - drop : 0;
}

int Md2GroupMotions(Md2Model* model, const Md2Frame* frames, uint32_t frameCount) {
    AnimRange anims[kMd2MaxAnims] = {};
    uint32_t animCount = 1;
    // A file without frames still gets one (empty) motion, so that motion 0
    // always exists for the instances.
    if (frameCount > 0) {
        const char* baseName = frames[0].name;
        uint32_t baseLength = Md2BaseNameLength(baseName);
        anims[0].frameCount = 1;
        for (uint32_t f = 1; f < frameCount; ++f) {
            const char* name = frames[f].name;
            const uint32_t length = Md2BaseNameLength(name);
            if (length == baseLength && std::memcmp(name, baseName, length) == 0) {
                anims[animCount - 1].frameCount += 1;
                continue;
            }
            if (animCount == kMd2MaxAnims) {
                return 0;
            }
            anims[animCount].firstFrame = f;
            anims[animCount].frameCount = 1;
            animCount += 1;
            baseName = name;
            baseLength = length;
        }
    }
    std::memcpy(model->anims, anims, sizeof(anims));
    model->animCount = animCount;
    return 1;
}

int Md2Model::Load(const char* entryName) {
    Md2Loader* ld = &loader;
    ReleaseParseBuffers(ld);
    ld->model = this;

    const int read = ReadEntry(ld, entryName);
    if (read != 1) {
        ReleaseParseBuffers(ld);
        return read;
    }
    // Too short for the magic and the rest of the header: not an MD2 file.
    if (ld->fileSize < static_cast<uint32_t>(kMd2HeaderSize) || ReadInt32(ld->fileCopy) != kMd2Magic) {
        ReleaseParseBuffers(ld);
        return 0;
    }
    ReadHeader(ld);
    if (!HeaderFits(ld->header, ld->fileSize) || !ParseTriangles(ld) || !ParseFrames(ld) ||
        !ParseTexCoords(ld)) {
        ReleaseParseBuffers(ld);
        return 0;
    }
    PakFreeEntry(ld->fileCopy);
    ld->fileCopy = nullptr;

    // Grouping and the build write the model; keep the old table so that a
    // failed build leaves the model as it was.
    AnimRange oldAnims[kMd2MaxAnims] = {};
    std::memcpy(oldAnims, anims, sizeof(oldAnims));
    const uint32_t oldAnimCount = animCount;
    MaterialGroup* group = new MaterialGroup{};
    if (Md2GroupMotions(this, ld->frames, static_cast<uint32_t>(ld->header.frameCount)) == 0 ||
        BuildModel() == 0) {
        std::memcpy(anims, oldAnims, sizeof(oldAnims));
        animCount = oldAnimCount;
        delete group;
        ReleaseParseBuffers(ld);
        return 0;
    }
    // The group's material and face list are set by whoever dresses the model.
    group->faceCount = ld->header.triangleCount;
    delete groups; // a previous load's group; instances keep their own copies
    groups = group;
    groupCount = 1;
    name = "Md2 Object";
    ReleaseParseBuffers(ld);
    return 1;
}

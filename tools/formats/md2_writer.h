// MD2 file writer: builds the bytes of an MD2 model from plain lists, for
// loader tests and content tools. The header's counts, offsets and frame size
// are computed from the lists; tests that need a damaged file patch the
// result with Md2PatchHeader.
#pragma once

#include <cstdint> // int16_t, int32_t, uint8_t, uint16_t
#include <string>
#include <vector>

// One frame: scale and translate per axis, a name of up to 16 bytes (exactly
// 16 leaves no terminator in the file), and four bytes per vertex: x, y, z
// and the normal index.
struct Md2WriterFrame {
    float scale[3];
    float translate[3];
    std::string name;
    std::vector<uint8_t> verts;
};

// One triangle: three vertex indices, then three texture-coordinate indices.
struct Md2WriterTriangle {
    uint16_t vertex[3];
    uint16_t texCoord[3];
};

// A texture coordinate in skin pixels.
struct Md2WriterTexCoord {
    int16_t s;
    int16_t t;
};

// A whole model. vertexCount is the number of vertices per frame; every
// frame's verts must hold 4 x vertexCount bytes (missing bytes are written as 0,
// extra ones are dropped). Skins are names of up to 63 characters.
struct Md2WriterModel {
    int32_t skinWidth = 256;
    int32_t skinHeight = 256;
    int32_t vertexCount = 0;
    std::vector<std::string> skins;
    std::vector<Md2WriterTexCoord> texCoords;
    std::vector<Md2WriterTriangle> triangles;
    std::vector<Md2WriterFrame> frames;
    std::vector<int32_t> glCommands; // written as they are
};

// Header fields by their index in the 17 int32 values of the file.
enum Md2HeaderField : int32_t {
    kMd2FieldMagic = 0,
    kMd2FieldVersion,
    kMd2FieldSkinWidth,
    kMd2FieldSkinHeight,
    kMd2FieldFrameSize,
    kMd2FieldSkinCount,
    kMd2FieldVertexCount,
    kMd2FieldTexCoordCount,
    kMd2FieldTriangleCount,
    kMd2FieldGlCommandCount,
    kMd2FieldFrameCount,
    kMd2FieldSkinsOffset,
    kMd2FieldTexCoordsOffset,
    kMd2FieldTrianglesOffset,
    kMd2FieldFramesOffset,
    kMd2FieldGlCommandsOffset,
    kMd2FieldEndOffset,
};

// The file's bytes: header, skins, texture coordinates, triangles, frames,
// GL commands, in that order, version 8.
std::vector<uint8_t> Md2WriteBytes(const Md2WriterModel& model);

// Overwrites one header value of a written file (ignored when the file is
// shorter than the header).
void Md2PatchHeader(std::vector<uint8_t>* bytes, Md2HeaderField field, int32_t value);

// Reads one header value of a written file (0 when the file is too short).
int32_t Md2ReadHeader(const std::vector<uint8_t>& bytes, Md2HeaderField field);

// A frame whose vertices are the given packed bytes, with scale 1 and
// translate 0.
Md2WriterFrame Md2MakeFrame(const std::string& name, const std::vector<uint8_t>& verts);

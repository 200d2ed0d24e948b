// 3DS file writer for tests and content tools: a chunk builder with nesting
// (lengths are patched when a chunk closes) and one helper per chunk kind the
// scene reader understands. Broken files are made with RawHeader, Truncated
// and by editing Bytes() directly.
//
// Typical use:
//     Writer3DS w;
//     w.Begin(kChunkMain);
//     w.Begin(kChunkEditor);
//     w.BeginNamedObject("Box");
//     w.Begin(kChunkTriMesh);
//     w.VertexList(verts);
//     w.BeginFaceList(faces);
//     w.FaceMaterial("Red", {0, 1});
//     w.End(); // face list
//     w.End(); // mesh
//     w.End(); // named object
//     ...
//     std::vector<uint8_t> file = w.Finish();
// Values are written in the file's own axes; the reader swaps y and z.
#pragma once

#include "loader3ds/format3ds.h" // chunk ids and record sizes

#include <cstdint>
#include <string>
#include <vector>

struct Vec3f {
    float x;
    float y;
    float z;
};

struct UV {
    float u;
    float v;
};

// One face as stored in a face list: vertex indices and the edge flags word.
struct Face3ds {
    uint16_t a;
    uint16_t b;
    uint16_t c;
    uint16_t flags;
};

// One key of a track chunk. `spline` holds the values for the set bits 0..4 of
// `splineFlags`, in bit order (unused entries are ignored). `value` holds
// 1 (fov, roll), 3 (position, scale, colour) or 4 (rotation: angle, axis) floats.
struct TrackKey3ds {
    int32_t frame;
    uint16_t splineFlags;
    float spline[5];
    std::vector<float> value;
};

class Writer3DS {
  public:
    // Opens a chunk; its length is filled in by the matching End.
    void Begin(uint16_t id);
    // Closes the innermost open chunk. Does nothing when none is open.
    void End();
    // Closes every open chunk and returns the file's bytes.
    std::vector<uint8_t> Finish();
    // Number of chunks still open.
    int Depth() const { return static_cast<int>(open_.size()); }

    // Plain data, little-endian, appended at the end.
    void U8(uint8_t v);
    void U16(uint16_t v);
    void U32(uint32_t v);
    void I32(int32_t v);
    void Float(float v);
    void Floats(const std::vector<float>& v);
    void Point(const Vec3f& p);
    void String(const std::string& s); // with its NUL terminator
    void Raw(const std::vector<uint8_t>& bytes);

    // A chunk header with a length chosen by the caller (for broken files); it
    // is not opened and never patched.
    void RawHeader(uint16_t id, uint32_t length);
    // A complete chunk with opaque data (for chunk kinds the reader skips).
    void Opaque(uint16_t id, const std::vector<uint8_t>& data);

    // --- helpers, one per chunk kind; "Begin..." ones leave the chunk open ---
    void Version(uint32_t version);
    void ColourFloat(float r, float g, float b);
    void ColourByte(uint8_t r, uint8_t g, uint8_t b);
    void BeginNamedObject(const std::string& name);
    void VertexList(const std::vector<Vec3f>& vertices);
    void BeginFaceList(const std::vector<Face3ds>& faces);
    void FaceList(const std::vector<Face3ds>& faces); // closed at once
    void FaceMaterial(const std::string& material, const std::vector<uint16_t>& faces);
    void TexCoords(const std::vector<UV>& uvs);
    void LocalAxes(const Vec3f& x, const Vec3f& y, const Vec3f& z, const Vec3f& origin);
    void BeginLight(const Vec3f& position);
    void Spotlight(const Vec3f& target, float hotspot, float falloff);
    void Camera(const Vec3f& position, const Vec3f& target, float bank, float lens);
    void MaterialName(const std::string& name);
    // A colour block (kChunkAmbient, kChunkDiffuse, kChunkSpecular) holding one
    // float colour chunk.
    void MaterialColour(uint16_t block, float r, float g, float b);
    // A texture map block (kChunkTextureMap or another map id) holding a map file name.
    void TextureMap(const std::string& file, uint16_t block = kChunkTextureMap);
    void FrameSegment(int32_t first, int32_t last);
    void NodeHeader(const std::string& name, uint16_t parent, uint16_t flags1 = 0, uint16_t flags2 = 0);
    void NodeId(uint16_t id);
    void InstanceName(const std::string& name);
    void Pivot(const Vec3f& pivot);
    // A track chunk (kChunkPositionTrack .. kChunkColourTrack) with these keys.
    void Track(uint16_t id, const std::vector<TrackKey3ds>& keys, uint16_t flags = 0);
    // A track chunk whose key-count field says `declaredCount` whatever `keys` holds.
    void TrackWithCount(uint16_t id, const std::vector<TrackKey3ds>& keys, uint32_t declaredCount, uint16_t flags = 0);

    // Whole-record helpers for common shapes.
    // Named object with a triangle mesh: vertices, faces (with one face-material
    // chunk per entry of `groups`, pairs of material name and face list) and,
    // when not empty, texture coordinates.
    struct Group {
        std::string material;
        std::vector<uint16_t> faces;
    };
    void Mesh(const std::string& name, const std::vector<Vec3f>& vertices, const std::vector<Face3ds>& faces,
              const std::vector<Group>& groups = {}, const std::vector<UV>& uvs = {});
    // Named objects holding a camera, an omni light or a spot light.
    void NamedCamera(const std::string& name, const Vec3f& position, const Vec3f& target, float bank = 0.0f,
                     float lens = 35.0f);
    void NamedLight(const std::string& name, const Vec3f& position, const Vec3f& colour);
    void NamedSpotlight(const std::string& name, const Vec3f& position, const Vec3f& colour, const Vec3f& target,
                        float hotspot, float falloff);
    // A material block with a name, the three colours and an optional map file.
    void Material(const std::string& name, const Vec3f& ambient, const Vec3f& diffuse, const Vec3f& specular,
                  const std::string& mapFile = "");
    // A keyframer node (kChunkObjectNode, kChunkCameraNode, ...) with a header and
    // the given tracks, closed at once.
    struct NodeTrack {
        uint16_t id;
        std::vector<TrackKey3ds> keys;
    };
    void Node(uint16_t kind, const std::string& name, uint16_t parent, const std::vector<NodeTrack>& tracks = {});

    // Bytes written so far (open chunks still have length 0).
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    std::vector<size_t> open_; // offsets of the open chunk headers
};

// Convenience key makers.
TrackKey3ds VectorKey3ds(int32_t frame, float x, float y, float z);
TrackKey3ds RotationKey3ds(int32_t frame, float angle, float x, float y, float z);
TrackKey3ds ScalarKey3ds(int32_t frame, float value);

// The first `length` bytes of `file` (all of it when longer).
std::vector<uint8_t> Truncated(const std::vector<uint8_t>& file, size_t length);

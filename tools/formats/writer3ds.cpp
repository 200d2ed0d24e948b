// 3DS file writer: see writer3ds.h.
#include "tools/formats/writer3ds.h"

#include <cstring> // memcpy

void Writer3DS::Begin(uint16_t id) {
    open_.push_back(bytes_.size());
    U16(id);
    U32(0);
}

void Writer3DS::End() {
    if (open_.empty()) {
        return;
    }
    const size_t start = open_.back();
    open_.pop_back();
    const uint32_t length = static_cast<uint32_t>(bytes_.size() - start);
    for (int i = 0; i < 4; ++i) {
        bytes_[start + 2 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
}

std::vector<uint8_t> Writer3DS::Finish() {
    while (!open_.empty()) {
        End();
    }
    return bytes_;
}

void Writer3DS::U8(uint8_t v) { bytes_.push_back(v); }

void Writer3DS::U16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void Writer3DS::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void Writer3DS::I32(int32_t v) { U32(static_cast<uint32_t>(v)); }

void Writer3DS::Float(float v) {
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    U32(bits);
}

void Writer3DS::Floats(const std::vector<float>& v) {
    for (const float f : v) {
        Float(f);
    }
}

void Writer3DS::Point(const Vec3f& p) {
    Float(p.x);
    Float(p.y);
    Float(p.z);
}

void Writer3DS::String(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    bytes_.push_back(0);
}

void Writer3DS::Raw(const std::vector<uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

void Writer3DS::RawHeader(uint16_t id, uint32_t length) {
    U16(id);
    U32(length);
}

void Writer3DS::Opaque(uint16_t id, const std::vector<uint8_t>& data) {
    Begin(id);
    Raw(data);
    End();
}

void Writer3DS::Version(uint32_t version) {
    Begin(kChunkVersion);
    U32(version);
    End();
}

void Writer3DS::ColourFloat(float r, float g, float b) {
    Begin(kChunkColourFloat);
    Floats({r, g, b});
    End();
}

void Writer3DS::ColourByte(uint8_t r, uint8_t g, uint8_t b) {
    Begin(kChunkColourByte);
    U8(r);
    U8(g);
    U8(b);
    End();
}

void Writer3DS::BeginNamedObject(const std::string& name) {
    Begin(kChunkNamedObject);
    String(name);
}

void Writer3DS::VertexList(const std::vector<Vec3f>& vertices) {
    Begin(kChunkVertexList);
    U16(static_cast<uint16_t>(vertices.size()));
    for (const Vec3f& v : vertices) {
        Point(v);
    }
    End();
}

void Writer3DS::BeginFaceList(const std::vector<Face3ds>& faces) {
    Begin(kChunkFaceList);
    U16(static_cast<uint16_t>(faces.size()));
    for (const Face3ds& f : faces) {
        U16(f.a);
        U16(f.b);
        U16(f.c);
        U16(f.flags);
    }
}

void Writer3DS::FaceList(const std::vector<Face3ds>& faces) {
    BeginFaceList(faces);
    End();
}

void Writer3DS::FaceMaterial(const std::string& material, const std::vector<uint16_t>& faces) {
    Begin(kChunkFaceMaterial);
    String(material);
    U16(static_cast<uint16_t>(faces.size()));
    for (const uint16_t f : faces) {
        U16(f);
    }
    End();
}

void Writer3DS::TexCoords(const std::vector<UV>& uvs) {
    Begin(kChunkTexCoords);
    U16(static_cast<uint16_t>(uvs.size()));
    for (const UV& t : uvs) {
        Float(t.u);
        Float(t.v);
    }
    End();
}

void Writer3DS::LocalAxes(const Vec3f& x, const Vec3f& y, const Vec3f& z, const Vec3f& origin) {
    Begin(kChunkLocalAxes);
    Point(x);
    Point(y);
    Point(z);
    Point(origin);
    End();
}

void Writer3DS::BeginLight(const Vec3f& position) {
    Begin(kChunkLight);
    Point(position);
}

void Writer3DS::Spotlight(const Vec3f& target, float hotspot, float falloff) {
    Begin(kChunkSpotlight);
    Point(target);
    Float(hotspot);
    Float(falloff);
    End();
}

void Writer3DS::Camera(const Vec3f& position, const Vec3f& target, float bank, float lens) {
    Begin(kChunkCamera);
    Point(position);
    Point(target);
    Float(bank);
    Float(lens);
    End();
}

void Writer3DS::MaterialName(const std::string& name) {
    Begin(kChunkMaterialName);
    String(name);
    End();
}

void Writer3DS::MaterialColour(uint16_t block, float r, float g, float b) {
    Begin(block);
    ColourFloat(r, g, b);
    End();
}

void Writer3DS::TextureMap(const std::string& file, uint16_t block) {
    Begin(block);
    Begin(kChunkMapFile);
    String(file);
    End();
    End();
}

void Writer3DS::FrameSegment(int32_t first, int32_t last) {
    Begin(kChunkFrameSegment);
    I32(first);
    I32(last);
    End();
}

void Writer3DS::NodeHeader(const std::string& name, uint16_t parent, uint16_t flags1, uint16_t flags2) {
    Begin(kChunkNodeHeader);
    String(name);
    U16(flags1);
    U16(flags2);
    U16(parent);
    End();
}

void Writer3DS::NodeId(uint16_t id) {
    Begin(kChunkNodeId);
    U16(id);
    End();
}

void Writer3DS::InstanceName(const std::string& name) {
    Begin(kChunkInstanceName);
    String(name);
    End();
}

void Writer3DS::Pivot(const Vec3f& pivot) {
    Begin(kChunkPivot);
    Point(pivot);
    End();
}

void Writer3DS::Track(uint16_t id, const std::vector<TrackKey3ds>& keys, uint16_t flags) {
    TrackWithCount(id, keys, static_cast<uint32_t>(keys.size()), flags);
}

void Writer3DS::TrackWithCount(uint16_t id, const std::vector<TrackKey3ds>& keys, uint32_t declaredCount,
                               uint16_t flags) {
    Begin(id);
    U16(flags);
    U32(0);
    U32(0);
    U32(declaredCount);
    for (const TrackKey3ds& k : keys) {
        I32(k.frame);
        U16(k.splineFlags);
        int used = 0;
        for (int bit = 0; bit < kSplineFlagBits; ++bit) {
            if (k.splineFlags & (1u << bit)) {
                Float(k.spline[used]);
                ++used;
            }
        }
        Floats(k.value);
    }
    End();
}

void Writer3DS::Mesh(const std::string& name, const std::vector<Vec3f>& vertices, const std::vector<Face3ds>& faces,
                     const std::vector<Group>& groups, const std::vector<UV>& uvs) {
    BeginNamedObject(name);
    Begin(kChunkTriMesh);
    VertexList(vertices);
    BeginFaceList(faces);
    for (const Group& g : groups) {
        FaceMaterial(g.material, g.faces);
    }
    End();
    if (!uvs.empty()) {
        TexCoords(uvs);
    }
    End();
    End();
}

void Writer3DS::NamedCamera(const std::string& name, const Vec3f& position, const Vec3f& target, float bank,
                            float lens) {
    BeginNamedObject(name);
    Camera(position, target, bank, lens);
    End();
}

void Writer3DS::NamedLight(const std::string& name, const Vec3f& position, const Vec3f& colour) {
    BeginNamedObject(name);
    BeginLight(position);
    ColourFloat(colour.x, colour.y, colour.z);
    End();
    End();
}

void Writer3DS::NamedSpotlight(const std::string& name, const Vec3f& position, const Vec3f& colour,
                               const Vec3f& target, float hotspot, float falloff) {
    BeginNamedObject(name);
    BeginLight(position);
    ColourFloat(colour.x, colour.y, colour.z);
    Spotlight(target, hotspot, falloff);
    End();
    End();
}

void Writer3DS::Material(const std::string& name, const Vec3f& ambient, const Vec3f& diffuse,
                         const Vec3f& specular, const std::string& mapFile) {
    Begin(kChunkMaterial);
    MaterialName(name);
    MaterialColour(kChunkAmbient, ambient.x, ambient.y, ambient.z);
    MaterialColour(kChunkDiffuse, diffuse.x, diffuse.y, diffuse.z);
    MaterialColour(kChunkSpecular, specular.x, specular.y, specular.z);
    if (!mapFile.empty()) {
        TextureMap(mapFile);
    }
    End();
}

void Writer3DS::Node(uint16_t kind, const std::string& name, uint16_t parent, const std::vector<NodeTrack>& tracks) {
    Begin(kind);
    NodeHeader(name, parent);
    for (const NodeTrack& t : tracks) {
        Track(t.id, t.keys);
    }
    End();
}

TrackKey3ds VectorKey3ds(int32_t frame, float x, float y, float z) { return TrackKey3ds{frame, 0, {}, {x, y, z}}; }

TrackKey3ds RotationKey3ds(int32_t frame, float angle, float x, float y, float z) {
    return TrackKey3ds{frame, 0, {}, {angle, x, y, z}};
}

TrackKey3ds ScalarKey3ds(int32_t frame, float value) { return TrackKey3ds{frame, 0, {}, {value}}; }

std::vector<uint8_t> Truncated(const std::vector<uint8_t>& file, size_t length) {
    if (length >= file.size()) {
        return file;
    }
    return std::vector<uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
}

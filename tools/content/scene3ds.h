// A whole 3DS scene as plain records, and its encoder. The content builder
// describes each scene here (in the file's own right-handed, z-up axes) and
// Encode3ds turns the description into the chunks our reader understands:
// version, editor section with materials, meshes, lights and cameras, then the
// keyframer with its frame segment and one node per mesh, dummy, camera,
// camera target, light and light target. Tests keep the description to check
// what the reader made of the bytes.
#pragma once

#include "tools/formats/writer3ds.h" // Vec3f, UV, Face3ds, TrackKey3ds, Writer3DS

#include <cstdint>
#include <string>
#include <vector>

struct Material3ds {
    std::string name;
    Vec3f ambient;
    Vec3f diffuse;
    Vec3f specular;
    std::string mapFile; // empty: no texture map block
};

// Keys of one track; an empty list writes no track chunk.
using Keys3ds = std::vector<TrackKey3ds>;

struct MeshGroup3ds {
    std::string material;
    std::vector<uint16_t> faces;
};

// A mesh object. Vertices are world positions; `origin` is the object's pivot,
// written as the local axes (identity rotation), so the reader stores the
// vertices relative to it and the object's position track places it.
struct Mesh3ds {
    std::string name;
    std::vector<Vec3f> vertices;
    std::vector<Face3ds> faces;
    std::vector<MeshGroup3ds> groups;
    std::vector<UV> uvs;
    Vec3f origin{0.0f, 0.0f, 0.0f};
    int32_t parent = -1; // node number of the parent node, -1 for a root
    Keys3ds position;    // values are world positions of the pivot
    Keys3ds rotation;    // angle (radians) and axis, relative to the previous key
    Keys3ds scale;
};

// A dummy node: no geometry, only a place in the hierarchy and tracks.
struct Dummy3ds {
    std::string instanceName; // written as the instance-name chunk
    int32_t parent = -1;
    Keys3ds position;
    Keys3ds rotation;
};

struct Light3ds {
    std::string name;
    Vec3f position;
    Vec3f colour;
    bool spot = false;
    Vec3f target{0.0f, 0.0f, 0.0f};
    float hotspot = 30.0f; // degrees
    float falloff = 45.0f;
    Keys3ds positionKeys;
    Keys3ds colourKeys;
    Keys3ds targetKeys; // spotlights only
};

struct Camera3ds {
    std::string name;
    Vec3f position;
    Vec3f target;
    float bank = 0.0f; // degrees
    float lens = 35.0f;
    Keys3ds positionKeys;
    Keys3ds targetKeys;
    Keys3ds rollKeys;
    Keys3ds fovKeys;
};

struct Scene3ds {
    std::vector<Material3ds> materials;
    std::vector<Mesh3ds> meshes;
    std::vector<Dummy3ds> dummies; // nodes after the meshes' nodes
    std::vector<Light3ds> lights;
    std::vector<Camera3ds> cameras;
    int32_t firstFrame = 0;
    int32_t lastFrame = 100;
};

// Name of the dummy object nodes, as the keyframer writes it.
constexpr const char* kDummyNodeName = "$$$DUMMY";

// The file's bytes. Object nodes are numbered meshes first (in list order),
// then dummies; `parent` fields use those numbers.
std::vector<uint8_t> Encode3ds(const Scene3ds& scene);

// Node number of mesh `name` (its index), -1 when absent.
int32_t MeshNodeNumber(const Scene3ds& scene, const std::string& name);

// Key makers with spline parameters: tension, continuity, bias (flags 0x7).
TrackKey3ds TcbVectorKey(int32_t frame, const Vec3f& v, float tension, float continuity, float bias);
TrackKey3ds TcbScalarKey(int32_t frame, float value, float tension, float continuity, float bias);
// A key that eases into and out of itself (flags 0x18).
TrackKey3ds EasedVectorKey(int32_t frame, const Vec3f& v, float easeTo, float easeFrom);

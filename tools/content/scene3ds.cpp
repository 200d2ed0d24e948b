// Encoder of Scene3ds descriptions: see scene3ds.h.
#include "tools/content/scene3ds.h"

namespace {

constexpr uint32_t kFileVersion = 3;
constexpr uint16_t kNoParent = 0xFFFF;

uint16_t ParentField(int32_t parent) {
    return parent < 0 ? kNoParent : static_cast<uint16_t>(parent);
}

void WriteMesh(Writer3DS* w, const Mesh3ds& m) {
    w->BeginNamedObject(m.name);
    w->Begin(kChunkTriMesh);
    w->VertexList(m.vertices);
    w->BeginFaceList(m.faces);
    for (const MeshGroup3ds& g : m.groups) {
        w->FaceMaterial(g.material, g.faces);
    }
    w->End();
    if (!m.uvs.empty()) {
        w->TexCoords(m.uvs);
    }
    // Identity axes: the reader only moves the vertices to the pivot.
    w->LocalAxes({1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, m.origin);
    w->End();
    w->End();
}

void WriteLight(Writer3DS* w, const Light3ds& l) {
    w->BeginNamedObject(l.name);
    w->BeginLight(l.position);
    w->ColourFloat(l.colour.x, l.colour.y, l.colour.z);
    if (l.spot) {
        w->Spotlight(l.target, l.hotspot, l.falloff);
    }
    w->End();
    w->End();
}

void WriteCamera(Writer3DS* w, const Camera3ds& c) {
    w->BeginNamedObject(c.name);
    w->Camera(c.position, c.target, c.bank, c.lens);
    w->End();
}

void TrackIfAny(Writer3DS* w, uint16_t id, const Keys3ds& keys) {
    if (!keys.empty()) {
        w->Track(id, keys);
    }
}

void WriteKeyframer(Writer3DS* w, const Scene3ds& s) {
    w->Begin(kChunkKeyframer);
    w->FrameSegment(s.firstFrame, s.lastFrame);
    uint16_t nodeId = 0;
    for (const Mesh3ds& m : s.meshes) {
        w->Begin(kChunkObjectNode);
        w->NodeId(nodeId++);
        w->NodeHeader(m.name, ParentField(m.parent));
        w->Pivot({0.0f, 0.0f, 0.0f});
        TrackIfAny(w, kChunkPositionTrack, m.position);
        TrackIfAny(w, kChunkRotationTrack, m.rotation);
        TrackIfAny(w, kChunkScaleTrack, m.scale);
        w->End();
    }
    for (const Dummy3ds& d : s.dummies) {
        w->Begin(kChunkObjectNode);
        w->NodeId(nodeId++);
        w->NodeHeader(kDummyNodeName, ParentField(d.parent));
        w->Begin(kChunkInstanceName);
        w->String(d.instanceName);
        w->End();
        TrackIfAny(w, kChunkPositionTrack, d.position);
        TrackIfAny(w, kChunkRotationTrack, d.rotation);
        w->End();
    }
    for (const Camera3ds& c : s.cameras) {
        w->Begin(kChunkCameraNode);
        w->NodeId(nodeId++);
        w->NodeHeader(c.name, kNoParent);
        TrackIfAny(w, kChunkPositionTrack, c.positionKeys);
        TrackIfAny(w, kChunkFovTrack, c.fovKeys);
        TrackIfAny(w, kChunkRollTrack, c.rollKeys);
        w->End();
        w->Begin(kChunkCameraTargetNode);
        w->NodeId(nodeId++);
        w->NodeHeader(c.name, kNoParent);
        TrackIfAny(w, kChunkPositionTrack, c.targetKeys);
        w->End();
    }
    for (const Light3ds& l : s.lights) {
        w->Begin(l.spot ? kChunkSpotNode : kChunkLightNode);
        w->NodeId(nodeId++);
        w->NodeHeader(l.name, kNoParent);
        TrackIfAny(w, kChunkPositionTrack, l.positionKeys);
        TrackIfAny(w, kChunkColourTrack, l.colourKeys);
        w->End();
        if (l.spot) {
            w->Begin(kChunkLightTargetNode);
            w->NodeId(nodeId++);
            w->NodeHeader(l.name, kNoParent);
            TrackIfAny(w, kChunkPositionTrack, l.targetKeys);
            w->End();
        }
    }
    w->End();
}

} // namespace

std::vector<uint8_t> Encode3ds(const Scene3ds& scene) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Version(kFileVersion);
    w.Begin(kChunkEditor);
    for (const Material3ds& m : scene.materials) {
        w.Material(m.name, m.ambient, m.diffuse, m.specular, m.mapFile);
    }
    for (const Mesh3ds& m : scene.meshes) {
        WriteMesh(&w, m);
    }
    for (const Light3ds& l : scene.lights) {
        WriteLight(&w, l);
    }
    for (const Camera3ds& c : scene.cameras) {
        WriteCamera(&w, c);
    }
    w.End();
    WriteKeyframer(&w, scene);
    return w.Finish();
}

int32_t MeshNodeNumber(const Scene3ds& scene, const std::string& name) {
    for (size_t i = 0; i < scene.meshes.size(); ++i) {
        if (scene.meshes[i].name == name) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

TrackKey3ds TcbVectorKey(int32_t frame, const Vec3f& v, float tension, float continuity, float bias) {
    return TrackKey3ds{frame, 0x7, {tension, continuity, bias, 0.0f, 0.0f}, {v.x, v.y, v.z}};
}

TrackKey3ds TcbScalarKey(int32_t frame, float value, float tension, float continuity, float bias) {
    return TrackKey3ds{frame, 0x7, {tension, continuity, bias, 0.0f, 0.0f}, {value}};
}

TrackKey3ds EasedVectorKey(int32_t frame, const Vec3f& v, float easeTo, float easeFrom) {
    return TrackKey3ds{frame, 0x18, {easeTo, easeFrom, 0.0f, 0.0f, 0.0f}, {v.x, v.y, v.z}};
}

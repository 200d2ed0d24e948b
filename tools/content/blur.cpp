// blur0.3ds and blur1.3ds: transition scenes drawn translucent over the
// others, a turning tunnel of glowing streaks seen from inside. File axes:
// the tunnel runs along +y around the y axis.
#include "tools/content/content.h"
#include "tools/content/mesh_kit.h"

#include <cmath>

namespace {

constexpr float kTwoPi = 6.2831853f;

// Streaks on the inside of a cylinder of `radius`, facing its axis.
Mesh3ds Streaks(const std::string& name, float radius, int32_t count, float length,
                const std::string& material, uint32_t seed) {
    MeshKit kit;
    for (int32_t k = 0; k < count; ++k) {
        const float a =
            kTwoPi * (static_cast<float>(k) + HashNoise(k, 0, seed) * 0.5f) / static_cast<float>(count);
        const float y0 = -40.0f + HashNoise(k, 1, seed) * length * 0.3f;
        const float y1 = y0 + length * (0.5f + 0.5f * HashNoise(k, 2, seed));
        const float w = 4.0f + 8.0f * HashNoise(k, 3, seed);
        const float r = radius * (0.85f + 0.3f * HashNoise(k, 4, seed));
        const Vec3f tangent{-std::sin(a), 0.0f, std::cos(a)};
        const Vec3f corner{r * std::cos(a) - tangent.x * w * 0.5f, y0,
                           r * std::sin(a) - tangent.z * w * 0.5f};
        const int32_t pieces = std::max(1, static_cast<int32_t>((y1 - y0) / 60.0f));
        // Width first, then length: the face points at the axis.
        kit.Panel(corner, Scale(tangent, w), {0.0f, y1 - y0, 0.0f}, 1, pieces, material, y1 - y0);
    }
    return kit.Make(name, {0.0f, 0.0f, 0.0f});
}

// A tube of light around the camera's start, facing its axis, `length` long
// from y = -60. blur0 starts almost transparent over black where the logo
// ends (its opacity rises by 0.02 a frame), so only a picture that is bright
// all over reads in its first frames; the tube then slides back past the
// camera and the streaks take over as the corridor comes up beneath.
Mesh3ds LightTube(const std::string& name, float radius, float length, const std::string& material) {
    constexpr int32_t kSides = 16;
    MeshKit kit;
    for (int32_t k = 0; k < kSides; ++k) {
        const float a0 = kTwoPi * static_cast<float>(k) / static_cast<float>(kSides);
        const float a1 = kTwoPi * static_cast<float>(k + 1) / static_cast<float>(kSides);
        const Vec3f p0{radius * std::cos(a0), -60.0f, radius * std::sin(a0)};
        const Vec3f p1{radius * std::cos(a1), -60.0f, radius * std::sin(a1)};
        // Around first, then along: the face points at the axis, as the streaks do.
        kit.Panel(p0, Sub(p1, p0), {0.0f, length, 0.0f}, 1, 8, material, length * 0.5f);
        // The far end is closed, facing the camera: no dark hole in the middle.
        const Vec3f end{0.0f, length, 0.0f};
        kit.Triangle(Add(end, {0.0f, -60.0f, 0.0f}), Add(p0, end), Add(p1, end), {0.5f, 0.5f},
                     {0.5f + 0.5f * std::cos(a0), 0.5f + 0.5f * std::sin(a0)},
                     {0.5f + 0.5f * std::cos(a1), 0.5f + 0.5f * std::sin(a1)}, material);
    }
    return kit.Make(name, {0.0f, 0.0f, 0.0f});
}

// `turns` quarter turns of `direction` about the tunnel's axis over the scene.
Keys3ds Turning(int32_t last, float direction, int32_t steps) {
    Keys3ds keys = {RotationKey3ds(0, 0.0f, 0.0f, 1.0f, 0.0f)};
    for (int32_t i = 1; i <= steps; ++i) {
        TrackKey3ds k = RotationKey3ds(last * i / steps, direction * 1.5f, 0.0f, 1.0f, 0.0f);
        if (i == 1) {
            k.splineFlags = 0x8;
            k.spline[0] = 0.3f;
        }
        keys.push_back(k);
    }
    return keys;
}

// blur0's streaks wait beyond the closed end of the tube of light, which
// hides them, leave at kStreaksLeave and are in their places at
// kStreaksArrive. Their dark panels over the tube in blur0's first frames,
// while it is still almost transparent over black, left too little light to
// read (see LightTube).
constexpr int32_t kStreaksLeave = 6;
constexpr int32_t kStreaksArrive = 18;
// Far enough along the axis that the nearest streak (40 behind the origin)
// lies past the tube's end until they leave.
constexpr float kStreaksWaitBeyond = 200.0f;

// Keys that hold `place` beyond the tube's end, bring it in, and then go on
// to `end` at frame `last`. Full tension on every key: no key overshoots,
// which would bring a streak toward the camera past its place.
Keys3ds OutOfTheLight(const Vec3f& place, const Vec3f& end, int32_t last) {
    const Vec3f waiting = Add(place, {0.0f, kStreaksWaitBeyond, 0.0f});
    const float along = static_cast<float>(kStreaksArrive) / static_cast<float>(last);
    const Vec3f arrived = Add(place, Scale(Sub(end, place), along));
    return {
        TcbVectorKey(0, waiting, 1.0f, 0.0f, 0.0f), TcbVectorKey(kStreaksLeave, waiting, 1.0f, 0.0f, 0.0f),
        TcbVectorKey(kStreaksArrive, arrived, 1.0f, 0.0f, 0.0f), TcbVectorKey(last, end, 1.0f, 0.0f, 0.0f)};
}

} // namespace

Scene3ds MakeBlurScene(int32_t which) {
    Scene3ds s;
    const bool second = which != 0;
    const int32_t last = second ? 169 : 129;
    const Vec3f white{0.9f, 0.9f, 0.9f};
    s.materials = {
        {"Scia", {0.1f, 0.1f, 0.3f}, {0.3f, 0.6f, 1.0f}, white, second ? "glowred.tga" : "glow.tga"},
        {"Scia2", {0.1f, 0.1f, 0.1f}, {0.8f, 0.4f, 1.0f}, white, "streak.tga"},
        {"Scintille", {0.2f, 0.2f, 0.2f}, {1.0f, 1.0f, 1.0f}, white, "spark.tga"},
    };
    if (!second) {
        s.materials.push_back({"Luce", {0.9f, 0.9f, 1.0f}, {1.0f, 1.0f, 1.0f}, white, "lighttube.jpg"});
    }
    s.firstFrame = 0;
    s.lastFrame = last;
    Mesh3ds outer = Streaks("Tunnel", 60.0f, 28, 700.0f, "Scia", second ? 91u : 92u);
    outer.position = {VectorKey3ds(0, 0.0f, 0.0f, 0.0f)};
    if (!second) {
        outer.position = OutOfTheLight({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, last);
    }
    outer.rotation = Turning(last, 1.0f, 6);
    s.meshes.push_back(outer);
    Mesh3ds inner = Streaks("Tunnel2", 38.0f, 18, 500.0f, "Scia2", second ? 93u : 94u);
    // A few sparks share the inner cylinder: a second material on one object.
    Mesh3ds sparks = Streaks("Sparks", 30.0f, 10, 120.0f, "Scintille", 95u);
    const uint16_t base = static_cast<uint16_t>(inner.vertices.size());
    const uint16_t faceBase = static_cast<uint16_t>(inner.faces.size());
    inner.vertices.insert(inner.vertices.end(), sparks.vertices.begin(), sparks.vertices.end());
    inner.uvs.insert(inner.uvs.end(), sparks.uvs.begin(), sparks.uvs.end());
    MeshGroup3ds group{"Scintille", {}};
    for (const Face3ds& f : sparks.faces) {
        group.faces.push_back(static_cast<uint16_t>(faceBase + group.faces.size()));
        inner.faces.push_back(Face3ds{static_cast<uint16_t>(f.a + base), static_cast<uint16_t>(f.b + base),
                                      static_cast<uint16_t>(f.c + base), f.flags});
    }
    inner.groups.push_back(group);
    inner.position = {TcbVectorKey(0, {0.0f, 0.0f, 0.0f}, 0.0f, 0.0f, 0.0f),
                      TcbVectorKey(last, {0.0f, second ? -120.0f : 120.0f, 0.0f}, 0.0f, 0.0f, 0.0f)};
    if (!second) {
        inner.position = OutOfTheLight({0.0f, 0.0f, 0.0f}, {0.0f, 120.0f, 0.0f}, last);
    }
    inner.rotation = Turning(last, -1.0f, 8);
    s.meshes.push_back(inner);
    if (!second) {
        Mesh3ds tube = LightTube("Tubo", 75.0f, 200.0f, "Luce");
        // Backward slowly while the scene comes up, then quickly past the eye.
        tube.position = {VectorKey3ds(0, 0.0f, 0.0f, 0.0f), VectorKey3ds(40, 0.0f, -40.0f, 0.0f),
                         VectorKey3ds(60, 0.0f, -240.0f, 0.0f), VectorKey3ds(last, 0.0f, -900.0f, 0.0f)};
        tube.rotation = {RotationKey3ds(0, 0.0f, 0.0f, 1.0f, 0.0f)};
        s.meshes.push_back(tube);
    }
    Dummy3ds axis;
    axis.instanceName = "Asse";
    axis.parent = 0;
    axis.position = {VectorKey3ds(0, 0.0f, 300.0f, 0.0f)};
    s.dummies.push_back(axis);
    // Lights on the axis, their colours drifting. A face is lit by the lights
    // on the side it faces and by no other. In blur0 the first light stands
    // just in front of the camera's start: the tube's closed end, facing the
    // camera, then has it on its own side for as long as it can be seen. At
    // 40, further in, the end slid past that light while the camera was still
    // inside the tube, and for one frame the whole picture was that end, unlit.
    const float ys[3] = {second ? 40.0f : -20.0f, 250.0f, 480.0f};
    for (int i = 0; i < 3; ++i) {
        Light3ds l;
        l.name = "Luce" + std::to_string(i + 1);
        l.position = {0.0f, ys[i], 0.0f};
        l.colour = second ? Vec3f{0.8f, 0.3f, 0.2f} : Vec3f{0.3f, 0.5f, 0.9f};
        l.colourKeys = {VectorKey3ds(0, l.colour.x, l.colour.y, l.colour.z),
                        VectorKey3ds(last / 2, 0.9f, 0.9f, 0.9f),
                        VectorKey3ds(last, l.colour.z, l.colour.y, l.colour.x)};
        if (!second) {
            // White while the tube of light is round the camera, then the blue.
            l.colour = {1.0f, 1.0f, 1.0f};
            l.colourKeys.front() = VectorKey3ds(0, 1.0f, 1.0f, 1.0f);
            l.colourKeys.insert(l.colourKeys.begin() + 1, VectorKey3ds(40, 0.9f, 0.95f, 1.0f));
        }
        s.lights.push_back(l);
    }
    Camera3ds c;
    c.name = "Camera01";
    c.position = {0.0f, -30.0f, 0.0f};
    c.target = {0.0f, 300.0f, 0.0f};
    c.positionKeys = {VectorKey3ds(0, 0.0f, -30.0f, 0.0f),
                      TcbVectorKey(last, {0.0f, 120.0f, 0.0f}, 0.0f, 0.0f, 0.0f)};
    c.targetKeys = {VectorKey3ds(0, 0.0f, 300.0f, 0.0f), VectorKey3ds(last, 5.0f, 500.0f, 5.0f)};
    c.rollKeys = {ScalarKey3ds(0, 0.0f), ScalarKey3ds(last / 2, second ? -90.0f : 90.0f),
                  ScalarKey3ds(last, second ? -180.0f : 180.0f)};
    c.fovKeys = {ScalarKey3ds(0, 80.0f), ScalarKey3ds(last / 2, 60.0f), ScalarKey3ds(last, 75.0f)};
    s.cameras.push_back(c);
    return s;
}

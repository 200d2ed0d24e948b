// The demo's character: a low-poly figure rigged to a small skeleton of ours,
// posed frame by frame for each motion and baked into MD2 frames. Axes are
// the MD2 file's: x forward, y to the figure's left, z up, origin at the
// model's centre with the soles 24 units below it. Triangles are written
// clockwise seen from outside, the format's own winding.
#include "tools/content/content.h"

#include "md2/md2_normals.h" // kMd2Normals

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kSoleZ = -24.0f;
constexpr int32_t kSides = 8;
constexpr int32_t kSkinSize = 256;

struct V3 {
    float x, y, z;
};
V3 operator+(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V3 operator-(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 operator*(V3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float DotV(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
V3 UnitV(V3 a) {
    const float l = std::sqrt(DotV(a, a));
    return l > 0.0f ? a * (1.0f / l) : a;
}

// Row-major 3 x 3 rotation.
struct M3 {
    float m[9];
};
M3 Identity() {
    return {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
}
M3 Mul(const M3& a, const M3& b) {
    M3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r.m[i * 3 + j] = a.m[i * 3] * b.m[j] + a.m[i * 3 + 1] * b.m[3 + j] + a.m[i * 3 + 2] * b.m[6 + j];
        }
    }
    return r;
}
V3 Apply(const M3& a, V3 v) {
    return {a.m[0] * v.x + a.m[1] * v.y + a.m[2] * v.z, a.m[3] * v.x + a.m[4] * v.y + a.m[5] * v.z,
            a.m[6] * v.x + a.m[7] * v.y + a.m[8] * v.z};
}
M3 RotX(float a) {
    const float c = std::cos(a), s = std::sin(a);
    return {{1, 0, 0, 0, c, -s, 0, s, c}};
}
M3 RotY(float a) {
    const float c = std::cos(a), s = std::sin(a);
    return {{c, 0, s, 0, 1, 0, -s, 0, c}};
}
M3 RotZ(float a) {
    const float c = std::cos(a), s = std::sin(a);
    return {{c, -s, 0, s, c, 0, 0, 0, 1}};
}

// Joint angles of one bone: `bend` about y (for a hanging limb positive bends
// its end backwards; torso and head lean forward), `side` about x (a hanging
// limb's end moves toward +y), `twist` about z.
struct Angles {
    float bend = 0.0f;
    float side = 0.0f;
    float twist = 0.0f;
};
M3 FromAngles(const Angles& a) {
    return Mul(RotZ(a.twist), Mul(RotX(a.side), RotY(a.bend)));
}

enum Bone : int32_t {
    kPelvis,
    kTorso,
    kHead,
    kUpperArmL,
    kUpperArmR,
    kForearmL,
    kForearmR,
    kThighL,
    kThighR,
    kShinL,
    kShinR,
    kFootL,
    kFootR,
    kBoneCount
};

// One ring of a bone's shape: distance along the shape's axis and radii.
struct Ring {
    float t, r1, r2;
};

struct BoneDef {
    int32_t parent;
    V3 offset;       // joint position in the parent's frame
    V3 axis, e1, e2; // shape axis and cross-section directions, e1 x e2 = axis
    V3 start;        // where the shape's axis starts, in the bone's frame
    std::vector<Ring> rings;
    int32_t skinX, skinY, skinW, skinH; // skin rectangle in pixels
};

const std::vector<BoneDef>& Bones() {
    static const std::vector<BoneDef> bones = [] {
        const V3 up{0, 0, 1}, down{0, 0, -1}, fwd{1, 0, 0}, left{0, 1, 0}, right{0, -1, 0};
        std::vector<BoneDef> b(kBoneCount);
        b[kPelvis] = {-1, {0, 0, 2.5f}, up,  fwd, left, {0, 0, -2.5f}, {{0, 4.2f, 5.6f}, {6.5f, 4.6f, 6.2f}},
                      0,  96,           128, 32};
        b[kTorso] = {
            kPelvis,
            {0, 0, 4.0f},
            up,
            fwd,
            left,
            {0, 0, 0},
            {{0, 4.4f, 6.0f}, {6, 5.0f, 7.4f}, {12, 5.6f, 8.6f}, {15, 4.0f, 6.0f}, {16.5f, 2.0f, 2.2f}},
            0,
            0,
            128,
            96};
        b[kHead] = {kTorso,
                    {0, 0, 16.5f},
                    up,
                    fwd,
                    left,
                    {0, 0, 0},
                    {{0, 1.8f, 1.8f},
                     {2.0f, 3.6f, 3.4f},
                     {5.5f, 4.3f, 3.9f},
                     {8.5f, 3.7f, 3.5f},
                     {10.0f, 1.6f, 1.5f}},
                    128,
                    0,
                    128,
                    64};
        for (int s = 0; s < 2; ++s) {
            const float y = s == 0 ? 9.5f : -9.5f;
            b[kUpperArmL + s] = {kTorso,
                                 {0, y, 14.0f},
                                 down,
                                 fwd,
                                 right,
                                 {0, 0, 0},
                                 {{-1.0f, 2.0f, 2.0f}, {1.0f, 2.4f, 2.3f}, {11.0f, 1.9f, 1.9f}},
                                 128,
                                 64,
                                 64,
                                 64};
            b[kForearmL + s] = {
                kUpperArmL + s,
                {0, 0, -11.0f},
                down,
                fwd,
                right,
                {0, 0, 0},
                {{0, 1.9f, 1.9f}, {9.5f, 1.4f, 1.5f}, {10.5f, 1.7f, 1.3f}, {13.0f, 1.2f, 0.8f}},
                192,
                64,
                64,
                64};
            b[kThighL + s] = {kPelvis,   {0, s == 0 ? 3.8f : -3.8f, -1.0f},          down, fwd, right,
                              {0, 0, 0}, {{-0.5f, 3.2f, 3.0f}, {13.0f, 2.3f, 2.3f}}, 0,    128, 64,
                              64};
            b[kShinL + s] = {kThighL + s,
                             {0, 0, -13.0f},
                             down,
                             fwd,
                             right,
                             {0, 0, 0},
                             {{0, 2.3f, 2.2f}, {5, 2.4f, 2.2f}, {11.5f, 1.7f, 1.7f}},
                             64,
                             128,
                             64,
                             64};
            b[kFootL + s] = {kShinL + s,
                             {0, 0, -11.5f},
                             fwd,
                             left,
                             up,
                             {-2.0f, 0, -0.2f},
                             {{0, 1.7f, 1.5f}, {3.0f, 2.0f, 1.2f}, {7.0f, 1.8f, 0.8f}},
                             128,
                             128,
                             64,
                             32};
        }
        return b;
    }();
    return bones;
}

// The pose of one frame: angles per bone, plus the body's own turn and lift.
struct Pose {
    std::array<Angles, kBoneCount> joint{};
    M3 body = Identity(); // turn of the whole figure about its pivot
    V3 pivot{0, 0, 0};
    V3 shift{0, 0, 0};    // after grounding
    bool grounded = true; // move the lowest point onto the floor
};

float Ramp(float f, float a, float b) {
    if (f <= a) {
        return 0.0f;
    }
    if (f >= b) {
        return 1.0f;
    }
    const float t = (f - a) / (b - a);
    return t * t * (3.0f - 2.0f * t);
}

// Up, hold, down envelope over a motion of n frames.
float Envelope(float f, float n) {
    return Ramp(f, 0.0f, n * 0.3f) * (1.0f - Ramp(f, n * 0.72f, n - 1.0f));
}

void Relaxed(Pose* p) {
    p->joint[kUpperArmL].side = 0.12f;
    p->joint[kUpperArmR].side = -0.12f;
    p->joint[kForearmL].bend = -0.25f;
    p->joint[kForearmR].bend = -0.25f;
}

// Legs bent for a crouch; `depth` 0..1.
void Crouch(Pose* p, float depth) {
    for (int s = 0; s < 2; ++s) {
        p->joint[kThighL + s].bend = -1.2f * depth;
        p->joint[kShinL + s].bend = 2.0f * depth;
        p->joint[kFootL + s].bend = -0.8f * depth;
    }
    p->joint[kTorso].bend = 0.35f * depth;
}

void RunLegs(Pose* p, float phase, float stride, float knee) {
    const float s = std::sin(phase);
    p->joint[kThighL].bend = -stride * s;
    p->joint[kThighR].bend = stride * s;
    p->joint[kShinL].bend = knee * (0.5f + 0.5f * std::max(0.0f, std::cos(phase)));
    p->joint[kShinR].bend = knee * (0.5f + 0.5f * std::max(0.0f, -std::cos(phase)));
    p->joint[kUpperArmL].bend = 0.7f * stride * s;
    p->joint[kUpperArmR].bend = -0.7f * stride * s;
    p->joint[kForearmL].bend = -1.3f;
    p->joint[kForearmR].bend = -1.3f;
}

void Flinch(Pose* p, int32_t kind, float e) {
    Relaxed(p);
    if (kind == 0) { // thrown back, arms up in front
        p->joint[kTorso].bend = -0.45f * e;
        p->joint[kHead].bend = -0.5f * e;
        p->joint[kUpperArmL].bend = -1.0f * e;
        p->joint[kUpperArmR].bend = -1.0f * e;
        p->joint[kForearmL].bend = -1.6f * e;
        p->joint[kForearmR].bend = -1.6f * e;
        p->shift.x = -2.0f * e;
    } else if (kind == 1) { // hit on the side, one arm covering the head
        p->joint[kTorso].side = 0.4f * e;
        p->joint[kTorso].twist = 0.3f * e;
        p->joint[kHead].side = 0.5f * e;
        p->joint[kUpperArmR].bend = -1.9f * e;
        p->joint[kUpperArmR].side = -0.4f * e;
        p->joint[kForearmR].bend = -2.2f * e;
        p->joint[kUpperArmL].side = 0.6f * e;
        p->joint[kThighR].side = -0.2f * e;
    } else { // doubled over
        p->joint[kTorso].bend = 0.7f * e;
        p->joint[kHead].bend = 0.4f * e;
        p->joint[kUpperArmL].bend = -0.9f * e;
        p->joint[kUpperArmR].bend = -0.9f * e;
        p->joint[kForearmL].bend = -1.5f * e;
        p->joint[kForearmR].bend = -1.5f * e;
        Crouch(p, 0.3f * e);
        p->joint[kTorso].bend = 0.75f * e;
    }
}

void Fall(Pose* p, float t, float direction, float spin) {
    Relaxed(p);
    const float a = Ramp(t, 0.0f, 1.0f);
    p->body = Mul(RotZ(spin * a), RotY(direction * 1.5f * a));
    p->pivot = {0, 0, kSoleZ};
    p->joint[kHead].bend = -0.3f * direction * a;
    p->joint[kUpperArmL].side = 0.12f + 1.2f * a;
    p->joint[kUpperArmR].side = -0.12f - 1.2f * a;
    p->joint[kThighL].bend = -0.4f * a;
    p->joint[kShinL].bend = 0.8f * a;
    p->shift.x = 6.0f * direction * a;
}

// Pose of frame f (0-based) of motion m.
Pose MakePose(int32_t m, int32_t f, int32_t n) {
    Pose p;
    const float ff = static_cast<float>(f);
    const float cyc = 2.0f * kPi * ff / static_cast<float>(n);
    const float e = Envelope(ff, static_cast<float>(n));
    switch (m) {
    case 0: // stand: breathing, a slow look around
        Relaxed(&p);
        p.joint[kTorso].bend = 0.03f * std::sin(cyc);
        p.joint[kHead].twist = 0.2f * std::sin(cyc);
        p.joint[kUpperArmL].side += 0.05f * std::sin(cyc);
        p.joint[kUpperArmR].side -= 0.05f * std::sin(cyc);
        break;
    case 1: // run
        RunLegs(&p, cyc, 0.9f, 1.4f);
        p.joint[kTorso].bend = 0.3f;
        p.joint[kHead].bend = -0.2f;
        p.shift.z = 1.5f * std::fabs(std::sin(cyc));
        break;
    case 2: // attack: a straight punch
        Relaxed(&p);
        p.joint[kTorso].twist = -0.4f * e;
        p.joint[kUpperArmR].bend = -1.5f * e;
        p.joint[kForearmR].bend = -1.6f * (1.0f - e);
        p.joint[kUpperArmL].bend = -0.8f;
        p.joint[kForearmL].bend = -1.8f;
        p.joint[kThighL].bend = -0.3f * e;
        break;
    case 3:
    case 4:
    case 5: // pain1..3: flinches peaking in the second frame
        Flinch(&p, m - 3, std::sin(kPi * (ff + 1.0f) / (static_cast<float>(n) + 1.0f)));
        break;
    case 6: { // jump: crouch, take off, tuck, land
        const float lift[6] = {0.0f, 9.0f, 20.0f, 24.0f, 12.0f, 0.0f};
        const float crouch[6] = {0.6f, 0.1f, 0.35f, 0.4f, 0.2f, 0.55f};
        Crouch(&p, crouch[f % 6]);
        p.shift.z = lift[f % 6];
        const float arms = (f == 0 || f == 5) ? 0.3f : 2.6f;
        p.joint[kUpperArmL].side = arms;
        p.joint[kUpperArmR].side = -arms;
        p.joint[kUpperArmL].bend = -0.4f;
        p.joint[kUpperArmR].bend = -0.4f;
        break;
    }
    case 7: { // flip: a backward somersault
        Crouch(&p, 0.8f * std::sin(kPi * ff / static_cast<float>(n - 1)));
        p.body = RotY(-2.0f * kPi * ff / static_cast<float>(n));
        p.pivot = {0, 0, 0};
        p.shift.z = 18.0f * std::sin(kPi * ff / static_cast<float>(n));
        p.joint[kUpperArmL].bend = -1.0f;
        p.joint[kUpperArmR].bend = -1.0f;
        break;
    }
    case 8: // salute: the arm out, the forearm folded up to the brow, held, then down
        Relaxed(&p);
        p.joint[kUpperArmL].bend = -0.5f * e;
        p.joint[kUpperArmL].side = 0.12f + 1.33f * e;
        p.joint[kForearmL].side = 2.85f * e;
        p.joint[kForearmL].bend = -0.25f * (1.0f - e);
        p.joint[kHead].bend = -0.05f * e;
        p.joint[kTorso].bend = -0.05f * e;
        break;
    case 9: // taunt: hips sway, hands on the hips, head wags
        p.joint[kPelvis].twist = 0.25f * std::sin(cyc);
        p.joint[kTorso].side = 0.15f * std::sin(2.0f * cyc);
        p.joint[kHead].side = 0.3f * std::sin(2.0f * cyc);
        p.joint[kUpperArmL].side = 0.8f;
        p.joint[kUpperArmR].side = -0.8f;
        p.joint[kForearmL].side = -1.6f;
        p.joint[kForearmR].side = 1.6f;
        break;
    case 10: // wave
        Relaxed(&p);
        p.joint[kUpperArmR].side = -(0.12f + 2.5f * e);
        p.joint[kForearmR].side = 0.6f * std::sin(2.0f * cyc) * e;
        p.joint[kForearmR].bend = -0.4f * e;
        break;
    case 11: // point: the arm straight out ahead and a little aside, the body turned toward it
        Relaxed(&p);
        p.joint[kUpperArmL].bend = -1.75f * e;
        p.joint[kUpperArmL].side = 0.12f + 0.35f * e;
        p.joint[kForearmL].bend = -0.25f * (1.0f - e);
        p.joint[kTorso].twist = 0.3f * e;
        p.joint[kHead].twist = 0.2f * e;
        break;
    case 12: // crstand
        Relaxed(&p);
        Crouch(&p, 1.0f);
        p.joint[kTorso].bend += 0.04f * std::sin(cyc);
        break;
    case 13: // crwalk
        Crouch(&p, 0.9f);
        p.joint[kThighL].bend += -0.4f * std::sin(cyc);
        p.joint[kThighR].bend += 0.4f * std::sin(cyc);
        p.joint[kUpperArmL].bend = 0.3f * std::sin(cyc);
        p.joint[kUpperArmR].bend = -0.3f * std::sin(cyc);
        break;
    case 14: // crattack
        Relaxed(&p);
        Crouch(&p, 1.0f);
        p.joint[kUpperArmR].bend = -1.4f * e;
        p.joint[kForearmR].bend = -1.5f * (1.0f - e);
        break;
    case 15: // crpain
        Crouch(&p, 1.0f);
        p.joint[kTorso].bend = 0.35f - 0.5f * std::sin(kPi * (ff + 1.0f) / (static_cast<float>(n) + 1.0f));
        p.joint[kUpperArmL].bend = -1.0f;
        p.joint[kUpperArmR].bend = -1.0f;
        break;
    case 16: // crdeath
        Crouch(&p, 1.0f - 0.5f * ff / static_cast<float>(n - 1));
        p.body = RotX(1.5f * Ramp(ff, 0.0f, static_cast<float>(n - 1)));
        p.pivot = {0, 0, kSoleZ};
        break;
    case 17: // death1: backwards
        Fall(&p, ff / static_cast<float>(n - 1), -1.0f, 0.0f);
        break;
    case 18: // death2: forwards
        Fall(&p, ff / static_cast<float>(n - 1), 1.0f, 0.0f);
        break;
    default: // death3: a spin, then down
        Fall(&p, ff / static_cast<float>(n - 1), -1.0f, 2.5f);
        break;
    }
    return p;
}

// The rest mesh: per bone, rings of kSides + 1 columns (the last repeats the
// first for the skin seam) and a centre point at each end.
struct RestMesh {
    std::vector<V3> local;  // vertex positions in their bone's frame
    std::vector<V3> normal; // vertex normals in their bone's frame
    std::vector<int32_t> bone;
    std::vector<Md2WriterTexCoord> texCoords;
    std::vector<Md2WriterTriangle> triangles;
};

const RestMesh& Rest() {
    static const RestMesh mesh = [] {
        RestMesh r;
        const std::vector<BoneDef>& bones = Bones();
        for (int32_t b = 0; b < kBoneCount; ++b) {
            const BoneDef& d = bones[static_cast<size_t>(b)];
            const int32_t firstVertex = static_cast<int32_t>(r.local.size());
            const int32_t firstTc = static_cast<int32_t>(r.texCoords.size());
            const int32_t rings = static_cast<int32_t>(d.rings.size());
            const float t0 = d.rings.front().t;
            const float t1 = d.rings.back().t;
            for (int32_t i = 0; i < rings; ++i) {
                const Ring& ring = d.rings[static_cast<size_t>(i)];
                for (int32_t s = 0; s < kSides; ++s) {
                    // The seam at the back, so the front lands mid-rectangle.
                    const float a = kPi + 2.0f * kPi * static_cast<float>(s) / kSides;
                    const V3 radial = d.e1 * (ring.r1 * std::cos(a)) + d.e2 * (ring.r2 * std::sin(a));
                    r.local.push_back(d.start + d.axis * ring.t + radial);
                    r.normal.push_back(
                        UnitV(d.e1 * (std::cos(a) / ring.r1) + d.e2 * (std::sin(a) / ring.r2)));
                    r.bone.push_back(b);
                }
                const float v = (ring.t - t0) / (t1 - t0);
                for (int32_t s = 0; s <= kSides; ++s) {
                    const float u = static_cast<float>(s) / kSides;
                    r.texCoords.push_back(Md2WriterTexCoord{
                        static_cast<int16_t>(d.skinX + std::lround(u * static_cast<float>(d.skinW - 1))),
                        static_cast<int16_t>(d.skinY + std::lround(v * static_cast<float>(d.skinH - 1)))});
                }
            }
            // End centres, with their texture coordinate in the plain cap area.
            const int32_t startCentre = static_cast<int32_t>(r.local.size());
            r.local.push_back(d.start + d.axis * t0);
            r.normal.push_back(d.axis * -1.0f);
            r.bone.push_back(b);
            r.local.push_back(d.start + d.axis * t1);
            r.normal.push_back(d.axis);
            r.bone.push_back(b);
            const int32_t capTc = static_cast<int32_t>(r.texCoords.size());
            r.texCoords.push_back(Md2WriterTexCoord{224, 144});
            auto vtx = [&](int32_t ring, int32_t s) {
                return static_cast<uint16_t>(firstVertex + ring * kSides + (s % kSides));
            };
            auto tc = [&](int32_t ring, int32_t s) {
                return static_cast<uint16_t>(firstTc + ring * (kSides + 1) + s);
            };
            // Counter-clockwise from outside here; swapped to the file's
            // clockwise order when stored.
            auto tri = [&](uint16_t a, uint16_t b2, uint16_t c, uint16_t ta, uint16_t tb, uint16_t tcc) {
                r.triangles.push_back(Md2WriterTriangle{{a, c, b2}, {ta, tcc, tb}});
            };
            for (int32_t i = 0; i + 1 < rings; ++i) {
                for (int32_t s = 0; s < kSides; ++s) {
                    tri(vtx(i, s), vtx(i, s + 1), vtx(i + 1, s + 1), tc(i, s), tc(i, s + 1),
                        tc(i + 1, s + 1));
                    tri(vtx(i, s), vtx(i + 1, s + 1), vtx(i + 1, s), tc(i, s), tc(i + 1, s + 1),
                        tc(i + 1, s));
                }
            }
            const uint16_t cap = static_cast<uint16_t>(capTc);
            for (int32_t s = 0; s < kSides; ++s) {
                tri(static_cast<uint16_t>(startCentre), vtx(0, s + 1), vtx(0, s), cap, cap, cap);
                tri(static_cast<uint16_t>(startCentre + 1), vtx(rings - 1, s), vtx(rings - 1, s + 1), cap,
                    cap, cap);
            }
        }
        return r;
    }();
    return mesh;
}

// World positions and normals of every vertex in a pose.
void PoseVertices(const Pose& pose, std::vector<V3>* positions, std::vector<V3>* normals) {
    const std::vector<BoneDef>& bones = Bones();
    std::array<M3, kBoneCount> rot{};
    std::array<V3, kBoneCount> at{};
    for (int32_t b = 0; b < kBoneCount; ++b) {
        const BoneDef& d = bones[static_cast<size_t>(b)];
        const M3 local = FromAngles(pose.joint[static_cast<size_t>(b)]);
        if (d.parent < 0) {
            rot[static_cast<size_t>(b)] = local;
            at[static_cast<size_t>(b)] = d.offset;
        } else {
            const size_t p = static_cast<size_t>(d.parent);
            rot[static_cast<size_t>(b)] = Mul(rot[p], local);
            at[static_cast<size_t>(b)] = at[p] + Apply(rot[p], d.offset);
        }
    }
    const RestMesh& rest = Rest();
    positions->resize(rest.local.size());
    normals->resize(rest.local.size());
    for (size_t i = 0; i < rest.local.size(); ++i) {
        const size_t b = static_cast<size_t>(rest.bone[i]);
        const V3 p = at[b] + Apply(rot[b], rest.local[i]);
        (*positions)[i] = pose.pivot + Apply(pose.body, p - pose.pivot);
        (*normals)[i] = Apply(pose.body, Apply(rot[b], rest.normal[i]));
    }
    // Stand on the floor: the lowest point goes to the soles' height.
    float lowest = 1e9f;
    for (const V3& p : *positions) {
        lowest = std::min(lowest, p.z);
    }
    const V3 lift{pose.shift.x, pose.shift.y, pose.shift.z + (pose.grounded ? kSoleZ - lowest : 0.0f)};
    for (V3& p : *positions) {
        p = p + lift;
    }
}

uint8_t NearestNormal(V3 n) {
    int32_t best = 0;
    double bestDot = -2.0;
    for (int32_t i = 0; i < kMd2NormalCount; ++i) {
        const double d = kMd2Normals[i][0] * n.x + kMd2Normals[i][1] * n.y + kMd2Normals[i][2] * n.z;
        if (d > bestDot) {
            bestDot = d;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

Md2WriterFrame Bake(const std::string& name, const std::vector<V3>& positions,
                    const std::vector<V3>& normals) {
    V3 lo{1e9f, 1e9f, 1e9f};
    V3 hi{-1e9f, -1e9f, -1e9f};
    for (const V3& p : positions) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    Md2WriterFrame frame{};
    const float los[3] = {lo.x, lo.y, lo.z};
    const float his[3] = {hi.x, hi.y, hi.z};
    for (int a = 0; a < 3; ++a) {
        const float span = his[a] - los[a];
        frame.scale[a] = span > 0.0f ? span / 255.0f : 1.0f;
        frame.translate[a] = los[a];
    }
    frame.name = name;
    for (size_t i = 0; i < positions.size(); ++i) {
        const float p[3] = {positions[i].x, positions[i].y, positions[i].z};
        for (int a = 0; a < 3; ++a) {
            const long q = std::lround((p[a] - frame.translate[a]) / frame.scale[a]);
            frame.verts.push_back(static_cast<uint8_t>(std::clamp(q, 0L, 255L)));
        }
        frame.verts.push_back(NearestNormal(normals[i]));
    }
    return frame;
}

} // namespace

const std::vector<CharacterMotion>& CharacterMotions() {
    static const std::vector<CharacterMotion> motions = {
        {"stand", 40}, {"run", 6},     {"attack", 8},   {"pain1", 4},   {"pain2", 4},
        {"pain3", 4},  {"jump", 6},    {"flip", 12},    {"salute", 11}, {"taunt", 17},
        {"wave", 11},  {"point", 12},  {"crstand", 19}, {"crwalk", 6},  {"crattack", 9},
        {"crpain", 4}, {"crdeath", 5}, {"death1", 6},   {"death2", 6},  {"death3", 8}};
    return motions;
}

std::string CharacterFrameName(const CharacterMotion& motion, int32_t index) {
    // Stems that end in a digit get two-digit numbers, as do motions of ten
    // frames or more, so the loader's digit rule finds the stem again.
    const bool twoDigits =
        motion.frames >= 10 ||
        (!motion.stem.empty() && std::isdigit(static_cast<unsigned char>(motion.stem.back())));
    const int32_t number = index + 1;
    std::string digits = std::to_string(number);
    if (twoDigits && number < 10) {
        digits = "0" + digits;
    }
    return motion.stem + digits;
}

Md2WriterModel MakeCharacterModel() {
    const RestMesh& rest = Rest();
    Md2WriterModel model;
    model.skinWidth = kSkinSize;
    model.skinHeight = kSkinSize;
    model.vertexCount = static_cast<int32_t>(rest.local.size());
    model.skins = {kCharacterSkinFile};
    model.texCoords = rest.texCoords;
    model.triangles = rest.triangles;
    // GL commands for players that draw from them: one three-vertex strip per
    // triangle (s and t as floats 0..1, then the vertex index), ended by 0.
    for (const Md2WriterTriangle& t : rest.triangles) {
        model.glCommands.push_back(3);
        for (int k = 0; k < 3; ++k) {
            const Md2WriterTexCoord& tc = rest.texCoords[t.texCoord[k]];
            const float st[2] = {static_cast<float>(tc.s) / kSkinSize, static_cast<float>(tc.t) / kSkinSize};
            for (const float f : st) {
                int32_t bits = 0;
                std::memcpy(&bits, &f, sizeof bits);
                model.glCommands.push_back(bits);
            }
            model.glCommands.push_back(t.vertex[k]);
        }
    }
    model.glCommands.push_back(0);
    std::vector<V3> positions;
    std::vector<V3> normals;
    const std::vector<CharacterMotion>& motions = CharacterMotions();
    for (size_t m = 0; m < motions.size(); ++m) {
        for (int32_t f = 0; f < motions[m].frames; ++f) {
            PoseVertices(MakePose(static_cast<int32_t>(m), f, motions[m].frames), &positions, &normals);
            model.frames.push_back(Bake(CharacterFrameName(motions[m], f), positions, normals));
        }
    }
    return model;
}

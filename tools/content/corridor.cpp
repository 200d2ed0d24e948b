// The sci-fi corridor of corridors.3ds and corridoru.3ds. Axes are the file's:
// x across, y along the corridor, z up; the floor is z = 0. The player reads
// y and z exchanged, so the floor mirror's rectangle (x -50..50, z -200..200
// in the player's axes) is x -50..50, y -200..200 here, and it has no floor
// mesh of its own: the mirror quad is the floor there.
#include "tools/content/content.h"
#include "tools/content/mesh_kit.h"

#include <cmath>

namespace {

constexpr float kNearEnd = -420.0f; // end walls of the corridor
constexpr float kFarEnd = 460.0f;
constexpr float kHalfWidth = 50.0f; // walls stand on the mirror's long sides
constexpr float kHeight = 100.0f;
constexpr float kMirrorHalfLength = 200.0f;
constexpr float kDoorHalfWidth = 25.0f;
constexpr float kDoorHeight = 70.0f;
constexpr float kRibs[7] = {-300.0f, -180.0f, -60.0f, 60.0f, 180.0f, 300.0f, 420.0f};
constexpr int32_t kLastFrameCharacter = 759;
constexpr int32_t kLastFrameFlight = 120;

Keys3ds HoldAt(const Vec3f& p) {
    return {VectorKey3ds(0, p.x, p.y, p.z)};
}
Keys3ds NoTurn() {
    return {RotationKey3ds(0, 0.0f, 0.0f, 0.0f, 1.0f)};
}

// A static mesh: pivot at `origin`, one position key there, no turn.
Mesh3ds Static(const MeshKit& kit, const std::string& name, const Vec3f& origin) {
    Mesh3ds m = kit.Make(name, origin);
    m.position = HoldAt(origin);
    m.rotation = NoTurn();
    m.scale = {VectorKey3ds(0, 1.0f, 1.0f, 1.0f)};
    return m;
}

std::vector<Material3ds> Materials() {
    const Vec3f grey{0.3f, 0.3f, 0.3f};
    const Vec3f white{0.9f, 0.9f, 0.9f};
    return {
        {"Pareti", grey, white, white, "wall.jpg"},
        {"Soffitto", grey, {0.7f, 0.7f, 0.75f}, white, "ceiling.jpg"},
        {"Pavimento", grey, {0.6f, 0.6f, 0.6f}, white, "floor.jpg"},
        {"Costole", grey, {0.5f, 0.55f, 0.6f}, white, "trim.tga"},
        {"Tubi", grey, {0.8f, 0.8f, 0.85f}, white, "steel.tga"},
        {"Console", grey, {0.4f, 0.45f, 0.5f}, white, "steel.tga"},
        {"Schermi", grey, {0.2f, 0.8f, 0.6f}, white, "screen.tga"},
        {"Porte", grey, {0.8f, 0.7f, 0.2f}, white, "door.jpg"},
        {"Vetro", grey, {0.3f, 0.4f, 0.8f}, white, "space.jpg"},
        {"Luce", grey, {1.0f, 1.0f, 0.9f}, white, "lamp.tga"},
        {"Anello", grey, {0.9f, 0.7f, 0.3f}, white, "gold.jpg"},
    };
}

// Left (x = -50) or right (x = +50) wall, facing into the corridor.
Mesh3ds Wall(const std::string& name, float side) {
    MeshKit kit;
    const float length = kFarEnd - kNearEnd;
    const int32_t pieces = static_cast<int32_t>(length / 20.0f);
    if (side < 0.0f) {
        kit.Panel({-kHalfWidth, kNearEnd, 0.0f}, {0.0f, length, 0.0f}, {0.0f, 0.0f, kHeight}, pieces, 3,
                  "Pareti", 64.0f);
    } else {
        kit.Panel({kHalfWidth, kFarEnd, 0.0f}, {0.0f, -length, 0.0f}, {0.0f, 0.0f, kHeight}, pieces, 3,
                  "Pareti", 64.0f);
    }
    return Static(kit, name, {side * kHalfWidth, 0.5f * (kNearEnd + kFarEnd), 0.5f * kHeight});
}

Mesh3ds Ceiling() {
    MeshKit kit;
    const float length = kFarEnd - kNearEnd;
    // u across, v toward -y: u x v points down, into the corridor.
    kit.Panel({-kHalfWidth, kFarEnd, kHeight}, {2.0f * kHalfWidth, 0.0f, 0.0f}, {0.0f, -length, 0.0f}, 4,
              static_cast<int32_t>(length / 20.0f), "Soffitto", 50.0f);
    return Static(kit, "NGon06", {0.0f, 0.5f * (kNearEnd + kFarEnd), kHeight});
}

// Floor beyond both ends of the mirror rectangle; never under it.
Mesh3ds Floor() {
    MeshKit kit;
    const float w = 2.0f * kHalfWidth;
    kit.Panel({-kHalfWidth, kNearEnd, 0.0f}, {w, 0.0f, 0.0f}, {0.0f, -kMirrorHalfLength - kNearEnd, 0.0f}, 4,
              11, "Pavimento", 50.0f);
    kit.Panel({-kHalfWidth, kMirrorHalfLength, 0.0f}, {w, 0.0f, 0.0f},
              {0.0f, kFarEnd - kMirrorHalfLength, 0.0f}, 4, 13, "Pavimento", 50.0f);
    return Static(kit, "Pavimento", {0.0f, 0.0f, 0.0f});
}

// An end wall with a door opening in the middle, facing into the corridor.
Mesh3ds EndWall(const std::string& name, float y, bool facingPlusY) {
    MeshKit kit;
    const float s = facingPlusY ? 1.0f : -1.0f;
    // Pieces left of, right of and above the opening. Seen from the corridor,
    // u runs along x (mirrored for the far wall) and v up.
    auto piece = [&](float x0, float x1, float z0, float z1) {
        const Vec3f a{facingPlusY ? x1 : x0, y, z0};
        const Vec3f u{s * -(x1 - x0), 0.0f, 0.0f};
        const Vec3f v{0.0f, 0.0f, z1 - z0};
        kit.Panel(a, u, v, 2, 2, "Pareti", 64.0f);
    };
    piece(-kHalfWidth, -kDoorHalfWidth, 0.0f, kHeight);
    piece(kDoorHalfWidth, kHalfWidth, 0.0f, kHeight);
    piece(-kDoorHalfWidth, kDoorHalfWidth, kDoorHeight, kHeight);
    return Static(kit, name, {0.0f, y, 0.5f * kHeight});
}

// A little room beyond the far door, so the opened doorway shows something.
Mesh3ds Vestibule() {
    MeshKit kit;
    kit.Box({-kDoorHalfWidth - 6.0f, kFarEnd + 1.0f, 0.0f},
            {kDoorHalfWidth + 6.0f, kFarEnd + 90.0f, kDoorHeight + 6.0f}, "Costole", 32.0f, true);
    return Static(kit, "Vestibolo", {0.0f, kFarEnd + 45.0f, 0.5f * kDoorHeight});
}

// Ribs: a frame of two pillars and a beam across the corridor, with a light
// strip under the beam.
Mesh3ds Rib(const std::string& name, float y) {
    MeshKit kit;
    const float t = 5.0f;
    kit.Box({-kHalfWidth, y - t, 0.0f}, {-kHalfWidth + 7.0f, y + t, kHeight}, "Costole", 16.0f, false, true);
    kit.Box({kHalfWidth - 7.0f, y - t, 0.0f}, {kHalfWidth, y + t, kHeight}, "Costole", 16.0f, false, true);
    kit.Box({-kHalfWidth + 7.0f, y - t, kHeight - 8.0f}, {kHalfWidth - 7.0f, y + t, kHeight}, "Costole",
            16.0f);
    kit.Quad({-kHalfWidth + 8.0f, y + 2.0f, kHeight - 8.2f}, {kHalfWidth - 8.0f, y + 2.0f, kHeight - 8.2f},
             {kHalfWidth - 8.0f, y - 2.0f, kHeight - 8.2f}, {-kHalfWidth + 8.0f, y - 2.0f, kHeight - 8.2f},
             "Luce");
    return Static(kit, name, {0.0f, y, 0.5f * kHeight});
}

// A console against a wall: body, sloped top and a screen facing the corridor.
Mesh3ds Console(const std::string& name, float y, float side) {
    MeshKit kit;
    const float x0 = side < 0.0f ? -kHalfWidth : kHalfWidth - 12.0f;
    const float x1 = x0 + 12.0f;
    kit.Box({x0, y - 14.0f, 0.0f}, {x1, y + 14.0f, 30.0f}, "Console", 16.0f, false, true);
    const float face = side < 0.0f ? x1 + 0.2f : x0 - 0.2f;
    if (side < 0.0f) {
        kit.Quad({face, y - 11.0f, 8.0f}, {face, y + 11.0f, 8.0f}, {face, y + 11.0f, 26.0f},
                 {face, y - 11.0f, 26.0f}, "Schermi");
    } else {
        kit.Quad({face, y + 11.0f, 8.0f}, {face, y - 11.0f, 8.0f}, {face, y - 11.0f, 26.0f},
                 {face, y + 11.0f, 26.0f}, "Schermi");
    }
    return Static(kit, name, {0.5f * (x0 + x1), y, 15.0f});
}

// Two pipes along the upper edges of the walls: the surface with the chrome map.
Mesh3ds Pipes() {
    MeshKit kit;
    const int32_t sides = 8;
    const float r = 4.0f;
    const int32_t pieces = 22;
    const float step = (kFarEnd - kNearEnd) / static_cast<float>(pieces);
    for (const float cx : {-kHalfWidth + 11.0f, kHalfWidth - 11.0f}) {
        const float cz = kHeight - 16.0f;
        for (int32_t p = 0; p < pieces; ++p) {
            const float y0 = kNearEnd + step * static_cast<float>(p);
            for (int32_t s = 0; s < sides; ++s) {
                const float a0 = 6.2831853f * static_cast<float>(s) / static_cast<float>(sides);
                const float a1 = 6.2831853f * static_cast<float>(s + 1) / static_cast<float>(sides);
                const Vec3f q0{cx + r * std::cos(a0), y0, cz + r * std::sin(a0)};
                const Vec3f q1{cx + r * std::cos(a1), y0, cz + r * std::sin(a1)};
                const Vec3f q2{q1.x, y0 + step, q1.z};
                const Vec3f q3{q0.x, y0 + step, q0.z};
                kit.QuadUV(q0, q3, q2, q1, UV{0.0f, static_cast<float>(s) / sides},
                           UV{1.0f, static_cast<float>(s) / sides},
                           UV{1.0f, static_cast<float>(s + 1) / sides},
                           UV{0.0f, static_cast<float>(s + 1) / sides}, "Tubi");
            }
        }
    }
    return Static(kit, kCorridorChromeMesh, {0.0f, 0.5f * (kNearEnd + kFarEnd), kHeight - 16.0f});
}

// A ring hanging from the ceiling above the spot where the character stops.
Mesh3ds Ring(bool turning) {
    MeshKit kit;
    const float cy = 50.0f;
    const float cz = 80.0f;
    const int32_t n = 16;
    const float r0 = 14.0f;
    const float r1 = 18.0f;
    const float h = 3.0f;
    for (int32_t i = 0; i < n; ++i) {
        const float a0 = 6.2831853f * static_cast<float>(i) / n;
        const float a1 = 6.2831853f * static_cast<float>(i + 1) / n;
        auto at = [&](float r, float a, float z) { return Vec3f{r * std::cos(a), cy + r * std::sin(a), z}; };
        kit.Quad(at(r1, a0, cz - h), at(r1, a1, cz - h), at(r1, a1, cz + h), at(r1, a0, cz + h), "Anello");
        kit.Quad(at(r0, a1, cz - h), at(r0, a0, cz - h), at(r0, a0, cz + h), at(r0, a1, cz + h), "Anello");
        kit.Quad(at(r0, a0, cz - h), at(r0, a1, cz - h), at(r1, a1, cz - h), at(r1, a0, cz - h), "Luce");
        kit.Quad(at(r1, a0, cz + h), at(r1, a1, cz + h), at(r0, a1, cz + h), at(r0, a0, cz + h), "Anello");
    }
    // A stem up to the ceiling.
    kit.Box({-1.5f, cy + r0 - 1.5f, cz + h}, {1.5f, cy + r0 + 1.5f, kHeight}, "Console", 8.0f);
    kit.Box({-1.5f, cy - r0 - 1.5f, cz + h}, {1.5f, cy - r0 + 1.5f, kHeight}, "Console", 8.0f);
    const Vec3f origin{0.0f, cy, cz};
    Mesh3ds m = Static(kit, "Object01", origin);
    if (turning) {
        // A quarter turn about the vertical every 100 frames, eased at the ends.
        m.rotation.clear();
        m.rotation.push_back(RotationKey3ds(0, 0.0f, 0.0f, 0.0f, 1.0f));
        for (int32_t f = 100; f <= kLastFrameCharacter; f += 100) {
            m.rotation.push_back(RotationKey3ds(f, 1.5707963f, 0.0f, 0.0f, 1.0f));
        }
        m.rotation.front().splineFlags = 0x10;
        m.rotation.front().spline[0] = 0.5f;
    }
    return m;
}

// The window onto the outside, on the right wall between two ribs.
Mesh3ds Window() {
    MeshKit kit;
    const float x = kHalfWidth - 0.3f;
    kit.Quad({x, 150.0f, 25.0f}, {x, 80.0f, 25.0f}, {x, 80.0f, 80.0f}, {x, 150.0f, 80.0f}, "Vetro");
    kit.Box({kHalfWidth - 3.0f, 76.0f, 21.0f}, {kHalfWidth, 154.0f, 25.0f}, "Costole", 16.0f);
    kit.Box({kHalfWidth - 3.0f, 76.0f, 80.0f}, {kHalfWidth, 154.0f, 84.0f}, "Costole", 16.0f);
    return Static(kit, "EsternoVen", {kHalfWidth, 115.0f, 52.5f});
}

// Long light panels under the ceiling.
Mesh3ds LightPanel(const std::string& name, float y0, float y1) {
    MeshKit kit;
    const float z = kHeight - 0.5f;
    kit.Panel({-8.0f, y1, z}, {16.0f, 0.0f, 0.0f}, {0.0f, y0 - y1, 0.0f}, 1, 12, "Luce", 16.0f);
    return Static(kit, name, {0.0f, 0.5f * (y0 + y1), z});
}

// One door panel at the doorway of the wall at `y`; `left` is the panel on
// the -x side. Closed it covers half the opening; open it lies behind the wall.
Mesh3ds Door(const std::string& name, float y, bool left,
             const std::vector<std::pair<int32_t, bool>>& states) {
    MeshKit kit;
    const float x0 = left ? -kDoorHalfWidth : 0.0f;
    kit.Box({x0, y - 2.0f, 0.0f}, {x0 + kDoorHalfWidth, y + 2.0f, kDoorHeight}, "Porte", 32.0f, false, true);
    const Vec3f closed{x0 + 0.5f * kDoorHalfWidth, y, 0.5f * kDoorHeight};
    const float slide = left ? -kDoorHalfWidth : kDoorHalfWidth;
    // The pivot is where the first key puts the door, so an unplayed copy
    // (the mirror draws corridoru's doors inside corridors) stands there too.
    const bool startsOpen = !states.empty() && states.front().second;
    Mesh3ds m = Static(kit, name, {closed.x + (startsOpen ? slide : 0.0f), closed.y, closed.z});
    m.position.clear();
    for (const auto& [frame, open] : states) {
        const Vec3f p{closed.x + (open ? slide : 0.0f), closed.y, closed.z};
        m.position.push_back(EasedVectorKey(frame, p, 0.6f, 0.6f));
    }
    return m;
}

// Omni lights along the corridor and one spot on the stopping place.
std::vector<Light3ds> Lights(bool characterFlight) {
    std::vector<Light3ds> lights;
    // Off the centre line, so that faces standing across the corridor (door
    // edges, stems) always have a light on their side.
    const Vec3f at[5] = {{-30.0f, -380.0f, 62.0f},
                         {6.0f, -150.0f, 62.0f},
                         {-6.0f, 30.0f, 62.0f},
                         {30.0f, 210.0f, 62.0f},
                         {-30.0f, 390.0f, 62.0f}};
    for (int i = 0; i < 5; ++i) {
        Light3ds l;
        l.name = "Luce0" + std::to_string(i + 1);
        l.position = at[i];
        l.colour = {0.55f, 0.6f, 0.7f};
        lights.push_back(l);
    }
    // Two dim lights between the pipes and the walls, for the pipes' outer sides.
    for (const float side : {-1.0f, 1.0f}) {
        Light3ds l;
        l.name = side < 0.0f ? "Parete01" : "Parete02";
        l.position = {side * 47.0f, side * 60.0f, 84.0f};
        l.colour = {0.22f, 0.22f, 0.26f};
        lights.push_back(l);
    }
    // The far light pulses red once the character turns to run.
    Light3ds& alarm = lights[4];
    const int32_t last = characterFlight ? kLastFrameCharacter : kLastFrameFlight;
    alarm.colourKeys = {VectorKey3ds(0, 0.55f, 0.6f, 0.7f)};
    for (int32_t f = 560; characterFlight && f + 20 <= last; f += 40) {
        alarm.colourKeys.push_back(VectorKey3ds(f, 0.55f, 0.6f, 0.7f));
        alarm.colourKeys.push_back(VectorKey3ds(f + 20, 1.0f, 0.15f, 0.1f));
    }
    // A light that drifts along the corridor.
    lights[1].positionKeys = {TcbVectorKey(0, at[1], 0.0f, 0.0f, 0.0f),
                              TcbVectorKey(last / 2, {20.0f, -120.0f, 50.0f}, 0.3f, 0.0f, 0.2f),
                              TcbVectorKey(last, at[1], 0.0f, 0.0f, 0.0f)};
    Light3ds spot;
    spot.name = "Faro";
    spot.position = {30.0f, 20.0f, 95.0f};
    spot.colour = {0.35f, 0.3f, 0.25f};
    spot.spot = true;
    spot.target = {0.0f, 50.0f, 0.0f};
    spot.hotspot = 25.0f;
    spot.falloff = 40.0f;
    spot.colourKeys = {VectorKey3ds(0, 0.35f, 0.3f, 0.25f), VectorKey3ds(last, 0.45f, 0.35f, 0.25f)};
    spot.targetKeys = {VectorKey3ds(0, 0.0f, 50.0f, 0.0f)};
    lights.push_back(spot);
    return lights;
}

// One key of the camera that follows the character: where the eye is and
// what it looks at, in the file's axes.
struct Shot {
    int32_t frame;
    Vec3f eye;
    Vec3f look;
};

// The character's path, as the scene script moves it (file y is its z; its
// soles are at z = 0 and its head near z = 56): a jog from y = -280 to -250,
// a dash to y = 50 between frames 93 and 123, the gestures under the ring
// (the jump near 377 lifts its head to about z = 85), a turn back, and a run
// to y = 350 between frames 603 and 658. Each move starts a frame or so after
// the previous one ends, so the times below carry that drift.
//
// The shots keep the whole figure in the picture with room around it: the
// camera waits ahead of the jog and backs away in front of the dash, holds
// behind the figure as it stops and turns, cranes up past the ring on the
// wall side (clear of the ring, the pipes and the ribs' beams) to come down
// in front of it for the gestures, wide enough for the jump and the
// outstretched arms, and follows it from behind when it runs off. Eye and
// look move together during the runs, so the figure stays where it is in the
// frame while the corridor slides past.
const Shot kCharacterShots[] = {
    {0, {22.0f, -165.0f, 46.0f}, {0.0f, -280.0f, 30.0f}},
    {45, {25.0f, -158.0f, 45.0f}, {0.0f, -265.0f, 30.0f}},
    {90, {27.0f, -150.0f, 45.0f}, {0.0f, -251.0f, 30.0f}},
    {103, {27.0f, -50.0f, 46.0f}, {0.0f, -150.0f, 30.0f}},
    {113, {28.0f, 50.0f, 47.0f}, {0.0f, -50.0f, 30.0f}},
    {123, {28.0f, 150.0f, 49.0f}, {0.0f, 50.0f, 30.0f}},
    {150, {26.0f, 158.0f, 52.0f}, {0.0f, 50.0f, 30.0f}},
    {190, {30.0f, 112.0f, 76.0f}, {0.0f, 50.0f, 30.0f}},
    {220, {30.0f, 66.0f, 86.0f}, {0.0f, 48.0f, 36.0f}},
    {250, {28.0f, 2.0f, 78.0f}, {0.0f, 50.0f, 33.0f}},
    {290, {20.0f, -52.0f, 55.0f}, {0.0f, 50.0f, 36.0f}},
    {380, {0.0f, -75.0f, 50.0f}, {0.0f, 50.0f, 40.0f}},
    {480, {-20.0f, -66.0f, 50.0f}, {0.0f, 50.0f, 36.0f}},
    {560, {-18.0f, -62.0f, 50.0f}, {0.0f, 50.0f, 34.0f}},
    {603, {-15.0f, -62.0f, 50.0f}, {0.0f, 55.0f, 32.0f}},
    {621, {-14.0f, 15.0f, 50.0f}, {0.0f, 125.0f, 32.0f}},
    {639, {-12.0f, 90.0f, 52.0f}, {0.0f, 200.0f, 32.0f}},
    {658, {-10.0f, 238.0f, 55.0f}, {0.0f, 350.0f, 32.0f}},
    {kLastFrameCharacter, {-10.0f, 244.0f, 56.0f}, {0.0f, 350.0f, 32.0f}},
};

Camera3ds CharacterCamera() {
    Camera3ds c;
    c.name = "Camera01";
    c.position = kCharacterShots[0].eye;
    c.target = kCharacterShots[0].look;
    for (const Shot& shot : kCharacterShots) {
        c.positionKeys.push_back(VectorKey3ds(shot.frame, shot.eye.x, shot.eye.y, shot.eye.z));
        c.targetKeys.push_back(VectorKey3ds(shot.frame, shot.look.x, shot.look.y, shot.look.z));
    }
    c.rollKeys = {TcbScalarKey(0, 0.0f, 0.0f, 0.0f, 0.0f), ScalarKey3ds(123, -3.0f), ScalarKey3ds(220, 4.0f),
                  ScalarKey3ds(290, 0.0f), ScalarKey3ds(603, 0.0f),
                  TcbScalarKey(kLastFrameCharacter, 2.0f, 0.2f, 0.0f, 0.0f)};
    c.fovKeys = {ScalarKey3ds(0, 55.0f),   ScalarKey3ds(123, 52.0f), ScalarKey3ds(220, 66.0f),
                 ScalarKey3ds(290, 55.0f), ScalarKey3ds(603, 58.0f), ScalarKey3ds(kLastFrameCharacter, 55.0f)};
    return c;
}

// The flight down the empty corridor.
Camera3ds FlightCamera() {
    Camera3ds c;
    c.name = "Camera02";
    c.position = {0.0f, -400.0f, 55.0f};
    c.target = {0.0f, -300.0f, 50.0f};
    c.positionKeys = {TcbVectorKey(0, {0.0f, -400.0f, 55.0f}, 0.0f, 0.0f, 0.0f),
                      TcbVectorKey(60, {-15.0f, -120.0f, 40.0f}, 0.0f, 0.2f, 0.0f),
                      TcbVectorKey(kLastFrameFlight, {10.0f, 200.0f, 30.0f}, 0.0f, 0.0f, 0.0f)};
    c.targetKeys = {VectorKey3ds(0, 0.0f, -300.0f, 50.0f), VectorKey3ds(60, 5.0f, 0.0f, 35.0f),
                    VectorKey3ds(kLastFrameFlight, 0.0f, 420.0f, 30.0f)};
    c.rollKeys = {ScalarKey3ds(0, 0.0f), TcbScalarKey(60, 12.0f, 0.0f, 0.0f, 0.5f),
                  ScalarKey3ds(kLastFrameFlight, -6.0f)};
    c.fovKeys = {ScalarKey3ds(0, 70.0f), ScalarKey3ds(kLastFrameFlight, 50.0f)};
    return c;
}

} // namespace

Scene3ds MakeCorridorScene(bool characterFlight) {
    Scene3ds s;
    s.materials = Materials();
    s.firstFrame = 0;
    s.lastFrame = characterFlight ? kLastFrameCharacter : kLastFrameFlight;
    s.meshes.push_back(Wall("NGon02", -1.0f));
    s.meshes.push_back(Wall("NGon03", 1.0f));
    s.meshes.push_back(Ceiling());
    s.meshes.push_back(Pipes());
    s.meshes.push_back(Floor());
    for (int i = 0; i < 7; ++i) {
        s.meshes.push_back(Rib("NGon" + std::to_string(11 + i), kRibs[i]));
    }
    // Consoles between the ribs, alternating sides, never in front of the
    // window (right wall, y 76..154).
    const float consoleY[6] = {-240.0f, -120.0f, 0.0f, 240.0f, 360.0f, -360.0f};
    for (int i = 0; i < 6; ++i) {
        const float side = (i % 2 == 0) ? -1.0f : 1.0f;
        s.meshes.push_back(Console("NGon" + std::to_string(18 + i), consoleY[i], side));
    }
    s.meshes.push_back(Ring(characterFlight));
    s.meshes.push_back(Window());
    s.meshes.push_back(LightPanel("Rectangle0", -390.0f, -20.0f));
    s.meshes.push_back(LightPanel("Rectangle1", 20.0f, 410.0f));
    s.meshes.push_back(EndWall("Fondo01", kNearEnd, true));
    s.meshes.push_back(EndWall("Fondo02", kFarEnd, false));
    s.meshes.push_back(Vestibule());
    // Far doors open as the character runs off; near doors close behind it.
    const int32_t late = characterFlight ? 560 : 400;
    s.meshes.push_back(Door("porte04", kFarEnd + 3.0f, true, {{0, false}, {late, false}, {late + 40, true}}));
    s.meshes.push_back(
        Door("porte05", kFarEnd + 3.0f, false, {{0, false}, {late, false}, {late + 40, true}}));
    const int32_t shut = characterFlight ? 140 : 400;
    s.meshes.push_back(Door("porte06", kNearEnd - 3.0f, true, {{0, true}, {shut, true}, {shut + 40, false}}));
    s.meshes.push_back(
        Door("porte07", kNearEnd - 3.0f, false, {{0, true}, {shut, true}, {shut + 40, false}}));
    // A dummy under the ring marks where the character stops.
    Dummy3ds mark;
    mark.instanceName = "Segno";
    mark.parent = MeshNodeNumber(s, "Object01");
    mark.position = HoldAt({0.0f, 50.0f, 0.0f});
    s.dummies.push_back(mark);
    s.lights = Lights(characterFlight);
    s.cameras.push_back(characterFlight ? CharacterCamera() : FlightCamera());
    return s;
}

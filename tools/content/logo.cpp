// logo.3ds: the engine's title as solid bevelled letters drawn from a small
// vector font of ours, falling into place one after the other under moving
// coloured lights while the camera sweeps in. File axes: letters stand on the
// x-z plane facing -y; z is up.
#include "tools/content/content.h"
#include "tools/content/mesh_kit.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr int32_t kLastFrame = 199;
constexpr float kStroke = 6.0f;
constexpr float kDepth = 8.0f;
constexpr float kBevel = 1.6f;
constexpr float kLetterSpacing = 34.0f;
constexpr float kLetterHeight = 36.0f;

struct Stroke {
    float x0, z0, x1, z1;
};

// Strokes of each glyph in a cell 24 wide and 36 high, origin at the
// middle of the baseline.
const std::map<char, std::vector<Stroke>>& Font() {
    static const std::map<char, std::vector<Stroke>> font = {
        {'V', {{-11.0f, 36.0f, 0.0f, 1.0f}, {11.0f, 36.0f, 0.0f, 1.0f}}},
        {'E',
         {{-9.0f, 0.0f, -9.0f, 36.0f},
          {-9.0f, 33.0f, 10.0f, 33.0f},
          {-9.0f, 18.0f, 6.0f, 18.0f},
          {-9.0f, 3.0f, 10.0f, 3.0f}}},
        {'L', {{-8.0f, 0.0f, -8.0f, 36.0f}, {-8.0f, 3.0f, 10.0f, 3.0f}}},
        {'T', {{-12.0f, 33.0f, 12.0f, 33.0f}, {0.0f, 0.0f, 0.0f, 33.0f}}},
        {'A', {{-11.0f, 0.0f, 0.0f, 36.0f}, {11.0f, 0.0f, 0.0f, 36.0f}, {-6.0f, 13.0f, 6.0f, 13.0f}}},
    };
    return font;
}

// One letter as a mesh with its pivot at the middle of the glyph.
Mesh3ds Letter(char glyph, float x) {
    MeshKit kit;
    for (const Stroke& s : Font().at(glyph)) {
        const float dx = s.x1 - s.x0;
        const float dz = s.z1 - s.z0;
        const float length = std::sqrt(dx * dx + dz * dz);
        const Vec3f centre{x + 0.5f * (s.x0 + s.x1), 0.0f, 0.5f * (s.z0 + s.z1)};
        kit.BevelBlock(centre, kStroke, length + kStroke * 0.8f, kDepth, kBevel, std::atan2(dx, dz), "Oro",
                       "Acciaio");
    }
    return kit.Make(std::string(1, glyph), {x, 0.0f, 0.5f * kLetterHeight});
}

// Falls from above and behind, spinning, into place at `arrive`; hops at `hop`.
void Choreograph(Mesh3ds* m, int32_t arrive, int32_t hop) {
    const Vec3f home = m->origin;
    const Vec3f high{home.x * 1.6f, home.y + 90.0f, home.z + 150.0f};
    m->position = {
        VectorKey3ds(0, high.x, high.y, high.z),
        VectorKey3ds(arrive - 12, home.x * 1.2f, home.y + 30.0f, home.z + 60.0f),
        TcbVectorKey(arrive, home, 0.0f, -0.5f, 0.6f), // a hard landing with a little overshoot
        VectorKey3ds(hop, home.x, home.y, home.z),
        TcbVectorKey(hop + 6, {home.x, home.y - 6.0f, home.z + 10.0f}, -0.3f, 0.0f, 0.0f),
        VectorKey3ds(hop + 12, home.x, home.y, home.z),
        VectorKey3ds(kLastFrame, home.x, home.y, home.z),
    };
    // Relative turns about the vertical: a turn and a half undone on landing.
    m->rotation = {
        RotationKey3ds(0, -2.4f, 0.0f, 0.0f, 1.0f),       RotationKey3ds(arrive - 12, 1.6f, 0.0f, 0.0f, 1.0f),
        RotationKey3ds(arrive, 0.8f, 0.0f, 0.0f, 1.0f),   RotationKey3ds(hop, 0.0f, 0.0f, 0.0f, 1.0f),
        RotationKey3ds(hop + 6, 0.35f, 1.0f, 0.0f, 0.0f), RotationKey3ds(hop + 12, -0.35f, 1.0f, 0.0f, 0.0f),
    };
    m->rotation[2].splineFlags = 0x8; // ease into the landing
    m->rotation[2].spline[0] = 0.7f;
    m->scale = {VectorKey3ds(0, 1.0f, 1.0f, 1.0f)};
}

Mesh3ds Stage() {
    MeshKit kit;
    kit.Panel({-500.0f, -500.0f, -2.0f}, {1000.0f, 0.0f, 0.0f}, {0.0f, 560.0f, 0.0f}, 16, 10, "Griglia",
              40.0f);
    Mesh3ds m = kit.Make("Pedana", {0.0f, -220.0f, -2.0f});
    m.position = {VectorKey3ds(0, 0.0f, -220.0f, -2.0f)};
    return m;
}

std::vector<Light3ds> Lights() {
    Light3ds red;
    red.name = "Omni01";
    red.position = {-160.0f, -90.0f, 40.0f};
    red.colour = {0.9f, 0.2f, 0.1f};
    red.positionKeys = {TcbVectorKey(0, {-160.0f, -90.0f, 40.0f}, 0.0f, 0.0f, 0.0f),
                        TcbVectorKey(70, {0.0f, -140.0f, 90.0f}, 0.0f, 0.4f, 0.0f),
                        TcbVectorKey(140, {160.0f, -90.0f, 30.0f}, 0.0f, 0.0f, -0.3f),
                        VectorKey3ds(kLastFrame, 60.0f, -120.0f, 60.0f)};
    red.colourKeys = {VectorKey3ds(0, 0.9f, 0.2f, 0.1f), VectorKey3ds(100, 1.0f, 0.6f, 0.1f),
                      VectorKey3ds(kLastFrame, 0.9f, 0.2f, 0.1f)};
    Light3ds blue;
    blue.name = "Omni02";
    blue.position = {160.0f, -70.0f, 90.0f};
    blue.colour = {0.1f, 0.3f, 0.9f};
    blue.positionKeys = {VectorKey3ds(0, 160.0f, -70.0f, 90.0f), VectorKey3ds(100, -120.0f, -110.0f, 20.0f),
                         VectorKey3ds(kLastFrame, -60.0f, -90.0f, 80.0f)};
    blue.colourKeys = {VectorKey3ds(0, 0.1f, 0.3f, 0.9f), VectorKey3ds(kLastFrame, 0.3f, 0.2f, 0.9f)};
    Light3ds front;
    front.name = "Omni03";
    front.position = {0.0f, -260.0f, 70.0f};
    front.colour = {0.45f, 0.45f, 0.42f};
    Light3ds spot;
    spot.name = "Spot01";
    spot.spot = true;
    spot.position = {0.0f, -120.0f, 170.0f};
    spot.target = {0.0f, 0.0f, 18.0f};
    spot.colour = {0.0f, 0.0f, 0.0f};
    spot.hotspot = 20.0f;
    spot.falloff = 35.0f;
    // The gold spot comes up once every letter has landed.
    spot.colourKeys = {VectorKey3ds(0, 0.0f, 0.0f, 0.0f), VectorKey3ds(90, 0.0f, 0.0f, 0.0f),
                       VectorKey3ds(130, 0.6f, 0.5f, 0.2f), VectorKey3ds(kLastFrame, 0.6f, 0.5f, 0.2f)};
    spot.targetKeys = {VectorKey3ds(0, -60.0f, 0.0f, 18.0f), VectorKey3ds(kLastFrame, 60.0f, 0.0f, 18.0f)};
    return {red, blue, front, spot};
}

Camera3ds SweepCamera() {
    Camera3ds c;
    c.name = "Camera01";
    c.position = {240.0f, -430.0f, 170.0f};
    c.target = {0.0f, 0.0f, 30.0f};
    c.positionKeys = {TcbVectorKey(0, {240.0f, -430.0f, 170.0f}, 0.0f, 0.0f, 0.0f),
                      TcbVectorKey(100, {70.0f, -260.0f, 70.0f}, 0.0f, 0.0f, 0.3f),
                      TcbVectorKey(kLastFrame, {0.0f, -190.0f, 35.0f}, 0.4f, 0.0f, 0.0f)};
    c.targetKeys = {VectorKey3ds(0, 0.0f, 0.0f, 40.0f), VectorKey3ds(100, 0.0f, 0.0f, 22.0f),
                    VectorKey3ds(kLastFrame, 0.0f, 0.0f, 18.0f)};
    c.rollKeys = {ScalarKey3ds(0, 25.0f), TcbScalarKey(120, 0.0f, 0.0f, 0.0f, 0.0f),
                  ScalarKey3ds(kLastFrame, 0.0f)};
    c.fovKeys = {ScalarKey3ds(0, 70.0f), ScalarKey3ds(kLastFrame, 45.0f)};
    return c;
}

// Faces of the sky box in the description's order, with their pictures: a
// night with stars over a warm glow on the horizon, all round the stage.
struct SkyFace {
    const char* keyword;
    const char* picture;
};
const SkyFace kSkyFaces[] = {
    {"TextureUp", "skyup.jpg"},     {"TextureDown", "skydown.jpg"}, {"TextureLeft", "skyside.jpg"},
    {"TextureRight", "skyside.jpg"}, {"TextureFront", "skyside.jpg"}, {"TextureBack", "skyside.jpg"},
};

} // namespace

std::string LogoSkyDescription() {
    std::string text = "# The logo's night sky\n";
    for (const SkyFace& face : kSkyFaces) {
        text += std::string(face.keyword) + " " + face.picture + "\n";
    }
    return text;
}

std::vector<std::string> LogoSkyPictures() {
    std::vector<std::string> names;
    for (const SkyFace& face : kSkyFaces) {
        if (std::find(names.begin(), names.end(), face.picture) == names.end()) {
            names.push_back(face.picture);
        }
    }
    return names;
}

Scene3ds MakeLogoScene() {
    Scene3ds s;
    const Vec3f white{0.9f, 0.9f, 0.9f};
    s.materials = {
        {"Oro", {0.3f, 0.25f, 0.1f}, {1.0f, 0.8f, 0.4f}, white, "gold.jpg"},
        {"Acciaio", {0.2f, 0.2f, 0.2f}, {0.7f, 0.72f, 0.75f}, white, "steel.tga"},
        {"Griglia", {0.1f, 0.1f, 0.2f}, {0.2f, 0.5f, 0.9f}, white, "grid.tga"},
    };
    s.firstFrame = 0;
    s.lastFrame = kLastFrame;
    const char* title = "VELTA";
    for (int i = 0; i < 5; ++i) {
        Mesh3ds letter = Letter(title[i], (static_cast<float>(i) - 2.0f) * kLetterSpacing);
        Choreograph(&letter, 30 + 14 * i, 140 + 6 * i);
        s.meshes.push_back(letter);
    }
    s.meshes.push_back(Stage());
    // A dummy riding on the E marks the title's centre of interest.
    Dummy3ds mark;
    mark.instanceName = "Centro";
    mark.parent = MeshNodeNumber(s, "E");
    mark.position = {VectorKey3ds(0, 0.0f, 0.0f, 18.0f)};
    mark.rotation = {RotationKey3ds(0, 0.0f, 0.0f, 0.0f, 1.0f)};
    s.dummies.push_back(mark);
    s.lights = Lights();
    s.cameras.push_back(SweepCamera());
    return s;
}

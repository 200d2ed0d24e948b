// Every picture of the demo: the character's skin, the environment maps, the
// mirror floor and the maps the scenes' materials name. All are painted from
// seeded noise and simple shapes; sides are powers of two from 1 to 256.
#include "tools/content/content.h"

#include <cmath>
#include <functional>
#include <map>

namespace {

constexpr float kTwoPi = 6.2831853f;

Rgba C(float r, float g, float b, float a = 1.0f) {
    return Rgba{r, g, b, a};
}

// Paints a region pixel by pixel from its normalised coordinates.
void PaintRegion(Picture* p, int32_t x0, int32_t y0, int32_t w, int32_t h,
                 const std::function<Rgba(float u, float v, int32_t x, int32_t y)>& paint) {
    for (int32_t y = y0; y < y0 + h; ++y) {
        for (int32_t x = x0; x < x0 + w; ++x) {
            const float u = (static_cast<float>(x - x0) + 0.5f) / static_cast<float>(w);
            const float v = (static_cast<float>(y - y0) + 0.5f) / static_cast<float>(h);
            SetPixel(p, x, y, paint(u, v, x, y));
        }
    }
}

void PaintAll(Picture* p, const std::function<Rgba(float u, float v, int32_t x, int32_t y)>& paint) {
    PaintRegion(p, 0, 0, p->width, p->height, paint);
}

bool Near(float a, float b, float d) {
    return std::fabs(a - b) < d;
}

// Environment map: sky above, a bright horizon, dark ground below, clouds.
Picture EnvironmentMap(uint32_t seed, const Rgba& sky, const Rgba& ground) {
    Picture p = MakePicture(256, 256, 3, sky);
    PaintAll(&p, [&](float, float v, int32_t x, int32_t y) {
        const float cloud = SmoothNoise(static_cast<float>(x), static_cast<float>(y), 32, 256, seed);
        const float horizon = std::exp(-std::pow((v - 0.5f) * 9.0f, 2.0f));
        const Rgba c = v < 0.5f ? Mix(sky, C(0.95f, 0.95f, 1.0f), std::max(0.0f, cloud - 0.45f) * 1.6f)
                                : Mix(ground, C(0.05f, 0.05f, 0.06f), (v - 0.5f) * 2.0f);
        return Mix(c, C(1.0f, 0.97f, 0.9f), horizon);
    });
    return p;
}

// Brushed metal with a tint.
Picture Brushed(int32_t w, int32_t h, int32_t channels, const Rgba& tint, uint32_t seed) {
    Picture p = MakePicture(w, h, channels, tint);
    PaintAll(&p, [&](float, float v, int32_t x, int32_t y) {
        const float streak = HashNoise(0, y, seed) * 0.25f + HashNoise(x / 8, y, seed + 1) * 0.1f;
        const float sheen = 0.8f + 0.3f * std::sin(v * kTwoPi);
        return C(tint.r * (sheen + streak - 0.15f), tint.g * (sheen + streak - 0.15f),
                 tint.b * (sheen + streak - 0.15f), tint.a);
    });
    return p;
}

// Diamond-plate floor.
Picture DiamondPlate(int32_t size, uint32_t seed) {
    Picture p = MakePicture(size, size, 3, C(0.5f, 0.5f, 0.52f));
    const int32_t cell = size / 8;
    PaintAll(&p, [&](float, float, int32_t x, int32_t y) {
        const int32_t cx = x % cell - cell / 2;
        const int32_t cy = y % cell - cell / 2;
        const bool flip = ((x / cell) + (y / cell)) % 2 == 0;
        const float a = flip ? static_cast<float>(cx + cy) : static_cast<float>(cx - cy);
        const float b = flip ? static_cast<float>(cx - cy) : static_cast<float>(cx + cy);
        const bool ridge = std::fabs(a) < cell * 0.12f && std::fabs(b) < cell * 0.5f;
        const float n = SmoothNoise(static_cast<float>(x), static_cast<float>(y), 16, size, seed) * 0.15f;
        return ridge ? C(0.75f + n, 0.75f + n, 0.78f + n) : C(0.42f + n, 0.42f + n, 0.45f + n);
    });
    return p;
}

Picture WallPanels() {
    Picture p = MakePicture(256, 128, 3, C(0.55f, 0.57f, 0.6f));
    PaintAll(&p, [&](float u, float v, int32_t x, int32_t y) {
        const float n = SmoothNoise(static_cast<float>(x), static_cast<float>(y), 8, 256, 11) * 0.12f;
        Rgba c = C(0.5f + n, 0.53f + n, 0.58f + n);
        const float pu = std::fmod(u * 4.0f, 1.0f);
        if (pu < 0.03f || pu > 0.97f || v < 0.04f || v > 0.96f || Near(v, 0.5f, 0.015f)) {
            c = C(0.2f, 0.22f, 0.25f); // seams between the panels
        } else if (Near(v, 0.75f, 0.03f)) {
            c = C(0.85f, 0.5f, 0.1f); // a stripe along the corridor
        } else if (Near(pu, 0.5f, 0.1f) && Near(v, 0.3f, 0.08f)) {
            c = C(0.35f + n, 0.38f + n, 0.42f + n); // a hatch
        }
        return c;
    });
    return p;
}

Picture CeilingTiles() {
    Picture p = MakePicture(128, 128, 3, C(0.6f, 0.6f, 0.62f));
    PaintAll(&p, [&](float u, float v, int32_t x, int32_t y) {
        const float n = HashNoise(x / 4, y / 4, 21) * 0.08f;
        const bool grille = std::fmod(u * 16.0f, 1.0f) < 0.4f && Near(v, 0.5f, 0.3f) && Near(u, 0.5f, 0.3f);
        const bool seam = u < 0.03f || v < 0.03f;
        return seam     ? C(0.25f, 0.25f, 0.28f)
               : grille ? C(0.3f, 0.32f, 0.35f)
                        : C(0.6f + n, 0.6f + n, 0.64f + n);
    });
    return p;
}

Picture DoorPicture() {
    Picture p = MakePicture(64, 128, 3, C(0.7f, 0.6f, 0.2f));
    PaintAll(&p, [&](float u, float v, int32_t x, int32_t y) {
        const float n = HashNoise(x, y, 31) * 0.06f;
        if (v > 0.85f) { // hazard stripes along the bottom
            return (static_cast<int32_t>((u + v) * 12.0f) % 2 == 0) ? C(0.95f, 0.8f, 0.1f)
                                                                    : C(0.1f, 0.1f, 0.1f);
        }
        if (Near(u, 0.5f, 0.25f) && Near(v, 0.3f, 0.1f)) {
            return C(0.2f, 0.6f, 0.9f); // a small window
        }
        if (u < 0.05f || u > 0.95f || v < 0.03f) {
            return C(0.3f, 0.3f, 0.3f);
        }
        return C(0.55f + n, 0.57f + n, 0.6f + n);
    });
    return p;
}

Picture SpaceView() {
    Picture p = MakePicture(256, 128, 3, C(0.0f, 0.0f, 0.05f));
    PaintAll(&p, [&](float u, float v, int32_t x, int32_t y) {
        const float star = HashNoise(x, y, 41);
        Rgba c = C(0.01f, 0.01f,
                   0.06f + 0.08f * SmoothNoise(static_cast<float>(x), static_cast<float>(y), 32, 256, 42));
        if (star > 0.992f) {
            c = C(1.0f, 1.0f, 0.9f);
        }
        // A planet in the lower right, lit from the left.
        const float dx = (u - 0.7f) * 2.0f;
        const float dy = (v - 0.75f);
        const float d = std::sqrt(dx * dx + dy * dy);
        if (d < 0.4f) {
            const float light = std::max(0.0f, -dx / 0.4f * 0.7f + 0.3f);
            const float band =
                SmoothNoise(static_cast<float>(x) * 0.5f, static_cast<float>(y) * 4.0f, 16, 256, 43);
            c = C((0.5f + 0.4f * band) * light, (0.3f + 0.2f * band) * light, (0.25f) * light);
        }
        return c;
    });
    return p;
}

Picture Screen() {
    Picture p = MakePicture(32, 32, 4, C(0.0f, 0.2f, 0.1f));
    PaintAll(&p, [&](float u, float v, int32_t x, int32_t y) {
        const bool line = (y % 4 == 1) && HashNoise(x / 3, y, 51) > 0.35f && u > 0.1f && u < 0.9f;
        const bool graph = Near(v, 0.7f + 0.15f * std::sin(u * 9.0f), 0.04f);
        return line ? C(0.3f, 1.0f, 0.6f) : graph ? C(1.0f, 0.8f, 0.2f) : C(0.02f, 0.15f, 0.1f, 0.9f);
    });
    return p;
}

Picture Lamp() {
    Picture p = MakePicture(16, 16, 4, C(1.0f, 1.0f, 1.0f));
    PaintAll(&p, [&](float u, float v, int32_t, int32_t) {
        const float edge = std::min(std::min(u, 1.0f - u), std::min(v, 1.0f - v));
        return edge < 0.1f ? C(0.4f, 0.4f, 0.45f, 1.0f) : C(1.0f, 1.0f, 0.92f, 1.0f);
    });
    return p;
}

Picture Trim() {
    Picture p = MakePicture(8, 32, 3, C(0.4f, 0.42f, 0.46f));
    PaintAll(&p, [&](float u, float v, int32_t, int32_t) {
        if (Near(u, 0.5f, 0.13f)) {
            return C(0.9f, 0.55f, 0.1f);
        }
        return C(0.35f + 0.2f * v, 0.37f + 0.2f * v, 0.42f + 0.2f * v);
    });
    return p;
}

// The logo's night sky. On a side face v = 0 is 45 degrees up and v = 0.5
// the horizon, where a warm glow rises; stars thin out toward it.
Rgba NightAt(float elevation) {
    const Rgba zenith = C(0.03f, 0.04f, 0.16f);
    const Rgba dusk = C(0.16f, 0.1f, 0.32f);
    const Rgba glow = C(0.85f, 0.42f, 0.3f);
    if (elevation < 0.0f) {
        return Mix(C(0.3f, 0.14f, 0.16f), C(0.04f, 0.03f, 0.07f), std::min(1.0f, -elevation * 4.0f));
    }
    const Rgba high = Mix(dusk, zenith, std::min(1.0f, elevation * 1.4f));
    return Mix(high, glow, std::exp(-elevation * 9.0f));
}

Rgba WithStar(const Rgba& sky, int32_t x, int32_t y, uint32_t seed, float density) {
    const float star = HashNoise(x, y, seed);
    if (star > 1.0f - density) {
        const float k = 0.6f + 0.4f * HashNoise(x, y, seed + 1);
        return Mix(sky, C(1.0f, 0.97f, 0.9f), k);
    }
    return sky;
}

Picture SkySide() {
    Picture p = MakePicture(128, 128, 3, C(0.0f, 0.0f, 0.0f));
    PaintAll(&p, [&](float, float v, int32_t x, int32_t y) {
        // v to elevation: the face spans 45 degrees up to 45 down; tan
        // keeps the horizon's glow where the eye sees it.
        const float elevation = std::atan(1.0f - 2.0f * v) / (kTwoPi * 0.25f);
        const float haze = SmoothNoise(static_cast<float>(x), static_cast<float>(y) * 3.0f, 16, 128, 101);
        Rgba c = NightAt(elevation);
        c = Mix(c, C(0.5f, 0.3f, 0.45f), std::max(0.0f, haze - 0.6f) * std::exp(-elevation * 6.0f));
        return elevation > 0.05f ? WithStar(c, x, y, 102, 0.012f * elevation * 2.0f) : c;
    });
    return p;
}

Picture SkyUp() {
    Picture p = MakePicture(128, 128, 3, C(0.0f, 0.0f, 0.0f));
    PaintAll(&p, [&](float u, float v, int32_t x, int32_t y) {
        const float edge = std::max(std::fabs(u - 0.5f), std::fabs(v - 0.5f)) * 2.0f;
        return WithStar(NightAt(0.5f + 0.5f * (1.0f - edge)), x, y, 103, 0.012f);
    });
    return p;
}

Picture SkyDown() {
    return MakePicture(32, 32, 3, NightAt(-1.0f));
}

Picture Grid() {
    Picture p = MakePicture(32, 32, 4, C(0.05f, 0.05f, 0.1f));
    PaintAll(&p, [&](float u, float v, int32_t, int32_t) {
        const bool line = u < 0.06f || v < 0.06f;
        return line ? C(0.2f, 0.6f, 1.0f, 1.0f) : C(0.04f, 0.05f, 0.12f, 0.6f);
    });
    return p;
}

// A glowing streak across the width, bright in the middle.
Picture Glow(int32_t w, int32_t h, int32_t channels, const Rgba& colour) {
    Picture p = MakePicture(w, h, channels, colour);
    PaintAll(&p, [&](float u, float v, int32_t, int32_t) {
        const float across = std::exp(-std::pow((v - 0.5f) * 4.0f, 2.0f));
        const float along = 0.6f + 0.4f * std::sin(u * kTwoPi * 3.0f);
        const float k = across * along;
        return C(colour.r * k + 0.3f * k * k, colour.g * k + 0.3f * k * k, colour.b * k + 0.3f * k * k, k);
    });
    return p;
}

// The inside of a tube of light: near white, with soft bands across its
// length that show the speed, and a faint blue in the darker bands.
Picture LightTube() {
    Picture p = MakePicture(64, 128, 3, C(1.0f, 1.0f, 1.0f));
    PaintAll(&p, [&](float u, float v, int32_t x, int32_t y) {
        const float band = 0.5f + 0.5f * std::sin(v * kTwoPi * 6.0f + 2.0f * std::sin(u * kTwoPi));
        const float n = SmoothNoise(static_cast<float>(x), static_cast<float>(y), 8, 64, 97) * 0.08f;
        return Mix(C(0.7f, 0.85f, 1.0f), C(1.0f, 1.0f, 0.97f), 0.6f + 0.4f * band - n);
    });
    return p;
}

Picture Spark() {
    Picture p = MakePicture(4, 4, 4, C(1.0f, 1.0f, 1.0f));
    PaintAll(&p, [&](float u, float v, int32_t, int32_t) {
        const float d = std::hypot(u - 0.5f, v - 0.5f);
        const float k = std::max(0.0f, 1.0f - d * 2.2f);
        return C(0.6f + 0.4f * k, 0.8f * k + 0.2f, 1.0f, k);
    });
    return p;
}

Picture CharacterSkinPicture() {
    Picture p = MakePicture(256, 256, 3, C(0.4f, 0.4f, 0.42f));
    const Rgba suit = C(0.18f, 0.3f, 0.4f);
    const Rgba plate = C(0.65f, 0.68f, 0.72f);
    const Rgba stripe = C(0.95f, 0.5f, 0.1f);
    const Rgba skin = C(0.85f, 0.65f, 0.5f);
    const Rgba dark = C(0.12f, 0.12f, 0.14f);
    // Torso: waist at the top of its rectangle, neck at the bottom.
    PaintRegion(&p, 0, 0, 128, 96, [&](float u, float v, int32_t, int32_t) {
        if (Near(v, 0.12f, 0.04f)) {
            return stripe;
        }
        if (Near(u, 0.5f, 0.2f) && v > 0.45f && v < 0.85f) {
            return Near(u, 0.5f, 0.03f) ? dark : plate; // chest plate, seam down the middle
        }
        if (v > 0.9f) {
            return dark;
        }
        return suit;
    });
    // Pelvis: belt and buckle.
    PaintRegion(&p, 0, 96, 128, 32, [&](float u, float v, int32_t, int32_t) {
        if (v > 0.7f) {
            return Near(u, 0.5f, 0.06f) ? C(0.9f, 0.8f, 0.3f) : dark;
        }
        return suit;
    });
    // Head: face at the front (middle of the rectangle), helmet around it.
    PaintRegion(&p, 128, 0, 128, 64, [&](float u, float v, int32_t, int32_t) {
        const bool face = Near(u, 0.5f, 0.17f) && v > 0.2f && v < 0.72f;
        if (!face) {
            return v < 0.2f                              ? skin
                   : (v > 0.75f || !Near(u, 0.5f, 0.3f)) ? C(0.8f, 0.35f, 0.1f)
                                                         : C(0.7f, 0.3f, 0.1f);
        }
        if (Near(v, 0.55f, 0.05f) && (Near(u, 0.44f, 0.03f) || Near(u, 0.56f, 0.03f))) {
            return C(0.1f, 0.2f, 0.6f); // eyes
        }
        if (Near(v, 0.33f, 0.025f) && Near(u, 0.5f, 0.06f)) {
            return C(0.5f, 0.2f, 0.2f); // mouth
        }
        if (Near(v, 0.64f, 0.02f) && Near(u, 0.5f, 0.12f)) {
            return C(0.3f, 0.2f, 0.1f); // brows
        }
        return skin;
    });
    // Upper arms: shoulder pads on top.
    PaintRegion(&p, 128, 64, 64, 64,
                [&](float, float v, int32_t, int32_t) { return v < 0.3f ? plate : suit; });
    // Forearms: sleeve, cuff, glove.
    PaintRegion(&p, 192, 64, 64, 64, [&](float, float v, int32_t, int32_t) {
        return v < 0.65f ? suit : v < 0.72f ? stripe : dark;
    });
    // Thighs and shins: trousers, knee pads, boots.
    PaintRegion(&p, 0, 128, 64, 64, [&](float u, float v, int32_t, int32_t) {
        return Near(u, 0.5f, 0.08f) && v > 0.2f ? stripe : suit;
    });
    PaintRegion(&p, 64, 128, 64, 64, [&](float u, float v, int32_t, int32_t) {
        if (v < 0.2f && Near(u, 0.5f, 0.2f)) {
            return plate;
        }
        return v > 0.45f ? dark : suit;
    });
    PaintRegion(&p, 128, 128, 64, 32, [&](float, float, int32_t, int32_t) { return dark; });
    PaintRegion(&p, 192, 128, 64, 32, [&](float, float, int32_t, int32_t) { return C(0.3f, 0.3f, 0.32f); });
    AddGrain(&p, 0.12f, 4, 61);
    return p;
}

enum class Format { Jpeg, Tga };

struct TextureRecipe {
    Format format;
    std::function<Picture()> paint;
};

const std::map<std::string, TextureRecipe>& Recipes() {
    static const std::map<std::string, TextureRecipe> recipes = {
        {kChromeFile,
         {Format::Jpeg, [] { return EnvironmentMap(71, C(0.3f, 0.45f, 0.8f), C(0.35f, 0.25f, 0.15f)); }}},
        {kCorridorChromeFile,
         {Format::Jpeg, [] { return EnvironmentMap(72, C(0.25f, 0.35f, 0.45f), C(0.3f, 0.3f, 0.32f)); }}},
        {kMirrorFloorFile, {Format::Jpeg, [] { return DiamondPlate(256, 73); }}},
        {kCharacterSkinFile, {Format::Jpeg, [] { return CharacterSkinPicture(); }}},
        {"gold.jpg", {Format::Jpeg, [] { return Brushed(128, 128, 3, C(1.0f, 0.78f, 0.35f), 81); }}},
        {"steel.tga", {Format::Tga, [] { return Brushed(64, 64, 3, C(0.75f, 0.78f, 0.82f), 82); }}},
        {"skyup.jpg", {Format::Jpeg, [] { return SkyUp(); }}},
        {"skyside.jpg", {Format::Jpeg, [] { return SkySide(); }}},
        {"skydown.jpg", {Format::Jpeg, [] { return SkyDown(); }}},
        {"grid.tga", {Format::Tga, [] { return Grid(); }}},
        {"wall.jpg", {Format::Jpeg, [] { return WallPanels(); }}},
        {"ceiling.jpg", {Format::Jpeg, [] { return CeilingTiles(); }}},
        {"floor.jpg", {Format::Jpeg, [] { return DiamondPlate(128, 74); }}},
        {"door.jpg", {Format::Jpeg, [] { return DoorPicture(); }}},
        {"space.jpg", {Format::Jpeg, [] { return SpaceView(); }}},
        {"screen.tga", {Format::Tga, [] { return Screen(); }}},
        {"lamp.tga", {Format::Tga, [] { return Lamp(); }}},
        {"trim.tga", {Format::Tga, [] { return Trim(); }}},
        {"glow.tga", {Format::Tga, [] { return Glow(256, 16, 4, C(0.3f, 0.6f, 1.0f)); }}},
        {"glowred.tga", {Format::Tga, [] { return Glow(128, 8, 4, C(1.0f, 0.35f, 0.15f)); }}},
        {"streak.tga", {Format::Tga, [] { return Glow(64, 2, 3, C(0.8f, 0.4f, 1.0f)); }}},
        {"spark.tga", {Format::Tga, [] { return Spark(); }}},
        {"lighttube.jpg", {Format::Jpeg, [] { return LightTube(); }}},
    };
    return recipes;
}

} // namespace

Picture MakeCharacterSkin() {
    return CharacterSkinPicture();
}

std::vector<uint8_t> MakeTextureFile(const std::string& name) {
    const auto found = Recipes().find(name);
    if (found == Recipes().end()) {
        return {};
    }
    const Picture picture = found->second.paint();
    return found->second.format == Format::Jpeg ? PictureToJpeg(picture) : PictureToTga(picture);
}

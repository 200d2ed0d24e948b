// Procedural pictures: see picture.h.
#include "tools/content/picture.h"

#include "tools/formats/image_writer.h" // EncodeJpeg, EncodeTga

#include <algorithm>
#include <cmath>

namespace {

uint8_t ToByte(float v) {
    const float c = std::clamp(v, 0.0f, 1.0f);
    return static_cast<uint8_t>(std::lround(c * 255.0f));
}

int32_t Wrap(int32_t v, int32_t n) {
    const int32_t m = v % n;
    return m < 0 ? m + n : m;
}

} // namespace

Picture MakePicture(int32_t width, int32_t height, int32_t channels, const Rgba& fill) {
    Picture p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels),
                    0);
    FillRect(&p, 0, 0, width, height, fill);
    return p;
}

Rgba GetPixel(const Picture& p, int32_t x, int32_t y) {
    const size_t at = (static_cast<size_t>(Wrap(y, p.height)) * static_cast<size_t>(p.width) +
                       static_cast<size_t>(Wrap(x, p.width))) *
                      static_cast<size_t>(p.channels);
    const float k = 1.0f / 255.0f;
    return Rgba{p.pixels[at] * k, p.pixels[at + 1] * k, p.pixels[at + 2] * k,
                p.channels == 4 ? p.pixels[at + 3] * k : 1.0f};
}

void SetPixel(Picture* p, int32_t x, int32_t y, const Rgba& c) {
    if (x < 0 || y < 0 || x >= p->width || y >= p->height) {
        return;
    }
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(p->width) + static_cast<size_t>(x)) *
                      static_cast<size_t>(p->channels);
    p->pixels[at] = ToByte(c.r);
    p->pixels[at + 1] = ToByte(c.g);
    p->pixels[at + 2] = ToByte(c.b);
    if (p->channels == 4) {
        p->pixels[at + 3] = ToByte(c.a);
    }
}

void FillRect(Picture* p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Rgba& c) {
    for (int32_t y = std::max(0, y0); y < std::min(p->height, y1); ++y) {
        for (int32_t x = std::max(0, x0); x < std::min(p->width, x1); ++x) {
            SetPixel(p, x, y, c);
        }
    }
}

float HashNoise(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h =
        static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<float>(h & 0xFFFFFFu) / 16777215.0f;
}

float SmoothNoise(float x, float y, int32_t cell, int32_t period, uint32_t seed) {
    const int32_t cells = std::max(1, period / cell);
    const float fx = x / static_cast<float>(cell);
    const float fy = y / static_cast<float>(cell);
    const int32_t ix = static_cast<int32_t>(std::floor(fx));
    const int32_t iy = static_cast<int32_t>(std::floor(fy));
    float tx = fx - static_cast<float>(ix);
    float ty = fy - static_cast<float>(iy);
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    auto corner = [&](int32_t cx, int32_t cy) { return HashNoise(Wrap(cx, cells), Wrap(cy, cells), seed); };
    const float a = corner(ix, iy) + (corner(ix + 1, iy) - corner(ix, iy)) * tx;
    const float b = corner(ix, iy + 1) + (corner(ix + 1, iy + 1) - corner(ix, iy + 1)) * tx;
    return a + (b - a) * ty;
}

void AddGrain(Picture* p, float amount, int32_t cell, uint32_t seed) {
    const int32_t period = std::max(p->width, p->height);
    for (int32_t y = 0; y < p->height; ++y) {
        for (int32_t x = 0; x < p->width; ++x) {
            const float n =
                (SmoothNoise(static_cast<float>(x), static_cast<float>(y), cell, period, seed) - 0.5f) *
                amount;
            Rgba c = GetPixel(*p, x, y);
            c.r += n;
            c.g += n;
            c.b += n;
            SetPixel(p, x, y, c);
        }
    }
}

Rgba Mix(const Rgba& a, const Rgba& b, float t) {
    return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

std::vector<uint8_t> PictureToJpeg(const Picture& p, int32_t quality) {
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * 3);
    for (size_t i = 0; i < p.pixels.size(); i += static_cast<size_t>(p.channels)) {
        rgb.insert(rgb.end(), {p.pixels[i], p.pixels[i + 1], p.pixels[i + 2]});
    }
    JpegWriteOptions options;
    options.quality = quality;
    return EncodeJpeg(rgb.data(), p.width, p.height, 3, options);
}

std::vector<uint8_t> PictureToTga(const Picture& p) {
    // Bottom-left origin: rows go into the file bottom row first.
    std::vector<uint8_t> flipped;
    flipped.reserve(p.pixels.size());
    const size_t row = static_cast<size_t>(p.width) * static_cast<size_t>(p.channels);
    for (int32_t y = p.height - 1; y >= 0; --y) {
        const auto start = p.pixels.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(y) * row);
        flipped.insert(flipped.end(), start, start + static_cast<std::ptrdiff_t>(row));
    }
    return EncodeTga(flipped.data(), p.width, p.height, p.channels * 8);
}

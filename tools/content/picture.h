// Procedural pictures for the content builder: an RGB or RGBA pixel grid,
// a few deterministic painting helpers (every random value comes from a
// seeded hash, never from the clock), and the encoders into the archive's
// image formats (JPEG through libjpeg, uncompressed TGA).
#pragma once

#include <cstdint>
#include <vector>

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 3;        // 3: R G B, 4: R G B A
    std::vector<uint8_t> pixels; // top row first
};

struct Rgba {
    float r;
    float g;
    float b;
    float a;
};

// A picture of the given size filled with `fill` (components 0..1).
Picture MakePicture(int32_t width, int32_t height, int32_t channels, const Rgba& fill);
// Component values 0..1 of pixel (x, y); x and y wrap around.
Rgba GetPixel(const Picture& p, int32_t x, int32_t y);
// Stores a pixel, clamping each component to 0..1; outside the picture it is ignored.
void SetPixel(Picture* p, int32_t x, int32_t y, const Rgba& c);
// Fills the rectangle [x0, x1) x [y0, y1) (clipped) with `c`.
void FillRect(Picture* p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const Rgba& c);

// Deterministic value noise in 0..1: a hash of (x, y, seed).
float HashNoise(int32_t x, int32_t y, uint32_t seed);
// Smooth noise in 0..1 with features of `cell` pixels, tiling over `period` pixels.
float SmoothNoise(float x, float y, int32_t cell, int32_t period, uint32_t seed);
// Adds (noise - 0.5) x amount to every colour component.
void AddGrain(Picture* p, float amount, int32_t cell, uint32_t seed);

// Linear blend of two colours.
Rgba Mix(const Rgba& a, const Rgba& b, float t);

// The picture as a baseline JPEG (RGB only; alpha is dropped). Empty on failure.
std::vector<uint8_t> PictureToJpeg(const Picture& p, int32_t quality = 90);
// The picture as an uncompressed TGA of 24 bits (RGB) or 32 bits (RGBA),
// bottom row first as the format's default origin says.
std::vector<uint8_t> PictureToTga(const Picture& p);

// The library's icon, generated rather than stored: a tilted square frame
// inside a second one, in the blues of the dialog's logo, on a clear ground.
#include "framework/lumora_local_sdl.h"

#include <cmath> // fabsf

namespace {

// Distance-like measure of a point from the centre in a square rotated 45
// degrees (the "diamond" norm), both coordinates in -1..1.
float DiamondNorm(const float x, const float y) {
    return std::fabs(x) + std::fabs(y);
}

float SquareNorm(const float x, const float y) {
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    return ax > ay ? ax : ay;
}

} // namespace

void DrawIconPixels(unsigned char* rgba, const int size) {
    if (rgba == nullptr || size <= 0) {
        return;
    }
    for (int row = 0; row < size; ++row) {
        for (int col = 0; col < size; ++col) {
            unsigned char* px = rgba + (static_cast<long>(row) * size + col) * 4;
            // Pixel centre in -1..1.
            const float x = (2.0f * static_cast<float>(col) + 1.0f) / static_cast<float>(size) - 1.0f;
            const float y = (2.0f * static_cast<float>(row) + 1.0f) / static_cast<float>(size) - 1.0f;
            const float outer = SquareNorm(x, y);
            const float inner = DiamondNorm(x, y);
            unsigned char r = 0;
            unsigned char g = 0;
            unsigned char b = 0;
            unsigned char a = 0;
            if (outer > 0.78f && outer <= 0.96f) {
                r = 40;
                g = 90;
                b = 200;
                a = 255;
            } else if (inner > 0.55f && inner <= 0.78f) {
                r = 120;
                g = 200;
                b = 255;
                a = 255;
            } else if (inner <= 0.22f) {
                r = 255;
                g = 255;
                b = 255;
                a = 255;
            }
            px[0] = r;
            px[1] = g;
            px[2] = b;
            px[3] = a;
        }
    }
}

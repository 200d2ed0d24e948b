// The engine frame and time in a corner of the window: a small fixed font of
// 5 x 7 cells drawn as quads, so that no font file or text library is needed
// on any of the three systems.
#include "app/player.h"

#include "engine/engine.h"     // g_engine
#include "scene/draw.h"        // DrawViewport, DrawProjection
#include "texture/texture.h"   // UploadTexture

#include <cmath>   // floor
#include <cstdint> // uint8_t
#include <cstdio>  // snprintf

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// One character: its rows from the top, the leftmost cell in bit 4.
struct Glyph {
    char c;
    uint8_t rows[kGlyphHeight];
};

// clang-format off
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
};
// clang-format on

const Glyph* FindGlyph(const char c) {
    for (const Glyph& g : kGlyphs) {
        if (g.c == c) {
            return &g;
        }
    }
    return nullptr;
}

// The quads are drawn with whatever texturing state the show left (its noise
// effect turns texturing off for good); a white texel makes the colour come
// through either way.
uint32_t s_white = 0;

// Pixel rectangles in clip space over a screen of width x height.
class QuadWriter {
  public:
    QuadWriter(const int width, const int height) : sx(2.0f / static_cast<float>(width)), sy(2.0f / static_cast<float>(height)) {}
    void Quad(const int x, const int y, const int w, const int h, const float r, const float g, const float b,
              const float a) const {
        const GlTable& gl = g_engine.draw.gl;
        const float left = -1.0f + static_cast<float>(x) * sx;
        const float right = -1.0f + static_cast<float>(x + w) * sx;
        const float top = 1.0f - static_cast<float>(y) * sy;
        const float bottom = 1.0f - static_cast<float>(y + h) * sy;
        const float corners[6][3] = {{left, top, 0.0f},     {left, bottom, 0.0f}, {right, bottom, 0.0f},
                                     {left, top, 0.0f},     {right, bottom, 0.0f}, {right, top, 0.0f}};
        const float uv[2] = {0.5f, 0.5f};
        for (const auto& corner : corners) {
            gl.Color4f(r, g, b, a);
            gl.TexCoord2fv(uv);
            gl.Vertex3fv(corner);
        }
    }

  private:
    float sx;
    float sy;
};

} // namespace

std::string CornerText(const float frame, const bool paused) {
    const double whole = std::floor(static_cast<double>(frame) + 1e-3);
    char text[64] = {};
    std::snprintf(text, sizeof text, "FRAME %.0f  %.2f S%s", whole, whole / 25.0, paused ? "\nPAUSED" : "");
    return text;
}

void DrawCornerText(const std::string& text, const int screenWidth, const int screenHeight) {
    if (screenWidth <= 0 || screenHeight <= 0 || text.empty()) {
        return;
    }
    const GlTable& gl = g_engine.draw.gl;
    if (s_white == 0) {
        const uint8_t white[3] = {255, 255, 255};
        s_white = UploadTexture(white, 1, 1, GL_RGB, GL_RGB, false);
    }
    // A font cell of 2 pixels at 320 x 240, 3 at 640 x 480 and so on.
    const int cell = screenHeight >= 320 ? screenHeight / 160 : 2;
    const int advance = (kGlyphWidth + 1) * cell;
    const int margin = cell * 2;
    DrawViewport(&g_engine.draw, 0, 0, screenWidth, screenHeight);
    DrawProjection(&g_engine.draw, nullptr);
    gl.Disable(GL_DEPTH_TEST);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.BindTexture(GL_TEXTURE_2D, s_white);
    const QuadWriter quads(screenWidth, screenHeight);
    const int lineHeight = (kGlyphHeight + 2) * cell;
    int columns = 0;
    int lines = 1;
    for (int column = 0; const char c : text) {
        column = c == '\n' ? 0 : column + 1;
        lines += c == '\n' ? 1 : 0;
        columns = column > columns ? column : columns;
    }
    gl.Begin(GL_TRIANGLES);
    quads.Quad(0, 0, margin * 2 + advance * columns, margin * 2 + lineHeight * lines - 2 * cell, 0.0f, 0.0f, 0.0f,
               0.6f);
    int line = 0;
    int column = 0;
    for (const char c : text) {
        if (c == '\n') {
            line += 1;
            column = 0;
            continue;
        }
        const Glyph* glyph = FindGlyph(c);
        for (int row = 0; glyph != nullptr && row < kGlyphHeight; ++row) {
            for (int col = 0; col < kGlyphWidth; ++col) {
                if ((glyph->rows[row] >> (kGlyphWidth - 1 - col) & 1) != 0) {
                    quads.Quad(margin + column * advance + col * cell, margin + line * lineHeight + row * cell, cell,
                               cell, 1.0f, 1.0f, 1.0f, 1.0f);
                }
            }
        }
        column += 1;
    }
    gl.End();
    gl.Disable(GL_BLEND);
    gl.Enable(GL_DEPTH_TEST);
}

void ForgetCornerTextTexture() { s_white = 0; }

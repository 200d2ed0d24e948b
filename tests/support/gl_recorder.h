// What the drawing asks of GL, as results rather than calls. While a
// GlRecorder lives, the GL table of its DrawContext is its own: every
// triangle that reaches the table (immediate GL_TRIANGLES and strips,
// indexed and single array elements) is kept with its vertices as GL would
// receive them and the state it is drawn in, so tests check what is drawn,
// not in which order the calls came. Calls that draw nothing (clears,
// scissor, clip planes) are counted and their last arguments kept. With
// `forward` set every call also reaches the table that was there before (a
// context must then be current).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "scene/draw.h" // DrawContext, GlTable

// One vertex as GL receives it: eye-space position, colour with alpha,
// texture coordinates.
struct DrawnVertex {
    float x, y, z;
    float r, g, b, a;
    float u, v;
};

// One triangle and the state it was drawn in.
struct DrawnTriangle {
    DrawnVertex v[3];
    uint32_t texture;     // bound GL_TEXTURE_2D
    bool textured;        // GL_TEXTURE_2D enabled
    bool blend;           // GL_BLEND enabled
    uint32_t blendSource; // the blend function while it was drawn
    uint32_t blendDestination;
    bool depthTest;     // GL_DEPTH_TEST enabled
    bool scissor;       // GL_SCISSOR_TEST enabled
    int32_t clipPlanes; // user clip planes enabled
    bool immediate;     // sent vertex by vertex (else from the arrays)
};

class GlRecorder {
  public:
    explicit GlRecorder(DrawContext* ctx, bool forward = false);
    ~GlRecorder();
    GlRecorder(const GlRecorder&) = delete;
    GlRecorder& operator=(const GlRecorder&) = delete;

    std::vector<DrawnTriangle> triangles;
    // Calls by entry name ("Clear", "Scissor", ...), all entries counted.
    std::map<std::string, int> counts;
    std::vector<uint32_t> clears;          // Clear masks in order
    int32_t scissorRect[4] = {0, 0, 0, 0}; // the last Scissor
    double clipPlanes[6][4] = {};          // the last ClipPlane of each plane
    float loadedMatrix[16] = {};           // the last LoadMatrixf
    // State now: the program starts with texturing and depth test on.
    bool textured = true;
    bool blend = false;
    bool depthTest = true;
    bool scissor = false;
    bool fog = false;
    int32_t clipPlanesOn = 0;
    uint32_t boundTexture = 0;
    bool insideBegin = false;

    int Count(const std::string& name) const;
    // Triangles drawn with texture `texture` bound (and texturing on).
    std::vector<DrawnTriangle> WithTexture(uint32_t texture) const;
    void Clear();

    DrawContext* ctx;
    GlTable previous;
    bool forward;
};

// True when the two triangles have the same corners (positions within
// `tolerance`), whatever corner each starts at.
bool SameCorners(const DrawnTriangle& a, const DrawnTriangle& b, float tolerance);

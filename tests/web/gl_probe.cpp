// Draws small known pictures through the WebGL drawing table and reports the
// pixels that tell whether each piece of the emulated fixed function works:
// fog of each mode, a clip plane, texturing, indexed and array-element
// vertices, immediate vertices with the current colour. The page
// (gl_probe.html) calls gl_probe_run; tests/web/web_test.py checks the
// pixels against what GL's own formulas give.
#include "platform/gl_table.h"

#include <GLES2/gl2.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <string>

namespace {

constexpr int kSize = 64;
GlTable s_gl;

// Eye space to the screen: x and y as they are, eye depth -1..-10 into the
// depth range, so that a quad at eye z = -5 lies in the middle.
constexpr GLfloat kProjection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0.5f, 1};

struct Vertex {
    GLfloat u, v, r, g, b, x, y, z;
};

void Reset() {
    s_gl.Disable(GL_FOG);
    s_gl.Disable(GL_TEXTURE_2D);
    s_gl.Disable(GL_CLIP_PLANE0);
    s_gl.Disable(GL_BLEND);
    s_gl.Disable(GL_DEPTH_TEST);
    s_gl.Viewport(0, 0, kSize, kSize);
    s_gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    s_gl.MatrixMode(GL_PROJECTION);
    s_gl.LoadMatrixf(kProjection);
    s_gl.MatrixMode(GL_MODELVIEW);
    s_gl.LoadIdentity();
}

// A white square over the whole view at eye depth z, one vertex at a time.
void WhiteSquare(const GLfloat z) {
    const GLfloat corners[4][3] = {{-1, -1, z}, {1, -1, z}, {-1, 1, z}, {1, 1, z}};
    s_gl.Begin(GL_TRIANGLE_STRIP);
    s_gl.Color4f(1, 1, 1, 1);
    for (const auto& c : corners) {
        s_gl.Vertex3fv(c);
    }
    s_gl.End();
}

std::string Pixel(const char* name, const int x, const int y) {
    uint8_t p[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return std::string("\"") + name + "\":[" + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," +
           std::to_string(p[2]) + "]";
}

std::string FogCase(const char* name, const GLint mode) {
    Reset();
    const GLfloat black[4] = {0, 0, 0, 0};
    s_gl.Fogfv(GL_FOG_COLOR, black);
    s_gl.Fogi(GL_FOG_MODE, mode);
    s_gl.Fogf(GL_FOG_DENSITY, 0.2f);
    s_gl.Fogf(GL_FOG_START, 0.0f);
    s_gl.Fogf(GL_FOG_END, 10.0f);
    s_gl.Enable(GL_FOG);
    WhiteSquare(-5.0f);
    return Pixel(name, kSize / 2, kSize / 2);
}

std::string ClipCase() {
    Reset();
    // Keeps x >= 0: the right half.
    const GLdouble plane[4] = {1, 0, 0, 0};
    s_gl.ClipPlane(GL_CLIP_PLANE0, plane);
    s_gl.Enable(GL_CLIP_PLANE0);
    WhiteSquare(-5.0f);
    return Pixel("clip_left", kSize / 4, kSize / 2) + "," + Pixel("clip_right", 3 * kSize / 4, kSize / 2);
}

// A 2 x 2 texture: red, green / blue, white; each quarter of the view shows one.
std::string TextureCase() {
    Reset();
    const uint8_t texels[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    GLuint name = 0;
    s_gl.GenTextures(1, &name);
    s_gl.BindTexture(GL_TEXTURE_2D, name);
    s_gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    s_gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    s_gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    s_gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    s_gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    s_gl.TexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    s_gl.Enable(GL_TEXTURE_2D);
    const GLfloat uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    const GLfloat xyz[4][3] = {{-1, -1, -5}, {1, -1, -5}, {-1, 1, -5}, {1, 1, -5}};
    s_gl.Begin(GL_TRIANGLE_STRIP);
    // Half-bright vertices: the texture is modulated by them.
    s_gl.Color4f(0.5f, 0.5f, 0.5f, 1);
    for (int i = 0; i < 4; ++i) {
        s_gl.TexCoord2fv(uv[i]);
        s_gl.Vertex3fv(xyz[i]);
    }
    s_gl.End();
    return Pixel("texture_bottom_left", kSize / 4, kSize / 4) + "," +
           Pixel("texture_top_right", 3 * kSize / 4, 3 * kSize / 4);
}

// Indexed triangles from the middle of an interleaved array (the indices do
// not start at 0), then one strip of array elements over the left half.
std::string ArrayCase() {
    Reset();
    const Vertex vertices[7] = {
        {0, 0, 1, 0, 0, 0, 0, -5},  // unused
        {0, 0, 1, 0, 0, 0, 0, -5},  // unused
        {0, 0, 0, 1, 0, -1, -1, -5}, {0, 0, 0, 1, 0, 1, -1, -5}, {0, 0, 0, 1, 0, -1, 1, -5},
        {0, 0, 0, 1, 0, 1, 1, -5},   {0, 0, 0, 0, 1, 0, 0, -5},
    };
    const GLushort indices[6] = {2, 3, 4, 4, 3, 5};
    s_gl.InterleavedArrays(GL_T2F_C3F_V3F, 0, vertices);
    s_gl.DrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, indices);
    std::string out = Pixel("elements", kSize / 2, kSize / 2);
    const Vertex strip[4] = {
        {0, 0, 0, 0, 1, -1, -1, -5}, {0, 0, 0, 0, 1, 0, -1, -5}, {0, 0, 0, 0, 1, -1, 1, -5}, {0, 0, 0, 0, 1, 0, 1, -5}};
    s_gl.InterleavedArrays(GL_T2F_C3F_V3F, 0, strip);
    s_gl.Begin(GL_TRIANGLE_STRIP);
    for (int i = 0; i < 4; ++i) {
        s_gl.ArrayElement(i);
    }
    s_gl.End();
    return out + "," + Pixel("array_left", kSize / 4, kSize / 2) + "," + Pixel("array_right", 3 * kSize / 4, kSize / 2);
}

// Alpha over: half-transparent red over white.
std::string BlendCase() {
    Reset();
    WhiteSquare(-5.0f);
    s_gl.Enable(GL_BLEND);
    s_gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const GLfloat corners[3][3] = {{-1, -1, -5}, {3, -1, -5}, {-1, 3, -5}};
    s_gl.Begin(GL_TRIANGLES);
    s_gl.Color4f(1, 0, 0, 0.5f);
    for (const auto& c : corners) {
        s_gl.Vertex3fv(c);
    }
    s_gl.End();
    return Pixel("blend", kSize / 2, kSize / 2);
}

std::string s_result;

} // namespace

extern "C" EMSCRIPTEN_KEEPALIVE const char* gl_probe_run() {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_TRUE;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#probe", &attributes);
    if (context <= 0 || emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        return "{}";
    }
    s_gl = GlTableWeb();
    s_result = "{" + FogCase("fog_linear", GL_LINEAR) + "," + FogCase("fog_exp", GL_EXP) + "," +
               FogCase("fog_exp2", GL_EXP2) + "," + ClipCase() + "," + TextureCase() + "," + ArrayCase() + "," +
               BlendCase() + "," + "\"error\":" + std::to_string(s_gl.GetError()) + "}";
    return s_result.c_str();
}

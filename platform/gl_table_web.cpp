// The drawing seam on WebGL: the GL 1.1 entries the program uses, emulated
// with one vertex buffer, one index buffer and one shader program.
//
// WebGL has no fixed-function pipeline, no immediate calls and no client
// arrays. The program's vertices already arrive in eye space with their final
// colours (the modelview matrix stays the identity), so the emulation needs
// little: the immediate calls collect vertices until End, InterleavedArrays
// remembers the caller's array and DrawElements / ArrayElement copy the
// vertices they use, and every draw goes out as one WebGL draw with the
// state that the fixed function would have applied kept in uniforms:
// texturing (GL_MODULATE), fog (GL_LINEAR, GL_EXP, GL_EXP2 on the eye-plane
// distance) and the user clip planes (a discard per enabled plane).
//
// The objects belong to the WebGL context that was current when they were
// made; a draw in a new context (the page plays the show again) makes them
// anew there.
#include "platform/gl_table.h"

#include <GLES2/gl2.h>
#include <emscripten/html5.h> // emscripten_webgl_get_current_context

#include <algorithm> // copy, fill, max, min
#include <cstdio>    // fprintf
#include <cstring>   // memcpy
#include <vector>

namespace {

constexpr int kClipPlanes = 5; // GL_CLIP_PLANE0..4, as many as the mirror uses
constexpr GLuint kAttribPosition = 0;
constexpr GLuint kAttribColour = 1;
constexpr GLuint kAttribUv = 2;

// One vertex as the shader takes it.
struct WebVertex {
    float x, y, z;
    float r, g, b, a;
    float u, v;
};

// GL_T2F_C3F_V3F: u, v, r, g, b, x, y, z.
constexpr int kT2fC3fV3fFloats = 8;

const char kVertexShader[] = R"(
attribute vec3 position;
attribute vec4 colour;
attribute vec2 uv;
uniform mat4 projection;
uniform mat4 modelview;
varying vec4 vColour;
varying vec2 vUv;
varying vec4 vEye;
void main() {
    vEye = modelview * vec4(position, 1.0);
    vColour = colour;
    vUv = uv;
    gl_Position = projection * vEye;
}
)";

const char kFragmentShader[] = R"(
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D picture;
uniform bool texturing;
uniform int fogMode; // 0 off, 1 linear, 2 exp, 3 exp2
uniform vec4 fogColour;
uniform vec3 fogParams; // density, start, end
uniform vec4 clipPlanes[5];
uniform bool clipEnabled[5];
varying vec4 vColour;
varying vec2 vUv;
varying vec4 vEye;
void main() {
    for (int i = 0; i < 5; ++i) {
        if (clipEnabled[i] && dot(clipPlanes[i], vEye) < 0.0) {
            discard;
        }
    }
    vec4 colour = vColour;
    if (texturing) {
        colour *= texture2D(picture, vUv);
    }
    if (fogMode != 0) {
        float distance = abs(vEye.z);
        float f;
        if (fogMode == 1) {
            float span = fogParams.z - fogParams.y;
            f = span != 0.0 ? (fogParams.z - distance) / span : 1.0;
        } else if (fogMode == 2) {
            f = exp(-fogParams.x * distance);
        } else {
            float d = fogParams.x * distance;
            f = exp(-d * d);
        }
        f = clamp(f, 0.0, 1.0);
        colour.rgb = mix(fogColour.rgb, colour.rgb, f);
    }
    gl_FragColor = colour;
}
)";

// Uniform locations of the program.
struct Uniforms {
    GLint projection = -1;
    GLint modelview = -1;
    GLint texture = -1;
    GLint texturing = -1;
    GLint fogMode = -1;
    GLint fogColour = -1;
    GLint fogParams = -1;
    GLint clipPlanes = -1;
    GLint clipEnabled = -1;
};

// Everything the fixed function would keep, and the WebGL objects.
struct WebGlState {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0; // the context the objects belong to
    GLuint program = 0;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;
    Uniforms uniforms;
    bool uniformsDirty = true;

    GLenum matrixMode = GL_MODELVIEW;
    float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    bool texturing = false;
    bool fog = false;
    GLint fogMode = GL_EXP;
    float fogColour[4] = {0, 0, 0, 0};
    float fogDensity = 1.0f;
    float fogStart = 0.0f;
    float fogEnd = 1.0f;
    float clipPlanes[kClipPlanes][4] = {};
    bool clipEnabled[kClipPlanes] = {};

    // Immediate mode.
    bool inBegin = false;
    GLenum primitive = GL_TRIANGLES;
    float colour[4] = {1, 1, 1, 1};
    float uv[2] = {0, 0};
    std::vector<WebVertex> vertices;

    // The caller's interleaved array (GL_T2F_C3F_V3F only).
    const unsigned char* array = nullptr;
    GLsizei arrayStride = 0;
    std::vector<GLushort> indices;
};

WebGlState s_gl;

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

GLuint CompileShader(const GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == 0) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "WebGL shader: %s\n", log);
    }
    return shader;
}

// Makes the program and buffers in the current context when they belong to
// another one (or to none yet), starting from GL's default state as a new
// context does. Every entry that changes state or draws calls it first, so
// nothing set in the new context is lost. False when no context is current.
bool Ready() {
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE current = emscripten_webgl_get_current_context();
    if (current == 0) {
        return false;
    }
    if (current == s_gl.context) {
        return true;
    }
    // A new context starts with GL's defaults, as the fixed function would.
    s_gl = WebGlState{};
    s_gl.context = current;
    const GLuint vs = CompileShader(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = CompileShader(GL_FRAGMENT_SHADER, kFragmentShader);
    s_gl.program = glCreateProgram();
    glAttachShader(s_gl.program, vs);
    glAttachShader(s_gl.program, fs);
    glBindAttribLocation(s_gl.program, kAttribPosition, "position");
    glBindAttribLocation(s_gl.program, kAttribColour, "colour");
    glBindAttribLocation(s_gl.program, kAttribUv, "uv");
    glLinkProgram(s_gl.program);
    // The program keeps what it needs; the shaders go with it.
    glDeleteShader(vs);
    glDeleteShader(fs);
    glUseProgram(s_gl.program);
    Uniforms& u = s_gl.uniforms;
    u.projection = glGetUniformLocation(s_gl.program, "projection");
    u.modelview = glGetUniformLocation(s_gl.program, "modelview");
    u.texture = glGetUniformLocation(s_gl.program, "picture");
    u.texturing = glGetUniformLocation(s_gl.program, "texturing");
    u.fogMode = glGetUniformLocation(s_gl.program, "fogMode");
    u.fogColour = glGetUniformLocation(s_gl.program, "fogColour");
    u.fogParams = glGetUniformLocation(s_gl.program, "fogParams");
    u.clipPlanes = glGetUniformLocation(s_gl.program, "clipPlanes");
    u.clipEnabled = glGetUniformLocation(s_gl.program, "clipEnabled");
    glUniform1i(u.texture, 0);
    glGenBuffers(1, &s_gl.vertexBuffer);
    glGenBuffers(1, &s_gl.indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, s_gl.vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, s_gl.indexBuffer);
    const GLsizei stride = sizeof(WebVertex);
    glEnableVertexAttribArray(kAttribPosition);
    glEnableVertexAttribArray(kAttribColour);
    glEnableVertexAttribArray(kAttribUv);
    glVertexAttribPointer(kAttribPosition, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(0));
    glVertexAttribPointer(kAttribColour, 4, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(WebVertex, r)));
    glVertexAttribPointer(kAttribUv, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(WebVertex, u)));
    s_gl.uniformsDirty = true;
    return true;
}

int FogModeCode() {
    if (!s_gl.fog) {
        return 0;
    }
    switch (s_gl.fogMode) {
    case GL_LINEAR:
        return 1;
    case GL_EXP2:
        return 3;
    default:
        return 2;
    }
}

void UploadUniforms() {
    if (!s_gl.uniformsDirty) {
        return;
    }
    const Uniforms& u = s_gl.uniforms;
    glUniformMatrix4fv(u.projection, 1, GL_FALSE, s_gl.projection);
    glUniformMatrix4fv(u.modelview, 1, GL_FALSE, s_gl.modelview);
    glUniform1i(u.texturing, s_gl.texturing ? 1 : 0);
    glUniform1i(u.fogMode, FogModeCode());
    glUniform4fv(u.fogColour, 1, s_gl.fogColour);
    glUniform3f(u.fogParams, s_gl.fogDensity, s_gl.fogStart, s_gl.fogEnd);
    glUniform4fv(u.clipPlanes, kClipPlanes, &s_gl.clipPlanes[0][0]);
    GLint enabled[kClipPlanes] = {};
    for (int i = 0; i < kClipPlanes; ++i) {
        enabled[i] = s_gl.clipEnabled[i] ? 1 : 0;
    }
    glUniform1iv(u.clipEnabled, kClipPlanes, enabled);
    s_gl.uniformsDirty = false;
}

// GL_QUADS and GL_POLYGON have no WebGL primitive: they become triangles.
void QuadsToTriangles(std::vector<WebVertex>* vertices) {
    std::vector<WebVertex> triangles;
    const size_t quads = vertices->size() / 4;
    triangles.reserve(quads * 6);
    for (size_t q = 0; q < quads; ++q) {
        const WebVertex* v = vertices->data() + q * 4;
        triangles.insert(triangles.end(), {v[0], v[1], v[2], v[0], v[2], v[3]});
    }
    vertices->swap(triangles);
}

void DrawVertices(GLenum mode, std::vector<WebVertex>* vertices) {
    if (mode == GL_QUADS) {
        QuadsToTriangles(vertices);
        mode = GL_TRIANGLES;
    } else if (mode == GL_POLYGON) {
        mode = GL_TRIANGLE_FAN;
    }
    if (vertices->empty() || !Ready()) {
        return;
    }
    UploadUniforms();
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices->size() * sizeof(WebVertex)), vertices->data(),
                 GL_STREAM_DRAW);
    glDrawArrays(mode, 0, static_cast<GLsizei>(vertices->size()));
}

// Vertex `index` of the caller's interleaved array.
WebVertex ArrayVertex(const GLint index) {
    float f[kT2fC3fV3fFloats] = {};
    std::memcpy(f, s_gl.array + static_cast<size_t>(index) * static_cast<size_t>(s_gl.arrayStride), sizeof f);
    // A three-component colour has alpha 1.
    return WebVertex{f[5], f[6], f[7], f[2], f[3], f[4], 1.0f, f[0], f[1]};
}

// ---- entries ----------------------------------------------------------------

void WebViewport(const GLint x, const GLint y, const GLsizei width, const GLsizei height) {
    glViewport(x, y, width, height);
}

void WebClear(const GLbitfield mask) { glClear(mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)); }

void WebScissor(const GLint x, const GLint y, const GLsizei width, const GLsizei height) {
    glScissor(x, y, width, height);
}

void SetCap(const GLenum cap, const bool on) {
    Ready();
    if (cap >= GL_CLIP_PLANE0 && cap < GL_CLIP_PLANE0 + kClipPlanes) {
        s_gl.clipEnabled[cap - GL_CLIP_PLANE0] = on;
        s_gl.uniformsDirty = true;
        return;
    }
    switch (cap) {
    case GL_TEXTURE_2D:
        s_gl.texturing = on;
        s_gl.uniformsDirty = true;
        return;
    case GL_FOG:
        s_gl.fog = on;
        s_gl.uniformsDirty = true;
        return;
    case GL_BLEND:
    case GL_DEPTH_TEST:
    case GL_SCISSOR_TEST:
    case GL_CULL_FACE:
        if (on) {
            glEnable(cap);
        } else {
            glDisable(cap);
        }
        return;
    default:
        // Caps of the fixed function that WebGL does not know (lighting,
        // smoothing) are off there anyway.
        return;
    }
}

void WebEnable(const GLenum cap) { SetCap(cap, true); }
void WebDisable(const GLenum cap) { SetCap(cap, false); }

void WebBlendFunc(const GLenum source, const GLenum destination) { glBlendFunc(source, destination); }

void WebClipPlane(const GLenum plane, const GLdouble* equation) {
    Ready();
    if (plane < GL_CLIP_PLANE0 || plane >= GL_CLIP_PLANE0 + kClipPlanes || equation == nullptr) {
        return;
    }
    // The modelview is the identity, so the plane is already in eye space.
    float* p = s_gl.clipPlanes[plane - GL_CLIP_PLANE0];
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<float>(equation[i]);
    }
    s_gl.uniformsDirty = true;
}

void WebFogfv(const GLenum name, const GLfloat* values) {
    Ready();
    if (values == nullptr) {
        return;
    }
    if (name == GL_FOG_COLOR) {
        std::copy(values, values + 4, s_gl.fogColour);
        s_gl.uniformsDirty = true;
    } else {
        // The scalar parameters may come as vectors too.
        s_gl.uniformsDirty = true;
        switch (name) {
        case GL_FOG_DENSITY:
            s_gl.fogDensity = values[0];
            break;
        case GL_FOG_START:
            s_gl.fogStart = values[0];
            break;
        case GL_FOG_END:
            s_gl.fogEnd = values[0];
            break;
        case GL_FOG_MODE:
            s_gl.fogMode = static_cast<GLint>(values[0]);
            break;
        default:
            break;
        }
    }
}

void WebFogf(const GLenum name, const GLfloat value) { WebFogfv(name, &value); }

void WebFogi(const GLenum name, const GLint value) {
    const GLfloat f = static_cast<GLfloat>(value);
    WebFogfv(name, &f);
}

void WebMatrixMode(const GLenum mode) {
    Ready();
    s_gl.matrixMode = mode;
}

float* CurrentMatrix() { return s_gl.matrixMode == GL_PROJECTION ? s_gl.projection : s_gl.modelview; }

void WebLoadIdentity() {
    Ready();
    std::copy(kIdentity, kIdentity + 16, CurrentMatrix());
    s_gl.uniformsDirty = true;
}

void WebLoadMatrixf(const GLfloat* matrix) {
    Ready();
    if (matrix != nullptr) {
        std::copy(matrix, matrix + 16, CurrentMatrix());
        s_gl.uniformsDirty = true;
    }
}

void WebBegin(const GLenum mode) {
    Ready();
    s_gl.inBegin = true;
    s_gl.primitive = mode;
    s_gl.vertices.clear();
}

void WebEnd() {
    if (!s_gl.inBegin) {
        return;
    }
    s_gl.inBegin = false;
    DrawVertices(s_gl.primitive, &s_gl.vertices);
}

void WebTexCoord2fv(const GLfloat* uv) {
    if (uv != nullptr) {
        s_gl.uv[0] = uv[0];
        s_gl.uv[1] = uv[1];
    }
}

void WebColor4f(const GLfloat r, const GLfloat g, const GLfloat b, const GLfloat a) {
    s_gl.colour[0] = r;
    s_gl.colour[1] = g;
    s_gl.colour[2] = b;
    s_gl.colour[3] = a;
}

void WebVertex3fv(const GLfloat* xyz) {
    if (xyz == nullptr || !s_gl.inBegin) {
        return;
    }
    const float* c = s_gl.colour;
    s_gl.vertices.push_back(WebVertex{xyz[0], xyz[1], xyz[2], c[0], c[1], c[2], c[3], s_gl.uv[0], s_gl.uv[1]});
}

void WebInterleavedArrays(const GLenum format, const GLsizei stride, const void* pointer) {
    Ready();
    // The program uses one layout; any other leaves no array to draw from.
    if (format != GL_T2F_C3F_V3F) {
        s_gl.array = nullptr;
        return;
    }
    s_gl.array = static_cast<const unsigned char*>(pointer);
    s_gl.arrayStride = stride != 0 ? stride : static_cast<GLsizei>(kT2fC3fV3fFloats * sizeof(float));
}

void WebArrayElement(const GLint index) {
    if (s_gl.array == nullptr || index < 0 || !s_gl.inBegin) {
        return;
    }
    const WebVertex v = ArrayVertex(index);
    // As in GL, the array's colour and coordinates become the current ones.
    s_gl.colour[0] = v.r;
    s_gl.colour[1] = v.g;
    s_gl.colour[2] = v.b;
    s_gl.colour[3] = v.a;
    s_gl.uv[0] = v.u;
    s_gl.uv[1] = v.v;
    s_gl.vertices.push_back(v);
}

// The indexed vertices go out as a copy of the used span of the array, the
// indices rebased to its first vertex.
void WebDrawElements(const GLenum mode, const GLsizei count, const GLenum type, const void* indices) {
    if (s_gl.array == nullptr || indices == nullptr || count <= 0 || type != GL_UNSIGNED_SHORT || !Ready()) {
        return;
    }
    const GLushort* in = static_cast<const GLushort*>(indices);
    const auto [lowest, highest] = std::minmax_element(in, in + count);
    const GLushort first = *lowest;
    std::vector<WebVertex>& vertices = s_gl.vertices;
    vertices.clear();
    for (GLint i = first; i <= *highest; ++i) {
        vertices.push_back(ArrayVertex(i));
    }
    s_gl.indices.resize(static_cast<size_t>(count));
    for (GLsizei i = 0; i < count; ++i) {
        s_gl.indices[static_cast<size_t>(i)] = static_cast<GLushort>(in[i] - first);
    }
    UploadUniforms();
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(WebVertex)), vertices.data(),
                 GL_STREAM_DRAW);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(s_gl.indices.size() * sizeof(GLushort)),
                 s_gl.indices.data(), GL_STREAM_DRAW);
    glDrawElements(mode, count, GL_UNSIGNED_SHORT, nullptr);
}

void WebGenTextures(const GLsizei count, GLuint* names) {
    if (Ready()) {
        glGenTextures(count, names);
    }
}

void WebDeleteTextures(const GLsizei count, const GLuint* names) {
    if (Ready()) {
        glDeleteTextures(count, names);
    }
}

void WebBindTexture(const GLenum target, const GLuint texture) { glBindTexture(target, texture); }

void WebPixelStorei(const GLenum name, const GLint value) { glPixelStorei(name, value); }

// WebGL wants the internal format named as the format (GL 1.0's component
// counts 3 and 4 included).
void WebTexImage2D(const GLenum target, const GLint level, const GLint /*internalFormat*/, const GLsizei width,
                   const GLsizei height, const GLint border, const GLenum format, const GLenum type,
                   const void* pixels) {
    glTexImage2D(target, level, static_cast<GLint>(format), width, height, border, format, type, pixels);
}

void WebTexParameterf(const GLenum target, const GLenum name, const GLfloat value) {
    GLint v = static_cast<GLint>(value);
    // GL_CLAMP is not in WebGL; clamping to the edge is the nearest to it.
    if (v == GL_CLAMP) {
        v = GL_CLAMP_TO_EDGE;
    }
    glTexParameteri(target, name, v);
}

void WebFinish() { glFinish(); }

GLenum WebGetError() { return glGetError(); }

} // namespace

GlTable GlTableWeb() {
    GlTable t = {};
    t.Viewport = WebViewport;
    t.Clear = WebClear;
    t.Scissor = WebScissor;
    t.Enable = WebEnable;
    t.Disable = WebDisable;
    t.BlendFunc = WebBlendFunc;
    t.ClipPlane = WebClipPlane;
    t.Fogfv = WebFogfv;
    t.Fogf = WebFogf;
    t.Fogi = WebFogi;
    t.MatrixMode = WebMatrixMode;
    t.LoadIdentity = WebLoadIdentity;
    t.LoadMatrixf = WebLoadMatrixf;
    t.Begin = WebBegin;
    t.End = WebEnd;
    t.TexCoord2fv = WebTexCoord2fv;
    t.Color4f = WebColor4f;
    t.Vertex3fv = WebVertex3fv;
    t.InterleavedArrays = WebInterleavedArrays;
    t.ArrayElement = WebArrayElement;
    t.DrawElements = WebDrawElements;
    t.GenTextures = WebGenTextures;
    t.DeleteTextures = WebDeleteTextures;
    t.BindTexture = WebBindTexture;
    t.PixelStorei = WebPixelStorei;
    t.TexImage2D = WebTexImage2D;
    t.TexParameterf = WebTexParameterf;
    t.Finish = WebFinish;
    t.GetError = WebGetError;
    return t;
}

GlTable GlTableOfSystem() { return GlTableWeb(); }

// Recording GL table for the drawing's tests: triangles and the state they
// are drawn in.
#include "tests/support/gl_recorder.h"

#include <cmath> // std::fabs

namespace {

GlRecorder* s_recorder = nullptr;

// Vertices of the current Begin / End and what the immediate calls set.
struct Immediate {
    GLenum mode = 0;
    std::vector<DrawnVertex> vertices;
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float uv[2] = {0.0f, 0.0f};
};
Immediate s_immediate;
const float* s_arrays = nullptr; // GL_T2F_C3F_V3F: u v r g b x y z
uint32_t s_blendSource = GL_ONE;
uint32_t s_blendDestination = GL_ZERO;

GlRecorder& R() {
    return *s_recorder;
}

void Note(const char* name) {
    R().counts[name] += 1;
}

DrawnVertex ArrayVertexAt(int index) {
    const float* a = s_arrays + 8 * index;
    return DrawnVertex{a[5], a[6], a[7], a[2], a[3], a[4], 1.0f, a[0], a[1]};
}

void AddTriangle(const DrawnVertex& a, const DrawnVertex& b, const DrawnVertex& c, bool immediate) {
    const GlRecorder& r = R();
    R().triangles.push_back(DrawnTriangle{{a, b, c},
                                          r.boundTexture,
                                          r.textured,
                                          r.blend,
                                          s_blendSource,
                                          s_blendDestination,
                                          r.depthTest,
                                          r.scissor,
                                          r.clipPlanesOn,
                                          immediate});
}

// The triangles of a run of vertices drawn with `mode`.
void AddPrimitive(GLenum mode, const std::vector<DrawnVertex>& v, bool immediate) {
    if (mode == GL_TRIANGLES) {
        for (size_t i = 0; i + 2 < v.size(); i += 3) {
            AddTriangle(v[i], v[i + 1], v[i + 2], immediate);
        }
    } else if (mode == GL_TRIANGLE_STRIP) {
        for (size_t i = 0; i + 2 < v.size(); ++i) {
            // Every second triangle of a strip is turned so that all keep the winding.
            if (i % 2 == 0) {
                AddTriangle(v[i], v[i + 1], v[i + 2], immediate);
            } else {
                AddTriangle(v[i + 1], v[i], v[i + 2], immediate);
            }
        }
    }
}

void SetCap(GLenum cap, bool on) {
    GlRecorder& r = R();
    if (cap == GL_TEXTURE_2D) {
        r.textured = on;
    } else if (cap == GL_BLEND) {
        r.blend = on;
    } else if (cap == GL_DEPTH_TEST) {
        r.depthTest = on;
    } else if (cap == GL_SCISSOR_TEST) {
        r.scissor = on;
    } else if (cap == GL_FOG) {
        r.fog = on;
    } else if (cap >= GL_CLIP_PLANE0 && cap < GL_CLIP_PLANE0 + 6) {
        r.clipPlanesOn += on ? 1 : -1;
    }
}

#define FORWARD(call)                                                                                        \
    if (R().forward) {                                                                                       \
        R().previous.call;                                                                                   \
    }

void RecViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    Note("Viewport");
    FORWARD(Viewport(x, y, w, h));
}
void RecClear(GLbitfield mask) {
    Note("Clear");
    R().clears.push_back(mask);
    FORWARD(Clear(mask));
}
void RecScissor(GLint x, GLint y, GLsizei w, GLsizei h) {
    Note("Scissor");
    const int32_t rect[4] = {x, y, w, h};
    for (int i = 0; i < 4; ++i) {
        R().scissorRect[i] = rect[i];
    }
    FORWARD(Scissor(x, y, w, h));
}
void RecEnable(GLenum cap) {
    Note("Enable");
    SetCap(cap, true);
    FORWARD(Enable(cap));
}
void RecDisable(GLenum cap) {
    Note("Disable");
    SetCap(cap, false);
    FORWARD(Disable(cap));
}
void RecBlendFunc(GLenum s, GLenum d) {
    Note("BlendFunc");
    s_blendSource = s;
    s_blendDestination = d;
    FORWARD(BlendFunc(s, d));
}
void RecClipPlane(GLenum plane, const GLdouble* e) {
    Note("ClipPlane");
    const unsigned i = plane - GL_CLIP_PLANE0;
    if (i < 6) {
        for (int k = 0; k < 4; ++k) {
            R().clipPlanes[i][k] = e[k];
        }
    }
    FORWARD(ClipPlane(plane, e));
}
void RecFogfv(GLenum n, const GLfloat* v) {
    Note("Fogfv");
    FORWARD(Fogfv(n, v));
}
void RecFogf(GLenum n, GLfloat v) {
    Note("Fogf");
    FORWARD(Fogf(n, v));
}
void RecFogi(GLenum n, GLint v) {
    Note("Fogi");
    FORWARD(Fogi(n, v));
}
void RecMatrixMode(GLenum mode) {
    Note("MatrixMode");
    FORWARD(MatrixMode(mode));
}
void RecLoadIdentity() {
    Note("LoadIdentity");
    FORWARD(LoadIdentity());
}
void RecLoadMatrixf(const GLfloat* m) {
    Note("LoadMatrixf");
    for (int i = 0; i < 16; ++i) {
        R().loadedMatrix[i] = m[i];
    }
    FORWARD(LoadMatrixf(m));
}
void RecBegin(GLenum mode) {
    Note("Begin");
    R().insideBegin = true;
    s_immediate.mode = mode;
    s_immediate.vertices.clear();
    FORWARD(Begin(mode));
}
void RecEnd() {
    Note("End");
    R().insideBegin = false;
    AddPrimitive(s_immediate.mode, s_immediate.vertices, true);
    s_immediate.vertices.clear();
    FORWARD(End());
}
void RecTexCoord2fv(const GLfloat* uv) {
    s_immediate.uv[0] = uv[0];
    s_immediate.uv[1] = uv[1];
    FORWARD(TexCoord2fv(uv));
}
void RecColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    const float c[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i) {
        s_immediate.colour[i] = c[i];
    }
    FORWARD(Color4f(r, g, b, a));
}
void RecVertex3fv(const GLfloat* p) {
    const float* c = s_immediate.colour;
    const DrawnVertex v{p[0], p[1], p[2], c[0], c[1], c[2], c[3], s_immediate.uv[0], s_immediate.uv[1]};
    if (R().insideBegin) {
        s_immediate.vertices.push_back(v);
    }
    FORWARD(Vertex3fv(p));
}
void RecInterleavedArrays(GLenum format, GLsizei stride, const void* pointer) {
    Note("InterleavedArrays");
    // The drawing only ever sends ArrayVertex records.
    s_arrays = format == GL_T2F_C3F_V3F && stride == 0 ? static_cast<const float*>(pointer) : nullptr;
    FORWARD(InterleavedArrays(format, stride, pointer));
}
void RecArrayElement(GLint index) {
    if (R().insideBegin && s_arrays != nullptr) {
        s_immediate.vertices.push_back(ArrayVertexAt(index));
    }
    FORWARD(ArrayElement(index));
}
void RecDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    Note("DrawElements");
    if (type == GL_UNSIGNED_SHORT && s_arrays != nullptr) {
        std::vector<DrawnVertex> v;
        for (GLsizei i = 0; i < count; ++i) {
            v.push_back(ArrayVertexAt(static_cast<const GLushort*>(indices)[i]));
        }
        AddPrimitive(mode, v, false);
    }
    FORWARD(DrawElements(mode, count, type, indices));
}
GLuint s_nextName = 1;
void RecGenTextures(GLsizei count, GLuint* names) {
    Note("GenTextures");
    if (R().forward) {
        R().previous.GenTextures(count, names);
        return;
    }
    for (GLsizei i = 0; i < count; ++i) {
        names[i] = s_nextName++;
    }
}
void RecDeleteTextures(GLsizei count, const GLuint* names) {
    Note("DeleteTextures");
    FORWARD(DeleteTextures(count, names));
}
void RecBindTexture(GLenum target, GLuint texture) {
    Note("BindTexture");
    R().boundTexture = texture;
    FORWARD(BindTexture(target, texture));
}
void RecPixelStorei(GLenum n, GLint v) {
    Note("PixelStorei");
    FORWARD(PixelStorei(n, v));
}
void RecTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei w, GLsizei h, GLint border,
                   GLenum format, GLenum type, const void* pixels) {
    Note("TexImage2D");
    FORWARD(TexImage2D(target, level, internalFormat, w, h, border, format, type, pixels));
}
void RecTexParameterf(GLenum target, GLenum n, GLfloat v) {
    Note("TexParameterf");
    FORWARD(TexParameterf(target, n, v));
}
void RecFinish() {
    Note("Finish");
    FORWARD(Finish());
}
GLenum RecGetError() {
    Note("GetError");
    return R().forward ? R().previous.GetError() : static_cast<GLenum>(GL_NO_ERROR);
}

#undef FORWARD

GlTable RecordingTable() {
    GlTable t{};
    t.Viewport = &RecViewport;
    t.Clear = &RecClear;
    t.Scissor = &RecScissor;
    t.Enable = &RecEnable;
    t.Disable = &RecDisable;
    t.BlendFunc = &RecBlendFunc;
    t.ClipPlane = &RecClipPlane;
    t.Fogfv = &RecFogfv;
    t.Fogf = &RecFogf;
    t.Fogi = &RecFogi;
    t.MatrixMode = &RecMatrixMode;
    t.LoadIdentity = &RecLoadIdentity;
    t.LoadMatrixf = &RecLoadMatrixf;
    t.Begin = &RecBegin;
    t.End = &RecEnd;
    t.TexCoord2fv = &RecTexCoord2fv;
    t.Color4f = &RecColor4f;
    t.Vertex3fv = &RecVertex3fv;
    t.InterleavedArrays = &RecInterleavedArrays;
    t.ArrayElement = &RecArrayElement;
    t.DrawElements = &RecDrawElements;
    t.GenTextures = &RecGenTextures;
    t.DeleteTextures = &RecDeleteTextures;
    t.BindTexture = &RecBindTexture;
    t.PixelStorei = &RecPixelStorei;
    t.TexImage2D = &RecTexImage2D;
    t.TexParameterf = &RecTexParameterf;
    t.Finish = &RecFinish;
    t.GetError = &RecGetError;
    return t;
}

} // namespace

GlRecorder::GlRecorder(DrawContext* context, bool forwardCalls)
    : ctx(context), previous(context->gl), forward(forwardCalls) {
    s_recorder = this;
    s_immediate = Immediate{};
    s_arrays = nullptr;
    s_blendSource = GL_ONE;
    s_blendDestination = GL_ZERO;
    ctx->gl = RecordingTable();
}

GlRecorder::~GlRecorder() {
    ctx->gl = previous;
    s_recorder = nullptr;
}

int GlRecorder::Count(const std::string& name) const {
    const auto it = counts.find(name);
    return it == counts.end() ? 0 : it->second;
}

std::vector<DrawnTriangle> GlRecorder::WithTexture(uint32_t texture) const {
    std::vector<DrawnTriangle> out;
    for (const DrawnTriangle& t : triangles) {
        if (t.textured && t.texture == texture) {
            out.push_back(t);
        }
    }
    return out;
}

void GlRecorder::Clear() {
    triangles.clear();
    counts.clear();
    clears.clear();
}

bool SameCorners(const DrawnTriangle& a, const DrawnTriangle& b, float tolerance) {
    for (int start = 0; start < 3; ++start) {
        bool all = true;
        for (int k = 0; k < 3 && all; ++k) {
            const DrawnVertex& p = a.v[k];
            const DrawnVertex& q = b.v[(start + k) % 3];
            all = std::fabs(p.x - q.x) <= tolerance && std::fabs(p.y - q.y) <= tolerance &&
                  std::fabs(p.z - q.z) <= tolerance;
        }
        if (all) {
            return true;
        }
    }
    return false;
}

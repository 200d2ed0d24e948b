// Recording GL table for the scene drawing's tests.
#include "tests/support/gl_recorder.h"

#include <cmath>   // std::tan
#include <cstring> // std::memcpy

#include "scene/draw.h" // DrawGl, g_drawGl, DrawGlDefaults

namespace {

GlRecorder* s_recorder = nullptr;
DrawGl s_real = {};

void Record(const char* name, std::vector<double> args, const void* pointer = nullptr) {
    if (s_recorder != nullptr) {
        s_recorder->calls.push_back(GlCall{name, std::move(args), pointer});
    }
}

bool Forward() {
    return s_recorder != nullptr && s_recorder->forward;
}

void RecBindTexture(GLenum target, GLuint texture) {
    Record("glBindTexture", {static_cast<double>(target), static_cast<double>(texture)});
    if (Forward()) {
        s_real.BindTexture(target, texture);
    }
}
void RecBegin(GLenum mode) {
    Record("glBegin", {static_cast<double>(mode)});
    if (Forward()) {
        s_real.Begin(mode);
    }
}
void RecEnd() {
    Record("glEnd", {});
    if (Forward()) {
        s_real.End();
    }
}
void RecInterleavedArrays(GLenum format, GLsizei stride, const void* pointer) {
    Record("glInterleavedArrays", {static_cast<double>(format), static_cast<double>(stride)}, pointer);
    if (Forward()) {
        s_real.InterleavedArrays(format, stride, pointer);
    }
}
void RecArrayElement(GLint index) {
    Record("glArrayElement", {static_cast<double>(index)});
    if (Forward()) {
        s_real.ArrayElement(index);
    }
}
void RecDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    std::vector<double> args = {static_cast<double>(mode), static_cast<double>(count),
                                static_cast<double>(type)};
    if (type == GL_UNSIGNED_SHORT) {
        const GLushort* list = static_cast<const GLushort*>(indices);
        for (GLsizei i = 0; i < count; ++i) {
            args.push_back(list[i]);
        }
    }
    Record("glDrawElements", std::move(args), indices);
    if (Forward()) {
        s_real.DrawElements(mode, count, type, indices);
    }
}
void RecScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    Record("glScissor", {static_cast<double>(x), static_cast<double>(y), static_cast<double>(width),
                         static_cast<double>(height)});
    if (Forward()) {
        s_real.Scissor(x, y, width, height);
    }
}
void RecClipPlane(GLenum plane, const GLdouble* equation) {
    Record("glClipPlane", {static_cast<double>(plane), equation[0], equation[1], equation[2], equation[3]});
    if (Forward()) {
        s_real.ClipPlane(plane, equation);
    }
}
void RecTexCoord2fv(const GLfloat* uv) {
    Record("glTexCoord2fv", {uv[0], uv[1]});
    if (Forward()) {
        s_real.TexCoord2fv(uv);
    }
}
void RecColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    Record("glColor4f", {r, g, b, a});
    if (Forward()) {
        s_real.Color4f(r, g, b, a);
    }
}
void RecVertex3fv(const GLfloat* xyz) {
    Record("glVertex3fv", {xyz[0], xyz[1], xyz[2]});
    if (Forward()) {
        s_real.Vertex3fv(xyz);
    }
}
void RecEnable(GLenum cap) {
    Record("glEnable", {static_cast<double>(cap)});
    if (Forward()) {
        s_real.Enable(cap);
    }
}
void RecDisable(GLenum cap) {
    Record("glDisable", {static_cast<double>(cap)});
    if (Forward()) {
        s_real.Disable(cap);
    }
}
void RecBlendFunc(GLenum source, GLenum destination) {
    Record("glBlendFunc", {static_cast<double>(source), static_cast<double>(destination)});
    if (Forward()) {
        s_real.BlendFunc(source, destination);
    }
}
void RecClear(GLbitfield mask) {
    Record("glClear", {static_cast<double>(mask)});
    if (Forward()) {
        s_real.Clear(mask);
    }
}
void RecPushMatrix() {
    Record("glPushMatrix", {});
    if (Forward()) {
        s_real.PushMatrix();
    }
}
void RecPopMatrix() {
    Record("glPopMatrix", {});
    if (Forward()) {
        s_real.PopMatrix();
    }
}
float* CurrentMatrix() {
    return s_recorder->projectionCurrent ? s_recorder->projection : s_recorder->modelview;
}
void SetIdentity(float m[16]) {
    for (int i = 0; i < 16; ++i) {
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    }
}
void RecMatrixMode(GLenum mode) {
    Record("glMatrixMode", {static_cast<double>(mode)});
    if (Forward()) {
        s_real.MatrixMode(mode);
    } else if (s_recorder != nullptr) {
        s_recorder->projectionCurrent = mode == GL_PROJECTION;
    }
}
void RecLoadIdentity() {
    Record("glLoadIdentity", {});
    if (Forward()) {
        s_real.LoadIdentity();
    } else if (s_recorder != nullptr) {
        SetIdentity(CurrentMatrix());
    }
}
void RecGetFloatv(GLenum name, GLfloat* values) {
    Record("glGetFloatv", {static_cast<double>(name)});
    if (Forward()) {
        s_real.GetFloatv(name, values);
    } else if (s_recorder != nullptr && name == GL_PROJECTION_MATRIX) {
        std::memcpy(values, s_recorder->projection, sizeof(s_recorder->projection));
    } else if (s_recorder != nullptr && name == GL_MODELVIEW_MATRIX) {
        std::memcpy(values, s_recorder->modelview, sizeof(s_recorder->modelview));
    } else if (s_recorder != nullptr && name == GL_VIEWPORT) {
        std::memcpy(values, s_recorder->viewport, sizeof(s_recorder->viewport));
    }
}
void RecPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    Record("gluPerspective", {fovy, aspect, zNear, zFar});
    if (Forward()) {
        s_real.Perspective(fovy, aspect, zNear, zFar);
    } else if (s_recorder != nullptr) {
        float p[16] = {};
        PerspectiveMatrix(fovy, aspect, zNear, zFar, p);
        float* m = CurrentMatrix();
        float product[16] = {};
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                float sum = 0.0f;
                for (int k = 0; k < 4; ++k) {
                    sum += m[k * 4 + r] * p[c * 4 + k];
                }
                product[c * 4 + r] = sum;
            }
        }
        std::memcpy(m, product, sizeof(product));
    }
}

} // namespace

void PerspectiveMatrix(double fovy, double aspect, double zNear, double zFar, float out[16]) {
    for (int i = 0; i < 16; ++i) {
        out[i] = 0.0f;
    }
    const double f = 1.0 / std::tan(fovy * 3.14159265358979323846 / 360.0);
    out[0] = static_cast<float>(f / aspect);
    out[5] = static_cast<float>(f);
    out[10] = static_cast<float>((zFar + zNear) / (zNear - zFar));
    out[11] = -1.0f;
    out[14] = static_cast<float>(2.0 * zFar * zNear / (zNear - zFar));
}

GlRecorder::GlRecorder(bool forwardCalls) : projection{}, modelview{}, viewport{}, forward(forwardCalls) {
    SetIdentity(projection);
    SetIdentity(modelview);
    s_real = DrawGlDefaults();
    s_recorder = this;
    DrawGl table{};
    table.BindTexture = &RecBindTexture;
    table.Begin = &RecBegin;
    table.End = &RecEnd;
    table.InterleavedArrays = &RecInterleavedArrays;
    table.ArrayElement = &RecArrayElement;
    table.DrawElements = &RecDrawElements;
    table.TexCoord2fv = &RecTexCoord2fv;
    table.Color4f = &RecColor4f;
    table.Vertex3fv = &RecVertex3fv;
    table.Enable = &RecEnable;
    table.Disable = &RecDisable;
    table.BlendFunc = &RecBlendFunc;
    table.Clear = &RecClear;
    table.PushMatrix = &RecPushMatrix;
    table.PopMatrix = &RecPopMatrix;
    table.MatrixMode = &RecMatrixMode;
    table.LoadIdentity = &RecLoadIdentity;
    table.GetFloatv = &RecGetFloatv;
    table.Scissor = &RecScissor;
    table.ClipPlane = &RecClipPlane;
    table.Perspective = &RecPerspective;
    g_drawGl = table;
}

GlRecorder::~GlRecorder() {
    g_drawGl = DrawGlDefaults();
    s_recorder = nullptr;
}

int GlRecorder::Count(const std::string& name) const {
    int count = 0;
    for (const GlCall& call : calls) {
        count += call.name == name ? 1 : 0;
    }
    return count;
}

std::vector<size_t> GlRecorder::Find(const std::string& name) const {
    std::vector<size_t> found;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].name == name) {
            found.push_back(i);
        }
    }
    return found;
}

std::vector<int> GlRecorder::ArrayIndices() const {
    std::vector<int> indices;
    for (const GlCall& call : calls) {
        if (call.name == "glArrayElement") {
            indices.push_back(static_cast<int>(call.args[0]));
        } else if (call.name == "glDrawElements") {
            for (size_t i = 3; i < call.args.size(); ++i) {
                indices.push_back(static_cast<int>(call.args[i]));
            }
        }
    }
    return indices;
}

std::string GlRecorder::Names() const {
    std::string names;
    for (const GlCall& call : calls) {
        if (!names.empty()) {
            names += ' ';
        }
        names += call.name;
    }
    return names;
}

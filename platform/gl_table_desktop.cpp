// The GL 1.1 backend of the drawing seam: each entry calls the GL function
// of the same name. Plain functions rather than the GL symbols themselves, so
// that the entries' types never depend on the system's calling convention.
#include "platform/gl_table.h"

namespace {

void Viewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    glViewport(x, y, width, height);
}
void Clear(GLbitfield mask) {
    glClear(mask);
}
void Scissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    glScissor(x, y, width, height);
}
void Enable(GLenum cap) {
    glEnable(cap);
}
void Disable(GLenum cap) {
    glDisable(cap);
}
void BlendFunc(GLenum source, GLenum destination) {
    glBlendFunc(source, destination);
}
void ClipPlane(GLenum plane, const GLdouble* equation) {
    glClipPlane(plane, equation);
}
void Fogfv(GLenum name, const GLfloat* values) {
    glFogfv(name, values);
}
void Fogf(GLenum name, GLfloat value) {
    glFogf(name, value);
}
void Fogi(GLenum name, GLint value) {
    glFogi(name, value);
}
void MatrixMode(GLenum mode) {
    glMatrixMode(mode);
}
void LoadIdentity() {
    glLoadIdentity();
}
void LoadMatrixf(const GLfloat* matrix) {
    glLoadMatrixf(matrix);
}
void Begin(GLenum mode) {
    glBegin(mode);
}
void End() {
    glEnd();
}
void TexCoord2fv(const GLfloat* uv) {
    glTexCoord2fv(uv);
}
void Color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    glColor4f(r, g, b, a);
}
void Vertex3fv(const GLfloat* xyz) {
    glVertex3fv(xyz);
}
void InterleavedArrays(GLenum format, GLsizei stride, const void* pointer) {
    glInterleavedArrays(format, stride, pointer);
}
void ArrayElement(GLint index) {
    glArrayElement(index);
}
void DrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    glDrawElements(mode, count, type, indices);
}
void GenTextures(GLsizei count, GLuint* names) {
    glGenTextures(count, names);
}
void DeleteTextures(GLsizei count, const GLuint* names) {
    glDeleteTextures(count, names);
}
void BindTexture(GLenum target, GLuint texture) {
    glBindTexture(target, texture);
}
void PixelStorei(GLenum name, GLint value) {
    glPixelStorei(name, value);
}
void TexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                GLenum format, GLenum type, const void* pixels) {
    glTexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
}
void TexParameterf(GLenum target, GLenum name, GLfloat value) {
    glTexParameterf(target, name, value);
}

void Finish() {
    glFinish();
}
GLenum GetError() {
    return glGetError();
}

} // namespace

GlTable GlTableDesktop() {
    GlTable gl{};
    gl.Viewport = &Viewport;
    gl.Clear = &Clear;
    gl.Scissor = &Scissor;
    gl.Enable = &Enable;
    gl.Disable = &Disable;
    gl.BlendFunc = &BlendFunc;
    gl.ClipPlane = &ClipPlane;
    gl.Fogfv = &Fogfv;
    gl.Fogf = &Fogf;
    gl.Fogi = &Fogi;
    gl.MatrixMode = &MatrixMode;
    gl.LoadIdentity = &LoadIdentity;
    gl.LoadMatrixf = &LoadMatrixf;
    gl.Begin = &Begin;
    gl.End = &End;
    gl.TexCoord2fv = &TexCoord2fv;
    gl.Color4f = &Color4f;
    gl.Vertex3fv = &Vertex3fv;
    gl.InterleavedArrays = &InterleavedArrays;
    gl.ArrayElement = &ArrayElement;
    gl.DrawElements = &DrawElements;
    gl.GenTextures = &GenTextures;
    gl.DeleteTextures = &DeleteTextures;
    gl.BindTexture = &BindTexture;
    gl.PixelStorei = &PixelStorei;
    gl.TexImage2D = &TexImage2D;
    gl.TexParameterf = &TexParameterf;
    gl.Finish = &Finish;
    gl.GetError = &GetError;
    return gl;
}

GlTable GlTableOfSystem() { return GlTableDesktop(); }

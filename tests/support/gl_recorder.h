// Records the GL calls the scene drawing makes through g_drawGl. While a
// GlRecorder lives, every entry of the drawing's GL table lands in `calls`
// (name and arguments); with `forward` set the calls also reach the real GL
// (a context must then be current); otherwise the recorder keeps its own
// projection and modelview matrices (glMatrixMode, glLoadIdentity and
// gluPerspective act on them) and a viewport, and glGetFloatv answers from
// them. glDrawElements with GL_UNSIGNED_SHORT indices is recorded as
// (mode, count, type, index...).
#pragma once

#include <string>
#include <vector>

// The matrix gluPerspective multiplies by, in GL's column order.
void PerspectiveMatrix(double fovy, double aspect, double zNear, double zFar, float out[16]);

struct GlCall {
    std::string name;         // the GL function's name, "glBegin" etc.
    std::vector<double> args; // numeric arguments in order (enums as numbers)
    const void* pointer;      // pointer argument (glInterleavedArrays, glDrawElements), else null
};

class GlRecorder {
  public:
    explicit GlRecorder(bool forward = false);
    ~GlRecorder();
    GlRecorder(const GlRecorder&) = delete;
    GlRecorder& operator=(const GlRecorder&) = delete;

    std::vector<GlCall> calls;
    // The matrices kept when not forwarding; identity at start. Column
    // order, as GL gives them. The modelview one starts current.
    float projection[16];
    float modelview[16];
    // x, y, width, height; zero (no viewport) until a test sets it.
    float viewport[4];
    bool projectionCurrent = false;

    // Number of calls named `name`.
    int Count(const std::string& name) const;
    // Indices into calls of the calls named `name`.
    std::vector<size_t> Find(const std::string& name) const;
    // The array vertices drawn, in order: glArrayElement's index, then the
    // indices of each glDrawElements.
    std::vector<int> ArrayIndices() const;
    // Call names in order, joined with spaces (for order checks).
    std::string Names() const;
    void Clear() { calls.clear(); }

    bool forward;
};

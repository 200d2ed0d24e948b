// The read-back of a finished frame, the same on every system.
#include "platform/headless_gl_local.h"

#ifdef _WIN32
#include <windows.h> // the GL header's calling conventions
#endif
#include <GL/gl.h>

std::vector<uint8_t> ReadBackRgba(const int32_t width, const int32_t height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4u);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}

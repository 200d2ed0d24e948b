// Headless GL: EGL's surfaceless Mesa platform with a pbuffer surface.
#include "platform/headless_gl_local.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio> // snprintf
#include <thread> // the context prepared beside the caller

namespace {

struct HeadlessGl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
    int32_t width = 0;
    int32_t height = 0;
    std::string error;
};

HeadlessGl s_gl;

// Runs OpenDisplay for HeadlessGlPrepare; joined before s_gl is touched,
// and at exit when nobody asked for the context after all.
struct Opener {
    std::thread thread;
    ~Opener() {
        if (thread.joinable()) {
            thread.join();
        }
    }
};
Opener s_opener;

void WaitForOpener() {
    if (s_opener.thread.joinable()) {
        s_opener.thread.join();
    }
}

void ReleaseAll();

bool Fail(const char* what) {
    char code[16] = {};
    std::snprintf(code, sizeof(code), "0x%04X", static_cast<unsigned>(eglGetError()));
    s_gl.error = std::string(what) + " (EGL error " + code + ")";
    return false;
}

bool OpenDisplay() {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        return Fail("eglGetPlatformDisplayEXT missing");
    }
    s_gl.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (s_gl.display == EGL_NO_DISPLAY) {
        return Fail("no surfaceless display");
    }
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(s_gl.display, &major, &minor)) {
        s_gl.display = EGL_NO_DISPLAY;
        return Fail("eglInitialize failed");
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        return Fail("desktop OpenGL not offered");
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,     8,               EGL_GREEN_SIZE,      8,
                                 EGL_BLUE_SIZE,    8,               EGL_ALPHA_SIZE,      8,
                                 EGL_DEPTH_SIZE,   16,              EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(s_gl.display, attributes, &s_gl.config, 1, &count) || count < 1) {
        return Fail("no pbuffer config");
    }
    // No version asked for: the default is a compatibility context, which has
    // the fixed-function pipeline the program draws with.
    s_gl.context = eglCreateContext(s_gl.display, s_gl.config, EGL_NO_CONTEXT, nullptr);
    if (s_gl.context == EGL_NO_CONTEXT) {
        return Fail("eglCreateContext failed");
    }
    return true;
}

} // namespace

void HeadlessGlPrepare() {
    if (s_opener.thread.joinable() || s_gl.display != EGL_NO_DISPLAY) {
        return;
    }
    // EGL is thread-safe and the new context is current nowhere, so the
    // caller's thread can make it its own afterwards.
    s_opener.thread = std::thread([] {
        if (!OpenDisplay()) {
            ReleaseAll();
        }
    });
}

bool HeadlessGlMakeCurrent(int32_t width, int32_t height) {
    WaitForOpener();
    s_gl.error.clear();
    if (width < 1 || height < 1) {
        s_gl.error = "colour buffer needs a positive size";
        return false;
    }
    if (s_gl.display == EGL_NO_DISPLAY || s_gl.context == EGL_NO_CONTEXT) {
        HeadlessGlRelease();
        if (!OpenDisplay()) {
            return false;
        }
    }
    if (s_gl.surface != EGL_NO_SURFACE && (s_gl.width != width || s_gl.height != height)) {
        eglMakeCurrent(s_gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroySurface(s_gl.display, s_gl.surface);
        s_gl.surface = EGL_NO_SURFACE;
        s_gl.width = 0;
        s_gl.height = 0;
    }
    if (s_gl.surface == EGL_NO_SURFACE) {
        const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        s_gl.surface = eglCreatePbufferSurface(s_gl.display, s_gl.config, attributes);
        if (s_gl.surface == EGL_NO_SURFACE) {
            return Fail("eglCreatePbufferSurface failed");
        }
        s_gl.width = width;
        s_gl.height = height;
    }
    if (!eglMakeCurrent(s_gl.display, s_gl.surface, s_gl.surface, s_gl.context)) {
        return Fail("eglMakeCurrent failed");
    }
    glViewport(0, 0, width, height);
    return true;
}

std::string HeadlessGlError() {
    WaitForOpener();
    return s_gl.error;
}

int32_t HeadlessGlWidth() {
    WaitForOpener();
    return s_gl.surface != EGL_NO_SURFACE ? s_gl.width : 0;
}

int32_t HeadlessGlHeight() {
    WaitForOpener();
    return s_gl.surface != EGL_NO_SURFACE ? s_gl.height : 0;
}

std::vector<uint8_t> HeadlessGlReadColorBuffer() {
    WaitForOpener();
    if (s_gl.surface == EGL_NO_SURFACE || eglGetCurrentContext() != s_gl.context) {
        return {};
    }
    return ReadBackRgba(s_gl.width, s_gl.height);
}

void HeadlessGlDetach() {
    WaitForOpener();
    if (s_gl.display != EGL_NO_DISPLAY) {
        eglMakeCurrent(s_gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
}

namespace {

// Everything EGL holds for the process, keeping the last error.
void ReleaseAll() {
    if (s_gl.display != EGL_NO_DISPLAY) {
        eglMakeCurrent(s_gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (s_gl.surface != EGL_NO_SURFACE) {
            eglDestroySurface(s_gl.display, s_gl.surface);
        }
        if (s_gl.context != EGL_NO_CONTEXT) {
            eglDestroyContext(s_gl.display, s_gl.context);
        }
        eglTerminate(s_gl.display);
    }
    const std::string error = s_gl.error;
    s_gl = HeadlessGl{};
    s_gl.error = error;
}

} // namespace

void HeadlessGlRelease() {
    WaitForOpener();
    ReleaseAll();
}

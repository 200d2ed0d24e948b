// Headless GL on Windows: a WGL context made on a hidden window, drawing into
// a framebuffer object of the asked size (a hidden window's own pixels are not
// guaranteed to be kept, so they are never drawn into).
#include "platform/headless_gl_local.h"

#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio> // snprintf

namespace {

const char kClassName[] = "TessaroHeadlessGl";

struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSEXTPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSEXTPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSEXTPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFEREXTPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEEXTPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC checkFramebufferStatus = nullptr;
};

struct HeadlessGl {
    HINSTANCE instance = nullptr;
    bool classRegistered = false;
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
    FramebufferCalls calls;
    GLuint framebuffer = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::string error;
};

HeadlessGl s_gl;

bool Fail(const char* what) {
    char code[32] = {};
    std::snprintf(code, sizeof(code), " (error %lu)", static_cast<unsigned long>(GetLastError()));
    s_gl.error = std::string(what) + code;
    return false;
}

template <typename Call>
bool LoadCall(Call* call, const char* name) {
    *call = reinterpret_cast<Call>(reinterpret_cast<void*>(wglGetProcAddress(name)));
    return *call != nullptr;
}

bool LoadFramebufferCalls(FramebufferCalls* c) {
    return LoadCall(&c->genFramebuffers, "glGenFramebuffersEXT") &&
           LoadCall(&c->deleteFramebuffers, "glDeleteFramebuffersEXT") &&
           LoadCall(&c->bindFramebuffer, "glBindFramebufferEXT") &&
           LoadCall(&c->genRenderbuffers, "glGenRenderbuffersEXT") &&
           LoadCall(&c->deleteRenderbuffers, "glDeleteRenderbuffersEXT") &&
           LoadCall(&c->bindRenderbuffer, "glBindRenderbufferEXT") &&
           LoadCall(&c->renderbufferStorage, "glRenderbufferStorageEXT") &&
           LoadCall(&c->framebufferRenderbuffer, "glFramebufferRenderbufferEXT") &&
           LoadCall(&c->checkFramebufferStatus, "glCheckFramebufferStatusEXT");
}

bool OpenContext() {
    s_gl.instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = s_gl.instance;
    wc.lpszClassName = kClassName;
    if (RegisterClassA(&wc) == 0) {
        return Fail("RegisterClassA failed");
    }
    s_gl.classRegistered = true;
    s_gl.window = CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr, s_gl.instance,
                                  nullptr);
    if (s_gl.window == nullptr) {
        return Fail("CreateWindowExA failed");
    }
    s_gl.dc = GetDC(s_gl.window);
    if (s_gl.dc == nullptr) {
        return Fail("GetDC failed");
    }
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 16;
    pfd.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(s_gl.dc, &pfd);
    if (format == 0 || !SetPixelFormat(s_gl.dc, format, &pfd)) {
        return Fail("no pixel format for OpenGL");
    }
    s_gl.context = wglCreateContext(s_gl.dc);
    if (s_gl.context == nullptr) {
        return Fail("wglCreateContext failed");
    }
    if (!wglMakeCurrent(s_gl.dc, s_gl.context)) {
        return Fail("wglMakeCurrent failed");
    }
    if (!LoadFramebufferCalls(&s_gl.calls)) {
        return Fail("framebuffer objects not offered");
    }
    return true;
}

void DropFramebuffer() {
    const FramebufferCalls& c = s_gl.calls;
    if (s_gl.framebuffer != 0) {
        c.bindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
        c.deleteFramebuffers(1, &s_gl.framebuffer);
        s_gl.framebuffer = 0;
    }
    if (s_gl.colour != 0) {
        c.deleteRenderbuffers(1, &s_gl.colour);
        s_gl.colour = 0;
    }
    if (s_gl.depth != 0) {
        c.deleteRenderbuffers(1, &s_gl.depth);
        s_gl.depth = 0;
    }
    s_gl.width = 0;
    s_gl.height = 0;
}

GLuint MakeRenderbuffer(GLenum format, int32_t width, int32_t height) {
    const FramebufferCalls& c = s_gl.calls;
    GLuint buffer = 0;
    c.genRenderbuffers(1, &buffer);
    c.bindRenderbuffer(GL_RENDERBUFFER_EXT, buffer);
    c.renderbufferStorage(GL_RENDERBUFFER_EXT, format, width, height);
    return buffer;
}

bool MakeFramebuffer(int32_t width, int32_t height) {
    const FramebufferCalls& c = s_gl.calls;
    s_gl.colour = MakeRenderbuffer(GL_RGBA8, width, height);
    s_gl.depth = MakeRenderbuffer(GL_DEPTH_COMPONENT16, width, height);
    c.genFramebuffers(1, &s_gl.framebuffer);
    c.bindFramebuffer(GL_FRAMEBUFFER_EXT, s_gl.framebuffer);
    c.framebufferRenderbuffer(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, s_gl.colour);
    c.framebufferRenderbuffer(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, s_gl.depth);
    if (c.checkFramebufferStatus(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT) {
        DropFramebuffer();
        s_gl.error = "framebuffer incomplete";
        return false;
    }
    s_gl.width = width;
    s_gl.height = height;
    return true;
}

} // namespace

// A WGL context belongs to the window of the thread that made it, so there is
// nothing to prepare elsewhere.
void HeadlessGlPrepare() {}

bool HeadlessGlMakeCurrent(int32_t width, int32_t height) {
    s_gl.error.clear();
    if (width < 1 || height < 1) {
        s_gl.error = "colour buffer needs a positive size";
        return false;
    }
    if (s_gl.context == nullptr) {
        HeadlessGlRelease();
        if (!OpenContext()) {
            const std::string error = s_gl.error;
            HeadlessGlRelease();
            s_gl.error = error;
            return false;
        }
    } else if (!wglMakeCurrent(s_gl.dc, s_gl.context)) {
        return Fail("wglMakeCurrent failed");
    }
    if (s_gl.framebuffer != 0 && (s_gl.width != width || s_gl.height != height)) {
        DropFramebuffer();
    }
    if (s_gl.framebuffer == 0 && !MakeFramebuffer(width, height)) {
        return false;
    }
    s_gl.calls.bindFramebuffer(GL_FRAMEBUFFER_EXT, s_gl.framebuffer);
    glViewport(0, 0, width, height);
    return true;
}

std::string HeadlessGlError() { return s_gl.error; }

int32_t HeadlessGlWidth() { return s_gl.framebuffer != 0 ? s_gl.width : 0; }

int32_t HeadlessGlHeight() { return s_gl.framebuffer != 0 ? s_gl.height : 0; }

std::vector<uint8_t> HeadlessGlReadColorBuffer() {
    if (s_gl.framebuffer == 0 || wglGetCurrentContext() != s_gl.context) {
        return {};
    }
    return ReadBackRgba(s_gl.width, s_gl.height);
}

void HeadlessGlDetach() {
    if (s_gl.context != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
    }
}

void HeadlessGlRelease() {
    if (s_gl.context != nullptr) {
        if (wglMakeCurrent(s_gl.dc, s_gl.context)) {
            DropFramebuffer();
        }
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(s_gl.context);
    }
    if (s_gl.dc != nullptr) {
        ReleaseDC(s_gl.window, s_gl.dc);
    }
    if (s_gl.window != nullptr) {
        DestroyWindow(s_gl.window);
    }
    if (s_gl.classRegistered) {
        UnregisterClassA(kClassName, s_gl.instance);
    }
    const std::string error = s_gl.error;
    s_gl = HeadlessGl{};
    s_gl.error = error;
}

// The show's picture drawn off screen and shown scaled, for windows larger
// than the mode (full screen on any display, a scaled window). The program
// keeps drawing at the mode's size with its own viewports; only the swap
// differs: the window turns black and the picture is copied into its centre
// with the aspect kept.
#include "framework/lumora_local_sdl.h"

#include <GL/gl.h>
#include <GL/glext.h> // framebuffer object calls, loaded at run time

namespace {

// The framebuffer calls, taken from the driver once a context is current.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;
};

FramebufferCalls s_calls;

template <typename Call>
bool LoadCall(Call* call, const char* name) {
    *call = reinterpret_cast<Call>(SDL_GL_GetProcAddress(name));
    return *call != nullptr;
}

bool LoadFramebufferCalls() {
    FramebufferCalls& c = s_calls;
    return LoadCall(&c.genFramebuffers, "glGenFramebuffers") &&
           LoadCall(&c.deleteFramebuffers, "glDeleteFramebuffers") &&
           LoadCall(&c.bindFramebuffer, "glBindFramebuffer") &&
           LoadCall(&c.genRenderbuffers, "glGenRenderbuffers") &&
           LoadCall(&c.deleteRenderbuffers, "glDeleteRenderbuffers") &&
           LoadCall(&c.bindRenderbuffer, "glBindRenderbuffer") &&
           LoadCall(&c.renderbufferStorage, "glRenderbufferStorage") &&
           LoadCall(&c.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
           LoadCall(&c.checkFramebufferStatus, "glCheckFramebufferStatus") &&
           LoadCall(&c.blitFramebuffer, "glBlitFramebuffer");
}

// The GL state the presentation touches, given back afterwards: the program
// may leave scissoring on, mask colours or clear to a fog colour.
struct SavedState {
    GLboolean scissor;
    GLboolean colourMask[4];
    GLfloat clearColour[4];

    SavedState() {
        scissor = glIsEnabled(GL_SCISSOR_TEST);
        glGetBooleanv(GL_COLOR_WRITEMASK, colourMask);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    }
    ~SavedState() {
        if (scissor == GL_TRUE) {
            glEnable(GL_SCISSOR_TEST);
        }
        glColorMask(colourMask[0], colourMask[1], colourMask[2], colourMask[3]);
        glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;
};

} // namespace

bool CreatePictureBuffer(HWND hWnd, const int width, const int height) {
    if (hWnd == nullptr || width <= 0 || height <= 0 || hWnd->picture.framebuffer != 0 || !LoadFramebufferCalls()) {
        return false;
    }
    PictureBuffer& picture = hWnd->picture;
    const FramebufferCalls& c = s_calls;
    GLuint names[2] = {0, 0};
    c.genRenderbuffers(2, names);
    picture.colour = names[0];
    picture.depth = names[1];
    c.bindRenderbuffer(GL_RENDERBUFFER, picture.colour);
    c.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    // The window's own depth buffer has 16 bits; so does the picture's.
    c.bindRenderbuffer(GL_RENDERBUFFER, picture.depth);
    c.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
    c.bindRenderbuffer(GL_RENDERBUFFER, 0);

    GLuint framebuffer = 0;
    c.genFramebuffers(1, &framebuffer);
    picture.framebuffer = framebuffer;
    c.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    c.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, picture.colour);
    c.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, picture.depth);
    picture.width = width;
    picture.height = height;
    if (c.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        ReleasePictureBuffer(hWnd);
        return false;
    }
    return true;
}

void ReleasePictureBuffer(HWND hWnd) {
    if (hWnd == nullptr || hWnd->picture.framebuffer == 0) {
        return;
    }
    PictureBuffer& picture = hWnd->picture;
    const FramebufferCalls& c = s_calls;
    c.bindFramebuffer(GL_FRAMEBUFFER, 0);
    GLuint framebuffer = picture.framebuffer;
    c.deleteFramebuffers(1, &framebuffer);
    const GLuint names[2] = {picture.colour, picture.depth};
    c.deleteRenderbuffers(2, names);
    picture = PictureBuffer{0, 0, 0, 0, 0};
}

bool PresentPicture(HWND hWnd) {
    if (hWnd == nullptr || hWnd->window == nullptr || hWnd->picture.framebuffer == 0) {
        return false;
    }
    const PictureBuffer& picture = hWnd->picture;
    const FramebufferCalls& c = s_calls;
    // The window's size is read at every frame: a window manager grants the
    // full-screen size some time after the window appears.
    int surfaceWidth = 0;
    int surfaceHeight = 0;
    SDL_GL_GetDrawableSize(hWnd->window, &surfaceWidth, &surfaceHeight);
    const PictureRect to = FitPicture(surfaceWidth, surfaceHeight, picture.width, picture.height);
    // Whole multiples keep sharp pixels; anything else is smoothed.
    const bool whole = to.width % picture.width == 0 && to.height % picture.height == 0;
    {
        SavedState saved;
        c.bindFramebuffer(GL_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        c.bindFramebuffer(GL_READ_FRAMEBUFFER, picture.framebuffer);
        c.blitFramebuffer(0, 0, picture.width, picture.height, to.x, to.y, to.x + to.width, to.y + to.height,
                          GL_COLOR_BUFFER_BIT, whole ? GL_NEAREST : GL_LINEAR);
        SDL_GL_SwapWindow(hWnd->window);
        c.bindFramebuffer(GL_FRAMEBUFFER, picture.framebuffer);
    }
    return true;
}

// The drawing seam: every GL call of the program above platform/ and
// framework/ goes through one GlTable, a record of function pointers.
//
// What the program asks of GL is small. Vertices are transformed and lit on
// the CPU and arrive in eye space with their final colours, so GL only draws
// textured, coloured triangles with blending, fog, depth, scissor and user
// clip planes, loads the projection, and takes texture uploads. The modelview
// matrix stays the identity. The entries keep the names and arguments of the
// GL 1.1 functions they stand for; enums are GL's.
//
// GlTableDesktop gives today's GL 1.1 calls. Another backend (WebGL, say)
// fills the same record: it emulates the immediate calls and the fixed
// function state with a buffer and one shader, and needs nothing else from
// the program. The engine owns the program's table (DrawContext::gl) and
// passes it down; tests put their own entries in.
#pragma once

#include <GL/gl.h> // GLenum, GLint, GLsizei, GLuint, GLfloat, GLdouble, GLbitfield and the enums

struct GlTable {
    // --- Frame ---------------------------------------------------------------
    // Engine: each scene's rectangle, the overlays' full screen.
    void (*Viewport)(GLint x, GLint y, GLsizei width, GLsizei height);
    // Engine: colour and depth at a frame's start, depth between scenes;
    // sky box: depth after the box; shell and capture: black buffers at start.
    void (*Clear)(GLbitfield mask);
    // Mirror: the window rectangle of the quad around its reflected draws.
    void (*Scissor)(GLint x, GLint y, GLsizei width, GLsizei height);

    // --- State ---------------------------------------------------------------
    // Caps used: GL_BLEND (translucent scenes, chrome, mirror quad, overlays),
    // GL_DEPTH_TEST (off under the mirror quad and the overlays),
    // GL_TEXTURE_2D (off for untextured quads, on for the noise overlay and
    // after uploads), GL_SCISSOR_TEST and GL_CLIP_PLANE0..4 (mirror), GL_FOG
    // (timeline's fog events).
    void (*Enable)(GLenum cap);
    void (*Disable)(GLenum cap);
    // Blend equations: alpha over (translucent scenes, mirror quad), additive
    // (chrome pass, flash), alpha times destination alpha (noise).
    void (*BlendFunc)(GLenum source, GLenum destination);
    // Mirror: the planes through the eye and the quad's edges, in eye space.
    void (*ClipPlane)(GLenum plane, const GLdouble* equation);
    // Timeline's fog events: GL_FOG_COLOR.
    void (*Fogfv)(GLenum name, const GLfloat* values);
    // Timeline's fog events: GL_FOG_DENSITY, GL_FOG_START, GL_FOG_END.
    void (*Fogf)(GLenum name, GLfloat value);
    // Timeline's fog events: GL_FOG_MODE.
    void (*Fogi)(GLenum name, GLint value);

    // --- Matrices ------------------------------------------------------------
    // Scene drawing and overlays: GL_PROJECTION to load it, GL_MODELVIEW after.
    void (*MatrixMode)(GLenum mode);
    // Overlays: identity projection; shell and capture: identity modelview.
    void (*LoadIdentity)();
    // Scene drawing: the camera's perspective projection, column order.
    void (*LoadMatrixf)(const GLfloat* matrix);

    // --- Triangles, one vertex at a time -------------------------------------
    // Translucent passes, chrome passes, mirror quad, overlays: GL_TRIANGLES
    // or GL_TRIANGLE_STRIP.
    void (*Begin)(GLenum mode);
    void (*End)();
    void (*TexCoord2fv)(const GLfloat* uv);
    void (*Color4f)(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
    void (*Vertex3fv)(const GLfloat* xyz);

    // --- Triangles from arrays -----------------------------------------------
    // Opaque passes and the sky box: GL_T2F_C3F_V3F arrays of ArrayVertex.
    void (*InterleavedArrays)(GLenum format, GLsizei stride, const void* pointer);
    // Sky box: the four vertices of a face's strip.
    void (*ArrayElement)(GLint index);
    // Opaque passes: batches of GL_TRIANGLES with GL_UNSIGNED_SHORT indices.
    void (*DrawElements)(GLenum mode, GLsizei count, GLenum type, const void* indices);

    // --- Textures ------------------------------------------------------------
    // Texture manager: a name for each upload.
    void (*GenTextures)(GLsizei count, GLuint* names);
    // Texture manager: gives back the names of a show's uploads when a player
    // that stays open loads its show again.
    void (*DeleteTextures)(GLsizei count, const GLuint* names);
    // Texture manager, groups, chrome passes, sky box, mirror, noise overlay.
    void (*BindTexture)(GLenum target, GLuint texture);
    // Texture manager: GL_UNPACK_ALIGNMENT for rows of 1 or 2 RGB pixels.
    void (*PixelStorei)(GLenum name, GLint value);
    // Texture manager: each level of an upload, GL_RGB or GL_RGBA bytes.
    void (*TexImage2D)(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                       GLint border, GLenum format, GLenum type, const void* pixels);
    // Texture manager: GL_REPEAT wrap and GL_LINEAR filters.
    void (*TexParameterf)(GLenum target, GLenum name, GLfloat value);

    // --- Checks --------------------------------------------------------------
    // Bench: waits until the frames it times are drawn.
    void (*Finish)();
    // Bench: the error its frames left, GL_NO_ERROR when none.
    GLenum (*GetError)();
};

// The table of the GL 1.1 functions themselves (platform/gl_table_desktop.cpp).
// Entries are valid while a GL context is current.
GlTable GlTableDesktop();

// The table over WebGL (platform/gl_table_web.cpp, browser build only): the
// entries emulated with a buffer and one shader in the current WebGL context.
GlTable GlTableWeb();

// The table of the system the program is built for: GlTableDesktop on the
// desktop, GlTableWeb in the browser. The engine draws through it.
GlTable GlTableOfSystem();

// Headless OpenGL for tests: a compatibility context on Mesa's software
// renderer through EGL, with no X server. One context serves the whole test
// process; its offscreen colour buffer is resized on demand. The context is
// the program's own (platform/headless_gl.h); these are its names in tests.
#pragma once

#include <cstdint> // int32_t, uint8_t
#include <string>
#include <vector>

// Makes the process's GL context current on a width x height RGBA colour
// buffer with a 16-bit depth buffer, creating the context on first use.
// Returns false (and leaves the reason for TestGlError) when EGL or the
// renderer is not available. Released with TestGlRelease.
bool TestGlMakeCurrent(int32_t width, int32_t height);

// Why the last TestGlMakeCurrent failed; empty after a success.
std::string TestGlError();

// Width and height of the current colour buffer; 0 when none.
int32_t TestGlWidth();
int32_t TestGlHeight();

// Reads back the current colour buffer: width x height x 4 bytes R, G, B, A,
// bottom row first (GL order). Empty when no context is current.
std::vector<uint8_t> TestGlReadColorBuffer();

// Leaves the thread without a current context (as after the program's window
// has gone) while keeping it for the next TestGlMakeCurrent.
void TestGlDetach();

// Releases the surface, context and display; the next TestGlMakeCurrent
// starts afresh. Mesa keeps a little memory across a terminate and a second
// initialise, so tests detach rather than release between cases.
void TestGlRelease();

// Headless OpenGL: a compatibility context on Mesa's software
// renderer through EGL, with no X server and no window. One context serves
// the whole process (the player's capture mode, the GL tests); its offscreen
// colour buffer is resized on demand. Main thread only, apart from the
// preparation HeadlessGlPrepare hands to a thread of its own.
#pragma once

#include <cstdint> // int32_t, uint8_t
#include <string>
#include <vector>

// Starts creating the process's context on a second thread, so that loading
// the GL driver overlaps whatever the caller does next; the next
// HeadlessGlMakeCurrent (or any call below) waits for it. Calling it again,
// or after the context exists, does nothing. Where contexts are tied to the
// thread that made them it does nothing at all.
void HeadlessGlPrepare();

// Makes the process's GL context current on a width x height RGBA colour
// buffer with a 16-bit depth buffer, creating the context on first use.
// Returns false (and leaves the reason for HeadlessGlError) when EGL or the
// renderer is not available. Released with HeadlessGlRelease.
bool HeadlessGlMakeCurrent(int32_t width, int32_t height);

// Why the last HeadlessGlMakeCurrent failed; empty after a success.
std::string HeadlessGlError();

// Width and height of the current colour buffer; 0 when none.
int32_t HeadlessGlWidth();
int32_t HeadlessGlHeight();

// Reads back the current colour buffer: width x height x 4 bytes R, G, B, A,
// bottom row first (GL order). Empty when no context is current.
std::vector<uint8_t> HeadlessGlReadColorBuffer();

// Leaves the thread without a current context (as after the program's window
// has gone) while keeping it for the next HeadlessGlMakeCurrent.
void HeadlessGlDetach();

// Releases the surface, context and display; the next HeadlessGlMakeCurrent
// starts afresh. Mesa keeps a little memory across a terminate and a second
// initialise, so tests detach rather than release between cases.
void HeadlessGlRelease();

// The show's drawing set up on the tests' off-screen GL context as the
// start-up sets it up on a window: the framework's size, GL state and
// projection, and the engine's screen size. No sound.
#pragma once

#include "engine/engine.h"    // EngineSetScreenSize
#include "framework/lumora.h" // fwk, InitGL, ReSizeGLScene
#include "tests/support/gl_context.h"

#include <cstdint> // int32_t

// False (the reason in TestGlError) when there is no GL context.
inline bool ShowOnTestGl(const int32_t width, const int32_t height) {
    if (!TestGlMakeCurrent(width, height)) {
        return false;
    }
    fwk.width = width;
    fwk.height = height;
    fwk.playSounds = false;
    EngineSetScreenSize(width, height);
    InitGL();
    ReSizeGLScene(width, height);
    return true;
}

// The test names for the one headless GL context of platform/headless_gl.
#include "tests/support/gl_context.h"

#include "platform/headless_gl.h"

bool TestGlMakeCurrent(const int32_t width, const int32_t height) {
    return HeadlessGlMakeCurrent(width, height);
}

std::string TestGlError() {
    return HeadlessGlError();
}

int32_t TestGlWidth() {
    return HeadlessGlWidth();
}

int32_t TestGlHeight() {
    return HeadlessGlHeight();
}

std::vector<uint8_t> TestGlReadColorBuffer() {
    return HeadlessGlReadColorBuffer();
}

void TestGlDetach() {
    HeadlessGlDetach();
}

void TestGlRelease() {
    HeadlessGlRelease();
}

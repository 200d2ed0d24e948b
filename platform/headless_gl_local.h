// Insides of the headless GL context shared by its two systems' sources.
#pragma once

#include "platform/headless_gl.h"

// Reads width x height RGBA pixels of the current colour buffer, bottom row
// first, once every drawing command has finished.
std::vector<uint8_t> ReadBackRgba(int32_t width, int32_t height);

// The Irrlicht contenders behind plain functions: its headers predate C++20,
// so they are compiled in a file of their own (bench/CMakeLists.txt).
#pragma once

#include <string>

// Starts a device with the null video driver and silences its log. False
// when it cannot be made.
bool IrrlichtStart();
// Loads a mesh (3DS, MD2) and drops it from the mesh cache. False on failure.
bool IrrlichtLoadMesh(const std::string& path);
// Loads an image into Irrlicht's own format and drops it. False on failure.
bool IrrlichtLoadImage(const std::string& path);
// Drops the device.
void IrrlichtStop();

// The Irrlicht contenders behind plain functions: its headers predate C++20,
// so they are compiled in a file of their own (bench/CMakeLists.txt).
#pragma once

#include <string>
#include <vector>

// Starts a device with the null video driver and silences its log. False
// when it cannot be made.
bool IrrlichtStart();
// Loads a mesh (3DS, MD2) and drops it from the mesh cache. False on failure.
bool IrrlichtLoadMesh(const std::string& path);
// Loads an image into Irrlicht's own format and drops it. False on failure.
bool IrrlichtLoadImage(const std::string& path);
// Drops the device.
void IrrlichtStop();

// --- The corridor frame on Irrlicht's OpenGL driver --------------------------

struct CorridorView;

// Opens an OpenGL device of width x height on the X display (GLX), loads the
// corridor `scenePath` (a 3DS file; its textures beside it) as a static mesh
// with hardware buffers, the character `md2Path` with the skin `skinPath`,
// placed and posed as `view` says, the scene's lights as Irrlicht point
// lights without attenuation, and a camera copied from `view`. Leaves its
// context current. False with *error set when there is no display or a file
// does not load.
bool IrrlichtCorridorStart(const std::string& scenePath, const std::string& md2Path, const std::string& skinPath,
                           const CorridorView& view, int width, int height, std::string* error);
// Makes the device's GLX context current / leaves the thread without it.
bool IrrlichtCorridorMakeCurrent();
void IrrlichtCorridorDetach();
// Draws `frames` frames (beginScene with colour and depth cleared, drawAll),
// then glFinish; with `present` each frame ends with endScene (which swaps
// the window's buffers). False when the driver reports a failure.
bool IrrlichtCorridorFrames(int frames, bool present);
// The back buffer after IrrlichtCorridorFrames(..., false): RGBA, bottom row first.
std::vector<unsigned char> IrrlichtCorridorReadBack();
// Drops the OpenGL device.
void IrrlichtCorridorStop();

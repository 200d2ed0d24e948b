// The MD2 format's table of 162 unit normals: a frame vertex stores only an
// index into it. The directions are the vertices of a subdivided icosahedron,
// listed in the order the format defines.
#pragma once

#include <cstdint> // int32_t

#include "md2/md2.h" // kMd2NormalCount

// Entry i is the unit normal of normal index i; indices of kMd2NormalCount or
// more are not part of the format.
extern const double kMd2Normals[kMd2NormalCount][3];

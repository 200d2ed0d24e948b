// 3DS scene reader: turns one 3DS file of the resource archive into the mesh
// objects, materials, lights, cameras and keyframe tracks of a Scene.
//
// The whole file is read into a heap buffer, its chunks are walked once from
// front to back without recursion (a chunk that is "entered" only has its
// header stepped over, so its sub-chunks meet the same loop), and a post-pass
// computes normals, orders faces by material, computes bounding boxes and
// links the object hierarchy.
//
// The reader builds the scene's model only: a material's texture map is
// recorded by name (Material::mapFile) and loaded by whoever turns the scene
// into something drawn (the engine's LoadScene). Nothing here touches GL.
//
// Ownership: everything that stays in the scene (records, names, arrays, keys)
// comes from the memory pools and belongs to the scene. The file buffer and the
// temporary arrays come from the general heap and are released before Load
// returns. One reader serves every scene; its fields are reset by each load.
//
// Input is untrusted: chunk lengths are clamped to the chunk that holds them
// and to the file, counts are checked against the bytes really there, indices
// against the arrays they index, and the scene's fixed tables are never
// overrun. Layout facts and limits live in loader3ds/format3ds.h.
#pragma once

struct Scene;

// Reads archive entry `name` of g_currentPak into `scene` (an empty, freshly
// constructed scene; not owned), with the program's one reader. Fatal
// conditions throw a const char* message: missing entry, no memory for the
// file, a face group naming an unknown material. The scene is then partly
// filled, and belongs to the caller either way.
// Bound for an entry of N bytes: N + 2 heap bytes for the file and at most
// 40 N + 4 KiB of pool (an 8-byte empty vertex list buys a whole object),
// never more than the pool holds; one pass over the chunks and a post-pass
// linear in vertices and faces, except that the material and face-group
// tables grow by one entry per chunk, O(M^2) copying for M such chunks.
void Load3ds(const char* name, Scene* scene);

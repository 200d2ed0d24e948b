// Plain vertex, face and material records shared by the scene model, the MD2
// models and the drawing code. They sit at the bottom of the layers, beside the
// maths, so that the MD2 models below the scene can fill them too. No
// behaviour lives here; the records that own them (MeshObject, Md2Model,
// Md2Instance) say who allocates and releases them.
#pragma once

#include <cstdint> // int16_t, uint16_t, uint32_t

// A vertex of a mesh: averaged unit normal and object-space position.
struct MeshVertex {
    float normal[3];
    float position[3];
};

// One record of the GL_T2F_C3F_V3F interleaved layout: texture coordinate,
// colour, then the position (eye space once drawn).
struct ArrayVertex {
    float u;
    float v;
    float r;
    float g;
    float b;
    float x;
    float y;
    float z;
};
static_assert(sizeof(ArrayVertex) == 32, "GL_T2F_C3F_V3F records are 32 bytes");

// A triangle: plane distance d = n . B, unit normal scaled by 32767, and its
// three vertex indices A, B, C.
struct Face {
    float d;
    int16_t normal[3];
    uint16_t a;
    uint16_t b;
    uint16_t c;
};

// Surface of a group of faces. Drawing reads only the texture names and the
// environment alpha.
struct Material {
    float ambient[3];
    float diffuse[3];
    float specular[3];
    uint32_t texture;    // GL texture name of the base pass
    uint32_t envTexture; // GL texture name of the environment pass, 0 = none
    float envAlpha;      // alpha of the environment pass
    char* name;
    char* mapFile;
};

// The faces of one object that share a material.
struct MaterialGroup {
    Material* material;
    int32_t faceCount;
    uint16_t* faceIndices; // released once the loader has sorted the faces
};

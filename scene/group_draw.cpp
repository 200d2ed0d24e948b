// The lighting, back-face and environment helpers every object draw shares,
// and the one routine that draws a material group of a mesh or an MD2
// instance from its source of triangles.
#include <cmath> // std::trunc

#include "math/math3d.h" // FastLength, Dot3
#include "scene/draw.h"
#include "scene/scene.h" // Scene, Light, LocalLight, Face

bool ReflectionMayShow(const DrawContext& ctx, const float m[12], const float boxMin[3],
                       const float boxMax[3]) {
    const ReflectionBounds& bounds = ctx.reflection;
    if (bounds.count <= 0) {
        return true;
    }
    // BoxVisible takes six planes: the bounds repeat their first plane to fill them.
    float planes[6][4] = {};
    for (int p = 0; p < 6; ++p) {
        const int source = p < bounds.count ? p : 0;
        for (int c = 0; c < 4; ++c) {
            planes[p][c] = bounds.planes[source][c];
        }
    }
    return BoxVisible(m, boxMin, boxMax, planes);
}

void LightVertex(const float p[3], const float n[3], const LocalLight* lights, int32_t count,
                 float colour[3]) {
    colour[0] = 0.0f;
    colour[1] = 0.0f;
    colour[2] = 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        float l[3] = {p[0] - lights[i].position[0], p[1] - lights[i].position[1],
                      p[2] - lights[i].position[2]};
        const float length = FastLength(Dot3(l, l));
        if (length != 0.0f) {
            l[0] /= length;
            l[1] /= length;
            l[2] /= length;
        }
        float f = Dot3(l, n);
        if (f < 0.0f) {
            f = 0.0f;
        }
        colour[0] += f * lights[i].colour[0];
        colour[1] += f * lights[i].colour[1];
        colour[2] += f * lights[i].colour[2];
    }
    for (int c = 0; c < 3; ++c) {
        if (colour[c] > 1.0f) {
            colour[c] = 1.0f;
        }
        if (colour[c] < 0.0f) {
            colour[c] = 0.0f;
        }
    }
}

bool FaceVisible(const Face& face, const float eye[3]) {
    // The content was tuned against the integer part of d; trunc keeps that
    // without the undefined conversion of a huge d to int.
    const float d = std::trunc(face.d);
    const float dot = static_cast<float>(face.normal[0]) * eye[0] +
                      static_cast<float>(face.normal[1]) * eye[1] +
                      static_cast<float>(face.normal[2]) * eye[2];
    return d - dot * kFaceNormalUnpack >= 0.0f;
}

void EnvironmentCoords(const float m[12], const float n[3], float uv[2]) {
    uv[0] = (m[0] * n[0] + m[1] * n[1] + m[2] * n[2] + 1.0f) * 0.5f;
    uv[1] = (m[4] * n[0] + m[5] * n[1] + m[6] * n[2] + 1.0f) * 0.5f;
}

void EyeInObject(const float world[12], const float cameraPos[3], float eye[3]) {
    const float d[3] = {cameraPos[0] - world[3], cameraPos[1] - world[7], cameraPos[2] - world[11]};
    for (int i = 0; i < 3; ++i) {
        eye[i] = world[i] * d[0] + world[4 + i] * d[1] + world[8 + i] * d[2];
    }
}

int32_t FillLocalLights(Scene* scene, const float world[12]) {
    if (scene->lights == nullptr || scene->localLights == nullptr) {
        return 0;
    }
    int32_t count = 0;
    const int32_t lightCount = scene->lightCount < kSceneLocalLights ? scene->lightCount : kSceneLocalLights;
    for (int32_t i = 0; i < lightCount; ++i) {
        const Light* light = scene->lights[i];
        if (light == nullptr) {
            continue;
        }
        LocalLight& local = scene->localLights[count++];
        EyeInObject(world, light->pos, local.position);
        local.colour[0] = light->colour[0];
        local.colour[1] = light->colour[1];
        local.colour[2] = light->colour[2];
        local.cosHotspot = light->cosHotspot;
        local.cosFalloff = light->cosFalloff;
        local.kind = light->kind;
    }
    return count;
}

void TransformAndLight(DrawContext* ctx, const float m[12], const float p[3], const float n[3],
                       const LocalLight* lights, int32_t count, ArrayVertex* target) {
    target->x = m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + m[3];
    target->y = m[4] * p[0] + m[5] * p[1] + m[6] * p[2] + m[7];
    target->z = m[8] * p[0] + m[9] * p[1] + m[10] * p[2] + m[11];
    float colour[3] = {0.0f, 0.0f, 0.0f};
    LightVertex(p, n, lights, count, colour);
    target->r = colour[0];
    target->g = colour[1];
    target->b = colour[2];
    ++ctx->stats.verticesLit;
}

namespace {

// Triangles of an opaque base pass, gathered as indices into the arrays
// InterleavedArrays set and sent by one DrawElements (GL_TRIANGLES,
// GL_UNSIGNED_SHORT) per batch: llvmpipe takes one indexed draw far more
// cheaply than an ArrayElement per vertex. A full batch is sent and
// refilled, so the triangles reach GL in the order they were added.
constexpr int32_t kTriangleBatchIndices = 3 * 1024;
struct TriangleBatch {
    int32_t count = 0;
    uint16_t indices[kTriangleBatchIndices];
};

// Sends what the batch holds (nothing when it is empty) and empties it.
void FlushTriangles(const GlTable& gl, TriangleBatch* batch) {
    if (batch->count > 0) {
        gl.DrawElements(GL_TRIANGLES, batch->count, GL_UNSIGNED_SHORT, batch->indices);
    }
    batch->count = 0;
}

// Appends a triangle, sending the batch first when it is full.
void BatchTriangle(const GlTable& gl, TriangleBatch* batch, const uint16_t abc[3]) {
    if (batch->count > kTriangleBatchIndices - 3) {
        FlushTriangles(gl, batch);
    }
    for (int k = 0; k < 3; ++k) {
        batch->indices[batch->count + k] = abc[k];
    }
    batch->count += 3;
}

// Transforms and lights vertex `index` unless this draw already did.
void LightOnce(DrawContext* ctx, const GroupPass& pass, const TriangleSource& source, uint16_t index) {
    if (source.vertexState[index] == 0) {
        source.vertexState[index] = 1;
        float position[3] = {0.0f, 0.0f, 0.0f};
        float normal[3] = {0.0f, 0.0f, 0.0f};
        source.Vertex(source.owner, index, position, normal);
        TransformAndLight(ctx, pass.m, position, normal, pass.lights, pass.lightCount,
                          &source.arrayVerts[index]);
    }
}

// One vertex of a translucent base pass: its u, v, its colour with `alpha`
// and its eye-space position.
void EmitBaseVertex(const GlTable& gl, const ArrayVertex& vertex, float alpha) {
    gl.TexCoord2fv(&vertex.u);
    gl.Color4f(vertex.r, vertex.g, vertex.b, alpha);
    gl.Vertex3fv(&vertex.x);
}

// One vertex of a chrome pass: its environment coordinates (made once per
// draw), white with `alpha`, and the position the base pass stored.
void EmitEnvironmentVertex(const GlTable& gl, const GroupPass& pass, const TriangleSource& source,
                           uint16_t index, float alpha) {
    float* uv = source.envUV + 2 * index;
    if (source.vertexState[index] != 2) {
        source.vertexState[index] = 2;
        float position[3] = {0.0f, 0.0f, 0.0f};
        float normal[3] = {0.0f, 0.0f, 0.0f};
        source.Vertex(source.owner, index, position, normal);
        EnvironmentCoords(pass.m, normal, uv);
    }
    gl.TexCoord2fv(uv);
    gl.Color4f(1.0f, 1.0f, 1.0f, alpha);
    gl.Vertex3fv(&source.arrayVerts[index].x);
}

void DrawBasePass(DrawContext* ctx, const GroupPass& pass, const TriangleSource& source) {
    const GlTable& gl = ctx->gl;
    // Lit vertices are only ever added to arrayVerts during a draw, never
    // rewritten, so a batch may be sent after later vertices were lit.
    TriangleBatch batch;
    if (!pass.arrayPath) {
        gl.Begin(GL_TRIANGLES);
    }
    for (int32_t t = 0; t < source.count; ++t) {
        uint16_t abc[3] = {0, 0, 0};
        if (!source.Triangle(source.owner, t, pass.eye, abc)) {
            continue;
        }
        ++ctx->stats.facesDrawn;
        for (const uint16_t index : abc) {
            LightOnce(ctx, pass, source, index);
        }
        if (pass.arrayPath) {
            BatchTriangle(gl, &batch, abc);
        } else {
            for (const uint16_t index : abc) {
                EmitBaseVertex(gl, source.arrayVerts[index], pass.alpha);
            }
        }
    }
    if (pass.arrayPath) {
        FlushTriangles(gl, &batch);
    } else {
        gl.End();
    }
}

// The chrome pass adds the environment texture over the base pass; blending
// ends off, also inside a blended scene, as the content was made with.
void DrawEnvironmentPass(const GlTable& gl, const GroupPass& pass, const TriangleSource& source,
                         const Material& material) {
    gl.BindTexture(GL_TEXTURE_2D, material.envTexture);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE);
    gl.Begin(GL_TRIANGLES);
    for (int32_t t = 0; t < source.count; ++t) {
        uint16_t abc[3] = {0, 0, 0};
        if (!source.Triangle(source.owner, t, pass.eye, abc)) {
            continue;
        }
        for (const uint16_t index : abc) {
            EmitEnvironmentVertex(gl, pass, source, index, material.envAlpha);
        }
    }
    gl.End();
    gl.Disable(GL_BLEND);
}

} // namespace

void DrawGroup(DrawContext* ctx, const GroupPass& pass, const TriangleSource& source,
               const Material* material) {
    ctx->gl.BindTexture(GL_TEXTURE_2D, material != nullptr ? material->texture : 0);
    DrawBasePass(ctx, pass, source);
    if (material == nullptr || material->envTexture == 0 || source.envUV == nullptr) {
        return;
    }
    DrawEnvironmentPass(ctx->gl, pass, source, *material);
}

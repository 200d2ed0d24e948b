// The sky box's draw: the box turned with the view but kept centred on the
// eye, only the faces turned toward it, then a depth clear so that the scene
// always draws over it.
#include "math/math3d.h" // RotationCompose, Dot3
#include "scene/draw.h"
#include "scene/sky_box.h"

void DrawSkyBox(DrawContext* ctx, SkyBox* box, const float view[12]) {
    const GlTable& gl = ctx->gl;
    float r[9] = {};
    RotationCompose(view, box->rotation, r);
    for (int32_t k = 0; k < kSkyBoxVertices; ++k) {
        const float* p = box->source[k];
        box->verts[k].x = r[0] * p[0] + r[1] * p[1] + r[2] * p[2];
        box->verts[k].y = r[3] * p[0] + r[4] * p[1] + r[5] * p[2];
        box->verts[k].z = r[6] * p[0] + r[7] * p[1] + r[8] * p[2];
    }
    gl.InterleavedArrays(GL_T2F_C3F_V3F, 0, box->verts);
    for (int32_t f = 0; f < kSkyBoxFaces; ++f) {
        // Only faces whose inward normal turns toward the eye (+z in eye space)
        // can be in front of it; an edge-on face is skipped.
        if (Dot3(&r[6], box->normals[f]) > 0.0f) {
            gl.BindTexture(GL_TEXTURE_2D, box->textures[f]);
            gl.Begin(GL_TRIANGLE_STRIP);
            for (int32_t c = 0; c < 4; ++c) {
                gl.ArrayElement(4 * f + c);
            }
            gl.End();
        }
    }
    gl.Clear(GL_DEPTH_BUFFER_BIT);
}

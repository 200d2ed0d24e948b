// Reflecting floors: the listed instances and meshes drawn mirrored through
// the plane, then the quad blended over them. Nothing limits the reflected
// content to the quad; the quad's alpha lets it show through.
#include "md2/md2.h"    // FrameVertex, FramePlane (complete types for Md2Instance::Draw)
#include "scene/draw.h" // g_drawGl
#include "scene/scene.h"

void Mirror::Draw(Scene* scene, const Camera* camera) {
    if (scene == nullptr || camera == nullptr) {
        return;
    }
    const int32_t instanceTotal = instanceCount < kMirrorMaxInstances ? instanceCount : kMirrorMaxInstances;
    for (int32_t i = 0; i < instanceTotal; ++i) {
        if (instances[i] != nullptr) {
            instances[i]->Draw(scene, camera, scene->dt, scene->time, this);
        }
    }
    const int32_t meshTotal = meshCount < kMirrorMaxMeshes ? meshCount : kMirrorMaxMeshes;
    for (int32_t i = 0; i < meshTotal; ++i) {
        if (meshes[i] != nullptr) {
            meshes[i]->Draw(scene, camera, this);
        }
    }

    if (textured) {
        g_drawGl.BindTexture(GL_TEXTURE_2D, texture);
    } else {
        g_drawGl.Disable(GL_TEXTURE_2D);
    }
    g_drawGl.Disable(GL_DEPTH_TEST);
    g_drawGl.Enable(GL_BLEND);
    g_drawGl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    g_drawGl.Begin(GL_TRIANGLE_STRIP);
    const float* v = camera->view;
    for (int i = 0; i < 4; ++i) {
        const float* c = corners[i];
        const float position[3] = {
            v[0] * c[0] + v[1] * c[1] + v[2] * c[2] + v[3],
            v[4] * c[0] + v[5] * c[1] + v[6] * c[2] + v[7],
            v[8] * c[0] + v[9] * c[1] + v[10] * c[2] + v[11],
        };
        if (textured) {
            g_drawGl.TexCoord2fv(uv[i]);
        }
        g_drawGl.Color4f(colour[i][0], colour[i][1], colour[i][2], alpha);
        g_drawGl.Vertex3fv(position);
    }
    g_drawGl.End();
    g_drawGl.Disable(GL_BLEND);
    g_drawGl.Enable(GL_DEPTH_TEST);
    if (!textured) {
        g_drawGl.Enable(GL_TEXTURE_2D);
    }
}

// One scene's frame: projection, camera, frustum, then the sky box, the
// mirrors, the objects of the draw list and the MD2 characters, in that order.
#include "md2/md2.h"    // Md2Model::DrawInstances
#include "scene/draw.h" // g_drawGl, projection constants
#include "scene/scene.h"
#include "scene/sky_box.h" // SkyBox::Draw

// The camera that renders the scene, or null when the scene has none at
// currentCamera (a scene built by hand or from a file without cameras).
static Camera* RenderCamera(const Scene& scene) {
    if (scene.cameras == nullptr || scene.currentCamera < 0 || scene.currentCamera >= scene.cameraCount ||
        scene.currentCamera >= kSceneCameraCapacity) {
        return nullptr;
    }
    return scene.cameras[scene.currentCamera];
}

void Scene::Render() {
    if (opacity == 0.0f) {
        return;
    }
    Camera* camera = RenderCamera(*this);
    if (camera == nullptr) {
        return;
    }
    g_drawGl.PushMatrix();
    g_drawGl.MatrixMode(GL_PROJECTION);
    g_drawGl.LoadIdentity();
    g_drawGl.Perspective(camera->fov, camera->aspect, kDrawNearPlane, kDrawFarPlane);
    camera->UpdateView();
    camera->ExtractPlanes();
    g_drawGl.MatrixMode(GL_MODELVIEW);

    if (skyBox != nullptr) {
        skyBox->Draw(camera->view);
    }
    for (Mirror* mirror = mirrors; mirror != nullptr; mirror = mirror->next) {
        mirror->Draw(this, camera);
    }
    for (MeshObject* object = drawList; object != nullptr; object = object->nextDrawn) {
        object->Draw(this, camera, nullptr);
    }
    for (Md2Model* model = models; model != nullptr; model = model->next) {
        DrawMd2Instances(model, this, camera, dt, time, nullptr);
    }
    g_drawGl.PopMatrix();
}

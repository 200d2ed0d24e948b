// A scene's animation: the once-per-scene set-up of every track its objects,
// cameras and lights hold, and the per-frame pass that evaluates them into
// positions, orientations, colours and camera values.
#include "scene/scene.h"

#include "keyframe/keyframe.h" // the per-track set-up and evaluation

float g_currentFrame = 0.0f;

void PrepareTracks(Scene* scene) {
    if (scene == nullptr) {
        return;
    }
    for (MeshObject* object = scene->objects; object != nullptr; object = object->nextObject) {
        ComputeVectorTangents(&object->positionTrack);
        AccumulateRotations(&object->rotationTrack);
        ComputeVectorTangents(&object->scaleTrack);
    }
    if (scene->cameras != nullptr) {
        const int count =
            scene->cameraCount < kSceneCameraCapacity ? scene->cameraCount : kSceneCameraCapacity;
        for (int i = 0; i < count; ++i) {
            Camera* camera = scene->cameras[i];
            if (camera == nullptr) {
                continue;
            }
            ComputeVectorTangents(&camera->positionTrack);
            ComputeVectorTangents(&camera->targetTrack);
            ComputeScalarTangents(&camera->rollTrack);
            // The field-of-view track keeps the zero tangents it was read with.
        }
    }
    if (scene->lights != nullptr) {
        const int count = scene->lightCount < kSceneLightCapacity ? scene->lightCount : kSceneLightCapacity;
        for (int i = 0; i < count; ++i) {
            Light* light = scene->lights[i];
            if (light == nullptr) {
                continue;
            }
            ComputeVectorTangents(&light->positionTrack);
            ComputeVectorTangents(&light->targetTrack);
            ComputeVectorTangents(&light->colourTrack);
        }
    }
}

namespace {

void EvaluateObjects(Scene* scene, const float frame) {
    for (MeshObject* object = scene->objects; object != nullptr; object = object->nextObject) {
        if (UsableKeyCount(&object->positionTrack) > 0) {
            EvaluateVector(&object->positionTrack, frame, object->pos);
        }
        if (UsableKeyCount(&object->rotationTrack) > 0) {
            EvaluateRotation(&object->rotationTrack, frame, object->rot);
        }
    }
}

void EvaluateLights(Scene* scene, const float frame) {
    if (scene->lights == nullptr) {
        return;
    }
    const int count = scene->lightCount < kSceneLightCapacity ? scene->lightCount : kSceneLightCapacity;
    for (int i = 0; i < count; ++i) {
        Light* light = scene->lights[i];
        if (light == nullptr) {
            continue;
        }
        if (UsableKeyCount(&light->positionTrack) > 0) {
            EvaluateVector(&light->positionTrack, frame, light->pos);
        }
        if (UsableKeyCount(&light->targetTrack) > 0) {
            EvaluateVector(&light->targetTrack, frame, light->target);
        }
        if (UsableKeyCount(&light->colourTrack) > 0) {
            EvaluateVector(&light->colourTrack, frame, light->colour);
        }
    }
}

// The current camera only; a scene without one (or with an index outside
// its cameras) has nothing to evaluate. Position and target are evaluated
// even from empty tracks, which yield the origin; roll and field of view
// keep their values when their track is empty, as there is nothing to read.
void EvaluateCamera(Scene* scene, const float frame) {
    if (scene->cameras == nullptr || scene->currentCamera < 0 || scene->currentCamera >= scene->cameraCount ||
        scene->currentCamera >= kSceneCameraCapacity) {
        return;
    }
    Camera* camera = scene->cameras[scene->currentCamera];
    if (camera == nullptr) {
        return;
    }
    EvaluateVector(&camera->positionTrack, frame, camera->pos);
    EvaluateVector(&camera->targetTrack, frame, camera->target);
    if (UsableKeyCount(&camera->rollTrack) > 0) {
        camera->SetRoll(EvaluateScalar(&camera->rollTrack, frame));
    }
    if (UsableKeyCount(&camera->fovTrack) > 0) {
        camera->SetFov(EvaluateScalar(&camera->fovTrack, frame));
    }
}

} // namespace

void EvaluateTracks(Scene* scene, float frame) {
    g_currentFrame = frame;
    if (scene == nullptr) {
        return;
    }
    EvaluateObjects(scene, frame);
    EvaluateLights(scene, frame);
    EvaluateCamera(scene, frame);
}

void KeyPlayer::PrepareTracks(Scene* scene) const {
    ::PrepareTracks(scene);
}

void KeyPlayer::EvaluateTracks(Scene* scene, const float frame) const {
    ::EvaluateTracks(scene, frame);
}

// Scene container, object records, mirrors and MD2 instances.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "md2/md2.h"
#include "memory/memory_pool.h"
#include "scene/scene.h"
#include "tests/support/debug_capture.h"

namespace {

class SceneTest : public ::testing::Test {
  protected:
    void SetUp() override { PoolInit(4 * 1024 * 1024); }
    void TearDown() override { PoolRelease(); }

    MeshObject* Object(const char* name, int32_t nodeId = kNodeIdUnset) {
        MeshObject* object = NewMeshObject();
        EXPECT_NE(object, nullptr);
        object->SetName(name);
        object->nodeId = nodeId;
        return object;
    }
};

TEST_F(SceneTest, NewSceneState) {
    Scene scene;
    EXPECT_EQ(scene.objectCount, 0);
    EXPECT_EQ(scene.currentCamera, 0);
    EXPECT_EQ(scene.lastObjectNumber, -1);
    EXPECT_FLOAT_EQ(scene.opacity, 1.0f);
    EXPECT_EQ(scene.materials, nullptr);
    EXPECT_EQ(scene.skyBox, nullptr);
    ASSERT_NE(scene.cameras, nullptr);
    ASSERT_NE(scene.lights, nullptr);
    ASSERT_NE(scene.localLights, nullptr);
    for (int i = 0; i < kSceneCameraCapacity; ++i) {
        EXPECT_EQ(scene.cameras[i], nullptr);
    }
    EXPECT_FLOAT_EQ(scene.time, 0.0f);
}

TEST_F(SceneTest, NewRecordsHaveTheirInitialState) {
    MeshObject* object = NewMeshObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->nodeId, kNodeIdUnset);
    EXPECT_EQ(object->firstChild, nullptr);
    EXPECT_EQ(object->nextSibling, nullptr);
    EXPECT_EQ(object->positionTrack.keyCount, 0);
    EXPECT_EQ(object->rotationTrack.keys, nullptr);
    EXPECT_EQ(object->groupCount, 0);

    Camera* camera = NewCamera();
    ASSERT_NE(camera, nullptr);
    EXPECT_FLOAT_EQ(camera->pos[0], 100.0f);
    EXPECT_FLOAT_EQ(camera->pos[2], 100.0f);
    EXPECT_FLOAT_EQ(camera->fov, 90.0f);
    EXPECT_FLOAT_EQ(camera->aspect, 1.0f);
    EXPECT_EQ(camera->name, nullptr);
    EXPECT_EQ(camera->fovTrack.keyCount, 0);

    Light* light = NewLight();
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->kind, kLightKindNew);
    EXPECT_EQ(light->on, 0);
    EXPECT_FLOAT_EQ(light->colour[1], 1.0f);
    EXPECT_FLOAT_EQ(light->cosHotspot, 0.0f);

    Material* material = NewMaterial();
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->texture, 0u);
    EXPECT_EQ(material->name, nullptr);
    EXPECT_FLOAT_EQ(material->envAlpha, 0.0f);
}

TEST_F(SceneTest, AddObjectCountsAndLinksNewestFirst) {
    Scene scene;
    MeshObject* a = Object("a");
    MeshObject* b = Object("b");
    scene.AddObject(a);
    scene.AddObject(b);
    scene.AddObject(nullptr);
    EXPECT_EQ(scene.objectCount, 2);
    EXPECT_EQ(scene.lastObjectNumber, 2);
    EXPECT_EQ(scene.objects, b);
    EXPECT_EQ(b->nextObject, a);
    EXPECT_EQ(a->nextObject, nullptr);
}

TEST_F(SceneTest, FindObjectIndexCountsFromNewest) {
    Scene scene;
    const char* names[] = {"first", "second", "third", "fourth"};
    for (const char* name : names) {
        scene.AddObject(Object(name));
    }
    EXPECT_EQ(scene.FindObjectIndex("fourth"), 0);
    EXPECT_EQ(scene.FindObjectIndex("first"), scene.objectCount - 1);
    EXPECT_EQ(scene.FindObjectIndex("second"), 2);
    EXPECT_EQ(scene.FindObjectIndex("missing"), -1);
    EXPECT_EQ(scene.cursor, nullptr);
    EXPECT_EQ(scene.FindObjectIndex(nullptr), -1);
}

TEST_F(SceneTest, FindObjectLeavesCursorOnMatch) {
    Scene scene;
    MeshObject* older = Object("NGon01");
    MeshObject* other = Object("Box");
    MeshObject* newer = Object("NGon01");
    scene.AddObject(older);
    scene.AddObject(other);
    scene.AddObject(newer);

    EXPECT_EQ(scene.FindObject("NGon01"), newer);
    EXPECT_EQ(scene.cursor, newer);
    EXPECT_EQ(scene.FindObject("Box"), other);
    EXPECT_EQ(scene.cursor, other);
    EXPECT_EQ(scene.FindObject("nothing"), nullptr);
    EXPECT_EQ(scene.cursor, nullptr);
}

TEST_F(SceneTest, NameLookUpsAreWholeAndCaseSensitive) {
    Scene scene;
    scene.AddObject(Object("Box01"));
    scene.AddObject(Object(nullptr));
    EXPECT_EQ(scene.FindObject("box01"), nullptr);
    EXPECT_EQ(scene.FindObject("Box0"), nullptr);
    EXPECT_EQ(scene.FindObject("Box011"), nullptr);
    EXPECT_NE(scene.FindObject("Box01"), nullptr);
}

TEST_F(SceneTest, FindObjectByIdRestoresCursor) {
    Scene scene;
    MeshObject* a = Object("a", 3);
    MeshObject* b = Object("b", 7);
    MeshObject* unnamed = Object("c");
    scene.AddObject(a);
    scene.AddObject(b);
    scene.AddObject(unnamed);

    scene.FindObject("b");
    ASSERT_EQ(scene.cursor, b);
    EXPECT_EQ(scene.FindObjectById(3), a);
    EXPECT_EQ(scene.cursor, b);
    EXPECT_EQ(scene.FindObjectById(99), nullptr);
    EXPECT_EQ(scene.cursor, b);
    // -1 is also the id of every object the keyframer never named: it must
    // not find them.
    EXPECT_EQ(scene.FindObjectById(-1), nullptr);
    EXPECT_EQ(scene.cursor, b);
}

TEST_F(SceneTest, ArraysLookUpInInsertionOrder) {
    Scene scene;
    EXPECT_EQ(scene.FindCamera("cam"), -1);
    EXPECT_EQ(scene.FindLight("light"), -1);
    EXPECT_EQ(scene.FindMaterial("mat"), -1);

    const char* cameraNames[] = {"front", "side", "front"};
    for (const char* name : cameraNames) {
        Camera* camera = NewCamera();
        camera->SetName(name);
        EXPECT_EQ(scene.AddCamera(camera), 1);
    }
    EXPECT_EQ(scene.cameraCount, 3);
    EXPECT_EQ(scene.FindCamera("front"), 0);
    EXPECT_EQ(scene.FindCamera("side"), 1);
    EXPECT_EQ(scene.FindCamera("top"), -1);

    Light* light = NewLight();
    light->SetName("Omni01");
    scene.AddLight(light);
    EXPECT_EQ(scene.FindLight("Omni01"), 0);

    Material* first = NewMaterial();
    SetMaterialName(first, "wood");
    Material* second = NewMaterial();
    SetMaterialName(second, "chrome");
    EXPECT_EQ(scene.AddMaterial(first), 1);
    EXPECT_EQ(scene.AddMaterial(second), 1);
    EXPECT_EQ(scene.FindMaterial("chrome"), 1);
    EXPECT_EQ(scene.materials[0], first);
}

TEST_F(SceneTest, ZeroOrNegativeCountsFindNothing) {
    Scene scene;
    Camera* camera = NewCamera();
    camera->SetName("cam");
    scene.AddCamera(camera);
    scene.cameraCount = 0;
    EXPECT_EQ(scene.FindCamera("cam"), -1);
    scene.cameraCount = -3;
    EXPECT_EQ(scene.FindCamera("cam"), -1);
    EXPECT_EQ(scene.AddCamera(camera), 0);
}

TEST_F(SceneTest, CamerasAndLightsStopAtCapacity) {
    Scene scene;
    for (int i = 0; i < kSceneCameraCapacity; ++i) {
        EXPECT_EQ(scene.AddCamera(NewCamera()), 1);
    }
    Camera* extra = NewCamera();
    EXPECT_EQ(scene.AddCamera(extra), 0);
    EXPECT_EQ(scene.cameraCount, kSceneCameraCapacity);
    EXPECT_EQ(scene.AddCamera(nullptr), 0);

    for (int i = 0; i < kSceneLightCapacity; ++i) {
        EXPECT_EQ(scene.AddLight(NewLight()), 1);
    }
    EXPECT_EQ(scene.AddLight(NewLight()), 0);
    EXPECT_EQ(scene.lightCount, kSceneLightCapacity);
}

TEST_F(SceneTest, MaterialsGrowPastManyEntries) {
    Scene scene;
    std::vector<Material*> made;
    for (int i = 0; i < 100; ++i) {
        Material* material = NewMaterial();
        ASSERT_NE(material, nullptr);
        made.push_back(material);
        ASSERT_EQ(scene.AddMaterial(material), 1);
    }
    EXPECT_EQ(scene.materialCount, 100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(scene.materials[i], made[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(scene.AddMaterial(nullptr), 0);
}

TEST_F(SceneTest, MaterialsGrownByTheCallerStillWork) {
    // A caller may grow the array by one entry before each add, as older
    // loading code did; the scene must not rely on its own capacity alone.
    Scene scene;
    for (int i = 0; i < 12; ++i) {
        scene.materials = static_cast<Material**>(PoolRealloc(
            scene.materials, static_cast<int32_t>((scene.materialCount + 1) * sizeof(Material*))));
        ASSERT_NE(scene.materials, nullptr);
        ASSERT_EQ(scene.AddMaterial(NewMaterial()), 1);
    }
    EXPECT_EQ(scene.materialCount, 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_NE(scene.materials[i], nullptr);
    }
}

TEST_F(SceneTest, ListsPushAtTheHead) {
    Scene scene;
    MeshObject* a = Object("a");
    MeshObject* b = Object("b");
    EXPECT_EQ(scene.PutInDrawList(a), a);
    EXPECT_EQ(scene.PutInDrawList(b), b);
    EXPECT_EQ(scene.drawList, b);
    EXPECT_EQ(b->nextDrawn, a);

    Mirror first;
    Mirror second;
    EXPECT_EQ(scene.AddMirror(&first), &first);
    EXPECT_EQ(scene.AddMirror(&second), &second);
    EXPECT_EQ(scene.mirrors, &second);
    EXPECT_EQ(second.next, &first);

    Md2Model one{};
    Md2Model two{};
    EXPECT_EQ(scene.AddModel(&one), &one);
    EXPECT_EQ(scene.AddModel(&two), &two);
    EXPECT_EQ(scene.models, &two);
    EXPECT_EQ(two.next, &one);
}

// Names of the draw list from its head.
std::vector<const MeshObject*> DrawOrder(const Scene& scene) {
    std::vector<const MeshObject*> order;
    for (const MeshObject* at = scene.drawList; at != nullptr && order.size() < 100; at = at->nextDrawn) {
        order.push_back(at);
    }
    return order;
}

TEST_F(SceneTest, TakeOutOfDrawListUnlinksAnywhere) {
    struct Case {
        int take; // index in the draw order
        std::vector<int> remaining;
    };
    const Case cases[] = {{0, {1, 2}}, {1, {0, 2}}, {2, {0, 1}}};
    for (const Case& c : cases) {
        Scene scene;
        MeshObject* objects[3] = {Object("x"), Object("y"), Object("z")};
        scene.PutInDrawList(objects[2]);
        scene.PutInDrawList(objects[1]);
        scene.PutInDrawList(objects[0]);
        MeshObject* taken = objects[c.take];
        MeshObject* const oldNext = taken->nextDrawn;
        EXPECT_EQ(scene.TakeOutOfDrawList(taken), taken);
        EXPECT_EQ(taken->nextDrawn, oldNext) << "its own link is left as it was";
        std::vector<const MeshObject*> expected;
        for (int i : c.remaining) {
            expected.push_back(objects[i]);
        }
        EXPECT_EQ(DrawOrder(scene), expected) << "take " << c.take;
        scene.Park(taken);
        EXPECT_EQ(scene.parkedList, taken);
        EXPECT_EQ(taken->nextDrawn, nullptr);
    }
}

TEST_F(SceneTest, TakeOutOfDrawListOfAbsentObject) {
    Scene scene;
    MeshObject* in = Object("in");
    MeshObject* out = Object("out");
    EXPECT_EQ(scene.TakeOutOfDrawList(in), nullptr) << "empty list";
    scene.PutInDrawList(in);
    EXPECT_EQ(scene.TakeOutOfDrawList(out), nullptr);
    EXPECT_EQ(scene.TakeOutOfDrawList(nullptr), nullptr);
    EXPECT_EQ(scene.drawList, in);
    EXPECT_EQ(in->nextDrawn, nullptr);
}

TEST_F(SceneTest, DestroyWritesItsMessageAndReleasesTheArrays) {
    Scene* scene = new Scene();
    scene->skyBox = static_cast<SkyBox*>(PoolAlloc(64));
    scene->AddMaterial(NewMaterial());
    Camera* camera = NewCamera();
    scene->AddCamera(camera);
    {
        DebugCapture capture;
        scene->Destroy();
        ASSERT_EQ(capture.messages.size(), 1u);
        EXPECT_EQ(capture.messages[0], "Deallocare tutta la lista (fare)\n");
    }
    EXPECT_EQ(scene->skyBox, nullptr);
    EXPECT_EQ(scene->materials, nullptr);
    EXPECT_EQ(scene->cameras, nullptr);
    EXPECT_EQ(scene->lights, nullptr);
    EXPECT_EQ(scene->localLights, nullptr);
    // The records stay usable: Destroy leaves them alone.
    EXPECT_FLOAT_EQ(camera->fov, 90.0f);
    // With the arrays gone, adds and look-ups are refused instead of writing
    // through null.
    EXPECT_EQ(scene->AddCamera(NewCamera()), 0);
    EXPECT_EQ(scene->AddLight(NewLight()), 0);
    EXPECT_EQ(scene->FindCamera("x"), -1);
    EXPECT_EQ(scene->FindMaterial("x"), -1);
    {
        DebugCapture capture;
        scene->Destroy();
        EXPECT_EQ(capture.messages.size(), 1u) << "a second Destroy is harmless";
    }
    delete scene;

    DebugCapture capture;
    SceneDestroy(nullptr);
    EXPECT_TRUE(capture.messages.empty());
}

TEST_F(SceneTest, SetGroupTextureChecksTheGroup) {
    MeshObject* object = Object("obj");
    Material* material = NewMaterial();
    MaterialGroup groups[2] = {{material, 4, nullptr}, {nullptr, 2, nullptr}};
    object->groups = groups;
    object->groupCount = 2;
    EXPECT_EQ(object->SetGroupTexture(0, 17u), 1);
    EXPECT_EQ(material->texture, 17u);
    EXPECT_EQ(object->SetGroupTexture(1, 18u), 0);
    EXPECT_EQ(object->SetGroupTexture(2, 18u), 0);
    EXPECT_EQ(object->SetGroupTexture(-1, 18u), 0);
    EXPECT_EQ(material->texture, 17u);
}

TEST_F(SceneTest, CameraSetters) {
    Camera* camera = NewCamera();
    camera->SetName("Camera01");
    camera->SetFov(45.0f);
    camera->SetRoll(10.0f);
    camera->SetAspect(1.333f);
    camera->pos[0] = 5.0f;
    EXPECT_STREQ(camera->name, "Camera01");
    EXPECT_FLOAT_EQ(camera->fov, 45.0f);
    EXPECT_FLOAT_EQ(camera->roll, 10.0f);
    EXPECT_FLOAT_EQ(camera->aspect, 1.333f);
    camera->SetDefaults();
    EXPECT_FLOAT_EQ(camera->pos[0], 100.0f);
    EXPECT_FLOAT_EQ(camera->fov, 90.0f);
    EXPECT_FLOAT_EQ(camera->roll, 0.0f);
    EXPECT_EQ(camera->name, nullptr);
}

TEST_F(SceneTest, LightConeUsesTheTunedFactor) {
    Light* light = NewLight();
    light->SetCone(60.0f, 90.0f);
    EXPECT_FLOAT_EQ(light->cosHotspot, std::cos(60.0f * 3.14f / 180.0f));
    EXPECT_FLOAT_EQ(light->cosFalloff, std::cos(90.0f * 3.14f / 180.0f));
    // cos(90 x 3.14 / 180) is slightly positive, not 0 as with pi.
    EXPECT_GT(light->cosFalloff, 0.0f);
    light->SetKind(kLightKindSpot);
    light->SwitchOn();
    EXPECT_EQ(light->kind, kLightKindSpot);
    EXPECT_EQ(light->on, 1);
}

TEST_F(SceneTest, NamesArePoolCopies) {
    char source[] = "Omni01";
    Light* light = NewLight();
    char* copy = light->SetName(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, source);
    source[0] = 'X';
    EXPECT_STREQ(light->name, "Omni01");
    light->SetName("Omni02");
    EXPECT_STREQ(light->name, "Omni02");
    EXPECT_EQ(light->SetName(nullptr), nullptr);
    EXPECT_EQ(light->name, nullptr);
    EXPECT_EQ(SceneCopyName(nullptr), nullptr);
    EXPECT_EQ(SetMaterialName(nullptr, "x"), nullptr);
}

TEST_F(SceneTest, MirrorConstructionAndSetters) {
    Mirror mirror;
    EXPECT_FLOAT_EQ(mirror.alpha, 0.0f);
    EXPECT_EQ(mirror.instanceCount, 0);
    EXPECT_EQ(mirror.meshCount, 0);
    EXPECT_EQ(mirror.textured, 0);
    EXPECT_EQ(mirror.next, nullptr);
    for (int i = 0; i < 4; ++i) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(mirror.colour[i][k], 1.0f);
        }
    }
    mirror.SetCorner(0, -10.0f, 0.0f, 5.0f);
    mirror.SetCorner(3, 10.0f, 0.0f, -5.0f);
    mirror.SetCorner(4, 99.0f, 99.0f, 99.0f);
    mirror.SetCorner(-1, 99.0f, 99.0f, 99.0f);
    mirror.SetCornerColour(2, 0.5f, 0.25f, 0.125f);
    mirror.SetCornerColour(7, 0.0f, 0.0f, 0.0f);
    mirror.SetCornerUV(1, 1.0f, 0.0f);
    mirror.SetCornerUV(9, 5.0f, 5.0f);
    mirror.SetNormal(0.0f, -1.0f, 0.0f);
    mirror.TakePointFromCorner();
    EXPECT_FLOAT_EQ(mirror.point[0], -10.0f);
    EXPECT_FLOAT_EQ(mirror.point[2], 5.0f);
    EXPECT_FLOAT_EQ(mirror.corners[3][0], 10.0f);
    EXPECT_FLOAT_EQ(mirror.colour[2][2], 0.125f);
    EXPECT_FLOAT_EQ(mirror.colour[3][0], 1.0f);
    EXPECT_FLOAT_EQ(mirror.uv[1][0], 1.0f);
    EXPECT_FLOAT_EQ(mirror.normal[1], -1.0f);
}

TEST_F(SceneTest, MirrorListsStopAtCapacity) {
    static_assert(kMirrorMaxMeshes >= 64, "the script's 26 meshes need room with margin");
    Mirror mirror;
    std::vector<MeshObject> meshes(static_cast<size_t>(kMirrorMaxMeshes) + 1);
    for (int i = 0; i < kMirrorMaxMeshes; ++i) {
        EXPECT_EQ(mirror.AddMesh(&meshes[static_cast<size_t>(i)]), 1);
    }
    EXPECT_EQ(mirror.AddMesh(&meshes.back()), 0);
    EXPECT_EQ(mirror.meshCount, kMirrorMaxMeshes);
    EXPECT_EQ(mirror.meshes[kMirrorMaxMeshes - 1], &meshes[kMirrorMaxMeshes - 1]);
    EXPECT_EQ(mirror.AddMesh(nullptr), 0);

    std::vector<Md2Instance> instances(static_cast<size_t>(kMirrorMaxInstances) + 1);
    for (int i = 0; i < kMirrorMaxInstances; ++i) {
        EXPECT_EQ(mirror.AddInstance(&instances[static_cast<size_t>(i)]), 1);
    }
    EXPECT_EQ(mirror.AddInstance(&instances.back()), 0);
    EXPECT_EQ(mirror.instanceCount, kMirrorMaxInstances);
}

} // namespace

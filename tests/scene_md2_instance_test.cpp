// MD2 instances: creation from a model, motions and the queue of moves.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "md2/md2.h"
#include "memory/memory_pool.h"
#include "scene/scene.h"
#include "tests/support/md2_test_model.h"

namespace {

// A model with hand-made arrays: 3 vertices and 2 triangles per frame,
// motions of 2, 3 and 40 frames (45 frames in all).
class InstanceTest : public ::testing::Test {
  protected:
    static constexpr uint32_t kVerts = 3;
    static constexpr uint32_t kFaces = 2;
    static constexpr uint32_t kFrames = 45;

    void SetUp() override {
        PoolInit(4 * 1024 * 1024);
        fixture.Resize(kVerts, kFaces);
        fixture.Wire(1.0f);
    }
    void TearDown() override {
        FreeMd2Instances(&model);
        PoolRelease();
    }

    TestMd2Model fixture;
    Md2Model& model = fixture.model;
    std::vector<FrameVertex>& frames = fixture.frames;
    std::vector<FramePlane>& planes = fixture.planes;
    std::vector<float>& boxes = fixture.boxes;
    std::vector<ArrayVertex>& arrayVerts = fixture.arrayVerts;
    std::vector<int32_t>& state = fixture.state;
    std::vector<uint16_t>& tris = fixture.tris;
};

const float kOrigin[3] = {0.0f, 0.0f, 0.0f};

TEST_F(InstanceTest, AddInstanceSharesTheModelData) {
    Md2Instance* instance = AddMd2Instance(&model, "zuzez", 42u);
    ASSERT_NE(instance, nullptr);
    EXPECT_STREQ(instance->name, "zuzez");
    EXPECT_EQ(instance->model, &model);
    EXPECT_EQ(instance->frames, frames.data());
    EXPECT_EQ(instance->framePlanes, planes.data());
    EXPECT_EQ(instance->arrayVerts, arrayVerts.data());
    EXPECT_EQ(instance->vertexState, state.data());
    EXPECT_EQ(instance->tris, tris.data());
    EXPECT_EQ(instance->frameBoxes, boxes.data());
    EXPECT_EQ(instance->anims, model.anims);
    EXPECT_EQ(instance->vertsPerFrame, kVerts);
    EXPECT_EQ(instance->facesPerFrame, kFaces);
    EXPECT_EQ(instance->preparedAnim, 1000);
    EXPECT_EQ(instance->anim, 0);
    EXPECT_FLOAT_EQ(instance->speed, 1.0f);
    EXPECT_FLOAT_EQ(instance->keyEnd, 0.0f);
    EXPECT_EQ(instance->keyHead, nullptr);
    EXPECT_NE(instance->blendVerts, nullptr);
    EXPECT_NE(instance->blendPlanes, nullptr);
    EXPECT_NE(instance->envUV, nullptr);
    // The instance's own buffers are big enough to be written whole.
    std::memset(instance->blendVerts, 0, kVerts * sizeof(FrameVertex));
    std::memset(instance->blendPlanes, 0, kFaces * sizeof(FramePlane));
    std::memset(instance->envUV, 0, kVerts * 2 * sizeof(float));
    ASSERT_EQ(instance->groupCount, 1);
    ASSERT_NE(instance->groups, nullptr);
    EXPECT_EQ(instance->groups[0].faceCount, static_cast<int32_t>(kFaces));
    ASSERT_NE(instance->groups[0].material, nullptr);
    EXPECT_EQ(instance->groups[0].material->texture, 42u);
    EXPECT_EQ(instance->groups[0].material->envTexture, 0u);
    EXPECT_EQ(model.instances, instance);
}

TEST_F(InstanceTest, InstancesAreListedNewestFirstWithOwnMaterials) {
    Md2Instance* first = AddMd2Instance(&model, "a", 1u);
    model.speed = 1.0f / 3.0f;
    Md2Instance* second = AddMd2Instance(&model, "b", 2u);
    EXPECT_EQ(model.instances, second);
    EXPECT_EQ(second->next, first);
    EXPECT_NE(first->groups[0].material, second->groups[0].material);
    EXPECT_NE(first->blendVerts, second->blendVerts);
    EXPECT_FLOAT_EQ(first->speed, 1.0f);
    EXPECT_FLOAT_EQ(second->speed, 1.0f / 3.0f);
}

TEST_F(InstanceTest, InstanceOfAnEmptyModelDrawsNothing) {
    Md2Model empty{};
    Md2Instance* instance = AddMd2Instance(&empty, nullptr, 7u);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->name, nullptr);
    EXPECT_EQ(instance->groupCount, 0);
    EXPECT_EQ(instance->blendVerts, nullptr);
    EXPECT_EQ(instance->SetMotion(0), 0) << "an empty motion table";
    FreeMd2Instances(&empty);
    EXPECT_EQ(empty.instances, nullptr);
}

TEST_F(InstanceTest, SetMotionPointsAtTheFirstFrame) {
    Md2Instance* instance = AddMd2Instance(&model, "i", 0u);
    instance->frameInAnim = 9;
    EXPECT_EQ(instance->SetMotion(1), 1);
    EXPECT_EQ(instance->anim, 1);
    EXPECT_EQ(instance->frameInAnim, 0u);
    EXPECT_EQ(instance->vertexOffset, static_cast<int32_t>(2 * kVerts));
    EXPECT_EQ(instance->planeOffset, static_cast<int32_t>(2 * kFaces));

    const int32_t refused[] = {-1, 3, 20, 1000};
    for (int32_t index : refused) {
        EXPECT_EQ(instance->SetMotion(index), 0) << index;
        EXPECT_EQ(instance->anim, 1);
    }
}

TEST_F(InstanceTest, SetPositionAndRotation) {
    Md2Instance* instance = AddMd2Instance(&model, "i", 0u);
    instance->SetPosition(1.0f, 2.0f, 3.0f);
    instance->SetRotation(0.5f, -0.25f, 3.0f);
    EXPECT_FLOAT_EQ(instance->pos[2], 3.0f);
    EXPECT_FLOAT_EQ(instance->rot[1], -0.25f);
}

TEST_F(InstanceTest, LoopDurationAndQueueLoops) {
    // Six motions, the last of 40 frames, played at a third of a frame per scene frame.
    model.anims[3] = AnimRange{45, 1};
    model.anims[4] = AnimRange{46, 1};
    model.anims[5] = AnimRange{5, 40};
    model.animCount = 6;
    model.speed = 1.0f / 3.0f;
    Md2Instance* instance = AddMd2Instance(&model, "i", 0u);
    EXPECT_FLOAT_EQ(instance->LoopDuration(5), 120.0f);
    const float target[3] = {1.0f, 2.0f, 3.0f};
    MoveKey* key = instance->QueueLoops(5, target, kOrigin, 1.0f);
    ASSERT_NE(key, nullptr);
    EXPECT_FLOAT_EQ(key->duration, 120.0f);
    EXPECT_EQ(key->motion, 5);
    MoveKey* half = instance->QueueLoops(0, target, kOrigin, 2.5f);
    ASSERT_NE(half, nullptr);
    EXPECT_FLOAT_EQ(half->duration, 2.0f / (1.0f / 3.0f) * 2.5f);

    EXPECT_FLOAT_EQ(instance->LoopDuration(6), 0.0f);
    EXPECT_FLOAT_EQ(instance->LoopDuration(-1), 0.0f);
    instance->speed = 0.0f;
    EXPECT_FLOAT_EQ(instance->LoopDuration(5), 0.0f) << "no division by zero";
}

TEST_F(InstanceTest, QueueMoveAppendsInOrder) {
    Md2Instance* instance = AddMd2Instance(&model, "i", 0u);
    const float p[3] = {1.0f, 2.0f, 3.0f};
    const float r[3] = {0.1f, 0.2f, 0.3f};
    MoveKey* a = instance->QueueMove(0, p, r, 10.0f);
    MoveKey* b = instance->QueueMove(2, kOrigin, kOrigin, 0.0f);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(instance->keyHead, a);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(instance->keyTail, b);
    EXPECT_FLOAT_EQ(a->targetPos[1], 2.0f);
    EXPECT_FLOAT_EQ(a->targetRot[2], 0.3f);
    EXPECT_EQ(instance->QueueMove(3, p, r, 1.0f), nullptr) << "a motion beyond the table";
    EXPECT_EQ(instance->QueueMove(0, nullptr, r, 1.0f), nullptr);
    EXPECT_EQ(instance->keyTail, b);
}

TEST_F(InstanceTest, AdvanceKeysMovesATenthWithTenFramesLeft) {
    Md2Instance* instance = AddMd2Instance(&model, "i", 0u);
    instance->keyEnd = 100.0f;
    const float target[3] = {10.0f, 20.0f, -30.0f};
    const float targetRot[3] = {1.0f, 2.0f, 3.0f};
    for (int i = 0; i < 3; ++i) {
        instance->targetPos[i] = target[i];
        instance->targetRot[i] = targetRot[i];
    }
    instance->AdvanceKeys(90.0f);
    EXPECT_FLOAT_EQ(instance->pos[0], 1.0f);
    EXPECT_FLOAT_EQ(instance->pos[1], 2.0f);
    EXPECT_FLOAT_EQ(instance->pos[2], -3.0f);
    EXPECT_FLOAT_EQ(instance->rot[0], 0.1f);
    EXPECT_FLOAT_EQ(instance->rot[2], 0.3f);
}

TEST_F(InstanceTest, AdvanceKeysTakesAKeyAndReachesTheTarget) {
    Md2Instance* instance = AddMd2Instance(&model, "i", 0u);
    instance->SetMotion(1);
    const float target[3] = {8.0f, 0.0f, 4.0f};
    instance->QueueMove(2, target, kOrigin, 4.0f);
    instance->AdvanceKeys(1.0f);
    EXPECT_EQ(instance->keyHead, nullptr);
    EXPECT_EQ(instance->keyTail, nullptr);
    EXPECT_FLOAT_EQ(instance->keyEnd, 5.0f);
    EXPECT_EQ(instance->anim, 2);
    EXPECT_EQ(instance->preparedAnim, 1) << "the old motion, so the drawing blends";
    EXPECT_FLOAT_EQ(instance->pos[0], 2.0f) << "a quarter with four frames left";
    instance->AdvanceKeys(3.0f);
    EXPECT_FLOAT_EQ(instance->pos[0], 5.0f);
    instance->AdvanceKeys(4.0f);
    EXPECT_FLOAT_EQ(instance->pos[0], 8.0f);
    EXPECT_FLOAT_EQ(instance->pos[2], 4.0f);
    instance->AdvanceKeys(4.5f);
    EXPECT_FLOAT_EQ(instance->pos[0], 8.0f) << "never beyond the target in the last partial frame";
    instance->AdvanceKeys(6.0f);
    EXPECT_FLOAT_EQ(instance->pos[0], 8.0f) << "the move is over";
}

TEST_F(InstanceTest, ZeroDurationKeyOnlySwitchesTheMotion) {
    Md2Instance* instance = AddMd2Instance(&model, "i", 0u);
    instance->SetPosition(1.0f, 1.0f, 1.0f);
    const float far[3] = {100.0f, 100.0f, 100.0f};
    instance->QueueMove(1, far, far, 0.0f);
    instance->QueueMove(2, kOrigin, kOrigin, 10.0f);

    instance->AdvanceKeys(0.0f);
    EXPECT_NE(instance->keyHead, nullptr) << "not taken while time is 0";
    EXPECT_EQ(instance->anim, 0);

    instance->AdvanceKeys(0.5f);
    EXPECT_EQ(instance->anim, 1);
    EXPECT_FLOAT_EQ(instance->keyEnd, 0.5f);
    EXPECT_FLOAT_EQ(instance->targetPos[0], 100.0f);
    EXPECT_FLOAT_EQ(instance->pos[0], 1.0f) << "no movement for a zero-length move";

    instance->AdvanceKeys(0.5f);
    EXPECT_EQ(instance->anim, 1) << "the next key waits until time passes keyEnd";
    EXPECT_FLOAT_EQ(instance->pos[0], 1.0f);

    instance->AdvanceKeys(1.5f);
    EXPECT_EQ(instance->anim, 2);
    EXPECT_FLOAT_EQ(instance->keyEnd, 11.5f);
    EXPECT_FLOAT_EQ(instance->pos[0], 0.9f);
}

TEST_F(InstanceTest, FreeMd2InstancesDuringATransition) {
    Md2Instance* instance = AddMd2Instance(&model, "i", 0u);
    AddMd2Instance(&model, "j", 0u);
    // A transition exchanges the shared frames with the instance's own blend
    // buffers; releasing must give back the instance's, not the model's.
    std::swap(instance->frames, instance->blendVerts);
    std::swap(instance->framePlanes, instance->blendPlanes);
    instance->inTransition = 1;
    instance->QueueMove(0, kOrigin, kOrigin, 3.0f);
    FreeMd2Instances(&model);
    EXPECT_EQ(model.instances, nullptr);
    FreeMd2Instances(nullptr);
}

} // namespace

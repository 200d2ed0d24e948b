// 3DS reader: keyframer section (frame segment, node headers, dummies,
// hierarchy and every kind of track).
#include "keyframe/keyframe.h"
#include "loader3ds/format3ds.h"
#include "loader3ds/loader3ds.h"
#include "scene/scene.h"
#include "tests/support/debug_capture.h"
#include "tests/support/load3ds_helper.h"
#include "tools/formats/writer3ds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using Keyframer3dsTest = Pool3dsTest;

const std::vector<Vec3f> kTriangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

// Meshes named `meshes`, a camera "Cam", a spot light "Spot", then a keyframer
// section written by `body`.
template <typename Body> std::vector<uint8_t> SceneFile(const std::vector<std::string>& meshes, Body body) {
    Writer3DS w;
    w.Begin(kChunkMain);
    w.Begin(kChunkEditor);
    for (const std::string& name : meshes) {
        w.Mesh(name, kTriangle, {{0, 1, 2, 0}});
    }
    w.BeginNamedObject("Cam");
    w.Camera({0, 0, 0}, {0, 0, 1}, 0, 35);
    w.End();
    w.BeginNamedObject("Spot");
    w.BeginLight({0, 0, 0});
    w.Spotlight({0, 0, 1}, 20, 30);
    w.End();
    w.End();
    w.End();
    w.Begin(kChunkKeyframer);
    body(w);
    return w.Finish();
}

TEST_F(Keyframer3dsTest, FrameSegmentGivesTheFrameCount) {
    Loaded3ds with(SceneFile({}, [](Writer3DS& w) { w.FrameSegment(0, 100); }));
    ASSERT_TRUE(with.ok()) << with.error();
    EXPECT_EQ(with.scene().frameCount, 101);
    Loaded3ds without(SceneFile({}, [](Writer3DS&) {}));
    ASSERT_TRUE(without.ok()) << without.error();
    EXPECT_EQ(without.scene().frameCount, 0);
    Loaded3ds extreme(SceneFile({}, [](Writer3DS& w) { w.FrameSegment(INT32_MIN, INT32_MAX); }));
    ASSERT_TRUE(extreme.ok()) << extreme.error();
    EXPECT_EQ(extreme.scene().frameCount, INT32_MAX);
}

TEST_F(Keyframer3dsTest, SplineFlagsSelectTheFloatsThatFollow) {
    TrackKey3ds key = VectorKey3ds(7, 1, 2, 3);
    key.splineFlags = 0x0005 | 0xFFE0; // tension and bias; high bits add no bytes
    key.spline[0] = 0.25f;
    key.spline[1] = -0.5f;
    TrackKey3ds all = VectorKey3ds(9, 4, 5, 6);
    all.splineFlags = 0x001F;
    all.spline[0] = 1; // tension
    all.spline[1] = 2; // continuity
    all.spline[2] = 3; // bias
    all.spline[3] = 4; // ease to
    all.spline[4] = 5; // ease from
    Loaded3ds l(SceneFile({"A"}, [&](Writer3DS& w) {
        w.Begin(kChunkObjectNode);
        w.NodeHeader("A", kNoParent);
        w.Track(kChunkPositionTrack, {key, all}, 0x0040);
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const KeyTrack& t = l.scene().objects->positionTrack;
    ASSERT_EQ(t.keyCount, 2);
    EXPECT_EQ(t.flags, 0x0040);
    const VectorKey* k = VectorKeys(t);
    EXPECT_EQ(k[0].frame, 7);
    EXPECT_FLOAT_EQ(k[0].tension, 0.25f);
    EXPECT_FLOAT_EQ(k[0].bias, -0.5f);
    EXPECT_FLOAT_EQ(k[0].continuity, 0.0f);
    EXPECT_FLOAT_EQ(k[0].easeTo, 0.0f);
    EXPECT_FLOAT_EQ(k[0].easeFrom, 0.0f);
    // Position (1, 2, 3) is stored as (1, 3, 2).
    EXPECT_FLOAT_EQ(k[0].value[0], 1.0f);
    EXPECT_FLOAT_EQ(k[0].value[1], 3.0f);
    EXPECT_FLOAT_EQ(k[0].value[2], 2.0f);
    EXPECT_FLOAT_EQ(k[1].tension, 1.0f);
    EXPECT_FLOAT_EQ(k[1].continuity, 2.0f);
    EXPECT_FLOAT_EQ(k[1].bias, 3.0f);
    EXPECT_FLOAT_EQ(k[1].easeTo, 4.0f);
    EXPECT_FLOAT_EQ(k[1].easeFrom, 5.0f);
    EXPECT_FLOAT_EQ(k[1].value[1], 6.0f);
    EXPECT_FLOAT_EQ(k[1].tangentIn[0], 0.0f);
}

TEST_F(Keyframer3dsTest, RotationKeyBecomesAQuaternionWithYAndZExchanged) {
    const float half = static_cast<float>(M_PI / 2.0);
    Loaded3ds l(SceneFile({"A"}, [&](Writer3DS& w) {
        w.Node(kChunkObjectNode, "A", kNoParent,
               {{kChunkRotationTrack, {RotationKey3ds(0, half, 0, 0, 1)}},
                {kChunkScaleTrack, {VectorKey3ds(0, 1, 2, 3)}}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const MeshObject* o = l.scene().objects;
    ASSERT_EQ(o->rotationTrack.keyCount, 1);
    const RotationKey& r = RotationKeys(o->rotationTrack)[0];
    EXPECT_NEAR(r.orientation[0], std::cos(M_PI / 4), 1e-6);
    EXPECT_NEAR(r.orientation[1], 0.0, 1e-6);
    EXPECT_NEAR(r.orientation[2], std::sin(M_PI / 4), 1e-6);
    EXPECT_NEAR(r.orientation[3], 0.0, 1e-6);
    ASSERT_EQ(o->scaleTrack.keyCount, 1);
    EXPECT_FLOAT_EQ(VectorKeys(o->scaleTrack)[0].value[1], 3.0f);
}

TEST_F(Keyframer3dsTest, CameraAndTargetTracks) {
    Loaded3ds l(SceneFile({}, [](Writer3DS& w) {
        w.Node(kChunkCameraNode, "Cam", kNoParent,
               {{kChunkPositionTrack, {VectorKey3ds(0, 1, 2, 3)}},
                {kChunkFovTrack, {ScalarKey3ds(0, 45), ScalarKey3ds(10, 60)}},
                {kChunkRollTrack, {ScalarKey3ds(5, 12)}},
                {kChunkRotationTrack, {RotationKey3ds(0, 1, 0, 0, 1)}}}); // no such track: skipped
        w.Node(kChunkCameraTargetNode, "Cam", kNoParent,
               {{kChunkPositionTrack, {VectorKey3ds(0, 7, 8, 9)}},
                {kChunkFovTrack, {ScalarKey3ds(0, 1)}}}); // a target has no fov
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const Camera* c = l.scene().cameras[0];
    ASSERT_EQ(c->positionTrack.keyCount, 1);
    EXPECT_FLOAT_EQ(VectorKeys(c->positionTrack)[0].value[1], 3.0f);
    ASSERT_EQ(c->fovTrack.keyCount, 2);
    EXPECT_FLOAT_EQ(ScalarKeys(c->fovTrack)[1].value, 60.0f);
    EXPECT_EQ(ScalarKeys(c->fovTrack)[1].frame, 10);
    EXPECT_FLOAT_EQ(ScalarKeys(c->fovTrack)[1].tangentIn, 0.0f);
    ASSERT_EQ(c->rollTrack.keyCount, 1);
    EXPECT_FLOAT_EQ(ScalarKeys(c->rollTrack)[0].value, 12.0f);
    ASSERT_EQ(c->targetTrack.keyCount, 1);
    EXPECT_FLOAT_EQ(VectorKeys(c->targetTrack)[0].value[2], 8.0f);
}

TEST_F(Keyframer3dsTest, LightTracksAndColourAxesExchange) {
    Loaded3ds l(SceneFile({}, [](Writer3DS& w) {
        w.Node(kChunkSpotNode, "Spot", kNoParent,
               {{kChunkPositionTrack, {VectorKey3ds(0, 1, 2, 3)}},
                {kChunkColourTrack, {VectorKey3ds(0, 1.0f, 0.5f, 0.0f)}}});
        w.Node(kChunkLightTargetNode, "Spot", kNoParent, {{kChunkPositionTrack, {VectorKey3ds(0, 4, 5, 6)}}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const Light* s = l.scene().lights[0];
    ASSERT_EQ(s->positionTrack.keyCount, 1);
    ASSERT_EQ(s->colourTrack.keyCount, 1);
    const float* c = VectorKeys(s->colourTrack)[0].value;
    EXPECT_FLOAT_EQ(c[0], 1.0f);
    EXPECT_FLOAT_EQ(c[1], 0.0f);
    EXPECT_FLOAT_EQ(c[2], 0.5f);
    ASSERT_EQ(s->targetTrack.keyCount, 1);
    EXPECT_FLOAT_EQ(VectorKeys(s->targetTrack)[0].value[1], 6.0f);
}

TEST_F(Keyframer3dsTest, NodesNamingNothingAreSkippedWithTheirTracks) {
    DebugCapture capture;
    Loaded3ds l(SceneFile({"A", "B"}, [](Writer3DS& w) {
        w.Node(kChunkObjectNode, "A", kNoParent);
        w.Node(kChunkObjectNode, "Ghost", kNoParent, {{kChunkPositionTrack, {VectorKey3ds(0, 1, 1, 1)}}});
        w.Node(kChunkObjectNode, "B", 1); // names the ghost's node: no object there
        w.Node(kChunkCameraNode, "NoCam", kNoParent, {{kChunkPositionTrack, {VectorKey3ds(0, 5, 5, 5)}}});
        w.Node(kChunkLightNode, "NoLight", kNoParent, {{kChunkColourTrack, {VectorKey3ds(0, 5, 5, 5)}}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    MeshObject* a = s.FindObject("A");
    MeshObject* b = s.FindObject("B");
    EXPECT_EQ(a->nodeId, 0);
    EXPECT_EQ(b->nodeId, 2); // the ghost used up number 1
    EXPECT_EQ(a->positionTrack.keyCount, 0);
    EXPECT_EQ(b->positionTrack.keyCount, 0);
    EXPECT_EQ(b->parent, nullptr);
    EXPECT_EQ(s.cameras[0]->positionTrack.keyCount, 0);
    EXPECT_EQ(s.lights[0]->colourTrack.keyCount, 0);
    EXPECT_EQ(DrawList(s), (std::vector<MeshObject*>{a, b}));
    EXPECT_NE(capture.Joined().find("Ghost"), std::string::npos);
}

TEST_F(Keyframer3dsTest, DummiesAreObjectsNumberedInNodeOrder) {
    Loaded3ds l(SceneFile({"A"}, [](Writer3DS& w) {
        w.Node(kChunkObjectNode, "$$$dummy", kNoParent, {{kChunkPositionTrack, {VectorKey3ds(0, 1, 2, 3)}}});
        w.Begin(kChunkObjectNode);
        w.NodeHeader("$$$DUMMY", 0);
        w.Opaque(kChunkInstanceName, {'H', 'e', 'l', 'p', 0});
        w.Pivot({1, 2, 3});
        w.End();
        w.Node(kChunkObjectNode, "A", 1);
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    ASSERT_EQ(s.objectCount, 3);
    const std::vector<MeshObject*> all = ObjectsInCreationOrder(s);
    MeshObject* a = all[0];
    MeshObject* d0 = all[1];
    MeshObject* d1 = all[2];
    EXPECT_STREQ(d0->name, "$$$dummy");
    EXPECT_STREQ(d1->name, "$$$DUMMY"); // the instance name does not rename it
    EXPECT_EQ(d0->vertexCount, 0);
    EXPECT_EQ(d0->faceCount, 0);
    EXPECT_EQ(d0->nodeId, 0);
    EXPECT_EQ(d1->nodeId, 1);
    EXPECT_EQ(a->nodeId, 2);
    EXPECT_EQ(d0->positionTrack.keyCount, 1);
    // d1 under d0, A under d1; only d0 is drawn directly.
    EXPECT_EQ(d1->parent, d0);
    EXPECT_EQ(a->parent, d1);
    EXPECT_EQ(d0->firstChild, d1);
    EXPECT_EQ(d1->firstChild, a);
    EXPECT_EQ(DrawList(s), std::vector<MeshObject*>{d0});
    EXPECT_EQ(s.FindObject("$$$DUMMY"), d1); // exact match only
}

TEST_F(Keyframer3dsTest, ChildrenAreFoundNewestLinkedFirst) {
    Loaded3ds l(SceneFile({"C1", "C2", "P", "C3", "Root"}, [](Writer3DS& w) {
        w.Node(kChunkObjectNode, "Root", kNoParent);
        w.Node(kChunkObjectNode, "Other", kNoParent);
        w.Node(kChunkObjectNode, "P", kNoParent); // node number 2
        w.Node(kChunkObjectNode, "C1", 2);
        w.Node(kChunkObjectNode, "C2", 2);
        w.Node(kChunkObjectNode, "C3", 2);
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    MeshObject* p = s.FindObject("P");
    ASSERT_NE(p->firstChild, nullptr);
    // Links are made newest object first (C3, C2, C1), each pushing at the
    // head of the child list, so the list reads back in creation order.
    std::vector<std::string> children;
    for (MeshObject* c = p->firstChild; c; c = c->nextSibling) {
        children.push_back(c->name);
    }
    EXPECT_EQ(children, (std::vector<std::string>{"C1", "C2", "C3"}));
    const std::vector<MeshObject*> drawn = DrawList(s);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_STREQ(drawn[0]->name, "P"); // creation order
    EXPECT_STREQ(drawn[1]->name, "Root");
}

TEST_F(Keyframer3dsTest, SelfParentAndCyclesBecomeRoots) {
    DebugCapture capture;
    Loaded3ds l(SceneFile({"A", "B", "C"}, [](Writer3DS& w) {
        w.Node(kChunkObjectNode, "A", 0); // itself
        w.Node(kChunkObjectNode, "B", 2); // B -> C -> B
        w.Node(kChunkObjectNode, "C", 1);
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    Scene& s = l.scene();
    MeshObject* a = s.FindObject("A");
    MeshObject* b = s.FindObject("B");
    MeshObject* c = s.FindObject("C");
    EXPECT_EQ(a->parent, nullptr);
    EXPECT_EQ(a->firstChild, nullptr);
    // Exactly one of B and C is a root holding the other.
    const bool bRoot = b->parent == nullptr;
    EXPECT_NE(bRoot, c->parent == nullptr);
    MeshObject* root = bRoot ? b : c;
    MeshObject* child = bRoot ? c : b;
    EXPECT_EQ(child->parent, root);
    EXPECT_EQ(root->firstChild, child);
    EXPECT_EQ(child->firstChild, nullptr);
    EXPECT_EQ(DrawList(s).size(), 2u);
    EXPECT_NE(capture.Joined().find("circolare"), std::string::npos);
}

TEST_F(Keyframer3dsTest, ParentIndexPastEveryNodeMakesARoot) {
    Loaded3ds l(SceneFile({"A"}, [](Writer3DS& w) { w.Node(kChunkObjectNode, "A", 40); }));
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().objects->parent, nullptr);
    EXPECT_EQ(DrawList(l.scene()).size(), 1u);
}

TEST_F(Keyframer3dsTest, TrackRunningPastItsChunkIsRejected) {
    DebugCapture capture;
    Loaded3ds l(SceneFile({"A"}, [](Writer3DS& w) {
        w.Begin(kChunkObjectNode);
        w.NodeHeader("A", kNoParent);
        w.Track(kChunkRotationTrack, {RotationKey3ds(0, 1, 0, 1, 0)});
        w.TrackWithCount(kChunkPositionTrack, {VectorKey3ds(0, 1, 2, 3)}, 3);
        w.TrackWithCount(kChunkScaleTrack, {VectorKey3ds(0, 1, 2, 3)}, 0x10001); // low 16 bits: 1
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const MeshObject* a = l.scene().objects;
    EXPECT_EQ(a->rotationTrack.keyCount, 1);
    EXPECT_EQ(a->positionTrack.keyCount, 0);
    EXPECT_EQ(a->positionTrack.keys, nullptr);
    EXPECT_EQ(a->scaleTrack.keyCount, 1);
    EXPECT_NE(capture.Joined().find("ignorata"), std::string::npos);
}

TEST_F(Keyframer3dsTest, TrackReadAgainReplacesTheKeys) {
    Loaded3ds l(SceneFile({"A"}, [](Writer3DS& w) {
        w.Node(kChunkObjectNode, "A", kNoParent,
               {{kChunkPositionTrack, {VectorKey3ds(0, 1, 1, 1), VectorKey3ds(5, 2, 2, 2)}},
                {kChunkPositionTrack, {VectorKey3ds(3, 9, 9, 9)}}});
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    const KeyTrack& t = l.scene().objects->positionTrack;
    ASSERT_EQ(t.keyCount, 1);
    EXPECT_EQ(VectorKeys(t)[0].frame, 3);
}

TEST_F(Keyframer3dsTest, TracksBeforeAnyHeaderAreSkipped) {
    Loaded3ds l(SceneFile({"A"}, [](Writer3DS& w) {
        w.Node(kChunkObjectNode, "A", kNoParent);
        w.Begin(kChunkObjectNode); // no header: the tracks must not reach A
        w.Track(kChunkPositionTrack, {VectorKey3ds(0, 1, 1, 1)});
        w.End();
        w.Begin(kChunkAmbientNode);
        w.NodeHeader("$AMBIENT$", kNoParent);
        w.Track(kChunkColourTrack, {VectorKey3ds(0, 1, 1, 1)});
        w.End();
    }));
    ASSERT_TRUE(l.ok()) << l.error();
    EXPECT_EQ(l.scene().objects->positionTrack.keyCount, 0);
    EXPECT_EQ(l.loader().nodeCounter, 1);
}

} // namespace

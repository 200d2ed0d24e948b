// A hand-made Md2Model over arrays the test owns, for instance and drawing
// tests: motions of 2, 3 and 40 frames starting at frames 0, 2 and 5 (45
// frames in all), one material group. The test fills the arrays' contents;
// Wire() points the model at them.
#pragma once

#include <cstdint>
#include <vector>

#include "md2/md2.h"
#include "math/render_records.h"

struct TestMd2Model {
    static constexpr uint32_t kFrames = 45;

    // Sizes every array for `verts` vertices and `faces` triangles per frame.
    void Resize(uint32_t verts, uint32_t faces) {
        vertsPerFrame = verts;
        facesPerFrame = faces;
        frames.resize(verts * kFrames);
        planes.resize(faces * kFrames);
        boxes.resize(6 * kFrames);
        arrayVerts.resize(verts);
        state.resize(verts);
        tris.resize(4 * faces);
    }

    // Points `model` at the arrays; call again after reallocating any of them.
    void Wire(float speed) {
        group = MaterialGroup{nullptr, static_cast<int32_t>(facesPerFrame), nullptr};
        model = Md2Model{};
        model.anims[0] = AnimRange{0, 2};
        model.anims[1] = AnimRange{2, 3};
        model.anims[2] = AnimRange{5, 40};
        model.animCount = 3;
        model.frameBoxes = boxes.data();
        model.vertsPerFrame = vertsPerFrame;
        model.facesPerFrame = facesPerFrame;
        model.frameCount = kFrames;
        model.frames = frames.data();
        model.arrayVerts = arrayVerts.data();
        model.vertexState = state.data();
        model.speed = speed;
        model.tris = tris.data();
        model.framePlanes = planes.data();
        model.groups = &group;
        model.groupCount = 1;
    }

    uint32_t vertsPerFrame = 0;
    uint32_t facesPerFrame = 0;
    std::vector<FrameVertex> frames;
    std::vector<FramePlane> planes;
    std::vector<float> boxes;
    std::vector<ArrayVertex> arrayVerts;
    std::vector<int32_t> state;
    std::vector<uint16_t> tris;
    MaterialGroup group{};
    Md2Model model{};
};

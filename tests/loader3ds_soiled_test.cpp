// The reader leaves some per-vertex arrays uncleared (the post-pass and the
// draw write them before they are read). A load into a pool whose memory is
// soiled with a pattern must build exactly the model a load into clean memory
// builds: the simple reference.
#include "loader3ds/loader3ds.h"
#include "memory/memory_pool.h"
#include "scene/scene.h"
#include "tests/support/load3ds_helper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadCorpus(const std::string& name) {
    std::ifstream in(std::string(TESSARO_CORPUS_DIR) + "/3ds/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What drawing reads of a loaded model, as bytes: per object its vertices
// (positions and normals), faces (indices, packed normal, plane distance),
// texture coordinates, box and group face counts.
std::vector<uint8_t> ModelBytes(Scene& scene) {
    std::vector<uint8_t> out;
    auto put = [&out](const void* data, size_t bytes) {
        const auto* p = static_cast<const uint8_t*>(data);
        out.insert(out.end(), p, p + bytes);
    };
    for (MeshObject* o = scene.objects; o; o = o->nextObject) {
        put(o->vertices, sizeof(MeshVertex) * static_cast<size_t>(o->vertexCount));
        for (int32_t f = 0; f < o->faceCount; ++f) {
            const Face& face = o->faces[f];
            put(&face.a, sizeof face.a);
            put(&face.b, sizeof face.b);
            put(&face.c, sizeof face.c);
            put(face.normal, sizeof face.normal);
            put(&face.d, sizeof face.d);
        }
        for (int32_t v = 0; v < o->vertexCount; ++v) {
            put(&o->arrayVerts[v].u, sizeof(float));
            put(&o->arrayVerts[v].v, sizeof(float));
        }
        put(o->bboxMin, sizeof o->bboxMin);
        put(o->bboxMax, sizeof o->bboxMax);
        for (int32_t g = 0; g < o->groupCount; ++g) {
            put(&o->groups[g].faceCount, sizeof(int32_t));
        }
    }
    return out;
}

// Fills the pool's free memory with `pattern`: small blocks of many sizes and
// large ones, written and given back, so that the next load reuses them.
void SoilPool(uint8_t pattern) {
    std::vector<void*> blocks;
    for (uint32_t size : {24u, 48u, 96u, 200u, 640u, 2000u, 6400u, 20000u, 64000u, 250000u, 1000000u}) {
        for (int k = 0; k < 8; ++k) {
            void* block = PoolAlloc(size);
            if (block != nullptr) {
                std::memset(block, pattern, size);
                blocks.push_back(block);
            }
        }
    }
    for (void* block : blocks) {
        PoolFree(block);
    }
}

using Soiled3dsTest = Pool3dsTest;

TEST_F(Soiled3dsTest, SoiledPoolBuildsTheSameModelAsACleanOne) {
    for (const char* file : {"test1.3ds", "cubes_with_alpha.3DS", "fels.3ds", "CameraRollAnimWithChildObject.3ds"}) {
        const std::vector<uint8_t> bytes = ReadCorpus(file);
        ASSERT_FALSE(bytes.empty()) << file;
        PoolRelease();
        PoolInit(20000000); // a new region: every byte zero
        std::vector<uint8_t> clean;
        {
            Loaded3ds l(bytes, {}, "c.3ds");
            ASSERT_TRUE(l.ok()) << file << ": " << l.error();
            clean = ModelBytes(l.scene());
        }
        for (const uint8_t pattern : {0xFFu, 0x5Au}) {
            SoilPool(pattern);
            Loaded3ds l(bytes, {}, "c.3ds");
            ASSERT_TRUE(l.ok()) << file << ": " << l.error();
            EXPECT_EQ(ModelBytes(l.scene()), clean) << file << " on memory soiled with " << int{pattern};
        }
    }
}

} // namespace

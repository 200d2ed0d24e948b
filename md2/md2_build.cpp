// Turning the parsed MD2 data into the per-frame arrays the instances draw
// from: everything that can be computed once per model is computed here, so
// that drawing a frame is only a linear blend toward the next frame.
#include <cstring> // memcpy, memset
#include <vector>  // temporary lists of the build

#include "math/math3d.h" // EulerToMatrix, NormalizeFast, Cross3, Dot3
#include "md2/md2.h"
#include "md2/md2_normals.h"    // kMd2Normals
#include "memory/memory_pool.h" // PoolAlloc, PoolFree

namespace {

// One render vertex: a pair of MD2 vertex index and texture-coordinate index.
struct RenderPair {
    uint16_t vertex;
    uint16_t texCoord;
    int32_t nextSameVertex; // next pair with the same vertex index, -1 = none
};

// p' = M p with M a 3x4 row-order matrix.
void TransformPoint(const float m[12], const float p[3], float out[3]) {
    out[0] = m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + m[3];
    out[1] = m[4] * p[0] + m[5] * p[1] + m[6] * p[2] + m[7];
    out[2] = m[8] * p[0] + m[9] * p[1] + m[10] * p[2] + m[11];
}

// n' = R n with R the rotation part of M.
void RotateVector(const float m[12], const float n[3], float out[3]) {
    out[0] = m[0] * n[0] + m[1] * n[1] + m[2] * n[2];
    out[1] = m[4] * n[0] + m[5] * n[1] + m[6] * n[2];
    out[2] = m[8] * n[0] + m[9] * n[1] + m[10] * n[2];
}

// The format's normal table turned into engine axes, once per build: every
// vertex of every frame looks its normal up here.
struct NormalTable {
    float normal[kMd2NormalCount][3];
};

void BuildNormalTable(const float axes[12], NormalTable* out) {
    for (int32_t i = 0; i < kMd2NormalCount; ++i) {
        const double* table = kMd2Normals[i];
        const float tableNormal[3] = {static_cast<float>(table[0]), static_cast<float>(table[1]),
                                      static_cast<float>(table[2])};
        float rotated[3] = {};
        RotateVector(axes, tableNormal, rotated);
        // The table's normals point into the model once the axes are turned.
        out->normal[i][0] = -rotated[0];
        out->normal[i][1] = -rotated[1];
        out->normal[i][2] = -rotated[2];
    }
}

// Position and normal of MD2 vertex `vertex` of `frame`, in engine axes. A
// normal index outside the table reads as the zero normal.
void DecodeVertex(const Md2Frame& frame, uint32_t vertex, const float axes[12], const NormalTable& normals,
                  float position[3], float normal[3]) {
    const uint8_t* packed = frame.verts + vertex * 4;
    float local[3] = {};
    for (int k = 0; k < 3; ++k) {
        local[k] = frame.scale[k] * static_cast<float>(packed[k]) + frame.translate[k];
    }
    TransformPoint(axes, local, position);
    const bool known = packed[3] < kMd2NormalCount;
    for (int k = 0; k < 3; ++k) {
        normal[k] = known ? normals.normal[packed[3]][k] : 0.0f;
    }
}

// The frame after `frame` within `anim`: the last frame leads back to the first.
uint32_t NextFrame(const AnimRange& anim, uint32_t frame) {
    return frame + 1 == anim.firstFrame + anim.frameCount ? anim.firstFrame : frame + 1;
}

// Numbers the distinct (vertex, texture coordinate) pairs in order of first
// use and writes four render-vertex indices per triangle into `indices`.
// Returns false when there would be more render vertices than a uint16 index
// can name. Pairs of one vertex are chained so the look-up stays short.
bool NumberRenderVertices(const uint16_t* triangles, uint32_t triangleCount, uint32_t vertexCount,
                          std::vector<RenderPair>* pairs, std::vector<uint16_t>* indices) {
    std::vector<int32_t> firstOfVertex(vertexCount, -1);
    std::vector<int32_t> lastOfVertex(vertexCount, -1);
    pairs->reserve(static_cast<size_t>(triangleCount) * 3);
    indices->assign(static_cast<size_t>(triangleCount) * 4, 0);
    for (uint32_t t = 0; t < triangleCount; ++t) {
        for (uint32_t corner = 0; corner < 3; ++corner) {
            const uint16_t vertex = triangles[t * 6 + corner];
            const uint16_t texCoord = triangles[t * 6 + 3 + corner];
            int32_t found = firstOfVertex[vertex];
            while (found >= 0 && (*pairs)[static_cast<size_t>(found)].texCoord != texCoord) {
                found = (*pairs)[static_cast<size_t>(found)].nextSameVertex;
            }
            if (found < 0) {
                if (pairs->size() >= static_cast<size_t>(kMd2MaxRenderVerts)) {
                    return false;
                }
                found = static_cast<int32_t>(pairs->size());
                pairs->push_back(RenderPair{vertex, texCoord, -1});
                if (lastOfVertex[vertex] >= 0) {
                    (*pairs)[static_cast<size_t>(lastOfVertex[vertex])].nextSameVertex = found;
                } else {
                    firstOfVertex[vertex] = found;
                }
                lastOfVertex[vertex] = found;
            }
            (*indices)[t * 4 + corner] = static_cast<uint16_t>(found);
        }
    }
    return true;
}

// Pool block of count x size bytes; null for an empty array. *failed is set
// when a non-empty request is refused or would not fit a pool request.
void* PoolArray(uint64_t count, uint64_t size, bool* failed) {
    const uint64_t bytes = count * size;
    if (bytes == 0) {
        return nullptr;
    }
    if (bytes > 0xFFFFFFFFu) {
        *failed = true;
        return nullptr;
    }
    void* block = PoolAlloc(static_cast<uint32_t>(bytes));
    if (block == nullptr) {
        *failed = true;
    }
    return block;
}

// The plane through the three corners, normalised with the fast length; a
// degenerate triangle keeps its zero normal and distance 0.
void TrianglePlane(const float c0[3], const float c1[3], const float c2[3], float normal[3],
                   float* distance) {
    const float e1[3] = {c1[0] - c0[0], c1[1] - c0[1], c1[2] - c0[2]};
    const float e2[3] = {c2[0] - c0[0], c2[1] - c0[1], c2[2] - c0[2]};
    Cross3(e1, e2, normal);
    NormalizeFast(normal);
    *distance = Dot3(c0, normal);
}

} // namespace

int Md2Model::BuildModel() {
    const Md2Loader& ld = loader;
    const uint32_t triangleCount = static_cast<uint32_t>(ld.header.triangleCount);
    const uint32_t frameTotal = static_cast<uint32_t>(ld.header.frameCount);
    // The motion table must stay inside the parsed frames.
    if (animCount > kMd2MaxAnims || (triangleCount > 0 && ld.triangles == nullptr)) {
        return 0;
    }
    for (uint32_t a = 0; a < animCount; ++a) {
        if (uint64_t{anims[a].firstFrame} + anims[a].frameCount > frameTotal) {
            return 0;
        }
    }

    std::vector<RenderPair> pairs;
    std::vector<uint16_t> indices;
    if (!NumberRenderVertices(ld.triangles, triangleCount, static_cast<uint32_t>(ld.header.vertexCount),
                              &pairs, &indices)) {
        return 0;
    }
    const uint32_t renderVerts = static_cast<uint32_t>(pairs.size());

    // The angles are 1.57, not pi/2: the matrix is used exactly as computed.
    const float angles[3] = {-1.57f, 1.57f, 0.0f};
    float axes[12] = {};
    EulerToMatrix(angles, nullptr, axes);

    // Take every pool array first, so that a refusal leaves nothing behind.
    bool failed = false;
    auto* newFrames = static_cast<FrameVertex*>(
        PoolArray(uint64_t{renderVerts} * frameTotal, sizeof(FrameVertex), &failed));
    auto* newArrayVerts = static_cast<ArrayVertex*>(PoolArray(renderVerts, sizeof(ArrayVertex), &failed));
    auto* newVertexState = static_cast<int32_t*>(PoolArray(renderVerts, sizeof(int32_t), &failed));
    auto* newTris = static_cast<uint16_t*>(PoolArray(triangleCount, 4 * sizeof(uint16_t), &failed));
    auto* newPlanes = static_cast<FramePlane*>(
        PoolArray(uint64_t{triangleCount} * frameTotal, sizeof(FramePlane), &failed));
    auto* newBoxes = static_cast<float*>(PoolArray(frameTotal, 6 * sizeof(float), &failed));
    if (failed) {
        PoolFree(newFrames);
        PoolFree(newArrayVerts);
        PoolFree(newVertexState);
        PoolFree(newTris);
        PoolFree(newPlanes);
        PoolFree(newBoxes);
        return 0;
    }

    // Vertices of every frame, with deltas toward the next frame of its
    // motion. Each frame is decoded once; the deltas are then read off the
    // decoded frames, as every frame is also the next one's predecessor.
    NormalTable normals = {};
    BuildNormalTable(axes, &normals);
    for (uint32_t a = 0; a < animCount; ++a) {
        const AnimRange& anim = anims[a];
        for (uint32_t f = anim.firstFrame; f < anim.firstFrame + anim.frameCount; ++f) {
            FrameVertex* frame = newFrames + uint64_t{f} * renderVerts;
            for (uint32_t v = 0; v < renderVerts; ++v) {
                DecodeVertex(ld.frames[f], pairs[v].vertex, axes, normals, frame[v].position, frame[v].normal);
            }
        }
        for (uint32_t f = anim.firstFrame; f < anim.firstFrame + anim.frameCount; ++f) {
            FrameVertex* frame = newFrames + uint64_t{f} * renderVerts;
            const FrameVertex* following = newFrames + uint64_t{NextFrame(anim, f)} * renderVerts;
            for (uint32_t v = 0; v < renderVerts; ++v) {
                for (int k = 0; k < 3; ++k) {
                    frame[v].normalDelta[k] = following[v].normal[k] - frame[v].normal[k];
                    frame[v].positionDelta[k] = following[v].position[k] - frame[v].position[k];
                }
            }
        }
    }
    for (uint32_t v = 0; v < renderVerts; ++v) {
        // Colour and position are the renderer's to fill each frame; start them at 0.
        newArrayVerts[v] = ArrayVertex{};
        newArrayVerts[v].u = ld.texCoords[pairs[v].texCoord * 2];
        newArrayVerts[v].v = ld.texCoords[pairs[v].texCoord * 2 + 1];
        newVertexState[v] = 0;
    }
    if (triangleCount > 0) {
        std::memcpy(newTris, indices.data(), indices.size() * sizeof(uint16_t));
    }

    // Face planes of every frame, from the converted positions; as with the
    // vertices, each plane is computed once and the deltas read off after.
    for (uint32_t a = 0; a < animCount; ++a) {
        const AnimRange& anim = anims[a];
        for (uint32_t f = anim.firstFrame; f < anim.firstFrame + anim.frameCount; ++f) {
            const FrameVertex* here = newFrames + uint64_t{f} * renderVerts;
            FramePlane* planes = newPlanes + uint64_t{f} * triangleCount;
            for (uint32_t t = 0; t < triangleCount; ++t) {
                const uint16_t* tri = newTris + t * 4;
                TrianglePlane(here[tri[0]].position, here[tri[1]].position, here[tri[2]].position,
                              planes[t].normal, &planes[t].distance);
            }
        }
        for (uint32_t f = anim.firstFrame; f < anim.firstFrame + anim.frameCount; ++f) {
            FramePlane* planes = newPlanes + uint64_t{f} * triangleCount;
            const FramePlane* following = newPlanes + uint64_t{NextFrame(anim, f)} * triangleCount;
            for (uint32_t t = 0; t < triangleCount; ++t) {
                for (int k = 0; k < 3; ++k) {
                    planes[t].normalDelta[k] = following[t].normal[k] - planes[t].normal[k];
                }
                planes[t].distanceDelta = following[t].distance - planes[t].distance;
            }
        }
    }

    // Bounding box of every frame over all its render vertices; a model
    // without render vertices gets empty boxes at the origin.
    for (uint32_t f = 0; f < frameTotal; ++f) {
        float* box = newBoxes + f * 6;
        std::memset(box, 0, 6 * sizeof(float));
        if (renderVerts == 0) {
            continue;
        }
        const FrameVertex* verts = newFrames + uint64_t{f} * renderVerts;
        for (int k = 0; k < 3; ++k) {
            box[k] = verts[0].position[k];
            box[k + 3] = verts[0].position[k];
        }
        for (uint32_t v = 1; v < renderVerts; ++v) {
            for (int k = 0; k < 3; ++k) {
                const float c = verts[v].position[k];
                if (c < box[k]) {
                    box[k] = c;
                }
                if (c > box[k + 3]) {
                    box[k + 3] = c;
                }
            }
        }
    }

    vertsPerFrame = renderVerts;
    facesPerFrame = triangleCount;
    frameCount = frameTotal;
    frames = newFrames;
    arrayVerts = newArrayVerts;
    vertexState = newVertexState;
    tris = newTris;
    framePlanes = newPlanes;
    frameBoxes = newBoxes;
    return 1;
}

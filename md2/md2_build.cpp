// Turning the parsed MD2 data into the per-frame arrays the instances draw
// from: everything that can be computed once per model is computed here, so
// that drawing a frame is only a linear blend toward the next frame.
#include <cstring> // memcpy, memset
#if defined(__SSE2__)
#include <xmmintrin.h> // _MM_TRANSPOSE4_PS
#include <emmintrin.h> // four vertices, planes and boxes a step where every x86-64 has it
#endif
#include <vector> // temporary lists of the build

#include "math/math3d.h" // EulerToMatrix, Cross3, NormalizeFast, Dot3
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

// n' = R n with R the rotation part of M.
void RotateVector(const float m[12], const float n[3], float out[3]) {
    out[0] = m[0] * n[0] + m[1] * n[1] + m[2] * n[2];
    out[1] = m[4] * n[0] + m[5] * n[1] + m[6] * n[2];
    out[2] = m[8] * n[0] + m[9] * n[1] + m[10] * n[2];
}

// The format's normal table turned into engine axes, once per build: every
// vertex of every frame looks its normal up here. Indices past the format's
// table read as the zero normal, so the look-up needs no test.
struct NormalTable {
    float normal[256][3];
};

void BuildNormalTable(const float axes[12], NormalTable* out) {
    std::memset(out, 0, sizeof(*out));
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

// One frame decoded: positions and normals of its render vertices and the
// planes of its triangles, one array per coordinate, so that the arithmetic
// over a frame runs in vector registers.
struct DecodedFrame {
    std::vector<float> position[3];
    std::vector<float> normal[3];
    std::vector<float> planeNormal[3];
    std::vector<float> planeDistance;

    DecodedFrame(uint32_t renderVerts, uint32_t triangles) {
        for (int k = 0; k < 3; ++k) {
            position[k].resize(renderVerts);
            normal[k].resize(renderVerts);
            planeNormal[k].resize(triangles);
        }
        planeDistance.resize(triangles);
    }
};

// Scratch of the plane computation: the corners of every triangle.
struct CornerScratch {
    std::vector<float> corner[3][3]; // corner, axis

    explicit CornerScratch(uint32_t triangles) {
        for (auto& c : corner) {
            for (auto& axis : c) {
                axis.resize(triangles);
            }
        }
    }
};

// Positions (M applied to scale x packed + translate) and normals of the
// render vertices of `frame`. The operations and their order are those of
// one vertex at a time; only the layout lets them run side by side.
void DecodeFrame(const Md2Frame& frame, const uint16_t* vertexOfRender, uint32_t renderVerts,
                 const float axes[12], const NormalTable& normals, DecodedFrame* out) {
    float* px = out->position[0].data();
    float* py = out->position[1].data();
    float* pz = out->position[2].data();
    for (uint32_t v = 0; v < renderVerts; ++v) {
        const uint8_t* packed = frame.verts + vertexOfRender[v] * 4;
        px[v] = static_cast<float>(packed[0]);
        py[v] = static_cast<float>(packed[1]);
        pz[v] = static_cast<float>(packed[2]);
        const float* n = normals.normal[packed[3]];
        out->normal[0][v] = n[0];
        out->normal[1][v] = n[1];
        out->normal[2][v] = n[2];
    }
    const float sx = frame.scale[0], sy = frame.scale[1], sz = frame.scale[2];
    const float tx = frame.translate[0], ty = frame.translate[1], tz = frame.translate[2];
    for (uint32_t v = 0; v < renderVerts; ++v) {
        const float lx = sx * px[v] + tx;
        const float ly = sy * py[v] + ty;
        const float lz = sz * pz[v] + tz;
        px[v] = axes[0] * lx + axes[1] * ly + axes[2] * lz + axes[3];
        py[v] = axes[4] * lx + axes[5] * ly + axes[6] * lz + axes[7];
        pz[v] = axes[8] * lx + axes[9] * ly + axes[10] * lz + axes[11];
    }
}

// The plane through the three corners of every triangle of a decoded frame,
// normalised with the fast length; a degenerate triangle keeps its zero
// normal and distance 0.
void FramePlanes(const uint16_t* tris, uint32_t triangleCount, CornerScratch* scratch, DecodedFrame* frame) {
    for (uint32_t t = 0; t < triangleCount; ++t) {
        for (int c = 0; c < 3; ++c) {
            const uint16_t index = tris[t * 4 + c];
            for (int k = 0; k < 3; ++k) {
                scratch->corner[c][k][t] = frame->position[k][index];
            }
        }
    }
    const float* ax = scratch->corner[0][0].data();
    const float* ay = scratch->corner[0][1].data();
    const float* az = scratch->corner[0][2].data();
    const float* bx = scratch->corner[1][0].data();
    const float* by = scratch->corner[1][1].data();
    const float* bz = scratch->corner[1][2].data();
    const float* cx = scratch->corner[2][0].data();
    const float* cy = scratch->corner[2][1].data();
    const float* cz = scratch->corner[2][2].data();
    float* nx = frame->planeNormal[0].data();
    float* ny = frame->planeNormal[1].data();
    float* nz = frame->planeNormal[2].data();
    float* d = frame->planeDistance.data();
    uint32_t t = 0;
#if defined(__SSE2__)
    // Four triangles a step, lane by lane the operations of Cross3,
    // NormalizeFast and Dot3 in the loop below.
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 threeHalves = _mm_set1_ps(1.5f);
    const __m128i magic = _mm_set1_epi32(0x5F3759DF);
    for (; t + 4 <= triangleCount; t += 4) {
        const __m128 x0 = _mm_loadu_ps(ax + t), y0 = _mm_loadu_ps(ay + t), z0 = _mm_loadu_ps(az + t);
        const __m128 e1x = _mm_sub_ps(_mm_loadu_ps(bx + t), x0);
        const __m128 e1y = _mm_sub_ps(_mm_loadu_ps(by + t), y0);
        const __m128 e1z = _mm_sub_ps(_mm_loadu_ps(bz + t), z0);
        const __m128 e2x = _mm_sub_ps(_mm_loadu_ps(cx + t), x0);
        const __m128 e2y = _mm_sub_ps(_mm_loadu_ps(cy + t), y0);
        const __m128 e2z = _mm_sub_ps(_mm_loadu_ps(cz + t), z0);
        const __m128 x = _mm_sub_ps(_mm_mul_ps(e1y, e2z), _mm_mul_ps(e1z, e2y));
        const __m128 y = _mm_sub_ps(_mm_mul_ps(e1z, e2x), _mm_mul_ps(e1x, e2z));
        const __m128 z = _mm_sub_ps(_mm_mul_ps(e1x, e2y), _mm_mul_ps(e1y, e2x));
        const __m128 squared = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y)), _mm_mul_ps(z, z));
        const __m128i guessBits = _mm_sub_epi32(magic, _mm_srai_epi32(_mm_castps_si128(squared), 1));
        __m128 guess = _mm_castsi128_ps(guessBits);
        const __m128 step =
            _mm_sub_ps(threeHalves, _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(half, squared), guess), guess));
        guess = _mm_mul_ps(guess, step);
        const __m128 length = _mm_div_ps(one, guess);
        const __m128 zero = _mm_cmpeq_ps(length, _mm_setzero_ps());
        const __m128 divisor = _mm_or_ps(_mm_and_ps(zero, one), _mm_andnot_ps(zero, length));
        const __m128 inverse = _mm_div_ps(one, divisor);
        const __m128 nxs = _mm_mul_ps(x, inverse);
        const __m128 nys = _mm_mul_ps(y, inverse);
        const __m128 nzs = _mm_mul_ps(z, inverse);
        _mm_storeu_ps(nx + t, nxs);
        _mm_storeu_ps(ny + t, nys);
        _mm_storeu_ps(nz + t, nzs);
        _mm_storeu_ps(d + t,
                      _mm_add_ps(_mm_add_ps(_mm_mul_ps(x0, nxs), _mm_mul_ps(y0, nys)), _mm_mul_ps(z0, nzs)));
    }
#endif
    for (; t < triangleCount; ++t) {
        const float a[3] = {ax[t], ay[t], az[t]};
        const float e1[3] = {bx[t] - ax[t], by[t] - ay[t], bz[t] - az[t]};
        const float e2[3] = {cx[t] - ax[t], cy[t] - ay[t], cz[t] - az[t]};
        float n[3] = {};
        Cross3(e1, e2, n);
        NormalizeFast(n);
        nx[t] = n[0];
        ny[t] = n[1];
        nz[t] = n[2];
        d[t] = Dot3(a, n);
    }
}

#if defined(__SSE2__)
// Four records' worth of four consecutive fields, one field per argument and
// one record per lane, turned into four record slices.
// The records are written once and read only when drawn, long after: on
// 16-byte boundaries (the pool's blocks are) they bypass the cache.
void StoreTransposed(__m128 a, __m128 b, __m128 c, __m128 d, float* out, size_t recordFloats) {
    _MM_TRANSPOSE4_PS(a, b, c, d);
    if ((reinterpret_cast<uintptr_t>(out) & 15u) == 0) {
        _mm_stream_ps(out, a);
        _mm_stream_ps(out + recordFloats, b);
        _mm_stream_ps(out + 2 * recordFloats, c);
        _mm_stream_ps(out + 3 * recordFloats, d);
        return;
    }
    _mm_storeu_ps(out, a);
    _mm_storeu_ps(out + recordFloats, b);
    _mm_storeu_ps(out + 2 * recordFloats, c);
    _mm_storeu_ps(out + 3 * recordFloats, d);
}
#endif

// The records of frame `here` with their differences toward `next`.
void WriteFrameRecords(const DecodedFrame& here, const DecodedFrame& next, uint32_t renderVerts,
                       uint32_t triangleCount, FrameVertex* verts, FramePlane* planes) {
    uint32_t v = 0;
    uint32_t t = 0;
#if defined(__SSE2__)
    // Four records a step: the same subtractions, stored by transposing.
    constexpr size_t kVertexFloats = sizeof(FrameVertex) / sizeof(float);
    constexpr size_t kPlaneFloats = sizeof(FramePlane) / sizeof(float);
    auto field = [](const std::vector<float>& values, uint32_t at) {
        return _mm_loadu_ps(values.data() + at);
    };
    for (; v + 4 <= renderVerts; v += 4) {
        __m128 n[3], p[3], dn[3], dp[3];
        for (int k = 0; k < 3; ++k) {
            n[k] = field(here.normal[k], v);
            p[k] = field(here.position[k], v);
            dn[k] = _mm_sub_ps(field(next.normal[k], v), n[k]);
            dp[k] = _mm_sub_ps(field(next.position[k], v), p[k]);
        }
        float* out = verts[v].normal;
        StoreTransposed(n[0], n[1], n[2], p[0], out, kVertexFloats);
        StoreTransposed(p[1], p[2], dn[0], dn[1], out + 4, kVertexFloats);
        StoreTransposed(dn[2], dp[0], dp[1], dp[2], out + 8, kVertexFloats);
    }
    for (; t + 4 <= triangleCount; t += 4) {
        __m128 n[3], dn[3];
        for (int k = 0; k < 3; ++k) {
            n[k] = field(here.planeNormal[k], t);
            dn[k] = _mm_sub_ps(field(next.planeNormal[k], t), n[k]);
        }
        const __m128 d = field(here.planeDistance, t);
        const __m128 dd = _mm_sub_ps(field(next.planeDistance, t), d);
        float* out = planes[t].normal;
        StoreTransposed(n[0], n[1], n[2], dn[0], out, kPlaneFloats);
        StoreTransposed(dn[1], dn[2], d, dd, out + 4, kPlaneFloats);
    }
#endif
    for (; v < renderVerts; ++v) {
        FrameVertex& out = verts[v];
        for (int k = 0; k < 3; ++k) {
            out.normal[k] = here.normal[k][v];
            out.position[k] = here.position[k][v];
            out.normalDelta[k] = next.normal[k][v] - here.normal[k][v];
            out.positionDelta[k] = next.position[k][v] - here.position[k][v];
        }
    }
    for (; t < triangleCount; ++t) {
        FramePlane& out = planes[t];
        for (int k = 0; k < 3; ++k) {
            out.normal[k] = here.planeNormal[k][t];
            out.normalDelta[k] = next.planeNormal[k][t] - here.planeNormal[k][t];
        }
        out.distance = here.planeDistance[t];
        out.distanceDelta = next.planeDistance[t] - here.planeDistance[t];
    }
}

// Bounding box of a decoded frame over all its render vertices: it starts at
// vertex 0 and widens; no render vertices give an empty box at the origin.
void FrameBox(const DecodedFrame& frame, uint32_t renderVerts, float box[6]) {
    std::memset(box, 0, 6 * sizeof(float));
    if (renderVerts == 0) {
        return;
    }
    for (int k = 0; k < 3; ++k) {
        const float* c = frame.position[k].data();
        float low = c[0];
        float high = c[0];
        uint32_t v = 1;
#if defined(__SSE2__)
        // Four running extremes, each widened as the single one is (a
        // coordinate replaces it only when strictly beyond; a NaN never
        // does), then folded; the order does not change a minimum or maximum.
        if (renderVerts >= 5) {
            __m128 lows = _mm_set1_ps(c[0]);
            __m128 highs = lows;
            for (; v + 4 <= renderVerts; v += 4) {
                const __m128 values = _mm_loadu_ps(c + v);
                lows = _mm_min_ps(values, lows);
                highs = _mm_max_ps(values, highs);
            }
            float lanes[4];
            _mm_storeu_ps(lanes, lows);
            for (const float lane : lanes) {
                low = lane < low ? lane : low;
            }
            _mm_storeu_ps(lanes, highs);
            for (const float lane : lanes) {
                high = lane > high ? lane : high;
            }
        }
#endif
        for (; v < renderVerts; ++v) {
            if (c[v] < low) {
                low = c[v];
            }
            if (c[v] > high) {
                high = c[v];
            }
        }
        box[k] = low;
        box[k + 3] = high;
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

// What the per-frame build reads and where it writes.
struct FrameBuild {
    const Md2Frame* frames;
    const AnimRange* anims;
    uint32_t animCount;
    uint32_t frameTotal;
    std::vector<uint16_t> vertexOfRender; // MD2 vertex index of each render vertex
    const uint16_t* tris;
    uint32_t triangleCount;
    const float* axes;
    FrameVertex* verts;
    FramePlane* planes;
    float* boxes;
};

// Every frame of every motion is decoded once, while the previous frame's
// records wait for it as their successor; a motion's first frame is kept
// for its last frame, which leads back to it.
void BuildFrames(const FrameBuild& build) {
    const uint32_t renderVerts = static_cast<uint32_t>(build.vertexOfRender.size());
    const uint32_t triangleCount = build.triangleCount;
    NormalTable normals;
    BuildNormalTable(build.axes, &normals);
    CornerScratch scratch(triangleCount);
    DecodedFrame first(renderVerts, triangleCount);
    DecodedFrame even(renderVerts, triangleCount);
    DecodedFrame odd(renderVerts, triangleCount);
    auto decode = [&](uint32_t f, DecodedFrame* out) {
        DecodeFrame(build.frames[f], build.vertexOfRender.data(), renderVerts, build.axes, normals, out);
        FramePlanes(build.tris, triangleCount, &scratch, out);
        FrameBox(*out, renderVerts, build.boxes + uint64_t{f} * 6);
    };

    // Frames outside every motion (there are none once the frames are
    // grouped) keep empty boxes.
    if (build.frameTotal > 0) {
        std::memset(build.boxes, 0, uint64_t{build.frameTotal} * 6 * sizeof(float));
    }
    for (uint32_t a = 0; a < build.animCount; ++a) {
        const AnimRange& anim = build.anims[a];
        if (anim.frameCount == 0) {
            continue;
        }
        decode(anim.firstFrame, &first);
        const DecodedFrame* here = &first;
        for (uint32_t f = anim.firstFrame; f < anim.firstFrame + anim.frameCount; ++f) {
            const uint32_t g = NextFrame(anim, f);
            DecodedFrame* next = &first;
            if (g != anim.firstFrame) {
                next = here == &even ? &odd : &even;
                decode(g, next);
            }
            WriteFrameRecords(*here, *next, renderVerts, triangleCount,
                              build.verts + uint64_t{f} * renderVerts,
                              build.planes + uint64_t{f} * triangleCount);
            here = next;
        }
    }
#if defined(__SSE2__)
    _mm_sfence(); // the streamed records are in memory before anyone reads them
#endif
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
    FrameBuild build = {ld.frames,     anims, animCount, frameTotal, {},      newTris,
                        triangleCount, axes,  newFrames, newPlanes,  newBoxes};
    build.vertexOfRender.reserve(renderVerts);
    for (const RenderPair& pair : pairs) {
        build.vertexOfRender.push_back(pair.vertex);
    }
    BuildFrames(build);

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

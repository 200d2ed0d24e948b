// Load-time set-up of a track: Kochanek-Bartels tangents for position-like
// and scalar tracks, and absolute orientations for rotation tracks. Runs once
// per track so a displayed frame only evaluates.
#include "keyframe/keyframe.h"

#include "math/math3d.h" // QuatMultiply

namespace {

// The three keys a tangent of key `i` is built from. The last key takes the
// roles backwards (itself as prev), so both differences point back along
// the track; the content's motion was authored against this.
struct TangentRoles {
    int prev;
    int cur;
    int next;
};

TangentRoles RolesFor(int i, int n) {
    if (i == 0) {
        return {0, 1, 2};
    }
    if (i == n - 1) {
        return {n - 1, n - 2, n - 3};
    }
    return {i - 1, i, i + 1};
}

// Weights of the two differences D1 = cur - prev and D2 = next - cur, from
// the tension, bias and continuity of the key whose tangents are made.
struct TangentWeights {
    float outD1;
    float outD2;
    float inD1;
    float inD2;
};

TangentWeights WeightsFor(float tension, float bias, float continuity) {
    const float t = 1.0f - tension;
    return {t * (1.0f + bias) * (1.0f + continuity) * 0.5f, t * (1.0f - bias) * (1.0f - continuity) * 0.5f,
            t * (1.0f + bias) * (1.0f - continuity) * 0.5f, t * (1.0f - bias) * (1.0f + continuity) * 0.5f};
}

} // namespace

void ComputeVectorTangents(KeyTrack* track) {
    const int n = UsableKeyCount(track);
    if (n < 2) {
        return;
    }
    VectorKey* keys = VectorKeys(*track);
    if (n == 2) {
        for (int k = 0; k < 2; ++k) {
            const float scale = 1.0f - keys[k].tension;
            for (int c = 0; c < 3; ++c) {
                const float tangent = scale * (keys[1].value[c] - keys[0].value[c]);
                keys[k].tangentIn[c] = tangent;
                keys[k].tangentOut[c] = tangent;
            }
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const TangentRoles r = RolesFor(i, n);
        const TangentWeights w = WeightsFor(keys[i].tension, keys[i].bias, keys[i].continuity);
        for (int c = 0; c < 3; ++c) {
            const float d1 = keys[r.cur].value[c] - keys[r.prev].value[c];
            const float d2 = keys[r.next].value[c] - keys[r.cur].value[c];
            keys[i].tangentOut[c] = w.outD1 * d1 + w.outD2 * d2;
            keys[i].tangentIn[c] = w.inD1 * d1 + w.inD2 * d2;
        }
    }
}

void ComputeScalarTangents(KeyTrack* track) {
    const int n = UsableKeyCount(track);
    if (n < 2) {
        return;
    }
    ScalarKey* keys = ScalarKeys(*track);
    if (n == 2) {
        for (int k = 0; k < 2; ++k) {
            const float tangent = (1.0f - keys[k].tension) * (keys[1].value - keys[0].value);
            keys[k].tangentIn = tangent;
            keys[k].tangentOut = tangent;
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const TangentRoles r = RolesFor(i, n);
        const TangentWeights w = WeightsFor(keys[i].tension, keys[i].bias, keys[i].continuity);
        const float d1 = keys[r.cur].value - keys[r.prev].value;
        const float d2 = keys[r.next].value - keys[r.cur].value;
        keys[i].tangentOut = w.outD1 * d1 + w.outD2 * d2;
        keys[i].tangentIn = w.inD1 * d1 + w.inD2 * d2;
    }
}

void AccumulateRotations(KeyTrack* track) {
    const int n = UsableKeyCount(track);
    if (n < 1) {
        return;
    }
    RotationKey* keys = RotationKeys(*track);
    // The file gives each key relative to the one before; the running product
    // (newest rotation on the left) is the absolute orientation. Left
    // unnormalised: the renderer normalises before use.
    float running[4] = {keys[0].orientation[0], keys[0].orientation[1], keys[0].orientation[2],
                        keys[0].orientation[3]};
    for (int i = 1; i < n; ++i) {
        QuatMultiply(keys[i].orientation, running, running);
        for (int c = 0; c < 4; ++c) {
            keys[i].orientation[c] = running[c];
        }
    }
}

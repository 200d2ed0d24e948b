// Per-frame evaluation of keyframe tracks: key search, ease curve, cubic
// Hermite segments for vectors and scalars, spherical interpolation for
// rotations.
#include "keyframe/keyframe.h"

#include <cmath> // std::trunc

#include "math/math3d.h" // QuatSlerp

namespace {

// Index of the first key whose frame is at or after `frame` truncated toward
// zero; `count` when there is none. Comparing against the
// truncated frame means a frame just past key i still uses the segment that
// ends at key i, with a parameter slightly above 1. The comparison is done in
// double so any float frame (huge, negative, not a number) stays defined.
template <typename Key> int FindKey(const Key* keys, const int count, const float frame) {
    const double whole = std::trunc(static_cast<double>(frame));
    for (int i = 0; i < count; ++i) {
        if (static_cast<double>(keys[i].frame) >= whole) {
            return i;
        }
    }
    return count;
}

// Position of `frame` in the segment from frame `from` to frame
// `to`. A segment of length 0 (two keys on one frame) has no inside: the
// earlier key holds before that frame and the later key from it on.
float SegmentParameter(const int32_t from, const int32_t to, const float frame) {
    const double length = static_cast<double>(to) - static_cast<double>(from);
    const double at = static_cast<double>(frame);
    if (length == 0.0) {
        return at >= static_cast<double>(to) ? 1.0f : 0.0f;
    }
    return static_cast<float>((at - static_cast<double>(from)) / length);
}

// The four cubic Hermite basis functions at u.
struct HermiteBasis {
    float h00;
    float h01;
    float h10;
    float h11;
};

HermiteBasis HermiteAt(float u) {
    const float u2 = u * u;
    const float u3 = u2 * u;
    return {2.0f * u3 - 3.0f * u2 + 1.0f, 3.0f * u2 - 2.0f * u3, u3 - 2.0f * u2 + u, u3 - u2};
}

} // namespace

float Ease(float t, float a, float b) {
    const float s = a + b;
    if (s == 0.0f) {
        return t;
    }
    if (s > 1.0f) {
        a = a / s;
        b = b / s;
    }
    const float k = 1.0f / (2.0f - b - a);
    // With no ease-in (a = 0) a parameter below 0 (a frame before the first
    // key) continues the straight middle part instead of dividing by a; with
    // no ease-out (b = 0) the same holds at and beyond 1, where the curved
    // part would compute infinity times zero at exactly the key's frame.
    if (t < a && a != 0.0f) {
        return (k / a) * t * t;
    }
    if (t < 1.0f - b || b == 0.0f) {
        return k * (2.0f * t - a);
    }
    const float rest = 1.0f - t;
    return 1.0f - (k / b) * rest * rest;
}

void EvaluateVector(const KeyTrack* track, const float frame, float out[3]) {
    if (frame < 0.0f) {
        return;
    }
    out[0] = 0.0f;
    out[1] = 0.0f;
    out[2] = 0.0f;
    const int n = UsableKeyCount(track);
    if (n == 0) {
        return;
    }
    const VectorKey* keys = VectorKeys(*track);
    if (n == 1) {
        out[0] = keys[0].value[0];
        out[1] = keys[0].value[1];
        out[2] = keys[0].value[2];
        return;
    }
    int i = FindKey(keys, n, frame);
    if (i == n) {
        out[0] = keys[n - 1].value[0];
        out[1] = keys[n - 1].value[1];
        out[2] = keys[n - 1].value[2];
        return;
    }
    if (i == 0) {
        // At or before the first key the first segment is used, extrapolated
        // backwards for frames before key 0.
        i = 1;
    }
    const VectorKey& from = keys[i - 1];
    const VectorKey& to = keys[i];
    const float u = Ease(SegmentParameter(from.frame, to.frame, frame), from.easeFrom, to.easeTo);
    const HermiteBasis h = HermiteAt(u);
    for (int c = 0; c < 3; ++c) {
        out[c] = h.h00 * from.value[c] + h.h01 * to.value[c] + h.h10 * from.tangentOut[c] +
                 h.h11 * to.tangentIn[c];
    }
}

float EvaluateScalar(const KeyTrack* track, const float frame) {
    if (frame <= 0.0f) {
        return 0.0f;
    }
    const int n = UsableKeyCount(track);
    if (n == 0) {
        return 0.0f;
    }
    const ScalarKey* keys = ScalarKeys(*track);
    if (n == 1) {
        return keys[0].value;
    }
    const int i = FindKey(keys, n, frame);
    if (i == n) {
        return keys[n - 1].value;
    }
    if (i == 0) {
        return keys[0].value;
    }
    const ScalarKey& from = keys[i - 1];
    const ScalarKey& to = keys[i];
    const float u = Ease(SegmentParameter(from.frame, to.frame, frame), from.easeFrom, to.easeTo);
    const HermiteBasis h = HermiteAt(u);
    return h.h00 * from.value + h.h01 * to.value + h.h10 * from.tangentOut + h.h11 * to.tangentIn;
}

void EvaluateRotation(const KeyTrack* track, const float frame, float out[4]) {
    const int n = UsableKeyCount(track);
    if (n == 0) {
        return;
    }
    const RotationKey* keys = RotationKeys(*track);
    int pick = -1;
    if (n == 1) {
        pick = 0;
    } else {
        const int i = FindKey(keys, n, frame);
        if (i == n) {
            pick = n - 1;
        } else if (i == 0) {
            pick = 0;
        } else {
            const RotationKey& from = keys[i - 1];
            const RotationKey& to = keys[i];
            const float u = Ease(SegmentParameter(from.frame, to.frame, frame), from.easeFrom, to.easeTo);
            // No shortest-arc flip and no normalisation: the renderer
            // normalises, and the content relies on the arc as given.
            QuatSlerp(from.orientation, to.orientation, u, out);
            return;
        }
    }
    for (int c = 0; c < 4; ++c) {
        out[c] = keys[pick].orientation[c];
    }
}

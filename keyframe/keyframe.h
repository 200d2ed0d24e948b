// Keyframe tracks: the key records the 3DS reader fills, the once-per-track
// set-up that turns them into playable splines, and the evaluation of one
// track at a frame.
//
// A track's key array comes from the memory pools and belongs to the record
// that holds the track (a scene's object, camera or light); nothing here
// allocates or frees. The set-up runs once right after loading (tangents and
// absolute orientations); afterwards tracks are only read. An evaluation may
// be asked for any frame in any order: none depends on the previous one, and
// there is no shared state.
//
// Walking a whole scene's tracks belongs to the scene (scene/scene.h:
// PrepareTracks, EvaluateTracks); this layer knows nothing of scenes.
#pragma once

#include <cstdint> // uint16_t, int32_t

// One track inside an object, camera or light. `keys` points to `keyCount`
// records of the track's kind (VectorKey, RotationKey or ScalarKey).
struct KeyTrack {
    void* keys;        // pool memory owned by the scene; null when keyCount is 0
    uint16_t flags;    // track flags from the file; not used
    uint16_t keyCount; // 0 for a track the file did not give
};

// Position, target, scale and colour keys.
struct VectorKey {
    float tension;
    float bias;
    float continuity;
    float easeTo;        // ease into this key
    float easeFrom;      // ease out of this key
    float tangentIn[3];  // used at the end of the segment ending at this key
    float tangentOut[3]; // used at the start of the segment starting here
    int32_t frame;       // keys are expected in increasing frame order
    float value[3];      // engine axes (y up)
};

// Rotation keys: `orientation` (w, x, y, z) is relative to the previous key
// as read, absolute once PrepareTracks has run.
struct RotationKey {
    float tension;
    float bias;
    float continuity;
    float easeTo;
    float easeFrom;
    float orientation[4];
    int32_t frame;
};

// Roll and field-of-view keys (degrees).
struct ScalarKey {
    float tension;
    float bias;
    float continuity;
    float easeTo;
    float easeFrom;
    float tangentIn;
    float tangentOut;
    int32_t frame;
    float value;
};

static_assert(sizeof(VectorKey) == 60, "VectorKey is 15 packed 32-bit fields");
static_assert(sizeof(RotationKey) == 40, "RotationKey is 10 packed 32-bit fields");
static_assert(sizeof(ScalarKey) == 36, "ScalarKey is 9 packed 32-bit fields");

// Typed views of a track's key array; null when the track has no keys.
inline VectorKey* VectorKeys(const KeyTrack& track) {
    return static_cast<VectorKey*>(track.keys);
}
inline RotationKey* RotationKeys(const KeyTrack& track) {
    return static_cast<RotationKey*>(track.keys);
}
inline ScalarKey* ScalarKeys(const KeyTrack& track) {
    return static_cast<ScalarKey*>(track.keys);
}

// Ease curve on the segment parameter t; a = easeFrom of the segment's first
// key, b = easeTo of its last key. Returns t unchanged when a + b is 0.
float Ease(float t, float a, float b);

// Kochanek-Bartels tangents of a VectorKey track. Fewer than 2 keys: no-op.
void ComputeVectorTangents(KeyTrack* track);

// Kochanek-Bartels tangents of a ScalarKey track. Fewer than 2 keys: no-op.
void ComputeScalarTangents(KeyTrack* track);

// Turns relative RotationKey orientations into absolute ones, in place.
void AccumulateRotations(KeyTrack* track);

// Value of a VectorKey track at `frame` into `out`. Writes nothing for a
// negative frame; (0, 0, 0) for an empty track.
void EvaluateVector(const KeyTrack* track, float frame, float out[3]);

// Value of a ScalarKey track at `frame`; 0 at frame 0 or before and for an
// empty track.
float EvaluateScalar(const KeyTrack* track, float frame);

// Orientation of a RotationKey track at `frame` into `out` (not normalised).
// Writes nothing for an empty track.
void EvaluateRotation(const KeyTrack* track, float frame, float out[4]);

// Keys of a track that can be read: 0 when the array is missing, whatever
// keyCount claims, so a half-built track never leads to a null read.
inline int UsableKeyCount(const KeyTrack* track) {
    return (track == nullptr || track->keys == nullptr) ? 0 : track->keyCount;
}

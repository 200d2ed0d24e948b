// Insides of the keyframe subsystem shared by its two source files.
#pragma once

#include "keyframe/keyframe.h" // KeyTrack and the key records

// Keys of a track that can be read: 0 when the array is missing, whatever
// keyCount claims, so a half-built track never leads to a null read.
inline int UsableKeyCount(const KeyTrack* track) {
    return (track == nullptr || track->keys == nullptr) ? 0 : track->keyCount;
}

// The built-in show's timing, in engine frames (25 a second): every time of
// its timeline follows from the lengths of the logo and corridoru scenes.
// Its show file (tools/content/show.cpp) writes these same sums, and the
// content builder fits the song's sections to them.
#pragma once

#include <cstdint> // int32_t, int64_t

// The lengths the timeline is built from, in engine frames: Ll and Lc are the
// frameCount of logo and corridoru, B = Ll + Lc + 140. Held in 64 bits so that
// the sums cannot overflow whatever a scene file declares.
struct ShowTimes {
    int64_t logoFrames;      // Ll
    int64_t corridoruFrames; // Lc
    int64_t show;            // B
};

// The lengths for scenes of these frame counts.
constexpr ShowTimes ComputeShowTimes(const int32_t logoFrames, const int32_t corridoruFrames) {
    return ShowTimes{logoFrames, corridoruFrames, static_cast<int64_t>(logoFrames) + corridoruFrames + 140};
}

// Where the scenes change: blur0 takes over from the logo at Ll; corridoru,
// with the character, starts at Ll + 140; blur1 fades in over it from B - 150,
// fades out from B - 99 to B - 50, and the show finishes at B - 40.
constexpr int64_t CorridoruStart(const ShowTimes& t) {
    return t.logoFrames + 140;
}
constexpr int64_t Blur1Start(const ShowTimes& t) {
    return t.show - 150;
}
constexpr int64_t Blur1FadeOutStart(const ShowTimes& t) {
    return t.show - 99;
}
constexpr int64_t Blur1FadeOutEnd(const ShowTimes& t) {
    return t.show - 50;
}
constexpr int64_t ShowFinish(const ShowTimes& t) {
    return t.show - 40;
}

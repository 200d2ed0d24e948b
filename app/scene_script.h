// The demo's fixed content, written as code: which scenes and character are
// loaded from the archive, how they are dressed (textures, environment maps,
// the reflecting floor, the character's choreography) and when each scene
// plays. Every time in the timeline follows from the lengths of the logo and
// corridoru scenes, so the show follows whatever the scene files contain.
//
// The character model and the two mirrors are static objects of the program:
// they exist before main runs and live until the process ends. The scenes
// are made by the engine and released by the shell (g_logo and friends in
// app/app.h).
#pragma once

#include "md2/md2.h"     // Md2Model
#include "scene/scene.h" // Mirror, Md2Instance

#include <cstdint> // int32_t, int64_t

// The one character model, zero-filled before main runs.
extern Md2Model g_character;
// The character's one placement ("Zuzez1"); null until the script made it.
extern Md2Instance* g_zuzez1;
// The reflecting floor of the corridor scenes.
extern Mirror g_floorMirror;
// A second mirror that exists and is never configured.
extern Mirror g_spareMirror;


// The lengths the timeline is built from, in engine frames: Ll and Lc are the
// frameCount of logo and corridoru, B = Ll + Lc + 140. Held in 64 bits so that
// the sums cannot overflow whatever a scene file declares.
struct ShowTimes {
    int64_t logoFrames;      // Ll
    int64_t corridoruFrames; // Lc
    int64_t show;            // B
};

// The lengths for scenes of these frame counts.
ShowTimes ComputeShowTimes(int32_t logoFrames, int32_t corridoruFrames);

// Loads the five scenes and the character from g_currentPak, dresses them and
// fills g_engine's timeline: the logo is active at once, 14 events wait.
// Returns 1. A missing scene throws the 3DS loader's message (the scenes
// loaded before it are already in g_logo...); a missing texture gives
// texture 0; a missing mesh name or character is skipped with a debugger
// line. Runs once per process.
int RunSceneScript();

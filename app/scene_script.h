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

#include "app/show_times.h" // ShowTimes, ComputeShowTimes
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



// Loads the five scenes and the character from g_currentPak, dresses them and
// fills g_engine's timeline: the logo is active at once, 14 events wait.
// When fwk.playSounds is set and the archive holds kSongFile, the song is
// loaded into g_song and two more events wait: its play at 0 and a volume
// fade to 0 over blur1's fade-out. Returns 1. A missing scene throws the 3DS
// loader's message (the scenes loaded before it are already in g_logo...); a
// missing texture gives texture 0; a missing mesh name or character is
// skipped with a debugger line. Runs once per process.
int RunSceneScript();

// The scene script: the interpreter of the show file (app/show_file.h,
// docs/show-format.md) stored in the archive as "show.toml". It loads the
// scenes and the character the file names, dresses them (textures,
// environment maps, the reflecting floor, the character's choreography) and
// fills the engine's timeline with the file's events. The built-in show is
// the content builder's show.toml; every time in its timeline follows from
// the lengths of the logo and corridoru scenes, so the show follows whatever
// the scene files contain.
//
// The character model and the two mirrors are static objects of the program:
// they exist before main runs and live until the process ends. The scenes
// are made by the engine, held here in load order and released by the shell
// with ReleaseShowScenes.
#pragma once

#include "app/show_times.h" // ShowTimes, ComputeShowTimes (the built-in show's timing)
#include "md2/md2.h"     // Md2Model
#include "scene/scene.h" // Mirror, Md2Instance

#include <cstdint> // int32_t, int64_t
#include <string>

// The one character model, zero-filled before main runs.
extern Md2Model g_character;
// The character's one placement ("Zuzez1" in the built-in show); null until
// the script made it.
extern Md2Instance* g_zuzez1;
// The reflecting floor of the corridor scenes.
extern Mirror g_floorMirror;
// A second mirror that exists and is never configured.
extern Mirror g_spareMirror;

// Reads the show file from g_currentPak, loads and dresses what it names and
// fills g_engine's timeline; scenes marked active are active at once. A scene
// named like one of the shell's handles (logo, blur0, blur1, corridors,
// corridoru) is also put there. Song events are added only when
// fwk.playSounds is set and the song loads into g_song; otherwise the show
// plays silent. Returns 1.
// Throws (through the shell's error end, before anything is drawn): a
// missing or bad show file, with its file, line and column; a missing scene
// entry (the 3DS loader's message); a time that falls outside the show once
// the scenes' lengths are known. A missing texture gives texture 0; a missing
// object name or character is skipped with a debugger line. Runs again
// after ReleaseShowScenes and a fresh layout of the pools.
int RunSceneScript();

// Makes RunSceneScript read the show from `text` instead of the archive's
// show.toml; its messages then name `fileName`. An empty name restores the
// archive's file.
void SetShowFileText(const std::string& fileName, const std::string& text);
// What SetShowFileText gave last (an empty name: the archive's file).
void GetShowFileText(std::string* fileName, std::string* text);

// Destroys and frees the scenes the script loaded, in load order, and forgets
// them and the shell's handles; frees the character's instances and clears
// the floor mirror, so that the script may run again. Safe to call again or
// before the script ran.
void ReleaseShowScenes();

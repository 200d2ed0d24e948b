// Stand-ins for the pieces of the run whose subsystems are not in the program
// yet: the scene script and the engine. Each is replaced by the real call when
// its subsystem lands; until then they keep the run's shape intact.
#pragma once

#include "platform/sound/sound.h" // SoundSong

// Runs the scene script: loads and dresses the scenes and fills the timeline.
// For now it loads nothing. Returns 1.
int PlaceholderRunSceneScript();

// One engine frame: for now clears the colour and depth buffers. Returns 0,
// "the show has not finished".
int PlaceholderRenderFrame();

// Stops a song as the engine will: FMUSIC_StopSong with the handle; returns its result.
int PlaceholderStopSong(SoundSong* song);

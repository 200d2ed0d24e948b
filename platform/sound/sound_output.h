// The audio device under the mixer, one source per system
// (sound_output_sdl.cpp, sound_output_winmm.cpp). Once open, the device's own
// thread pulls 16-bit stereo frames through SoundMix, holding the lock that
// SoundOutputLock takes, so the mixer never sees a half-made change.
#pragma once

// Opens the default output at `rate` frames per second and starts it. False
// when no output device can be opened.
bool SoundOutputOpen(int rate);
// Stops and closes the device; nothing happens when none is open.
void SoundOutputClose();
// Holds the mixer out while the songs change (no-ops when no device is open).
void SoundOutputLock();
void SoundOutputUnlock();
// Pauses or resumes the device, if one is open.
void SoundOutputPause(bool paused);

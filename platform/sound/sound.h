// Sound library: the music player the program talks to by the names of the
// library it was written against (FSOUND_* and FMUSIC_*), built here on SDL2
// audio and libopenmpt.
//
// - FSOUND_Init opens the default audio output; the library then stays open
//   until the process ends (SoundShutdown exists for tests and tools). With
//   SoundSetManualOutput no device is opened and the owner pulls the mix with
//   SoundMix, on its own clock (the capture run does so).
// - Files are read through five callbacks installed with
//   FSOUND_File_SetCallbacks; without them the library reads from disk.
// - A song is a tracker module of any format libopenmpt reads (the show's is
//   XM), read whole by FMUSIC_LoadSong and owned by the caller until
//   FMUSIC_FreeSong. A song plays once from its start and then falls silent;
//   its master volume runs from 0 (silent) to 256 (as composed).
// - Every function takes a null song handle safely: it fails with
//   kSoundErrInvalidParam and changes nothing.
//
// All functions are called from the program's main thread; the mixer runs on
// SDL's audio thread and takes the device lock around every change it sees.
#pragma once

#include <cstdint> // uintptr_t, int16_t

// Error codes reported by FSOUND_GetError for the last failure.
constexpr int kSoundErrNone = 0;
constexpr int kSoundErrAlreadyInitialised = 1;
constexpr int kSoundErrUninitialised = 2;
constexpr int kSoundErrInit = 3;
constexpr int kSoundErrFileNotFound = 9;
constexpr int kSoundErrFileFormat = 10;
constexpr int kSoundErrFileRead = 11;
constexpr int kSoundErrMemory = 12;
constexpr int kSoundErrInvalidParam = 15;

// The version this library reports.
constexpr float kSoundLibraryVersion = 3.2f;

// Master volume range of a song.
constexpr int kSoundMaxVolume = 256;

// A file handle of the callbacks: wide enough to carry a pointer; 0 means "no file".
using SoundFileHandle = uintptr_t;

// Opens the named file; 0 when it does not exist.
using SoundOpenCallback = SoundFileHandle (*)(const char* name);
// Closes a handle returned by the open callback.
using SoundCloseCallback = void (*)(SoundFileHandle handle);
// Reads `size` bytes into `buffer`; returns how much was read (see SoundLoadSong).
using SoundReadCallback = int (*)(void* buffer, int size, SoundFileHandle handle);
// Moves the read position: mode 0 from the start, 1 from the current position,
// 2 from the end. Returns 0 on success.
using SoundSeekCallback = int (*)(SoundFileHandle handle, int position, signed char mode);
// The read position.
using SoundTellCallback = int (*)(SoundFileHandle handle);

// One loaded song; opaque to callers.
struct SoundSong;

// The library version: kSoundLibraryVersion unless a test overrides it.
float FSOUND_GetVersion();

// Installs the file callbacks used by every later file read. Passing any null
// callback restores reading from disk. Always returns 1.
int FSOUND_File_SetCallbacks(SoundOpenCallback open, SoundCloseCallback close, SoundReadCallback read,
                             SoundSeekCallback seek, SoundTellCallback tell);

// Opens the default audio output at `mixRate` Hz for up to `channels` songs at
// once; `flags` is unused. Returns 1 on success; 0 on failure with
// FSOUND_GetError telling why (kSoundErrInit when no device can be opened,
// kSoundErrAlreadyInitialised when already open, kSoundErrInvalidParam for a
// rate outside 4000..192000 or a channel count outside 1..256).
int FSOUND_Init(int mixRate, int channels, unsigned int flags);

// The code of the last failure, kSoundErrNone when nothing has failed yet.
int FSOUND_GetError();

// Starts the song from its beginning (or restarts it). Returns 1, or 0 for a
// null song, an uninitialised library, or more songs playing than channels.
int FMUSIC_PlaySong(SoundSong* song);

// Stops the song. Returns 1, or 0 for a null song.
int FMUSIC_StopSong(SoundSong* song);

// The song's master volume (0..256); -1 for a null song.
int FMUSIC_GetMasterVolume(SoundSong* song);

// Sets the master volume, clamped to 0..256. Returns 1, or 0 for a null song.
int FMUSIC_SetMasterVolume(SoundSong* song, int volume);

// Stops and releases the song. Returns 1, or 0 for a null song.
int FMUSIC_FreeSong(SoundSong* song);

// Loads a tracker module through the installed callbacks (or from disk). The
// read callback may return either 1 for a whole block or a byte count; reads
// are done in blocks that the file's size allows exactly, so both conventions
// load the same bytes. Returns null with FSOUND_GetError set (file not found,
// unknown format or damaged module, read error). Needs no output: a song may
// be loaded before FSOUND_Init. Released with FMUSIC_FreeSong.
SoundSong* FMUSIC_LoadSong(const char* name);

// Makes the next FSOUND_Init open no device (true) or the default one
// (false, the start state); SoundShutdown restores the default. Only read by
// FSOUND_Init.
void SoundSetManualOutput(bool manual);

// Closes the output, stops every song (songs stay loaded), forgets the
// callbacks and the last error; the library can be initialised again.
void SoundShutdown();

// Test seam: the version FSOUND_GetVersion reports from now on.
void SoundSetReportedVersion(float version);

// Stops or resumes the output's calls into the mixer (nothing when not initialised).
void SoundPauseOutput(bool paused);

// The mixer: writes `frames` stereo frames at the output's rate (the rate of
// FSOUND_Init, 44100 before it) of every playing song, scaled by its master
// volume and clamped to 16 bits, into `stream`, and advances the songs. A
// song that reaches its end stops playing. The device's thread calls it; a
// manual output's owner, or a test with the output paused, calls it instead.
void SoundMix(int16_t* stream, int frames);

// True while FMUSIC_PlaySong has started the song and neither a stop nor the
// song's end came since.
bool SoundIsPlaying(const SoundSong* song);

// The few process services the tests use that POSIX and Windows spell
// differently: environment variables and the process id (for unique names).
#pragma once

#include <cstdlib> // setenv, unsetenv, _putenv_s

#ifdef _WIN32
#include <process.h> // _getpid
#else
#include <unistd.h> // getpid
#endif

inline void SetTestEnv(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

inline void UnsetTestEnv(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

inline int TestProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

// Picks the audio output by name for the sound library on either system:
// "dummy" plays into nowhere on time, an unknown name opens no device.
inline void UseAudioDriver(const char* name) {
    SetTestEnv("SDL_AUDIODRIVER", name);
    SetTestEnv("TESSARO_AUDIO_DRIVER", name);
}

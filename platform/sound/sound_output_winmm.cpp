// The audio device on Windows's waveform output: a thread of ours keeps a
// ring of buffers queued on the device, refilling each from the mixer as the
// device hands it back (it signals an event per finished buffer).
//
// TESSARO_AUDIO_DRIVER chooses another output for machines without sound:
// "dummy" mixes on time into nowhere (as a device would pull it); any other
// name is a driver this system lacks, so no device opens.
#include "platform/sound/sound.h"
#include "platform/sound/sound_output.h"

#include <windows.h>

#include <mmsystem.h>

#include <cstdint> // int16_t
#include <cstdlib> // getenv
#include <cstring> // strcmp

namespace {

constexpr int kOutputChannels = 2;
constexpr int kBufferFrames = 1024;
// Four buffers of 1024 frames: about 93 ms queued at 44.1 kHz, enough for a
// busy machine, little enough for a fade to be heard on time.
constexpr int kBufferCount = 4;

struct WaveOutput {
    bool dummy = false;  // no device: the thread mixes on a timer
    DWORD bufferMs = 0;  // play time of one buffer, for the dummy's pace
    HWAVEOUT device = nullptr;
    HANDLE bufferDone = nullptr; // signalled by the device
    HANDLE thread = nullptr;
    volatile LONG stopping = 0;
    volatile LONG paused = 0; // the dummy's pause: no mixing while set
    CRITICAL_SECTION lock;
    bool lockReady = false;
    WAVEHDR headers[kBufferCount] = {};
    int16_t samples[kBufferCount][kBufferFrames * kOutputChannels] = {};
};

WaveOutput s_out;

// Mixes into one buffer and gives it to the device.
void Refill(WAVEHDR* header) {
    EnterCriticalSection(&s_out.lock);
    SoundMix(reinterpret_cast<int16_t*>(header->lpData), kBufferFrames);
    LeaveCriticalSection(&s_out.lock);
    waveOutWrite(s_out.device, header, sizeof(WAVEHDR));
}

// The dummy device: one buffer's worth of mixing per buffer's play time.
DWORD WINAPI FeedNowhere(void* /*unused*/) {
    while (InterlockedCompareExchange(&s_out.stopping, 0, 0) == 0) {
        if (InterlockedCompareExchange(&s_out.paused, 0, 0) == 0) {
            EnterCriticalSection(&s_out.lock);
            SoundMix(s_out.samples[0], kBufferFrames);
            LeaveCriticalSection(&s_out.lock);
        }
        WaitForSingleObject(s_out.bufferDone, s_out.bufferMs);
    }
    return 0;
}

DWORD WINAPI FeedDevice(void* /*unused*/) {
    while (InterlockedCompareExchange(&s_out.stopping, 0, 0) == 0) {
        WaitForSingleObject(s_out.bufferDone, INFINITE);
        for (WAVEHDR& header : s_out.headers) {
            if ((header.dwFlags & WHDR_DONE) != 0 && InterlockedCompareExchange(&s_out.stopping, 0, 0) == 0) {
                Refill(&header);
            }
        }
    }
    return 0;
}

void ReleaseAll() {
    if (s_out.thread != nullptr) {
        InterlockedExchange(&s_out.stopping, 1);
        SetEvent(s_out.bufferDone);
        WaitForSingleObject(s_out.thread, INFINITE);
        CloseHandle(s_out.thread);
        s_out.thread = nullptr;
    }
    if (s_out.device != nullptr) {
        waveOutReset(s_out.device);
        for (WAVEHDR& header : s_out.headers) {
            if ((header.dwFlags & WHDR_PREPARED) != 0) {
                waveOutUnprepareHeader(s_out.device, &header, sizeof(WAVEHDR));
            }
        }
        waveOutClose(s_out.device);
        s_out.device = nullptr;
    }
    if (s_out.bufferDone != nullptr) {
        CloseHandle(s_out.bufferDone);
        s_out.bufferDone = nullptr;
    }
    if (s_out.lockReady) {
        DeleteCriticalSection(&s_out.lock);
        s_out.lockReady = false;
    }
    s_out.stopping = 0;
    s_out.paused = 0;
    s_out.dummy = false;
}

const char* ChosenDriver() {
    const char* driver = std::getenv("TESSARO_AUDIO_DRIVER");
    return driver != nullptr ? driver : "";
}

} // namespace

bool SoundOutputOpen(const int rate) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kOutputChannels;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(kOutputChannels * sizeof(int16_t));
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

    const char* driver = ChosenDriver();
    if ((driver[0] != '\0' && std::strcmp(driver, "dummy") != 0) || rate <= 0) {
        return false;
    }
    InitializeCriticalSection(&s_out.lock);
    s_out.lockReady = true;
    s_out.bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (s_out.bufferDone == nullptr) {
        ReleaseAll();
        return false;
    }
    if (std::strcmp(driver, "dummy") == 0) {
        s_out.dummy = true;
        s_out.bufferMs = static_cast<DWORD>(kBufferFrames * 1000 / rate);
        s_out.thread = CreateThread(nullptr, 0, FeedNowhere, nullptr, 0, nullptr);
        if (s_out.thread == nullptr) {
            ReleaseAll();
            return false;
        }
        return true;
    }
    if (
        waveOutOpen(&s_out.device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(s_out.bufferDone), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        s_out.device = nullptr;
        ReleaseAll();
        return false;
    }
    for (int i = 0; i < kBufferCount; ++i) {
        WAVEHDR& header = s_out.headers[i];
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(s_out.samples[i]);
        header.dwBufferLength = sizeof(s_out.samples[i]);
        if (waveOutPrepareHeader(s_out.device, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            ReleaseAll();
            return false;
        }
    }
    // Start with every buffer queued; the thread keeps them coming.
    for (WAVEHDR& header : s_out.headers) {
        Refill(&header);
    }
    s_out.thread = CreateThread(nullptr, 0, FeedDevice, nullptr, 0, nullptr);
    if (s_out.thread == nullptr) {
        ReleaseAll();
        return false;
    }
    return true;
}

void SoundOutputClose() { ReleaseAll(); }

void SoundOutputLock() {
    if (s_out.lockReady) {
        EnterCriticalSection(&s_out.lock);
    }
}

void SoundOutputUnlock() {
    if (s_out.lockReady) {
        LeaveCriticalSection(&s_out.lock);
    }
}

void SoundOutputPause(const bool paused) {
    // Taking the lock as well means no mix is under way once this returns.
    SoundOutputLock();
    InterlockedExchange(&s_out.paused, paused ? 1 : 0);
    SoundOutputUnlock();
    if (s_out.device != nullptr) {
        if (paused) {
            waveOutPause(s_out.device);
        } else {
            waveOutRestart(s_out.device);
        }
    }
}

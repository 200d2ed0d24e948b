// Start-up of the sound library: version check, file callbacks over the
// archive, output initialisation, and the library's error texts.
#include "app/app.h"

#include "archive/archive.h"   // g_currentPak, PakOpenEntry, PakRead, PakSeek
#include "platform/platform.h" // PlatformDebugPrintf

SoundSong* g_song = nullptr;

namespace {

constexpr float kRequiredVersion = 3.2f;

// The sound library's messages by error code; the texts are the library's own.
constexpr const char* kSoundErrors[] = {
    "No errors",
    "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
    "This command failed because FSOUND_Init was not called",
    "Error initializing output device.",
    "The output device is already in use and cannot be reused.",
    "Playing the sound failed.",
    "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
    "Error setting cooperative level for hardware.",
    "Error creating hardware sound buffer.",
    "File not found",
    "Unknown file format",
    "Error loading file",
    "Not enough memory ",
    "The version number of this file format is not supported",
    "Incorrect mixer selected",
    "An invalid parameter was passed to this function",
    "Tried to use an EAX command on a non EAX enabled channel or output.",
    "Tried to use an advanced EAX2 command on a non EAX2 enabled channel or output.",
    "Failed to allocate a new channel",
    "Recording not supported on this device",
};
constexpr int kSoundErrorCount = static_cast<int>(sizeof kSoundErrors / sizeof kSoundErrors[0]);
static_assert(kSoundErrorCount == 20, "codes 0 to 19");

PakEntry* EntryOf(const SoundFileHandle handle) {
    return reinterpret_cast<PakEntry*>(handle);
}

} // namespace

const char* SoundErrorText(const int code) {
    if (code < 0 || code >= kSoundErrorCount) {
        return "Unknown error";
    }
    return kSoundErrors[code];
}

SoundFileHandle ArchiveFileOpen(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    return reinterpret_cast<SoundFileHandle>(PakOpenEntry(g_currentPak, name));
}

void ArchiveFileClose(const SoundFileHandle handle) {
    PakCloseEntry(g_currentPak, EntryOf(handle));
}

int ArchiveFileRead(void* buffer, const int size, const SoundFileHandle handle) {
    if (handle == 0 || buffer == nullptr || size <= 0) {
        return 0;
    }
    return PakRead(buffer, size, 1, EntryOf(handle), g_currentPak);
}

int ArchiveFileSeek(const SoundFileHandle handle, const int position, const signed char mode) {
    if (handle == 0 || g_currentPak == nullptr) {
        return -1;
    }
    return PakSeek(g_currentPak, EntryOf(handle), position, mode);
}

int ArchiveFileTell(const SoundFileHandle handle) {
    if (handle == 0) {
        return -1;
    }
    return EntryOf(handle)->position;
}

void SoundStartUp() {
    if (FSOUND_GetVersion() != kRequiredVersion) {
        PlatformDebugPrintf("Error : You are using the wrong DLL version!  You should be using FMOD %.02f\n",
                            static_cast<double>(kRequiredVersion));
        throw "FMOD.dll : versione della dll errata";
    }
    FSOUND_File_SetCallbacks(ArchiveFileOpen, ArchiveFileClose, ArchiveFileRead, ArchiveFileSeek,
                             ArchiveFileTell);
    if (FSOUND_Init(kMusicRate, 32, 0) == 0) {
        const char* message = SoundErrorText(FSOUND_GetError());
        PlatformDebugPrintf("%s\n", message);
        throw message;
    }
}

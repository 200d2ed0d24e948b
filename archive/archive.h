// Resource archive: a flat set of named entries read from one file.
//
// The archive is found from the end of its file: a 16-byte trailer gives the
// size of the data area and of the whole archive, a directory of 32-byte
// records sits in front of the trailer, and the entries' bytes lie in the data
// area in front of the directory. An archive may therefore sit at the tail of
// any other file. Each entry has a one-byte mask XOR-ed into its stored name and
// data. Names compare without regard to ASCII case; the first of two equal
// names wins.
//
// Ownership: a PAKFile belongs to whoever opened it (PakOpen/PakClose) and owns
// its directory. A PakEntry belongs to the code that opened it
// (PakOpenEntry/PakCloseEntry). All entries share the archive's one stream;
// every read seeks first, so reads of several entries may interleave.
#pragma once

#include <cstdint> // int32_t, uint8_t
#include <cstdio>  // FILE

// Layout facts of the file format.
constexpr int32_t kPakTrailerSize = 16;
constexpr int32_t kPakRecordSize = 32;
constexpr int32_t kPakNameBytes = 22;
constexpr int32_t kPakMaxNameLength = 21;
constexpr char kPakMagic[8] = {'R', 'i', 'v', 'i', 'R', 'E', 'R', '!'};

// One directory record in memory; the name is unmasked and NUL-terminated.
struct PakDirEntry {
    uint8_t mask;
    int8_t nameLength;
    char name[kPakNameBytes];
    int32_t offset;
    int32_t size;
    PakDirEntry* next;
};

// One open archive.
struct PAKFile {
    FILE* file;
    char mode; // 'a', 'r' or 'w'
    int32_t base;
    int32_t dataLength;
    int32_t totalLength;
    PakDirEntry* entries; // file order
};

// One open entry with its read position.
struct PakEntry {
    int32_t position;
    PakDirEntry* dirEntry; // not owned
};

// The program-wide current archive; PakOpen sets it on success.
extern PAKFile* g_currentPak;

// Opens an archive: mode 'r' reads, 'a' reads and rewrites the directory and
// trailer on close, 'w' creates an empty archive. Only the first character of
// the mode counts. Returns null for any other mode, a file that cannot be
// opened or a damaged archive (g_currentPak then keeps its value).
// Released with PakClose.
// Bound for a file of N bytes: one directory record in memory per 32-byte
// record of the file (at most 1.25 N heap bytes) and one read per record.
PAKFile* PakOpen(const char* path, const char* mode);

// PakOpen that also tells why it failed: *reason (when not null) is set to a
// static one-line text on failure and to null on success.
PAKFile* PakOpenWithReason(const char* path, const char* mode, const char** reason);

// Opens for reading the archive held by `file`, an open binary stream that
// the archive then owns (PakClose closes it; a failure closes it at once).
// Sets g_currentPak like PakOpen; *reason as PakOpenWithReason.
PAKFile* PakOpenStream(FILE* file, const char** reason);

// Writes the directory and trailer back (modes 'a' and 'w'), closes the stream
// and releases the handle (g_currentPak is cleared when it was this archive).
// Returns the stream's close result (-1 also when the directory could not be
// written), -1 for null.
int PakClose(PAKFile* pak);

// First directory record whose name equals `name` ignoring ASCII case; null
// when absent or for a null archive. The record belongs to the archive.
PakDirEntry* PakFind(const PAKFile* pak, const char* name);

// Opens the named entry at position 0; null for a null archive or an unknown
// name. Released with PakCloseEntry.
PakEntry* PakOpenEntry(const PAKFile* pak, const char* name);

// Reads up to `count` whole elements of `elementSize` bytes from the entry's
// position, unmasked. Returns the number of whole elements read; 0 for null
// arguments or an element size of 0. A partial last element is not read.
int32_t PakRead(void* buffer, int32_t elementSize, int32_t count, PakEntry* entry, const PAKFile* pak);

// PakRead without the unmasking: the bytes stay XOR-ed with the entry's mask
// (entry->dirEntry->mask), for a caller that takes the mask off in its own
// pass over them. Same result and limits as PakRead.
int32_t PakReadStored(void* buffer, int32_t elementSize, int32_t count, PakEntry* entry, const PAKFile* pak);

// Moves the entry's position: origin 0 from the start, 1 from the current
// position, 2 from the end. A negative result becomes 0. Returns 0 when the
// position lies inside the entry; otherwise rewinds it to 0 and returns -1.
int PakSeek(const PAKFile* pak, PakEntry* entry, int32_t offset, int origin);

// The entry's read position.
int32_t PakTell(const PakEntry* entry);

// Releases an entry opened by PakOpenEntry. Returns 0, or -1 when either
// argument is null.
int PakCloseEntry(const PAKFile* pak, PakEntry* entry);

// --- Whole entries ------------------------------------------------------------

// Zero bytes PakLoadEntry stores after an entry's bytes, so that text and
// chunk parsers always find a terminator.
constexpr int32_t kPakLoadPadding = 2;

// Why PakLoadEntry gave no block.
enum PakLoadStatus : int32_t {
    kPakLoadOk = 0,
    kPakLoadMissing,    // no archive, or no entry of that name
    kPakLoadTooLarge,   // the entry is larger than the caller allows
    kPakLoadNoMemory,   // the allocation failed
    kPakLoadUnreadable, // the archive did not deliver the whole entry
};

// Where PakLoadEntryWith takes its block from, and how it gives it back on a
// failed read.
using PakAllocate = void* (*)(uint32_t bytes);
using PakRelease = void (*)(void* block);

// The whole entry `name` of `pak` in one block from `allocate`: its bytes,
// unmasked, then `padding` zero bytes. `*size` is set to the entry's size
// whenever the entry exists. An entry larger than `maxBytes` is refused before
// anything is allocated. Returns the block, or null with `*status` saying why
// (status may be null); nothing stays allocated then. The block is released by
// the caller with the release that matches `allocate`.
uint8_t* PakLoadEntryWith(const PAKFile* pak, const char* name, int32_t maxBytes, int32_t padding,
                          PakAllocate allocate, PakRelease release, int32_t* size, PakLoadStatus* status);

// PakLoadEntryWith on the general heap with kPakLoadPadding zero bytes.
// Released with PakFreeEntry.
uint8_t* PakLoadEntry(const PAKFile* pak, const char* name, int32_t maxBytes, int32_t* size,
                      PakLoadStatus* status);

// Releases a block of PakLoadEntry; null is ignored.
void PakFreeEntry(uint8_t* block);

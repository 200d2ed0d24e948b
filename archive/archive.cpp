// Resource archive reader: directory from the end of the file, masked entries.
#include "archive/archive.h"

#include <cstdint> // int64_t, UINT32_MAX
#include <cstdlib> // malloc, free for whole-entry blocks
#include <cstring> // memcpy
#include <new>     // std::nothrow

PAKFile* g_currentPak = nullptr;

static constexpr int64_t kInt32Max = 2147483647;

static int32_t ReadLittleInt32(const unsigned char* bytes) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[i];
    }
    // Stored unsigned, used signed: values of 2^31 and above come out negative
    // and are rejected by the callers' range checks.
    int32_t result = 0;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

static void WriteLittleInt32(unsigned char* bytes, int32_t value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

static void FreeDirectory(PAKFile* pak) {
    PakDirEntry* entry = pak->entries;
    while (entry != nullptr) {
        PakDirEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    pak->entries = nullptr;
}

static bool ReadAt(FILE* file, int64_t offset, void* buffer, size_t bytes) {
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        return false;
    }
    return std::fread(buffer, 1, bytes, file) == bytes;
}

// Reads and checks the trailer and every record; on any inconsistency the
// directory is released and the reason returned. Nothing outside the archive's
// own range is read.
static const char* ReadDirectory(PAKFile* pak) {
    if (std::fseek(pak->file, 0, SEEK_END) != 0) {
        return "cannot seek in the file";
    }
    const int64_t fileLength = std::ftell(pak->file);
    if (fileLength < kPakTrailerSize) {
        return "file shorter than the 16-byte trailer";
    }
    unsigned char trailer[8];
    if (!ReadAt(pak->file, fileLength - kPakTrailerSize, trailer, sizeof trailer)) {
        return "cannot read the trailer";
    }
    const int32_t dataLength = ReadLittleInt32(trailer);
    const int32_t totalLength = ReadLittleInt32(trailer + 4);
    if (dataLength < 0 || totalLength < 0) {
        return "trailer sizes beyond 2^31";
    }
    if (static_cast<int64_t>(totalLength) < static_cast<int64_t>(kPakTrailerSize) + dataLength) {
        return "total length smaller than data area and trailer";
    }
    if (totalLength > fileLength) {
        return "total length larger than the file";
    }
    if (fileLength - totalLength > kInt32Max) {
        return "archive starts beyond 2^31 bytes into the file";
    }
    const int64_t directoryBytes = static_cast<int64_t>(totalLength) - kPakTrailerSize - dataLength;
    if (directoryBytes % kPakRecordSize != 0) {
        return "directory is not a whole number of 32-byte records";
    }
    pak->base = static_cast<int32_t>(fileLength - totalLength);
    pak->dataLength = dataLength;
    pak->totalLength = totalLength;

    // Records are read last to first and pushed at the head, so the list ends
    // up in file order.
    const int64_t firstRecord = static_cast<int64_t>(pak->base) + dataLength;
    for (int64_t off = fileLength - kPakTrailerSize - kPakRecordSize; off >= firstRecord; off -= kPakRecordSize) {
        unsigned char record[kPakRecordSize];
        if (!ReadAt(pak->file, off, record, sizeof record)) {
            FreeDirectory(pak);
            return "cannot read a directory record";
        }
        const uint8_t mask = record[0];
        const int8_t nameLength = static_cast<int8_t>(record[1]);
        const int32_t offset = ReadLittleInt32(record + 24);
        const int32_t size = ReadLittleInt32(record + 28);
        if (nameLength < 0 || nameLength > kPakMaxNameLength) {
            FreeDirectory(pak);
            return "name length outside 0..21";
        }
        if (offset < 0 || size < 0 || static_cast<int64_t>(offset) + size > dataLength) {
            FreeDirectory(pak);
            return "entry lies outside the data area";
        }
        PakDirEntry* entry = new (std::nothrow) PakDirEntry{};
        if (entry == nullptr) {
            FreeDirectory(pak);
            return "out of memory";
        }
        entry->mask = mask;
        entry->nameLength = nameLength;
        for (int i = 0; i < nameLength; ++i) {
            entry->name[i] = static_cast<char>(record[2 + i] ^ mask);
        }
        entry->name[nameLength] = '\0';
        entry->offset = offset;
        entry->size = size;
        entry->next = pak->entries;
        pak->entries = entry;
    }
    return nullptr;
}

static PAKFile* AdoptStream(PAKFile* pak, char mode, const char** reason);

PAKFile* PakOpenWithReason(const char* path, const char* mode, const char** reason) {
    const char* ignored = nullptr;
    if (reason == nullptr) {
        reason = &ignored;
    }
    *reason = nullptr;
    if (path == nullptr || mode == nullptr) {
        *reason = "no file name or mode";
        return nullptr;
    }
    const char* openString = nullptr;
    switch (mode[0]) {
    case 'r':
        openString = "rb";
        break;
    case 'a':
        openString = "rb+";
        break;
    case 'w':
        openString = "wb";
        break;
    default:
        *reason = "unknown open mode";
        return nullptr;
    }
    PAKFile* pak = new (std::nothrow) PAKFile{};
    if (pak == nullptr) {
        *reason = "out of memory";
        return nullptr;
    }
    pak->file = std::fopen(path, openString);
    if (pak->file == nullptr) {
        delete pak;
        *reason = "cannot open the file";
        return nullptr;
    }
    return AdoptStream(pak, mode[0], reason);
}

PAKFile* PakOpenStream(FILE* file, const char** reason) {
    const char* ignored = nullptr;
    if (reason == nullptr) {
        reason = &ignored;
    }
    PAKFile* pak = new (std::nothrow) PAKFile{};
    if (pak == nullptr) {
        std::fclose(file);
        *reason = "out of memory";
        return nullptr;
    }
    pak->file = file;
    return AdoptStream(pak, 'r', reason);
}

// Reads the directory of pak's open stream (mode 'w' starts it empty) and
// makes pak current; a damaged archive closes the stream and frees pak.
static PAKFile* AdoptStream(PAKFile* pak, const char mode, const char** reason) {
    pak->mode = mode;
    pak->base = 0;
    pak->dataLength = 0;
    pak->totalLength = kPakTrailerSize;
    pak->entries = nullptr;
    if (pak->mode != 'w') {
        *reason = ReadDirectory(pak);
        if (*reason != nullptr) {
            // A damaged archive is never written back, whatever the mode.
            std::fclose(pak->file);
            delete pak;
            return nullptr;
        }
    }
    g_currentPak = pak;
    return pak;
}

PAKFile* PakOpen(const char* path, const char* mode) { return PakOpenWithReason(path, mode, nullptr); }

static bool WriteDirectory(PAKFile* pak) {
    if (std::fseek(pak->file, static_cast<long>(static_cast<int64_t>(pak->base) + pak->dataLength), SEEK_SET) != 0) {
        return false;
    }
    bool ok = true;
    for (const PakDirEntry* e = pak->entries; e != nullptr; e = e->next) {
        unsigned char record[kPakRecordSize] = {};
        record[0] = e->mask;
        record[1] = static_cast<unsigned char>(e->nameLength);
        for (int i = 0; i < e->nameLength; ++i) {
            record[2 + i] = static_cast<unsigned char>(e->name[i]) ^ e->mask;
        }
        WriteLittleInt32(record + 24, e->offset);
        WriteLittleInt32(record + 28, e->size);
        ok = ok && std::fwrite(record, 1, sizeof record, pak->file) == sizeof record;
    }
    unsigned char trailer[kPakTrailerSize];
    WriteLittleInt32(trailer, pak->dataLength);
    WriteLittleInt32(trailer + 4, pak->totalLength);
    std::memcpy(trailer + 8, kPakMagic, sizeof kPakMagic);
    ok = ok && std::fwrite(trailer, 1, sizeof trailer, pak->file) == sizeof trailer;
    return ok;
}

int PakClose(PAKFile* pak) {
    if (pak == nullptr) {
        return -1;
    }
    bool written = true;
    if (pak->mode != 'r') {
        written = WriteDirectory(pak);
    }
    int result = std::fclose(pak->file);
    if (!written && result == 0) {
        // A directory that did not reach the file is a failed close.
        result = -1;
    }
    FreeDirectory(pak);
    if (g_currentPak == pak) {
        g_currentPak = nullptr;
    }
    delete pak;
    return result;
}

static char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

static bool NamesEqual(const char* a, const char* b) {
    while (*a != '\0' && *b != '\0') {
        if (LowerAscii(*a) != LowerAscii(*b)) {
            return false;
        }
        ++a;
        ++b;
    }
    return *a == *b;
}

PakDirEntry* PakFind(const PAKFile* pak, const char* name) {
    if (pak == nullptr || name == nullptr) {
        return nullptr;
    }
    for (PakDirEntry* e = pak->entries; e != nullptr; e = e->next) {
        if (NamesEqual(e->name, name)) {
            return e;
        }
    }
    return nullptr;
}

PakEntry* PakOpenEntry(const PAKFile* pak, const char* name) {
    PakDirEntry* dirEntry = PakFind(pak, name);
    if (dirEntry == nullptr) {
        return nullptr;
    }
    PakEntry* entry = new (std::nothrow) PakEntry{};
    if (entry == nullptr) {
        return nullptr;
    }
    entry->position = 0;
    entry->dirEntry = dirEntry;
    return entry;
}

// XORs `mask` into `size` bytes: nothing to do for mask 0, eight bytes at a
// time otherwise (memcpy keeps the word access aligned-agnostic).
static void Unmask(unsigned char* bytes, const size_t size, const uint8_t mask) {
    if (mask == 0) {
        return;
    }
    const uint64_t wide = 0x0101010101010101ull * mask;
    size_t i = 0;
    for (; i + sizeof(uint64_t) <= size; i += sizeof(uint64_t)) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + i, sizeof word);
        word ^= wide;
        std::memcpy(bytes + i, &word, sizeof word);
    }
    for (; i < size; ++i) {
        bytes[i] ^= mask;
    }
}

// Whole elements from the entry's position into `buffer`, as stored; the
// number of bytes read.
static int64_t ReadStored(void* buffer, int32_t elementSize, int32_t count, PakEntry* entry, const PAKFile* pak) {
    if (buffer == nullptr || entry == nullptr || pak == nullptr || elementSize <= 0 || count <= 0) {
        return 0;
    }
    const PakDirEntry* dir = entry->dirEntry;
    const int64_t wanted = static_cast<int64_t>(elementSize) * count;
    const int64_t remaining = static_cast<int64_t>(dir->size) - entry->position;
    if (remaining <= 0) {
        return 0;
    }
    // Whole elements only: a partial last element is not read at all.
    const int64_t bytes = remaining < wanted ? remaining - remaining % elementSize : wanted;
    if (bytes == 0) {
        return 0;
    }
    const int64_t at = static_cast<int64_t>(pak->base) + dir->offset + entry->position;
    if (std::fseek(pak->file, static_cast<long>(at), SEEK_SET) != 0) {
        return 0;
    }
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(bytes), pak->file);
    entry->position += static_cast<int32_t>(got);
    return static_cast<int64_t>(got);
}

int32_t PakRead(void* buffer, int32_t elementSize, int32_t count, PakEntry* entry, const PAKFile* pak) {
    const int64_t got = ReadStored(buffer, elementSize, count, entry, pak);
    if (got == 0) {
        return 0;
    }
    Unmask(static_cast<unsigned char*>(buffer), static_cast<size_t>(got), entry->dirEntry->mask);
    return static_cast<int32_t>(got / elementSize);
}

int32_t PakReadStored(void* buffer, int32_t elementSize, int32_t count, PakEntry* entry, const PAKFile* pak) {
    const int64_t got = ReadStored(buffer, elementSize, count, entry, pak);
    return got == 0 ? 0 : static_cast<int32_t>(got / elementSize);
}

int PakSeek(const PAKFile* pak, PakEntry* entry, int32_t offset, int origin) {
    if (pak == nullptr || entry == nullptr) {
        return -1;
    }
    const int64_t size = entry->dirEntry->size;
    int64_t position = entry->position;
    switch (origin) {
    case 0:
        position = offset;
        break;
    case 1:
        position += offset;
        break;
    case 2:
        position = size + offset;
        break;
    default:
        break;
    }
    if (position < 0) {
        position = 0;
    }
    if (position < size) {
        entry->position = static_cast<int32_t>(position);
        return 0;
    }
    entry->position = 0;
    return -1;
}

int32_t PakTell(const PakEntry* entry) { return entry == nullptr ? 0 : entry->position; }

int PakCloseEntry(const PAKFile* pak, PakEntry* entry) {
    if (pak == nullptr || entry == nullptr) {
        return -1;
    }
    delete entry;
    return 0;
}

namespace {

void* HeapAllocate(const uint32_t bytes) {
    return std::malloc(bytes);
}

void HeapRelease(void* block) {
    std::free(block);
}

} // namespace

uint8_t* PakLoadEntryWith(const PAKFile* pak, const char* name, const int32_t maxBytes, const int32_t padding,
                          const PakAllocate allocate, const PakRelease release, int32_t* size,
                          PakLoadStatus* status) {
    PakLoadStatus ignored = kPakLoadOk;
    PakLoadStatus* why = status != nullptr ? status : &ignored;
    PakEntry* entry = PakOpenEntry(pak, name);
    if (entry == nullptr || entry->dirEntry == nullptr || entry->dirEntry->size < 0) {
        if (entry != nullptr) {
            PakCloseEntry(pak, entry);
        }
        *why = kPakLoadMissing;
        return nullptr;
    }
    const int32_t bytes = entry->dirEntry->size;
    if (size != nullptr) {
        *size = bytes;
    }
    // The block size is formed in 64 bits: an entry near 2 GiB plus its
    // padding must not wrap into a small request.
    const int64_t blockBytes = static_cast<int64_t>(bytes) + (padding > 0 ? padding : 0);
    if (bytes > maxBytes || blockBytes > static_cast<int64_t>(UINT32_MAX)) {
        PakCloseEntry(pak, entry);
        *why = kPakLoadTooLarge;
        return nullptr;
    }
    uint8_t* block = static_cast<uint8_t*>(allocate(static_cast<uint32_t>(blockBytes > 0 ? blockBytes : 1)));
    if (block == nullptr) {
        PakCloseEntry(pak, entry);
        *why = kPakLoadNoMemory;
        return nullptr;
    }
    // An empty entry reads as nothing; PakRead refuses an element size of 0.
    const bool whole = bytes == 0 || PakRead(block, bytes, 1, entry, pak) == 1;
    PakCloseEntry(pak, entry);
    if (!whole) {
        release(block);
        *why = kPakLoadUnreadable;
        return nullptr;
    }
    for (int64_t i = bytes; i < blockBytes; ++i) {
        block[i] = 0;
    }
    *why = kPakLoadOk;
    return block;
}

uint8_t* PakLoadEntry(const PAKFile* pak, const char* name, const int32_t maxBytes, int32_t* size,
                      PakLoadStatus* status) {
    return PakLoadEntryWith(pak, name, maxBytes, kPakLoadPadding, HeapAllocate, HeapRelease, size, status);
}

void PakFreeEntry(uint8_t* block) {
    std::free(block);
}

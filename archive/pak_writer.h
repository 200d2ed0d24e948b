// Archive writer: builds a complete resource archive (data area, directory,
// trailer) from a list of named entries. Used by the archive tool, the content
// builder and tests. Reading is archive.h's job.
#pragma once

#include <cstdint> // uint8_t
#include <string>
#include <vector>

// One entry to write: its name (at most 21 characters), its mask and its plain bytes.
struct PakWriteEntry {
    std::string name;
    uint8_t mask;
    std::vector<uint8_t> data;
};

// One directory record to write: where an entry's data already lies in the
// data area.
struct PakRecord {
    std::string name;
    uint8_t mask;
    int32_t offset;
    int32_t size;
};

// Appends the directory records and the trailer for a data area of
// `dataLength` bytes to *out. Returns false with a one-line reason for a name
// longer than 21 characters or sizes beyond the format's 31 bits.
bool PakAppendDirectory(const std::vector<PakRecord>& records, int64_t dataLength, std::vector<uint8_t>* out,
                        std::string* error);

// Writes `bytes` to `path` through a temporary file in the same folder and a
// rename, so that `path` is never left half-written.
bool PakWriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

// The archive's bytes, entries in the given order. Returns false with a one-line
// reason in *error (when not null) for a name longer than 21 characters or an
// archive that would not fit the format's 31-bit sizes.
bool PakBuildArchive(const std::vector<PakWriteEntry>& entries, std::vector<uint8_t>* out, std::string* error);

// Writes PakBuildArchive's bytes to `path` through a temporary file in the same
// folder and a rename, so that `path` is never left half-written. Returns false
// with a one-line reason in *error (when not null).
bool PakWriteArchive(const std::string& path, const std::vector<PakWriteEntry>& entries, std::string* error);

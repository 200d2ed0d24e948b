// Archive writer: masked data, then 32-byte directory records, then the trailer.
#include "archive/pak_writer.h"

#include "archive/archive.h"

#include <cstdio>     // fopen, fwrite, remove
#include <filesystem> // rename

static constexpr int64_t kInt32Max = 2147483647;

static void PutInt32(std::vector<uint8_t>* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

static bool Fail(std::string* error, const std::string& text) {
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

bool PakAppendDirectory(const std::vector<PakRecord>& records, int64_t dataLength, std::vector<uint8_t>* out,
                        std::string* error) {
    const int64_t totalLength = dataLength + kPakRecordSize * static_cast<int64_t>(records.size()) + kPakTrailerSize;
    if (dataLength < 0 || totalLength > kInt32Max) {
        return Fail(error, "archive larger than 2 GiB");
    }
    for (const PakRecord& r : records) {
        if (r.name.size() > static_cast<size_t>(kPakMaxNameLength)) {
            return Fail(error, "name longer than 21 characters: " + r.name);
        }
        if (r.offset < 0 || r.size < 0 || static_cast<int64_t>(r.offset) + r.size > dataLength) {
            return Fail(error, "entry outside the data area: " + r.name);
        }
    }
    for (const PakRecord& r : records) {
        out->push_back(r.mask);
        out->push_back(static_cast<uint8_t>(r.name.size()));
        for (int k = 0; k < kPakNameBytes; ++k) {
            // Name bytes are masked; the padding after them stays 0x00.
            out->push_back(k < static_cast<int>(r.name.size()) ? static_cast<uint8_t>(r.name[k]) ^ r.mask : 0);
        }
        PutInt32(out, static_cast<uint32_t>(r.offset));
        PutInt32(out, static_cast<uint32_t>(r.size));
    }
    PutInt32(out, static_cast<uint32_t>(dataLength));
    PutInt32(out, static_cast<uint32_t>(totalLength));
    out->insert(out->end(), kPakMagic, kPakMagic + sizeof kPakMagic);
    return true;
}

bool PakBuildArchive(const std::vector<PakWriteEntry>& entries, std::vector<uint8_t>* out, std::string* error) {
    int64_t dataLength = 0;
    for (const PakWriteEntry& e : entries) {
        dataLength += static_cast<int64_t>(e.data.size());
        if (dataLength > kInt32Max) {
            return Fail(error, "archive larger than 2 GiB");
        }
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(dataLength) + entries.size() * kPakRecordSize + kPakTrailerSize);
    std::vector<PakRecord> records;
    for (const PakWriteEntry& e : entries) {
        records.push_back({e.name, e.mask, static_cast<int32_t>(bytes.size()), static_cast<int32_t>(e.data.size())});
        for (uint8_t byte : e.data) {
            bytes.push_back(byte ^ e.mask);
        }
    }
    if (!PakAppendDirectory(records, dataLength, &bytes, error)) {
        return false;
    }
    out->swap(bytes);
    return true;
}

bool PakWriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return Fail(error, "cannot create " + temporary);
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return Fail(error, "cannot write " + temporary);
    }
    // The filesystem library's rename replaces an existing archive on every
    // system (the C library's refuses to on Windows).
    std::error_code renameFailure;
    std::filesystem::rename(temporary, path, renameFailure);
    if (renameFailure) {
        std::remove(temporary.c_str());
        return Fail(error, "cannot rename " + temporary + " to " + path);
    }
    return true;
}

bool PakWriteArchive(const std::string& path, const std::vector<PakWriteEntry>& entries, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!PakBuildArchive(entries, &bytes, error)) {
        return false;
    }
    return PakWriteFileAtomically(path, bytes, error);
}

// Archive writer: masked data, then 32-byte directory records, then the trailer.
#include "archive/pak_writer.h"

#include "archive/archive.h"

#include <cstdio>  // fopen, fwrite, rename, remove
#include <cstring> // memcpy
#include <limits>  // numeric_limits

static void PutInt32(std::vector<uint8_t>* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

static void SetError(std::string* error, const std::string& text) {
    if (error != nullptr) {
        *error = text;
    }
}

bool PakBuildArchive(const std::vector<PakWriteEntry>& entries, std::vector<uint8_t>* out, std::string* error) {
    const uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    uint64_t dataLength = 0;
    for (const PakWriteEntry& e : entries) {
        if (e.name.size() > static_cast<size_t>(kPakMaxNameLength)) {
            SetError(error, "name longer than 21 characters: " + e.name);
            return false;
        }
        dataLength += e.data.size();
    }
    const uint64_t totalLength = dataLength + kPakRecordSize * static_cast<uint64_t>(entries.size()) + kPakTrailerSize;
    if (totalLength > limit) {
        SetError(error, "archive larger than 2 GiB");
        return false;
    }

    out->clear();
    out->reserve(static_cast<size_t>(totalLength));
    std::vector<uint32_t> offsets;
    for (const PakWriteEntry& e : entries) {
        offsets.push_back(static_cast<uint32_t>(out->size()));
        for (uint8_t byte : e.data) {
            out->push_back(byte ^ e.mask);
        }
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const PakWriteEntry& e = entries[i];
        out->push_back(e.mask);
        out->push_back(static_cast<uint8_t>(e.name.size()));
        for (int k = 0; k < kPakNameBytes; ++k) {
            // Name bytes are masked; the padding after them stays 0x00.
            out->push_back(k < static_cast<int>(e.name.size()) ? static_cast<uint8_t>(e.name[k]) ^ e.mask : 0);
        }
        PutInt32(out, offsets[i]);
        PutInt32(out, static_cast<uint32_t>(e.data.size()));
    }
    PutInt32(out, static_cast<uint32_t>(dataLength));
    PutInt32(out, static_cast<uint32_t>(totalLength));
    out->insert(out->end(), kPakMagic, kPakMagic + sizeof kPakMagic);
    return true;
}

bool PakWriteArchive(const std::string& path, const std::vector<PakWriteEntry>& entries, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!PakBuildArchive(entries, &bytes, error)) {
        return false;
    }
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        SetError(error, "cannot create " + temporary);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        SetError(error, "cannot write " + temporary);
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        SetError(error, "cannot rename " + temporary + " to " + path);
        return false;
    }
    return true;
}

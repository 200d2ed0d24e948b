// Loose files packed on the fly: see pak_folder.h.
#include "archive/pak_folder.h"
#include "archive/pak_writer.h" // PakBuildArchive

#include "platform/platform.h" // PlatformTempFile

#include <algorithm>  // sort
#include <cstdio>     // fwrite
#include <filesystem> // directory_iterator
#include <fstream>
#include <iterator> // istreambuf_iterator
#include <vector>

namespace {

bool ReadFolder(const std::string& dir, std::vector<PakWriteEntry>* entries, std::string* reason) {
    std::error_code failure;
    std::filesystem::directory_iterator it(dir, failure);
    if (failure) {
        *reason = "cannot read the folder " + dir + ": " + failure.message();
        return false;
    }
    for (const std::filesystem::directory_entry& file : it) {
        if (!file.is_regular_file(failure)) {
            continue;
        }
        const std::string name = file.path().filename().string();
        if (name.size() > static_cast<size_t>(kPakMaxNameLength)) {
            *reason = "the file name " + name + " is longer than an archive's 21 characters";
            return false;
        }
        std::ifstream in(file.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            *reason = "cannot read " + file.path().string();
            return false;
        }
        entries->push_back(PakWriteEntry{name, 0, std::move(bytes)});
    }
    // Directory order differs between systems; names decide which of two
    // that differ only in case wins.
    std::sort(entries->begin(), entries->end(),
              [](const PakWriteEntry& a, const PakWriteEntry& b) { return a.name < b.name; });
    return true;
}

} // namespace

PAKFile* PakOpenFolder(const std::string& dir, std::string* reason) {
    std::vector<PakWriteEntry> entries;
    std::vector<uint8_t> bytes;
    if (!ReadFolder(dir, &entries, reason) || !PakBuildArchive(entries, &bytes, reason)) {
        return nullptr;
    }
    // The file goes away when it is closed, by PakClose or at exit.
    FILE* file = PlatformTempFile();
    if (file == nullptr) {
        *reason = "cannot make a temporary file for the folder's archive";
        return nullptr;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fflush(file) != 0) {
        std::fclose(file);
        *reason = "cannot write the folder's archive to a temporary file";
        return nullptr;
    }
    const char* why = nullptr;
    PAKFile* pak = PakOpenStream(file, &why);
    if (pak == nullptr) {
        *reason = why != nullptr ? why : "the folder's archive does not read back";
    }
    return pak;
}

PAKFile* PakOpenSnapshot(const std::string& path, std::string* reason) {
    FILE* source = std::fopen(path.c_str(), "rb");
    if (source == nullptr) {
        *reason = "cannot read " + path;
        return nullptr;
    }
    FILE* copy = PlatformTempFile();
    if (copy == nullptr) {
        std::fclose(source);
        *reason = "cannot make a temporary file for a copy of " + path;
        return nullptr;
    }
    std::vector<char> block(1 << 16);
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(block.data(), 1, block.size(), source);
        if (got > 0 && std::fwrite(block.data(), 1, got, copy) != got) {
            ok = false;
            break;
        }
        if (got < block.size()) {
            ok = std::ferror(source) == 0;
            break;
        }
    }
    std::fclose(source);
    if (!ok || std::fflush(copy) != 0 || std::fseek(copy, 0, SEEK_SET) != 0) {
        std::fclose(copy);
        *reason = "cannot copy " + path;
        return nullptr;
    }
    const char* why = nullptr;
    PAKFile* pak = PakOpenStream(copy, &why);
    if (pak == nullptr) {
        *reason = path + ": " + (why != nullptr ? why : "not an archive");
    }
    return pak;
}

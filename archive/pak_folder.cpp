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

// Opens `bytes`, a whole archive, from an unnamed temporary file; `what`
// names it in the reasons.
PAKFile* OpenBytes(const std::vector<uint8_t>& bytes, const std::string& what, std::string* reason) {
    // The file goes away when it is closed, by PakClose or at exit.
    FILE* file = PlatformTempFile();
    if (file == nullptr) {
        *reason = "cannot make a temporary file for " + what;
        return nullptr;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fflush(file) != 0) {
        std::fclose(file);
        *reason = "cannot write " + what + " to a temporary file";
        return nullptr;
    }
    const char* why = nullptr;
    PAKFile* pak = PakOpenStream(file, &why);
    if (pak == nullptr) {
        *reason = what + ": " + (why != nullptr ? why : "does not read back as an archive");
    }
    return pak;
}

} // namespace

PAKFile* PakOpenFolder(const std::string& dir, std::string* reason) {
    std::vector<PakWriteEntry> entries;
    std::vector<uint8_t> bytes;
    if (!ReadFolder(dir, &entries, reason) || !PakBuildArchive(entries, &bytes, reason)) {
        return nullptr;
    }
    return OpenBytes(bytes, "the folder's archive", reason);
}

PAKFile* PakOpenSnapshot(const std::string& path, std::string* reason) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.is_open() || file.bad()) {
        *reason = "cannot read " + path;
        return nullptr;
    }
    return OpenBytes(bytes, path, reason);
}

// Loose files packed on the fly: see pak_folder.h.
#include "archive/pak_folder.h"
#include "archive/pak_writer.h" // PakBuildArchive

#include <algorithm>  // sort
#include <cstdio>     // tmpfile, fwrite
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
    // tmpfile's file goes away when it is closed, by PakClose or at exit.
    FILE* file = std::tmpfile();
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

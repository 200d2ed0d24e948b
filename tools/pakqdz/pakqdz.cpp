// pakqdz: creates, extends, lists, extracts and checks resource archives.
#include "archive/archive.h"
#include "archive/pak_writer.h"

#include <cerrno>  // errno
#include <cstdio>  // fprintf, fopen
#include <cstdlib> // strtol
#include <cstring> // strcmp, strerror
#include <string>
#include <vector>

static const char kUsage[] =
    "usage: pakqdz COMMAND ARCHIVE [options] [arguments]\n"
    "\n"
    "  create ARCHIVE [--mask N] FILE...    new archive holding FILEs, named by their base names\n"
    "  add ARCHIVE [--mask N] FILE...       append FILEs to an existing archive\n"
    "  list ARCHIVE                         one line per entry: name, size, mask, offset\n"
    "  cat ARCHIVE NAME                     the entry's bytes on standard output\n"
    "  extract ARCHIVE [-C DIR] [NAME...]   entries to files (all when no NAME is given)\n"
    "  verify ARCHIVE                       status 0 for a sound archive\n"
    "\n"
    "N is a mask from 0 to 255 (default 0) XOR-ed into every stored byte of the new entries.\n"
    "Names are compared without regard to letter case; a name holds at most 21 characters.\n";

// Exit statuses: 1 for a failed operation, 2 for a command line we do not understand.
static constexpr int kFailed = 1;
static constexpr int kBadUsage = 2;

static int Fail(const std::string& text) {
    std::fprintf(stderr, "pakqdz: %s\n", text.c_str());
    return kFailed;
}

static int UsageError(const std::string& text) {
    std::fprintf(stderr, "pakqdz: %s (see pakqdz --help)\n", text.c_str());
    return kBadUsage;
}

static bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes->clear();
    unsigned char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

static std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Options shared by create and add: an optional --mask N, then the files.
struct AddArguments {
    uint8_t mask;
    std::vector<std::string> files;
};

static bool ParseAddArguments(const std::vector<std::string>& args, AddArguments* out, std::string* error) {
    out->mask = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--mask") {
            if (i + 1 >= args.size()) {
                *error = "--mask needs a number from 0 to 255";
                return false;
            }
            const std::string& text = args[++i];
            char* end = nullptr;
            errno = 0;
            const long value = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > 255) {
                *error = "bad mask '" + text + "': expected a number from 0 to 255";
                return false;
            }
            out->mask = static_cast<uint8_t>(value);
        } else {
            out->files.push_back(args[i]);
        }
    }
    if (out->files.empty()) {
        *error = "no files given";
        return false;
    }
    return true;
}

static bool LoadEntries(const AddArguments& args, std::vector<PakWriteEntry>* entries, std::string* error) {
    for (const std::string& path : args.files) {
        PakWriteEntry entry{BaseName(path), args.mask, {}};
        if (entry.name.size() > static_cast<size_t>(kPakMaxNameLength)) {
            *error = "name longer than 21 characters: " + entry.name;
            return false;
        }
        if (!ReadWholeFile(path, &entry.data, error)) {
            return false;
        }
        entries->push_back(std::move(entry));
    }
    return true;
}

static int CommandCreate(const std::string& archive, const std::vector<std::string>& rest) {
    AddArguments args;
    std::string error;
    if (!ParseAddArguments(rest, &args, &error)) {
        return UsageError(error);
    }
    std::vector<PakWriteEntry> entries;
    if (!LoadEntries(args, &entries, &error) || !PakWriteArchive(archive, entries, &error)) {
        return Fail(error);
    }
    return 0;
}

// Opens the archive for reading, or explains in one line why it cannot.
static PAKFile* OpenForReading(const std::string& archive, std::string* error) {
    const char* reason = nullptr;
    PAKFile* pak = PakOpenWithReason(archive.c_str(), "r", &reason);
    if (pak == nullptr) {
        *error = archive + ": " + (reason != nullptr ? reason : "cannot open");
    }
    return pak;
}

static int CommandAdd(const std::string& archive, const std::vector<std::string>& rest) {
    AddArguments args;
    std::string error;
    if (!ParseAddArguments(rest, &args, &error)) {
        return UsageError(error);
    }
    std::vector<PakWriteEntry> added;
    if (!LoadEntries(args, &added, &error)) {
        return Fail(error);
    }
    PAKFile* pak = OpenForReading(archive, &error);
    if (pak == nullptr) {
        return Fail(error);
    }
    std::vector<PakRecord> records;
    for (const PakDirEntry* e = pak->entries; e != nullptr; e = e->next) {
        records.push_back({e->name, e->mask, e->offset, e->size});
    }
    const int64_t base = pak->base;
    const int64_t dataEnd = base + pak->dataLength;
    PakClose(pak);

    // Everything up to the end of the old data area stays byte for byte (a
    // prefix the archive was appended to included); the new data goes where
    // the old directory stood, then the grown directory and trailer.
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(archive, &bytes, &error)) {
        return Fail(error);
    }
    bytes.resize(static_cast<size_t>(dataEnd));
    for (const PakWriteEntry& e : added) {
        const int64_t offset = static_cast<int64_t>(bytes.size()) - base;
        if (offset + static_cast<int64_t>(e.data.size()) > 2147483647) {
            return Fail("archive would grow beyond 2 GiB");
        }
        records.push_back({e.name, e.mask, static_cast<int32_t>(offset), static_cast<int32_t>(e.data.size())});
        for (uint8_t byte : e.data) {
            bytes.push_back(byte ^ e.mask);
        }
    }
    const int64_t dataLength = static_cast<int64_t>(bytes.size()) - base;
    if (!PakAppendDirectory(records, dataLength, &bytes, &error) ||
        !PakWriteFileAtomically(archive, bytes, &error)) {
        return Fail(error);
    }
    return 0;
}

static int CommandList(const std::string& archive) {
    std::string error;
    PAKFile* pak = OpenForReading(archive, &error);
    if (pak == nullptr) {
        return Fail(error);
    }
    for (const PakDirEntry* e = pak->entries; e != nullptr; e = e->next) {
        std::printf("%s\t%d\t%u\t%d\n", e->name, e->size, static_cast<unsigned>(e->mask), e->offset);
    }
    PakClose(pak);
    return 0;
}

// Reads a whole entry into memory; false when the archive could not deliver it.
static bool ReadEntry(PAKFile* pak, const PakDirEntry* dir, std::vector<uint8_t>* bytes) {
    bytes->assign(static_cast<size_t>(dir->size), 0);
    if (dir->size == 0) {
        return true;
    }
    PakEntry* entry = PakOpenEntry(pak, dir->name);
    if (entry == nullptr) {
        return false;
    }
    // Open the exact record (an earlier duplicate name would shadow it).
    entry->dirEntry = const_cast<PakDirEntry*>(dir);
    const int32_t got = PakRead(bytes->data(), 1, dir->size, entry, pak);
    PakCloseEntry(pak, entry);
    return got == dir->size;
}

static int CommandCat(const std::string& archive, const std::vector<std::string>& rest) {
    if (rest.size() != 1) {
        return UsageError("cat needs exactly one entry name");
    }
    std::string error;
    PAKFile* pak = OpenForReading(archive, &error);
    if (pak == nullptr) {
        return Fail(error);
    }
    const PakDirEntry* dir = PakFind(pak, rest[0].c_str());
    std::vector<uint8_t> bytes;
    int status = 0;
    if (dir == nullptr) {
        status = Fail(archive + ": no entry named " + rest[0]);
    } else if (!ReadEntry(pak, dir, &bytes)) {
        status = Fail(archive + ": cannot read " + rest[0]);
    } else if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
        status = Fail("cannot write to standard output");
    }
    PakClose(pak);
    return status;
}

// An entry name is written as a file only when it cannot reach outside the
// target folder.
static bool SafeFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

static int CommandExtract(const std::string& archive, const std::vector<std::string>& rest) {
    std::string folder = ".";
    std::vector<std::string> names;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "-C") {
            if (i + 1 >= rest.size()) {
                return UsageError("-C needs a folder");
            }
            folder = rest[++i];
        } else {
            names.push_back(rest[i]);
        }
    }
    std::string error;
    PAKFile* pak = OpenForReading(archive, &error);
    if (pak == nullptr) {
        return Fail(error);
    }
    std::vector<const PakDirEntry*> chosen;
    if (names.empty()) {
        // Every name once, as a lookup would find it: the first record wins.
        for (const PakDirEntry* e = pak->entries; e != nullptr; e = e->next) {
            if (PakFind(pak, e->name) == e) {
                chosen.push_back(e);
            }
        }
    } else {
        for (const std::string& name : names) {
            const PakDirEntry* e = PakFind(pak, name.c_str());
            if (e == nullptr) {
                PakClose(pak);
                return Fail(archive + ": no entry named " + name);
            }
            chosen.push_back(e);
        }
    }
    int status = 0;
    for (const PakDirEntry* e : chosen) {
        std::vector<uint8_t> bytes;
        if (!SafeFileName(e->name)) {
            status = Fail(archive + ": refusing to extract an entry named '" + std::string(e->name) + "'");
            break;
        }
        if (!ReadEntry(pak, e, &bytes)) {
            status = Fail(archive + ": cannot read " + e->name);
            break;
        }
        if (!PakWriteFileAtomically(folder + "/" + e->name, bytes, &error)) {
            status = Fail(error);
            break;
        }
    }
    PakClose(pak);
    return status;
}

static int CommandVerify(const std::string& archive) {
    std::string error;
    PAKFile* pak = OpenForReading(archive, &error);
    if (pak == nullptr) {
        return Fail(error);
    }
    int status = 0;
    char magic[8] = {};
    if (std::fseek(pak->file, -8, SEEK_END) != 0 || std::fread(magic, 1, sizeof magic, pak->file) != sizeof magic ||
        std::memcmp(magic, kPakMagic, sizeof magic) != 0) {
        status = Fail(archive + ": the trailer does not end with the archive magic");
    }
    for (const PakDirEntry* e = pak->entries; e != nullptr && status == 0; e = e->next) {
        std::vector<uint8_t> bytes;
        if (!ReadEntry(pak, e, &bytes)) {
            status = Fail(archive + ": cannot read entry " + e->name);
        }
    }
    PakClose(pak);
    return status;
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return kBadUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string command = args[0];
    if (args.size() < 2) {
        return UsageError(command + " needs an archive");
    }
    const std::string archive = args[1];
    const std::vector<std::string> rest(args.begin() + 2, args.end());
    if (command == "create") {
        return CommandCreate(archive, rest);
    }
    if (command == "add") {
        return CommandAdd(archive, rest);
    }
    if (command == "cat") {
        return CommandCat(archive, rest);
    }
    if (command == "extract") {
        return CommandExtract(archive, rest);
    }
    if (!rest.empty() && (command == "list" || command == "verify")) {
        return UsageError(command + " takes only the archive");
    }
    if (command == "list") {
        return CommandList(archive);
    }
    if (command == "verify") {
        return CommandVerify(archive);
    }
    return UsageError("unknown command '" + command + "'");
}

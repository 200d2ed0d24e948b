// The inspector's command line, its pools and its archive.
#include "tools/inspect/inspect.h"

#include <cerrno>     // errno
#include <cmath>      // std::isfinite
#include <cstdio>     // remove
#include <cstdlib>    // strtof
#include <fstream>    // reading the file to inspect
#include <filesystem> // file sizes, temporary folders
#include <new>        // std::bad_alloc
#include <random>     // names of temporary folders

#include "archive/archive.h"    // PakOpenWithReason, PakClose, g_currentPak
#include "archive/pak_writer.h" // PakWriteArchive for loose files
#include "memory/memory_pool.h" // PoolSetSmallSize, PoolInit

namespace {

// The program's own pool sizes, so that a file that fits here fits there.
constexpr int32_t kInspectSmallArea = 200000;
constexpr int32_t kInspectPoolBytes = 20000000;

// Mask of the temporary archive's entry: any value works, a non-zero one makes
// the loaders unmask as they do with real content.
constexpr uint8_t kLooseFileMask = 0x5C;

const char kUsage[] = "usage: tessaro-inspect [--pak ARCHIVE] NAME [--frame F]... [--vertices]";

std::string LowerExtension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::string();
    }
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

struct CommandLine {
    std::string pak;
    std::string name;
    std::vector<float> frames;
    bool vertices = false;
};

bool ParseFrame(const std::string& text, float* frame) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || errno == ERANGE || !std::isfinite(value)) {
        return false;
    }
    *frame = value;
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* line, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--pak" || arg == "--frame") {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            const std::string& value = args[++i];
            if (arg == "--pak") {
                if (!line->pak.empty()) {
                    *error = "--pak given twice";
                    return false;
                }
                line->pak = value;
            } else {
                float frame = 0.0f;
                if (!ParseFrame(value, &frame)) {
                    *error = "--frame needs a finite number, not '" + value + "'";
                    return false;
                }
                line->frames.push_back(frame);
            }
        } else if (arg == "--vertices") {
            line->vertices = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            *error = "unknown option " + arg;
            return false;
        } else if (line->name.empty()) {
            line->name = arg;
        } else {
            *error = "more than one NAME";
            return false;
        }
    }
    if (line->name.empty()) {
        *error = "NAME is missing";
        return false;
    }
    return true;
}

// Name of a loose file inside the temporary archive: its own name when the
// archive can hold it, else a short one with the same extension (the loaders
// only look at the extension, and textures are not followed).
std::string EntryNameFor(const std::string& path) {
    const std::string base = std::filesystem::path(path).filename().string();
    if (!base.empty() && base.size() <= static_cast<size_t>(kPakMaxNameLength)) {
        return base;
    }
    const std::string extension = LowerExtension(base);
    return extension.empty() ? "inspect" : "inspect." + extension.substr(0, 8);
}

// A temporary archive holding one loose file; removed when this goes away.
class LooseArchive {
  public:
    ~LooseArchive() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(folder_, ignored);
        }
    }

    // Writes the archive; false with a reason.
    bool Build(const std::string& file, const std::string& entryName, std::string* error) {
        std::error_code code;
        if (!std::filesystem::is_regular_file(file, code)) {
            *error = "cannot read " + file + ": not a regular file";
            return false;
        }
        const uintmax_t size = std::filesystem::file_size(file, code);
        if (code || size > static_cast<uintmax_t>(INT32_MAX) - 1024u) {
            *error = "cannot read " + file + ": too large for an archive";
            return false;
        }
        PakWriteEntry entry{entryName, kLooseFileMask, std::vector<uint8_t>(static_cast<size_t>(size))};
        std::ifstream in(file, std::ios::binary);
        if (!in || (size > 0 && !in.read(reinterpret_cast<char*>(entry.data.data()),
                                         static_cast<std::streamsize>(size)))) {
            *error = "cannot read " + file;
            return false;
        }
        // A fresh folder of our own: creating it fails when the name is taken,
        // so another run can never share or replace our archive.
        std::error_code where;
        const std::filesystem::path base = std::filesystem::temp_directory_path(where);
        if (where) {
            *error = "no temporary folder: " + where.message();
            return false;
        }
        std::random_device seed;
        std::mt19937_64 names(seed());
        for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
            const std::filesystem::path candidate = base / ("tessaro-inspect-" + std::to_string(names()));
            std::error_code made;
            if (std::filesystem::create_directory(candidate, made) && !made) {
                folder_ = candidate.string();
            }
        }
        if (folder_.empty()) {
            *error = "cannot make a temporary folder in " + base.string();
            return false;
        }
        path_ = folder_ + "/content.pak";
        std::string reason;
        if (!PakWriteArchive(path_, {entry}, &reason)) {
            *error = "cannot build the temporary archive: " + reason;
            return false;
        }
        return true;
    }

    const std::string& Path() const { return path_; }

  private:
    std::string folder_;
    std::string path_;
};

// One line: the message up to its first line break.
std::string OneLine(const std::string& text) {
    const size_t end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

} // namespace

InspectKind InspectKindOf(const std::string& name) {
    const std::string extension = LowerExtension(name);
    if (extension == "3ds") {
        return InspectKind::k3ds;
    }
    if (extension == "md2") {
        return InspectKind::kMd2;
    }
    if (extension == "jpg" || extension == "jpeg") {
        return InspectKind::kJpeg;
    }
    if (extension == "tga") {
        return InspectKind::kTga;
    }
    return InspectKind::kUnknown;
}

int RunInspect(const std::vector<std::string>& args, std::string* out, std::string* err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        *out = std::string(kUsage) + "\n";
        return 0;
    }
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, &line, &error)) {
        *err = "tessaro-inspect: " + error + "\n" + kUsage + "\n";
        return 2;
    }
    const InspectKind kind = InspectKindOf(line.name);
    if (kind == InspectKind::kUnknown) {
        *err = "tessaro-inspect: " + line.name + ": unknown kind (expected .3ds, .md2, .jpg or .tga)\n";
        return 1;
    }

    InspectRequest request;
    request.displayName = line.name;
    request.frames = line.frames;
    request.vertices = line.vertices;

    LooseArchive loose;
    std::string pakPath = line.pak;
    if (pakPath.empty()) {
        request.entryName = EntryNameFor(line.name);
        if (!loose.Build(line.name, request.entryName, &error)) {
            *err = "tessaro-inspect: " + OneLine(error) + "\n";
            return 1;
        }
        pakPath = loose.Path();
    } else {
        request.entryName = line.name;
    }

    PoolSetSmallSize(kInspectSmallArea);
    PoolInit(kInspectPoolBytes);
    const char* reason = nullptr;
    PAKFile* pak = PakOpenWithReason(pakPath.c_str(), "r", &reason);
    if (pak == nullptr) {
        *err = "tessaro-inspect: " + pakPath + ": " +
               (reason != nullptr ? reason : "cannot open the archive") + "\n";
        return 1;
    }
    g_currentPak = pak;

    JsonWriter json;
    bool loaded = false;
    try {
        switch (kind) {
        case InspectKind::k3ds:
            loaded = Inspect3ds(request, &json, &error);
            break;
        case InspectKind::kMd2:
            loaded = InspectMd2(request, &json, &error);
            break;
        case InspectKind::kJpeg:
            loaded = InspectJpeg(request, &json, &error);
            break;
        case InspectKind::kTga:
            loaded = InspectTga(request, &json, &error);
            break;
        case InspectKind::kUnknown:
            break;
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    PakClose(pak);
    if (!loaded) {
        *err = "tessaro-inspect: " + line.name + ": " + OneLine(error) + "\n";
        return 1;
    }
    *out = json.Text() + "\n";
    return 0;
}

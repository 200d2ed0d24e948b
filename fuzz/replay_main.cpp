// Replays inputs through a harness without any fuzzer: the target's own seeds
// (--seeds), files, and every file under the folders given. Usage:
//   replay_X [--seeds] [--write-seeds DIR] [FILE|DIR]...
// Exits non-zero when an argument cannot be read; a fault in the harness ends
// the program the way the sanitizers make it.
#include "fuzz/fuzz.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

// Files of a folder in name order; descriptions (*.md) and hidden files are not inputs.
std::vector<std::filesystem::path> InputsUnder(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.' && entry.path().extension() != ".md") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool WriteSeeds(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    for (const FuzzSeed& seed : FuzzSeeds()) {
        std::ofstream out(dir / seed.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                  static_cast<std::streamsize>(seed.bytes.size()));
        if (!out) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seeds") {
            for (const FuzzSeed& seed : FuzzSeeds()) {
                LLVMFuzzerTestOneInput(seed.bytes.data(), seed.bytes.size());
                ++replayed;
            }
        } else if (arg == "--write-seeds" && i + 1 < argc) {
            ok = WriteSeeds(argv[++i]) && ok;
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto& file : InputsUnder(arg)) {
                ok = Replay(file) && ok;
                ++replayed;
            }
        } else {
            ok = Replay(arg) && ok;
            ++replayed;
        }
    }
    std::printf("replay: %d inputs\n", replayed);
    return ok ? 0 : 1;
}

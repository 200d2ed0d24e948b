// Linked into the libFuzzer targets only: with TESSARO_FUZZ_WRITE_SEEDS set to
// a folder, the target writes its seed corpus there and exits, so that
// scripts/fuzz starts every run from our own reproducible seeds.
#include "fuzz/fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = std::getenv("TESSARO_FUZZ_WRITE_SEEDS");
    if (dir == nullptr || dir[0] == '\0') {
        return 0;
    }
    int written = 0;
    for (const FuzzSeed& seed : FuzzSeeds()) {
        std::ofstream out(std::string(dir) + "/" + seed.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                  static_cast<std::streamsize>(seed.bytes.size()));
        written += out ? 1 : 0;
    }
    std::printf("seeds: %d written to %s\n", written, dir);
    std::exit(0);
}

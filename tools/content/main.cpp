// tessaro-content: writes the demo's resource archive.
//     tessaro-content OUTPUT.qdz
#include "tools/content/content.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaro-content OUTPUT\n");
        return 2;
    }
    std::string error;
    if (!WriteContentArchive(argv[1], &error)) {
        std::fprintf(stderr, "tessaro-content: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

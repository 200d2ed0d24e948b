// tessaro-inspect: describes what the loaders build from one content file.
#include <cstdio> // fwrite

#include "tools/inspect/inspect.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    std::string out;
    std::string err;
    const int status = RunInspect(args, &out, &err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}

// Entry point of the player: the command line, then the run.
#include "app/app.h"
#include "app/command_line.h"

#include <cstdio> // fputs, fprintf

int main(int argc, char** argv) {
    const CommandLine options = ParseCommandLine(argc, argv);
    switch (options.action) {
    case CommandAction::Help:
        std::fputs(CommandLineUsage().c_str(), stdout);
        return 0;
    case CommandAction::Version:
        std::fputs("tessaro Velta Beta 0.1\n", stdout);
        return 0;
    case CommandAction::Error:
        std::fprintf(stderr, "tessaro: %s\n", options.error.c_str());
        return kCommandLineStatus;
    case CommandAction::Run:
        break;
    }
    return TessaroRun(options);
}

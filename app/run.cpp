// The desktop's run: the capture off screen, or the show in a window with the
// main loop on this thread until it is done.
#include "app/app.h"
#include "app/command_line.h"

int TessaroRun(const CommandLine& options, HINSTANCE instance) {
    if (options.capture) {
        PrepareShowMemory();
        return TessaroCapture(options);
    }
    if (!TessaroBegin(options, instance)) {
        return -1;
    }
    while (TessaroPass()) {
    }
    return TessaroEnd();
}

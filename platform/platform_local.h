// Insides of the platform library shared by its sources: the one operating-
// system service that the common debugger-output code needs.
#pragma once

#include "platform/platform.h"

// Writes one debugger message where this system shows them (see platform.h).
void WriteToDebugger(const char* text);

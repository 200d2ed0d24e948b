// Insides of the Win32 backend of the framework library (never installed for
// the program): the library's own module, where its resources live.
#pragma once

#include "framework/lumora_local.h"
#include "framework/resource_win32.h"

// The library's module handle, captured when the library is attached to the
// process; null before that.
HINSTANCE LibraryModule();

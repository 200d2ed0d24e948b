// Sanitizer builds only (linked into every program by the top-level build):
// shared libraries stay loaded until the process ends.
//
// LeakSanitizer reports at exit. A GL driver that its loader unloaded before
// then (EGL and GLX close their drivers when the last display goes) leaves
// memory it never freed whose stack frames point into no module at all: the
// report reads "(<unknown module>)", and no suppression can name it. With
// dlclose a no-op, those frames keep their module's name, so the
// suppressions file names the drivers' own allocations and leak detection
// stays on for everything else. Defined in the executable and exported
// (-Wl,--export-dynamic-symbol=dlclose), it comes first in the global lookup,
// ahead of the C library's and the sanitizer runtime's.
extern "C" int dlclose(void* handle);

extern "C" int dlclose(void* handle) {
    // Nothing to release: the module stays mapped, and a later dlopen of it
    // takes it as it is. A null handle is an error for the real dlclose too.
    return handle != nullptr ? 0 : -1;
}

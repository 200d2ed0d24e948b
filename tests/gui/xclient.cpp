// Does to a window what a window manager does when a person uses the title
// bar: "close" asks the client to close (WM_DELETE_WINDOW), as the close box
// does. The virtual X server of the tests runs no window manager. "cursor"
// prints "cursor visible" or "cursor hidden": whether the pointer's current
// picture has any pixel that is not fully transparent.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>  // fprintf
#include <cstdlib> // strtoul
#include <cstring> // strcmp

namespace {

int ReportCursor() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (image == nullptr) {
        XCloseDisplay(display);
        std::fprintf(stderr, "no cursor image\n");
        return 1;
    }
    bool visible = false;
    const unsigned long count = static_cast<unsigned long>(image->width) * image->height;
    for (unsigned long i = 0; i < count && !visible; ++i) {
        visible = (image->pixels[i] >> 24) != 0; // ARGB, one pixel per long
    }
    std::printf("cursor %s\n", visible ? "visible" : "hidden");
    XFree(image);
    XCloseDisplay(display);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "cursor") == 0) {
        return ReportCursor();
    }
    if (argc != 3 || std::strcmp(argv[1], "close") != 0) {
        std::fprintf(stderr, "usage: %s close WINDOW-ID | %s cursor\n", argv[0], argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    const Window window = static_cast<Window>(std::strtoul(argv[2], nullptr, 0));
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}

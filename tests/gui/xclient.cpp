// Does to a window what a window manager does when a person uses the title
// bar: "close" asks the client to close (WM_DELETE_WINDOW), as the close box
// does. The virtual X server of the tests runs no window manager.
#include <X11/Xlib.h>
#include <X11/Xatom.h>

#include <cstdio>  // fprintf
#include <cstdlib> // strtoul
#include <cstring> // strcmp

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "close") != 0) {
        std::fprintf(stderr, "usage: %s close WINDOW-ID\n", argv[0]);
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

// Closes a window the way a window manager's close button does: a
// WM_DELETE_WINDOW client message (ICCCM 4.2.8.1). Fails when the window does
// not take part in that protocol, as a window manager would then kill it.
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>

int main(int argc, char** argv) {
    Display* display = argc == 2 ? XOpenDisplay(nullptr) : nullptr;
    if (!display) return 2;
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom* listed = nullptr;
    int count = 0;
    XGetWMProtocols(display, window, &listed, &count);
    const bool takes_part = std::find(listed, listed + count, delete_window) != listed + count;
    XFree(listed);
    if (!takes_part) return 1;
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    XEvent event{};  // data.l[1], the time, stays CurrentTime (0)
    event.xclient = {ClientMessage, 0, False, display, window, protocols, 32, {}};
    event.xclient.data.l[0] = static_cast<long>(delete_window);
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);  // flushes the event
    return 0;
}

// Closes a window the way a window manager's close button does: a
// WM_DELETE_WINDOW client message (ICCCM 4.2.8.1). Fails when the window does
// not take part in that protocol, as a window manager would then kill it.
#include <X11/Xlib.h>

#include <cstdlib>

int main(int argc, char** argv) {
    Display* display = argc == 2 ? XOpenDisplay(nullptr) : nullptr;
    if (!display) return 2;
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom* listed = nullptr;
    int count = 0;
    bool takes_part = false;
    if (XGetWMProtocols(display, window, &listed, &count)) {
        for (int i = 0; i < count; ++i) takes_part = takes_part || listed[i] == delete_window;
        XFree(listed);
    }
    if (!takes_part) return 1;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(delete_window);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);  // flushes the event
    return 0;
}

// What SDL does not tell about an X display: whether a window manager runs, whether the server
// has sent anything, and a lost connection.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>

#include "hosts/sdl/sdl.h"

namespace {

bool CaughtXError = false;

int CatchXError(Display*, XErrorEvent*) {
    CaughtXError = true;
    return 0;
}

// The window a window's _NET_SUPPORTING_WM_CHECK property names; None when it names none.
Window CheckWindowOf(Display* display, Window window, Atom check) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    Window named = None;
    if (XGetWindowProperty(display, window, check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                           &remaining, &data) == Success &&
        type == XA_WINDOW && format == 32 && count == 1) {
        named = *reinterpret_cast<Window*>(data);
    }
    if (data) XFree(data);
    return named;
}

// Xlib calls this when the server is gone, then ends the process.
int ReportLostConnection(Display* display) {
    std::fprintf(stderr, "marrowdale: lost the connection to the display '%s'\n",
                 DisplayString(display));
    return 0;
}

Display* XDisplayOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return nullptr;
    }
    return info.info.x11.display;
}

}  // namespace

// Full-screen changes: false only on a bare X server, where no window manager answers the
// request for full screen. A window manager names a check window on the root window, and
// the check window names itself (a manager that died leaves a stale name behind).
bool WindowManagerRuns(SDL_Window* window) {
    Display* display = XDisplayOf(window);
    if (!display) return true;
    Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return false;
    Window named = CheckWindowOf(display, DefaultRootWindow(display), check);
    if (named == None) return false;
    XSync(display, False);
    CaughtXError = false;
    auto previous = XSetErrorHandler(CatchXError);
    bool confirmed = CheckWindowOf(display, named, check) == named;
    XSync(display, False);
    XSetErrorHandler(previous);
    return confirmed && !CaughtXError;
}

// CreateHostWindow: a server that goes away ends the game with a line that says so, in place
// of Xlib's own two-line message.
void WatchDisplayConnection(SDL_Window* window) {
    if (XDisplayOf(window)) XSetIOErrorHandler(ReportLostConnection);
}

// The connection's descriptor, for a look whether the server has sent anything; -1 when the
// window is not on X.
int DisplayDescriptor(SDL_Window* window) {
    Display* display = XDisplayOf(window);
    return display ? ConnectionNumber(display) : -1;
}

// Events Xlib has already read from the connection (while it waited for an answer) and nobody
// has taken yet; counted without a word to the server.
bool DisplayEventsHeld(SDL_Window* window) {
    Display* display = XDisplayOf(window);
    return display && XEventsQueued(display, QueuedAlready) > 0;
}

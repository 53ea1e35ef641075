// What SDL does not tell about an X display: whether a window manager runs, whether the server
// has sent anything, its errors and a lost connection.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>

#include "hosts/live.h"
#include "hosts/sdl/sdl.h"

namespace {

bool CaughtXError = false;
// The display failed the game (an error, the connection lost): said once, and the game quits.
bool DisplayFailed = false;
bool DisplayFailureTaken = false;
bool ConnectionLost = false;
// The display the game's window is on, while it is open.
Display* Watched = nullptr;

int CatchXError(Display*, XErrorEvent*) {
    CaughtXError = true;
    return 0;
}

// An X error (the window destroyed from outside, say) would end the process in Xlib's own
// handler, nothing saved: it is said in one line instead, and the game quits in order.
int ReportXError(Display* display, XErrorEvent* event) {
    if (DisplayFailed) return 0;
    DisplayFailed = true;
    char text[80] = "";
    XGetErrorText(display, event->error_code, text, sizeof text);
    std::fprintf(stderr, "marrowdale: the display '%s' failed the game's request %d (%s); the game "
                         "ends\n",
                 DisplayString(display), event->request_code, text);
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

// Xlib calls this when the server is gone.
int ReportLostConnection(Display* display) {
    if (!DisplayFailed) {
        std::fprintf(stderr, "marrowdale: lost the connection to the display '%s'\n",
                     DisplayString(display));
    }
    DisplayFailed = ConnectionLost = true;
    return 0;
}

// Xlib would then end the process, nothing saved; instead the display is left for dead (Xlib
// makes every later call on it a harmless failure) and the game quits in order.
void OutliveLostConnection(Display*, void*) {}

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

// CreateHostWindow: an X error, or a server that goes away, ends the game in order with a line
// that says so, in place of Xlib's own message and exit.
void WatchDisplayConnection(SDL_Window* window) {
    Display* display = XDisplayOf(window);
    Watched = display;
    if (!display) return;
    DisplayFailed = DisplayFailureTaken = ConnectionLost = false;
    XSetErrorHandler(ReportXError);
    XSetIOErrorHandler(ReportLostConnection);
    XSetIOErrorExitHandler(display, OutliveLostConnection, nullptr);
}

// The host's pump: true once, when the display failed the game.
bool TakeDisplayFailure() {
    bool failed = DisplayFailed && !DisplayFailureTaken;
    DisplayFailureTaken |= failed;
    return failed;
}

bool DisplayFailedGame() { return DisplayFailed; }

// The host's stop: a connection that is gone cannot be closed (SDL's other connection to the
// server would end the process in Xlib's handler).
bool DisplayConnectionLost() { return ConnectionLost; }

// The host's stop, once the window is destroyed and before SDL closes the display (and puts
// Xlib's own handler back): the errors still on their way (the window destroyed from outside
// once more) are taken by this program's handler, not Xlib's, which would end the process.
void SettleDisplay() {
    if (Watched && !ConnectionLost) XSync(Watched, False);
    Watched = nullptr;
}

// The game window's connection's descriptor, -1 while there is none.
int WatchedDisplayDescriptor() { return Watched && !ConnectionLost ? ConnectionNumber(Watched) : -1; }

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

// What the desktop host's files share: the X display's answers SDL does not give, and the
// mappings of keys and the window's scale.
#pragma once

#include <cstdint>

#include "handheld/winapi.h"

struct SDL_Window;

// False only when the window is on an X server that no window manager runs.
bool WindowManagerRuns(SDL_Window* window);
// On X, a lost connection ends the game with one line on stderr.
void WatchDisplayConnection(SDL_Window* window);
// The X connection's descriptor (-1 off X), and whether Xlib holds events read from it already.
int DisplayDescriptor(SDL_Window* window);
bool DisplayEventsHeld(SDL_Window* window);

// The virtual-key code for an SDL key code, 0 for keys the game never sees.
WORD VirtualKeyForKeycode(int32_t keycode);

// The window's scale: the one asked for (0: the largest up to 16) lowered to the largest that
// fits a usable desktop area of width x height with room for the window's frame; at least 1.
int FitScale(int asked, int width, int height);

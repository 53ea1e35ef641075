// What the desktop host's files share: the X display's answers SDL does not give, and the
// mappings of keys and the window's scale.
#pragma once

#include <cstdint>
#include <string>

#include "handheld/winapi.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Rect;
struct PauseSign;
struct CursorOutline;

// False only when the window is on an X server that no window manager runs.
bool WindowManagerRuns(SDL_Window* window);
// On X, an error or a lost connection ends the game in order, after one line on stderr.
void WatchDisplayConnection(SDL_Window* window);
// True once after the display failed: the host then asks the game to quit at once.
bool TakeDisplayFailure();
// The server is gone: SDL's video is not closed, which would take Xlib's exit.
bool DisplayConnectionLost();
// Before SDL closes the display: the X errors on their way are handled here.
void SettleDisplay();
// The X connection's descriptor (-1 off X), and whether Xlib holds events read from it already.
int DisplayDescriptor(SDL_Window* window);
bool DisplayEventsHeld(SDL_Window* window);
// The same descriptor for the game's window while it is open, without asking SDL.
int WatchedDisplayDescriptor();

// The virtual-key code for an SDL key code, 0 for keys the game never sees.
WORD VirtualKeyForKeycode(int32_t keycode);

// The pause's sign over the picture, which stands at picture in the renderer's output.
void DrawPauseSign(SDL_Renderer* renderer, const SDL_Rect& picture, const PauseSign& sign);
// The keyboard's cursor over the picture.
void DrawCursorOutline(SDL_Renderer* renderer, const SDL_Rect& picture, const CursorOutline& cursor);

// The window's scale: the one asked for (0: the largest up to 16) lowered to the largest that
// fits a usable desktop area of width x height with room for the window's frame; at least 1.
int FitScale(int asked, int width, int height);

// The background sender of kept games, while the host runs: started with the score server's
// address (nothing when empty), stopped at the host's end, cutting a send short.
void StartScoreSender(const std::string& address);
void StopScoreSender();
// The host's stop: the last sync of the game in progress asked for is done.
void StopKeepingProgress();

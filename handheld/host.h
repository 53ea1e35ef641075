// The one interface a host implements (a window or a page, its events, real time), and what a
// host hands the handheld's interfaces: its player's input and the start and end of its run.
#pragma once

#include <cstdint>
#include <string>

#include "handheld/standin.h"
#include "handheld/winapi.h"

constexpr int ScreenWidth = 240;
constexpr int ScreenHeight = 320;

// ---- The host --------------------------------------------------------------------------------

// Nobody started (plain POSIX calls only), the desktop's window, the headless test host with
// its virtual clock, or the browser's page.
enum class HostKind { None, Real, Headless, Web };

// The sign a host shows over the picture while the game is paused (never in display memory).
struct PauseSign {
    const char* title;
    const char* resume;  // what plays on
    const char* leave;   // what leaves the game
};

// What a host does for the handheld's interfaces. An operation a host has no use for is null:
// the headless host, for one, has no window, no events of its own and no other copies.
struct HostInterface {
    HostKind kind = HostKind::None;
    // Brings the host's events into the queue.
    void (*pumpEvents)() = nullptr;
    // The real window (or the page's canvas) for the game's window; false, after one line on
    // stderr, when it can't be had.
    bool (*createWindow)(const std::string& title, bool visible, void* icon) = nullptr;
    void (*showWindow)(bool show) = nullptr;
    // Shows the pending frame if one waits and the display's refresh allows it now; the time
    // (steady-clock nanoseconds) when a waiting frame may be shown, or 0 if none waits.
    int64_t (*flushWindow)(int64_t nowNs) = nullptr;
    // Ends the host's run; the platform serves nobody until a host starts again.
    void (*stop)() = nullptr;
    // The window's icon from a BMP file, pure green transparent; null when there is none.
    void* (*loadIcon)(const std::string& path) = nullptr;
    void (*freeIcon)(void* icon) = nullptr;
    // Other copies of the game run by this user: whether one runs, making this one findable,
    // and asking the one running to raise its window.
    bool (*otherCopyRunning)(const std::u16string& className) = nullptr;
    void (*publishWindow)(const std::u16string& className) = nullptr;
    bool (*raiseOtherCopy)(const std::u16string& className) = nullptr;
    // Puts the pause's sign over the picture, or (null) takes it down.
    void (*showPause)(const PauseSign* sign) = nullptr;
    // While the picture stands still, the loop may sleep through this many passes (null: 1), or
    // till the player's input (SleepHostTillInput), and then run those due back to back: each
    // wake costs more than a still picture's pass. No pass runs before its time.
    int (*quietPasses)() = nullptr;
    // How long a paused game sleeps before it looks for the player again (null: PauseLookNs,
    // for signals and a display's requests); the host's input may end the sleep sooner.
    int64_t (*pauseLookNs)() = nullptr;
};

// The waits of this build's live host (the desktop's or the page's), called directly: in the
// browser the loop sleeps by unwinding the stack (Asyncify), which no call through a function
// pointer may do.
// Gives the processor up for nanoseconds (0: a yield); a page runs meanwhile.
void SleepHost(int64_t nanoseconds);
// The same, ended early by the player's input: the loop's sleep through a still picture's passes.
void SleepHostTillInput(int64_t nanoseconds);
// Waits up to timeoutMs for something from outside (an event, a signal, a raise request).
void WaitHostEvent(int timeoutMs);

// The host now serving (a host of kind None before any starts and after each stops).
const HostInterface& ActiveHost();
inline bool HostIs(HostKind kind) { return ActiveHost().kind == kind; }
// A real host: one that shows a window (or a page) to a person and brings in their input.
inline bool RealHostRuns() { return HostIs(HostKind::Real) || HostIs(HostKind::Web); }

// A live host (real or browser) takes over: the player's choices, and every platform record
// afresh, the pass schedule starting now.
void StartLiveHost(const HostInterface& host, const StandInOptions& options);
// A live host (real or browser) takes over the game the headless host ran so far, as it stands,
// and holds it paused for the player; false, after one line on stderr, when it can't show it.
bool HandOverToLiveHost(const HostInterface& host, const StandInOptions& options);
// Makes host the active one, its records fresh (the headless host's start).
void UseHost(const HostInterface& host);
// A host's stop: its records go, and nobody serves until a host starts again.
void EndHost();
// Stops whatever host runs (before another starts, or when a replay ends the run).
void StopHost();
// The quit signals get their earlier meaning back (a host that installed them, at its stop).
void RestoreSignalHandlers();

// ---- What a host shows ---------------------------------------------------------------------

// The frame as the window shows it: 240 x 320 pixels of 0x00RRGGBB, top row first.
const uint32_t* DisplayFrame();
// True once after GXEndDraw decoded a frame that differs from the one before, or whose cursor
// (FrameCursor) moved.
bool TakeChangedFrame();

// ---- The player's input as a real host sees it (input.cpp) ---------------------------------

// How the screen fills an area: at the largest whole scale, or sharp at the largest size of its
// shape (the largest whole scale, then smoothly the rest of the way); centred with black bars
// around it either way, and shrunk to fit an area smaller than the screen.
enum class ScreenFit { Whole, Sharp };
struct ScreenPlace {
    int x, y, width, height;
    int scale;  // the whole scale, at least 1: the picture's size before any smooth step
};
ScreenPlace PlaceScreen(int width, int height, ScreenFit fit);
// A point of that area in screen pixels, clamped to the screen: touches in the bars land on
// the nearest edge pixel.
POINT AreaToScreen(int x, int y, int width, int height, ScreenFit fit);
// The real host, before it hands input over: how its area holds the screen now.
void SetScreenFit(ScreenFit fit);
// Whether the game sees a key of this virtual-key code at all.
bool IsGameKey(WORD key);

// Keys the game never sees as such: the Pause key.
bool IsPauseKey(WORD key);

// Controller buttons, numbered as the standard gamepad layout of the browsers numbers them.
enum PadButton {
    PadSouth = 0, PadEast = 1, PadWest = 2, PadNorth = 3, PadLeftShoulder = 4,
    PadRightShoulder = 5, PadBack = 8, PadStart = 9, PadUp = 12, PadDown = 13, PadLeft = 14,
    PadRight = 15
};
// The left stick's axes, each -32768 to 32767 (left or up negative).
enum PadAxis { PadStickX = 0, PadStickY = 1 };
enum class FingerPhase { Down, Move, Up };

// Each turns what the host saw into the game's messages (points are in a width x height area
// that holds the screen as PlaceScreen places it).
void MouseButton(bool down, int x, int y, int width, int height);
void MouseMove(int x, int y, int width, int height);
void FingerEvent(FingerPhase phase, int64_t finger, int x, int y, int width, int height);
bool KeyEvent(WORD key, bool down, bool repeat, int scanCode);
void PadButtonEvent(int pad, PadButton button, bool down);
void PadAxisEvent(int pad, PadAxis axis, int value);
void PadGone(int pad);
void ReleaseHeldInput();
void ActivationEvent(bool active);
// The page lost the keyboard (the desktop's focus comes as activation).
void KeyboardFocusLost();
// The window was minimised or hidden, the page put behind another (away), or shown again.
void AwayEvent(bool away);
void CloseEvent();
// Each pump of a real host: a controller's held button repeats as a held key does.
void RepeatHeldPadKey();

// The executable's own path as UTF-8 (or the one a host chose with SetModulePath).
std::string ModulePath();

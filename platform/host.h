// What the platform's own files share: host kind, windows, queue, display, clock, SDL window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gx.h"
#include "platform/standin.h"
#include "platform/winapi.h"

// ---- Hosts -------------------------------------------------------------------------------

// Nobody started (plain POSIX calls only), the real SDL host on the desktop, the headless test
// host, or the browser host. The desktop and browser hosts are never built into one program.
enum class HostKind { None, Real, Headless, Web };
extern HostKind Host;

// A real host: one that shows a window (or a page) to a person and brings in their input.
inline bool RealHostRuns() { return Host == HostKind::Real || Host == HostKind::Web; }

constexpr int ScreenWidth = 240;
constexpr int ScreenHeight = 320;

// ---- Text (text.cpp) ---------------------------------------------------------------------

// UTF-16 to UTF-8 and back; false for a null pointer or a broken sequence.
bool Utf16ToUtf8(const WCHAR* text, std::string* out);
bool Utf8ToUtf16(const char* text, std::u16string* out);

// ---- Windows (windows.cpp) ---------------------------------------------------------------

struct WindowRecord {
    bool used;
    int classSlot;       // index into the class table; -1 for the taskbar and remote copies
    std::u16string className;
    std::u16string title;
    RECT rect;
    bool visible;
    bool remote;         // a copy of the game running in another process
};

// True when window is one of this process's window records (never dereferences otherwise).
bool IsLocalWindow(HWND window);
WNDPROC WindowProcedureOf(HWND window);
// The game's own window: the first window created from a registered class.
HWND GameWindow();
bool TaskbarVisible();
DWORD FullScreenState();
void ResetWindows();
// Frees the icon LoadIconW made (host stop and headless resets).
void ReleaseIcon();

// ---- Messages (messages.cpp) -------------------------------------------------------------

// Queues a message at the tail; toGameWindow aims it at the game's window as it stands when
// the message is fetched, so input scripted before the window exists still reaches it.
void QueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool toGameWindow);
// Key messages carry the key's scan code in lParam bits 16 to 23, as Windows' do. A keyboard's
// keys have one; a game controller's buttons have none, so TranslateMessage makes no
// character from them.
constexpr int KeyScanCodeShift = 16;
void ResetMessages();
// A live host (real or browser) takes over: the player's choices, and every platform record
// afresh, the pass schedule starting now.
void StartLiveHost(HostKind kind, const StandInOptions& options);
void RestoreSignalHandlers();

// ---- Display (display.cpp) ---------------------------------------------------------------

// Allocates display memory laid out for layout, cleared, with the display closed.
void ResetDisplay(const DisplayLayout& layout);
void ReleaseDisplay();
const uint32_t* DisplayFrame();
// The whole emulated memory block; the handed-out address lies inside it (at its start unless
// a step is negative).
const uint8_t* DisplayMemory(size_t* size);
bool ValidDisplayLayout(const DisplayLayout& layout);
// True once after GXEndDraw decoded a frame that differs from the one before.
bool TakeChangedFrame();

// ---- Clock (clock.cpp) -------------------------------------------------------------------

void ResetClockRecord(DWORD startTick, int passMs);
void StartPassSchedule(int passMs);
void AdvanceVirtualClock(DWORD milliseconds);
void SetVirtualTick(DWORD tick);
int PassCount();

// ---- Journal (journal.cpp) -----------------------------------------------------------------

// The high score file as the game found it, or as it stands.
struct ScoreFileState {
    bool existed = false;
    bool readable = false;
    std::vector<uint8_t> bytes;
};

uint32_t JournalChecksum(const uint8_t* bytes, size_t size);
// Reads a whole journal into the replay record; false with problem set to why not.
bool ParseJournal(const uint8_t* bytes, size_t size, const char** problem);
bool JournalReplaying();
bool JournalVerifying();
DWORD JournalPassEnded(DWORD passStart, DWORD tick, int passMs);
void JournalMessageTaken(const MSG& msg);
void JournalQueuePassMessages();
bool JournalDropsHostInput(UINT message);
void JournalFrameDrawn(const uint8_t* memory, size_t size);
void JournalSeed(unsigned seed);
void JournalKeys(GXKeyList* keys);
void JournalVolume(DWORD* volume);
// Queues a message from the journal for the game's window, past the replay's input filter.
void QueueJournalMessage(UINT message, WPARAM wParam, LPARAM lParam);
ScoreFileState CurrentScoreFile();
// The high score file: a recording notes it when the game first looks (files.cpp calls);
// files.cpp reads it from the system, or serves it from memory in a replay.
void JournalScoreFileSeen(const std::string& path);
ScoreFileState ReadScoreFileState(const std::string& path);
void ServeScoreFile(const ScoreFileState& state);
ScoreFileState ServedScoreFile();
int ClockPassMs();
DisplayLayout CurrentDisplayLayout();

// ---- Real host: sdlhost.cpp on the desktop, webhost.cpp in the browser -----------------

// Brings the host's events into the queue (the desktop also serves the single-instance socket).
void PumpHostEvents();
// Waits up to timeoutMs for something from outside (an event, a signal, an instance request).
void WaitHostEvent(int timeoutMs);
// Gives the processor up for nanoseconds (0: a yield); the browser's page runs meanwhile.
void SleepHost(int64_t nanoseconds);
// Creates the real window (or the page's canvas) for the game's window; false (with a line on
// stderr) on failure.
bool CreateHostWindow(const std::string& title, bool visible, void* icon);
void ShowHostWindow(bool show);
// Shows the pending frame if one is waiting and the display's refresh allows it now; the
// time (steady-clock nanoseconds) when a waiting frame may be shown, or 0 if none waits.
int64_t FlushHostWindow(int64_t nowNs);
void StopRealHost();
// The window's icon from a BMP file, pure green transparent; null when there is none.
void* LoadHostIcon(const std::string& path);
void FreeHostIcon(void* icon);

// ---- Input of the real hosts (input.cpp) -------------------------------------------------

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
void ResetHostInput();
void MouseButton(bool down, int x, int y, int width, int height);
void MouseMove(int x, int y, int width, int height);
void FingerEvent(FingerPhase phase, int64_t finger, int x, int y, int width, int height);
bool KeyEvent(WORD key, bool down, bool repeat, int scanCode);
void PadButtonEvent(int pad, PadButton button, bool down);
void PadAxisEvent(int pad, PadAxis axis, int value);
void PadGone(int pad);
void ReleaseHeldInput();
void ActivationEvent(bool active);
void CloseEvent();

// The virtual-key code for an SDL key code, 0 for keys the game never sees (sdlhost.cpp).
WORD VirtualKeyForKeycode(int32_t keycode);

// The window's scale: the one asked for (0: the largest up to 16) lowered to the largest that
// fits a usable desktop area of width x height with room for the window's frame; at least 1.
int FitScale(int asked, int width, int height);

// ---- X display (x11.cpp) -----------------------------------------------------------------

struct SDL_Window;
// False only when the window is on an X server that no window manager runs.
bool WindowManagerRuns(SDL_Window* window);
// On X, a lost connection ends the game with one line on stderr.
void WatchDisplayConnection(SDL_Window* window);

// ---- Single instance (instance.cpp) ------------------------------------------------------

// True when another process of this user runs a window of className.
bool OtherCopyRunning(const std::u16string& className);
// Publishes this process's window of className for other copies to find.
void PublishInstance(const std::u16string& className);
// Asks the copy running className to raise its window; false if nobody answered.
bool AskOtherCopyToRaise(const std::u16string& className);
// Accepts pending raise requests (non-blocking); the number accepted.
int ServeInstanceRequests();
// Total raise requests this process has served since it published.
int InstanceRaiseRequests();
void WithdrawInstance();

// ---- The player's choices as the game asks for them (settings.cpp) ---------------------

// Each host's start: the keys GXGetDefaultKeys hands out, and whether waveOutGetVolume says
// the device is turned down.
void UsePlayerChoices(const GameKeys& keys, bool startMuted);
const GameKeys& PlayerKeys();

// ---- Module path (files.cpp) -------------------------------------------------------------

// The executable's own path as UTF-8 (headless: HeadlessOptions.modulePath when set).
std::string ModulePath();
void SetHeadlessModulePath(const char* path);
// The install's share/ folder, relative to the program as installed (no closing '/').
std::string SharedDataFolder();
// A per-user XDG folder: $variable when absolute, else the home folder followed by belowHome;
// empty when there is no home folder.
std::string UserFolder(const char* variable, const char* belowHome);
// Makes a folder and any missing ones above it, private to the user; false when it can't.
bool MakeFolders(const std::string& folder);

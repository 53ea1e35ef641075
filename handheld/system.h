// The stand-in's own records behind the handheld's interfaces, as its files share them and as
// the rooms built on it reach them: the headless host, the journal, the desktop services.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "handheld/gx.h"
#include "handheld/host.h"
#include "handheld/standin.h"
#include "handheld/winapi.h"

// ---- The host (host.cpp) -------------------------------------------------------------------

// A host's start (its interface) and end (null): the one that serves from now on.
void SwitchHost(const HostInterface* host);

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

// A live host taking over: the real window made for the game's; false when it can't be had.
bool GiveGameWindowToHost();
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
// Queues a message from the journal for the game's window, past the replay's input filter.
void QueueJournalMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Key messages carry the key's scan code in lParam bits 16 to 23, as Windows' do. A keyboard's
// keys have one; a game controller's buttons have none, so TranslateMessage makes no
// character from them.
constexpr int KeyScanCodeShift = 16;
void ResetMessages();
// The pause, instead of the game's pump: the host's events and the signals come into the queue;
// true when a close request waits there.
bool PumpHostEventsWhilePaused();
// The quit signal caught last (SIGINT, SIGTERM or SIGHUP), 0 before any.
int QuitSignal();
// What the game was last told of its input: the keys it holds, its stylus, its activation.
void TakenInput(std::vector<WORD>* keysDown, bool* penDown, bool* active);

// ---- Display (display.cpp) ---------------------------------------------------------------

// Allocates display memory laid out for layout, cleared, with the display closed.
void ResetDisplay(const DisplayLayout& layout);
void ReleaseDisplay();
// The whole emulated memory block; the handed-out address lies inside it (at its start unless
// a step is negative).
const uint8_t* DisplayMemory(size_t* size);
DisplayLayout CurrentDisplayLayout();
// Whether a changed frame waits for the window (TakeChangedFrame would give true).
bool FrameWaiting();
// A live host taking over a game whose frames went undecoded: the whole frame decoded anew.
void DecodeWholeFrame();

// ---- Clock (clock.cpp) -------------------------------------------------------------------

void ResetClockRecord(DWORD startTick, int passMs);
// After a pause: the next pass is due now, the tick where it stood.
void RestartPassSchedule();
// The steady clock's nanoseconds, as a host's flushWindow takes them.
int64_t SteadyNanoseconds();
void StartPassSchedule(int passMs);
void AdvanceVirtualClock(DWORD milliseconds);
// The tick the pass now running reads: the headless host's clock set, a replay's start, a live
// host's start on a score server's challenge.
void SetVirtualTick(DWORD tick);
int PassCount();
int ClockPassMs();

// ---- Input of the real hosts (input.cpp) -------------------------------------------------

void ResetHostInput();
// A live host taking over a running game: nothing held; the game's held keys and stylus let go
// and its window given the player in its next pass.
void TakeOverGameInput();

// ---- The pause (pause.cpp) ---------------------------------------------------------------

// What a key or button means to the pause: nothing, pause and play on, or (Escape, Back) pause
// and, paused, leave the game.
enum class PauseKey { None, Toggle, Back };
// A live host's start: not paused, nothing to pause yet.
void ResetPause(bool onFocusLoss);
bool Paused();
// A press (or a held key's repeat) as the pause sees it; true when it keeps it from the game.
bool PauseTakesPress(PauseKey meaning, bool repeat);
void PauseAway(bool away);
void PauseOnFocusLoss();
// A close request cannot wait for the player to come back.
void EndPauseForClose();
// A resumed game, taken over by a live host: paused until the player plays on.
void HoldResumedGame(bool onFocusLoss);

// ---- The player's choices as the game asks for them (choices.cpp) ------------------------

// Each host's start: the keys GXGetDefaultKeys hands out, and whether waveOutGetVolume says
// the device is turned down.
void UsePlayerChoices(const GameKeys& keys, bool startMuted);
const GameKeys& PlayerKeys();

// ---- Files (files.cpp) ----------------------------------------------------------------------

// A path for ModulePath to report instead of the executable's (empty: the executable's own).
void SetModulePath(const char* path);
// The install's share/ folder, relative to the program as installed (no closing '/').
std::string SharedDataFolder();
// A per-user XDG folder: $variable when absolute, else the home folder followed by belowHome;
// empty when there is no home folder.
std::string UserFolder(const char* variable, const char* belowHome);
// Makes a folder and any missing ones above it, private to the user; false when it can't.
bool MakeFolders(const std::string& folder);
// A lock file at path (made when missing, never through a link), held exclusively: its
// descriptor, or -1 when it can't be had; ReleaseLockFile gives it up.
int TakeLockFile(const std::string& path);
void ReleaseLockFile(int fd);

// The high score file as the game found it, or as it stands.
struct ScoreFileState {
    bool existed = false;
    bool readable = false;
    std::vector<uint8_t> bytes;
};

// The high score file of a journalled run: read as it stands on the system, or served from
// memory in a replay, where the game reads what the recorded game read and writes nowhere.
ScoreFileState ReadScoreFileState(const std::string& path);
void ServeScoreFile(const ScoreFileState& state);
ScoreFileState ServedScoreFile();

// ---- What crosses from the system into the game, and whoever watches it ------------------

// The journal watches every crossing: a recording notes what came in, a replay hands the
// recorded crossings back instead. Without a watcher the system is served as it is.
struct CrossingWatch {
    // Whether the game replays a journal (the high score file is then served from memory,
    // and Sleep does not move a virtual clock the journal moves).
    bool (*replaying)() = nullptr;
    // Whether the replay only checks frames (then nobody looks at the picture).
    bool (*verifying)() = nullptr;
    // The end of a pass, after the host moved the clock on from passStart to tick: the tick
    // the next pass reads.
    DWORD (*passEnded)(DWORD passStart, DWORD tick, int passMs) = nullptr;
    // The pump took a message the host sent the game.
    void (*messageTaken)(const MSG& msg) = nullptr;
    // The pass's first look into the queue.
    void (*queuePassMessages)() = nullptr;
    // A message from the host for the game: true when it is to be dropped.
    bool (*dropsHostInput)(UINT message) = nullptr;
    // GXEndDraw, when the display memory changed.
    void (*frameDrawn)(const uint8_t* memory, size_t size) = nullptr;
    void (*seed)(unsigned seed) = nullptr;
    void (*keys)(GXKeyList* keys) = nullptr;
    void (*volume)(DWORD* volume) = nullptr;
    // The game first looked at its high score file.
    void (*scoreFileSeen)(const std::string& path) = nullptr;
    // One try of the sound device: attempt runs, or a recorded answer comes back.
    SoundDevice (*soundTry)(SoundDevice (*attempt)(void*), void* context) = nullptr;
    // Whether the journal replayed was recorded when the keyboard's cursor was drawn into the
    // picture.
    bool (*cursorInPicture)() = nullptr;
};

// The journal, when it starts and ends a recording or a replay (null: nobody watches).
void WatchCrossings(const CrossingWatch* watch);
// The watcher now, or null.
const CrossingWatch* Watcher();
// Whether a replay runs: the watcher says so.
bool ReplayRuns();

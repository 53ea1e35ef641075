// What the desktop and browser stand-in adds to the handheld's own interfaces, as the game and
// the program see it: the player's options, the pace of the loop, signals and sound output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "handheld/winapi.h"

// How the emulated display memory is laid out: bits per pixel and the byte steps between
// neighbouring pixels and rows, as GXGetDisplayProperties reports them.
struct DisplayLayout {
    int depth;
    int xStep;
    int yStep;
};

constexpr DisplayLayout DefaultDisplayLayout{16, 2, 480};

// The codes of the eight game keys, in GXKeyList's order: up, down, left, right, A, B, C and
// start.
constexpr int GameKeyCount = 8;
struct GameKeys {
    WORD codes[GameKeyCount];
    bool operator==(const GameKeys&) const = default;
};
constexpr GameKeys DefaultGameKeys{{VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, 'Z', 'X', 'C', VK_RETURN}};

constexpr int LargestScaleOption = 8;
// The scale "fit-sharp": the window as large as the desktop holds, the screen enlarged by the
// largest whole factor and then smoothly to the window's size.
constexpr int FitSharpScale = -1;

// Everything the player may choose: from the settings file, then the command line.
struct StandInOptions {
    // The window as a multiple of 240 x 320; 0 for the largest that fits, or FitSharpScale.
    int scale = 0;
    bool fullscreen = false;
    DisplayLayout display = DefaultDisplayLayout;
    int passMs = 13;
    std::string audioDriver;  // a libmikmod driver alias; empty for the audio layer's own order
    bool startMuted = false;
    GameKeys keys = DefaultGameKeys;
    bool pauseOnFocusLoss = true;
    // The world high score table's address: each new high score game goes there. Empty (the
    // default): games are kept but never sent.
    std::string scoreServer;
    // Whether a start goes on with the game the program's end interrupted (from its journal).
    bool resume = true;
};

// Reads "16", "16:2:512", "16:-640:2", "4", "2", "2:1:64"...; false for anything else.
bool ParseDisplayLayout(const char* text, DisplayLayout* layout);
// Reads a whole decimal number strictly: digits only, within [low, high].
bool ParseWholeNumber(const char* text, int low, int high, int* value);
// True for the layouts the stand-in emulates: ParseDisplayLayout's, and the 8-bit palette
// display the headless tests ask for directly.
bool ValidDisplayLayout(const DisplayLayout& layout);

// main, first of all: from now on SIGINT, SIGTERM and SIGHUP ask the game to close (once its
// window exists), and SIGPIPE is ignored, so a write to a closed socket or pipe fails instead of
// ending the process. StartStandIn calls it too; StopStandIn gives the signals back.
void InstallSignalHandlers();

// The keyboard's and the controller's cursor over a screen's targets: the screen a pass draws
// shows it round the screen pixels from left, top to right, bottom; the host draws it over the
// picture (a white outline there, a black one inside it), never into display memory. A pass
// that shows none hides it.
struct CursorOutline {
    int left, top, right, bottom;
    bool operator==(const CursorOutline&) const = default;
};
void ShowCursorOver(int left, int top, int right, int bottom);
// The cursor over the frame the host shows, or null.
const CursorOutline* FrameCursor();
// True while a journal recorded when the cursor was drawn into the picture replays: the game
// draws it there again, as the recording saw it.
bool CursorInPicture();

// Called once per pass of the game (by PresentFrame): holds the loop to one pass every
// passMs milliseconds and refreshes the window when the frame changed. The player's input that
// arrives while it waits is handed to the game then, through takeInput, as the pass's own.
using InputTaker = void (*)();
void PaceFrame(InputTaker takeInput = nullptr);

// What the game's loop is at, for the pause: nothing a pause may hold (loading, the credits),
// a screen (a hidden or minimised window pauses it), or a game in play (the pause keys and a
// lost focus pause it too).
enum class PauseScope { Never, Screen, Game };
void SetPauseScope(PauseScope scope);
// PresentFrame, after PaceFrame: while the game is paused, waits there.
void HoldWhilePaused();

// libmikmod's SDL driver mixes on the desktop's audio thread, which holds the audio device's
// lock and then takes libmikmod's; the game takes the device's lock first around its own calls
// into libmikmod, so the two threads never wait on each other in opposite orders.
void LockAudioOutput();
void UnlockAudioOutput();

// What a try of libmikmod's SDL or ALSA driver would find: no device, a device another
// program holds for now, or one to open.
enum class SoundDevice { Missing, Busy, Ready };
SoundDevice SdlSoundDevice();
SoundDevice AlsaSoundDevice();
// Each try of the audio layer to start the sound goes through here, so that a journal holds
// its answer: live, attempt runs and its answer comes back. A replay gives back a recorded
// Busy without asking the device, so it waits exactly the passes the recorded game waited;
// for the try that ended the wait, attempt runs, and a device that fails then is Missing.
SoundDevice TrySoundDevice(SoundDevice (*attempt)(void*), void* context);
// Pauses and closes SDL's audio device (nothing when none is open); called with no lock held.
void CloseAudioOutput();
// The pause: the sound output stands still (hold) and goes on where it stood.
void HoldAudioOutput(bool hold);
// Lets SDL's audio thread run for a moment of real time, on any host.
void WaitAudioOutput();

// Hook run at the end of every pass (inside PaceFrame), after the clock moved on.
using PassHook = void (*)(int pass, void* context);
void SetPassHook(PassHook hook, void* context);

// What the desktop stand-in needs beyond the handheld's own interfaces: start-up options,
// the pace of the loop, and the headless host that tests drive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/winapi.h"

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
};

// ---- Settings file: $XDG_CONFIG_HOME/marrowdale/marrowdale.ini -------------------------

// Sets one setting by its name in the file ("scale", "fullscreen", "key-a"...) from its text;
// null when done, else what the value should have been (options untouched). main applies the
// command line's options with it too.
const char* ApplySetting(StandInOptions* options, const char* name, const char* value);
// main: the file's settings over options; a damaged line is reported with its number on
// stderr and skipped. What was read is remembered as the file's state.
void LoadSettings(StandInOptions* options);
// main, for --reset-settings: the defaults are remembered, and the file rewritten at exit.
void ResetSettings();
// The real host, when the player toggles full screen or changes the window's scale.
void RememberFullScreen(bool fullscreen);
void RememberScale(int scale);
// main, after WinMain: rewrites the file when a remembered setting changed; false (after one
// line on stderr) when it cannot be written.
bool SaveSettings();

// Reads "16", "16:2:512", "16:-640:2", "4", "2", "2:1:64"...; false for anything else.
bool ParseDisplayLayout(const char* text, DisplayLayout* layout);
// Reads a whole decimal number strictly: digits only, within [low, high].
bool ParseWholeNumber(const char* text, int low, int high, int* value);

// main, first of all: from now on SIGINT and SIGTERM ask the game to close (once its window
// exists), and SIGPIPE is ignored, so a write to a closed socket or pipe fails instead of
// ending the process. StartStandIn calls it too; StopStandIn gives the signals back.
void InstallSignalHandlers();

// Opens SDL (video, audio, controllers) for the real window. False, with one line on
// stderr, when no video device or no display can be had.
bool StartStandIn(const StandInOptions& options);
// Closes the window and SDL; called once after WinMain returns.
void StopStandIn();

// Called once per pass of the game (by PresentFrame): holds the loop to one pass every
// passMs milliseconds and refreshes the window when the frame changed.
void PaceFrame();

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
// Lets SDL's audio thread run for a moment of real time, on any host.
void WaitAudioOutput();

// Hook run at the end of every pass (inside PaceFrame), after the clock moved on.
using PassHook = void (*)(int pass, void* context);
void SetPassHook(PassHook hook, void* context);

// ---- Journal: a game recorded, and replayed exactly ------------------------------------------

struct JournalHeader {
    int version;
    int passMs;
    DisplayLayout display;
    DWORD startTick;
    uint64_t passes;  // in the whole journal
};

// --record FILE: the file is made before the host starts, the header written once it has;
// false with one line on stderr.
bool OpenRecording(const char* path);
bool StartRecording();
// --replay FILE: reads and checks the whole journal; false with one line on stderr.
bool LoadJournal(const char* path, JournalHeader* header);
// Once a host has started with the header's pace and display: the recorded game plays. With
// verify every frame and the scores are compared and a difference ends the program with
// status 1 after one line on stderr; without, the host's own input is ignored but for a close,
// which ends the replay.
void StartReplay(bool verify);
// After WinMain: the recording is finished, or the replay checked to its end; the exit status.
int EndJournal();

// ---- Headless host: the same interfaces with a virtual clock and no window -------------

struct HeadlessOptions {
    DisplayLayout display = DefaultDisplayLayout;
    GameKeys keys = DefaultGameKeys;
    bool startMuted = false;
    int passMs = 13;
    DWORD startTick = 1000;
    // Path GetModuleFileNameW reports (UTF-8); the data folders are found beside it.
    const char* modulePath = nullptr;
};


// Replaces the real host by the headless one and resets every platform record (window,
// class, queue, display, clock). Tests call it before each run.
void StartHeadlessHost(const HeadlessOptions& options);
void StopHeadlessHost();
bool HeadlessActive();

void HeadlessSetPassHook(PassHook hook, void* context);
int HeadlessPassCount();
void HeadlessAdvanceClock(DWORD milliseconds);
void HeadlessSetTick(DWORD tick);

// The emulated display memory as the game last wrote it, and its size in bytes. The block
// starts at the address GXBeginDraw hands out, unless a step is negative: then that address
// lies inside the block, so that every write the game makes for the layout stays in it.
const uint8_t* HeadlessDisplayMemory(size_t* size);
// The frame as the window would show it: 240 x 320 pixels of 0x00RRGGBB, top row first.
void HeadlessDecodedFrame(uint32_t* pixels);
// The game's window, once created (nullptr before).
HWND HeadlessMainWindow();
// Whether the handheld's taskbar window is shown, and the flags of the last SHFullScreen.
bool HeadlessTaskbarVisible();
DWORD HeadlessFullScreenState();

// Scripted input, queued as the window's messages for the next pump.
void HeadlessStylusDown(int x, int y);
void HeadlessStylusMove(int x, int y);
void HeadlessStylusUp();
void HeadlessKeyDown(int code);
void HeadlessKeyUp(int code);
void HeadlessClose();

// The headless host tests drive: the handheld's interfaces with a virtual clock, scripted
// input and readable display memory, and no window.
#pragma once

#include <cstddef>
#include <cstdint>

#include "handheld/standin.h"
#include "handheld/winapi.h"

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

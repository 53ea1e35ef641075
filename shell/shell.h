// The game's platform shell, below the game and the entry alike: the input latches the window
// procedure sets and the screens read, the frame pump and the game clock.
#pragma once

#include <cstdint>

#include "handheld/gx.h"
#include "handheld/winapi.h"

// ---- Input latches ---------------------------------------------------------------------

// The device's button codes, copied whole from GXGetDefaultKeys.
extern GXKeyList KeyMap;

// Characters typed in one pump that the next pass can take; more are dropped.
constexpr int TypedSlots = 16;

// What a key means to the screens' keyboard and controller navigation (the desktop's and the
// browser's addition); presses are kept for the pass after their pump only. A controller's
// Start is DONE on name entry, its B back from the picture screens.
enum NavigationPress : uint16_t {
    NavUp = 1, NavDown = 2, NavLeft = 4, NavRight = 8, NavSelect = 16, NavBack = 32, NavMute = 64,
    NavDone = 128, NavCancel = 256,
};

struct InputLatches {
    bool tapPending;
    uint32_t tapX, tapY;
    uint32_t penX, penY;
    bool penDown;
    bool aPressed;
    bool bPressed;
    bool leftHeld, rightHeld, upHeld, downHeld;
    uint16_t typed[TypedSlots];  // oldest first
    int32_t typedCount;
    bool charactersWanted;  // the pass that ran asks for the coming pump's characters
    bool typingOpen;        // this pump's characters may type
    uint8_t typingScanCode; // the key whose repeats may type: pressed while typing was open
    uint16_t navigation;     // NavigationPress bits of the last pump
    uint16_t padNavigation;  // those of them pressed by keys that type nothing (a controller's)
};
extern InputLatches Latches;

void OnKeyDown(int16_t code);
void OnKeyUp(int16_t code);
void OnStylusDown(uint16_t x, uint16_t y);
void OnStylusMove(uint16_t x, uint16_t y);
void OnStylusUp();
void OnCharacter(uint16_t character, uint8_t scanCode, bool repeat);
void OnNavigationKey(int16_t code, uint8_t scanCode, bool repeat);
void StartPumpInput();
void WantCharacters();
void DropKeyPress(int16_t code);

bool TakeTap();
int TapX();
int TapY();
int PenX();
int PenY();
bool PenDown();
bool TakeKeyA();
bool TakeKeyB();
uint16_t TakeCharacter();
bool TakeNavigation(uint16_t presses, bool padOnly);
bool HeldLeft();
bool HeldRight();
bool HeldUp();
bool HeldDown();

// ---- Frame pump and clock --------------------------------------------------------------

extern uint32_t ClockZero;
extern bool Inactive;

void PresentFrame(bool present);
void PumpMessages();
void ResetClock();
int32_t ElapsedMs();
uint32_t TickCount();

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
};
extern InputLatches Latches;

void OnKeyDown(int16_t code);
void OnKeyUp(int16_t code);
void OnStylusDown(uint16_t x, uint16_t y);
void OnStylusMove(uint16_t x, uint16_t y);
void OnStylusUp();
void OnCharacter(uint16_t character);
void ForgetCharacters();
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

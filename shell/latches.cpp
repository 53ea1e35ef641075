// Input latches: the window procedure sets them, the screen handlers poll and clear them.
#include "shell/shell.h"

GXKeyList KeyMap;
InputLatches Latches;

// Window procedure, WM_KEYDOWN: every button carrying this code is pressed or held.
void OnKeyDown(int16_t code) {
    if (code == KeyMap.vkA) Latches.aPressed = true;
    if (code == KeyMap.vkB) Latches.bPressed = true;
    if (code == KeyMap.vkLeft) Latches.leftHeld = true;
    if (code == KeyMap.vkRight) Latches.rightHeld = true;
    if (code == KeyMap.vkUp) Latches.upHeld = true;
    if (code == KeyMap.vkDown) Latches.downHeld = true;
}

// Window procedure, WM_KEYUP: releases the held buttons and A; a B press stays latched.
void OnKeyUp(int16_t code) {
    if (code == KeyMap.vkLeft) Latches.leftHeld = false;
    if (code == KeyMap.vkRight) Latches.rightHeld = false;
    if (code == KeyMap.vkUp) Latches.upHeld = false;
    if (code == KeyMap.vkDown) Latches.downHeld = false;
    if (code == KeyMap.vkA) Latches.aPressed = false;
}

// Window procedure, WM_LBUTTONDOWN: a tap, and the pen goes down there.
void OnStylusDown(uint16_t x, uint16_t y) {
    Latches.tapX = x;
    Latches.tapY = y;
    Latches.tapPending = true;
    Latches.penDown = true;
    Latches.penX = x;
    Latches.penY = y;
}

// Window procedure, WM_MOUSEMOVE: only the pen position follows.
void OnStylusMove(uint16_t x, uint16_t y) {
    Latches.penX = x;
    Latches.penY = y;
}

// Window procedure, WM_LBUTTONUP.
void OnStylusUp() { Latches.penDown = false; }

// Window procedure, WM_CHAR: one more character for the next pass, typed while name entry
// shows. A held key's repeats type only when its press did: a key held since before the screen
// showed (the fire key at the end of a game) types nothing.
void OnCharacter(uint16_t character, uint8_t scanCode, bool repeat) {
    if (!Latches.typingOpen || (repeat && scanCode != Latches.typingScanCode)) return;
    Latches.typingScanCode = scanCode;
    if (Latches.typedCount == TypedSlots) return;
    Latches.typed[Latches.typedCount++] = character;
}

namespace {

// No key has this code.
constexpr int16_t NoKey = -1;

// One of the desktop's own keys (Space, Escape, M), or NoKey when the player put a game button
// on it: such a key is that button only.
int16_t OwnKey(int16_t code) {
    const int16_t buttons[] = {KeyMap.vkUp, KeyMap.vkDown, KeyMap.vkLeft, KeyMap.vkRight,
                               KeyMap.vkA,  KeyMap.vkB,    KeyMap.vkC,    KeyMap.vkStart};
    for (int16_t button : buttons) {
        if (button == code) return NoKey;
    }
    return code;
}

}  // namespace

// Window procedure, WM_KEYDOWN: the navigation presses of the key, on top of its game button.
// A key that comes without a scan code is a controller's button. A held key's repeats move a
// cursor on, but select, go back or mute only once: held through a change of screen, Escape
// must not leave the next one too.
void OnNavigationKey(int16_t code, uint8_t scanCode, bool repeat) {
    struct NavigationKey {
        int16_t code;
        uint16_t press;
    };
    const NavigationKey keys[] = {
        {KeyMap.vkUp, NavUp},          {KeyMap.vkDown, NavDown},    {KeyMap.vkLeft, NavLeft},
        {KeyMap.vkRight, NavRight},    {KeyMap.vkStart, NavSelect}, {OwnKey(VK_SPACE), NavSelect},
        {OwnKey(VK_ESCAPE), NavBack},  {OwnKey('M'), NavMute},      {VK_GAMEPAD_MENU, NavDone},
        {VK_GAMEPAD_B, NavCancel}};
    constexpr uint16_t Directions = NavUp | NavDown | NavLeft | NavRight;
    for (const NavigationKey& key : keys) {
        if (code != key.code || (repeat && !(key.press & Directions))) continue;
        Latches.navigation |= key.press;
        if (scanCode == 0) Latches.padNavigation |= key.press;
    }
}

// The pump, before it runs: characters and navigation presses wait for the next pass only,
// and characters come in only when the pass that ran asked for them.
void StartPumpInput() {
    Latches.typedCount = 0;
    Latches.navigation = 0;
    Latches.padNavigation = 0;
    Latches.typingOpen = Latches.charactersWanted;
    Latches.charactersWanted = false;
    if (!Latches.typingOpen) Latches.typingScanCode = 0;
}

// Name entry, on each pass it stays: the coming pump's characters are its.
void WantCharacters() { Latches.charactersWanted = true; }

// Name entry, for a key that typed there: it presses no game button as well.
void DropKeyPress(int16_t code) {
    if (code == KeyMap.vkA) Latches.aPressed = false;
    if (code == KeyMap.vkB) Latches.bPressed = false;
}

// Every screen: true once per tap since the last call.
bool TakeTap() {
    bool pending = Latches.tapPending;
    Latches.tapPending = false;
    return pending;
}

int TapX() { return static_cast<int>(Latches.tapX); }
int TapY() { return static_cast<int>(Latches.tapY); }
int PenX() { return static_cast<int>(Latches.penX); }
int PenY() { return static_cast<int>(Latches.penY); }
bool PenDown() { return Latches.penDown; }

// Play: true once per press of A (a release before the read cancels it).
bool TakeKeyA() {
    bool pressed = Latches.aPressed;
    Latches.aPressed = false;
    return pressed;
}

// Play: true once per press of B, released or not.
bool TakeKeyB() {
    bool pressed = Latches.bPressed;
    Latches.bPressed = false;
    return pressed;
}

// Name entry: the oldest character typed in the last pump, or 0 when none is left.
uint16_t TakeCharacter() {
    if (Latches.typedCount == 0) return 0;
    uint16_t character = Latches.typed[0];
    --Latches.typedCount;
    for (int32_t i = 0; i < Latches.typedCount; ++i) Latches.typed[i] = Latches.typed[i + 1];
    return character;
}

// Menu, help, about, score table, play and name entry: true when any of presses came in the
// last pump (padOnly: by a controller); they are taken.
bool TakeNavigation(uint16_t presses, bool padOnly) {
    uint16_t pressed = (padOnly ? Latches.padNavigation : Latches.navigation) & presses;
    Latches.navigation &= static_cast<uint16_t>(~presses);
    Latches.padNavigation &= static_cast<uint16_t>(~presses);
    return pressed != 0;
}

bool HeldLeft() { return Latches.leftHeld; }
bool HeldRight() { return Latches.rightHeld; }
bool HeldUp() { return Latches.upHeld; }
bool HeldDown() { return Latches.downHeld; }

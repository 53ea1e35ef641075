// What a real host's input becomes: mouse and fingers as the stylus, keys, controllers, activation.
#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "handheld/system.h"

namespace {

// Stick travel (of 32767) that presses a direction, and the travel below which it lets go.
constexpr int StickPress = 16000;
constexpr int StickRelease = 12000;
constexpr WPARAM StylusButton = 0x0001;
// A controller's held button repeats as the X server's default keyboard does: after 660 ms,
// 25 times a second.
constexpr std::chrono::milliseconds PadRepeatDelay(660);
constexpr std::chrono::milliseconds PadRepeatEvery(40);
// Key message lParam: a repeat count of 1, bit 31 the key is going up.
constexpr LPARAM KeyRepeatCount = 1;
constexpr LPARAM KeyGoingUp = LPARAM{1} << 31;

// The game keys by their place in GameKeys: a controller presses whatever key the player
// put the game's button on.
enum GameKeySlot { SlotUp, SlotDown, SlotLeft, SlotRight, SlotA, SlotB, SlotC, SlotStart };

// A controller button presses the key of a game button, or (slot NoSlot) a key of its own.
constexpr int NoSlot = -1;
struct PadKey {
    PadButton button;
    int slot;
    WORD key;
};

// Controller buttons: d-pad as the directions, left face and shoulder as A, right ones as B,
// the bottom face and Start as start (Enter: select on the screens; Start pauses a game), Back
// as Escape and the top face as M (mute). B and Start also press their own keys (B goes back
// from the picture screens, Start is DONE on name entry), first, so that a held button repeats
// the game's.
constexpr PadKey PadKeys[] = {
    {PadUp, SlotUp, 0},       {PadDown, SlotDown, 0},          {PadLeft, SlotLeft, 0},
    {PadRight, SlotRight, 0}, {PadWest, SlotA, 0},             {PadLeftShoulder, SlotA, 0},
    {PadEast, NoSlot, VK_GAMEPAD_B}, {PadEast, SlotB, 0},      {PadRightShoulder, SlotB, 0},
    {PadSouth, SlotStart, 0}, {PadStart, NoSlot, VK_GAMEPAD_MENU}, {PadStart, SlotStart, 0},
    {PadBack, NoSlot, VK_ESCAPE}, {PadNorth, NoSlot, 'M'},
};

struct HostInput {
    ScreenFit fit = ScreenFit::Whole;
    bool active = true;
    bool mouseDown = false;
    bool fingerDown = false;
    int64_t finger = 0;
    std::set<WORD> keysHeld;
    // Which controller sources (pad << 16 | source) hold each key down.
    std::map<WORD, std::set<int64_t>> padHolds;
    // Stick direction (-1, 0, 1) by pad << 8 | axis.
    std::map<int64_t, int> stickDirections;
    // The controller's key that repeats (the last one pressed, while held), and when next.
    WORD repeatKey = 0;
    std::chrono::steady_clock::time_point repeatAt;
};

HostInput Input;

void QueueToGame(UINT message, WPARAM wParam, LPARAM lParam) {
    QueueMessage(GameWindow(), message, wParam, lParam, true);
}

// A key message; only the keyboard's keys give a scan code (controller buttons and
// releases made up on focus loss have none).
void QueueKey(WORD key, bool down, bool repeat, int scanCode = 0) {
    LPARAM flags = KeyRepeatCount | (down ? (repeat ? KeyWasDown : 0) : KeyWasDown | KeyGoingUp);
    flags |= LPARAM{scanCode & 0xFF} << KeyScanCodeShift;
    QueueToGame(down ? WM_KEYDOWN : WM_KEYUP, key, flags);
}

void QueueStylus(UINT message, int x, int y, int width, int height) {
    POINT p = AreaToScreen(x, y, width, height, Input.fit);
    QueueToGame(message, message == WM_LBUTTONUP ? 0 : StylusButton,
                MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

// A key stays down while any controller source holds it; the last one pressed repeats.
void PadHold(int64_t source, WORD key, bool down) {
    std::set<int64_t>& holders = Input.padHolds[key];
    bool wasHeld = !holders.empty();
    if (down) {
        holders.insert(source);
    } else {
        holders.erase(source);
    }
    if (wasHeld == !holders.empty()) return;
    QueueKey(key, !wasHeld, false);
    if (!wasHeld) {
        Input.repeatKey = key;
        Input.repeatAt = std::chrono::steady_clock::now() + PadRepeatDelay;
    } else if (key == Input.repeatKey) {
        Input.repeatKey = 0;
    }
}

// Whether the player put a game button on the key: it is then that button only.
bool IsPlayersKey(WORD key) {
    for (WORD code : PlayerKeys().codes) {
        if (code == key) return true;
    }
    return false;
}

// What a key means to the pause.
PauseKey PauseMeaningOfKey(WORD key) {
    if (IsPlayersKey(key)) return PauseKey::None;
    if (key == 'P' || IsPauseKey(key)) return PauseKey::Toggle;
    return key == VK_ESCAPE ? PauseKey::Back : PauseKey::None;
}

PauseKey PauseMeaningOfButton(PadButton button) {
    if (button == PadStart) return PauseKey::Toggle;
    return button == PadBack ? PauseKey::Back : PauseKey::None;
}

}  // namespace

// The whole scale when the area holds the screen at least once and the fit is whole, else the
// largest size of the screen's shape; centred either way.
ScreenPlace PlaceScreen(int width, int height, ScreenFit fit) {
    if (width <= 0 || height <= 0) return {0, 0, ScreenWidth, ScreenHeight, 1};
    int scale = std::min(width / ScreenWidth, height / ScreenHeight);
    int placedWidth = ScreenWidth * scale;
    int placedHeight = ScreenHeight * scale;
    if (scale == 0 || fit == ScreenFit::Sharp) {
        bool widthBound = width * ScreenHeight <= height * ScreenWidth;
        placedWidth = std::max(1, widthBound ? width : height * ScreenWidth / ScreenHeight);
        placedHeight = std::max(1, widthBound ? width * ScreenHeight / ScreenWidth : height);
    }
    return {(width - placedWidth) / 2, (height - placedHeight) / 2, placedWidth, placedHeight,
            std::max(1, scale)};
}

// Area point to screen pixel; points in the bars or outside the area are clamped.
POINT AreaToScreen(int x, int y, int width, int height, ScreenFit fit) {
    ScreenPlace place = PlaceScreen(width, height, fit);
    long long sx = (static_cast<long long>(x) - place.x) * ScreenWidth / place.width;
    long long sy = (static_cast<long long>(y) - place.y) * ScreenHeight / place.height;
    return {static_cast<LONG>(std::clamp<long long>(sx, 0, ScreenWidth - 1)),
            static_cast<LONG>(std::clamp<long long>(sy, 0, ScreenHeight - 1))};
}

bool IsPauseKey(WORD key) { return key == VK_PAUSE; }

// Letters (upper case), digits, arrows, Enter, Escape, Space, Tab and Backspace.
bool IsGameKey(WORD key) {
    return (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') ||
           (key >= VK_LEFT && key <= VK_DOWN) || key == VK_RETURN || key == VK_ESCAPE ||
           key == VK_SPACE || key == VK_TAB || key == VK_BACK;
}

// Host start: nothing held, the game active.
void ResetHostInput() { Input = HostInput{}; }

// A live host taking over a game that ran without one: nothing held, as at a start, and what
// the game was last told put right in its next pass: the keys and stylus it holds let go, its
// window given the player.
void TakeOverGameInput() {
    std::vector<WORD> keysDown;
    bool penDown = false;
    bool active = true;
    TakenInput(&keysDown, &penDown, &active);
    Input = HostInput{};
    for (WORD key : keysDown) QueueKey(key, false, false);
    if (penDown) QueueToGame(WM_LBUTTONUP, 0, 0);
    if (!active) QueueToGame(WM_ACTIVATE, WA_ACTIVE, 0);
}

void SetScreenFit(ScreenFit fit) { Input.fit = fit; }

// The mouse's left button; a release is sent only for a press the game saw.
void MouseButton(bool down, int x, int y, int width, int height) {
    if (down && PauseTakesPress(PauseKey::None, false)) return;
    if (!down && !Input.mouseDown) return;
    Input.mouseDown = down;
    QueueStylus(down ? WM_LBUTTONDOWN : WM_LBUTTONUP, x, y, width, height);
}

// The handheld's screen has no hover: moves count only while the button is down.
void MouseMove(int x, int y, int width, int height) {
    if (Input.mouseDown) QueueStylus(WM_MOUSEMOVE, x, y, width, height);
}

// The first finger down is the stylus until it lifts; other fingers are ignored.
void FingerEvent(FingerPhase phase, int64_t finger, int x, int y, int width, int height) {
    bool isStylus = Input.fingerDown && finger == Input.finger;
    UINT message = WM_MOUSEMOVE;
    if (phase == FingerPhase::Down) {
        if (Input.fingerDown || PauseTakesPress(PauseKey::None, false)) return;
        Input.fingerDown = true;
        Input.finger = finger;
        message = WM_LBUTTONDOWN;
    } else if (!isStylus) {
        return;
    } else if (phase == FingerPhase::Up) {
        Input.fingerDown = false;
        message = WM_LBUTTONUP;
    }
    QueueStylus(message, x, y, width, height);
}

// A keyboard key by its virtual-key code and scan code; false (nothing sent) for keys the game
// never sees. A release is sent only for a key whose press the game saw; the pause may keep
// a press (0: a key of no meaning here) from the game.
bool KeyEvent(WORD key, bool down, bool repeat, int scanCode) {
    if (down && key && PauseTakesPress(PauseMeaningOfKey(key), repeat)) return true;
    if (!IsGameKey(key)) return false;
    if (down) {
        Input.keysHeld.insert(key);
    } else if (!Input.keysHeld.erase(key)) {
        return true;
    }
    QueueKey(key, down, repeat, scanCode);
    return true;
}

// A controller button pressed or let go. Back and the top face button press nothing when the
// player put a game button on their key (Escape, M).
void PadButtonEvent(int pad, PadButton button, bool down) {
    if (down && PauseTakesPress(PauseMeaningOfButton(button), false)) return;
    for (const PadKey& entry : PadKeys) {
        if (entry.button != button || (entry.slot == NoSlot && IsPlayersKey(entry.key))) continue;
        WORD key = entry.slot == NoSlot ? entry.key : PlayerKeys().codes[entry.slot];
        PadHold((static_cast<int64_t>(pad) << 16) | button, key, down);
    }
}

// The left stick presses the arrow of its direction past StickPress, with some slack
// before it lets go so a stick held near the edge does not chatter.
void PadAxisEvent(int pad, PadAxis axis, int value) {
    const WORD* codes = PlayerKeys().codes;
    WORD negative = codes[axis == PadStickX ? SlotLeft : SlotUp];
    WORD positive = codes[axis == PadStickX ? SlotRight : SlotDown];
    int& direction = Input.stickDirections[(static_cast<int64_t>(pad) << 8) | axis];
    int next = direction;
    if (value <= -StickPress) next = -1;
    if (value >= StickPress) next = 1;
    if (value > -StickRelease && value < StickRelease) next = 0;
    if (next == direction) return;
    int64_t source = (static_cast<int64_t>(pad) << 16) | (0x100 + axis);
    if (direction != 0) PadHold(source, direction < 0 ? negative : positive, false);
    if (next != 0) PadHold(source, next < 0 ? negative : positive, true);
    direction = next;
}

// A controller unplugged: the keys only it held go up.
void PadGone(int pad) {
    for (auto& [key, holders] : Input.padHolds) {
        bool wasHeld = !holders.empty();
        std::erase_if(holders, [pad](int64_t source) { return (source >> 16) == pad; });
        if (wasHeld && holders.empty()) QueueKey(key, false, false);
        if (holders.empty() && key == Input.repeatKey) Input.repeatKey = 0;
    }
    std::erase_if(Input.stickDirections,
                  [pad](const auto& entry) { return (entry.first >> 8) == pad; });
}

// Whatever is held is let go, as the game would never see the releases (focus moved away).
void ReleaseHeldInput() {
    if (Input.mouseDown || Input.fingerDown) QueueToGame(WM_LBUTTONUP, 0, 0);
    Input.mouseDown = false;
    Input.fingerDown = false;
    for (WORD key : Input.keysHeld) QueueKey(key, false, false);
    Input.keysHeld.clear();
    for (auto& [key, holders] : Input.padHolds) {
        if (!holders.empty()) QueueKey(key, false, false);
        holders.clear();
    }
    Input.stickDirections.clear();
    Input.repeatKey = 0;
}

// The window or page gained or lost the player: WM_ACTIVATE on each change, everything held
// let go first on the way out, and a game paused (unless the settings say no).
void ActivationEvent(bool active) {
    if (active == Input.active) return;
    Input.active = active;
    if (!active) KeyboardFocusLost();
    QueueToGame(WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
}

void KeyboardFocusLost() {
    ReleaseHeldInput();
    PauseOnFocusLoss();
}

void AwayEvent(bool away) { PauseAway(away); }

// The window's close button, or the page left: it ends a pause.
void CloseEvent() {
    EndPauseForClose();
    QueueToGame(WM_CLOSE, 0, 0);
}

// A held controller button's next repeat, when due; none while paused, and never a burst.
void RepeatHeldPadKey() {
    auto now = std::chrono::steady_clock::now();
    if (!Input.repeatKey || Paused() || now < Input.repeatAt) return;
    QueueKey(Input.repeatKey, true, true);
    Input.repeatAt = now + PadRepeatEvery;
}

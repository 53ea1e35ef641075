// The pause: which presses hold the game and which free it, on every screen and in a game; and
// a held game, between two passes, with its tick standing still and no burst after.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <tuple>

#include "handheld/system.h"
#include "shell/shell.h"
#include "hosts/headless/headless.h"
#include "tests/handheld/helpers.h"

namespace {

using namespace platformtest;
using Clock = std::chrono::steady_clock;

// The messages queued for the game's window since the last look, one word each.
std::string TakeQueued(HWND window) {
    std::string seen;
    MSG msg{};
    while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
        uintptr_t l = static_cast<uintptr_t>(msg.lParam);
        if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) {
            seen += (msg.message == WM_KEYDOWN ? (l & KeyWasDown ? "again:" : "down:") : "up:") +
                    std::to_string(msg.wParam) + " ";
        } else {
            seen += msg.message == WM_ACTIVATE ? "activate:" + std::to_string(msg.wParam) + " "
                    : msg.message == WM_CLOSE  ? "close "
                                               : "stylus ";
        }
    }
    return seen;
}

constexpr PauseScope Screen = PauseScope::Screen;
constexpr PauseScope Game = PauseScope::Game;

TEST(PauseInput, KeysButtonsTapsAwayAndFocusHoldAndFreeTheGame) {
    StartHeadlessHost({});
    ResetHostInput();
    ResetPause(true);
    HWND window = CreateGameWindow(DefWindowProcW);
    auto key = [](WORD code, bool down, bool repeat = false) {
        return [=] { KeyEvent(code, down, repeat, code & 0x7F); };
    };
    auto pad = [](PadButton button, bool down) { return [=] { PadButtonEvent(0, button, down); }; };
    const std::tuple<PauseScope, std::function<void()>, const char*, bool> steps[] = {
        // On a screen, P and Escape are the game's keys, focus is the handheld's activation,
        // and a screen left while away plays on by itself when the player is back.
        {Screen, key('P', true), "down:80 ", false},       {Screen, key('P', false), "up:80 ", false},
        {Screen, key(VK_ESCAPE, true), "down:27 ", false}, {Screen, [] { ActivationEvent(false); }, "up:27 activate:0 ", false},
        {Screen, [] { ActivationEvent(true); }, "activate:1 ", false},
        {Screen, [] { AwayEvent(true); }, "", true},        {Screen, [] { AwayEvent(false); }, "", false},
        // In a game P pauses and plays on; its repeats and release never reach the game, nor
        // does anything else pressed meanwhile (only the pause keys play on).
        {Game, key('P', true), "", true},                   {Game, key('P', true, true), "", true},
        {Game, key('P', false), "", true},                  {Game, key(VK_LEFT, true), "", true},
        {Game, [] { MouseButton(true, 5, 5, 240, 320); }, "", true},
        {Game, [] { MouseButton(false, 5, 5, 240, 320); }, "", true},
        {Game, key(VK_LEFT, true, true), "", true},         {Game, pad(PadStart, true), "", false},
        {Game, pad(PadStart, false), "", false},            {Game, key(VK_PAUSE, true), "", true},
        {Game, key(VK_PAUSE, false), "", true},             {Game, key('P', true), "", false},
        // Escape (Back) pauses; paused, it plays on and goes to the game, which leaves.
        {Game, key(VK_ESCAPE, true), "", true},             {Game, key(VK_ESCAPE, true), "down:27 ", false},
        {Game, pad(PadBack, true), "", true},               {Game, pad(PadBack, false), "", true},
        {Game, pad(PadBack, true), "down:27 ", false},      {Game, key(VK_ESCAPE, false), "up:27 ", false},
        // A lost focus and being away pause; back, the game waits for any press, which is
        // not the game's; a close request cannot wait.
        {Game, [] { ActivationEvent(false); }, "up:27 activate:0 ", true},
        {Game, [] { ActivationEvent(true); }, "activate:1 ", true},
        {Game, [] { FingerEvent(FingerPhase::Down, 1, 5, 5, 240, 320); }, "", false},
        {Game, [] { FingerEvent(FingerPhase::Up, 1, 5, 5, 240, 320); }, "", false},
        {Game, [] { AwayEvent(true); }, "", true},          {Game, [] { AwayEvent(false); }, "", true},
        {Game, pad(PadSouth, true), "", false},             {Game, pad(PadSouth, false), "", false},
        {Game, [] { AwayEvent(true); }, "", true},          {Game, [] { CloseEvent(); }, "close ", false},
        // The player's own keys come first: with P as the A button, P fires.
        {Game, [] { UsePlayerChoices({{VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, 'P', 'X', 'C', VK_RETURN}}, false); }, "", false},
        {Game, key('P', true), "down:80 ", false},          {Game, key('P', false), "up:80 ", false},
        // With pause-on-focus-loss = no, a lost focus is the handheld's deactivation alone.
        {Game, [] { ResetPause(false); SetPauseScope(Game); ActivationEvent(false); }, "activate:0 ", false},
        {PauseScope::None, [] { AwayEvent(true); }, "", false},
    };
    int n = 0;
    for (const auto& [scope, step, queued, paused] : steps) {
        SCOPED_TRACE(testing::Message() << "step " << n++);
        SetPauseScope(scope);
        step();
        EXPECT_EQ(TakeQueued(window), queued);
        EXPECT_EQ(Paused(), paused);
    }
    StopHeadlessHost();
}

// A controller's held button repeats as the keyboard's keys do, and not while paused.
TEST(PauseInput, AControllersHeldButtonRepeatsAfterADelay) {
    StartHeadlessHost({});
    ResetHostInput();
    ResetPause(true);
    HWND window = CreateGameWindow(DefWindowProcW);
    SetPauseScope(Game);
    PadButtonEvent(0, PadEast, true);
    RepeatHeldPadKey();
    EXPECT_EQ(TakeQueued(window), "down:88 ");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    RepeatHeldPadKey();
    RepeatHeldPadKey();
    EXPECT_EQ(TakeQueued(window), "again:88 ") << "one repeat a look, never a burst";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    AwayEvent(true);
    RepeatHeldPadKey();
    EXPECT_EQ(TakeQueued(window), "");
    PadButtonEvent(0, PadEast, false);
    EXPECT_EQ(TakeQueued(window), "up:88 ");
    StopHeadlessHost();
}

// The live host the pause sees: its pump presses P at one look and plays on (P again, or a
// close request) at a later one; when, in passes and time, and the sign are noted.
struct HoldHost {
    int looks = 0;
    int pauseAt = 0;
    int playOnAt = 0;
    bool closeInstead = false;
    int passesAtPress = 0;
    int passesWhileHeld = -1;
    Clock::time_point pressed, firstHeldLook;
    std::string signs;
};
HoldHost Held;

void PumpHeld() {
    ++Held.looks;
    if (Held.looks == Held.pauseAt) {
        KeyEvent('P', true, false, 25);
        Held.passesAtPress = PassCount();
        Held.pressed = Clock::now();
    } else if (Held.looks == Held.pauseAt + 1) {
        Held.passesWhileHeld = PassCount();
        Held.firstHeldLook = Clock::now();
    } else if (Held.looks == Held.playOnAt && Held.closeInstead) {
        QueueMessage(GameWindow(), WM_CLOSE, 0, 0, true);  // as a signal is queued
    } else if (Held.looks == Held.playOnAt) {
        KeyEvent('P', true, false, 25);
    }
}

void ShowHeldSign(const PauseSign* sign) { Held.signs += sign ? sign->resume : "-"; }

// The game's window procedure, as far as the pause goes: the keys and closes it is handed.
std::string Handed;
LRESULT NoteHanded(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_KEYDOWN) Handed += "down:" + std::to_string(wParam) + " ";
    if (message == WM_CLOSE) Handed += "close ";
    return 0;
}

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Passes as the game's loop runs them (PresentFrame: pump, pace, pause), one look into the
// host's events a pass; P comes in the third pass's pump.
TEST(PauseHold, NoPassRunsTheTickStandsStillAndTheScheduleStartsAfreshWithoutABurst) {
    static constexpr HostInterface Live{.kind = HostKind::Real, .pumpEvents = PumpHeld,
                                        .showPause = ShowHeldSign};
    for (bool close : {false, true}) {
        SCOPED_TRACE(close ? "a close request" : "P again");
        UseHost(Live);
        ResetMessages();
        ResetWindows();
        ResetHostInput();
        ResetPause(true);
        StartPassSchedule(13);
        CreateGameWindow(NoteHanded);
        Handed.clear();
        Held = HoldHost{};
        Held.pauseAt = 3;
        Held.playOnAt = 13;
        Held.closeInstead = close;
        SetPauseScope(Game);
        DWORD tick = GetTickCount();
        Clock::time_point start = Clock::now();
        for (int pass = 0; pass < 3; ++pass) PresentFrame(false);
        EXPECT_EQ(Held.passesWhileHeld, Held.passesAtPress + 1)
            << "the pass that took P ends, and no other runs";
        EXPECT_LE(MsBetween(Held.pressed, Held.firstHeldLook), 13.0 + 5) << "within that pass";
        EXPECT_GE(MsBetween(start, Clock::now()), 2 * 13 + 9 * 20.0) << "held for ten looks";
        EXPECT_EQ(Held.signs, "P OR START: PLAY ON-");
        EXPECT_EQ(GetTickCount() - tick, 39u) << "three passes of 13 ms: no timer saw the pause";
        start = Clock::now();
        for (int i = 0; i < 3; ++i) PresentFrame(false);
        EXPECT_EQ(GetTickCount() - tick, 78u);
        EXPECT_GE(MsBetween(start, Clock::now()), 2 * 13.0 - 1) << "the schedule starts afresh: no burst";
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        PresentFrame(false);
        EXPECT_GE(GetTickCount() - tick, 78u + 60);
        EXPECT_LT(GetTickCount() - tick, 78u + 120) << "a stall after a pause moves on by itself alone";
        EXPECT_EQ(Handed, close ? "close " : "") << "only the close reaches the game";
        EndHost();
    }
}

}  // namespace

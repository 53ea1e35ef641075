// The pause: which presses hold the game and which free it, on every screen and in a game; and
// a held game, between two passes, with its tick standing still and no burst after.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include "handheld/gx.h"
#include "handheld/system.h"
#include "shell/shell.h"
#include "hosts/headless/headless.h"
#include "tests/handheld/helpers.h"

namespace {

using namespace platformtest;
using Clock = std::chrono::steady_clock;

constexpr PauseScope Screen = PauseScope::Screen;
void Wait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
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
        {Screen, key('P', true), "down:80/80 ", false},       {Screen, key('P', false), "up:80/80 ", false},
        {Screen, key(VK_ESCAPE, true), "down:27/27 ", false}, {Screen, [] { ActivationEvent(false); }, "up:27/0 activate:0 ", false},
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
        {Game, key(VK_ESCAPE, true), "", true},             {Game, key(VK_ESCAPE, true), "down:27/27 ", false},
        {Game, pad(PadBack, true), "", true},               {Game, pad(PadBack, false), "", true},
        {Game, pad(PadBack, true), "down:27/0 ", false},      {Game, key(VK_ESCAPE, false), "up:27/27 ", false},
        // A lost focus and being away pause; back, the game waits for any press, which is
        // not the game's; a close request cannot wait.
        {Game, [] { ActivationEvent(false); }, "up:27/0 activate:0 ", true},
        {Game, [] { ActivationEvent(true); }, "activate:1 ", true},
        {Game, [] { FingerEvent(FingerPhase::Down, 1, 5, 5, 240, 320); }, "", false},
        {Game, [] { FingerEvent(FingerPhase::Up, 1, 5, 5, 240, 320); }, "", false},
        {Game, [] { AwayEvent(true); }, "", true},          {Game, [] { AwayEvent(false); }, "", true},
        {Game, pad(PadSouth, true), "", false},             {Game, pad(PadSouth, false), "", false},
        // A controller's held button repeats as a held key does (after 660 ms), not while paused;
        // B's key of its own (196) goes down first, so the game's B (X) is the one that repeats.
        {Game, [] { PadButtonEvent(0, PadEast, true); Wait(700); RepeatHeldPadKey(); RepeatHeldPadKey(); },
         "down:196/0 down:88/0 again:88/0 ", false},
        {Game, [] { Wait(50); AwayEvent(true); RepeatHeldPadKey(); PadButtonEvent(0, PadEast, false); },
         "up:196/0 up:88/0 ", true},
        {Game, [] { CloseEvent(); AwayEvent(false); }, "close ", false},
        // The player's own keys come first: with P as the A button, P fires.
        {Game, [] { UsePlayerChoices({{VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, 'P', 'X', 'C', VK_RETURN}}, false); }, "", false},
        {Game, key('P', true), "down:80/80 ", false},          {Game, key('P', false), "up:80/80 ", false},
        // With Escape as the A button, Escape fires; a controller's Back still pauses, and
        // plays on without pressing Escape (the A button) in the game.
        {Game, [] { UsePlayerChoices({{VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_ESCAPE, 'X', 'C', VK_RETURN}}, false); }, "", false},
        {Game, key(VK_ESCAPE, true), "down:27/27 ", false},    {Game, key(VK_ESCAPE, false), "up:27/27 ", false},
        {Game, pad(PadBack, true), "", true},                  {Game, pad(PadBack, true), "", false},
        {Game, pad(PadBack, false), "", false},
        // With pause-on-focus-loss = no, a lost focus is the handheld's deactivation alone.
        {Game, [] { ResetPause(false); SetPauseScope(Game); ActivationEvent(false); }, "activate:0 ", false},
        {PauseScope::Never, [] { AwayEvent(true); }, "", false},  // loading: it waits for a screen
        {Screen, [] {}, "", true},
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

// The live host the pause sees: its pump presses P in the third pass and plays on (P again,
// or a close request as a signal queues it) at the thirteenth look; the passes run by then and
// the sign are noted, and what the game's window is handed.
struct HoldHost {
    int looks = 0;
    bool closeInstead = false;
    int passesAtPress = 0, passesWhileHeld = 0;
    std::string signs, handed;
};
HoldHost Held;

void PumpHeld() {
    if (++Held.looks == 3) Held.passesAtPress = PassCount();
    if (Held.looks == 4) Held.passesWhileHeld = PassCount();
    if (Held.looks == 13 && Held.closeInstead) QueueMessage(GameWindow(), WM_CLOSE, 0, 0, true);
    if (Held.looks == 3 || (Held.looks == 13 && !Held.closeInstead)) KeyEvent('P', true, false, 25);
}

void ShowHeldSign(const PauseSign* sign) { Held.signs += sign ? sign->resume : "-"; }

LRESULT NoteHanded(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_KEYDOWN || message == WM_CLOSE) Held.handed += std::to_string(wParam) + " ";
    return 0;
}

// Passes as the game's loop runs them (PresentFrame: pump, pace, pause), a look each.
TEST(PauseHold, NoPassRunsTheTickStandsStillAndTheScheduleStartsAfreshWithoutABurst) {
    static constexpr HostInterface Live{.kind = HostKind::Real, .pumpEvents = PumpHeld,
                                        .showPause = ShowHeldSign};
    for (bool close : {false, true}) {
        SCOPED_TRACE(close ? "a close request" : "P again");
        UseHost(Live);
        ResetMessages();
        ResetWindows();
        ResetHostInput();
        UsePlayerChoices(DefaultGameKeys, false);
        ResetPause(true);
        StartPassSchedule(13);
        CreateGameWindow(NoteHanded);
        Held = HoldHost{};
        Held.closeInstead = close;
        SetPauseScope(Game);
        DWORD tick = GetTickCount();
        for (int pass = 0; pass < 3; ++pass) PresentFrame(false);
        EXPECT_EQ(Held.passesWhileHeld, Held.passesAtPress + 1) << "the pass that took P ends, no other runs";
        EXPECT_EQ(Held.looks, 13);
        EXPECT_EQ(Held.signs, "P OR START: PLAY ON-");
        EXPECT_EQ(GetTickCount() - tick, 39u) << "three passes of 13 ms: no timer saw the pause";
        Clock::time_point start = Clock::now();
        for (int i = 0; i < 3; ++i) PresentFrame(false);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(25)) << "the schedule starts afresh: no burst";
        Wait(60);
        PresentFrame(false);
        EXPECT_GE(GetTickCount() - tick, 78u + 60);
        EXPECT_LT(GetTickCount() - tick, 78u + 120) << "a stall after a pause moves on by itself alone";
        EXPECT_EQ(Held.handed, close ? "0 " : "") << "only the close reaches the game";
        EndHost();
    }
}

// A still picture lets the loop sleep through its quiet passes and run them late, back to back;
// a changing one runs each pass in its time. Either way no pass starts before its place on the
// schedule, and each moves the tick by one period.
int64_t ShowFrame(int64_t) {
    TakeChangedFrame();
    return 0;
}

TEST(QuietPasses, RunLateAfterOneSleepWhileThePictureStandsAndNeverEarly) {
    static constexpr HostInterface Quiet{.kind = HostKind::Web, .flushWindow = ShowFrame,
                                         .quietPasses = [] { return 4; }};
    for (bool still : {true, false}) {
        SCOPED_TRACE(still ? "a still picture" : "a changing picture");
        StartHeadlessHost({});
        GXOpenDisplay(nullptr, GX_FULLSCREEN);
        UseHost(Quiet);
        StartPassSchedule(10);
        DWORD tick = GetTickCount();
        Clock::time_point start = Clock::now();
        std::vector<Clock::duration> starts;
        for (int pass = 0; pass < 12; ++pass) {
            auto* display = static_cast<uint16_t*>(GXBeginDraw());
            display[0] = static_cast<uint16_t>(still ? 1 : pass + 1);
            GXEndDraw();
            PaceFrame();
            starts.push_back(Clock::now() - start);
        }
        EXPECT_EQ(GetTickCount() - tick, 120u);
        for (size_t pass = 0; pass < starts.size(); ++pass) {
            EXPECT_GE(starts[pass], std::chrono::milliseconds(10 * (pass + 1)))
                << "pass " << pass + 2 << " started before its place";
        }
        if (still) {
            // The first pass changed the picture; the second, the first still one, sleeps till
            // four passes have fallen due.
            EXPECT_GE(starts[1], std::chrono::milliseconds(50)) << "no sleep through the quiet passes";
        }
        EndHost();
    }
}

}  // namespace

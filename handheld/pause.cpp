// The desktop's and the browser's pause: the pause keys, a hidden or minimised window and a lost
// focus hold the game between two passes, its tick, sound and input standing still.
#include <algorithm>

#include "handheld/system.h"

namespace {

// How often a paused game looks for the player (events, signals), and sooner when the window
// may show the sign.
constexpr int64_t PauseLookNs = 20000000;

enum class PauseCause { None, Key, Away, Focus, Resumed };

struct PauseRecord {
    PauseScope scope = PauseScope::Never;
    bool onFocusLoss = true;
    bool away = false;  // the window is minimised or hidden, the page behind another tab
    PauseCause cause = PauseCause::None;
};

PauseRecord Pause;

constexpr PauseSign KeySign{"PAUSED", "P OR START: PLAY ON", "ESC OR BACK: MENU"};
constexpr PauseSign AwaySign{"PAUSED", "ANY KEY, BUTTON OR TAP: PLAY ON", "ESC OR BACK: MENU"};
// A game the program's end interrupted, going on from its journal; the name entry takes no
// Escape.
constexpr PauseSign ResumedGameSign{"RESUMED", "ANY KEY, BUTTON OR TAP: PLAY ON", "ESC OR BACK: MENU"};
constexpr PauseSign ResumedNameSign{"RESUMED", "ANY KEY, BUTTON OR TAP: PLAY ON", ""};

// The sign for what holds the game.
const PauseSign* SignOf(PauseCause cause) {
    if (cause == PauseCause::Key) return &KeySign;
    if (cause != PauseCause::Resumed) return &AwaySign;
    return Pause.scope == PauseScope::Game ? &ResumedGameSign : &ResumedNameSign;
}

// A replay runs the recorded passes back to back; loading and the credits never wait.
bool MayPause() { return Pause.scope != PauseScope::Never && !ReplayRuns(); }

void Hold(PauseCause cause) {
    if (Pause.cause == PauseCause::None && MayPause()) Pause.cause = cause;
}

void Resume() { Pause.cause = PauseCause::None; }

void ShowSign(const PauseSign* sign) {
    if (ActiveHost().showPause) ActiveHost().showPause(sign);
}

}  // namespace

void ResetPause(bool onFocusLoss) {
    Pause = PauseRecord{};
    Pause.onFocusLoss = onFocusLoss;
}

// The main loop, before each pump: a game that loaded while away waits from its first pass.
void SetPauseScope(PauseScope scope) {
    Pause.scope = scope;
    if (Pause.away) Hold(PauseCause::Away);
}

bool Paused() { return Pause.cause != PauseCause::None; }

// In a game a pause key pauses. Paused, Escape (Back) plays on and goes to the game, which leaves
// as by the exit icon; a pause key plays on; after a pause the player did not ask for, any press
// plays on. Everything else, and the repeats of held keys, wait.
bool PauseTakesPress(PauseKey meaning, bool repeat) {
    bool asked = meaning != PauseKey::None && Pause.scope == PauseScope::Game && MayPause();
    if (repeat) return Paused() || asked;
    if (!Paused()) {
        if (asked) Hold(PauseCause::Key);
        return asked;
    }
    if (meaning == PauseKey::Back) {
        Resume();
        return false;
    }
    if (meaning == PauseKey::Toggle || Pause.cause != PauseCause::Key) Resume();
    return true;
}

// Away, anything but loading and the credits pauses; back, a screen plays on by itself, a game
// waits for the player.
void PauseAway(bool away) {
    Pause.away = away;
    if (away) {
        Hold(PauseCause::Away);
    } else if (Pause.cause == PauseCause::Away && Pause.scope != PauseScope::Game) {
        Resume();
    }
}

// Unless the settings say otherwise, a game pauses when the keyboard goes elsewhere.
void PauseOnFocusLoss() {
    if (Pause.scope == PauseScope::Game && Pause.onFocusLoss) Hold(PauseCause::Focus);
}

void EndPauseForClose() { Resume(); }

// A live host that took over a resumed game: it waits for the player, as after a pause they did
// not ask for, whatever the pause was at before.
void HoldResumedGame(bool onFocusLoss) {
    Pause.onFocusLoss = onFocusLoss;
    Pause.away = false;
    Resume();
    Hold(PauseCause::Resumed);
}

// No pass runs, no sound plays and the tick stands still; the host shows the sign over the
// last picture and keeps the window drawn, until the player plays on or a close comes. Then the
// pass schedule starts again from now, the tick where it stood: no timer sees the pause.
void HoldWhilePaused() {
    if (!Paused() || !RealHostRuns()) return;
    HoldAudioOutput(true);
    ShowSign(SignOf(Pause.cause));
    while (Paused()) {
        if (PumpHostEventsWhilePaused()) Resume();
        int64_t now = SteadyNanoseconds();
        int64_t frameDue = ActiveHost().flushWindow ? ActiveHost().flushWindow(now) : 0;
        if (Paused()) SleepHost(frameDue > now ? std::min(PauseLookNs, frameDue - now) : PauseLookNs);
    }
    ShowSign(nullptr);
    HoldAudioOutput(false);
    RestartPassSchedule();
}

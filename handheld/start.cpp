// A host's start and end: every record of the stand-in afresh, then the host serves.
#include "handheld/system.h"

// The real and the browser host's start: the player's choices, the records afresh, the pass
// schedule starting now.
void StartLiveHost(const HostInterface& host, const StandInOptions& options) {
    SwitchHost(&host);
    UsePlayerChoices(options.keys, options.startMuted);
    ResetMessages();
    ResetWindows();
    ResetHostInput();
    ResetPause(options.pauseOnFocusLoss);
    ResetDisplay(options.display);
    StartPassSchedule(options.passMs);
}

// A game that ran on the headless host (a resumed game, replayed to where it was left) goes on
// with a live host: the game's window, display, queue and clock are taken as they stand; the
// player's input starts afresh, the picture is shown, and the game waits paused for the
// player, its pass schedule starting when they play on. False, after one line on stderr, when
// the game's window can't be had.
bool HandOverToLiveHost(const HostInterface& host, const StandInOptions& options) {
    SwitchHost(&host);
    UsePlayerChoices(options.keys, options.startMuted);
    TakeOverGameInput();
    if (!GiveGameWindowToHost()) return false;
    DecodeWholeFrame();
    HoldResumedGame(options.pauseOnFocusLoss);
    RestartPassSchedule();
    return true;
}

// The headless host's start: it serves from now on; its own resets follow.
void UseHost(const HostInterface& host) { SwitchHost(&host); }

// A host's stop, while it still serves: its icon, display, queue and windows go.
void EndHost() {
    ReleaseIcon();
    ReleaseDisplay();
    ResetMessages();
    ResetWindows();
    SwitchHost(nullptr);
}

void StopHost() {
    if (ActiveHost().stop) ActiveHost().stop();
}

// The player's choices as the game asks the system for them: the keys its buttons stand on,
// and whether the sound device is turned down at start.
#include "handheld/system.h"

namespace {

struct ChoicesRecord {
    GameKeys keys = DefaultGameKeys;
    bool startMuted = false;
};

ChoicesRecord Choices;

}  // namespace

void UsePlayerChoices(const GameKeys& keys, bool startMuted) {
    Choices.keys = keys;
    Choices.startMuted = startMuted;
}

const GameKeys& PlayerKeys() { return Choices.keys; }

// The game, once at start: full volume on both channels, or none when the player chose to
// start muted.
MMRESULT waveOutGetVolume(HWAVEOUT, DWORD* volume) {
    if (!volume) return MMSYSERR_INVALPARAM;
    *volume = Choices.startMuted ? 0 : 0xFFFFFFFF;
    if (const CrossingWatch* watch = Watcher()) watch->volume(volume);
    return MMSYSERR_NOERROR;
}

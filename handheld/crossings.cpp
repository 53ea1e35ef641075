// Whoever watches what crosses from the system into the game: the journal, while it records
// or replays.
#include "handheld/system.h"

namespace {

const CrossingWatch* Watch = nullptr;

}  // namespace

void WatchCrossings(const CrossingWatch* watch) { Watch = watch; }

const CrossingWatch* Watcher() { return Watch; }

bool ReplayRuns() { return Watch && Watch->replaying(); }

// The audio layer's start-up: one try of the sound device (see standin.h).
SoundDevice TrySoundDevice(SoundDevice (*attempt)(void*), void* context) {
    return Watch ? Watch->soundTry(attempt, context) : attempt(context);
}

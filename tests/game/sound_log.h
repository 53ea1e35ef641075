// The screens' sound log (sound_log.cpp): which effects were played, and what the screen state
// the quit flag and the plants left were at that moment, so a test sees a sound's order against a state change.
#pragma once

#include <cstdint>
#include <vector>

struct SoundCall {
    int effect;
    int32_t screen;
    int32_t runFlag;
    int32_t plantsLeft;  // tells whether a new game had been set up yet
};

void StartSoundLog();
void StopSoundLog();
std::vector<SoundCall> TakeSoundLog();

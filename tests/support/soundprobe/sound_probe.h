// The effects log of the game tests: which effects the game played, in order.
#pragma once

#include <vector>

// Audio on the null driver with the built effects; every Sample_Play of one is logged.
void StartSoundProbe();
void StopSoundProbe();
// The effect numbers played since the last take, oldest first.
std::vector<int> TakeSounds();

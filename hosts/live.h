// The live host of this build, the desktop's window or the browser's page: what the program
// starts before WinMain and stops after it.
#pragma once

#include "handheld/standin.h"

// Opens the host (on the desktop SDL's video, audio and controllers) with the player's
// options. False, with one line on stderr, when no video device or no display can be had.
bool StartStandIn(const StandInOptions& options);
// Closes the window and the host; called once after WinMain returns.
void StopStandIn();
// Whether the display failed the game during the run (said on stderr, the game made to quit):
// the run then ends with status 1.
bool DisplayFailedGame();

// The desktop's settings file, $XDG_CONFIG_HOME/marrowdale/marrowdale.ini: the player's choices
// read at start and written back when the game changed one.
#pragma once

#include "handheld/standin.h"

// Sets one setting by its name in the file ("scale", "fullscreen", "key-a"...) from its text;
// null when done, else what the value should have been (options untouched). main applies the
// command line's options with it too.
const char* ApplySetting(StandInOptions* options, const char* name, const char* value);
// main: the file's settings over options; a damaged line is reported with its number on
// stderr and skipped. What was read is remembered as the file's state.
void LoadSettings(StandInOptions* options);
// main, for --reset-settings: the defaults are remembered, and the file rewritten at exit.
void ResetSettings();
// The real host, when the player toggles full screen or changes the window's scale.
void RememberFullScreen(bool fullscreen);
void RememberScale(int scale);
// main, after WinMain: rewrites the file when a remembered setting changed; false (after one
// line on stderr) when it cannot be written.
bool SaveSettings();

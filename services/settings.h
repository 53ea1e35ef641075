// The desktop's settings file, $XDG_CONFIG_HOME/marrowdale/marrowdale.ini: the player's choices
// read at start and written back when the game changed one.
#pragma once

#include <string>

#include "handheld/standin.h"

// Sets one setting by its name in the file ("scale", "fullscreen", "key-a"...) from its text;
// null when done, else what the value should have been (options untouched). main applies the
// command line's options with it too.
const char* ApplySetting(StandInOptions* options, const char* name, const char* value);
// main: the file's settings over options; a damaged line is reported with its number on
// stderr (the first few, then how many more) and skipped. What was read is remembered as the
// file's state. Fresh files of a rewrite that never ended go first.
void LoadSettings(StandInOptions* options);
// main, for --reset-settings: the defaults are remembered, and the file rewritten at exit.
void ResetSettings();
// The real host, when the player toggles full screen or changes the window's scale.
void RememberFullScreen(bool fullscreen);
void RememberScale(int scale);
// main, after WinMain: when a setting changed in the game, the file is read again and the
// lines of the changed settings rewritten (the player's other lines stay, and so does what
// another copy wrote meanwhile), under a lock file beside it; false (after one line on
// stderr) when it cannot be written.
bool SaveSettings();

// Longest part of a text a message repeats.
constexpr size_t ShownTextBytes = 40;
// A text as a message repeats it: control bytes as \xNN, cut after ShownTextBytes with "...".
std::string ShownText(const std::string& text);

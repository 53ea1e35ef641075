// The live host of this build, the desktop's window or the browser's page: what the program
// starts before WinMain and stops after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "handheld/standin.h"

// Opens the host (on the desktop SDL's video, audio and controllers) with the player's
// options. False, with one line on stderr, when no video device or no display can be had.
bool StartStandIn(const StandInOptions& options);
// Closes the window and the host (an opened one too); called once after WinMain returns.
void StopStandIn();
// Whether the command line is a page's address (the browser's: ?display=4 is --display=4),
// which carries parameters of other sites too: main ignores options it does not know, and
// names the others as the address does.
bool CommandLineFromAddress();

// A live game's start, before the host's, with a score server named (the desktop's
// score-server setting, the page's ?server=): the start tick of a challenge the server drew,
// which the game then seeds with and the first game kept claims; false to play on the host's
// own clock. The desktop waits at most a second for it.
bool TakeChallengeTick(const StandInOptions& options, DWORD* tick);

// ---- A game the program's end interrupted, going on ----

// A start that resumes a game: the host opened as StartStandIn opens it (false, with one line
// on stderr, when it can't be), while the game replays on the headless host first.
bool OpenStandIn(const StandInOptions& options);
// Whether another copy of the game (its window of className) runs for this user.
bool OtherCopyRuns(const std::u16string& className);
// The opened host takes over the game the headless host replayed: its window, its picture as
// it stands and the player's input, the game paused with a sign that says it was resumed.
// False, after one line on stderr, when the window can't be had.
bool TakeOverStandIn();
// The game in progress, whose journal the file at path holds whole up to here (journal, from its
// start): the desktop has the file put on the disk, off the game's thread; the page keeps a
// copy in its storage. At most once a second of play.
void KeepGameInProgress(const std::string& path, const std::vector<uint8_t>& journal);
// After a resume that could not go on, its replay run: the program starts again afresh with
// arguments (argv[0] first); it returns, after one line on stderr, only when it can't.
void StartAgain(const std::vector<std::string>& arguments);
// There is no game in progress to keep any more: the page forgets its copy, or with aside (a
// game that could not be resumed) sets it aside. The desktop's files are the session's.
void DropGameInProgress(bool aside);

// --submit ADDRESS FILE: sends the journal FILE to the world high score table at ADDRESS and
// says in one line what it answered. The exit status: 0 taken, 1 refused or not reached, 2 a
// file that cannot be sent or an address that is none.
int SubmitGame(const char* address, const char* path);
// A game kept at a name's DONE (its journal, at path): the desktop sends it in the background
// when the player named a score server; the browser's page offers to send it.
void OfferKeptGame(const std::string& path, const std::vector<uint8_t>& journal);
// Whether the display failed the game during the run (said on stderr, the game made to quit):
// the run then ends with status 1.
bool DisplayFailedGame();

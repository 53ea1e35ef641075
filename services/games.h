// The games kept for the world's high score table: each live game is recorded into
// $XDG_DATA_HOME/marrowdale/games/ under a passing name, a game that made a high score is kept
// there under its date and score, and one the player's score server has not taken yet carries
// a mark beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The most a journal may hold to be sent: the score server takes no more.
constexpr size_t LargestSentJournal = 2u << 20;

// A fresh path to record this run's journal under, in the games folder (made when missing);
// the passing journals of runs that are gone are removed first. Empty, after one line on
// stderr, when there is no folder for it.
std::string PassingJournalPath();
// Keeps a game's journal under its date and score, never over another; the path, or empty
// after one line on stderr.
std::string KeepGame(const std::vector<uint8_t>& journal, int32_t score);

// The unsent marks: made when a kept game is handed to the sender, removed once the server
// answered for it; the games still marked, oldest first.
bool MarkUnsent(const std::string& game);
void MarkSent(const std::string& game);
std::vector<std::string> UnsentGames();

// A score server's address, http:// or https://, a host and an optional port and path: split
// into the origin ("https://host:port") and the path below which its API lies (ending in '/').
// False for anything else.
bool SplitServerAddress(const std::string& address, std::string* origin, std::string* path);

// A journal to send, read whole: a plain file, not a link when it is a kept game's (a file
// named on the command line may be one); false with the reason in problem.
bool ReadGameFile(const std::string& path, bool kept, std::vector<uint8_t>* bytes, std::string* problem);

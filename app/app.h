// The program: its entry (WinMain) and the game's window, and the run of a session (live,
// recorded or replayed) that main starts from the command line.
#pragma once

#include <string>
#include <vector>

#include "handheld/winapi.h"

// ---- Entry and window ----------------------------------------------------------------

extern HWND MainWindow;
extern const WCHAR WindowClassName[32];
extern const WCHAR WindowTitle[32];
constexpr int TaskbarMargin = 26;

int WinMain(HINSTANCE instance, HINSTANCE previous, WCHAR* commandLine, int showCommand);
ATOM RegisterWindowClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);
void ShowTaskbar(bool show);
LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Session: live, recorded or replayed --------------------------------------------------

struct StandInOptions;
struct SessionOptions {
    const char* record = nullptr;     // journal to write
    const char* replay = nullptr;     // journal to play back
    bool verify = false;              // replay without a window, comparing every frame
    const char* dumpState = nullptr;  // JSON lines of each replayed pass
    const char* resume = nullptr;     // journal of a game to go on with
    bool noResume = false;            // this start goes on with no game left in progress
    // The command line of a start again that resumes nothing (the program's own, without
    // --resume FILE, with --no-resume): after a resume that could not go on.
    std::vector<std::string> startAgain;
};
int RunSession(const StandInOptions& options, const SessionOptions& session);
// A journal loaded into memory (LoadJournal, TakeJournal) replayed on the headless host with
// no window and no sound, every frame and the scores checked, each pass's state written to
// dumpState when given (never over journalPath, the file it came from, if any): the exit
// status, after one line on stderr when not 0.
struct JournalHeader;
int VerifyLoadedJournal(const JournalHeader& header, const char* dumpState,
                        const char* journalPath);

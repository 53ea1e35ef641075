// The journal: what crossed from the system into the game, pass by pass; recorded to a file,
// read back whole and checked, replayed so a game runs again exactly as it ran, and the state
// of each replayed pass written out for other programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "handheld/standin.h"

struct JournalHeader {
    int version;
    int passMs;
    DisplayLayout display;
    DWORD startTick;
    uint64_t passes;  // in the whole journal
    bool endsInPlay;  // closed at a name's DONE while the game ran on
};

// --record FILE: the file is made before the host starts, the header written once it has;
// false with one line on stderr.
bool OpenRecording(const char* path);
bool StartRecording();
// --replay FILE: reads and checks the whole journal; false with one line on stderr. A journal
// cut short (its recording killed) is read up to the end of its last whole pass.
bool LoadJournal(const char* path, JournalHeader* header);
// The same for a journal held in memory, named in the line as name.
bool TakeJournal(const uint8_t* bytes, size_t size, const char* name, JournalHeader* header);
// Once a host has started with the header's pace and display: the recorded game plays. With
// verify every frame and the scores are compared and a difference ends the program with
// status 1 after one line on stderr; without, the host's own input is ignored but for a close,
// which ends the replay. A journal cut short ends the game after its last whole pass.
void StartReplay(bool verify);
// The exit status of a replay that reached the cut of a journal cut short, every pass before
// it matching.
constexpr int CutShortStatus = 3;
// After WinMain: the recording is finished, or the replay checked to its end; the exit status.
int EndJournal();
// While recording, at the end of a pass: the game so far as a journal of its own, which ends
// while the game runs on and holds the high score file as it stands now; false when nothing
// is being recorded.
bool JournalSoFar(std::vector<uint8_t>* bytes);

// Reads a journal into the replay record; false with problem set to why not.
bool ParseJournal(const uint8_t* bytes, size_t size, const char** problem);

// The journal's and the dump's files: path opened for writing and emptied, never waiting on
// what is there, and never when it is journalPath's file (through a link too) or anything
// but a plain file; null with problem set to why not.
FILE* OpenOutput(const char* path, const char* journalPath, const char** problem);

// --dump-state FILE, with a replay: one line of JSON for each pass (the play field while a
// game runs). False, after one line on stderr, when the file cannot be made, is the journal
// replayed, or is not a plain file.
bool OpenDump(const char* path, const char* journalPath);
// After the replay: the file is finished; the exit status, 1 when it could not be.
int CloseDump(int status);

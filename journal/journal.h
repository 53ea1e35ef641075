// The journal: what crossed from the system into the game, pass by pass; recorded to a file,
// read back whole and checked, replayed so a game runs again exactly as it ran, and the state
// of each replayed pass written out for other programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
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
// A journal file's bytes, read whole; false with problem set to why not.
bool ReadJournalFile(const char* path, std::vector<uint8_t>* bytes, const char** problem);
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

// ---- A game the program's end interrupted, resumed from its journal ----

// Reads the journal of a game left in progress from memory, whole: false with problem set
// when it can't go on (damaged, foreign, too new, or a journal of a run that ended).
bool TakeResume(const uint8_t* bytes, size_t size, JournalHeader* header, const char** problem);
// Once the headless host has started with the header's pace, display and start tick: the game
// replays, its frames checked, to the end of the journal's whole passes. There, at the end of
// that pass (the pass hook), ResumeReached is true: the game goes on recording
// (ContinueRecording) and a live host takes it over, or the game is made to quit unseen
// (AbandonResume). A difference, or a close meanwhile, makes it quit unseen too; ResumeProblem
// then says the difference.
void StartResume();
bool ResumeReached();
const char* ResumeProblem();
// The last pass replayed, and the game's clock then from the journal's start.
void ResumePoint(uint64_t* pass, DWORD* milliseconds);
void AbandonResume();
// From the next pass on the game is recorded again, into path: a new file that first gets the
// journal's whole passes, in its format. The high score file, where it now stands otherwise
// than the replayed game left it, goes into that pass, and is the game's from then. False,
// with one line on stderr, when path can't be written: the game goes on unrecorded.
bool ContinueRecording(const char* path);

// ---- The game in progress, kept as it is recorded ----

// Recording: the whole passes so far go to the file now.
void WriteJournalOut();
// Recording: what the file holds of the journal, and how often passes went to it so far (at
// least once a second of play).
const std::vector<uint8_t>& RecordedJournal(uint64_t* writes);
// Recording, at the end of a pass in which the program was asked to end while a game was in
// play: the file is cut back to the end of the pass before, made durable and closed, for a
// later start to go on from there; EndJournal adds nothing. False when nothing is recorded or
// the file fails.
bool CutJournalForResume();

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
// The dump's line of the state now, at the end of pass, its play field included when asked.
std::string StateLine(int pass, bool withPlayField);

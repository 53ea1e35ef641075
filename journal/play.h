// The course of a replayed game, as a table beyond the game's own knows it: what the play field
// went through pass by pass from the seed to the pass in which the game ended, and what the
// clock did in play. Every way of writing the same journal, and input that changes nothing,
// leave it as it is.
#pragma once

#include <cstdint>
#include <string>

#include "handheld/gx.h"
#include "handheld/standin.h"

struct PlayFacts {
    int passMs = 0;
    uint32_t seed = 0;           // the tick the first pass read, which the game seeds with
    uint64_t pass = 0;           // the last pass noted, from 1
    uint64_t playMs = 0;         // how far the game's clock moved in play
    uint64_t stallMs = 0;        // of it, what went beyond one period a pass
    uint32_t longestStall = 0;   // the most one pass in play went beyond its period
    uint64_t longestStallPass = 0;
    uint32_t shortestStep = UINT32_MAX;  // the least the clock moved in a pass of play
    uint64_t shortestStepPass = 0;
    bool keysGiven = false;
    GameKeys keys{};             // the buttons' keys the game was given
    uint8_t course[16] = {};     // the digest of the course so far
};

// StartReplay: nothing played yet, the clock at the journal's pace from its start tick.
void StartPlayRecord(int passMs, uint32_t startTick);
// The replay, at the end of each pass (after its handler and its messages): how far the clock
// moved.
void NotePlayedPass(uint32_t step);
// The replay, when it hands the game its buttons' keys.
void NoteKeysGiven(const GXKeyList& keys);
// Whoever judges the play while it is replayed (the score server's rules), after every pass:
// a sentence ends the replay there with it on stderr and exit status 2, as a journal refused.
void JudgePlayEachPass(std::string (*judge)(const PlayFacts& facts));
// After the replay: the facts up to the end of the game whose name was confirmed last (the
// pass in which its last plant was stolen), or null when no name was confirmed.
const PlayFacts* ConfirmedPlay();

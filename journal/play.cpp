// The course of a replayed game: a chain of digests over the play field after every pass the
// play handler ran, from one seeded with the pace and the seed; and the clock's facts in play.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "game/game.h"
#include "game/play/play.h"
#include "journal/checksum.h"
#include "journal/play.h"

namespace {

// The play field is a record of 32-bit numbers only, taken in their order.
static_assert(std::is_trivially_copyable_v<PlayFieldRecord> && sizeof(PlayFieldRecord) % 4 == 0);
constexpr size_t FieldNumbers = sizeof(PlayFieldRecord) / 4;
// What a link of the chain holds: the digest before it, a mark, the play field.
constexpr size_t LinkBytes = 16 + 1 + sizeof(PlayFieldRecord);
constexpr uint8_t GameGoingOn = 1;
constexpr uint8_t GameStarting = 2;

struct PlayRecord {
    PlayFacts facts;
    PlayFacts ended;      // as they stood at the end of the last game
    PlayFacts confirmed;  // of the game whose name was confirmed last
    bool hasConfirmed = false;
    int32_t namesSeen = 0;
    bool playedBefore = false;          // the play handler ran in the pass before
    int32_t screen = Intro;             // the screen at the end of the pass before
    std::string (*judge)(const PlayFacts&) = nullptr;
};

PlayRecord Played;

void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// One more link: the play field after a pass of play, marked when a game starts with it.
void AddPlayField(uint8_t mark) {
    uint8_t link[LinkBytes];
    std::memcpy(link, Played.facts.course, 16);
    link[16] = mark;
    int32_t numbers[FieldNumbers];
    std::memcpy(numbers, &PlayField, sizeof numbers);
    for (size_t i = 0; i < FieldNumbers; ++i) PutU32(link + 17 + 4 * i, static_cast<uint32_t>(numbers[i]));
    Digest128(link, sizeof link, Played.facts.course);
}

// A step that feeds a pass of play: the time it stood still beyond its period, the least it
// moved.
void NotePlayStep(uint32_t step) {
    PlayFacts& facts = Played.facts;
    facts.playMs += step;
    uint32_t period = static_cast<uint32_t>(facts.passMs);
    if (step > period) {
        facts.stallMs += step - period;
        if (step - period > facts.longestStall) {
            facts.longestStall = step - period;
            facts.longestStallPass = facts.pass;
        }
    }
    if (step < facts.shortestStep) {
        facts.shortestStep = step;
        facts.shortestStepPass = facts.pass;
    }
}

}  // namespace

void StartPlayRecord(int passMs, uint32_t startTick) {
    auto judge = Played.judge;
    Played = PlayRecord{};
    Played.judge = judge;
    Played.facts.passMs = passMs;
    Played.facts.seed = startTick;
    uint8_t start[8];
    PutU32(start, static_cast<uint32_t>(passMs));
    PutU32(start + 4, startTick);
    Digest128(start, sizeof start, Played.facts.course);
}

// The play handler of this pass ran when the pass before ended in play; this pass's step feeds
// the next pass of play when this one ends in play. A game ends (or is left) in the pass after
// which play stops, and a name confirmed is that game's.
void NotePlayedPass(uint32_t step) {
    PlayFacts& facts = Played.facts;
    ++facts.pass;
    bool played = Played.screen == Play;
    if (played) AddPlayField(Played.playedBefore ? GameGoingOn : GameStarting);
    bool inPlay = ScreenState == Play;
    if (inPlay) NotePlayStep(step);
    if (played && !inPlay) Played.ended = facts;
    if (ConfirmedNames != Played.namesSeen) {
        Played.namesSeen = ConfirmedNames;
        Played.confirmed = Played.ended;
        Played.hasConfirmed = ConfirmedNames > 0;
    }
    Played.playedBefore = played;
    Played.screen = ScreenState;
    if (!Played.judge) return;
    std::string refusal = Played.judge(facts);
    if (refusal.empty()) return;
    std::fprintf(stderr, "marrowdale: %s\n", refusal.c_str());
    std::exit(2);
}

void NoteKeysGiven(const GXKeyList& keys) {
    Played.facts.keysGiven = true;
    int16_t codes[GameKeyCount] = {keys.vkUp, keys.vkDown, keys.vkLeft, keys.vkRight,
                                   keys.vkA,  keys.vkB,    keys.vkC,    keys.vkStart};
    for (int i = 0; i < GameKeyCount; ++i) Played.facts.keys.codes[i] = static_cast<WORD>(codes[i]);
}

void JudgePlayEachPass(std::string (*judge)(const PlayFacts& facts)) { Played.judge = judge; }

const PlayFacts* ConfirmedPlay() { return Played.hasConfirmed ? &Played.confirmed : nullptr; }

// The actor rules: the dog's steps, fumes and hits, fruit, spiders and thefts, spawning, and
// the end of a game.
#include <cstdlib>

#include "tests/game/fixture.h"

namespace {

using DogTest = GameTest;
using FumeTest = GameTest;
using FruitTest = GameTest;
using SpiderTest = GameTest;
using SpawnTest = GameTest;
using EndOfGameTest = GameTest;

TEST_F(DogTest, MovesSixteenStepsAlongThePathsAndFlipsItsImageEvenAtABound) {
    struct Move { Actor dog; int calls; Actor after; };
    const Move moves[] = {
        // The 17th call ends a move without a step.
        {{144, 160, 0, DogUp}, 16, {144, 96, 0, DogUp}},
        {{144, 160, 0, DogUp}, 17, {144, 96, 0, DogStill}},
        {{144, 96, 0, DogDown}, 16, {144, 160, 3, DogDown}},
        {{144, 160, 0, DogLeft}, 17, {112, 160, 5, DogStill}},
        {{112, 160, 5, DogRight}, 16, {144, 160, 7, DogRight}},
        // Off the column or off a row a step is refused and the image kept.
        {{112, 96, 4, DogUp}, 16, {112, 96, 4, DogUp}},
        {{146, 96, 6, DogDown}, 3, {146, 96, 6, DogDown}},
        {{144, 100, 2, DogLeft}, 3, {144, 100, 2, DogLeft}},
        {{144, 32, 0, DogUp}, 1, {144, 32, 1, DogUp}},
        {{144, 224, 2, DogDown}, 1, {144, 224, 3, DogDown}},
        {{2, 96, 4, DogLeft}, 1, {0, 96, 5, DogLeft}},
        {{1, 96, 4, DogLeft}, 1, {1, 96, 5, DogLeft}},
        {{224, 96, 7, DogRight}, 1, {226, 96, 6, DogRight}},
        {{225, 96, 7, DogRight}, 1, {225, 96, 6, DogRight}},
    };
    for (const Move& move : moves) {
        PlayField.Dog = move.dog;
        PlayField.StepCount = 0;
        for (int i = 0; i < move.calls; ++i) MoveDog();
        EXPECT_EQ(PlayField.Dog, move.after) << "from " << move.dog << ", " << move.calls;
        EXPECT_EQ(PlayField.StepCount, move.calls % 17) << "from " << move.dog;
    }
}

TEST_F(FumeTest, AShotTakesTheFirstFreeSlotBesideTheDogAndAFullSetOnlyTurnsIt) {
    PlayField.Fumes[0].frame = 1;
    FireFume(FireLeft);
    EXPECT_EQ(PlayField.Fumes[0], (Actor{128, 160, 1, FumeLeft})) << "a slot keeps its frame";
    FireFume(FireRight);
    EXPECT_EQ(PlayField.Fumes[1], (Actor{160, 160, 2, FumeRight}));
    FireFume(FireLeft);
    FireFume(FireLeft);
    PlayField.Fumes[1].state = PlayField.Fumes[3].state = FumeEmpty;
    FireFume(FireRight);
    EXPECT_EQ(PlayField.Fumes[3].state, FumeEmpty) << "slot 1 first";
    FireFume(FireLeft);
    FireFume(FireRight);
    EXPECT_EQ(PlayField.Fumes[3].state, FumeLeft) << "a full set: the dog only turns";
    EXPECT_EQ(PlayField.Dog.frame, 6);
    EXPECT_EQ(TakeSounds(), Effects(6, SoundFire));
}

TEST_F(FumeTest, FumesFlyUntilAnEdgeOrTheBandAndDriveOffApproachingSpidersInReach) {
    constexpr int32_t L = FumeLeft, R = FumeRight, E = FumeEmpty;
    constexpr int32_t A = SpiderApproaching, Back = SpiderRetreating;
    struct Flight { Actor fume; int slot; int32_t spiderX, spider; Actor after; int32_t spiderAfter; };
    const Flight flights[] = {
        {{100, 96, 0, L}, -1, 0, 0, {90, 96, 1, L}, 0},
        {{100, 96, 2, R}, -1, 0, 0, {110, 96, 0, R}, 0},
        {{10, 96, 0, L}, -1, 0, 0, {0, 96, 1, L}, 0},
        {{9, 96, 0, L}, -1, 0, 0, {-1, 96, 1, E}, 0},
        {{276, 96, 0, R}, -1, 0, 0, {286, 96, 1, R}, 0},
        {{277, 96, 0, R}, -1, 0, 0, {287, 96, 1, E}, 0},
        // Between rows a fume lives only in the column's band, 112 to 159.
        {{122, 100, 0, L}, -1, 0, 0, {112, 100, 1, L}, 0},
        {{121, 100, 0, L}, -1, 0, 0, {111, 100, 1, E}, 0},
        {{149, 100, 0, R}, -1, 0, 0, {159, 100, 1, R}, 0},
        {{150, 100, 0, R}, -1, 0, 0, {160, 100, 1, E}, 0},
        // A hit needs under 16 on both axes; it is silent and the fume flies on.
        {{60, 160, 0, L}, 2, 35, A, {50, 160, 1, L}, Back},
        {{60, 160, 0, L}, 2, 34, A, {50, 160, 1, L}, A},
        {{60, 160, 0, L}, 2, 50, Back, {50, 160, 1, L}, Back},
        {{60, 160, 0, L}, 2, 50, SpiderStealing, {50, 160, 1, L}, SpiderStealing},
        {{140, 116, 0, L}, 1, 130, A, {130, 116, 1, L}, A},
        {{140, 115, 0, L}, 1, 130, A, {130, 115, 1, L}, Back},
        {{190, 96, 0, R}, 5, 208, A, {200, 96, 1, R}, Back},
    };
    for (const Flight& flight : flights) {
        NewGame();
        PlayField.Fumes[0] = flight.fume;
        if (flight.slot >= 0) PutSpider(flight.slot, flight.spiderX, flight.spider, 3);
        MoveFumes();
        EXPECT_EQ(PlayField.Fumes[0], flight.after) << "from " << flight.fume;
        if (flight.slot < 0) continue;
        EXPECT_EQ(PlayField.Spiders[flight.slot].state, flight.spiderAfter) << flight.fume;
        EXPECT_EQ(PlayField.Score, flight.spider != flight.spiderAfter ? 5 : 0) << flight.fume;
    }
    EXPECT_TRUE(TakeSounds().empty());
}

TEST_F(FruitTest, OnlyARipeFruitOnTheDogsRowWithinSixteenIsPicked) {
    struct Pick { int32_t dogX, dogY; int slot; int32_t state; bool picked; };
    const Pick picks[] = {
        {112, 96, 1, FruitRipe, true},   {113, 96, 1, FruitRipe, false},
        {80, 96, 1, FruitRipe, true},    {208, 96, 5, FruitRipe, true},
        {112, 96, 1, FruitMedium, false}, {112, 100, 1, FruitRipe, false},
        {112, 96, 2, FruitRipe, false},
    };
    for (const Pick& pick : picks) {
        NewGame();
        PutFruit(pick.slot, pick.state);
        PlayField.Dog = Actor{pick.dogX, pick.dogY, 0, DogStill};
        PickFruit();
        SCOPED_TRACE(testing::Message() << "dog " << pick.dogX << "," << pick.dogY);
        EXPECT_EQ(PlayField.Fruits[pick.slot].state, pick.picked ? FruitPicked : pick.state);
        EXPECT_EQ(PlayField.Score, pick.picked ? 10 : 0);
        EXPECT_EQ(TakeSounds(), pick.picked ? Effects{SoundPick} : Effects{});
    }
}

TEST_F(FruitTest, PickedFruitFallsAndRollsOffAndStolenFruitSlidesOutAtItsSide) {
    struct Fall { int slot; Actor start; int calls; Actor after; };
    const Fall falls[] = {
        // Falling 6 a step while drifting to x 148, rolling from the ground, gone past 320.
        {3, {96, 224, 0, FruitPicked}, 10, {106, 284, 2, FruitPicked}},
        {3, {96, 224, 0, FruitPicked}, 11, {107, 288, 3, FruitRolling}},
        {1, {148, 96, 0, FruitPicked}, 32, {148, 288, 0, FruitPicked}},
        {1, {148, 96, 0, FruitPicked}, 33, {148, 288, 1, FruitRolling}},
        {6, {192, 160, 0, FruitPicked}, 1, {191, 166, 1, FruitPicked}},
        {7, {314, 288, 0, FruitRolling}, 1, {320, 288, 1, FruitRolling}},
        {7, {314, 288, 0, FruitRolling}, 2, {326, 288, 2, FruitEmpty}},
        // A theft on the left turns backwards.
        {0, {96, 32, 0, FruitStolen}, 2, {84, 32, 6, FruitStolen}},
        {0, {6, 32, 0, FruitStolen}, 1, {0, 32, 7, FruitStolen}},
        {0, {6, 32, 0, FruitStolen}, 2, {-6, 32, 6, FruitEmpty}},
        {4, {282, 32, 0, FruitStolen}, 1, {288, 32, 1, FruitStolen}},
        {4, {282, 32, 0, FruitStolen}, 2, {294, 32, 2, FruitEmpty}},
    };
    for (const Fall& fall : falls) {
        NewGame();
        PutFruit(fall.slot, FruitPicked);
        PlayField.Fruits[fall.slot] = fall.start;
        for (int i = 0; i < fall.calls; ++i) MoveFruit();
        EXPECT_EQ(PlayField.Fruits[fall.slot], fall.after) << fall.start << ", " << fall.calls;
        EXPECT_EQ(PlayField.FruitCount, fall.after.state == FruitEmpty ? 0 : 1);
    }
}

TEST_F(SpiderTest, SpidersCreepToTheirStopStealARipeFruitPauseAndRunOut) {
    constexpr int32_t A = SpiderApproaching, Back = SpiderRetreating;
    struct Walk { int slot; Actor start; int32_t fruit; int calls; Actor after; };
    const Walk walks[] = {
        // Left ones face right (frames 3-5), right ones left (0-2); no ripe fruit, they wait.
        {0, {78, 36, 3, A}, FruitMedium, 1, {79, 36, 4, A}},
        {0, {78, 36, 3, A}, FruitMedium, 3, {80, 36, 3, A}},
        {4, {210, 36, 0, A}, FruitEmpty, 3, {208, 36, 0, A}},
        // At the stop, arriving or waiting, a ripe fruit is stolen; the thief pauses a step.
        {5, {209, 100, 0, A}, FruitRipe, 1, {208, 100, 1, SpiderStealing}},
        {2, {80, 164, 3, A}, FruitRipe, 1, {80, 164, 4, SpiderStealing}},
        {1, {80, 100, 5, A}, FruitRipe, 2, {80, 100, 3, Back}},
        // Out at its own edge, 10 a step, facing away; past the edge its slot is freed.
        {1, {80, 100, 5, A}, FruitRipe, 10, {0, 100, 1, Back}},
        {1, {80, 100, 5, A}, FruitRipe, 11, {-10, 100, 2, SpiderEmpty}},
        {7, {262, 228, 1, Back}, FruitEmpty, 2, {282, 228, 4, Back}},
        {7, {262, 228, 1, Back}, FruitEmpty, 3, {292, 228, 5, SpiderEmpty}},
        {6, {100, 164, 5, Back}, FruitEmpty, 1, {110, 164, 3, Back}},
    };
    for (const Walk& walk : walks) {
        NewGame();
        if (walk.fruit != FruitEmpty) PutFruit(walk.slot, walk.fruit);
        PutSpider(walk.slot, walk.start.x, walk.start.state, walk.start.frame);
        for (int i = 0; i < walk.calls; ++i) MoveSpiders();
        SCOPED_TRACE(testing::Message() << "from " << walk.start << ", " << walk.calls);
        EXPECT_EQ(PlayField.Spiders[walk.slot], walk.after);
        EXPECT_EQ(PlayField.SpiderCount, walk.after.state == SpiderEmpty ? 0 : 1);
        bool stolen = walk.fruit == FruitRipe;
        EXPECT_EQ(PlayField.Fruits[walk.slot].state, stolen ? FruitStolen : walk.fruit);
        EXPECT_EQ(PlayField.PlantsLeft, stolen ? 11 : 12);
        EXPECT_EQ(TakeSounds(), stolen ? Effects{SoundStole} : Effects{});
        EXPECT_EQ(ScreenState, Intro) << "no screen is chosen before the last plant";
    }
}

TEST_F(SpawnTest, SpawnsTakeTheFirstFreeSlotDrawnAndAFullTableDrawsNothing) {
    std::srand(11);
    std::vector<int> draws(400);
    for (int& draw : draws) draw = std::rand() % 8;
    std::srand(11);
    size_t next = 0;
    bool taken[2][8] = {};
    for (int n = 0; n < 16; ++n) {
        bool fruit = n < 8;
        int slot = draws[next++];
        while (taken[fruit][slot]) slot = draws[next++];
        taken[fruit][slot] = true;
        fruit ? SpawnFruit() : SpawnSpider();
        bool left = slot < 4;
        Actor fruitThere{left ? 96 : 192, RowOf(slot % 4), 0, FruitSmall};
        Actor spiderThere{left ? 0 : 282, RowOf(slot % 4) + 4, left ? 3 : 0, SpiderApproaching};
        EXPECT_EQ(fruit ? PlayField.Fruits[slot] : PlayField.Spiders[slot],
                  fruit ? fruitThere : spiderThere) << "spawn " << n << " in slot " << slot;
    }
    EXPECT_EQ(PlayField.FruitCount + PlayField.SpiderCount, 16);
    SpawnFruit();
    SpawnSpider();
    EXPECT_EQ(std::rand() % 8, draws[next]) << "a full table draws no random number";
}

TEST_F(EndOfGameTest, TheLastPlantChoosesNameEntryOnlyForAScoreThatBeatsAnEntry) {
    // The table holds 800 down to 100; 'third' replaces slot 2's score.
    struct Ending { int32_t third, score, plants; int thieves; int32_t screen; };
    const Ending endings[] = {
        {600, 110, 1, 1, EnterName},
        {600, 100, 1, 1, ScoreTable},  // equal to the last entry
        {10, 20, 1, 1, EnterName},     // any entry below, not only the last
        {600, 0, 1, 2, ScoreTable},    // a second theft in the pass chooses nothing new
        {600, 110, 0, 1, Play},        // a theft below zero chooses no screen
    };
    for (const Ending& ending : endings) {
        NewGame();
        ScreenState = Play;
        HighScoreTable[2].score = ending.third;
        PlayField.Score = ending.score;
        PlayField.PlantsLeft = ending.plants;
        for (int slot = 3; slot < 3 + 3 * ending.thieves; slot += 3) {
            PutFruit(slot, FruitRipe);
            PutSpider(slot, slot < 4 ? 80 : 208, SpiderApproaching, slot < 4 ? 3 : 0);
        }
        MoveSpiders();
        EXPECT_EQ(PlayField.PlantsLeft, ending.plants - ending.thieves);
        EXPECT_EQ(ScreenState, ending.screen) << ending.score << " against " << ending.third;
    }
}

}  // namespace

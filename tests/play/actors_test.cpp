// The actor rules where no golden game goes: the dog at the field's bounds, a full set of fumes,
// the reach of a hit, the fume band, thefts' sound, full tables, the game's end by the table.
#include <cstdlib>

#include "tests/game/fixture.h"

namespace {

using ActorTest = GameTest;

TEST_F(ActorTest, TheDogKeepsToThePathsAndTheFieldAndFlipsItsImageEvenAtABound) {
    constexpr int32_t Up = DogUp, Down = DogDown, Left = DogLeft, Right = DogRight;
    struct Move { Actor dog; int calls; Actor after; };
    const Move moves[] = {
        // Off the column or off a row a step is refused and the image kept.
        {{112, 96, 4, Up}, 16, {112, 96, 4, Up}}, {{146, 96, 6, Down}, 3, {146, 96, 6, Down}},
        {{144, 100, 2, Left}, 3, {144, 100, 2, Left}},
        {{144, 32, 0, Up}, 1, {144, 32, 1, Up}}, {{144, 224, 2, Down}, 1, {144, 224, 3, Down}},
        {{2, 96, 4, Left}, 1, {0, 96, 5, Left}}, {{1, 96, 4, Left}, 1, {1, 96, 5, Left}},
        {{224, 96, 7, Right}, 1, {226, 96, 6, Right}},
        {{225, 96, 7, Right}, 1, {225, 96, 6, Right}},
    };
    for (const Move& move : moves) {
        PlayField.Dog = move.dog;
        PlayField.StepCount = 0;
        for (int i = 0; i < move.calls; ++i) MoveDog();
        EXPECT_EQ(PlayField.Dog, move.after) << "from " << move.dog << ", " << move.calls;
        EXPECT_EQ(PlayField.StepCount, move.calls) << "from " << move.dog;
    }
}

TEST_F(ActorTest, AShotWithEveryFumeFlyingOnlyTurnsTheDog) {
    for (Actor& fume : PlayField.Fumes) fume.state = FumeRight;
    FireFume(FireLeft);
    EXPECT_EQ(PlayField.Dog.frame, 4);
    EXPECT_TRUE(TakeSounds().empty());
}

TEST_F(ActorTest, FumesBetweenRowsKeepToTheBandAndDriveOffApproachingSpidersInReach) {
    constexpr int32_t L = FumeLeft, R = FumeRight, E = FumeEmpty;
    constexpr int32_t A = SpiderApproaching, Back = SpiderRetreating, None = -1;
    // The spider's slot (none: no spider), x and state before and after.
    struct Flight { Actor fume, after; int slot; int32_t x = 0, spider = 0, spiderAfter = 0; };
    const Flight flights[] = {
        // Between rows a fume lives only in the column's band, 112 to 159.
        {{122, 100, 0, L}, {112, 100, 1, L}, None}, {{121, 100, 0, L}, {111, 100, 1, E}, None},
        {{149, 100, 0, R}, {159, 100, 1, R}, None}, {{150, 100, 0, R}, {160, 100, 1, E}, None},
        // A hit needs under 16 on both axes; it is silent and the fume flies on.
        {{60, 160, 0, L}, {50, 160, 1, L}, 2, 35, A, Back},
        {{60, 160, 0, L}, {50, 160, 1, L}, 2, 34, A, A},
        {{60, 160, 0, L}, {50, 160, 1, L}, 2, 50, SpiderStealing, SpiderStealing},
        {{140, 116, 0, L}, {130, 116, 1, L}, 1, 130, A, A},
        {{140, 115, 0, L}, {130, 115, 1, L}, 1, 130, A, Back},
        {{190, 96, 0, R}, {200, 96, 1, R}, 5, 208, A, Back},
    };
    for (const Flight& flight : flights) {
        NewGame();
        PlayField.Fumes[0] = flight.fume;
        if (flight.slot != None) PutSpider(flight.slot, flight.x, flight.spider, 3);
        MoveFumes();
        EXPECT_EQ(PlayField.Fumes[0], flight.after) << "from " << flight.fume;
        if (flight.slot == None) continue;
        EXPECT_EQ(PlayField.Spiders[flight.slot].state, flight.spiderAfter) << flight.fume;
        EXPECT_EQ(PlayField.Score, flight.spider != flight.spiderAfter ? 5 : 0) << flight.fume;
    }
    EXPECT_TRUE(TakeSounds().empty());
}

TEST_F(ActorTest, ASpiderAtItsStopStealsARipeFruitWithASoundPausesAndRunsOut) {
    constexpr int32_t A = SpiderApproaching, Back = SpiderRetreating, Gone = SpiderEmpty;
    constexpr int32_t Ripe = FruitRipe, None = FruitEmpty;
    struct Walk { int slot; Actor start; int32_t fruit; int calls; Actor after; };
    const Walk walks[] = {
        // Arriving or waiting at the stop, it steals; the thief pauses a step, then runs out at
        // its own edge, 10 a step, facing away; past the edge its slot is freed.
        {5, {209, 100, 0, A}, Ripe, 1, {208, 100, 1, SpiderStealing}},
        {2, {80, 164, 3, A}, Ripe, 1, {80, 164, 4, SpiderStealing}},
        {1, {80, 100, 5, A}, Ripe, 2, {80, 100, 3, Back}},
        {1, {80, 100, 5, A}, Ripe, 11, {-10, 100, 2, Gone}},
        {7, {262, 228, 1, Back}, None, 3, {292, 228, 5, Gone}},
        {6, {100, 164, 5, Back}, None, 1, {110, 164, 3, Back}},
    };
    for (const Walk& walk : walks) {
        NewGame();
        if (walk.fruit != None) PutFruit(walk.slot, walk.fruit);
        PutSpider(walk.slot, walk.start.x, walk.start.state, walk.start.frame);
        for (int i = 0; i < walk.calls; ++i) MoveSpiders();
        SCOPED_TRACE(testing::Message() << "from " << walk.start << ", " << walk.calls);
        EXPECT_EQ(PlayField.Spiders[walk.slot], walk.after);
        EXPECT_EQ(PlayField.SpiderCount, walk.after.state == Gone ? 0 : 1);
        bool stolen = walk.fruit == Ripe;
        EXPECT_EQ(PlayField.Fruits[walk.slot].state, stolen ? FruitStolen : walk.fruit);
        EXPECT_EQ(PlayField.PlantsLeft, stolen ? 11 : 12);
        EXPECT_EQ(TakeSounds(), stolen ? Effects{SoundStole} : Effects{});
        EXPECT_EQ(ScreenState, Intro) << "no screen is chosen before the last plant";
    }
}

TEST_F(ActorTest, SpawnsFillEveryFreeSlotAndAFullTableDrawsNothing) {
    for (int n = 0; n < 8; ++n) SpawnFruit();
    for (int n = 0; n < 8; ++n) SpawnSpider();
    EXPECT_EQ(PlayField.FruitCount + PlayField.SpiderCount, 16);
    Crt::srand(5);
    int draw = Crt::rand();
    Crt::srand(5);
    SpawnFruit();
    SpawnSpider();
    EXPECT_EQ(Crt::rand(), draw) << "a full table draws no random number";
}

TEST_F(ActorTest, TheLastPlantChoosesNameEntryOnlyForAScoreThatBeatsAnEntry) {
    // The table holds 800 down to 100; 'third' replaces slot 2's score.
    struct Ending { int32_t third, score, plants; int thieves; int32_t screen; };
    const Ending endings[] = {
        {600, 110, 1, 1, EnterName}, {600, 100, 1, 1, ScoreTable},  // equal to the last entry
        {10, 20, 1, 1, EnterName},    // any entry below, not only the last
        {600, 0, 1, 2, ScoreTable},   // a second theft in the pass chooses nothing new
        {600, 110, 0, 1, Play},       // a theft below zero chooses no screen
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

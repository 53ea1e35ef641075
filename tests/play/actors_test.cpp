// The actor rules one by one: the dog's steps, fumes and hits, fruit, spiders and thefts,
// random slots, and the end of a game.
#include <cstdlib>

#include "tests/play/play_fixture.h"

namespace {

using Sounds = std::vector<int>;

class DogTest : public PlayTest {
protected:
    static void Order(int32_t direction) { PlayField.Dog.state = direction; }
    static void Steps(int n) {
        for (int i = 0; i < n; ++i) MoveDog();
    }
};

TEST_F(DogTest, AMoveUpIsSixteenStepsToTheNextRowAndTheSeventeenthCallEndsIt) {
    Order(DogUp);
    Steps(16);
    EXPECT_EQ(PlayField.Dog.y, 96);
    EXPECT_EQ(PlayField.StepCount, 16);
    EXPECT_EQ(PlayField.Dog.state, DogUp);
    EXPECT_EQ(PlayField.Dog.frame, 0) << "the image flips 1, 0, 1 ... and ends on 0";
    MoveDog();
    EXPECT_EQ(PlayField.Dog.y, 96) << "the closing call does not step";
    EXPECT_EQ(PlayField.Dog.frame, 0);
    EXPECT_EQ(PlayField.StepCount, 0);
    EXPECT_EQ(PlayField.Dog.state, DogStill);
}

TEST_F(DogTest, SideMovesTakeThirtyTwoUnitsOffTheColumnAndBack) {
    Order(DogLeft);
    Steps(17);
    EXPECT_EQ(PlayField.Dog.x, 112);
    Order(DogRight);
    Steps(17);
    EXPECT_EQ(PlayField.Dog.x, 144);
    Order(DogRight);
    Steps(8);
    EXPECT_EQ(PlayField.Dog.x, 160);
    EXPECT_EQ(PlayField.Dog.frame, 7);
    Steps(9);
    EXPECT_EQ(PlayField.Dog.x, 176);
}

TEST_F(DogTest, UpOffTheColumnStandsStillForTheWholeMove) {
    PlayField.Dog = Actor{112, 96, 4, DogUp};
    for (int i = 1; i <= 16; ++i) {
        MoveDog();
        ASSERT_EQ(PlayField.StepCount, i);
    }
    EXPECT_EQ(PlayField.Dog.x, 112);
    EXPECT_EQ(PlayField.Dog.y, 96);
    EXPECT_EQ(PlayField.Dog.frame, 4) << "a refused step keeps the image";
    MoveDog();
    EXPECT_EQ(PlayField.Dog.state, DogStill);
    EXPECT_EQ(PlayField.StepCount, 0);
}

TEST_F(DogTest, SideStepsOffARowAndVerticalStepsOffTheColumnAreRefused) {
    PlayField.Dog = Actor{144, 100, 2, DogLeft};
    Steps(3);
    EXPECT_EQ(PlayField.Dog.x, 144);
    EXPECT_EQ(PlayField.Dog.frame, 2);
    PlayField.Dog = Actor{146, 96, 6, DogDown};
    Steps(3);
    EXPECT_EQ(PlayField.Dog.y, 96);
    EXPECT_EQ(PlayField.Dog.frame, 6);
}

TEST_F(DogTest, BoundsStopThePositionButTheImageStillFlips) {
    PlayField.Dog = Actor{144, 32, 0, DogUp};
    MoveDog();
    EXPECT_EQ(PlayField.Dog.y, 32);
    EXPECT_EQ(PlayField.Dog.frame, 1);

    PlayField.Dog = Actor{144, 224, 2, DogDown};
    MoveDog();
    EXPECT_EQ(PlayField.Dog.y, 224);
    EXPECT_EQ(PlayField.Dog.frame, 3);

    for (auto [x, expected] : {std::pair{2, 0}, std::pair{1, 1}, std::pair{0, 0}}) {
        PlayField.Dog = Actor{x, 96, 4, DogLeft};
        MoveDog();
        EXPECT_EQ(PlayField.Dog.x, expected) << "left from " << x;
        EXPECT_EQ(PlayField.Dog.frame, 5);
    }
    for (auto [x, expected] : {std::pair{224, 226}, std::pair{225, 225}, std::pair{226, 226}}) {
        PlayField.Dog = Actor{x, 96, 7, DogRight};
        MoveDog();
        EXPECT_EQ(PlayField.Dog.x, expected) << "right from " << x;
        EXPECT_EQ(PlayField.Dog.frame, 6);
    }
}

class FumeTest : public PlayTest {};

TEST_F(FumeTest, AShotStartsSixteenUnitsBesideTheDogAndKeepsTheSlotsFrame) {
    PlayField.Fumes[0].frame = 1;
    FireFume(FireLeft);
    EXPECT_EQ(PlayField.Dog.frame, 4);
    const Actor& left = PlayField.Fumes[0];
    EXPECT_EQ(left.x, 128);
    EXPECT_EQ(left.y, 160);
    EXPECT_EQ(left.state, FumeLeft);
    EXPECT_EQ(left.frame, 1);
    FireFume(FireRight);
    EXPECT_EQ(PlayField.Dog.frame, 6);
    EXPECT_EQ(PlayField.Fumes[1].x, 160);
    EXPECT_EQ(PlayField.Fumes[1].state, FumeRight);
    EXPECT_EQ(PlayField.Fumes[1].frame, 2) << "a new game leaves fumes on frame 2";
    EXPECT_EQ(TakeSounds(), (Sounds{SoundFire, SoundFire}));
}

TEST_F(FumeTest, WithFourInFlightAShotOnlyTurnsTheDog) {
    for (int i = 0; i < 4; ++i) FireFume(FireLeft);
    EXPECT_EQ(FindFreeFume(), -1);
    TakeSounds();
    Actor before[FumeSlots];
    std::copy(std::begin(PlayField.Fumes), std::end(PlayField.Fumes), before);
    FireFume(FireRight);
    EXPECT_EQ(PlayField.Dog.frame, 6);
    EXPECT_TRUE(TakeSounds().empty());
    for (int k = 0; k < FumeSlots; ++k) EXPECT_EQ(PlayField.Fumes[k].state, before[k].state);
}

TEST_F(FumeTest, TheFirstFreeSlotIsTaken) {
    for (int i = 0; i < 4; ++i) FireFume(FireLeft);
    PlayField.Fumes[2].state = FumeEmpty;
    PlayField.Fumes[3].state = FumeEmpty;
    EXPECT_EQ(FindFreeFume(), 2);
    FireFume(FireRight);
    EXPECT_EQ(PlayField.Fumes[2].state, FumeRight);
    EXPECT_EQ(PlayField.Fumes[3].state, FumeEmpty);
}

TEST_F(FumeTest, FumesFlyTenUnitsAStepTurningTheirFrames) {
    PlayField.Fumes[0] = Actor{100, 96, 0, FumeLeft};
    PlayField.Fumes[1] = Actor{100, 96, 2, FumeRight};
    MoveFumes();
    EXPECT_EQ(PlayField.Fumes[0].x, 90);
    EXPECT_EQ(PlayField.Fumes[0].frame, 1);
    EXPECT_EQ(PlayField.Fumes[1].x, 110);
    EXPECT_EQ(PlayField.Fumes[1].frame, 0);
}

TEST_F(FumeTest, FumesLeaveAtTheEdgesAndOffTheRowsOutsideTheColumnBand) {
    struct Case { Actor fume; bool stays; };
    const Case cases[] = {
        {{10, 96, 0, FumeLeft}, true},      // to 0
        {{9, 96, 0, FumeLeft}, false},      // to -1
        {{276, 96, 0, FumeRight}, true},    // to 286
        {{277, 96, 0, FumeRight}, false},   // to 287
        {{122, 100, 0, FumeLeft}, true},    // to 112, between rows
        {{121, 100, 0, FumeLeft}, false},   // to 111
        {{149, 100, 0, FumeRight}, true},   // to 159
        {{150, 100, 0, FumeRight}, false},  // to 160
        {{50, 96, 0, FumeLeft}, true},      // on a row the band does not matter
    };
    for (const Case& c : cases) {
        PlayField.Fumes[0] = c.fume;
        MoveFumes();
        EXPECT_EQ(PlayField.Fumes[0].state != FumeEmpty, c.stays)
            << "x " << c.fume.x << " y " << c.fume.y;
    }
}

TEST_F(FumeTest, HitsDriveOffOnlyApproachingSpidersOfTheSameRow) {
    PlayField.Fumes[0] = Actor{60, RowOf(2), 0, FumeLeft};  // steps to 50
    PutSpider(2, 35, SpiderApproaching, 3);                  // |35 - 50| = 15: hit
    PutSpider(1, 50, SpiderApproaching, 3);                  // the row above: 64 away
    PutSpider(6, 50, SpiderRetreating, 3);                   // not approaching
    PutSpider(3, 50, SpiderStealing, 3);
    MoveFumes();
    EXPECT_EQ(PlayField.Spiders[2].state, SpiderRetreating);
    EXPECT_EQ(PlayField.Spiders[1].state, SpiderApproaching);
    EXPECT_EQ(PlayField.Spiders[3].state, SpiderStealing);
    EXPECT_EQ(PlayField.Score, 5);
    EXPECT_EQ(PlayField.Fumes[0].state, FumeLeft) << "a hit does not use the fume up";
    EXPECT_TRUE(TakeSounds().empty()) << "a hit is silent";
}

TEST_F(FumeTest, AHitNeedsLessThanSixteenOnBothAxes) {
    PlayField.Fumes[0] = Actor{60, RowOf(0), 0, FumeLeft};  // steps to 50
    PutSpider(0, 34, SpiderApproaching, 3);                  // 16 away
    MoveFumes();
    EXPECT_EQ(PlayField.Spiders[0].state, SpiderApproaching);
    // Between rows a fume lives in the column band; a spider put there shows the y reach.
    PutSpider(1, 130, SpiderApproaching, 3);                 // y 100
    PlayField.Fumes[0] = Actor{140, 116, 0, FumeLeft};       // to 130, 16 below
    MoveFumes();
    EXPECT_EQ(PlayField.Spiders[1].state, SpiderApproaching);
    PlayField.Fumes[0] = Actor{140, 115, 0, FumeLeft};
    MoveFumes();
    EXPECT_EQ(PlayField.Spiders[1].state, SpiderRetreating);
}

TEST_F(FumeTest, AShotFromTheLeftSpotCrossesTheColumnToTheRightSpider) {
    PlayField.Dog = Actor{112, RowOf(2), 0, DogStill};
    PutSpider(6, 208, SpiderApproaching, 0);
    PutSpider(2, 80, SpiderApproaching, 3);
    FireFume(FireRight);
    int steps = 0;
    while (PlayField.Fumes[0].state != FumeEmpty && steps < 40) {
        MoveFumes();
        ++steps;
        if (PlayField.Spiders[6].state == SpiderRetreating) break;
    }
    EXPECT_EQ(PlayField.Spiders[6].state, SpiderRetreating);
    EXPECT_EQ(PlayField.Fumes[0].x, 198) << "first within reach at 208 - 10";
    EXPECT_EQ(PlayField.Spiders[2].state, SpiderApproaching) << "the fume flew away from it";
}

TEST_F(FumeTest, TwoSpidersInReachAreBothDrivenOff) {
    PlayField.Fumes[0] = Actor{90, RowOf(1), 0, FumeLeft};
    PutSpider(1, 80, SpiderApproaching, 3);
    PlayField.Fumes[1] = Actor{190, RowOf(1), 0, FumeRight};
    PutSpider(5, 208, SpiderApproaching, 0);
    MoveFumes();
    EXPECT_EQ(PlayField.Spiders[1].state, SpiderRetreating);
    EXPECT_EQ(PlayField.Spiders[5].state, SpiderRetreating);
    EXPECT_EQ(PlayField.Score, 10);
}

class FruitTest : public PlayTest {};

TEST_F(FruitTest, GrowthAdvancesEveryGrowingFruitOneStage) {
    PutFruit(0, FruitSmall);
    PutFruit(1, FruitMedium);
    PutFruit(2, FruitRipe);
    PutFruit(3, FruitPicked);
    PutFruit(4, FruitStolen);
    GrowFruit();
    EXPECT_EQ(PlayField.Fruits[0].state, FruitMedium);
    EXPECT_EQ(PlayField.Fruits[1].state, FruitRipe);
    EXPECT_EQ(PlayField.Fruits[2].state, FruitRipe);
    EXPECT_EQ(PlayField.Fruits[3].state, FruitPicked);
    EXPECT_EQ(PlayField.Fruits[4].state, FruitStolen);
    EXPECT_EQ(PlayField.Fruits[5].state, FruitEmpty);
    GrowFruit();
    EXPECT_EQ(PlayField.Fruits[0].state, FruitRipe) << "ripe on the second tick";
}

TEST_F(FruitTest, PickingTakesTheDogOnTheRowWithinSixteen) {
    PutFruit(1, FruitRipe);  // (96, 96)
    PutFruit(5, FruitRipe);  // (192, 96)
    PlayField.Dog = Actor{144, 96, 0, DogStill};
    PickFruit();
    EXPECT_EQ(PlayField.Fruits[1].state, FruitRipe) << "48 from the column";
    EXPECT_EQ(PlayField.Fruits[5].state, FruitRipe);
    PlayField.Dog.x = 113;
    PickFruit();
    EXPECT_EQ(PlayField.Fruits[1].state, FruitRipe) << "17 away";
    PlayField.Dog.x = 112;
    PickFruit();
    EXPECT_EQ(PlayField.Fruits[1].state, FruitPicked);
    EXPECT_EQ(PlayField.Fruits[5].state, FruitRipe);
    EXPECT_EQ(PlayField.Score, 10);
    EXPECT_EQ(TakeSounds(), (Sounds{SoundPick}));
    PlayField.Dog.x = 176;
    PickFruit();
    EXPECT_EQ(PlayField.Fruits[5].state, FruitPicked);
    EXPECT_EQ(PlayField.Score, 20);
}

TEST_F(FruitTest, OnlyRipeFruitOfTheDogsRowIsPicked) {
    PutFruit(1, FruitMedium);
    PutFruit(2, FruitRipe);  // the row below
    PlayField.Dog = Actor{112, 96, 0, DogStill};
    PickFruit();
    EXPECT_EQ(PlayField.Fruits[1].state, FruitMedium);
    EXPECT_EQ(PlayField.Fruits[2].state, FruitRipe);
    PlayField.Dog.y = 100;
    PlayField.Fruits[1].state = FruitRipe;
    PickFruit();
    EXPECT_EQ(PlayField.Fruits[1].state, FruitRipe) << "the dog between rows";
    EXPECT_EQ(PlayField.Score, 0);
    EXPECT_TRUE(TakeSounds().empty());
}

TEST_F(FruitTest, APickedFruitFallsDriftingToTheMiddleThenRollsOffTheRight) {
    PutFruit(3, FruitPicked);  // (96, 224)
    Actor& fruit = PlayField.Fruits[3];
    for (int i = 1; i <= 10; ++i) {
        MoveFruit();
        ASSERT_EQ(fruit.state, FruitPicked);
        ASSERT_EQ(fruit.y, 224 + 6 * i);
        ASSERT_EQ(fruit.x, 96 + i);
        ASSERT_EQ(fruit.frame, i % 8);
    }
    MoveFruit();  // 284 + 6 passes 288
    EXPECT_EQ(fruit.y, 288);
    EXPECT_EQ(fruit.state, FruitRolling);
    EXPECT_EQ(fruit.x, 107);
    fruit.x = 314;
    MoveFruit();
    EXPECT_EQ(fruit.x, 320);
    EXPECT_EQ(fruit.state, FruitRolling) << "320 is still on the field";
    EXPECT_EQ(PlayField.FruitCount, 1);
    MoveFruit();
    EXPECT_EQ(fruit.state, FruitEmpty);
    EXPECT_EQ(PlayField.FruitCount, 0);
}

TEST_F(FruitTest, AFallThatLandsExactlyOnTheGroundFallsOnceMore) {
    PutFruit(1, FruitPicked);  // y 96: 96 + 6 * 32 = 288
    Actor& fruit = PlayField.Fruits[1];
    fruit.x = 148;
    for (int i = 0; i < 32; ++i) MoveFruit();
    EXPECT_EQ(fruit.y, 288);
    EXPECT_EQ(fruit.state, FruitPicked);
    EXPECT_EQ(fruit.x, 148) << "already in the middle";
    MoveFruit();
    EXPECT_EQ(fruit.y, 288);
    EXPECT_EQ(fruit.state, FruitRolling);
    PutFruit(6, FruitPicked);  // right side drifts left
    MoveFruit();
    EXPECT_EQ(PlayField.Fruits[6].x, 191);
}

TEST_F(FruitTest, StolenFruitSlidesOutAtItsOwnSide) {
    PutFruit(0, FruitStolen);
    PutFruit(4, FruitStolen);
    MoveFruit();
    EXPECT_EQ(PlayField.Fruits[0].x, 90);
    EXPECT_EQ(PlayField.Fruits[0].frame, 7) << "a left theft turns backwards";
    EXPECT_EQ(PlayField.Fruits[4].x, 198);
    EXPECT_EQ(PlayField.Fruits[4].frame, 1);
    MoveFruit();
    EXPECT_EQ(PlayField.Fruits[0].frame, 6);
    PlayField.Fruits[0].x = 6;
    PlayField.Fruits[4].x = 282;
    MoveFruit();
    EXPECT_EQ(PlayField.Fruits[0].state, FruitStolen) << "0 is still on the field";
    EXPECT_EQ(PlayField.Fruits[4].state, FruitStolen) << "288 is still on the field";
    MoveFruit();
    EXPECT_EQ(PlayField.Fruits[0].state, FruitEmpty);
    EXPECT_EQ(PlayField.Fruits[4].state, FruitEmpty);
    EXPECT_EQ(PlayField.FruitCount, 0);
}

class SpiderTest : public PlayTest {};

TEST_F(SpiderTest, ApproachingSpidersCreepToTheirStopsTurningTheirFrames) {
    PutSpider(0, 78, SpiderApproaching, 3);
    PutSpider(4, 210, SpiderApproaching, 0);
    const int32_t leftX[] = {79, 80, 80, 80}, leftFrame[] = {4, 5, 3, 4};
    const int32_t rightX[] = {209, 208, 208, 208}, rightFrame[] = {1, 2, 0, 1};
    for (int i = 0; i < 4; ++i) {
        MoveSpiders();
        EXPECT_EQ(PlayField.Spiders[0].x, leftX[i]);
        EXPECT_EQ(PlayField.Spiders[0].frame, leftFrame[i]);
        EXPECT_EQ(PlayField.Spiders[4].x, rightX[i]);
        EXPECT_EQ(PlayField.Spiders[4].frame, rightFrame[i]);
    }
    EXPECT_EQ(PlayField.Spiders[0].state, SpiderApproaching) << "no fruit: it waits";
}

TEST_F(SpiderTest, ASpiderArrivingAtARipeFruitStealsItOnThatStep) {
    PutFruit(5, FruitRipe);
    PutSpider(5, 209, SpiderApproaching, 0);
    MoveSpiders();
    EXPECT_EQ(PlayField.Spiders[5].state, SpiderStealing);
    EXPECT_EQ(PlayField.Fruits[5].state, FruitStolen);
    EXPECT_EQ(PlayField.PlantsLeft, 11);
    EXPECT_EQ(TakeSounds(), (Sounds{SoundStole}));
    EXPECT_EQ(ScreenState, Play);
}

TEST_F(SpiderTest, AWaitingSpiderStealsOnTheFirstStepAfterRipening) {
    PutFruit(2, FruitMedium);
    PutSpider(2, 80, SpiderApproaching, 3);
    MoveSpiders();
    EXPECT_EQ(PlayField.Spiders[2].state, SpiderApproaching);
    EXPECT_EQ(PlayField.Fruits[2].state, FruitMedium);
    GrowFruit();
    MoveSpiders();
    EXPECT_EQ(PlayField.Fruits[2].state, FruitStolen);
    EXPECT_EQ(PlayField.Spiders[2].state, SpiderStealing);
}

TEST_F(SpiderTest, APickBetweenRipeningAndTheSpiderStepSavesTheFruit) {
    PutFruit(2, FruitMedium);
    PutSpider(2, 80, SpiderApproaching, 3);
    PlayField.Dog = Actor{112, RowOf(2), 0, DogStill};
    GrowFruit();
    PickFruit();
    MoveSpiders();
    EXPECT_EQ(PlayField.Fruits[2].state, FruitPicked);
    EXPECT_EQ(PlayField.Spiders[2].state, SpiderApproaching) << "it waits on";
    EXPECT_EQ(PlayField.PlantsLeft, 12);
    EXPECT_EQ(TakeSounds(), (Sounds{SoundPick}));
}

TEST_F(SpiderTest, AThiefPausesOneStepThenRunsOutAtItsEdge) {
    PutFruit(1, FruitRipe);
    PutSpider(1, 80, SpiderApproaching, 5);
    MoveSpiders();
    ASSERT_EQ(PlayField.Spiders[1].state, SpiderStealing);
    EXPECT_EQ(PlayField.Spiders[1].frame, 3) << "it turned on its last approach step";
    MoveSpiders();
    EXPECT_EQ(PlayField.Spiders[1].state, SpiderRetreating);
    EXPECT_EQ(PlayField.Spiders[1].x, 80) << "the pause does not move it";
    const int32_t xs[] = {70, 60, 50, 40, 30, 20, 10, 0};
    const int32_t frames[] = {0, 1, 2, 0, 1, 2, 0, 1};
    for (int i = 0; i < 8; ++i) {
        MoveSpiders();
        ASSERT_EQ(PlayField.Spiders[1].x, xs[i]);
        ASSERT_EQ(PlayField.Spiders[1].frame, frames[i]);
        ASSERT_EQ(PlayField.Spiders[1].state, SpiderRetreating);
    }
    EXPECT_EQ(PlayField.SpiderCount, 1);
    MoveSpiders();
    EXPECT_EQ(PlayField.Spiders[1].state, SpiderEmpty);
    EXPECT_EQ(PlayField.SpiderCount, 0);
}

TEST_F(SpiderTest, RightSpidersRetreatFacingRightAndLeavePast282) {
    PutSpider(7, 262, SpiderRetreating, 1);
    MoveSpiders();
    EXPECT_EQ(PlayField.Spiders[7].x, 272);
    EXPECT_EQ(PlayField.Spiders[7].frame, 3);
    MoveSpiders();
    EXPECT_EQ(PlayField.Spiders[7].x, 282);
    EXPECT_EQ(PlayField.Spiders[7].frame, 4);
    EXPECT_EQ(PlayField.Spiders[7].state, SpiderRetreating) << "282 is still on the field";
    MoveSpiders();
    EXPECT_EQ(PlayField.Spiders[7].state, SpiderEmpty);
    EXPECT_EQ(PlayField.SpiderCount, 0);
    PutSpider(6, 100, SpiderRetreating, 5);
    MoveSpiders();
    EXPECT_EQ(PlayField.Spiders[6].frame, 3) << "6 wraps to 3";
}

class SpawnTest : public PlayTest {
protected:
    // The slots rand() % 8 gives after srand(seed), without disturbing the game's own draws.
    static std::vector<int> Draws(unsigned seed, int n) {
        std::srand(seed);
        std::vector<int> slots;
        for (int i = 0; i < n; ++i) slots.push_back(std::rand() % 8);
        std::srand(seed);
        return slots;
    }
};

TEST_F(SpawnTest, AFruitIsPlantedInTheFirstFreeSlotDrawn) {
    std::vector<int> draws = Draws(7, 20);
    PutFruit(draws[0], FruitRipe);
    int expected = -1;
    for (int slot : draws) {
        if (slot != draws[0]) {
            expected = slot;
            break;
        }
    }
    ASSERT_GE(expected, 0);
    SpawnFruit();
    const Actor& fruit = PlayField.Fruits[expected];
    EXPECT_EQ(fruit.state, FruitSmall);
    EXPECT_EQ(fruit.x, expected < 4 ? 96 : 192);
    EXPECT_EQ(fruit.y, RowOf(expected % 4));
    EXPECT_EQ(fruit.frame, 0);
    EXPECT_EQ(PlayField.FruitCount, 2);
}

TEST_F(SpawnTest, SpidersStartAtTheirEdgeInTheFirstFreeSlotDrawn) {
    std::vector<int> draws = Draws(11, 400);
    size_t next = 0;
    bool taken[SpiderSlots] = {};
    for (int n = 1; n <= SpiderSlots; ++n) {
        int slot = draws[next++];
        while (taken[slot]) slot = draws[next++];
        taken[slot] = true;
        SpawnSpider();
        const Actor& spider = PlayField.Spiders[slot];
        ASSERT_EQ(spider.state, SpiderApproaching) << "spawn " << n;
        EXPECT_EQ(spider.x, slot < 4 ? 0 : 282);
        EXPECT_EQ(spider.frame, slot < 4 ? 3 : 0);
        EXPECT_EQ(spider.y, RowOf(slot % 4) + 4);
        EXPECT_EQ(PlayField.SpiderCount, n);
    }
}

TEST_F(SpawnTest, FullTablesDrawNoRandomNumber) {
    for (int slot = 0; slot < 8; ++slot) {
        PutFruit(slot, FruitSmall);
        PutSpider(slot, slot < 4 ? 0 : 282, SpiderApproaching, 0);
    }
    std::vector<int> draws = Draws(23, 6);
    SpawnFruit();
    SpawnSpider();
    std::vector<int> after;
    for (int i = 0; i < 6; ++i) after.push_back(std::rand() % 8);
    EXPECT_EQ(after, draws) << "the generator was not touched";
    EXPECT_EQ(PlayField.FruitCount, 8);
    EXPECT_EQ(PlayField.SpiderCount, 8);
}

class EndOfGameTest : public PlayTest {
protected:
    void SetScores(std::initializer_list<int32_t> scores) {
        int i = 0;
        for (int32_t s : scores) HighScoreTable[i++].score = s;
    }
    // A spider at its stop beside a ripe fruit in slot.
    void ReadyThief(int slot) {
        PutFruit(slot, FruitRipe);
        PutSpider(slot, slot < 4 ? 80 : 208, SpiderApproaching, slot < 4 ? 3 : 0);
    }
};

TEST_F(EndOfGameTest, TheLastPlantLeadsToNameEntryWhenTheScoreBeatsAnEntry) {
    SetScores({900, 800, 700, 600, 500, 400, 300, 200});
    PlayField.Score = 210;
    PlayField.PlantsLeft = 1;
    ReadyThief(3);
    MoveSpiders();
    EXPECT_EQ(PlayField.PlantsLeft, 0);
    EXPECT_EQ(ScreenState, EnterName);
}

TEST_F(EndOfGameTest, AnEqualScoreGoesToTheScoreTable) {
    SetScores({900, 800, 700, 600, 500, 400, 300, 200});
    PlayField.Score = 200;
    PlayField.PlantsLeft = 1;
    ReadyThief(0);
    MoveSpiders();
    EXPECT_EQ(ScreenState, ScoreTable);
}

TEST_F(EndOfGameTest, AnyEntryBelowTheScoreCountsNotOnlyTheLast) {
    SetScores({900, 800, 10, 600, 500, 400, 300, 200});
    PlayField.Score = 20;
    PlayField.PlantsLeft = 1;
    ReadyThief(0);
    MoveSpiders();
    EXPECT_EQ(ScreenState, EnterName);
}

TEST_F(EndOfGameTest, ASecondTheftInTheSamePassPicksNothingNewAndTheStepFinishes) {
    SetScores({900, 800, 700, 600, 500, 400, 300, 200});
    PlayField.Score = 0;
    PlayField.PlantsLeft = 1;
    ReadyThief(1);
    ReadyThief(6);
    PutSpider(7, 250, SpiderApproaching, 0);
    MoveSpiders();
    EXPECT_EQ(PlayField.PlantsLeft, -1);
    EXPECT_EQ(ScreenState, ScoreTable);
    EXPECT_EQ(PlayField.Spiders[7].x, 249) << "the slots after the last theft still step";
    EXPECT_EQ(TakeSounds(), (Sounds{SoundStole, SoundStole}));
}

TEST_F(EndOfGameTest, ATheftBelowZeroDoesNotChooseAScreen) {
    PlayField.PlantsLeft = 0;
    ReadyThief(4);
    MoveSpiders();
    EXPECT_EQ(PlayField.PlantsLeft, -1);
    EXPECT_EQ(ScreenState, Play);
}

TEST_F(EndOfGameTest, TheFieldKeepsItsStateForTheNextScreen) {
    SetScores({0, 0, 0, 0, 0, 0, 0, 0});
    PlayField.Score = 35;
    PlayField.PlantsLeft = 1;
    ReadyThief(2);
    MoveSpiders();
    EXPECT_EQ(ScreenState, EnterName);
    EXPECT_EQ(PlayField.Score, 35);
    EXPECT_EQ(PlayField.Fruits[2].state, FruitStolen);
    NewGame();
    EXPECT_EQ(PlayField.PlantsLeft, 12);
    EXPECT_EQ(PlayField.Score, 0);
    EXPECT_EQ(PlayField.Fruits[2].state, FruitEmpty);
    EXPECT_EQ(PlayField.FruitCount, 0);
    EXPECT_EQ(PlayField.SpiderCount, 0);
}

}  // namespace

// The play state's pass: the nine timed tasks and their intervals at every level, the corner
// icons, the pen zones, the button order, and the overlay drawn on every pass.
#include <climits>

#include "tests/play/play_fixture.h"

namespace {

using Sounds = std::vector<int>;

class SchedulerTest : public PlayTest {};

struct TaskInterval {
    const char* name;
    int32_t* timer;
    int32_t byLevel[10];
};

// The intervals in ms, levels 1 to 10, as the game is tuned.
const TaskInterval Intervals[] = {
    {"dog step", &LastDogStep, {12, 12, 12, 12, 12, 12, 12, 12, 12, 12}},
    {"level up", &LastLevelUp,
     {100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000}},
    {"pick check", &LastPickCheck, {100, 100, 100, 100, 100, 100, 100, 100, 100, 100}},
    {"growth", &LastGrow, {10000, 5000, 3000, 2000, 2000, 1000, 1000, 1000, 1000, 1000}},
    {"spider step", &LastSpiderStep, {500, 333, 250, 200, 166, 142, 125, 111, 100, 90}},
    {"fruit spawn", &LastFruitSpawn, {2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000, 2000}},
    {"spider spawn", &LastSpiderSpawn, {4000, 4000, 3000, 3000, 2000, 2000, 1000, 1000, 0, 0}},
    {"fume step", &LastFumeStep, {100, 100, 100, 100, 100, 100, 100, 100, 100, 100}},
    {"frame", &LastFrame, {33, 33, 33, 33, 33, 33, 33, 33, 33, 33}},
};

TEST_F(SchedulerTest, EveryTaskIsDueOnlyOnceMoreThanItsIntervalHasPassed) {
    constexpr int32_t Start = 5000;
    for (int level = 1; level <= 10; ++level) {
        for (const TaskInterval& task : Intervals) {
            int32_t interval = task.byLevel[level - 1];
            NewGame();
            PlayField.Level = level;
            SetAllTimers(Start);
            SetClock(Start + interval);
            RunPlayState();
            ASSERT_EQ(*task.timer, Start) << task.name << " ran early at level " << level;
            PlayField.Level = level;
            SetClock(Start + interval + 1);
            RunPlayState();
            ASSERT_EQ(*task.timer, Start + interval + 1)
                << task.name << " did not run at level " << level;
        }
    }
}

TEST_F(SchedulerTest, EachTaskRunsItsRule) {
    PutFruit(0, FruitSmall);
    PutSpider(1, 10, SpiderApproaching, 3);
    PlayField.Fumes[0] = Actor{100, 96, 0, FumeLeft};
    PlayField.Dog.state = DogDown;
    SetAllTimers(0);
    SetClock(10001);
    RunPlayState();
    EXPECT_EQ(PlayField.StepCount, 1) << "dog step";
    EXPECT_EQ(PlayField.Dog.y, 164);
    EXPECT_EQ(PlayField.Level, 1) << "level up is 100 s away";
    EXPECT_EQ(PlayField.Fruits[0].state, FruitMedium) << "growth";
    EXPECT_EQ(PlayField.Spiders[1].x, 11) << "spider step";
    EXPECT_EQ(PlayField.FruitCount, 2) << "fruit spawn";
    EXPECT_EQ(PlayField.SpiderCount, 2) << "spider spawn";
    EXPECT_EQ(PlayField.Fumes[0].x, 90) << "fume step";
    EXPECT_EQ(Pixel(100, 100), MainImage[100 * ScreenWidth + 100]) << "frame";
}

TEST_F(SchedulerTest, AFruitRipeningInThePassOfASpiderStepIsStolenBeforeAnyPick) {
    // The pick check comes before growth, growth before the spider step.
    PlayField.Dog = Actor{112, RowOf(1), 0, DogStill};
    PutFruit(1, FruitMedium);
    PutSpider(1, 80, SpiderApproaching, 3);
    SetAllTimers(0);
    SetClock(10001);
    RunPlayState();
    EXPECT_EQ(PlayField.Fruits[1].state, FruitStolen);
    EXPECT_EQ(PlayField.PlantsLeft, 11);
}

TEST_F(SchedulerTest, TheDogsLastStepToAFruitIsFollowedByThePickInTheSamePass) {
    PlayField.Dog = Actor{114, RowOf(1), 5, DogLeft};
    PlayField.StepCount = 15;
    PutFruit(1, FruitRipe);
    PutSpider(1, 79, SpiderApproaching, 3);
    SetAllTimers(0);
    SetClock(501);
    RunPlayState();
    EXPECT_EQ(PlayField.Dog.x, 112);
    EXPECT_EQ(PlayField.Fruits[1].state, FruitPicked) << "picked before the spider arrives";
    EXPECT_EQ(PlayField.Spiders[1].x, 80);
    EXPECT_EQ(PlayField.PlantsLeft, 12);
}

TEST_F(SchedulerTest, ASpiderStealsBeforeAFumeOfTheSamePassReachesIt) {
    PutFruit(0, FruitRipe);
    PutSpider(0, 79, SpiderApproaching, 3);
    PlayField.Fumes[0] = Actor{100, RowOf(0), 0, FumeLeft};  // to 90, within reach of 80
    SetAllTimers(0);
    SetClock(501);
    RunPlayState();
    EXPECT_EQ(PlayField.Fruits[0].state, FruitStolen);
    EXPECT_EQ(PlayField.Spiders[0].state, SpiderStealing) << "a thief can't be hit";
    EXPECT_EQ(PlayField.Score, 0);
}

TEST_F(SchedulerTest, TheDogTimerRunsAlsoWhileTheDogStands) {
    SetClock(13);
    RunPlayState();
    EXPECT_EQ(LastDogStep, 13);
    EXPECT_EQ(PlayField.StepCount, 0) << "no step while still";
}

TEST_F(SchedulerTest, MissedIntervalsAreNotMadeUp) {
    PlayField.Fumes[0] = Actor{200, 96, 0, FumeLeft};
    SetClock(1000);
    RunPlayState();
    EXPECT_EQ(PlayField.Fumes[0].x, 190);
    EXPECT_EQ(LastFumeStep, 1000);
    RunPlayState();
    EXPECT_EQ(PlayField.Fumes[0].x, 190) << "nothing is due until the clock moves on";
    SetClock(1100);
    RunPlayState();
    EXPECT_EQ(PlayField.Fumes[0].x, 190) << "100 ms is not more than the interval";
    SetClock(1101);
    RunPlayState();
    EXPECT_EQ(PlayField.Fumes[0].x, 180);
}

TEST_F(SchedulerTest, TheLevelReachesTenAfterNineRisesAndStaysThere) {
    int32_t clock = 0;
    for (int rise = 1; rise <= 9; ++rise) {
        clock += 100000;
        SetClock(clock);
        RunPlayState();
        ASSERT_EQ(PlayField.Level, rise) << "exactly 100000 ms is not a rise";
        clock += 1;
        SetClock(clock);
        RunPlayState();
        ASSERT_EQ(PlayField.Level, rise + 1);
        SetAllTimers(clock);
    }
    EXPECT_EQ(clock, 900009);
    SetClock(clock + 100001);
    RunPlayState();
    EXPECT_EQ(PlayField.Level, 10);
}

TEST_F(SchedulerTest, ANewLevelsIntervalsApplyInTheSamePass) {
    PlayField.Level = 8;
    SetAllTimers(200000);
    SetClock(200001);
    RunPlayState();
    EXPECT_EQ(PlayField.SpiderCount, 0) << "level 8 waits 1000 ms between spiders";
    LastLevelUp = 200001 - 100001;
    SetClock(200002);
    RunPlayState();
    EXPECT_EQ(PlayField.Level, 9);
    EXPECT_EQ(PlayField.SpiderCount, 1) << "level 9 brings one whenever the clock moved";
}

TEST_F(SchedulerTest, AtLevelNineASpiderComesOnEveryPassTheClockMovesUntilEight) {
    PlayField.Level = 9;
    SetAllTimers(1000);
    SetClock(1000);
    RunPlayState();
    EXPECT_EQ(PlayField.SpiderCount, 0);
    for (int n = 1; n <= 10; ++n) {
        SetClock(1000 + n);
        RunPlayState();
        EXPECT_EQ(PlayField.SpiderCount, n < 8 ? n : 8);
    }
}

TEST_F(SchedulerTest, TasksKeepRunningWhenTheClockPassesTwoToTheThirtyOne) {
    SetClock(INT32_MAX - 40);
    NewGame();
    PlayField.Fumes[0] = Actor{200, 96, 0, FumeLeft};
    SetClock(INT32_MIN + 100);  // 141 ms later
    RunPlayState();
    EXPECT_EQ(LastFrame, INT32_MIN + 100);
    EXPECT_EQ(PlayField.Fumes[0].x, 190);
}

class PlayInputTest : public PlayTest {
protected:
    static void Pen(int x, int y) {
        Latches.penDown = true;
        Latches.penX = static_cast<uint32_t>(x);
        Latches.penY = static_cast<uint32_t>(y);
    }
    static void Tap(int x, int y) {
        Latches.tapPending = true;
        Latches.tapX = static_cast<uint32_t>(x);
        Latches.tapY = static_cast<uint32_t>(y);
    }
    static int FumesInFlight() {
        int n = 0;
        for (const Actor& fume : PlayField.Fumes) n += fume.state != FumeEmpty;
        return n;
    }
};

TEST_F(PlayInputTest, PenZonesGiveShotsAndOrders) {
    enum Result { None, ShotLeft, ShotRight, Up, Down, Left, Right };
    struct Case { int x, y; Actor dog; Result result; };
    const Actor centre{144, 160, 0, DogStill};  // middle (80, 88) in half units
    const Case cases[] = {
        {29, 200, centre, ShotLeft},   {30, 200, centre, Left},
        {211, 200, centre, Right},     {212, 200, centre, ShotRight},
        {108, 100, centre, Up},        {107, 100, centre, Left},
        {133, 250, centre, Down},      {134, 250, centre, Right},
        {120, 176, centre, None},      // level with the dog's middle on both axes
        {110, 177, centre, Left},      // level on y, left of it
        {110, 10, Actor{144, 32, 0, DogStill}, Left},    // top row: up fails, left holds
        {125, 250, Actor{144, 224, 0, DogStill}, Right},  // bottom row: down fails
        {110, 100, Actor{112, 96, 4, DogStill}, Right},  // off the column: no up
        {60, 120, Actor{144, 100, 2, DogStill}, None},   // between rows: no sideways
    };
    for (const Case& c : cases) {
        NewGame();
        PlayField.Dog = c.dog;
        Latches = InputLatches{};
        Pen(c.x, c.y);
        RunPlayState();
        std::string where = "pen " + std::to_string(c.x) + "," + std::to_string(c.y);
        const int32_t orders[] = {DogStill, DogStill, DogStill, DogUp, DogDown, DogLeft, DogRight};
        EXPECT_EQ(PlayField.Dog.state, orders[c.result]) << where;
        EXPECT_EQ(PlayField.Fumes[0].state,
                  c.result == ShotLeft ? FumeLeft : c.result == ShotRight ? FumeRight : FumeEmpty)
            << where;
    }
}

TEST_F(PlayInputTest, ThePenDoesNothingDuringAMove) {
    PlayField.Dog.state = DogUp;
    PlayField.StepCount = 3;
    Pen(5, 200);
    RunPlayState();
    EXPECT_EQ(FumesInFlight(), 0);
    Pen(230, 200);
    RunPlayState();
    EXPECT_EQ(PlayField.Dog.state, DogUp);
}

TEST_F(PlayInputTest, HoldingTheStylusAtTheLeftEdgeShootsFourFumesThenOnlyTurns) {
    Pen(10, 200);
    for (int pass = 1; pass <= 4; ++pass) {
        RunPlayState();
        EXPECT_EQ(FumesInFlight(), pass);
    }
    EXPECT_EQ(TakeSounds(), (Sounds{SoundFire, SoundFire, SoundFire, SoundFire}));
    PlayField.Dog.frame = 0;
    RunPlayState();
    EXPECT_EQ(PlayField.Dog.frame, 4);
    EXPECT_TRUE(TakeSounds().empty());
}

TEST_F(PlayInputTest, ASpeakerTapMutesOnceAndThenTheHeldPenShootsLeft) {
    Tap(5, 5);
    Pen(5, 5);
    RunPlayState();
    EXPECT_FALSE(SoundOn);
    EXPECT_EQ(FumesInFlight(), 0) << "the pen is ignored in the pass of the tap";
    RunPlayState();
    EXPECT_FALSE(SoundOn);
    EXPECT_EQ(PlayField.Fumes[0].state, FumeLeft);
}

TEST_F(PlayInputTest, IconTapBounds) {
    Tap(17, 5);
    RunPlayState();
    EXPECT_TRUE(SoundOn) << "x 17 is off the speaker";
    Tap(16, 22);
    RunPlayState();
    EXPECT_TRUE(SoundOn) << "y 22 is below it";
    Tap(224, 21);
    RunPlayState();
    EXPECT_EQ(ScreenState, Play) << "x 224 is left of the exit icon";
    Tap(225, 21);
    RunPlayState();
    EXPECT_EQ(ScreenState, Menu);
}

TEST_F(PlayInputTest, TheExitIconAbandonsTheGameButThePassRunsOn) {
    Tap(230, 10);
    Pen(230, 10);
    Latches.downHeld = true;
    SetClock(40);
    RunPlayState();
    EXPECT_EQ(ScreenState, Menu);
    EXPECT_EQ(TakeSounds(), (Sounds{SoundSelect}));
    EXPECT_EQ(FumesInFlight(), 0) << "the pen is ignored in the pass of the tap";
    EXPECT_EQ(PlayField.Dog.state, DogDown) << "the buttons still count";
    EXPECT_EQ(PlayField.StepCount, 1);
    EXPECT_EQ(LastFrame, 40) << "the frame task still runs";
}

TEST_F(PlayInputTest, ATapOnTheFieldIsDropped) {
    Tap(120, 100);
    RunPlayState();
    EXPECT_FALSE(Latches.tapPending);
    EXPECT_EQ(PlayField.Dog.state, DogStill);
    EXPECT_EQ(FumesInFlight(), 0);
}

TEST_F(PlayInputTest, TheLastTheftOutranksTheExitTapOfTheSamePass) {
    for (HighScoreEntry& entry : HighScoreTable) entry.score = 0;
    PlayField.Score = 10;
    PlayField.PlantsLeft = 1;
    PutFruit(0, FruitRipe);
    PutSpider(0, 80, SpiderApproaching, 3);
    Tap(230, 10);
    SetClock(501);
    RunPlayState();
    EXPECT_EQ(ScreenState, EnterName);
}

TEST_F(PlayInputTest, AAndBStayLatchedWhileLeftOrRightIsHeld) {
    PlayField.Dog = Actor{112, 96, 0, DogStill};  // Left can't be taken from here
    Latches.leftHeld = true;
    Latches.aPressed = true;
    Latches.bPressed = true;
    RunPlayState();
    EXPECT_TRUE(Latches.aPressed);
    EXPECT_TRUE(Latches.bPressed);
    EXPECT_EQ(FumesInFlight(), 0);
    EXPECT_EQ(PlayField.Dog.state, DogStill);
    Latches.leftHeld = false;
    Latches.rightHeld = true;
    PlayField.Dog = Actor{176, 96, 0, DogStill};
    RunPlayState();
    EXPECT_TRUE(Latches.aPressed);
    Latches.rightHeld = false;
    RunPlayState();
    EXPECT_FALSE(Latches.aPressed) << "read on the first pass with neither held";
    EXPECT_TRUE(Latches.bPressed) << "only the first pressed button is handled";
    EXPECT_EQ(PlayField.Fumes[0].state, FumeLeft);
    RunPlayState();
    EXPECT_FALSE(Latches.bPressed);
    EXPECT_EQ(PlayField.Fumes[1].state, FumeRight);
    EXPECT_EQ(PlayField.Dog.frame, 6);
}

TEST_F(PlayInputTest, AShotPressedDuringAMoveIsLost) {
    PlayField.Dog.state = DogUp;
    PlayField.StepCount = 5;
    Latches.aPressed = true;
    RunPlayState();
    EXPECT_FALSE(Latches.aPressed);
    PlayField.StepCount = 0;
    PlayField.Dog.state = DogStill;
    RunPlayState();
    EXPECT_EQ(FumesInFlight(), 0);
    EXPECT_TRUE(TakeSounds().empty());
}

TEST_F(PlayInputTest, ButtonOrdersFollowTheirOwnConditions) {
    struct Case { Actor dog; bool left, right, up, down; int32_t expected; };
    const Case cases[] = {
        {{144, 160, 0, DogStill}, true, false, false, false, DogLeft},
        {{176, 160, 0, DogStill}, true, false, false, false, DogLeft},
        {{112, 160, 0, DogStill}, true, false, false, false, DogStill},
        {{144, 164, 0, DogStill}, true, false, false, false, DogStill},
        {{112, 160, 0, DogStill}, false, true, false, false, DogRight},
        {{176, 160, 0, DogStill}, false, true, false, false, DogStill},
        {{112, 96, 0, DogStill}, false, false, true, false, DogUp},  // the column is not tested
        {{144, 32, 0, DogStill}, false, false, true, false, DogStill},
        {{144, 220, 0, DogStill}, false, false, false, true, DogDown},
        {{144, 224, 0, DogStill}, false, false, false, true, DogStill},
        {{144, 160, 0, DogStill}, false, true, true, true, DogRight},  // the first held wins
        {{176, 160, 0, DogStill}, false, true, true, false, DogStill},  // and hides the rest
    };
    for (const Case& c : cases) {
        NewGame();
        PlayField.Dog = c.dog;
        Latches = InputLatches{};
        Latches.leftHeld = c.left;
        Latches.rightHeld = c.right;
        Latches.upHeld = c.up;
        Latches.downHeld = c.down;
        RunPlayState();
        EXPECT_EQ(PlayField.Dog.state, c.expected)
            << "dog " << c.dog.x << "," << c.dog.y << " L" << c.left << " R" << c.right << " U"
            << c.up << " D" << c.down;
    }
}

TEST_F(PlayInputTest, AButtonOrderReplacesThePensAndAFailedOneLeavesIt) {
    Pen(110, 100);  // up the column
    Latches.leftHeld = true;
    RunPlayState();
    EXPECT_EQ(PlayField.Dog.state, DogLeft);

    NewGame();
    PlayField.Dog = Actor{144, 224, 0, DogStill};
    Latches = InputLatches{};
    Pen(110, 100);
    Latches.downHeld = true;  // already on the bottom row
    RunPlayState();
    EXPECT_EQ(PlayField.Dog.state, DogUp);
}

TEST_F(PlayInputTest, UpOffTheColumnHoldsTheDogForAWholeMove) {
    PlayField.Dog = Actor{112, 96, 4, DogStill};
    Latches.upHeld = true;
    SetClock(13);
    RunPlayState();
    ASSERT_EQ(PlayField.Dog.state, DogUp);
    ASSERT_EQ(PlayField.StepCount, 1);
    Latches.upHeld = false;
    Latches.rightHeld = true;
    for (int pass = 2; pass <= 17; ++pass) {
        SetClock(13 * pass);
        RunPlayState();
        ASSERT_EQ(PlayField.Dog.x, 112) << "pass " << pass;
        ASSERT_EQ(PlayField.Dog.y, 96) << "pass " << pass;
        ASSERT_EQ(PlayField.Dog.frame, 4) << "pass " << pass;
    }
    EXPECT_EQ(PlayField.Dog.state, DogStill);
    EXPECT_EQ(PlayField.StepCount, 0);
    SetClock(13 * 18);
    RunPlayState();
    EXPECT_EQ(PlayField.Dog.state, DogRight) << "free for orders again";
    EXPECT_EQ(PlayField.Dog.x, 114);
}

TEST_F(PlayInputTest, TheIconsAreDrawnOnEveryPassOverTheLastPicture) {
    std::fill(BackBuffer, BackBuffer + ScreenWidth * ScreenHeight, uint16_t{0x1111});
    RunPlayState();  // no task due: the field is not redrawn
    EXPECT_EQ(Pixel(100, 100), 0x1111);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(Pixel(x, y), SpeakerIcon[y * 16 + x]) << x << "," << y;
            ASSERT_EQ(Pixel(223 + x, y), ExitIcon[y * 16 + x]) << x << "," << y;
        }
    }
    EXPECT_EQ(Pixel(239, 0), 0x1111);
    EXPECT_EQ(Pixel(222, 0), 0x1111);
    SetClock(34);  // the frame task redraws the field, and the icons go over it
    RunPlayState();
    ASSERT_EQ(LastFrame, 34);
    EXPECT_EQ(Pixel(100, 100), MainImage[100 * ScreenWidth + 100]);
    EXPECT_EQ(Pixel(3, 0), SpeakerIcon[3]) << "the key colour is drawn: the icons are opaque";
    EXPECT_EQ(Pixel(223 + 3, 0), ExitIcon[3]);
    ToggleMute();
    RunPlayState();
    EXPECT_EQ(Pixel(0, 0), ColourRed) << "the mute cross over the speaker";
    ToggleMute();
}

}  // namespace

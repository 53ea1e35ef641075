// The play state's pass: the nine timed tasks, their intervals and order, the pen, buttons and
// icons, and the frames it draws.
#include <algorithm>
#include <climits>

#include "tests/game/fixture.h"

namespace {

using SchedulerTest = GameTest;
using PlayInputTest = GameTest;
using PlayDrawTest = GameTest;

// Every play timer to the same time; nothing is due until the clock moves past it.
void SetAllTimers(int32_t ms) {
    for (int32_t* timer : {&LastDogStep, &LastLevelUp, &LastPickCheck, &LastGrow, &LastSpiderStep,
                           &LastFruitSpawn, &LastSpiderSpawn, &LastFumeStep, &LastFrame}) {
        *timer = ms;
    }
}

// The intervals in ms by level, 1 to 10, as the game is tuned; one value holds at every level.
const struct {
    const char* name;
    int32_t* timer;
    int32_t byLevel[10];
} Intervals[] = {
    {"dog step", &LastDogStep, {12}},
    {"level up", &LastLevelUp, {100000}},
    {"pick check", &LastPickCheck, {100}},
    {"growth", &LastGrow, {10000, 5000, 3000, 2000, 2000, 1000, 1000, 1000, 1000, 1000}},
    {"spider step", &LastSpiderStep, {500, 333, 250, 200, 166, 142, 125, 111, 100, 90}},
    {"fruit spawn", &LastFruitSpawn, {2000}},
    {"spider spawn", &LastSpiderSpawn, {4000, 4000, 3000, 3000, 2000, 2000, 1000, 1000, 0, 0}},
    {"fume step", &LastFumeStep, {100}},
    {"frame", &LastFrame, {33}},
};

TEST_F(SchedulerTest, EveryTaskIsDueOnlyOnceMoreThanItsIntervalHasPassed) {
    for (int level = 1; level <= 10; ++level) {
        for (const auto& task : Intervals) {
            int32_t interval = task.byLevel[task.byLevel[1] ? level - 1 : 0];
            for (int32_t passed : {interval, interval + 1}) {
                NewGame();
                PlayField.Level = level;
                SetAllTimers(5000);
                SetClock(5000 + passed);
                RunPlayState();
                ASSERT_EQ(*task.timer, passed > interval ? 5000 + passed : 5000)
                    << task.name << " after " << passed << " ms at level " << level;
            }
        }
    }
}

TEST_F(SchedulerTest, EachTaskRunsItsRule) {
    PutFruit(0, FruitSmall);
    PutFruit(5, FruitMedium);
    PutFruit(7, FruitRipe);
    PutSpider(1, 10, SpiderApproaching, 3);
    PlayField.Fumes[0] = Actor{100, 96, 0, FumeLeft};
    PlayField.Dog.state = DogDown;
    SetAllTimers(0);
    SetClock(10001);
    RunPlayState();
    EXPECT_EQ(PlayField.Dog.y, 164) << "dog step";
    EXPECT_EQ(PlayField.Level, 1) << "level up is 100 s away";
    EXPECT_EQ(PlayField.Fruits[0].state, FruitMedium) << "growth, one stage a tick";
    EXPECT_EQ(PlayField.Fruits[5].state, FruitRipe);
    EXPECT_EQ(PlayField.Fruits[7].state, FruitRipe);
    EXPECT_EQ(PlayField.Spiders[1].x, 11) << "spider step";
    EXPECT_EQ(PlayField.FruitCount, 4) << "fruit spawn";
    EXPECT_EQ(PlayField.SpiderCount, 2) << "spider spawn";
    EXPECT_EQ(PlayField.Fumes[0].x, 90) << "fume step";
    EXPECT_EQ(Pixel(100, 100), MainImage[100 * ScreenWidth + 100]) << "frame";
    for (int32_t level : {1, 9, 10}) {
        PlayField.Level = level;
        SetClock(LastLevelUp + 100001);
        RunPlayState();
        EXPECT_EQ(PlayField.Level, std::min(level + 1, 10)) << "level up from " << level;
    }
}

TEST_F(SchedulerTest, TasksRunInTheirOrderWithinAPass) {
    // Pick, then growth, then the spider step: a fruit ripening in the pass is stolen.
    PlayField.Dog = Actor{112, RowOf(1), 0, DogStill};
    PutFruit(1, FruitMedium);
    PutSpider(1, 80, SpiderApproaching, 3);
    SetAllTimers(0);
    SetClock(10001);
    RunPlayState();
    EXPECT_EQ(PlayField.Fruits[1].state, FruitStolen);
    // The dog's last step, then the pick, then the spider's arrival.
    NewGame();
    PlayField.Dog = Actor{114, RowOf(1), 5, DogLeft};
    PlayField.StepCount = 15;
    PutFruit(1, FruitRipe);
    PutSpider(1, 79, SpiderApproaching, 3);
    SetAllTimers(0);
    SetClock(501);
    RunPlayState();
    EXPECT_EQ(PlayField.Fruits[1].state, FruitPicked);
    // The spider step before the fume step: a thief can't be hit.
    NewGame();
    PutFruit(0, FruitRipe);
    PutSpider(0, 79, SpiderApproaching, 3);
    PlayField.Fumes[0] = Actor{100, RowOf(0), 0, FumeLeft};
    SetAllTimers(0);
    SetClock(501);
    RunPlayState();
    EXPECT_EQ(PlayField.Spiders[0].state, SpiderStealing);
    EXPECT_EQ(PlayField.Score, 0);
    // The level comes second: a new level's intervals apply in the same pass.
    NewGame();
    PlayField.Level = 8;
    SetAllTimers(200000);
    LastLevelUp = 99999;
    SetClock(200001);
    RunPlayState();
    EXPECT_EQ(PlayField.Level, 9);
    EXPECT_EQ(PlayField.SpiderCount, 1) << "level 9 brings a spider whenever the clock moved";
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

TEST_F(PlayInputTest, PenAndButtonsGiveOrdersAndShots) {
    // keys: L, R, U, D held, A, B pressed; latched: the presses left after the pass.
    struct Input { Actor dog; int penX, penY; const char* keys; int32_t order, fume; const char* latched; };
    constexpr int32_t Still = DogStill, E = FumeEmpty;
    const Actor centre{144, 160, 0, Still};  // its middle is (80, 88) in half units
    const Actor left{112, 160, 0, Still}, right{176, 160, 0, Still}, moving{144, 160, 0, DogUp};
    const Input inputs[] = {
        {centre, 29, 200, "", Still, FumeLeft, ""},  {centre, 30, 200, "", DogLeft, E, ""},
        {centre, 211, 200, "", DogRight, E, ""},     {centre, 212, 200, "", Still, FumeRight, ""},
        {centre, 108, 100, "", DogUp, E, ""},        {centre, 107, 100, "", DogLeft, E, ""},
        {centre, 133, 250, "", DogDown, E, ""},      {centre, 134, 250, "", DogRight, E, ""},
        {centre, 120, 176, "", Still, E, ""},        {centre, 110, 177, "", DogLeft, E, ""},
        {{144, 32, 0, Still}, 110, 10, "", DogLeft, E, ""},     // no way up: the side
        {{112, 96, 4, Still}, 110, 100, "", DogRight, E, ""},   // off the column: no up
        {{144, 100, 2, Still}, 60, 120, "", Still, E, ""},      // between rows: no side
        {moving, 5, 200, "", DogUp, E, ""},                     // during a move: nothing
        {centre, -1, -1, "L", DogLeft, E, ""},       {right, -1, -1, "L", DogLeft, E, ""},
        {left, -1, -1, "L", Still, E, ""},           {{144, 164, 0, Still}, -1, -1, "L", Still, E, ""},
        {left, -1, -1, "R", DogRight, E, ""},        {right, -1, -1, "R", Still, E, ""},
        {{112, 96, 0, Still}, -1, -1, "U", DogUp, E, ""},  // the column is not tested
        {{144, 32, 0, Still}, -1, -1, "U", Still, E, ""},
        {{144, 220, 0, Still}, -1, -1, "D", DogDown, E, ""},
        {{144, 224, 0, Still}, -1, -1, "D", Still, E, ""},
        {centre, -1, -1, "RUD", DogRight, E, ""},    {right, -1, -1, "RU", Still, E, ""},
        {{112, 96, 0, Still}, -1, -1, "LAB", Still, E, "AB"},  // A and B wait while L is held
        {centre, -1, -1, "AB", Still, FumeLeft, "B"},          // one press a pass
        {centre, -1, -1, "B", Still, FumeRight, ""},
        {moving, -1, -1, "A", DogUp, E, ""},                   // a shot during a move is lost
        {centre, 110, 100, "L", DogLeft, E, ""},               // a button order beats the pen's
        {{144, 224, 0, Still}, 110, 100, "D", DogUp, E, ""},   // a failed one leaves it
    };
    auto has = [](const char* keys, char key) { return std::strchr(keys, key) != nullptr; };
    for (const Input& input : inputs) {
        NewGame();
        PlayField.Dog = input.dog;
        PlayField.StepCount = input.dog.state == Still ? 0 : 3;
        Latches = InputLatches{false, 0, 0, 0, 0, input.penX >= 0,
                               has(input.keys, 'A'), has(input.keys, 'B'), has(input.keys, 'L'),
                               has(input.keys, 'R'), has(input.keys, 'U'), has(input.keys, 'D')};
        if (input.penX >= 0) OnStylusMove(input.penX, input.penY);
        RunPlayState();
        SCOPED_TRACE(testing::Message() << input.dog << " pen " << input.penX << "," << input.penY
                                        << " keys " << input.keys);
        EXPECT_EQ(PlayField.Dog.state, input.order);
        EXPECT_EQ(PlayField.Fumes[0].state, input.fume);
        EXPECT_EQ(Latches.aPressed, has(input.latched, 'A'));
        EXPECT_EQ(Latches.bPressed, has(input.latched, 'B'));
    }
}

TEST_F(PlayInputTest, IconTapsMuteOrLeaveAndThePassRunsOn) {
    struct IconTap { int x, y; bool mute, leave; };
    const IconTap taps[] = {{5, 5, true, false},    {16, 21, true, false},   {17, 21, false, false},
                            {16, 22, false, false}, {224, 21, false, false}, {225, 21, false, true},
                            {239, 0, false, true},  {120, 100, false, false}};
    for (const IconTap& tap : taps) {
        NewGame();
        OnStylusDown(tap.x, tap.y);  // a tap, and the pen held there
        bool soundWas = SoundOn;
        TakeSounds();
        RunPlayState();
        SCOPED_TRACE(testing::Message() << "tap at " << tap.x << "," << tap.y);
        EXPECT_EQ(SoundOn != soundWas, tap.mute);
        EXPECT_EQ(ScreenState, tap.leave ? Menu : Play);
        EXPECT_FALSE(Latches.tapPending) << "a tap on the field is dropped";
        if (SoundOn != soundWas) ToggleMute();
        if (!tap.mute && !tap.leave) continue;
        EXPECT_EQ(PlayField.Dog.state, DogStill) << "the pen is ignored in the pass of an icon tap";
        EXPECT_EQ(FindFreeFume(), 0);
        EXPECT_EQ(TakeSounds(), tap.leave ? Effects{SoundSelect} : Effects{});
    }
    NewGame();
    Tap(230, 10);
    Latches.downHeld = true;
    SetClock(40);
    RunPlayState();
    EXPECT_EQ(ScreenState, Menu);
    EXPECT_EQ(PlayField.Dog.state, DogDown) << "the buttons still count";
    EXPECT_EQ(LastFrame, 40) << "the frame task still runs";
}

// A keyed image into a built frame, x in the 320-wide game space as the game draws.
void Put(Frame& frame, const uint16_t* image, int width, int height, int x, int y) {
    DrawImage(frame.data(), image, width, height, x, y, 1);
}

TEST_F(PlayDrawTest, FruitDogSpidersFumesPlantsAndScoreCoverInThatOrder) {
    // The dog over fruit 2, spider 2 over the dog, fume 0 over both, spider 5 under fume 2,
    // plants and score over the rolling fruit 3 and 7.
    PutFruit(0, FruitSmall);
    PutFruit(1, FruitMedium);
    PutFruit(2, FruitRipe);
    PlayField.Fruits[3] = Actor{2, 288, 0, FruitRolling};
    PlayField.Fruits[4] = Actor{192, 32, 3, FruitStolen};
    PlayField.Fruits[5] = Actor{170, 250, 6, FruitPicked};
    PlayField.Fruits[7] = Actor{283, 288, 7, FruitRolling};
    PlayField.Dog = Actor{112, 160, 5, DogLeft};
    PutSpider(2, 130, SpiderApproaching, 4);
    PutSpider(5, 208, SpiderApproaching, 2);
    PutSpider(6, 272, SpiderRetreating, 5);
    PlayField.Fumes[0] = Actor{140, 160, 1, FumeLeft};
    PlayField.Fumes[2] = Actor{200, 96, 2, FumeRight};
    PlayField.PlantsLeft = 7;
    PlayField.Score = 1235;
    DrawPlayField();
    Frame expected = Picture(MainImage);
    Put(expected, SmallFruitImage, 16, 16, 104, 40);
    Put(expected, MediumFruitImage, 24, 24, 100, 100);
    Put(expected, FruitImages[0], 32, 32, 96, 160);
    Put(expected, FruitImages[0], 32, 32, 2, 288);
    Put(expected, FruitImages[3], 32, 32, 192, 32);
    Put(expected, FruitImages[6], 32, 32, 170, 250);
    Put(expected, FruitImages[7], 32, 32, 283, 288);
    Put(expected, DogImages[5], 32, 32, 112, 160);
    Put(expected, SpiderImages[4], 36, 24, 130, 164);
    Put(expected, SpiderImages[2], 36, 24, 208, 100);
    Put(expected, SpiderImages[5], 36, 24, 272, 164);
    Put(expected, FumeImages[1], 32, 32, 140, 160);
    Put(expected, FumeImages[2], 32, 32, 200, 96);
    for (int i = 0; i < 7; ++i) Put(expected, PlantImage, 16, 16, 16 * (i % 6), i < 6 ? 288 : 304);
    DrawText("    1235", 100, 294, expected.data());
    ExpectFrame(expected, "play-busy-frame");
}

TEST_F(PlayDrawTest, TheIconsGoOverTheLastPictureOnEveryPass) {
    Frame last(ScreenPixels, 0x1111);
    std::copy(last.begin(), last.end(), BackBuffer);
    RunPlayState();  // no task is due: the field is not drawn again
    ExpectFrame(WithIcons(last), "play-icons");
    ToggleMute();
    RunPlayState();
    EXPECT_EQ(Pixel(0, 0), ColourRed) << "the mute cross over the speaker";
    ToggleMute();
}

}  // namespace

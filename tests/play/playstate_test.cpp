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
    EXPECT_EQ(PlayField.Dog.y, 164) << "dog step";
    EXPECT_EQ(PlayField.Level, 1) << "level up is 100 s away";
    EXPECT_EQ(PlayField.Fruits[0].state, FruitMedium) << "growth";
    EXPECT_EQ(PlayField.Spiders[1].x, 11) << "spider step";
    EXPECT_EQ(PlayField.FruitCount, 2) << "fruit spawn";
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
    const Actor centre{144, 160, 0, DogStill};  // its middle is (80, 88) in half units
    const Input inputs[] = {
        {centre, 29, 200, "", DogStill, FumeLeft, ""},   {centre, 30, 200, "", DogLeft, FumeEmpty, ""},
        {centre, 211, 200, "", DogRight, FumeEmpty, ""}, {centre, 212, 200, "", DogStill, FumeRight, ""},
        {centre, 108, 100, "", DogUp, FumeEmpty, ""},    {centre, 107, 100, "", DogLeft, FumeEmpty, ""},
        {centre, 133, 250, "", DogDown, FumeEmpty, ""},  {centre, 134, 250, "", DogRight, FumeEmpty, ""},
        {centre, 120, 176, "", DogStill, FumeEmpty, ""}, {centre, 110, 177, "", DogLeft, FumeEmpty, ""},
        {{144, 32, 0, DogStill}, 110, 10, "", DogLeft, FumeEmpty, ""},
        {{144, 224, 0, DogStill}, 125, 250, "", DogRight, FumeEmpty, ""},
        {{112, 96, 4, DogStill}, 110, 100, "", DogRight, FumeEmpty, ""},  // off the column: no up
        {{144, 100, 2, DogStill}, 60, 120, "", DogStill, FumeEmpty, ""},  // between rows: no sideways
        {{144, 160, 0, DogUp}, 5, 200, "", DogUp, FumeEmpty, ""},         // a move is under way
        {centre, -1, -1, "L", DogLeft, FumeEmpty, ""},   {{176, 160, 0, DogStill}, -1, -1, "L", DogLeft, FumeEmpty, ""},
        {{112, 160, 0, DogStill}, -1, -1, "L", DogStill, FumeEmpty, ""},
        {{144, 164, 0, DogStill}, -1, -1, "L", DogStill, FumeEmpty, ""},
        {{112, 160, 0, DogStill}, -1, -1, "R", DogRight, FumeEmpty, ""},
        {{176, 160, 0, DogStill}, -1, -1, "R", DogStill, FumeEmpty, ""},
        {{112, 96, 0, DogStill}, -1, -1, "U", DogUp, FumeEmpty, ""},  // the column is not tested
        {{144, 32, 0, DogStill}, -1, -1, "U", DogStill, FumeEmpty, ""},
        {{144, 220, 0, DogStill}, -1, -1, "D", DogDown, FumeEmpty, ""},
        {{144, 224, 0, DogStill}, -1, -1, "D", DogStill, FumeEmpty, ""},
        {centre, -1, -1, "RUD", DogRight, FumeEmpty, ""},                     // the first held wins
        {{176, 160, 0, DogStill}, -1, -1, "RU", DogStill, FumeEmpty, ""},    // and hides the rest
        {{112, 96, 0, DogStill}, -1, -1, "LAB", DogStill, FumeEmpty, "AB"},  // A, B wait while held
        {centre, -1, -1, "AB", DogStill, FumeLeft, "B"},
        {centre, -1, -1, "B", DogStill, FumeRight, ""},
        {{144, 160, 0, DogUp}, -1, -1, "A", DogUp, FumeEmpty, ""},  // a shot during a move is lost
        {centre, 110, 100, "L", DogLeft, FumeEmpty, ""},            // a button order beats the pen's
        {{144, 224, 0, DogStill}, 110, 100, "D", DogUp, FumeEmpty, ""},  // a failed one leaves it
    };
    for (const Input& input : inputs) {
        NewGame();
        PlayField.Dog = input.dog;
        PlayField.StepCount = input.dog.state == DogStill ? 0 : 3;
        Latches = InputLatches{};
        if (input.penX >= 0) OnStylusMove(input.penX, input.penY);
        Latches.penDown = input.penX >= 0;
        auto has = [](const char* keys, char key) { return std::strchr(keys, key) != nullptr; };
        Latches.leftHeld = has(input.keys, 'L');
        Latches.rightHeld = has(input.keys, 'R');
        Latches.upHeld = has(input.keys, 'U');
        Latches.downHeld = has(input.keys, 'D');
        Latches.aPressed = has(input.keys, 'A');
        Latches.bPressed = has(input.keys, 'B');
        RunPlayState();
        SCOPED_TRACE(testing::Message() << "dog " << input.dog << " pen " << input.penX << ","
                                        << input.penY << " keys " << input.keys);
        EXPECT_EQ(PlayField.Dog.state, input.order);
        EXPECT_EQ(PlayField.Fumes[0].state, input.fume);
        EXPECT_EQ(Latches.aPressed, has(input.latched, 'A'));
        EXPECT_EQ(Latches.bPressed, has(input.latched, 'B'));
    }
}

TEST_F(PlayInputTest, IconTapsMuteOrLeaveAndThePassRunsOn) {
    struct IconTap { int x, y; bool mute, leave; };
    const IconTap taps[] = {{5, 5, true, false},    {16, 21, true, false},  {17, 21, false, false},
                            {16, 22, false, false}, {224, 21, false, false}, {225, 21, false, true},
                            {239, 0, false, true},  {120, 100, false, false}};
    for (const IconTap& tap : taps) {
        NewGame();
        Latches = InputLatches{};
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

// The plants left in two rows of six along the bottom left, then the score in eight places.
void PutPlantsAndScore(Frame& frame, int plants, int score) {
    for (int i = 0; i < plants; ++i) Put(frame, PlantImage, 16, 16, 16 * (i % 6), i < 6 ? 288 : 304);
    char text[16];
    std::snprintf(text, sizeof text, "%8d", score);
    DrawText(text, 100, 294, frame.data());
}

TEST_F(PlayDrawTest, TheFirstFrameShowsTheDogAloneThePlantsLeftAndScoreZero) {
    for (int plants : {12, 0, -1}) {
        PlayField.PlantsLeft = plants;
        DrawPlayField();
        Frame expected = Picture(MainImage);
        Put(expected, DogImages[0], 32, 32, 144, 160);
        PutPlantsAndScore(expected, std::max(plants, 0), 0);
        ExpectFrame(expected, "play-first-frame");
    }
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
    PutPlantsAndScore(expected, 7, 1235);
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

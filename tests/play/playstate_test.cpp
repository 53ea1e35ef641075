// The play state's pass: the tasks' intervals at every level and their order, the clock's wrap,
// and the pen, buttons and icons at the edges of their regions.
#include <algorithm>
#include <climits>

#include "tests/game/fixture.h"

namespace {

using SchedulerTest = GameTest;
using PlayTest = GameTest;

// Every play timer to the same time; nothing is due until the clock moves past it.
void SetAllTimers(int32_t ms) {
    for (int32_t* timer : {&LastDogStep, &LastLevelUp, &LastPickCheck, &LastGrow, &LastSpiderStep,
                           &LastFruitSpawn, &LastSpiderSpawn, &LastFumeStep, &LastFrame}) {
        *timer = ms;
    }
}

// Every timer at 'timers', then one pass at 'clock'.
void RunPassAt(int32_t timers, int32_t clock) {
    SetAllTimers(timers);
    SetClock(clock);
    RunPlayState();
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
                RunPassAt(5000, 5000 + passed);
                ASSERT_EQ(*task.timer, passed > interval ? 5000 + passed : 5000)
                    << task.name << " after " << passed << " ms at level " << level;
                ASSERT_LE(PlayField.Level, 10);
            }
        }
    }
}

TEST_F(SchedulerTest, PickRunsBeforeGrowthBeforeTheSpiderStepAndTheLevelSecond) {
    // A fruit ripening beside the dog in the pass is stolen, not picked.
    PlayField.Dog = Actor{112, RowOf(1), 0, DogStill};
    PutFruit(1, FruitMedium);
    PutSpider(1, 80, SpiderApproaching, 3);
    RunPassAt(0, 10001);
    EXPECT_EQ(PlayField.Fruits[1].state, FruitStolen);
    // A new level's intervals apply in the same pass: level 9 brings a spider at once.
    NewGame();
    PlayField.Level = 8;
    SetAllTimers(200000);
    LastLevelUp = 99999;
    SetClock(200001);
    RunPlayState();
    EXPECT_EQ(PlayField.Level, 9);
    EXPECT_EQ(PlayField.SpiderCount, 1);
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

TEST_F(PlayTest, PenButtonsIconTapsAndKeysGiveOrdersShotsMuteAndExit) {
    // keys: L, R, U, D held, A, B pressed, T a tap where the pen is held, m the mute key, e
    // Escape; after: the presses still latched, M muted, X left for the menu.
    struct Input { Actor dog; int x, y; const char* keys; int32_t order, fume; const char* after; };
    constexpr int32_t Still = DogStill, E = FumeEmpty;
    const Actor centre{144, 160, 0, Still};  // its middle is (80, 88) in half units
    const Actor left{112, 160, 0, Still}, right{176, 160, 0, Still}, moving{144, 160, 0, DogUp};
    const Input inputs[] = {
        {centre, 29, 200, "", Still, FumeLeft, ""}, {centre, 30, 200, "", DogLeft, E, ""},
        {centre, 211, 200, "", DogRight, E, ""}, {centre, 212, 200, "", Still, FumeRight, ""},
        {centre, 108, 100, "", DogUp, E, ""}, {centre, 107, 100, "", DogLeft, E, ""},
        {centre, 133, 250, "", DogDown, E, ""}, {centre, 134, 250, "", DogRight, E, ""},
        {centre, 120, 176, "", Still, E, ""}, {centre, 110, 177, "", DogLeft, E, ""},
        {{144, 32, 0, Still}, 110, 10, "", DogLeft, E, ""},    // no way up: the side
        {{112, 96, 4, Still}, 110, 100, "", DogRight, E, ""},  // off the column: no up
        {{144, 100, 2, Still}, 60, 120, "", Still, E, ""},     // between rows: no side
        {moving, 5, 200, "", DogUp, E, ""},                    // during a move: nothing
        {left, -1, 0, "L", Still, E, ""}, {{144, 164, 0, Still}, -1, 0, "L", Still, E, ""},
        {right, -1, 0, "R", Still, E, ""},
        {{112, 96, 0, Still}, -1, 0, "U", DogUp, E, ""},  // the column is not tested
        {{144, 32, 0, Still}, -1, 0, "U", Still, E, ""},
        {{144, 224, 0, Still}, -1, 0, "D", Still, E, ""},
        {centre, -1, 0, "RUD", DogRight, E, ""}, {right, -1, 0, "RU", Still, E, ""},
        {{112, 96, 0, Still}, -1, 0, "LAB", Still, E, "AB"},  // A and B wait while L is held
        {centre, -1, 0, "AB", Still, FumeLeft, "B"},          // one press a pass
        {centre, -1, 0, "B", Still, FumeRight, ""},
        {moving, -1, 0, "A", DogUp, E, ""},                   // a shot during a move is lost
        {centre, 110, 100, "L", DogLeft, E, ""},              // a button order beats the pen's
        {{144, 224, 0, Still}, 110, 100, "D", DogUp, E, ""},  // a failed one leaves it
        // The pen waits in the pass of an icon tap, the buttons don't; other taps are dropped.
        {centre, 5, 5, "T", Still, E, "M"}, {centre, 16, 21, "T", Still, E, "M"},
        {centre, 17, 21, "T", Still, FumeLeft, ""}, {centre, 16, 22, "T", Still, FumeLeft, ""},
        {centre, 224, 21, "T", Still, FumeRight, ""}, {centre, 225, 21, "T", Still, E, "X"},
        {centre, 239, 0, "TD", DogDown, E, "X"}, {centre, 30, 200, "T", DogLeft, E, ""},
        // M mutes; Escape, which reaches a game from its pause, leaves as the exit icon does.
        {centre, -1, 0, "m", Still, E, "M"}, {centre, -1, 0, "eA", Still, FumeLeft, "X"},
    };
    auto has = [](const char* keys, char key) { return std::strchr(keys, key) != nullptr; };
    for (const Input& input : inputs) {
        NewGame();
        PlayField.Dog = input.dog;
        PlayField.StepCount = input.dog.state == Still ? 0 : 3;
        auto x = static_cast<uint32_t>(std::max(input.x, 0)), y = static_cast<uint32_t>(input.y);
        Latches = InputLatches{has(input.keys, 'T'), x, y, x, y, input.x >= 0,
                               has(input.keys, 'A'), has(input.keys, 'B'), has(input.keys, 'L'),
                               has(input.keys, 'R'), has(input.keys, 'U'), has(input.keys, 'D'), {}, 0,
                               false, false, 0, 0, 0};
        Latches.navigation = (has(input.keys, 'm') ? NavMute : 0) | (has(input.keys, 'e') ? NavBack : 0);
        RunPlayState();
        SCOPED_TRACE(testing::Message() << input.dog << " pen " << input.x << "," << input.y
                                        << " keys " << input.keys);
        EXPECT_EQ(PlayField.Dog.state, input.order);
        EXPECT_EQ(PlayField.Fumes[0].state, input.fume);
        EXPECT_EQ(Latches.aPressed, has(input.after, 'A'));
        EXPECT_EQ(Latches.bPressed, has(input.after, 'B'));
        EXPECT_EQ(SoundOn, !has(input.after, 'M'));
        EXPECT_EQ(ScreenState, has(input.after, 'X') ? Menu : Play);
        EXPECT_FALSE(Latches.tapPending);
        if (!SoundOn) ToggleMute();
    }
}

}  // namespace

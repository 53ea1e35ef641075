// The Play screen's handler: corner icons, pen and buttons, the nine timed tasks, the overlay.
#include "shell/shell.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"

namespace {

// Pen zones in half units (x * 160 / 240, y / 2).
constexpr int32_t IconEdge = 10;
constexpr int32_t ExitIconLeft = 150;
constexpr int32_t FireLeftBelow = 20;
constexpr int32_t FireRightAbove = 140;
constexpr int32_t BandLeft = 72;
constexpr int32_t BandRight = 88;
// Half of the dog's 32 x 32 image.
constexpr int32_t DogHalfSize = 8;

constexpr int32_t IconSize = 16;
constexpr int32_t ExitIconX = 298;
constexpr int32_t TopLevel = 10;

// The pen is compared in half units: a 160 x 160 space over the screen.
int32_t HalfX(int pixelX) { return pixelX * 160 / 240; }
int32_t HalfY(int pixelY) { return pixelY / 2; }

// The exit icon: the game is abandoned, the rest of the pass still runs.
void LeaveGame() {
    ScreenState = Menu;
    PlaySound(SoundSelect);
}

// A tap on the speaker mutes, on the exit icon abandons the game; true when one was hit.
bool TakeIconTap() {
    if (!TakeTap()) return false;
    int32_t hx = HalfX(TapX());
    int32_t hy = HalfY(TapY());
    if (hx <= IconEdge && hy <= IconEdge) {
        ToggleMute();
        return true;
    }
    if (hx >= ExitIconLeft && hy <= IconEdge) {
        LeaveGame();
        return true;
    }
    return false;
}

// The icons' keys: M (a controller's top face button) mutes; Escape (Back), which reaches a
// game only from its pause, leaves it as the exit icon does.
void TakeIconKeys() {
    if (TakeNavigation(NavMute, false)) ToggleMute();
    if (TakeNavigation(NavBack, false)) LeaveGame();
}

// The held stylus: a shot at either edge, else a move towards it along the paths.
int32_t PenOrder() {
    if (!PenDown() || PlayField.StepCount != 0) return DogStill;
    const Actor& dog = PlayField.Dog;
    int32_t hx = HalfX(PenX());
    int32_t hy = HalfY(PenY());
    int32_t middleX = dog.x / 2 + DogHalfSize;
    int32_t middleY = dog.y / 2 + DogHalfSize;
    bool inBand = hx >= BandLeft && hx <= BandRight;
    bool onColumn = dog.x == ColumnX;
    if (hx < FireLeftBelow) {
        FireFume(FireLeft);
        return DogStill;
    }
    if (hx > FireRightAbove) {
        FireFume(FireRight);
        return DogStill;
    }
    if (hy < middleY && inBand && onColumn && dog.y > TopRowY) return DogUp;
    if (hy > middleY && inBand && onColumn && dog.y < BottomRowY) return DogDown;
    if (hx < middleX && dog.x >= ColumnX && IsRow(dog.y)) return DogLeft;
    if (hx > middleX && dog.x <= ColumnX && IsRow(dog.y)) return DogRight;
    return DogStill;
}

// Only the first pressed button counts, so A and B stay latched while Left or Right is held.
int32_t ButtonOrder(int32_t order) {
    const Actor& dog = PlayField.Dog;
    bool free = PlayField.StepCount == 0;
    if (HeldLeft()) return dog.x >= ColumnX && IsRow(dog.y) && free ? DogLeft : order;
    if (HeldRight()) return dog.x <= ColumnX && IsRow(dog.y) && free ? DogRight : order;
    if (TakeKeyA()) {
        if (free) FireFume(FireLeft);
        return order;
    }
    if (TakeKeyB()) {
        if (free) FireFume(FireRight);
        return order;
    }
    if (HeldUp()) return dog.y > TopRowY && free ? DogUp : order;
    if (HeldDown()) return dog.y < BottomRowY && free ? DogDown : order;
    return order;
}

// The intervals in ms; growth and spiders speed up with the level.
int32_t DogStepInterval() { return SpeedUnit / 80; }
int32_t LevelUpInterval() { return SpeedUnit * 100; }
int32_t PickCheckInterval() { return SpeedUnit / 10; }
int32_t GrowInterval() { return (10 / PlayField.Level) * SpeedUnit; }
int32_t SpiderStepInterval() { return SpeedUnit / (PlayField.Level + 1); }
int32_t FruitSpawnInterval() { return SpeedUnit * 2; }
int32_t SpiderSpawnInterval() { return ((10 - PlayField.Level) / 2) * SpeedUnit; }
int32_t FumeStepInterval() { return SpeedUnit / 10; }
int32_t FrameInterval() { return SpeedUnit / 30; }

// Dog task: the timer is renewed whether or not the dog moves.
void StepDogIfMoving() {
    if (PlayField.Dog.state != DogStill) MoveDog();
}

// Level task: one up, never past 10.
void RaiseLevel() {
    PlayField.Level += 1;
    if (PlayField.Level > TopLevel) PlayField.Level = TopLevel;
}

// Frame task: moving fruit steps right before the picture is drawn.
void DrawFrame() {
    MoveFruit();
    DrawPlayField();
}

// A task's last-run timer, its interval and what it runs.
struct TimedTask {
    int32_t* timer;
    int32_t (*interval)();
    void (*run)();
};

// Tested in this order; the level task comes second so a new level's intervals apply at once.
const TimedTask TimedTasks[] = {
    {&LastDogStep, DogStepInterval, StepDogIfMoving},
    {&LastLevelUp, LevelUpInterval, RaiseLevel},
    {&LastPickCheck, PickCheckInterval, PickFruit},
    {&LastGrow, GrowInterval, GrowFruit},
    {&LastSpiderStep, SpiderStepInterval, MoveSpiders},
    {&LastFruitSpawn, FruitSpawnInterval, SpawnFruit},
    {&LastSpiderSpawn, SpiderSpawnInterval, SpawnSpider},
    {&LastFumeStep, FumeStepInterval, MoveFumes},
    {&LastFrame, FrameInterval, DrawFrame},
};

// Each due task runs once and its timer takes a fresh reading; missed intervals are dropped.
void RunTimedTasks() {
    Now = ElapsedMs();
    for (const TimedTask& task : TimedTasks) {
        if (!IsDue(*task.timer, task.interval())) continue;
        task.run();
        *task.timer = ElapsedMs();
    }
}

// On every pass, over the last field picture.
void DrawIcons() {
    DrawImage(DrawTarget, ExitIcon, IconSize, IconSize, ExitIconX, 0, 0);
    DrawImage(DrawTarget, SpeakerIcon, IconSize, IconSize, 0, 0, 0);
    DrawMuteCross();
}

}  // namespace

// Main loop, while ScreenState is Play: one pass of the game.
void RunPlayState() {
    ScreenState = Play;
    bool tapTaken = TakeIconTap();
    TakeIconKeys();
    int32_t order = tapTaken ? DogStill : PenOrder();
    order = ButtonOrder(order);
    if (PlayField.StepCount == 0 && order != DogStill) PlayField.Dog.state = order;
    RunTimedTasks();
    DrawIcons();
}

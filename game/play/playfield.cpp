// The play field record, the play clock, and their reset for a new game.
#include "shell/shell.h"
#include "game/play/play.h"

PlayFieldRecord PlayField;

int32_t SpeedUnit;
int32_t Now;
int32_t LastDogStep, LastLevelUp, LastPickCheck, LastGrow, LastSpiderStep;
int32_t LastFruitSpawn, LastSpiderSpawn, LastFumeStep, LastFrame;

namespace {

constexpr int32_t DogStartY = 160;
constexpr int32_t StartPlants = 12;
constexpr int32_t ClockUnitMs = 1000;
// Fumes start on their last frame, fruit and spiders on their first.
constexpr int32_t FumeStartFrame = 2;

// Frees a whole slot table.
void EmptySlots(Actor* slots, int count, int32_t frame, int32_t emptyState) {
    for (int i = 0; i < count; ++i) slots[i] = Actor{0, 0, frame, emptyState};
}

}  // namespace

// The play state's timed tasks and the score table's border. The difference is taken modulo
// 2^32, so timers keep running when the millisecond clock passes 2^31.
bool IsDue(int32_t timer, int32_t interval) {
    auto passed = static_cast<int32_t>(static_cast<uint32_t>(Now) - static_cast<uint32_t>(timer));
    return passed > interval;
}

// Rows and column, shared by the dog's steps, the fumes and the play input.
bool IsRow(int32_t y) {
    return y >= TopRowY && y <= BottomRowY && (y - TopRowY) % RowSpacing == 0;
}

// Menu, before it switches to Play: an empty garden, the dog alone, and every timer from now.
void NewGame() {
    PlayField.Dog = Actor{ColumnX, DogStartY, 0, DogStill};
    EmptySlots(PlayField.Fruits, FruitSlots, 0, FruitEmpty);
    EmptySlots(PlayField.Spiders, SpiderSlots, 0, SpiderEmpty);
    EmptySlots(PlayField.Fumes, FumeSlots, FumeStartFrame, FumeEmpty);
    PlayField.FruitCount = 0;
    PlayField.SpiderCount = 0;
    PlayField.PlantsLeft = StartPlants;
    PlayField.Score = 0;
    PlayField.Level = 1;
    PlayField.StepCount = 0;
    SpeedUnit = ClockUnitMs;
    LastFrame = ElapsedMs();
    LastFruitSpawn = ElapsedMs();
    LastGrow = ElapsedMs();
    LastPickCheck = ElapsedMs();
    LastSpiderSpawn = ElapsedMs();
    LastSpiderStep = ElapsedMs();
    LastFumeStep = ElapsedMs();
    LastLevelUp = ElapsedMs();
    LastDogStep = ElapsedMs();
}

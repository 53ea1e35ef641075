// Gameplay: the play field record, the play clock, the actor rules, scheduling and drawing.
#pragma once

#include <cstdint>

struct Actor {
    int32_t x;
    int32_t y;
    int32_t frame;
    int32_t state;
};

constexpr int SpiderSlots = 8;
constexpr int FruitSlots = 8;
constexpr int FumeSlots = 4;

// The garden's paths: the column, and the four rows 64 apart from the top one.
constexpr int32_t ColumnX = 144;
constexpr int32_t TopRowY = 32;
constexpr int32_t BottomRowY = 224;
constexpr int32_t RowSpacing = 64;
// True when y lies on one of the four rows.
bool IsRow(int32_t y);

// Slot rule: spider i and fruit i belong to spot i; slots 0..3 lie left of the column in
// lanes 0..3, slots 4..7 right of it. A slot is free while its state is the Empty value.
struct PlayFieldRecord {
    int32_t Level;
    int32_t Score;
    int32_t SpiderCount;
    int32_t FruitCount;
    Actor Dog;
    Actor Spiders[SpiderSlots];
    Actor Fruits[FruitSlots];
    Actor Fumes[FumeSlots];
    int32_t PlantsLeft;
    int32_t StepCount;
};
extern PlayFieldRecord PlayField;

enum DogStates : int32_t { DogUp = 0, DogDown = 1, DogLeft = 2, DogRight = 3, DogStill = 4 };
enum SpiderStates : int32_t {
    SpiderApproaching = 0,
    SpiderRetreating = 1,
    SpiderStealing = 3,
    SpiderEmpty = 4,
};
enum FruitStates : int32_t {
    FruitSmall = 0,
    FruitMedium = 1,
    FruitRipe = 2,
    FruitPicked = 3,
    FruitRolling = 4,
    FruitStolen = 5,
    FruitEmpty = 6,
};
enum FumeStates : int32_t { FumeLeft = 0, FumeRight = 1, FumeEmpty = 2 };
enum FireDirections : int32_t { FireLeft = 0, FireRight = 1 };

// The play clock, shared with the score table's border.
extern int32_t SpeedUnit;
extern int32_t Now;
extern int32_t LastDogStep, LastLevelUp, LastPickCheck, LastGrow, LastSpiderStep;
extern int32_t LastFruitSpawn, LastSpiderSpawn, LastFumeStep, LastFrame;
// True once more than interval ms of the play clock have passed since timer, across the wrap.
bool IsDue(int32_t timer, int32_t interval);

void NewGame();

void MoveDog();
int FindFreeFume();
void FireFume(int32_t direction);
void GrowFruit();
void SpawnFruit();
void MoveFruit();
void PickFruit();
void MoveFumes();
void SpawnSpider();
void MoveSpiders();

void RunPlayState();

void DrawPlayField();
void DrawPlantsRow();

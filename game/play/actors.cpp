// The actor rules: the dog's steps, fumes, fruit, spiders, thefts and the end of a game.
// None of them keeps time; the play state's scheduler paces every one.
#include <algorithm>
#include <cstdlib>

#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"

namespace {

constexpr int32_t StepsPerMove = 16;
constexpr int32_t DogStepY = 4;
constexpr int32_t DogStepX = 2;
constexpr int32_t DogMinStepX = 2;
constexpr int32_t DogMaxStepX = 224;

constexpr int32_t FumeOffset = 16;
constexpr int32_t FumeSpeed = 10;
constexpr int32_t FumeMaxX = 286;
constexpr int32_t FumeBandLeft = 112;
constexpr int32_t FumeBandRight = 160;
constexpr int32_t FumeLastFrame = 2;
constexpr int32_t HitReach = 16;
constexpr int32_t HitPoints = 5;

constexpr int32_t LeftFruitX = 96;
constexpr int32_t RightFruitX = 192;
constexpr int32_t PickReach = 16;
constexpr int32_t PickPoints = 10;
constexpr int32_t FruitLastFrame = 7;
constexpr int32_t FallTargetX = 148;
constexpr int32_t FallSpeed = 6;
constexpr int32_t GroundY = 288;
constexpr int32_t RollSpeed = 6;
constexpr int32_t RollOffX = 320;
constexpr int32_t StolenSpeed = 6;
constexpr int32_t StolenRightOffX = 288;

// A spider stands 4 rows below its lane's row; left ones stop at 80, right ones at 208.
constexpr int32_t SpiderRowOffset = 4;
constexpr int32_t LeftSpiderEdge = 0;
constexpr int32_t RightSpiderEdge = 282;
constexpr int32_t LeftSpiderStop = 80;
constexpr int32_t RightSpiderStop = 208;
constexpr int32_t RetreatSpeed = 10;
// Frames 0..2 face left, 3..5 face right.
constexpr int32_t FacingRightFrame = 3;
constexpr int32_t SpiderFrameEnd = 6;

// Slots 0..3 lie left of the column, lanes top to bottom; 4..7 the same on the right.
bool IsLeftSlot(int slot) { return slot < 4; }
int32_t LaneRow(int slot) { return TopRowY + RowSpacing * (slot % 4); }
// The generator is seeded once by the loading; every random slot comes from here.
int RandomSlot() { return Crt::rand() % 8; }
int32_t Distance(int32_t a, int32_t b) { return a > b ? a - b : b - a; }

// Frames that count up and wrap back to 0 after the last.
int32_t NextFrame(int32_t frame, int32_t last) { return frame + 1 > last ? 0 : frame + 1; }

// Up and down only on the column, left and right only on a row; the image flips even at a bound.
void StepDog(Actor& dog) {
    switch (dog.state) {
        case DogUp:
            if (dog.x != ColumnX) return;
            if (dog.y > TopRowY) dog.y -= DogStepY;
            dog.frame = dog.frame == 0 ? 1 : 0;
            return;
        case DogDown:
            if (dog.x != ColumnX) return;
            if (dog.y < BottomRowY) dog.y += DogStepY;
            dog.frame = dog.frame == 2 ? 3 : 2;
            return;
        case DogLeft:
            if (!IsRow(dog.y)) return;
            if (dog.x >= DogMinStepX) dog.x -= DogStepX;
            dog.frame = dog.frame == 4 ? 5 : 4;
            return;
        case DogRight:
            if (!IsRow(dog.y)) return;
            if (dog.x <= DogMaxStepX) dog.x += DogStepX;
            dog.frame = dog.frame == 6 ? 7 : 6;
            return;
        default:
            return;
    }
}

// One step of a picked fruit falling to the ground while drifting to the middle.
void FallFruit(Actor& fruit) {
    if (fruit.x < FallTargetX) fruit.x += 1;
    if (fruit.x > FallTargetX) fruit.x -= 1;
    if (fruit.y <= GroundY) {
        fruit.y += FallSpeed;
        if (fruit.y > GroundY) {
            fruit.y = GroundY;
            fruit.state = FruitRolling;
        }
    }
    fruit.frame = NextFrame(fruit.frame, FruitLastFrame);
}

// A fruit that has left the field frees its slot.
void RemoveFruit(Actor& fruit) {
    fruit.state = FruitEmpty;
    PlayField.FruitCount -= 1;
}

// A spider that has left the field frees its slot.
void RemoveSpider(Actor& spider) {
    spider.state = SpiderEmpty;
    PlayField.SpiderCount -= 1;
}

// Drives off every approaching spider within reach of the fume on both axes.
void HitSpiders(const Actor& fume) {
    for (Actor& spider : PlayField.Spiders) {
        if (spider.state != SpiderApproaching) continue;
        if (Distance(spider.x, fume.x) < HitReach && Distance(spider.y, fume.y) < HitReach) {
            spider.state = SpiderRetreating;
            PlayField.Score += HitPoints;
        }
    }
}

// The last plant is gone: name entry when the score beats any table entry, else the table.
void EndGame() {
    for (const HighScoreEntry& entry : HighScoreTable) {
        if (PlayField.Score > entry.score) {
            ScreenState = EnterName;
            return;
        }
    }
    ScreenState = ScoreTable;
}

// The spider takes its ripe fruit and the player a plant; the last plant ends the game.
void Steal(int slot) {
    PlayField.Fruits[slot].state = FruitStolen;
    PlayField.Spiders[slot].state = SpiderStealing;
    PlaySound(SoundStole);
    PlayField.PlantsLeft -= 1;
    if (PlayField.PlantsLeft == 0) EndGame();
}

// Creeps one unit towards the stop, turning its frames, and steals a ripe fruit there.
void Approach(int slot) {
    Actor& spider = PlayField.Spiders[slot];
    if (IsLeftSlot(slot)) {
        spider.x = std::min(spider.x + 1, LeftSpiderStop);
        spider.frame += 1;
        if (spider.frame == SpiderFrameEnd) spider.frame = FacingRightFrame;
    } else {
        spider.x = std::max(spider.x - 1, RightSpiderStop);
        spider.frame += 1;
        if (spider.frame == FacingRightFrame) spider.frame = 0;
    }
    int32_t stop = IsLeftSlot(slot) ? LeftSpiderStop : RightSpiderStop;
    if (PlayField.Fruits[slot].state == FruitRipe && spider.x == stop) Steal(slot);
}

// Runs back out at its own edge, facing away from the plants.
void Retreat(int slot) {
    Actor& spider = PlayField.Spiders[slot];
    spider.frame += 1;
    if (IsLeftSlot(slot)) {
        spider.x -= RetreatSpeed;
        if (spider.x < LeftSpiderEdge) RemoveSpider(spider);
        if (spider.frame >= FacingRightFrame) spider.frame = 0;
    } else {
        spider.x += RetreatSpeed;
        if (spider.x > RightSpiderEdge) RemoveSpider(spider);
        if (spider.frame >= SpiderFrameEnd || spider.frame < FacingRightFrame) {
            spider.frame = FacingRightFrame;
        }
    }
}

}  // namespace

// Dog timer: one step of the current move; the 17th call ends the move without a step.
void MoveDog() {
    PlayField.StepCount += 1;
    if (PlayField.StepCount == StepsPerMove + 1) {
        PlayField.StepCount = 0;
        PlayField.Dog.state = DogStill;
        return;
    }
    StepDog(PlayField.Dog);
}

// FireFume: the first free fume slot, or -1.
int FindFreeFume() {
    for (int k = 0; k < FumeSlots; ++k) {
        if (PlayField.Fumes[k].state == FumeEmpty) return k;
    }
    return -1;
}

// Play input: the dog turns that way and shoots if a fume slot is free; a reused slot keeps
// its frame.
void FireFume(int32_t direction) {
    Actor& dog = PlayField.Dog;
    bool left = direction == FireLeft;
    dog.frame = left ? 4 : 6;
    int k = FindFreeFume();
    if (k < 0) return;
    Actor& fume = PlayField.Fumes[k];
    fume.x = left ? dog.x - FumeOffset : dog.x + FumeOffset;
    fume.state = left ? FumeLeft : FumeRight;
    fume.y = dog.y;
    PlaySound(SoundFire);
}

// Grow timer: every growing fruit advances one stage together.
void GrowFruit() {
    for (Actor& fruit : PlayField.Fruits) {
        if (fruit.state == FruitSmall) {
            fruit.state = FruitMedium;
        } else if (fruit.state == FruitMedium) {
            fruit.state = FruitRipe;
        }
    }
}

// Fruit-spawn timer: plants one fruit at a random free spot; a full garden draws nothing.
void SpawnFruit() {
    if (PlayField.FruitCount >= FruitSlots) return;
    int slot = RandomSlot();
    while (PlayField.Fruits[slot].state != FruitEmpty) slot = RandomSlot();
    PlayField.FruitCount += 1;
    Actor& fruit = PlayField.Fruits[slot];
    fruit.x = IsLeftSlot(slot) ? LeftFruitX : RightFruitX;
    fruit.state = FruitSmall;
    fruit.frame = 0;
    fruit.y = LaneRow(slot);
}

// Frame timer, before drawing: picked fruit falls and rolls off, stolen fruit slides out.
void MoveFruit() {
    for (int slot = 0; slot < FruitSlots; ++slot) {
        Actor& fruit = PlayField.Fruits[slot];
        switch (fruit.state) {
            case FruitPicked:
                FallFruit(fruit);
                break;
            case FruitRolling:
                fruit.x += RollSpeed;
                if (fruit.x > RollOffX) RemoveFruit(fruit);
                fruit.frame = NextFrame(fruit.frame, FruitLastFrame);
                break;
            case FruitStolen:
                if (IsLeftSlot(slot)) {
                    // Carried off to the left, it turns backwards.
                    fruit.x -= StolenSpeed;
                    if (fruit.x < 0) RemoveFruit(fruit);
                    fruit.frame = fruit.frame - 1 < 0 ? FruitLastFrame : fruit.frame - 1;
                } else {
                    fruit.x += StolenSpeed;
                    if (fruit.x > StolenRightOffX) RemoveFruit(fruit);
                    fruit.frame = NextFrame(fruit.frame, FruitLastFrame);
                }
                break;
            default:
                break;
        }
    }
}

// Pick timer: a ripe fruit on the dog's row within 16 units is picked.
void PickFruit() {
    const Actor& dog = PlayField.Dog;
    for (Actor& fruit : PlayField.Fruits) {
        if (fruit.state != FruitRipe || fruit.y != dog.y) continue;
        if (Distance(fruit.x, dog.x) > PickReach) continue;
        fruit.state = FruitPicked;
        PlayField.Score += PickPoints;
        PlaySound(SoundPick);
    }
}

// Fume timer: every fume flies on and drives off approaching spiders it touches.
void MoveFumes() {
    for (Actor& fume : PlayField.Fumes) {
        if (fume.state == FumeEmpty) continue;
        fume.frame = NextFrame(fume.frame, FumeLastFrame);
        fume.x += fume.state == FumeLeft ? -FumeSpeed : FumeSpeed;
        // A fume shot between rows lives only in the column's band.
        bool offBand = !IsRow(fume.y) && (fume.x < FumeBandLeft || fume.x >= FumeBandRight);
        if (fume.x < 0 || fume.x > FumeMaxX || offBand) {
            fume.state = FumeEmpty;
            continue;
        }
        HitSpiders(fume);
    }
}

// Spider-spawn timer: one spider at its edge in a random free slot; a full field draws nothing.
void SpawnSpider() {
    if (PlayField.SpiderCount >= SpiderSlots) return;
    int slot = RandomSlot();
    while (PlayField.Spiders[slot].state != SpiderEmpty) slot = RandomSlot();
    PlayField.SpiderCount += 1;
    Actor& spider = PlayField.Spiders[slot];
    bool left = IsLeftSlot(slot);
    spider.state = SpiderApproaching;
    spider.frame = left ? FacingRightFrame : 0;
    spider.x = left ? LeftSpiderEdge : RightSpiderEdge;
    spider.y = LaneRow(slot) + SpiderRowOffset;
}

// Spider-step timer: every spider steps; thefts happen here and the last one ends the game.
void MoveSpiders() {
    for (int slot = 0; slot < SpiderSlots; ++slot) {
        Actor& spider = PlayField.Spiders[slot];
        switch (spider.state) {
            case SpiderApproaching:
                Approach(slot);
                break;
            case SpiderStealing:
                // It pauses one step at the plant.
                spider.state = SpiderRetreating;
                break;
            case SpiderRetreating:
                Retreat(slot);
                break;
            default:
                break;
        }
    }
}

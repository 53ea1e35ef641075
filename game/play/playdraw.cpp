// One picture of the game: garden, fruit, dog, spiders, fumes, the plants left and the score.
#include <cstdio>

#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"

namespace {

constexpr int32_t Keyed = 1;
constexpr int32_t SmallFruitSize = 16;
constexpr int32_t SmallFruitInset = 8;
constexpr int32_t MediumFruitSize = 24;
constexpr int32_t MediumFruitInset = 4;
constexpr int32_t ActorSize = 32;
constexpr int32_t SpiderWidth = 36;
constexpr int32_t SpiderHeight = 24;

constexpr int32_t PlantSize = 16;
constexpr int32_t PlantRowWidth = 96;
constexpr int32_t FirstPlantRowY = 288;
constexpr int32_t SecondPlantRowY = 304;

constexpr int32_t ScoreX = 100;
constexpr int32_t ScoreY = 294;

// Every play blit is keyed, into the draw target.
void DrawKeyed(const uint16_t* image, int32_t width, int32_t height, int32_t x, int32_t y) {
    DrawImage(DrawTarget, image, width, height, x, y, Keyed);
}

// Growing fruit sit inside the 32 x 32 cell of a grown one.
void DrawFruits() {
    for (const Actor& fruit : PlayField.Fruits) {
        if (fruit.state == FruitEmpty) continue;
        if (fruit.state == FruitSmall) {
            DrawKeyed(SmallFruitImage, SmallFruitSize, SmallFruitSize, fruit.x + SmallFruitInset,
                      fruit.y + SmallFruitInset);
        } else if (fruit.state == FruitMedium) {
            DrawKeyed(MediumFruitImage, MediumFruitSize, MediumFruitSize,
                      fruit.x + MediumFruitInset, fruit.y + MediumFruitInset);
        } else {
            DrawKeyed(FruitImages[fruit.frame], ActorSize, ActorSize, fruit.x, fruit.y);
        }
    }
}

// Over the dog, so a spider covers it where they meet.
void DrawSpiders() {
    for (const Actor& spider : PlayField.Spiders) {
        if (spider.state == SpiderEmpty) continue;
        DrawKeyed(SpiderImages[spider.frame], SpiderWidth, SpiderHeight, spider.x, spider.y);
    }
}

// Over dog and spiders.
void DrawFumes() {
    for (const Actor& fume : PlayField.Fumes) {
        if (fume.state == FumeEmpty) continue;
        DrawKeyed(FumeImages[fume.frame], ActorSize, ActorSize, fume.x, fume.y);
    }
}

// Right-aligned in eight 16-pixel places, last of all.
void DrawScore() {
    char text[16];
    std::snprintf(text, sizeof text, "%8d", static_cast<int>(PlayField.Score));
    DrawText(text, ScoreX, ScoreY, DrawTarget);
}

}  // namespace

// Frame task of the play state: the whole picture from scratch, later items over earlier ones.
void DrawPlayField() {
    CopyScreenImage(MainImage);
    DrawFruits();
    const Actor& dog = PlayField.Dog;
    DrawKeyed(DogImages[dog.frame], ActorSize, ActorSize, dog.x, dog.y);
    DrawSpiders();
    DrawFumes();
    DrawPlantsRow();
    DrawScore();
}

// DrawPlayField: the plants left, two rows of six along the bottom left, removed from the end.
void DrawPlantsRow() {
    for (int32_t i = 0; i < PlayField.PlantsLeft; ++i) {
        int32_t u = PlantSize * i;
        if (u < PlantRowWidth) {
            DrawKeyed(PlantImage, PlantSize, PlantSize, u, FirstPlantRowY);
        } else {
            DrawKeyed(PlantImage, PlantSize, PlantSize, u - PlantRowWidth, SecondPlantRowY);
        }
    }
}

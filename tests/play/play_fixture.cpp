// Play tests' common ground: pictures of our own, a settable game clock, latches, a sound log.
#include "tests/play/play_fixture.h"

#include <cstring>

namespace {

// The globals the fixture replaces, put back after each test so a later run of the real
// loading (the scenario) allocates and frees only its own buffers.
struct SavedGlobals {
    uint16_t *main, *exitIcon, *speaker, *plant, *small, *medium, *fontSheet, *drawTarget;
    uint16_t *dogs[8], *fumes[3], *fruits[8], *spiders[6];
    uint8_t glyphMap[256];
};
SavedGlobals Saved;
bool OwnBackBuffer;

// Flat colour number n (never the key), with the key on every 7th pixel.
void Paint(std::vector<uint16_t>& pixels, int count, int n) {
    auto colour = static_cast<uint16_t>(0x0841 + 0x1863 * n);
    if (colour == ImageKey) colour ^= 1;
    pixels.assign(static_cast<size_t>(count), colour);
    for (int i = 3; i < count; i += 7) pixels[static_cast<size_t>(i)] = ImageKey;
}

// A font whose cells are flat colours, glyphs only for the digits and the space.
void InstallFont(std::vector<uint16_t>& sheet) {
    sheet.assign(FontSheetWidth * FontSheetHeight, FontKey);
    std::memset(GlyphMap, 0, sizeof GlyphMap);
    const char glyphs[] = " 0123456789";
    for (int k = 0; glyphs[k]; ++k) {
        int cellX = (k % 16) * 16, cellY = (k / 16) * 40;
        auto colour = static_cast<uint16_t>(0xC000 + 0x0123 * k);
        // The lower left quarter of each cell stays transparent.
        for (int r = 0; r < 40; ++r) {
            for (int c = 0; c < 16; ++c) {
                if (r >= 20 && c < 8) continue;
                sheet[static_cast<size_t>((cellY + r) * FontSheetWidth + cellX + c)] = colour;
            }
        }
        GlyphMap[static_cast<uint8_t>(glyphs[k])] = static_cast<uint8_t>(k + 1);
    }
    FontSheet = sheet.data();
}

}  // namespace

void InstallPlayImages(PlayImages& images) {
    int n = 1;
    Paint(images.main, ScreenWidth * ScreenHeight, n++);
    Paint(images.exitIcon, 16 * 16, n++);
    Paint(images.speaker, 16 * 16, n++);
    Paint(images.plant, 16 * 16, n++);
    Paint(images.small, 16 * 16, n++);
    Paint(images.medium, 24 * 24, n++);
    MainImage = images.main.data();
    ExitIcon = images.exitIcon.data();
    SpeakerIcon = images.speaker.data();
    PlantImage = images.plant.data();
    SmallFruitImage = images.small.data();
    MediumFruitImage = images.medium.data();
    for (int i = 0; i < 8; ++i) {
        Paint(images.dogs[i], 32 * 32, n++);
        DogImages[i] = images.dogs[i].data();
        Paint(images.fruits[i], 32 * 32, n++);
        FruitImages[i] = images.fruits[i].data();
    }
    for (int i = 0; i < 3; ++i) {
        Paint(images.fumes[i], 32 * 32, n++);
        FumeImages[i] = images.fumes[i].data();
    }
    for (int i = 0; i < 6; ++i) {
        Paint(images.spiders[i], 36 * 24, n++);
        SpiderImages[i] = images.spiders[i].data();
    }
    InstallFont(images.font);
}

uint16_t ImageColour(const uint16_t* image) { return image[0]; }

void PlayTest::SetUp() {
    Saved = SavedGlobals{MainImage, ExitIcon, SpeakerIcon, PlantImage, SmallFruitImage,
                         MediumFruitImage, FontSheet, DrawTarget, {}, {}, {}, {}, {}};
    std::memcpy(Saved.dogs, DogImages, sizeof DogImages);
    std::memcpy(Saved.fumes, FumeImages, sizeof FumeImages);
    std::memcpy(Saved.fruits, FruitImages, sizeof FruitImages);
    std::memcpy(Saved.spiders, SpiderImages, sizeof SpiderImages);
    std::memcpy(Saved.glyphMap, GlyphMap, sizeof GlyphMap);
    std::memcpy(savedTable, HighScoreTable, sizeof HighScoreTable);

    HeadlessOptions options;
    StartHeadlessHost(options);
    OwnBackBuffer = !BackBuffer;
    if (OwnBackBuffer) AllocateBackBuffer();
    DrawTarget = BackBuffer;
    InstallPlayImages(images);
    StartSoundProbe();
    if (!SoundOn) ToggleMute();
    Latches = InputLatches{};
    ResetClock();
    NewGame();
    ScreenState = Play;
    TakeSounds();
}

void PlayTest::TearDown() {
    MainImage = Saved.main;
    ExitIcon = Saved.exitIcon;
    SpeakerIcon = Saved.speaker;
    PlantImage = Saved.plant;
    SmallFruitImage = Saved.small;
    MediumFruitImage = Saved.medium;
    FontSheet = Saved.fontSheet;
    DrawTarget = Saved.drawTarget;
    std::memcpy(DogImages, Saved.dogs, sizeof DogImages);
    std::memcpy(FumeImages, Saved.fumes, sizeof FumeImages);
    std::memcpy(FruitImages, Saved.fruits, sizeof FruitImages);
    std::memcpy(SpiderImages, Saved.spiders, sizeof SpiderImages);
    std::memcpy(GlyphMap, Saved.glyphMap, sizeof GlyphMap);
    std::memcpy(HighScoreTable, savedTable, sizeof HighScoreTable);
    if (OwnBackBuffer) ReleaseBackBuffer();
    StopSoundProbe();
    StopHeadlessHost();
}

void PlayTest::SetClock(int32_t ms) { ClockZero = GetTickCount() - static_cast<uint32_t>(ms); }

void PlayTest::SetAllTimers(int32_t ms) {
    for (int32_t* timer : {&LastDogStep, &LastLevelUp, &LastPickCheck, &LastGrow, &LastSpiderStep,
                           &LastFruitSpawn, &LastSpiderSpawn, &LastFumeStep, &LastFrame}) {
        *timer = ms;
    }
}

void PlayTest::PutSpider(int slot, int32_t x, int32_t state, int32_t frame) {
    Actor& spider = PlayField.Spiders[slot];
    if (spider.state == SpiderEmpty && state != SpiderEmpty) PlayField.SpiderCount += 1;
    spider = Actor{x, RowOf(slot % 4) + 4, frame, state};
}

void PlayTest::PutFruit(int slot, int32_t state) {
    Actor& fruit = PlayField.Fruits[slot];
    if (fruit.state == FruitEmpty && state != FruitEmpty) PlayField.FruitCount += 1;
    fruit = Actor{slot < 4 ? 96 : 192, RowOf(slot % 4), 0, state};
}

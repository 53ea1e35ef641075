// One play pass with a full field (eight fruit, eight spiders, four fumes, twelve plants) as
// the game plays it while a recording runs: the frame task with DrawPlayField (the score moves
// on every pass, so every frame is a new one), the icons, a 16-bit presentation, the decode
// into the window's frame and the journal's checksum; beside a 153600-byte memcpy measured in
// the same run, and the parts on their own.
#include <benchmark/benchmark.h>

#include "bench/baseline.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/shell.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"
#include "handheld/gx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "journal/journal.h"

namespace {

// Flat images with a key pixel every seventh, so keyed copies take their real branch.
std::vector<uint16_t> Image(int pixels, int n) {
    std::vector<uint16_t> image(static_cast<size_t>(pixels), static_cast<uint16_t>(0x0841 + 0x1863 * n));
    for (int i = 3; i < pixels; i += 7) image[static_cast<size_t>(i)] = ImageKey;
    return image;
}

// A font sheet whose every cell differs from the others, with a key pixel every fifth.
std::vector<uint16_t> Font() {
    std::vector<uint16_t> font(FontSheetWidth * FontSheetHeight);
    for (size_t i = 0; i < font.size(); ++i) {
        font[i] = i % 5 ? static_cast<uint16_t>(i * 37) : FontKey;
    }
    return font;
}

struct Pictures {
    std::vector<uint16_t> main = Image(ScreenWidth * ScreenHeight, 1);
    std::vector<uint16_t> exitIcon = Image(256, 2), speaker = Image(256, 3), plant = Image(256, 4);
    std::vector<uint16_t> small = Image(256, 5), medium = Image(576, 6);
    std::vector<uint16_t> actors[8 + 8 + 3] = {};
    std::vector<uint16_t> spiders[6] = {};
    std::vector<uint16_t> font = Font();
};

void InstallPictures(Pictures& p) {
    MainImage = p.main.data();
    ExitIcon = p.exitIcon.data();
    SpeakerIcon = p.speaker.data();
    PlantImage = p.plant.data();
    SmallFruitImage = p.small.data();
    MediumFruitImage = p.medium.data();
    for (int i = 0; i < 19; ++i) p.actors[i] = Image(32 * 32, 7 + i);
    for (int i = 0; i < 8; ++i) DogImages[i] = p.actors[i].data();
    for (int i = 0; i < 8; ++i) FruitImages[i] = p.actors[8 + i].data();
    for (int i = 0; i < 3; ++i) FumeImages[i] = p.actors[16 + i].data();
    for (int i = 0; i < 6; ++i) {
        p.spiders[i] = Image(36 * 24, 30 + i);
        SpiderImages[i] = p.spiders[i].data();
    }
    FontSheet = p.font.data();
    for (int k = 0; k < 11; ++k) {
        GlyphMap[static_cast<uint8_t>(" 0123456789"[k])] = static_cast<uint8_t>(k + 1);
    }
}

// Eight ripe fruit, eight approaching spiders, four fumes in flight, twelve plants.
void FillField() {
    NewGame();
    for (int i = 0; i < 8; ++i) {
        int32_t row = TopRowY + RowSpacing * (i % 4);
        PlayField.Fruits[i] = Actor{i < 4 ? 96 : 192, row, 0, FruitRipe};
        PlayField.Spiders[i] = Actor{i < 4 ? 40 : 240, row + 4, i < 4 ? 3 : 0, SpiderApproaching};
    }
    for (int k = 0; k < 4; ++k) PlayField.Fumes[k] = Actor{60 + 50 * k, TopRowY + RowSpacing * k, k % 3, FumeRight};
    PlayField.FruitCount = 8;
    PlayField.SpiderCount = 8;
    PlayField.Score = 12345;
}

void StartHost() {
    static bool started = false;
    if (started) return;
    started = true;
    HeadlessOptions options;
    options.display = DisplayLayout{16, 2, 480};
    StartHeadlessHost(options);
    AllocateBackBuffer();
    DrawTarget = BackBuffer;
    GXOpenDisplay(nullptr, GX_FULLSCREEN);
    DisplayFormat = DisplayFormatRecord{16, 2, 480};
    ResetClock();
    // The journal takes only plain files: a file of the run's own, gone at its end.
    static const std::string journal =
        (std::filesystem::temp_directory_path() / ("bench_play-" + std::to_string(getpid()) + ".mdj")).string();
    std::atexit([] { std::remove(journal.c_str()); });
    if (!OpenRecording(journal.c_str()) || !StartRecording()) std::abort();
}

void PlayPassFullField(benchmark::State& state) {
    StartHost();
    Pictures pictures;
    InstallPictures(pictures);
    FillField();
    ScreenState = Play;
    for (auto _ : state) {
        // Only the frame task is due: every other timer was just renewed.
        Now = ElapsedMs();
        LastDogStep = LastLevelUp = LastPickCheck = LastGrow = LastSpiderStep = Now;
        LastFruitSpawn = LastSpiderSpawn = LastFumeStep = Now;
        LastFrame = Now - 34;
        ++PlayField.Score;
        RunPlayState();
        PresentBackBuffer();
        benchmark::ClobberMemory();
    }
    if (LastFrame == Now - 34) state.SkipWithError("the frame task did not run");
}
BENCHMARK(PlayPassFullField);

// The parts of the pass: the field's picture alone, and the 16-bit presentation of a frame
// that did not change (the idle pass's).
void DrawPlayFieldAlone(benchmark::State& state) {
    StartHost();
    Pictures pictures;
    InstallPictures(pictures);
    FillField();
    for (auto _ : state) {
        DrawPlayField();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(DrawPlayFieldAlone);

void PresentAlone(benchmark::State& state) {
    StartHost();
    for (auto _ : state) {
        PresentBackBuffer();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(PresentAlone);

BENCHMARK(FullFrameMemcpy);

}  // namespace

BENCHMARK_MAIN();

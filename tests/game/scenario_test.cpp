// The real program through the headless host, from loading to shutdown, as a person plays it.
// Walks the intro, menu, help, score table, a game played to its end, a name typed and saved,
// and the credits; and a quit by closing the window.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "game/play/play.h"
#include "tests/game/screen_fixture.h"

namespace {

// ---- Expected frames, built from what each screen is made of ----------------------------

std::vector<uint16_t> Picture(const uint16_t* image) { return {image, image + ScreenPixels}; }

// A 32 x 32 keyed image at a pixel column: key pixels and column 0 keep what lies below.
void PasteKeyed(std::vector<uint16_t>& frame, const uint16_t* image, int column, int row) {
    for (int r = 0; r < 32; ++r) {
        for (int c = 0; c < 32; ++c) {
            int x = column + c;
            uint16_t p = image[r * 32 + c];
            if (x >= 1 && x < ScreenWidth && p != ImageKey) frame[(row + r) * ScreenWidth + x] = p;
        }
    }
}

// Black, the logo at full brightness from pixel column 20, the caption strip from row 160.
std::vector<uint16_t> PresentsFrame() {
    std::vector<uint16_t> frame(ScreenPixels, 0);
    for (int r = 0; r < 42; ++r)
        std::memcpy(&frame[(80 + r) * ScreenWidth + 20], LogoImage + r * 200, 400);
    std::memcpy(&frame[160 * ScreenWidth], PresentsStrip, 20 * ScreenWidth * 2);
    return frame;
}

std::vector<uint16_t> MenuFrame() {
    std::vector<uint16_t> frame = Picture(FrontImage);
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            frame[r * ScreenWidth + c] = SpeakerIcon[r * 16 + c];
            frame[r * ScreenWidth + 223 + c] = ExitIcon[r * 16 + c];
        }
    }
    return frame;
}

// Eight rows of score and name; fruit along the edges at pixel columns 0, 30, ... 210.
std::vector<uint16_t> ScoreTableFrame(int border) {
    std::vector<uint16_t> frame = Picture(HighImage);
    for (int slot = 0; slot < HighScoreCount; ++slot) {
        char score[16];
        std::snprintf(score, sizeof score, "%7d", HighScoreTable[slot].score);
        char name[13] = {};
        std::memcpy(name, HighScoreTable[slot].name, 12);
        DrawTextScaled(score, 10, 16, 5, 50 + 30 * slot, frame.data());
        DrawTextScaled(name, 10, 16, 90, 50 + 30 * slot, frame.data());
    }
    for (int k = 0; k < 8; ++k) {
        PasteKeyed(frame, FruitImages[(3 * k + border) % 8], 30 * k, 0);
        PasteKeyed(frame, FruitImages[(3 * k + border) % 8], 30 * k, 288);
    }
    for (int k = 0; k < 8; ++k) {
        PasteKeyed(frame, FruitImages[(3 * k + border) % 8], 0, 32 + 32 * k);
        PasteKeyed(frame, FruitImages[(3 * k + border) % 8], 210, 32 + 32 * k);
    }
    return frame;
}

std::vector<uint16_t> NameEntryFrame(int32_t score, const char* name) {
    std::vector<uint16_t> frame = Picture(HighImage);
    uint16_t* f = frame.data();
    char scoreText[16];
    std::snprintf(scoreText, sizeof scoreText, "%7d", score);
    DrawText("NEW HIGHSCORE!", 8, 5, f);
    DrawText("YOUR SCORE IS", 15, 65, f);
    DrawText(scoreText, 65, 90, f);
    DrawTextScaled("ENTER YOUR NAME", 13, 18, 20, 125, f);
    DrawText(name, 13, 150, f);
    DrawText(".", 13 + 16 * static_cast<int>(std::strlen(name)), 150, f);
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const int lefts[] = {20, 30, 50};
    for (int row = 0; row < 3; ++row) {
        for (int i = 0; rows[row][i]; ++i) {
            DrawGlyph(static_cast<uint8_t>(rows[row][i]), lefts[row] + 20 * i, 180 + 30 * row, f);
        }
    }
    DrawTextScaled("SPACE", 13, 18, 10, 280, f);
    DrawTextScaled("BACK", 13, 18, 95, 280, f);
    DrawTextScaled("DONE", 13, 18, 170, 280, f);
    return frame;
}

std::vector<uint16_t> CreditsFrame() {
    std::vector<uint16_t> frame = Picture(FrontImage);
    uint16_t* f = frame.data();
    DrawTextScaled("   VISIT OUR   ", 14, 20, 12, 70, f);
    DrawTextScaled("  WEBSITE FOR  ", 14, 20, 12, 95, f);
    DrawTextScaled("MORE GREAT GAMES", 14, 20, 5, 120, f);
    DrawTextScaled("       AT      ", 14, 20, 5, 145, f);
    DrawTextScaled("MARROWDALE.EXAMPLE", 12, 20, 5, 190, f);
    return frame;
}

// Compares the frame just presented; a mismatch leaves both pictures as PNG files.
void CheckFrame(const std::string& name, const std::vector<uint16_t>& expected) {
    uint64_t want = FrameChecksum(expected.data(), ScreenPixels);
    uint64_t got = BackBufferChecksum();
    if (got != want || std::getenv("MARROWDALE_DUMP_FRAMES")) {
        std::string seen = DumpBackBufferPng("scenario-" + name);
        uint16_t* frame = BackBuffer;
        std::vector<uint16_t> copy = expected;
        BackBuffer = copy.data();
        std::string wanted = DumpBackBufferPng("scenario-" + name + "-expected");
        BackBuffer = frame;
        EXPECT_EQ(got, want) << name << " frame: shown " << seen << ", expected " << wanted;
    }
    size_t size = 0;
    const uint8_t* display = HeadlessDisplayMemory(&size);
    ASSERT_GE(size, static_cast<size_t>(BackBufferBytes));
    EXPECT_EQ(std::memcmp(display, BackBuffer, BackBufferBytes), 0)
        << name << " frame reached the display";
}

// ---- The scripted person --------------------------------------------------------------

void Tap(int x, int y) {
    HeadlessStylusDown(x, y);
    HeadlessStylusUp();
}

enum class Stage {
    Intro,
    FirstMenu,
    Help,
    SecondMenu,
    FirstTable,
    ThirdMenu,
    Playing,
    Naming,
    SecondTable,
    LastMenu,
    Credits
};

// One key held or pressed by the player at a time.
struct Keys {
    int held = 0;
    void Hold(int code) {
        if (held == code) return;
        Release();
        HeadlessKeyDown(code);
        held = code;
    }
    void Release() {
        if (held) HeadlessKeyUp(held);
        held = 0;
    }
};

struct Journey {
    Stage stage = Stage::Intro;
    int32_t lastState = -1;  // ScreenState after the previous pass: the handler of this pass
    int32_t lastBorder = 0;
    int32_t lastPhase = 0;
    int32_t lastFade = 0;
    int passes = 0;
    int stagePasses = 0;
    int introFrames = 0;
    int creditsPasses = 0;
    int closeInCreditsAt = -1;  // for the closing run
    bool closeOnMenu = false;
    bool creditsChecked = false;
    int lastShot = 0;
    Keys keys;
    int32_t finalScore = -1;
    int playPasses = 0;
    int nameStep = 0;
    std::vector<Stage> stages;
};

void Enter(Journey& run, Stage stage) {
    run.stage = stage;
    run.stagePasses = 0;
    run.stages.push_back(stage);
}

// Defends against the first approaching spider until 15 points, then lets the garden go.
void PlayGame(Journey& run) {
    const PlayFieldRecord& field = PlayField;
    if (run.keys.held == KeyMap.vkA || run.keys.held == KeyMap.vkB) run.keys.Release();
    if (run.stagePasses == 200 && std::getenv("MARROWDALE_DUMP_FRAMES"))
        DumpBackBufferPng("scenario-play");
    if (field.Score >= 15 || field.Dog.x != 144) {
        run.keys.Release();
        return;
    }
    int target = -1;
    for (int i = 0; i < SpiderSlots && target < 0; ++i) {
        if (field.Spiders[i].state == SpiderApproaching) target = i;
    }
    if (target < 0 || field.StepCount != 0) {
        run.keys.Release();
        return;
    }
    int row = 32 + 64 * (target % 4);
    if (field.Dog.y < row) {
        run.keys.Hold(KeyMap.vkDown);
    } else if (field.Dog.y > row) {
        run.keys.Hold(KeyMap.vkUp);
    } else if (run.passes - run.lastShot > 8) {
        run.keys.Hold(target < 4 ? KeyMap.vkA : KeyMap.vkB);
        run.lastShot = run.passes;
    } else {
        run.keys.Release();
    }
}

// Types "REXX", takes one X back, shows the name, then DONE; an action every third pass.
void TypeName(Journey& run) {
    const int actions[][2] = {{90, 190},  {70, 190}, {80, 250}, {80, 250},
                              {100, 290}, {0, 0},    {190, 290}};
    if (run.stagePasses % 3 != 0 || run.nameStep >= 7) return;
    if (run.nameStep == 5) {
        EXPECT_STREQ(reinterpret_cast<const char*>(NameBuffer), "REX");
        CheckFrame("name-entry", NameEntryFrame(PlayField.Score, "REX"));
    } else {
        Tap(actions[run.nameStep][0], actions[run.nameStep][1]);
    }
    ++run.nameStep;
}

void Step(Journey& run, int32_t ran) {
    switch (run.stage) {
        case Stage::Intro:
            // Every intro step moves the fade on; the loading frames before it do not.
            if (IntroPhase == run.lastPhase && IntroFade == run.lastFade) return;
            ++run.introFrames;
            if (run.introFrames == 1)
                CheckFrame("intro-first", std::vector<uint16_t>(ScreenPixels, 0));
            if (run.introFrames == 100) Tap(232, 5);  // the exit icon's place: thrown away
            if (IntroPhase == 2 && IntroFade == 1) CheckFrame("intro-presents", PresentsFrame());
            // Made during the last intro frame, this tap reaches the menu: the help button.
            if (ScreenState == Intro && IntroPhase == 3 && IntroFade == 64 && !run.closeOnMenu)
                Tap(70, 300);
            if (ScreenState == Menu) {
                EXPECT_EQ(run.introFrames, 260);
                CheckFrame("intro-last", Picture(FrontImage));
                Enter(run, Stage::FirstMenu);
            }
            return;
        case Stage::FirstMenu:
            CheckFrame("menu", MenuFrame());
            if (run.closeOnMenu) {
                HeadlessClose();
                Enter(run, Stage::LastMenu);
                return;
            }
            EXPECT_EQ(ScreenState, Help) << "the tap of the last intro frame reached the menu";
            Enter(run, Stage::Help);
            return;
        case Stage::Help:
            if (ran == Help && ScreenState == Help && run.stagePasses == 2) {
                CheckFrame("help", Picture(HelpImage));
                Tap(120, 160);
            }
            if (ScreenState == Menu) Enter(run, Stage::SecondMenu);
            return;
        case Stage::SecondMenu:
            if (run.stagePasses == 1) Tap(10, 300);  // high scores
            if (ScreenState == ScoreTable) Enter(run, Stage::FirstTable);
            return;
        case Stage::FirstTable:
            if (run.stagePasses == 10) {
                CheckFrame("scores-before", ScoreTableFrame(run.lastBorder));
                Tap(200, 200);
            }
            if (ScreenState == Menu) Enter(run, Stage::ThirdMenu);
            return;
        case Stage::ThirdMenu:
            if (run.stagePasses == 1) Tap(120, 100);  // the garden picture: play
            if (ScreenState == Play) Enter(run, Stage::Playing);
            return;
        case Stage::Playing:
            if (ScreenState == Play) {
                PlayGame(run);
                return;
            }
            run.keys.Release();
            run.finalScore = PlayField.Score;
            run.playPasses = run.stagePasses;
            EXPECT_EQ(ScreenState, EnterName)
                << "a score of " << PlayField.Score << " earns a place";
            EXPECT_EQ(PlayField.PlantsLeft, 0);
            Enter(run, ScreenState == EnterName ? Stage::Naming : Stage::SecondTable);
            return;
        case Stage::Naming:
            if (ScreenState == EnterName) TypeName(run);
            if (ScreenState == ScoreTable) Enter(run, Stage::SecondTable);
            return;
        case Stage::SecondTable:
            if (run.stagePasses == 5) {
                CheckFrame("scores-after", ScoreTableFrame(run.lastBorder));
                Tap(5, 5);
            }
            if (ScreenState == Menu) Enter(run, Stage::LastMenu);
            return;
        case Stage::LastMenu:
            if (run.stagePasses == 2 && !run.closeOnMenu) Tap(232, 5);  // the exit icon
            if (RunFlag == QuitRunFlag) Enter(run, Stage::Credits);
            return;
        case Stage::Credits:
            ++run.creditsPasses;
            if (!run.creditsChecked) {
                CheckFrame("credits", CreditsFrame());
                run.creditsChecked = true;
            }
            if (run.creditsPasses == run.closeInCreditsAt) HeadlessClose();
            return;
    }
}

void OnPass(int, void* context) {
    Journey& run = *static_cast<Journey*>(context);
    ++run.passes;
    ++run.stagePasses;
    Step(run, run.lastState);
    run.lastState = ScreenState;
    run.lastBorder = BorderFrame;
    run.lastPhase = IntroPhase;
    run.lastFade = IntroFade;
    if (run.passes == 400000) {
        ADD_FAILURE() << "the run did not end; stuck at stage " << static_cast<int>(run.stage);
        RequestQuit();
        RequestQuit();
    }
}

// ---- The runs -------------------------------------------------------------------------

struct SeedEntry {
    int32_t score;
    const char* name;
};
// Slot 0's name fills all twelve bytes, as a damaged file may.
const SeedEntry SeedTable[HighScoreCount] = {
    {100000, "ABCDEFGHIJKL"},
    {50000, "ROSE"},
    {20000, "IVY"},
    {10000, "FERN"},
    {3, "MOSS"},
    {2, "SAGE"},
    {1, "RUE"},
    {0, "BAY"},
};

std::vector<uint8_t> ReadScores(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

void ExpectEntry(const std::vector<uint8_t>& file, int slot, int32_t score, const char* name) {
    HighScoreEntry entry;
    std::memcpy(&entry, file.data() + 16 * slot, 16);
    EXPECT_EQ(entry.score, score) << "slot " << slot;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.name),
                          strnlen(reinterpret_cast<const char*>(entry.name), 12)),
              name)
        << "slot " << slot;
}

class ScenarioTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakeGameFolder();
        modulePath = FolderModulePath(folder);
        // The program's records as a fresh start has them.
        IntroPhase = 0;
        IntroFade = 0;
        std::memset(NameBuffer, 0, sizeof NameBuffer);
        NameLength = 0;
        BorderFrame = 0;
        CloseRequests = 0;
        std::memset(HighScoreTable, 0, sizeof HighScoreTable);
        PlayField = PlayFieldRecord{};
        Now = 0;
        LastFrame = 0;
        Latches = InputLatches{};
        TakeSoundLog();
    }
    void TearDown() override {
        HeadlessSetPassHook(nullptr, nullptr);
        StopHeadlessHost();
        RemoveGameFolder(folder);
    }
    int RunProgram(Journey& run) {
        HeadlessOptions options;
        options.modulePath = modulePath.c_str();
        StartHeadlessHost(options);
        HeadlessSetPassHook(OnPass, &run);
        SetAudioDriver("nosound");
        return WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    }
    std::string folder;
    std::string modulePath;
};

TEST_F(ScenarioTest, FromLoadingToShutdownWithANewHighScore) {
    {
        uint8_t seed[128] = {};
        for (int i = 0; i < HighScoreCount; ++i) {
            std::memcpy(seed + 16 * i, &SeedTable[i].score, 4);
            std::memcpy(seed + 16 * i + 4, SeedTable[i].name, std::strlen(SeedTable[i].name));
        }
        std::ofstream(folder + "highscores.dat", std::ios::binary)
            .write(reinterpret_cast<char*>(seed), 128);
    }
    Journey run;
    EXPECT_EQ(RunProgram(run), 0);
    const std::vector<Stage> stages = {
        Stage::FirstMenu, Stage::Help,   Stage::SecondMenu,  Stage::FirstTable, Stage::ThirdMenu,
        Stage::Playing,   Stage::Naming, Stage::SecondTable, Stage::LastMenu,   Stage::Credits};
    EXPECT_EQ(run.stages, stages);
    // 13 ms a pass: the 616th credits pass reaches 8000 ms.
    EXPECT_EQ(run.creditsPasses, 616);
    ASSERT_GT(run.finalScore, 3);
    ASSERT_LT(run.finalScore, 10000);
    std::printf("game over after %d passes with %d points\n", run.playPasses, run.finalScore);
    // Twelve plants stolen, and the quit's select sound heard with the quit already asked for.
    std::vector<SoundCall> sounds = TakeSoundLog();
    int thefts = 0;
    for (const SoundCall& sound : sounds) thefts += sound.effect == SoundStole;
    EXPECT_EQ(thefts, 12);
    ASSERT_FALSE(sounds.empty());
    EXPECT_EQ(sounds.back().effect, SoundSelect);
    EXPECT_EQ(sounds.back().runFlag, QuitRunFlag);
    std::vector<uint8_t> file = ReadScores(folder + "highscores.dat");
    ASSERT_EQ(file.size(), 128u);
    for (int i = 0; i < 4; ++i) ExpectEntry(file, i, SeedTable[i].score, SeedTable[i].name);
    ExpectEntry(file, 4, run.finalScore, "REX");
    for (int i = 5; i < 8; ++i) ExpectEntry(file, i, SeedTable[i - 1].score, SeedTable[i - 1].name);
}

TEST_F(ScenarioTest, ClosingTheWindowQuitsAndASecondCloseCutsTheCredits) {
    Journey run;
    run.closeOnMenu = true;
    run.closeInCreditsAt = 10;
    EXPECT_EQ(RunProgram(run), 0);
    EXPECT_EQ(CloseRequests, 2);
    // Closed after the 10th credits frame, the request is pumped with the 11th, the last.
    EXPECT_EQ(run.creditsPasses, 11);
    std::vector<uint8_t> file = ReadScores(folder + "highscores.dat");
    ASSERT_EQ(file.size(), 128u) << "the scores are written at every shutdown";
    for (int i = 0; i < HighScoreCount; ++i) ExpectEntry(file, i, 0, "QUINTAVEX");
}

}  // namespace

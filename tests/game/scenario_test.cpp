// The real program on the headless host from loading to shutdown, as a person plays it: the
// intro, the menu, a whole game, a name typed on the keyboard, the score table, the credits.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/game/fixture.h"

namespace {

bool In(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

// What the play field breaks of its counts and ranges; empty while it keeps them all.
std::string FieldFaults() {
    const PlayFieldRecord& f = PlayField;
    std::ostringstream out;
    auto expect = [&](bool kept, const char* what, int n) {
        if (!kept) out << what << ' ' << n << "; ";
    };
    int spiders = 0, fruits = 0;
    for (int i = 0; i < 8; ++i) {
        const Actor& s = f.Spiders[i];
        const Actor& r = f.Fruits[i];
        bool left = i < 4;
        if (s.state != SpiderEmpty) {
            ++spiders;
            expect(In(s.state, SpiderApproaching, SpiderStealing) && s.state != 2 &&
                       In(s.frame, 0, 5) && s.y == RowOf(i % 4) + 4 &&
                       (left ? In(s.x, 0, 80) : In(s.x, 208, 282)), "spider", i);
        }
        if (r.state != FruitEmpty) {
            ++fruits;
            bool standing = r.state <= FruitRipe;
            expect(In(r.state, FruitSmall, FruitStolen) && In(r.frame, 0, 7) && In(r.x, 0, 320) &&
                       In(r.y, RowOf(i % 4), 288) &&
                       (!standing || (r.x == (left ? 96 : 192) && r.y == RowOf(i % 4))), "fruit", i);
        }
    }
    for (int k = 0; k < FumeSlots; ++k) {
        const Actor& m = f.Fumes[k];
        expect(In(m.frame, 0, 2) && (m.state == FumeEmpty || (In(m.state, FumeLeft, FumeRight) &&
                                                              In(m.x, 0, 286) && In(m.y, 32, 224))),
               "fume", k);
    }
    expect(spiders == f.SpiderCount, "SpiderCount off; spiders", spiders);
    expect(fruits == f.FruitCount, "FruitCount off; fruits", fruits);
    const Actor& d = f.Dog;
    expect(In(d.x, 112, 176) && In(d.y, 32, 224) && (d.x == ColumnX || IsRow(d.y)) &&
               In(d.frame, 0, 7) && In(f.StepCount, 0, 16), "dog at x", d.x);
    expect(In(f.Level, 1, 10) && f.Score >= 0 && f.Score % 5 == 0 && In(f.PlantsLeft, -7, 12),
           "level, score or plants; level", f.Level);
    return out.str();
}

enum class Stage { Intro, Menu, Playing, Naming, Table, Leaving, Credits };

struct Journey {
    Stage stage = Stage::Intro;
    std::vector<Stage> stages;
    int passes = 0, stagePasses = 0, cooldown = 0, key = 0;
    bool stylus = false;
    int closeAt = -1, closeInCreditsAt = -1;  // for the closing run
    int32_t lastPhase = 0, lastFade = 0, lastBorder = 0;
    int introFrames = 0, creditsPasses = 0, nameStep = 0;
    PlayFieldRecord was{};
    int picks = 0, hits = 0, thefts = 0, shots = 0, moves = 0;
    int faultyPasses = 0;
    std::string firstFault;
    int32_t finalScore = -1;
};

void Enter(Journey& run, Stage stage) {
    run.stage = stage;
    run.stagePasses = 0;
    run.stages.push_back(stage);
}

// A key or the stylus goes down now and up after the next pass.
void Hold(Journey& run, int key) {
    HeadlessKeyDown(key);
    run.key = key;
    run.cooldown = 3;
}
void Touch(Journey& run, int x, int y) {
    HeadlessStylusDown(x, y);
    run.stylus = true;
    run.cooldown = 3;
}
void Release(Journey& run) {
    if (run.stylus) HeadlessStylusUp();
    if (run.key) HeadlessKeyUp(run.key);
    run.stylus = false;
    run.key = 0;
}

// What the pass did in the field: moves begun, shots, hits, picks and thefts.
void Tally(Journey& run) {
    const PlayFieldRecord& now = PlayField;
    run.moves += run.was.Dog.state == DogStill && now.Dog.state != DogStill;
    for (int i = 0; i < 8; ++i) {
        bool wasRipe = run.was.Fruits[i].state == FruitRipe;
        run.hits += run.was.Spiders[i].state == SpiderApproaching && now.Spiders[i].state == SpiderRetreating;
        run.picks += wasRipe && now.Fruits[i].state == FruitPicked;
        run.thefts += wasRipe && now.Fruits[i].state == FruitStolen;
    }
    for (int k = 0; k < FumeSlots; ++k) {
        run.shots += run.was.Fumes[k].state == FumeEmpty && now.Fumes[k].state != FumeEmpty;
    }
    run.was = now;
}

// The player, while the dog stands on a row: picks ripe fruit beside the column, shoots at
// spiders coming along its row, else walks the column to the lane most worth it.
void PlayGame(Journey& run) {
    const Actor& dog = PlayField.Dog;
    if (dog.state != DogStill || PlayField.StepCount != 0 || !IsRow(dog.y)) return;
    int lane = (dog.y - TopRowY) / RowSpacing;
    auto ripe = [](int slot) { return PlayField.Fruits[slot].state == FruitRipe; };
    auto coming = [](int slot) { return PlayField.Spiders[slot].state == SpiderApproaching; };
    if (dog.x != ColumnX) {
        if (!ripe(dog.x < ColumnX ? lane : lane + 4)) Hold(run, dog.x < ColumnX ? KeyMap.vkRight : KeyMap.vkLeft);
    } else if (ripe(lane)) {
        Hold(run, KeyMap.vkLeft);
    } else if (ripe(lane + 4)) {
        Touch(run, 200, dog.y + 16);  // right of the dog: a pen order
    } else if (FindFreeFume() >= 0 && coming(lane)) {
        Touch(run, 10, 200);  // the fire-left zone
    } else if (FindFreeFume() >= 0 && coming(lane + 4)) {
        Hold(run, KeyMap.vkB);
    } else {
        int target = lane, best = -1;
        for (int l = 0; l < 4; ++l) {
            int worth = 0;
            for (int slot : {l, l + 4}) {
                const Actor& spider = PlayField.Spiders[slot];
                worth += 1000 * ripe(slot) + 100 * (PlayField.Fruits[slot].state == FruitMedium);
                if (coming(slot)) worth += slot < 4 ? spider.x : 290 - spider.x;
            }
            if (worth <= best) continue;
            best = worth;
            target = l;
        }
        if (target < lane) Touch(run, 120, dog.y - 8);  // up the column's band: a pen order
        if (target > lane) Hold(run, KeyMap.vkDown);
    }
}

// Types "REXX", takes one X back, compares the frame, then DONE; an action every third pass.
void TypeName(Journey& run) {
    const int taps[][2] = {{90, 190}, {70, 190}, {80, 250}, {80, 250}, {100, 290}, {0, 0}, {190, 290}};
    if (run.stagePasses % 3 != 0 || run.nameStep >= 7) return;
    if (run.nameStep == 5) {
        EXPECT_STREQ(reinterpret_cast<const char*>(NameBuffer), "REX");
        ExpectFrame(NameEntryFrame(PlayField.Score, "REX"), "scenario-name-entry");
    } else {
        Touch(run, taps[run.nameStep][0], taps[run.nameStep][1]);
    }
    ++run.nameStep;
}

// One pass seen from outside, after it was presented: the frames, and the person's next move.
void Step(Journey& run) {
    if (run.passes == run.closeAt) HeadlessClose();
    if (run.stage != Stage::Credits && RunFlag == QuitRunFlag) return Enter(run, Stage::Credits);
    switch (run.stage) {
        case Stage::Intro:
            // An intro step moves the fade on; the loading frames before it do not.
            if (IntroPhase == run.lastPhase && IntroFade == run.lastFade) return;
            if (++run.introFrames == 1) ExpectFrame(Frame(ScreenPixels, 0), "scenario-intro-first");
            if (ScreenState != Menu) return;
            EXPECT_EQ(run.introFrames, 260);
            ExpectFrame(Picture(FrontImage), "scenario-intro-last");
            return Enter(run, Stage::Menu);
        case Stage::Menu:
            if (run.stagePasses == 1) ExpectFrame(MenuFrame(), "scenario-menu");
            if (run.stagePasses == 1) Touch(run, 120, 100);  // the garden: play
            if (ScreenState != Play) return;
            run.was = PlayField;
            EXPECT_EQ(PlayField.PlantsLeft, 12) << "a fresh game";
            return Enter(run, Stage::Playing);
        case Stage::Playing: {
            Tally(run);
            std::string faults = FieldFaults();
            if (!faults.empty() && run.faultyPasses++ == 0) {
                run.firstFault = "pass " + std::to_string(run.passes) + ": " + faults;
            }
            if (ScreenState == Play) {
                if (run.stagePasses < 90000 / 13 && run.cooldown == 0) PlayGame(run);  // 90 s of play
                return;
            }
            run.finalScore = PlayField.Score;
            EXPECT_EQ(ScreenState, EnterName) << "a score of " << PlayField.Score << " earns a place";
            return Enter(run, Stage::Naming);
        }
        case Stage::Naming:
            TypeName(run);
            if (ScreenState == ScoreTable) Enter(run, Stage::Table);
            return;
        case Stage::Table:
            if (run.stagePasses == 5) ExpectFrame(ScoreTableFrame(run.lastBorder), "scenario-scores");
            if (run.stagePasses == 5) Touch(run, 120, 160);
            if (ScreenState == Menu) Enter(run, Stage::Leaving);
            return;
        case Stage::Leaving:
            if (run.stagePasses == 2) Touch(run, 232, 5);  // the exit icon
            return;
        case Stage::Credits:
            if (++run.creditsPasses == 1) ExpectFrame(CreditsFrame(), "scenario-credits");
            if (run.creditsPasses == run.closeInCreditsAt) HeadlessClose();
            return;
    }
}

void OnPass(int, void* context) {
    Journey& run = *static_cast<Journey*>(context);
    ++run.passes;
    ++run.stagePasses;
    Release(run);
    if (run.cooldown > 0) --run.cooldown;
    Step(run);
    run.lastPhase = IntroPhase;
    run.lastFade = IntroFade;
    run.lastBorder = BorderFrame;
    if (run.passes == 400000) {
        ADD_FAILURE() << "the run did not end; stuck at stage " << static_cast<int>(run.stage);
        RequestQuit();
        RequestQuit();
    }
}

// Slot 0's name fills all twelve bytes, as a damaged file may leave it.
const HighScoreEntry Seeds[HighScoreCount] = {
    {100000, "ABCDEFGHIJK"}, {50000, "ROSE"}, {20000, "IVY"}, {10000, "FERN"},
    {3, "MOSS"},             {2, "SAGE"},     {1, "RUE"},     {0, "BAY"},
};

class ScenarioTest : public HostTest {
protected:
    int RunProgram(Journey& run) {
        HeadlessSetPassHook(OnPass, &run);
        return WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    }
    std::vector<HighScoreEntry> SavedTable() const {
        std::ifstream file(folder + "highscores.dat", std::ios::binary);
        std::vector<char> bytes(std::istreambuf_iterator<char>(file), {});
        std::vector<HighScoreEntry> table(bytes.size() / sizeof(HighScoreEntry));
        std::memcpy(table.data(), bytes.data(), table.size() * sizeof(HighScoreEntry));
        return table;
    }
};

std::string NameOf(const HighScoreEntry& entry) {
    return std::string(reinterpret_cast<const char*>(entry.name), strnlen(reinterpret_cast<const char*>(entry.name), 12));
}

TEST_F(ScenarioTest, FromLoadingToShutdownWithANewHighScore) {
    HighScoreEntry seeds[HighScoreCount];
    std::memcpy(seeds, Seeds, sizeof seeds);
    seeds[0].name[11] = 'L';
    std::ofstream(folder + "highscores.dat", std::ios::binary).write(reinterpret_cast<char*>(seeds), sizeof seeds);
    Journey run;
    EXPECT_EQ(RunProgram(run), 0);
    const std::vector<Stage> stages = {Stage::Menu,  Stage::Playing, Stage::Naming,
                                       Stage::Table, Stage::Leaving, Stage::Credits};
    EXPECT_EQ(run.stages, stages);
    EXPECT_EQ(run.faultyPasses, 0) << run.firstFault;
    EXPECT_GT(run.moves, 0);
    EXPECT_GT(run.shots, 0);
    EXPECT_GT(run.hits, 0);
    EXPECT_GT(run.picks, 0);
    EXPECT_EQ(run.thefts, 12 - PlayField.PlantsLeft);
    EXPECT_EQ(run.finalScore, 10 * run.picks + 5 * run.hits);
    Effects heard = TakeSounds();
    EXPECT_EQ(std::count(heard.begin(), heard.end(), SoundFire), run.shots);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), SoundPick), run.picks);
    EXPECT_EQ(std::count(heard.begin(), heard.end(), SoundStole), run.thefts);
    EXPECT_EQ(run.creditsPasses, 616);
    // The new entry goes below every score it does not beat; the last one drops out.
    int slot = 0;
    while (slot < HighScoreCount && run.finalScore <= seeds[slot].score) ++slot;
    std::vector<HighScoreEntry> saved = SavedTable();
    ASSERT_EQ(saved.size(), 8u);
    for (int i = 0; i < HighScoreCount; ++i) {
        const HighScoreEntry& expected = seeds[i <= slot ? i : i - 1];
        EXPECT_EQ(saved[i].score, i == slot ? run.finalScore : expected.score) << "slot " << i;
        EXPECT_EQ(NameOf(saved[i]), i == slot ? "REX" : NameOf(expected)) << "slot " << i;
    }
    std::printf("[ scenario ] %d passes: %d moves, %d shots, %d hits, %d picks, %d thefts, score %d\n",
                run.passes, run.moves, run.shots, run.hits, run.picks, run.thefts, run.finalScore);
}

TEST_F(ScenarioTest, ClosingTheWindowQuitsAndASecondCloseCutsTheCredits) {
    Journey run;
    run.closeAt = 20;
    run.closeInCreditsAt = 10;
    EXPECT_EQ(RunProgram(run), 0);
    EXPECT_EQ(CloseRequests, 2);
    EXPECT_EQ(run.creditsPasses, 11) << "the second close is pumped with the 11th frame, the last";
    std::vector<HighScoreEntry> saved = SavedTable();
    ASSERT_EQ(saved.size(), 8u) << "the scores are written at every shutdown";
    for (const HighScoreEntry& entry : saved) EXPECT_EQ(NameOf(entry), "QUINTAVEX");
}

}  // namespace

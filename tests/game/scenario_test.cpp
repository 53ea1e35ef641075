// The real program on the headless host from loading to shutdown, played as a person would.
#include <algorithm>
#include <fstream>

#include "tests/game/fixture.h"

namespace {

// Whether value lies in [low, high].
bool In(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

// What the play field breaks of its counts and ranges; empty while it keeps them all.
std::string FieldFaults() {
    const PlayFieldRecord& f = PlayField;
    std::string faults;
    auto expect = [&](bool kept, const std::string& what) { faults += kept ? "" : what + "; "; };
    int spiders = 0, fruits = 0;
    for (int i = 0; i < 8; ++i) {
        const Actor &s = f.Spiders[i], &r = f.Fruits[i];
        bool left = i < 4;
        int32_t row = RowOf(i % 4), spot = left ? 96 : 192;
        spiders += s.state != SpiderEmpty;
        fruits += r.state != FruitEmpty;
        bool spiderKept = In(s.state, 0, 3) && s.state != 2 && In(s.frame, 0, 5) &&
                          s.y == row + 4 && (left ? In(s.x, 0, 80) : In(s.x, 208, 282)) &&
                          (s.state != SpiderApproaching || (left ? s.frame >= 3 : s.frame <= 2));
        expect(s.state == SpiderEmpty || spiderKept, "spider " + std::to_string(i));
        bool fruitKept = In(r.frame, 0, 7) && In(r.x, 0, 320) && In(r.y, row, 288) &&
                         (r.state > FruitRipe || (r.x == spot && r.y == row));
        expect(r.state == FruitEmpty || fruitKept, "fruit " + std::to_string(i));
    }
    for (const Actor& m : f.Fumes) {
        bool flying = In(m.x, 0, 286) && In(m.y, TopRowY, BottomRowY);
        expect(In(m.frame, 0, 2) && (m.state == FumeEmpty || flying), "a fume");
    }
    expect(spiders == f.SpiderCount && fruits == f.FruitCount, "SpiderCount or FruitCount");
    const Actor& d = f.Dog;
    expect(In(d.x, 112, 176) && In(d.y, TopRowY, BottomRowY) && (d.x == ColumnX || IsRow(d.y)) &&
               In(d.frame, 0, 7) && In(d.state, DogUp, DogStill) && In(f.StepCount, 0, 16),
           "the dog");
    expect(In(f.Level, 1, 10) && In(f.Score, 0, 1 << 20) && f.Score % 5 == 0 &&
               In(f.PlantsLeft, -7, 12), "level, score or plants");
    return faults;
}

// Black, the logo from pixel column 'logo' at row 80, "Presents" in bold white at row 160.
Frame IntroFrame(int logo, bool caption) {
    Frame frame(ScreenPixels, 0);
    for (int r = 0; r < 42; ++r) {
        std::copy_n(LogoImage + r * 200, 200, &frame[(80 + r) * ScreenWidth + logo]);
    }
    for (int x = 88; caption && x < 90; ++x) {
        DrawSmallText("Presents", x, 160, ColourWhite, frame.data());
    }
    return frame;
}

enum class Stage { Intro, Menu, Playing, Naming, Table, Leaving, Credits };

struct Journey {
    Stage stage = Stage::Intro;
    int passes = 0, stagePasses = 0, held = 0;  // held: a key, or -1 the stylus
    int32_t lastPhase = 0, lastFade = 0, lastBorder = 0;
    int introFrames = 0, creditsPasses = 0, nameStep = 0;
    PlayFieldRecord was{};
    int moves = 0, shots = 0, hits = 0, picks = 0, thefts = 0, faultyPasses = 0;
    std::string firstFault;
};

// The person moves on to the next stage of the run.
void Enter(Journey& run, Stage stage) {
    run.stage = stage;
    run.stagePasses = 0;
}

// A key, or with key 0 the stylus at (x, y), goes down now and up at the next pass's end.
void Press(Journey& run, int key, int x = 0, int y = 0) {
    key ? HeadlessKeyDown(key) : HeadlessStylusDown(x, y);
    run.held = key ? key : -1;
}

// What the pass did in the field: moves begun, shots, hits, picks and thefts.
void Tally(Journey& run) {
    const PlayFieldRecord &was = run.was, &now = PlayField;
    run.moves += was.Dog.state == DogStill && now.Dog.state != DogStill;
    for (int i = 0; i < 8; ++i) {
        int32_t fruitWas = was.Fruits[i].state, fruitNow = now.Fruits[i].state;
        run.hits += was.Spiders[i].state == SpiderApproaching &&
                    now.Spiders[i].state == SpiderRetreating;
        run.picks += fruitWas == FruitRipe && fruitNow == FruitPicked;
        run.thefts += fruitWas == FruitRipe && fruitNow == FruitStolen;
    }
    for (int k = 0; k < FumeSlots; ++k) {
        run.shots += was.Fumes[k].state == FumeEmpty && now.Fumes[k].state != FumeEmpty;
    }
    run.was = now;
}

// The player, while the dog stands on a row: back to the column after a step aside; there, it
// fetches a ripe fruit beside it, shoots at a spider coming along its row, or walks the column
// to the first lane where a fruit is ripe or a spider comes.
void PlayGame(Journey& run) {
    const Actor& dog = PlayField.Dog;
    if (dog.state != DogStill || PlayField.StepCount != 0 || !IsRow(dog.y)) return;
    int lane = (dog.y - TopRowY) / RowSpacing;
    auto ripe = [](int slot) { return PlayField.Fruits[slot].state == FruitRipe; };
    auto coming = [](int slot) { return PlayField.Spiders[slot].state == SpiderApproaching; };
    if (dog.x != ColumnX) {
        bool left = dog.x < ColumnX;
        if (!ripe(left ? lane : lane + 4)) Press(run, left ? KeyMap.vkRight : KeyMap.vkLeft);
        return;
    }
    if (ripe(lane)) return Press(run, KeyMap.vkLeft);
    if (ripe(lane + 4)) return Press(run, 0, 200, dog.y + 16);  // right of the dog: a pen order
    if (coming(lane)) return Press(run, 0, 10, 200);            // the pen's fire-left zone
    if (coming(lane + 4)) return Press(run, KeyMap.vkB);
    for (int l = 0; l < 4; ++l) {
        if (l == lane || !(ripe(l) || ripe(l + 4) || coming(l) || coming(l + 4))) continue;
        return l < lane ? Press(run, 0, 120, dog.y - 8) : Press(run, KeyMap.vkDown);  // pen: up
    }
}

// Types "REXX", takes one X back, compares the frame, then DONE; an action every third pass.
void TypeName(Journey& run) {
    const int taps[][2] = {{90, 190}, {70, 190}, {80, 250}, {80, 250}, {100, 290}, {}, {190, 290}};
    if (run.stagePasses % 3 != 0 || run.nameStep >= 7) return;
    int step = run.nameStep++;
    if (step != 5) return Press(run, 0, taps[step][0], taps[step][1]);
    EXPECT_STREQ(reinterpret_cast<const char*>(NameBuffer), "REX");
    char score[16];
    std::snprintf(score, sizeof score, "%7d", PlayField.Score);
    Frame frame = WithText(Picture(HighImage),
                           {{"NEW HIGHSCORE!", 0, 0, 8, 5}, {"YOUR SCORE IS", 0, 0, 15, 65},
                            {score, 0, 0, 65, 90}, {"ENTER YOUR NAME", 13, 18, 20, 125},
                            {"REX", 0, 0, 13, 150}, {".", 0, 0, 61, 150},
                            {"SPACE", 13, 18, 10, 280}, {"BACK", 13, 18, 95, 280},
                            {"DONE", 13, 18, 170, 280}});
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    for (int row = 0; row < 3; ++row) {
        for (int i = 0; rows[row][i]; ++i) {
            int x = (row == 2 ? 50 : 20 + 10 * row) + 20 * i;
            DrawGlyph(rows[row][i], x, 180 + 30 * row, frame.data());
        }
    }
    ExpectFrame(frame, "scenario-name-entry");
}

// One pass seen from outside, after it was presented: the frames, and the person's next move.
void Step(Journey& run) {
    if (run.stage != Stage::Credits && RunFlag == QuitRunFlag) return Enter(run, Stage::Credits);
    switch (run.stage) {
        case Stage::Intro: {  // an intro step moves the fade on; the loading frames do not
            if (IntroPhase == run.lastPhase && IntroFade == run.lastFade) return;
            int frame = ++run.introFrames;
            std::string name = "scenario-intro-" + std::to_string(frame);
            if (frame == 1 || frame == 195) ExpectFrame(Frame(ScreenPixels, 0), name);
            // 65 frames a phase; the logo's plain blit in the second lands a column left.
            if (frame == 66 || frame == 130) ExpectFrame(IntroFrame(19, frame == 130), name);
            if (frame == 131) ExpectFrame(IntroFrame(20, true), name);
            if (frame == 100) Press(run, 0, 232, 5);  // the exit icon's place: thrown away
            if (ScreenState != Menu) return;
            EXPECT_EQ(frame, 260);
            ExpectFrame(Picture(FrontImage), name);
            return Enter(run, Stage::Menu);
        }
        case Stage::Menu:
            if (run.stagePasses == 1) ExpectFrame(MenuFrame(), "scenario-menu");
            if (run.stagePasses == 1) Press(run, 0, 120, 100);  // the garden: play
            if (ScreenState != Play) return;
            run.was = PlayField;
            return Enter(run, Stage::Playing);
        case Stage::Playing:
            Tally(run);
            if (std::string faults = FieldFaults(); !faults.empty() && run.faultyPasses++ == 0) {
                run.firstFault = "pass " + std::to_string(run.passes) + ": " + faults;
            }
            if (ScreenState != Play) return Enter(run, Stage::Naming);
            if (run.stagePasses < 90000 / 13 && run.stagePasses % 3 == 0) PlayGame(run);  // 90 s
            return;
        case Stage::Naming:
            TypeName(run);
            if (ScreenState == ScoreTable) Enter(run, Stage::Table);
            return;
        case Stage::Table:
            if (run.stagePasses == 5) {
                ExpectFrame(ScoreTableFrame(run.lastBorder), "scenario-scores");
                Press(run, 0, 120, 160);
            }
            if (ScreenState == Menu) Enter(run, Stage::Leaving);
            return;
        case Stage::Leaving:
            if (run.stagePasses == 2) Press(run, 0, 232, 5);  // the exit icon
            return;
        case Stage::Credits:  // taps are not read; a close after the exit icon ends them
            if (++run.creditsPasses == 1) ExpectFrame(CreditsFrame(), "scenario-credits");
            if (run.creditsPasses == 3) Press(run, 0, 120, 160);
            if (run.creditsPasses == 10) HeadlessClose();
            return;
    }
}

// The pass hook: lets go of the last pass's key or stylus, then takes the next step.
void OnPass(int pass, void* context) {
    Journey& run = *static_cast<Journey*>(context);
    run.passes = pass;
    ++run.stagePasses;
    if (run.held > 0) HeadlessKeyUp(run.held);
    if (run.held < 0) HeadlessStylusUp();
    run.held = 0;
    Step(run);
    run.lastPhase = IntroPhase;
    run.lastFade = IntroFade;
    run.lastBorder = BorderFrame;
    if (pass != 400000) return;
    ADD_FAILURE() << "the run did not end; stuck at stage " << static_cast<int>(run.stage);
    RequestQuit();
    RequestQuit();
}

using ScenarioTest = HostTest;

TEST_F(ScenarioTest, FromLoadingToShutdownWithANewHighScore) {
    // Slot 0's name fills all twelve bytes, as a damaged file may leave it.
    HighScoreEntry seeds[HighScoreCount] = {{100000, "ABCDEFGHIJK"}, {50000, "ROSE"},
                                            {20000, "IVY"}, {10000, "FERN"}, {3, "MOSS"},
                                            {2, "SAGE"}, {1, "RUE"}, {0, "BAY"}};
    seeds[0].name[11] = 'L';
    std::ofstream(folder + "highscores.dat", std::ios::binary)
        .write(reinterpret_cast<char*>(seeds), sizeof seeds);
    Journey run;
    HeadlessSetPassHook(OnPass, &run);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
    EXPECT_EQ(run.stage, Stage::Credits);  // each stage waits for its screen, or the run sticks
    EXPECT_EQ(run.faultyPasses, 0) << run.firstFault;
    EXPECT_GT(run.moves * run.shots * run.hits * run.picks, 0) << run.moves << " moves, "
        << run.shots << " shots, " << run.hits << " hits, " << run.picks << " picks";
    EXPECT_EQ(run.thefts, 12 - PlayField.PlantsLeft);
    EXPECT_EQ(PlayField.Score, 10 * run.picks + 5 * run.hits);
    EXPECT_EQ(run.creditsPasses, 11) << "the close is pumped with the 11th frame, the last";
    // The new entry goes below every score it does not beat; the last one drops out.
    std::vector<HighScoreEntry> table(seeds, seeds + HighScoreCount);
    auto beaten = std::find_if(table.begin(), table.end(),
                               [](const HighScoreEntry& e) { return PlayField.Score > e.score; });
    EXPECT_NE(beaten, table.end()) << "a score of " << PlayField.Score << " earns a place";
    table.insert(beaten, HighScoreEntry{PlayField.Score, "REX"});
    EXPECT_EQ(SavedScores(), Scores(table.data()));
}

}  // namespace

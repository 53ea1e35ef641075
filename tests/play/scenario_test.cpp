// A whole game through the real program on the headless host: from the menu's new game, a
// scripted player who moves, shoots and picks and then lets the spiders have the garden, to
// the end of the game, the screen it chooses, and a clean quit. After every pass the play
// field is checked against its own tables and ranges.
#include <sstream>
#include <string>

#include "tests/play/play_fixture.h"
#include "tests/support/support.h"

namespace {

// One pass is 13 ms on the virtual clock: 90 s of active play, then at most 20 minutes.
constexpr int ActivePasses = 90000 / 13;
constexpr int PassLimit = 20 * 60000 / 13;

enum class Phase { Waiting, Playing, Ending, Leaving, Done };

struct Script {
    Phase phase = Phase::Waiting;
    int gameStartPass = -1;
    int cooldown = 0;
    bool stylusDown = false;
    int heldKeys[4] = {};
    int heldCount = 0;
    int menuTaps = 0;
    // What the game did, seen from outside.
    int picks = 0, hits = 0, thefts = 0, shots = 0, moves = 0;
    int expectedEnd = -1, chosenEnd = -1, endScore = -1;
    bool sawEnterName = false, sawScoreTable = false, backInMenu = false;
    int violations = 0;
    std::string firstViolation;
    bool timedOut = false;
    PlayFieldRecord before{};
};

bool Between(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }

// Every range and count the field promises; the first broken one is kept for the report.
std::string CheckField(bool playing) {
    const PlayFieldRecord& f = PlayField;
    std::ostringstream out;
    int spiders = 0, fruits = 0;
    for (int i = 0; i < SpiderSlots; ++i) {
        const Actor& s = f.Spiders[i];
        if (s.state == SpiderEmpty) continue;
        ++spiders;
        bool left = i < 4;
        if (s.state != SpiderApproaching && s.state != SpiderRetreating && s.state != SpiderStealing)
            out << "spider " << i << " state " << s.state << "; ";
        if (s.y != RowOf(i % 4) + 4) out << "spider " << i << " y " << s.y << "; ";
        if (!Between(s.frame, 0, 5)) out << "spider " << i << " frame " << s.frame << "; ";
        if (!(left ? Between(s.x, 0, 80) : Between(s.x, 208, 282)))
            out << "spider " << i << " x " << s.x << "; ";
        if (s.state == SpiderApproaching && !(left ? s.frame >= 3 : s.frame <= 2))
            out << "spider " << i << " faces away; ";
    }
    for (int i = 0; i < FruitSlots; ++i) {
        const Actor& r = f.Fruits[i];
        if (r.state == FruitEmpty) continue;
        ++fruits;
        bool left = i < 4;
        int32_t spotX = left ? 96 : 192;
        if (!Between(r.state, FruitSmall, FruitStolen)) out << "fruit " << i << " state; ";
        if (!Between(r.frame, 0, 7)) out << "fruit " << i << " frame " << r.frame << "; ";
        bool standing = r.state <= FruitRipe;
        if (standing && (r.x != spotX || r.y != RowOf(i % 4) || r.frame != 0))
            out << "fruit " << i << " left its spot; ";
        if (r.state == FruitPicked && !(Between(r.y, RowOf(i % 4), 288) && Between(r.x, 96, 192)))
            out << "picked fruit " << i << " at " << r.x << "," << r.y << "; ";
        if (r.state == FruitRolling && !(r.y == 288 && Between(r.x, 96, 320)))
            out << "rolling fruit " << i << " at " << r.x << "," << r.y << "; ";
        if (r.state == FruitStolen && !(left ? Between(r.x, 0, 96) : Between(r.x, 192, 288)))
            out << "stolen fruit " << i << " x " << r.x << "; ";
    }
    for (int k = 0; k < FumeSlots; ++k) {
        const Actor& m = f.Fumes[k];
        if (!Between(m.frame, 0, 2)) out << "fume " << k << " frame " << m.frame << "; ";
        if (m.state == FumeEmpty) continue;
        if (!Between(m.state, FumeLeft, FumeRight)) out << "fume " << k << " state; ";
        if (!Between(m.x, 0, 286) || !Between(m.y, 32, 224)) out << "fume " << k << " place; ";
    }
    if (spiders != f.SpiderCount) out << "SpiderCount " << f.SpiderCount << " for " << spiders << "; ";
    if (fruits != f.FruitCount) out << "FruitCount " << f.FruitCount << " for " << fruits << "; ";
    const Actor& d = f.Dog;
    if (!Between(d.x, 112, 176) || !Between(d.y, 32, 224) || d.y % 4 != 0)
        out << "dog at " << d.x << "," << d.y << "; ";
    if (d.x != ColumnX && !IsRow(d.y)) out << "dog off the paths; ";
    if (!Between(d.frame, 0, 7) || !Between(d.state, DogUp, DogStill)) out << "dog image/state; ";
    if (!Between(f.StepCount, 0, 16)) out << "StepCount " << f.StepCount << "; ";
    if (f.StepCount != 0 && d.state == DogStill) out << "steps while still; ";
    if (!Between(f.Level, 1, 10)) out << "Level " << f.Level << "; ";
    if (f.Score < 0 || f.Score % 5 != 0) out << "Score " << f.Score << "; ";
    if (!Between(f.PlantsLeft, playing ? 1 : -7, 12)) out << "PlantsLeft " << f.PlantsLeft << "; ";
    return out.str();
}

// Counts picks, hits and thefts from one pass to the next.
void CountEvents(Script& s) {
    for (int i = 0; i < 8; ++i) {
        int32_t was = s.before.Spiders[i].state, is = PlayField.Spiders[i].state;
        if (was == SpiderApproaching && is == SpiderRetreating) ++s.hits;
        int32_t fruitWas = s.before.Fruits[i].state, fruitIs = PlayField.Fruits[i].state;
        if (fruitWas == FruitRipe && fruitIs == FruitPicked) ++s.picks;
        if (fruitWas == FruitRipe && fruitIs == FruitStolen) ++s.thefts;
    }
    for (int k = 0; k < FumeSlots; ++k) {
        if (s.before.Fumes[k].state == FumeEmpty && PlayField.Fumes[k].state != FumeEmpty) ++s.shots;
    }
    s.before = PlayField;
}

void Press(Script& s, int16_t key) {
    HeadlessKeyDown(key);
    s.heldKeys[s.heldCount++] = key;
    s.cooldown = 3;
}

void Touch(Script& s, int x, int y) {
    HeadlessStylusDown(x, y);
    s.stylusDown = true;
    s.cooldown = 3;
}

bool ApproachingOn(int slot) { return PlayField.Spiders[slot].state == SpiderApproaching; }

// The active player: picks ripe fruit beside the column, shoots spiders on its row, and
// walks the column towards the fruit that will ripen next.
void PlayActively(Script& s) {
    const Actor& dog = PlayField.Dog;
    if (dog.state != DogStill || PlayField.StepCount != 0 || !IsRow(dog.y)) return;
    int lane = (dog.y - TopRowY) / RowSpacing;
    if (dog.x != ColumnX) {
        int spot = dog.x < ColumnX ? lane : lane + 4;
        if (PlayField.Fruits[spot].state == FruitRipe) return;  // the pick check comes
        Press(s, dog.x < ColumnX ? KeyMap.vkRight : KeyMap.vkLeft);
        ++s.moves;
        return;
    }
    if (PlayField.Fruits[lane].state == FruitRipe) {
        Press(s, KeyMap.vkLeft);
        ++s.moves;
        return;
    }
    if (PlayField.Fruits[lane + 4].state == FruitRipe) {
        Touch(s, 200, dog.y + 16);  // right of the dog: a pen order
        ++s.moves;
        return;
    }
    if (FindFreeFume() >= 0 && ApproachingOn(lane)) {
        Touch(s, 10, 200);  // the fire-left zone
        return;
    }
    if (FindFreeFume() >= 0 && ApproachingOn(lane + 4)) {
        Press(s, KeyMap.vkB);
        return;
    }
    // The lane worth walking to: ripe fruit first, then a spider closest to its stop.
    int target = -1, best = -1;
    for (int l = 0; l < 4; ++l) {
        int worth = 0;
        for (int slot : {l, l + 4}) {
            if (PlayField.Fruits[slot].state == FruitRipe) worth += 1000;
            if (PlayField.Fruits[slot].state == FruitMedium) worth += 100;
            if (ApproachingOn(slot)) worth += slot < 4 ? PlayField.Spiders[slot].x
                                                        : 290 - PlayField.Spiders[slot].x;
        }
        if (worth > best) {
            best = worth;
            target = l;
        }
    }
    if (target < lane) {
        Touch(s, 120, dog.y - 8);  // up the column band: a pen order
        ++s.moves;
    } else if (target > lane) {
        Press(s, KeyMap.vkDown);
        ++s.moves;
    }
}

void ReleaseInput(Script& s) {
    if (s.stylusDown) HeadlessStylusUp();
    s.stylusDown = false;
    for (int i = 0; i < s.heldCount; ++i) HeadlessKeyUp(s.heldKeys[i]);
    s.heldCount = 0;
}

void Tap(Script& s, int x, int y) {
    HeadlessStylusDown(x, y);
    s.stylusDown = true;
}

int32_t EndScreenFor(int32_t score) {
    for (const HighScoreEntry& entry : HighScoreTable) {
        if (score > entry.score) return EnterName;
    }
    return ScoreTable;
}

void OnPass(int pass, void* context) {
    Script& s = *static_cast<Script*>(context);
    ReleaseInput(s);
    if (s.cooldown > 0) --s.cooldown;
    if (pass > PassLimit && !s.timedOut) {
        s.timedOut = true;
        HeadlessClose();
        HeadlessClose();
        return;
    }
    switch (s.phase) {
        case Phase::Waiting:
            if (ScreenState == Play && s.menuTaps > 0) {
                s.phase = Phase::Playing;
                s.gameStartPass = pass;
                s.before = PlayField;
                std::string broken = CheckField(true);
                if (PlayField.Score != 0 || PlayField.PlantsLeft != 12 || PlayField.FruitCount != 0)
                    broken += "the game did not start fresh; ";
                if (!broken.empty()) {
                    ++s.violations;
                    s.firstViolation = "pass " + std::to_string(pass) + ": " + broken;
                }
            } else if (ScreenState == Menu && s.cooldown == 0) {
                Tap(s, 120, 100);
                s.cooldown = 20;
                ++s.menuTaps;
            }
            return;
        case Phase::Playing: {
            CountEvents(s);
            bool playing = ScreenState == Play;
            std::string broken = CheckField(playing);
            if (!broken.empty() && s.violations++ == 0) {
                s.firstViolation = "pass " + std::to_string(pass) + ": " + broken;
            }
            if (!playing) {
                s.phase = Phase::Ending;
                s.chosenEnd = ScreenState;
                s.endScore = PlayField.Score;
                s.expectedEnd = EndScreenFor(PlayField.Score);
                return;
            }
            if (pass - s.gameStartPass < ActivePasses && s.cooldown == 0) PlayActively(s);
            return;
        }
        case Phase::Ending:
            if (ScreenState == EnterName && s.cooldown == 0) {
                s.sawEnterName = true;
                Tap(s, 190, 290);  // DONE
                s.cooldown = 5;
            } else if (ScreenState == ScoreTable && s.cooldown == 0) {
                s.sawScoreTable = true;
                Tap(s, 120, 160);
                s.cooldown = 5;
            } else if (ScreenState == Menu) {
                s.backInMenu = true;
                s.phase = Phase::Leaving;
            }
            return;
        case Phase::Leaving:
            if (s.cooldown == 0) {
                Tap(s, 232, 5);  // the exit icon
                s.cooldown = 20;
            }
            if (RunFlag == QuitRunFlag) s.phase = Phase::Done;
            return;
        case Phase::Done:
            return;
    }
}

TEST(PlayScenario, AWholeGameFromTheMenuToTheTheftOfTheLastPlant) {
    std::string folder = MakeGameFolder();
    ASSERT_FALSE(folder.empty());
    std::string module = FolderModulePath(folder);
    HeadlessOptions options;
    options.modulePath = module.c_str();
    StartHeadlessHost(options);
    SetAudioDriver("nosound");
    Script script;
    HeadlessSetPassHook(OnPass, &script);
    TakeSounds();
    ScreenState = Intro;
    int status = WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    std::vector<int> sounds = TakeSounds();
    HeadlessSetPassHook(nullptr, nullptr);
    int passes = HeadlessPassCount();
    StopHeadlessHost();
    RemoveGameFolder(folder);

    EXPECT_EQ(status, 0);
    EXPECT_FALSE(script.timedOut) << "no end of game within " << PassLimit << " passes";
    ASSERT_NE(script.gameStartPass, -1) << "never got from the menu into a game ("
                                        << script.menuTaps << " taps, " << passes << " passes)";
    EXPECT_EQ(script.violations, 0) << script.firstViolation;
    EXPECT_GT(script.moves, 0);
    EXPECT_GT(script.shots, 0);
    EXPECT_GT(script.picks, 0);
    EXPECT_GT(script.hits, 0);
    EXPECT_EQ(script.thefts, 12 - PlayField.PlantsLeft);
    EXPECT_LE(PlayField.PlantsLeft, 0);
    EXPECT_EQ(script.endScore, 10 * script.picks + 5 * script.hits);
    EXPECT_EQ(script.chosenEnd, script.expectedEnd);
    EXPECT_TRUE(script.chosenEnd == EnterName ? script.sawEnterName : !script.sawEnterName);
    EXPECT_TRUE(script.sawScoreTable);
    EXPECT_TRUE(script.backInMenu);
    EXPECT_EQ(script.phase, Phase::Done);
    int fires = 0, picks = 0, stolen = 0;
    for (int effect : sounds) {
        fires += effect == SoundFire;
        picks += effect == SoundPick;
        stolen += effect == SoundStole;
    }
    EXPECT_EQ(fires, script.shots);
    EXPECT_EQ(picks, script.picks);
    EXPECT_EQ(stolen, script.thefts);
    std::printf("[ scenario ] %d passes; game of %d passes: %d moves, %d shots, %d hits, %d picks, "
                "%d thefts, score %d, level %d\n",
                passes, passes - script.gameStartPass, script.moves, script.shots, script.hits,
                script.picks, script.thefts, script.endScore, PlayField.Level);
}

}  // namespace

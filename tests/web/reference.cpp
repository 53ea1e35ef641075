// The desktop's side of the browser test: the frames the page must show, and a recorded game.
// Usage: web_reference frames FOLDER | web_reference record JOURNAL
//   frames: with a high score file of its own (also left as FOLDER/highscores.dat) the desktop's
//     game goes from the intro to the menu (menu.rgb), plays (play.rgb, its first frame), leaves
//     by the exit icon and shows the score table (scores-0.rgb to scores-7.rgb, one for each step
//     of the fruit border). Frames are 240 x 320 RGB bytes. Its sound is written as it plays
//     (tune.wav, libmikmod's disk writer).
//   record: a first start's game, played with keys and stylus to its end and a new high score,
//     then the credits, written as a journal.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"
#include "platform/standin.h"
#include "tests/support/support.h"

namespace {

// The play frame is taken this many passes into the game: the first frames are drawn, and no
// fruit or spider has come yet (the first fruit is due after two seconds).
constexpr int PlayFramePass = 20;
constexpr int BorderSteps = 8;
constexpr int LastPass = 60000;
constexpr int PlayingPasses = 60000 / 13;
// A tap on the title that starts a game, at the dog's middle: a person's finger still down in
// the first passes of play then leaves the dog where it stands.
constexpr int TitleX = 120;
constexpr int TitleY = 176;

// A table no first start makes: the browser must have read it from the page's storage.
constexpr HighScoreEntry Seed[HighScoreCount] = {
    {98765, "BROWSER"}, {4321, "TAB"}, {2000, "CANVAS"}, {1500, "PIXEL"},
    {900, "WASM"},      {45, "TOUCH"}, {10, "KEY"},      {5, "PAD"}};

enum class Stage { Menu, Play, Menu2, Table, Naming, Done };

struct Walk {
    bool recording = false;
    std::string folder;
    Stage stage = Stage::Menu;
    int stagePasses = 0;
    int32_t lastState = Intro;
    int held = 0;  // a key going up at the next pass, or -1 the stylus
    std::set<int32_t> borders;
    bool failed = false;
};

// The window's frame as 240 x 320 RGB bytes.
void WriteFrame(Walk& walk, const std::string& name) {
    std::vector<uint32_t> frame(ScreenWidth * ScreenHeight);
    HeadlessDecodedFrame(frame.data());
    std::string rgb;
    for (uint32_t pixel : frame) {
        rgb += {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8), static_cast<char>(pixel)};
    }
    std::string path = walk.folder + "/" + name;
    std::ofstream file(path, std::ios::binary);
    if (file.write(rgb.data(), static_cast<std::streamsize>(rgb.size()))) return;
    std::fprintf(stderr, "web_reference: cannot write %s\n", path.c_str());
    walk.failed = true;
}

void Tap(int x, int y) {
    HeadlessStylusDown(x, y);
    HeadlessStylusUp();
}

void Enter(Walk& walk, Stage stage) {
    walk.stage = stage;
    walk.stagePasses = 0;
}

// The recorded player, for its first minute every fifth pass while the dog stands on the column:
// fires along its row at a spider coming there (left by the pen, right by the B key), else walks
// (arrow keys) towards the row of the first spider coming. Then the spiders have their way.
void PlayRound(Walk& walk) {
    const Actor& dog = PlayField.Dog;
    if (walk.stagePasses > PlayingPasses || walk.stagePasses % 5 != 0 || dog.state != DogStill ||
        PlayField.StepCount != 0 ||
        dog.x != ColumnX || !IsRow(dog.y)) {
        return;
    }
    int lane = (dog.y - TopRowY) / RowSpacing;
    for (int slot = 0; slot < SpiderSlots; ++slot) {
        if (PlayField.Spiders[slot].state != SpiderApproaching) continue;
        int spiderLane = slot % 4;
        if (spiderLane == lane && slot < 4) {
            HeadlessStylusDown(10, 200);
            walk.held = -1;
            return;
        }
        walk.held = spiderLane == lane ? 'X' : spiderLane < lane ? VK_UP : VK_DOWN;
        HeadlessKeyDown(walk.held);
        return;
    }
}

// The frames walk: each stage waits for its screen, takes its frames and taps on.
void WalkFrames(Walk& walk) {
    if (walk.stage == Stage::Menu && ScreenState == Menu) {
        WriteFrame(walk, "menu.rgb");
        Tap(TitleX, TitleY);
        Enter(walk, Stage::Play);
    } else if (walk.stage == Stage::Play && ScreenState == Play && walk.stagePasses == PlayFramePass) {
        WriteFrame(walk, "play.rgb");
        Tap(232, 5);  // the exit icon
        Enter(walk, Stage::Menu2);
    } else if (walk.stage == Stage::Menu2 && ScreenState == Menu) {
        Tap(15, 300);  // the trophy: the score table
        Enter(walk, Stage::Table);
    } else if (walk.stage == Stage::Table && ScreenState == ScoreTable &&
               walk.borders.insert(BorderFrame).second) {
        WriteFrame(walk, "scores-" + std::to_string(BorderFrame) + ".rgb");
        if (walk.borders.size() == BorderSteps) Enter(walk, Stage::Done);
    }
}

// The recorded walk: a game to its end, a name (letters R, E, then DONE), the table, the exit.
void WalkGame(Walk& walk) {
    if (walk.stage == Stage::Menu && ScreenState == Menu) {
        Tap(TitleX, TitleY);
        Enter(walk, Stage::Play);
    } else if (walk.stage == Stage::Play && ScreenState == Play) {
        PlayRound(walk);
    } else if (walk.stage == Stage::Play && (ScreenState == EnterName || ScreenState == ScoreTable)) {
        Enter(walk, ScreenState == EnterName ? Stage::Naming : Stage::Table);
    } else if (walk.stage == Stage::Naming && ScreenState == EnterName && walk.stagePasses % 10 == 0) {
        const int taps[][2] = {{90, 190}, {70, 190}, {190, 290}};
        int step = walk.stagePasses / 10 - 1;
        if (step < 3) Tap(taps[step][0], taps[step][1]);
    } else if (ScreenState == ScoreTable && walk.stage != Stage::Done && walk.stagePasses > 100) {
        Tap(120, 160);  // back to the menu, then out by the exit icon
        Enter(walk, Stage::Done);
    } else if (walk.stage == Stage::Naming && ScreenState == ScoreTable) {
        Enter(walk, Stage::Table);
    } else if (walk.stage == Stage::Done && ScreenState == Menu && walk.stagePasses == 5) {
        Tap(232, 5);
    }
}

// The pass hook: lets go of what the last pass held, then takes the walk's next step. A frame
// is its screen's only when the pass began on that screen too.
void OnPass(int pass, void* context) {
    Walk& walk = *static_cast<Walk*>(context);
    ++walk.stagePasses;
    if (walk.held > 0) HeadlessKeyUp(walk.held);
    if (walk.held < 0) HeadlessStylusUp();
    walk.held = 0;
    bool steady = ScreenState == walk.lastState;
    walk.lastState = ScreenState;
    if (pass == LastPass || (!walk.recording && walk.stage == Stage::Done)) {
        walk.failed |= pass == LastPass;
        RequestQuit();
        RequestQuit();
    }
    if (!steady || RunFlag == QuitRunFlag) return;
    walk.recording ? WalkGame(walk) : WalkFrames(walk);
}

// Runs the program on the headless host from folder, the walk driving it.
void RunWalk(Walk& walk, const std::string& folder, const char* journal) {
    std::string module = FolderModulePath(folder);
    HeadlessOptions options;
    options.modulePath = module.c_str();
    StartHeadlessHost(options);
    SetAudioDriver(journal ? "nosound" : ("wav:" + walk.folder + "/tune.wav").c_str());
    if (journal && !(OpenRecording(journal) && StartRecording())) walk.failed = true;
    HeadlessSetPassHook(OnPass, &walk);
    WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    if (EndJournal() != 0) walk.failed = true;
    StopHeadlessHost();
}

}  // namespace

int main(int argc, char** argv) {
    bool frames = argc == 3 && !std::strcmp(argv[1], "frames");
    bool record = argc == 3 && !std::strcmp(argv[1], "record");
    if (!frames && !record) {
        std::fprintf(stderr, "usage: web_reference frames FOLDER | web_reference record JOURNAL\n");
        return 2;
    }
    std::string game = MakeGameFolder();
    Walk walk;
    walk.recording = record;
    walk.folder = argv[2];
    if (frames) {
        for (const std::string& path : {game + "highscores.dat", walk.folder + "/highscores.dat"}) {
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(Seed), sizeof Seed);
        }
    }
    RunWalk(walk, game, record ? argv[2] : nullptr);
    RemoveGameFolder(game);
    if (walk.stage != Stage::Done || walk.failed) {
        std::fprintf(stderr, "web_reference: the walk stopped at stage %d\n", static_cast<int>(walk.stage));
        return 1;
    }
    return 0;
}

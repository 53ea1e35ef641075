// The desktop's side of the browser test: the frames the page must show.
// Usage: web_reference FOLDER
//   With a high score file of its own (also left as FOLDER/highscores.dat) the desktop's game
//   goes from the intro to the menu (menu.rgb), plays (play.rgb, its first frame), leaves by the
//   exit icon and shows the score table (scores-0.rgb to scores-7.rgb, one for each step of the
//   fruit border). Frames are 240 x 320 RGB bytes. Its sound is written as it plays (tune.wav,
//   libmikmod's disk writer).
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"
#include "shell/shell.h"
#include "audio/audio.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "tests/support/support.h"

namespace {

// The play frame is taken this many passes into the game: the first frames are drawn, and no
// fruit or spider has come yet (the first fruit is due after two seconds).
constexpr int PlayFramePass = 20;
constexpr int BorderSteps = 8;
constexpr int LastPass = 60000;
// A tap on the title that starts a game, at the dog's middle: a person's finger still down in
// the first passes of play then leaves the dog where it stands.
constexpr int TitleX = 120;
constexpr int TitleY = 176;

// A table no first start makes: the browser must have read it from the page's storage.
constexpr HighScoreEntry Seed[HighScoreCount] = {
    {98765, "BROWSER"}, {4321, "TAB"}, {2000, "CANVAS"}, {1500, "PIXEL"},
    {900, "WASM"},      {45, "TOUCH"}, {10, "KEY"},      {5, "PAD"}};

enum class Stage { Menu, Play, Menu2, Table, Done };

struct Walk {
    std::string folder;
    Stage stage = Stage::Menu;
    int stagePasses = 0;
    int32_t lastState = Intro;
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

// The pass hook: the walk's next step. A frame is its screen's only when the pass began on that
// screen too.
void OnPass(int pass, void* context) {
    Walk& walk = *static_cast<Walk*>(context);
    ++walk.stagePasses;
    bool steady = ScreenState == walk.lastState;
    walk.lastState = ScreenState;
    if (pass == LastPass || walk.stage == Stage::Done) {
        walk.failed |= pass == LastPass;
        RequestQuit();
        RequestQuit();
    }
    if (!steady || RunFlag == QuitRunFlag) return;
    WalkFrames(walk);
}

// Runs the program on the headless host from folder, the walk driving it and its sound written.
void RunWalk(Walk& walk, const std::string& folder) {
    std::string module = FolderModulePath(folder);
    HeadlessOptions options;
    options.modulePath = module.c_str();
    StartHeadlessHost(options);
    SetAudioDriver(("wav:" + walk.folder + "/tune.wav").c_str());
    HeadlessSetPassHook(OnPass, &walk);
    WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    StopHeadlessHost();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: web_reference FOLDER\n");
        return 2;
    }
    std::string game = MakeGameFolder();
    Walk walk;
    walk.folder = argv[1];
    for (const std::string& path : {game + "highscores.dat", walk.folder + "/highscores.dat"}) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(Seed), sizeof Seed);
    }
    RunWalk(walk, game);
    RemoveGameFolder(game);
    if (walk.stage != Stage::Done || walk.failed) {
        std::fprintf(stderr, "web_reference: the walk stopped at stage %d\n", static_cast<int>(walk.stage));
        return 1;
    }
    return 0;
}

// The main loop: loading, the screen state machine, and the credits and shutdown after a quit.
#include "shell/shell.h"
#include "assets/assets.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "handheld/standin.h"

int32_t ScreenState;
int32_t RunFlag;
int32_t CloseRequests;

// Window procedure, on a close request from the desktop or a signal: quit as the exit icon does.
void RequestQuit() {
    ++CloseRequests;
    RunFlag = QuitRunFlag;
}

namespace {

using ScreenHandler = void (*)();

// Handlers by ScreenState value.
constexpr ScreenHandler ScreenHandlers[] = {
    RunIntro, RunMenu, RunPlayState, RunScoreTable, RunEnterName, RunAbout, RunHelp,
};
constexpr int32_t ScreenCount = sizeof ScreenHandlers / sizeof ScreenHandlers[0];

void RunScreen() {
    if (ScreenState < 0 || ScreenState >= ScreenCount) return;
    if (ScreenState == Menu) RunFlag = 1;
    ScreenHandlers[ScreenState]();
}

// What the desktop's pause may hold after this pass: a game in play, a screen, or nothing once
// a quit is on its way.
PauseScope ScopeOfPass() {
    if (RunFlag == QuitRunFlag) return PauseScope::Never;
    return ScreenState == Play ? PauseScope::Game : PauseScope::Screen;
}

// From the first frame after loading to the end of the credits: the screens in turn until a
// quit.
void PlayUntilQuit() {
    RunFlag = 0;
    PresentFrame(true);
    ResetClock();
    ScreenState = Intro;
    PlayMusic(0);
    SetSoundVolume(UnmutedSoundVolume);
    SetMusicVolume(UnmutedMusicVolume);
    MuteIfDeviceSilent();
    for (;;) {
        UpdateAudio();
        if (RunFlag == QuitRunFlag) break;
        RunScreen();
        SetPauseScope(ScopeOfPass());
        PresentFrame(true);
    }
    SetPauseScope(PauseScope::Never);
    ShowCredits();
    StopMusic();
}

}  // namespace

// Entry: the whole life of the game between start-up and shutdown. A quit asked for while
// loading ends it there: the game never starts, and no credits are shown.
void RunMainLoop() {
    BuildDataFolders();
    LoadAllAssets();
    if (CloseRequests == 0) PlayUntilQuit();
    ReleaseAllAssets();
}

// The menu's tap regions over the title picture, and the help and about pictures.
#include "shell/shell.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"

namespace {

constexpr int32_t IconSize = 16;
// Game-space x of the exit icon: pixel columns 223 to 238.
constexpr int32_t ExitIconX = 298;

// Taps are tested in a 160 x 160 menu space.
constexpr int32_t MenuSpace = 160;
constexpr int32_t IconCorner = 10;
constexpr int32_t ExitIconLeft = 150;
constexpr int32_t BottomBarTop = 139;

struct BarButton {
    int32_t right;  // exclusive, in menu space
    int32_t screen;
};
// The bottom bar, left to right; the rest of its width plays.
constexpr BarButton BarButtons[] = {{21, ScoreTable}, {42, About}, {63, Help}};

// A fresh field, and play from the next iteration.
void StartGame() {
    NewGame();
    ScreenState = Play;
}

// A tap on the bottom bar: one of its buttons, or play over the rest of the width.
void PressBottomBar(int32_t mx) {
    for (const BarButton& button : BarButtons) {
        if (mx < button.right) {
            ScreenState = button.screen;
            PlaySound(SoundSelect);
            return;
        }
    }
    StartGame();
    PlaySound(SoundSelect);
}

// The first region that holds the tap acts.
void PressMenu(int32_t mx, int32_t my) {
    if (mx <= IconCorner && my <= IconCorner) {
        ToggleMute();
        return;
    }
    if (mx >= ExitIconLeft && my <= IconCorner) {
        RunFlag = QuitRunFlag;
        PlaySound(SoundSelect);
        return;
    }
    if (my < BottomBarTop) {
        PlaySound(SoundSelect);
        StartGame();
        return;
    }
    if (my < MenuSpace) PressBottomBar(mx);
}

// Help and about: a picture that any tap leaves for the menu.
void RunPictureScreen(const uint16_t* picture) {
    CopyScreenImage(picture);
    if (!TakeTap()) return;
    ScreenState = Menu;
    PlaySound(SoundSelect);
}

}  // namespace

// Main loop, while ScreenState is Menu: the title picture, its icons, and the tap regions.
void RunMenu() {
    ScreenState = Menu;
    CopyScreenImage(FrontImage);
    if (TakeTap()) PressMenu(TapX() * MenuSpace / ScreenWidth, TapY() / 2);
    // The icons go on top also in the call that left the menu: its last frame is still the menu.
    DrawImage(BackBuffer, ExitIcon, IconSize, IconSize, ExitIconX, 0, 0);
    DrawImage(BackBuffer, SpeakerIcon, IconSize, IconSize, 0, 0, 0);
    DrawMuteCross();
}

// Main loop, while ScreenState is Help.
void RunHelp() { RunPictureScreen(HelpImage); }

// Main loop, while ScreenState is About.
void RunAbout() { RunPictureScreen(AboutImage); }

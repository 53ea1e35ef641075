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

// The first region that holds the tap (in menu space) acts.
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

// A tap, or the cursor's press, at a screen pixel.
void PressMenuAt(int32_t x, int32_t y) { PressMenu(x * MenuSpace / ScreenWidth, y / 2); }

// The cursor's targets: the speaker and the exit icon above, the bottom bar's buttons below.
constexpr CursorBox IconTargets[] = {{0, 0, 16, 17}, {222, 0, 239, 17}};
constexpr CursorBox BarTargets[] = {
    {1, 279, 30, 318}, {32, 279, 62, 318}, {63, 279, 94, 318}, {96, 279, 238, 318}};
constexpr int32_t IconRow = 0;
constexpr int32_t ExitColumn = 1;

int32_t MenuRowLength(int32_t row) { return row == IconRow ? 2 : 4; }
CursorBox MenuTarget(int32_t row, int32_t column) {
    return row == IconRow ? IconTargets[column] : BarTargets[column];
}
constexpr CursorLayout MenuLayout{2, MenuRowLength, MenuTarget};

// The keys and the controller: M mutes, Escape (Back) quits as the exit icon does, the arrows
// (d-pad) move the cursor, Enter or Space (a face button) press what it stands on.
void TakeMenuKeys() {
    if (TakeNavigation(NavMute, false)) ToggleMute();
    if (TakeNavigation(NavBack, false)) PressTarget(IconTargets[ExitColumn], PressMenuAt);
    MoveCursor(MenuLayout, &MenuCursor, false);
    PressUnderCursor(MenuLayout, MenuCursor, false, PressMenuAt);
}

// Help, about and the score table: a picture that any tap, or Enter, Space or Escape, leaves
// for the menu.
void RunPictureScreen(const uint16_t* picture) {
    CopyScreenImage(picture);
    LeaveOnTapOrKey();
}

}  // namespace

ScreenCursor MenuCursor = MenuCursorStart;

// Help, about and the score table, after drawing: back to the menu on a tap, a key or a
// controller's B.
void LeaveOnTapOrKey() {
    if (!TakeTap() && !TakeNavigation(NavSelect | NavBack | NavCancel, false)) return;
    ScreenState = Menu;
    PlaySound(SoundSelect);
}

// Main loop, while ScreenState is Menu: the title picture, its icons, and the tap regions.
void RunMenu() {
    ScreenState = Menu;
    CopyScreenImage(FrontImage);
    if (TakeTap()) {
        MenuCursor.shown = false;
        PressMenuAt(TapX(), TapY());
    } else {
        TakeMenuKeys();
    }
    // The icons go on top also in the call that left the menu: its last frame is still the menu.
    DrawImage(BackBuffer, ExitIcon, IconSize, IconSize, ExitIconX, 0, 0);
    DrawImage(BackBuffer, SpeakerIcon, IconSize, IconSize, 0, 0, 0);
    DrawMuteCross();
    DrawCursor(MenuLayout, MenuCursor);
}

// Main loop, while ScreenState is Help.
void RunHelp() { RunPictureScreen(HelpImage); }

// Main loop, while ScreenState is About.
void RunAbout() { RunPictureScreen(AboutImage); }

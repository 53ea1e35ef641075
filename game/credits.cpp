// The credits shown over the title picture for eight seconds after a quit, music playing on.
#include "shell/shell.h"
#include "audio/audio.h"
#include "game/game.h"
#include "gfx/gfx.h"

namespace {

constexpr int32_t CreditsMs = 8000;

struct CreditLine {
    const char* text;
    int32_t cellWidth;
    int32_t cellHeight;
    int32_t x;
    int32_t y;
};
// The address is a reserved example domain; at 12 pixels a cell it ends by column 221.
constexpr CreditLine CreditLines[] = {
    {"   VISIT OUR   ", 14, 20, 12, 70},
    {"  WEBSITE FOR  ", 14, 20, 12, 95},
    {"MORE GREAT GAMES", 14, 20, 5, 120},
    {"       AT      ", 14, 20, 5, 145},
    {"MARROWDALE.EXAMPLE", 12, 20, 5, 190},
};

// The desktop asked to close once more than before the credits, or twice in all: the player
// wants out now.
bool CloseAskedAgain(int32_t closesBefore) {
    return CloseRequests > closesBefore || CloseRequests > 1;
}

}  // namespace

// Main loop, once after a quit: draws the credits and keeps them up for 8000 ms of game
// clock; a second close request from the desktop ends them at once.
void ShowCredits() {
    CopyScreenImage(FrontImage);
    for (const CreditLine& line : CreditLines) {
        DrawTextScaled(line.text, line.cellWidth, line.cellHeight, line.x, line.y, BackBuffer);
    }
    ResetClock();
    int32_t closesBefore = CloseRequests;
    do {
        UpdateAudio();
        PresentFrame(true);
    } while (ElapsedMs() < CreditsMs && !CloseAskedAgain(closesBefore));
}

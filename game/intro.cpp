// The intro: the maker's logo and "Presents" fade in and out, then the title picture fades in.
#include <cstring>

#include "shell/shell.h"
#include "game/game.h"
#include "gfx/gfx.h"

int32_t IntroPhase;
int32_t IntroFade;

namespace {

constexpr int32_t FullFactor = 64;
constexpr int32_t FadeSteps = FullFactor + 1;
constexpr int32_t LogoWidth = 200;
constexpr int32_t LogoHeight = 42;
constexpr int32_t LogoColumn = 20;
constexpr int32_t LogoRow = 80;
// The plain blit takes game-space x: 26 lands on pixel column 19, a column left of the fades.
constexpr int32_t LogoGameX = 26;
constexpr int32_t StripHeight = 20;
constexpr int32_t StripRow = 160;
constexpr char PresentsText[] = "Presents";
constexpr int32_t PresentsColumn = 88;

enum IntroPhases : int32_t {
    LogoFadingIn = 0,
    PresentsFadingIn = 1,
    BothFadingOut = 2,
    TitleFadingIn = 3
};

// Once, after the logo's fade-in: the caption in white, twice a column apart to make it bold.
void PreparePresentsStrip() {
    std::memset(PresentsStrip, 0, PresentsStripBytes);
    DrawSmallText(PresentsText, PresentsColumn, 0, ColourWhite, PresentsStrip);
    DrawSmallText(PresentsText, PresentsColumn + 1, 0, ColourWhite, PresentsStrip);
}

// The picture of the current phase at the current fade, over black.
void DrawIntroPhase() {
    switch (IntroPhase) {
        case LogoFadingIn:
            DrawImageFaded(BackBuffer, LogoImage, LogoWidth, LogoHeight, LogoColumn, LogoRow,
                           IntroFade);
            break;
        case PresentsFadingIn:
            DrawImage(BackBuffer, LogoImage, LogoWidth, LogoHeight, LogoGameX, LogoRow, 0);
            DrawImageFaded(BackBuffer, PresentsStrip, ScreenWidth, StripHeight, 0, StripRow,
                           IntroFade);
            break;
        case BothFadingOut:
            DrawImageFaded(BackBuffer, LogoImage, LogoWidth, LogoHeight, LogoColumn, LogoRow,
                           FullFactor - IntroFade);
            DrawImageFaded(BackBuffer, PresentsStrip, ScreenWidth, StripHeight, 0, StripRow,
                           FullFactor - IntroFade);
            break;
        default:
            DrawImageFaded(BackBuffer, FrontImage, ScreenWidth, ScreenHeight, 0, 0, IntroFade);
            break;
    }
}

// After the 65th frame of a phase: on to the next, or to the menu once the title is full.
void EndIntroPhase() {
    IntroFade = 0;
    if (IntroPhase == LogoFadingIn) PreparePresentsStrip();
    if (IntroPhase == TitleFadingIn) {
        ScreenState = Menu;
        return;
    }
    ++IntroPhase;
}

}  // namespace

// Main loop, while ScreenState is Intro: one step of the fades a call, 260 calls in all.
void RunIntro() {
    ClearBackBuffer(0);
    DrawIntroPhase();
    if (++IntroFade == FadeSteps) EndIntroPhase();
    // Taps during the intro are thrown away; it cannot be skipped.
    TakeTap();
}

// The intro's fades, the menu's tap regions and icons, help and about, and the credits.
#include <algorithm>

#include "tests/game/fixture.h"

namespace {

using IntroTest = GameTest;
using MenuTest = GameTest;
using CreditsTest = GameTest;

// Black, the logo from pixel column 'logo', and the caption strip over rows 160 to 179.
Frame IntroFrame(int logo, bool caption) {
    Frame frame(ScreenPixels, 0);
    for (int r = 0; r < 42; ++r) {
        std::copy(LogoImage + r * 200, LogoImage + r * 200 + 200, &frame[(80 + r) * ScreenWidth + logo]);
    }
    if (caption) std::copy(PresentsStrip, PresentsStrip + 20 * ScreenWidth, &frame[160 * ScreenWidth]);
    return frame;
}

TEST_F(IntroTest, FadesTheLogoAndCaptionInAndOutThenTheTitleInWhateverIsTapped) {
    for (int call = 1; call <= 260; ++call) {
        ASSERT_EQ(ScreenState, Intro) << "call " << call;
        Tap(232, 5);  // the exit icon's place
        RunIntro();
        EXPECT_FALSE(Latches.tapPending);
        // 65 steps a phase; the plain blit of the logo in phase 1 lands a column left.
        if (call == 1) ExpectFrame(Frame(ScreenPixels, 0), "intro-first");
        if (call == 66) ExpectFrame(IntroFrame(19, false), "intro-logo");
        if (call == 130) ExpectFrame(IntroFrame(19, true), "intro-caption");
        if (call == 131) ExpectFrame(IntroFrame(20, true), "intro-fade-out");
        if (call == 195) ExpectFrame(Frame(ScreenPixels, 0), "intro-faded-out");
    }
    EXPECT_EQ(ScreenState, Menu);
    ExpectFrame(Picture(FrontImage), "intro-last");
    EXPECT_EQ(RunFlag, 1);
    EXPECT_TRUE(TakeSounds().empty());
    Frame caption(PresentsStripBytes / 2, 0);  // bold: drawn twice a column apart
    DrawSmallText("Presents", 88, 0, ColourWhite, caption.data());
    DrawSmallText("Presents", 89, 0, ColourWhite, caption.data());
    EXPECT_TRUE(std::equal(caption.begin(), caption.end(), PresentsStrip)) << "the caption strip";
}

enum class Outcome { Nothing, Mute, Quit, Play, Scores, About, Help };
const int32_t OutcomeScreens[] = {Menu, Menu, Menu, Play, ScoreTable, About, Help};

struct MenuTap {
    int x, y;
    Outcome outcome;
};

// Each region's edges in screen pixels, on both sides.
const MenuTap MenuTaps[] = {
    {0, 0, Outcome::Mute},       {16, 21, Outcome::Mute},    {17, 21, Outcome::Play},
    {16, 22, Outcome::Play},     {225, 0, Outcome::Quit},    {224, 0, Outcome::Play},
    {239, 21, Outcome::Quit},    {239, 22, Outcome::Play},   {120, 10, Outcome::Play},
    {10, 277, Outcome::Play},    {10, 278, Outcome::Scores}, {31, 300, Outcome::Scores},
    {32, 300, Outcome::About},   {62, 300, Outcome::About},  {63, 300, Outcome::Help},
    {94, 300, Outcome::Help},    {95, 300, Outcome::Play},   {239, 319, Outcome::Play},
    {0, 319, Outcome::Scores},   {10, 320, Outcome::Nothing},
};

TEST_F(MenuTest, EveryRegionEdge) {
    for (const MenuTap& tap : MenuTaps) {
        SCOPED_TRACE(testing::Message() << "tap at " << tap.x << ", " << tap.y);
        ScreenState = Menu;
        RunFlag = 1;
        PlayField.PlantsLeft = 0;
        bool soundWas = SoundOn;
        Tap(tap.x, tap.y);
        RunMenu();
        EXPECT_EQ(SoundOn != soundWas, tap.outcome == Outcome::Mute);
        EXPECT_EQ(RunFlag == QuitRunFlag, tap.outcome == Outcome::Quit);
        EXPECT_EQ(ScreenState, OutcomeScreens[static_cast<int>(tap.outcome)]);
        EXPECT_EQ(PlayField.PlantsLeft, tap.outcome == Outcome::Play ? 12 : 0) << "a fresh game";
        EXPECT_FALSE(Latches.tapPending);
        bool quiet = tap.outcome == Outcome::Mute || tap.outcome == Outcome::Nothing;
        EXPECT_EQ(TakeSounds(), quiet ? Effects{} : Effects{SoundSelect});
        if (SoundOn != soundWas) {
            EXPECT_EQ(Pixel(0, 0), ColourRed) << "the mute cross shows in the same frame";
            ToggleMute();
            continue;
        }
        ExpectFrame(MenuFrame(), "menu");  // the icons go on top even as the menu is left
        if (ScreenState != Help && ScreenState != About) continue;
        bool help = ScreenState == Help;
        Tap(5, 5);  // any tap leaves; the speaker's place does not mute here
        help ? RunHelp() : RunAbout();
        ExpectFrame(Picture(help ? HelpImage : AboutImage), help ? "help" : "about");
        EXPECT_EQ(ScreenState, Menu);
        EXPECT_TRUE(SoundOn);
        EXPECT_EQ(TakeSounds(), Effects{SoundSelect});
    }
}

void WatchCredits(int pass, void* context) {
    auto [tapAt, closeAt] = *static_cast<std::pair<int, int>*>(context);
    if (pass == tapAt) OnStylusDown(120, 160);
    if (pass == closeAt) RequestQuit();
}

TEST_F(CreditsTest, EightSecondsWhateverIsTappedUnlessTheDesktopAsksAgain) {
    struct Credits { int32_t closesBefore; int tapAt, closeAt, passes; };
    const Credits runs[] = {
        {1, 3, -1, 616},  // 13 ms a pass: the 616th reaches 8000 ms
        {1, -1, 10, 10},  // a second close ends them at once
        {2, -1, -1, 1},   // two closes before them: one frame
        {0, -1, 20, 20},  // after the exit icon, one close ends them
    };
    for (const Credits& run : runs) {
        CloseRequests = run.closesBefore;
        RunFlag = QuitRunFlag;
        std::pair<int, int> script{HeadlessPassCount() + run.tapAt, HeadlessPassCount() + run.closeAt};
        int passesBefore = HeadlessPassCount();
        HeadlessSetPassHook(WatchCredits, &script);
        ShowCredits();
        EXPECT_EQ(HeadlessPassCount() - passesBefore, run.passes) << run.closesBefore << " closes";
        ExpectFrame(CreditsFrame(), "credits");
    }
    EXPECT_TRUE(Latches.tapPending) << "the credits read no taps";
    EXPECT_TRUE(TakeSounds().empty());
}

}  // namespace

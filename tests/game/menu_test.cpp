// The menu's tap regions and icons, and the help and about pictures it leads to.
#include "tests/game/fixture.h"

namespace {

using MenuTest = GameTest;

enum class Outcome { Nothing, Mute, Quit, Play, Scores, About, Help };
const int32_t OutcomeScreens[] = {Menu, Menu, Menu, Play, ScoreTable, About, Help};

TEST_F(MenuTest, EveryRegionEdge) {
    struct MenuTap { int x, y; Outcome outcome; };
    const MenuTap taps[] = {
        {0, 0, Outcome::Mute},      {16, 21, Outcome::Mute},    {17, 21, Outcome::Play},
        {16, 22, Outcome::Play},    {225, 0, Outcome::Quit},    {224, 0, Outcome::Play},
        {239, 21, Outcome::Quit},   {239, 22, Outcome::Play},   {10, 277, Outcome::Play},
        {10, 278, Outcome::Scores}, {31, 300, Outcome::Scores}, {32, 300, Outcome::About},
        {62, 300, Outcome::About},  {63, 300, Outcome::Help},   {94, 300, Outcome::Help},
        {95, 300, Outcome::Play},   {239, 319, Outcome::Play},  {10, 320, Outcome::Nothing},
    };
    for (const MenuTap& tap : taps) {
        SCOPED_TRACE(testing::Message() << "tap at " << tap.x << ", " << tap.y);
        ScreenState = Menu;
        RunFlag = 1;
        PlayField.PlantsLeft = 0;
        Tap(tap.x, tap.y);
        RunMenu();
        EXPECT_EQ(SoundOn, tap.outcome != Outcome::Mute);
        EXPECT_EQ(RunFlag == QuitRunFlag, tap.outcome == Outcome::Quit);
        EXPECT_EQ(ScreenState, OutcomeScreens[static_cast<int>(tap.outcome)]);
        EXPECT_EQ(PlayField.PlantsLeft, tap.outcome == Outcome::Play ? 12 : 0) << "a fresh game";
        EXPECT_FALSE(Latches.tapPending);
        bool quiet = tap.outcome == Outcome::Mute || tap.outcome == Outcome::Nothing;
        EXPECT_EQ(TakeSounds(), quiet ? Effects{} : Effects{SoundSelect});
        if (!SoundOn) {
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

}  // namespace

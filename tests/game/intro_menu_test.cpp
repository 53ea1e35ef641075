// The intro's fades and hand-over, the menu's tap regions and icons, help and about.
#include <cstring>

#include "audio/audio.h"
#include "game/play/play.h"
#include "tests/game/screen_fixture.h"

namespace {

class IntroTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        IntroPhase = 0;
        IntroFade = 0;
    }
    // Runs the intro for n main-loop iterations.
    static void RunIntroCalls(int n) {
        for (int i = 0; i < n; ++i) RunIntro();
    }
    // The logo's top row, as found on back buffer row 80 from column 'column'.
    bool LogoRowAt(int column) const {
        return std::memcmp(BackBuffer + 80 * ScreenWidth + column, logo.data(), 200 * 2) == 0;
    }
    static bool RowsBlack(int first, int last) {
        for (int i = first * ScreenWidth; i < (last + 1) * ScreenWidth; ++i) {
            if (BackBuffer[i] != 0) return false;
        }
        return true;
    }
};

TEST_F(IntroTest, FirstFrameIsBlackAndLastIsTheMenuBackground) {
    RunIntro();
    EXPECT_TRUE(RowsBlack(0, ScreenHeight - 1)) << "the logo starts at brightness 0";
    int calls = 1;
    while (ScreenState == Intro && calls < 1000) {
        RunIntro();
        ++calls;
    }
    EXPECT_EQ(calls, 260);
    EXPECT_EQ(ScreenState, Menu);
    EXPECT_EQ(IntroPhase, 3);
    EXPECT_EQ(IntroFade, 0);
    EXPECT_EQ(BackBufferChecksum(), FrameChecksum(front.data(), ScreenPixels));
    // The menu's first frame differs from it only under the two icons.
    RunMenu();
    EXPECT_EQ(std::memcmp(BackBuffer + 16 * ScreenWidth, front.data() + 16 * ScreenWidth,
                          (ScreenHeight - 16) * ScreenWidth * 2),
              0);
}

TEST_F(IntroTest, LogoShiftsOneColumnBetweenPhases) {
    RunIntroCalls(65);  // the logo's fade-in, ending at full brightness
    EXPECT_EQ(IntroPhase, 1);
    EXPECT_TRUE(LogoRowAt(20));
    EXPECT_EQ(Pixel(19, 80), 0);

    RunIntro();  // phase 1 starts: the plain blit lands a column to the left
    EXPECT_TRUE(LogoRowAt(19));
    EXPECT_EQ(Pixel(219, 80), 0);
    EXPECT_TRUE(RowsBlack(160, 179)) << "the caption starts at brightness 0";

    RunIntroCalls(64);
    EXPECT_EQ(IntroPhase, 2);
    EXPECT_EQ(std::memcmp(BackBuffer + 160 * ScreenWidth, strip.data(), 20 * ScreenWidth * 2), 0)
        << "the caption's last frame is at full brightness";

    RunIntro();  // phase 2 starts at full brightness, back on column 20
    EXPECT_TRUE(LogoRowAt(20));
    EXPECT_EQ(Pixel(19, 80), 0);
}

TEST_F(IntroTest, PresentsIsBoldWhiteOnAClearedStrip) {
    RunIntroCalls(65);
    bool anyWhite = false;
    for (int r = 0; r < 80; ++r) {
        for (int c = 0; c < ScreenWidth; ++c) {
            uint16_t p = strip[r * ScreenWidth + c];
            ASSERT_TRUE(p == 0 || p == ColourWhite) << "row " << r << " column " << c;
            if (p != ColourWhite) continue;
            anyWhite = true;
            EXPECT_LT(r, 16);
            EXPECT_GE(c, 88);
            EXPECT_LE(c, 160);
            // Drawn twice a column apart: no white pixel stands alone in its row.
            bool left = strip[r * ScreenWidth + c - 1] == ColourWhite;
            bool right = strip[r * ScreenWidth + c + 1] == ColourWhite;
            EXPECT_TRUE(left || right) << "row " << r << " column " << c;
        }
    }
    EXPECT_TRUE(anyWhite);
}

TEST_F(IntroTest, TapsAreDiscardedButOneDuringTheLastFrameReachesTheMenu) {
    while (ScreenState == Intro) {
        Tap(232, 5);  // the exit icon's place
        RunIntro();
        ASSERT_FALSE(Latches.tapPending);
    }
    EXPECT_EQ(RunFlag, 1);
    EXPECT_TRUE(TakeSoundLog().empty());
    // Made while the last intro frame is presented: the menu acts on it.
    Tap(10, 300);
    RunMenu();
    EXPECT_EQ(ScreenState, ScoreTable);
}

enum class Outcome { Nothing, Mute, Quit, Play, Scores, About, Help };
// When the select sound plays: not at all, before the action, or after it.
enum class Select { None, First, After };

struct MenuTap {
    int x, y;
    Outcome outcome;
    Select select;
};

// Each region's edges in screen pixels, on both sides.
const MenuTap MenuTaps[] = {
    {0, 0, Outcome::Mute, Select::None},        {16, 21, Outcome::Mute, Select::None},
    {17, 21, Outcome::Play, Select::First},     {16, 22, Outcome::Play, Select::First},
    {225, 0, Outcome::Quit, Select::After},     {224, 0, Outcome::Play, Select::First},
    {239, 21, Outcome::Quit, Select::After},    {239, 22, Outcome::Play, Select::First},
    {120, 10, Outcome::Play, Select::First},    {10, 277, Outcome::Play, Select::First},
    {10, 278, Outcome::Scores, Select::After},  {31, 300, Outcome::Scores, Select::After},
    {32, 300, Outcome::About, Select::After},   {62, 300, Outcome::About, Select::After},
    {63, 300, Outcome::Help, Select::After},    {94, 300, Outcome::Help, Select::After},
    {95, 300, Outcome::Play, Select::After},    {239, 319, Outcome::Play, Select::After},
    {0, 319, Outcome::Scores, Select::After},   {10, 320, Outcome::Nothing, Select::None},
};

class MenuTest : public ScreenTest {};

TEST_F(MenuTest, EveryRegionEdge) {
    for (const MenuTap& tap : MenuTaps) {
        SCOPED_TRACE(testing::Message() << "tap at " << tap.x << ", " << tap.y);
        ScreenState = Menu;
        RunFlag = 1;
        PlayField.PlantsLeft = 0;
        bool soundWas = SoundOn;
        Tap(tap.x, tap.y);
        RunMenu();
        Outcome seen = Outcome::Nothing;
        if (SoundOn != soundWas) {
            seen = Outcome::Mute;
            ToggleMute();
        } else if (RunFlag == QuitRunFlag) {
            seen = Outcome::Quit;
        } else if (ScreenState == Play) {
            seen = Outcome::Play;
            EXPECT_EQ(PlayField.PlantsLeft, 12) << "a game starts with a fresh field";
        } else if (ScreenState == ScoreTable) {
            seen = Outcome::Scores;
        } else if (ScreenState == About) {
            seen = Outcome::About;
        } else if (ScreenState == Help) {
            seen = Outcome::Help;
        }
        EXPECT_EQ(seen, tap.outcome);
        if (seen != Outcome::Play) {
            EXPECT_NE(PlayField.PlantsLeft, 12) << "no game starts";
        }
        EXPECT_FALSE(Latches.tapPending);
        std::vector<SoundCall> sounds = TakeSoundLog();
        if (tap.select == Select::None) {
            EXPECT_TRUE(sounds.empty());
        } else if (sounds.size() != 1 || sounds[0].effect != SoundSelect) {
            ADD_FAILURE() << "expected the select sound alone, heard " << sounds.size();
        } else if (tap.select == Select::First) {
            EXPECT_EQ(sounds[0].screen, Menu);
            EXPECT_EQ(sounds[0].plantsLeft, 0) << "before the new game is set up";
        } else {
            EXPECT_EQ(sounds[0].screen, ScreenState);
            EXPECT_EQ(sounds[0].runFlag, RunFlag);
            EXPECT_EQ(sounds[0].plantsLeft, PlayField.PlantsLeft);
        }
    }
}

// The title picture with the speaker at columns 0-15 and the exit sign at 223-238.
std::vector<uint16_t> MenuFrame(const std::vector<uint16_t>& front,
                                const std::vector<uint16_t>& speaker,
                                const std::vector<uint16_t>& exitIcon) {
    std::vector<uint16_t> frame = front;
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            frame[r * ScreenWidth + c] = speaker[r * 16 + c];
            frame[r * ScreenWidth + 223 + c] = exitIcon[r * 16 + c];
        }
    }
    return frame;
}

TEST_F(MenuTest, TheFrameOfALeavingTapIsStillTheMenu) {
    std::vector<uint16_t> expected = MenuFrame(front, speaker, exitIcon);
    ScreenState = Menu;
    RunMenu();
    EXPECT_EQ(BackBufferChecksum(), FrameChecksum(expected.data(), ScreenPixels));
    Tap(70, 300);
    RunMenu();
    EXPECT_EQ(ScreenState, Help);
    EXPECT_EQ(BackBufferChecksum(), FrameChecksum(expected.data(), ScreenPixels));
}

TEST_F(MenuTest, MutingShowsTheCrossInTheSameFrame) {
    ASSERT_TRUE(SoundOn);
    ScreenState = Menu;
    Tap(5, 5);
    RunMenu();
    EXPECT_FALSE(SoundOn);
    EXPECT_EQ(Pixel(0, 0), ColourRed);
    EXPECT_EQ(Pixel(7, 7), ColourRed);
    EXPECT_EQ(Pixel(8, 7), ColourRed);
    Tap(5, 5);
    RunMenu();
    EXPECT_TRUE(SoundOn);
    EXPECT_EQ(Pixel(7, 7), speaker[7 * 16 + 7]);
}

TEST_F(MenuTest, HelpAndAboutShowTheirPictureAndReturnOnAnyTap) {
    struct PictureScreen {
        int32_t state;
        void (*run)();
        const std::vector<uint16_t>* picture;
    };
    const PictureScreen screens[] = {{Help, RunHelp, &help}, {About, RunAbout, &about}};
    const int places[][2] = {{0, 0}, {239, 319}, {5, 5}, {232, 5}, {120, 160}};
    for (const PictureScreen& screen : screens) {
        for (const auto& place : places) {
            ScreenState = screen.state;
            screen.run();
            EXPECT_EQ(ScreenState, screen.state) << "no tap, no change";
            EXPECT_EQ(BackBufferChecksum(), FrameChecksum(screen.picture->data(), ScreenPixels));
            bool soundWas = SoundOn;
            Tap(place[0], place[1]);
            screen.run();
            EXPECT_EQ(ScreenState, Menu);
            EXPECT_EQ(SoundOn, soundWas) << "a tap on the speaker's place does not mute here";
            EXPECT_EQ(RunFlag, 1);
            std::vector<SoundCall> sounds = TakeSoundLog();
            ASSERT_EQ(sounds.size(), 1u);
            EXPECT_EQ(sounds[0].effect, SoundSelect);
            EXPECT_EQ(sounds[0].screen, Menu) << "the sound follows the change of screen";
        }
    }
}

}  // namespace

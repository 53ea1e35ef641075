// The screens at the edges of their regions: the intro's taps, the menu's regions, help and
// about, the score table's border and names, name entry's keys, typing and table.
#include "tests/game/fixture.h"

namespace {

using MenuTest = GameTest;

TEST_F(MenuTest, EveryRegionEdge) {
    // Each region's edges in screen pixels, and the screen after the tap; M muted, Q quit.
    struct MenuTap { int x, y; int32_t screen; char also; };
    const MenuTap taps[] = {
        {0, 0, Menu, 'M'},        {16, 21, Menu, 'M'},   {17, 21, Play, 0},     {16, 22, Play, 0},
        {225, 0, Menu, 'Q'},      {224, 0, Play, 0},     {239, 21, Menu, 'Q'},  {239, 22, Play, 0},
        {10, 277, Play, 0},       {10, 278, ScoreTable, 0}, {31, 300, ScoreTable, 0},
        {32, 300, About, 0},      {62, 300, About, 0},   {63, 300, Help, 0},    {94, 300, Help, 0},
        {95, 300, Play, 0},       {239, 319, Play, 0},   {10, 320, Menu, 0},
    };
    for (const MenuTap& tap : taps) {
        SCOPED_TRACE(testing::Message() << "tap at " << tap.x << ", " << tap.y);
        ScreenState = Menu;
        RunFlag = 1;
        PlayField.PlantsLeft = 0;
        Tap(tap.x, tap.y);
        RunMenu();
        EXPECT_EQ(SoundOn, tap.also != 'M');
        EXPECT_EQ(RunFlag == QuitRunFlag, tap.also == 'Q');
        EXPECT_EQ(ScreenState, tap.screen);
        EXPECT_EQ(PlayField.PlantsLeft, tap.screen == Play ? 12 : 0) << "a fresh game";
        EXPECT_FALSE(Latches.tapPending);
        bool quiet = tap.also == 'M' || (tap.screen == Menu && !tap.also);
        EXPECT_EQ(TakeSounds(), quiet ? Effects{} : Effects{SoundSelect});
        if (!SoundOn) ToggleMute();
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

// The display the game presents into, open as the game's start opens it.
void OpenDisplay() {
    GXOpenDisplay(nullptr, GX_FULLSCREEN);
    DisplayFormat = {16, 2, ScreenWidth * 2};
}

// A pump with the navigation press of a key: U D L R the arrows (a d-pad), S Enter or Space (a face
// button), E Escape (Back), M the mute key, B a controller's B, T its Start (its own key and the
// game's start key); lower case a controller's, upper case a keyboard's.
void PressKeys(char key) {
    StartPumpInput();
    constexpr std::pair<char, uint16_t> Presses[] = {{'U', NavUp},     {'D', NavDown},
                                                     {'L', NavLeft},   {'R', NavRight},
                                                     {'S', NavSelect}, {'E', NavBack},
                                                     {'M', NavMute},   {'B', NavCancel},
                                                     {'T', NavDone | NavSelect}};
    for (auto [name, press] : Presses) {
        if (std::toupper(key) != name) continue;
        Latches.navigation |= press;
        if (std::islower(key)) Latches.padNavigation |= press;
    }
}

TEST_F(MenuTest, KeysAndAControllerReachEveryButtonAndAKeyStartsAGameWithNoPenDown) {
    // The presses, a pass each, from a fresh cursor (on PLAY); the screen after, M muted, Q quit.
    const std::tuple<const char*, int32_t, char> rows[] = {
        {"S", Play, 0},   {"LS", Help, 0},   {"LLS", About, 0}, {"llls", ScoreTable, 0},
        {"RS", ScoreTable, 0}, {"US", Menu, 'Q'}, {"DLS", Menu, 'M'}, {"uus", Play, 0},
        {"E", Menu, 'Q'}, {"m", Menu, 'M'}};
    for (auto [keys, screen, also] : rows) {
        SCOPED_TRACE(keys);
        ScreenState = Menu;
        RunFlag = 1;
        MenuCursor = MenuCursorStart;
        PlayField.PlantsLeft = 0;
        for (const char* k = keys; *k; ++k) {
            PressKeys(*k);
            RunMenu();
        }
        EXPECT_EQ(ScreenState, screen);
        EXPECT_EQ(RunFlag == QuitRunFlag, also == 'Q');
        EXPECT_EQ(SoundOn, also != 'M');
        EXPECT_EQ(PlayField.PlantsLeft, screen == Play ? 12 : 0) << "a fresh game";
        EXPECT_FALSE(PenDown() || Latches.tapPending) << "no stylus down after a key";
        EXPECT_EQ(TakeSounds(), also == 'M' ? Effects{} : Effects{SoundSelect});
        EXPECT_EQ(MenuCursor.shown, std::strpbrk(keys, "UDLRudlr") != nullptr);
        if (!SoundOn) ToggleMute();
        if (screen == Menu || screen == Play) continue;
        for (char key : {'L', 'u', "Se"[screen % 2]}) {  // arrows leave no picture screen
            PressKeys(key);
            screen == Help ? RunHelp() : screen == About ? RunAbout() : RunScoreTable();
        }
        EXPECT_EQ(ScreenState, Menu);
        EXPECT_EQ(TakeSounds(), Effects{SoundSelect});
    }
    Tap(120, 100);
    RunMenu();
    EXPECT_FALSE(MenuCursor.shown) << "a tap hides the cursor";
}

// A controller's B goes back from help, about and the score table, and does nothing on the
// menu, where Back quits.
TEST_F(MenuTest, AControllersBLeavesThePictureScreensOnly) {
    for (int32_t screen : {Help, About, ScoreTable}) {
        SCOPED_TRACE(screen);
        ScreenState = screen;
        PressKeys('b');
        screen == Help ? RunHelp() : screen == About ? RunAbout() : RunScoreTable();
        EXPECT_EQ(ScreenState, Menu);
        EXPECT_EQ(TakeSounds(), Effects{SoundSelect});
    }
    RunFlag = 1;
    PressKeys('b');
    RunMenu();
    EXPECT_EQ(ScreenState, Menu);
    EXPECT_EQ(RunFlag, 1);
    EXPECT_EQ(TakeSounds(), Effects{});
}

// The cursor a key shows is the host's, over the picture: never in the picture, so never in the
// display memory a journal checks, a screenshot saves or a grey display shows. The frame of the
// pass shows it round its target; a screen without it takes it down.
TEST_F(MenuTest, TheCursorGoesOverThePictureNeverIntoIt) {
    OpenDisplay();
    auto pass = [](char key, void (*screen)()) {
        if (key) PressKeys(key);
        screen();
        std::vector<uint16_t> picture(BackBuffer, BackBuffer + ScreenPixels);
        PresentBackBuffer();
        return picture;
    };
    std::vector<uint16_t> plain = pass(0, RunMenu);
    EXPECT_EQ(FrameCursor(), nullptr);
    EXPECT_EQ(pass('L', RunMenu), plain) << "the menu's picture alone";
    ASSERT_NE(FrameCursor(), nullptr);
    EXPECT_EQ(*FrameCursor(), (CursorOutline{63, 279, 94, 318})) << "round HELP";
    pass('U', RunMenu);
    ASSERT_NE(FrameCursor(), nullptr);
    EXPECT_EQ(*FrameCursor(), (CursorOutline{0, 0, 16, 17})) << "round the speaker";
    Tap(120, 100);
    pass(0, RunMenu);
    EXPECT_EQ(FrameCursor(), nullptr) << "a tap hides it";
    ScreenState = EnterName;
    std::vector<uint16_t> names = pass(0, RunEnterName);
    EXPECT_EQ(pass('d', RunEnterName), names);
    ASSERT_NE(FrameCursor(), nullptr) << "a controller's on name entry";
    pass(0, RunHelp);
    EXPECT_EQ(FrameCursor(), nullptr) << "another screen takes it down";
}

// A tap during the intro, even on the exit icon's place, is thrown away: the intro can't be
// skipped and the menu after it doesn't quit.
TEST_F(MenuTest, TheIntroThrowsTapsAway) {
    while (ScreenState == Intro) {
        Tap(232, 5);
        RunIntro();
        ASSERT_FALSE(Latches.tapPending);
    }
    RunMenu();
    EXPECT_EQ(RunFlag, 1);
}

using ScoreTableTest = GameTest;

TEST_F(ScoreTableTest, TheBorderStepsNoFasterThanEvery51MsAcrossTheClockWrapAndAnyTapLeaves) {
    // The clock, and the border frame before and after the call; a call draws the one before.
    const int32_t calls[][3] = {{50, 0, 0},  {51, 0, 1},  {51, 1, 1},
                                {101, 1, 1}, {102, 1, 2}, {999, 7, 0},
                                {INT32_MAX - 60, 0, 1}, {INT32_MIN + 10, 1, 2},  // 71 ms on
                                {INT32_MIN + 60, 2, 2}};
    for (auto [clock, before, after] : calls) {
        BorderFrame = before;
        SetClock(clock);
        RunScoreTable();
        EXPECT_EQ(BorderFrame, after) << "at " << clock << " ms";
        ExpectFrame(ScoreTableFrame(before), "score-table");
    }
    EXPECT_EQ(ScreenState, Intro) << "no tap, no change";
    EXPECT_TRUE(TakeSounds().empty());
    Tap(239, 319);
    RunScoreTable();
    EXPECT_EQ(ScreenState, Menu);
    EXPECT_EQ(TakeSounds(), Effects{SoundSelect});
}

// A damaged file can leave twelve name bytes without a zero; what follows them is not drawn.
TEST_F(ScoreTableTest, NameWithoutZeroByteDrawsOnlyItsOwnBytes) {
    Frame clear(32 * 32, ImageKey);  // an invisible border keeps the whole row in view
    for (uint16_t*& fruit : FruitImages) fruit = clear.data();
    std::memcpy(HighScoreTable[0].name, "ABCDEFGHIJKL", 12);
    HighScoreTable[1].score = 0x4D4D4D4D;  // reads as "MMMM" after the name
    RunScoreTable();
    ExpectFrame(ScoreTableFrame(0), "score-table-long-name");
}

class NameEntryTest : public GameTest {
protected:
    // A tap, and the name entry pass that takes it.
    static void Press(int x, int y) {
        Tap(x, y);
        RunEnterName();
    }
    // Presses the middle of the keys Q and W, of SPACE for '_' and of BACK for '<'; or types
    // them all in one pass, as characters of either case, space and Backspace.
    static void Type(const char* keys, bool typed) {
        if (typed) {  // the screen shows: the characters of its pump type
            WantCharacters();
            StartPumpInput();
        }
        for (const char* k = keys; *k; ++k) {
            bool button = *k == '_' || *k == '<';
            int x = *k == 'Q' ? 30 : *k == 'W' ? 50 : *k == '_' ? 40 : 110;
            if (typed) OnCharacter(*k == 'Q' ? 'q' : *k == '_' ? ' ' : *k == '<' ? '\b' : *k, 1, false);
            if (!typed) Press(x, button ? 290 : 190);
        }
        if (typed) RunEnterName();
    }
    // The name typed so far.
    static std::string Typed() { return reinterpret_cast<const char*>(NameBuffer); }
};

TEST_F(NameEntryTest, KeyboardEdges) {
    struct KeyTap { int x, y; const char* name; };  // the name after a tap on "A"; null: DONE
    const KeyTap taps[] = {
        {20, 190, "A"},   {21, 190, "AQ"},  {39, 190, "AQ"},   {40, 190, "AW"},  {219, 190, "AP"},
        {220, 190, "A"},  {21, 180, "A"},   {21, 181, "AQ"},   {21, 199, "AQ"},  {21, 200, "A"},
        {30, 220, "A"},   {31, 220, "AA"},  {209, 220, "AL"},  {210, 220, "A"},  {50, 250, "A"},
        {51, 250, "AZ"},  {189, 250, "AM"}, {190, 250, "A"},   {120, 270, "A"},  {10, 290, "A"},
        {11, 290, "A "},  {74, 290, "A "},  {75, 290, "A"},    {85, 290, "A"},   {86, 290, ""},
        {136, 290, ""},   {137, 290, "A"},  {11, 280, "A"},    {11, 300, "A"},   {170, 290, "A"},
        {171, 290, nullptr}, {221, 299, nullptr}, {222, 290, "A"}, {190, 280, "A"}, {190, 300, "A"},
    };
    for (const KeyTap& tap : taps) {
        SCOPED_TRACE(testing::Message() << "tap at " << tap.x << ", " << tap.y);
        std::memcpy(NameBuffer, "A\0\0\0\0\0\0\0\0\0\0", 12);
        NameLength = 1;
        ScreenState = EnterName;
        Press(tap.x, tap.y);
        EXPECT_EQ(ScreenState, tap.name ? EnterName : ScoreTable);
        std::string name = tap.name ? tap.name : "A";
        EXPECT_EQ(Typed(), name);
        EXPECT_EQ(NameLength, static_cast<int32_t>(name.size()));
        EXPECT_EQ(TakeSounds().size(), name == "A" ? 0u : 1u) << "a sound per key, none on DONE";
    }
}

TEST_F(NameEntryTest, AFullNameTakesNoMoreKeysAndBackStopsAtAnEmptyOneTappedOrTyped) {
    // The keys, the name they leave, and the select sounds heard.
    const std::tuple<const char*, const char*, size_t> typings[] = {
        {"QQQQQQQQQQW_", "QQQQQQQQQQ", 10}, {"QQQQQQQQQQW<", "QQQQQQQQQ", 11},
        {"QW<<<", "", 4},                   {"Q_W<", "Q ", 4}};
    ScreenState = EnterName;
    for (int typed = 0; typed < 2; ++typed) {
        for (auto [keys, name, sounds] : typings) {
            SCOPED_TRACE(testing::Message() << keys << (typed ? " typed" : " tapped"));
            std::memset(NameBuffer, 0, sizeof NameBuffer);
            NameLength = 0;
            Type(keys, typed);
            EXPECT_EQ(Typed(), name);
            EXPECT_EQ(NameLength, static_cast<int32_t>(std::strlen(name)));
            EXPECT_EQ(TakeSounds().size(), sounds);
            for (size_t i = std::strlen(name); i < sizeof NameBuffer; ++i) {
                EXPECT_EQ(NameBuffer[i], 0);
            }
        }
    }
}

// Desktop keys through the pump and the window procedure, a pump a row: a-z as letters
// pressed and let go, '_' Space, '<' Backspace, '>' Enter, '1' a digit; 'X' the X key (which
// is B) going down, '*' its repeat, '^' its release; 'B' a game controller's B button (the code
// of X, no scan code, so no character). The first pump follows the pass that ended the game,
// before the screen showed.
TEST_F(NameEntryTest, OnlyKeysPressedWhileItShowsTypeAndATypingKeyPressesNoGameButton) {
    ASSERT_TRUE(RegisterWindowClass(nullptr) && CreateMainWindow(nullptr, SW_SHOW));
    KeyMap = GXGetDefaultKeys(GX_NORMALKEYS);
    ScreenState = EnterName;
    struct Pump { const char* keys; const char* name; size_t sounds; bool bPressed; };
    const Pump pumps[] = {
        {"X**", "", 0, true},  // fire held through the end of the game: B latched, no name
        {"**^", "", 0, true},  // its repeats once the screen shows type nothing either
        {"rex", "REX", 3, false},  // the X key is B, yet typing it leaves no shot for play
        {"B", "REX", 0, true},     // the handheld's own B button stays latched, as ever
        {"<<1_z", "R Z", 4, false},
        {"X**^", "R ZXXX", 3, false},  // pressed here, its repeats type
        {">x", "R ZXXX", 0, false},    // after DONE a key typed in the same pump is no shot
    };
    for (const Pump& pump : pumps) {
        for (const char* k = pump.keys; *k; ++k) {
            int code = *k == '_' ? VK_SPACE : *k == '<' ? VK_BACK : *k == '>' ? VK_RETURN
                                                                            : std::toupper(*k);
            if (*k == 'B' || *k == '*' || *k == 'X' || *k == '^') code = 'X';
            LPARAM keyboard = 1 | LPARAM{code & 0xFF} << 16;  // a scan code, as the keyboard's
            if (*k == 'B') PostMessageW(MainWindow, WM_KEYDOWN, code, 1);
            if (*k == '*') PostMessageW(MainWindow, WM_KEYDOWN, code, keyboard | KeyWasDown);
            if (*k != 'B' && *k != '*' && *k != '^') HeadlessKeyDown(code);
            if (std::islower(*k) || !std::isalpha(*k)) HeadlessKeyUp(code);
        }
        PresentFrame(false);
        RunEnterName();
        EXPECT_EQ(Typed(), pump.name) << pump.keys;
        EXPECT_EQ(TakeSounds().size(), pump.sounds) << pump.keys;
        EXPECT_EQ(TakeKeyB(), pump.bPressed) << pump.keys;
    }
    EXPECT_EQ(ScreenState, ScoreTable);
    // Keys typed on another screen do not wait for the next name entry.
    HeadlessKeyDown('Q');
    PresentFrame(false);
    ScreenState = EnterName;
    PresentFrame(false);
    RunEnterName();
    EXPECT_EQ(Typed(), "R ZXXX");
    MainWindow = nullptr;
}

// A controller alone: its d-pad moves a cursor over the keys (round the rows' ends, to the
// nearest key of the next row), a face button presses the key under it; the keyboard's arrows
// and Enter leave the cursor alone (the keyboard types). Lower case: a controller's presses.
TEST_F(NameEntryTest, AControllersCursorPressesTheKeysTheKeyboardsArrowsDoNot) {
    ScreenState = EnterName;
    const std::tuple<const char*, const char*, int, int> steps[] = {
        // presses, the name after, the cursor's row and column
        {"rs", "W", 0, 1}, {"lds", "WA", 1, 0}, {"uus", "WA ", 3, 0}, {"rs", "WA", 3, 1},
        {"LRUDS", "WA", 3, 1}, {"dds", "WAG", 1, 4}, {"ddrs", "WAG", 3, 2}};
    for (auto [keys, name, row, column] : steps) {
        SCOPED_TRACE(keys);
        for (const char* k = keys; *k && ScreenState == EnterName; ++k) {
            PressKeys(*k);
            RunEnterName();
        }
        EXPECT_EQ(Typed(), name);
        EXPECT_EQ(std::tie(NameCursor.row, NameCursor.column), std::tie(row, column));
    }
    EXPECT_EQ(ScreenState, ScoreTable) << "DONE under the cursor";
    ScreenState = EnterName;
    RunEnterName();
    OpenDisplay();
    PresentBackBuffer();
    ASSERT_NE(FrameCursor(), nullptr);
    EXPECT_EQ(*FrameCursor(), (CursorOutline{168, 278, 223, 299})) << "the cursor around DONE";
    Press(5, 5);
    EXPECT_FALSE(NameCursor.shown) << "a tap hides it";
}

// A controller's Start is DONE wherever its cursor stands: the key under the cursor, which the
// game's start key Start also presses would select, is not pressed again.
TEST_F(NameEntryTest, AControllersStartIsDone) {
    ScreenState = EnterName;
    for (char k : {'d', 's', 'r', 's', 't'}) {
        PressKeys(k);
        RunEnterName();
    }
    EXPECT_EQ(Typed(), "AS");
    EXPECT_EQ(ScreenState, ScoreTable);
    EXPECT_EQ(LastConfirmed.name, std::string("AS"));
}

TEST_F(NameEntryTest, DoneInsertsBelowEqualScoresDropsTheLastAndSavesTheTable) {
    Type("WQW", false);  // kept for every later high score of the run
    HighScoreEntry before[HighScoreCount];
    std::memcpy(before, HighScoreTable, sizeof before);
    const std::pair<int32_t, const char*> entries[] = {
        {850, "850 WQW|800 N0|700 N1|600 N2|500 N3|400 N4|300 N5|200 N6"},
        {500, "800 N0|700 N1|600 N2|500 N3|500 WQW|400 N4|300 N5|200 N6"},
        {101, "800 N0|700 N1|600 N2|500 N3|400 N4|300 N5|200 N6|101 WQW"},
    };
    for (auto [score, table] : entries) {
        std::memcpy(HighScoreTable, before, sizeof before);
        KeepTable();
        PlayField.Score = score;
        ScreenState = EnterName;
        RunFlag = 5;
        TakeSounds();
        Press(190, 290);
        EXPECT_EQ(ScreenState, ScoreTable);
        EXPECT_EQ(RunFlag, 1);
        EXPECT_TRUE(TakeSounds().empty()) << "DONE makes no sound";
        EXPECT_EQ(Scores(HighScoreTable), table);
        EXPECT_EQ(SavedScores(), table);
    }
}

}  // namespace

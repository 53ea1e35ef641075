// The score table's rows and paced border; name entry's keyboard, insertion and save.
#include <fstream>
#include <iterator>

#include "tests/game/fixture.h"

namespace {

class ScoreTableTest : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        ScreenState = ScoreTable;
    }
};

TEST_F(ScoreTableTest, TheBorderStepsNoFasterThanEvery51MsAndAnyTapLeaves) {
    // The clock of each call and the border frame after it; a call draws the frame before.
    const int32_t calls[][2] = {{50, 0}, {51, 1}, {51, 1}, {101, 1}, {102, 2}, {1000, 3}};
    for (auto [clock, border] : calls) {
        int32_t drawn = BorderFrame;
        SetClock(clock);
        RunScoreTable();
        EXPECT_EQ(BorderFrame, border) << "at " << clock << " ms";
        ExpectFrame(ScoreTableFrame(drawn), "score-table");
    }
    BorderFrame = 7;
    SetClock(2000);
    RunScoreTable();
    ExpectFrame(ScoreTableFrame(7), "score-table");
    EXPECT_EQ(BorderFrame, 0);
    EXPECT_EQ(ScreenState, ScoreTable);
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

class NameEntryTest : public ScoreTableTest {
protected:
    static void Press(int x, int y) {
        Tap(x, y);
        RunEnterName();
    }
    // Presses the middle of each letter's key, of SPACE for '_' and of BACK for '<'.
    static void Type(const char* keys) {
        for (const char* key = keys; *key; ++key) {
            if (*key == '_' || *key == '<') {
                Press(*key == '_' ? 40 : 110, 290);
                continue;
            }
            int i = static_cast<int>(std::strchr(KeyboardLetters, *key) - KeyboardLetters);
            if (i < 10) Press(30 + 20 * i, 190);
            if (i >= 10 && i < 19) Press(40 + 20 * (i - 10), 220);
            if (i >= 19) Press(60 + 20 * (i - 19), 250);
        }
    }
    static std::string Typed() { return reinterpret_cast<const char*>(NameBuffer); }
};

TEST_F(NameEntryTest, KeyboardEdges) {
    struct KeyTap { int x, y; const char* name; };  // the name after a tap on "A"; null: DONE
    const KeyTap taps[] = {
        {20, 190, "A"},   {21, 190, "AQ"},  {39, 190, "AQ"},   {40, 190, "AW"},  {219, 190, "AP"},
        {220, 190, "A"},  {21, 180, "A"},   {21, 181, "AQ"},   {21, 199, "AQ"},  {21, 200, "A"},
        {30, 220, "A"},   {31, 220, "AA"},  {209, 220, "AL"},  {210, 220, "A"},  {50, 250, "A"},
        {51, 250, "AZ"},  {189, 250, "AM"}, {190, 250, "A"},   {120, 270, "A"},  {10, 290, "A"},
        {11, 290, "A "},  {74, 290, "A "},  {75, 290, "A"},    {80, 290, "A"},   {85, 290, "A"},
        {86, 290, ""},    {136, 290, ""},   {137, 290, "A"},   {11, 280, "A"},   {11, 300, "A"},
        {170, 290, "A"},  {171, 290, nullptr}, {221, 299, nullptr}, {222, 290, "A"},
        {190, 280, "A"},  {190, 300, "A"},
    };
    for (const KeyTap& tap : taps) {
        SCOPED_TRACE(testing::Message() << "tap at " << tap.x << ", " << tap.y);
        std::memset(NameBuffer, 0, sizeof NameBuffer);
        NameBuffer[0] = 'A';
        NameLength = 1;
        ScreenState = EnterName;
        Press(tap.x, tap.y);
        EXPECT_EQ(ScreenState, tap.name ? EnterName : ScoreTable);
        std::string name = tap.name ? tap.name : "A";
        EXPECT_EQ(Typed(), name);
        EXPECT_EQ(NameLength, static_cast<int32_t>(name.size()));
        EXPECT_EQ(TakeSounds().size(), name == "A" ? 0u : 1u) << "a select sound per key, none on DONE";
    }
}

TEST_F(NameEntryTest, AFullNameTakesNoMoreKeysAndBackStopsAtAnEmptyOne) {
    struct Typing { const char* keys; const char* name; size_t sounds; };
    const Typing typings[] = {
        {"KEYBOARDERZ_", "KEYBOARDER", 10},
        {"KEYBOARDERZ<", "KEYBOARDE", 11},
        {"AB<<<", "", 4},
        {"A_B<", "A ", 4},
    };
    for (const Typing& typing : typings) {
        std::memset(NameBuffer, 0, sizeof NameBuffer);
        NameLength = 0;
        Type(typing.keys);
        EXPECT_EQ(Typed(), typing.name) << typing.keys;
        EXPECT_EQ(NameLength, static_cast<int32_t>(std::strlen(typing.name))) << typing.keys;
        EXPECT_EQ(TakeSounds().size(), typing.sounds) << typing.keys;
        for (size_t i = std::strlen(typing.name); i < sizeof NameBuffer; ++i) {
            EXPECT_EQ(NameBuffer[i], 0) << typing.keys << " byte " << i;
        }
    }
}

TEST_F(NameEntryTest, DoneInsertsBelowEqualScoresDropsTheLastAndSavesTheTable) {
    Type("ROSE");  // kept for every later high score of the run
    HighScoreEntry before[HighScoreCount];
    std::memcpy(before, HighScoreTable, sizeof before);
    for (auto [score, slot] : {std::pair{850, 0}, std::pair{500, 4}, std::pair{101, 7}, std::pair{5000, 0}}) {
        std::memcpy(HighScoreTable, before, sizeof before);
        PlayField.Score = score;
        ScreenState = EnterName;
        RunFlag = 5;
        TakeSounds();
        Press(190, 290);
        EXPECT_EQ(ScreenState, ScoreTable);
        EXPECT_EQ(RunFlag, 1);
        EXPECT_TRUE(TakeSounds().empty());
        for (int i = 0; i < HighScoreCount; ++i) {
            const HighScoreEntry& was = before[i <= slot ? i : i - 1];
            const char* name = i == slot ? "ROSE" : reinterpret_cast<const char*>(was.name);
            EXPECT_EQ(HighScoreTable[i].score, i == slot ? score : was.score) << score << " slot " << i;
            EXPECT_STREQ(reinterpret_cast<const char*>(HighScoreTable[i].name), name) << score << " slot " << i;
        }
        std::ifstream file(folder + "highscores.dat", std::ios::binary);
        std::vector<char> saved(std::istreambuf_iterator<char>(file), {});
        ASSERT_EQ(saved.size(), sizeof HighScoreTable);
        EXPECT_EQ(std::memcmp(saved.data(), HighScoreTable, sizeof HighScoreTable), 0);
    }
}

}  // namespace

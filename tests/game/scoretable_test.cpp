// The score table's rows and paced border; name entry's keyboard, insertion and save.
#include "tests/game/fixture.h"

namespace {

using ScoreTableTest = GameTest;

TEST_F(ScoreTableTest, TheBorderStepsNoFasterThanEvery51MsAndAnyTapLeaves) {
    // The clock, and the border frame before and after the call; a call draws the one before.
    const int32_t calls[][3] = {{50, 0, 0}, {51, 0, 1}, {51, 1, 1}, {101, 1, 1}, {102, 1, 2}, {999, 7, 0}};
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
    static void Press(int x, int y) {
        Tap(x, y);
        RunEnterName();
    }
    // Presses the middle of each letter's key, of SPACE for '_' and of BACK for '<'.
    static void Type(const char* keys) {
        const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
        const int lefts[] = {20, 30, 50};
        for (const char* key = keys; *key; ++key) {
            if (*key == '_' || *key == '<') Press(*key == '_' ? 40 : 110, 290);
            for (int row = 0; row < 3; ++row) {
                const char* at = std::strchr(rows[row], *key);
                if (at) Press(lefts[row] + 10 + 20 * static_cast<int>(at - rows[row]), 190 + 30 * row);
            }
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

TEST_F(NameEntryTest, AFullNameTakesNoMoreKeysAndBackStopsAtAnEmptyOne) {
    // The keys, the name they leave, and the select sounds heard.
    const std::tuple<const char*, const char*, size_t> typings[] = {
        {"KEYBOARDERZ_", "KEYBOARDER", 10}, {"KEYBOARDERZ<", "KEYBOARDE", 11},
        {"AB<<<", "", 4},                   {"A_B<", "A ", 4}};
    for (auto [keys, name, sounds] : typings) {
        std::memset(NameBuffer, 0, sizeof NameBuffer);
        NameLength = 0;
        Type(keys);
        EXPECT_EQ(Typed(), name) << keys;
        EXPECT_EQ(NameLength, static_cast<int32_t>(std::strlen(name))) << keys;
        EXPECT_EQ(TakeSounds().size(), sounds) << keys;
        for (size_t i = std::strlen(name); i < sizeof NameBuffer; ++i) EXPECT_EQ(NameBuffer[i], 0);
    }
}

TEST_F(NameEntryTest, DoneInsertsBelowEqualScoresDropsTheLastAndSavesTheTable) {
    Type("ROSE");  // kept for every later high score of the run
    HighScoreEntry before[HighScoreCount];
    std::memcpy(before, HighScoreTable, sizeof before);
    const std::pair<int32_t, const char*> entries[] = {
        {850, "850 ROSE|800 N0|700 N1|600 N2|500 N3|400 N4|300 N5|200 N6"},
        {500, "800 N0|700 N1|600 N2|500 N3|500 ROSE|400 N4|300 N5|200 N6"},
        {101, "800 N0|700 N1|600 N2|500 N3|400 N4|300 N5|200 N6|101 ROSE"},
    };
    for (auto [score, table] : entries) {
        std::memcpy(HighScoreTable, before, sizeof before);
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

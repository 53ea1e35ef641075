// The score table's rows and paced border; name entry's keyboard, insertion and save.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "audio/audio.h"
#include "game/play/play.h"
#include "tests/game/screen_fixture.h"

namespace {

void SetEntry(int slot, int32_t score, const char* name) {
    HighScoreTable[slot].score = score;
    std::memset(HighScoreTable[slot].name, 0, sizeof HighScoreTable[slot].name);
    std::memcpy(HighScoreTable[slot].name, name, std::strlen(name));
}

const char* NameOf(int slot) { return reinterpret_cast<const char*>(HighScoreTable[slot].name); }

class ScoreTableTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        for (int i = 0; i < HighScoreCount; ++i) SetEntry(i, 800 - 100 * i, "FERN");
        SpeedUnit = 1000;
        BorderFrame = 0;
        LastFrame = 0;
        ScreenState = ScoreTable;
    }
    uint16_t FruitColour(int n) const { return fruit[n % 8][0]; }
};

TEST_F(ScoreTableTest, BorderShowsEveryFruitThreeStepsApart) {
    for (int frame = 0; frame < 8; ++frame) {
        BorderFrame = frame;
        LastFrame = 1000;
        SetGameClock(1000);  // no step in this call
        RunScoreTable();
        EXPECT_EQ(Pixel(0, 5), high[5 * ScreenWidth]) << "keyed images skip column 0";
        EXPECT_EQ(Pixel(5, 5), FruitColour(frame));
        EXPECT_EQ(Pixel(30, 5), FruitColour(3 + frame)) << "neighbours overlap, the later on top";
        EXPECT_EQ(Pixel(215, 5), FruitColour(21 + frame));
        EXPECT_EQ(Pixel(239, 5), FruitColour(21 + frame));
        EXPECT_EQ(Pixel(5, 300), FruitColour(frame));
        EXPECT_EQ(Pixel(5, 40), FruitColour(frame));
        EXPECT_EQ(Pixel(5, 72), FruitColour(3 + frame));
        EXPECT_EQ(Pixel(215, 270), FruitColour(21 + frame));
        EXPECT_EQ(Pixel(120, 40), high[40 * ScreenWidth + 120]) << "the middle keeps the picture";
    }
}

TEST_F(ScoreTableTest, BorderStepsNoFasterThanEvery51Ms) {
    SetGameClock(50);
    RunScoreTable();
    EXPECT_EQ(BorderFrame, 0);
    EXPECT_EQ(Now, 50);
    SetGameClock(51);
    RunScoreTable();
    EXPECT_EQ(BorderFrame, 1);
    EXPECT_EQ(LastFrame, 51);
    EXPECT_EQ(Pixel(5, 5), FruitColour(0)) << "the stepping call still drew the old frame";
    RunScoreTable();
    EXPECT_EQ(BorderFrame, 1) << "at most one step a call";
    SetGameClock(101);
    RunScoreTable();
    EXPECT_EQ(BorderFrame, 1);
    SetGameClock(102);
    RunScoreTable();
    EXPECT_EQ(BorderFrame, 2);
    BorderFrame = 7;
    SetGameClock(1000);
    RunScoreTable();
    EXPECT_EQ(BorderFrame, 0);
}

TEST_F(ScoreTableTest, AnyTapReturnsToTheMenu) {
    RunScoreTable();
    EXPECT_EQ(ScreenState, ScoreTable);
    EXPECT_TRUE(TakeSoundLog().empty());
    Tap(239, 319);
    RunScoreTable();
    EXPECT_EQ(ScreenState, Menu);
    std::vector<SoundCall> sounds = TakeSoundLog();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0].effect, SoundSelect);
    EXPECT_EQ(sounds[0].screen, Menu);
}

// A damaged file can leave twelve name bytes without a zero; what follows them is not drawn.
TEST_F(ScoreTableTest, NameWithoutZeroByteDrawsOnlyItsOwnBytes) {
    std::vector<uint16_t> clear(32 * 32, ImageKey);  // an invisible border keeps the rows in view
    for (int i = 0; i < 8; ++i) FruitImages[i] = clear.data();
    std::memcpy(HighScoreTable[0].name, "ABCDEFGHIJKL", 12);
    auto drawRow = [](int32_t followingScore) {
        HighScoreTable[1].score = followingScore;
        RunScoreTable();
        return std::vector<uint16_t>(BackBuffer + 50 * ScreenWidth, BackBuffer + 70 * ScreenWidth);
    };
    std::vector<uint16_t> beside = drawRow(0x4D4D4D4D);  // reads as "MMMM" after the name
    std::vector<uint16_t> without = drawRow(0);
    EXPECT_EQ(beside, without);
    bool nameDrawn = false;
    for (int r = 0; r < 20; ++r) {
        for (int c = 90; c < 210; ++c)
            nameDrawn |= beside[r * ScreenWidth + c] != high[(50 + r) * ScreenWidth + c];
        for (int c = 212; c < ScreenWidth; ++c) {
            EXPECT_EQ(beside[r * ScreenWidth + c], high[(50 + r) * ScreenWidth + c])
                << "row " << 50 + r << " column " << c;
        }
    }
    EXPECT_TRUE(nameDrawn);
}

class NameEntryTest : public ScoreTableTest {
protected:
    void SetUp() override {
        ScoreTableTest::SetUp();
        std::memset(NameBuffer, 0, sizeof NameBuffer);
        NameLength = 0;
        PlayField.Score = 0;
        ScreenState = EnterName;
    }
    static void Press(int x, int y) {
        Tap(x, y);
        RunEnterName();
    }
    static std::string Typed() { return reinterpret_cast<const char*>(NameBuffer); }
    // The letter key's middle, by its place on the keyboard.
    static void PressLetter(char letter) {
        int index = static_cast<int>(std::strchr(KeyboardLetters, letter) - KeyboardLetters);
        if (index < 10)
            Press(30 + 20 * index, 190);
        else if (index < 19)
            Press(40 + 20 * (index - 10), 220);
        else
            Press(60 + 20 * (index - 19), 250);
    }
    std::vector<uint8_t> SavedFile() const {
        std::ifstream file(folder + "highscores.dat", std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
    }
};

TEST_F(NameEntryTest, KeyboardEdges) {
    struct KeyTap {
        int x, y;
        const char* typed;
    };
    const KeyTap taps[] = {
        {20, 190, ""},  {21, 190, "Q"},  {39, 190, "Q"},  {40, 190, "W"}, {219, 190, "P"},
        {220, 190, ""}, {21, 180, ""},   {21, 181, "Q"},  {21, 199, "Q"}, {21, 200, ""},
        {30, 220, ""},  {31, 220, "A"},  {209, 220, "L"}, {210, 220, ""}, {50, 250, ""},
        {51, 250, "Z"}, {189, 250, "M"}, {190, 250, ""},  {10, 290, ""},  {11, 290, " "},
        {74, 290, " "}, {75, 290, ""},   {80, 290, ""},   {85, 290, ""},  {11, 280, ""},
        {11, 300, ""},  {120, 270, ""},
    };
    for (const KeyTap& tap : taps) {
        SCOPED_TRACE(testing::Message() << "tap at " << tap.x << ", " << tap.y);
        std::memset(NameBuffer, 0, sizeof NameBuffer);
        NameLength = 0;
        Press(tap.x, tap.y);
        EXPECT_EQ(Typed(), tap.typed);
        EXPECT_EQ(NameLength, static_cast<int32_t>(std::strlen(tap.typed)));
        EXPECT_EQ(ScreenState, EnterName);
        EXPECT_EQ(TakeSoundLog().size(), std::strlen(tap.typed)) << "a select sound per key";
    }
}

TEST_F(NameEntryTest, TheEleventhCharacterIsIgnored) {
    for (char letter : std::string("KEYBOARDER")) PressLetter(letter);
    EXPECT_EQ(Typed(), "KEYBOARDER");
    TakeSoundLog();
    PressLetter('Z');
    Press(20, 290);  // SPACE
    EXPECT_EQ(Typed(), "KEYBOARDER");
    EXPECT_EQ(NameLength, 10);
    EXPECT_EQ(NameBuffer[10], 0);
    EXPECT_TRUE(TakeSoundLog().empty()) << "a key of a full name makes no sound";
    Press(100, 290);  // BACK still works on a full name
    EXPECT_EQ(Typed(), "KEYBOARDE");
    EXPECT_EQ(NameLength, 9);
}

TEST_F(NameEntryTest, BackErasesAndStopsAtAnEmptyName) {
    PressLetter('A');
    PressLetter('B');
    Press(86, 290);
    EXPECT_EQ(Typed(), "A");
    Press(136, 290);
    EXPECT_EQ(Typed(), "");
    EXPECT_EQ(NameLength, 0);
    EXPECT_EQ(TakeSoundLog().size(), 4u);
    Press(100, 290);
    EXPECT_EQ(NameLength, 0);
    EXPECT_TRUE(TakeSoundLog().empty());
    for (uint8_t byte : NameBuffer) EXPECT_EQ(byte, 0);
    PressLetter('C');
    Press(137, 290);  // just past BACK
    EXPECT_EQ(Typed(), "C");
}

TEST_F(NameEntryTest, DoneEdgesAndWhatItDoes) {
    PlayField.Score = 850;
    const int misses[][2] = {{170, 290}, {222, 290}, {190, 280}, {190, 300}};
    for (const auto& miss : misses) {
        Press(miss[0], miss[1]);
        EXPECT_EQ(ScreenState, EnterName) << miss[0] << ", " << miss[1];
    }
    RunFlag = 5;
    TakeSoundLog();
    Press(221, 299);
    EXPECT_TRUE(TakeSoundLog().empty()) << "confirming makes no sound";
    EXPECT_EQ(ScreenState, ScoreTable);
    EXPECT_EQ(RunFlag, 1);
    EXPECT_EQ(HighScoreTable[0].score, 850);
    EXPECT_STREQ(NameOf(0), "") << "an empty name is stored as it is";
}

TEST_F(NameEntryTest, AnEqualScoreGoesBelowAndTheFileIsWritten) {
    PlayField.Score = 500;  // equal to slot 3
    SetEntry(7, 100, "LAST");
    for (char letter : std::string("IVY")) PressLetter(letter);
    Press(190, 290);
    const int32_t scores[] = {800, 700, 600, 500, 500, 400, 300, 200};
    for (int i = 0; i < HighScoreCount; ++i)
        EXPECT_EQ(HighScoreTable[i].score, scores[i]) << "slot " << i;
    EXPECT_STREQ(NameOf(3), "FERN");
    EXPECT_STREQ(NameOf(4), "IVY");
    EXPECT_STREQ(NameOf(5), "FERN");
    for (int i = 0; i < HighScoreCount; ++i) EXPECT_STRNE(NameOf(i), "LAST");
    std::vector<uint8_t> saved = SavedFile();
    ASSERT_EQ(saved.size(), sizeof HighScoreTable);
    EXPECT_EQ(std::memcmp(saved.data(), HighScoreTable, sizeof HighScoreTable), 0);
}

TEST_F(NameEntryTest, TheBestScorePushesOutSlotSeven) {
    SetEntry(6, 200, "SIXTH");
    SetEntry(7, 100, "SEVENTH");
    PlayField.Score = 5000;
    PressLetter('Q');
    Press(190, 290);
    EXPECT_EQ(HighScoreTable[0].score, 5000);
    EXPECT_STREQ(NameOf(0), "Q");
    EXPECT_EQ(HighScoreTable[1].score, 800);
    EXPECT_EQ(HighScoreTable[7].score, 200);
    EXPECT_STREQ(NameOf(7), "SIXTH");
}

TEST_F(NameEntryTest, TheTypedNameIsKeptForTheNextHighScore) {
    PlayField.Score = 650;
    for (char letter : std::string("ROSE")) PressLetter(letter);
    Press(190, 290);
    EXPECT_STREQ(NameOf(2), "ROSE");
    // A later game of the same run earns a place again.
    ScreenState = EnterName;
    PlayField.Score = 900;
    RunEnterName();
    EXPECT_EQ(Typed(), "ROSE");
    EXPECT_EQ(NameLength, 4);
    PressLetter('S');
    Press(190, 290);
    EXPECT_STREQ(NameOf(0), "ROSES");
    EXPECT_STREQ(NameOf(3), "ROSE");
}

}  // namespace

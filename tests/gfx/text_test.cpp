// Text where no golden game's frames go: the glyph map's doubled 0 and the characters without a
// glyph.
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

constexpr uint16_t Background = 0x1234;

// Sheet pixels that say where they came from: never black, never the key.
uint16_t SheetCode(int x, int y) { return static_cast<uint16_t>((y + 1) << 8 | x); }

// The sheet starts all key (there is no archive).
class Text : public testing::Test {
protected:
    void SetUp() override {
        StderrOf(LoadFonts);
        screen.assign(ScreenWidth * ScreenHeight, Background);
    }
    void CodeTheSheet() {
        for (int i = 0; i < FontSheetWidth * FontSheetHeight; ++i) {
            FontSheet[i] = SheetCode(i % FontSheetWidth, i / FontSheetWidth);
        }
    }
    uint16_t& At(int x, int y) { return screen[y * ScreenWidth + x]; }
    int Changed() const {
        return int(screen.size() - std::count(screen.begin(), screen.end(), Background));
    }
    std::vector<uint16_t> screen;
};

// Each glyph is every second row of its 16 x 40 cell, and its shadow; the digit 0 stands twice in
// the order and its later cell, 36, wins.
TEST_F(Text, EachCharacterDrawsItsCellAndTheDigit0ItsLaterOne) {
    CodeTheSheet();
    const struct {
        char character;
        int cell;  // -1: no glyph
    } glyphs[] = {{'A', 0}, {'0', 36}, {'*', 43}, {'a', -1}, {'-', -1}, {'\x80', -1}};
    for (const auto& glyph : glyphs) {
        SCOPED_TRACE(glyph.character);
        screen.assign(screen.size(), Background);
        DrawText(std::string(1, glyph.character).c_str(), 0, 0, screen.data());
        if (glyph.cell < 0) {
            EXPECT_EQ(Changed(), 0);
            continue;
        }
        int left = glyph.cell % 16 * 16, top = glyph.cell / 16 * 40;
        for (int i = 0; i < 20; ++i) {
            for (int j = 0; j < 16; ++j) ASSERT_EQ(At(j, i), SheetCode(left + j, top + 2 * i));
        }
        EXPECT_EQ(Changed(), 16 * 20 + 20 + 15);
    }
}

}  // namespace

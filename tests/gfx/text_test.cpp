// Text: the glyph map, the large font's sampling, scaling and shadow, the small font.
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

constexpr uint16_t Background = 0x1234;

// Sheet pixels that say where they came from: never black, never the key.
uint16_t SheetCode(int x, int y) { return static_cast<uint16_t>((y + 1) << 8 | x); }

// The sheet starts all key (there is no archive) and the small font has one glyph.
class Text : public testing::Test {
protected:
    void SetUp() override {
        StderrOf(LoadFonts);
        SmallFont['A' * 16] = 0x81;
        SmallFont['A' * 16 + 1] = 0x3C;
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

// Each glyph is every second row of its 16 x 40 cell, with a black shadow one down and one
// right; the digit 0 stands twice in the order and its later cell, 36, wins.
TEST_F(Text, GlyphsSampleTheirCellAndCastAShadow) {
    CodeTheSheet();
    const struct {
        char character;
        int cell;  // -1: no glyph
    } glyphs[] = {{'A', 0},  {'Z', 25}, {'1', 27}, {'9', 35}, {'0', 36}, {'.', 37},
                  {'*', 43}, {' ', 44}, {'a', -1}, {'-', -1}, {'\x80', -1}};
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
        for (int k = 1; k <= 20; ++k) EXPECT_EQ(At(16, k), ColourBlack) << "row " << k;
        for (int k = 1; k <= 16; ++k) EXPECT_EQ(At(k, 20), ColourBlack) << "column " << k;
        EXPECT_EQ(Changed(), 16 * 20 + 20 + 15);
    }
}

TEST_F(Text, ScaledGlyphsSampleTheCellIntoTheirBox) {
    CodeTheSheet();
    // Holes in the sheet, so the shadows overlap the way they do with real glyphs.
    for (int i = 0; i < FontSheetWidth * FontSheetHeight; i += 7) FontSheet[i] = FontKey;
    std::vector<uint16_t> natural(screen);
    DrawText("AZ09 .!q", 5, 7, natural.data());
    DrawTextScaled("AZ09 .!q", 16, 20, 5, 7, screen.data());
    EXPECT_EQ(screen, natural);

    CodeTheSheet();
    screen.assign(screen.size(), Background);
    DrawGlyphScaled('C', 0, 20, 0, 0, screen.data());
    DrawGlyphScaled('C', 16, -3, 0, 0, screen.data());
    EXPECT_EQ(Changed(), 0);
    DrawGlyphScaled('C', 32, 40, 0, 0, screen.data());
    for (int i = 0; i < 40; ++i) {
        for (int j = 0; j < 32; ++j) ASSERT_EQ(At(j, i), SheetCode(32 + j / 2, i));
    }
    EXPECT_EQ(Changed(), 32 * 40 + 40 + 31);
}

// Small glyphs write only their set bits, so text drawn twice a pixel apart turns bold.
TEST_F(Text, SmallTextDrawnTwiceTurnsBold) {
    DrawSmallText("A", 10, 5, ColourWhite, screen.data());
    DrawSmallText("A", 11, 5, ColourWhite, screen.data());
    std::string rows;
    for (int y = 5; y < 7; ++y) {
        for (int x = 9; x < 20; ++x) rows += At(x, y) == ColourWhite ? '#' : '.';
    }
    EXPECT_EQ(rows, ".##.....##." "...#####...");
    EXPECT_EQ(Changed(), 9);
}

}  // namespace

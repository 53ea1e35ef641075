// Text: loading both fonts, the glyph map, the large font's sampling and shadow, the small font.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "gfx/gfx.h"
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

constexpr uint16_t Background = 0x1234;
constexpr uint16_t White = 0xFFFF;

// Sheet pixels that say where they came from: never black, never the key.
uint16_t SheetCode(int x, int y) { return static_cast<uint16_t>((y + 1) << 8 | x); }

// Cell k's top-left corner in the sheet.
int CellX(int cell) { return cell % 16 * 16; }
int CellY(int cell) { return cell / 16 * 40; }

Bytes AntiqueFont() {
    Bytes font(4096, 0);
    font['A' * 16 + 0] = 0x81;
    font['A' * 16 + 1] = 0x3C;
    font[255 * 16 + 15] = 0x01;
    return font;
}

// A font sheet whose top-left pixel is white and bottom-right one blue, red elsewhere.
Bytes FontSheetTga() {
    Bytes stored(256 * 120, 0);
    stored[119 * 256 + 0] = 1;  // stored rows run bottom first
    stored[0 * 256 + 255] = 2;
    return ColourMappedTga({0xFF0000, 0xFFFFFF, 0x0000FF}, stored);
}

class Text : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        ArchiveFiles files;
        files.Add("font.tga", FontSheetTga());
        files.Add("antique.fnt", AntiqueFont());
        Load(files);
        screen.assign(ScreenWidth * ScreenHeight, Background);
    }
    void TearDown() override {
        ReleaseFonts();
        ArchiveTest::TearDown();
    }
    void Load(const ArchiveFiles& files) {
        OpenFiles(files);
        LoadFonts();
        CloseArchive();
    }
    void CodeTheSheet() {
        for (int y = 0; y < FontSheetHeight; ++y) {
            for (int x = 0; x < FontSheetWidth; ++x) {
                FontSheet[y * FontSheetWidth + x] = SheetCode(x, y);
            }
        }
    }
    uint16_t& At(int x, int y) { return screen[y * ScreenWidth + x]; }
    int Changed() const {
        int n = 0;
        for (uint16_t p : screen) n += p != Background;
        return n;
    }
    std::vector<uint16_t> screen;
};

TEST_F(Text, LoadFontsDecodesTheSheetTopRowFirstAndReadsTheSmallFont) {
    EXPECT_EQ(FontSheet[0], White);
    EXPECT_EQ(FontSheet[119 * 256 + 255], 0x001F);
    EXPECT_EQ(FontSheet[1], FontKey);
    EXPECT_EQ(FontSheet[119 * 256], FontKey);
    EXPECT_EQ(Bytes(SmallFont, SmallFont + SmallFontBytes), AntiqueFont());
}

TEST_F(Text, GlyphMapFollowsTheOrderStringWithTheLaterZeroWinning) {
    const std::string punctuation = ".,'!()*";
    for (int code = 0; code < 256; ++code) {
        int expected = 0;
        if (code >= 'A' && code <= 'Z') expected = code - 'A' + 1;
        if (code >= '1' && code <= '9') expected = code - '1' + 28;
        if (code == '0') expected = 37;
        if (code != 0 && punctuation.find(static_cast<char>(code)) != std::string::npos) {
            expected = 38 + static_cast<int>(punctuation.find(static_cast<char>(code)));
        }
        if (code == ' ') expected = 45;
        EXPECT_EQ(GlyphMap[code], expected) << "code " << code;
    }
}

TEST_F(Text, DrawTextTakesEverySecondCellRowAndCastsAShadow) {
    CodeTheSheet();
    DrawText("AB", 0, 0, screen.data());
    for (int i = 0; i < 20; ++i) {
        for (int j = 0; j < 16; ++j) {
            ASSERT_EQ(At(j, i), SheetCode(CellX(0) + j, CellY(0) + 2 * i)) << j << "," << i;
            ASSERT_EQ(At(16 + j, i), SheetCode(CellX(1) + j, CellY(1) + 2 * i)) << j << "," << i;
        }
    }
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(At(32, i), ColourBlack) << "row " << i;
    for (int j = 1; j <= 32; ++j) EXPECT_EQ(At(j, 20), ColourBlack) << "column " << j;
    EXPECT_EQ(At(0, 20), Background);
    EXPECT_EQ(At(32, 0), Background);
    EXPECT_EQ(Changed(), 32 * 20 + 20 + 31);  // (32, 20) is in both shadows
}

TEST_F(Text, TheDigitZeroDrawsCell36) {
    CodeTheSheet();
    DrawGlyph('0', 100, 100, screen.data());
    for (int i = 0; i < 20; ++i) {
        for (int j = 0; j < 16; ++j) {
            ASSERT_EQ(At(100 + j, 100 + i), SheetCode(CellX(36) + j, CellY(36) + 2 * i));
        }
    }
}

TEST_F(Text, OnlyRedIsTransparentAndEveryDrawnPixelCastsAShadow) {
    for (int i = 0; i < FontSheetWidth * FontSheetHeight; ++i) FontSheet[i] = FontKey;
    // The space (cell 44): the image key at cell row 4, black at cell row 6.
    FontSheet[(CellY(44) + 4) * FontSheetWidth + CellX(44) + 3] = ImageKey;
    FontSheet[(CellY(44) + 6) * FontSheetWidth + CellX(44) + 5] = ColourBlack;
    DrawText(" ", 50, 50, screen.data());
    EXPECT_EQ(At(53, 52), ImageKey);
    EXPECT_EQ(At(54, 53), ColourBlack);
    EXPECT_EQ(At(55, 53), ColourBlack);
    EXPECT_EQ(At(56, 54), ColourBlack);
    EXPECT_EQ(Changed(), 4);
}

TEST_F(Text, CharactersWithoutGlyphsDrawNothingButStillAdvance) {
    CodeTheSheet();
    std::vector<uint16_t> expected(screen);
    DrawGlyph('B', 48, 0, expected.data());
    DrawGlyphScaled('B', 10, 16, 30, 100, expected.data());
    DrawSmallGlyph('A', 24, 200, White, expected.data());
    DrawText("a-:B", 0, 0, screen.data());
    DrawTextScaled("x\x80\xff" "B", 10, 16, 0, 100, screen.data());
    DrawSmallText("\x01" "bcA", 0, 200, White, screen.data());
    EXPECT_EQ(screen, expected);
}

TEST_F(Text, AScaledBoxOfNaturalSizeDrawsExactlyLikeDrawText) {
    CodeTheSheet();
    // Holes in the sheet, so the shadows overlap the way they do with real glyphs.
    for (int i = 0; i < FontSheetWidth * FontSheetHeight; i += 7) FontSheet[i] = FontKey;
    std::vector<uint16_t> natural(screen);
    DrawText("AZ09 .!q", 5, 7, natural.data());
    DrawTextScaled("AZ09 .!q", 16, 20, 5, 7, screen.data());
    EXPECT_EQ(screen, natural);
}

TEST_F(Text, ADoubleBoxDoublesColumnsAndUsesEveryCellRowAndAnEmptyBoxDrawsNothing) {
    CodeTheSheet();
    DrawGlyphScaled('C', 0, 20, 0, 0, screen.data());
    DrawGlyphScaled('C', 16, -3, 0, 0, screen.data());
    EXPECT_EQ(Changed(), 0);
    DrawGlyphScaled('C', 32, 40, 0, 0, screen.data());
    for (int i = 0; i < 40; ++i) {
        for (int j = 0; j < 32; ++j) {
            ASSERT_EQ(At(j, i), SheetCode(CellX(2) + j / 2, CellY(2) + i)) << j << "," << i;
        }
    }
    for (int i = 1; i <= 40; ++i) EXPECT_EQ(At(32, i), ColourBlack);
    for (int j = 1; j <= 32; ++j) EXPECT_EQ(At(j, 40), ColourBlack);
    EXPECT_EQ(Changed(), 32 * 40 + 40 + 31);
}

TEST_F(Text, SmallGlyphsWriteOnlyTheirSetBitsSoOverdrawnTextTurnsBold) {
    DrawSmallGlyph('A', 10, 20, White, screen.data());
    EXPECT_EQ(At(10, 20), White);
    EXPECT_EQ(At(17, 20), White);
    for (int k = 12; k <= 15; ++k) EXPECT_EQ(At(k, 21), White);
    EXPECT_EQ(Changed(), 6);

    std::vector<uint16_t> strip(ScreenWidth * 80, ColourBlack);
    DrawSmallText("A", 10, 5, White, strip.data());
    DrawSmallText("A", 11, 5, White, strip.data());
    auto lit = [&](int x, int y) { return strip[y * ScreenWidth + x] == White; };
    EXPECT_TRUE(lit(10, 5) && lit(11, 5) && lit(17, 5) && lit(18, 5));
    EXPECT_FALSE(lit(12, 5) || lit(16, 5) || lit(19, 5));
    for (int k = 12; k <= 16; ++k) EXPECT_TRUE(lit(k, 6)) << k;
    EXPECT_FALSE(lit(11, 6) || lit(17, 6));

    // Character 255, the last glyph of the table: its last row's rightmost pixel.
    DrawSmallGlyph(255, 0, 40, White, strip.data());
    EXPECT_TRUE(lit(7, 55));
    EXPECT_FALSE(lit(6, 55));
}

TEST_F(Text, WithoutItsEntriesTextIsMissingAndTheSmallFontBlank) {
    ReleaseFonts();
    ArchiveFiles files;
    files.Add("other", Bytes(10, 1));
    testing::internal::CaptureStderr();
    Load(files);
    auto lines = StderrLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"font.tga\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("\"antique.fnt\""), std::string::npos) << lines[1];
    EXPECT_EQ(Bytes(SmallFont, SmallFont + SmallFontBytes), Bytes(SmallFontBytes, 0));
    DrawText("HELLO 0", 0, 0, screen.data());
    DrawSmallText("AAAA", 0, 40, White, screen.data());
    EXPECT_EQ(Changed(), 0);
    EXPECT_EQ(GlyphMap[static_cast<uint8_t>('H')], 8);
}

}  // namespace

// Text: the large font (glyph sheet, shadow, natural size and scaled) and the small font.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/assets.h"
#include "gfx/gfx.h"
#include "handheld/vectors.h"

// Character at position k has cell k; the digit 0 stands twice, and its later place wins.
const char GlyphOrder[46] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234567890.,'!()* ";
uint16_t* FontSheet;
// Per character code: 0 for no glyph, else the cell number plus one.
uint8_t GlyphMap[256];
uint8_t SmallFont[SmallFontBytes];

namespace {

constexpr int CellWidth = 16;
constexpr int CellHeight = 40;
constexpr int CellsPerRow = FontSheetWidth / CellWidth;
constexpr int GlyphWidth = 16;
constexpr int GlyphHeight = 20;
constexpr int SheetPixels = FontSheetWidth * FontSheetHeight;
constexpr int SmallGlyphBytes = 16;

void BuildGlyphMap() {
    std::memset(GlyphMap, 0, sizeof GlyphMap);
    for (int k = 0; GlyphOrder[k]; ++k) {
        GlyphMap[static_cast<uint8_t>(GlyphOrder[k])] = static_cast<uint8_t>(k + 1);
    }
}

}  // namespace

// Asset loading, right after the archive opens: the sheet, the glyph map, the small font.
void LoadFonts() {
    std::free(FontSheet);
    FontSheet = static_cast<uint16_t*>(std::malloc(SheetPixels * sizeof(uint16_t)));
    if (FontSheet) {
        // A sheet the archive can't fill stays all key colour: text is missing, not boxes.
        for (int i = 0; i < SheetPixels; ++i) FontSheet[i] = FontKey;
        LoadTgaImage("font.tga", FontSheetWidth, FontSheetHeight, FontSheet, 1);
    } else {
        std::fprintf(stderr, "marrowdale: out of memory for the font sheet; text is missing\n");
    }
    BuildGlyphMap();
    std::memset(SmallFont, 0, sizeof SmallFont);
    HANDLE entry = FindArchiveEntry("antique.fnt");
    if (entry != INVALID_HANDLE_VALUE) {
        ReadArchiveEntry(entry, SmallFont, SmallFontBytes, "antique.fnt");
    }
}

// Asset release: frees the sheet; the two tables are fixed and stay.
void ReleaseFonts() {
    std::free(FontSheet);
    FontSheet = nullptr;
}

// Screens: one large glyph at 16 x 20, every second row of its cell.
void DrawGlyph(uint8_t character, int32_t x, int32_t y, uint16_t* destination) {
    DrawGlyphScaled(character, GlyphWidth, GlyphHeight, x, y, destination);
}

// Screens: a string of large glyphs, 16 pixels apart.
void DrawText(const char* text, int32_t x, int32_t y, uint16_t* destination) {
    for (int32_t i = 0; text[i]; ++i) {
        DrawGlyph(static_cast<uint8_t>(text[i]), x + GlyphWidth * i, y, destination);
    }
}

namespace {

// One row of a glyph, its samples in line: every drawn pixel, and its black shadow one down and
// one right. The shadows land on the next row, where no pixel of this row goes, so the two can be
// laid in separate runs the compiler copies many pixels at a time.
WIDE_VECTORS void DrawGlyphRow(const uint16_t* __restrict line, int32_t width,
                               uint16_t* __restrict out, uint16_t* __restrict shadow) {
    for (int32_t j = 0; j < width; ++j) shadow[j] = line[j] == FontKey ? shadow[j] : ColourBlack;
    for (int32_t j = 0; j < width; ++j) out[j] = line[j] == FontKey ? out[j] : line[j];
}

}  // namespace

// Screens: one large glyph with its cell sampled into a width x height box (column j of the box
// shows column j * 16 / width of the cell). Each drawn pixel first casts its black shadow one
// down and one right, which later rows may cover. No box is wider than the screen.
void DrawGlyphScaled(uint8_t character, int32_t width, int32_t height, int32_t x, int32_t y,
                     uint16_t* destination) {
    int32_t entry = GlyphMap[character];
    if (entry == 0 || !FontSheet || width > ScreenWidth) return;
    int32_t cell = entry - 1;
    const uint16_t* corner = FontSheet + (cell / CellsPerRow) * CellHeight * FontSheetWidth +
                             (cell % CellsPerRow) * CellWidth;
    int32_t columns[ScreenWidth];
    for (int32_t j = 0; j < width; ++j) columns[j] = j * CellWidth / width;
    for (int32_t i = 0; i < height; ++i) {
        const uint16_t* row = corner + (i * CellHeight / height) * FontSheetWidth;
        // At the cell's own width every column is sampled in place.
        uint16_t gathered[ScreenWidth];
        const uint16_t* line = row;
        if (width != CellWidth) {
            for (int32_t j = 0; j < width; ++j) gathered[j] = row[columns[j]];
            line = gathered;
        }
        uint16_t* out = destination + (y + i) * ScreenWidth + x;
        DrawGlyphRow(line, width, out, out + ScreenWidth + 1);
    }
}

// Screens: a string of scaled glyphs; the box width is also the advance.
void DrawTextScaled(const char* text, int32_t width, int32_t height, int32_t x, int32_t y,
                    uint16_t* destination) {
    for (int32_t i = 0; text[i]; ++i) {
        DrawGlyphScaled(static_cast<uint8_t>(text[i]), width, height, x + width * i, y,
                        destination);
    }
}

// Intro caption and score table hint: one 8 x 16 small glyph, its set bits in colour (bit 7
// leftmost).
void DrawSmallGlyph(uint8_t character, int32_t x, int32_t y, uint16_t colour,
                    uint16_t* destination) {
    const uint8_t* glyph = SmallFont + character * SmallGlyphBytes;
    for (int32_t r = 0; r < SmallGlyphBytes; ++r) {
        uint16_t* out = destination + (y + r) * ScreenWidth + x;
        for (int32_t k = 0; k < SmallGlyphWidth; ++k) {
            if (glyph[r] & (0x80 >> k)) out[k] = colour;
        }
    }
}

// Intro caption and score table hint: a string of small glyphs, 8 pixels apart.
void DrawSmallText(const char* text, int32_t x, int32_t y, uint16_t colour,
                   uint16_t* destination) {
    for (int32_t i = 0; text[i]; ++i) {
        DrawSmallGlyph(static_cast<uint8_t>(text[i]), x + SmallGlyphWidth * i, y, colour,
                       destination);
    }
}

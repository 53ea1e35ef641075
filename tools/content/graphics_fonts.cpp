// Both fonts from their drawings: the large font's sheet and the 8 x 16 small font's bits.
#include <cstring>
#include <map>

#include "tools/content/graphics.h"

namespace art {

namespace {

constexpr int CellWidth = 16;
constexpr int CellHeight = 40;
constexpr int DrawnRows = CellHeight / 2;  // every drawn row fills two rows of the cell
constexpr int SheetColumns = 16;
constexpr int SmallRows = 16;

struct GlyphDrawing {
    std::vector<std::string> rows;
    int line = 0;
};

struct LargeFontSource {
    std::map<std::string, uint32_t> colours;
    std::map<char, GlyphDrawing> glyphs;
};

// Rows of a glyph drawing, each exactly `width` characters of '.' and '#'.
std::vector<std::string> ReadBitRows(const TextFile& file, int header, int end, int width,
                                     int height) {
    if (end - header - 1 != height)
        Fail(file.path, header,
             "glyph has " + std::to_string(end - header - 1) + " rows, expected " +
                 std::to_string(height));
    std::vector<std::string> rows;
    for (int line = header + 1; line < end; ++line) {
        const std::string& text = file.lines[line - 1];
        if (static_cast<int>(text.size()) != width ||
            text.find_first_not_of(".#") != std::string::npos)
            Fail(file.path, line,
                 "glyph row must be " + std::to_string(width) + " characters of '.' and '#'");
        rows.push_back(text);
    }
    return rows;
}

// Reads large.txt: the colours block and one 16 x 20 drawing per character of the order.
LargeFontSource ReadLargeFont(const std::string& path) {
    TextFile file = ReadTextFile(path);
    LargeFontSource source;
    ForEachBlock(file, [&](const std::vector<std::string>& words, int line, int end) {
        if (words[0] == "colours" && words.size() == 1) {
            for (int at = line + 1; at < end; ++at) {
                std::vector<std::string> pair = SplitWords(file, at);
                if (pair.size() != 2) Fail(file.path, at, "expected 'NAME #RRGGBB'");
                source.colours[pair[0]] = ParseColour(file, at, pair[1]);
            }
        } else if (words[0] == "glyph" && words.size() == 2) {
            std::string name = words[1] == "space" ? " " : words[1];
            if (name.size() != 1 || !std::strchr(GlyphOrder, name[0]))
                Fail(file.path, line, "'" + words[1] + "' is not a character of the large font");
            if (source.glyphs.count(name[0])) Fail(file.path, line, "glyph drawn twice");
            source.glyphs[name[0]] = {ReadBitRows(file, line, end, CellWidth, DrawnRows), line};
        } else {
            Fail(file.path, line, "expected 'colours' or 'glyph CHARACTER'");
        }
    });
    for (const char* name : {"top", "middle", "bottom", "edge"})
        if (!source.colours.count(name))
            Fail(path, 0, std::string("the colours block has no '") + name + "'");
    for (const char* c = GlyphOrder; *c; ++c)
        if (!source.glyphs.count(*c)) Fail(path, 0, std::string("no glyph drawn for '") + *c + "'");
    return source;
}

// Body colour of a cell row: top to middle over the upper half, middle to bottom below.
uint32_t BodyColour(const LargeFontSource& source, int cellRow) {
    const auto& c = source.colours;
    if (cellRow < CellHeight / 2)
        return MixColour(c.at("top"), c.at("middle"), cellRow, CellHeight / 2);
    return MixColour(c.at("middle"), c.at("bottom"), cellRow - CellHeight / 2, CellHeight / 2 - 1);
}

// True where the drawing has the letter; outside the cell counts as empty.
bool IsBody(const GlyphDrawing& glyph, int x, int y) {
    return x >= 0 && y >= 0 && x < CellWidth && y < DrawnRows && glyph.rows[y][x] == '#';
}

// Key pixels touching the body (sides and corners) take the edging colour.
bool IsEdge(const GlyphDrawing& glyph, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (IsBody(glyph, x + dx, y + dy)) return true;
    return false;
}

// Paints one cell of the sheet: each drawn row twice, body by gradient, then the edging.
void DrawCell(Picture& sheet, const LargeFontSource& source, const GlyphDrawing& glyph, int cell) {
    int left = cell % SheetColumns * CellWidth, top = cell / SheetColumns * CellHeight;
    for (int cellRow = 0; cellRow < CellHeight; ++cellRow)
        for (int x = 0; x < CellWidth; ++x) {
            int y = cellRow / 2;
            uint32_t colour = FontKey;
            if (IsBody(glyph, x, y))
                colour = BodyColour(source, cellRow);
            else if (IsEdge(glyph, x, y))
                colour = source.colours.at("edge");
            SetPixel(sheet, left + x, top + cellRow, colour);
        }
}

// Reads antique.txt into 256 glyphs of 16 bytes, bit 7 the leftmost pixel.
std::vector<uint8_t> ReadSmallFont(const std::string& path) {
    TextFile file = ReadTextFile(path);
    std::vector<uint8_t> bits(256 * SmallRows, 0);
    std::vector<bool> drawn(256, false);
    ForEachBlock(file, [&](const std::vector<std::string>& words, int line, int end) {
        if (words[0] != "glyph" || words.size() < 2) Fail(file.path, line, "expected 'glyph CODE'");
        int code = ParseNumber(file, line, words[1]);
        if (code < 0 || code > 255) Fail(file.path, line, "character code must be 0 to 255");
        if (drawn[code]) Fail(file.path, line, "glyph drawn twice");
        drawn[code] = true;
        std::vector<std::string> rows = ReadBitRows(file, line, end, 8, SmallRows);
        for (int r = 0; r < SmallRows; ++r)
            for (int k = 0; k < 8; ++k)
                if (rows[r][k] == '#')
                    bits[code * SmallRows + r] |= static_cast<uint8_t>(0x80 >> k);
    });
    for (int code = 32; code <= 126; ++code)
        if (!drawn[code]) Fail(path, 0, "no glyph drawn for code " + std::to_string(code));
    return bits;
}

// The cell a character draws from, or -1: later places in the order win, as in the game.
int CellOf(unsigned char c) {
    int cell = -1;
    for (int k = 0; GlyphOrder[k]; ++k)
        if (static_cast<unsigned char>(GlyphOrder[k]) == c) cell = k;
    return cell;
}

}  // namespace

Fonts LoadFonts(const std::string& folder) {
    LargeFontSource source = ReadLargeFont(folder + "/large.txt");
    Fonts fonts;
    fonts.sheet = MakePicture(256, 120, FontKey);
    for (int cell = 0; GlyphOrder[cell]; ++cell)
        DrawCell(fonts.sheet, source, source.glyphs.at(GlyphOrder[cell]), cell);
    fonts.small = ReadSmallFont(folder + "/antique.txt");
    return fonts;
}

void DrawLargeText(Picture& target, const Fonts& fonts, const std::string& text, int width,
                   int height, int x, int y) {
    for (size_t i = 0; i < text.size(); ++i) {
        int cell = CellOf(static_cast<unsigned char>(text[i]));
        if (cell < 0) continue;
        int left = cell % SheetColumns * CellWidth, top = cell / SheetColumns * CellHeight;
        int penX = x + static_cast<int>(i) * width;
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column) {
                uint32_t colour = PixelAt(fonts.sheet, left + column * CellWidth / width,
                                          top + row * CellHeight / height);
                if (colour == FontKey) continue;
                SetPixel(target, penX + column + 1, y + row + 1, 0);
                SetPixel(target, penX + column, y + row, colour);
            }
    }
}

void DrawSmallText(Picture& target, const Fonts& fonts, const std::string& text, int x, int y,
                   uint32_t colour) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* glyph = &fonts.small[static_cast<unsigned char>(text[i]) * SmallRows];
        for (int row = 0; row < SmallRows; ++row)
            for (int k = 0; k < 8; ++k)
                if (glyph[row] & (0x80 >> k))
                    SetPixel(target, x + static_cast<int>(i) * 8 + k, y + row, colour);
    }
}

}  // namespace art

// The graphics builder's pieces: pictures, text sources, fonts, scenes and file encoders.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace art {

// RGB pixels as 0x00RRGGBB, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    std::string origin;  // "path:line" of its drawing, for errors
};

constexpr uint32_t ImageKey = 0x00FF00;  // see-through in sprites
constexpr uint32_t FontKey = 0xFF0000;   // see-through in the font sheet

Picture MakePicture(int width, int height, uint32_t colour);
// The colour `amount`/`scale` of the way from `from` to `to`, channel by channel.
uint32_t MixColour(uint32_t from, uint32_t to, int amount, int scale);
uint32_t PixelAt(const Picture& picture, int x, int y);
// Writes one pixel; positions outside the picture are ignored.
void SetPixel(Picture& picture, int x, int y, uint32_t colour);
// Copies source onto target at (x, y), skipping the image key.
void StampPicture(Picture& target, const Picture& source, int x, int y);

// A bad content file: "path:line: message" (line 0 leaves the line out).
struct ContentError {
    std::string message;
};
[[noreturn]] void Fail(const std::string& path, int line, const std::string& message);

// A text source split into lines; numbers count from 1.
struct TextFile {
    std::string path;
    std::vector<std::string> lines;
};
TextFile ReadTextFile(const std::string& path);
// The .txt files of a folder, sorted by name so the build never depends on directory order.
std::vector<std::string> ListTextFiles(const std::string& folder);
// True for lines that stand between blocks: blank, or a comment starting with '#'.
bool IsBlankOrComment(const std::string& line);
// One past the last line of the block whose header is at `header`: a block runs to a blank line.
int BlockEnd(const TextFile& file, int header);
// Calls visit(words of the header line, header line, one past the block's end) for each block.
void ForEachBlock(const TextFile& file,
                  const std::function<void(const std::vector<std::string>&, int, int)>& visit);
// Splits on spaces; "quoted text" stays one word without its quotes.
std::vector<std::string> SplitWords(const TextFile& file, int line);
// "#RRGGBB" into 0x00RRGGBB.
uint32_t ParseColour(const TextFile& file, int line, const std::string& word);
int ParseNumber(const TextFile& file, int line, const std::string& word);

// Named pictures drawn as pixel art: the catalogue's sprites, the icons and scene stamps.
using ArtLibrary = std::map<std::string, Picture>;
void LoadPixelArt(const std::string& folder, ArtLibrary& library);

// Both fonts: the 256 x 120 sheet of 16 x 40 cells and the 4096-byte small font.
struct Fonts {
    Picture sheet;
    std::vector<uint8_t> small;
};
constexpr const char* GlyphOrder = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234567890.,'!()* ";
Fonts LoadFonts(const std::string& folder);
// The game's scaled large text: each character fills a width x height box, with a shadow.
void DrawLargeText(Picture& target, const Fonts& fonts, const std::string& text, int width,
                   int height, int x, int y);
// The game's small text: set bits only, 8 pixels a character.
void DrawSmallText(Picture& target, const Fonts& fonts, const std::string& text, int x, int y,
                   uint32_t colour);

// Pictures drawn by code from the scene descriptions, keyed by their entry name.
void DrawScenes(const std::string& folder, const ArtLibrary& library, const Fonts& fonts,
                ArtLibrary& scenes);

// File encoders. The TGA is in the game's layout, its colours cut to 256 where it has more.
std::vector<uint8_t> EncodeTga(const Picture& picture);
// 4-bit BMP for the window icon; empty when the picture has more than 16 colours.
std::vector<uint8_t> EncodeIconBmp(const Picture& picture);

}  // namespace art

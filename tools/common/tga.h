// TGA pictures for the tools: the game's picture sizes, other tools' TGAs in, the game's out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A picture the game loads, with the only size it reads it at.
struct GamePicture {
    const char* name;
    int width;
    int height;
};

// The 36 images in the order the game decodes them; the font sheet is the 37th picture.
extern const GamePicture GameImages[36];
extern const GamePicture FontSheetPicture;
// The game's picture of that exact name, or null.
const GamePicture* FindGamePicture(const std::string& name);

// RGB pixels as 0x00RRGGBB, top row first.
struct TgaPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Any TGA of type 1, 2, 9 or 10: any id field, a colour map of any length and of 15, 16, 24 or
// 32 bits, either origin and either column order; alpha is dropped. False with a reason.
bool ReadTga(const std::vector<uint8_t>& bytes, TgaPicture& picture, std::string& error);

// The game's layout: type 1, no id field, 256 (blue, green, red) map entries (the palette's
// colours, then black), 8-bit pixels bottom row first, and two spare bytes that the game's
// fixed-size read takes along. indices: one palette index per pixel, top row first.
std::vector<uint8_t> WriteGameTga(int width, int height, const std::vector<uint32_t>& palette,
                                  const std::vector<uint8_t>& indices);

// The picture in the game's layout with its own colours, unchanged; false with a reason when it
// has more than 256.
bool EncodeGameTga(const TgaPicture& picture, std::vector<uint8_t>& bytes, std::string& error);

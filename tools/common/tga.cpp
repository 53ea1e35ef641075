// TGA pictures for the archive tool and the content builder: foreign files in, the game's out.
#include "tools/common/tga.h"

#include <map>

const GamePicture GameImages[36] = {
    {"exit.tga", 16, 16},      {"speaker.tga", 16, 16},  {"quintlogo.tga", 200, 42},
    {"front.tga", 240, 320},   {"about.tga", 240, 320},  {"help.tga", 240, 320},
    {"main.tga", 240, 320},    {"high.tga", 240, 320},   {"dogup1.tga", 32, 32},
    {"dogup2.tga", 32, 32},    {"dogdown1.tga", 32, 32}, {"dogdown2.tga", 32, 32},
    {"dogleft1.tga", 32, 32},  {"dogleft2.tga", 32, 32}, {"dogright1.tga", 32, 32},
    {"dogright2.tga", 32, 32}, {"fume0.tga", 32, 32},    {"fume1.tga", 32, 32},
    {"fume2.tga", 32, 32},     {"plant.tga", 16, 16},    {"s0.tga", 32, 32},
    {"s1.tga", 32, 32},        {"s2.tga", 32, 32},       {"s3.tga", 32, 32},
    {"s4.tga", 32, 32},        {"s5.tga", 32, 32},       {"s6.tga", 32, 32},
    {"s7.tga", 32, 32},        {"ssmall.tga", 16, 16},   {"smedium.tga", 24, 24},
    {"spider1.tga", 36, 24},   {"spider2.tga", 36, 24},  {"spider3.tga", 36, 24},
    {"spider4.tga", 36, 24},   {"spider5.tga", 36, 24},  {"spider6.tga", 36, 24},
};
const GamePicture FontSheetPicture = {"font.tga", 256, 120};

const GamePicture* FindGamePicture(const std::string& name) {
    if (name == FontSheetPicture.name) return &FontSheetPicture;
    for (const GamePicture& picture : GameImages)
        if (name == picture.name) return &picture;
    return nullptr;
}

namespace {

constexpr size_t HeaderBytes = 18;
// Past this a file's size fields are damage: the game's largest picture has 76800 pixels.
constexpr uint64_t MostPixels = 1 << 24;
constexpr int GameMapEntries = 256;

// Header bits: rows stored top row first; columns stored right to left; interleaving.
constexpr uint8_t TopFirst = 0x20;
constexpr uint8_t RightFirst = 0x10;
constexpr uint8_t Interleaved = 0xC0;

int Little16(const uint8_t* at) { return at[0] | at[1] << 8; }

// A colour-map entry or true-colour pixel of `bytes` bytes to 0xRRGGBB: 15 and 16 bits are
// x RRRRR GGGGG BBBBB (each channel widened by repeating its top bits), then blue, green,
// red and maybe alpha, which is dropped.
uint32_t StoredColour(const uint8_t* at, int bytes) {
    if (bytes == 2) {
        uint32_t value = static_cast<uint32_t>(Little16(at)), rgb = 0;
        for (int shift : {10, 5, 0}) {
            uint32_t five = (value >> shift) & 31;
            rgb = rgb << 8 | five << 3 | five >> 2;
        }
        return rgb;
    }
    return static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[1]) << 8 | at[0];
}

bool KnownColourBits(int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// The header's fields as the reader uses them.
struct TgaHeader {
    int idBytes, mapType, imageType, mapFirst, mapLength, mapBits, width, height, pixelBits;
    uint8_t descriptor;
    bool ColourMapped() const { return imageType == 1 || imageType == 9; }
    bool Rle() const { return imageType >= 9; }
};

TgaHeader ParseHeader(const uint8_t* b) {
    return {b[0], b[1], b[2], Little16(b + 3), Little16(b + 5), b[7], Little16(b + 12),
            Little16(b + 14), b[16], b[17]};
}

// Empty when the reader takes this header; otherwise why not.
std::string HeaderProblem(const TgaHeader& h) {
    if (h.imageType != 1 && h.imageType != 2 && h.imageType != 9 && h.imageType != 10)
        return "image type " + std::to_string(h.imageType) +
               ", not one of 1, 2, 9, 10 (colour-mapped or true colour, plain or RLE)";
    if (h.mapType > 1) return "colour map type " + std::to_string(h.mapType);
    if (h.mapType == 1 && !KnownColourBits(h.mapBits))
        return std::to_string(h.mapBits) + "-bit colour map entries";
    if (h.ColourMapped() && (h.mapType != 1 || h.pixelBits != 8))
        return "a colour-mapped picture needs a colour map and 8-bit pixels";
    if (!h.ColourMapped() && !KnownColourBits(h.pixelBits))
        return std::to_string(h.pixelBits) + "-bit pixels";
    if (h.descriptor & Interleaved) return "interleaved rows";
    if (h.width == 0 || h.height == 0) return "no pixels";
    return "";
}

// Reads the colour stream (an RLE stream when rle) of `count` pixels of `bytes` bytes each from
// `at`, handing each pixel's bytes to put in stored order. False when the file ends first.
template <typename Put>
bool ReadPixelStream(const std::vector<uint8_t>& file, size_t at, bool rle, uint64_t count,
                     int bytes, Put put) {
    for (uint64_t done = 0; done < count;) {
        uint64_t run = 1;
        bool repeat = false;
        if (rle) {
            if (at >= file.size()) return false;
            run = (file[at] & 0x7F) + 1u;
            repeat = file[at++] & 0x80;
        }
        for (uint64_t k = 0; k < run && done < count; ++k, ++done) {
            if (at + bytes > file.size()) return false;
            put(done, file.data() + at);
            if (!repeat) at += bytes;
        }
        if (repeat) at += bytes;
    }
    return true;
}

}  // namespace

bool ReadTga(const std::vector<uint8_t>& bytes, TgaPicture& picture, std::string& error) {
    if (bytes.size() < HeaderBytes) {
        error = "shorter than a TGA header";
        return false;
    }
    TgaHeader h = ParseHeader(bytes.data());
    error = HeaderProblem(h);
    if (!error.empty()) return false;
    uint64_t count = static_cast<uint64_t>(h.width) * h.height;
    if (count > MostPixels) {
        error = std::to_string(h.width) + " x " + std::to_string(h.height) +
                " pixels, far more than any picture of the game";
        return false;
    }
    size_t at = HeaderBytes + h.idBytes;
    std::vector<uint32_t> map;
    if (h.mapType == 1) {
        int entryBytes = (h.mapBits + 7) / 8;
        if (at + static_cast<size_t>(h.mapLength) * entryBytes > bytes.size()) {
            error = "cut short in its colour map";
            return false;
        }
        for (int k = 0; k < h.mapLength; ++k, at += entryBytes)
            map.push_back(StoredColour(bytes.data() + at, entryBytes));
    }
    int pixelBytes = (h.pixelBits + 7) / 8;
    // The fewest bytes that can hold the pixels (RLE: runs of 128), known before any memory.
    uint64_t least = h.Rle() ? (count + 127) / 128 * (1 + pixelBytes) : count * pixelBytes;
    if (at + least > bytes.size()) {
        error = "cut short in its pixels";
        return false;
    }
    picture.width = h.width;
    picture.height = h.height;
    picture.pixels.assign(count, 0);
    int badIndex = -1;
    auto place = [&](uint64_t i, const uint8_t* stored) {
        uint64_t row = i / h.width, column = i % h.width;
        uint64_t y = h.descriptor & TopFirst ? row : h.height - 1 - row;
        uint64_t x = h.descriptor & RightFirst ? h.width - 1 - column : column;
        uint32_t colour = 0;
        if (!h.ColourMapped()) {
            colour = StoredColour(stored, pixelBytes);
        } else if (*stored >= h.mapFirst && *stored - h.mapFirst < h.mapLength) {
            colour = map[*stored - h.mapFirst];
        } else if (badIndex < 0) {
            badIndex = *stored;
        }
        picture.pixels[y * h.width + x] = colour;
    };
    if (!ReadPixelStream(bytes, at, h.Rle(), count, pixelBytes, place)) {
        error = "cut short in its pixels";
        return false;
    }
    if (badIndex >= 0) {
        error = "a pixel names colour " + std::to_string(badIndex) + ", outside its colour map of " +
                std::to_string(h.mapLength) + " entries from " + std::to_string(h.mapFirst);
        return false;
    }
    return true;
}

std::vector<uint8_t> WriteGameTga(int width, int height, const std::vector<uint32_t>& palette,
                                  const std::vector<uint8_t>& indices) {
    const uint8_t header[HeaderBytes] = {
        0, 1, 1,                         // no id field, colour map present, colour-mapped
        0, 0, GameMapEntries & 0xFF, GameMapEntries >> 8, 24,  // first entry, length, bits
        0, 0, 0, 0,                      // x and y origin
        static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
        static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
        8, 0};                           // 8-bit pixels, bottom row first
    std::vector<uint8_t> out(header, header + HeaderBytes);
    for (size_t k = 0; k < GameMapEntries; ++k) {
        uint32_t colour = k < palette.size() ? palette[k] : 0;
        for (int shift : {0, 8, 16}) out.push_back(static_cast<uint8_t>(colour >> shift));
    }
    for (int row = height - 1; row >= 0; --row) {
        auto first = indices.begin() + static_cast<long>(row) * width;
        out.insert(out.end(), first, first + width);
    }
    out.insert(out.end(), 2, 0);
    return out;
}

bool EncodeGameTga(const TgaPicture& picture, std::vector<uint8_t>& bytes, std::string& error) {
    std::map<uint32_t, size_t> slots;
    for (uint32_t colour : picture.pixels) slots.emplace(colour, 0);
    if (slots.size() > GameMapEntries) {
        error = std::to_string(slots.size()) + " colours; the game's pictures hold at most 256";
        return false;
    }
    std::vector<uint32_t> palette;
    for (auto& [colour, slot] : slots) {
        slot = palette.size();
        palette.push_back(colour);
    }
    std::vector<uint8_t> indices;
    indices.reserve(picture.pixels.size());
    for (uint32_t colour : picture.pixels) indices.push_back(static_cast<uint8_t>(slots[colour]));
    bytes = WriteGameTga(picture.width, picture.height, palette, indices);
    return true;
}

// TGA decoding: colour-mapped and 16-bit true-colour archive entries into RGB565 images.
#include <cstdio>
#include <cstdlib>

#include "assets/assets.h"

namespace {

constexpr int HeaderBytes = 18;
constexpr int ColourMapEntries = 256;
constexpr int ColourMapBytes = ColourMapEntries * 3;
constexpr int PixelsAt = HeaderBytes + ColourMapBytes;
// Two bytes past the pixels are read along with them and ignored.
constexpr int TrailerBytes = 2;
// Guards the byte count against sizes no image of the game comes near.
constexpr int64_t MostPixels = 1 << 24;

// Colour-map entry (blue, green, red) to RGB565, dropping each channel's low bits.
uint16_t MapColour(const uint8_t* entry) {
    return static_cast<uint16_t>((entry[2] >> 3) << 11 | (entry[1] >> 2) << 5 | entry[0] >> 3);
}

// 16-bit pixel (x RRRRR GGGGG BBBBB) to RGB565; the lowest green bit stays 0.
uint16_t TrueColour(const uint8_t* pixel) {
    uint32_t p = static_cast<uint32_t>(pixel[0]) | static_cast<uint32_t>(pixel[1]) << 8;
    return static_cast<uint16_t>(((p >> 10) & 31) << 11 | ((p >> 5) & 31) << 6 | (p & 31));
}

// Stored rows run bottom row first; output rows top row first.
void ConvertColourMapped(const uint8_t* work, int32_t width, int32_t height,
                         uint16_t* destination) {
    uint16_t colours[ColourMapEntries];
    for (int k = 0; k < ColourMapEntries; ++k) colours[k] = MapColour(work + HeaderBytes + 3 * k);
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* row = work + PixelsAt + static_cast<size_t>(height - 1 - r) * width;
        uint16_t* out = destination + static_cast<size_t>(r) * width;
        for (int32_t c = 0; c < width; ++c) out[c] = colours[row[c]];
    }
}

void ConvertTrueColour(const uint8_t* work, int32_t width, int32_t height,
                       uint16_t* destination) {
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* row = work + HeaderBytes + static_cast<size_t>(height - 1 - r) * width * 2;
        uint16_t* out = destination + static_cast<size_t>(r) * width;
        for (int32_t c = 0; c < width; ++c) out[c] = TrueColour(row + 2 * c);
    }
}

}  // namespace

// Asset catalogue and font loader: decodes the named entry, of the size and layout the caller
// gives, into destination. 1 when decoded; 0 when there is no such entry (destination then
// untouched). Bytes an entry cut short doesn't deliver decode as zero, the same every time.
int LoadTgaImage(const char* name, int32_t width, int32_t height, uint16_t* destination,
                 uint8_t paletted) {
    int64_t pixels = static_cast<int64_t>(width) * height;
    if (width < 0 || height < 0 || pixels > MostPixels) {
        std::fprintf(stderr, "marrowdale: cannot decode \"%s\" at %d x %d pixels\n", name,
                     static_cast<int>(width), static_cast<int>(height));
        return 0;
    }
    int64_t bytes = paletted ? pixels + PixelsAt + TrailerBytes : (pixels + 10) * 2;
    HANDLE entry = FindArchiveEntry(name);
    if (entry == INVALID_HANDLE_VALUE) return 0;
    auto* work = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1));
    if (!work) {
        std::fprintf(stderr, "marrowdale: out of memory decoding \"%s\"\n", name);
        return 0;
    }
    ReadArchiveEntry(entry, work, static_cast<DWORD>(bytes), name);
    if (paletted) {
        ConvertColourMapped(work, width, height, destination);
    } else {
        ConvertTrueColour(work, width, height, destination);
    }
    std::free(work);
    return 1;
}

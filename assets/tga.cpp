// TGA decoding: colour-mapped and 16-bit true-colour archive entries, headers checked first.
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

// The header fields a layout fixes, with the bits that count; the rest (the origin's position,
// the alpha bits) don't change how the bytes after it read.
struct HeaderField {
    int at;
    int bytes;
    int mask;
    const char* what;
};
constexpr HeaderField HeaderFields[] = {
    {0, 1, 0xFF, "image id length"},       {1, 1, 0xFF, "colour map type"},
    {2, 1, 0xFF, "image type"},            {3, 2, 0xFFFF, "first colour map entry"},
    {5, 2, 0xFFFF, "colour map length"},   {7, 1, 0xFF, "colour map entry bits"},
    {12, 2, 0xFFFF, "width"},              {14, 2, 0xFFFF, "height"},
    {16, 1, 0xFF, "bits per pixel"},       {17, 1, 0xF0, "pixel order field"},
};
constexpr int FieldCount = sizeof HeaderFields / sizeof HeaderFields[0];
// A field the layout leaves free: a true-colour picture has no colour map to describe.
constexpr int32_t AnyValue = -1;

// Says in one line why the entry isn't the layout asked for; false then, true when it is.
bool HeaderMatches(const uint8_t* header, int32_t width, int32_t height, uint8_t paletted,
                   const char* name) {
    const int32_t expected[2][FieldCount] = {
        {0, 0, 2, AnyValue, AnyValue, AnyValue, width, height, 16, 0},
        {0, 1, 1, 0, ColourMapEntries, 24, width, height, 8, 0},
    };
    const int32_t* wanted = expected[paletted ? 1 : 0];
    for (int i = 0; i < FieldCount; ++i) {
        const HeaderField& field = HeaderFields[i];
        int32_t value = header[field.at];
        if (field.bytes == 2) value |= header[field.at + 1] << 8;
        value &= field.mask;
        if (wanted[i] == AnyValue || value == wanted[i]) continue;
        std::fprintf(stderr,
                     "marrowdale: \"%s\" is not a %d x %d %s TGA as the game stores it (its %s "
                     "is %d, not %d); it stays blank\n",
                     name, static_cast<int>(width), static_cast<int>(height),
                     paletted ? "colour-mapped" : "16-bit true-colour", field.what,
                     static_cast<int>(value), static_cast<int>(wanted[i]));
        return false;
    }
    return true;
}

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
// gives, into destination. 1 when decoded; 0 when there is no such entry, or its header says
// another layout or size (destination then untouched). Bytes an entry cut short doesn't
// deliver decode as zero, the same every time.
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
    // The header first, so an entry that is both foreign and short says only the first.
    bool fits = ReadArchiveEntry(entry, work, HeaderBytes, name) == HeaderBytes &&
                HeaderMatches(work, width, height, paletted, name);
    if (fits) {
        ReadArchiveEntry(entry, work + HeaderBytes, static_cast<DWORD>(bytes - HeaderBytes), name,
                         HeaderBytes);
        if (paletted) {
            ConvertColourMapped(work, width, height, destination);
        } else {
            ConvertTrueColour(work, width, height, destination);
        }
    }
    std::free(work);
    return fits ? 1 : 0;
}

// Display presentation: the back buffer copied or converted into the display memory.
#include <cstring>

#include "gfx/gfx.h"
#include "handheld/gx.h"

DisplayFormatRecord DisplayFormat;

namespace {

constexpr int RowBytes = ScreenWidth * 2;
constexpr int PaddedRowBytes = 512;

// 16-bit colour: one block, one block per row, or pixel by pixel, by the display's steps.
void PresentColour(uint8_t* display) {
    if (DisplayFormat.xStep == 2 && DisplayFormat.yStep == RowBytes) {
        std::memcpy(display, BackBuffer, BackBufferBytes);
        return;
    }
    if (DisplayFormat.xStep == 2) {
        for (int r = 0; r < ScreenHeight; ++r) {
            std::memcpy(display + r * PaddedRowBytes, BackBuffer + r * ScreenWidth, RowBytes);
        }
        return;
    }
    int32_t xStep = (DisplayFormat.xStep >> 1) << 1;
    int32_t yStep = (DisplayFormat.yStep >> 1) << 1;
    uint8_t* start = display + (DisplayFormat.yStep < 0 ? 640 : 0);
    const uint16_t* source = BackBuffer;
    for (int32_t y = 0; y < ScreenHeight; ++y) {
        for (int32_t x = 0; x < ScreenWidth; ++x) {
            uint16_t pixel = *source++;
            std::memcpy(start + y * yStep + x * xStep, &pixel, 2);
        }
    }
}

uint8_t Grey16(uint16_t p) { return static_cast<uint8_t>(((p >> 11) + ((p >> 5) & 63) + (p & 31)) >> 3); }

// 4-bit grey: the picture turned a quarter, one 160-byte line per screen column.
void PresentGrey16(uint8_t* display) {
    for (int i = 0; i < ScreenWidth; ++i) {
        uint8_t* line = display + i * 160;
        for (int j = 0; j < 160; ++j) {
            uint8_t high = Grey16(BackBuffer[(319 - 2 * j) * ScreenWidth + i]);
            uint8_t low = Grey16(BackBuffer[(318 - 2 * j) * ScreenWidth + i]);
            line[j] = static_cast<uint8_t>((high << 4) | low);
        }
    }
}

// 2-bit grey: the two top bits of red, sixteen pixels to a 32-bit little-endian word.
void PresentGrey4(uint8_t* display) {
    int32_t skip = ((DisplayFormat.yStep - 60) >> 2) * 4;
    const uint16_t* source = BackBuffer;
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int w = 0; w < 15; ++w) {
            uint8_t bytes[4];
            for (int b = 0; b < 4; ++b, source += 4) {
                bytes[b] = static_cast<uint8_t>((source[0] >> 14) << 6 | (source[1] >> 14) << 4 |
                                                (source[2] >> 14) << 2 | (source[3] >> 14));
            }
            std::memcpy(display, bytes, 4);
            display += 4;
        }
        display += skip;
    }
}

}  // namespace

// Frame pump: the back buffer to the display, for 16-bit colour, 4-bit and 2-bit grey.
void PresentBackBuffer() {
    int32_t depth = DisplayFormat.depth;
    if (depth != 16 && depth != 4 && depth != 2) return;
    uint8_t* display = static_cast<uint8_t*>(GXBeginDraw());
    // A closed display hands out no memory; the frame is skipped and the game runs on.
    if (display) {
        if (depth == 16) PresentColour(display);
        if (depth == 4) PresentGrey16(display);
        if (depth == 2) PresentGrey4(display);
    }
    GXEndDraw();
}

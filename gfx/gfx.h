// Graphics: the back buffer and its primitives, the two fonts, and display presentation.
#pragma once

#include <cstdint>

constexpr int ScreenWidth = 240;
constexpr int ScreenHeight = 320;
constexpr int BackBufferBytes = ScreenWidth * ScreenHeight * 2;

constexpr uint16_t ImageKey = 0x07E0;
constexpr uint16_t FontKey = 0xF800;
constexpr uint16_t ColourRed = 0xF800;
constexpr uint16_t ColourBlack = 0x0000;
constexpr uint16_t ColourWhite = 0xFFFF;

// ---- Back buffer and blitters ----
extern uint16_t* BackBuffer;
extern uint16_t* DrawTarget;

bool AllocateBackBuffer();
void ReleaseBackBuffer();
uint16_t* GetBackBuffer();
void ClearBackBuffer(int32_t value);
void PutPixel(int32_t x, int32_t y, uint16_t colour);
void DrawLine(float x0, float y0, float x1, float y1, uint16_t colour);
void DrawImage(uint16_t* destination, const uint16_t* image, int32_t width, int32_t height,
               int32_t x, int32_t y, int32_t keyed);
void DrawImageFaded(uint16_t* destination, const uint16_t* image, int32_t width,
                    int32_t height, int32_t x, int32_t y, int32_t factor);
// Copies a full-screen image over the whole back buffer in one block.
void CopyScreenImage(const uint16_t* image);

// ---- Text ----
constexpr int FontSheetWidth = 256;
constexpr int FontSheetHeight = 120;
constexpr int SmallFontBytes = 4096;
// The small font's advance: each glyph is 8 x 16.
constexpr int SmallGlyphWidth = 8;
extern const char GlyphOrder[46];
extern uint16_t* FontSheet;
extern uint8_t GlyphMap[256];
extern uint8_t SmallFont[SmallFontBytes];

void LoadFonts();
void ReleaseFonts();
void DrawGlyph(uint8_t character, int32_t x, int32_t y, uint16_t* destination);
void DrawText(const char* text, int32_t x, int32_t y, uint16_t* destination);
void DrawGlyphScaled(uint8_t character, int32_t width, int32_t height, int32_t x, int32_t y,
                     uint16_t* destination);
void DrawTextScaled(const char* text, int32_t width, int32_t height, int32_t x, int32_t y,
                    uint16_t* destination);
void DrawSmallGlyph(uint8_t character, int32_t x, int32_t y, uint16_t colour,
                    uint16_t* destination);
void DrawSmallText(const char* text, int32_t x, int32_t y, uint16_t colour,
                   uint16_t* destination);

// ---- Presentation ----
struct DisplayFormatRecord {
    int32_t depth;
    int32_t xStep;
    int32_t yStep;
};
extern DisplayFormatRecord DisplayFormat;
void PresentBackBuffer();

// What the desktop's window draws over the game's picture: the pause's sign in a 5 x 7 pixel
// font, and the keyboard's cursor.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "handheld/host.h"
#include "hosts/sdl/sdl.h"

namespace {

constexpr int GlyphWidth = 5;
constexpr int GlyphHeight = 7;
constexpr int Advance = 6;
constexpr int TitleSize = 3;  // the title's pixels, in the sign's
constexpr int Margin = 6;
constexpr int LineGap = 4;

// A to Z, each row's five pixels in bits 4 (left) to 0.
constexpr uint8_t Letters[26][GlyphHeight] = {
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},  // B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // C
    {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E},  // D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},  // F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},  // G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // H
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},  // I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},  // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},  // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},  // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},  // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},  // N
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // O
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},  // P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},  // Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},  // R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},  // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},  // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},  // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},  // X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},  // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},  // Z
};
constexpr uint8_t Colon[GlyphHeight] = {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00};
constexpr uint8_t Comma[GlyphHeight] = {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08};
constexpr uint8_t Blank[GlyphHeight] = {};

const uint8_t* GlyphOf(char c) {
    if (c >= 'A' && c <= 'Z') return Letters[c - 'A'];
    if (c == ':') return Colon;
    return c == ',' ? Comma : Blank;
}

int TextWidth(const char* text, int size) {
    return static_cast<int>(std::strlen(text)) * Advance * size - (Advance - GlyphWidth) * size;
}

// The lit pixels of a line centred on middleX, as squares of size device pixels.
void AddLine(std::vector<SDL_Rect>* squares, const char* text, int middleX, int top, int size) {
    int x = middleX - TextWidth(text, size) / 2;
    for (const char* c = text; *c; ++c, x += Advance * size) {
        const uint8_t* glyph = GlyphOf(*c);
        for (int row = 0; row < GlyphHeight; ++row) {
            for (int column = 0; column < GlyphWidth; ++column) {
                if (glyph[row] & (0x10 >> column)) {
                    squares->push_back({x + column * size, top + row * size, size, size});
                }
            }
        }
    }
}

void FillSquares(SDL_Renderer* renderer, const std::vector<SDL_Rect>& squares, Uint8 red,
                 Uint8 green, Uint8 blue) {
    SDL_SetRenderDrawColor(renderer, red, green, blue, 255);
    SDL_RenderFillRects(renderer, squares.data(), static_cast<int>(squares.size()));
}

}  // namespace

// A dark band across the middle of the picture: the title large, the keys beneath; the sign's
// pixels grow with the picture's whole scale.
void DrawPauseSign(SDL_Renderer* renderer, const SDL_Rect& picture, const PauseSign& sign) {
    int unit = std::max(1, picture.w / ScreenWidth);
    int height = (2 * Margin + GlyphHeight * (TitleSize + 2) + 2 * LineGap + LineGap) * unit;
    SDL_Rect band{picture.x, picture.y + (picture.h - height) / 2, picture.w, height};
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 200);
    SDL_RenderFillRect(renderer, &band);
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
    int middle = picture.x + picture.w / 2;
    int top = band.y + Margin * unit;
    std::vector<SDL_Rect> title;
    AddLine(&title, sign.title, middle, top, TitleSize * unit);
    FillSquares(renderer, title, 255, 214, 90);
    top += (GlyphHeight * TitleSize + 2 * LineGap) * unit;
    std::vector<SDL_Rect> lines;
    AddLine(&lines, sign.resume, middle, top, unit);
    AddLine(&lines, sign.leave, middle, top + (GlyphHeight + LineGap) * unit, unit);
    FillSquares(renderer, lines, 255, 255, 255);
}

namespace {

// The screen pixels from column x0 to x1 and row y0 to y1 where the picture shows them.
SDL_Rect ScreenSpan(const SDL_Rect& picture, int x0, int y0, int x1, int y1) {
    int left = picture.x + x0 * picture.w / ScreenWidth;
    int top = picture.y + y0 * picture.h / ScreenHeight;
    int right = picture.x + (x1 + 1) * picture.w / ScreenWidth;
    int bottom = picture.y + (y1 + 1) * picture.h / ScreenHeight;
    return {left, top, right - left, bottom - top};
}

// A ring one screen pixel wide whose outer edge is the box.
void FillRing(SDL_Renderer* renderer, const SDL_Rect& picture, const CursorOutline& box) {
    SDL_Rect sides[] = {ScreenSpan(picture, box.left, box.top, box.right, box.top),
                        ScreenSpan(picture, box.left, box.bottom, box.right, box.bottom),
                        ScreenSpan(picture, box.left, box.top, box.left, box.bottom),
                        ScreenSpan(picture, box.right, box.top, box.right, box.bottom)};
    SDL_RenderFillRects(renderer, sides, 4);
}

}  // namespace

// White round the target and black inside it, so that it shows on any picture; its pixels are
// the picture's.
void DrawCursorOutline(SDL_Renderer* renderer, const SDL_Rect& picture, const CursorOutline& cursor) {
    SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
    FillRing(renderer, picture, cursor);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    FillRing(renderer, picture, {cursor.left + 1, cursor.top + 1, cursor.right - 1, cursor.bottom - 1});
}

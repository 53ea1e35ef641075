// The back buffer and the primitives that draw into it: image copies, fades, lines, pixels.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gfx/gfx.h"
#include "handheld/vectors.h"

uint16_t* BackBuffer;
uint16_t* DrawTarget;

// Entry: the one frame every screen draws into, allocated once; false (with one line on
// stderr) when there is no memory for it.
bool AllocateBackBuffer() {
    BackBuffer = static_cast<uint16_t*>(std::malloc(BackBufferBytes));
    if (!BackBuffer) std::fprintf(stderr, "marrowdale: out of memory for the game's frame\n");
    return BackBuffer != nullptr;
}

// Entry, after the main loop.
void ReleaseBackBuffer() {
    std::free(BackBuffer);
    BackBuffer = nullptr;
}

uint16_t* GetBackBuffer() { return BackBuffer; }

// Byte fill of the whole frame (0 gives black).
void ClearBackBuffer(int32_t value) { std::memset(BackBuffer, value & 0xFF, BackBufferBytes); }

void PutPixel(int32_t x, int32_t y, uint16_t colour) { BackBuffer[y * ScreenWidth + x] = colour; }

// Single-precision DDA from the upper end down; the lower end itself is not plotted.
void DrawLine(float x0, float y0, float x1, float y1, uint16_t colour) {
    if (y0 > y1) {
        float t = x0;
        x0 = x1;
        x1 = t;
        t = y0;
        y0 = y1;
        y1 = t;
    }
    float dx = x1 - x0;
    float dy = y1 - y0;
    int32_t nx = static_cast<int32_t>(dx < 0 ? -dx : dx);
    int32_t ny = static_cast<int32_t>(dy < 0 ? -dy : dy);
    int32_t steps = ny > nx ? ny : nx;
    if (steps == 0) return;
    float xs = dx / static_cast<float>(steps);
    float ys = dy / static_cast<float>(steps);
    float x = x0;
    float y = y0;
    for (int32_t i = 0; i < steps; ++i) {
        PutPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), colour);
        x += xs;
        y += ys;
    }
}

// Copies the pixels that are not the key colour. Written as a branch-free blend over pointers
// that don't overlap, so the compiler copies many pixels at a time.
static void BlendKeyed(uint16_t* __restrict out, const uint16_t* __restrict in, int32_t count) {
    for (int32_t c = 0; c < count; ++c) out[c] = in[c] == ImageKey ? out[c] : in[c];
}

// Image copy with x in the 320-wide game space; keyed copies skip 0x07E0 and stay in
// pixel columns 1 to 239.
WIDE_VECTORS void DrawImage(uint16_t* destination, const uint16_t* image, int32_t width,
                            int32_t height, int32_t x, int32_t y, int32_t keyed) {
    if (width <= 0 || height <= 0) return;
    int32_t sx = x * ScreenWidth / 320;
    // Keyed copies stay within columns 1 to 239; the visible span is the same on every row.
    int32_t first = keyed && sx < 1 ? 1 - sx : 0;
    int32_t last = keyed && sx + width > ScreenWidth ? ScreenWidth - sx : width;
    for (int32_t r = 0; r < height; ++r, image += width) {
        uint16_t* row = destination + (y + r) * ScreenWidth;
        if (!keyed) {
            std::memcpy(row + sx, image, static_cast<size_t>(width) * 2);
            continue;
        }
        BlendKeyed(row + sx + first, image + first, last - first);
    }
}

// Opaque image copy at a pixel column with every channel scaled by factor / 64.
void DrawImageFaded(uint16_t* destination, const uint16_t* image, int32_t width,
                    int32_t height, int32_t x, int32_t y, int32_t factor) {
    uint16_t* row = destination + y * ScreenWidth + x;
    for (int32_t r = 0; r < height; ++r, row += ScreenWidth, image += width) {
        for (int32_t c = 0; c < width; ++c) {
            uint32_t p = image[c];
            uint32_t red = ((p >> 11) * static_cast<uint32_t>(factor)) >> 6;
            uint32_t green = (((p >> 5) & 63) * static_cast<uint32_t>(factor)) >> 6;
            uint32_t blue = ((p & 31) * static_cast<uint32_t>(factor)) >> 6;
            row[c] = static_cast<uint16_t>((red << 11) + (green << 5) + blue);
        }
    }
}

// Screens start their frame with a full-screen picture in one block copy.
void CopyScreenImage(const uint16_t* image) { std::memcpy(BackBuffer, image, BackBufferBytes); }

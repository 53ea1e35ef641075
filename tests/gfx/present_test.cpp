// Presentation: the display layouts no golden game uses against the display memory they must
// produce, and a closed display.
#include <gtest/gtest.h>

#include <vector>

#include "gfx/gfx.h"
#include "handheld/gx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"

namespace {

class Presentation : public ::testing::Test {
protected:
    void Use(DisplayLayout layout) {
        HeadlessOptions options;
        options.display = layout;
        StartHeadlessHost(options);
        GXOpenDisplay(nullptr, GX_FULLSCREEN);
        DisplayFormat = {layout.depth, layout.xStep, layout.yStep};
        AllocateBackBuffer();
        ClearBackBuffer(0);
    }
    void TearDown() override {
        ReleaseBackBuffer();
        StopHeadlessHost();
    }
    // The display memory after one PresentBackBuffer, and where GXBeginDraw's address lies in
    // it; whether presenting changed any of it.
    bool Present(std::vector<uint8_t>& after) {
        auto* address = static_cast<uint8_t*>(GXBeginDraw());
        GXEndDraw();
        size_t size = 0;
        const uint8_t* memory = HeadlessDisplayMemory(&size);
        offset = address ? address - memory : 0;
        std::vector<uint8_t> before(memory, memory + size);
        PresentBackBuffer();
        memory = HeadlessDisplayMemory(&size);
        after.assign(memory, memory + size);
        return before != after;
    }
    ptrdiff_t offset = 0;
};

TEST_F(Presentation, EachLayoutPutsThePixelsWhereItsStepsSay) {
    struct Layout {
        DisplayLayout layout;
        uint16_t fill;
        std::vector<std::pair<int, uint16_t>> pixels;      // back buffer index, colour
        std::vector<std::pair<ptrdiff_t, uint8_t>> bytes;  // from the drawing address, value
    };
    const Layout layouts[] = {
        // Rows copied whole; the 32 bytes after a row are not written.
        {{16, 2, 512}, 0xABCD, {},
         {{319 * 512 + 478, 0xCD}, {5 * 512 + 480, 0}, {5 * 512 + 511, 0}}},
        // A pixel a slot: every second slot left alone.
        {{16, 4, 960}, 0, {{2 * 240 + 3, 0x1111}}, {{2 * 960 + 12, 0x11}, {2 * 960 + 14, 0}}},
        {{16, -640, 2}, 0, {{7 * 240 + 5, 0x2222}}, {{7 * 2 - 5 * 640, 0x22}}},
        // A negative row step starts 640 on.
        {{16, 640, -2}, 0, {{7 * 240 + 5, 0x3333}}, {{640 - 7 * 2 + 5 * 640, 0x33}}},
        // Grey 16 turns the picture: the bottom-left pixel leads line 0, the top-left ends it.
        {{4, 1, 160}, 0xFFFF, {}, {{0, 0xFF}, {38399, 0xFF}}},
        {{4, 1, 160}, 0, {{0, 0xF800}, {319 * 240, 0xFFFF}, {319 * 240 + 1, 0xFFFF}},
         {{0, 0xF0}, {1, 0}, {160, 0xF0}, {159, 0x03}}},
        // Grey 4 packs the top bits, rows the row step apart; the gap between them unwritten.
        {{2, 1, 64}, 0, {{0, 0xFFFF}, {241, 0xF800}, {242, 0x07E0}, {243, 0x8410}},
         {{0, 0xC0}, {64, 0x32}, {60, 0}}},
        {{2, 1, 64}, 0xFFFF, {}, {{319 * 64 + 59, 0xFF}}},
        // Other depths are never written.
        {{8, 1, 240}, 0xFFFF, {}, {}},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(testing::Message() << l.layout.depth << ":" << l.layout.xStep << ":"
                                        << l.layout.yStep << " fill " << l.fill);
        Use(l.layout);
        for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) BackBuffer[i] = l.fill;
        for (auto [index, colour] : l.pixels) BackBuffer[index] = colour;
        std::vector<uint8_t> memory;
        EXPECT_EQ(Present(memory), !l.bytes.empty());
        for (auto [at, value] : l.bytes) EXPECT_EQ(memory[offset + at], value) << "at " << at;
        TearDown();
    }
}

TEST_F(Presentation, AClosedDisplayIsSkipped) {
    Use({16, 2, 480});
    GXCloseDisplay();
    for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) BackBuffer[i] = 0xFFFF;
    std::vector<uint8_t> memory;
    EXPECT_FALSE(Present(memory));
}

}  // namespace

// Presentation: every display layout against the display memory it must produce.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gfx/gfx.h"
#include "platform/gx.h"
#include "platform/standin.h"

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
    // The display memory exactly as presented, after one PresentBackBuffer.
    std::vector<uint8_t> Present() {
        uint8_t* address = static_cast<uint8_t*>(GXBeginDraw());
        GXEndDraw();
        size_t size = 0;
        const uint8_t* memory = HeadlessDisplayMemory(&size);
        offset = address ? address - memory : 0;
        std::vector<uint8_t> before(memory, memory + size);
        PresentBackBuffer();
        memory = HeadlessDisplayMemory(&size);
        std::vector<uint8_t> after(memory, memory + size);
        changed = before != after;
        return after;
    }
    uint16_t Word(const std::vector<uint8_t>& m, ptrdiff_t at) const {
        uint16_t v;
        std::memcpy(&v, m.data() + offset + at, 2);
        return v;
    }
    void Fill(uint16_t colour) {
        for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) BackBuffer[i] = colour;
    }
    ptrdiff_t offset = 0;
    bool changed = false;
};

TEST_F(Presentation, Colour480IsTheBackBufferByteForByte) {
    Use({16, 2, 480});
    for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) BackBuffer[i] = static_cast<uint16_t>(i * 7);
    auto m = Present();
    EXPECT_EQ(std::memcmp(m.data() + offset, BackBuffer, BackBufferBytes), 0);
}

TEST_F(Presentation, Colour512CopiesRowsAndLeavesThePadding) {
    Use({16, 2, 512});
    Fill(0xABCD);
    auto m = Present();
    EXPECT_EQ(Word(m, 319 * 512 + 478), 0xABCD);
    EXPECT_EQ(Word(m, 5 * 512 + 480), 0) << "the 32 bytes after a row are not written";
    EXPECT_EQ(Word(m, 5 * 512 + 510), 0);
}

TEST_F(Presentation, ColourPerPixelLayouts) {
    Use({16, 4, 960});
    BackBuffer[2 * ScreenWidth + 3] = 0x1111;
    auto m = Present();
    EXPECT_EQ(Word(m, 2 * 960 + 3 * 4), 0x1111);
    EXPECT_EQ(Word(m, 2 * 960 + 3 * 4 + 2), 0) << "every second slot is left alone";
    TearDown();

    Use({16, -640, 2});
    BackBuffer[7 * ScreenWidth + 5] = 0x2222;
    m = Present();
    EXPECT_EQ(Word(m, 7 * 2 - 5 * 640), 0x2222);
    TearDown();

    Use({16, 640, -2});
    BackBuffer[7 * ScreenWidth + 5] = 0x3333;
    m = Present();
    EXPECT_EQ(Word(m, 640 - 7 * 2 + 5 * 640), 0x3333) << "a negative row step starts 640 on";
}

TEST_F(Presentation, Grey16TurnsThePicture) {
    Use({4, 1, 160});
    Fill(0xFFFF);
    auto m = Present();
    for (int i = 0; i < 38400; ++i) ASSERT_EQ(m[offset + i], 0xFF) << i;
    Fill(0);
    for (int x = 0; x < ScreenWidth; ++x) BackBuffer[319 * ScreenWidth + x] = 0xFFFF;
    m = Present();
    for (int line = 0; line < 240; ++line) {
        ASSERT_EQ(m[offset + line * 160], 0xF0);
        ASSERT_EQ(m[offset + line * 160 + 1], 0x00);
    }
    Fill(0);
    BackBuffer[0] = 0xF800;  // top-left pixel: last byte of line 0, low nibble
    m = Present();
    EXPECT_EQ(m[offset + 159], 0x03);
}

TEST_F(Presentation, Grey4PacksTheTopBits) {
    Use({2, 1, 64});
    Fill(0);
    BackBuffer[0] = 0xFFFF;
    BackBuffer[1 * ScreenWidth + 1] = 0xF800;
    BackBuffer[1 * ScreenWidth + 2] = 0x07E0;
    BackBuffer[1 * ScreenWidth + 3] = 0x8410;  // mid grey
    auto m = Present();
    EXPECT_EQ(m[offset + 0], 0xC0);
    EXPECT_EQ(m[offset + 64], 0x32) << "rows are the row step apart";
    EXPECT_EQ(m[offset + 60], 0) << "the gap between rows is not written";
    Fill(0xFFFF);
    m = Present();
    EXPECT_EQ(m[offset + 319 * 64 + 59], 0xFF);
}

TEST_F(Presentation, OtherDepthsAreNeverWritten) {
    Use({8, 1, 240});
    Fill(0xFFFF);
    Present();
    EXPECT_FALSE(changed);
}

TEST_F(Presentation, AClosedDisplayIsSkipped) {
    Use({16, 2, 480});
    GXCloseDisplay();
    Fill(0xFFFF);
    Present();
    EXPECT_FALSE(changed);
}

}  // namespace

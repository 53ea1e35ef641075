// Back buffer primitives: column mapping and keying of image copies, fades, lines, fills.
#include <gtest/gtest.h>

#include <vector>

#include "gfx/gfx.h"

namespace {

class Blitters : public ::testing::Test {
protected:
    void SetUp() override {
        AllocateBackBuffer();
        ClearBackBuffer(0);
    }
    void TearDown() override { ReleaseBackBuffer(); }
    uint16_t At(int x, int y) const { return BackBuffer[y * ScreenWidth + x]; }
    int CountColour(uint16_t colour) const {
        int n = 0;
        for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) n += BackBuffer[i] == colour;
        return n;
    }
};

std::vector<uint16_t> Solid(int w, int h, uint16_t colour) {
    return std::vector<uint16_t>(static_cast<size_t>(w * h), colour);
}

TEST_F(Blitters, ClearIsAByteFill) {
    ClearBackBuffer(0x11F);
    EXPECT_EQ(At(0, 0), 0x1F1F);
    EXPECT_EQ(At(239, 319), 0x1F1F);
}

TEST_F(Blitters, ImageXIsMappedFromGameSpace) {
    auto image = Solid(2, 1, 0x1234);
    DrawImage(BackBuffer, image.data(), 2, 1, 298, 5, 0);
    EXPECT_EQ(At(222, 5), 0);
    EXPECT_EQ(At(223, 5), 0x1234);
    EXPECT_EQ(At(224, 5), 0x1234);
    ClearBackBuffer(0);
    DrawImage(BackBuffer, image.data(), 2, 1, 280, 5, 0);
    EXPECT_EQ(At(210, 5), 0x1234);
    EXPECT_EQ(At(209, 5), 0);
}

TEST_F(Blitters, KeyedCopySkipsKeyAndColumnZeroAndDropsOverhang) {
    auto image = Solid(32, 2, 0x1234);
    image[1] = ImageKey;
    DrawImage(BackBuffer, image.data(), 32, 2, 0, 10, 1);
    EXPECT_EQ(At(0, 10), 0) << "column 0 is never written by a keyed copy";
    EXPECT_EQ(At(1, 10), 0) << "the key colour is transparent";
    EXPECT_EQ(At(2, 10), 0x1234);

    ClearBackBuffer(0);
    DrawImage(BackBuffer, image.data(), 32, 2, 300, 10, 1);  // column 225
    EXPECT_EQ(At(225, 10), 0x1234);
    EXPECT_EQ(At(239, 10), 0x1234);
    EXPECT_EQ(At(0, 11), 0) << "pixels past column 239 must not wrap into the next row";
    EXPECT_EQ(CountColour(0x1234), 14 + 15) << "columns 225..239 of two rows, less one key pixel";
}

TEST_F(Blitters, OpaqueCopyWritesKeyAndColumnZero) {
    auto image = Solid(4, 1, ImageKey);
    DrawImage(BackBuffer, image.data(), 4, 1, 0, 0, 0);
    EXPECT_EQ(At(0, 0), ImageKey);
    EXPECT_EQ(At(3, 0), ImageKey);
}

TEST_F(Blitters, EmptyImagesDrawNothing) {
    auto image = Solid(4, 4, 0xFFFF);
    DrawImage(BackBuffer, image.data(), 0, 4, 10, 10, 0);
    DrawImage(BackBuffer, image.data(), 4, -1, 10, 10, 1);
    EXPECT_EQ(CountColour(0xFFFF), 0);
}

TEST_F(Blitters, FadeScalesEachChannel) {
    std::vector<uint16_t> image{0xFFFF, 0xF800, ImageKey, 0x1234};
    DrawImageFaded(BackBuffer, image.data(), 4, 1, 7, 3, 64);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(At(7 + i, 3), image[i]) << "factor 64 is exact";
    DrawImageFaded(BackBuffer, image.data(), 4, 1, 7, 3, 32);
    EXPECT_EQ(At(7, 3), 0x7BEF);
    EXPECT_EQ(At(8, 3), 0x7800);
    EXPECT_EQ(At(9, 3), 0x03E0) << "the key colour fades like any other";
    DrawImageFaded(BackBuffer, image.data(), 4, 1, 7, 3, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(At(7 + i, 3), 0);
}

TEST_F(Blitters, LinesPlotFromTheUpperEndAndStopBeforeTheOther) {
    DrawLine(0, 15, 15, 0, ColourRed);
    EXPECT_EQ(CountColour(ColourRed), 15);
    EXPECT_EQ(At(15, 0), ColourRed);
    EXPECT_EQ(At(1, 14), ColourRed);
    EXPECT_EQ(At(0, 15), 0);

    ClearBackBuffer(0);
    DrawLine(15, 15, 0, 0, ColourRed);
    EXPECT_EQ(At(0, 0), ColourRed);
    EXPECT_EQ(At(14, 14), ColourRed);
    EXPECT_EQ(At(15, 15), 0);

    ClearBackBuffer(0);
    DrawLine(10, 5, 0, 5, ColourRed);  // equal y keeps the order
    EXPECT_EQ(At(10, 5), ColourRed);
    EXPECT_EQ(At(1, 5), ColourRed);
    EXPECT_EQ(At(0, 5), 0);

    ClearBackBuffer(0);
    DrawLine(0, 0, 0.5f, 3.7f, ColourRed);
    EXPECT_EQ(CountColour(ColourRed), 3);
    EXPECT_EQ(At(0, 2), ColourRed);
}

TEST_F(Blitters, LinesShorterThanAPixelPlotNothing) {
    DrawLine(5, 5, 5, 5, ColourRed);
    DrawLine(5, 5, 5.9f, 5.9f, ColourRed);
    EXPECT_EQ(CountColour(ColourRed), 0);
}

}  // namespace

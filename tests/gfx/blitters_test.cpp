// Lines at the edges no frame of a golden game shows: level ones, ones off the whole-pixel grid,
// ones shorter than a pixel.
#include <gtest/gtest.h>

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

// From the upper end (the first given at equal heights) to just before the other.
TEST_F(Blitters, LinesPlotFromTheUpperEndAndStopBeforeTheOther) {
    DrawLine(10, 5, 0, 5, ColourRed);  // equal y keeps the order
    EXPECT_EQ(At(10, 5), ColourRed);
    EXPECT_EQ(At(1, 5), ColourRed);
    EXPECT_EQ(At(0, 5), 0);

    ClearBackBuffer(0);
    DrawLine(0, 0, 0.5f, 3.7f, ColourRed);
    EXPECT_EQ(CountColour(ColourRed), 3);
    EXPECT_EQ(At(0, 2), ColourRed);

    ClearBackBuffer(0);
    DrawLine(5, 5, 5, 5, ColourRed);
    DrawLine(5, 5, 5.9f, 5.9f, ColourRed);
    EXPECT_EQ(CountColour(ColourRed), 0) << "shorter than a pixel: nothing";
}

}  // namespace

// Input latches: levels follow up and down messages, latches hold until a reader takes them.
#include <gtest/gtest.h>

#include <cstring>

#include "app/app.h"

namespace {

class LatchesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Latches = {};
        KeyMap = {};
        KeyMap.vkUp = 1;
        KeyMap.vkDown = 2;
        KeyMap.vkLeft = 3;
        KeyMap.vkRight = 4;
        KeyMap.vkA = 5;
        KeyMap.vkB = 6;
        KeyMap.vkC = 7;
        KeyMap.vkStart = 8;
    }
};

TEST_F(LatchesTest, TwoTapsBeforeATakeCountOnceAtTheLastPosition) {
    OnStylusDown(10, 20);
    OnStylusUp();
    OnStylusDown(30, 40);
    EXPECT_TRUE(TakeTap());
    EXPECT_FALSE(TakeTap());
    EXPECT_EQ(TapX(), 30);
    EXPECT_EQ(TapY(), 40);
    EXPECT_TRUE(PenDown());
    OnStylusUp();
    EXPECT_FALSE(PenDown());
    EXPECT_EQ(TapX(), 30) << "the tap position stays until the next stylus down";
}

TEST_F(LatchesTest, MovingWithThePenUpOnlyMovesThePen) {
    OnStylusMove(100, 200);
    EXPECT_FALSE(PenDown());
    EXPECT_FALSE(TakeTap());
    EXPECT_EQ(PenX(), 100);
    EXPECT_EQ(PenY(), 200);
}

TEST_F(LatchesTest, NegativeWindowPositionsArriveUnsigned) {
    OnStylusDown(0xFFFF, 5);
    EXPECT_EQ(TapX(), 65535);
    EXPECT_EQ(PenX(), 65535);
}

TEST_F(LatchesTest, AReleaseCancelsAButNotB) {
    OnKeyDown(5);
    OnKeyUp(5);
    EXPECT_FALSE(TakeKeyA());
    OnKeyDown(6);
    OnKeyUp(6);
    EXPECT_TRUE(TakeKeyB());
    EXPECT_FALSE(TakeKeyB());
}

TEST_F(LatchesTest, RepeatedKeyDownsLatchAgain) {
    OnKeyDown(5);
    EXPECT_TRUE(TakeKeyA());
    OnKeyDown(5);
    EXPECT_TRUE(TakeKeyA());
}

TEST_F(LatchesTest, HeldButtonsAreLevels) {
    OnKeyDown(3);
    OnKeyDown(1);
    EXPECT_TRUE(HeldLeft());
    EXPECT_TRUE(HeldUp());
    EXPECT_FALSE(HeldRight());
    OnKeyUp(3);
    EXPECT_FALSE(HeldLeft());
    EXPECT_TRUE(HeldUp());
}

TEST_F(LatchesTest, UnknownAndUnusedCodesChangeNothing) {
    OnKeyDown(99);
    OnKeyDown(7);
    OnKeyDown(8);
    InputLatches none{};
    EXPECT_EQ(std::memcmp(&Latches, &none, sizeof none), 0);
}

TEST_F(LatchesTest, ACodeSharedByTwoButtonsDrivesBoth) {
    KeyMap.vkB = KeyMap.vkLeft;
    OnKeyDown(3);
    EXPECT_TRUE(HeldLeft());
    EXPECT_TRUE(TakeKeyB());
    OnKeyDown(3);
    OnKeyUp(3);
    EXPECT_FALSE(HeldLeft());
    EXPECT_TRUE(TakeKeyB()) << "B stays latched after its key goes up";
}

}  // namespace

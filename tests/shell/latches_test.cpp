// Input latches where no golden game goes: taps within one pass, the pen moved while up, the A
// and B buttons, codes shared or unknown.
#include <gtest/gtest.h>

#include <cstring>

#include "shell/shell.h"

namespace {

class LatchesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Latches = {};
        KeyMap = {};
        int16_t code = 1;  // up 1, down 2, left 3, right 4, A 5, B 6, C 7, start 8
        for (int16_t* key : {&KeyMap.vkUp, &KeyMap.vkDown, &KeyMap.vkLeft, &KeyMap.vkRight,
                             &KeyMap.vkA, &KeyMap.vkB, &KeyMap.vkC, &KeyMap.vkStart}) {
            *key = code++;
        }
    }
};

TEST_F(LatchesTest, TwoTapsInAPassCountOnceAtTheLastAndAMoveWithThePenUpOnlyMovesThePen) {
    OnStylusDown(10, 20);
    OnStylusUp();
    OnStylusDown(0xFFFF, 40);  // left of the window: the position arrives unsigned
    EXPECT_TRUE(TakeTap());
    EXPECT_FALSE(TakeTap());
    EXPECT_TRUE(TapX() == 65535 && TapY() == 40 && PenX() == 65535 && PenDown());
    OnStylusUp();
    OnStylusMove(100, 200);
    EXPECT_FALSE(PenDown() || TakeTap());
    EXPECT_TRUE(PenX() == 100 && PenY() == 200);
    EXPECT_EQ(TapX(), 65535) << "the tap position stays until the next stylus down";
}

TEST_F(LatchesTest, AReleaseCancelsAButNotBAndACodeSharedByTwoButtonsDrivesBoth) {
    OnKeyDown(5);
    OnKeyUp(5);
    EXPECT_FALSE(TakeKeyA());
    OnKeyDown(5);
    EXPECT_TRUE(TakeKeyA());
    OnKeyDown(5);
    EXPECT_TRUE(TakeKeyA()) << "a repeated key down latches again";
    OnKeyDown(6);
    OnKeyUp(6);
    EXPECT_TRUE(TakeKeyB());
    EXPECT_FALSE(TakeKeyB());
    OnKeyDown(99);
    OnKeyDown(7);
    OnKeyDown(8);
    InputLatches none{};
    EXPECT_EQ(std::memcmp(&Latches, &none, sizeof none), 0) << "unknown and unused codes";
    KeyMap.vkB = KeyMap.vkLeft;
    OnKeyDown(3);
    EXPECT_TRUE(HeldLeft());
    OnKeyUp(3);
    EXPECT_FALSE(HeldLeft());
    EXPECT_TRUE(TakeKeyB()) << "B stays latched after its key goes up";
}

// Each key down's navigation presses, for the pass after its pump only; a held key's repeats
// move on but never select, go back or mute again. No scan code: a controller's button.
TEST_F(LatchesTest, NavigationPressesWaitOnePumpAndRepeatsOnlyMove) {
    struct Down { int16_t code; uint8_t scanCode; bool repeat; uint16_t any, pad; };
    const Down downs[] = {
        {5, 44, false, 0, 0},  // A fires; it moves nothing
        {3, 30, true, NavLeft, 0},   {1, 0, true, NavUp, NavUp},   {8, 0, false, NavSelect, NavSelect},
        {8, 28, true, 0, 0},         {VK_SPACE, 57, false, NavSelect, 0}, {VK_ESCAPE, 1, true, 0, 0},
        {VK_GAMEPAD_MENU, 0, false, NavDone, NavDone}, {VK_GAMEPAD_B, 0, false, NavCancel, NavCancel},
        {VK_GAMEPAD_B, 0, true, 0, 0}, {'M', 0, false, NavMute, NavMute}};
    for (const Down& down : downs) {
        StartPumpInput();
        OnNavigationKey(down.code, down.scanCode, down.repeat);
        EXPECT_TRUE(Latches.navigation == down.any && Latches.padNavigation == down.pad) << down.code;
    }
    EXPECT_TRUE(TakeNavigation(NavMute, true));
    EXPECT_FALSE(TakeNavigation(NavMute, false)) << "taken once";
    OnNavigationKey(4, 33, false);
    StartPumpInput();
    EXPECT_FALSE(TakeNavigation(NavRight, false)) << "gone at the next pump";
}

// A key the player put a game button on is that button only, never the desktop's Space,
// Escape or M as well: Escape as A fires and never goes back, and so on.
TEST_F(LatchesTest, AKeyMovedOntoSpaceEscapeOrMIsThatButtonOnly) {
    const struct {
        int16_t GXKeyList::*button;
        int16_t code;
        uint8_t press;
    } moves[] = {
        {&GXKeyList::vkA, VK_ESCAPE, 0},         {&GXKeyList::vkB, VK_SPACE, 0},
        {&GXKeyList::vkC, 'M', 0},               {&GXKeyList::vkStart, VK_SPACE, NavSelect},
        {&GXKeyList::vkUp, 'M', NavUp},          {&GXKeyList::vkDown, VK_ESCAPE, NavDown}};
    for (const auto& move : moves) {
        SCOPED_TRACE(move.code);
        SetUp();
        KeyMap.*move.button = move.code;
        StartPumpInput();
        OnKeyDown(move.code);
        OnNavigationKey(move.code, 1, false);
        EXPECT_EQ(Latches.navigation, move.press);
        EXPECT_EQ(TakeKeyA(), move.button == &GXKeyList::vkA);
        EXPECT_EQ(TakeKeyB(), move.button == &GXKeyList::vkB);
    }
}

}  // namespace

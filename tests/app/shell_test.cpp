// The shell over the headless host: the pump, the clock, and the window procedure's table.
#include <gtest/gtest.h>

#include "app/app.h"
#include "shell/shell.h"
#include "game/game.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"

namespace {

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessHost(HeadlessOptions{});
        Latches = {};
        Inactive = false;
        MainWindow = nullptr;
        RunFlag = 0;
        CloseRequests = 0;
        ASSERT_TRUE(RegisterWindowClass(nullptr));
        ASSERT_TRUE(CreateMainWindow(nullptr, SW_SHOW));
    }
    void TearDown() override { StopHeadlessHost(); }
    RECT Rect() {
        RECT r{};
        GetWindowRect(MainWindow, &r);
        return r;
    }
    static void ExpectRect(const RECT& r, LONG top, LONG height) {
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, top);
        EXPECT_EQ(r.right, 240);
        EXPECT_EQ(r.bottom - r.top, height);
    }
};

TEST_F(Shell, ThePumpConsumesQuitAndKeepsGoing) {
    PostQuitMessage(0);
    PostMessageW(MainWindow, WM_LBUTTONDOWN, 0, MAKELPARAM(12, 34));
    PostMessageW(MainWindow, WM_MOUSEMOVE, 0, MAKELPARAM(13, 35));
    PresentFrame(true);
    MSG msg;
    EXPECT_EQ(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE), 0) << "the queue is left empty";
    EXPECT_TRUE(TakeTap()) << "messages after the quit are still handled";
    EXPECT_EQ(TapX(), 12);
    EXPECT_EQ(TapY(), 34);
    EXPECT_TRUE(PenDown() && PenX() == 13 && PenY() == 35);
}

TEST_F(Shell, ElapsedMsCrossesTheTickWrap) {
    HeadlessSetTick(0xFFFFFFFFu - 255);
    ResetClock();
    EXPECT_EQ(ElapsedMs(), 0);
    HeadlessAdvanceClock(512);
    EXPECT_EQ(ElapsedMs(), 512);
    EXPECT_EQ(TickCount(), 256u);
}

// The handheld's taskbar: each deactivation moves the logical window down; the display is closed
// and the pump sleeps from the next pass on until an activation.
TEST_F(Shell, DeactivationGivesTheScreenBackAndActivationTakesIt) {
    ExpectRect(Rect(), 0, 320);
    PostMessageW(MainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    DWORD start = GetTickCount();
    PresentFrame(false);
    DWORD first = GetTickCount() - start;
    EXPECT_TRUE(Inactive);
    ExpectRect(Rect(), 26, 268);
    EXPECT_EQ(GXBeginDraw(), nullptr) << "the display is closed while inactive";
    start = GetTickCount();
    PresentFrame(false);
    EXPECT_EQ(GetTickCount() - start, first + 1) << "the deactivating pass doesn't sleep";
    PostMessageW(MainWindow, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    PresentFrame(false);
    EXPECT_FALSE(Inactive);
    ExpectRect(Rect(), 0, 320);
    EXPECT_NE(GXBeginDraw(), nullptr);
    GXEndDraw();
    PostMessageW(MainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    PostMessageW(MainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    PostMessageW(MainWindow, WM_ACTIVATE, 7, 0);
    PresentFrame(false);
    EXPECT_TRUE(Inactive) << "an unknown activation code changes nothing";
    ExpectRect(Rect(), 52, 242);
}

}  // namespace

// The shell over the headless host: the pump, the clock, and the window procedure's table.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/app.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "platform/standin.h"

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
    PresentFrame(true);
    MSG msg;
    EXPECT_EQ(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE), 0) << "the queue is left empty";
    EXPECT_TRUE(TakeTap()) << "messages after the quit are still handled";
    EXPECT_EQ(TapX(), 12);
    EXPECT_EQ(TapY(), 34);
}

// A window procedure that posts a further message while it dispatches.
int chained = 0;
LRESULT ChainingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENABLE && chained++ == 0) PostMessageW(window, WM_ENABLE, 0, 0);
    return WindowProc(window, message, wParam, lParam);
}

TEST_F(Shell, MessagesPostedDuringDispatchAreHandledInTheSameCall) {
    StopHeadlessHost();
    StartHeadlessHost(HeadlessOptions{});
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ChainingProc;
    windowClass.lpszClassName = WindowClassName;
    ASSERT_TRUE(RegisterClassW(&windowClass));
    ASSERT_TRUE(CreateMainWindow(nullptr, SW_SHOW));
    chained = 0;
    PostMessageW(MainWindow, WM_ENABLE, 0, 0);
    PresentFrame(false);
    EXPECT_EQ(chained, 2);
}

TEST_F(Shell, PresentFalseOnlyPumps) {
    size_t size = 0;
    const uint8_t* memory = HeadlessDisplayMemory(&size);
    std::vector<uint8_t> before(memory, memory + size);
    AllocateBackBuffer();
    ClearBackBuffer(0xFF);
    DisplayFormat = {16, 2, 480};
    HeadlessStylusDown(1, 2);
    PresentFrame(false);
    memory = HeadlessDisplayMemory(&size);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), memory));
    EXPECT_TRUE(TakeTap());
    ReleaseBackBuffer();
}

TEST_F(Shell, ElapsedMsCrossesTheTickWrap) {
    HeadlessSetTick(0xFFFFFFFFu - 255);
    ResetClock();
    EXPECT_EQ(ElapsedMs(), 0);
    HeadlessAdvanceClock(512);
    EXPECT_EQ(ElapsedMs(), 512);
    EXPECT_EQ(TickCount(), 256u);
}

TEST_F(Shell, DeactivationGivesTheScreenBackAndActivationTakesIt) {
    ExpectRect(Rect(), 0, 320);
    PostMessageW(MainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    PresentFrame(false);
    EXPECT_TRUE(Inactive);
    ExpectRect(Rect(), 26, 268);
    EXPECT_EQ(GXBeginDraw(), nullptr) << "the display is closed while inactive";
    PostMessageW(MainWindow, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    PresentFrame(false);
    EXPECT_FALSE(Inactive);
    ExpectRect(Rect(), 0, 320);
    EXPECT_NE(GXBeginDraw(), nullptr);
    GXEndDraw();
}

TEST_F(Shell, TwoDeactivationsMoveTheWindowTwice) {
    PostMessageW(MainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    PostMessageW(MainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    PresentFrame(false);
    ExpectRect(Rect(), 52, 242);
    PostMessageW(MainWindow, WM_ACTIVATE, 7, 0);
    PresentFrame(false);
    EXPECT_TRUE(Inactive) << "an unknown activation code changes nothing";
    ExpectRect(Rect(), 52, 242);
}

TEST_F(Shell, InactiveSleepsFromTheNextPresentOn) {
    DWORD start = GetTickCount();
    PostMessageW(MainWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    PresentFrame(false);
    DWORD first = GetTickCount() - start;
    start = GetTickCount();
    PresentFrame(false);
    DWORD second = GetTickCount() - start;
    EXPECT_EQ(second, first + 1) << "the deactivating call doesn't sleep; the next one does";
}

TEST_F(Shell, InputMessagesReachTheLatches) {
    KeyMap = GXGetDefaultKeys(GX_NORMALKEYS);
    HeadlessKeyDown(KeyMap.vkLeft);
    HeadlessKeyDown(KeyMap.vkB);
    HeadlessStylusDown(200, 300);
    HeadlessStylusMove(201, 301);
    PresentFrame(false);
    EXPECT_TRUE(HeldLeft());
    EXPECT_TRUE(TakeKeyB());
    EXPECT_TRUE(PenDown());
    EXPECT_EQ(PenX(), 201);
    EXPECT_EQ(TapY(), 300);
    HeadlessStylusUp();
    HeadlessKeyUp(KeyMap.vkLeft);
    PresentFrame(false);
    EXPECT_FALSE(PenDown());
    EXPECT_FALSE(HeldLeft());
}

TEST_F(Shell, CloseRequestsQuitLikeTheExitIcon) {
    HeadlessClose();
    PresentFrame(false);
    EXPECT_EQ(RunFlag, QuitRunFlag);
    EXPECT_EQ(CloseRequests, 1);
    HeadlessClose();
    PresentFrame(false);
    EXPECT_EQ(CloseRequests, 2);
}

}  // namespace

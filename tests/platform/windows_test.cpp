// Windows and messages over the headless host: queue, dispatch, creation, rectangles, taskbar, input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/standin.h"
#include "platform/winapi.h"

namespace {

constexpr UINT WM_TEST = 0x0400;

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
};

std::vector<Seen> seen;
bool refuseCreate = false;
int chainLeft = 0;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    seen.push_back({window, message, wParam});
    if (message == WM_CREATE && refuseCreate) return -1;
    if (message == WM_TEST && chainLeft > 0) {
        --chainLeft;
        PostMessageW(window, WM_TEST, wParam + 1, 0);
    }
    return 0;
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessHost(HeadlessOptions{});
        seen.clear();
        refuseCreate = false;
        chainLeft = 0;
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = u"Marrowdale";
        ASSERT_NE(RegisterClassW(&windowClass), 0);
    }
    void TearDown() override { StopHeadlessHost(); }
    static HWND Create() {
        return CreateWindowExW(WS_EX_TOPMOST, u"Marrowdale", u"Marrowdale", WS_VISIBLE, 0, 0, 240,
                               320, nullptr, nullptr, nullptr, nullptr);
    }
    static RECT Rect(HWND window) {
        RECT r{-1, -1, -1, -1};
        EXPECT_TRUE(GetWindowRect(window, &r));
        return r;
    }
};

TEST_F(Windows, CreateSendsWmCreateBeforeReturning) {
    HWND window = Create();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, WM_CREATE);
    EXPECT_EQ(seen[0].window, window);
    EXPECT_EQ(HeadlessMainWindow(), window);
    EXPECT_EQ(FindWindowW(u"Marrowdale", nullptr), window) << "the running copy is found in-process";
    EXPECT_EQ(FindWindowW(u"Marrowdale", u"Other title"), nullptr);
}

TEST_F(Windows, CreationFailsForRefusalsAndUnknownClasses) {
    refuseCreate = true;
    EXPECT_EQ(Create(), nullptr) << "WM_CREATE returning -1 refuses the window";
    EXPECT_EQ(HeadlessMainWindow(), nullptr);
    EXPECT_EQ(FindWindowW(u"Marrowdale", nullptr), nullptr);
    refuseCreate = false;
    EXPECT_NE(Create(), nullptr);
    EXPECT_EQ(CreateWindowExW(0, u"Nobody", u"x", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    WNDCLASSW again{};
    again.lpfnWndProc = RecordingProc;
    again.lpszClassName = u"Marrowdale";
    EXPECT_EQ(RegisterClassW(&again), 0) << "a class name is registered once";
}

TEST_F(Windows, QuitIsAnOrdinaryQueuedMessage) {
    HWND window = Create();
    PostQuitMessage(7);
    PostMessageW(window, WM_TEST, 1, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0) << "GetMessageW reports the quit";
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(DispatchMessageW(&msg), 0) << "a quit has no window to go to";
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 1) << "what follows the quit is still there";
    EXPECT_EQ(msg.message, WM_TEST);
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), -1) << "headless: nothing more can come, no wait";
}

TEST_F(Windows, MessagesPostedDuringDispatchComeAtTheNextPeek) {
    HWND window = Create();
    chainLeft = 2;
    PostMessageW(window, WM_TEST, 10, 0);
    MSG msg{};
    int dispatched = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
        ++dispatched;
    }
    EXPECT_EQ(dispatched, 3);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3].wParam, 12u);
}

TEST_F(Windows, PeekFiltersByWindowAndRange) {
    HWND window = Create();
    PostMessageW(nullptr, WM_TEST, 1, 0);
    PostMessageW(window, WM_KEYDOWN, 2, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) << "the thread message is skipped";
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_KEYDOWN, WM_KEYUP, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_TEST);
}

TEST_F(Windows, UnknownWindowsAreRefusedWithoutBeingRead) {
    HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    RECT r{};
    EXPECT_FALSE(GetWindowRect(bogus, &r));
    EXPECT_FALSE(MoveWindow(bogus, 0, 0, 1, 1, TRUE));
    EXPECT_FALSE(ShowWindow(bogus, SW_SHOW));
    EXPECT_FALSE(PostMessageW(bogus, WM_TEST, 0, 0));
    MSG msg{};
    msg.hwnd = bogus;
    msg.message = WM_TEST;
    EXPECT_EQ(DispatchMessageW(&msg), 0);
    EXPECT_FALSE(GetWindowRect(nullptr, &r));
    EXPECT_TRUE(seen.empty());
}

TEST_F(Windows, TheLogicalRectangleFollowsMoveWindow) {
    HWND window = Create();
    RECT r = Rect(window);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320);
    ASSERT_TRUE(MoveWindow(window, 0, 26, 240, 268, TRUE));
    r = Rect(window);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.bottom, 294);
    ASSERT_TRUE(MoveWindow(window, r.left, r.top - 26, r.right, r.bottom + 26, TRUE));
    r = Rect(window);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 320);
}

TEST_F(Windows, TaskbarVisibilityAndFullScreenFlagsAreKeptAndReset) {
    HWND window = Create();
    HWND taskbar = FindWindowW(u"HHTaskbar", nullptr);
    ASSERT_NE(taskbar, nullptr);
    EXPECT_TRUE(HeadlessTaskbarVisible());
    EXPECT_TRUE(ShowWindow(taskbar, SW_HIDE)) << "it was visible before";
    EXPECT_FALSE(HeadlessTaskbarVisible());
    EXPECT_FALSE(SHFullScreen(nullptr, 0x2A)) << "no window, nothing recorded";
    EXPECT_TRUE(SHFullScreen(window, 0x2A));
    EXPECT_EQ(HeadlessFullScreenState(), 0x2Au);
    StartHeadlessHost(HeadlessOptions{});
    EXPECT_TRUE(HeadlessTaskbarVisible());
    EXPECT_EQ(HeadlessFullScreenState(), 0u);
    EXPECT_EQ(HeadlessMainWindow(), nullptr);
    EXPECT_EQ(FindWindowW(u"Marrowdale", nullptr), nullptr) << "classes and windows are gone";
}

TEST_F(Windows, ScriptedInputWaitsForTheGameWindow) {
    HeadlessStylusDown(-1, 300);
    HeadlessKeyDown(0x5A);
    HWND window = Create();
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(msg.message, WM_LBUTTONDOWN);
    EXPECT_EQ(LOWORD(static_cast<uintptr_t>(msg.lParam)), 65535) << "unsigned 16-bit form";
    EXPECT_EQ(HIWORD(static_cast<uintptr_t>(msg.lParam)), 300);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    EXPECT_EQ(msg.wParam, 0x5Au);
    HeadlessStylusUp();
    HeadlessClose();
    ASSERT_TRUE(PeekMessageW(&msg, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_LBUTTONUP);
    ASSERT_TRUE(PeekMessageW(&msg, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_CLOSE);
}

TEST(Icon, ComesFromBesideTheExecutableOrNotAtAll) {
    HeadlessOptions options;
    std::string beside = std::string(MARROWDALE_BUILD_DIR) + "/marrowdale";
    options.modulePath = beside.c_str();
    StartHeadlessHost(options);
    EXPECT_NE(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), nullptr) << "Graph/icon32.bmp";
    options.modulePath = "/nonexistent/folder/marrowdale";
    StartHeadlessHost(options);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), nullptr) << "a missing icon is no error";
    StopHeadlessHost();
}

TEST(StockObjects, TheBlackBrushIsAToken) {
    EXPECT_NE(GetStockObject(4), nullptr);
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(DefWindowProcW(nullptr, WM_CLOSE, 0, 0), 0);
}

}  // namespace

// The real SDL host: screen placement, key codes, and runs in child processes (start, signals, one copy).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>

#include "platform/gx.h"
#include "platform/host.h"
#include "platform/standin.h"
#include "platform/winapi.h"
#include "tests/platform/child.h"

namespace {

using platformtest::ReadByte;
using platformtest::StartChild;
using platformtest::WaitChild;

TEST(ScreenPlacement, IntegerScalesCentredAndShrunkWhenSmall) {
    ScreenPlace p = PlaceScreen(480, 640);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    EXPECT_EQ(p.width, 480);
    EXPECT_EQ(p.height, 640);
    p = PlaceScreen(1920, 1080);  // a full-screen desktop: scale 3, bars left and right
    EXPECT_EQ(p.width, 720);
    EXPECT_EQ(p.height, 960);
    EXPECT_EQ(p.x, 600);
    EXPECT_EQ(p.y, 60);
    p = PlaceScreen(120, 400);
    EXPECT_EQ(p.width, 120);
    EXPECT_EQ(p.height, 160);
    EXPECT_EQ(p.y, 120);
}

TEST(ScreenPlacement, WindowPointsMapToScreenPixelsClamped) {
    auto at = [](int x, int y, int w, int h) {
        POINT p = AreaToScreen(x, y, w, h);
        return std::make_pair(static_cast<int>(p.x), static_cast<int>(p.y));
    };
    EXPECT_EQ(at(0, 0, 480, 640), std::make_pair(0, 0));
    EXPECT_EQ(at(479, 639, 480, 640), std::make_pair(239, 319));
    EXPECT_EQ(at(201, 401, 480, 640), std::make_pair(100, 200));
    EXPECT_EQ(at(600 + 3 * 50, 60 + 3 * 70, 1920, 1080), std::make_pair(50, 70)) << "letterboxed";
    EXPECT_EQ(at(10, 500, 1920, 1080), std::make_pair(0, 146)) << "the left bar clamps to x 0";
    EXPECT_EQ(at(-40, 2000, 480, 640), std::make_pair(0, 319)) << "dragged outside the window";
}

TEST(Keys, KeyCodesBecomeVirtualKeys) {
    EXPECT_EQ(VirtualKeyForKeycode('a'), 'A');
    EXPECT_EQ(VirtualKeyForKeycode('z'), 'Z');
    EXPECT_EQ(VirtualKeyForKeycode('7'), '7');
    EXPECT_EQ(VirtualKeyForKeycode('\r'), VK_RETURN);
    EXPECT_EQ(VirtualKeyForKeycode(27), VK_ESCAPE);
    EXPECT_EQ(VirtualKeyForKeycode(' '), VK_SPACE);
    EXPECT_EQ(VirtualKeyForKeycode('`'), 0);
    EXPECT_EQ(VirtualKeyForKeycode('A'), 0) << "SDL key codes are lower case";
}

LRESULT QuietProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

bool closeSeen = false;
LRESULT ClosingProc(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) closeSeen = true;
    return 0;
}

HWND CreateGameWindow(WNDPROC procedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = u"Marrowdale";
    if (!RegisterClassW(&windowClass)) return nullptr;
    return CreateWindowExW(WS_EX_TOPMOST, u"Marrowdale", u"Marrowdale", WS_VISIBLE, 0, 0, 240, 320,
                           nullptr, nullptr, nullptr, nullptr);
}

class RealHost : public ::testing::Test {
protected:
    void SetUp() override { runtime = platformtest::MakePrivateFolder(); }
    void TearDown() override { platformtest::RemoveFolder(runtime); }
    std::string runtime;
};

TEST_F(RealHost, StartsUnderDummyDriversAndSignalsBecomeCloseMessages) {
    pid_t child = StartChild(runtime, [] {
        if (!StartStandIn(StandInOptions{})) return 10;
        HWND window = CreateGameWindow(QuietProc);
        if (!window) return 11;
        std::raise(SIGINT);
        std::raise(SIGTERM);
        MSG msg{};
        int closes = 0;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_CLOSE && msg.hwnd == window) ++closes;
        }
        if (closes != 2) return 12;
        GXOpenDisplay(nullptr, GX_FULLSCREEN);
        auto* display = static_cast<uint16_t*>(GXBeginDraw());
        if (!display) return 13;
        display[0] = 0xFFFF;
        GXEndDraw();
        PaceFrame();
        StopStandIn();
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        return now.sa_handler == SIG_DFL ? 0 : 14;
    });
    EXPECT_EQ(WaitChild(child, 20000), 0);
}

TEST_F(RealHost, NoVideoIsAFailedStartWithAReason) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = StartChild(runtime, [&] {
        setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
        dup2(fds[1], 2);
        return StartStandIn(StandInOptions{}) ? 1 : 0;
    });
    close(fds[1]);
    EXPECT_EQ(WaitChild(child, 20000), 0);
    char text[512] = {};
    ssize_t n = read(fds[0], text, sizeof text - 1);
    close(fds[0]);
    std::string said(text, n > 0 ? static_cast<size_t>(n) : 0);
    EXPECT_NE(said.find("marrowdale: no video device"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

// The first copy: opens its window, says so on ready, pumps until a WM_CLOSE (a signal from
// the test), then reports how many raise requests it served.
int RunFirstCopy(int ready) {
    if (!StartStandIn(StandInOptions{})) return 10;
    if (FindWindowW(u"Marrowdale", nullptr)) return 11;
    if (!CreateGameWindow(ClosingProc)) return 12;
    if (write(ready, "R", 1) != 1) return 13;
    MSG msg{};
    for (int pass = 0; !closeSeen; ++pass) {
        if (pass > 2000) return 14;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        PaceFrame();
    }
    char raises = static_cast<char>(InstanceRaiseRequests());
    if (write(ready, &raises, 1) != 1) return 15;
    StopStandIn();
    return 0;
}

// A later copy: 0 when it finds the first copy and gets its raise request through.
int RunSecondCopy() {
    if (!StartStandIn(StandInOptions{})) return 20;
    HWND running = FindWindowW(u"Marrowdale", nullptr);
    if (!running) return 21;
    if (!ShowWindow(running, SW_SHOW)) return 22;
    StopStandIn();
    return 0;
}

// A copy that expects to be alone: 0 when nobody runs and it can publish its own window.
int RunLoneCopy() {
    if (!StartStandIn(StandInOptions{})) return 30;
    if (FindWindowW(u"Marrowdale", nullptr)) return 31;
    if (!CreateGameWindow(QuietProc)) return 32;
    StopStandIn();
    return 0;
}

TEST_F(RealHost, OneCopyPerUserAcrossProcesses) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
    pid_t first = StartChild(runtime, [&] { return RunFirstCopy(fds[1]); });
    ASSERT_EQ(ReadByte(fds[0], 20000), 'R') << "the first copy opened its window";

    pid_t second = StartChild(runtime, RunSecondCopy);
    EXPECT_EQ(WaitChild(second, 20000), 0) << "the second copy found the first and asked it";

    kill(first, SIGTERM);
    int raises = ReadByte(fds[0], 20000);
    EXPECT_GE(raises, 1) << "the first copy served the raise request";
    EXPECT_EQ(WaitChild(first, 20000), 0) << "SIGTERM closed the first copy cleanly";
    close(fds[0]);
    close(fds[1]);

    pid_t third = StartChild(runtime, RunLoneCopy);
    EXPECT_EQ(WaitChild(third, 20000), 0) << "after the first copy ended, a new start is free";
}

TEST_F(RealHost, AKilledCopyLeavesNothingThatCountsAsRunning) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
    pid_t first = StartChild(runtime, [&] { return RunFirstCopy(fds[1]); });
    ASSERT_EQ(ReadByte(fds[0], 20000), 'R');
    kill(first, SIGKILL);
    WaitChild(first, 20000);
    close(fds[0]);
    close(fds[1]);
    struct stat info {};
    EXPECT_EQ(stat((runtime + "/marrowdale-Marrowdale.socket").c_str(), &info), 0)
        << "the dead copy's socket is still there";
    pid_t next = StartChild(runtime, RunLoneCopy);
    EXPECT_EQ(WaitChild(next, 20000), 0);
}

TEST_F(RealHost, AnOpenRuntimeFolderIsNotUsed) {
    chmod(runtime.c_str(), 0777);
    pid_t child = StartChild(runtime, [] {
        if (!StartStandIn(StandInOptions{})) return 40;
        HWND window = CreateGameWindow(QuietProc);
        StopStandIn();
        return window ? 0 : 41;
    });
    EXPECT_EQ(WaitChild(child, 20000), 0);
    struct stat info {};
    EXPECT_NE(stat((runtime + "/marrowdale-Marrowdale.lock").c_str(), &info), 0)
        << "nothing is put in a folder others can write";
    chmod(runtime.c_str(), 0700);
}

}  // namespace

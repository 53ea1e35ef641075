// The headless host: window creation, the queue and dispatch, the clocks, the display.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "gfx/gfx.h"
#include "handheld/gx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "tests/handheld/helpers.h"

// From handheld/system.h, whose screen constants clash with gfx.h's.
void StartPassSchedule(int passMs);
bool TakeChangedFrame();

namespace {

using namespace platformtest;
using Clock = std::chrono::steady_clock;

constexpr UINT WM_TEST = 0x0400;

std::vector<MSG> seen;
int chainLeft = 0;

// Records every message; WM_TEST posts the next one chainLeft times.
LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    seen.push_back({window, message, wParam, 0, 0, {}});
    if (message == WM_TEST && chainLeft-- > 0) PostMessageW(window, WM_TEST, wParam + 1, 0);
    return 0;
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        StartHeadlessHost(HeadlessOptions{});
        seen.clear();
        window = CreateGameWindow(RecordingProc);
    }
    void TearDown() override { StopHeadlessHost(); }
    HWND window = nullptr;
};

// WM_CREATE reaches the procedure before the window is handed out; WM_QUIT waits in line like
// any message; what a dispatch posts comes at a later peek.
TEST_F(Windows, TheQueueKeepsOrderAndQuitIsAnOrdinaryMessage) {
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].hwnd == window && seen[0].message == WM_CREATE);
    PostQuitMessage(7);
    PostMessageW(window, WM_TEST, 10, 0);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0) << "GetMessageW reports the quit";
    EXPECT_EQ(msg.wParam, 7u);
    chainLeft = 2;
    std::vector<WPARAM> fetched;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        fetched.push_back(msg.wParam);
        EXPECT_EQ(msg.hwnd, window);
        EXPECT_EQ(seen.size(), fetched.size()) << "nothing is delivered inside a dispatch";
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(fetched, (std::vector<WPARAM>{10, 11, 12}));
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), -1) << "headless: nothing more can come, no wait";
}

std::vector<std::pair<int, DWORD>> hookCalls;
void RecordPass(int pass, void*) { hookCalls.push_back({pass, GetTickCount()}); }

TEST(VirtualClock, CrossesTheWrapMovesOnlyWhenToldAndHooksEachPass) {
    StartHeadlessHost({.startTick = 0xFFFFFFF0u});
    hookCalls.clear();
    HeadlessSetPassHook(RecordPass, nullptr);
    PaceFrame();
    PaceFrame();
    Sleep(40);
    EXPECT_EQ(GetTickCount(), 50u) << "Sleep moves the clock instead of waiting";
    EXPECT_EQ(hookCalls, (std::vector<std::pair<int, DWORD>>{{1, 0xFFFFFFFDu}, {2, 10}}))
        << "13 ms passes, hooked after the clock moved";
    StartHeadlessHost(HeadlessOptions{});
    PaceFrame();
    EXPECT_EQ(HeadlessPassCount(), 1) << "a new start counts afresh";
    EXPECT_EQ(hookCalls.size(), 2u) << "the hook went with the old start";
    StopHeadlessHost();
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Work inside a pass doesn't add to the period, and a stall isn't repaid by a burst. The tick
// the game reads moves a whole period each pass (never the 9 or 12 ms a truncated real clock
// gives, which makes a task due after more than 12 ms skip passes) and keeps to real time.
TEST(RealClock, PacingKeepsAScheduleWithoutDriftOrBursts) {
    StartPassSchedule(10);
    auto start = Clock::now();
    DWORD tickAtStart = GetTickCount();
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(7000 + 50 * i));
        DWORD before = GetTickCount();
        PaceFrame();
        EXPECT_GE(GetTickCount() - before, 10u) << "pass " << i;
    }
    // A late pass leaves the schedule behind real time by less than a period.
    double ticked = GetTickCount() - tickAtStart;
    EXPECT_LE(ticked, MsSince(start) + 2.0) << "the tick keeps real time";
    EXPECT_GE(ticked, MsSince(start) - 10.0) << "the tick keeps real time";
    EXPECT_GE(MsSince(start) / 30, 9.5) << "no pass comes early (how late is bench_pace's)";
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    DWORD beforeStall = GetTickCount();
    PaceFrame();
    EXPECT_GE(GetTickCount() - beforeStall, 60u) << "a stall moves the clock on once";
    start = Clock::now();
    for (int i = 0; i < 3; ++i) PaceFrame();
    EXPECT_GE(MsSince(start), 18.0) << "after a stall the pace starts afresh";
}

// The handheld C runtime's sequence, whatever C library built the game: the golden games only
// show that a replay draws what its recording drew, not that both draw the handheld's numbers.
TEST(HandheldRandom, SeedsGiveTheHandheldSequence) {
    for (auto [seed, first, second] : {std::tuple{1u, 41, 18467}, std::tuple{0u, 38, 7719}}) {
        Crt::srand(seed);
        EXPECT_EQ(Crt::rand(), first);
        EXPECT_EQ(Crt::rand(), second);
    }
}

TEST(DisplayLayouts, KnownDepthsAndStepsAreAcceptedAndTheRestRefused) {
    const std::tuple<const char*, int, int, int> accepted[] = {
        {"16", 16, 2, 480}, {"16:2:512", 16, 2, 512}, {"16:-640:2", 16, -640, 2}, {"4", 4, 1, 160},
        {"2", 2, 1, 60}, {"2:1:64", 2, 1, 64}, {"16:640:-2", 16, 640, -2}};
    for (auto [text, depth, xs, ys] : accepted) {
        DisplayLayout layout{};
        EXPECT_TRUE(ParseDisplayLayout(text, &layout)) << text;
        EXPECT_EQ(std::tie(layout.depth, layout.xStep, layout.yStep), std::tie(depth, xs, ys));
    }
    // 8 is a palette display, which the game leaves black.
    for (const char* text : {"", "12", "8", "16:2", "16:2:480:1", "16:0:480", "16:2:x", " 16",
                             "16 ", "-16", "16:2:99999", "16::480", "16:+2:480", "16: 2:480",
                             "1000000", "16:2:-", "16:--2:480"}) {
        DisplayLayout layout{7, 7, 7};
        EXPECT_FALSE(ParseDisplayLayout(text, &layout)) << "'" << text << "'";
        EXPECT_EQ(layout.depth, 7) << "a refused text leaves the layout alone: " << text;
    }
    EXPECT_FALSE(ParseDisplayLayout(nullptr, nullptr));
}

// Back buffer pixels and how 16-bit colour, 4-bit grey and 2-bit grey displays show them.
struct Shade {
    uint16_t pixel;
    uint32_t shown[3];
};
constexpr Shade Shades[] = {
    {0x0000, {0x000000, 0x000000, 0x000000}}, {0xFFFF, {0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
    {0xF800, {0xFF0000, 0x333333, 0xFFFFFF}}, {0x07E0, {0x00FF00, 0x777777, 0x000000}},
    {0x001F, {0x0000FF, 0x333333, 0x000000}}, {0x8410, {0x848284, 0x888888, 0xAAAAAA}},
    {0x4208, {0x424142, 0x444444, 0x555555}}};

// A pattern in which neighbours across rows, columns and bytes differ.
const Shade& ShadeAt(int pixel) {
    int x = pixel % ScreenWidth;
    int y = pixel / ScreenWidth;
    return Shades[(x * 31 + y * 17 + x * y) % 7];
}

class Display : public ::testing::Test {
protected:
    // Starts the headless host on layout and sets the game's display up as its start does.
    static void Use(DisplayLayout layout) {
        StopHeadlessHost();  // frees the memory, so the next block is exactly the layout's size
        StartHeadlessHost({.display = layout});
        ClearBackBuffer(0);
        GXOpenDisplay(nullptr, GX_FULLSCREEN);
        GXDisplayProperties properties = GXGetDisplayProperties();
        DisplayFormat = {properties.cBPP, properties.cbxPitch, properties.cbyPitch};
    }
    void SetUp() override { AllocateBackBuffer(); }
    void TearDown() override {
        ReleaseBackBuffer();
        StopHeadlessHost();
    }
};

// The game's own present, decoded, is its back buffer, also when only a corner pixel changes,
// and every byte the game writes lies inside the emulated memory (the sanitizer build checks
// each write as it happens). For the last two layouts the game keeps its own rows and
// columns, so only the bounds are checked.
TEST_F(Display, TheGamesFramesDecodeForEveryLayoutAndStayInside) {
    const std::tuple<DisplayLayout, long long, long long> cases[] = {  // layout, written span
        {{16, 2, 480}, 0, 153600},     {{16, 2, 512}, 0, 163808},    {{16, 4, 960}, 0, 307198},
        {{16, -640, 2}, -152960, 640}, {{4, 1, 160}, 0, 38400},      {{2, 1, 60}, 0, 19200},
        {{2, 1, 64}, 0, 20476},        {{16, 2, 500}, 0, 163808},    {{16, 640, -2}, 2, 153602}};
    for (auto [layout, firstByte, endByte] : cases) {
        SCOPED_TRACE(testing::Message()
                     << layout.depth << ":" << layout.xStep << ":" << layout.yStep);
        Use(layout);
        const uint8_t* address = static_cast<uint8_t*>(GXBeginDraw());
        GXEndDraw();
        size_t size = 0;
        long long low = HeadlessDisplayMemory(&size) - address;
        ASSERT_LE(low, firstByte);
        ASSERT_GE(low + static_cast<long long>(size), endByte);
        std::vector<uint32_t> frame(ScreenWidth * ScreenHeight);
        std::vector<uint32_t> expected(frame.size());
        for (size_t i = 0; i < frame.size(); ++i) {
            BackBuffer[i] = ShadeAt(i).pixel;
            expected[i] = ShadeAt(i).shown[layout.depth == 16 ? 0 : layout.depth == 4 ? 1 : 2];
        }
        PresentBackBuffer();
        if (layout.yStep == 500 || layout.yStep == -2) continue;
        // Then one pixel at each corner alone, as a frame that changes a little shows it.
        constexpr int LastRow = ScreenWidth * (ScreenHeight - 1);
        for (int pixel : {-1, 0, ScreenWidth - 1, LastRow, LastRow + ScreenWidth - 1}) {
            if (pixel >= 0) {
                const Shade& other = ShadeAt(pixel + 1);
                BackBuffer[pixel] = other.pixel;
                expected[pixel] = other.shown[layout.depth == 16 ? 0 : layout.depth == 4 ? 1 : 2];
                PresentBackBuffer();
            }
            HeadlessDecodedFrame(frame.data());
            long wrong = std::ranges::mismatch(frame, expected).in1 - frame.begin();
            EXPECT_EQ(wrong, ScreenWidth * ScreenHeight)
                << "after pixel " << pixel << ", first wrong pixel at " << wrong % ScreenWidth
                << "," << wrong / ScreenWidth;
        }
    }
}

// Every 16-bit colour, on a packed display and a gathered one, shows each channel widened by
// repeating its top bits below.
TEST_F(Display, EveryColourWidensByRepeatingItsTopBits) {
    auto widen = [](uint32_t value, int bits) {
        return value << (8 - bits) | value >> (2 * bits - 8);
    };
    for (DisplayLayout layout : {DisplayLayout{16, 2, 480}, DisplayLayout{16, 4, 960}}) {
        Use(layout);
        for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) {
            BackBuffer[i] = static_cast<uint16_t>(i);
        }
        PresentBackBuffer();
        std::vector<uint32_t> frame(ScreenWidth * ScreenHeight);
        HeadlessDecodedFrame(frame.data());
        for (uint32_t p = 0; p < 0x10000; ++p) {
            uint32_t expected =
                widen(p >> 11, 5) << 16 | widen(p >> 5 & 63, 6) << 8 | widen(p & 31, 5);
            ASSERT_EQ(frame[p], expected) << "colour " << p << " on x step " << layout.xStep;
        }
    }
}

// Only a changed picture asks the window for a refresh.
TEST_F(Display, OnlyChangedPicturesAskForARefresh) {
    Use({16, 2, 512});
    BackBuffer[5] = 0x1234;
    PresentBackBuffer();
    EXPECT_TRUE(TakeChangedFrame());
    PresentBackBuffer();
    EXPECT_FALSE(TakeChangedFrame()) << "the same frame again";
    static_cast<uint8_t*>(GXBeginDraw())[480] = 0x55;  // padding after row 0
    GXEndDraw();
    EXPECT_FALSE(TakeChangedFrame()) << "memory no pixel comes from";
}

}  // namespace

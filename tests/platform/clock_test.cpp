// Time: the virtual clock across the 32-bit wrap, counted and hooked passes, the real pace.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/host.h"
#include "platform/standin.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(VirtualClock, CrossesTheWrapAndMovesOnlyWhenTold) {
    HeadlessOptions options;
    options.startTick = 0xFFFFFF00u;
    options.passMs = 13;
    StartHeadlessHost(options);
    EXPECT_EQ(GetTickCount(), 0xFFFFFF00u);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(GetTickCount(), 0xFFFFFF00u) << "real time doesn't move the virtual clock";
    HeadlessAdvanceClock(0x100);
    EXPECT_EQ(GetTickCount(), 0u);
    Sleep(40);
    EXPECT_EQ(GetTickCount(), 40u) << "Sleep moves the clock instead of waiting";
    HeadlessSetTick(0xFFFFFFFFu);
    PaceFrame();
    EXPECT_EQ(GetTickCount(), 12u);
    StopHeadlessHost();
}

std::vector<std::pair<int, DWORD>> hookCalls;
void RecordPass(int pass, void* context) {
    hookCalls.push_back({pass, GetTickCount()});
    ++*static_cast<int*>(context);
}

TEST(VirtualClock, PassesAreCountedAndHookedAfterTheClockMoved) {
    HeadlessOptions options;
    options.startTick = 1000;
    options.passMs = 13;
    StartHeadlessHost(options);
    hookCalls.clear();
    int calls = 0;
    HeadlessSetPassHook(RecordPass, &calls);
    for (int i = 0; i < 3; ++i) PaceFrame();
    EXPECT_EQ(HeadlessPassCount(), 3);
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(hookCalls.size(), 3u);
    EXPECT_EQ(hookCalls[0], std::make_pair(1, DWORD{1013}));
    EXPECT_EQ(hookCalls[2], std::make_pair(3, DWORD{1039}));
    options.passMs = 0;
    StartHeadlessHost(options);
    EXPECT_EQ(HeadlessPassCount(), 0) << "a new start counts afresh";
    PaceFrame();
    EXPECT_EQ(calls, 3) << "the hook went with the old start";
    EXPECT_EQ(GetTickCount(), 1000u) << "0 ms passes leave the clock";
    StopHeadlessHost();
}

TEST(RealClock, TickCountFollowsSteadyTime) {
    DWORD before = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 1000u);
    auto start = Clock::now();
    Sleep(20);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(20));
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Work inside a pass doesn't add to the period, and a stall isn't repaid by a burst.
TEST(RealClock, PacingKeepsAScheduleWithoutDriftOrBursts) {
    ResetClockRecord(0, 10);
    PaceFrame();
    auto start = Clock::now();
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
        PaceFrame();
    }
    double period = MsSince(start) / 30;
    EXPECT_GE(period, 9.8);
    EXPECT_LT(period, 12.0) << "4 ms of work a pass must not stretch a 10 ms pass";

    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    PaceFrame();
    start = Clock::now();
    for (int i = 0; i < 3; ++i) PaceFrame();
    EXPECT_GE(MsSince(start), 18.0) << "after a stall the pace starts afresh";
    ResetClockRecord(0, 13);
}

}  // namespace

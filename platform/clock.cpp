// Time: the tick count, Sleep, and the pace of the game's passes (real or virtual).
#include <chrono>
#include <thread>

#include "platform/host.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

struct ClockRecord {
    DWORD virtualTick = 0;
    int passMs = 13;
    int passes = 0;
    PassHook hook = nullptr;
    void* hookContext = nullptr;
    bool paceStarted = false;
    SteadyClock::time_point nextPass;
};

ClockRecord Clock;

int64_t Nanoseconds(SteadyClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// Sleeps until the pass is due, showing a waiting frame as soon as the display allows.
void SleepUntil(SteadyClock::time_point due) {
    for (;;) {
        SteadyClock::time_point now = SteadyClock::now();
        int64_t frameDue = FlushHostWindow(Nanoseconds(now));
        if (now >= due) return;
        SteadyClock::time_point wake = due;
        if (frameDue > 0) {
            SteadyClock::time_point frameTime{std::chrono::nanoseconds(frameDue)};
            wake = std::min(wake, std::max(frameTime, now));
        }
        std::this_thread::sleep_until(wake);
    }
}

// Holds the real loop to one pass every passMs, measured from a fixed schedule so the pace
// does not drift; a loop that fell more than a pass behind starts a new schedule instead of
// racing to catch up.
void PaceRealPass() {
    SteadyClock::time_point now = SteadyClock::now();
    if (Clock.passMs <= 0) {
        FlushHostWindow(Nanoseconds(now));
        return;
    }
    std::chrono::milliseconds pass(Clock.passMs);
    if (!Clock.paceStarted) {
        Clock.nextPass = now;
        Clock.paceStarted = true;
    }
    Clock.nextPass += pass;
    if (now - Clock.nextPass > pass) Clock.nextPass = now;
    SleepUntil(Clock.nextPass);
}

}  // namespace

// Host start and headless resets: the virtual clock at startTick, no passes, no hook.
void ResetClockRecord(DWORD startTick, int passMs) {
    Clock = ClockRecord{};
    Clock.virtualTick = startTick;
    Clock.passMs = passMs;
}

void AdvanceVirtualClock(DWORD milliseconds) { Clock.virtualTick += milliseconds; }

void SetVirtualTick(DWORD tick) { Clock.virtualTick = tick; }

int PassCount() { return Clock.passes; }

void SetPassHook(PassHook hook, void* context) {
    Clock.hook = hook;
    Clock.hookContext = context;
}

// Milliseconds of a monotonic clock cut to 32 bits (headless: the virtual tick).
DWORD GetTickCount() {
    if (Host == HostKind::Headless) return Clock.virtualTick;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        SteadyClock::now().time_since_epoch());
    return static_cast<DWORD>(ms.count());
}

// Sleeps (headless: moves the virtual clock on instead).
void Sleep(DWORD milliseconds) {
    if (Host == HostKind::Headless) {
        AdvanceVirtualClock(milliseconds);
        return;
    }
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// End of every pass (PresentFrame): paces the real loop and shows the waiting frame; the
// headless host instead moves its clock on a pass, counts it and runs the test's hook.
void PaceFrame() {
    if (Host == HostKind::Headless) {
        AdvanceVirtualClock(static_cast<DWORD>(Clock.passMs));
        ++Clock.passes;
        if (Clock.hook) Clock.hook(Clock.passes, Clock.hookContext);
        return;
    }
    PaceRealPass();
}

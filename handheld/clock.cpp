// Time: the tick count, Sleep, and the pace of the game's passes (real or virtual).
#include <chrono>

#include "handheld/system.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// The tick the game reads: the headless host's virtual clock, or on the real host the current
// pass's place on the schedule, so every pass moves the game's clock by exactly one period.
struct ClockRecord {
    DWORD tick = 0;
    DWORD passStart = 0;     // the tick at the start of the pass now running
    bool scheduled = false;  // false until a host starts: the tick is then real time
    int passMs = 13;
    int passes = 0;
    PassHook hook = nullptr;
    void* hookContext = nullptr;
    SteadyClock::time_point nextPass;
};

ClockRecord Clock;

// The host shows a waiting frame when it can; the time it may, or 0.
int64_t FlushWindow(int64_t nowNs) {
    return ActiveHost().flushWindow ? ActiveHost().flushWindow(nowNs) : 0;
}

int64_t Nanoseconds(SteadyClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// Sleeps until due, showing a waiting frame as soon as the display allows. The player's input
// that arrives meanwhile is handed to the game at once (takeInput), so the next pass answers
// it; it ends a sleep meant only for a still picture (endOnInput). True when input came.
bool SleepUntil(SteadyClock::time_point due, InputTaker takeInput, bool endOnInput) {
    bool input = false;
    for (;;) {
        SteadyClock::time_point now = SteadyClock::now();
        int64_t frameDue = FlushWindow(Nanoseconds(now));
        if (now >= due || (input && endOnInput)) return input;
        SteadyClock::time_point wake = due;
        if (frameDue > 0) {
            SteadyClock::time_point frameTime{std::chrono::nanoseconds(frameDue)};
            wake = std::min(wake, std::max(frameTime, now));
        }
        int64_t nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count();
        if (!takeInput) {
            SleepHost(nanoseconds);
            continue;
        }
        SleepHostTillInput(nanoseconds);
        if (SteadyClock::now() < wake) {
            takeInput();
            input = true;
        }
    }
}

// Waits for the next pass's place on the schedule, at once when it is due already. A still
// picture may sleep through the host's quiet passes, then run those due back to back.
void WaitForNextPass(SteadyClock::time_point now, int quietPasses, InputTaker takeInput) {
    if (now >= Clock.nextPass) {
        FlushWindow(Nanoseconds(now));
        return;
    }
    std::chrono::milliseconds pass(Clock.passMs);
    bool quiet = quietPasses > 1 && !FrameWaiting();
    if (quiet && !SleepUntil(Clock.nextPass + pass * (quietPasses - 1), takeInput, true)) return;
    SleepUntil(Clock.nextPass, takeInput, false);
}

DWORD RealTick() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        SteadyClock::now().time_since_epoch());
    return static_cast<DWORD>(ms.count());
}

// Holds the real loop to one pass every passMs on a fixed schedule, so the pace does not drift,
// and moves the game's tick on by the period: a pass never starts before its place, so the
// game's clock never leads the real one. While the picture stands still the loop may sleep
// through the host's quiet passes and then run those fallen due back to back; the player's
// input ends such a sleep, and the passes due by then run at once. Input that arrives while
// the loop waits is taken then, as part of the pass that waits, which reads the tick its own.
// A loop that fell further
// behind than that (a stall, a suspended machine) starts a new schedule from now instead of
// racing to catch up; the tick then jumps on by the time the schedule lost, once. (Not to the
// real time: the time a pause held the game is no one's.)
void PaceRealPass(InputTaker takeInput) {
    SteadyClock::time_point now = SteadyClock::now();
    if (Clock.passMs <= 0) {
        FlushWindow(Nanoseconds(now));
        return;
    }
    std::chrono::milliseconds pass(Clock.passMs);
    int quietPasses = std::max(ActiveHost().quietPasses ? ActiveHost().quietPasses() : 1, 1);
    SteadyClock::time_point due = Clock.nextPass;
    Clock.nextPass += pass;
    DWORD step = static_cast<DWORD>(Clock.passMs);
    if (now - Clock.nextPass > pass * quietPasses) {
        Clock.nextPass = now;
        auto lost = std::chrono::duration_cast<std::chrono::milliseconds>(now - due);
        step = std::max(step, static_cast<DWORD>(lost.count()));
    }
    WaitForNextPass(now, quietPasses, takeInput);
    Clock.tick += step;
}

}  // namespace

// Host start and headless resets: the clock at startTick with its schedule starting now, no
// passes, no hook.
void ResetClockRecord(DWORD startTick, int passMs) {
    Clock = ClockRecord{};
    Clock.tick = startTick;
    Clock.passStart = startTick;
    Clock.scheduled = true;
    Clock.passMs = passMs;
    Clock.nextPass = SteadyClock::now();
}

void RestartPassSchedule() { Clock.nextPass = SteadyClock::now(); }

int64_t SteadyNanoseconds() { return Nanoseconds(SteadyClock::now()); }

// The real host's start: the schedule begins at the real time.
void StartPassSchedule(int passMs) { ResetClockRecord(RealTick(), passMs); }

void AdvanceVirtualClock(DWORD milliseconds) { Clock.tick += milliseconds; }

void SetVirtualTick(DWORD tick) {
    Clock.tick = tick;
    Clock.passStart = tick;
}

int ClockPassMs() { return Clock.passMs; }

int PassCount() { return Clock.passes; }

void SetPassHook(PassHook hook, void* context) {
    Clock.hook = hook;
    Clock.hookContext = context;
}

// Milliseconds cut to 32 bits: the pass schedule's tick while the loop is paced (headless:
// the virtual tick), else a monotonic real clock.
DWORD GetTickCount() {
    if (HostIs(HostKind::Headless) || (Clock.scheduled && Clock.passMs > 0)) return Clock.tick;
    return RealTick();
}

// Sleeps (headless: moves the virtual clock on instead, but not in a replay, where the
// recording says how the clock moved).
void Sleep(DWORD milliseconds) {
    if (HostIs(HostKind::Headless)) {
        if (ReplayRuns()) return;
        AdvanceVirtualClock(milliseconds);
        return;
    }
    SleepHost(int64_t{milliseconds} * 1000000);
}

// End of every pass (PresentFrame): paces the real loop and shows the waiting frame (the
// headless host instead moves its clock on a pass), lets the journal see the pass, counts it
// and runs the hook.
void PaceFrame(InputTaker takeInput) {
    if (HostIs(HostKind::Headless)) {
        AdvanceVirtualClock(static_cast<DWORD>(Clock.passMs));
    } else {
        PaceRealPass(takeInput);
    }
    if (const CrossingWatch* watch = Watcher()) {
        Clock.tick = watch->passEnded(Clock.passStart, Clock.tick, Clock.passMs);
    }
    Clock.passStart = Clock.tick;
    ++Clock.passes;
    if (Clock.hook) Clock.hook(Clock.passes, Clock.hookContext);
}

// The host now serving the handheld's interfaces, and the one that serves while none runs.
#include <chrono>
#include <thread>

#include "handheld/system.h"

// The desktop host's pacing and Sleep, and everyone's while no host runs.
void SleepThread(int64_t nanoseconds) {
    if (nanoseconds <= 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::nanoseconds(nanoseconds));
}

namespace {

// Plain POSIX calls only: no window, no events, real time.
constexpr HostInterface NoHost{.kind = HostKind::None, .sleep = SleepThread};

const HostInterface* Active = &NoHost;

}  // namespace

const HostInterface& ActiveHost() { return *Active; }

// A host's start (host) and end (null): the one that serves from now on.
void SwitchHost(const HostInterface* host) { Active = host ? host : &NoHost; }

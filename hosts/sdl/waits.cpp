// The desktop's waits, for every host of the program: the thread's sleep and SDL's event wait.
#include <SDL.h>

#include <chrono>
#include <thread>

#include "handheld/host.h"

// GetMessageW with nothing queued: waits a little for SDL's next event.
void WaitHostEvent(int timeoutMs) { SDL_WaitEventTimeout(nullptr, timeoutMs); }

// The pacing and Sleep, also while no host runs: the thread sleeps (0: a yield).
void SleepHost(int64_t nanoseconds) {
    if (nanoseconds <= 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::nanoseconds(nanoseconds));
}

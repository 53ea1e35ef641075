// The desktop's waits, for every host of the program: the thread's sleep, SDL's event wait and a
// sleep the display's input ends.
#include <SDL.h>
#include <poll.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "handheld/host.h"
#include "hosts/sdl/sdl.h"

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

// Through a still picture's passes: sleeps till the last of them falls due or till the display
// connection has something to say (a key, a click), so the player waits for none of them.
void SleepHostTillInput(int64_t nanoseconds) {
    int descriptor = WatchedDisplayDescriptor();
    if (descriptor < 0 || nanoseconds <= 0) return SleepHost(nanoseconds);
    pollfd watched{descriptor, POLLIN, 0};
    timespec timeout{static_cast<time_t>(nanoseconds / 1000000000), static_cast<long>(nanoseconds % 1000000000)};
    ppoll(&watched, 1, &timeout, nullptr);
}

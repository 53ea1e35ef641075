// Frame pump and clock: presents the back buffer, lets window messages through, keeps time.
#include "shell/shell.h"
#include "gfx/gfx.h"
#include "handheld/standin.h"

uint32_t ClockZero;
bool Inactive;

// Every loop of the game ends its step here: show the frame, handle all queued messages, wait
// for the next pass, handling what arrives meanwhile (and, on the desktop and in the browser,
// wait while the player pauses).
void PresentFrame(bool present) {
    if (present) PresentBackBuffer();
    bool sleepAfter = Inactive;
    StartPumpInput();
    PumpMessages();
    if (sleepAfter) Sleep(1);
    PaceFrame(PumpMessages);
    HoldWhilePaused();
}

// PresentFrame, and the loading between its steps: hands every queued message to the window
// procedure.
void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) == 1) {
        GetMessageW(&msg, nullptr, 0, 0);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Restarts the game clock at zero.
void ResetClock() { ClockZero = GetTickCount(); }

// Milliseconds since the last ResetClock, right across the tick counter's wrap.
int32_t ElapsedMs() { return static_cast<int32_t>(GetTickCount() - ClockZero); }

// The raw tick count; seeds the random numbers once.
uint32_t TickCount() { return GetTickCount(); }

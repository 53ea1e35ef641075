// The headless host tests drive: virtual clock, scripted input, readable display memory.
#include <algorithm>
#include <cstdio>

#include "handheld/system.h"
#include "hosts/headless/headless.h"

namespace {

constexpr WPARAM StylusButton = 0x0001;

POINT LastStylus{0, 0};

LPARAM StylusPosition(int x, int y) {
    LastStylus = {x, y};
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

void QueueToGame(UINT message, WPARAM wParam, LPARAM lParam) {
    QueueMessage(GameWindow(), message, wParam, lParam, true);
}

// A scripted key is a keyboard's: a repeat count of 1, and the code's low byte as scan code.
LPARAM KeyboardKey(int code) { return 1 | LPARAM{code & 0xFF} << KeyScanCodeShift; }

// No window, no events of its own, no other copies: its clock is virtual.
constexpr HostInterface Headless{.kind = HostKind::Headless, .stop = StopHeadlessHost};

}  // namespace

// Each test's start: the headless host replaces any other, and every platform record
// (queue, classes, windows, taskbar, display, clock, passes, hook) starts afresh.
void StartHeadlessHost(const HeadlessOptions& options) {
    if (HostIs(HostKind::Real)) StopHost();
    UseHost(Headless);
    DisplayLayout layout = options.display;
    if (!ValidDisplayLayout(layout)) {
        std::fprintf(stderr, "marrowdale: display layout %d:%d:%d refused, using 16:2:480\n",
                     layout.depth, layout.xStep, layout.yStep);
        layout = DefaultDisplayLayout;
    }
    ResetMessages();
    ResetWindows();
    ReleaseIcon();
    ResetDisplay(layout);
    ResetClockRecord(options.startTick, options.passMs);
    SetModulePath(options.modulePath);
    UsePlayerChoices(options.keys, options.startMuted);
    LastStylus = {0, 0};
}

// Ends the headless host; the platform serves nobody until a host starts again.
void StopHeadlessHost() {
    if (!HeadlessActive()) return;
    SetModulePath(nullptr);
    EndHost();
}

bool HeadlessActive() { return HostIs(HostKind::Headless); }

void HeadlessSetPassHook(PassHook hook, void* context) { SetPassHook(hook, context); }

int HeadlessPassCount() { return PassCount(); }

void HeadlessAdvanceClock(DWORD milliseconds) { AdvanceVirtualClock(milliseconds); }

void HeadlessSetTick(DWORD tick) { SetVirtualTick(tick); }

const uint8_t* HeadlessDisplayMemory(size_t* size) { return DisplayMemory(size); }

// The frame decoded at the last GXEndDraw that changed the picture (black before).
void HeadlessDecodedFrame(uint32_t* pixels) {
    const uint32_t* frame = DisplayFrame();
    std::copy(frame, frame + ScreenWidth * ScreenHeight, pixels);
}

HWND HeadlessMainWindow() { return GameWindow(); }

bool HeadlessTaskbarVisible() { return TaskbarVisible(); }

DWORD HeadlessFullScreenState() { return FullScreenState(); }

// Scripted input: positions go out as their unsigned 16-bit forms, as the window would send.
void HeadlessStylusDown(int x, int y) { QueueToGame(WM_LBUTTONDOWN, StylusButton, StylusPosition(x, y)); }

void HeadlessStylusMove(int x, int y) { QueueToGame(WM_MOUSEMOVE, StylusButton, StylusPosition(x, y)); }

void HeadlessStylusUp() { QueueToGame(WM_LBUTTONUP, 0, StylusPosition(LastStylus.x, LastStylus.y)); }

void HeadlessKeyDown(int code) {
    QueueToGame(WM_KEYDOWN, static_cast<WORD>(code), KeyboardKey(code));
}

void HeadlessKeyUp(int code) { QueueToGame(WM_KEYUP, static_cast<WORD>(code), KeyboardKey(code)); }

void HeadlessClose() { QueueToGame(WM_CLOSE, 0, 0); }

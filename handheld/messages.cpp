// The message queue: posting, peeking, fetching and dispatching, and quit requests by signal.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <deque>
#include <set>

#include "handheld/system.h"

namespace {

struct QueuedMessage {
    MSG msg;
    bool toGameWindow;
};

std::deque<QueuedMessage> Queue;
POINT LastStylusPoint{0, 0};

// What the game was last told of its input: the keys it holds down, its stylus, whether its
// window has the player. A host that takes over a game running already starts from it.
struct GameInput {
    std::set<WPARAM> keysDown;
    bool penDown = false;
    bool active = true;
};
GameInput Told;

// Signals counted by the handler; the queue turns each new one into a WM_CLOSE.
std::atomic<unsigned> SignalsRaised{0};
std::atomic<int> LastSignal{0};
unsigned SignalsQueued = 0;
static_assert(std::atomic<unsigned>::is_always_lock_free, "signal handlers need a lock-free count");
static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need a lock-free number");

struct sigaction PreviousInterrupt;
struct sigaction PreviousTerminate;
struct sigaction PreviousHangUp;
struct sigaction PreviousBrokenPipe;
bool HandlersInstalled = false;

void OnQuitSignal(int signal) {
    LastSignal.store(signal, std::memory_order_relaxed);
    SignalsRaised.fetch_add(1, std::memory_order_relaxed);
}

// Turns signals that arrived since the last look into WM_CLOSE for the game's window (once
// that window exists: until then they wait).
void QueueSignalledCloses() {
    if (!GameWindow()) return;
    unsigned raised = SignalsRaised.load(std::memory_order_relaxed);
    for (; SignalsQueued != raised; ++SignalsQueued) {
        QueueMessage(GameWindow(), WM_CLOSE, 0, 0, true);
    }
}

HWND TargetOf(const QueuedMessage& entry) {
    return entry.toGameWindow ? GameWindow() : entry.msg.hwnd;
}

bool Matches(const QueuedMessage& entry, HWND window, UINT filterMin, UINT filterMax) {
    if (window && TargetOf(entry) != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return entry.msg.message >= filterMin && entry.msg.message <= filterMax;
}

// Brings in what the host has to say, then finds the first message that passes the filter.
std::deque<QueuedMessage>::iterator FindMessage(HWND window, UINT filterMin, UINT filterMax) {
    if (ActiveHost().pumpEvents) ActiveHost().pumpEvents();
    QueueSignalledCloses();
    if (const CrossingWatch* watch = Watcher()) watch->queuePassMessages();
    for (auto it = Queue.begin(); it != Queue.end(); ++it) {
        if (Matches(*it, window, filterMin, filterMax)) return it;
    }
    return Queue.end();
}

void CopyOut(const QueuedMessage& entry, MSG* msg) {
    *msg = entry.msg;
    msg->hwnd = TargetOf(entry);
}

// Notes what a message taken for the game tells it of its input.
void NoteTold(const MSG& msg) {
    switch (msg.message) {
        case WM_KEYDOWN: Told.keysDown.insert(msg.wParam); break;
        case WM_KEYUP: Told.keysDown.erase(msg.wParam); break;
        case WM_LBUTTONDOWN: Told.penDown = true; break;
        case WM_LBUTTONUP: Told.penDown = false; break;
        case WM_ACTIVATE: Told.active = LOWORD(msg.wParam) != WA_INACTIVE; break;
        default: break;
    }
}

// Takes a message off the queue; what the host sent the game goes into a recording.
void TakeMessage(std::deque<QueuedMessage>::iterator it) {
    const CrossingWatch* watch = Watcher();
    if (it->toGameWindow) {
        NoteTold(it->msg);
        if (watch) watch->messageTaken(it->msg);
    }
    Queue.erase(it);
}

void Append(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool toGameWindow) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    if (message >= WM_MOUSEMOVE && message <= WM_LBUTTONUP) {
        LastStylusPoint = {LOWORD(static_cast<uintptr_t>(lParam)),
                           HIWORD(static_cast<uintptr_t>(lParam))};
    }
    msg.pt = LastStylusPoint;
    Queue.push_back({msg, toGameWindow});
}

}  // namespace

// Appends a message; the time stamp is taken now. A replay drops what the host sends the game.
void QueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool toGameWindow) {
    const CrossingWatch* watch = Watcher();
    if (toGameWindow && watch && watch->dropsHostInput(message)) return;
    Append(window, message, wParam, lParam, toGameWindow);
}

void QueueJournalMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    Append(GameWindow(), message, wParam, lParam, true);
}

// Empties the queue (host start-up and headless resets). Signals counted since the handlers
// went in stay: a quit asked for while the program starts is still carried out.
void ResetMessages() {
    Queue.clear();
    LastStylusPoint = {0, 0};
    Told = GameInput{};
}

// A host taking over a running game: the keys the game holds, its stylus, its activation.
void TakenInput(std::vector<WORD>* keysDown, bool* penDown, bool* active) {
    keysDown->assign(Told.keysDown.begin(), Told.keysDown.end());
    *penDown = Told.penDown;
    *active = Told.active;
}

// The pause, between passes: what the host has to say and the signals wait in the queue for the
// game's next pass; true when a close request is among them.
bool PumpHostEventsWhilePaused() {
    if (ActiveHost().pumpEvents) ActiveHost().pumpEvents();
    QueueSignalledCloses();
    return std::any_of(Queue.begin(), Queue.end(), [](const QueuedMessage& entry) {
        return entry.toGameWindow && entry.msg.message == WM_CLOSE;
    });
}

// main, before anything else, and StartStandIn: quit signals (a logout's hang-up too) are
// counted, SIGPIPE ignored.
void InstallSignalHandlers() {
    if (HandlersInstalled) return;
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &PreviousInterrupt);
    sigaction(SIGTERM, &action, &PreviousTerminate);
    sigaction(SIGHUP, &action, &PreviousHangUp);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, &PreviousBrokenPipe);
    HandlersInstalled = true;
}

// StopStandIn: the signals get their earlier meaning back; quits not yet carried out lapse.
void RestoreSignalHandlers() {
    if (!HandlersInstalled) return;
    sigaction(SIGINT, &PreviousInterrupt, nullptr);
    sigaction(SIGTERM, &PreviousTerminate, nullptr);
    sigaction(SIGHUP, &PreviousHangUp, nullptr);
    sigaction(SIGPIPE, &PreviousBrokenPipe, nullptr);
    SignalsQueued = SignalsRaised.load(std::memory_order_relaxed);
    HandlersInstalled = false;
}

int QuitSignal() { return LastSignal.load(std::memory_order_relaxed); }

// The game's pump: TRUE when a message passing the filter waits; PM_REMOVE takes it.
BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    auto it = FindMessage(window, filterMin, filterMax);
    if (it == Queue.end()) return FALSE;
    if (msg) CopyOut(*it, msg);
    if (removeFlags & PM_REMOVE) TakeMessage(it);
    return TRUE;
}

// Takes the next message passing the filter: 0 for WM_QUIT, 1 otherwise. The real host waits
// for one when none is queued; without a real host nothing more can come, so an empty queue
// gives -1 at once instead of waiting for ever.
BOOL GetMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
    auto it = FindMessage(window, filterMin, filterMax);
    while (it == Queue.end()) {
        if (!RealHostRuns()) {
            if (msg) *msg = MSG{};
            return -1;
        }
        WaitHostEvent(100);
        it = FindMessage(window, filterMin, filterMax);
    }
    MSG taken{};
    CopyOut(*it, &taken);
    TakeMessage(it);
    if (msg) *msg = taken;
    return taken.message == WM_QUIT ? FALSE : TRUE;
}

// Queues a message for a window of this process (or a thread message for no window).
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !IsLocalWindow(window)) return FALSE;
    QueueMessage(window, message, wParam, lParam, false);
    return TRUE;
}

// Queues WM_QUIT with the exit code; the game's pump takes it as an ordinary message.
void PostQuitMessage(int exitCode) {
    QueueMessage(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0, false);
}

// The pump, for each message: a keyboard's key down of a letter, Backspace, Enter or Space makes
// WM_CHAR (a letter as typed without Shift), put first in the queue as Windows reads it before
// later input. TRUE when it made one.
BOOL TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return FALSE;
    if (!((msg->lParam >> KeyScanCodeShift) & 0xFF)) return FALSE;
    WPARAM key = msg->wParam;
    bool letter = key >= 'A' && key <= 'Z';
    if (!letter && key != VK_BACK && key != VK_RETURN && key != VK_SPACE) return FALSE;
    QueueMessage(msg->hwnd, WM_CHAR, letter ? key - 'A' + 'a' : key, msg->lParam, false);
    Queue.push_front(Queue.back());
    Queue.pop_back();
    return TRUE;
}

// Hands a message to the procedure of its window's class; 0 for messages without one.
LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg) return 0;
    WNDPROC procedure = WindowProcedureOf(msg->hwnd);
    if (!procedure) return 0;
    return procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

// Default processing does nothing here; WM_CLOSE in particular is the game's own to handle.
LRESULT DefWindowProcW(HWND, UINT, WPARAM, LPARAM) { return 0; }

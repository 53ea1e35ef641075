// The browser host: the canvas, pointer, touch, keys, gamepads, page visibility, Web Audio, storage.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <mikmod.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "handheld/host.h"
#include "hosts/live.h"

// The page's side, in hosts/web/webhost.js.
extern "C" {
int WebPageWidth();
int WebPageHeight();
void WebPlaceCanvas(int x, int y, int width, int height);
void WebShowCanvas(int show);
void WebShowFrame(const uint8_t* rgba);
void WebSetTitle(const char* title);
void WebKeepFiles(const char* folder);
void WebWatchPageLeave();
void WebGameEnded();
void WebGameKept(const char* name, const uint8_t* journal, int size);
double WebChallengeTick();
void WebKeepProgress(const uint8_t* journal, int size);
void WebDropProgress(int aside);
void WebStartAgain();
int WebPadsSeen();
int WebAudioPresent();
int WebAudioOpen(int rate);
void WebFeedAudio(int sleepMs);
void WebAudioPlay(int playing);
void WebAudioHold(int hold);
void WebAudioClose();
void WebShowPause(const char* title, const char* resume, const char* leave);
void WebSleep(int milliseconds);
void WebWakeLoop();
}

namespace {

// The most frames the page mixes at a time: about 46 ms at 44100 Hz.
constexpr int AudioBlockFrames = 2048;
constexpr int AudioWaitMs = 2;
// Passes a still picture (a menu) may sleep through, then run back to back once due: each wake
// of a page costs Chromium about 0.2 ms of a core (a bare 13-ms timer takes 1.5% of one), more
// than a pass. The page's events end the sleep.
constexpr int QuietPasses = 8;
// A paused page sleeps till the player's input wakes it (its events end the sleep), looking
// once a second besides; a gamepad, read and not heard, is read as often as in play.
constexpr int64_t PausedLookNs = 1000000000;
constexpr int64_t PausedPadLookNs = 20000000;
constexpr int PadSlots = 4;
constexpr int PadButtonSlots = 17;
// The element that covers the page and takes the pointer and touches.
constexpr char Stage[] = "#stage";

struct PadRecord {
    bool connected;
    bool buttons[PadButtonSlots];
};

struct WebHost {
    bool opened = false;  // the page taken for the game, whether or not the host serves yet
    StandInOptions options;
    int areaWidth = ScreenWidth;
    int areaHeight = ScreenHeight;
    double pixelRatio = 1;
    // Slot rule: a pad is free while it is not connected.
    PadRecord pads[PadSlots] = {};
    uint8_t rgba[ScreenWidth * ScreenHeight * 4] = {};
};

WebHost Web;
int16_t AudioBlock[AudioBlockFrames * 2];
// libmikmod keeps a registered driver for the whole process.
bool AudioDriverRegistered = false;

// A page point (CSS pixels) in device pixels of the page's area.
int DevicePixels(long cssPixels) { return static_cast<int>(std::lround(cssPixels * Web.pixelRatio)); }

// Sizes the canvas to the largest whole multiple of the screen the page holds, centred.
void PlaceCanvas() {
    Web.pixelRatio = emscripten_get_device_pixel_ratio();
    Web.areaWidth = WebPageWidth();
    Web.areaHeight = WebPageHeight();
    ScreenPlace place = PlaceScreen(Web.areaWidth, Web.areaHeight, ScreenFit::Whole);
    WebPlaceCanvas(place.x, place.y, place.width, place.height);
}

// The page's events, each handed to the game's input as the desktop's are (WatchPage).
EM_BOOL OnResize(int, const EmscriptenUiEvent*, void*) {
    PlaceCanvas();
    return EM_FALSE;
}

EM_BOOL OnMouseButton(int type, const EmscriptenMouseEvent* event, void*) {
    if (event->button != 0) return EM_FALSE;
    MouseButton(type == EMSCRIPTEN_EVENT_MOUSEDOWN, DevicePixels(event->clientX),
                DevicePixels(event->clientY), Web.areaWidth, Web.areaHeight);
    WebWakeLoop();
    return EM_TRUE;
}

EM_BOOL OnMouseMove(int, const EmscriptenMouseEvent* event, void*) {
    MouseMove(DevicePixels(event->clientX), DevicePixels(event->clientY), Web.areaWidth,
              Web.areaHeight);
    return EM_FALSE;
}

// Taken whole (no scrolling, zooming or mouse events made from them).
EM_BOOL OnTouch(int type, const EmscriptenTouchEvent* event, void*) {
    FingerPhase phase = type == EMSCRIPTEN_EVENT_TOUCHSTART  ? FingerPhase::Down
                        : type == EMSCRIPTEN_EVENT_TOUCHMOVE ? FingerPhase::Move
                                                             : FingerPhase::Up;
    for (int i = 0; i < event->numTouches; ++i) {
        const EmscriptenTouchPoint& touch = event->touches[i];
        if (!touch.isChanged) continue;
        FingerEvent(phase, touch.identifier, DevicePixels(touch.clientX),
                    DevicePixels(touch.clientY), Web.areaWidth, Web.areaHeight);
    }
    if (phase != FingerPhase::Move) WebWakeLoop();
    return EM_TRUE;
}

// The scan code a desktop keyboard's key gives (USB's numbering, as SDL's), by the page's name
// for the key; 0 for a key without one here.
int ScanCodeOf(const char* code) {
    struct NamedKey {
        const char* code;
        int scanCode;
    };
    constexpr NamedKey NamedKeys[] = {
        {"Enter", 40},      {"Escape", 41},    {"Backspace", 42},  {"Tab", 43}, {"Space", 44},
        {"ArrowRight", 79}, {"ArrowLeft", 80}, {"ArrowDown", 81},  {"ArrowUp", 82},
        {"NumpadEnter", 88}, {"Digit0", 39}};
    if (std::strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z' && !code[4]) {
        return 4 + code[3] - 'A';
    }
    if (std::strncmp(code, "Digit", 5) == 0 && code[5] >= '1' && code[5] <= '9' && !code[6]) {
        return 30 + code[5] - '1';
    }
    for (const NamedKey& key : NamedKeys) {
        if (std::strcmp(code, key.code) == 0) return key.scanCode;
    }
    return 0;
}

// The game's keys are the page's alone; the others keep their meaning to the browser.
EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* event, void*) {
    bool taken = KeyEvent(static_cast<WORD>(event->keyCode), type == EMSCRIPTEN_EVENT_KEYDOWN,
                          event->repeat, ScanCodeOf(event->code));
    if (!taken) return EM_FALSE;
    WebWakeLoop();
    return EM_TRUE;
}

EM_BOOL OnBlur(int, const EmscriptenFocusEvent*, void*) {
    KeyboardFocusLost();
    return EM_FALSE;
}

// A page behind another tab is away, as a minimised window is, and inactive.
EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* event, void*) {
    ActivationEvent(!event->hidden);
    AwayEvent(event->hidden);
    WebWakeLoop();
    return EM_FALSE;
}

// StartStandIn: the page's events from now on.
void WatchPage() {
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnResize);
    emscripten_set_mousedown_callback(Stage, nullptr, EM_FALSE, OnMouseButton);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnMouseButton);
    emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnMouseMove);
    emscripten_set_touchstart_callback(Stage, nullptr, EM_FALSE, OnTouch);
    emscripten_set_touchmove_callback(Stage, nullptr, EM_FALSE, OnTouch);
    emscripten_set_touchend_callback(Stage, nullptr, EM_FALSE, OnTouch);
    emscripten_set_touchcancel_callback(Stage, nullptr, EM_FALSE, OnTouch);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnKey);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnBlur);
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, OnVisibility);
    WebWatchPageLeave();
}

// Gamepads are read, not heard: each pump compares them with what they showed before, once
// the page has seen one. Only pads in the standard layout say which button is where.
void PollPads() {
    if (!WebPadsSeen() || emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return;
    int count = emscripten_get_num_gamepads();
    for (int slot = 0; slot < PadSlots; ++slot) {
        EmscriptenGamepadEvent state{};
        bool present = slot < count &&
                       emscripten_get_gamepad_status(slot, &state) == EMSCRIPTEN_RESULT_SUCCESS &&
                       state.connected && std::strcmp(state.mapping, "standard") == 0;
        PadRecord& pad = Web.pads[slot];
        if (!present) {
            if (pad.connected) PadGone(slot);
            pad = PadRecord{};
            continue;
        }
        pad.connected = true;
        for (int button = 0; button < std::min(state.numButtons, PadButtonSlots); ++button) {
            bool down = state.digitalButton[button];
            if (down == pad.buttons[button]) continue;
            pad.buttons[button] = down;
            PadButtonEvent(slot, static_cast<PadButton>(button), down);
        }
        if (state.numAxes >= 2) {
            PadAxisEvent(slot, PadStickX, static_cast<int>(state.axis[0] * 32767));
            PadAxisEvent(slot, PadStickY, static_cast<int>(state.axis[1] * 32767));
        }
    }
}

// ---- libmikmod's output to Web Audio -----------------------------------------------------

// libmikmod's driver operations, called by libmikmod.
BOOL WebAudioIsPresent() { return WebAudioPresent() ? 1 : 0; }

// The page's audio output at libmikmod's rate (or the nearest the browser gives), 16-bit
// stereo. It stays silent until the player's first tap or key, and mixes nothing till then.
int WebAudioInit() {
    int rate = WebAudioOpen(md_mixfreq);
    if (rate <= 0) {
        MikMod_errno = MMERR_OPENING_AUDIO;
        return 1;
    }
    md_mixfreq = static_cast<UWORD>(rate);
    md_mode = (md_mode | DMODE_16BITS | DMODE_STEREO | DMODE_SOFT_MUSIC) & ~DMODE_FLOAT;
    return VC_Init();
}

void WebAudioExit() {
    WebAudioClose();
    VC_Exit();
}

int WebAudioReset() {
    WebAudioExit();
    return WebAudioInit();
}

int WebAudioPlayStart() {
    if (VC_PlayStart()) return 1;
    WebAudioPlay(1);
    return 0;
}

void WebAudioPlayStop() {
    WebAudioPlay(0);
    VC_PlayStop();
}

// The page mixes ahead of its output before each sleep of the game (WebMixAudio).
void WebAudioUpdate() {}

MDRIVER WebAudioDriver = {
    nullptr, "Web Audio", "Web Audio output", 255, 255, "webaudio", nullptr, nullptr,
    WebAudioIsPresent, VC_SampleLoad, VC_SampleUnload, VC_SampleSpace, VC_SampleLength,
    WebAudioInit, WebAudioExit, WebAudioReset, VC_SetNumVoices, WebAudioPlayStart,
    WebAudioPlayStop, WebAudioUpdate, nullptr, VC_VoiceSetVolume, VC_VoiceGetVolume,
    VC_VoiceSetFrequency, VC_VoiceGetFrequency, VC_VoiceSetPanning, VC_VoiceGetPanning,
    VC_VoicePlay, VC_VoiceStop, VC_VoiceStopped, VC_VoiceGetPosition, VC_VoiceRealVolume};

}  // namespace

// The page's audio output, each time it needs sound: mixes frames (at most a block) of
// 16-bit stereo and hands back where they are. It runs only as the game goes to sleep between
// passes or while it sleeps, so libmikmod is never in the middle of a call from the game.
extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* WebMixAudio(int frames) {
    ULONG bytes = static_cast<ULONG>(std::clamp(frames, 0, AudioBlockFrames)) * 4;
    auto* block = reinterpret_cast<SBYTE*>(AudioBlock);
    ULONG mixed = VC_WriteBytes(block, bytes);
    if (mixed < bytes) VC_SilenceBytes(block + mixed, bytes - mixed);
    return AudioBlock;
}

// The tick the game reads now, as unsigned: the page's tests hold the game's clock to the
// browser's.
extern "C" EMSCRIPTEN_KEEPALIVE double WebGameTick() { return GetTickCount(); }

// The page is being left: the game is asked to close, as a desktop window's close button does.
extern "C" EMSCRIPTEN_KEEPALIVE void WebLeavePage() {
    if (!HostIs(HostKind::Web)) return;
    CloseEvent();
    WebWakeLoop();
}

namespace {

// CreateWindowExW of the game's window: the page's title and canvas.
bool ShowCanvasAs(const std::string& title, bool visible, void*) {
    WebSetTitle(title.c_str());
    WebShowCanvas(visible ? 1 : 0);
    return true;
}

// ShowWindow of the game's window: the canvas shown or hidden.
void ShowCanvas(bool show) { WebShowCanvas(show ? 1 : 0); }

// One pixel of the canvas's picture.
void PutCanvasPixel(int x, int y, uint32_t colour) {
    uint8_t* pixel = &Web.rgba[(y * ScreenWidth + x) * 4];
    pixel[0] = static_cast<uint8_t>(colour >> 16);
    pixel[1] = static_cast<uint8_t>(colour >> 8);
    pixel[2] = static_cast<uint8_t>(colour);
    pixel[3] = 0xFF;
}

// A ring one pixel wide whose outer edge is the box, over the canvas's picture.
void PutCanvasRing(const CursorOutline& box, uint32_t colour) {
    for (int x = box.left; x <= box.right; ++x) {
        PutCanvasPixel(x, box.top, colour);
        PutCanvasPixel(x, box.bottom, colour);
    }
    for (int y = box.top; y <= box.bottom; ++y) {
        PutCanvasPixel(box.left, y, colour);
        PutCanvasPixel(box.right, y, colour);
    }
}

// PaceFrame: a changed frame goes onto the canvas at once, the keyboard's cursor over it (white
// round its target, black inside); the browser shows it at its next refresh.
int64_t DrawFrame(int64_t) {
    if (!TakeChangedFrame()) return 0;
    const uint32_t* frame = DisplayFrame();
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) PutCanvasPixel(x, y, frame[y * ScreenWidth + x]);
    }
    if (const CursorOutline* cursor = FrameCursor()) {
        PutCanvasRing(*cursor, 0xFFFFFF);
        PutCanvasRing({cursor->left + 1, cursor->top + 1, cursor->right - 1, cursor->bottom - 1}, 0);
    }
    WebShowFrame(Web.rgba);
    return 0;
}

// The game's pump (through PeekMessageW) and the pause: the page's events arrived while the
// game slept; the gamepads are read now, and a held button repeats.
void PollEvents() {
    PollPads();
    RepeatHeldPadKey();
}

// The pause's sign, over the canvas by the page.
void ShowPauseSign(const PauseSign* sign) {
    if (sign) {
        WebShowPause(sign->title, sign->resume, sign->leave);
    } else {
        WebShowPause(nullptr, nullptr, nullptr);
    }
}

// A gamepad is read only at a pass: once one is in use, every pass runs in its time.
int QuietPassesNow() { return WebPadsSeen() ? 1 : QuietPasses; }

int64_t PauseLookNow() { return WebPadsSeen() ? PausedPadLookNs : PausedLookNs; }

// Undoes StartStandIn.
void StopWebHost() {
    emscripten_html5_remove_all_event_listeners();
    EndHost();
    WebGameEnded();
}

// The page: its canvas, its events and its timers; no window icon, no other copies.
constexpr HostInterface WebInterface{
    .kind = HostKind::Web, .pumpEvents = PollEvents, .createWindow = ShowCanvasAs, .showWindow = ShowCanvas, .flushWindow = DrawFrame,
    .stop = StopWebHost, .showPause = ShowPauseSign, .quietPasses = QuietPassesNow,
    .pauseLookNs = PauseLookNow};

// The host begins to serve: the canvas placed, the page's events heard, a page hidden already
// away.
void ServePage() {
    PlaceCanvas();
    WatchPage();
    EmscriptenVisibilityChangeEvent visibility{};
    if (emscripten_get_visibility_status(&visibility) == EMSCRIPTEN_RESULT_SUCCESS &&
        visibility.hidden) {
        ActivationEvent(false);
        AwayEvent(true);
    }
}

}  // namespace

// main, before WinMain or a resumed game's replay: takes the page for the game, the files it
// kept put back. The options' scale and full screen are the page's to decide; the display
// layout and pace hold as on the desktop.
bool OpenStandIn(const StandInOptions& options) {
    if (Web.opened) return true;
    if (!ValidDisplayLayout(options.display) || options.passMs < 0) {
        std::fprintf(stderr, "marrowdale: unusable options (display %d:%d:%d, pass %d ms)\n",
                     options.display.depth, options.display.xStep, options.display.yStep,
                     options.passMs);
        return false;
    }
    if (!AudioDriverRegistered) {
        // Beside libmikmod's own (the browser's build has only its no-sound driver).
        MikMod_RegisterDriver(&WebAudioDriver);
        AudioDriverRegistered = true;
    }
    Web = WebHost{};
    Web.opened = true;
    Web.options = options;
    // The files the game replaces in its own folder are kept in the page's storage.
    std::string module = ModulePath();
    WebKeepFiles(module.substr(0, module.rfind('/') + 1).c_str());
    return true;
}

bool StartStandIn(const StandInOptions& options) {
    if (!OpenStandIn(options)) return false;
    StartLiveHost(WebInterface, Web.options);
    ServePage();
    return true;
}

bool TakeOverStandIn() {
    if (!HandOverToLiveHost(WebInterface, Web.options)) return false;
    ServePage();
    return true;
}

// One page is one copy: other pages' games are the page's storage to tell apart.
bool OtherCopyRuns(const std::u16string&) { return false; }

// The session, each time the journal of the game in progress went to its file.
void KeepGameInProgress(const std::string&, const std::vector<uint8_t>& journal) {
    WebKeepProgress(journal.data(), static_cast<int>(journal.size()));
}

void DropGameInProgress(bool aside) { WebDropProgress(aside ? 1 : 0); }

// The page loads again; the game waits for it to go.
void StartAgain(const std::vector<std::string>&) {
    WebStartAgain();
    for (;;) WebSleep(1000);
}

// At a name's DONE: the page keeps the game in its storage and offers to send it.
void OfferKeptGame(const std::string& path, const std::vector<uint8_t>& journal) {
    WebGameKept(path.substr(path.rfind('/') + 1).c_str(), journal.data(), static_cast<int>(journal.size()));
}

// The page asked the world table for a challenge before the game loaded (?server=ADDRESS).
bool TakeChallengeTick(const StandInOptions&, DWORD* tick) {
    double given = WebChallengeTick();
    if (given < 0) return false;
    *tick = static_cast<DWORD>(given);
    return true;
}

// The page sends kept games itself (?server=ADDRESS).
int SubmitGame(const char*, const char*) {
    std::fprintf(stderr, "marrowdale: --submit is the desktop's; the page sends games to the "
                         "address its own ?server= names\n");
    return 2;
}

// The page's address is the game's command line (index.html).
bool CommandLineFromAddress() { return true; }

// main, after WinMain: the page is handed back and says the game has ended.
void StopStandIn() {
    if (HostIs(HostKind::Web)) StopHost();
    Web.opened = false;
}

// The page has no display to lose.
bool DisplayFailedGame() { return false; }

// The pacing and Sleep: the sound is topped up, then the game's loop stands still (Asyncify)
// while the page runs its events and timers, to the next whole millisecond or the player's
// input.
void SleepHost(int64_t nanoseconds) {
    int milliseconds = static_cast<int>((std::max<int64_t>(nanoseconds, 0) + 999999) / 1000000);
    WebFeedAudio(milliseconds);
    WebSleep(milliseconds);
}

// The page's events end its every sleep.
void SleepHostTillInput(int64_t nanoseconds) { SleepHost(nanoseconds); }

// GetMessageW with nothing queued: lets the page run a while.
void WaitHostEvent(int timeoutMs) { SleepHost(int64_t{timeoutMs} * 1000000); }

// Nothing to lock: the page mixes only while the game sleeps between passes.
void LockAudioOutput() {}
void UnlockAudioOutput() {}

// The audio layer's device checks: the browser has neither SDL's device nor ALSA's (its own
// driver says whether the page can play sound).
SoundDevice SdlSoundDevice() { return SoundDevice::Missing; }
SoundDevice AlsaSoundDevice() { return SoundDevice::Missing; }

// The audio layer's shutdown, before libmikmod's exit: the page's sound output stops.
void CloseAudioOutput() { WebAudioClose(); }

// The pause: the page's sound output stands still, and nothing is mixed meanwhile.
void HoldAudioOutput(bool hold) { WebAudioHold(hold ? 1 : 0); }

// The audio layer, while the page mixes a fade it waits for: the page runs a moment.
void WaitAudioOutput() {
    WebFeedAudio(AudioWaitMs);
    WebSleep(AudioWaitMs);
}

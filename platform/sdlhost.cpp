// The real host over SDL2: start and stop, the one window and its refresh, SDL events as messages.
#include <SDL.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "platform/host.h"
#include "tools/common/png.h"

namespace {

constexpr int DefaultRefreshHz = 60;
constexpr int LargestScale = 16;
// The scale when the desktop's size can't be had.
constexpr int DefaultScale = 2;
// Room a window manager's title bar and borders take around the window.
constexpr int FrameRoom = 48;
// Stick travel (of 32767) that presses a direction, and the travel below which it lets go.
constexpr int StickPress = 16000;
constexpr int StickRelease = 12000;
constexpr WPARAM StylusButton = 0x0001;
// Key message lParam: a repeat count of 1, bit 30 the key was down, bit 31 it is going up.
constexpr LPARAM KeyRepeatCount = 1;
constexpr LPARAM KeyWasDown = LPARAM{1} << 30;
constexpr LPARAM KeyGoingUp = LPARAM{1} << 31;

// The game keys by their place in GameKeys: a controller presses whatever key the player
// put the game's button on.
enum GameKeySlot { SlotUp, SlotDown, SlotLeft, SlotRight, SlotA, SlotB, SlotC, SlotStart };

struct ButtonKey {
    SDL_GameControllerButton button;
    GameKeySlot slot;
};

// Controller buttons: d-pad as the directions, left face and shoulder as A, right ones as B,
// A and Start as start, Y as C.
constexpr ButtonKey ButtonKeys[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, SlotUp},     {SDL_CONTROLLER_BUTTON_DPAD_DOWN, SlotDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, SlotLeft}, {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, SlotRight},
    {SDL_CONTROLLER_BUTTON_X, SlotA},            {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SlotA},
    {SDL_CONTROLLER_BUTTON_B, SlotB},            {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SlotB},
    {SDL_CONTROLLER_BUTTON_A, SlotStart},        {SDL_CONTROLLER_BUTTON_START, SlotStart},
    {SDL_CONTROLLER_BUTTON_Y, SlotC},
};

// Windowed, full screen by the window manager, or covering the display by itself (no manager).
enum class FullScreenWay { Off, ByManager, BySelf };

struct SdlHost {
    StandInOptions options;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    FullScreenWay fullscreen = FullScreenWay::Off;
    SDL_Rect windowed{};  // where the window stood before it covered the display itself
    int scale = 0;        // the window's size as a multiple of 240 x 320, once it exists
    bool focused = false;
    bool mouseDown = false;
    bool fingerDown = false;
    SDL_FingerID finger = 0;
    bool swallowEnterUp = false;
    int64_t refreshNs = 1000000000 / DefaultRefreshHz;
    int64_t lastPresentNs = 0;
    bool framePending = false;
    bool exposed = false;
    std::set<WORD> keysHeld;
    // Which controller sources (controller id << 16 | source) hold each key down.
    std::map<WORD, std::set<int64_t>> controllerHolds;
    // Stick direction (-1, 0, 1) by controller id << 8 | axis.
    std::map<int64_t, int> stickDirections;
    std::vector<SDL_GameController*> controllers;
};

SdlHost Sdl;

void QueueToGame(UINT message, WPARAM wParam, LPARAM lParam) {
    QueueMessage(GameWindow(), message, wParam, lParam, true);
}

// A key message; only the keyboard's keys give a scan code (controller buttons and
// releases made up on focus loss have none).
void QueueKey(WORD key, bool down, bool repeat, int scanCode = 0) {
    LPARAM flags = KeyRepeatCount | (down ? (repeat ? KeyWasDown : 0) : KeyWasDown | KeyGoingUp);
    flags |= LPARAM{scanCode & 0xFF} << KeyScanCodeShift;
    QueueToGame(down ? WM_KEYDOWN : WM_KEYUP, key, flags);
}

void QueueStylus(UINT message, int x, int y, int width, int height) {
    POINT p = AreaToScreen(x, y, width, height);
    QueueToGame(message, message == WM_LBUTTONUP ? 0 : StylusButton,
                MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

void WindowSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    if (Sdl.window) SDL_GetWindowSize(Sdl.window, width, height);
}

void Present(int64_t nowNs) {
    SDL_UpdateTexture(Sdl.texture, nullptr, DisplayFrame(), ScreenWidth * 4);
    int width = 0;
    int height = 0;
    SDL_GetRendererOutputSize(Sdl.renderer, &width, &height);
    ScreenPlace place = PlaceScreen(width, height);
    SDL_Rect target{place.x, place.y, place.width, place.height};
    SDL_SetRenderDrawColor(Sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(Sdl.renderer);
    SDL_RenderCopy(Sdl.renderer, Sdl.texture, nullptr, &target);
    SDL_RenderPresent(Sdl.renderer);
    Sdl.lastPresentNs = nowNs;
    Sdl.framePending = false;
    Sdl.exposed = false;
}

bool MakeTexture() {
    if (Sdl.texture) SDL_DestroyTexture(Sdl.texture);
    Sdl.texture = SDL_CreateTexture(Sdl.renderer, SDL_PIXELFORMAT_RGB888,
                                    SDL_TEXTUREACCESS_STREAMING, ScreenWidth, ScreenHeight);
    return Sdl.texture != nullptr;
}

// Without a window manager the window covers the display itself: borderless, at the
// display's corner, at its size. (SDL's request for full screen would go unanswered while SDL
// took the window for display-sized: the picture drawn off its middle, taps misplaced.)
bool CoverDisplay() {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(Sdl.window)), &bounds) != 0) {
        return false;
    }
    SDL_GetWindowPosition(Sdl.window, &Sdl.windowed.x, &Sdl.windowed.y);
    SDL_GetWindowSize(Sdl.window, &Sdl.windowed.w, &Sdl.windowed.h);
    SDL_SetWindowBordered(Sdl.window, SDL_FALSE);
    SDL_SetWindowPosition(Sdl.window, bounds.x, bounds.y);
    SDL_SetWindowSize(Sdl.window, bounds.w, bounds.h);
    SDL_RaiseWindow(Sdl.window);
    return true;
}

void UncoverDisplay() {
    SDL_SetWindowBordered(Sdl.window, SDL_TRUE);
    SDL_SetWindowSize(Sdl.window, Sdl.windowed.w, Sdl.windowed.h);
    SDL_SetWindowPosition(Sdl.window, Sdl.windowed.x, Sdl.windowed.y);
}

// Full screen on or off: the screen letterboxed on the whole display, or back in its window.
void SetFullScreen(bool on) {
    if (on == (Sdl.fullscreen != FullScreenWay::Off)) return;
    bool done;
    FullScreenWay way = FullScreenWay::Off;
    if (!on && Sdl.fullscreen == FullScreenWay::BySelf) {
        UncoverDisplay();
        done = true;
    } else if (on && !WindowManagerRuns(Sdl.window)) {
        done = CoverDisplay();
        way = FullScreenWay::BySelf;
    } else {
        done = SDL_SetWindowFullscreen(Sdl.window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0;
        way = on ? FullScreenWay::ByManager : FullScreenWay::Off;
    }
    if (!done) {
        std::fprintf(stderr, "marrowdale: cannot change full screen: %s\n", SDL_GetError());
        return;
    }
    Sdl.fullscreen = way;
    Sdl.exposed = true;
}

// The window's place: centred on the usable desktop (clear of panels) at the scale that
// fits; an asked-for scale that does not fit is lowered, and one line says so.
SDL_Rect WindowPlace() {
    SDL_Rect usable{};
    int asked = Sdl.options.scale;
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) {
        int scale = asked ? asked : DefaultScale;
        return {SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, ScreenWidth * scale,
                ScreenHeight * scale};
    }
    int scale = FitScale(asked, usable.w, usable.h);
    if (asked > scale) {
        std::fprintf(stderr,
                     "marrowdale: --scale %d (a %d x %d window) does not fit the %d x %d desktop; "
                     "using --scale %d\n",
                     asked, ScreenWidth * asked, ScreenHeight * asked, usable.w, usable.h, scale);
    }
    int width = ScreenWidth * scale;
    int height = ScreenHeight * scale;
    return {usable.x + (usable.w - width) / 2, usable.y + (usable.h - height) / 2, width, height};
}

// F10: the next window scale, from 1 up to the largest that fits the desktop, then 1 again;
// in full screen it is the size the window comes back at.
void StepScale() {
    SDL_Rect usable{};
    bool known = SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0;
    int largest = known ? FitScale(0, usable.w, usable.h) : Sdl.scale;
    largest = std::min(largest, LargestScaleOption);
    Sdl.options.scale = Sdl.scale >= largest ? 1 : Sdl.scale + 1;
    SDL_Rect place = WindowPlace();
    Sdl.scale = place.w / ScreenWidth;
    RememberScale(Sdl.scale);
    if (Sdl.fullscreen == FullScreenWay::BySelf) {
        Sdl.windowed = place;
        return;
    }
    SDL_SetWindowSize(Sdl.window, place.w, place.h);
    if (Sdl.fullscreen == FullScreenWay::Off) SDL_SetWindowPosition(Sdl.window, place.x, place.y);
    Sdl.exposed = true;
}

// Focus lost: whatever was held is let go, as the game would never see the releases.
void ReleaseEverything() {
    if (Sdl.mouseDown || Sdl.fingerDown) QueueToGame(WM_LBUTTONUP, 0, 0);
    Sdl.mouseDown = false;
    Sdl.fingerDown = false;
    for (WORD key : Sdl.keysHeld) QueueKey(key, false, false);
    Sdl.keysHeld.clear();
    for (auto& [key, holders] : Sdl.controllerHolds) {
        if (!holders.empty()) QueueKey(key, false, false);
        holders.clear();
    }
    Sdl.stickDirections.clear();
}

void OnWindowEvent(const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            if (!Sdl.focused) QueueToGame(WM_ACTIVATE, WA_ACTIVE, 0);
            Sdl.focused = true;
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            if (Sdl.focused) {
                ReleaseEverything();
                QueueToGame(WM_ACTIVATE, WA_INACTIVE, 0);
            }
            Sdl.focused = false;
            break;
        case SDL_WINDOWEVENT_CLOSE:
            QueueToGame(WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            Sdl.exposed = true;
            break;
        default:
            break;
    }
}

// F12: the 240 x 320 screen as it shows now, as a PNG named by the date and time in the
// current folder; one line on stderr says where, or why not.
void SaveScreenshot() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "marrowdale-%Y-%m-%d-%H%M%S", &local);
    std::string name = std::string(stamp) + ".png";
    for (int n = 2; access(name.c_str(), F_OK) == 0; ++n) {
        name = std::string(stamp) + "-" + std::to_string(n) + ".png";
    }
    char folder[4096];
    const char* where = getcwd(folder, sizeof folder) ? folder : ".";
    errno = 0;
    if (WritePng(name.c_str(), DisplayFrame(), ScreenWidth, ScreenHeight)) {
        std::fprintf(stderr, "marrowdale: screenshot saved as %s/%s\n", where, name.c_str());
    } else {
        std::fprintf(stderr, "marrowdale: cannot save a screenshot in %s: %s\n", where,
                     errno ? std::strerror(errno) : "the picture could not be written");
    }
}

void OnKey(const SDL_KeyboardEvent& event) {
    bool down = event.type == SDL_KEYDOWN;
    SDL_Keycode code = event.keysym.sym;
    bool enter = code == SDLK_RETURN || code == SDLK_KP_ENTER;
    if (code == SDLK_F11 || (enter && down && (event.keysym.mod & KMOD_ALT))) {
        if (down && !event.repeat) {
            SetFullScreen(Sdl.fullscreen == FullScreenWay::Off);
            RememberFullScreen(Sdl.fullscreen != FullScreenWay::Off);
        }
        if (enter) Sdl.swallowEnterUp = true;
        return;
    }
    if (code == SDLK_F10) {
        if (down && !event.repeat) StepScale();
        return;
    }
    if (code == SDLK_F12) {
        if (down && !event.repeat) SaveScreenshot();
        return;
    }
    if (enter && !down && Sdl.swallowEnterUp) {
        Sdl.swallowEnterUp = false;
        return;
    }
    WORD key = VirtualKeyForKeycode(code);
    if (!key) return;
    if (down) {
        Sdl.keysHeld.insert(key);
    } else if (!Sdl.keysHeld.erase(key)) {
        return;
    }
    QueueKey(key, down, event.repeat != 0, event.keysym.scancode);
}

void OnMouseButton(const SDL_MouseButtonEvent& event) {
    if (event.which == SDL_TOUCH_MOUSEID || event.button != SDL_BUTTON_LEFT) return;
    bool down = event.type == SDL_MOUSEBUTTONDOWN;
    if (!down && !Sdl.mouseDown) return;
    Sdl.mouseDown = down;
    int width;
    int height;
    WindowSize(&width, &height);
    QueueStylus(down ? WM_LBUTTONDOWN : WM_LBUTTONUP, event.x, event.y, width, height);
}

// The handheld's screen has no hover: moves count only while the stylus is down.
void OnMouseMotion(const SDL_MouseMotionEvent& event) {
    if (event.which == SDL_TOUCH_MOUSEID || !Sdl.mouseDown) return;
    int width;
    int height;
    WindowSize(&width, &height);
    QueueStylus(WM_MOUSEMOVE, event.x, event.y, width, height);
}

// The first finger down is the stylus until it lifts; other fingers are ignored.
void OnFinger(const SDL_TouchFingerEvent& event) {
    bool isStylus = Sdl.fingerDown && event.fingerId == Sdl.finger;
    UINT message;
    if (event.type == SDL_FINGERDOWN) {
        if (Sdl.fingerDown) return;
        Sdl.fingerDown = true;
        Sdl.finger = event.fingerId;
        message = WM_LBUTTONDOWN;
    } else if (!isStylus) {
        return;
    } else if (event.type == SDL_FINGERUP) {
        Sdl.fingerDown = false;
        message = WM_LBUTTONUP;
    } else {
        message = WM_MOUSEMOVE;
    }
    int width;
    int height;
    WindowSize(&width, &height);
    QueueStylus(message, static_cast<int>(event.x * width), static_cast<int>(event.y * height),
                width, height);
}

// A key stays down while any controller source holds it.
void ControllerHold(int64_t source, WORD key, bool down) {
    std::set<int64_t>& holders = Sdl.controllerHolds[key];
    bool wasHeld = !holders.empty();
    if (down) {
        holders.insert(source);
    } else {
        holders.erase(source);
    }
    if (wasHeld != !holders.empty()) QueueKey(key, !wasHeld, false);
}

void OnControllerButton(const SDL_ControllerButtonEvent& event) {
    for (const ButtonKey& entry : ButtonKeys) {
        if (entry.button != event.button) continue;
        int64_t source = (static_cast<int64_t>(event.which) << 16) | event.button;
        bool down = event.type == SDL_CONTROLLERBUTTONDOWN;
        ControllerHold(source, PlayerKeys().codes[entry.slot], down);
    }
}

// The left stick presses the arrow of its direction past StickPress, with some slack
// before it lets go so a stick held near the edge does not chatter.
void OnControllerAxis(const SDL_ControllerAxisEvent& event) {
    const WORD* codes = PlayerKeys().codes;
    WORD negative;
    WORD positive;
    if (event.axis == SDL_CONTROLLER_AXIS_LEFTX) {
        negative = codes[SlotLeft];
        positive = codes[SlotRight];
    } else if (event.axis == SDL_CONTROLLER_AXIS_LEFTY) {
        negative = codes[SlotUp];
        positive = codes[SlotDown];
    } else {
        return;
    }
    int& direction = Sdl.stickDirections[(static_cast<int64_t>(event.which) << 8) | event.axis];
    int value = event.value;
    int next = direction;
    if (value <= -StickPress) next = -1;
    if (value >= StickPress) next = 1;
    if (value > -StickRelease && value < StickRelease) next = 0;
    if (next == direction) return;
    int64_t source = (static_cast<int64_t>(event.which) << 16) | (0x100 + event.axis);
    if (direction != 0) ControllerHold(source, direction < 0 ? negative : positive, false);
    if (next != 0) ControllerHold(source, next < 0 ? negative : positive, true);
    direction = next;
}

void OnControllerAdded(int deviceIndex) {
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (controller) Sdl.controllers.push_back(controller);
}

void OnControllerRemoved(SDL_JoystickID id) {
    for (auto& [key, holders] : Sdl.controllerHolds) {
        bool wasHeld = !holders.empty();
        std::erase_if(holders, [id](int64_t source) { return (source >> 16) == id; });
        if (wasHeld && holders.empty()) QueueKey(key, false, false);
    }
    std::erase_if(Sdl.stickDirections, [id](const auto& entry) { return (entry.first >> 8) == id; });
    SDL_GameController* controller = SDL_GameControllerFromInstanceID(id);
    if (!controller) return;
    std::erase(Sdl.controllers, controller);
    SDL_GameControllerClose(controller);
}

void OnEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: QueueToGame(WM_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT: OnWindowEvent(event.window); break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: OnKey(event.key); break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: OnMouseButton(event.button); break;
        case SDL_MOUSEMOTION: OnMouseMotion(event.motion); break;
        case SDL_FINGERDOWN:
        case SDL_FINGERMOTION:
        case SDL_FINGERUP: OnFinger(event.tfinger); break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: OnControllerButton(event.cbutton); break;
        case SDL_CONTROLLERAXISMOTION: OnControllerAxis(event.caxis); break;
        case SDL_CONTROLLERDEVICEADDED: OnControllerAdded(event.cdevice.which); break;
        case SDL_CONTROLLERDEVICEREMOVED: OnControllerRemoved(event.cdevice.which); break;
        case SDL_RENDER_DEVICE_RESET:
            if (Sdl.renderer) MakeTexture();
            Sdl.exposed = true;
            break;
        case SDL_RENDER_TARGETS_RESET: Sdl.exposed = true; break;
        default: break;
    }
}

}  // namespace

// Integer scale when the area holds the screen at least once, else the screen shrunk to fit;
// centred either way.
ScreenPlace PlaceScreen(int width, int height) {
    if (width <= 0 || height <= 0) return {0, 0, ScreenWidth, ScreenHeight};
    int scale = std::min(width / ScreenWidth, height / ScreenHeight);
    int placedWidth = ScreenWidth * scale;
    int placedHeight = ScreenHeight * scale;
    if (scale == 0) {
        bool widthBound = width * ScreenHeight <= height * ScreenWidth;
        placedWidth = std::max(1, widthBound ? width : height * ScreenWidth / ScreenHeight);
        placedHeight = std::max(1, widthBound ? width * ScreenHeight / ScreenWidth : height);
    }
    return {(width - placedWidth) / 2, (height - placedHeight) / 2, placedWidth, placedHeight};
}

// Leaves FrameRoom free on both axes so the window's frame fits on the desktop too.
int FitScale(int asked, int width, int height) {
    int fits = std::min((width - FrameRoom) / ScreenWidth, (height - FrameRoom) / ScreenHeight);
    fits = std::clamp(fits, 1, LargestScale);
    return asked == 0 ? fits : std::min(asked, fits);
}

// Window point to screen pixel; points in the bars or outside the window are clamped.
POINT AreaToScreen(int x, int y, int width, int height) {
    ScreenPlace place = PlaceScreen(width, height);
    long long sx = (static_cast<long long>(x) - place.x) * ScreenWidth / place.width;
    long long sy = (static_cast<long long>(y) - place.y) * ScreenHeight / place.height;
    return {static_cast<LONG>(std::clamp<long long>(sx, 0, ScreenWidth - 1)),
            static_cast<LONG>(std::clamp<long long>(sy, 0, ScreenHeight - 1))};
}

// Letters as upper-case ASCII, digits, arrows, Enter, Escape, Space, Tab and Backspace; 0 for
// the rest.
WORD VirtualKeyForKeycode(int32_t keycode) {
    if (keycode >= 'a' && keycode <= 'z') return static_cast<WORD>(keycode - 'a' + 'A');
    if (keycode >= '0' && keycode <= '9') return static_cast<WORD>(keycode);
    switch (keycode) {
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return VK_RETURN;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_TAB: return VK_TAB;
        case SDLK_BACKSPACE: return VK_BACK;
        default: return 0;
    }
}

// SDL falls back to its offscreen driver when no display answers, and the game would run
// unseen; that driver, like the dummy one, serves only whoever asks for it by SDL_VIDEODRIVER.
bool DisplayAnswered() {
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    const char* driver = SDL_GetCurrentVideoDriver();
    bool showsNothing = driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"));
    if (!showsNothing || (asked && *asked)) return true;
    const char* named = std::getenv("DISPLAY");
    if (!named || !*named) named = std::getenv("WAYLAND_DISPLAY");
    if (!named || !*named) {
        std::fprintf(stderr, "marrowdale: no display to show the game on: neither DISPLAY nor "
                             "WAYLAND_DISPLAY is set\n");
    } else {
        std::fprintf(stderr, "marrowdale: cannot connect to the display '%.40s'\n", named);
    }
    return false;
}

// main, before WinMain: opens SDL for the real window with the player's options. Sound and
// controllers are optional; without video or a display there is no game, and one line says why.
bool StartStandIn(const StandInOptions& options) {
    if (Host == HostKind::Headless) StopHeadlessHost();
    if (Host == HostKind::Real) StopRealHost();
    if (!ValidDisplayLayout(options.display) || options.scale < 0 || options.scale > LargestScale ||
        options.passMs < 0) {
        std::fprintf(stderr, "marrowdale: unusable options (scale %d, display %d:%d:%d, pass %d ms)\n",
                     options.scale, options.display.depth, options.display.xStep,
                     options.display.yStep, options.passMs);
        return false;
    }
    // Before SDL starts (it takes a while): a quit asked for meanwhile waits for the window.
    InstallSignalHandlers();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "marrowdale: no video device: %s\n", SDL_GetError());
        return false;
    }
    if (!DisplayAnswered()) {
        SDL_Quit();
        return false;
    }
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    Sdl = SdlHost{};
    Sdl.options = options;
    Host = HostKind::Real;
    UsePlayerChoices(options.keys, options.startMuted);
    ResetMessages();
    ResetWindows();
    ResetDisplay(options.display);
    StartPassSchedule(options.passMs);
    return true;
}

// main, after WinMain: closes the window, SDL and the single-instance socket.
void StopStandIn() {
    if (Host == HostKind::Real) StopRealHost();
}

// Undoes StartStandIn (also when the headless host takes over).
void StopRealHost() {
    WithdrawInstance();
    for (SDL_GameController* controller : Sdl.controllers) SDL_GameControllerClose(controller);
    if (Sdl.texture) SDL_DestroyTexture(Sdl.texture);
    if (Sdl.renderer) SDL_DestroyRenderer(Sdl.renderer);
    if (Sdl.window) SDL_DestroyWindow(Sdl.window);
    Sdl = SdlHost{};
    ReleaseIcon();
    ReleaseDisplay();
    ResetMessages();
    ResetWindows();
    RestoreSignalHandlers();
    SDL_Quit();
    Host = HostKind::None;
}

// CreateWindowExW of the game's window: the one real window, its renderer and texture,
// black until the game presents. It is shown only once it is full screen, if asked.
bool CreateHostWindow(const std::string& title, bool visible, void* icon) {
    if (Sdl.window) return true;
    SDL_Rect place = WindowPlace();
    Sdl.scale = place.w / ScreenWidth;
    Sdl.window = SDL_CreateWindow(title.c_str(), place.x, place.y, place.w, place.h,
                                  SDL_WINDOW_HIDDEN);
    if (Sdl.window) {
        if (icon) SDL_SetWindowIcon(Sdl.window, static_cast<SDL_Surface*>(icon));
        Sdl.renderer = SDL_CreateRenderer(Sdl.window, -1, 0);
        if (!Sdl.renderer) Sdl.renderer = SDL_CreateRenderer(Sdl.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (!Sdl.window || !Sdl.renderer || !MakeTexture()) {
        std::fprintf(stderr, "marrowdale: cannot open the window: %s\n", SDL_GetError());
        if (Sdl.texture) SDL_DestroyTexture(Sdl.texture);
        if (Sdl.renderer) SDL_DestroyRenderer(Sdl.renderer);
        if (Sdl.window) SDL_DestroyWindow(Sdl.window);
        Sdl.texture = nullptr;
        Sdl.renderer = nullptr;
        Sdl.window = nullptr;
        return false;
    }
    WatchDisplayConnection(Sdl.window);
    if (Sdl.options.fullscreen) SetFullScreen(true);
    if (visible) SDL_ShowWindow(Sdl.window);
    SDL_DisplayMode mode{};
    if (SDL_GetWindowDisplayMode(Sdl.window, &mode) == 0 && mode.refresh_rate > 0) {
        Sdl.refreshNs = 1000000000LL / mode.refresh_rate;
    }
    Sdl.exposed = true;
    return true;
}

// ShowWindow of the game's window.
void ShowHostWindow(bool show) {
    if (!Sdl.window) return;
    if (show) {
        SDL_ShowWindow(Sdl.window);
    } else {
        SDL_HideWindow(Sdl.window);
    }
}

// A later copy asked for the game: bring the window back and to the front.
void RaiseHostWindow() {
    if (!Sdl.window) return;
    SDL_RestoreWindow(Sdl.window);
    SDL_ShowWindow(Sdl.window);
    SDL_RaiseWindow(Sdl.window);
}

// PaceFrame: shows a changed (or uncovered) frame once the display's refresh allows;
// otherwise says when it may be shown.
int64_t FlushHostWindow(int64_t nowNs) {
    if (Host != HostKind::Real || !Sdl.renderer) return 0;
    if (TakeChangedFrame()) Sdl.framePending = true;
    if (!Sdl.framePending && !Sdl.exposed) return 0;
    int64_t due = Sdl.lastPresentNs + Sdl.refreshNs;
    if (nowNs < due) return due;
    Present(nowNs);
    return 0;
}

// The game's pump (through PeekMessageW): raise requests and SDL's events into the queue.
void PumpHostEvents() {
    if (ServeInstanceRequests() > 0) RaiseHostWindow();
    SDL_Event event;
    while (SDL_PollEvent(&event)) OnEvent(event);
}

// GetMessageW with nothing queued: waits a little for SDL's next event.
void WaitHostEvent(int timeoutMs) { SDL_WaitEventTimeout(nullptr, timeoutMs); }

// The audio layer, around its calls into libmikmod (no-op while no SDL audio is open).
void LockAudioOutput() { SDL_LockAudio(); }
void UnlockAudioOutput() { SDL_UnlockAudio(); }

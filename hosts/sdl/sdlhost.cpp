// The real host over SDL2: start and stop, the one window and its refresh, SDL events as messages.
#include <SDL.h>
#include <SDL_opengl.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "handheld/host.h"
#include "handheld/system.h"
#include "hosts/live.h"
#include "hosts/sdl/sdl.h"
#include "lib/png.h"
#include "services/instance.h"
#include "services/settings.h"

namespace {

constexpr int DefaultRefreshHz = 60;
constexpr int LargestScale = 16;
// The scale when the desktop's size can't be had.
constexpr int DefaultScale = 2;
// Room a window manager's title bar and borders take around the window.
constexpr int FrameRoom = 48;
// A display that turns the connection away is asked again this long, this often.
constexpr std::chrono::milliseconds DisplayRetryMost(2000);
constexpr std::chrono::milliseconds DisplayRetryDelay(100);
// Screenshots taken within one second get -2, -3 ... after their stamp, up to this many.
constexpr int ScreenshotNamesMost = 1000;
// SDL's own look at its sources costs a handful of calls into the system, so the pump asks it
// only when the display has sent something, or a controller is open (its buttons are read by
// looking), and otherwise every quarter second: controllers plugged in, the screen saver kept
// off. For half a second after the display spoke it asks every pass, since SDL holds a change
// of focus back for a fifth of a second.
constexpr Uint64 QuietPumpMs = 250;
constexpr Uint64 BusyPumpMs = 500;
// Passes a still picture may sleep through, then run back to back once due; the display's
// input ends the sleep (SleepHostTillInput).
constexpr int QuietPasses = 4;
// How Mesa's OpenGL drivers that draw on the processor name themselves.
constexpr const char* SoftwareRasterizers[] = {"llvmpipe", "softpipe", "Software Rasterizer",
                                               "swrast"};
struct SdlPadButton {
    SDL_GameControllerButton button;
    PadButton pad;
};

// SDL's controller buttons by their place on the pad.
constexpr SdlPadButton SdlPadButtons[] = {
    {SDL_CONTROLLER_BUTTON_A, PadSouth},
    {SDL_CONTROLLER_BUTTON_B, PadEast},
    {SDL_CONTROLLER_BUTTON_X, PadWest},
    {SDL_CONTROLLER_BUTTON_Y, PadNorth},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, PadLeftShoulder},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, PadRightShoulder},
    {SDL_CONTROLLER_BUTTON_BACK, PadBack},
    {SDL_CONTROLLER_BUTTON_START, PadStart},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, PadUp},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, PadDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, PadLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, PadRight},
};

// Windowed, full screen by the window manager, or covering the display by itself (no manager).
enum class FullScreenWay { Off, ByManager, BySelf };

struct SdlHost {
    bool opened = false;  // SDL started for the game, whether or not the host serves yet
    StandInOptions options;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SDL_Texture* enlarged = nullptr;  // the screen at a whole scale, for a smooth step to its place
    bool drawsOnProcessor = false;    // SDL's own renderer: no graphics card enlarges the screen
    FullScreenWay fullscreen = FullScreenWay::Off;
    SDL_Rect windowed{};  // where the window stood before it covered the display itself
    int scale = 0;        // the window's size as a multiple of 240 x 320, once it exists
    bool swallowEnterUp = false;
    int64_t refreshNs = 1000000000 / DefaultRefreshHz;
    int64_t lastPresentNs = 0;
    bool framePending = false;
    bool exposed = false;
    const PauseSign* sign = nullptr;  // over the picture while the game is paused
    std::vector<SDL_GameController*> controllers;
    Uint64 lastPumpMs = 0;      // SDL last looked at its sources
    Uint64 displaySpokeMs = 0;  // the display last had something to say
};

SdlHost Sdl;

// Full screen, and a window the player asked to fit sharp, fill what they have; other windows
// are whole multiples of the screen.
ScreenFit CurrentFit() {
    bool sharp = Sdl.fullscreen != FullScreenWay::Off || Sdl.options.scale == FitSharpScale;
    return sharp ? ScreenFit::Sharp : ScreenFit::Whole;
}

// The window's size for the input that follows, which maps it as the picture is placed now.
void InputArea(int* width, int* height) {
    *width = 0;
    *height = 0;
    if (Sdl.window) SDL_GetWindowSize(Sdl.window, width, height);
    SetScreenFit(CurrentFit());
}

// The texture the screen is enlarged into, at width x height, filled by the renderer (a
// target) or by hand (streaming); false when the renderer can't have one.
bool MakeEnlargedTexture(int width, int height, SDL_TextureAccess access) {
    int madeWidth = 0;
    int madeHeight = 0;
    int madeAccess = 0;
    if (Sdl.enlarged &&
        SDL_QueryTexture(Sdl.enlarged, nullptr, &madeAccess, &madeWidth, &madeHeight) == 0 &&
        madeWidth == width && madeHeight == height && madeAccess == access) {
        return true;
    }
    if (Sdl.enlarged) SDL_DestroyTexture(Sdl.enlarged);
    Sdl.enlarged = nullptr;
    if (access == SDL_TEXTUREACCESS_TARGET && !SDL_RenderTargetSupported(Sdl.renderer)) {
        return false;
    }
    Sdl.enlarged = SDL_CreateTexture(Sdl.renderer, SDL_PIXELFORMAT_RGB888, access, width, height);
    if (!Sdl.enlarged) return false;
    SDL_SetTextureScaleMode(Sdl.enlarged, SDL_ScaleModeLinear);
    return true;
}

// Each pixel of the frame a scale x scale block of rows pitch bytes apart; given as a constant,
// the scale unrolls into a few wide stores a pixel.
template <typename Scale>
void LayBlocks(Scale scale, uint8_t* bytes, int pitch) {
    const uint32_t* frame = DisplayFrame();
    size_t rowBytes = static_cast<size_t>(ScreenWidth) * scale * sizeof(uint32_t);
    for (int y = 0; y < ScreenHeight; ++y) {
        uint8_t* first = bytes + static_cast<size_t>(y) * scale * pitch;
        auto* row = reinterpret_cast<uint32_t*>(first);
        for (int x = 0; x < ScreenWidth; ++x) {
            for (int k = 0; k < scale; ++k) row[x * scale + k] = frame[y * ScreenWidth + x];
        }
        for (int k = 1; k < scale; ++k) {
            std::memcpy(first + static_cast<size_t>(k) * pitch, first, rowBytes);
        }
    }
}

// The frame into the enlarged texture at a whole scale: a window's usual two and full
// screen's usual three are laid by code made for them.
void EnlargeByHand(int scale) {
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(Sdl.enlarged, nullptr, &pixels, &pitch) != 0) return;
    auto* bytes = static_cast<uint8_t*>(pixels);
    if (scale == 2) {
        LayBlocks(std::integral_constant<int, 2>{}, bytes, pitch);
    } else if (scale == 3) {
        LayBlocks(std::integral_constant<int, 3>{}, bytes, pitch);
    } else {
        LayBlocks(scale, bytes, pitch);
    }
    SDL_UnlockTexture(Sdl.enlarged);
}

// What goes to the place: the screen at the place's whole scale, pixels as blocks, so only a
// last, smooth step to a larger place blurs, and only the blocks' edges. A graphics card
// enlarges the screen's texture itself (straight onto the place when that is a whole
// multiple); on the processor the blocks are laid by hand, a quarter of SDL's scaled copy.
SDL_Texture* PictureFor(const ScreenPlace& place) {
    int width = ScreenWidth * place.scale;
    int height = ScreenHeight * place.scale;
    if (Sdl.drawsOnProcessor && MakeEnlargedTexture(width, height, SDL_TEXTUREACCESS_STREAMING)) {
        EnlargeByHand(place.scale);
        return Sdl.enlarged;
    }
    SDL_UpdateTexture(Sdl.texture, nullptr, DisplayFrame(), ScreenWidth * 4);
    if ((place.width == width && place.height == height) ||
        !MakeEnlargedTexture(width, height, SDL_TEXTUREACCESS_TARGET)) {
        return Sdl.texture;
    }
    SDL_SetRenderTarget(Sdl.renderer, Sdl.enlarged);
    SDL_RenderCopy(Sdl.renderer, Sdl.texture, nullptr, nullptr);
    SDL_SetRenderTarget(Sdl.renderer, nullptr);
    return Sdl.enlarged;
}

// The frame at its place, black bars around it where it leaves any, and what goes over it.
void Present(int64_t nowNs) {
    int width = 0;
    int height = 0;
    SDL_GetRendererOutputSize(Sdl.renderer, &width, &height);
    ScreenPlace place = PlaceScreen(width, height, CurrentFit());
    SDL_Texture* picture = PictureFor(place);
    SDL_Rect target{place.x, place.y, place.width, place.height};
    if (place.width < width || place.height < height) {
        SDL_SetRenderDrawColor(Sdl.renderer, 0, 0, 0, 255);
        SDL_RenderClear(Sdl.renderer);
    }
    SDL_RenderCopy(Sdl.renderer, picture, nullptr, &target);
    if (const CursorOutline* cursor = FrameCursor()) DrawCursorOutline(Sdl.renderer, target, *cursor);
    if (Sdl.sign) DrawPauseSign(Sdl.renderer, target, *Sdl.sign);
    SDL_RenderPresent(Sdl.renderer);
    Sdl.lastPresentNs = nowNs;
    Sdl.framePending = false;
    Sdl.exposed = false;
}

// The screen's texture, its pixels enlarged as blocks; the enlarged one is made again when used.
bool MakeTexture() {
    if (Sdl.texture) SDL_DestroyTexture(Sdl.texture);
    if (Sdl.enlarged) SDL_DestroyTexture(Sdl.enlarged);
    Sdl.enlarged = nullptr;
    Sdl.texture = SDL_CreateTexture(Sdl.renderer, SDL_PIXELFORMAT_RGB888,
                                    SDL_TEXTUREACCESS_STREAMING, ScreenWidth, ScreenHeight);
    if (!Sdl.texture) return false;
    SDL_SetTextureScaleMode(Sdl.texture, SDL_ScaleModeNearest);
    return true;
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
// fits; an asked-for scale that does not fit is lowered, and one line says so. Fitted sharp,
// it is as large as the desktop holds with room for its frame.
SDL_Rect WindowPlace() {
    SDL_Rect usable{};
    int asked = Sdl.options.scale;
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) {
        int scale = asked > 0 ? asked : DefaultScale;
        return {SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, ScreenWidth * scale,
                ScreenHeight * scale};
    }
    if (asked == FitSharpScale) {
        ScreenPlace fitted = PlaceScreen(std::max(usable.w - FrameRoom, ScreenWidth),
                                         std::max(usable.h - FrameRoom, ScreenHeight),
                                         ScreenFit::Sharp);
        return {usable.x + (usable.w - fitted.width) / 2, usable.y + (usable.h - fitted.height) / 2,
                fitted.width, fitted.height};
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

void OnWindowEvent(const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            ActivationEvent(true);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            ActivationEvent(false);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            CloseEvent();
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_HIDDEN:
            AwayEvent(true);
            break;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            AwayEvent(false);
            Sdl.exposed = true;
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            Sdl.exposed = true;
            break;
        default:
            break;
    }
}

// A new file for a screenshot at the first free name of stamp's: made only where nothing,
// not even a link, had the name, so nothing outside the folder is written through one left
// there. Its descriptor and name, or -1 with errno saying why.
int CreateScreenshotFile(const char* stamp, std::string* name) {
    for (int n = 1; n <= ScreenshotNamesMost; ++n) {
        *name = std::string(stamp) + (n > 1 ? "-" + std::to_string(n) : "") + ".png";
        int fd = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// F12: the 240 x 320 screen as it shows now, as a PNG named by the date and time in the
// current folder; one line on stderr says where, or why not.
void SaveScreenshot() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "marrowdale-%Y-%m-%d-%H%M%S", &local);
    char folder[4096];
    const char* where = getcwd(folder, sizeof folder) ? folder : ".";
    std::string name;
    int fd = CreateScreenshotFile(stamp, &name);
    int error = fd < 0 ? errno : 0;
    FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && !file) {
        error = errno;
        close(fd);
    }
    errno = 0;
    if (file && WritePngFile(file, DisplayFrame(), ScreenWidth, ScreenHeight)) {
        std::fprintf(stderr, "marrowdale: screenshot saved as %s/%s\n", where, name.c_str());
        return;
    }
    if (!error) error = errno;
    if (fd >= 0) unlink(name.c_str());
    std::fprintf(stderr, "marrowdale: cannot save a screenshot in %s: %s\n", where,
                 error ? std::strerror(error) : "the picture could not be written");
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
    KeyEvent(VirtualKeyForKeycode(code), down, event.repeat != 0, event.keysym.scancode);
}

// Mouse events SDL makes from touches are left out: the fingers come on their own.
void OnMouseButton(const SDL_MouseButtonEvent& event) {
    if (event.which == SDL_TOUCH_MOUSEID || event.button != SDL_BUTTON_LEFT) return;
    int width;
    int height;
    InputArea(&width, &height);
    MouseButton(event.type == SDL_MOUSEBUTTONDOWN, event.x, event.y, width, height);
}

void OnMouseMotion(const SDL_MouseMotionEvent& event) {
    if (event.which == SDL_TOUCH_MOUSEID) return;
    int width;
    int height;
    InputArea(&width, &height);
    MouseMove(event.x, event.y, width, height);
}

// Finger positions come as fractions of the window.
void OnFinger(const SDL_TouchFingerEvent& event) {
    FingerPhase phase = event.type == SDL_FINGERDOWN ? FingerPhase::Down
                        : event.type == SDL_FINGERUP ? FingerPhase::Up
                                                     : FingerPhase::Move;
    int width;
    int height;
    InputArea(&width, &height);
    FingerEvent(phase, event.fingerId, static_cast<int>(event.x * width),
                static_cast<int>(event.y * height), width, height);
}

void OnControllerButton(const SDL_ControllerButtonEvent& event) {
    for (const SdlPadButton& entry : SdlPadButtons) {
        if (entry.button == event.button) {
            PadButtonEvent(event.which, entry.pad, event.type == SDL_CONTROLLERBUTTONDOWN);
        }
    }
}

void OnControllerAxis(const SDL_ControllerAxisEvent& event) {
    if (event.axis == SDL_CONTROLLER_AXIS_LEFTX) PadAxisEvent(event.which, PadStickX, event.value);
    if (event.axis == SDL_CONTROLLER_AXIS_LEFTY) PadAxisEvent(event.which, PadStickY, event.value);
}

void OnControllerAdded(int deviceIndex) {
    SDL_GameController* controller = SDL_GameControllerOpen(deviceIndex);
    if (controller) Sdl.controllers.push_back(controller);
}

void OnControllerRemoved(SDL_JoystickID id) {
    PadGone(id);
    SDL_GameController* controller = SDL_GameControllerFromInstanceID(id);
    if (!controller) return;
    std::erase(Sdl.controllers, controller);
    SDL_GameControllerClose(controller);
}

void OnEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: CloseEvent(); break;
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

// A later copy asked for the game: bring the window back and to the front.
void RaiseHostWindow() {
    if (!Sdl.window) return;
    SDL_RestoreWindow(Sdl.window);
    SDL_ShowWindow(Sdl.window);
    SDL_RaiseWindow(Sdl.window);
}

}  // namespace

// Leaves FrameRoom free on both axes so the window's frame fits on the desktop too.
int FitScale(int asked, int width, int height) {
    int fits = std::min((width - FrameRoom) / ScreenWidth, (height - FrameRoom) / ScreenHeight);
    fits = std::clamp(fits, 1, LargestScale);
    return asked == 0 ? fits : std::min(asked, fits);
}

// Letters as upper-case ASCII, digits, arrows, Enter, Escape, Space, Tab, Backspace and Pause;
// 0 for the rest.
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
        case SDLK_PAUSE: return VK_PAUSE;
        default: return 0;
    }
}

namespace {

// The display the environment names, or null.
const char* NamedDisplay() {
    const char* named = std::getenv("DISPLAY");
    if (!named || !*named) named = std::getenv("WAYLAND_DISPLAY");
    return named && *named ? named : nullptr;
}

// SDL falls back to its offscreen driver when no display answers, and the game would run
// unseen; that driver, like the dummy one, serves only whoever asks for it by SDL_VIDEODRIVER.
bool DisplayAnswered() {
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    const char* driver = SDL_GetCurrentVideoDriver();
    bool showsNothing = driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"));
    return !showsNothing || (asked && *asked);
}

// SDL's video on a display that answers. A busy X server now and then turns a connection away
// while it serves others: the display named is asked again for up to two seconds (unless a
// quit is asked for meanwhile). False after one line on stderr.
bool StartVideo() {
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    bool chosen = asked && *asked;
    auto giveUp = std::chrono::steady_clock::now() + DisplayRetryMost;
    bool started = false;
    std::string error;
    for (;;) {
        started = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
        if (started && DisplayAnswered()) return true;
        error = SDL_GetError();
        if (started) SDL_Quit();
        if (chosen || !NamedDisplay() || QuitSignal() || std::chrono::steady_clock::now() >= giveUp) {
            break;
        }
        std::this_thread::sleep_for(DisplayRetryDelay);
    }
    if (!started) {
        std::fprintf(stderr, "marrowdale: no video device: %s\n", error.c_str());
    } else if (!NamedDisplay()) {
        std::fprintf(stderr, "marrowdale: no display to show the game on: neither DISPLAY nor "
                             "WAYLAND_DISPLAY is set\n");
    } else {
        std::fprintf(stderr, "marrowdale: cannot connect to the display '%s'\n",
                     ShownText(NamedDisplay()).c_str());
    }
    return false;
}

}  // namespace

namespace {

// Whether the renderer draws through OpenGL on the processor. Its rasterizer's threads then
// take several times what SDL's own copy of the picture into the window takes.
bool RasterizesInSoftware(SDL_Renderer* renderer) {
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(renderer, &info) != 0 || !info.name ||
        std::strncmp(info.name, "opengl", 6) != 0) {
        return false;
    }
    using GetString = const GLubyte*(APIENTRY*)(GLenum);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const GLubyte* name = getString ? getString(GL_RENDERER) : nullptr;
    if (!name) return false;
    for (const char* rasterizer : SoftwareRasterizers) {
        if (std::strstr(reinterpret_cast<const char*>(name), rasterizer)) return true;
    }
    return false;
}

// The window's renderer: SDL's first choice (or the one SDL_RENDER_DRIVER names), unless that
// is OpenGL drawn on the processor, and SDL's own drawing into the window then or when no
// other opens.
SDL_Renderer* OpenRenderer() {
    SDL_Renderer* renderer = SDL_CreateRenderer(Sdl.window, -1, 0);
    const char* named = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    if (renderer && !(named && *named) && RasterizesInSoftware(renderer)) {
        SDL_DestroyRenderer(renderer);
        renderer = nullptr;
    }
    if (renderer) return renderer;
    // Straight into the window's pixels, not through an OpenGL texture of them.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return SDL_CreateRenderer(Sdl.window, -1, SDL_RENDERER_SOFTWARE);
}

// CreateWindowExW of the game's window: the one real window, its renderer and texture,
// black until the game presents. It is shown only once it is full screen, if asked.
bool OpenWindow(const std::string& title, bool visible, void* icon) {
    if (Sdl.window) return true;
    SDL_Rect place = WindowPlace();
    Sdl.scale = place.w / ScreenWidth;
    Sdl.window = SDL_CreateWindow(title.c_str(), place.x, place.y, place.w, place.h,
                                  SDL_WINDOW_HIDDEN);
    if (Sdl.window) {
        if (icon) SDL_SetWindowIcon(Sdl.window, static_cast<SDL_Surface*>(icon));
        Sdl.renderer = OpenRenderer();
        SDL_RendererInfo info{};
        Sdl.drawsOnProcessor = Sdl.renderer && SDL_GetRendererInfo(Sdl.renderer, &info) == 0 &&
                               (info.flags & SDL_RENDERER_SOFTWARE);
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
void ShowOrHideWindow(bool show) {
    if (!Sdl.window) return;
    if (show) {
        SDL_ShowWindow(Sdl.window);
    } else {
        SDL_HideWindow(Sdl.window);
    }
}

// PaceFrame: shows a changed (or uncovered) frame once the display's refresh allows;
// otherwise says when it may be shown.
int64_t FlushWindow(int64_t nowNs) {
    if (!Sdl.renderer) return 0;
    if (TakeChangedFrame()) Sdl.framePending = true;
    if (!Sdl.framePending && !Sdl.exposed) return 0;
    int64_t due = Sdl.lastPresentNs + Sdl.refreshNs;
    if (nowNs < due) return due;
    Present(nowNs);
    return 0;
}

// Whether the display connection and the raise-request socket have something waiting, in
// one look; a descriptor that can't be had counts as having something.
void LookForInput(bool* display, bool* raise) {
    pollfd watched[2] = {{DisplayDescriptor(Sdl.window), POLLIN, 0},
                         {InstanceRequestDescriptor(), POLLIN, 0}};
    if (watched[0].fd >= 0 || watched[1].fd >= 0) poll(watched, 2, 0);
    *display = watched[0].fd < 0 || watched[0].revents != 0 || DisplayEventsHeld(Sdl.window);
    *raise = watched[1].revents != 0;
}

// A controller is read only at a pass: while one is open, every pass runs in its time.
int QuietPassesNow() { return Sdl.controllers.empty() ? QuietPasses : 1; }

// The game's pump (through PeekMessageW) and the pause: raise requests, SDL's events and a
// held controller button's repeats into the queue. A display that failed the game asks it to
// quit at once: two closes skip the credits nobody could see.
void PumpEvents() {
    bool display = false;
    bool raise = false;
    LookForInput(&display, &raise);
    if (raise && ServeInstanceRequests() > 0) RaiseHostWindow();
    Uint64 now = SDL_GetTicks64();
    if (display) Sdl.displaySpokeMs = now;
    if (display || !Sdl.controllers.empty() || now - Sdl.displaySpokeMs < BusyPumpMs ||
        now - Sdl.lastPumpMs >= QuietPumpMs) {
        SDL_PumpEvents();
        Sdl.lastPumpMs = now;
    }
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        OnEvent(event);
    }
    RepeatHeldPadKey();
    if (TakeDisplayFailure()) {
        CloseEvent();
        CloseEvent();
    }
}

// The pause's sign goes up or down at the window's next refresh.
void ShowPauseSign(const PauseSign* sign) {
    Sdl.sign = sign;
    Sdl.exposed = true;
}


// LoadIconW: a surface SDL can give the window, pure green turned transparent.
void* LoadIconSurface(const std::string& path) {
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    if (!loaded) return nullptr;
    SDL_Surface* icon = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    if (!icon) return nullptr;
    for (int y = 0; y < icon->h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(icon->pixels) + y * icon->pitch);
        for (int x = 0; x < icon->w; ++x) {
            row[x] = (row[x] & 0x00FFFFFF) == 0x0000FF00 ? 0 : row[x] | 0xFF000000;
        }
    }
    return icon;
}

void FreeIconSurface(void* icon) { SDL_FreeSurface(static_cast<SDL_Surface*>(icon)); }

void DestroyHostWindow() {
    if (Sdl.enlarged) SDL_DestroyTexture(Sdl.enlarged);
    if (Sdl.texture) SDL_DestroyTexture(Sdl.texture);
    if (Sdl.renderer) SDL_DestroyRenderer(Sdl.renderer);
    if (Sdl.window) SDL_DestroyWindow(Sdl.window);
}

// Undoes StartStandIn or OpenStandIn (also when the headless host takes over).
void StopSdlHost() {
    StopScoreSender();
    StopKeepingProgress();
    WithdrawInstance();
    for (SDL_GameController* controller : Sdl.controllers) SDL_GameControllerClose(controller);
    // Over a connection that is gone, closing the window waits for the server for ever (SDL's
    // own drawing detaches its shared memory and syncs): the window goes with the process.
    bool lost = DisplayConnectionLost();
    if (!lost) DestroyHostWindow();
    SettleDisplay();
    Sdl = SdlHost{};
    if (HostIs(HostKind::Real)) EndHost();
    RestoreSignalHandlers();
    if (lost) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_GAMECONTROLLER);
    } else {
        SDL_Quit();
    }
}

// The desktop's window and its events; other copies found through the user's runtime folder.
constexpr HostInterface SdlInterface{
    .kind = HostKind::Real, .pumpEvents = PumpEvents, .createWindow = OpenWindow,
    .showWindow = ShowOrHideWindow, .flushWindow = FlushWindow, .stop = StopSdlHost,
    .loadIcon = LoadIconSurface, .freeIcon = FreeIconSurface,
    .otherCopyRunning = OtherCopyRunning, .publishWindow = PublishInstance,
    .raiseOtherCopy = AskOtherCopyToRaise, .showPause = ShowPauseSign,
    .quietPasses = QuietPassesNow};

}  // namespace

// main, before WinMain or a resumed game's replay: opens SDL for the real window with the
// player's options. Sound and controllers are optional; without video or a display there is
// no game, and one line says why.
bool OpenStandIn(const StandInOptions& options) {
    if (Sdl.opened) return true;
    bool knownScale =
        options.scale == FitSharpScale || (options.scale >= 0 && options.scale <= LargestScale);
    if (!ValidDisplayLayout(options.display) || !knownScale || options.passMs < 0) {
        std::fprintf(stderr, "marrowdale: unusable options (scale %d, display %d:%d:%d, pass %d ms)\n",
                     options.scale, options.display.depth, options.display.xStep,
                     options.display.yStep, options.passMs);
        return false;
    }
    // Before SDL starts (it takes a while): a quit asked for meanwhile waits for the window.
    InstallSignalHandlers();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (!StartVideo()) return false;
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    Sdl = SdlHost{};
    Sdl.opened = true;
    Sdl.options = options;
    return true;
}

// main, before WinMain: SDL opened (unless it is already) and the host serving the game.
bool StartStandIn(const StandInOptions& options) {
    if (HostIs(HostKind::Real)) StopHost();
    if (!OpenStandIn(options)) return false;
    StartLiveHost(SdlInterface, Sdl.options);
    StartScoreSender(Sdl.options.scoreServer);
    return true;
}

bool TakeOverStandIn() {
    if (!HandOverToLiveHost(SdlInterface, Sdl.options)) return false;
    StartScoreSender(Sdl.options.scoreServer);
    return true;
}

bool OtherCopyRuns(const std::u16string& className) { return OtherCopyRunning(className); }

// The program itself again, in this process (its number, which names its journal, stays).
void StartAgain(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    execv("/proc/self/exe", argv.data());
    std::fprintf(stderr, "marrowdale: cannot start again: %s\n", std::strerror(errno));
}

// The desktop's command line is typed.
bool CommandLineFromAddress() { return false; }

// main, after WinMain: closes the window, SDL and the single-instance socket.
void StopStandIn() {
    if (HostIs(HostKind::Real) || Sdl.opened) StopSdlHost();
}

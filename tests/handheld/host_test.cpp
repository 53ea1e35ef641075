// The platform on the real machine: file calls over POSIX, the real hosts' input mapping, and the
// real host run in child processes (start, signals, one copy per user).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <tuple>

#include "handheld/gx.h"
#include "handheld/system.h"
#include "hosts/headless/headless.h"
#include "hosts/live.h"
#include "hosts/sdl/sdl.h"
#include "services/instance.h"
#include "tests/handheld/helpers.h"

namespace {

using namespace platformtest;

class Files : public PrivateFolder {
protected:
    std::string Name(const std::string& name) const { return folder + "/" + name; }
    std::u16string Path(const std::string& name) const {
        return std::filesystem::path(Name(name)).u16string();
    }
    HANDLE Open(const std::string& name, DWORD access, DWORD disposition) const {
        return CreateFileW(Path(name).c_str(), access, 0, nullptr, disposition, 0, nullptr);
    }
};

TEST_F(Files, DispositionsCreateOpenAndTruncate) {
    const std::tuple<DWORD, bool, bool, const char*> cases[] = {
        // disposition, a file there before, opens, the contents after (nullptr: no file)
        {OPEN_EXISTING, false, false, nullptr}, {OPEN_EXISTING, true, true, "old"},
        {OPEN_ALWAYS, false, true, ""},         {OPEN_ALWAYS, true, true, "old"},
        {CREATE_NEW, false, true, ""},          {CREATE_NEW, true, false, "old"},
        {CREATE_ALWAYS, false, true, ""},       {CREATE_ALWAYS, true, true, ""},
        {99, true, false, "old"}};
    for (auto [disposition, existed, opens, after] : cases) {
        SCOPED_TRACE(testing::Message() << "disposition " << disposition << " " << existed);
        std::filesystem::remove(Name("f"));
        if (existed) std::ofstream(Name("f")) << "old";
        HANDLE h = Open("f", GENERIC_READ | GENERIC_WRITE, disposition);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, opens);
        CloseHandle(h);
        ASSERT_EQ(std::filesystem::exists(Name("f")), after != nullptr);
        EXPECT_EQ(ReadText(Name("f")), after ? after : "");
    }
    EXPECT_EQ(Open("", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE) << "a folder is no file";
}

TEST_F(Files, BadHandlesAndBrokenPathsFailSafely) {
    HANDLE stale = Open("s", GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_TRUE(CloseHandle(stale));
    char buffer[4] = {};
    for (HANDLE h : {INVALID_HANDLE_VALUE, HANDLE{nullptr}, stale, HANDLE{buffer}}) {
        DWORD n = 99;
        EXPECT_FALSE(ReadFile(h, buffer, 4, &n, nullptr));
        EXPECT_EQ(n, 0u);
        EXPECT_FALSE(WriteFile(h, buffer, 4, &n, nullptr));
        EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        EXPECT_FALSE(FlushFileBuffers(h) || CloseHandle(h));
    }
    const WCHAR unpairedSurrogate[] = {u'a', 0xD800, 0};
    for (const WCHAR* path : {static_cast<const WCHAR*>(nullptr), u"", unpairedSurrogate}) {
        EXPECT_EQ(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
                  INVALID_HANDLE_VALUE);
    }
}

// A recording's note of the high score file reads what a plain file holds and never waits on
// anything else (a FIFO would hold the start for ever).
TEST_F(Files, TheScoreFilesNoteReadsOnlyAPlainFile) {
    std::ofstream(Name("plain")) << "old";
    mkfifo(Name("fifo").c_str(), 0600);
    std::filesystem::create_directory(Name("folder"));
    const std::tuple<const char*, bool, bool, size_t> cases[] = {
        // name, there, readable, bytes
        {"none", false, false, 0}, {"plain", true, true, 3}, {"fifo", true, false, 0},
        {"folder", true, false, 0}};
    for (auto [name, there, readable, bytes] : cases) {
        ScoreFileState note = ReadScoreFileState(Name(name));
        EXPECT_EQ(note.existed, there) << name;
        EXPECT_EQ(note.readable, readable) << name;
        EXPECT_EQ(note.bytes.size(), bytes) << name;
    }
}

// The executable's path, whole or not at all; no icon beside it is no error.
TEST(ModulePath, ReportsTheWholePathOrNothing) {
    StartHeadlessHost({.modulePath = "/opt/gard\xC3\xA9n/marrowdale"});
    WCHAR path[64];
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, 64), 22u);
    EXPECT_EQ(std::u16string(path), u"/opt/gard\u00e9n/marrowdale");
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, 22), 0u) << "no room for the terminator";
    EXPECT_EQ(path[0], 0) << "never a cut path";
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), nullptr);
    StopHeadlessHost();
}

TEST(RealInput, WindowPointsMapToClampedScreenPixelsAndKeyCodesToVirtualKeys) {
    constexpr ScreenFit Whole = ScreenFit::Whole;
    constexpr ScreenFit Sharp = ScreenFit::Sharp;
    const std::tuple<int, int, int, int, ScreenFit, LONG, LONG> cases[] = {
        // window point, window size, fit, screen pixel
        {0, 0, 480, 640, Whole, 0, 0},         {479, 639, 480, 640, Whole, 239, 319},
        {201, 401, 480, 640, Whole, 100, 200}, {750, 270, 1920, 1080, Whole, 50, 70},  // scale 3
        {10, 500, 1920, 1080, Whole, 0, 146},  // in the left bar: the nearest edge pixel
        {-40, 2000, 480, 640, Whole, 0, 319}, {2000, -40, 480, 640, Whole, 239, 0},  // outside it
        {60, 200, 120, 400, Whole, 120, 160},  // a window smaller than the screen: shrunk, centred
        {200, 100, 800, 600, Whole, 0, 0},     // 240 x 320 in the middle: a point above its left
        {200, 100, 800, 600, Sharp, 13, 53},   // 450 x 600 from x 175: a point inside it
        {175, 0, 800, 600, Sharp, 0, 0},       {624, 599, 800, 600, Sharp, 239, 319},
        {960, 540, 1920, 1080, Sharp, 120, 160}, {554, 540, 1920, 1080, Sharp, 0, 160}};
    for (auto [x, y, width, height, fit, screenX, screenY] : cases) {
        POINT p = AreaToScreen(x, y, width, height, fit);
        EXPECT_EQ(std::tie(p.x, p.y), std::tie(screenX, screenY)) << x << "," << y;
    }
    const std::pair<int32_t, WORD> keys[] = {  // SDL's key codes: letters lower case, arrows high
        {'a', 'A'},           {'z', 'Z'},             {'7', '7'},          {'\r', VK_RETURN},
        {27, VK_ESCAPE},      {' ', VK_SPACE},        {'\b', VK_BACK},     {'`', 0},  {'A', 0},
        {0x40000050, VK_LEFT}, {0x4000004F, VK_RIGHT}, {0x40000052, VK_UP}, {0x40000051, VK_DOWN}};
    for (auto [keycode, key] : keys) EXPECT_EQ(VirtualKeyForKeycode(keycode), key) << keycode;
}

// Mouse, fingers, keys, controllers and activation as both real hosts hand them over, in a
// 480 x 640 area (the screen at scale 2): what reaches the game, and nothing left held.
TEST(RealInput, HostEventsBecomeTheGamesMessagesAndNothingStaysHeld) {
    StartHeadlessHost({});
    ResetHostInput();
    HWND window = CreateGameWindow(DefWindowProcW);
    const std::pair<std::function<void()>, const char*> steps[] = {
        {[] { MouseMove(100, 100, 480, 640); }, ""},  // no hover
        {[] { MouseButton(true, 481, -9, 480, 640); }, "pen:239,0 "},
        {[] { FingerEvent(FingerPhase::Down, 7, 40, 40, 480, 640); }, "pen:20,20 "},
        {[] { FingerEvent(FingerPhase::Down, 8, 60, 60, 480, 640); }, ""},  // a second finger
        {[] { FingerEvent(FingerPhase::Move, 8, 80, 80, 480, 640); }, ""},
        {[] { FingerEvent(FingerPhase::Up, 7, 50, 50, 480, 640); }, "lift:25,25 "},
        {[] { KeyEvent(0x70, true, false, 58); }, ""},  // F1: not the game's
        {[] { KeyEvent('Z', true, false, 29); }, "down:90/29 "},
        {[] { KeyEvent('Q', false, false, 20); }, ""},  // a release of a press never seen
        {[] { PadButtonEvent(3, PadLeftShoulder, true); }, "down:90/0 "},
        {[] { PadButtonEvent(3, PadWest, true); }, ""},  // Z held already by the pad
        {[] { PadButtonEvent(3, PadLeftShoulder, false); }, ""},
        {[] { PadAxisEvent(3, PadStickX, -20000); }, "down:37/0 "},
        {[] { PadAxisEvent(3, PadStickX, -13000); }, ""},  // slack before it lets go
        {[] { PadAxisEvent(3, PadStickX, 17000); }, "up:37/0 down:39/0 "},
        // B and Start press their own keys, then the game's button (X is B, Enter start).
        {[] { PadButtonEvent(3, PadEast, true); }, "down:196/0 down:88/0 "},
        {[] { PadButtonEvent(3, PadEast, false); }, "up:196/0 up:88/0 "},
        {[] { PadButtonEvent(3, PadStart, true); }, "down:207/0 down:13/0 "},
        {[] { PadGone(3); }, "up:13/0 up:39/0 up:90/0 up:207/0 "},
        {[] { ActivationEvent(false); }, "lift:0,0 up:90/0 activate:0 "},
        {[] { ActivationEvent(false); }, ""},
        {[] { KeyEvent('Z', false, false, 29); }, ""},  // let go already
        {[] { ActivationEvent(true); }, "activate:1 "},
    };
    for (const auto& [step, expected] : steps) {
        step();
        EXPECT_EQ(TakeQueued(window), expected);
    }
    StopHeadlessHost();
}

// Whole scales only, with room for the window's frame; an asked-for scale is kept if it fits.
TEST(RealWindow, TheScaleIsTheLargestThatFitsTheUsableDesktop) {
    const std::tuple<int, int, int, int> cases[] = {
        // asked (0: the largest), usable width and height, scale
        {0, 1024, 768, 2}, {3, 1024, 768, 2},  {1, 1024, 768, 1},  {0, 1920, 1048, 3},
        {0, 1920, 1008, 3}, {0, 1920, 1007, 2}, {0, 1366, 600, 1}, {0, 200, 100, 1},
        {8, 7680, 4320, 8}, {0, 7680, 4320, 13}, {0, 40000, 40000, 16}};
    for (auto [asked, width, height, scale] : cases) {
        EXPECT_EQ(FitScale(asked, width, height), scale) << asked << " " << width << "x" << height;
    }
}

// Whole scales leave bars; sharp, the picture takes the largest size of its shape, drawn at the
// largest whole scale first (the size an exact fit needs no smooth step from).
TEST(RealWindow, ThePictureTakesAWholeScaleOrTheLargestSizeOfItsShape) {
    const std::tuple<int, int, ScreenFit, ScreenPlace> cases[] = {
        {1024, 768, ScreenFit::Whole, {272, 64, 480, 640, 2}},
        {1024, 768, ScreenFit::Sharp, {224, 0, 576, 768, 2}},
        {800, 600, ScreenFit::Whole, {280, 140, 240, 320, 1}},
        {800, 600, ScreenFit::Sharp, {175, 0, 450, 600, 1}},
        {1920, 1080, ScreenFit::Sharp, {555, 0, 810, 1080, 3}},
        {480, 640, ScreenFit::Sharp, {0, 0, 480, 640, 2}},
        {768, 1366, ScreenFit::Sharp, {0, 171, 768, 1024, 3}},  // a display on its side
        {120, 400, ScreenFit::Sharp, {0, 120, 120, 160, 1}},    // smaller than the screen
        {0, 768, ScreenFit::Sharp, {0, 0, 240, 320, 1}}};
    for (auto [width, height, fit, want] : cases) {
        ScreenPlace got = PlaceScreen(width, height, fit);
        EXPECT_EQ(std::tie(got.x, got.y, got.width, got.height, got.scale),
                  std::tie(want.x, want.y, want.width, want.height, want.scale))
            << width << "x" << height << (fit == ScreenFit::Sharp ? " sharp" : " whole");
    }
}

using RealHost = PrivateFolder;

// Handlers go in first thing: a quit asked for before the window exists still arrives.
TEST_F(RealHost, StartsUnderDummyDriversAndSignalsBecomeCloseMessages) {
    EXPECT_EQ(WaitChild(StartChild(folder, [] {
        InstallSignalHandlers();
        std::raise(SIGTERM);
        int fds[2];
        bool survives = pipe(fds) == 0 && close(fds[0]) == 0 && write(fds[1], "x", 1) == -1 &&
                        errno == EPIPE;  // a closed pipe or socket is an error, not the end
        HWND window = StartStandIn(StandInOptions{}) ? CreateGameWindow(DefWindowProcW) : nullptr;
        std::raise(SIGINT);
        MSG msg{};
        int closes = 0;
        while (PeekMessageW(&msg, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) ++closes;
        GXOpenDisplay(nullptr, GX_FULLSCREEN);
        auto* display = static_cast<uint16_t*>(GXBeginDraw());
        if (!survives || !window || closes != 2 || !display) return 10;
        display[0] = 0xFFFF;
        GXEndDraw();
        PaceFrame();
        StopStandIn();
        return std::signal(SIGINT, SIG_DFL) == SIG_DFL ? 0 : 11;  // the old meaning is back
    })), 0);
}

// The first copy: opens its window, says so on ready, pumps until a WM_CLOSE (a signal from
// the test), then reports how many raise requests it served.
int RunFirstCopy(int ready) {
    if (!StartStandIn(StandInOptions{}) || FindWindowW(u"Marrowdale", nullptr)) return 10;
    HWND window = CreateGameWindow(DefWindowProcW);
    if (!window || write(ready, "R", 1) != 1) return 11;
    MSG msg{};
    for (int pass = 0; !PeekMessageW(&msg, window, WM_CLOSE, WM_CLOSE, PM_REMOVE); ++pass) {
        if (pass == 2000) return 12;
        PaceFrame();
    }
    char raises = static_cast<char>(InstanceRaiseRequests());
    StopStandIn();
    return write(ready, &raises, 1) == 1 ? 0 : 13;
}

// A later copy: 0 when it finds the first and gets its raise request through, or (expecting
// to be alone) finds nobody and opens its own window.
int RunLaterCopy(bool expectFirst) {
    if (!StartStandIn(StandInOptions{})) return 20;
    HWND running = FindWindowW(u"Marrowdale", nullptr);
    bool ok = expectFirst ? running && ShowWindow(running, SW_SHOW)
                          : !running && CreateGameWindow(DefWindowProcW);
    StopStandIn();
    return ok ? 0 : 21;
}

// The first copy ends by SIGTERM (cleanly) or SIGKILL (its socket file left behind): either
// way a new start afterwards runs alone.
TEST_F(RealHost, OneCopyPerUserAcrossProcessesAndEndedCopiesCountForNothing) {
    for (int endSignal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(endSignal);
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t first = StartChild(folder, [&] { return RunFirstCopy(fds[1]); });
        close(fds[1]);
        ASSERT_EQ(ReadByte(fds[0]), 'R') << "the first copy opened its window";
        EXPECT_EQ(WaitChild(StartChild(folder, [] { return RunLaterCopy(true); })), 0)
            << "a second copy found the first and asked it to raise its window";
        kill(first, endSignal);
        EXPECT_EQ(ReadByte(fds[0]), endSignal == SIGTERM ? 1 : -1) << "raises served";
        EXPECT_EQ(WaitChild(first), endSignal == SIGTERM ? 0 : -1);
        close(fds[0]);
        bool socketLeft = std::filesystem::exists(folder + "/marrowdale-Marrowdale.socket");
        EXPECT_EQ(socketLeft, endSignal == SIGKILL) << "only the killed copy leaves its socket";
        EXPECT_EQ(WaitChild(StartChild(folder, [] { return RunLaterCopy(false); })), 0);
    }
}

}  // namespace

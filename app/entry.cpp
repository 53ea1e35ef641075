// Program entry and the game's window: single instance, full-screen handling, activation.
#include "app/app.h"
#include "shell/shell.h"
#include "game/game.h"
#include "gfx/gfx.h"

HWND MainWindow;
const WCHAR WindowClassName[32] = u"Marrowdale";
const WCHAR WindowTitle[32] = u"Marrowdale";

constexpr int IconResource = 101;
constexpr DWORD ShellShowAll = SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON | SHFS_SHOWSTARTICON;
constexpr DWORD ShellHideAll = SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON;

// Runs the whole program: set-up, the main loop, and the undoing of the set-up; the exit status.
int WinMain(HINSTANCE instance, HINSTANCE, WCHAR*, int showCommand) {
    HWND running = FindWindowW(WindowClassName, nullptr);
    if (running) {
        ShowWindow(running, SW_SHOW);
        return 0;
    }
    if (!AllocateBackBuffer()) return 1;
    GXOpenDisplay(nullptr, GX_FULLSCREEN);
    GXOpenInput();
    KeyMap = GXGetDefaultKeys(GX_NORMALKEYS);
    GXDisplayProperties properties = GXGetDisplayProperties();
    DisplayFormat = {properties.cBPP, properties.cbxPitch, properties.cbyPitch};
    Latches.tapPending = false;
    Latches.penDown = false;
    Latches.aPressed = false;
    Latches.bPressed = false;
    ShowTaskbar(false);
    ResetClock();
    // A window that can't be had is a failed start, and the exit status says so.
    if (!RegisterWindowClass(instance)) return 1;
    if (!CreateMainWindow(instance, showCommand)) return 1;
    RunMainLoop();
    ShowTaskbar(true);
    GXCloseInput();
    GXCloseDisplay();
    ReleaseBackBuffer();
    return 0;
}

// Registers the window class whose procedure receives every message of the game.
ATOM RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IconResource));
    windowClass.hbrBackground = GetStockObject(BLACK_BRUSH);
    windowClass.lpszClassName = WindowClassName;
    return RegisterClassW(&windowClass);
}

// Creates and shows the 240 x 320 window; 1 on success.
int CreateMainWindow(HINSTANCE instance, int showCommand) {
    HWND window = CreateWindowExW(WS_EX_TOPMOST, WindowClassName, WindowTitle, WS_VISIBLE, 0, 0,
                                  ScreenWidth, ScreenHeight, nullptr, nullptr, instance, nullptr);
    MainWindow = window;
    if (!MainWindow) return 0;
    ShowWindow(MainWindow, showCommand);
    UpdateWindow(MainWindow);
    return 1;
}

// Gives the screen back (show) or takes it whole (hide): taskbar and window position.
void ShowTaskbar(bool show) {
    RECT rect{};
    GetWindowRect(MainWindow, &rect);
    HWND taskbar = FindWindowW(u"HHTaskbar", nullptr);
    if (show) {
        SHFullScreen(MainWindow, ShellShowAll);
        ShowWindow(taskbar, SW_SHOW);
        MoveWindow(MainWindow, rect.left, rect.top + TaskbarMargin, rect.right,
                   rect.bottom - 2 * TaskbarMargin, TRUE);
        return;
    }
    SHFullScreen(MainWindow, ShellHideAll);
    ShowWindow(taskbar, SW_HIDE);
    if (rect.top > 0) {
        MoveWindow(MainWindow, rect.left, rect.top - TaskbarMargin, rect.right,
                   rect.bottom + TaskbarMargin, TRUE);
    }
}

// Deactivation hands the display back; activation takes it again.
static void OnActivate(WORD how) {
    if (how == WA_INACTIVE) {
        ShowTaskbar(true);
        GXCloseInput();
        GXCloseDisplay();
        Inactive = true;
    } else if (how == WA_ACTIVE || how == WA_CLICKACTIVE) {
        ShowTaskbar(false);
        GXOpenDisplay(nullptr, GX_FULLSCREEN);
        GXOpenInput();
        Inactive = false;
    }
}

// A key message's scan code (lParam bits 16 to 23): none for a controller's button.
static uint8_t ScanCodeOf(LPARAM lParam) {
    return static_cast<uint8_t>(HIWORD(static_cast<uintptr_t>(lParam)));
}

// The window procedure: input to the latches, the rest handled here.
LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
        case WM_SETTINGCHANGE:
            ShowTaskbar(false);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_ACTIVATE:
            OnActivate(LOWORD(wParam));
            return 0;
        case WM_ENABLE:
            return 0;
        case WM_CLOSE:
            // A desktop window closes by request; quit the way the menu does, saving scores.
            RequestQuit();
            return 0;
        case WM_KEYDOWN:
            OnKeyDown(static_cast<int16_t>(LOWORD(wParam)));
            OnNavigationKey(static_cast<int16_t>(LOWORD(wParam)), ScanCodeOf(lParam),
                            (lParam & KeyWasDown) != 0);
            return 0;
        case WM_KEYUP:
            OnKeyUp(static_cast<int16_t>(LOWORD(wParam)));
            return 0;
        case WM_CHAR:
            OnCharacter(LOWORD(wParam), ScanCodeOf(lParam), (lParam & KeyWasDown) != 0);
            return 0;
        case WM_MOUSEMOVE:
            OnStylusMove(LOWORD(static_cast<uintptr_t>(lParam)), HIWORD(static_cast<uintptr_t>(lParam)));
            return 0;
        case WM_LBUTTONDOWN:
            OnStylusDown(LOWORD(static_cast<uintptr_t>(lParam)), HIWORD(static_cast<uintptr_t>(lParam)));
            return 0;
        case WM_LBUTTONUP:
            OnStylusUp();
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

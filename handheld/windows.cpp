// Window classes and windows: the game's window, the handheld's taskbar, copies elsewhere.
#include "handheld/system.h"

namespace {

constexpr int ClassSlots = 16;
constexpr int WindowSlots = 16;
// Class atoms are handed out from here, as the handheld numbers registered classes.
constexpr uintptr_t FirstClassAtom = 0xC000;
constexpr RECT TaskbarRect{0, 0, ScreenWidth, 26};

struct ClassRecord {
    bool used;
    std::u16string name;
    WNDPROC procedure;
    HICON icon;
};

// Slot rule for both tables: a slot is free while its used flag is false.
ClassRecord Classes[ClassSlots];
WindowRecord Windows[WindowSlots];
WindowRecord Taskbar;
WindowRecord OtherCopy;
HWND TheGameWindow = nullptr;
DWORD FullScreenFlags = 0;
HICON Icon = nullptr;
// Stock objects are only ever handed back to us, so any distinct addresses serve.
constexpr int StockObjectCount = 32;
char StockObjects[StockObjectCount];

bool IsAtom(const WCHAR* name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

int FindClass(const WCHAR* name) {
    if (!name) return -1;
    for (int slot = 0; slot < ClassSlots; ++slot) {
        if (!Classes[slot].used) continue;
        if (IsAtom(name) ? reinterpret_cast<uintptr_t>(name) == FirstClassAtom + slot
                         : Classes[slot].name == name) {
            return slot;
        }
    }
    return -1;
}

bool ClassMatches(const WindowRecord& window, const WCHAR* className) {
    if (!className) return true;
    if (IsAtom(className)) {
        return window.classSlot >= 0 &&
               reinterpret_cast<uintptr_t>(className) == FirstClassAtom + window.classSlot;
    }
    return window.className == className;
}

bool WindowMatches(const WindowRecord& window, const WCHAR* className, const WCHAR* windowName) {
    return window.used && ClassMatches(window, className) &&
           (!windowName || window.title == windowName);
}

void ClearWindow(WindowRecord* window) { *window = WindowRecord{}; }

}  // namespace

// True when window is one of this process's windows (pointers elsewhere are never read).
bool IsLocalWindow(HWND window) {
    if (!window) return false;
    if (window == &Taskbar) return true;
    for (WindowRecord& slot : Windows) {
        if (window == &slot) return slot.used;
    }
    return false;
}

// The procedure of a local window's class, or none.
WNDPROC WindowProcedureOf(HWND window) {
    if (!IsLocalWindow(window) || window->classSlot < 0) return nullptr;
    return Classes[window->classSlot].procedure;
}

HWND GameWindow() { return TheGameWindow; }

bool TaskbarVisible() { return Taskbar.visible; }

DWORD FullScreenState() { return FullScreenFlags; }

// Forgets every class and window; the taskbar stands shown again.
void ResetWindows() {
    for (ClassRecord& slot : Classes) slot = ClassRecord{};
    for (WindowRecord& slot : Windows) ClearWindow(&slot);
    ClearWindow(&Taskbar);
    Taskbar.used = true;
    Taskbar.classSlot = -1;
    Taskbar.className = u"HHTaskbar";
    Taskbar.rect = TaskbarRect;
    Taskbar.visible = true;
    ClearWindow(&OtherCopy);
    TheGameWindow = nullptr;
    FullScreenFlags = 0;
}

// Frees the icon LoadIconW made (host stop and headless resets).
void ReleaseIcon() {
    if (Icon && ActiveHost().freeIcon) ActiveHost().freeIcon(Icon);
    Icon = nullptr;
}

// Finds a window by class (and title when given): this process's own windows and taskbar
// first; then, for the real host, a copy of the game that this user runs elsewhere.
HWND FindWindowW(const WCHAR* className, const WCHAR* windowName) {
    for (WindowRecord& slot : Windows) {
        if (WindowMatches(slot, className, windowName)) return &slot;
    }
    if (WindowMatches(Taskbar, className, windowName)) return &Taskbar;
    const HostInterface& host = ActiveHost();
    if (!host.otherCopyRunning || !className || IsAtom(className)) return nullptr;
    if (!host.otherCopyRunning(className)) return nullptr;
    ClearWindow(&OtherCopy);
    OtherCopy.used = true;
    OtherCopy.classSlot = -1;
    OtherCopy.className = className;
    OtherCopy.remote = true;
    return &OtherCopy;
}

// Registers a window class by name; 0 for a missing procedure or name, or a name taken.
ATOM RegisterClassW(const WNDCLASSW* windowClass) {
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
        IsAtom(windowClass->lpszClassName) || FindClass(windowClass->lpszClassName) >= 0) {
        return 0;
    }
    for (int slot = 0; slot < ClassSlots; ++slot) {
        if (Classes[slot].used) continue;
        Classes[slot] = {true, windowClass->lpszClassName, windowClass->lpfnWndProc,
                         windowClass->hIcon};
        return static_cast<ATOM>(FirstClassAtom + slot);
    }
    return 0;
}

// Creates a window of a registered class: WM_CREATE reaches its procedure before this
// returns (a result of -1 refuses the window). The first such window is the game's: the
// real host gives it the real window (the desktop publishes it for later copies to find).
HWND CreateWindowExW(DWORD, const WCHAR* className, const WCHAR* windowName, DWORD style, int x,
                     int y, int width, int height, HWND, HMENU, HINSTANCE, void* param) {
    int classSlot = FindClass(className);
    if (classSlot < 0) return nullptr;
    WindowRecord* window = nullptr;
    for (WindowRecord& slot : Windows) {
        if (!slot.used) {
            window = &slot;
            break;
        }
    }
    if (!window) return nullptr;
    window->used = true;
    window->classSlot = classSlot;
    window->className = Classes[classSlot].name;
    window->title = windowName ? windowName : u"";
    window->rect = {x, y, x + width, y + height};
    window->visible = (style & WS_VISIBLE) != 0;
    bool isGame = TheGameWindow == nullptr;
    if (isGame) TheGameWindow = window;
    LRESULT created = Classes[classSlot].procedure(window, WM_CREATE, 0,
                                                   reinterpret_cast<LPARAM>(param));
    std::string title;
    const HostInterface& host = ActiveHost();
    bool refused = created == -1 ||
                   (isGame && host.createWindow &&
                    (!Utf16ToUtf8(window->title.c_str(), &title) ||
                     !host.createWindow(title, window->visible, Classes[classSlot].icon)));
    if (refused) {
        if (isGame) TheGameWindow = nullptr;
        ClearWindow(window);
        return nullptr;
    }
    if (isGame && host.publishWindow) host.publishWindow(window->className);
    return window;
}

// A live host taking over a game that ran without a window: the host makes the real one for the
// game's window as it stands, with its icon, and publishes it. False, after the host's line on
// stderr, when it can't.
bool GiveGameWindowToHost() {
    const HostInterface& host = ActiveHost();
    if (!TheGameWindow || !host.createWindow) return true;
    std::string title;
    if (!Utf16ToUtf8(TheGameWindow->title.c_str(), &title) ||
        !host.createWindow(title, TheGameWindow->visible, LoadIconW(nullptr, nullptr))) {
        return false;
    }
    if (host.publishWindow) host.publishWindow(TheGameWindow->className);
    return true;
}

// Shows or hides a window; for a copy running elsewhere, asks it to raise its window.
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command) {
    if (window == &OtherCopy && OtherCopy.used) {
        const HostInterface& host = ActiveHost();
        return command != SW_HIDE && host.raiseOtherCopy && host.raiseOtherCopy(OtherCopy.className)
                   ? TRUE
                   : FALSE;
    }
    if (!IsLocalWindow(window)) return FALSE;
    bool wasVisible = window->visible;
    window->visible = command != SW_HIDE;
    if (window == TheGameWindow && ActiveHost().showWindow) ActiveHost().showWindow(window->visible);
    return wasVisible ? TRUE : FALSE;
}

// Nothing to paint: the game draws through the display interface.
BOOL UpdateWindow(HWND window) { return IsLocalWindow(window) ? TRUE : FALSE; }

// The window's logical rectangle, as the handheld's screen would place it.
BOOL GetWindowRect(HWND window, RECT* rect) {
    if (!IsLocalWindow(window) || !rect) return FALSE;
    *rect = window->rect;
    return TRUE;
}

// Moves the logical rectangle; the desktop window itself stays where the user put it.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
    if (!IsLocalWindow(window)) return FALSE;
    window->rect = {x, y, x + width, y + height};
    return TRUE;
}

// Records the full-screen flags the game asks for; there is no shell to obey them.
BOOL SHFullScreen(HWND window, DWORD state) {
    if (!IsLocalWindow(window)) return FALSE;
    FullScreenFlags = state;
    return TRUE;
}

// The game's icon: Graph/icon32.bmp where the game's data lies (beside the executable, else
// installed), pure green transparent; none (and no complaint) when the file is missing.
HICON LoadIconW(HINSTANCE, const WCHAR*) {
    if (Icon) return Icon;
    std::string own = ModulePath();
    size_t slash = own.rfind('/');
    std::string beside = slash == std::string::npos ? std::string(".") : own.substr(0, slash);
    auto load = ActiveHost().loadIcon;
    if (!load) return nullptr;
    Icon = load(beside + "/Graph/icon32.bmp");
    if (!Icon) Icon = load(SharedDataFolder() + "/marrowdale/Graph/icon32.bmp");
    return Icon;
}

// A token for a stock object (the game passes its brush back to RegisterClassW only).
HGDIOBJ GetStockObject(int object) {
    if (object < 0 || object >= StockObjectCount) return nullptr;
    return &StockObjects[object];
}

// The handheld's window, message, kernel, file and shell interfaces, as the game calls them.
// Implemented over POSIX by handheld/, served by a host (hosts/): SDL2, the page, or none.
#pragma once

#include <cstdint>

using WCHAR = char16_t;
using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = uint32_t;
using ATOM = uint16_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

struct WindowRecord;
using HWND = WindowRecord*;
using HANDLE = void*;
using HINSTANCE = void*;
using HICON = void*;
using HCURSOR = void*;
using HBRUSH = void*;
using HMENU = void*;
using HGDIOBJ = void*;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const WCHAR* lpszMenuName;
    const WCHAR* lpszClassName;
};

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

// Messages
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SETTINGCHANGE = 0x001A;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;

constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// Virtual-key codes the stand-in produces
constexpr WORD VK_BACK = 0x08;
constexpr WORD VK_TAB = 0x09;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_PAUSE = 0x13;
constexpr WORD VK_ESCAPE = 0x1B;
constexpr WORD VK_SPACE = 0x20;
constexpr WORD VK_LEFT = 0x25;
constexpr WORD VK_UP = 0x26;
constexpr WORD VK_RIGHT = 0x27;
constexpr WORD VK_DOWN = 0x28;
// A game controller's own B and Start (its menu button), which it presses beside the game's
// buttons it stands for.
constexpr WORD VK_GAMEPAD_B = 0xC4;
constexpr WORD VK_GAMEPAD_MENU = 0xCF;
// Letters and digits use their upper-case ASCII codes ('Z' is 0x5A).
// Key message lParam bit 30: the key was down before this message (a repeat, or a release).
constexpr LPARAM KeyWasDown = LPARAM{1} << 30;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr int BLACK_BRUSH = 4;

// Shell: full-screen mode
constexpr DWORD SHFS_SHOWTASKBAR = 0x0001;
constexpr DWORD SHFS_HIDETASKBAR = 0x0002;
constexpr DWORD SHFS_SHOWSIPBUTTON = 0x0004;
constexpr DWORD SHFS_HIDESIPBUTTON = 0x0008;
constexpr DWORD SHFS_SHOWSTARTICON = 0x0010;
constexpr DWORD SHFS_HIDESTARTICON = 0x0020;

// Files
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x00000040;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x00000400;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_NAME_NORMALIZED = 0x0;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x00000001;

// Longest path the stand-in hands out or accepts, in characters with the terminator.
constexpr DWORD MAX_PATH_CHARS = 4096;

// Shell folders: the user's own data (this platform: $XDG_DATA_HOME), and the data installed
// with the program for every user (this platform: the install's share/ folder).
constexpr int CSIDL_APPDATA = 0x001A;
constexpr int CSIDL_COMMON_APPDATA = 0x0023;

// Text
constexpr UINT CP_UTF8 = 65001;

// Window and message services
HWND FindWindowW(const WCHAR* className, const WCHAR* windowName);
ATOM RegisterClassW(const WNDCLASSW* windowClass);
HWND CreateWindowExW(DWORD exStyle, const WCHAR* className, const WCHAR* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, HMENU menu,
                     HINSTANCE instance, void* param);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HICON LoadIconW(HINSTANCE instance, const WCHAR* name);
HGDIOBJ GetStockObject(int object);
BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL GetMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
BOOL SHFullScreen(HWND window, DWORD state);

// Resource name from an integer identifier.
inline const WCHAR* MAKEINTRESOURCEW(int id) {
    return reinterpret_cast<const WCHAR*>(static_cast<uintptr_t>(id));
}

// Kernel
DWORD GetTickCount();
void Sleep(DWORD milliseconds);
DWORD GetModuleFileNameW(HINSTANCE module, WCHAR* path, DWORD size);

// C runtime: the handheld's own generator, so a seed gives the same numbers on every system
// that builds the game (the C library's rand differs from one to the next).
namespace Crt {
int rand();
void srand(unsigned int seed);
}  // namespace Crt

// Files
HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD shareMode, void* security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* bytesRead, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* bytesWritten,
               void* overlapped);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE object);
BOOL MoveFileExW(const WCHAR* existing, const WCHAR* replacement, DWORD flags);
BOOL DeleteFileW(const WCHAR* path);
DWORD GetFileAttributesW(const WCHAR* path);
BOOL CreateDirectoryW(const WCHAR* path, void* security);
BOOL SHGetSpecialFolderPathW(HWND owner, WCHAR* path, int folder, BOOL create);

// Files: a lock over a whole file (the range is not looked at), and a folder's names that
// match a pattern of '*' and '?'.
constexpr DWORD LOCKFILE_FAIL_IMMEDIATELY = 0x00000001;
constexpr DWORD LOCKFILE_EXCLUSIVE_LOCK = 0x00000002;
BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD bytesLow, DWORD bytesHigh,
                void* overlapped);
BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD bytesLow, DWORD bytesHigh, void* overlapped);
constexpr int MAX_PATH = 260;
struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    WCHAR cFileName[MAX_PATH];
};
HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* found);
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* found);
BOOL FindClose(HANDLE search);

// Wave output: the device's volume, left channel in the low word, right in the high one.
using HWAVEOUT = void*;
using MMRESULT = UINT;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
MMRESULT waveOutGetVolume(HWAVEOUT device, DWORD* volume);
DWORD GetFinalPathNameByHandleW(HANDLE file, WCHAR* path, DWORD size, DWORD flags);

// Text: only CP_UTF8 with a zero-terminated source (bytes -1); a broken sequence is refused.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, WCHAR* wide,
                        int chars);

// Helpers for message parameters
inline WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
inline WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
inline LPARAM MAKELPARAM(WORD low, WORD high) {
    return static_cast<LPARAM>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
}

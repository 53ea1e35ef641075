// TEMPORARY: empty stand-in so the tree links while the real platform layer is written.
#include "platform/gx.h"
#include "platform/standin.h"
#include "platform/winapi.h"

HWND FindWindowW(const WCHAR*, const WCHAR*) { return nullptr; }
ATOM RegisterClassW(const WNDCLASSW*) { return 1; }
HWND CreateWindowExW(DWORD, const WCHAR*, const WCHAR*, DWORD, int, int, int, int, HWND, HMENU,
                     HINSTANCE, void*) { return nullptr; }
BOOL ShowWindow(HWND, int) { return 0; }
BOOL UpdateWindow(HWND) { return 0; }
BOOL GetWindowRect(HWND, RECT*) { return 0; }
BOOL MoveWindow(HWND, int, int, int, int, BOOL) { return 0; }
LRESULT DefWindowProcW(HWND, UINT, WPARAM, LPARAM) { return 0; }
void PostQuitMessage(int) {}
BOOL PostMessageW(HWND, UINT, WPARAM, LPARAM) { return 0; }
HICON LoadIconW(HINSTANCE, const WCHAR*) { return nullptr; }
HGDIOBJ GetStockObject(int) { return nullptr; }
BOOL PeekMessageW(MSG*, HWND, UINT, UINT, UINT) { return 0; }
BOOL GetMessageW(MSG*, HWND, UINT, UINT) { return 0; }
BOOL TranslateMessage(const MSG*) { return 0; }
LRESULT DispatchMessageW(const MSG*) { return 0; }
BOOL SHFullScreen(HWND, DWORD) { return 0; }
static DWORD stubTick = 1000;
DWORD GetTickCount() { return stubTick; }
void Sleep(DWORD) {}
DWORD GetModuleFileNameW(HINSTANCE, WCHAR*, DWORD) { return 0; }
HANDLE CreateFileW(const WCHAR*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) { return INVALID_HANDLE_VALUE; }
DWORD SetFilePointer(HANDLE, LONG, LONG*, DWORD) { return INVALID_SET_FILE_POINTER; }
BOOL ReadFile(HANDLE, void*, DWORD, DWORD* n, void*) { if (n) *n = 0; return 0; }
BOOL WriteFile(HANDLE, const void*, DWORD, DWORD* n, void*) { if (n) *n = 0; return 0; }
BOOL FlushFileBuffers(HANDLE) { return 0; }
BOOL CloseHandle(HANDLE) { return 0; }
BOOL MoveFileExW(const WCHAR*, const WCHAR*, DWORD) { return 0; }
BOOL DeleteFileW(const WCHAR*) { return 0; }
int GXOpenDisplay(HWND, DWORD) { return 1; }
int GXCloseDisplay() { return 1; }
int GXOpenInput() { return 1; }
int GXCloseInput() { return 1; }
GXKeyList GXGetDefaultKeys(int) { return GXKeyList{}; }
GXDisplayProperties GXGetDisplayProperties() { return GXDisplayProperties{240, 320, 2, 480, 16, 0}; }
static unsigned char stubDisplay[153600];
void* GXBeginDraw() { return stubDisplay; }
int GXEndDraw() { return 1; }
bool ParseDisplayLayout(const char*, DisplayLayout*) { return false; }
bool StartStandIn(const StandInOptions&) { return false; }
void StopStandIn() {}
void PaceFrame() { stubTick += 13; }
void StartHeadlessHost(const HeadlessOptions&) {}
void StopHeadlessHost() {}
bool HeadlessActive() { return true; }
void HeadlessSetPassHook(PassHook, void*) {}
int HeadlessPassCount() { return 0; }
void HeadlessAdvanceClock(DWORD ms) { stubTick += ms; }
void HeadlessSetTick(DWORD tick) { stubTick = tick; }
const uint8_t* HeadlessDisplayMemory(size_t* size) { *size = sizeof stubDisplay; return stubDisplay; }
void HeadlessDecodedFrame(uint32_t*) {}
HWND HeadlessMainWindow() { return nullptr; }
void HeadlessStylusDown(int, int) {}
void HeadlessStylusMove(int, int) {}
void HeadlessStylusUp() {}
void HeadlessKeyDown(int) {}
void HeadlessKeyUp(int) {}
void HeadlessClose() {}

// Platform test helpers: the game's window, private folders, children running the real host.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "handheld/winapi.h"

namespace platformtest {

// Registers the game's class with procedure (unless registered before) and creates its window
// as the game does.
inline HWND CreateGameWindow(WNDPROC procedure) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = u"Marrowdale";
    RegisterClassW(&windowClass);
    return CreateWindowExW(WS_EX_TOPMOST, u"Marrowdale", u"Marrowdale", WS_VISIBLE, 0, 0, 240, 320,
                           nullptr, nullptr, nullptr, nullptr);
}

// The messages queued for the game's window since the last look, one word each: key downs
// (again: a repeat) and ups with their scan codes, activations, closes and the stylus.
inline std::string TakeQueued(HWND window) {
    std::string seen;
    MSG msg{};
    while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
        uintptr_t l = static_cast<uintptr_t>(msg.lParam);
        if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) {
            const char* kind = msg.message == WM_KEYUP ? "up:" : l & KeyWasDown ? "again:" : "down:";
            seen += kind + std::to_string(msg.wParam) + "/" + std::to_string((l >> 16) & 0xFF) + " ";
        } else if (msg.message == WM_ACTIVATE) {
            seen += "activate:" + std::to_string(msg.wParam) + " ";
        } else if (msg.message == WM_CLOSE) {
            seen += "close ";
        } else {
            const char* kind = msg.message == WM_LBUTTONDOWN ? "pen:" : msg.message == WM_MOUSEMOVE ? "move:" : "lift:";
            seen += kind + std::to_string(LOWORD(l)) + "," + std::to_string(HIWORD(l)) + " ";
        }
    }
    return seen;
}

// A whole file's bytes; empty when it can't be read.
inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder only this user can enter (mode 0700), removed with the fixture.
class PrivateFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder = (std::filesystem::temp_directory_path() / "marrowdale-platform-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string folder;
};

// Runs body in a forked child on SDL's dummy drivers with runtimeFolder for XDG_RUNTIME_DIR;
// the exit status is body's result. The test process never opens SDL itself.
inline pid_t StartChild(const std::string& runtimeFolder, const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0) return pid;
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
    int result = body();
    std::fflush(nullptr);
    _exit(result);
}

// The child's exit status, or -1 when it died by a signal or ran past limitMs (then it is killed).
inline int WaitChild(pid_t pid, int limitMs = 20000) {
    int status = 0;
    for (int waitedMs = 0; waitpid(pid, &status, WNOHANG) == 0; waitedMs += 10) {
        if (waitedMs > limitMs) kill(pid, SIGKILL);
        usleep(10000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One byte from fd within 20 s; -1 on timeout or end of file.
inline int ReadByte(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    unsigned char byte = 0;
    return poll(&waiting, 1, 20000) == 1 && read(fd, &byte, 1) == 1 ? byte : -1;
}

}  // namespace platformtest

// Platform test helpers: forked children running the real host on SDL's dummy drivers; temp folders.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace platformtest {

// A fresh folder only this user can enter (mode 0700); no trailing '/'.
inline std::string MakePrivateFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "marrowdale-platform-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) ? std::string(name.data()) : std::string();
}

inline void RemoveFolder(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// Runs body in a forked child whose environment selects SDL's dummy drivers and the given
// runtime folder; the child's exit status is body's result. SDL is never opened in the test
// process itself, so each child starts SDL from nothing.
inline pid_t StartChild(const std::string& runtimeFolder, const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0) return pid;
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
    _exit(body());
}

// The child's exit status, or -1 (the child killed) if it ran past timeoutMs.
inline int WaitChild(pid_t pid, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads one byte from fd within timeoutMs; -1 on timeout or end of file.
inline int ReadByte(int fd, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        unsigned char byte;
        ssize_t n = read(fd, &byte, 1);
        if (n == 1) return byte;
        if (n == 0) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

}  // namespace platformtest

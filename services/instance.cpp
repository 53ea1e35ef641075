// One copy per user: a lock and a raise-request socket in a folder private to the user.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "handheld/system.h"
#include "services/instance.h"

namespace {

// A later start waits this long for a copy that holds the lock but is still opening its window.
constexpr int RaiseAttempts = 40;
constexpr std::chrono::milliseconds RaiseRetryDelay(50);

struct InstanceRecord {
    std::u16string className;  // the class whose lock this process holds
    int lockFd = -1;
    int listenFd = -1;
    std::string socketPath;
    int raises = 0;
    bool warned = false;
};

InstanceRecord Instance;

void WarnOnce(const char* what, const std::string& path) {
    if (Instance.warned) return;
    Instance.warned = true;
    std::fprintf(stderr, "marrowdale: %s %s; other copies of the game will not be found\n", what,
                 path.c_str());
}

bool IsPrivateFolder(const std::string& path, bool followLinks) {
    struct stat info {};
    int result = followLinks ? stat(path.c_str(), &info) : lstat(path.c_str(), &info);
    return result == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & 077) == 0;
}

// $XDG_RUNTIME_DIR when it is this user's private folder, else /tmp/marrowdale-UID (made
// with mode 0700, and refused when someone else made it or opened it up).
bool PrivateFolder(std::string* folder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && IsPrivateFolder(runtime, true)) {
        *folder = runtime;
        return true;
    }
    std::string own = "/tmp/marrowdale-" + std::to_string(getuid());
    if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) {
        WarnOnce("cannot make the folder", own);
        return false;
    }
    if (!IsPrivateFolder(own, false)) {
        WarnOnce("not a private folder:", own);
        return false;
    }
    *folder = own;
    return true;
}

// The lock and socket paths for a class, its name reduced to safe file name characters.
bool InstancePaths(const std::u16string& className, std::string* lockPath, std::string* socketPath) {
    std::string folder;
    std::string name;
    if (!PrivateFolder(&folder) || !Utf16ToUtf8(className.c_str(), &name)) return false;
    for (char& c : name) {
        bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
        if (!safe) c = '_';
    }
    std::string base = folder + "/marrowdale-" + name;
    *lockPath = base + ".lock";
    *socketPath = base + ".socket";
    if (socketPath->size() >= sizeof(sockaddr_un{}.sun_path)) {
        WarnOnce("path too long for a socket:", *socketPath);
        return false;
    }
    return true;
}

bool HoldsLock(const std::u16string& className) {
    return Instance.lockFd >= 0 && Instance.className == className;
}

// Takes the class's lock without waiting: 1 taken (or already ours), 0 another process
// holds it, -1 no lock can be had here.
int TakeLock(const std::u16string& className) {
    if (HoldsLock(className)) return 1;
    if (Instance.lockFd >= 0) return -1;
    std::string lockPath;
    std::string socketPath;
    if (!InstancePaths(className, &lockPath, &socketPath)) return -1;
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        WarnOnce("cannot open", lockPath);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(fd);
        return error == EWOULDBLOCK ? 0 : -1;
    }
    Instance.className = className;
    Instance.lockFd = fd;
    Instance.socketPath = socketPath;
    return 1;
}

sockaddr_un SocketAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
}

// Connects to a copy's socket and sends one raise request, waiting a little for a copy that
// is still opening its window.
bool SendRaiseRequest(const std::string& socketPath) {
    sockaddr_un address = SocketAddress(socketPath);
    for (int attempt = 0; attempt < RaiseAttempts; ++attempt) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            static const char Request[] = "raise\n";
            bool sent = send(fd, Request, sizeof Request - 1, MSG_NOSIGNAL) > 0;
            close(fd);
            return sent;
        }
        int error = errno;
        close(fd);
        if (error != ENOENT && error != ECONNREFUSED && error != EAGAIN) return false;
        std::this_thread::sleep_for(RaiseRetryDelay);
    }
    return false;
}

}  // namespace

// FindWindowW: another live process of this user holds the class's lock. A process that
// finds nobody keeps the lock from then on, so two copies started together can't both run;
// a dead copy's lock is free, whatever socket file it left behind.
bool OtherCopyRunning(const std::u16string& className) { return TakeLock(className) == 0; }

// CreateWindowExW of the game's window: listen for raise requests from later copies.
void PublishInstance(const std::u16string& className) {
    if (TakeLock(className) != 1 || Instance.listenFd >= 0) return;
    unlink(Instance.socketPath.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address = SocketAddress(Instance.socketPath);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 8) != 0) {
        if (fd >= 0) close(fd);
        WarnOnce("cannot listen on", Instance.socketPath);
        return;
    }
    Instance.listenFd = fd;
}

// ShowWindow on a copy found elsewhere: asks it to raise its window, and says so in one line;
// a copy that does not answer is named in one line.
bool AskOtherCopyToRaise(const std::u16string& className) {
    std::string lockPath;
    std::string socketPath;
    if (!InstancePaths(className, &lockPath, &socketPath)) return false;
    if (SendRaiseRequest(socketPath)) {
        std::fprintf(stderr, "marrowdale: the game is already running; its window was brought "
                             "to the front\n");
        return true;
    }
    std::fprintf(stderr, "marrowdale: the copy of the game already running did not answer at %s\n",
                 socketPath.c_str());
    return false;
}

int InstanceRequestDescriptor() { return Instance.listenFd; }

// The real host's event poll, when a request waits: each waiting connection is one.
int ServeInstanceRequests() {
    if (Instance.listenFd < 0) return 0;
    int served = 0;
    for (;;) {
        int fd = accept4(Instance.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        close(fd);
        ++served;
    }
    Instance.raises += served;
    return served;
}

int InstanceRaiseRequests() { return Instance.raises; }

// StopStandIn: the socket goes first, then the lock, so the next copy starts clean.
void WithdrawInstance() {
    if (Instance.listenFd >= 0) {
        close(Instance.listenFd);
        unlink(Instance.socketPath.c_str());
    }
    if (Instance.lockFd >= 0) close(Instance.lockFd);
    bool warned = Instance.warned;
    Instance = InstanceRecord{};
    Instance.warned = warned;
}

// The desktop's game in progress kept on the disk: its journal file synced off the game's thread,
// so that a power loss loses no more of the game than the passes since the last sync.
#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hosts/live.h"
#include "hosts/sdl/sdl.h"

namespace {

// The file to sync next (empty while none waits), handed to the syncing thread.
struct SyncRecord {
    std::mutex lock;
    std::condition_variable asked;
    std::thread worker;
    std::string path;
    bool stopping = false;
};

SyncRecord Sync;

// The syncing thread: each file asked for, once, until the host stops and none waits.
void SyncAskedFiles() {
    std::unique_lock<std::mutex> held(Sync.lock);
    for (;;) {
        Sync.asked.wait(held, [] { return Sync.stopping || !Sync.path.empty(); });
        if (Sync.path.empty()) return;
        std::string path = std::move(Sync.path);
        Sync.path.clear();
        held.unlock();
        int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            fdatasync(fd);
            close(fd);
        }
        held.lock();
    }
}

}  // namespace

// The session, each time the journal of the game in progress went to its file: a sync of the
// file is asked for; one still waiting is the same.
void KeepGameInProgress(const std::string& path, const std::vector<uint8_t>&) {
    std::lock_guard<std::mutex> held(Sync.lock);
    if (!Sync.worker.joinable()) {
        Sync.stopping = false;
        Sync.worker = std::thread(SyncAskedFiles);
    }
    Sync.path = path;
    Sync.asked.notify_one();
}

// The desktop's files of games in progress are the session's own.
void DropGameInProgress(bool) {}

void StopKeepingProgress() {
    {
        std::lock_guard<std::mutex> held(Sync.lock);
        if (!Sync.worker.joinable()) return;
        Sync.stopping = true;
        Sync.asked.notify_one();
    }
    Sync.worker.join();
    Sync.stopping = false;
}

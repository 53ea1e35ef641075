// The kept games' folder: the passing journal of a run, the games kept by date and score, and
// the marks of those not yet sent.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "handheld/system.h"
#include "services/games.h"

namespace {

constexpr char PassingPrefix[] = "playing-";
constexpr char PassingSuffix[] = ".mdj.part";
constexpr char UnsentSuffix[] = ".unsent";
constexpr char JournalSuffix[] = ".mdj";
// Kept names that are taken get "-2", "-3" ... up to this.
constexpr int KeptNameTries = 100;

bool EndsWith(const std::string& text, const char* suffix) {
    size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// $XDG_DATA_HOME/marrowdale/games; empty without a home folder.
std::string GamesFolderPath() {
    std::string data = UserFolder("XDG_DATA_HOME", "/.local/share");
    return data.empty() ? data : data + "/marrowdale/games";
}

// The folder, made when missing; empty after one line when it can't be.
std::string GamesFolder() {
    std::string folder = GamesFolderPath();
    if (folder.empty() || !MakeFolders(folder)) {
        std::fprintf(stderr, "marrowdale: no folder for kept games (%s); high score games are not kept\n",
                     folder.empty() ? "no home folder" : folder.c_str());
        return std::string();
    }
    return folder;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A passing journal whose run is gone: its process no longer exists.
bool LeftBehind(const std::string& name) {
    if (name.rfind(PassingPrefix, 0) != 0 || !EndsWith(name, PassingSuffix)) return false;
    long pid = std::strtol(name.c_str() + sizeof PassingPrefix - 1, nullptr, 10);
    return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Writes bytes to a new file at path, durably; false with errno set.
bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;
        done += static_cast<size_t>(wrote);
    }
    bool whole = done == bytes.size() && fsync(fd) == 0;
    bool closed = close(fd) == 0;
    return whole && closed;
}

// Opens path with flags (O_NOFOLLOW: not through a link), never waiting on a FIFO, and only
// when it is a plain file: the descriptor, with the file's status in info, or -1 with problem
// set to why not.
int OpenPlainFile(const std::string& path, int flags, struct stat* info, std::string* problem) {
    int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0600);
    int error = errno;
    if (fd >= 0 && fstat(fd, info) == 0 && S_ISREG(info->st_mode)) return fd;
    if (fd >= 0) close(fd);
    // A link (refused by O_NOFOLLOW), a FIFO no one reads, a socket, a folder.
    bool odd = fd >= 0 || error == ELOOP || error == ENXIO || error == EISDIR;
    *problem = odd ? "it is not a plain file" : std::strerror(error);
    return -1;
}

// The kept game's name: the local date and time, and the score.
std::string KeptStem(int32_t score) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stem[64];
    std::strftime(stem, sizeof stem, "%Y-%m-%d-%H%M%S", &local);
    return std::string(stem) + "-" + std::to_string(score);
}

}  // namespace

// The session, before a live game starts. Whatever is already at this run's own name (a file
// of an earlier run that had this process number, a link) goes too, never written through.
std::string PassingJournalPath() {
    std::string folder = GamesFolder();
    if (folder.empty()) return folder;
    for (const std::string& name : FolderNames(folder)) {
        if (LeftBehind(name)) unlink((folder + "/" + name).c_str());
    }
    std::string path = folder + "/" + PassingPrefix + std::to_string(getpid()) + PassingSuffix;
    unlink(path.c_str());
    return path;
}

// At a name's DONE: written whole beside its final name, then renamed to it (the browser keeps
// what is renamed into its folders).
std::string KeepGame(const std::vector<uint8_t>& journal, int32_t score) {
    std::string folder = GamesFolder();
    if (folder.empty()) return folder;
    std::string stem = folder + "/" + KeptStem(score);
    std::string path = stem + JournalSuffix;
    for (int n = 2; access(path.c_str(), F_OK) == 0 && n <= KeptNameTries; ++n) {
        path = stem + "-" + std::to_string(n) + JournalSuffix;
    }
    std::string part = path + ".part";
    if (!WriteNewFile(part, journal) || rename(part.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "marrowdale: cannot keep the game in %s: %s\n", path.c_str(),
                     std::strerror(errno));
        unlink(part.c_str());
        return std::string();
    }
    return path;
}

bool MarkUnsent(const std::string& game) {
    std::string problem;
    struct stat info{};
    int fd = OpenPlainFile(game + UnsentSuffix, O_WRONLY | O_CREAT | O_NOFOLLOW, &info, &problem);
    if (fd < 0) {
        std::fprintf(stderr, "marrowdale: cannot mark %s to be sent (%s): %s\n", game.c_str(),
                     UnsentSuffix, problem.c_str());
        return false;
    }
    close(fd);
    return true;
}

void MarkSent(const std::string& game) { unlink((game + UnsentSuffix).c_str()); }

// A mark whose game is gone is dropped.
std::vector<std::string> UnsentGames() {
    std::vector<std::string> games;
    std::string folder = GamesFolderPath();
    for (const std::string& name : FolderNames(folder)) {
        if (!EndsWith(name, UnsentSuffix)) continue;
        std::string game = folder + "/" + name.substr(0, name.size() - sizeof UnsentSuffix + 1);
        struct stat info{};
        if (lstat(game.c_str(), &info) == 0) {
            games.push_back(game);
        } else {
            MarkSent(game);
        }
    }
    return games;
}

bool SplitServerAddress(const std::string& address, std::string* origin, std::string* path) {
    size_t scheme = address.find("://");
    if (scheme == std::string::npos) return false;
    std::string name = address.substr(0, scheme);
    if (name != "http" && name != "https") return false;
    size_t hostStart = scheme + 3;
    size_t slash = address.find('/', hostStart);
    std::string host = address.substr(hostStart, slash == std::string::npos ? slash : slash - hostStart);
    constexpr char HostCharacters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:[]";
    if (host.empty() || host.find_first_not_of(HostCharacters) != std::string::npos) return false;
    std::string below = slash == std::string::npos ? "/" : address.substr(slash);
    for (char c : below) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '?' || c == '#' || c == 0x7F) return false;
    }
    if (below.back() != '/') below += '/';
    *origin = name + "://" + host;
    *path = below;
    return true;
}

bool ReadGameFile(const std::string& path, bool kept, std::vector<uint8_t>* bytes, std::string* problem) {
    struct stat info{};
    int fd = OpenPlainFile(path, O_RDONLY | (kept ? O_NOFOLLOW : 0), &info, problem);
    if (fd < 0) return false;
    if (static_cast<uint64_t>(info.st_size) > LargestSentJournal) {
        *problem = "it is larger than the 2 MB a score server takes";
        close(fd);
        return false;
    }
    bytes->resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes->size()) {
        ssize_t got = read(fd, bytes->data() + done, bytes->size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    close(fd);
    if (done != bytes->size()) {
        *problem = "it changed while it was read";
        return false;
    }
    return true;
}

// Replays in worker processes: the game's records are global, so each journal is replayed by a
// child of its own, forked from a zygote (this program started once as --replay-zygote, before
// any game) under resource limits; one zygote for each replay at once, the games beyond them
// waiting their turn in a bounded queue.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "app/app.h"
#include "game/game.h"
#include "journal/journal.h"
#include "server/server.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The answer of a worker whose game made an entry: "entry SCORE NAME".
constexpr char EntryWord[] = "entry ";
constexpr char NoEntryWord[] = "none";
constexpr int TooLongStatus = 3;
constexpr size_t LargestAnswer = 256;
constexpr size_t LargestMessages = 16384;
constexpr rlim_t WorkerMemory = rlim_t{1} << 30;
constexpr rlim_t WorkerFileBytes = rlim_t{1} << 20;
constexpr rlim_t WorkerFiles = 64;
// A zygote that has not ended its replay this long after the replay's own limit is stuck,
// and is ended with it.
constexpr int ZygoteMarginSeconds = 5;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

// One zygote and the socket the server speaks to it on.
struct Zygote {
    pid_t pid = -1;
    int socket = -1;
};

struct PoolRecord {
    std::mutex lock;
    std::condition_variable turn;
    int workers = 1;
    int queued = 0;   // the most that may wait
    int seconds = 60;
    int running = 0;
    uint64_t issued = 0;    // tickets handed out
    uint64_t admitted = 0;  // tickets whose replay started
    std::vector<Zygote> zygotes;
    std::vector<int> idle;  // the zygotes no replay uses now
};

PoolRecord Pool;

// A zygote's request: the most seconds the replay may take; the journal, the answer's pipe
// and the messages' pipe go beside it as three descriptors.
struct ZygoteRequest {
    int32_t seconds;
};

// A zygote's report of one replay: the child's wait status (-1: it could not be started),
// whether the zygote killed it for its time, and the processor time it used.
struct ZygoteReport {
    int32_t status;
    int32_t timedOut;
    int64_t cpuMicroseconds;
};

// The replay's limits, set in its child.
void LimitWorker(int seconds) {
    rlimit cpu{static_cast<rlim_t>(seconds), static_cast<rlim_t>(seconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    rlimit bytes{WorkerFileBytes, WorkerFileBytes};
    setrlimit(RLIMIT_FSIZE, &bytes);
    rlimit files{WorkerFiles, WorkerFiles};
    setrlimit(RLIMIT_NOFILE, &files);
    // The sanitizers reserve terabytes of address space they never use.
    if (!Sanitized) {
        rlimit memory{WorkerMemory, WorkerMemory};
        setrlimit(RLIMIT_AS, &memory);
    }
}

// Starts a zygote on one end of a socket pair (between fork and exec, async-signal-safe
// calls only); false when it can't be started.
bool StartZygote(Zygote& zygote) {
    static char self[] = "/proc/self/exe";
    static char name[] = "marrowdale-scores";
    static char mode[] = "--replay-zygote";
    char* argv[] = {name, mode, nullptr};
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return false;
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        // The zygote, and through it every replay, ends with the server, whatever ends it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent || dup2(ends[1], 0) < 0 || dup2(2, 1) < 0) _exit(127);
        close_range(3, ~0u, 0);
        sigset_t all;
        sigemptyset(&all);
        sigprocmask(SIG_SETMASK, &all, nullptr);
        execve(self, argv, environ);
        _exit(127);
    }
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return false;
    }
    zygote = {pid, ends[0]};
    return true;
}

void EndZygote(Zygote& zygote) {
    if (zygote.pid <= 0) return;
    kill(zygote.pid, SIGKILL);
    close(zygote.socket);
    while (waitpid(zygote.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    zygote = {};
}

// A message of one record, with room for three descriptors beside it.
struct Envelope {
    iovec part;
    alignas(cmsghdr) char control[CMSG_SPACE(3 * sizeof(int))] = {};
    msghdr message{};
    Envelope(void* record, size_t size) : part{record, size} {
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    Envelope(const Envelope&) = delete;
    Envelope& operator=(const Envelope&) = delete;
};

// Sends a zygote one replay's request with its three descriptors.
bool SendRequest(const Zygote& zygote, int seconds, const int fds[3]) {
    ZygoteRequest request{seconds};
    Envelope envelope(&request, sizeof request);
    msghdr& message = envelope.message;
    cmsghdr* rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(3 * sizeof(int));
    std::memcpy(CMSG_DATA(rights), fds, 3 * sizeof(int));
    ssize_t sent;
    while ((sent = sendmsg(zygote.socket, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    return sent == static_cast<ssize_t>(sizeof request);
}

// A whole message on a zygote's socket, waited for at most milliseconds (-1: no end); false
// when none came.
bool ReceiveWhole(int socket, void* into, size_t size, int milliseconds, int fds[3] = nullptr) {
    pollfd wait{socket, POLLIN, 0};
    int ready;
    while ((ready = poll(&wait, 1, milliseconds)) < 0 && errno == EINTR) {
    }
    if (ready <= 0) return false;
    Envelope envelope(into, size);
    msghdr& message = envelope.message;
    ssize_t got;
    while ((got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    int taken = 0;
    for (cmsghdr* rights = CMSG_FIRSTHDR(&message); rights; rights = CMSG_NXTHDR(&message, rights)) {
        if (rights->cmsg_level != SOL_SOCKET || rights->cmsg_type != SCM_RIGHTS) continue;
        int count = static_cast<int>((rights->cmsg_len - CMSG_LEN(0)) / sizeof(int));
        for (int i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(rights) + i * sizeof(int), sizeof fd);
            if (fds && taken < 3) {
                fds[taken++] = fd;
            } else {
                close(fd);
            }
        }
    }
    bool whole = got == static_cast<ssize_t>(size) && (!fds || taken == 3);
    for (int i = 0; fds && !whole && i < taken; ++i) close(fds[i]);
    return whole;
}

// Reads what the worker says on both pipes until it closes them or time runs out; false on
// timeout. Each pipe keeps its first bytes up to its limit.
bool CollectWorker(int answerPipe, int messagePipe, int seconds, std::string* answer,
                   std::string* messages) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    pollfd fds[2] = {{answerPipe, POLLIN, 0}, {messagePipe, POLLIN, 0}};
    std::string* into[2] = {answer, messages};
    size_t limits[2] = {LargestAnswer, LargestMessages};
    int open = 2;
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) return false;
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char block[4096];
            ssize_t got = read(fds[i].fd, block, sizeof block);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                fds[i].fd = -1;
                --open;
                continue;
            }
            size_t room = limits[i] - std::min(limits[i], into[i]->size());
            into[i]->append(block, std::min(room, static_cast<size_t>(got)));
        }
    }
    return true;
}

// The worker's last line (without its "marrowdale: "), as a sentence; the lines before it go
// to the server's log.
std::string LastSaid(const std::string& messages) {
    std::string last;
    size_t start = 0;
    while (start < messages.size()) {
        size_t end = messages.find('\n', start);
        std::string line = messages.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? messages.size() : end + 1;
        constexpr char Prefix[] = "marrowdale: ";
        if (!last.empty()) std::fprintf(stderr, "marrowdale-scores: a replay said: %s\n", last.c_str());
        last = line.rfind(Prefix, 0) == 0 ? line.substr(sizeof Prefix - 1) : line;
    }
    if (last.empty()) return last;
    last[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(last[0])));
    return last + ".";
}

// The worker's answer and exit read as an outcome.
ReplayOutcome Judge(bool inTime, int status, const std::string& answer, const std::string& messages) {
    ReplayOutcome outcome{ReplayOutcome::Failed, 0, {}, {}};
    std::string said = LastSaid(messages);
    if (!inTime || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)) {
        outcome.reason = "The replay took longer than " + std::to_string(Pool.seconds) +
                         " seconds, the most this server gives a game.";
        outcome.kind = ReplayOutcome::Refused;
        // Out of processor time it would be again; out of real time, perhaps only this once.
        outcome.repeatable = inTime;
    } else if (WIFSIGNALED(status)) {
        outcome.reason = "The server could not replay the journal (its replay ended with signal " +
                         std::to_string(WTERMSIG(status)) + ").";
    } else if (WEXITSTATUS(status) == 1 || WEXITSTATUS(status) == 2 || WEXITSTATUS(status) == TooLongStatus) {
        outcome.kind = ReplayOutcome::Refused;
        outcome.reason = said.empty() ? "The journal does not replay." : said;
    } else if (WEXITSTATUS(status) != 0) {
        outcome.reason = "The server could not replay the journal (its replay ended with status " +
                         std::to_string(WEXITSTATUS(status)) + ").";
    } else if (answer == std::string(NoEntryWord) + "\n") {
        outcome.kind = ReplayOutcome::NoEntry;
    } else if (answer.rfind(EntryWord, 0) == 0 && answer.back() == '\n') {
        char* end = nullptr;
        long score = std::strtol(answer.c_str() + sizeof EntryWord - 1, &end, 10);
        std::string name = *end == ' ' ? answer.substr(end + 1 - answer.c_str()) : std::string();
        if (!name.empty()) name.pop_back();
        bool plain = name.size() <= 10 && name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ ") == std::string::npos;
        if (*end == ' ' && plain && score >= INT32_MIN && score <= INT32_MAX) {
            outcome = {ReplayOutcome::Entry, static_cast<int32_t>(score), name, {}};
        } else {
            outcome.reason = "The server could not read its replay's answer.";
        }
    } else {
        outcome.reason = "The server could not read its replay's answer.";
    }
    return outcome;
}

// One journal through a zygote's child, start to end: false when the zygote was lost before
// it reported (it died, and perhaps the child with it), else the outcome. A zygote that stuck
// is ended with its child.
bool ReplayOnce(const std::string& journal, Zygote& zygote, ReplayOutcome* outcome) {
    int file = memfd_create("journal", MFD_CLOEXEC);
    int answer[2] = {-1, -1}, messages[2] = {-1, -1};
    bool ready = file >= 0 && write(file, journal.data(), journal.size()) == static_cast<ssize_t>(journal.size()) &&
                 lseek(file, 0, SEEK_SET) == 0 && pipe2(answer, O_CLOEXEC) == 0 &&
                 pipe2(messages, O_CLOEXEC) == 0 && (zygote.pid > 0 || StartZygote(zygote));
    int given[3] = {file, answer[1], messages[1]};
    bool sent = ready && SendRequest(zygote, Pool.seconds, given);
    for (int fd : given) {
        if (fd >= 0) close(fd);
    }
    Clock::time_point began = Clock::now();
    std::string said, output;
    bool inTime = sent && CollectWorker(answer[0], messages[0], Pool.seconds + ZygoteMarginSeconds, &output, &said);
    for (int fd : {answer[0], messages[0]}) {
        if (fd >= 0) close(fd);
    }
    ZygoteReport report{-1, 0, 0};
    bool reported = inTime && ReceiveWhole(zygote.socket, &report, sizeof report, ZygoteMarginSeconds * 1000);
    if (!ready || (reported && report.status < 0)) {
        std::fprintf(stderr, "marrowdale-scores: cannot start a replay: %s\n",
                     ready ? "its zygote could not fork" : std::strerror(errno));
        *outcome = {ReplayOutcome::Failed, 0, {}, "The server could not start a replay."};
        return true;
    }
    if (!reported) EndZygote(zygote);
    if (sent && !inTime) {
        *outcome = Judge(false, 0, output, said);
    } else if (reported) {
        *outcome = Judge(!report.timedOut, report.status, output, said);
    } else {
        return false;
    }
    outcome->seconds = std::chrono::duration<double>(Clock::now() - began).count();
    outcome->cpuSeconds = static_cast<double>(report.cpuMicroseconds) / 1e6;
    return true;
}

// A journal replayed; a zygote lost on the way is started again and the journal sent once
// more.
ReplayOutcome RunWorker(const std::string& journal, Zygote& zygote) {
    ReplayOutcome outcome{ReplayOutcome::Failed, 0, {}, {}};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (ReplayOnce(journal, zygote, &outcome)) return outcome;
        EndZygote(zygote);
    }
    std::fprintf(stderr, "marrowdale-scores: a replay's zygote ended twice before it reported\n");
    return {ReplayOutcome::Failed, 0, {}, "The server could not replay the journal."};
}

// The zygote's child: the journal on stdin, its answer on stdout, its messages on stderr,
// under the replay's limits; it never returns.
[[noreturn]] void ReplayAsChild(const int fds[3], int seconds, pid_t zygote) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != zygote) _exit(127);
    for (int i = 0; i < 3; ++i) {
        if (dup2(fds[i], i) < 0) _exit(127);
    }
    close_range(3, ~0u, 0);
    LimitWorker(seconds);
    int status = RunReplayWorker();
    std::fflush(nullptr);
    _exit(status);
}

// Waits for the child of one replay, killing it when its time is up; the report.
ZygoteReport AwaitChild(pid_t child, int seconds) {
    ZygoteReport report{-1, 0, 0};
    // By the system call: Debian 12's C library declares its wrapper for C alone.
    int handle = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    pollfd wait{handle, POLLIN, 0};
    int ready;
    while (handle >= 0 && (ready = poll(&wait, 1, seconds * 1000)) < 0 && errno == EINTR) {
    }
    if (handle >= 0 && ready == 0) {
        kill(child, SIGKILL);
        report.timedOut = 1;
    }
    if (handle >= 0) close(handle);
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    report.status = status;
    report.cpuMicroseconds = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * int64_t{1000000} +
                             usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
    return report;
}

// The queue's figures, after each change (the pool's lock held).
void NoteQueue() {
    Metrics.replaysWaiting = static_cast<int64_t>(Pool.issued - Pool.admitted);
    Metrics.replaysRunning = Pool.running;
}

}  // namespace

void StartReplayPool(int workers, int queued, int seconds) {
    Pool.workers = workers;
    Pool.queued = queued;
    Pool.seconds = seconds;
    Pool.zygotes.resize(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i) {
        StartZygote(Pool.zygotes[static_cast<size_t>(i)]);
        Pool.idle.push_back(i);
    }
}

// A ticket, then the turn: first come, first served, at most Pool.workers at once.
ReplayOutcome ReplayInWorker(const std::string& journal) {
    std::unique_lock<std::mutex> hold(Pool.lock);
    bool mustWait = Pool.running >= Pool.workers || Pool.issued > Pool.admitted;
    if (mustWait && Pool.issued - Pool.admitted >= static_cast<uint64_t>(Pool.queued)) {
        CountReplay(ReplayOutcome{ReplayOutcome::Busy, 0, {}, {}});
        return {ReplayOutcome::Busy, 0, {}, {}};
    }
    uint64_t ticket = Pool.issued++;
    NoteQueue();
    Pool.turn.wait(hold, [ticket] { return ticket == Pool.admitted && Pool.running < Pool.workers; });
    ++Pool.admitted;
    ++Pool.running;
    NoteQueue();
    int slot = Pool.idle.back();
    Pool.idle.pop_back();
    Pool.turn.notify_all();
    hold.unlock();
    ReplayOutcome outcome = RunWorker(journal, Pool.zygotes[static_cast<size_t>(slot)]);
    CountReplay(outcome);
    hold.lock();
    Pool.idle.push_back(slot);
    --Pool.running;
    NoteQueue();
    Pool.turn.notify_all();
    return outcome;
}

// The zygote: forks a child for each request and reports how it ended, until the server
// closes the socket. It stays as it started, before any game, so every child does too; a stop
// asked of the server is the server's to carry out.
int RunReplayZygote() {
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    pid_t self = getpid();
    for (;;) {
        ZygoteRequest request{};
        int fds[3] = {-1, -1, -1};
        if (!ReceiveWhole(0, &request, sizeof request, -1, fds)) {
            char probe;
            ssize_t left = recv(0, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
            if (left == 0 || (left < 0 && errno != EAGAIN && errno != EINTR)) return 0;
            continue;
        }
        pid_t child = fork();
        if (child == 0) ReplayAsChild(fds, request.seconds, self);
        for (int fd : fds) close(fd);
        ZygoteReport report = child > 0 ? AwaitChild(child, request.seconds) : ZygoteReport{-1, 0, 0};
        if (send(0, &report, sizeof report, MSG_NOSIGNAL) < 0 && errno != EINTR) return 0;
    }
}

// The worker: reads the journal, replays it as --verify does, and says whether a name was
// confirmed. Exit status 0 (the answer on stdout), 1 diverged, 2 refused, 3 too long; the
// reason in the last line on stderr.
int RunReplayWorker() {
    std::string bytes;
    char block[65536];
    ssize_t got;
    while (bytes.size() <= LargestJournalBytes && (got = read(0, block, sizeof block)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return 2;
        bytes.append(block, static_cast<size_t>(got));
    }
    if (bytes.size() > LargestJournalBytes) {
        std::fprintf(stderr, "marrowdale: the journal is larger than 2 MB\n");
        return 2;
    }
    JournalHeader header{};
    if (!TakeJournal(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "the journal", &header)) {
        return 2;
    }
    if (header.passes > MostReplayedPasses) {
        std::fprintf(stderr, "marrowdale: the game lasts %llu passes; this server replays at most %llu\n",
                     static_cast<unsigned long long>(header.passes),
                     static_cast<unsigned long long>(MostReplayedPasses));
        return TooLongStatus;
    }
    int status = VerifyLoadedJournal(header, nullptr, nullptr);
    if (status != 0) return status;
    if (ConfirmedNames == 0) {
        std::printf("%s\n", NoEntryWord);
    } else {
        std::printf("%s%d %s\n", EntryWord, static_cast<int>(LastConfirmed.score), LastConfirmed.name);
    }
    return std::fflush(stdout) == 0 ? 0 : 4;
}

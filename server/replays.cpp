// Replays in worker processes: the game's records are global, so each journal is replayed by a
// fresh copy of this program (--replay-worker) under resource limits, at most a few at once,
// the others waiting their turn in a bounded queue.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
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
#include "journal/play.h"
#include "server/server.h"

extern char** environ;

namespace {

// The answer of a worker whose game made an entry: "entry SCORE SEED PLAY NAME".
constexpr char EntryWord[] = "entry ";
constexpr char NoEntryWord[] = "none";
constexpr int TooLongStatus = 3;
constexpr size_t LargestAnswer = 256;
constexpr size_t LargestMessages = 16384;
constexpr rlim_t WorkerMemory = rlim_t{1} << 30;
constexpr rlim_t WorkerFileBytes = rlim_t{1} << 20;
constexpr rlim_t WorkerFiles = 64;

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

struct PoolRecord {
    std::mutex lock;
    std::condition_variable turn;
    int workers = 1;
    int queued = 0;   // the most that may wait
    int seconds = 60;
    int running = 0;
    uint64_t issued = 0;    // tickets handed out
    uint64_t admitted = 0;  // tickets whose replay started
};

PoolRecord Pool;

// The worker's limits, set in the child between fork and exec (async-signal-safe calls only).
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

// Starts the worker with the journal (in memory, as a file) on stdin; its stdout and stderr
// come back through the pipes. -1 when it can't be started.
pid_t StartWorker(int journal, int answer, int messages, int seconds) {
    static char self[] = "/proc/self/exe";
    static char mode[] = "--replay-worker";
    char* argv[] = {self, mode, nullptr};
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0) return pid;
    // The worker ends with the server, whatever ends it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (dup2(journal, 0) < 0 || dup2(answer, 1) < 0 || dup2(messages, 2) < 0) _exit(127);
    close_range(3, ~0u, 0);
    sigset_t all;
    sigemptyset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    LimitWorker(seconds);
    execve(self, argv, environ);
    _exit(127);
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

// "entry SCORE SEED PLAY NAME\n" read into an Entry outcome; false for anything else.
bool ReadEntryAnswer(const std::string& answer, ReplayOutcome* outcome) {
    if (answer.rfind(EntryWord, 0) != 0 || answer.back() != '\n') return false;
    char play[65] = {};
    long score = 0;
    unsigned long seed = 0;
    int used = 0;
    const char* fields = answer.c_str() + sizeof EntryWord - 1;
    if (std::sscanf(fields, "%ld %lu %64[0-9a-f] %n", &score, &seed, play, &used) != 3) return false;
    std::string listed = answer.substr(static_cast<size_t>(fields + used - answer.c_str()));
    if (listed.size() < 2) return false;
    listed.pop_back();
    bool plain = listed.size() <= 10 && listed.front() != ' ' && listed.back() != ' ' &&
                 listed.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ ") == std::string::npos;
    if (!plain || std::strlen(play) != 64 || score < INT32_MIN || score > INT32_MAX || seed > UINT32_MAX) return false;
    *outcome = {ReplayOutcome::Entry, static_cast<int32_t>(score), listed, {}, play, static_cast<uint32_t>(seed)};
    return true;
}

// The worker's answer and exit read as an outcome.
ReplayOutcome Judge(bool inTime, int status, const std::string& answer, const std::string& messages) {
    ReplayOutcome outcome{ReplayOutcome::Failed, 0, {}, {}, {}, 0};
    std::string said = LastSaid(messages);
    if (!inTime || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)) {
        outcome.reason = "The replay took longer than " + std::to_string(Pool.seconds) +
                         " seconds, the most this server gives a game.";
        outcome.kind = ReplayOutcome::Refused;
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
    } else if (!ReadEntryAnswer(answer, &outcome)) {
        outcome.reason = "The server could not read its replay's answer.";
    }
    return outcome;
}
// One journal through one worker process, start to end.
ReplayOutcome RunWorker(const std::string& journal) {
    ReplayOutcome failed{ReplayOutcome::Failed, 0, {}, {}, {}, 0};
    failed.reason = "The server could not start a replay.";
    int file = memfd_create("journal", MFD_CLOEXEC);
    int answer[2] = {-1, -1}, messages[2] = {-1, -1};
    bool ready = file >= 0 && write(file, journal.data(), journal.size()) == static_cast<ssize_t>(journal.size()) &&
                 lseek(file, 0, SEEK_SET) == 0 && pipe2(answer, O_CLOEXEC) == 0 &&
                 pipe2(messages, O_CLOEXEC) == 0;
    pid_t pid = ready ? StartWorker(file, answer[1], messages[1], Pool.seconds) : -1;
    for (int fd : {file, answer[1], messages[1]}) {
        if (fd >= 0) close(fd);
    }
    std::string said, output;
    bool inTime = pid > 0 && CollectWorker(answer[0], messages[0], Pool.seconds, &output, &said);
    for (int fd : {answer[0], messages[0]}) {
        if (fd >= 0) close(fd);
    }
    if (pid <= 0) {
        std::fprintf(stderr, "marrowdale-scores: cannot start a replay: %s\n", std::strerror(errno));
        return failed;
    }
    if (!inTime) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return Judge(inTime, status, output, said);
}

// A journal that breaks one of the table's rules: the rule said, exit status 2.
int RefuseByRule(const std::string& rule) {
    std::fprintf(stderr, "marrowdale: %s\n", rule.c_str());
    return 2;
}

}  // namespace

void StartReplayPool(int workers, int queued, int seconds) {
    Pool.workers = workers;
    Pool.queued = queued;
    Pool.seconds = seconds;
}

// A ticket, then the turn: first come, first served, at most Pool.workers at once.
ReplayOutcome ReplayInWorker(const std::string& journal) {
    std::unique_lock<std::mutex> hold(Pool.lock);
    bool mustWait = Pool.running >= Pool.workers || Pool.issued > Pool.admitted;
    if (mustWait && Pool.issued - Pool.admitted >= static_cast<uint64_t>(Pool.queued)) {
        return {ReplayOutcome::Busy, 0, {}, {}, {}, 0};
    }
    uint64_t ticket = Pool.issued++;
    Pool.turn.wait(hold, [ticket] { return ticket == Pool.admitted && Pool.running < Pool.workers; });
    ++Pool.admitted;
    ++Pool.running;
    Pool.turn.notify_all();
    hold.unlock();
    ReplayOutcome outcome = RunWorker(journal);
    hold.lock();
    --Pool.running;
    Pool.turn.notify_all();
    return outcome;
}

// The worker: reads the journal, replays it as --verify does under the table's rules, and says
// whether a name was confirmed, and the play it stands for. Exit status 0 (the answer on
// stdout), 1 diverged, 2 refused, 3 too long; the reason in the last line on stderr.
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
    std::string broken = RuleBrokenByHeader(header);
    if (!broken.empty()) return RefuseByRule(broken);
    JudgePlayEachPass(RuleBrokenInPlay);
    int status = VerifyLoadedJournal(header, nullptr, nullptr);
    if (status != 0) return status;
    const PlayFacts* play = ConfirmedPlay();
    if (!play) {
        std::printf("%s\n", NoEntryWord);
        return std::fflush(stdout) == 0 ? 0 : 4;
    }
    std::string name = ListedName(LastConfirmed.name);
    broken = RuleBrokenByGame(*play, LastConfirmed.score, name);
    if (!broken.empty()) return RefuseByRule(broken);
    std::printf("%s%d %u %s %s\n", EntryWord, static_cast<int>(LastConfirmed.score), play->seed,
                PlayIdentity(*play).c_str(), name.c_str());
    return std::fflush(stdout) == 0 ? 0 : 4;
}

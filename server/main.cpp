// marrowdale-scores: the world high score table's server, its command line, its threads and
// its orderly stop.
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "assets/assets.h"
#include "handheld/standin.h"
#include "server/server.h"

namespace {

constexpr char Usage[] =
    "usage: marrowdale-scores --listen HOST:PORT --db FILE|postgresql://... [OPTION]...\n"
    "       marrowdale-scores --backup FILE --db FILE\n"
    "The world high score table of Marrowdale: every game sent is replayed here, and its score\n"
    "and name are what the replay reached.\n\n"
    "  --listen HOST:PORT   the address to serve HTTP on (port 0: any free one, said on stdout)\n"
    "  --db FILE            an SQLite file, made on first start; or postgresql://USER@HOST/DB\n"
    "  --site DIR           serve the browser's game (scripts/build-web's site folder) at /play/\n"
    "  --workers N          replays at once (default: one for each processor)\n"
    "  --queue N            games that may wait for a replay (default 32); more get 503\n"
    "  --replay-seconds N   the most a replay may take (default 60)\n"
    "  --rate N             games a minute one address may send (default 10, 0 no limit)\n"
    "  --replay-budget N    seconds of replay a minute one address may use (default 30, 0 no limit)\n"
    "  --connections N      connections one address may hold open (default 16)\n"
    "  --trust-proxy CIDR   take the client's address from X-Forwarded-For when a proxy in\n"
    "                       CIDR sent the request (may be given again)\n"
    "  --backup FILE        copy the SQLite database --db names to FILE, and exit\n"
    "  --help, --version\n";

// Threads for requests besides the ones that wait for replays.
constexpr int SpareThreads = 8;

struct CommandLine {
    std::string host;
    int port = -1;
    std::string db;
    std::string site;
    std::string backup;
    int workers = 0;
    int queued = 32;
    int seconds = 60;
    int rate = 10;
    int budget = 30;
    int connections = 16;
};

CommandLine Asked;

int Refuse(const std::string& what) {
    std::fprintf(stderr, "marrowdale-scores: %s (try --help)\n", what.c_str());
    return 2;
}

// HOST:PORT, the host maybe in brackets (IPv6).
bool ReadListen(const std::string& text) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string host = text.substr(0, colon);
    if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    int port = 0;
    if (host.empty() || !ParseWholeNumber(text.c_str() + colon + 1, 0, 65535, &port)) return false;
    Asked.host = host;
    Asked.port = port;
    return true;
}

struct NumberOption {
    const char* name;
    int* value;
    int low;
    int high;
};

// Fills Asked; -1 to go on, else the exit status.
int ReadCommandLine(int argc, char** argv) {
    const NumberOption numbers[] = {{"--workers", &Asked.workers, 1, 256},
                                    {"--queue", &Asked.queued, 0, 100000},
                                    {"--replay-seconds", &Asked.seconds, 1, 3600},
                                    {"--rate", &Asked.rate, 0, 100000},
                                    {"--replay-budget", &Asked.budget, 0, 100000},
                                    {"--connections", &Asked.connections, 1, 4096}};
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (option == "--version") {
            std::printf("marrowdale-scores %s\n", MARROWDALE_VERSION);
            return 0;
        }
        if (i + 1 == argc) return Refuse("unknown option or missing value: '" + option.substr(0, 40) + "'");
        const char* value = argv[++i];
        const NumberOption* number = nullptr;
        for (const NumberOption& row : numbers) {
            if (option == row.name) number = &row;
        }
        if (number) {
            if (!ParseWholeNumber(value, number->low, number->high, number->value)) {
                return Refuse(option + " needs a whole number from " + std::to_string(number->low) +
                              " to " + std::to_string(number->high));
            }
        } else if (option == "--listen") {
            if (!ReadListen(value)) return Refuse("--listen needs HOST:PORT, not '" + std::string(value).substr(0, 40) + "'");
        } else if (option == "--db") {
            Asked.db = value;
        } else if (option == "--site") {
            Asked.site = value;
        } else if (option == "--backup") {
            Asked.backup = value;
        } else if (option == "--trust-proxy") {
            if (!TrustProxy(value)) return Refuse("--trust-proxy needs an address or ADDRESS/BITS, not '" + std::string(value).substr(0, 40) + "'");
        } else {
            return Refuse("unknown option '" + option.substr(0, 40) + "'");
        }
    }
    if (!Asked.backup.empty()) return Asked.db.empty() ? Refuse("--backup needs --db") : -1;
    if (Asked.port < 0 || Asked.db.empty()) return Refuse("--listen and --db are needed");
    if (Asked.workers == 0) Asked.workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return -1;
}

// The replays need the game's data, found as the game finds it.
bool GameDataFound() {
    BuildDataFolders();
    WCHAR index[PathChars];
    JoinPath(index, GraphFolder, u"marrowdale.idx");
    if (GetFileAttributesW(index) != INVALID_FILE_ATTRIBUTES) return true;
    std::fprintf(stderr, "marrowdale-scores: the game's data is missing, and no game can be replayed without it\n");
    return false;
}

// SIGTERM and SIGINT, taken by a thread of their own: the server stops taking connections and
// finishes those it has.
void StopOnSignals(sigset_t signals) {
    std::thread([signals] {
        int signal = 0;
        sigwait(&signals, &signal);
        std::fprintf(stderr, "marrowdale-scores: stopping (signal %d)\n", signal);
        StopServing();
    }).detach();
}

bool PostgresAddress(const std::string& where) {
    return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

// --backup: SQLite's online copy; a PostgreSQL database is pg_dump's to copy.
int Backup() {
    if (PostgresAddress(Asked.db)) {
        return Refuse("--backup copies an SQLite file; back a PostgreSQL database up with pg_dump (see marrowdale-scores(6))");
    }
    return BackupSqliteFile(Asked.db, Asked.backup) ? 0 : 1;
}

}  // namespace

const ScoreStore* OpenStore(const std::string& where) {
    return PostgresAddress(where) ? OpenPostgresStore(where) : OpenSqliteStore(where);
}

int main(int argc, char** argv) {
    if (argc == 2 && !std::strcmp(argv[1], "--replay-worker")) return RunReplayWorker();
    if (argc == 2 && !std::strcmp(argv[1], "--replay-zygote")) return RunReplayZygote();
    int status = ReadCommandLine(argc, argv);
    if (status >= 0) return status;
    if (!Asked.backup.empty()) return Backup();
    if (!GameDataFound()) return 1;
    if (!Asked.site.empty() && !ReadSite(Asked.site, &Service.site)) return 1;
    Service.store = OpenStore(Asked.db);
    if (!Service.store) return 1;
    Service.replay = ReplayInWorker;
    Allowed = {Asked.rate, Asked.budget};

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int port = Asked.port;
    int listener = OpenListener(Asked.host, Asked.port, &port);
    if (listener < 0) {
        std::fprintf(stderr, "marrowdale-scores: cannot listen on %s:%d: %s\n", Asked.host.c_str(),
                     Asked.port, std::strerror(errno));
        Service.store->close();
        return 1;
    }
    StartReplayPool(Asked.workers, Asked.queued, Asked.seconds);
    bool bracketed = Asked.host.find(':') != std::string::npos;
    std::printf("marrowdale-scores: listening on http://%s%s%s:%d/\n", bracketed ? "[" : "",
                Asked.host.c_str(), bracketed ? "]" : "", port);
    std::fflush(stdout);
    StopOnSignals(signals);
    bool served = ServeConnections(listener, Asked.workers + Asked.queued + SpareThreads, Asked.connections,
                                   Asked.workers);
    Service.store->close();
    return served ? 0 : 1;
}

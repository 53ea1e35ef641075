// What the score server's files share: the table's storage, the replays in worker processes,
// the connections, each address's allowances, the HTTP routes and the page's files held in
// memory, the health and the figures.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace httplib {
class Server;
}

// The most a journal may weigh, and the most passes a game may last to be replayed: about 43
// minutes at the usual 13 ms a pass (the game is at its hardest after 17), so that no journal
// costs more than a few seconds of replay.
constexpr size_t LargestJournalBytes = 2u << 20;
constexpr uint64_t MostReplayedPasses = 200000;
constexpr char TooLargeSentence[] =
    "The request is too large: send the journal itself, at most 2 MB, as application/octet-stream.";

// ---- The table's storage (sqlite.cpp, postgres.cpp) ------------------------------------

// One entry of the world's table.
struct TableEntry {
    int64_t rank = 0;
    int32_t score = 0;
    std::string name;
    int64_t when = 0;  // Unix seconds when the server took the game
    std::string id;    // the journal's SHA-256, 64 lowercase hex digits
};

// The database behind the table: each call is one transaction, safe from any thread; false
// when the database failed (said in one line on stderr).
struct ScoreStore {
    // The entry of journal id; found says whether there is one.
    bool (*find)(const std::string& id, TableEntry* entry, bool* found);
    // Stores a journal with its entry unless id is there already; entry is the stored one with
    // its rank, added says whether it is new.
    bool (*add)(const std::string& id, const std::string& journal, int32_t score,
                const std::string& name, int64_t when, TableEntry* entry, bool* added);
    // Entries best first (higher score, then earlier, then id), from offset on, at most limit.
    bool (*table)(int64_t offset, int64_t limit, std::vector<TableEntry>* entries);
    // A journal as it was sent; found says whether there is one.
    bool (*journal)(const std::string& id, std::string* bytes, bool* found);
    // Whether the database answers (and an SQLite file is still the one opened).
    bool (*healthy)();
    void (*close)();
};

// A PostgreSQL server for postgresql:// and postgres:// addresses, else an SQLite file made
// with its table on first start; null after one line on stderr.
const ScoreStore* OpenStore(const std::string& where);
const ScoreStore* OpenSqliteStore(const std::string& path);
const ScoreStore* OpenPostgresStore(const std::string& address);
// marrowdale-scores --backup: a copy of the SQLite file at from, made while it is in use and
// put in place at to only when whole; false after one line on stderr.
bool BackupSqliteFile(const std::string& from, const std::string& to);

// ---- Replays in worker processes (replays.cpp) -----------------------------------------

// What a replay made of a journal.
struct ReplayOutcome {
    enum Kind {
        Entry,    // verified, and a name was confirmed: score and name
        NoEntry,  // verified, and no name was confirmed
        Refused,  // not a journal, damaged, diverged or too long: reason
        Failed,   // the worker crashed or ran out of time: reason
        Busy,     // every worker busy and the queue full
    } kind;
    int32_t score = 0;
    std::string name;
    std::string reason;  // one sentence
    double seconds = 0;      // the replay's real time
    double cpuSeconds = 0;   // and its processor time
    bool repeatable = true;  // whether another replay would end alike
};

// The pool: at most workers replays at once, queueing more waiting (first come, first served);
// a replay that outlasts seconds is killed.
void StartReplayPool(int workers, int queued, int seconds);
// Replays a journal in a worker process, waiting for its turn; Busy at once when the queue is
// full.
ReplayOutcome ReplayInWorker(const std::string& journal);
// marrowdale-scores --replay-worker: the worker, a journal on stdin, its outcome on stdout.
int RunReplayWorker();
// marrowdale-scores --replay-zygote: forks a worker for each journal the server sends.
int RunReplayZygote();

// ---- The routes (api.cpp) ---------------------------------------------------------------

// The page's folder (--site), every file read at start: paths relative to it, and bytes.
using SiteFiles = std::map<std::string, std::string>;

struct ScoreService {
    const ScoreStore* store = nullptr;
    ReplayOutcome (*replay)(const std::string& journal) = nullptr;
    SiteFiles site;  // empty: no page is served
};

extern ScoreService Service;

// The headers every answer carries.
struct HeaderLine {
    const char* name;
    const char* value;
};
extern const HeaderLine EveryAnswerHeaders[2];

// Every route of the API, the table's page and the game's page onto server, with the limits
// and the headers every answer carries.
void AddRoutes(httplib::Server* server);
// The page's folder read whole (at most a limit of files and bytes); false after one line.
bool ReadSite(const std::string& folder, SiteFiles* files);

// ---- Each address's allowances (limits.cpp) ----------------------------------------------

// The key an address is counted under: an IPv4 address, or an IPv6 address's /64.
std::string AddressKey(const std::string& address);
// What one address may ask a minute; 0 for no limit.
struct AllowanceSettings {
    int games = 0;
    int replaySeconds = 0;
};
extern AllowanceSettings Allowed;
// Whether address may send a game now; else the seconds until it may.
bool TakeSubmission(const std::string& address, int* waitSeconds);
// Whether address has replay time left; else the seconds until it has; and the time a replay
// took, taken from it.
bool ReplayTimeLeft(const std::string& address, int* waitSeconds);
void SpendReplayTime(const std::string& address, double seconds);
// A journal refused in the last day, by its id, with the sentence it was refused with.
bool RememberedRefusal(const std::string& id, std::string* reason);
void RememberRefusal(const std::string& id, const std::string& reason);
// --trust-proxy: an address or a network (ADDRESS/BITS); false when it is neither.
bool TrustProxy(const std::string& cidr);
bool TrustedProxy(const std::string& address);
// The address a request counts for: its sender's, or behind trusted proxies the first of
// X-Forwarded-For's hops (read from the right) that no trusted proxy has.
std::string ClientAddress(const std::string& peer, const std::vector<std::string>& forwardedFor);

// ---- Requests (requests.cpp) -------------------------------------------------------------

// A kept-alive connection waits this long for its next request's head, and answers this many
// requests at most.
constexpr int HeadSeconds = 5;
constexpr int MostRequestsPerConnection = 100;
constexpr size_t LargestHead = 16384;

// What a request's head says, read before its body is waited for.
struct RequestHead {
    size_t length = 0;      // its bytes, the empty line included
    size_t bodyLength = 0;  // Content-Length
    std::string method, target;
    std::vector<std::string> forwardedFor;  // every X-Forwarded-For's hops, left to right
    bool expectsContinue = false;
    bool chunked = false;
    std::string forwarded;  // the head as the routes get it (no Expect)
};
// The head at the start of bytes: 0 when it is whole and sound, -1 when more bytes are needed,
// else the status to refuse it with and the sentence why. The first checked bytes were found
// wanting before (-1), and are not looked through again.
int ReadRequestHead(const std::string& bytes, RequestHead* head, std::string* sentence, size_t checked = 0);
// A whole request answered by the routes from memory, for client: the answer's bytes; closed
// says whether the connection must end after it (close asks for that).
std::string AnswerRequest(const std::string& request, const std::string& client, bool close, bool* closed);
// An answer that closes the connection: status, the sentence as JSON, Retry-After if not 0.
std::string RefusalAnswer(int status, const std::string& sentence, int retrySeconds);
// The status an answer's first line gives; 0 if none.
int AnswerStatus(const std::string& answer);

// ---- The connections (connections.cpp) ---------------------------------------------------
// A listening socket on host and port (0: any, the one taken in boundPort); -1 with errno.
int OpenListener(const std::string& host, int port, int* boundPort);
// Serves the routes on listener until StopServing and every connection taken is answered:
// handlers threads answer, an address may hold addressLimit connections (a trusted proxy
// any number); false when it cannot start.
bool ServeConnections(int listener, int handlers, int addressLimit, int workers);
void StopServing();

// ---- The log and the figures (operations.cpp) ------------------------------------------

// What /metrics reports.
struct MetricsRecord {
    std::atomic<uint64_t> replays[5] = {};  // by ReplayOutcome::Kind
    std::atomic<uint64_t> replayMicroseconds{0};
    std::atomic<uint64_t> replayCpuMicroseconds{0};
    std::atomic<uint64_t> remembered{0};  // refusals answered from memory
    std::atomic<uint64_t> connectionsRefused{0};
    std::atomic<int64_t> connections{0};
    std::atomic<int64_t> replaysWaiting{0};
    std::atomic<int64_t> replaysRunning{0};
    std::mutex lock;
    std::map<int, uint64_t> statuses;  // requests answered, by status
};

extern MetricsRecord Metrics;

void CountReplay(const ReplayOutcome& outcome);
// One line on stderr for a request answered, and its status counted.
void LogRequest(const std::string& client, const std::string& method, const std::string& target, int status,
                size_t bytes, double seconds);
// The figures in Prometheus' text format.
std::string MetricsText();

// What the score server's files share: the table's storage, the replays in worker processes,
// the HTTP routes and the page's files held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace httplib {
class Server;
}

// The most a journal may weigh, and the most passes a game may last to be replayed (about
// three and a half hours at the usual 13 ms a pass).
constexpr size_t LargestJournalBytes = 2u << 20;
constexpr uint64_t MostReplayedPasses = 1000000;

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
    void (*close)();
};

// A PostgreSQL server for postgresql:// and postgres:// addresses, else an SQLite file made
// with its table on first start; null after one line on stderr.
const ScoreStore* OpenStore(const std::string& where);
const ScoreStore* OpenSqliteStore(const std::string& path);
const ScoreStore* OpenPostgresStore(const std::string& address);

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
};

// The pool: at most workers replays at once, queueing more waiting (first come, first served);
// a replay that outlasts seconds is killed.
void StartReplayPool(int workers, int queued, int seconds);
// Replays a journal in a worker process, waiting for its turn; Busy at once when the queue is
// full.
ReplayOutcome ReplayInWorker(const std::string& journal);
// marrowdale-scores --replay-worker: the worker, a journal on stdin, its outcome on stdout.
int RunReplayWorker();

// ---- The routes (api.cpp) ---------------------------------------------------------------

// The page's folder (--site), every file read at start: paths relative to it, and bytes.
using SiteFiles = std::map<std::string, std::string>;

struct ScoreService {
    const ScoreStore* store = nullptr;
    ReplayOutcome (*replay)(const std::string& journal) = nullptr;
    int submissionsPerMinute = 0;  // from one address; 0 for no limit
    SiteFiles site;                // empty: no page is served
};

extern ScoreService Service;

// Every route of the API, the table's page and the game's page onto server, with the limits
// and the headers every answer carries.
void AddRoutes(httplib::Server* server);
// The page's folder read whole (at most a limit of files and bytes); false after one line.
bool ReadSite(const std::string& folder, SiteFiles* files);

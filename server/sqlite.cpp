// The table in one SQLite file: write-ahead log with full syncs, so an answered game survives
// a kill at any moment; every statement prepared once at the start.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "server/server.h"

namespace {

constexpr int SchemaVersion = 1;
constexpr int BusyMilliseconds = 5000;

constexpr char Schema[] =
    "CREATE TABLE IF NOT EXISTS games ("
    "  id TEXT PRIMARY KEY NOT NULL,"
    "  score INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  received INTEGER NOT NULL,"
    "  journal BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS games_order ON games (score DESC, received, id);";

enum Statement { Begin, Commit, Rollback, Insert, Entry, Rank, Table, Journal, Probe, StatementCount };

// The statements by their slot; ranks count the entries ahead in the table's order.
constexpr const char* StatementTexts[StatementCount] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "INSERT INTO games (id, score, name, received, journal) VALUES (?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT (id) DO NOTHING",
    "SELECT score, name, received FROM games WHERE id = ?1",
    "SELECT COUNT(*) + 1 FROM games WHERE score > ?1 OR (score = ?1 AND (received < ?2 OR "
    "(received = ?2 AND id < ?3)))",
    "SELECT id, score, name, received FROM games ORDER BY score DESC, received, id LIMIT ?1 OFFSET ?2",
    "SELECT journal FROM games WHERE id = ?1",
    "SELECT 1 FROM games LIMIT 1",
};

struct SqliteRecord {
    std::mutex lock;
    sqlite3* db = nullptr;
    std::string path;
    sqlite3_stmt* statements[StatementCount] = {};
    // The file opened, known by its device and inode (none for a database in memory).
    bool onDisk = false;
    dev_t device = 0;
    ino_t inode = 0;
};

SqliteRecord Sqlite;

bool Failed(const char* doing) {
    std::fprintf(stderr, "marrowdale-scores: the database %s %s: %s\n", Sqlite.path.c_str(), doing,
                 sqlite3_errmsg(Sqlite.db));
    return false;
}

// A statement in use: its last values cleared, and reset when done with so that it holds no
// lock on the file (a read left open would keep the log from being written back).
struct Using {
    sqlite3_stmt* statement;
    explicit Using(Statement which) : statement(Sqlite.statements[which]) {
        sqlite3_clear_bindings(statement);
    }
    ~Using() { sqlite3_reset(statement); }
    Using(const Using&) = delete;
    Using& operator=(const Using&) = delete;
};

bool BindText(sqlite3_stmt* statement, int slot, const std::string& text) {
    return sqlite3_bind_text(statement, slot, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

// Runs a statement that returns no rows.
bool Run(Statement which, const char* doing) {
    Using use(which);
    return sqlite3_step(use.statement) == SQLITE_DONE || Failed(doing);
}

// The entry of id with its rank, found or not; false when the database failed.
bool ReadEntry(const std::string& id, TableEntry* entry, bool* found) {
    Using use(Entry);
    sqlite3_stmt* statement = use.statement;
    if (!BindText(statement, 1, id)) return Failed("cannot look up a game");
    int step = sqlite3_step(statement);
    *found = step == SQLITE_ROW;
    if (step != SQLITE_ROW) return step == SQLITE_DONE || Failed("cannot look up a game");
    *entry = TableEntry{0, sqlite3_column_int(statement, 0), ColumnText(statement, 1),
                        sqlite3_column_int64(statement, 2), id};
    Using ranking(Rank);
    sqlite3_stmt* rank = ranking.statement;
    sqlite3_bind_int(rank, 1, entry->score);
    sqlite3_bind_int64(rank, 2, entry->when);
    if (!BindText(rank, 3, id) || sqlite3_step(rank) != SQLITE_ROW) return Failed("cannot rank a game");
    entry->rank = sqlite3_column_int64(rank, 0);
    return true;
}

bool FindEntry(const std::string& id, TableEntry* entry, bool* found) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    return ReadEntry(id, entry, found);
}

// Whether the file at the path is still the one opened: a game written into a file deleted
// or replaced would be lost at the next start.
bool SameFile() {
    struct stat now {};
    if (!Sqlite.onDisk || (stat(Sqlite.path.c_str(), &now) == 0 && now.st_dev == Sqlite.device && now.st_ino == Sqlite.inode)) {
        return true;
    }
    std::fprintf(stderr, "marrowdale-scores: the database %s was deleted or replaced since the server opened it; "
                         "restart the server\n", Sqlite.path.c_str());
    return false;
}

// In one transaction: the journal stored with its entry unless there, then the stored entry.
bool AddEntry(const std::string& id, const std::string& journal, int32_t score,
              const std::string& name, int64_t when, TableEntry* entry, bool* added) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    if (!SameFile() || !Run(Begin, "cannot start a transaction")) return false;
    bool found = false;
    Using inserting(Insert);
    sqlite3_stmt* insert = inserting.statement;
    bool done = BindText(insert, 1, id) && sqlite3_bind_int(insert, 2, score) == SQLITE_OK &&
                BindText(insert, 3, name) && sqlite3_bind_int64(insert, 4, when) == SQLITE_OK &&
                sqlite3_bind_blob64(insert, 5, journal.data(), journal.size(), SQLITE_STATIC) == SQLITE_OK &&
                (sqlite3_step(insert) == SQLITE_DONE || Failed("cannot store a game"));
    *added = done && sqlite3_changes(Sqlite.db) == 1;
    done = done && ReadEntry(id, entry, &found) && found && Run(Commit, "cannot commit a game");
    if (!done) Run(Rollback, "cannot roll back");
    return done;
}

bool ReadTable(int64_t offset, int64_t limit, std::vector<TableEntry>* entries) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    Using use(Table);
    sqlite3_stmt* statement = use.statement;
    sqlite3_bind_int64(statement, 1, limit);
    sqlite3_bind_int64(statement, 2, offset);
    entries->clear();
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        entries->push_back({offset + static_cast<int64_t>(entries->size()) + 1, sqlite3_column_int(statement, 1),
                            ColumnText(statement, 2), sqlite3_column_int64(statement, 3),
                            ColumnText(statement, 0)});
    }
    return step == SQLITE_DONE || Failed("cannot read the table");
}

bool ReadJournal(const std::string& id, std::string* bytes, bool* found) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    Using use(Journal);
    sqlite3_stmt* statement = use.statement;
    if (!BindText(statement, 1, id)) return Failed("cannot look up a journal");
    int step = sqlite3_step(statement);
    *found = step == SQLITE_ROW;
    if (step != SQLITE_ROW) return step == SQLITE_DONE || Failed("cannot read a journal");
    const void* blob = sqlite3_column_blob(statement, 0);
    bytes->assign(static_cast<const char*>(blob), static_cast<size_t>(sqlite3_column_bytes(statement, 0)));
    return true;
}

bool Healthy() {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    Using use(Probe);
    int step = sqlite3_step(use.statement);
    return (step == SQLITE_ROW || step == SQLITE_DONE || Failed("cannot be read")) && SameFile();
}

void CloseSqlite() {
    for (sqlite3_stmt*& statement : Sqlite.statements) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    sqlite3_close(Sqlite.db);
    Sqlite.db = nullptr;
}

constexpr ScoreStore SqliteStore{.find = FindEntry, .add = AddEntry, .table = ReadTable,
                                 .journal = ReadJournal, .healthy = Healthy, .close = CloseSqlite};

// Runs step again while another connection's lock is in its way, at most five seconds: SQLite
// refuses at once, without waiting, where waiting could deadlock (two connections changing a
// new file to write-ahead logging together) and between a backup's tries. Its last result.
template <typename Step>
int WhileLocked(Step step) {
    int result = step();
    for (int tries = 0; (result == SQLITE_BUSY || result == SQLITE_LOCKED) && tries < 50; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        result = step();
    }
    return result;
}

bool Exec(const char* sql, const char* doing) {
    return WhileLocked([sql] { return sqlite3_exec(Sqlite.db, sql, nullptr, nullptr, nullptr); }) == SQLITE_OK ||
           Failed(doing);
}

// The file's schema as this server writes it, in one write transaction, so that servers
// starting together on a new file make it once; a newer schema is left alone.
bool ReadySchema() {
    if (!Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", "cannot be set up") ||
        !Exec("BEGIN IMMEDIATE", "cannot be set up")) {
        return false;
    }
    sqlite3_stmt* version = nullptr;
    int found = -1;
    if (sqlite3_prepare_v2(Sqlite.db, "PRAGMA user_version", -1, &version, nullptr) == SQLITE_OK &&
        sqlite3_step(version) == SQLITE_ROW) {
        found = sqlite3_column_int(version, 0);
    }
    sqlite3_finalize(version);
    bool ready = found >= 0 || Failed("cannot be read");
    if (ready && found > SchemaVersion) {
        std::fprintf(stderr, "marrowdale-scores: the database %s was made by a newer marrowdale-scores\n",
                     Sqlite.path.c_str());
        ready = false;
    }
    std::string schema = std::string(Schema) + "PRAGMA user_version = " + std::to_string(SchemaVersion) + ";";
    ready = ready && Exec(schema.c_str(), "cannot be set up") && Exec("COMMIT", "cannot be set up");
    if (!ready) sqlite3_exec(Sqlite.db, "ROLLBACK", nullptr, nullptr, nullptr);
    return ready;
}

// Knows the file opened by its device and inode, so that a file deleted or replaced later is
// told from it.
void NoteFile() {
    struct stat file {};
    Sqlite.onDisk = Sqlite.path != ":memory:" && !Sqlite.path.empty() && stat(Sqlite.path.c_str(), &file) == 0;
    Sqlite.device = file.st_dev;
    Sqlite.inode = file.st_ino;
}

}  // namespace

const ScoreStore* OpenSqliteStore(const std::string& path) {
    Sqlite.path = path;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW;
    bool open = sqlite3_open_v2(path.c_str(), &Sqlite.db, flags, nullptr) == SQLITE_OK;
    if (open) NoteFile();
    bool ready = open ? sqlite3_busy_timeout(Sqlite.db, BusyMilliseconds) == SQLITE_OK && ReadySchema()
                      : Failed("cannot be opened");
    for (int i = 0; ready && i < StatementCount; ++i) {
        ready = sqlite3_prepare_v3(Sqlite.db, StatementTexts[i], -1, SQLITE_PREPARE_PERSISTENT,
                                   &Sqlite.statements[i], nullptr) == SQLITE_OK ||
                Failed("cannot prepare its statements");
    }
    if (ready) return &SqliteStore;
    CloseSqlite();
    return nullptr;
}

bool BackupSqliteFile(const std::string& from, const std::string& to) {
    struct stat source {}, target {};
    if (stat(from.c_str(), &source) == 0 && stat(to.c_str(), &target) == 0 && source.st_dev == target.st_dev &&
        source.st_ino == target.st_ino) {
        std::fprintf(stderr, "marrowdale-scores: the backup %s would be the database itself\n", to.c_str());
        return false;
    }
    std::string part = to + ".part";
    unlink(part.c_str());
    sqlite3* in = nullptr;
    sqlite3* out = nullptr;
    bool done = sqlite3_open_v2(from.c_str(), &in, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) == SQLITE_OK &&
                sqlite3_busy_timeout(in, BusyMilliseconds) == SQLITE_OK;
    done = done && sqlite3_open_v2(part.c_str(), &out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                                   nullptr) == SQLITE_OK;
    sqlite3_backup* copy = done ? sqlite3_backup_init(out, "main", in, "main") : nullptr;
    // One step copies it all from one snapshot.
    int step = copy ? WhileLocked([copy] { return sqlite3_backup_step(copy, -1); }) : SQLITE_ERROR;
    if (copy) sqlite3_backup_finish(copy);
    // A file of its own, with no log beside it, synced before it takes the backup's name.
    done = step == SQLITE_DONE &&
           sqlite3_exec(out, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr) == SQLITE_OK;
    std::string message = sqlite3_errmsg(out ? out : in);
    sqlite3_close(in);
    sqlite3_close(out);
    if (done && rename(part.c_str(), to.c_str()) == 0) return true;
    std::fprintf(stderr, "marrowdale-scores: cannot back up %s to %s: %s\n", from.c_str(), to.c_str(),
                 done ? std::strerror(errno) : message.c_str());
    unlink(part.c_str());
    return false;
}

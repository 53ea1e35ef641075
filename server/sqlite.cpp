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

constexpr int SchemaVersion = 2;
constexpr int BusyMilliseconds = 5000;
// Challenges expired longer ago than this are forgotten: their tokens are then unknown.
constexpr int64_t ForgetChallengeSeconds = 24 * 60 * 60;

// The first version's table; the columns added since follow.
constexpr char GamesTable[] =
    "CREATE TABLE IF NOT EXISTS games ("
    "  id TEXT PRIMARY KEY NOT NULL,"
    "  score INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  received INTEGER NOT NULL,"
    "  journal BLOB NOT NULL);";

struct AddedColumn {
    const char* name;
    const char* definition;
};

// play: the play's identity (none for entries stored before it was known); arrival: the order
// games came in (an earlier version's entries keep the order they were stored in).
constexpr AddedColumn AddedColumns[] = {
    {"play", "TEXT"}, {"version", "TEXT NOT NULL DEFAULT ''"}, {"challenge", "INTEGER NOT NULL DEFAULT 0"},
    {"hidden", "INTEGER NOT NULL DEFAULT 0"}, {"arrival", "INTEGER"}};

constexpr char SchemaRest[] =
    "UPDATE games SET arrival = rowid WHERE arrival IS NULL;"
    "CREATE INDEX IF NOT EXISTS games_order ON games (score DESC, received, id);"
    "CREATE UNIQUE INDEX IF NOT EXISTS games_play ON games (play);"
    "CREATE INDEX IF NOT EXISTS games_arrival ON games (arrival);"
    "CREATE TABLE IF NOT EXISTS challenges ("
    "  token TEXT PRIMARY KEY NOT NULL,"
    "  tick INTEGER NOT NULL,"
    "  expires INTEGER NOT NULL,"
    "  used INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS challenges_expiry ON challenges (expires);";

enum Statement {
    Begin, Commit, Rollback, Insert, Entry, PlayHolder, Rank, Table, Journal, FindChallenge,
    UseChallenge, ForgetChallenges, OpenChallenges, NewChallenge, Hide, Unplayed, SetPlay,
    Supersede, Arrival, Probe, StatementCount
};

// The statements by their slot. An entry is listed unless hidden, and (?N = 1) unless not
// played on a challenge; ranks count the listed entries ahead in the table's order.
constexpr const char* StatementTexts[StatementCount] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "INSERT INTO games (id, score, name, received, journal, play, version, challenge, arrival) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, (SELECT COALESCE(MAX(arrival), 0) + 1 FROM games)) "
    "ON CONFLICT (id) DO NOTHING",
    "SELECT score, name, received, arrival, version, challenge, hidden FROM games WHERE id = ?1",
    "SELECT id FROM games WHERE play = ?1",
    "SELECT COUNT(*) + 1 FROM games WHERE hidden = 0 AND challenge >= ?4 AND (score > ?1 OR "
    "(score = ?1 AND (received < ?2 OR (received = ?2 AND arrival < ?3))))",
    "SELECT id, score, name, received, version, challenge FROM games WHERE hidden = 0 AND challenge >= ?3 "
    "ORDER BY score DESC, received, arrival LIMIT ?1 OFFSET ?2",
    "SELECT journal FROM games WHERE id = ?1",
    "SELECT tick, expires, used FROM challenges WHERE token = ?1",
    "UPDATE challenges SET used = 1 WHERE token = ?1",
    "DELETE FROM challenges WHERE expires < ?1",
    "SELECT COUNT(*) FROM challenges WHERE used = 0 AND expires >= ?1",
    "INSERT INTO challenges (token, tick, expires) VALUES (?1, ?2, ?3)",
    "UPDATE games SET hidden = ?2 WHERE id = ?1",
    "SELECT id FROM games WHERE play IS NULL AND hidden = 0 ORDER BY arrival",
    "UPDATE games SET play = ?2 WHERE id = ?1",
    "UPDATE games SET play = NULL, hidden = 1 WHERE id = ?1",
    "SELECT received, arrival FROM games WHERE id = ?1",
    "SELECT 1 FROM games LIMIT 1",
};

struct SqliteRecord {
    std::mutex lock;
    sqlite3* db = nullptr;
    std::string path;
    bool challengesOnly = false;
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

// Runs a statement with one text value that returns no rows.
bool RunFor(Statement which, const std::string& text, const char* doing) {
    Using use(which);
    return (BindText(use.statement, 1, text) && sqlite3_step(use.statement) == SQLITE_DONE) || Failed(doing);
}

// The first column of the row a statement with one text value returns, if there is one.
bool ReadText(Statement which, const std::string& text, std::string* value, bool* found, const char* doing) {
    Using use(which);
    if (!BindText(use.statement, 1, text)) return Failed(doing);
    int step = sqlite3_step(use.statement);
    *found = step == SQLITE_ROW;
    if (*found) *value = ColumnText(use.statement, 0);
    return step == SQLITE_ROW || step == SQLITE_DONE || Failed(doing);
}

// The entry of id with its rank among those listed (0 when it is not), found or not; false
// when the database failed.
bool ReadEntry(const std::string& id, TableEntry* entry, bool* found) {
    Using use(Entry);
    sqlite3_stmt* statement = use.statement;
    if (!BindText(statement, 1, id)) return Failed("cannot look up a game");
    int step = sqlite3_step(statement);
    *found = step == SQLITE_ROW;
    if (step != SQLITE_ROW) return step == SQLITE_DONE || Failed("cannot look up a game");
    *entry = TableEntry{0, sqlite3_column_int(statement, 0), ColumnText(statement, 1),
                        sqlite3_column_int64(statement, 2), id, ColumnText(statement, 4),
                        sqlite3_column_int(statement, 5) != 0, sqlite3_column_int(statement, 6) != 0};
    if (entry->hidden || (Sqlite.challengesOnly && !entry->challenge)) return true;
    Using ranking(Rank);
    sqlite3_stmt* rank = ranking.statement;
    sqlite3_bind_int(rank, 1, entry->score);
    sqlite3_bind_int64(rank, 2, entry->when);
    sqlite3_bind_int64(rank, 3, sqlite3_column_int64(statement, 3));
    sqlite3_bind_int(rank, 4, Sqlite.challengesOnly ? 1 : 0);
    if (sqlite3_step(rank) != SQLITE_ROW) return Failed("cannot rank a game");
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

// Whether the game may claim its challenge: Added when it may.
bool CheckChallenge(const NewEntry& game, int64_t now, Stored* stored) {
    Using use(FindChallenge);
    sqlite3_stmt* statement = use.statement;
    if (!BindText(statement, 1, game.challenge)) return Failed("cannot look up a challenge");
    int step = sqlite3_step(statement);
    if (step == SQLITE_DONE) {
        *stored = Stored::ChallengeUnknown;
    } else if (step != SQLITE_ROW) {
        return Failed("cannot look up a challenge");
    } else if (sqlite3_column_int64(statement, 1) < now) {
        *stored = Stored::ChallengeExpired;
    } else if (sqlite3_column_int(statement, 2) != 0) {
        *stored = Stored::ChallengeUsed;
    } else {
        *stored = sqlite3_column_int64(statement, 0) == game.seed ? Stored::Added : Stored::ChallengeElsewhere;
    }
    return true;
}

// Inside the transaction: the entry that holds the game's play already, or the challenge
// refused, or the game stored and its challenge claimed.
bool AddInTransaction(const NewEntry& game, int64_t now, TableEntry* entry, Stored* stored) {
    std::string holder;
    bool found = false;
    if (!ReadText(PlayHolder, game.play, &holder, &found, "cannot look up a play")) return false;
    if (found) {
        *stored = Stored::Had;
        return ReadEntry(holder, entry, &found) && found;
    }
    *stored = Stored::Added;
    if (!game.challenge.empty()) {
        if (!CheckChallenge(game, now, stored)) return false;
        if (*stored != Stored::Added) return true;
    }
    Using inserting(Insert);
    sqlite3_stmt* insert = inserting.statement;
    bool done = BindText(insert, 1, game.id) && sqlite3_bind_int(insert, 2, game.score) == SQLITE_OK &&
                BindText(insert, 3, game.name) && sqlite3_bind_int64(insert, 4, game.when) == SQLITE_OK &&
                sqlite3_bind_blob64(insert, 5, game.journal.data(), game.journal.size(), SQLITE_STATIC) == SQLITE_OK &&
                BindText(insert, 6, game.play) && BindText(insert, 7, game.version) &&
                sqlite3_bind_int(insert, 8, game.challenge.empty() ? 0 : 1) == SQLITE_OK &&
                (sqlite3_step(insert) == SQLITE_DONE || Failed("cannot store a game"));
    if (!done) return false;
    *stored = sqlite3_changes(Sqlite.db) == 1 ? Stored::Added : Stored::Had;
    if (*stored == Stored::Added && !game.challenge.empty() &&
        !RunFor(UseChallenge, game.challenge, "cannot claim a challenge")) {
        return false;
    }
    return ReadEntry(game.id, entry, &found) && found;
}

// In one transaction: the game stored with its entry unless its play is there, then the entry.
bool AddEntry(const NewEntry& game, int64_t now, TableEntry* entry, Stored* stored) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    if (!SameFile() || !Run(Begin, "cannot start a transaction")) return false;
    bool done = AddInTransaction(game, now, entry, stored) && Run(Commit, "cannot commit a game");
    if (!done) Run(Rollback, "cannot roll back");
    return done;
}

bool ReadTable(int64_t offset, int64_t limit, std::vector<TableEntry>* entries) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    Using use(Table);
    sqlite3_stmt* statement = use.statement;
    sqlite3_bind_int64(statement, 1, limit);
    sqlite3_bind_int64(statement, 2, offset);
    sqlite3_bind_int(statement, 3, Sqlite.challengesOnly ? 1 : 0);
    entries->clear();
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        entries->push_back({offset + static_cast<int64_t>(entries->size()) + 1, sqlite3_column_int(statement, 1),
                            ColumnText(statement, 2), sqlite3_column_int64(statement, 3),
                            ColumnText(statement, 0), ColumnText(statement, 4),
                            sqlite3_column_int(statement, 5) != 0, false});
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

// In one transaction: the long expired forgotten, the open ones counted, the new one stored.
bool StoreChallenge(const std::string& token, uint32_t tick, int64_t expires, int64_t now, bool* stored) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    if (!SameFile() || !Run(Begin, "cannot start a transaction")) return false;
    Using forgetting(ForgetChallenges);
    sqlite3_bind_int64(forgetting.statement, 1, now - ForgetChallengeSeconds);
    Using counting(OpenChallenges);
    sqlite3_bind_int64(counting.statement, 1, now);
    bool done = (sqlite3_step(forgetting.statement) == SQLITE_DONE || Failed("cannot forget challenges")) &&
                (sqlite3_step(counting.statement) == SQLITE_ROW || Failed("cannot count challenges"));
    *stored = done && sqlite3_column_int64(counting.statement, 0) < MostOpenChallenges;
    if (*stored) {
        Using inserting(NewChallenge);
        sqlite3_bind_int64(inserting.statement, 2, tick);
        sqlite3_bind_int64(inserting.statement, 3, expires);
        done = BindText(inserting.statement, 1, token) &&
               (sqlite3_step(inserting.statement) == SQLITE_DONE || Failed("cannot store a challenge"));
    }
    done = done && Run(Commit, "cannot commit a challenge");
    if (!done) Run(Rollback, "cannot roll back");
    return done;
}

bool HideEntry(const std::string& id, bool hidden, bool* found) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    if (!SameFile()) return false;
    Using use(Hide);
    sqlite3_bind_int(use.statement, 2, hidden ? 1 : 0);
    bool done = (BindText(use.statement, 1, id) && sqlite3_step(use.statement) == SQLITE_DONE) ||
                Failed("cannot take an entry off the table");
    *found = done && sqlite3_changes(Sqlite.db) == 1;
    return done;
}

bool ReadUnplayed(std::vector<std::string>* ids) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    Using use(Unplayed);
    ids->clear();
    int step;
    while ((step = sqlite3_step(use.statement)) == SQLITE_ROW) ids->push_back(ColumnText(use.statement, 0));
    return step == SQLITE_DONE || Failed("cannot read the table");
}

// Whether the entry id came before the entry other, in the table's order of ties.
bool CameEarlier(const std::string& id, const std::string& other, bool* earlier) {
    int64_t order[2][2] = {};
    for (int i = 0; i < 2; ++i) {
        Using use(Arrival);
        if (!BindText(use.statement, 1, i == 0 ? id : other) || sqlite3_step(use.statement) != SQLITE_ROW) {
            return Failed("cannot look up a game");
        }
        order[i][0] = sqlite3_column_int64(use.statement, 0);
        order[i][1] = sqlite3_column_int64(use.statement, 1);
    }
    *earlier = order[0][0] < order[1][0] || (order[0][0] == order[1][0] && order[0][1] < order[1][1]);
    return true;
}

bool SetEntryPlay(const std::string& id, const std::string& play, std::string* hidden) {
    std::lock_guard<std::mutex> hold(Sqlite.lock);
    if (!SameFile() || !Run(Begin, "cannot start a transaction")) return false;
    std::string holder;
    bool found = false, earlier = true;
    bool done = ReadText(PlayHolder, play, &holder, &found, "cannot look up a play") &&
                (!found || CameEarlier(id, holder, &earlier));
    hidden->clear();
    if (done && found) *hidden = earlier ? holder : id;
    if (done && !hidden->empty()) done = RunFor(Supersede, *hidden, "cannot take an entry off the table");
    if (done && *hidden != id) {
        Using setting(SetPlay);
        done = (BindText(setting.statement, 1, id) && BindText(setting.statement, 2, play) &&
                sqlite3_step(setting.statement) == SQLITE_DONE) || Failed("cannot store a play");
    }
    done = done && Run(Commit, "cannot commit a play");
    if (!done) Run(Rollback, "cannot roll back");
    return done;
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
                                 .journal = ReadJournal, .healthy = Healthy, .challenge = StoreChallenge,
                                 .hide = HideEntry, .unplayed = ReadUnplayed, .setPlay = SetEntryPlay,
                                 .close = CloseSqlite};

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

// A number the file answers with; false after one line when it cannot.
bool AskNumber(const std::string& query, int* value) {
    sqlite3_stmt* statement = nullptr;
    bool read = sqlite3_prepare_v2(Sqlite.db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
                sqlite3_step(statement) == SQLITE_ROW;
    if (read) *value = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    return read || Failed("cannot be read");
}

// The columns an earlier version's table lacks, added.
bool AddColumns() {
    for (const AddedColumn& column : AddedColumns) {
        int has = 0;
        std::string asking = std::string("SELECT COUNT(*) FROM pragma_table_info('games') WHERE name = '") +
                             column.name + "'";
        std::string adding = std::string("ALTER TABLE games ADD COLUMN ") + column.name + " " + column.definition;
        if (!AskNumber(asking, &has) || (!has && !Exec(adding.c_str(), "cannot be set up"))) return false;
    }
    return true;
}

// The file's schema as this server writes it, in one write transaction, so that servers
// starting together on a new file make it once: a new file gets it whole, one of an earlier
// version the columns it lacks; a newer schema is left alone.
bool ReadySchema() {
    if (!Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", "cannot be set up") ||
        !Exec("BEGIN IMMEDIATE", "cannot be set up")) {
        return false;
    }
    int found = -1;
    bool ready = AskNumber("PRAGMA user_version", &found);
    if (ready && found > SchemaVersion) {
        std::fprintf(stderr, "marrowdale-scores: the database %s was made by a newer marrowdale-scores\n",
                     Sqlite.path.c_str());
        ready = false;
    }
    std::string rest = std::string(SchemaRest) + "PRAGMA user_version = " + std::to_string(SchemaVersion) + ";";
    ready = ready && Exec(GamesTable, "cannot be set up") && AddColumns() && Exec(rest.c_str(), "cannot be set up") &&
            Exec("COMMIT", "cannot be set up");
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

const ScoreStore* OpenSqliteStore(const std::string& path, bool challengesOnly) {
    Sqlite.path = path;
    Sqlite.challengesOnly = challengesOnly;
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

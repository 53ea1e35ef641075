// High score table and its file highscores.dat: the table's 128 raw bytes in the root folder,
// and the entries this copy's players add to it, merged into the file as it stands at a save.
#include <bit>
#include <cstdio>
#include <cstring>

#include "assets/assets.h"
#include "game/game.h"

static_assert(std::endian::native == std::endian::little,
              "the table is read and written as little-endian bytes");

// Slot 0 is the best; kept in order by the name entry screen alone.
HighScoreEntry HighScoreTable[HighScoreCount];

namespace {

constexpr WCHAR HighScoreFileName[] = u"highscores.dat";
constexpr char DefaultName[] = "QUINTAVEX";
constexpr DWORD TableBytes = sizeof HighScoreTable;
// A new entry's name: up to NameLimit letters and their zero byte. An entry moved down the
// table takes only the first ten bytes of its name along.
constexpr int32_t StoredNameBytes = NameLimit + 1;
constexpr int32_t MovedNameBytes = 10;
// A save is written whole under a name of its own beside the file, then renamed over it:
// the file's name, '.', eight hex digits and ".new". Fresh names are tried a few times.
constexpr WCHAR FreshPattern[] = u".????????.new";
constexpr int FreshSuffixChars = 13;
constexpr int FreshNameTries = 8;
// Copies saving the same file take turns through a lock file beside it.
constexpr WCHAR LockSuffix[] = u".lock";
// Room for the file to save to, with a fresh or lock suffix after it.
constexpr DWORD TargetChars = PathChars - FreshSuffixChars;

// Set by a load that read the file or found none. A file that exists but can't be read keeps
// it clear, as does no load at all: the table is then not the file's, and saving it would
// destroy the scores the file holds.
bool ScoreFileWritable;

// The table as this copy last read it from the file or wrote it there, and the entries its
// players added since, in the order they came: a save merges them into the file as it
// stands then, so the entries another copy saved meanwhile stay.
HighScoreEntry SavedTable[HighScoreCount];
struct AddedEntry {
    int32_t score;
    uint8_t name[StoredNameBytes];
};
AddedEntry Added[HighScoreCount];
int AddedCount;

// Bytes 10 and 11 of each name are left as they were.
void FillDefaults(HighScoreEntry* table) {
    for (int i = 0; i < HighScoreCount; ++i) {
        std::memcpy(table[i].name, DefaultName, sizeof DefaultName);
        table[i].score = 0;
    }
}

// A score that beats an entry goes below every entry it does not beat, and the last entry
// drops out; one that beats none (another copy saved better ones meanwhile) stays out.
void InsertEntry(HighScoreEntry* table, int32_t score, const uint8_t* name) {
    int32_t slot = HighScoreCount;
    for (int32_t j = HighScoreCount - 1; j >= 0; --j) {
        if (score > table[j].score) slot = j;
    }
    if (slot == HighScoreCount) return;
    for (int32_t k = HighScoreCount - 1; k > slot; --k) {
        table[k].score = table[k - 1].score;
        std::memcpy(table[k].name, table[k - 1].name, MovedNameBytes);
    }
    std::memcpy(table[slot].name, name, StoredNameBytes);
    table[slot].score = score;
}

// Notes an entry for the next save. Should saves keep failing, at most a table's worth is
// kept: the one dropped is the lowest (of equal ones the latest), which every other entry
// kept would push out of the table anyway.
void NoteAdded(int32_t score, const uint8_t* name) {
    if (AddedCount == HighScoreCount) {
        int lowest = 0;
        for (int i = 1; i < AddedCount; ++i) {
            if (Added[i].score <= Added[lowest].score) lowest = i;
        }
        std::memmove(Added + lowest, Added + lowest + 1, (AddedCount - lowest - 1) * sizeof *Added);
        --AddedCount;
    }
    Added[AddedCount].score = score;
    std::memcpy(Added[AddedCount].name, name, StoredNameBytes);
    ++AddedCount;
}

void ReportUnreadable(const WCHAR* path) {
    char narrow[NarrowPathBytes];
    NarrowPath(path, narrow, NarrowPathBytes);
    std::fprintf(stderr,
                 "marrowdale: cannot read the high score file %s%s; playing with the default "
                 "scores, and the file is left as it is\n",
                 narrow, IsSpecialFile(path) ? " (not a plain file)" : "");
}

// Says which step of a save failed; "the old file is kept" only when there is one. A folder
// said at the start to be read-only is not said again.
void ReportSaveFailure(const char* step, const WCHAR* target) {
    if (RootFolderReadOnly) return;
    char narrow[NarrowPathBytes];
    NarrowPath(target, narrow, NarrowPathBytes);
    bool oldFile = GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES;
    std::fprintf(stderr, "marrowdale: high scores not saved (%s %s)%s\n", step, narrow,
                 oldFile ? "; the old file is kept" : "");
}

bool IsPlainFile(const WCHAR* path) {
    constexpr DWORD NotPlain =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & NotPlain);
}

// Writes into target the file a save replaces: highscores.dat, or when that is a symbolic
// link, the plain file it leads to (the link stays). False, said in one line unless quiet,
// when the link leads to nothing a save can replace.
bool FindSaveTarget(WCHAR* target, bool quiet) {
    JoinPath(target, RootFolder, HighScoreFileName);
    DWORD attributes = GetFileAttributesW(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return true;
    }
    HANDLE linked = CreateFileW(target, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    WCHAR final[TargetChars];
    DWORD length = 0;
    if (linked != INVALID_HANDLE_VALUE) {
        length = GetFinalPathNameByHandleW(linked, final, TargetChars, FILE_NAME_NORMALIZED);
        CloseHandle(linked);
    }
    if (length == 0 || length >= TargetChars || !IsPlainFile(final)) {
        if (quiet) return false;
        char narrow[NarrowPathBytes];
        NarrowPath(target, narrow, NarrowPathBytes);
        std::fprintf(stderr,
                     "marrowdale: high scores not saved (%s is a link to no plain file, and "
                     "the game won't replace it)\n",
                     narrow);
        return false;
    }
    for (DWORD i = 0; i <= length; ++i) target[i] = final[i];
    return true;
}

// target followed by '.', the stamp in eight hex digits and ".new".
void FreshName(const WCHAR* target, uint32_t stamp, WCHAR* fresh) {
    constexpr char16_t Digits[] = u"0123456789abcdef";
    WCHAR suffix[FreshSuffixChars + 1] = u".00000000.new";
    for (int i = 0; i < 8; ++i) suffix[1 + i] = Digits[(stamp >> (28 - 4 * i)) & 15];
    JoinPath(fresh, target, suffix);
}

// A new file beside target under a name no file had, never opened through a link or over
// something left there (CREATE_NEW); its name goes to fresh. Invalid when none can be made.
HANDLE CreateFreshFile(const WCHAR* target, WCHAR* fresh) {
    uint32_t stamp = GetTickCount();
    for (int attempt = 0; attempt < FreshNameTries; ++attempt) {
        FreshName(target, stamp + static_cast<uint32_t>(attempt), fresh);
        HANDLE file = CreateFileW(fresh, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Writes the whole table to file, makes it durable and closes it; null, or the step that
// failed.
const char* WriteTable(HANDLE file, const HighScoreEntry* table) {
    const char* failed = nullptr;
    DWORD written = 0;
    if (!WriteFile(file, table, TableBytes, &written, nullptr) || written != TableBytes) {
        failed = "cannot write a new copy of";
    } else if (!FlushFileBuffers(file)) {
        failed = "cannot flush a new copy of";
    }
    if (!CloseHandle(file) && !failed) failed = "cannot close a new copy of";
    return failed;
}

// The lock beside target that copies saving it take in turn; the invalid handle when it
// can't be had within the wait.
HANDLE LockBeside(const WCHAR* target) {
    WCHAR path[PathChars];
    JoinPath(path, target, LockSuffix);
    HANDLE lock = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (lock != INVALID_HANDLE_VALUE && !LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, nullptr)) {
        CloseHandle(lock);
        return INVALID_HANDLE_VALUE;
    }
    return lock;
}

void Unlock(HANDLE lock) {
    UnlockFileEx(lock, 0, 1, 0, nullptr);
    CloseHandle(lock);
}

// Whether a name that matched the fresh pattern holds eight hex digits as a fresh name does.
bool HasFreshStamp(const WCHAR* name) {
    int length = 0;
    while (name[length]) ++length;
    for (int i = length - FreshSuffixChars + 1; i < length - 4; ++i) {
        bool hex = (name[i] >= u'0' && name[i] <= u'9') || (name[i] >= u'a' && name[i] <= u'f');
        if (!hex) return false;
    }
    return true;
}

// Deletes the fresh copies beside target whose saves never ended (the game was killed): only
// once the lock is held, so none is a save still going on.
void RemoveStaleCopies(const WCHAR* target) {
    WCHAR pattern[PathChars];
    JoinPath(pattern, target, FreshPattern);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FindClose(search);
    HANDLE lock = LockBeside(target);
    if (lock == INVALID_HANDLE_VALUE) return;
    WCHAR folder[PathChars];
    JoinPath(folder, target, u"");
    int cut = 0;
    for (int i = 0; folder[i]; ++i) {
        if (folder[i] == u'/') cut = i + 1;
    }
    folder[cut] = 0;
    for (search = FindFirstFileW(pattern, &found); search != INVALID_HANDLE_VALUE;) {
        WCHAR stale[PathChars];
        JoinPath(stale, folder, found.cFileName);
        if (found.dwFileAttributes == FILE_ATTRIBUTE_NORMAL && HasFreshStamp(found.cFileName)) {
            DeleteFileW(stale);
        }
        if (!FindNextFileW(search, &found)) break;
    }
    FindClose(search);
    Unlock(lock);
}

// The defaults in table (bytes 10 and 11 of each name kept), then as many of the file's first
// 128 bytes as it holds: how many, or -1 when it has none to read (INVALID_FILE_ATTRIBUTES in
// attributes when nothing is there).
int32_t ReadTable(const WCHAR* path, HighScoreEntry* table, DWORD* attributes) {
    FillDefaults(table);
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *attributes = GetFileAttributesW(path);
        return -1;
    }
    DWORD got = 0;
    bool read = ReadFile(file, table, TableBytes, &got, nullptr);
    CloseHandle(file);
    if (!read) FillDefaults(table);
    return read ? static_cast<int32_t>(got) : -1;
}

}  // namespace

// Asset loading: the defaults, then as many of the file's first 128 bytes as it holds. A
// missing file is left for the first save to make; one that exists but can't be read is
// said once and never written over. Fresh copies left by a save that never ended go.
void LoadHighScores() {
    WCHAR path[PathChars];
    JoinPath(path, RootFolder, HighScoreFileName);
    ScoreFileWritable = false;
    ConfirmedNames = 0;
    AddedCount = 0;
    DWORD attributes = 0;
    int32_t got = ReadTable(path, HighScoreTable, &attributes);
    std::memcpy(SavedTable, HighScoreTable, TableBytes);
    ScoreFileWritable = got >= 0 || attributes == INVALID_FILE_ATTRIBUTES;
    if (!ScoreFileWritable) ReportUnreadable(path);
    WCHAR target[PathChars];
    if (ScoreFileWritable && FindSaveTarget(target, true)) RemoveStaleCopies(target);
    if (got > 0 && got < static_cast<int32_t>(TableBytes)) {
        char narrow[NarrowPathBytes];
        NarrowPath(path, narrow, NarrowPathBytes);
        std::fprintf(stderr,
                     "marrowdale: the high score file %s is short (%u of %u bytes); the rest "
                     "keeps the defaults\n",
                     narrow, static_cast<unsigned>(got), static_cast<unsigned>(TableBytes));
    }
}

// Name entry's DONE: the score takes its place in the table, and the table is saved.
void AddHighScore(int32_t score, const uint8_t* name) {
    InsertEntry(HighScoreTable, score, name);
    NoteAdded(score, name);
    SaveHighScores();
}

// Name entry and asset release: under the lock beside the file, the file is read as it stands
// (another copy may have saved since), the entries added here since the last save go into it,
// and the 128 bytes are written to a fresh file beside it, then renamed over it. A failed save
// leaves the old file whole, keeps the added entries for the next save and says so on one
// line of stderr; nothing is written before the file was read.
void SaveHighScores() {
    if (!ScoreFileWritable) return;
    WCHAR target[PathChars];
    if (!FindSaveTarget(target, false)) return;
    HANDLE lock = LockBeside(target);
    if (lock == INVALID_HANDLE_VALUE) {
        ReportSaveFailure("cannot lock", target);
        return;
    }
    HighScoreEntry merged[HighScoreCount];
    std::memcpy(merged, SavedTable, TableBytes);
    DWORD attributes = 0;
    if (ReadTable(target, merged, &attributes) < 0) std::memcpy(merged, SavedTable, TableBytes);
    for (int i = 0; i < AddedCount; ++i) InsertEntry(merged, Added[i].score, Added[i].name);
    WCHAR fresh[PathChars];
    HANDLE file = CreateFreshFile(target, fresh);
    const char* failed = file == INVALID_HANDLE_VALUE ? "cannot create a new copy of"
                                                      : WriteTable(file, merged);
    if (!failed && !MoveFileExW(fresh, target, MOVEFILE_REPLACE_EXISTING)) {
        failed = "cannot replace";
    }
    if (failed && file != INVALID_HANDLE_VALUE) DeleteFileW(fresh);
    Unlock(lock);
    if (failed) {
        ReportSaveFailure(failed, target);
        return;
    }
    std::memcpy(SavedTable, merged, TableBytes);
    AddedCount = 0;
}

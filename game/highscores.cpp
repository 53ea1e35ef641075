// High score table and its file highscores.dat: the table's 128 raw bytes in the root folder.
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
// A save is written whole under a name of its own beside the file, then renamed over it:
// the file's name, '.', eight hex digits and ".new". Fresh names are tried a few times.
constexpr int FreshSuffixChars = 13;
constexpr int FreshNameTries = 8;
// Room for the file to save to, with a fresh suffix after it.
constexpr DWORD TargetChars = PathChars - FreshSuffixChars;

// Set by a load that read the file or found none. A file that exists but can't be read keeps
// it clear, as does no load at all: the table is then not the file's, and saving it would
// destroy the scores the file holds.
bool ScoreFileWritable;

// Bytes 10 and 11 of each name are left as they were.
void FillDefaults() {
    for (HighScoreEntry& entry : HighScoreTable) {
        std::memcpy(entry.name, DefaultName, sizeof DefaultName);
        entry.score = 0;
    }
}

void ReportUnreadable(const WCHAR* path) {
    char narrow[NarrowPathBytes];
    NarrowPath(path, narrow, NarrowPathBytes);
    std::fprintf(stderr,
                 "marrowdale: cannot read the high score file %s; playing with the default "
                 "scores, and the file is left as it is\n",
                 narrow);
}

// Says which step of a save failed; "the old file is kept" only when there is one.
void ReportSaveFailure(const char* step, const WCHAR* target) {
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
// link, the plain file it leads to (the link stays). False, said in one line, when the link
// leads to nothing a save can replace.
bool FindSaveTarget(WCHAR* target) {
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
const char* WriteTable(HANDLE file) {
    const char* failed = nullptr;
    DWORD written = 0;
    if (!WriteFile(file, HighScoreTable, TableBytes, &written, nullptr) || written != TableBytes) {
        failed = "cannot write a new copy of";
    } else if (!FlushFileBuffers(file)) {
        failed = "cannot flush a new copy of";
    }
    if (!CloseHandle(file) && !failed) failed = "cannot close a new copy of";
    return failed;
}

}  // namespace

// Asset loading: the defaults, then as many of the file's first 128 bytes as it holds. A
// missing file is left for the first save to make; one that exists but can't be read is
// said once and never written over.
void LoadHighScores() {
    WCHAR path[PathChars];
    JoinPath(path, RootFolder, HighScoreFileName);
    FillDefaults();
    ScoreFileWritable = false;
    ConfirmedNames = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ScoreFileWritable = GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
        if (!ScoreFileWritable) ReportUnreadable(path);
        return;
    }
    DWORD got = 0;
    bool read = ReadFile(file, HighScoreTable, TableBytes, &got, nullptr);
    CloseHandle(file);
    if (!read) {
        FillDefaults();
        ReportUnreadable(path);
        return;
    }
    ScoreFileWritable = true;
    if (got > 0 && got < TableBytes) {
        char narrow[NarrowPathBytes];
        NarrowPath(path, narrow, NarrowPathBytes);
        std::fprintf(stderr,
                     "marrowdale: the high score file %s is short (%u of %u bytes); the rest "
                     "keeps the defaults\n",
                     narrow, static_cast<unsigned>(got), static_cast<unsigned>(TableBytes));
    }
}

// Name entry and asset release: the table's 128 bytes written to a fresh file beside the
// one they replace, then renamed over it. A failed save leaves the old file whole and says
// so on one line of stderr; nothing is written before the file was read.
void SaveHighScores() {
    if (!ScoreFileWritable) return;
    WCHAR target[PathChars];
    if (!FindSaveTarget(target)) return;
    WCHAR fresh[PathChars];
    HANDLE file = CreateFreshFile(target, fresh);
    if (file == INVALID_HANDLE_VALUE) {
        ReportSaveFailure("cannot create a new copy of", target);
        return;
    }
    const char* failed = WriteTable(file);
    if (!failed && !MoveFileExW(fresh, target, MOVEFILE_REPLACE_EXISTING)) {
        failed = "cannot replace";
    }
    if (failed) {
        DeleteFileW(fresh);
        ReportSaveFailure(failed, target);
    }
}

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
// A save is written here whole, then renamed over the file, so the old one survives a failure.
constexpr WCHAR HighScoreNewName[] = u"highscores.dat.new";
constexpr char DefaultName[] = "QUINTAVEX";
constexpr DWORD TableBytes = sizeof HighScoreTable;

// Bytes 10 and 11 of each name are left as they were.
void FillDefaults() {
    for (HighScoreEntry& entry : HighScoreTable) {
        std::memcpy(entry.name, DefaultName, sizeof DefaultName);
        entry.score = 0;
    }
}

void ReportSaveFailure(const char* step, const WCHAR* path) {
    char narrow[NarrowPathBytes];
    NarrowPath(path, narrow, NarrowPathBytes);
    std::fprintf(stderr, "marrowdale: high scores not saved (%s %s); the old file is kept\n",
                 step, narrow);
}

// Writes the whole table to path and makes it durable; null, or the step that failed.
const char* WriteTable(const WCHAR* path) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "cannot create";
    const char* failed = nullptr;
    DWORD written = 0;
    if (!WriteFile(file, HighScoreTable, TableBytes, &written, nullptr) || written != TableBytes) {
        failed = "cannot write";
    } else if (!FlushFileBuffers(file)) {
        failed = "cannot flush";
    }
    if (!CloseHandle(file) && !failed) failed = "cannot close";
    return failed;
}

}  // namespace

// Asset loading: the defaults, then as many of the file's first 128 bytes as it holds. A
// missing file is created empty; a file that can't be opened leaves the table as it was.
void LoadHighScores() {
    WCHAR path[PathChars];
    JoinPath(path, RootFolder, HighScoreFileName);
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        char narrow[NarrowPathBytes];
        NarrowPath(path, narrow, NarrowPathBytes);
        std::fprintf(stderr, "marrowdale: cannot open the high score file %s\n", narrow);
        return;
    }
    FillDefaults();
    DWORD got = 0;
    if (!ReadFile(file, HighScoreTable, TableBytes, &got, nullptr)) got = 0;
    CloseHandle(file);
    if (got > 0 && got < TableBytes) {
        char narrow[NarrowPathBytes];
        NarrowPath(path, narrow, NarrowPathBytes);
        std::fprintf(stderr,
                     "marrowdale: the high score file %s is short (%u of %u bytes); the rest "
                     "keeps the defaults\n",
                     narrow, static_cast<unsigned>(got), static_cast<unsigned>(TableBytes));
    }
}

// Name entry and asset release: the table's 128 bytes written beside the file, then renamed
// over it. A failed save leaves the old file whole and says so on one line of stderr.
void SaveHighScores() {
    WCHAR path[PathChars];
    WCHAR newPath[PathChars];
    JoinPath(path, RootFolder, HighScoreFileName);
    JoinPath(newPath, RootFolder, HighScoreNewName);
    const char* failed = WriteTable(newPath);
    if (failed) {
        DeleteFileW(newPath);
        ReportSaveFailure(failed, newPath);
    } else if (!MoveFileExW(newPath, path, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(newPath);
        ReportSaveFailure("cannot replace", path);
    }
}

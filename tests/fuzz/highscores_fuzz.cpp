// Fuzz target: any highscores.dat is read into the defaults as far as it goes, and saved back
// as exactly the table's 128 bytes with nothing but its lock left beside it.
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "assets/assets.h"
#include "game/game.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "tests/fuzz/fuzz_folder.h"

namespace {

std::string Folder;
std::string ModulePath;
constexpr size_t TableBytes = sizeof HighScoreTable;
constexpr uint8_t Untouched = 0xCC;

// The table as loading must leave it for a file of these bytes.
void ExpectedTable(const uint8_t* bytes, size_t size, uint8_t* table) {
    std::memset(table, Untouched, TableBytes);
    for (int i = 0; i < HighScoreCount; ++i) {
        uint8_t* entry = table + i * sizeof(HighScoreEntry);
        std::memset(entry, 0, 4);
        std::memcpy(entry + 4, "QUINTAVEX", 10);
    }
    std::memcpy(table, bytes, size < TableBytes ? size : TableBytes);
}

// Names in the folder besides "." and "..".
int FolderEntries() {
    DIR* folder = opendir(Folder.c_str());
    if (!folder) return -1;
    int count = 0;
    while (dirent* entry = readdir(folder)) count += entry->d_name[0] != '.';
    closedir(folder);
    return count;
}

size_t ReadBack(const std::string& path, uint8_t* bytes, size_t capacity) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    size_t got = std::fread(bytes, 1, capacity, file);
    std::fclose(file);
    return got;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Folder = MakeFuzzFolder();
    ModulePath = Folder + "marrowdale";
    HeadlessOptions options;
    options.modulePath = ModulePath.c_str();
    StartHeadlessHost(options);
    BuildDataFolders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string file = Folder + "highscores.dat";
    WriteWhole(file, bytes, size);
    std::memset(HighScoreTable, Untouched, TableBytes);
    LoadHighScores();
    uint8_t expected[TableBytes];
    ExpectedTable(bytes, size, expected);
    if (std::memcmp(HighScoreTable, expected, TableBytes) != 0) __builtin_trap();

    SaveHighScores();
    uint8_t saved[TableBytes + 1];
    if (ReadBack(file, saved, sizeof saved) != TableBytes) __builtin_trap();
    if (std::memcmp(saved, HighScoreTable, TableBytes) != 0) __builtin_trap();
    if (FolderEntries() != 2) __builtin_trap();  // the file and its lock
    return 0;
}

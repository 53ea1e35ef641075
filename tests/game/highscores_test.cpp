// The high score file: what a load makes of each file it may find, and saves that never lose
// the old file, never follow what was left beside it, never swap a link for a file and never
// lose what another copy saved meanwhile.
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

class HighScores : public GameFolderTest {
protected:
    void SetUp() override {
        StartIn(MakeTempFolder());
        file = folder + "highscores.dat";
    }
    // Fills the table with scores unlike the defaults and returns its 128 bytes.
    static Bytes FillTable(uint8_t seed) {
        for (int i = 0; i < HighScoreCount; ++i) {
            HighScoreTable[i].score = 1000 * (HighScoreCount - i) + seed;
            std::memset(HighScoreTable[i].name, 'A' + i + seed % 3, 12);
        }
        return TableBytes();
    }
    // Scores only, best first, as the file holds them.
    std::string FileScores() const {
        Bytes bytes = ReadBytes(file);
        std::string text;
        for (size_t at = 0; at + 16 <= bytes.size(); at += 16) {
            int32_t score;
            std::memcpy(&score, bytes.data() + at, 4);
            text += (at ? " " : "") + std::to_string(score);
        }
        return text;
    }
    // The names in the folder that start with "highscores", sorted, links marked '@'.
    std::string Beside() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::string name = entry.path().filename().string();
            if (name.rfind("highscores", 0) != 0) continue;
            names.push_back(name + (entry.is_symlink() ? "@" : ""));
        }
        std::sort(names.begin(), names.end());
        std::string all;
        for (const std::string& name : names) all += (all.empty() ? "" : " ") + name;
        return all;
    }
    std::string file;
};

const uint8_t NewName[NameLimit + 1] = "NEW";

// The lines that adding the scores says on a disk that takes only 127 bytes of any file,
// with a last save once there is room again; in a child, so what it does ends with it.
std::vector<std::string> AddOnAFullDisk(std::vector<int32_t> scores, bool room = false) {
    int out[2];
    if (pipe(out) != 0) return {"no pipe"};
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDERR_FILENO);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        rlimit small{127, limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        for (int32_t score : scores) AddHighScore(score, NewName);
        setrlimit(RLIMIT_FSIZE, &limit);
        if (room) SaveHighScores();
        _exit(0);
    }
    close(out[1]);
    std::string said;
    for (char c; read(out[0], &c, 1) == 1;) said += c;
    close(out[0]);
    waitpid(child, nullptr, 0);
    std::vector<std::string> lines;
    std::istringstream text(said);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

// Whatever stands at highscores.dat, the load starts from the defaults; a file it can't read
// is said once and no later save writes over it. A missing file is made by the first save.
TEST_F(HighScores, AFileThatCannotBeReadIsNeverWrittenOver) {
    Bytes twenty = {0x39, 0x30, 0, 0, 'R', 'U', 'F', 'U', 'S', 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0};
    const struct {
        const char* what;
        std::function<void()> make;
        const char* said;  // the load's line, "" for none
        size_t fromFile;   // bytes of twenty in the table
        bool saved;
    } cases[] = {
        {"none", [] {}, "", 0, true},
        {"short", [&] { WriteBytes(file, twenty); }, "is short (20 of 128 bytes)", 20, true},
        {"folder", [&] { fs::create_directories(file + "/inside"); }, "cannot read", 0, false},
        {"looped link", [&] { fs::create_symlink("highscores.dat", file); }, "cannot read", 0, false},
        {"dangling link", [&] { fs::create_symlink("gone/scores", file); }, "cannot read", 0, false},
        {"FIFO", [&] { mkfifo(file.c_str(), 0600); }, "(not a plain file)", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(file);
        c.make();
        std::string before = Beside();
        std::memset(HighScoreTable, 0x5A, sizeof HighScoreTable);
        auto lines = StderrOf(LoadHighScores);
        EXPECT_EQ(Beside(), before) << "the load makes nothing";
        EXPECT_EQ(std::memcmp(HighScoreTable, twenty.data(), c.fromFile), 0);
        EXPECT_TRUE(std::all_of(HighScoreTable + (c.fromFile ? 2 : 0), HighScoreTable + 8,
                                IsDefault));
        ASSERT_EQ(lines.size(), *c.said ? 1u : 0u);
        if (*c.said) {
            EXPECT_TRUE(Has(lines[0], c.said) && Has(lines[0], file)) << lines[0];
        }

        EXPECT_TRUE(StderrOf([] { AddHighScore(5, NewName), SaveHighScores(); }).empty());
        EXPECT_EQ(Beside(), c.saved ? "highscores.dat highscores.dat.lock" : before);
        EXPECT_TRUE(!c.saved || ReadBytes(file) == TableBytes());
    }
}

// Saves go through a fresh file beside the one they replace and a rename. Something left at
// the old fixed name (a link, a folder) is neither followed nor in the way; a highscores.dat
// that is a link keeps it and gets its target replaced. A failed step keeps the old file
// whole, says so in one line, and leaves nothing beside.
TEST_F(HighScores, ASaveReplacesTheFileWholeOrKeepsTheOldOne) {
    std::string victim = folder + "victim", kept = folder + "kept/scores";
    fs::create_directories(folder + "kept");
    const struct {
        const char* what;
        std::function<void()> spoil;  // after the load, before the save
        std::string said;             // "" for none
        std::string beside;           // what lies beside after the save
        std::string savedIn;          // where the table went, "" for nowhere
    } cases[] = {
        {"plain", [] {}, "", "highscores.dat highscores.dat.lock", file},
        {"leftover link", [&] { fs::create_symlink(victim, file + ".new"); }, "",
         "highscores.dat highscores.dat.lock highscores.dat.new@", file},
        {"leftover folder", [&] { fs::create_directory(file + ".new"); }, "",
         "highscores.dat highscores.dat.lock highscores.dat.new", file},
        {"linked file", [&] { fs::remove(file), fs::create_symlink("kept/scores", file); }, "",
         "highscores.dat@", kept},
        {"link to a folder", [&] { fs::remove(file), fs::create_symlink("kept", file); },
         "is a link to no plain file", "highscores.dat@", ""},
        {"folder in the way", [&] { fs::remove(file), fs::create_directories(file + "/in"); },
         "(cannot replace " + file + "); the old file is kept",
         "highscores.dat highscores.dat.lock", ""},
        {"full disk", [] {}, "(cannot write a new copy of " + file + "); the old file is kept",
         "highscores.dat highscores.dat.lock", ""},
        {"full disk, first save", [&] { fs::remove(file); },
         "(cannot write a new copy of " + file + ")", "highscores.dat.lock", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& path : {file, file + ".new", file + ".lock"}) fs::remove_all(path);
        fs::remove(kept + ".lock");
        WriteBytes(victim, Bytes(128, 0x55));
        WriteBytes(kept, FillTable(4));
        WriteBytes(file, FillTable(4));
        LoadHighScores();
        c.spoil();
        Bytes old = fs::is_regular_file(file) ? ReadBytes(file) : Bytes{};
        bool fullDisk = Has(c.what, "full disk");
        auto lines = fullDisk ? AddOnAFullDisk({5}) : StderrOf([] { AddHighScore(5, NewName); });
        Bytes table = fullDisk ? FillTable(4) : TableBytes();
        ASSERT_EQ(lines.size(), c.said.empty() ? 0u : 1u);
        if (!c.said.empty()) {
            EXPECT_TRUE(Has(lines[0], c.said) && !Has(lines[0], ".new")) << lines[0];
        }
        EXPECT_EQ(Beside(), c.beside);
        EXPECT_EQ(ReadBytes(victim), Bytes(128, 0x55));
        EXPECT_EQ(ReadBytes(kept), c.savedIn == kept ? table : FillTable(4));
        if (c.savedIn == file || (c.savedIn.empty() && fs::is_regular_file(file))) {
            EXPECT_EQ(ReadBytes(file), c.savedIn == file ? table : old);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder + "kept"), {}),
                  c.savedIn == kept ? 2 : 1) << "the lock lies beside the file saved";
    }
}

// Two copies of the game share the file: a save reads it as it stands and adds only the
// entries added here since the last save, so the other copy's stay. Entries whose saves
// failed go with the next save that succeeds, at most a table's worth: the best, the earlier
// of equal ones first. A save waits for a lock the other copy holds, not for ever. Fresh
// copies a killed save left are gone at the next start, with or without the file; nothing
// else beside the file is.
TEST_F(HighScores, ASaveKeepsWhatAnotherCopySavedAndAddsOnlyItsOwnEntries) {
    const std::string stale = file + ".0123abcd.new";
    WriteBytes(stale, Bytes(128, 0x55));
    fs::create_directory(file + ".01234567.new");
    fs::create_symlink(stale, file + ".89abcdef.new");
    WriteBytes(file + ".nothex!!.new", Bytes(128, 0x55));
    WriteBytes(file, FillTable(4));
    LoadHighScores();
    EXPECT_EQ(Beside(), "highscores.dat highscores.dat.01234567.new highscores.dat.89abcdef.new@ "
                        "highscores.dat.lock highscores.dat.nothex!!.new");

    Bytes shown = TableBytes();
    WriteBytes(file, FillTable(7));  // the other copy saved
    std::memcpy(HighScoreTable, shown.data(), shown.size());
    EXPECT_TRUE(StderrOf([] { AddHighScore(5500, NewName); }).empty());
    EXPECT_EQ(FileScores(), "8007 7007 6007 5500 5007 4007 3007 2007");
    EXPECT_EQ(ReadBytes(file)[3 * 16 + 4], 'N');
    EXPECT_EQ(HighScoreTable[0].score, 8004) << "the table shown is this copy's";

    auto lines = AddOnAFullDisk({9000, 3000, 9500, 3000, 9000, 8500, 2500, 9999, 3000}, true);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_TRUE(Has(lines[0], "cannot write a new copy of"));
    EXPECT_EQ(FileScores(), "9999 9500 9000 9000 8500 8007 7007 6007");

    int held = open((file + ".lock").c_str(), O_RDWR);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    lines = StderrOf([] { AddHighScore(7500, NewName); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Has(lines[0], "(cannot lock " + file + "); the old file is kept")) << lines[0];
    close(held);
    SaveHighScores();
    EXPECT_EQ(FileScores(), "9999 9500 9000 9000 8500 8007 7500 7007");

    fs::remove(file);  // a first save killed before its rename
    WriteBytes(stale, Bytes(128, 0x55));
    LoadHighScores();
    EXPECT_FALSE(fs::exists(stale));
}

}  // namespace

// The high score file: what a load makes of each file it may find, and saves that never lose
// the old file, never follow what was left beside it and never swap a link for a file.
#include <sys/resource.h>
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

// The lines a save says on a disk that takes only 127 bytes of any file; in a child, so the
// limit ends with it.
std::vector<std::string> SaveOnAFullDisk() {
    int out[2];
    if (pipe(out) != 0) return {"no pipe"};
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDERR_FILENO);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{127, 127};
        setrlimit(RLIMIT_FSIZE, &small);
        SaveHighScores();
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

        Bytes table = FillTable(3);
        EXPECT_TRUE(StderrOf([] { SaveHighScores(), SaveHighScores(); }).empty());
        EXPECT_EQ(Beside(), c.saved ? "highscores.dat" : before);
        EXPECT_TRUE(!c.saved || ReadBytes(file) == table);
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
        {"plain", [] {}, "", "highscores.dat", file},
        {"leftover link", [&] { fs::create_symlink(victim, file + ".new"); }, "",
         "highscores.dat highscores.dat.new@", file},
        {"leftover folder", [&] { fs::create_directory(file + ".new"); }, "",
         "highscores.dat highscores.dat.new", file},
        {"linked file", [&] { fs::remove(file), fs::create_symlink("kept/scores", file); }, "",
         "highscores.dat@", kept},
        {"link to a folder", [&] { fs::remove(file), fs::create_symlink("kept", file); },
         "is a link to no plain file", "highscores.dat@", ""},
        {"folder in the way", [&] { fs::remove(file), fs::create_directories(file + "/in"); },
         "(cannot replace " + file + "); the old file is kept", "highscores.dat", ""},
        {"full disk", [] {}, "(cannot write a new copy of " + file + "); the old file is kept",
         "highscores.dat", ""},
        {"full disk, first save", [&] { fs::remove(file); },
         "(cannot write a new copy of " + file + ")", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& path : {file, file + ".new"}) fs::remove_all(path);
        WriteBytes(victim, Bytes(128, 0x55));
        WriteBytes(kept, Bytes(128, 0x66));
        WriteBytes(file, FillTable(4));
        LoadHighScores();
        c.spoil();
        Bytes old = fs::is_regular_file(file) ? ReadBytes(file) : Bytes{};
        Bytes table = FillTable(5);
        bool fullDisk = Has(c.what, "full disk");
        auto lines = fullDisk ? SaveOnAFullDisk() : StderrOf(SaveHighScores);
        ASSERT_EQ(lines.size(), c.said.empty() ? 0u : 1u);
        if (!c.said.empty()) {
            EXPECT_TRUE(Has(lines[0], c.said) && !Has(lines[0], ".new")) << lines[0];
        }
        EXPECT_EQ(Beside(), c.beside);
        EXPECT_EQ(ReadBytes(victim), Bytes(128, 0x55));
        EXPECT_EQ(ReadBytes(kept), c.savedIn == kept ? table : Bytes(128, 0x66));
        if (c.savedIn == file || (c.savedIn.empty() && fs::is_regular_file(file))) {
            EXPECT_EQ(ReadBytes(file), c.savedIn == file ? table : old);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder + "kept"), {}), 1);
    }
}

}  // namespace

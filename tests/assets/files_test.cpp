// Data folders (any length, any characters) and the high score file: defaults, short files,
// and saves that never lose the old file.
#include <unistd.h>

#include <functional>

#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

std::string Narrow(const WCHAR* path) {
    std::vector<char> narrow(NarrowPathBytes);
    NarrowPath(path, narrow.data(), NarrowPathBytes);
    return narrow.data();
}

TEST(Folders, AreCutAtTheLastSeparatorWhateverTheirLengthOrCharacters) {
    std::string deep;
    while (deep.size() < 4000) deep += "/a-rather-long-folder-name";
    const std::string utf8 = "/tmp/G\xC3\xA4rten/\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x90\xB6";
    // An own path longer than the platform hands out is reported, and the root ("//") serves.
    const std::string tooLong = "/" + std::string(MAX_PATH_CHARS + 10, 'x') + "/play";
    const struct {
        std::string module, root;
        size_t errors;  // the missing data, and an own path that can't be had
    } cases[] = {{"/A/B/play", "/A/B/", 1}, {"/play", "/", 1}, {deep + "/play", deep + "/", 1},
                 {utf8 + "/play", utf8 + "/", 1}, {tooLong, "//", 2}};
    for (const auto& c : cases) {
        HeadlessOptions options;
        options.modulePath = c.module.c_str();
        StartHeadlessHost(options);
        EXPECT_EQ(StderrOf(BuildDataFolders).size(), c.errors);
        StopHeadlessHost();
        WCHAR path[PathChars];
        JoinPath(path, GraphFolder, u"marrowdale.idx");
        EXPECT_EQ(Narrow(path), c.root + "Graph/marrowdale.idx");
        EXPECT_EQ(Narrow(SoundFolder) + Narrow(MapFolder), c.root + "Sound/" + c.root + "Map/");
    }
}

// The data beside the program wins over the installed data; the high scores stay beside the
// program only for such a portable copy in a folder it may write, and otherwise go to the
// user's data folder (made when missing), never beside an installed program.
TEST(Folders, DataBesideTheProgramThenInstalledAndScoresInTheDataHomeUnlessPortable) {
    const std::string top = MakeTempFolder();
    // The portable copy has installed data next to it too, and ignores it.
    const std::string portable = top + "portable/bin/", prefix = top + "usr/";
    const std::string installed = prefix + "share/marrowdale/", home = top + "home/";
    for (const std::string& folder :
         {portable, top + "portable/share/marrowdale/", prefix + "bin/", installed}) {
        fs::create_directories(folder);
        if (folder != prefix + "bin/") {
            fs::create_directory_symlink(MARROWDALE_BUILD_DIR "/Graph", folder + "Graph");
            fs::create_directory_symlink(MARROWDALE_BUILD_DIR "/Sound", folder + "Sound");
        }
    }
    fs::create_directories(top + "readonly");
    fs::create_directory_symlink(MARROWDALE_BUILD_DIR "/Graph", top + "readonly/Graph");
    fs::permissions(top + "readonly", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string dataHome = home + "data/marrowdale/";
    const struct {
        std::string module, dataHome, data, root;
    } cases[] = {
        {portable + "marrowdale", home + "data", portable, portable},
        {prefix + "bin/marrowdale", home + "data", installed, dataHome},
        // A relative $XDG_DATA_HOME is ignored: ~/.local/share then.
        {prefix + "bin/marrowdale", "relative", installed, home + ".local/share/marrowdale/"},
        // Root may write any folder, so it never sees this one as read-only.
        {top + "readonly/marrowdale", home + "data", top + "readonly/",
         geteuid() == 0 ? top + "readonly/" : dataHome},
    };
    const std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", home.c_str(), 1);
    for (const auto& c : cases) {
        setenv("XDG_DATA_HOME", c.dataHome.c_str(), 1);
        HeadlessOptions options;
        options.modulePath = c.module.c_str();
        StartHeadlessHost(options);
        EXPECT_TRUE(StderrOf(BuildDataFolders).empty()) << c.module;
        StopHeadlessHost();
        EXPECT_EQ(Narrow(GraphFolder) + Narrow(SoundFolder), c.data + "Graph/" + c.data + "Sound/");
        EXPECT_EQ(Narrow(RootFolder), c.root) << c.module;
        EXPECT_TRUE(fs::is_directory(c.root));
    }
    EXPECT_TRUE(fs::is_empty(prefix + "bin"));
    setenv("HOME", oldHome.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    fs::permissions(top + "readonly", fs::perms::owner_all);
    RemoveFolder(top);
}

class HighScores : public GameFolderTest {
protected:
    void SetUp() override {
        StartIn(MakeTempFolder());
        file = folder + "highscores.dat";
        newFile = file + ".new";
        std::memset(HighScoreTable, 0, sizeof HighScoreTable);
    }
    // Fills the table with scores unlike the defaults and returns its 128 bytes.
    Bytes FillTable(uint8_t seed) {
        for (int i = 0; i < HighScoreCount; ++i) {
            HighScoreTable[i].score = 1000 * (HighScoreCount - i) + seed;
            std::memset(HighScoreTable[i].name, 'A' + i + seed % 3, 12);
        }
        return TableBytes();
    }
    std::string file, newFile;
};

TEST_F(HighScores, FirstStartCreatesAnEmptyFileAndAShortFileFillsOnlyItsBytes) {
    EXPECT_TRUE(StderrOf(LoadHighScores).empty());
    EXPECT_TRUE(fs::exists(file) && fs::file_size(file) == 0);
    EXPECT_TRUE(std::all_of(HighScoreTable, HighScoreTable + 8, IsDefault));
    Bytes expected = TableBytes();  // the defaults with the file's 20 bytes over their start
    Bytes twenty = {0x39, 0x30, 0, 0, 'R', 'U', 'F', 'U', 'S', 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0};
    std::copy(twenty.begin(), twenty.end(), expected.begin());
    WriteBytes(file, twenty);
    for (auto& entry : HighScoreTable) entry.score = 7;
    auto lines = StderrOf(LoadHighScores);
    EXPECT_EQ(TableBytes(), expected);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Has(lines[0], file)) << lines[0];
}

// Saves go through highscores.dat.new and a rename: a good one replaces the file whole and
// leaves nothing beside; whichever step fails, the old file is kept, one line says so, and no
// half-written file is left.
TEST_F(HighScores, ASaveReplacesTheFileWholeOrKeepsTheOldOne) {
    WriteBytes(file, Bytes(128, 0x55));
    Bytes table = FillTable(2);
    SaveHighScores();
    EXPECT_EQ(ReadBytes(file), table);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    const std::function<void()> spoilers[] = {
        [&] { fs::create_directory(newFile); },
        [&] { fs::create_symlink("/dev/full", newFile); },  // the disk is full
        [&] { fs::remove(file), fs::create_directories(file + "/inside"); },
    };
    for (const auto& spoil : spoilers) {
        fs::remove_all(file);
        fs::remove_all(newFile);
        FillTable(4);
        SaveHighScores();
        spoil();
        Bytes old = fs::is_regular_file(file) ? ReadBytes(file) : Bytes{};
        FillTable(5);
        EXPECT_EQ(StderrOf(SaveHighScores).size(), 1u);
        EXPECT_TRUE(fs::is_directory(file) ? fs::exists(file + "/inside") : ReadBytes(file) == old);
        EXPECT_FALSE(fs::is_regular_file(newFile) || fs::is_symlink(newFile));
    }
}

}  // namespace

// Data folders (any length, any characters) and the high score file: defaults, short files,
// and saves that never lose the old file.
#include <functional>

#include "game/game.h"
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
        size_t errors;
    } cases[] = {{"/A/B/play", "/A/B/", 0}, {"/play", "/", 0}, {deep + "/play", deep + "/", 0},
                 {utf8 + "/play", utf8 + "/", 0}, {tooLong, "//", 1}};
    for (const auto& c : cases) {
        HeadlessOptions options;
        options.modulePath = c.module.c_str();
        StartHeadlessHost(options);
        EXPECT_EQ(StderrOf(BuildDataFolders).size(), c.errors);
        StopHeadlessHost();
        WCHAR path[PathChars];
        JoinPath(path, GraphFolder, u"marrowdale.idx");
        EXPECT_EQ(Narrow(path), c.root + "Graph/marrowdale.idx");
        EXPECT_EQ(Narrow(SoundFolder) + Narrow(MapFolder) + "|" + Narrow(RootFolder),
                  c.root + "Sound/" + c.root + "Map/|" + c.root);
    }
    // Broken surrogate pairs become U+FFFD; a character that doesn't fit is left out whole.
    const WCHAR broken[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(Narrow(broken), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    char small[4];
    NarrowPath(u"ab\u00E9", small, sizeof small);
    EXPECT_EQ(std::string(small), "ab");
}

bool IsDefault(const HighScoreEntry& entry) {
    return entry.score == 0 && std::memcmp(entry.name, "QUINTAVEX", 10) == 0;
}

class HighScores : public testing::Test {
protected:
    void SetUp() override {
        folder = MakeTempFolder();
        module = folder + "marrowdale";
        file = folder + "highscores.dat";
        newFile = file + ".new";
        HeadlessOptions options;
        options.modulePath = module.c_str();
        StartHeadlessHost(options);
        BuildDataFolders();
        std::memset(HighScoreTable, 0, sizeof HighScoreTable);
    }
    void TearDown() override {
        StopHeadlessHost();
        RemoveFolder(folder);
    }
    // Fills the table with scores unlike the defaults and returns its 128 bytes.
    Bytes FillTable(uint8_t seed) {
        for (int i = 0; i < HighScoreCount; ++i) {
            HighScoreTable[i].score = 1000 * (HighScoreCount - i) + seed;
            std::memset(HighScoreTable[i].name, 'A' + i + seed % 3, 12);
        }
        auto* bytes = reinterpret_cast<const uint8_t*>(HighScoreTable);
        return Bytes(bytes, bytes + sizeof HighScoreTable);
    }
    std::string folder, module, file, newFile;
};

TEST_F(HighScores, FirstStartCreatesAnEmptyFileAndAShortFileFillsOnlyItsBytes) {
    for (auto& entry : HighScoreTable) entry.name[10] = entry.name[11] = 'x';
    EXPECT_TRUE(StderrOf(LoadHighScores).empty());
    EXPECT_TRUE(fs::exists(file) && fs::file_size(file) == 0);
    for (const auto& entry : HighScoreTable) {
        EXPECT_TRUE(IsDefault(entry) && entry.name[10] == 'x' && entry.name[11] == 'x');
    }
    WriteBytes(file, {0x39, 0x30, 0, 0, 'R', 'U', 'F', 'U', 'S', 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0});
    auto lines = StderrOf(LoadHighScores);
    EXPECT_EQ(HighScoreTable[0].score, 12345);
    EXPECT_STREQ(reinterpret_cast<const char*>(HighScoreTable[0].name), "RUFUS");
    EXPECT_EQ(HighScoreTable[1].score, 16);
    EXPECT_EQ(std::memcmp(HighScoreTable[1].name, "QUINTAVEX", 10), 0);
    for (int i = 2; i < HighScoreCount; ++i) EXPECT_TRUE(IsDefault(HighScoreTable[i])) << i;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Has(lines[0], file)) << lines[0];
}

// Saves go through highscores.dat.new and a rename: a good one replaces the file whole and
// leaves nothing beside; whichever step fails, the old file is kept, one line says so, and no
// half-written file is left.
TEST_F(HighScores, ASaveReplacesTheFileWholeOrKeepsTheOldOne) {
    WriteBytes(file, Bytes(128, 0x55));
    for (uint8_t seed : {2, 3}) {
        Bytes table = FillTable(seed);
        SaveHighScores();
        EXPECT_EQ(ReadBytes(file), table);
    }
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
    EXPECT_TRUE(fs::exists("/dev/full"));
}

}  // namespace

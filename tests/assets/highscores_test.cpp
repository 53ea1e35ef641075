// High score file: the defaults, short files, and saves that never lose the old file.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <filesystem>
#include <string>

#include "assets/assets.h"
#include "game/game.h"
#include "platform/standin.h"
#include "tests/assets/fixture.h"

using namespace assettest;
namespace fs = std::filesystem;

namespace {

class HighScores : public testing::Test {
protected:
    void SetUp() override {
        folder = MakeTempFolder();
        ASSERT_FALSE(folder.empty());
        module = folder + "marrowdale";
        HeadlessOptions options;
        options.modulePath = module.c_str();
        StartHeadlessHost(options);
        BuildDataFolders();
        std::memset(HighScoreTable, 0, sizeof HighScoreTable);
        file = folder + "highscores.dat";
    }
    void TearDown() override {
        StopHeadlessHost();
        RemoveFolder(folder);
    }
    Bytes Table() const {
        auto* bytes = reinterpret_cast<const uint8_t*>(HighScoreTable);
        return Bytes(bytes, bytes + sizeof HighScoreTable);
    }
    // A table unlike the defaults.
    void FillTable(uint8_t seed) {
        for (int i = 0; i < HighScoreCount; ++i) {
            HighScoreTable[i].score = 1000 * (HighScoreCount - i) + seed;
            std::memset(HighScoreTable[i].name, 'A' + i + seed % 3, 12);
        }
    }
    std::string folder, module, file;
};

bool IsDefault(const HighScoreEntry& entry) {
    return entry.score == 0 && std::memcmp(entry.name, "QUINTAVEX", 10) == 0;
}

TEST_F(HighScores, FirstStartCreatesAnEmptyFileAndShowsEightDefaultRows) {
    for (auto& entry : HighScoreTable) entry.name[10] = entry.name[11] = 'x';
    testing::internal::CaptureStderr();
    LoadHighScores();
    EXPECT_TRUE(StderrLines().empty());
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 0u);
    for (const auto& entry : HighScoreTable) {
        EXPECT_TRUE(IsDefault(entry));
        EXPECT_EQ(entry.name[10], 'x');
        EXPECT_EQ(entry.name[11], 'x');
    }
}

TEST_F(HighScores, AShortFileReplacesOnlyItsFirstBytesAndIsReported) {
    Bytes twenty = {0x39, 0x30, 0, 0, 'R', 'U', 'F', 'U', 'S', 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0};
    WriteBytes(file, twenty);
    testing::internal::CaptureStderr();
    LoadHighScores();
    auto lines = StderrLines();
    EXPECT_EQ(HighScoreTable[0].score, 12345);
    EXPECT_STREQ(reinterpret_cast<const char*>(HighScoreTable[0].name), "RUFUS");
    EXPECT_EQ(HighScoreTable[1].score, 16);
    EXPECT_EQ(std::memcmp(HighScoreTable[1].name, "QUINTAVEX", 10), 0);
    for (int i = 2; i < HighScoreCount; ++i) EXPECT_TRUE(IsDefault(HighScoreTable[i])) << i;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(file), std::string::npos) << lines[0];
}

TEST_F(HighScores, ASaveWritesTheTablesBytesAndLeavesNothingBeside) {
    WriteBytes(file, Bytes(128, 0x55));
    FillTable(2);
    SaveHighScores();
    EXPECT_EQ(ReadBytes(file), Table());
    FillTable(3);
    SaveHighScores();
    EXPECT_EQ(ReadBytes(file), Table());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(HighScores, ASaveThatCannotCreateItsFileKeepsTheOldOne) {
    FillTable(4);
    SaveHighScores();
    Bytes old = Table();
    fs::create_directory(folder + "highscores.dat.new");
    FillTable(5);
    testing::internal::CaptureStderr();
    SaveHighScores();
    auto lines = StderrLines();
    EXPECT_EQ(ReadBytes(file), old);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(folder + "highscores.dat.new"), std::string::npos) << lines[0];
}

TEST_F(HighScores, ASaveOnAFullDiskKeepsTheOldOne) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    FillTable(6);
    SaveHighScores();
    Bytes old = Table();
    fs::create_symlink("/dev/full", folder + "highscores.dat.new");
    FillTable(7);
    testing::internal::CaptureStderr();
    SaveHighScores();
    auto lines = StderrLines();
    ASSERT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(ReadBytes(file), old);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_FALSE(fs::is_symlink(folder + "highscores.dat.new"));
    EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST_F(HighScores, ASaveThatCannotReplaceTheFileLeavesNothingBeside) {
    fs::create_directories(folder + "highscores.dat/inside");
    testing::internal::CaptureStderr();
    SaveHighScores();
    auto lines = StderrLines();
    EXPECT_TRUE(fs::exists(folder + "highscores.dat/inside"));
    EXPECT_FALSE(fs::exists(folder + "highscores.dat.new"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(file), std::string::npos) << lines[0];
}

}  // namespace

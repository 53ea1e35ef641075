// Resource archive: lookups by name, the shared data handle, damaged and missing archives.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "assets/assets.h"
#include "platform/standin.h"
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

class Archive : public testing::Test {
protected:
    void SetUp() override {
        StartHeadlessHost(HeadlessOptions{});
        folder = MakeTempFolder();
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override {
        CloseArchive();
        StopHeadlessHost();
        RemoveFolder(folder);
    }
    void Open(const std::string& graph) {
        OpenArchive(Wide(graph + "marrowdale.idx").c_str(), Wide(graph + "marrowdale.dat").c_str());
    }
    void OpenFiles(const ArchiveFiles& files) {
        files.Write(folder);
        Open(folder);
    }
    std::string folder;
};

TEST_F(Archive, EachLookupStartsAgainAndTheFirstOfTwoRecordsWins) {
    ArchiveFiles files;
    files.Add("a.bin", {1, 2, 3, 4});
    files.Add("b.bin", {5, 6, 7, 8});
    files.Add("a.bin", {9, 9, 9, 9});
    OpenFiles(files);

    ASSERT_EQ(FindArchiveEntry("a.bin"), ArchiveData);
    EXPECT_EQ(Position(ArchiveData), 0u);
    ASSERT_EQ(FindArchiveEntry("b.bin"), ArchiveData);
    EXPECT_EQ(Position(ArchiveData), 4u);
    ASSERT_EQ(FindArchiveEntry("a.bin"), ArchiveData);
    EXPECT_EQ(Position(ArchiveData), 0u);
    uint8_t bytes[4] = {};
    EXPECT_EQ(ReadArchiveEntry(ArchiveData, bytes, 4, "a.bin"), 4u);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[3], 4);
}

TEST_F(Archive, NamesMatchWholeAndInTheSameCase) {
    ArchiveFiles files;
    files.Add("font.tga", {1});
    // Bytes after the name's zero byte are not part of the name.
    files.index[10] = 'x';
    files.Add("data", {2});
    OpenFiles(files);

    EXPECT_EQ(FindArchiveEntry("font.tga"), ArchiveData);
    testing::internal::CaptureStderr();
    EXPECT_EQ(FindArchiveEntry("FONT.TGA"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindArchiveEntry("font.tg"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindArchiveEntry("font.tgax"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindArchiveEntry(""), INVALID_HANDLE_VALUE);
    EXPECT_EQ(StderrLines().size(), 4u);
    EXPECT_EQ(FindArchiveEntry("data"), ArchiveData);
    EXPECT_EQ(Position(ArchiveData), 1u);
}

TEST_F(Archive, AMissingNameSaysSoOnceAndLeavesTheDataHandleWhereItWas) {
    ArchiveFiles files;
    files.Add("a.bin", {1, 2, 3, 4});
    files.Add("b.bin", {5, 6, 7, 8});
    OpenFiles(files);
    ASSERT_EQ(FindArchiveEntry("b.bin"), ArchiveData);
    uint8_t two[2];
    ReadArchiveEntry(ArchiveData, two, 2, "b.bin");
    ASSERT_EQ(Position(ArchiveData), 6u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(FindArchiveEntry("c.bin"), INVALID_HANDLE_VALUE);
    auto lines = StderrLines();
    EXPECT_EQ(Position(ArchiveData), 6u);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\"c.bin\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(folder + "marrowdale.idx"), std::string::npos) << lines[0];
}

TEST_F(Archive, ATrailingPartialRecordIsNoRecord) {
    ArchiveFiles files;
    files.Add("a.bin", {1, 2, 3, 4});
    files.Add("ghost", {5, 6, 7, 8});
    // Name and offset of the second record are whole; only its last four bytes are gone.
    files.index.resize(28 + 24);
    OpenFiles(files);

    EXPECT_EQ(FindArchiveEntry("a.bin"), ArchiveData);
    testing::internal::CaptureStderr();
    EXPECT_EQ(FindArchiveEntry("ghost"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(StderrLines().size(), 1u);
}

TEST_F(Archive, ANameFieldWithoutItsZeroByteNamesNothing) {
    const std::string twenty = "abcdefghijklmnopqrst";
    ArchiveFiles files;
    files.Add(twenty, {1});
    files.Add("b", {2});
    OpenFiles(files);

    testing::internal::CaptureStderr();
    EXPECT_EQ(FindArchiveEntry(twenty.c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindArchiveEntry("abcdefghijklmnopqrs"), INVALID_HANDLE_VALUE);
    StderrLines();
    EXPECT_EQ(FindArchiveEntry("b"), ArchiveData);
}

TEST_F(Archive, AnEntryCutShortDeliversWhatIsThereAndSaysSo) {
    ArchiveFiles files;
    files.Add("first", Bytes(10, 7));
    Bytes font(4096);
    for (size_t i = 0; i < font.size(); ++i) font[i] = static_cast<uint8_t>(i * 7 + 3);
    files.Add("antique.fnt", font);
    OpenFiles(files);

    uint8_t whole[4096] = {};
    ASSERT_EQ(FindArchiveEntry("antique.fnt"), ArchiveData);
    EXPECT_EQ(ReadArchiveEntry(ArchiveData, whole, 4096, "antique.fnt"), 4096u);
    EXPECT_EQ(Bytes(whole, whole + 4096), font);

    uint8_t more[5000] = {};
    ASSERT_EQ(FindArchiveEntry("antique.fnt"), ArchiveData);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadArchiveEntry(ArchiveData, more, 5000, "antique.fnt"), 4096u);
    auto lines = StderrLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\"antique.fnt\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("4096 of 5000"), std::string::npos) << lines[0];
}

TEST_F(Archive, AnEmptyIndexFindsNothingAndIsReportedOnce) {
    ArchiveFiles files;
    files.data = Bytes(100, 1);
    testing::internal::CaptureStderr();
    OpenFiles(files);
    EXPECT_EQ(FindArchiveEntry("exit.tga"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindArchiveEntry("font.tga"), INVALID_HANDLE_VALUE);
    auto lines = StderrLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(folder + "marrowdale.idx"), std::string::npos) << lines[0];
}

TEST_F(Archive, MissingFilesAreCreatedEmptyAndReportedOnce) {
    testing::internal::CaptureStderr();
    Open(folder);
    EXPECT_EQ(FindArchiveEntry("exit.tga"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(StderrLines().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(folder + "marrowdale.idx"));
    EXPECT_EQ(std::filesystem::file_size(folder + "marrowdale.dat"), 0u);
}

TEST_F(Archive, AnEmptyDataFileIsReportedOnceAndItsEntriesStayQuiet) {
    ArchiveFiles files;
    files.Add("a.bin", {});
    files.Add("b.bin", {});
    testing::internal::CaptureStderr();
    OpenFiles(files);
    ASSERT_EQ(FindArchiveEntry("b.bin"), ArchiveData);
    uint8_t bytes[8];
    EXPECT_EQ(ReadArchiveEntry(ArchiveData, bytes, 8, "b.bin"), 0u);
    auto lines = StderrLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(folder + "marrowdale.dat"), std::string::npos) << lines[0];
}

TEST_F(Archive, AMissingFolderIsReportedOnceWithItsPath) {
    std::string graph = folder + "Graph/";
    testing::internal::CaptureStderr();
    Open(graph);
    EXPECT_EQ(ArchiveIndex, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindArchiveEntry("exit.tga"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindArchiveEntry("main.tga"), INVALID_HANDLE_VALUE);
    auto lines = StderrLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(graph + "marrowdale.idx"), std::string::npos) << lines[0];
    EXPECT_FALSE(std::filesystem::exists(graph));
}

}  // namespace

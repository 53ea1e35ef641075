// Resource archive: lookups by name, the shared data handle, damaged and missing archives.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "assets/assets.h"
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

class Archive : public ArchiveTest {};

bool Mentions(const std::string& line, const std::string& text) {
    return line.find(text) != std::string::npos;
}

TEST_F(Archive, EachLookupStartsAgainAndTheFirstOfTwoRecordsWins) {
    ArchiveFiles files;
    files.Add("a.bin", {1, 2, 3, 4});
    files.Add("b.bin", {5, 6, 7, 8});
    files.Add("a.bin", {9, 9, 9, 9});
    OpenFiles(files);

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(FindArchiveEntry("a.bin"), ArchiveData);
        EXPECT_EQ(Position(ArchiveData), 0u);
        ASSERT_EQ(FindArchiveEntry("b.bin"), ArchiveData);
        EXPECT_EQ(Position(ArchiveData), 4u);
    }
    uint8_t bytes[4] = {};
    EXPECT_EQ(ReadArchiveEntry(ArchiveData, bytes, 4, "b.bin"), 4u);
    EXPECT_EQ(bytes[3], 8);
}

TEST_F(Archive, NamesMatchWholeInTheSameCaseAndOnlyWithinTheirField) {
    const std::string twenty = "abcdefghijklmnopqrst";
    ArchiveFiles files;
    files.Add("font.tga", {1});
    files.index[10] = 'x';  // after the name's zero byte: not part of the name
    files.Add(twenty, {2});  // no zero byte inside the field: names nothing
    files.Add("data", {3});
    OpenFiles(files);

    EXPECT_EQ(FindArchiveEntry("font.tga"), ArchiveData);
    testing::internal::CaptureStderr();
    for (const char* name : {"FONT.TGA", "font.tg", "font.tgax", "", twenty.c_str()}) {
        EXPECT_EQ(FindArchiveEntry(name), INVALID_HANDLE_VALUE) << name;
    }
    EXPECT_EQ(StderrLines().size(), 5u);
    EXPECT_EQ(FindArchiveEntry("data"), ArchiveData);
    EXPECT_EQ(Position(ArchiveData), 2u);
}

TEST_F(Archive, AMissingNameSaysSoOnceAndLeavesTheDataHandleWhereItWas) {
    ArchiveFiles files;
    files.Add("a.bin", {1, 2, 3, 4});
    files.Add("b.bin", {5, 6, 7, 8});
    OpenFiles(files);
    ASSERT_EQ(FindArchiveEntry("b.bin"), ArchiveData);
    uint8_t two[2];
    ReadArchiveEntry(ArchiveData, two, 2, "b.bin");

    testing::internal::CaptureStderr();
    EXPECT_EQ(FindArchiveEntry("c.bin"), INVALID_HANDLE_VALUE);
    auto lines = StderrLines();
    EXPECT_EQ(Position(ArchiveData), 6u);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Mentions(lines[0], "\"c.bin\"")) << lines[0];
    EXPECT_TRUE(Mentions(lines[0], folder + "marrowdale.idx")) << lines[0];
}

TEST_F(Archive, ATrailingPartialRecordIsNoRecord) {
    ArchiveFiles files;
    files.Add("a.bin", {1, 2, 3, 4});
    files.Add("ghost", {5, 6, 7, 8});
    files.index.resize(28 + 24);  // the second record's name and offset are whole
    OpenFiles(files);

    EXPECT_EQ(FindArchiveEntry("a.bin"), ArchiveData);
    testing::internal::CaptureStderr();
    EXPECT_EQ(FindArchiveEntry("ghost"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(StderrLines().size(), 1u);
}

TEST_F(Archive, AnEntryCutShortDeliversWhatIsThereAndSaysSo) {
    Bytes font(4096);
    for (size_t i = 0; i < font.size(); ++i) font[i] = static_cast<uint8_t>(i * 7 + 3);
    ArchiveFiles files;
    files.Add("first", Bytes(10, 7));
    files.Add("antique.fnt", font);
    OpenFiles(files);

    Bytes read(5000);
    ASSERT_EQ(FindArchiveEntry("antique.fnt"), ArchiveData);
    EXPECT_EQ(ReadArchiveEntry(ArchiveData, read.data(), 4096, "antique.fnt"), 4096u);
    EXPECT_EQ(Bytes(read.begin(), read.begin() + 4096), font);
    ASSERT_EQ(FindArchiveEntry("antique.fnt"), ArchiveData);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadArchiveEntry(ArchiveData, read.data(), 5000, "antique.fnt"), 4096u);
    auto lines = StderrLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Mentions(lines[0], "\"antique.fnt\"") && Mentions(lines[0], "4096 of 5000"))
        << lines[0];
}

// An archive that can't serve is one line naming its file, however many lookups follow.
TEST_F(Archive, AMissingOrEmptyArchiveIsReportedOnceWithItsPath) {
    struct Case {
        const char* what;
        Bytes index, data;
        const char* named;
    } cases[] = {
        {"no files", {}, {}, "marrowdale.idx"},
        {"empty index", {}, Bytes(100, 1), "marrowdale.idx"},
        {"empty data", IndexRecord("exit.tga", 0, 0), {}, "marrowdale.dat"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(folder + "marrowdale.idx");
        std::filesystem::remove(folder + "marrowdale.dat");
        if (!c.index.empty() || !c.data.empty()) ArchiveFiles{c.index, c.data}.Write(folder);
        testing::internal::CaptureStderr();
        Open(folder);
        HANDLE entry = FindArchiveEntry("exit.tga");
        uint8_t bytes[8];
        if (entry != INVALID_HANDLE_VALUE) ReadArchiveEntry(entry, bytes, 8, "exit.tga");
        EXPECT_EQ(FindArchiveEntry("main.tga"), INVALID_HANDLE_VALUE) << c.what;
        CloseArchive();
        auto lines = StderrLines();
        ASSERT_EQ(lines.size(), 1u) << c.what;
        EXPECT_TRUE(Mentions(lines[0], folder + c.named)) << lines[0];
    }
    // Absent files are created empty, as the handheld's open did.
    EXPECT_TRUE(std::filesystem::exists(folder + "marrowdale.dat"));
}

TEST_F(Archive, AMissingFolderIsReportedOnceAndNotCreated) {
    std::string graph = folder + "Graph/";
    testing::internal::CaptureStderr();
    Open(graph);
    EXPECT_EQ(FindArchiveEntry("exit.tga"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FindArchiveEntry("main.tga"), INVALID_HANDLE_VALUE);
    auto lines = StderrLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Mentions(lines[0], graph + "marrowdale.idx")) << lines[0];
    EXPECT_FALSE(std::filesystem::exists(graph));
}

}  // namespace

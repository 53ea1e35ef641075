// The resource archive's layout, the game's lookup over it, and the archive tool.
#include "tools/common/archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/content/archive_run.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// The game's lookup over raw index bytes: scan 28-byte records from the start, compare the
// name up to its zero byte, return the offset of the first match or -1.
long GameLookup(const std::vector<uint8_t>& index, const char* name) {
    for (size_t at = 0; at + ArchiveRecordSize <= index.size(); at += ArchiveRecordSize) {
        if (std::strcmp(reinterpret_cast<const char*>(&index[at]), name) != 0) continue;
        const uint8_t* offset = &index[at + ArchiveNameField];
        return offset[0] | offset[1] << 8 | offset[2] << 16 | static_cast<long>(offset[3]) << 24;
    }
    return -1;
}

std::vector<uint8_t> ReadAt(const std::vector<uint8_t>& data, long offset, size_t count) {
    return {data.begin() + offset, data.begin() + offset + static_cast<long>(count)};
}

TEST(Archive, PackedEntriesReadBackThroughTheGamesLookup) {
    std::vector<ArchiveEntry> entries = {{"font.tga", Bytes("sheet bytes")},
                                         {"empty.bin", {}},
                                         {"s0.tga", Bytes("fruit")},
                                         {"s0.tga", Bytes("shadowed copy")},
                                         {"abcdefghijklmnopqrs", Bytes("nineteen")}};
    std::vector<uint8_t> index, data;
    std::string error;
    ASSERT_TRUE(BuildArchive(entries, index, data, error)) << error;
    ASSERT_EQ(index.size(), entries.size() * 28);

    EXPECT_EQ(ReadAt(data, GameLookup(index, "font.tga"), 11), Bytes("sheet bytes"));
    EXPECT_EQ(ReadAt(data, GameLookup(index, "s0.tga"), 5), Bytes("fruit"));  // first record wins
    EXPECT_EQ(ReadAt(data, GameLookup(index, "abcdefghijklmnopqrs"), 8), Bytes("nineteen"));
    EXPECT_EQ(GameLookup(index, "S0.TGA"), -1);  // names are case-sensitive
    EXPECT_EQ(GameLookup(index, "s0"), -1);

    std::vector<ArchiveRecord> records;
    ASSERT_TRUE(ParseArchiveIndex(index, records, error)) << error;
    ASSERT_EQ(records.size(), entries.size());
    uint32_t expectedOffset = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].name, entries[i].name);
        EXPECT_EQ(records[i].offset, expectedOffset);
        EXPECT_EQ(records[i].length, entries[i].bytes.size());
        expectedOffset += records[i].length;
    }
    EXPECT_EQ(FindArchiveRecord(records, "s0.tga"), &records[2]);
    EXPECT_EQ(FindArchiveRecord(records, "missing"), nullptr);
}

TEST(Archive, NamesMustFitARecord) {
    EXPECT_EQ(CheckArchiveName("abcdefghijklmnopqrs"), "");
    EXPECT_NE(CheckArchiveName("abcdefghijklmnopqrst"), "");  // 20 leave no room for the zero
    EXPECT_NE(CheckArchiveName(""), "");
    EXPECT_NE(CheckArchiveName(std::string("a\0b", 3)), "");
    std::vector<uint8_t> index, data;
    std::string error;
    EXPECT_FALSE(BuildArchive({{"abcdefghijklmnopqrst", {1}}}, index, data, error));
    EXPECT_NE(error.find("19"), std::string::npos);
}

TEST(Archive, DamagedIndexIsRefused) {
    std::vector<ArchiveRecord> records;
    std::string error;
    EXPECT_FALSE(ParseArchiveIndex(std::vector<uint8_t>(30, 0), records, error));
    std::vector<uint8_t> unterminated(28, 'x');
    EXPECT_FALSE(ParseArchiveIndex(unterminated, records, error));
    EXPECT_TRUE(ParseArchiveIndex({}, records, error));
    EXPECT_TRUE(records.empty());
}

// ---- The archive tool, run as a player would ----

class ArchiveTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ScratchFolder("archive");
        ASSERT_TRUE(fs::exists(std::string(MARROWDALE_BUILD_DIR) + "/marrowdale-archive"))
            << "build marrowdale-archive first";
    }
    void TearDown() override { fs::remove_all(dir); }

    ToolRun Run(const std::string& arguments) {
        return RunTool("marrowdale-archive", arguments, dir);
    }

    std::string Write(const std::string& relative, const std::string& text) {
        fs::path path = dir / relative;
        fs::create_directories(path.parent_path());
        std::string error;
        EXPECT_TRUE(WriteWholeFile(path.string(), Bytes(text), error)) << error;
        return path.string();
    }

    std::string Read(const std::string& relative) { return ReadText(dir / relative); }

    fs::path dir;
};

TEST_F(ArchiveTool, PackListExtractRoundTrip) {
    std::string a = Write("in/one/pic.tga", "first picture");
    std::string b = Write("in/tiny.fnt", "");
    std::string c = Write("in/two/pic.tga", "second picture");
    std::string idx = (dir / "x.idx").string(), dat = (dir / "x.dat").string();
    ToolRun pack = Run("pack " + idx + " " + dat + " " + a + " " + b + " " + c);
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_NE(pack.err.find("first one is used"), std::string::npos);

    ToolRun list = Run("list " + idx + " " + dat);
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("pic.tga"), std::string::npos);
    EXPECT_NE(list.out.find("tiny.fnt"), std::string::npos);

    ToolRun all = Run("extract " + idx + " " + dat + " " + (dir / "all").string());
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(Read("all/pic.tga"), "first picture");
    EXPECT_EQ(Read("all/tiny.fnt"), "");

    ToolRun one = Run("extract " + idx + " " + dat + " " + (dir / "one").string() + " tiny.fnt");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_TRUE(fs::exists(dir / "one/tiny.fnt"));
    EXPECT_FALSE(fs::exists(dir / "one/pic.tga"));
}

TEST_F(ArchiveTool, ErrorsAreOneLineAndUsageErrorsExitTwo) {
    ToolRun none = Run("");
    EXPECT_EQ(none.status, 2);
    ToolRun unknown = Run("shuffle a b");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1) << unknown.err;

    std::string idx = (dir / "x.idx").string(), dat = (dir / "x.dat").string();
    ASSERT_EQ(Run("pack " + idx + " " + dat + " " + Write("a.bin", "abc")).status, 0);
    ToolRun missing =
        Run("extract " + idx + " " + dat + " " + (dir / "out").string() + " nothing.tga");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nothing.tga"), std::string::npos);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

    ToolRun absent = Run("list " + (dir / "none.idx").string() + " " + dat);
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.err.find("none.idx"), std::string::npos);
}

TEST_F(ArchiveTool, ExtractRefusesUnsafeNamesAndEntriesPastTheEnd) {
    std::vector<uint8_t> index, data;
    std::string error;
    ASSERT_TRUE(BuildArchive({{"../escape", Bytes("x")}}, index, data, error));
    std::string idx = (dir / "bad.idx").string(), dat = (dir / "bad.dat").string();
    ASSERT_TRUE(WriteWholeFile(idx, index, error));
    ASSERT_TRUE(WriteWholeFile(dat, data, error));
    EXPECT_EQ(Run("extract " + idx + " " + dat + " " + (dir / "out").string()).status, 1);
    EXPECT_FALSE(fs::exists(dir / "escape"));

    ASSERT_TRUE(BuildArchive({{"long.bin", Bytes("0123456789")}}, index, data, error));
    data.resize(4);  // a data file cut short
    ASSERT_TRUE(WriteWholeFile(idx, index, error));
    ASSERT_TRUE(WriteWholeFile(dat, data, error));
    ToolRun cut = Run("extract " + idx + " " + dat + " " + (dir / "out").string());
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("past the end"), std::string::npos);
    EXPECT_EQ(Run("list " + idx + " " + dat).status, 1);
}

}  // namespace

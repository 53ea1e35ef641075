// Resource archive and TGA decoding: lookups by name, the shared data handle, damaged and
// missing archives, both TGA layouts, entries cut short.
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

using Pixels = std::vector<uint16_t>;

// Entries laid back to back in the data file, each with its record, in the order given.
struct ArchiveFiles {
    Bytes index, data;
    void Add(const std::string& name, const Bytes& bytes) {
        Bytes record = IndexRecord(name, uint32_t(data.size()), uint32_t(bytes.size()));
        index.insert(index.end(), record.begin(), record.end());
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
};

// A colour-mapped entry: 18-byte header, 256 (blue, green, red) entries from 0xRRGGBB colours,
// the stored pixel bytes as given (bottom row first), two padding bytes.
Bytes ColourMappedTga(const std::vector<uint32_t>& rgb, const Bytes& stored) {
    Bytes tga(786 + stored.size() + 2, 0);
    tga[2] = 1;
    for (size_t k = 0; k < 3 * rgb.size(); ++k) tga[18 + k] = uint8_t(rgb[k / 3] >> k % 3 * 8);
    std::copy(stored.begin(), stored.end(), tga.begin() + 786);
    return tga;
}

// A private folder in which each test lays out its own small archive.
class Archive : public GameFolderTest {
protected:
    void SetUp() override { StartIn(MakeTempFolder()); }
    void TearDown() override {
        CloseArchive();
        GameFolderTest::TearDown();
    }
    // Writes the two files into the folder and opens the archive in graph.
    void Open(const std::string& graph, const ArchiveFiles& files) {
        WriteBytes(folder + "marrowdale.idx", files.index);
        WriteBytes(folder + "marrowdale.dat", files.data);
        std::string index = graph + "marrowdale.idx", data = graph + "marrowdale.dat";
        OpenArchive(std::u16string(index.begin(), index.end()).c_str(),
                    std::u16string(data.begin(), data.end()).c_str());
    }
};

// The index is read once, at the opening; every lookup searches it from its first record,
// and a failed one says so once and leaves the data handle where the last read left it.
TEST_F(Archive, LookupsFindTheFirstRecordOfTheExactName) {
    const std::string twenty = "abcdefghijklmnopqrst";
    ArchiveFiles files;
    files.Add("font.tga", {1, 2, 3, 4});
    files.index[10] = 'x';  // after the name's zero byte: not part of the name
    files.Add("data", {5, 6, 7, 8});
    files.Add("font.tga", {9, 9, 9, 9});
    files.Add(twenty, {2});  // no zero byte inside the field: names nothing
    files.Add("ghost", {3});
    files.index.resize(files.index.size() - 4);  // a trailing partial record is no record
    Open(folder, files);
    WriteBytes(folder + "marrowdale.idx", {});

    const struct {
        std::string name;
        int at;  // -1: not found
    } lookups[] = {{"data", 4},       {"font.tga", 0}, {"data", 4},   {"FONT.TGA", -1},
                   {"font.tgax", -1}, {"font.tg", -1}, {"", -1},      {twenty, -1},
                   {"ghost", -1}};
    for (const auto& lookup : lookups) {
        DWORD before = SetFilePointer(ArchiveData, 0, nullptr, FILE_CURRENT);
        HANDLE entry = nullptr;
        auto lines = StderrOf([&] { entry = FindArchiveEntry(lookup.name.c_str()); });
        if (lookup.at >= 0) {
            ASSERT_EQ(entry, ArchiveData) << lookup.name;
            EXPECT_EQ(SetFilePointer(ArchiveData, 0, nullptr, FILE_CURRENT), DWORD(lookup.at));
            EXPECT_EQ(ReadArchiveEntry(entry, &before, 2, "moves the handle on"), 2u);
            continue;
        }
        EXPECT_EQ(entry, INVALID_HANDLE_VALUE) << lookup.name;
        EXPECT_EQ(SetFilePointer(ArchiveData, 0, nullptr, FILE_CURRENT), before) << lookup.name;
        ASSERT_EQ(lines.size(), 1u) << lookup.name;
        EXPECT_TRUE(Has(lines[0], "\"" + lookup.name + "\"") &&
                    Has(lines[0], folder + "marrowdale.idx")) << lines[0];
    }
}

// An archive that can't serve (an absent file is created empty) is one line naming its file,
// however many lookups follow; a missing folder is not created.
TEST_F(Archive, AnArchiveThatCannotServeIsReportedOnceWithItsPath) {
    const struct {
        Bytes index, data;
        std::string graph, named;
    } cases[] = {{{}, Bytes(100, 1), "", "marrowdale.idx"},
                 {IndexRecord("exit.tga", 0, 0), {}, "", "marrowdale.dat"},
                 {{}, {}, "Graph/", "Graph/marrowdale.idx"}};
    for (const auto& c : cases) {
        auto lines = StderrOf([&] {
            Open(folder + c.graph, {c.index, c.data});
            uint8_t bytes[8];
            ReadArchiveEntry(FindArchiveEntry("exit.tga"), bytes, 8, "exit.tga");
            EXPECT_EQ(FindArchiveEntry("main.tga"), INVALID_HANDLE_VALUE);
            CloseArchive();
        });
        ASSERT_EQ(lines.size(), 1u) << c.named;
        EXPECT_TRUE(Has(lines[0], folder + c.named)) << lines[0];
    }
    EXPECT_FALSE(fs::exists(folder + "Graph"));
}

// An index of as many records as the reader takes serves to its last one; one record more is
// damage, refused in one line naming it and never searched.
TEST_F(Archive, AnIndexFarLargerThanAnyRealOneIsRefusedInOneLine) {
    for (int records : {ArchiveRecordsMost, ArchiveRecordsMost + 1}) {
        ArchiveFiles files;
        for (int i = 1; i < records; ++i) files.Add("filler", {});
        files.Add("exit.tga", {7});
        HANDLE entry = nullptr;
        auto lines = StderrOf([&] { Open(folder, files), entry = FindArchiveEntry("exit.tga"); });
        CloseArchive();
        bool refused = records > ArchiveRecordsMost;
        EXPECT_EQ(entry == INVALID_HANDLE_VALUE, refused);
        ASSERT_EQ(lines.size(), refused ? 1u : 0u);
        EXPECT_TRUE(!refused || (Has(lines[0], "holds over 4096 entries") &&
                                 Has(lines[0], folder + "marrowdale.idx"))) << lines[0];
    }
}

// True colour: 16-bit x RRRRR GGGGG BBBBB pixels, bottom row first, after the header; two
// padding bytes. (Every picture of the game is colour-mapped; the golden games show those.)
TEST_F(Archive, TrueColourTgaStoresTheBottomRowFirstAndDropsTheLowGreenBit) {
    Bytes trueColour = {0xFF, 0x7F, 0x00, 0x80, 0x21, 0x04, 0x1F, 0x7C, 0, 0};
    trueColour.insert(trueColour.begin(), 18, 0);
    ArchiveFiles files;
    files.Add("lead", Bytes(5, 0xEE));
    files.Add("true.tga", trueColour);
    Open(folder, files);
    Pixels image(4);
    ASSERT_EQ(LoadTgaImage("true.tga", 2, 2, image.data(), 0), 1);
    EXPECT_EQ(image, (Pixels{0x0841, 0xF81F, 0xFFDF, 0x0000}));
}

// Colours as 0xRRGGBB and their RGB565 forms, worked out by hand.
const std::vector<uint32_t> Colours = {0x00FF00, 0xF80307, 0xFFFFFF, 0x302010};
constexpr uint16_t C0 = 0x07E0, C2 = 0xFFFF, C3 = 0x3102;

// The bytes a cut entry doesn't deliver decode as zero (colour-map index 0), the same every
// time, whatever the memory held before.
TEST_F(Archive, ATgaCutShortDecodesItsMissingBytesAsZero) {
    Bytes whole = ColourMappedTga(Colours, {2, 2, 2, 2, 3, 3, 3, 3});
    ArchiveFiles files;
    files.Add("noise.tga", ColourMappedTga({0xFFFFFF, 0xFFFFFF}, Bytes(4 * 2, 1)));
    files.Add("cut.tga", Bytes(whole.begin(), whole.begin() + 786 + 4 + 1));
    Open(folder, files);
    for (int round = 0; round < 2; ++round) {
        Pixels noise(8), image(8, 0xABCD);  // the noise's work memory is likely reused
        ASSERT_EQ(LoadTgaImage("noise.tga", 4, 2, noise.data(), 1), 1);
        auto lines = StderrOf([&] { LoadTgaImage("cut.tga", 4, 2, image.data(), 1); });
        EXPECT_EQ(image, (Pixels{C3, C0, C0, C0, C2, C2, C2, C2}));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(Has(lines[0], "\"cut.tga\"")) << lines[0];
    }
}

}  // namespace

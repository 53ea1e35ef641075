// Resource archive and TGA decoding: lookups by name, the shared data handle, damaged and
// missing archives, both TGA layouts, headers of other layouts, entries cut short.
#include <sys/stat.h>

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

// An entry of the game's layouts: the header of a colour-mapped (a 256-entry 24-bit map, 8-bit
// pixels) or 16-bit true-colour TGA, bottom row first, then body.
Bytes GameLayoutTga(int width, int height, bool paletted, const Bytes& body) {
    Bytes tga(18 + body.size(), 0);
    tga[1] = paletted, tga[2] = paletted ? 1 : 2;
    tga[6] = paletted, tga[7] = paletted ? 24 : 0;
    tga[12] = uint8_t(width), tga[14] = uint8_t(height), tga[16] = paletted ? 8 : 16;
    std::copy(body.begin(), body.end(), tga.begin() + 18);
    return tga;
}

// A colour-mapped entry: its header, 256 (blue, green, red) entries from 0xRRGGBB colours,
// the stored pixel bytes as given (bottom row first), two padding bytes.
Bytes ColourMappedTga(int width, int height, const std::vector<uint32_t>& rgb,
                      const Bytes& stored) {
    Bytes tga = GameLayoutTga(width, height, true, Bytes(768 + stored.size() + 2, 0));
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

// An archive that can't serve (an absent file is created empty, a FIFO is not waited on) is
// one line naming its file, however many lookups follow; a missing folder is not created.
TEST_F(Archive, AnArchiveThatCannotServeIsReportedOnceWithItsPath) {
    const struct {
        Bytes index, data;
        std::string graph, named;
    } cases[] = {{{}, Bytes(100, 1), "", "marrowdale.idx"},
                 {IndexRecord("exit.tga", 0, 0), {}, "", "marrowdale.dat"},
                 {{}, {}, "Graph/", "Graph/marrowdale.idx"},
                 {{}, {}, "fifo/", "fifo/marrowdale.idx (not a plain file)"}};
    fs::create_directory(folder + "fifo");
    mkfifo((folder + "fifo/marrowdale.idx").c_str(), 0600);  // opened, it would never answer
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
    Bytes trueColour =
        GameLayoutTga(2, 2, false, {0xFF, 0x7F, 0x00, 0x80, 0x21, 0x04, 0x1F, 0x7C, 0, 0});
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
    Bytes whole = ColourMappedTga(4, 2, Colours, {2, 2, 2, 2, 3, 3, 3, 3});
    ArchiveFiles files;
    files.Add("noise.tga", ColourMappedTga(4, 2, {0xFFFFFF, 0xFFFFFF}, Bytes(4 * 2, 1)));
    files.Add("cut.tga", Bytes(whole.begin(), whole.begin() + 786 + 4 + 1));
    Open(folder, files);
    for (int round = 0; round < 2; ++round) {
        Pixels noise(8), image(8, 0xABCD);  // the noise's work memory is likely reused
        ASSERT_EQ(LoadTgaImage("noise.tga", 4, 2, noise.data(), 1), 1);
        auto lines = StderrOf([&] { LoadTgaImage("cut.tga", 4, 2, image.data(), 1); });
        EXPECT_EQ(image, (Pixels{C3, C0, C0, C0, C2, C2, C2, C2}));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(Has(lines[0], "\"cut.tga\"") && Has(lines[0], "(791 of 796 bytes)"))
            << lines[0];
    }
}

Bytes TestPicture(const std::string& file) { return ReadBytes(PicturesFolder + file); }

// Pictures as Pillow and ImageMagick write them: only the game's two layouts at the size asked
// for decode; any other header is one line naming the entry and the field, and the image keeps
// what it held, as for a missing entry. Foreign and cut short too is still one line.
TEST_F(Archive, APictureNotStoredAsAskedIsRefusedInOneLineAndKeepsItsImage) {
    Bytes noise(900);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);  // fixed
    const struct {
        Bytes entry;
        int width, height;
        uint8_t paletted;
        const char* said;  // null: decodes
    } cases[] = {
        {TestPicture("game.tga"), 6, 4, 1, nullptr},  // Pillow's 256-colour TGA is the layout
        {TestPicture("im-true16.tga"), 6, 4, 0, nullptr},  // ImageMagick's 16 bits the other one
        {TestPicture("game.tga"), 4, 6, 1, "its width is 6, not 4"},
        {TestPicture("game.tga"), 6, 4, 0, "its colour map type is 1, not 0"},
        {TestPicture("id.tga"), 6, 4, 1, "its image id length is 14, not 0"},
        {TestPicture("short.tga"), 6, 4, 1, "its colour map length is 7, not 256"},
        {TestPicture("rle.tga"), 6, 4, 1, "its image type is 9, not 1"},
        {TestPicture("top.tga"), 6, 4, 1, "its pixel order field is 32, not 0"},
        {noise, 6, 4, 1, "is not a 6 x 4 colour-mapped TGA"},
        {Bytes(100, 0), 6, 4, 1, "its colour map type is 0, not 1"},
        {Bytes(5, 0), 6, 4, 1, "cut short (5 of 18 bytes)"},  // the last entry: nothing follows
    };
    ArchiveFiles files;
    for (size_t i = 0; i < std::size(cases); ++i) files.Add("p" + std::to_string(i), cases[i].entry);
    Open(folder, files);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        std::string name = "p" + std::to_string(i);
        Pixels image(size_t(c.width * c.height), 0xABCD);
        int decoded = -1;
        auto lines = StderrOf([&] {
            decoded = LoadTgaImage(name.c_str(), c.width, c.height, image.data(), c.paletted);
        });
        if (!c.said) {
            Pixels shown = PictureAsShown();
            for (uint16_t& pixel : shown) pixel &= c.paletted ? 0xFFFF : 0xFFDF;  // 5-bit green
            EXPECT_TRUE(decoded == 1 && lines.empty() && image == shown) << name;
            continue;
        }
        EXPECT_TRUE(decoded == 0 && image == Pixels(image.size(), 0xABCD)) << name;
        ASSERT_EQ(lines.size(), 1u) << name;
        EXPECT_TRUE(Has(lines[0], "\"" + name + "\"") && Has(lines[0], c.said)) << lines[0];
    }
}

}  // namespace

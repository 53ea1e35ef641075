// The built graphics: the archive against the catalogue, layouts, fonts, and the builder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/content/archive_run.h"
#include "tools/common/archive.h"

namespace {

namespace fs = std::filesystem;

struct CatalogueImage {
    const char* name;
    int width, height;
};

// What the game decodes, in its order, with the sizes it reads; then the two fonts.
const CatalogueImage Expected[] = {
    {"exit.tga", 16, 16},      {"speaker.tga", 16, 16},  {"quintlogo.tga", 200, 42},
    {"front.tga", 240, 320},   {"about.tga", 240, 320},  {"help.tga", 240, 320},
    {"main.tga", 240, 320},    {"high.tga", 240, 320},   {"dogup1.tga", 32, 32},
    {"dogup2.tga", 32, 32},    {"dogdown1.tga", 32, 32}, {"dogdown2.tga", 32, 32},
    {"dogleft1.tga", 32, 32},  {"dogleft2.tga", 32, 32}, {"dogright1.tga", 32, 32},
    {"dogright2.tga", 32, 32}, {"fume0.tga", 32, 32},    {"fume1.tga", 32, 32},
    {"fume2.tga", 32, 32},     {"plant.tga", 16, 16},    {"s0.tga", 32, 32},
    {"s1.tga", 32, 32},        {"s2.tga", 32, 32},       {"s3.tga", 32, 32},
    {"s4.tga", 32, 32},        {"s5.tga", 32, 32},       {"s6.tga", 32, 32},
    {"s7.tga", 32, 32},        {"ssmall.tga", 16, 16},   {"smedium.tga", 24, 24},
    {"spider1.tga", 36, 24},   {"spider2.tga", 36, 24},  {"spider3.tga", 36, 24},
    {"spider4.tga", 36, 24},   {"spider5.tga", 36, 24},  {"spider6.tga", 36, 24},
    {"font.tga", 256, 120},
};

constexpr uint32_t Green = 0x00FF00;
constexpr uint32_t Red = 0xFF0000;

struct Archive {
    std::vector<ArchiveRecord> records;
    std::vector<uint8_t> data;
};

Archive LoadArchive(const fs::path& graph) {
    Archive archive;
    std::vector<uint8_t> index;
    std::string error;
    EXPECT_TRUE(ReadWholeFile((graph / "marrowdale.idx").string(), index, error)) << error;
    EXPECT_TRUE(ReadWholeFile((graph / "marrowdale.dat").string(), archive.data, error)) << error;
    EXPECT_TRUE(ParseArchiveIndex(index, archive.records, error)) << error;
    return archive;
}

std::vector<uint8_t> Entry(const Archive& archive, const std::string& name) {
    const ArchiveRecord* record = FindArchiveRecord(archive.records, name);
    if (!record || record->offset + static_cast<uint64_t>(record->length) > archive.data.size())
        return {};
    auto first = archive.data.begin() + record->offset;
    return {first, first + record->length};
}

int Little16(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8;
}

// A picture decoded from a colour-mapped TGA entry, top row first, as 0xRRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Picture Decode(const std::vector<uint8_t>& tga) {
    Picture picture;
    if (tga.size() < 786) return picture;
    picture.width = Little16(tga, 12);
    picture.height = Little16(tga, 14);
    if (tga.size() < 786 + static_cast<size_t>(picture.width) * picture.height) return Picture{};
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            size_t index =
                tga[786 + static_cast<size_t>(picture.height - 1 - y) * picture.width + x];
            const uint8_t* entry = &tga[18 + 3 * index];
            picture.pixels.push_back(static_cast<uint32_t>(entry[2]) << 16 | entry[1] << 8 |
                                     entry[0]);
        }
    return picture;
}

fs::path BuiltGraph() {
    return fs::path(MARROWDALE_BUILD_DIR) / "Graph";
}

// ---- The archive the normal build made ----

TEST(BuiltGraphics, ArchiveHoldsTheCatalogueInColourMappedTgas) {
    Archive archive = LoadArchive(BuiltGraph());
    ASSERT_EQ(archive.records.size(), std::size(Expected) + 1);
    for (size_t i = 0; i < std::size(Expected); ++i) {
        const CatalogueImage& image = Expected[i];
        SCOPED_TRACE(image.name);
        EXPECT_EQ(archive.records[i].name, image.name);
        std::vector<uint8_t> tga = Entry(archive, image.name);
        // The game reads exactly width x height + 788 bytes from the entry's start.
        ASSERT_EQ(tga.size(), static_cast<size_t>(image.width) * image.height + 788);
        EXPECT_EQ(tga[0], 0);  // no ID field
        EXPECT_EQ(tga[1], 1);  // colour map present
        EXPECT_EQ(tga[2], 1);  // uncompressed, colour-mapped
        EXPECT_EQ(Little16(tga, 3), 0);
        EXPECT_EQ(Little16(tga, 5), 256);
        EXPECT_EQ(tga[7], 24);
        EXPECT_EQ(Little16(tga, 12), image.width);
        EXPECT_EQ(Little16(tga, 14), image.height);
        EXPECT_EQ(tga[16], 8);
        EXPECT_EQ(tga[17] & 0x30, 0);  // origin lower left: rows stored bottom-up
    }
    EXPECT_EQ(archive.records.back().name, "antique.fnt");
    EXPECT_EQ(Entry(archive, "antique.fnt").size(), 4096u);
}

TEST(BuiltGraphics, SpritesHaveSeeThroughGroundAndArt) {
    Archive archive = LoadArchive(BuiltGraph());
    for (const CatalogueImage& image : Expected) {
        std::string name = image.name;
        if (image.width > 36 || name == "exit.tga" || name == "speaker.tga") continue;
        SCOPED_TRACE(name);
        Picture picture = Decode(Entry(archive, name));
        size_t keyed = std::count(picture.pixels.begin(), picture.pixels.end(), Green);
        EXPECT_GT(keyed, picture.pixels.size() / 8);  // drawn over the garden, not as a block
        EXPECT_GT(picture.pixels.size() - keyed, picture.pixels.size() / 8);
        EXPECT_EQ(picture.At(0, 0), Green);
    }
}

TEST(BuiltGraphics, IconsMatchThePlainCornersTheyAreDrawnOver) {
    Archive archive = LoadArchive(BuiltGraph());
    Picture exitIcon = Decode(Entry(archive, "exit.tga"));
    Picture speaker = Decode(Entry(archive, "speaker.tga"));
    ASSERT_EQ(exitIcon.width, 16);
    ASSERT_EQ(speaker.width, 16);
    uint32_t ground = speaker.At(0, 0);
    EXPECT_EQ(exitIcon.At(0, 0), ground);
    EXPECT_EQ(exitIcon.At(15, 15), ground);
    for (const char* name : {"front.tga", "main.tga"}) {
        SCOPED_TRACE(name);
        Picture picture = Decode(Entry(archive, name));
        ASSERT_EQ(picture.width, 240);
        for (int y = 0; y < 22; ++y) {
            for (int x = 0; x < 17; ++x) ASSERT_EQ(picture.At(x, y), ground) << x << "," << y;
            for (int x = 225; x < 240; ++x) ASSERT_EQ(picture.At(x, y), ground) << x << "," << y;
        }
    }
}

// Mean colour of a block: paths are sandy (more red than green), grass is green.
bool MostlyRedderThanGreen(const Picture& picture, int left, int top, int width, int height) {
    long red = 0, green = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) {
            red += picture.At(x, y) >> 16 & 0xFF;
            green += picture.At(x, y) >> 8 & 0xFF;
        }
    return red > green;
}

TEST(BuiltGraphics, GardenPathsLieWhereTheDogWalks) {
    Picture garden = Decode(Entry(LoadArchive(BuiltGraph()), "main.tga"));
    ASSERT_EQ(garden.height, 320);
    for (int row : {32, 96, 160, 224}) {
        SCOPED_TRACE(row);
        EXPECT_TRUE(MostlyRedderThanGreen(garden, 0, row, 72, 32));    // path left of the plots
        EXPECT_TRUE(MostlyRedderThanGreen(garden, 176, row, 64, 32));  // path right of them
        EXPECT_TRUE(MostlyRedderThanGreen(garden, 72, row, 32, 32));   // left plot (soil)
        EXPECT_TRUE(MostlyRedderThanGreen(garden, 144, row, 32, 32));  // right plot
        EXPECT_FALSE(MostlyRedderThanGreen(garden, 0, row + 33, 100, 30));  // grass between rows
        EXPECT_FALSE(MostlyRedderThanGreen(garden, 142, row + 33, 98, 30));
    }
    for (int row = 64; row < 224; row += 64)
        EXPECT_TRUE(MostlyRedderThanGreen(garden, 108, row, 32, 32));
    EXPECT_FALSE(MostlyRedderThanGreen(garden, 108, 258, 32, 28));  // the column ends at row 255
}

TEST(BuiltGraphics, FontSheetHasEveryGlyphOnTheRedKey) {
    Picture sheet = Decode(Entry(LoadArchive(BuiltGraph()), "font.tga"));
    ASSERT_EQ(sheet.width, 256);
    ASSERT_EQ(sheet.height, 120);
    const std::string order = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234567890.,'!()* ";
    for (int cell = 0; cell < 48; ++cell) {
        SCOPED_TRACE(cell);
        int drawn = 0;
        int left = cell % 16 * 16, top = cell / 16 * 40;
        for (int y = top; y < top + 40; ++y)
            for (int x = left; x < left + 16; ++x) drawn += sheet.At(x, y) != Red;
        if (cell < 44)
            EXPECT_GT(drawn, 40) << "'" << order[cell] << "' has no glyph";
        else
            EXPECT_EQ(drawn, 0);  // the space and the three unused cells are all key
        // Read at every second row the glyph must keep the same shape as the full cell.
        for (int y = top; y < top + 40; y += 2)
            for (int x = left; x < left + 16; ++x)
                EXPECT_EQ(sheet.At(x, y) == Red, sheet.At(x, y + 1) == Red) << x << "," << y;
    }
}

TEST(BuiltGraphics, SmallFontCoversThePrintableCodes) {
    std::vector<uint8_t> font = Entry(LoadArchive(BuiltGraph()), "antique.fnt");
    ASSERT_EQ(font.size(), 4096u);
    auto glyphBits = [&](int code) {
        int bits = 0;
        for (int row = 0; row < 16; ++row) bits += __builtin_popcount(font[code * 16 + row]);
        return bits;
    };
    EXPECT_EQ(glyphBits(' '), 0);
    for (int code = 33; code <= 126; ++code) EXPECT_GT(glyphBits(code), 1) << "code " << code;
    for (int code = 0; code < 32; ++code) EXPECT_EQ(glyphBits(code), 0);
    // Letters keep their rightmost column clear so a word drawn twice for bold stays apart.
    for (int code = 'A'; code <= 'Z'; ++code)
        for (int row = 0; row < 16; ++row) EXPECT_EQ(font[code * 16 + row] & 1, 0) << char(code);
}

TEST(BuiltGraphics, WindowIconsAreSixteenColourBitmaps) {
    for (auto [name, size] : {std::pair{"icon32.bmp", 32}, std::pair{"icon16.bmp", 16}}) {
        SCOPED_TRACE(name);
        std::string bmp = ReadText(BuiltGraph() / name);
        ASSERT_GT(bmp.size(), 118u);
        auto u = [&](size_t at) { return static_cast<uint8_t>(bmp[at]); };
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        EXPECT_EQ(u(18) | u(19) << 8, size);  // width
        EXPECT_EQ(u(22) | u(23) << 8, size);  // height, rows bottom-up
        EXPECT_EQ(u(28), 4);                  // bits per pixel
        EXPECT_EQ(u(30), 0);                  // no compression
        EXPECT_EQ(bmp.size(), 118u + static_cast<size_t>(size) * ((size / 2 + 3) / 4 * 4));
    }
}

// ---- The builder itself ----

class Builder : public ::testing::Test {
protected:
    void SetUp() override { dir = ScratchFolder("content"); }
    void TearDown() override { fs::remove_all(dir); }

    ToolRun Build(const fs::path& content, const fs::path& out) {
        return RunTool("marrowdale-content",
                       "--content " + content.string() + " --out " + out.string(), dir);
    }

    // A copy of the real content to spoil.
    fs::path CopyContent() {
        fs::path copy = dir / "content";
        fs::copy(fs::path(MARROWDALE_SOURCE_DIR) / "content", copy, fs::copy_options::recursive);
        return copy;
    }

    // Replaces line `number` (from 1) of a file.
    void ReplaceLine(const fs::path& file, int number, const std::string& text) {
        std::ifstream in(file);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ASSERT_LE(number, static_cast<int>(lines.size()));
        lines[number - 1] = text;
        std::ofstream out(file, std::ios::trunc);
        for (const std::string& line : lines) out << line << "\n";
    }

    // The line number (from 1) of the first line that starts with `prefix`.
    int LineOf(const fs::path& file, const std::string& prefix) {
        std::ifstream in(file);
        int number = 0;
        for (std::string line; std::getline(in, line);) {
            ++number;
            if (line.rfind(prefix, 0) == 0) return number;
        }
        ADD_FAILURE() << prefix << " not in " << file;
        return 1;
    }

    void ExpectOneLineError(const fs::path& content, const std::string& where) {
        ToolRun run = Build(content, dir / "out");
        EXPECT_NE(run.status, 0);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(where), std::string::npos) << run.err;
    }

    fs::path dir;
};

TEST_F(Builder, SameContentGivesTheSameBytes) {
    fs::path content = fs::path(MARROWDALE_SOURCE_DIR) / "content";
    ToolRun first = Build(content, dir / "a");
    ASSERT_EQ(first.status, 0) << first.err;
    ToolRun second = Build(content, dir / "b");
    ASSERT_EQ(second.status, 0) << second.err;
    for (const char* name : {"marrowdale.idx", "marrowdale.dat", "icon32.bmp", "icon16.bmp"}) {
        std::string a = ReadText(dir / "a/Graph" / name), b = ReadText(dir / "b/Graph" / name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == b) << name << " differs between two builds";
    }
}

TEST_F(Builder, BadContentNamesFileAndLine) {
    fs::path content = CopyContent();
    fs::path dog = content / "graphics/art/dog.txt";
    int row = LineOf(dog, "image dogup1.tga") + 5;
    ReplaceLine(dog, row, "....");
    ExpectOneLineError(content, "dog.txt:" + std::to_string(row) + ":");
}

TEST_F(Builder, UnknownSceneCommandNamesFileAndLine) {
    fs::path content = CopyContent();
    fs::path scene = content / "graphics/scenes/high.txt";
    int line = LineOf(scene, "gradient");
    ReplaceLine(scene, line, "sprinkle 0 0 10 10 top");
    ExpectOneLineError(content, "high.txt:" + std::to_string(line) + ": unknown drawing command");
}

TEST_F(Builder, WrongSizeForTheCatalogueIsRefused) {
    fs::path content = CopyContent();
    fs::path scene = content / "graphics/scenes/high.txt";
    int line = LineOf(scene, "scene high.tga");
    ReplaceLine(scene, line, "scene high.tga 240 319");
    ExpectOneLineError(content, "high.txt:" + std::to_string(line) + ": 'high.tga' is 240 x 319");
}

TEST_F(Builder, RichPicturesAreReducedTo256ColoursKeepingTheKeyExact) {
    fs::path content = CopyContent();
    std::ofstream(content / "graphics/scenes/high.txt", std::ios::trunc)
        << "scene high.tga 240 320\n"
           "gradient 0 0 120 320 #000000 #FFFFFF\n"
           "gradient 120 0 120 320 #FF2000 #0040FF\n"
           "fill 100 100 40 40 #00FF00\n";
    ToolRun run = Build(content, dir / "out");
    ASSERT_EQ(run.status, 0) << run.err;
    Picture high = Decode(Entry(LoadArchive(dir / "out/Graph"), "high.tga"));
    ASSERT_EQ(high.height, 320);
    EXPECT_EQ(high.At(120, 120), Green);
    EXPECT_EQ(std::count(high.pixels.begin(), high.pixels.end(), Green), 40 * 40);  // no stray key
    for (int y = 0; y < 320; y += 7) {
        int grey = y * 255 / 319;
        uint32_t pixel = high.At(10, y);
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(static_cast<int>(pixel >> shift & 0xFF), grey, 12) << y;
    }
}

}  // namespace

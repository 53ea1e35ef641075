// TGA decoding: row order, colour conversion of both layouts, bytes read, short entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assets/assets.h"
#include "platform/standin.h"
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

class Tga : public testing::Test {
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
    void OpenFiles(const ArchiveFiles& files) {
        files.Write(folder);
        OpenArchive(Wide(folder + "marrowdale.idx").c_str(),
                    Wide(folder + "marrowdale.dat").c_str());
    }
    std::string folder;
};

// Colours as 0xRRGGBB.
const std::vector<uint32_t> Colours = {0x000000, 0x112233, 0x445566, 0x778899,
                                       0xAABBCC, 0xDDEEFF, 0x102030, 0x405060};

uint16_t Rgb565(uint32_t rgb) {
    return static_cast<uint16_t>(((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 |
                                 ((rgb >> 3) & 31));
}

TEST_F(Tga, ColourMappedRowsAreStoredBottomFirst) {
    ArchiveFiles files;
    files.Add("rows.tga", ColourMappedTga(3, 2, Colours, {1, 2, 3, 4, 5, 6}));
    OpenFiles(files);

    std::vector<uint16_t> image(6, 0xABCD);
    ASSERT_EQ(LoadTgaImage("rows.tga", 3, 2, image.data(), 1), 1);
    std::vector<uint16_t> expected = {Rgb565(Colours[4]), Rgb565(Colours[5]), Rgb565(Colours[6]),
                                      Rgb565(Colours[1]), Rgb565(Colours[2]), Rgb565(Colours[3])};
    EXPECT_EQ(image, expected);
}

TEST_F(Tga, ColourMapEntriesDropTheirLowBits) {
    // (blue, green, red) as 0xRRGGBB.
    std::vector<uint32_t> colours = {0x00FF00, 0xF80307, 0xFFFFFF, 0x302010, 0x070300};
    ArchiveFiles files;
    files.Add("keys.tga", ColourMappedTga(5, 1, colours, {0, 1, 2, 3, 4}));
    OpenFiles(files);

    std::vector<uint16_t> image(5);
    ASSERT_EQ(LoadTgaImage("keys.tga", 5, 1, image.data(), 1), 1);
    EXPECT_EQ(image, (std::vector<uint16_t>{0x07E0, 0xF800, 0xFFFF, 0x3102, 0x0000}));
}

TEST_F(Tga, TrueColourRowsAndChannels) {
    ArchiveFiles files;
    // Bottom row, then top row.
    files.Add("true.tga", TrueColourTga(2, 2, {0x7FFF, 0x8000, 0x0421, 0x7C1F}));
    OpenFiles(files);

    std::vector<uint16_t> image(4);
    ASSERT_EQ(LoadTgaImage("true.tga", 2, 2, image.data(), 0), 1);
    EXPECT_EQ(image, (std::vector<uint16_t>{0x0841, 0xF81F, 0xFFDF, 0x0000}));
    EXPECT_EQ(Position(ArchiveData), (2u * 2 + 10) * 2);
}

TEST_F(Tga, OnePixelReadsItsEntryAndTwoPaddingBytes) {
    ArchiveFiles files;
    files.Add("lead", Bytes(5, 0xEE));
    files.Add("dot.tga", ColourMappedTga(1, 1, Colours, {7}));
    OpenFiles(files);

    uint16_t pixel = 0;
    ASSERT_EQ(LoadTgaImage("dot.tga", 1, 1, &pixel, 1), 1);
    EXPECT_EQ(pixel, Rgb565(Colours[7]));
    EXPECT_EQ(Position(ArchiveData), 5u + 789u);
}

TEST_F(Tga, TheGamesSizesReadTheirWholeEntries) {
    ArchiveFiles files;
    files.Add("screen.tga", ColourMappedTga(240, 320, Colours, Bytes(240 * 320, 3)));
    files.Add("font.tga", ColourMappedTga(256, 120, Colours, Bytes(256 * 120, 5)));
    OpenFiles(files);

    std::vector<uint16_t> screen(240 * 320), sheet(256 * 120);
    testing::internal::CaptureStderr();
    ASSERT_EQ(LoadTgaImage("screen.tga", 240, 320, screen.data(), 1), 1);
    EXPECT_EQ(Position(ArchiveData), 77588u);
    ASSERT_EQ(LoadTgaImage("font.tga", 256, 120, sheet.data(), 1), 1);
    EXPECT_EQ(Position(ArchiveData), 77588u + 31508u);
    EXPECT_TRUE(StderrLines().empty());
    EXPECT_EQ(screen.front(), Rgb565(Colours[3]));
    EXPECT_EQ(screen.back(), Rgb565(Colours[3]));
    EXPECT_EQ(sheet.back(), Rgb565(Colours[5]));
}

TEST_F(Tga, AMissingEntryLeavesTheImageUntouched) {
    ArchiveFiles files;
    files.Add("other.tga", ColourMappedTga(1, 1, Colours, {1}));
    OpenFiles(files);

    std::vector<uint16_t> image(4, 0xABCD);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadTgaImage("absent.tga", 2, 2, image.data(), 1), 0);
    EXPECT_EQ(StderrLines().size(), 1u);
    EXPECT_EQ(image, std::vector<uint16_t>(4, 0xABCD));
}

// The bytes a cut entry doesn't deliver decode as zero (colour-map index 0), the same every
// time, whatever the memory held before.
TEST_F(Tga, AnEntryCutShortDecodesItsMissingBytesAsZero) {
    std::vector<uint32_t> colours = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
    Bytes whole = ColourMappedTga(4, 2, colours, {2, 2, 2, 2, 3, 3, 3, 3});
    // The bottom row and one byte of the top row.
    Bytes cut(whole.begin(), whole.begin() + 786 + 4 + 1);
    ArchiveFiles files;
    files.Add("noise.tga", ColourMappedTga(64, 64, {0xFFFFFF, 0xFFFFFF}, Bytes(64 * 64, 1)));
    files.Add("cut.tga", cut);
    OpenFiles(files);

    uint16_t c0 = Rgb565(colours[0]), c2 = Rgb565(colours[2]), c3 = Rgb565(colours[3]);
    std::vector<uint16_t> expected = {c3, c0, c0, c0, c2, c2, c2, c2};
    for (int round = 0; round < 2; ++round) {
        std::vector<uint16_t> noise(64 * 64);
        ASSERT_EQ(LoadTgaImage("noise.tga", 64, 64, noise.data(), 1), 1);
        std::vector<uint16_t> image(8, 0xABCD);
        testing::internal::CaptureStderr();
        ASSERT_EQ(LoadTgaImage("cut.tga", 4, 2, image.data(), 1), 1);
        auto lines = StderrLines();
        EXPECT_EQ(image, expected);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("\"cut.tga\""), std::string::npos) << lines[0];
    }
}

}  // namespace

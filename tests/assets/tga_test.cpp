// TGA decoding: row order, colour conversion of both layouts, bytes read, short entries.
#include <gtest/gtest.h>

#include <vector>

#include "assets/assets.h"
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

class Tga : public ArchiveTest {};

using Pixels = std::vector<uint16_t>;

// Colours as 0xRRGGBB.
const std::vector<uint32_t> Colours = {0x102030, 0x112233, 0x445566, 0x778899,
                                       0xAABBCC, 0xDDEEFF, 0x102030, 0x405060};

uint16_t Rgb565(uint32_t rgb) {
    return static_cast<uint16_t>(((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 |
                                 ((rgb >> 3) & 31));
}

TEST_F(Tga, ColourMappedRowsAreStoredBottomFirstAndColoursDropTheirLowBits) {
    ArchiveFiles files;
    files.Add("rows.tga", ColourMappedTga(Colours, {1, 2, 3, 4, 5, 6}));
    files.Add("keys.tga", ColourMappedTga({0x00FF00, 0xF80307, 0xFFFFFF, 0x302010}, {0, 1, 2, 3}));
    OpenFiles(files);

    Pixels rows(6, 0xABCD), keys(4);
    ASSERT_EQ(LoadTgaImage("rows.tga", 3, 2, rows.data(), 1), 1);
    EXPECT_EQ(rows, (Pixels{Rgb565(Colours[4]), Rgb565(Colours[5]), Rgb565(Colours[6]),
                            Rgb565(Colours[1]), Rgb565(Colours[2]), Rgb565(Colours[3])}));
    ASSERT_EQ(LoadTgaImage("keys.tga", 4, 1, keys.data(), 1), 1);
    EXPECT_EQ(keys, (Pixels{0x07E0, 0xF800, 0xFFFF, 0x3102}));
}

TEST_F(Tga, TrueColourRowsAndChannels) {
    ArchiveFiles files;
    files.Add("true.tga", TrueColourTga({0x7FFF, 0x8000, 0x0421, 0x7C1F}));  // bottom row first
    OpenFiles(files);

    Pixels image(4);
    ASSERT_EQ(LoadTgaImage("true.tga", 2, 2, image.data(), 0), 1);
    EXPECT_EQ(image, (Pixels{0x0841, 0xF81F, 0xFFDF, 0x0000}));
    EXPECT_EQ(Position(ArchiveData), (2u * 2 + 10) * 2);
}

TEST_F(Tga, EachSizeReadsItsPixelsAndTwoPaddingBytes) {
    ArchiveFiles files;
    files.Add("lead", Bytes(5, 0xEE));
    files.Add("dot.tga", ColourMappedTga(Colours, {7}));
    files.Add("screen.tga", ColourMappedTga(Colours, Bytes(240 * 320, 3)));
    files.Add("font.tga", ColourMappedTga(Colours, Bytes(256 * 120, 5)));
    OpenFiles(files);

    uint16_t dot = 0;
    Pixels screen(240 * 320), sheet(256 * 120);
    testing::internal::CaptureStderr();
    ASSERT_EQ(LoadTgaImage("dot.tga", 1, 1, &dot, 1), 1);
    EXPECT_EQ(Position(ArchiveData), 5u + 789u);
    ASSERT_EQ(LoadTgaImage("screen.tga", 240, 320, screen.data(), 1), 1);
    EXPECT_EQ(Position(ArchiveData), 5u + 789u + 77588u);
    ASSERT_EQ(LoadTgaImage("font.tga", 256, 120, sheet.data(), 1), 1);
    EXPECT_EQ(Position(ArchiveData), 5u + 789u + 77588u + 31508u);
    EXPECT_TRUE(StderrLines().empty());
    EXPECT_EQ(dot, Rgb565(Colours[7]));
    EXPECT_EQ(screen.back(), Rgb565(Colours[3]));
}

TEST_F(Tga, AMissingEntryLeavesTheImageUntouched) {
    ArchiveFiles files;
    files.Add("other.tga", ColourMappedTga(Colours, {1}));
    OpenFiles(files);

    Pixels image(4, 0xABCD);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadTgaImage("absent.tga", 2, 2, image.data(), 1), 0);
    EXPECT_EQ(StderrLines().size(), 1u);
    EXPECT_EQ(image, Pixels(4, 0xABCD));
}

// The bytes a cut entry doesn't deliver decode as zero (colour-map index 0), the same every
// time, whatever the memory held before.
TEST_F(Tga, AnEntryCutShortDecodesItsMissingBytesAsZero) {
    Bytes whole = ColourMappedTga(Colours, {2, 2, 2, 2, 3, 3, 3, 3});
    ArchiveFiles files;
    files.Add("noise.tga", ColourMappedTga({0xFFFFFF, 0xFFFFFF}, Bytes(64 * 64, 1)));
    files.Add("cut.tga", Bytes(whole.begin(), whole.begin() + 786 + 4 + 1));
    OpenFiles(files);

    uint16_t c0 = Rgb565(Colours[0]), c2 = Rgb565(Colours[2]), c3 = Rgb565(Colours[3]);
    for (int round = 0; round < 2; ++round) {
        Pixels noise(64 * 64), image(8, 0xABCD);
        ASSERT_EQ(LoadTgaImage("noise.tga", 64, 64, noise.data(), 1), 1);
        testing::internal::CaptureStderr();
        ASSERT_EQ(LoadTgaImage("cut.tga", 4, 2, image.data(), 1), 1);
        auto lines = StderrLines();
        EXPECT_EQ(image, (Pixels{c3, c0, c0, c0, c2, c2, c2, c2}));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("\"cut.tga\""), std::string::npos) << lines[0];
    }
}

}  // namespace

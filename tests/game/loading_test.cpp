// The game's loading: every image of the built archive loaded through the headless host, and
// missing data.
#include "audio/audio.h"
#include "tests/assets/fixture.h"
#include "tests/support/support.h"
#include "tools/common/archive.h"

using namespace assettest;

namespace {

const struct CatalogueImage {
    const char* name;
    int width, height;
    uint16_t** buffer;
} Images[] = {
    {"exit.tga", 16, 16, &ExitIcon},          {"speaker.tga", 16, 16, &SpeakerIcon},
    {"quintlogo.tga", 200, 42, &LogoImage},   {"front.tga", 240, 320, &FrontImage},
    {"about.tga", 240, 320, &AboutImage},     {"help.tga", 240, 320, &HelpImage},
    {"main.tga", 240, 320, &MainImage},       {"high.tga", 240, 320, &HighImage},
    {"dogup1.tga", 32, 32, &DogImages[0]},    {"dogup2.tga", 32, 32, &DogImages[1]},
    {"dogdown1.tga", 32, 32, &DogImages[2]},  {"dogdown2.tga", 32, 32, &DogImages[3]},
    {"dogleft1.tga", 32, 32, &DogImages[4]},  {"dogleft2.tga", 32, 32, &DogImages[5]},
    {"dogright1.tga", 32, 32, &DogImages[6]}, {"dogright2.tga", 32, 32, &DogImages[7]},
    {"fume0.tga", 32, 32, &FumeImages[0]},    {"fume1.tga", 32, 32, &FumeImages[1]},
    {"fume2.tga", 32, 32, &FumeImages[2]},    {"plant.tga", 16, 16, &PlantImage},
    {"s0.tga", 32, 32, &FruitImages[0]},      {"s1.tga", 32, 32, &FruitImages[1]},
    {"s2.tga", 32, 32, &FruitImages[2]},      {"s3.tga", 32, 32, &FruitImages[3]},
    {"s4.tga", 32, 32, &FruitImages[4]},      {"s5.tga", 32, 32, &FruitImages[5]},
    {"s6.tga", 32, 32, &FruitImages[6]},      {"s7.tga", 32, 32, &FruitImages[7]},
    {"ssmall.tga", 16, 16, &SmallFruitImage}, {"smedium.tga", 24, 24, &MediumFruitImage},
    {"spider1.tga", 36, 24, &SpiderImages[0]}, {"spider2.tga", 36, 24, &SpiderImages[1]},
    {"spider3.tga", 36, 24, &SpiderImages[2]}, {"spider4.tga", 36, 24, &SpiderImages[3]},
    {"spider5.tga", 36, 24, &SpiderImages[4]}, {"spider6.tga", 36, 24, &SpiderImages[5]},
    {"font.tga", 256, 120, &FontSheet},
};

// The game's folders, a back buffer, and no sound device.
class Loading : public GameFolderTest {
protected:
    void Start(const std::string& gameFolder) {
        AllocateBackBuffer();
        SetAudioDriver("nosound");
        StartIn(gameFolder);
    }
    void TearDown() override {
        if (ExitIcon) ReleaseAllAssets();
        ReleaseBackBuffer();
        GameFolderTest::TearDown();
    }
};

// The built archive holds the catalogue in its order, each entry a colour-mapped TGA of the
// catalogue's size; decoded here without the game's code, it is what the game's buffer holds.
TEST_F(Loading, EveryImageIsWhatItsBuiltEntryHoldsTopRowFirst) {
    Start(MakeGameFolder());
    StderrOf(LoadAllAssets);
    std::string graph = std::string(MARROWDALE_BUILD_DIR) + "/Graph/", error;
    Bytes data = ReadBytes(graph + "marrowdale.dat");
    std::vector<ArchiveRecord> records;
    ASSERT_TRUE(ParseArchiveIndex(ReadBytes(graph + "marrowdale.idx"), records, error)) << error;
    ASSERT_EQ(records.size(), std::size(Images) + 1);
    for (size_t i = 0; i < std::size(Images); ++i) {
        const CatalogueImage& image = Images[i];
        const ArchiveRecord& record = records[i];
        SCOPED_TRACE(image.name);
        ASSERT_EQ(record.name, image.name);
        ASSERT_TRUE(record.length == uint32_t(image.width * image.height + 788) &&
                    record.offset + record.length <= data.size()) << record.length;
        const uint8_t* tga = data.data() + record.offset;
        // Colour map of 256 24-bit entries, 8-bit pixels, bottom row first.
        EXPECT_EQ(Bytes(tga, tga + 12), (Bytes{0, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0}));
        EXPECT_TRUE(tga[16] == 8 && tga[17] == 0 && tga[12] + 256 * tga[13] == image.width);
        EXPECT_EQ(tga[14] + 256 * tga[15], image.height);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                int stored = 786 + (image.height - 1 - y) * image.width + x;
                const uint8_t* bgr = tga + 18 + 3 * tga[stored];
                ASSERT_EQ((*image.buffer)[y * image.width + x],
                          (bgr[2] >> 3) << 11 | (bgr[1] >> 2) << 5 | bgr[0] >> 3) << x << "," << y;
            }
        }
    }
    ASSERT_TRUE(records.back().name == "antique.fnt" && records.back().length == 4096u);
    EXPECT_TRUE(std::equal(SmallFont, SmallFont + SmallFontBytes, &data.at(records.back().offset)));
}

TEST_F(Loading, WithoutItsDataTheGameCarriesOnWithBlackPicturesAndSaysWhereItLooked) {
    Start(MakeTempFolder());
    int archiveLines = 0;
    for (const std::string& line : StderrOf(LoadAllAssets)) {
        EXPECT_FALSE(Has(line, ".tga")) << line;
        archiveLines += Has(line, folder + "Graph/marrowdale.idx");
    }
    EXPECT_EQ(archiveLines, 1);
    for (const CatalogueImage& image : Images) {
        ASSERT_NE(*image.buffer, nullptr) << image.name;
        uint16_t blank = image.buffer == &FontSheet ? FontKey : 0;  // missing text, not boxes
        EXPECT_EQ(std::count(*image.buffer, *image.buffer + image.width * image.height, blank),
                  image.width * image.height) << image.name;
    }
    EXPECT_TRUE(std::all_of(HighScoreTable, HighScoreTable + 8, IsDefault));
}

}  // namespace

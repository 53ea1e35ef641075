// The game's loading: every image of the built archive loaded through the headless host, and
// missing data.
#include "audio/audio.h"
#include "tests/assets/fixture.h"
#include "tests/support/support.h"

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

// Each buffer holds the built entry of its name at the size the catalogue gives it. How entries
// decode shows in the golden games' frames.
TEST_F(Loading, EveryImageIsTheBuiltEntryOfItsName) {
    Start(MakeGameFolder());
    StderrOf(LoadAllAssets);
    for (const CatalogueImage& image : Images) {
        SCOPED_TRACE(image.name);
        std::vector<uint16_t> entry(static_cast<size_t>(image.width * image.height));
        ASSERT_EQ(LoadTgaImage(image.name, image.width, image.height, entry.data(), 1), 1);
        EXPECT_TRUE(std::equal(entry.begin(), entry.end(), *image.buffer));
    }
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

// Drawn play frames: whole frames against a picture composed in the expected order, and the
// covering order of dog, spiders, fumes, plants and score.
#include <cstdio>
#include <string>

#include "tests/play/play_fixture.h"
#include "tests/support/support.h"

namespace {

constexpr int Pixels = ScreenWidth * ScreenHeight;

// A picture composed from the same images in the order the frame must have.
class Picture {
public:
    explicit Picture(const uint16_t* background) : pixels(background, background + Pixels) {}
    void Put(const uint16_t* image, int w, int h, int x, int y) {
        DrawImage(pixels.data(), image, w, h, x, y, 1);
    }
    void Text(const char* text, int x, int y) { DrawText(text, x, y, pixels.data()); }
    uint64_t Checksum() const { return FrameChecksum(pixels.data(), Pixels); }

private:
    std::vector<uint16_t> pixels;
};

class PlayDrawTest : public PlayTest {
protected:
    // Plants as the row shows them, then the score in eight places.
    static void PutPlantsAndScore(Picture& picture, int plants, int score) {
        const int xs[] = {0, 16, 32, 48, 64, 80};
        for (int i = 0; i < plants; ++i) picture.Put(PlantImage, 16, 16, xs[i % 6], i < 6 ? 288 : 304);
        char text[16];
        std::snprintf(text, sizeof text, "%8d", score);
        picture.Text(text, 100, 294);
    }

    void ExpectFrame(const Picture& expected, const std::string& name) {
        if (BackBufferChecksum() != expected.Checksum()) {
            ADD_FAILURE() << name << " differs; drawn frame in " << DumpBackBufferPng(name);
        }
    }

    // The pixel an image shows at (column, row) of itself.
    static uint16_t ImagePixel(const uint16_t* image, int width, int column, int row) {
        return image[row * width + column];
    }
};

TEST_F(PlayDrawTest, TheFirstFrameOfAGameShowsTheDogAloneTwelvePlantsAndScoreZero) {
    std::fill(BackBuffer, BackBuffer + Pixels, uint16_t{0x1234});
    DrawPlayField();
    Picture expected(MainImage);
    expected.Put(DogImages[0], 32, 32, 144, 160);
    PutPlantsAndScore(expected, 12, 0);
    ExpectFrame(expected, "play-first-frame");
}

TEST_F(PlayDrawTest, ABusyFieldDrawsEveryActorByStateAndFrame) {
    PutFruit(0, FruitSmall);
    PutFruit(1, FruitMedium);
    PutFruit(2, FruitRipe);
    PutFruit(4, FruitStolen);
    PlayField.Fruits[4].frame = 3;
    PutFruit(5, FruitPicked);
    PlayField.Fruits[5] = Actor{170, 250, 6, FruitPicked};
    PutFruit(7, FruitRolling);
    PlayField.Fruits[7] = Actor{230, 288, 7, FruitRolling};
    PlayField.Dog = Actor{176, 96, 7, DogRight};
    PutSpider(0, 40, SpiderApproaching, 4);
    PutSpider(5, 208, SpiderApproaching, 2);
    PutSpider(6, 272, SpiderRetreating, 5);
    PlayField.Fumes[0] = Actor{200, 96, 1, FumeRight};
    PlayField.Fumes[2] = Actor{60, 160, 2, FumeLeft};
    PlayField.Fumes[3] = Actor{300, 160, 0, FumeEmpty};
    PlayField.PlantsLeft = 7;
    PlayField.Score = 1235;
    DrawPlayField();

    Picture expected(MainImage);
    expected.Put(SmallFruitImage, 16, 16, 104, 40);
    expected.Put(MediumFruitImage, 24, 24, 100, 100);
    expected.Put(FruitImages[0], 32, 32, 96, 160);
    expected.Put(FruitImages[3], 32, 32, 192, 32);
    expected.Put(FruitImages[6], 32, 32, 170, 250);
    expected.Put(FruitImages[7], 32, 32, 230, 288);
    expected.Put(DogImages[7], 32, 32, 176, 96);
    expected.Put(SpiderImages[4], 36, 24, 40, 36);
    expected.Put(SpiderImages[2], 36, 24, 208, 100);
    expected.Put(SpiderImages[5], 36, 24, 272, 164);
    expected.Put(FumeImages[1], 32, 32, 200, 96);
    expected.Put(FumeImages[2], 32, 32, 60, 160);
    PutPlantsAndScore(expected, 7, 1235);
    ExpectFrame(expected, "play-busy-frame");
}

TEST_F(PlayDrawTest, AFinishedGameShowsNoPlants) {
    for (int plants : {0, -1}) {
        PlayField.PlantsLeft = plants;
        PlayField.Score = 40;
        DrawPlayField();
        Picture expected(MainImage);
        expected.Put(DogImages[0], 32, 32, 144, 160);
        PutPlantsAndScore(expected, 0, 40);
        ExpectFrame(expected, "play-no-plants");
    }
}

TEST_F(PlayDrawTest, SpidersCoverTheDogAndFumesCoverBoth) {
    PlayField.Dog = Actor{144, 160, 0, DogStill};  // columns 108..139, rows 160..191
    PutSpider(2, 150, SpiderApproaching, 3);        // columns 112..147, rows 164..187
    PlayField.Fumes[0] = Actor{160, 160, 0, FumeLeft};  // columns 120..151, rows 160..191
    DrawPlayField();
    // (114, 166): dog and spider only; (126, 170): all three.
    uint16_t spider = ImagePixel(SpiderImages[3], 36, 114 - 112, 166 - 164);
    ASSERT_NE(spider, ImageKey);
    EXPECT_EQ(Pixel(114, 166), spider);
    uint16_t fume = ImagePixel(FumeImages[0], 32, 126 - 120, 170 - 160);
    ASSERT_NE(fume, ImageKey);
    EXPECT_EQ(Pixel(126, 170), fume);
    uint16_t dog = ImagePixel(DogImages[0], 32, 109 - 108, 161 - 160);
    ASSERT_NE(dog, ImageKey);
    EXPECT_EQ(Pixel(109, 161), dog);
}

TEST_F(PlayDrawTest, PlantsAndScoreCoverARollingFruit) {
    PutFruit(3, FruitRolling);
    PlayField.Fruits[3] = Actor{2, 288, 0, FruitRolling};  // columns 1..32, rows 288..319
    PutFruit(7, FruitRolling);
    PlayField.Fruits[7] = Actor{283, 288, 0, FruitRolling};  // column 212 on
    DrawPlayField();
    uint16_t plant = ImagePixel(PlantImage, 16, 5, 1);
    ASSERT_NE(plant, ImageKey);
    EXPECT_EQ(Pixel(5, 289), plant);
    // The score's last digit, "0", is at column 212 (seven spaces before it).
    EXPECT_EQ(Pixel(212, 294), FontSheet[1 * 16]) << "the digit covers the fruit";
    EXPECT_EQ(Pixel(196, 294), FontSheet[0]) << "the seventh place holds a space";
}

}  // namespace

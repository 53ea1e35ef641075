// Asset catalogue: loading every image through the headless host, missing data, and release.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "assets/assets.h"
#include "audio/audio.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "platform/gx.h"
#include "platform/standin.h"
#include "tests/assets/fixture.h"
#include "tests/support/support.h"

using namespace assettest;
namespace fs = std::filesystem;

namespace {

struct CatalogueEntry {
    const char* name;
    int width;
    int height;
    uint16_t** buffer;
};

const CatalogueEntry Images[] = {
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
};

// An image straight from the built archive files, decoded here without the game's code.
std::vector<uint16_t> DecodeBuilt(const Bytes& index, const Bytes& data, const std::string& name,
                                  int width, int height) {
    for (size_t r = 0; r + 28 <= index.size(); r += 28) {
        if (std::string(reinterpret_cast<const char*>(&index[r])) != name) continue;
        size_t at = index[r + 20] | index[r + 21] << 8 | index[r + 22] << 16 |
                    static_cast<size_t>(index[r + 23]) << 24;
        std::vector<uint16_t> image(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t k = data.at(at + 786 + static_cast<size_t>(height - 1 - y) * width + x);
                const uint8_t* bgr = &data.at(at + 18 + 3 * k);
                image[y * width + x] =
                    static_cast<uint16_t>((bgr[2] >> 3) << 11 | (bgr[1] >> 2) << 5 | bgr[0] >> 3);
            }
        }
        return image;
    }
    return {};
}

bool IsDefaultTable() {
    for (const HighScoreEntry& entry : HighScoreTable) {
        if (entry.score != 0 || std::memcmp(entry.name, "QUINTAVEX", 10) != 0) return false;
    }
    return true;
}

struct LoadingWatch {
    int passes = 0;
    bool imagesAllocated = false;
    std::vector<uint32_t> frame = std::vector<uint32_t>(ScreenWidth * ScreenHeight);
};

void WatchLoading(int, void* context) {
    auto* watch = static_cast<LoadingWatch*>(context);
    ++watch->passes;
    watch->imagesAllocated = ExitIcon != nullptr;
    HeadlessDecodedFrame(watch->frame.data());
}

class Catalogue : public testing::Test {
protected:
    void Start(const std::string& gameFolder) {
        folder = gameFolder;
        ASSERT_FALSE(folder.empty());
        module = folder + "marrowdale";
        HeadlessOptions options;
        options.modulePath = module.c_str();
        options.passMs = 0;
        StartHeadlessHost(options);
        GXOpenDisplay(nullptr, GX_FULLSCREEN);
        DisplayFormat = {DefaultDisplayLayout.depth, DefaultDisplayLayout.xStep,
                         DefaultDisplayLayout.yStep};
        AllocateBackBuffer();
        SetAudioDriver("nosound");
        BuildDataFolders();
    }
    void TearDown() override {
        HeadlessSetPassHook(nullptr, nullptr);
        if (ExitIcon) ReleaseAllAssets();
        ReleaseBackBuffer();
        GXCloseDisplay();
        StopHeadlessHost();
        RemoveFolder(folder);
    }
    std::string folder, module;
};

TEST_F(Catalogue, LoadingShowsItsMessageOnceThenDecodesEveryImageTopRowFirst) {
    Start(MakeGameFolder());
    LoadingWatch watch;
    HeadlessSetPassHook(WatchLoading, &watch);
    testing::internal::CaptureStderr();
    LoadAllAssets();
    std::string errors = testing::internal::GetCapturedStderr();
    HeadlessSetPassHook(nullptr, nullptr);

    EXPECT_EQ(errors.find(".tga"), std::string::npos) << errors;
    EXPECT_EQ(watch.passes, 1);
    EXPECT_FALSE(watch.imagesAllocated);
    ClearBackBuffer(0);
    DrawText("LOADING....", 32, 150, BackBuffer);
    PresentFrame(true);
    std::vector<uint32_t> expected(ScreenWidth * ScreenHeight);
    HeadlessDecodedFrame(expected.data());
    EXPECT_EQ(watch.frame, expected);
    int lit = 0;
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            if (!watch.frame[y * ScreenWidth + x]) continue;
            ++lit;
            EXPECT_TRUE(x >= 32 && x <= 208 && y >= 150 && y <= 170) << x << "," << y;
        }
    }
    EXPECT_GT(lit, 11 * 20);

    Bytes index = ReadBytes(std::string(MARROWDALE_BUILD_DIR) + "/Graph/marrowdale.idx");
    Bytes data = ReadBytes(std::string(MARROWDALE_BUILD_DIR) + "/Graph/marrowdale.dat");
    for (const CatalogueEntry& image : Images) {
        auto decoded = DecodeBuilt(index, data, image.name, image.width, image.height);
        ASSERT_EQ(decoded.size(), static_cast<size_t>(image.width) * image.height) << image.name;
        ASSERT_NE(*image.buffer, nullptr) << image.name;
        EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), *image.buffer)) << image.name;
    }
    ASSERT_NE(PresentsStrip, nullptr);
}

TEST_F(Catalogue, WithoutItsDataTheGameCarriesOnWithBlackPicturesAndSaysWhereItLooked) {
    Start(MakeTempFolder());
    testing::internal::CaptureStderr();
    LoadAllAssets();
    auto lines = StderrLines();

    int archiveLines = 0;
    for (const auto& line : lines) {
        EXPECT_EQ(line.find(".tga"), std::string::npos) << line;
        if (line.find("marrowdale.idx") != std::string::npos) {
            ++archiveLines;
            EXPECT_NE(line.find(folder + "Graph/marrowdale.idx"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(archiveLines, 1);
    for (const CatalogueEntry& image : Images) {
        ASSERT_NE(*image.buffer, nullptr) << image.name;
        std::vector<uint16_t> black(static_cast<size_t>(image.width) * image.height, 0);
        EXPECT_TRUE(std::equal(black.begin(), black.end(), *image.buffer)) << image.name;
    }
    std::vector<uint8_t> strip(PresentsStripBytes, 0);
    EXPECT_EQ(std::memcmp(PresentsStrip, strip.data(), PresentsStripBytes), 0);
    EXPECT_TRUE(IsDefaultTable());
}

// The high score file is written at every shutdown, and before anything is let go: while
// the save waits on a pipe in place of its new file, every buffer is still there.
TEST_F(Catalogue, ReleaseSavesTheScoresFirstEvenWithoutANewScore) {
    Start(MakeGameFolder());
    LoadAllAssets();
    std::string newFile = folder + "highscores.dat.new";
    ASSERT_EQ(mkfifo(newFile.c_str(), 0600), 0);

    struct Seen {
        bool images = false, strip = false, font = false, archive = false;
        Bytes written;
    } seen;
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        seen.images = ExitIcon && SpiderImages[5] && HighImage;
        seen.strip = PresentsStrip != nullptr;
        seen.font = FontSheet != nullptr;
        seen.archive = ArchiveIndex != INVALID_HANDLE_VALUE;
        int fd = open(newFile.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) return;
        pollfd wait{fd, POLLIN, 0};
        uint8_t bytes[256];
        while (seen.written.size() < 128 && poll(&wait, 1, 2000) > 0) {
            ssize_t got = read(fd, bytes, sizeof bytes);
            if (got <= 0) break;
            seen.written.insert(seen.written.end(), bytes, bytes + got);
        }
        close(fd);
    });
    testing::internal::CaptureStderr();
    ReleaseAllAssets();
    reader.join();
    testing::internal::GetCapturedStderr();

    EXPECT_TRUE(seen.images && seen.strip && seen.font && seen.archive);
    auto* table = reinterpret_cast<const uint8_t*>(HighScoreTable);
    EXPECT_EQ(seen.written, Bytes(table, table + 128));
    EXPECT_EQ(ExitIcon, nullptr);
    EXPECT_EQ(PresentsStrip, nullptr);
    EXPECT_EQ(FontSheet, nullptr);

    // With the pipe gone, a plain shutdown writes the defaults read at loading.
    fs::remove(newFile);
    LoadAllAssets();
    ReleaseAllAssets();
    EXPECT_EQ(ReadBytes(folder + "highscores.dat"), Bytes(table, table + 128));
    EXPECT_TRUE(IsDefaultTable());
}

}  // namespace

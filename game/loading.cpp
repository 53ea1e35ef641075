// The game's loading: the image catalogue, fonts, high scores and audio, loaded once at start
// and released at exit.
#include <cstdio>
#include <cstdlib>

#include "shell/shell.h"
#include "assets/assets.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"

uint16_t* ExitIcon;
uint16_t* SpeakerIcon;
uint16_t* LogoImage;
uint16_t* FrontImage;
uint16_t* AboutImage;
uint16_t* HelpImage;
uint16_t* MainImage;
uint16_t* HighImage;
uint16_t* DogImages[8];
uint16_t* FumeImages[3];
uint16_t* PlantImage;
uint16_t* FruitImages[8];
uint16_t* SmallFruitImage;
uint16_t* MediumFruitImage;
uint16_t* SpiderImages[6];
uint16_t* PresentsStrip;

namespace {

struct CatalogueImage {
    const char* name;
    int32_t width;
    int32_t height;
    uint16_t** buffer;
};

// Every image, in the order it is decoded; sizes are the game's, not read from the files.
constexpr CatalogueImage Catalogue[] = {
    {"exit.tga", 16, 16, &ExitIcon},
    {"speaker.tga", 16, 16, &SpeakerIcon},
    {"quintlogo.tga", 200, 42, &LogoImage},
    {"front.tga", 240, 320, &FrontImage},
    {"about.tga", 240, 320, &AboutImage},
    {"help.tga", 240, 320, &HelpImage},
    {"main.tga", 240, 320, &MainImage},
    {"high.tga", 240, 320, &HighImage},
    {"dogup1.tga", 32, 32, &DogImages[0]},
    {"dogup2.tga", 32, 32, &DogImages[1]},
    {"dogdown1.tga", 32, 32, &DogImages[2]},
    {"dogdown2.tga", 32, 32, &DogImages[3]},
    {"dogleft1.tga", 32, 32, &DogImages[4]},
    {"dogleft2.tga", 32, 32, &DogImages[5]},
    {"dogright1.tga", 32, 32, &DogImages[6]},
    {"dogright2.tga", 32, 32, &DogImages[7]},
    {"fume0.tga", 32, 32, &FumeImages[0]},
    {"fume1.tga", 32, 32, &FumeImages[1]},
    {"fume2.tga", 32, 32, &FumeImages[2]},
    {"plant.tga", 16, 16, &PlantImage},
    {"s0.tga", 32, 32, &FruitImages[0]},
    {"s1.tga", 32, 32, &FruitImages[1]},
    {"s2.tga", 32, 32, &FruitImages[2]},
    {"s3.tga", 32, 32, &FruitImages[3]},
    {"s4.tga", 32, 32, &FruitImages[4]},
    {"s5.tga", 32, 32, &FruitImages[5]},
    {"s6.tga", 32, 32, &FruitImages[6]},
    {"s7.tga", 32, 32, &FruitImages[7]},
    {"ssmall.tga", 16, 16, &SmallFruitImage},
    {"smedium.tga", 24, 24, &MediumFruitImage},
    {"spider1.tga", 36, 24, &SpiderImages[0]},
    {"spider2.tga", 36, 24, &SpiderImages[1]},
    {"spider3.tga", 36, 24, &SpiderImages[2]},
    {"spider4.tga", 36, 24, &SpiderImages[3]},
    {"spider5.tga", 36, 24, &SpiderImages[4]},
    {"spider6.tga", 36, 24, &SpiderImages[5]},
};

// The order of release, the strip among the images.
constexpr uint16_t** ReleaseOrder[] = {
    &ExitIcon, &SpeakerIcon, &FrontImage, &AboutImage, &MainImage, &HelpImage, &LogoImage,
    &PresentsStrip, &HighImage,
    &DogImages[0], &DogImages[1], &DogImages[2], &DogImages[3],
    &DogImages[4], &DogImages[5], &DogImages[6], &DogImages[7],
    &FumeImages[0], &FumeImages[1], &FumeImages[2],
    &PlantImage,
    &FruitImages[0], &FruitImages[1], &FruitImages[2], &FruitImages[3],
    &FruitImages[4], &FruitImages[5], &FruitImages[6], &FruitImages[7],
    &SmallFruitImage, &MediumFruitImage,
    &SpiderImages[0], &SpiderImages[1], &SpiderImages[2],
    &SpiderImages[3], &SpiderImages[4], &SpiderImages[5],
};
static_assert(sizeof ReleaseOrder / sizeof ReleaseOrder[0] ==
                  sizeof Catalogue / sizeof Catalogue[0] + 1,
              "every image and the strip are released");

constexpr WCHAR IndexFileName[] = u"marrowdale.idx";
constexpr WCHAR DataFileName[] = u"marrowdale.dat";
constexpr char LoadingText[] = "LOADING....";
constexpr int32_t LoadingX = 32;
constexpr int32_t LoadingY = 150;

// Zero-filled, so an image whose entry is missing shows black. The game can't run without
// its buffers, so running out of memory here ends it with a message instead of a crash.
uint16_t* AllocateImage(size_t bytes) {
    auto* image = static_cast<uint16_t*>(std::calloc(bytes, 1));
    if (!image) {
        std::fprintf(stderr, "marrowdale: out of memory for the game's pictures\n");
        std::exit(EXIT_FAILURE);
    }
    return image;
}

void OpenGameArchive() {
    WCHAR indexPath[PathChars];
    WCHAR dataPath[PathChars];
    JoinPath(indexPath, GraphFolder, IndexFileName);
    JoinPath(dataPath, GraphFolder, DataFileName);
    OpenArchive(indexPath, dataPath);
}

void ShowLoadingMessage() {
    ClearBackBuffer(0);
    DrawText(LoadingText, LoadingX, LoadingY, DrawTarget);
    PresentFrame(true);
}

// libmikmod takes the folder in this platform's narrow encoding, UTF-8. Kept for the whole
// run, in case the audio layer holds on to it.
void StartAudio() {
    static char soundFolder[NarrowPathBytes];
    NarrowPath(SoundFolder, soundFolder, NarrowPathBytes);
    InitAudio(soundFolder);
}

// Lets the desktop's messages through between the loading's steps: whether a quit was asked.
bool QuitAskedWhileLoading() {
    PumpMessages();
    return CloseRequests > 0;
}

}  // namespace

// Main loop, after the folders are built: everything the game shows and plays, in order. A
// quit asked for meanwhile skips the pictures not yet read (they stay black) and the sound.
void LoadAllAssets() {
    Crt::srand(TickCount());
    DrawTarget = GetBackBuffer();
    SpeedUnit = 1000;
    OpenGameArchive();
    LoadFonts();
    ShowLoadingMessage();
    for (const CatalogueImage& image : Catalogue) {
        *image.buffer = AllocateImage(static_cast<size_t>(image.width) * image.height * 2);
    }
    PresentsStrip = AllocateImage(PresentsStripBytes);
    for (const CatalogueImage& image : Catalogue) {
        if (QuitAskedWhileLoading()) break;
        LoadTgaImage(image.name, image.width, image.height, *image.buffer, 1);
    }
    LoadHighScores();
    if (!QuitAskedWhileLoading()) StartAudio();
}

// Main loop, after the credits: the high score file first, then everything loaded is undone.
void ReleaseAllAssets() {
    SaveHighScores();
    for (uint16_t** buffer : ReleaseOrder) {
        std::free(*buffer);
        *buffer = nullptr;
    }
    CloseArchive();
    ReleaseFonts();
    ShutdownAudio();
}

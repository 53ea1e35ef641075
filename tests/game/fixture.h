// Game and play tests' common ground: a private game folder on the headless host, pictures of
// our own, clock and taps, frames built from their parts, and the effects log.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "app/app.h"
#include "assets/assets.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"
#include "platform/standin.h"
#include "tests/support/soundprobe/sound_probe.h"
#include "tests/support/support.h"

constexpr int ScreenPixels = ScreenWidth * ScreenHeight;
using Frame = std::vector<uint16_t>;
using Effects = std::vector<int>;

inline bool operator==(const Actor& a, const Actor& b) {
    return a.x == b.x && a.y == b.y && a.frame == b.frame && a.state == b.state;
}
inline std::ostream& operator<<(std::ostream& out, const Actor& a) {
    return out << '{' << a.x << ", " << a.y << ", frame " << a.frame << ", state " << a.state << '}';
}

constexpr int32_t RowOf(int lane) { return TopRowY + RowSpacing * lane; }

// A spider or fruit put in its slot's lane, counted as a spawn counts it.
inline void PutSpider(int slot, int32_t x, int32_t state, int32_t frame) {
    PlayField.Spiders[slot] = Actor{x, RowOf(slot % 4) + 4, frame, state};
    PlayField.SpiderCount += 1;
}
inline void PutFruit(int slot, int32_t state) {
    PlayField.Fruits[slot] = Actor{slot < 4 ? 96 : 192, RowOf(slot % 4), 0, state};
    PlayField.FruitCount += 1;
}

// ---- Frames built from their parts -----------------------------------------------------

inline Frame Picture(const uint16_t* image) { return Frame(image, image + ScreenPixels); }

// The speaker over pixel columns 0-15 and the exit sign over 223-238, both opaque.
inline Frame WithIcons(Frame frame) {
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            frame[r * ScreenWidth + c] = SpeakerIcon[r * 16 + c];
            frame[r * ScreenWidth + 223 + c] = ExitIcon[r * 16 + c];
        }
    }
    return frame;
}

inline Frame MenuFrame() { return WithIcons(Picture(FrontImage)); }

// Eight rows of score and name (its own 12 bytes only), then fruit keyed along the edges.
inline Frame ScoreTableFrame(int border) {
    Frame frame = Picture(HighImage);
    for (int slot = 0; slot < HighScoreCount; ++slot) {
        char score[16], name[13] = {};
        std::snprintf(score, sizeof score, "%7d", HighScoreTable[slot].score);
        std::memcpy(name, HighScoreTable[slot].name, 12);
        DrawTextScaled(score, 10, 16, 5, 50 + 30 * slot, frame.data());
        DrawTextScaled(name, 10, 16, 90, 50 + 30 * slot, frame.data());
    }
    for (int k = 0; k < 8; ++k) {
        const uint16_t* fruit = FruitImages[(3 * k + border) % 8];
        DrawImage(frame.data(), fruit, 32, 32, 40 * k, 0, 1);
        DrawImage(frame.data(), fruit, 32, 32, 40 * k, 288, 1);
    }
    for (int k = 0; k < 8; ++k) {
        const uint16_t* fruit = FruitImages[(3 * k + border) % 8];
        DrawImage(frame.data(), fruit, 32, 32, 0, 32 + 32 * k, 1);
        DrawImage(frame.data(), fruit, 32, 32, 280, 32 + 32 * k, 1);
    }
    return frame;
}

inline Frame NameEntryFrame(int32_t score, const char* name) {
    Frame frame = Picture(HighImage);
    uint16_t* f = frame.data();
    char scoreText[16];
    std::snprintf(scoreText, sizeof scoreText, "%7d", score);
    DrawText("NEW HIGHSCORE!", 8, 5, f);
    DrawText("YOUR SCORE IS", 15, 65, f);
    DrawText(scoreText, 65, 90, f);
    DrawTextScaled("ENTER YOUR NAME", 13, 18, 20, 125, f);
    DrawText(name, 13, 150, f);
    DrawText(".", 13 + 16 * static_cast<int>(std::strlen(name)), 150, f);
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const int lefts[] = {20, 30, 50};
    for (int row = 0; row < 3; ++row) {
        for (int i = 0; rows[row][i]; ++i) {
            DrawGlyph(static_cast<uint8_t>(rows[row][i]), lefts[row] + 20 * i, 180 + 30 * row, f);
        }
    }
    DrawTextScaled("SPACE", 13, 18, 10, 280, f);
    DrawTextScaled("BACK", 13, 18, 95, 280, f);
    DrawTextScaled("DONE", 13, 18, 170, 280, f);
    return frame;
}

inline Frame CreditsFrame() {
    Frame frame = Picture(FrontImage);
    uint16_t* f = frame.data();
    DrawTextScaled("   VISIT OUR   ", 14, 20, 12, 70, f);
    DrawTextScaled("  WEBSITE FOR  ", 14, 20, 12, 95, f);
    DrawTextScaled("MORE GREAT GAMES", 14, 20, 5, 120, f);
    DrawTextScaled("       AT      ", 14, 20, 5, 145, f);
    DrawTextScaled("MARROWDALE.EXAMPLE", 12, 20, 5, 190, f);
    return frame;
}

// Compares the back buffer with a built frame; a mismatch leaves both as PNG files.
inline void ExpectFrame(const Frame& expected, const std::string& name) {
    if (BackBufferChecksum() == FrameChecksum(expected.data(), ScreenPixels)) return;
    std::string shown = DumpBackBufferPng(name);
    uint16_t* drawn = BackBuffer;
    Frame copy = expected;
    BackBuffer = copy.data();
    std::string wanted = DumpBackBufferPng(name + "-expected");
    BackBuffer = drawn;
    ADD_FAILURE() << name << " frame differs: shown " << shown << ", expected " << wanted;
}

// ---- Fixtures --------------------------------------------------------------------------

// A private game folder (links to the built data) on a fresh headless host, and the game's
// records as a fresh start of the program has them.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakeGameFolder();
        module = FolderModulePath(folder);
        HeadlessOptions options;
        options.modulePath = module.c_str();
        StartHeadlessHost(options);
        SetAudioDriver("nosound");
        ScreenState = Intro;
        RunFlag = 1;
        CloseRequests = IntroPhase = IntroFade = NameLength = BorderFrame = Now = LastFrame = 0;
        std::memset(NameBuffer, 0, sizeof NameBuffer);
        std::memset(HighScoreTable, 0, sizeof HighScoreTable);
        PlayField = PlayFieldRecord{};
        Latches = InputLatches{};
        TakeSounds();
    }
    void TearDown() override {
        HeadlessSetPassHook(nullptr, nullptr);
        StopHeadlessHost();
        RemoveGameFolder(folder);
    }
    std::string folder, module;
};

// The screens and play without the program: the real fonts, a distinct pattern of our own
// for every picture (the key colour on every 7th pixel), a back buffer, audio with the
// effects log, a new game, and a table of 800 down to 100 named N0 to N7.
class GameTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        BuildDataFolders();
        std::u16string graph(GraphFolder);
        OpenArchive((graph + u"marrowdale.idx").c_str(), (graph + u"marrowdale.dat").c_str());
        LoadFonts();
        AllocateBackBuffer();
        DrawTarget = BackBuffer;
        pictures = {{&FrontImage, ScreenPixels}, {&HelpImage, ScreenPixels},
                    {&AboutImage, ScreenPixels}, {&HighImage, ScreenPixels},
                    {&MainImage, ScreenPixels},  {&LogoImage, 200 * 42},
                    {&ExitIcon, 256},            {&SpeakerIcon, 256},
                    {&PlantImage, 256},          {&SmallFruitImage, 256},
                    {&MediumFruitImage, 576},    {&PresentsStrip, PresentsStripBytes / 2}};
        for (uint16_t*& dog : DogImages) pictures.push_back({&dog, 1024});
        for (uint16_t*& fruit : FruitImages) pictures.push_back({&fruit, 1024});
        for (uint16_t*& fume : FumeImages) pictures.push_back({&fume, 1024});
        for (uint16_t*& spider : SpiderImages) pictures.push_back({&spider, 36 * 24});
        images.resize(pictures.size());
        for (size_t n = 0; n < pictures.size(); ++n) {
            for (int i = 0; i < pictures[n].pixels; ++i) {
                auto p = static_cast<uint16_t>(((i * 2654435761u + n * 40503u) >> 13) | 0x0821);
                images[n].push_back(i % 7 == 3 ? ImageKey : p == ImageKey ? p ^ 1 : p);
            }
            pictures[n].was = *pictures[n].slot;
            *pictures[n].slot = images[n].data();
        }
        StartSoundProbe();
        if (!SoundOn) ToggleMute();
        for (int i = 0; i < HighScoreCount; ++i) {
            HighScoreTable[i] = HighScoreEntry{800 - 100 * i, {'N', static_cast<uint8_t>('0' + i)}};
        }
        ResetClock();
        NewGame();
    }
    void TearDown() override {
        for (const PictureSlot& picture : pictures) *picture.slot = picture.was;
        StopSoundProbe();
        ReleaseFonts();
        CloseArchive();
        ReleaseBackBuffer();
        DrawTarget = nullptr;
        HostTest::TearDown();
    }

    // The game clock (ElapsedMs) at ms, the virtual tick count unmoved.
    static void SetClock(int32_t ms) { ClockZero = GetTickCount() - static_cast<uint32_t>(ms); }
    // A stylus press and release, as the window procedure latches them.
    static void Tap(int x, int y) {
        OnStylusDown(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
        OnStylusUp();
    }
    static uint16_t Pixel(int x, int y) { return BackBuffer[y * ScreenWidth + x]; }

    struct PictureSlot {
        uint16_t** slot;
        int pixels;
        uint16_t* was = nullptr;
    };
    std::vector<PictureSlot> pictures;
    std::vector<Frame> images;
};

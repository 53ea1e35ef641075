// Test pictures of our own for the screens, a headless clock, and taps as the window makes them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/app.h"
#include "assets/assets.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "platform/standin.h"
#include "tests/game/sound_log.h"
#include "tests/support/support.h"

constexpr int ScreenPixels = ScreenWidth * ScreenHeight;

// A pattern no two images share, never the key colour (so keyed copies draw every pixel).
inline void FillPattern(std::vector<uint16_t>& pixels, uint32_t seed) {
    for (size_t i = 0; i < pixels.size(); ++i) {
        uint32_t v = static_cast<uint32_t>(i) * 2654435761u + seed * 40503u;
        uint16_t p = static_cast<uint16_t>((v >> 13) | 0x0821);
        pixels[i] = p == ImageKey ? static_cast<uint16_t>(p ^ 1) : p;
    }
}

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakeGameFolder();
        modulePath = FolderModulePath(folder);
        HeadlessOptions options;
        options.modulePath = modulePath.c_str();
        StartHeadlessHost(options);
        BuildDataFolders();
        StartSoundLog();
        // The real fonts, so text lands where the screens put it.
        std::u16string graph(GraphFolder);
        OpenArchive((graph + u"marrowdale.idx").c_str(), (graph + u"marrowdale.dat").c_str());
        LoadFonts();
        ownBackBuffer = !BackBuffer;
        if (ownBackBuffer) AllocateBackBuffer();
        saved = {FrontImage, HelpImage, AboutImage,  HighImage,
                 LogoImage,  ExitIcon,  SpeakerIcon, PresentsStrip};
        for (int i = 0; i < 8; ++i) savedFruit[i] = FruitImages[i];
        FillPattern(front, 1);
        FillPattern(help, 2);
        FillPattern(about, 3);
        FillPattern(high, 4);
        FillPattern(logo, 5);
        FillPattern(exitIcon, 6);
        FillPattern(speaker, 7);
        FillPattern(strip, 8);
        FrontImage = front.data();
        HelpImage = help.data();
        AboutImage = about.data();
        HighImage = high.data();
        LogoImage = logo.data();
        ExitIcon = exitIcon.data();
        SpeakerIcon = speaker.data();
        PresentsStrip = strip.data();
        for (int i = 0; i < 8; ++i) {
            // One flat colour a fruit, so a pixel tells which fruit covers it.
            fruit[i].assign(32 * 32, static_cast<uint16_t>(0x1000 + 0x0841 * i));
            FruitImages[i] = fruit[i].data();
        }
        Latches = InputLatches{};
        ScreenState = Intro;
        RunFlag = 1;
    }

    void TearDown() override {
        FrontImage = saved[0];
        HelpImage = saved[1];
        AboutImage = saved[2];
        HighImage = saved[3];
        LogoImage = saved[4];
        ExitIcon = saved[5];
        SpeakerIcon = saved[6];
        PresentsStrip = saved[7];
        for (int i = 0; i < 8; ++i) FruitImages[i] = savedFruit[i];
        StopSoundLog();
        ReleaseFonts();
        CloseArchive();
        if (ownBackBuffer) ReleaseBackBuffer();
        HeadlessSetPassHook(nullptr, nullptr);
        StopHeadlessHost();
        RemoveGameFolder(folder);
    }

    // A tap as the window procedure turns a stylus press and release into latches.
    static void Tap(int x, int y) {
        OnStylusDown(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
        OnStylusUp();
    }

    // Puts the game clock at ms without moving the (virtual) tick count.
    static void SetGameClock(int32_t ms) { ClockZero = GetTickCount() - static_cast<uint32_t>(ms); }

    static uint16_t Pixel(int x, int y) { return BackBuffer[y * ScreenWidth + x]; }

    std::string folder;
    std::string modulePath;
    bool ownBackBuffer = false;
    std::vector<uint16_t> front = std::vector<uint16_t>(ScreenPixels);
    std::vector<uint16_t> help = std::vector<uint16_t>(ScreenPixels);
    std::vector<uint16_t> about = std::vector<uint16_t>(ScreenPixels);
    std::vector<uint16_t> high = std::vector<uint16_t>(ScreenPixels);
    std::vector<uint16_t> logo = std::vector<uint16_t>(200 * 42);
    std::vector<uint16_t> exitIcon = std::vector<uint16_t>(16 * 16);
    std::vector<uint16_t> speaker = std::vector<uint16_t>(16 * 16);
    std::vector<uint16_t> strip = std::vector<uint16_t>(PresentsStripBytes / 2);
    std::vector<uint16_t> fruit[8];
    std::vector<uint16_t*> saved;
    uint16_t* savedFruit[8] = {};
};

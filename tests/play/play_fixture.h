// Play tests' common ground: pictures of our own, a settable game clock, latches, a sound log.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/app.h"
#include "assets/assets.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"
#include "platform/standin.h"

// ---- The sound log (sound_probe.cpp) -----------------------------------------------------
// The effects are loaded as stand-in samples and every Sample_Play of one is written down by
// its effect number, so a test sees exactly which effects the game asked for, in order.
void StartSoundProbe();
void StopSoundProbe();
std::vector<int> TakeSounds();

// ---- Images -----------------------------------------------------------------------------
// Each play image is one flat colour of its own with a few key-colour pixels, so a pixel of a
// drawn frame tells which image covers it, and keyed copies visibly skip pixels.
struct PlayImages {
    std::vector<uint16_t> main, exitIcon, speaker, plant, small, medium;
    std::vector<uint16_t> dogs[8], fumes[3], fruits[8], spiders[6], font;
};
void InstallPlayImages(PlayImages& images);
// The colour of an image's drawn pixels (the first one, never the key).
uint16_t ImageColour(const uint16_t* image);

// ---- Fixture ----------------------------------------------------------------------------
class PlayTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The game clock (ElapsedMs) set to ms, as if the clock had been reset ms ago.
    static void SetClock(int32_t ms);
    // Every play timer to the same time; nothing is due until the clock moves past it.
    static void SetAllTimers(int32_t ms);
    static uint16_t Pixel(int x, int y) { return BackBuffer[y * ScreenWidth + x]; }

    // A spider or fruit placed in a slot, counted as the spawn would count it.
    static void PutSpider(int slot, int32_t x, int32_t state, int32_t frame);
    static void PutFruit(int slot, int32_t state);

    PlayImages images;
    HighScoreEntry savedTable[HighScoreCount] = {};
};

constexpr int32_t RowOf(int lane) { return TopRowY + RowSpacing * lane; }

// Game and play tests' common ground: host and records, our pictures, frames built from parts.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "shell/shell.h"
#include "assets/assets.h"
#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"
#include "gfx/gfx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "tests/support/soundprobe/sound_probe.h"
#include "tests/support/support.h"

constexpr int ScreenPixels = ScreenWidth * ScreenHeight;
using Frame = std::vector<uint16_t>;
using Effects = std::vector<int>;

// Actors compare and print whole in the play tests' tables.
inline bool operator==(const Actor& a, const Actor& b) {
    return a.x == b.x && a.y == b.y && a.frame == b.frame && a.state == b.state;
}
inline std::ostream& operator<<(std::ostream& out, const Actor& a) {
    return out << '{' << a.x << ", " << a.y << ", frame " << a.frame << ", state " << a.state
               << '}';
}

// The y of a lane's row, 0 the top one.
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

// The game clock (ElapsedMs) at ms, the virtual tick count unmoved.
inline void SetClock(int32_t ms) { ClockZero = GetTickCount() - static_cast<uint32_t>(ms); }

// ---- Frames built from their parts -----------------------------------------------------

// A full-screen picture as a frame.
inline Frame Picture(const uint16_t* image) { return Frame(image, image + ScreenPixels); }

// Eight rows of score and name (its own 12 bytes only), how to leave under them in pale
// straw, then fruit keyed along the edges.
inline Frame ScoreTableFrame(int border) {
    Frame frame = Picture(HighImage);
    for (int slot = 0; slot < HighScoreCount; ++slot) {
        char score[16], name[13] = {};
        std::snprintf(score, sizeof score, "%7d", HighScoreTable[slot].score);
        std::memcpy(name, HighScoreTable[slot].name, 12);
        int y = 46 + 28 * slot;
        DrawTextScaled(score, 10, 16, 5, y, frame.data());
        DrawTextScaled(name, 10, 16, 90, y, frame.data());
    }
    DrawSmallText("Tap or press a key", 48, 258, 0xF759, frame.data());
    DrawSmallText("to go back", 80, 271, 0xF759, frame.data());
    for (int side = 0; side < 4; ++side) {
        for (int k = 0; k < 8; ++k) {
            int x = side < 2 ? 40 * k : 280 * (side - 2), y = side < 2 ? 288 * side : 32 + 32 * k;
            DrawImage(frame.data(), FruitImages[(3 * k + border) % 8], 32, 32, x, y, 1);
        }
    }
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
        MenuCursor = MenuCursorStart;
        NameCursor = ScreenCursor{0, 0, false};
        TakeSounds();
    }
    void TearDown() override {
        HeadlessSetPassHook(nullptr, nullptr);
        StopHeadlessHost();
        RemoveGameFolder(folder);
    }
    // A table as "score NAME" entries joined by '|'; a name ends at its zero or its 12th byte.
    static std::string Scores(const HighScoreEntry* table) {
        std::string text;
        for (int i = 0; i < HighScoreCount; ++i) {
            auto name = reinterpret_cast<const char*>(table[i].name);
            text += (i ? "|" : "") + std::to_string(table[i].score) + ' ';
            text.append(name, strnlen(name, 12));
        }
        return text;
    }
    // The table in memory becomes the high score file's, read back as the game's start reads it.
    void KeepTable() const {
        std::ofstream(folder + "highscores.dat", std::ios::binary)
            .write(reinterpret_cast<const char*>(HighScoreTable), sizeof HighScoreTable);
        LoadHighScores();
    }
    // The high score file as the program left it, described; empty unless it holds a table.
    std::string SavedScores() const {
        HighScoreEntry table[HighScoreCount];
        std::ifstream file(folder + "highscores.dat", std::ios::binary);
        bool whole = file.read(reinterpret_cast<char*>(table), sizeof table) && file.peek() == EOF;
        return whole ? Scores(table) : "";
    }
    std::string folder, module;
};

// The screens and play without the program: the real fonts, a pattern of our own for every
// picture (each its own, the key colour on every 7th pixel), a back buffer, audio with the
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
        for (uint16_t** image : {&FrontImage, &HelpImage, &AboutImage, &HighImage, &MainImage}) {
            pictures.push_back({image, ScreenPixels});
        }
        pictures.insert(pictures.end(),
                        {{&LogoImage, 200 * 42}, {&ExitIcon, 256}, {&SpeakerIcon, 256},
                         {&PlantImage, 256}, {&SmallFruitImage, 256}, {&MediumFruitImage, 576},
                         {&PresentsStrip, ScreenWidth * 80}});
        for (uint16_t*& image : DogImages) pictures.push_back({&image, 1024});
        for (uint16_t*& image : FruitImages) pictures.push_back({&image, 1024});
        for (uint16_t*& image : FumeImages) pictures.push_back({&image, 1024});
        for (uint16_t*& image : SpiderImages) pictures.push_back({&image, 36 * 24});
        images.resize(pictures.size());
        for (size_t n = 0; n < pictures.size(); ++n) {
            for (uint32_t i = 0; i < static_cast<uint32_t>(pictures[n].second); ++i) {
                auto p = static_cast<uint16_t>(((i * 2654435761u + n * 40503u) >> 13) | 0x0821);
                images[n].push_back(i % 7 == 3 ? ImageKey : p == ImageKey ? p ^ 1 : p);
            }
            *pictures[n].first = images[n].data();
        }
        StartSoundProbe();
        if (!SoundOn) ToggleMute();
        for (uint8_t i = 0; i < HighScoreCount; ++i) {
            HighScoreTable[i] = HighScoreEntry{800 - 100 * i, {'N', static_cast<uint8_t>('0' + i)}};
        }
        KeepTable();
        ResetClock();
        NewGame();
    }
    void TearDown() override {
        for (auto& picture : pictures) *picture.first = nullptr;
        StopSoundProbe();
        ReleaseFonts();
        CloseArchive();
        ReleaseBackBuffer();
        DrawTarget = nullptr;
        HostTest::TearDown();
    }

    // A stylus press and release, as the window procedure latches them.
    static void Tap(int x, int y) {
        OnStylusDown(static_cast<uint16_t>(x), static_cast<uint16_t>(y));
        OnStylusUp();
    }

    std::vector<std::pair<uint16_t**, int>> pictures;  // each picture's slot and pixel count
    std::vector<Frame> images;
};

// The main loop through the headless host: unknown screens, quitting, credits and shutdown.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/app.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "platform/standin.h"
#include "tests/support/support.h"

namespace {

struct LoopScript {
    int quitAtPass = -1;
    int strangeFrom = -1;
    uint64_t strangeFrame = 0;
    int strangeFramesSeen = 0;
    bool strangeFrameChanged = false;
    int lastPass = 0;
    int closes = 1;
};

void Drive(int pass, void* context) {
    auto* script = static_cast<LoopScript*>(context);
    script->lastPass = pass;
    if (pass == script->strangeFrom) {
        ScreenState = 42;
        script->strangeFrame = BackBufferChecksum();
    } else if (script->strangeFrom >= 0 && pass > script->strangeFrom && pass < script->quitAtPass) {
        ++script->strangeFramesSeen;
        script->strangeFrameChanged |= BackBufferChecksum() != script->strangeFrame;
        RunFlag = 7;  // any value but 99 runs on
    }
    if (pass == script->quitAtPass) {
        for (int i = 0; i < script->closes; ++i) HeadlessClose();
    }
}

class MainLoop : public ::testing::Test {
protected:
    void SetUp() override {
        folder = MakeGameFolder();
        module = FolderModulePath(folder);
        HeadlessOptions options;
        options.modulePath = module.c_str();
        StartHeadlessHost(options);
        CloseRequests = 0;
        RunFlag = 0;
    }
    void TearDown() override {
        HeadlessSetPassHook(nullptr, nullptr);
        StopHeadlessHost();
        RemoveGameFolder(folder);
    }
    std::string folder, module;
};

TEST_F(MainLoop, AnUnknownScreenKeepsTheFrameAndTheLoopRunning) {
    LoopScript script;
    script.strangeFrom = 400;
    script.quitAtPass = 450;
    HeadlessSetPassHook(Drive, &script);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
    EXPECT_EQ(script.strangeFramesSeen, 49);
    EXPECT_FALSE(script.strangeFrameChanged);
}

TEST_F(MainLoop, AQuitShowsTheCreditsForEightSecondsThenSavesTheScores) {
    LoopScript script;
    script.quitAtPass = 300;
    HeadlessSetPassHook(Drive, &script);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
    int creditPasses = script.lastPass - script.quitAtPass;
    EXPECT_GE(creditPasses, 8000 / 13);
    EXPECT_LE(creditPasses, 8000 / 13 + 3);
    EXPECT_TRUE(std::filesystem::exists(folder + "highscores.dat"));
}

TEST_F(MainLoop, ASecondCloseEndsTheCreditsAtOnce) {
    LoopScript script;
    script.quitAtPass = 300;
    script.closes = 2;
    HeadlessSetPassHook(Drive, &script);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
    EXPECT_LE(script.lastPass - script.quitAtPass, 3);
    EXPECT_TRUE(std::filesystem::exists(folder + "highscores.dat")) << "scores are still saved";
}

}  // namespace

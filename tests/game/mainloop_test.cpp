// The main loop through the headless host: unknown screens, quitting, credits and shutdown.
#include "tests/game/fixture.h"

namespace {

struct LoopScript {
    int quitAtPass = -1, strangeFrom = -1, closes = 1;
    int lastPass = 0, strangeFramesSeen = 0;
    uint64_t strangeFrame = 0;
    bool strangeFrameChanged = false;
};

// The pass hook: an unknown screen value from strangeFrom on, closes at quitAtPass.
void Drive(int pass, void* context) {
    auto& script = *static_cast<LoopScript*>(context);
    script.lastPass = pass;
    if (pass == script.strangeFrom) {
        ScreenState = 42;
        script.strangeFrame = BackBufferChecksum();
    } else if (script.strangeFrom >= 0 && pass > script.strangeFrom && pass < script.quitAtPass) {
        ++script.strangeFramesSeen;
        script.strangeFrameChanged |= BackBufferChecksum() != script.strangeFrame;
        RunFlag = 7;  // any value but 99 runs on
    }
    for (int i = 0; pass == script.quitAtPass && i < script.closes; ++i) HeadlessClose();
}

class MainLoop : public HostTest {
protected:
    static std::string DefaultScores() {
        HighScoreEntry defaults[HighScoreCount];
        for (HighScoreEntry& entry : defaults) entry = HighScoreEntry{0, "QUINTAVEX"};
        return Scores(defaults);
    }
    // The whole program under the script; it must exit with status 0.
    void RunProgram(LoopScript& script) {
        HeadlessSetPassHook(Drive, &script);
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
    }
};

TEST_F(MainLoop, AnUnknownScreenKeepsTheFrameAndTheLoopRunning) {
    LoopScript script{.quitAtPass = 450, .strangeFrom = 400};
    RunProgram(script);
    EXPECT_EQ(script.strangeFramesSeen, 49);
    EXPECT_FALSE(script.strangeFrameChanged);
}

TEST_F(MainLoop, ASecondCloseEndsTheCreditsAtOnce) {
    LoopScript script{.quitAtPass = 300, .closes = 2};
    RunProgram(script);
    EXPECT_EQ(CloseRequests, 2);
    EXPECT_LE(script.lastPass - script.quitAtPass, 3);
    EXPECT_EQ(SavedScores(), DefaultScores()) << "the scores are still saved";
}

// The loading's frame is the first pass: a close then ends the loading at its next step and
// the program there, without the game or its credits; the scores read are saved back.
TEST_F(MainLoop, ACloseWhileLoadingEndsTheProgramWithoutCredits) {
    LoopScript script{.quitAtPass = 1};
    RunProgram(script);
    EXPECT_EQ(script.lastPass, 1);
    EXPECT_EQ(SavedScores(), DefaultScores());
}

// The player's keys and a start muted reach the game only through the system's calls, so a
// recorded game replays with them.
TEST_F(MainLoop, ThePlayersKeysAndAStartMutedComeThroughTheSystem) {
    HeadlessOptions options;
    options.modulePath = module.c_str();
    options.keys = GameKeys{{'W', 'S', 'A', 'D', VK_SPACE, 'K', '7', VK_TAB}};
    options.startMuted = true;
    StartHeadlessHost(options);
    LoopScript script{.quitAtPass = 300, .closes = 2};
    RunProgram(script);
    EXPECT_TRUE(KeyMap.vkUp == 'W' && KeyMap.vkDown == 'S' && KeyMap.vkLeft == 'A' &&
                KeyMap.vkRight == 'D' && KeyMap.vkA == VK_SPACE && KeyMap.vkB == 'K' &&
                KeyMap.vkC == '7' && KeyMap.vkStart == VK_TAB);
    EXPECT_FALSE(SoundOn);
}

}  // namespace

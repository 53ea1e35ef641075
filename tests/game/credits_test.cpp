// The credits: eight seconds whatever is tapped, cut short by a further close request.
#include <cstring>

#include "tests/game/screen_fixture.h"

namespace {

struct CreditsWatch {
    int passes = 0;
    int tapAtPass = -1;
    int closeAtPass = -1;
};

void WatchCredits(int, void* context) {
    auto* watch = static_cast<CreditsWatch*>(context);
    ++watch->passes;
    if (watch->passes == watch->tapAtPass) OnStylusDown(120, 160);
    if (watch->passes == watch->closeAtPass) RequestQuit();
}

class CreditsTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        // The quit that led here: the exit icon, or a first close of the window.
        CloseRequests = 1;
        RunFlag = QuitRunFlag;
    }
    void TearDown() override {
        CloseRequests = 0;
        ScreenTest::TearDown();
    }
    CreditsWatch watch;
};

TEST_F(CreditsTest, StayEightSecondsWhateverIsTapped) {
    watch.tapAtPass = 3;
    HeadlessSetPassHook(WatchCredits, &watch);
    ShowCredits();
    // 13 ms a pass: 615 passes make 7995 ms, the 616th reaches 8000.
    EXPECT_EQ(watch.passes, 616);
    EXPECT_EQ(ElapsedMs(), 8008);
    EXPECT_TRUE(Latches.tapPending) << "the credits read no taps";
    EXPECT_TRUE(TakeSoundLog().empty());
}

TEST_F(CreditsTest, ASecondCloseRequestEndsThemAtOnce) {
    watch.closeAtPass = 10;
    HeadlessSetPassHook(WatchCredits, &watch);
    ShowCredits();
    EXPECT_EQ(watch.passes, 10);
    EXPECT_EQ(CloseRequests, 2);
}

TEST_F(CreditsTest, TwoClosesBeforeTheCreditsEndThemAfterOneFrame) {
    CloseRequests = 2;
    HeadlessSetPassHook(WatchCredits, &watch);
    ShowCredits();
    EXPECT_EQ(watch.passes, 1);
}

TEST_F(CreditsTest, AQuitByTheExitIconThenOneCloseEndsThem) {
    CloseRequests = 0;
    watch.closeAtPass = 20;
    HeadlessSetPassHook(WatchCredits, &watch);
    ShowCredits();
    EXPECT_EQ(watch.passes, 20);
}

TEST_F(CreditsTest, TheTitlePictureShowsAroundTheText) {
    watch.closeAtPass = 1;
    HeadlessSetPassHook(WatchCredits, &watch);
    ShowCredits();
    // Text rows 70 to 210 (line 5 at row 190, 20 high, and its shadow row).
    EXPECT_EQ(std::memcmp(BackBuffer, front.data(), 70 * ScreenWidth * 2), 0);
    EXPECT_EQ(std::memcmp(BackBuffer + 211 * ScreenWidth, front.data() + 211 * ScreenWidth,
                          (ScreenHeight - 211) * ScreenWidth * 2),
              0);
    auto rowsDiffer = [&](int first, int last) {
        return std::memcmp(BackBuffer + first * ScreenWidth, front.data() + first * ScreenWidth,
                           (last - first + 1) * ScreenWidth * 2) != 0;
    };
    EXPECT_TRUE(rowsDiffer(70, 90));
    EXPECT_TRUE(rowsDiffer(190, 210)) << "the web address";
}

}  // namespace

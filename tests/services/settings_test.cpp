// The settings file: every setting read back as written, written only after a change in the
// game, and damaged lines reported by number and skipped while the rest apply.
#include "handheld/standin.h"
#include "services/settings.h"
#include "tests/assets/fixture.h"
#include "tests/handheld/helpers.h"

namespace {

using assettest::StderrOf;
using platformtest::ReadText;

class SettingsFile : public platformtest::PrivateFolder {
protected:
    void SetUp() override {
        PrivateFolder::SetUp();
        setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        path = folder + "/config/marrowdale/marrowdale.ini";
    }
    void Write(const std::string& text) {
        std::filesystem::create_directories(folder + "/config/marrowdale");
        std::ofstream(path) << text;
    }
    // Loads the file over the defaults; the stderr lines it gave.
    std::vector<std::string> Load(StandInOptions* options) {
        return StderrOf([&] { LoadSettings(options); });
    }
    std::string path;
};

// Every setting at a value unlike its default survives a rewrite of the file; with nothing
// changed in the game, nothing is written, not even a first file.
TEST_F(SettingsFile, EverySettingSurvivesARewriteAndOnlyAChangeWrites) {
    StandInOptions options;
    EXPECT_TRUE(Load(&options).empty());
    EXPECT_TRUE(SaveSettings());
    EXPECT_FALSE(std::filesystem::exists(path)) << "no change, no file";

    Write("scale = 3\nfullscreen = yes\ndisplay = 16:-640:2\npass-ms = 0\n"
          "audio-driver = wav:/tmp/game.wav\nmute = yes\npause-on-focus-loss = no\n"
          "score-server = https://scores.example:8443/marrowdale\n"
          "key-up = w\nkey-down = S\nkey-left = a\nkey-right = d\nkey-a = Space\n"
          "key-b = tab\nkey-c = 7\nkey-enter = Backspace\n");
    const GameKeys keys{{'W', 'S', 'A', 'D', VK_SPACE, VK_TAB, '7', VK_BACK}};
    for (int round = 0; round < 2; ++round) {
        options = StandInOptions{};
        EXPECT_TRUE(Load(&options).empty());
        EXPECT_EQ(options.scale, round == 0 ? 3 : 4);
        EXPECT_TRUE(options.fullscreen && options.startMuted && !options.pauseOnFocusLoss);
        EXPECT_TRUE(options.display.depth == 16 && options.display.xStep == -640 &&
                    options.display.yStep == 2);
        EXPECT_EQ(options.passMs, 0);
        EXPECT_EQ(options.audioDriver, "wav:/tmp/game.wav");
        EXPECT_EQ(options.scoreServer, "https://scores.example:8443/marrowdale");
        EXPECT_TRUE(options.keys == keys);
        RememberScale(4);
        EXPECT_TRUE(SaveSettings());
    }
    std::filesystem::remove(path);
    RememberScale(4);
    EXPECT_TRUE(SaveSettings());
    EXPECT_FALSE(std::filesystem::exists(path)) << "the file held this already";

    ResetSettings();
    EXPECT_TRUE(SaveSettings()) << "--reset-settings writes the defaults";
    EXPECT_NE(ReadText(path).find("scale = fit\nfullscreen = no\n"), std::string::npos)
        << ReadText(path);

    Write("scale = fit-sharp\n");
    options = StandInOptions{};
    EXPECT_TRUE(Load(&options).empty());
    EXPECT_EQ(options.scale, FitSharpScale);
    RememberFullScreen(true);
    EXPECT_TRUE(SaveSettings());
    EXPECT_NE(ReadText(path).find("scale = fit-sharp\nfullscreen = yes\n"), std::string::npos)
        << "a change of full screen keeps the sharp fit: " << ReadText(path);
}

// A damaged line is named with its number and skipped; the lines around it still apply.
TEST_F(SettingsFile, DamagedLinesAreReportedAndSkipped) {
    Write("# comment\n"
          "scale = 5\n"
          "scale = 9\n"
          "fullscreen = maybe\n"
          "[window]\n"
          "colour = blue\n"
          "key-a = F1\n"
          "key-b = q\n"
          "display = 16:0:480\n"
          "pass-ms = 13ms\n"
          "\n"
          "mute=yes\n"
          "score-server = scores.example\n");
    StandInOptions options;
    std::vector<std::string> lines = Load(&options);
    const int damaged[] = {3, 4, 5, 6, 7, 9, 10, 13};
    ASSERT_EQ(lines.size(), std::size(damaged));
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string where = "marrowdale: " + path + ":" + std::to_string(damaged[i]) + ": ";
        EXPECT_EQ(lines[i].rfind(where, 0), 0u) << lines[i];
        EXPECT_NE(lines[i].find("; line skipped"), std::string::npos) << lines[i];
    }
    EXPECT_EQ(options.scale, 5);
    EXPECT_EQ(options.keys.codes[5], 'Q');
    EXPECT_EQ(options.keys.codes[4], 'Z') << "the damaged key-a keeps its default";
    EXPECT_TRUE(options.startMuted);
    EXPECT_FALSE(options.fullscreen);
    EXPECT_EQ(options.passMs, 13);
}

}  // namespace

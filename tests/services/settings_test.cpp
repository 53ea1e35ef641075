// The settings file: every setting read back as written, written only after a change in the
// game and then only its lines, and damaged lines reported by number and skipped while the
// rest apply.
#include <sys/file.h>
#include <sys/stat.h>

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
          "score-server = https://scores.example:8443/marrowdale\nresume = no\n"
          "key-up = w\nkey-down = S\nkey-left = a\nkey-right = d\nkey-a = Space\n"
          "key-b = tab\nkey-c = 7\nkey-enter = Backspace\n");
    const GameKeys keys{{'W', 'S', 'A', 'D', VK_SPACE, VK_TAB, '7', VK_BACK}};
    for (int round = 0; round < 2; ++round) {
        options = StandInOptions{};
        EXPECT_TRUE(Load(&options).empty());
        EXPECT_EQ(options.scale, round == 0 ? 3 : 4);
        EXPECT_TRUE(options.fullscreen && options.startMuted && !options.pauseOnFocusLoss &&
                    !options.resume);
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

// A damaged line is named with its number and skipped; the lines around it still apply. The
// first five are said, as printable text cut short, then how many more there were.
TEST_F(SettingsFile, DamagedLinesAreReportedAndSkipped) {
    Write("# comment\n"
          "scale = 5\n"
          "scale = 9\n"
          "fullscreen = ma" + std::string(1, '\0') + "ybe\n"
          "[window]\n"
          "colour = blue\n"
          "key-a = F1" + std::string(100, 'x') + "\n"
          "key-b = q\n"
          "display = 16:0:480\n"
          "pass-ms = 13ms\n"
          "\n"
          "mute=yes\n"
          "score-server = scores.example\n");
    StandInOptions options;
    std::vector<std::string> lines = Load(&options);
    const int damaged[] = {3, 4, 5, 6, 7};
    ASSERT_EQ(lines.size(), std::size(damaged) + 1);
    EXPECT_EQ(lines[5], "marrowdale: " + path + ": 3 more damaged lines skipped");
    EXPECT_TRUE(lines[1].ends_with("not 'ma\\x00ybe'; line skipped")) << lines[1];
    EXPECT_TRUE(lines[4].ends_with("'F1" + std::string(38, 'x') + "...'; line skipped")) << lines[4];
    for (size_t i = 0; i < std::size(damaged); ++i) {
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

    std::string bad;
    for (int i = 0; i < 1250000; ++i) bad += "x\n";
    Write(bad);
    lines = Load(&options);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5], "marrowdale: " + path + ": 1249995 more damaged lines skipped");
}

// A rewrite reads the file again and changes only the lines of the settings changed in the
// game: the player's comments, unknown keys and damaged lines stay in their order, and so do
// the settings another copy wrote meanwhile; a setting named twice changes where it counts,
// at its last line. It waits for a copy holding the lock, not for ever. A FIFO in the file's
// place is neither waited on nor written over; fresh files a killed rewrite left go.
TEST_F(SettingsFile, ARewriteChangesOnlyItsOwnLinesInTheFileAsItStands) {
    Write("# my keys\nscale = 2\ncolour = blue\n\nfullscreen = no\nscale = 9\nkey-a = q");
    const std::string stale = folder + "/config/marrowdale/marrowdale.ini.Ab12Cd";
    const std::string mine = folder + "/config/marrowdale/marrowdale.ini.notme";
    std::ofstream(stale) << "half";
    std::ofstream(mine) << "mine";
    StandInOptions options;
    Load(&options);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(mine));
    Write(ReadText(path) + "\nmute = yes\n");  // another copy's change
    RememberScale(3);
    RememberFullScreen(true);
    EXPECT_TRUE(StderrOf([] { SaveSettings(); }).empty());
    EXPECT_EQ(ReadText(path), "# my keys\nscale = 2\ncolour = blue\n\nfullscreen = yes\n"
                              "scale = 3\nkey-a = q\nmute = yes\n");

    int held = open((path + ".lock").c_str(), O_RDWR);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    RememberScale(4);
    std::vector<std::string> lines = StderrOf([] { SaveSettings(); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "marrowdale: cannot write the settings file " + path +
                            ": another copy of the game holds its lock");
    close(held);
    EXPECT_NE(ReadText(path).find("scale = 3\n"), std::string::npos);

    std::filesystem::remove(path);
    mkfifo(path.c_str(), 0600);
    options = StandInOptions{};
    lines = Load(&options);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "marrowdale: cannot read the settings file " + path +
                            ": it is not a plain file; the defaults hold");
    RememberScale(2);
    lines = StderrOf([] { SaveSettings(); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].ends_with(": it is not a plain file")) << lines[0];
    EXPECT_TRUE(std::filesystem::is_fifo(path));
}

}  // namespace

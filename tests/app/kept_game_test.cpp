// A game kept at its name's DONE, recorded on the headless host as a live game is: the journal
// so far replays on a score server's worker to where it ends, every frame checked, and stands
// for the name confirmed there; the run's own journal is untouched by it; scores changed at
// its end diverge there. The run's passing journal is written to a file of its own, never
// through a link left at its name.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "game/game.h"
#include "hosts/headless/headless.h"
#include "journal/journal.h"
#include "services/games.h"
#include "tests/support/support.h"

namespace {

// Taps play, sits the game out, types "ab" and Enter (DONE), takes the journal so far at the
// end of the pass that confirmed the name, then closes the window twice (no credits).
struct IdlePlayer {
    bool tapped = false;
    bool typed = false;
    std::vector<uint8_t> kept;
};

void PlayIdle(int, void* context) {
    auto* player = static_cast<IdlePlayer*>(context);
    if (ScreenState == Menu && !player->tapped) {
        HeadlessStylusDown(121, 71);
        HeadlessStylusUp();
        player->tapped = true;
    } else if (ScreenState == EnterName && !player->typed) {
        for (int key : {int{'A'}, int{'B'}, int{VK_RETURN}}) {
            HeadlessKeyDown(key);
            HeadlessKeyUp(key);
        }
        player->typed = true;
    } else if (ConfirmedNames == 1 && player->kept.empty()) {
        ASSERT_TRUE(JournalSoFar(&player->kept));
        HeadlessClose();
        HeadlessClose();
    }
}

// What a score server's worker (marrowdale-scores --replay-worker) makes of a journal, in a
// process of its own as on the server: its exit status and what it said on stdout and stderr.
struct WorkerAnswer {
    int status;
    std::string said;
};

std::string ReadText(const std::string& path) {
    std::string text;
    if (FILE* in = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(in)) != EOF;) text += static_cast<char>(c);
        std::fclose(in);
    }
    return text;
}

WorkerAnswer Replay(const std::string& folder, const std::vector<uint8_t>& journal) {
    std::string path = folder + "sent.mdj";
    FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(journal.data(), 1, journal.size(), out);
    std::fclose(out);
    std::string command = std::string(MARROWDALE_BUILD_DIR) + "/marrowdale-scores --replay-worker <" +
                          path + " >" + folder + "said 2>&1";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(folder + "said")};
}

TEST(KeptGame, TheJournalSoFarReplaysToTheNamesDoneAndStandsForIt) {
    // A table of negative scores, which no game misses: the game the dog sits out makes it.
    std::string folder = MakeGameFolder();
    FILE* table = std::fopen((folder + "highscores.dat").c_str(), "wb");
    ASSERT_NE(table, nullptr);
    for (int i = 0; i < HighScoreCount; ++i) {
        HighScoreEntry entry{-1, "NOBODY"};
        std::fwrite(&entry, sizeof entry, 1, table);
    }
    std::fclose(table);
    std::string module = FolderModulePath(folder);
    std::string recording = folder + "game.mdj";
    StartHeadlessHost({.modulePath = module.c_str()});
    ASSERT_TRUE(OpenRecording(recording.c_str()));
    ASSERT_TRUE(StartRecording());
    IdlePlayer player;
    HeadlessSetPassHook(PlayIdle, &player);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOW), 0);
    EXPECT_EQ(EndJournal(), 0);
    StopHeadlessHost();
    ASSERT_FALSE(player.kept.empty());

    WorkerAnswer kept = Replay(folder, player.kept);
    EXPECT_EQ(kept.status, 0) << kept.said;
    EXPECT_EQ(kept.said, "entry 0 AB\n");
    std::string whole = ReadText(recording);
    WorkerAnswer run = Replay(folder, std::vector<uint8_t>(whole.begin(), whole.end()));
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_EQ(run.said, "entry 0 AB\n");
    EXPECT_GT(whole.size(), player.kept.size());

    // The end mark: 'Z', the scores' checksum, their length, the passes (a varint).
    JournalHeader header{};
    ASSERT_TRUE(TakeJournal(player.kept.data(), player.kept.size(), "the kept game", &header));
    EXPECT_TRUE(header.endsInPlay);
    std::vector<uint8_t> changed = player.kept;
    size_t passBytes = 1;
    for (uint64_t passes = header.passes; passes >= 0x80; passes >>= 7) ++passBytes;
    changed[changed.size() - passBytes - 8] ^= 0x01;
    WorkerAnswer diverged = Replay(folder, changed);
    EXPECT_EQ(diverged.status, 1);
    EXPECT_NE(diverged.said.find("where the journal ends (high scores checksum"), std::string::npos) << diverged.said;
    RemoveGameFolder(folder);
}

TEST(KeptGame, ThePassingJournalIsNeverWrittenThroughALinkAtItsName) {
    std::string home = MakeGameFolder();
    const char* given = std::getenv("XDG_DATA_HOME");
    std::string before = given ? given : "";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    std::string folder = home + "marrowdale/games/";
    std::string other = home + "highscores.dat";
    FILE* out = std::fopen(other.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("the player's scores", out);
    std::fclose(out);
    ASSERT_EQ(std::system(("mkdir -p " + folder).c_str()), 0);
    std::string name = folder + "playing-" + std::to_string(getpid()) + ".mdj.part";
    ASSERT_EQ(symlink(other.c_str(), name.c_str()), 0);

    std::string passing = PassingJournalPath();
    EXPECT_EQ(passing, name);
    ASSERT_TRUE(OpenRecording(passing.c_str()));
    struct stat info{};
    EXPECT_TRUE(lstat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) << "the recording is no plain file of its own";
    EXPECT_EQ(EndJournal(), 0);
    EXPECT_EQ(ReadText(other), "the player's scores");
    given ? setenv("XDG_DATA_HOME", before.c_str(), 1) : unsetenv("XDG_DATA_HOME");
    RemoveGameFolder(home);
}

}  // namespace
